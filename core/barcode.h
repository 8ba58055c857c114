#pragma once
// The machine-readable code of a test label: QR code, Data Matrix or Code 128,
// encoded by the zint library into its dark modules. Plain data; the label
// drawing paints the modules at the size the label gives them.
#include <QRectF>
#include <QString>
#include <vector>

namespace Barcode {

enum class Type { QR, DataMatrix, Code128 };

struct Symbol {
  bool ok = false;
  QString error;        // German, when the text cannot be encoded
  Type type = Type::QR;
  bool linear = false;  // Code 128: bars over the full height
  int columns = 0;      // width in modules
  int rows = 0;         // height in modules (1 for a linear code)
  // The dark modules (or bars) in module units: x from 0 to columns; y from 0
  // to rows (a linear code's bars span 0..1 and are stretched to the height).
  std::vector<QRectF> dark;
  // The quiet zone a scanner needs around the symbol, in modules.
  int QuietZone() const { return type == Type::QR ? 4 : type == Type::DataMatrix ? 1 : 10; }
};

// Encodes the text (UTF-8 for QR code and Data Matrix; Code 128 takes
// ISO 8859-1 only). A text the code cannot hold (too long, a character
// outside its set) gives ok false with the reason.
Symbol Encode(Type type, const QString& text);

// The codes' names as the user chooses them, and their short names for the
// command line ("qr", "datamatrix", "code128").
QString Name(Type type);
QString Key(Type type);
bool FromKey(const QString& key, Type* type);

}  // namespace Barcode
