#include "tools/make-artwork/draw.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kBlue(0x1c, 0x4f, 0x8c);
const QColor kBlueDark(0x10, 0x30, 0x5a);
const QColor kBlueLight(0x5b, 0x8f, 0xcf);
const QColor kAmber(0xf2, 0xb7, 0x05);
const QColor kAmberDark(0xb8, 0x7f, 0x00);
const QColor kGrey(0xd8, 0xdc, 0xe2);
const QColor kGreyDark(0x6b, 0x72, 0x7c);
const QColor kInk(0x24, 0x28, 0x30);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kRed(0xc0, 0x30, 0x30);

QPixmap Blank(int w, int h) {
  QPixmap pixmap(w, h);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The lightning bolt of the product mark, fitted into the rectangle.
QPainterPath Bolt(const QRectF& r) {
  auto p = [&](double x, double y) { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); };
  QPainterPath path;
  path.moveTo(p(0.62, 0.00));
  path.lineTo(p(0.12, 0.56));
  path.lineTo(p(0.46, 0.56));
  path.lineTo(p(0.34, 1.00));
  path.lineTo(p(0.88, 0.40));
  path.lineTo(p(0.54, 0.40));
  path.closeSubpath();
  return path;
}

// The product mark: a blue disc with an amber bolt.
void DrawMark(QPainter& g, const QRectF& r) {
  g.setPen(QPen(kAmber, r.width() / 14.0));
  QRadialGradient disc(r.center() - QPointF(r.width() * 0.15, r.height() * 0.15), r.width() * 0.7);
  disc.setColorAt(0, kBlueLight);
  disc.setColorAt(1, kBlueDark);
  g.setBrush(disc);
  g.drawEllipse(r.adjusted(r.width() / 28.0, r.width() / 28.0, -r.width() / 28.0, -r.width() / 28.0));
  g.setPen(QPen(kAmberDark, std::max(1.0, r.width() / 40.0)));
  g.setBrush(kAmber);
  g.drawPath(Bolt(r.adjusted(r.width() * 0.22, r.height() * 0.16, -r.width() * 0.22, -r.height() * 0.16)));
}

QPixmap Logo() {
  QPixmap pixmap(98, 33);
  pixmap.fill(kWhite);
  QPainter g(&pixmap);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, 0, 33);
  band.setColorAt(0, kBlue);
  band.setColorAt(1, kBlueDark);
  g.setPen(Qt::NoPen);
  g.setBrush(band);
  g.drawRoundedRect(QRectF(0.5, 0.5, 97, 32), 4, 4);
  g.setBrush(kAmber);
  g.drawRect(QRectF(31, 25, 62, 2));
  DrawMark(g, QRectF(3, 3.5, 26, 26));
  QFont font("Liberation Sans");
  font.setPixelSize(17);
  font.setBold(true);
  font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
  g.setFont(font);
  g.setPen(kWhite);
  g.drawText(QRectF(31, 2, 65, 23), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Kelvara"));
  return pixmap;
}

QPixmap AboutPicture() {
  // The about box shows the picture centred in a slightly lower field, so the
  // top and bottom rows are plain background.
  QPixmap pixmap(225, 76);
  pixmap.fill(kWhite);
  QPainter g(&pixmap);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 6, 0, 70);
  band.setColorAt(0, kBlue);
  band.setColorAt(1, kBlueDark);
  g.setPen(Qt::NoPen);
  g.setBrush(band);
  g.drawRoundedRect(QRectF(6.5, 6.5, 212, 63), 6, 6);
  DrawMark(g, QRectF(14, 13, 49, 49));
  QFont title("Liberation Sans");
  title.setPixelSize(30);
  title.setBold(true);
  g.setFont(title);
  g.setPen(kWhite);
  g.drawText(QRectF(70, 10, 144, 34), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Kelvara"));
  g.setBrush(kAmber);
  g.setPen(Qt::NoPen);
  g.drawRect(QRectF(76, 45, 132, 2));
  // The tagline sits under the rule and is no wider than it, whatever the
  // font's metrics: it never runs into the panel's rounded edge.
  const QString tagline = QStringLiteral("VDE 0701-0702 \u00b7 VDE 0751");
  const QRectF rule(76, 48, 132, 16);
  QFont sub("Liberation Sans");
  sub.setPixelSize(10);
  while (sub.pixelSize() > 6 && QFontMetricsF(sub).horizontalAdvance(tagline) > rule.width())
    sub.setPixelSize(sub.pixelSize() - 1);
  if (QFontMetricsF(sub).horizontalAdvance(tagline) > rule.width())
    sub.setStretch(int(100 * rule.width() / QFontMetricsF(sub).horizontalAdvance(tagline)));
  g.setFont(sub);
  g.setPen(kGrey);
  g.drawText(rule, Qt::AlignHCenter | Qt::AlignVCenter, tagline);
  return pixmap;
}

