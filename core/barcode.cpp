#include "core/barcode.h"

#include <zint.h>

#include <memory>

namespace Barcode {
namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* s) const { ZBarcode_Delete(s); }
};

int Symbology(Type type) {
  switch (type) {
    case Type::QR: return BARCODE_QRCODE;
    case Type::DataMatrix: return BARCODE_DATAMATRIX;
    case Type::Code128: return BARCODE_CODE128;
  }
  return BARCODE_QRCODE;
}

}  // namespace

Symbol Encode(Type type, const QString& text) {
  Symbol result;
  result.type = type;
  result.linear = type == Type::Code128;
  if (text.isEmpty()) {
    result.error = QStringLiteral("Ohne Inhalt gibt es keinen Code.");
    return result;
  }
  if (type == Type::Code128) {
    for (QChar c : text)
      if (c.unicode() > 0xFF || c.unicode() < 0x20) {
        result.error = QStringLiteral("Code 128 kann \u201E%1\u201C nicht darstellen; wählen Sie QR-Code oder Data Matrix.")
                           .arg(QString(c));
        return result;
      }
  }
  std::unique_ptr<zint_symbol, SymbolDeleter> symbol(ZBarcode_Create());
  if (!symbol) {
    result.error = QStringLiteral("Kein Speicher für den Code.");
    return result;
  }
  symbol->symbology = Symbology(type);
  symbol->input_mode = UNICODE_MODE;
  symbol->show_hrt = 0;  // the label prints the text itself
  symbol->border_width = 0;
  symbol->whitespace_width = 0;
  symbol->whitespace_height = 0;
  symbol->scale = 1.0f;
  if (type == Type::QR) symbol->option_1 = 2;  // error correction M: a scuffed label still reads
  // Beyond ASCII a QR code says that it holds UTF-8 (ECI 26): without it
  // readers guess the code page and guess wrong ("Ü" read as a Japanese
  // character). Data Matrix and Code 128 hold ISO 8859-1, as their readers
  // expect without being told.
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
  if (!ascii && type == Type::QR) symbol->eci = 26;
  const QByteArray utf8 = text.toUtf8();
  int status = ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(utf8.constData()), int(utf8.size()));
  if (status < ZINT_ERROR) status = ZBarcode_Buffer_Vector(symbol.get(), 0);
  if (status >= ZINT_ERROR || !symbol->vector || symbol->width <= 0 || symbol->rows <= 0) {
    result.error = status == ZINT_ERROR_TOO_LONG
                       ? QStringLiteral("Der Inhalt ist für den Code zu lang.")
                       : QStringLiteral("Der Code kann nicht erzeugt werden (%1).").arg(QString::fromLatin1(symbol->errtxt));
    return result;
  }
  const zint_vector* vector = symbol->vector;
  result.columns = symbol->width;
  result.rows = result.linear ? 1 : symbol->rows;
  const double unitX = vector->width / symbol->width;
  const double unitY = result.linear ? vector->height : vector->height / symbol->rows;
  if (unitX <= 0 || unitY <= 0) {
    result.error = QStringLiteral("Der Code kann nicht erzeugt werden.");
    return result;
  }
  for (const zint_vector_rect* r = vector->rectangles; r; r = r->next) {
    if (r->colour != -1 && r->colour != 7) continue;  // foreground (black) only
    result.dark.emplace_back(r->x / unitX, r->y / unitY, r->width / unitX, r->height / unitY);
  }
  result.ok = !result.dark.empty();
  if (!result.ok) result.error = QStringLiteral("Der Code kann nicht erzeugt werden.");
  return result;
}

QString Name(Type type) {
  switch (type) {
    case Type::QR: return QStringLiteral("QR-Code");
    case Type::DataMatrix: return QStringLiteral("Data Matrix");
    case Type::Code128: return QStringLiteral("Code 128");
  }
  return QString();
}

QString Key(Type type) {
  switch (type) {
    case Type::QR: return QStringLiteral("qr");
    case Type::DataMatrix: return QStringLiteral("datamatrix");
    case Type::Code128: return QStringLiteral("code128");
  }
  return QString();
}

bool FromKey(const QString& key, Type* type) {
  for (Type t : {Type::QR, Type::DataMatrix, Type::Code128})
    if (key.compare(Key(t), Qt::CaseInsensitive) == 0) {
      *type = t;
      return true;
    }
  return false;
}

}  // namespace Barcode
