#include "report/surface.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPen>

QtSurface::QtSurface(QPainter* painter) : painter_(painter) {}

QFont QtSurface::MakeFont(const PageFont& font) {
  QFont f(QStringLiteral("Liberation Sans"));
  f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  f.setStyleHint(QFont::SansSerif);
  f.setFixedPitch(false);
  f.setPixelSize(font.height > 0 ? font.height : 1);
  f.setWeight(font.weight >= 700 ? QFont::Bold : QFont::Normal);
  // Without hinting, widths scale linearly; the page keeps its proportions on
  // any printer resolution and on screen alike.
  f.setHintingPreference(QFont::PreferNoHinting);
  f.setKerning(false);
  return f;
}

void QtSurface::SelectFont(const PageFont& font) { painter_->setFont(MakeFont(font)); }

int QtSurface::TextWidth(const QString& text) {
  return qRound(QFontMetricsF(painter_->font()).horizontalAdvance(text));
}

int QtSurface::LineHeight() {
  QFontMetricsF fm(painter_->font());
  return qRound(fm.ascent() + fm.descent());
}

int QtSurface::Ascent() { return qRound(QFontMetricsF(painter_->font()).ascent()); }

void QtSurface::DrawText(int x, int y, const QString& text) {
  QFontMetricsF fm(painter_->font());
  painter_->setBackgroundMode(Qt::TransparentMode);
  painter_->drawText(QPointF(x, y + fm.ascent()), text);
}

void QtSurface::FillWhite(const QRect& rect) { painter_->fillRect(rect, Qt::white); }

void QtSurface::Rectangle(int left, int top, int right, int bottom) {
  painter_->save();
  painter_->setBrush(Qt::NoBrush);
  QPen pen = painter_->pen();
  pen.setJoinStyle(Qt::MiterJoin);  // square corners at any scale
  painter_->setPen(pen);
  // A rectangle from (l, t) to (r, b) covers r - l pixels; its outline runs
  // along the last inner pixel on the right and bottom.
  painter_->drawRect(QRectF(left + 0.5, top + 0.5, right - left - 1, bottom - top - 1));
  painter_->restore();
}

void QtSurface::Line(int x1, int y1, int x2, int y2) {
  // A line covers its start pixel but not its end pixel, so a rule drawn to a
  // frame's right or bottom coordinate ends on the frame's outline.
  painter_->save();
  QPen pen = painter_->pen();
  pen.setCapStyle(Qt::FlatCap);
  painter_->setPen(pen);
  QPointF from(x1 + 0.5, y1 + 0.5);
  QPointF to(x2 + 0.5, y2 + 0.5);
  if (y1 == y2 && x1 != x2) {
    from.setX(x1 < x2 ? x1 : x1 + 1);
    to.setX(x1 < x2 ? x2 : x2 + 1);
  } else if (x1 == x2 && y1 != y2) {
    from.setY(y1 < y2 ? y1 : y1 + 1);
    to.setY(y1 < y2 ? y2 : y2 + 1);
  }
  painter_->drawLine(from, to);
  painter_->restore();
}

void QtSurface::Save() { painter_->save(); }
void QtSurface::Restore() { painter_->restore(); }

// --- RecordingSurface -------------------------------------------------------

void RecordingSurface::SelectFont(const PageFont& font) {
  font_ = font;
  Op op{QStringLiteral("font"), font.height, font.weight, font.draftQuality ? 1 : 0, 0, {}, font};
  ops_.push_back(op);
}

int RecordingSurface::TextWidth(const QString& text) { return int(text.size()) * (font_.height / 2); }

int RecordingSurface::LineHeight() { return font_.height + font_.height / 4; }

int RecordingSurface::Ascent() { return font_.height; }

void RecordingSurface::DrawText(int x, int y, const QString& text) {
  ops_.push_back(Op{QStringLiteral("text"), x, y, 0, 0, text, font_});
}

void RecordingSurface::FillWhite(const QRect& rect) {
  ops_.push_back(Op{QStringLiteral("fill"), rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1, {}, font_});
}

void RecordingSurface::Rectangle(int left, int top, int right, int bottom) {
  ops_.push_back(Op{QStringLiteral("rect"), left, top, right, bottom, {}, font_});
}

void RecordingSurface::Line(int x1, int y1, int x2, int y2) {
  ops_.push_back(Op{QStringLiteral("line"), x1, y1, x2, y2, {}, font_});
}

void RecordingSurface::Save() {
  saved_.push_back(font_);
  ops_.push_back(Op{QStringLiteral("save"), 0, 0, 0, 0, {}, font_});
}

void RecordingSurface::Restore() {
  if (!saved_.empty()) {
    font_ = saved_.back();
    saved_.pop_back();
  }
  ops_.push_back(Op{QStringLiteral("restore"), 0, 0, 0, 0, {}, font_});
}

std::vector<RecordingSurface::Op> RecordingSurface::Texts() const {
  std::vector<Op> out;
  for (const Op& op : ops_)
    if (op.kind == QLatin1String("text")) out.push_back(op);
  return out;
}

const RecordingSurface::Op* RecordingSurface::FindText(const QString& text) const {
  for (const Op& op : ops_)
    if (op.kind == QLatin1String("text") && op.text == text) return &op;
  return nullptr;
}

QStringList RecordingSurface::Lines() const {
  QStringList out;
  for (const Op& op : ops_) {
    if (op.kind == QLatin1String("text"))
      out << QStringLiteral("text %1 %2 %3").arg(op.a).arg(op.b).arg(op.text);
    else if (op.kind == QLatin1String("font"))
      out << QStringLiteral("font %1 %2").arg(op.a).arg(op.b);
    else if (op.kind == QLatin1String("save") || op.kind == QLatin1String("restore"))
      out << op.kind;
    else
      out << QStringLiteral("%1 %2 %3 %4 %5").arg(op.kind).arg(op.a).arg(op.b).arg(op.c).arg(op.d);
  }
  return out;
}