// ----- 20 x 20 glyphs. Drawn on a 20-pixel grid with half-pixel lines so the
// strokes stay crisp.

QPainter* Begin(QPixmap& pixmap) {
  auto* g = new QPainter(&pixmap);
  g->setRenderHint(QPainter::Antialiasing);
  return g;
}

void Sheet(QPainter& g, const QRectF& r, bool lines) {
  const double fold = 4;
  QPainterPath page;
  page.moveTo(r.topLeft());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.bottomRight());
  page.lineTo(r.bottomLeft());
  page.closeSubpath();
  g.setPen(QPen(kGreyDark, 1));
  g.setBrush(kWhite);
  g.drawPath(page);
  g.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  g.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
  if (lines) {
    g.setPen(QPen(kBlueLight, 1));
    for (double y = r.top() + 4.5; y < r.bottom() - 1.5; y += 2.5)
      g.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - (y < r.top() + fold + 1 ? fold + 1 : 2), y));
  }
}

QPixmap GlyphDevice() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  // The tester: a grey case with a display and two test sockets.
  g->setPen(QPen(kBlueDark, 1));
  g->setBrush(kBlue);
  g->drawRoundedRect(QRectF(1.5, 2.5, 17, 15), 2, 2);
  g->setBrush(QColor(0xc8, 0xe6, 0xc0));
  g->setPen(QPen(kBlueDark, 1));
  g->drawRect(QRectF(4.5, 5.5, 11, 5));
  g->setPen(QPen(kInk, 1));
  g->drawLine(QPointF(6, 8), QPointF(13, 8));
  g->setPen(Qt::NoPen);
  g->setBrush(kRed);
  g->drawEllipse(QRectF(4.5, 12.5, 3.5, 3.5));
  g->setBrush(kInk);
  g->drawEllipse(QRectF(12, 12.5, 3.5, 3.5));
  g->setBrush(kAmber);
  g->drawRect(QRectF(8.75, 13, 2.5, 2.5));
  delete g;
  return pixmap;
}

