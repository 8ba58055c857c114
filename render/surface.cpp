#include "render/surface.h"

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
