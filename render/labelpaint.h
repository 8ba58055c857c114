#pragma once
// One test label drawn into its rectangle: the code on the left (QR code and
// Data Matrix as a square, Code 128 as a strip along the bottom) and the texts
// beside it, as large as the label lets them be. Texts that do not fit shrink
// together and long ones wrap; nothing is drawn outside the label. A label the
// texts cannot fit even at the smallest size says so (Check), so it is never
// printed cut off.
#include <QColor>
#include <QRectF>
#include <QString>
#include <vector>

#include "core/barcode.h"
#include "core/label.h"

class QPainter;

namespace LabelPaint {

struct Options {
  Barcode::Type code = Barcode::Type::QR;
  Labels::Content content = Labels::Content::Inventar;
};

// The red of a label for an appliance that must not be used.
inline const QColor kBlockedRed(200, 0, 0);

// The smallest letters a label uses: 1 mm (about 4 pt); a code module is at
// least 0.25 mm wide, so a label printer's 180 dpi still gives it two dots.
constexpr double kMinTextMm = 1.0;
constexpr double kMinModuleMm = 0.25;

// What a label holds where (millimetres, in the label's page coordinates).
struct Layout {
  bool fits = false;
  QString problem;      // German: why the label cannot be printed as it is
  QRectF code;          // the code with its quiet zone (empty without a code)
  QRectF band;          // the red band behind "GESPERRT" (failed labels)
  double moduleMm = 0;  // width of one code module
  struct Text {
    QString text;
    QRectF box;        // where the line's letters lie
    double sizeMm = 0;  // the font's pixel size
    bool bold = false;
    bool onBand = false;  // white on the red band
  };
  std::vector<Text> texts;
  Barcode::Symbol symbol;
};

// Lays the label out in `rect` (mm) without drawing it.
Layout Arrange(const QRectF& rect, const Labels::LabelData& label, const Options& options);
// Draws a label laid out by Arrange; the painter's coordinates are millimetres.
void Draw(QPainter& painter, const Layout& layout, const Labels::LabelData& label);
// Arrange and Draw in one.
Layout Paint(QPainter& painter, const QRectF& rect, const Labels::LabelData& label, const Options& options);

}  // namespace LabelPaint