QPixmap GlyphForm() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  Sheet(*g, QRectF(3.5, 1.5, 13, 17), true);
  g->setPen(QPen(QColor(0x1f, 0x8a, 0x3c), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  g->setBrush(Qt::NoBrush);
  QPainterPath tick;
  tick.moveTo(8, 14);
  tick.lineTo(10, 16);
  tick.lineTo(15, 10.5);
  g->drawPath(tick);
  delete g;
  return pixmap;
}

QPixmap GlyphList() {
  // A table of three rows, each with a mark: passed, passed, failed.
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  g->setPen(QPen(kGreyDark, 1));
  g->setBrush(kWhite);
  g->drawRect(QRectF(1.5, 2.5, 17, 15));
  g->setBrush(kBlueLight);
  g->drawRect(QRectF(1.5, 2.5, 17, 3));
  const QColor marks[3] = {QColor(0x1f, 0x8a, 0x3c), QColor(0x1f, 0x8a, 0x3c), kRed};
  for (int r = 0; r < 3; ++r) {
    const double y = 8 + 3.5 * r;
    g->setPen(QPen(kInk, 1));
    g->drawLine(QPointF(4, y + 0.5), QPointF(11, y + 0.5));
    g->setPen(Qt::NoPen);
    g->setBrush(marks[r]);
    g->drawEllipse(QPointF(14.5, y + 0.5), 1.6, 1.6);
  }
  delete g;
  return pixmap;
}

QPixmap GlyphArchive() {
  // A filing drawer with a card in it.
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  g->setPen(QPen(kBlueDark, 1));
  g->setBrush(kBlueLight);
  g->drawRect(QRectF(2.5, 5.5, 15, 12));
  g->setBrush(kWhite);
  g->drawRect(QRectF(5.5, 2.5, 9, 6));
  g->setPen(QPen(kInk, 1));
  g->drawLine(QPointF(7, 4.5), QPointF(13, 4.5));
  g->setPen(QPen(kBlueDark, 1));
  g->setBrush(kGrey);
  g->drawRect(QRectF(7.5, 10.5, 5, 3));
  delete g;
  return pixmap;
}

QPixmap GlyphLoad() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  // Open folder with an arrow out of it.
  g->setPen(QPen(kAmberDark, 1));
  g->setBrush(QColor(0xe0, 0xa8, 0x10));
  QPainterPath back;
  back.moveTo(1.5, 17.5);
  back.lineTo(1.5, 5.5);
  back.lineTo(6.5, 5.5);
  back.lineTo(8, 7.5);
  back.lineTo(15.5, 7.5);
  back.lineTo(15.5, 17.5);
  back.closeSubpath();
  g->drawPath(back);
  g->setBrush(kAmber);
  QPainterPath front;
  front.moveTo(1.5, 17.5);
  front.lineTo(4.5, 10.5);
  front.lineTo(18.5, 10.5);
  front.lineTo(15.5, 17.5);
  front.closeSubpath();
  g->drawPath(front);
  g->setPen(QPen(kBlue, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  g->setBrush(Qt::NoBrush);
  QPainterPath arrow;
  arrow.moveTo(11, 8);
  arrow.cubicTo(11, 4, 13, 2.5, 17, 2.5);
  g->drawPath(arrow);
  g->setPen(Qt::NoPen);
  g->setBrush(kBlue);
  QPolygonF head;
  head << QPointF(15, 0) << QPointF(19.5, 2.5) << QPointF(15, 5);
  g->drawPolygon(head);
  delete g;
  return pixmap;
}

QPixmap GlyphSave() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  // A disk: blue body, metal shutter, white label.
  g->setPen(QPen(kBlueDark, 1));
  g->setBrush(kBlue);
  QPainterPath body;
  body.moveTo(2.5, 2.5);
  body.lineTo(15.5, 2.5);
  body.lineTo(17.5, 4.5);
  body.lineTo(17.5, 17.5);
  body.lineTo(2.5, 17.5);
  body.closeSubpath();
  g->drawPath(body);
  g->setBrush(kGrey);
  g->drawRect(QRectF(5.5, 2.5, 9, 5));
  g->setBrush(kBlueDark);
  g->setPen(Qt::NoPen);
  g->drawRect(QRectF(11, 3.5, 2, 3));
  g->setPen(QPen(kGreyDark, 1));
  g->setBrush(kWhite);
  g->drawRect(QRectF(4.5, 10.5, 11, 7));
  g->setPen(QPen(kBlueLight, 1));
  g->drawLine(QPointF(6, 13), QPointF(14, 13));
  g->drawLine(QPointF(6, 15.5), QPointF(14, 15.5));
  delete g;
  return pixmap;
}

QPixmap GlyphPrint() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  Sheet(*g, QRectF(5.5, 1.5, 9, 7), false);
  g->setPen(QPen(kInk, 1));
  g->setBrush(kGrey);
  g->drawRoundedRect(QRectF(1.5, 7.5, 17, 7), 1.5, 1.5);
  g->setPen(Qt::NoPen);
  g->setBrush(kAmber);
  g->drawRect(QRectF(14.5, 9, 2, 1.5));
  g->setPen(QPen(kGreyDark, 1));
  g->setBrush(kWhite);
  g->drawRect(QRectF(4.5, 12.5, 11, 6));
  g->setPen(QPen(kBlueLight, 1));
  g->drawLine(QPointF(6, 15), QPointF(14, 15));
  g->drawLine(QPointF(6, 17), QPointF(12, 17));
  delete g;
  return pixmap;
}

