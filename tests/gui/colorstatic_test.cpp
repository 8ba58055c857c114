#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPaintEvent>

#include "controls/TColorStatic.h"
#include "tests/testutil.h"

namespace {
int CountColor(const QImage& img, QColor c, QRect area = QRect()) {
  if (area.isNull()) area = img.rect();
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (img.pixelColor(x, y).rgb() == c.rgb()) ++n;
  return n;
}
// Rows (y) that contain at least one pixel of the colour.
QList<int> RowsWith(const QImage& img, QColor c) {
  QList<int> rows;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y).rgb() == c.rgb()) {
        rows.append(y);
        break;
      }
  return rows;
}
bool IsDark(QColor c) { return c.red() < 100 && c.green() < 100 && c.blue() < 100; }
int DarkPixels(const QImage& img) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += IsDark(img.pixelColor(x, y));
  return n;
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};
}  // namespace

TEST(ColorStatic, NewControlIsWhiteAndDrawsBoldBlackText) {
  QWidget parent;
  parent.resize(300, 100);
  TColorStatic s(&parent, 1449, 0, 54);
  s.setGeometry(0, 0, 190, 46);
  EXPECT_EQ(s.objectName(), "1449");
  QImage blank = TestUtil::Grab(&s, "colorstatic_blank");
  EXPECT_EQ(CountColor(blank, Qt::white), blank.width() * blank.height());

  s.SetText("???");
  QImage text = TestUtil::Grab(&s, "colorstatic_text");
  const int dark = DarkPixels(text);
  EXPECT_GT(dark, 300);  // three big bold glyphs
  // Only the upper left part carries text: left aligned from the top.
  int darkRight = 0;
  for (int y = 0; y < text.height(); ++y)
    for (int x = text.width() * 3 / 4; x < text.width(); ++x) darkRight += IsDark(text.pixelColor(x, y));
  EXPECT_EQ(darkRight, 0);
  EXPECT_TRUE(s.GetFont().bold());
  EXPECT_EQ(QFontInfo(s.GetFont()).bold(), true);
}

TEST(ColorStatic, FillTextBackgroundAndTextColours) {
  QWidget parent;
  parent.resize(300, 200);
  TColorStatic s(&parent, 7, 0, 20);
  s.setGeometry(0, 0, 200, 60);
  const QColor fill(200, 200, 200), bk(0, 0, 255), fg(255, 0, 0);
  s.SetFillColor(fill);
  s.SetTextBkColor(bk);
  s.SetTextColor(fg);
  s.SetText("Ab");
  QImage img = TestUtil::Grab(&s, "colorstatic_colours");
  // No black is left from the first fill, the text cell is opaque blue on grey.
  EXPECT_EQ(CountColor(img, Qt::black), 0);
  EXPECT_GT(CountColor(img, fill), img.width() * img.height() / 2);
  EXPECT_GT(CountColor(img, bk), 20);
  EXPECT_GT(CountColor(img, fg), 20);
  // The text background is one line high at the top.
  QList<int> bkRows = RowsWith(img, bk);
  ASSERT_FALSE(bkRows.isEmpty());
  EXPECT_EQ(bkRows.first(), 0);
  EXPECT_LE(bkRows.last(), 21);
  // Same fill and text background: cells indistinguishable from the fill.
  s.SetTextBkColor(fill);
  img = TestUtil::Grab(&s, "colorstatic_samebk");
  EXPECT_EQ(CountColor(img, bk), 0);
  EXPECT_GT(CountColor(img, fg), 20);
}

