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

// The desktop icons are scalable drawings: shapes in a box of 32 x 32 units,
// painted into PNGs of any size and written as SVG from the same shapes.
struct Shape {
  QPainterPath path;
  QColor fill;
  QColor fillBottom;  // when valid: a vertical gradient from fill (top of the box) to this (bottom)
  QColor stroke;
  double strokeWidth = 0;  // units; a PNG draws at least one pixel
};
constexpr double kBox = 32.0;

QPainterPath RoundedRect(const QRectF& r, double radius) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  return path;
}

QPainterPath Polygon(std::initializer_list<QPointF> points) {
  QPainterPath path;
  path.addPolygon(QPolygonF(QList<QPointF>(points)));
  path.closeSubpath();
  return path;
}

// The program's icon: a blue tile with the amber bolt.
std::vector<Shape> ProgramIcon() {
  return {{RoundedRect(QRectF(0.5, 0.5, 31, 31), 6), kBlue, kBlueDark, kBlueDark, 1.0},
          {Bolt(QRectF(7, 3.5, 18, 25)), kAmber, QColor(), kAmberDark, 1.2}};
}

// The icon of a data record file: a sheet with a folded corner, a blue
// heading and lines of text, and the program's tile in its corner.
std::vector<Shape> RecordIcon() {
  std::vector<Shape> shapes{
      {Polygon({{5.5, 1.5}, {19.5, 1.5}, {26.5, 8.5}, {26.5, 30.5}, {5.5, 30.5}}), kWhite, kGrey, kGreyDark, 1.0},
      {Polygon({{19.5, 1.5}, {19.5, 8.5}, {26.5, 8.5}}), kGrey, QColor(), kGreyDark, 1.0},
      {RoundedRect(QRectF(8, 4, 9, 3), 0.5), kBlue, QColor(), QColor(), 0}};
  for (double y : {10.0, 13.0, 16.0, 19.0})
    shapes.push_back({RoundedRect(QRectF(8, y, y < 12 ? 16 : 9, 1.4), 0.4), kGreyDark, QColor(), QColor(), 0});
  shapes.push_back({RoundedRect(QRectF(15.5, 15.5, 16, 16), 3.5), kBlue, kBlueDark, kBlueDark, 1.0});
  shapes.push_back({Bolt(QRectF(19, 17.3, 9, 12.5)), kAmber, QColor(), kAmberDark, 0.8});
  return shapes;
}

QPixmap Paint(const std::vector<Shape>& shapes, int size) {
  QPixmap pixmap = Blank(size, size);
  QPainter g(&pixmap);
  g.setRenderHint(QPainter::Antialiasing);
  const double s = size / kBox;
  g.scale(s, s);
  for (const Shape& shape : shapes) {
    if (shape.fillBottom.isValid()) {
      QLinearGradient gradient(0, 0, 0, kBox);
      gradient.setColorAt(0, shape.fill);
      gradient.setColorAt(1, shape.fillBottom);
      g.setBrush(gradient);
    } else {
      g.setBrush(shape.fill);
    }
    if (shape.strokeWidth > 0)
      g.setPen(QPen(shape.stroke, std::max(1.0 / s, shape.strokeWidth), Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    else
      g.setPen(Qt::NoPen);
    g.drawPath(shape.path);
  }
  return pixmap;
}

QString Number(double v) { return QString::number(v, 'g', 6); }

// The path as SVG path data: moves, lines and cubic curves; a subpath that
// ends where it began is closed.
QString PathData(const QPainterPath& path) {
  QString d;
  QPointF start, last;
  auto close = [&] {
    if (!d.isEmpty() && last == start) d += QStringLiteral(" Z");
  };
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo()) {
      close();
      d += QStringLiteral("%1M %2 %3").arg(d.isEmpty() ? QString() : QStringLiteral(" "), Number(e.x), Number(e.y));
      start = last = e;
    } else if (e.isLineTo()) {
      d += QStringLiteral(" L %1 %2").arg(Number(e.x), Number(e.y));
      last = e;
    } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
      const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
      d += QStringLiteral(" C %1 %2 %3 %4 %5 %6")
               .arg(Number(e.x), Number(e.y), Number(c2.x), Number(c2.y), Number(end.x), Number(end.y));
      last = end;
      i += 2;
    }
  }
  close();
  return d;
}

QString Colour(const QColor& c) { return c.name(QColor::HexRgb); }

QByteArray Svg(const std::vector<Shape>& shapes) {
  QString defs, body;
  int gradients = 0;
  for (const Shape& shape : shapes) {
    QString fill = Colour(shape.fill);
    if (shape.fillBottom.isValid()) {
      const QString id = QStringLiteral("g%1").arg(gradients++);
      defs += QStringLiteral(
                  "    <linearGradient id=\"%1\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"%2\" gradientUnits=\"userSpaceOnUse\">\n"
                  "      <stop offset=\"0\" stop-color=\"%3\"/>\n      <stop offset=\"1\" stop-color=\"%4\"/>\n"
                  "    </linearGradient>\n")
                  .arg(id, Number(kBox), Colour(shape.fill), Colour(shape.fillBottom));
      fill = QStringLiteral("url(#%1)").arg(id);
    }
    QString stroke = QStringLiteral("none");
    if (shape.strokeWidth > 0)
      stroke = QStringLiteral("%1\" stroke-width=\"%2\" stroke-linejoin=\"bevel")
                   .arg(Colour(shape.stroke), Number(shape.strokeWidth));
    body += QStringLiteral("  <path fill=\"%1\" fill-rule=\"evenodd\" stroke=\"%2\" d=\"%3\"/>\n")
                .arg(fill, stroke, PathData(shape.path));
  }
  QString svg = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
                               "viewBox=\"0 0 %1 %1\">\n")
                    .arg(Number(kBox));
  if (!defs.isEmpty()) svg += QStringLiteral("  <defs>\n") + defs + QStringLiteral("  </defs>\n");
  svg += body + QStringLiteral("</svg>\n");
  return svg.toUtf8();
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

QPixmap Icon(int size) { return Paint(ProgramIcon(), size); }
QByteArray IconSvg() { return Svg(ProgramIcon()); }
QPixmap RecordIconImage(int size) { return Paint(RecordIcon(), size); }
QByteArray RecordIconSvg() { return Svg(RecordIcon()); }

}  // namespace ArtworkDrawing