QPixmap GlyphUndo() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  g->setPen(QPen(kBlue, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  g->setBrush(Qt::NoBrush);
  QPainterPath curve;
  curve.moveTo(6, 8);
  curve.lineTo(11, 8);
  curve.cubicTo(15.5, 8, 17.5, 10.5, 17.5, 13);
  curve.cubicTo(17.5, 15.5, 15.5, 17.5, 11.5, 17.5);
  curve.lineTo(8, 17.5);
  g->drawPath(curve);
  g->setPen(QPen(kBlueDark, 1));
  g->setBrush(kBlue);
  QPolygonF head;
  head << QPointF(1.5, 8) << QPointF(8, 2.5) << QPointF(8, 13.5);
  g->drawPolygon(head);
  delete g;
  return pixmap;
}

QPixmap GlyphCut() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  // Scissors: two blades crossing, two amber-rimmed handles.
  g->setPen(QPen(kGreyDark, 1.6, Qt::SolidLine, Qt::RoundCap));
  g->drawLine(QPointF(6.5, 12.5), QPointF(13.5, 1.5));
  g->drawLine(QPointF(13.5, 12.5), QPointF(6.5, 1.5));
  g->setPen(QPen(kBlue, 2));
  g->setBrush(Qt::NoBrush);
  g->drawEllipse(QRectF(2, 12, 5.5, 5.5));
  g->drawEllipse(QRectF(12.5, 12, 5.5, 5.5));
  g->setPen(Qt::NoPen);
  g->setBrush(kAmber);
  g->drawEllipse(QRectF(9, 6, 2, 2));
  delete g;
  return pixmap;
}

QPixmap GlyphCopy() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  Sheet(*g, QRectF(1.5, 1.5, 10, 12), true);
  Sheet(*g, QRectF(7.5, 6.5, 10, 12), true);
  delete g;
  return pixmap;
}

QPixmap GlyphPaste() {
  QPixmap pixmap = Blank(20, 20);
  QPainter* g = Begin(pixmap);
  // Clipboard with a sheet laid on it.
  g->setPen(QPen(kAmberDark, 1));
  g->setBrush(QColor(0xc8, 0x8e, 0x3c));
  g->drawRoundedRect(QRectF(1.5, 2.5, 12, 16), 1.5, 1.5);
  g->setPen(QPen(kInk, 1));
  g->setBrush(kGrey);
  g->drawRoundedRect(QRectF(4.5, 1.5, 6, 3), 1, 1);
  Sheet(*g, QRectF(7.5, 6.5, 10, 12), true);
  delete g;
  return pixmap;
}

QPixmap IconImage(int size) {
  QPixmap pixmap = Blank(size, size);
  QPainter g(&pixmap);
  g.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  QLinearGradient tile(0, 0, 0, size);
  tile.setColorAt(0, kBlue);
  tile.setColorAt(1, kBlueDark);
  g.setPen(QPen(kBlueDark, s));
  g.setBrush(tile);
  g.drawRoundedRect(QRectF(0.5 * s, 0.5 * s, 31 * s, 31 * s), 6 * s, 6 * s);
  g.setPen(QPen(kAmberDark, std::max(1.0, 1.2 * s)));
  g.setBrush(kAmber);
  g.drawPath(Bolt(QRectF(7 * s, 3.5 * s, 18 * s, 25 * s)));
  return pixmap;
}

}  // namespace

namespace ArtworkDrawing {

QPixmap Bitmap(int id) {
  switch (id) {
    case 1: return Logo();
    case 3: return AboutPicture();
    case 20014: return GlyphDevice();
    case 20015: return GlyphList();
    case 20016: return GlyphArchive();
    case 20013: return GlyphForm();
    case 24332: return GlyphLoad();
    case 24333: return GlyphSave();
    case 24337: return GlyphPrint();
    case 24321: return GlyphUndo();
    case 24322: return GlyphCut();
    case 24323: return GlyphCopy();
    case 24324: return GlyphPaste();
    default: return QPixmap();
  }
}

QPixmap Icon(int size) { return IconImage(size); }

}  // namespace ArtworkDrawing