TEST(ColorStatic, WordBreakWrapsAndClipsAtTheBottom) {
  QWidget parent;
  parent.resize(400, 400);
  TColorStatic s(&parent, 8, 0, 20);
  s.SetTextBkColor(Qt::blue);
  s.setGeometry(0, 0, 120, 300);
  s.SetText("eins zwei drei vier fuenf");
  QImage tall = s.Compose(QSize(120, 300));
  QList<int> rows = RowsWith(tall, Qt::blue);
  ASSERT_FALSE(rows.isEmpty());
  EXPECT_GE(rows.last(), 30);  // at least two lines of about 20 px
  // Without word break everything stays on one line.
  s.SetFormat(TColorStatic::DT_NOPREFIX);
  rows = RowsWith(s.Compose(QSize(120, 300)), Qt::blue);
  EXPECT_LT(rows.last(), 22);
  // Clipped at the bottom: a 30 px high control shows only what fits.
  s.SetFormat(TColorStatic::DT_WORDBREAK | TColorStatic::DT_NOPREFIX);
  QImage low = s.Compose(QSize(120, 30));
  EXPECT_EQ(low.height(), 30);
  EXPECT_GT(CountColor(low, Qt::blue), 0);
  // On a high-density screen the image has twice the pixels, same layout.
  QImage dense = s.Compose(QSize(120, 30), 2.0);
  EXPECT_EQ(dense.size(), QSize(240, 60));
  EXPECT_GT(CountColor(dense, Qt::blue), 3 * CountColor(low, Qt::blue));
  // A word longer than the width is not lost: it goes on in the next line.
  s.SetText("Ueberlaufwiderstandsmessung");
  rows = RowsWith(s.Compose(QSize(120, 300)), Qt::blue);
  EXPECT_GE(rows.last(), 30);
}

TEST(ColorStatic, AmpersandIsDrawnAsItself) {
  QWidget parent;
  TColorStatic s(&parent, 9, 0, 30);
  s.SetText("A&B");
  QImage amp = s.Compose(QSize(200, 40));
  s.SetText("AB");
  QImage plain = s.Compose(QSize(200, 40));
  // "&" takes room: the text background reaches further right than for "AB".
  auto rightmost = [](const QImage& img) {
    int r = -1;
    for (int x = 0; x < img.width(); ++x)
      for (int y = 0; y < img.height(); ++y)
        if (IsDark(img.pixelColor(x, y))) r = x;
    return r;
  };
  EXPECT_GT(rightmost(amp), rightmost(plain) + 5);
  // With prefixes on, "&B" is B underlined and no "&" is drawn.
  s.SetFormat(TColorStatic::DT_WORDBREAK);
  s.SetText("A&B");
  QImage prefixed = s.Compose(QSize(200, 40));
  EXPECT_LT(rightmost(prefixed), rightmost(amp));
}

TEST(ColorStatic, TextIsCutTo254Characters) {
  QWidget parent;
  TColorStatic s(&parent, 10, 0, 10);
  QString long300;
  for (int i = 0; i < 300; ++i) long300 += QChar('a' + i % 26);
  s.SetText(long300);
  EXPECT_EQ(s.GetText(), long300.left(254));
  s.SetText("kurz");
  EXPECT_EQ(s.GetText(), "kurz");
}

TEST(ColorStatic, EverySetterRepaintsEvenWithTheSameValue) {
  QWidget parent;
  parent.resize(200, 100);
  TColorStatic s(&parent, 11, 0, 20);
  s.setGeometry(0, 0, 100, 40);
  parent.show();
  QApplication::processEvents();
  PaintCounter counter;
  s.installEventFilter(&counter);
  int last = counter.paints;
  auto repainted = [&] {
    QApplication::processEvents();
    QApplication::processEvents();
    bool r = counter.paints > last;
    last = counter.paints;
    return r;
  };
  s.SetText("x");
  EXPECT_TRUE(repainted());
  s.SetText("x");
  EXPECT_TRUE(repainted());
  s.SetFillColor(Qt::white);
  EXPECT_TRUE(repainted());
  s.SetTextBkColor(Qt::white);
  EXPECT_TRUE(repainted());
  s.SetTextColor(Qt::black);
  EXPECT_TRUE(repainted());
  s.SetFormat(s.GetFormat());
  EXPECT_TRUE(repainted());
  s.SetEraseOnInvalidate(true);
  EXPECT_TRUE(repainted());
  EXPECT_TRUE(s.testAttribute(Qt::WA_OpaquePaintEvent));
}
