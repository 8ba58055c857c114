// The page of the standards in force today: heading, the table with the
// previous values and the warnings, the lines of reason, scope, limits and
// previous test, and that nothing on it runs into its neighbour with the
// page's real fonts.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "core/reportrules.h"
#include "render/page.h"
#include "render/surface.h"
#include "tests/support/recordingsurface.h"
#include "tests/testutil.h"

namespace {

using Op = RecordingSurface::Op;

// A report of an appliance tested after DIN EN 50699, class I, 10 m of cord,
// its previous test a year before.
ReportRecord Current(int standard = Profiles::kEn50699) {
  ReportRecord r;
  r.VdePruefgrundlage = standard;
  r.VdeKlasse = 1;
  r.MessText = {"  0.350", "Overflow", "  0.120", "  1.600", "??", "??", "??", "??"};
  r.GrenzText = {" 0.40", " 1.00", " 3.50", " 3.50", "??", "??", "??", "??"};
  r.RowActive = {1, 1, 1, 1, 0, 0, 0, 0};
  r.Ok = {true, true, true, true, false, false, false, false};
  r.Sichtpruefung = r.Funktionspruefung = true;
  r.Anlass = 2;
  r.Leitungslaenge = QStringLiteral("10");
  r.Vorwert = {"0.200", "Overflow", "0.110", "1.000", "", "", "", ""};
  r.Vorpruefung = QStringLiteral("12.03.2025");
  r.Fields[Layout::kFieldPruefer] = QStringLiteral("Musterstadt, 06.12.2026, Jana Kühn");
  return r;
}

Page::Input InputOf(const ReportRecord& r) { return Page::InputFor(r, Page::RowTexts{}); }

TEST(CurrentPage, TheTableHasThePreviousValuesAndMarksWhatMovedTowardsItsLimit) {
  RecordingSurface s;
  const Page::Result result = Page::Paint(s, InputOf(Current()), false, QRect());
  ASSERT_NE(s.FindText(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)")), nullptr);
  ASSERT_NE(s.FindText(QStringLiteral("Wiederholungsprüfung elektrischer Geräte")), nullptr);
  for (const char* head : {"Messungen", "Messverfahren", "Vorwert", "Messwert", "Grenzwert", "Einheit", "OK"})
    EXPECT_NE(s.FindText(QString::fromUtf8(head)), nullptr) << head;
  // Row 0 on its line: caption, method, previous value right-aligned to 365,
  // measured value to 430, limit to 505.
  const Op* caption = s.FindText(QStringLiteral("Schutzleiterwiderstand"));
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->b, 440);
  const Op* previous = s.FindText(QStringLiteral("0.200"));
  ASSERT_NE(previous, nullptr);
  EXPECT_EQ(previous->a + previous->text.size() * 6, 365);
  const Op* value = s.FindText(QStringLiteral("  0.350"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->a + value->text.size() * 6, 430);
  EXPECT_EQ(s.FindText(QStringLiteral("Prüfstrom mind. 200 mA"))->a, 150);
  // R-PE 0.200 -> 0.350 and I-EA 1.000 -> 1.600 warn; each gets its mark.
  int marks = 0;
  for (const Op& op : s.Texts())
    if (op.text == QLatin1String("!")) {
      ++marks;
      EXPECT_TRUE(op.b == 440 || op.b == 500) << op.b;
    }
  EXPECT_EQ(marks, 2);
  // Class I: protective-conductor current by both methods.
  EXPECT_EQ(s.FindText(QStringLiteral("Schutzleiterstrom"))->b, 480);
  EXPECT_EQ(s.FindText(QStringLiteral("Ersatzableitstromverfahren"))->b, 500);
  EXPECT_EQ(result.okShown, (std::array<bool, 8>{true, true, true, true, false, false, false, false}));
  EXPECT_TRUE(result.passed);
}

TEST(CurrentPage, ReasonScopeLimitsAndThePreviousTestWhereRowsFourToSevenWouldStand) {
  RecordingSurface s;
  Page::Paint(s, InputOf(Current()), false, QRect());
  const QStringList lines = s.Lines();
  EXPECT_TRUE(lines.contains(QStringLiteral("text 5 520 Anlass der Prüfung:")));
  EXPECT_TRUE(lines.contains(QStringLiteral("text 120 520 Wiederholungsprüfung")));
  // A line too long for its room is drawn smaller on the same baseline.
  bool scope = false;
  for (const Op& op : s.Texts())
    scope |= op.a == 120 && op.b >= 535 && op.b <= 545 &&
             op.text == QStringLiteral("Sichtprüfung, Schutzleiterwiderstand, Isolationswiderstand, Schutzleiterstrom, "
                                       "Funktionsprüfung");
  EXPECT_TRUE(scope);
  EXPECT_TRUE(lines.contains(QStringLiteral("text 5 560 Grenzwerte:")));
  EXPECT_TRUE(lines.contains(QStringLiteral("text 5 580 Vorprüfung:"))) << lines.join('\n').toStdString();
  bool limits = false, earlier = false;
  for (const Op& op : s.Texts()) {
    limits |= op.b >= 555 && op.b <= 565 && op.a == 120 && op.text.contains(QStringLiteral("DIN EN 50699 (VDE 0702), Schutzklasse I")) &&
              op.text.contains(QStringLiteral("R-PE: 10 m Leitung"));
    earlier |= op.b >= 575 && op.b <= 585 && op.a == 120 && op.text.startsWith(QStringLiteral("12.03.2025")) &&
               op.text.contains(QStringLiteral("! R-PE +75 %, I-EA +60 % seit der letzten Prüfung"));
    // A text that would not fit is made smaller or cut, never over the frame.
    if (op.b >= 515 && op.b <= 590) EXPECT_LE(op.a + op.text.size() * (op.font.height / 2), 625) << op.text.toStdString();
  }
  EXPECT_TRUE(limits);
  EXPECT_TRUE(earlier);

  // No test before, no reason given: the page says so.
  ReportRecord first = Current();
  first.Vorwert.fill(QString());
  first.Vorpruefung.clear();
  first.Anlass = 0;
  RecordingSurface t;
  Page::Paint(t, InputOf(first), false, QRect());
  EXPECT_TRUE(t.Lines().contains(QStringLiteral("text 120 580 keine frühere Prüfung bekannt")));
  for (const Op& op : t.Texts()) EXPECT_NE(op.text, QStringLiteral("!"));
}

TEST(CurrentPage, PrintedTheFieldsAndResultsStandWhereThePagesOfTheTestersEraPutThem) {
  ReportRecord r = Current(Profiles::kEn62353);
  r.VdeKlasse = 2;
  r.RowActive = {0, 1, 1, 1, 0, 0, 0, 0};
  r.Ok = {false, true, false, true, false, false, false, false};
  Page::Input in = InputOf(r);
  in.printing = true;
  in.originX = in.originY = 60;
  in.pageHeight = 900;
  RecordingSurface s;
  Page::Paint(s, in, false, QRect());
  EXPECT_NE(s.FindText(QStringLiteral("Prüfgrundlage DIN EN 62353 (VDE 0751-1)")), nullptr);
  EXPECT_TRUE(s.Lines().contains(QStringLiteral("text 655 540 Nein")));  // I-ABL at 595 + 60, 480 + 60
  EXPECT_TRUE(s.Lines().contains(QStringLiteral("text 655 520 Ja")));
  EXPECT_TRUE(s.Lines().contains(QStringLiteral("text 655 560 Ja")));
  EXPECT_EQ(s.FindText(QStringLiteral("Geräteableitstrom"))->b, 60 + 480);
  EXPECT_TRUE(s.Lines().contains(QStringLiteral("text 380 920 Musterstadt, 06.12.2026, Jana Kühn")));
  // No R-PE line for class II.
  for (const Op& op : s.Texts()) EXPECT_NE(op.b, 60 + 440) << op.text.toStdString();
}

// The real fonts: each text of the table stays in its column, each line
// below it within the frame.
class Measuring : public QtSurface {
 public:
  using QtSurface::QtSurface;
  struct Drawn {
    int x, y, width;
    QString text;
  };
  void DrawText(int x, int y, const QString& text) override {
    drawn.push_back({x, y, TextWidth(text), text});
    QtSurface::DrawText(x, y, text);
  }
  std::vector<Drawn> drawn;
};

TEST(CurrentPage, WithThePagesFontsNothingRunsIntoItsNeighbour) {
  for (int standard : {Profiles::kEn50699, Profiles::kEn50678, Profiles::kEn62353})
    for (int klasse : {1, 2}) {
      SCOPED_TRACE(testing::Message() << standard << "/" << klasse);
      ReportRecord r = Current(standard);
      r.VdeKlasse = klasse;
      r.Methode[2] = QStringLiteral("direktes Verfahren");
      r.MessText = {"  0.350", "  123.4", " 10.120", "  1.600", "??", "??", "??", "??"};
      r.Vorwert = {"0.200", "Overflow", "10.110", "1.000", "", "", "", ""};
      QImage image(Layout::kPageWidth, Layout::kPageHeight, QImage::Format_RGB32);
      image.fill(Qt::white);
      QPainter painter(&image);
      Measuring s(&painter);
      Page::Paint(s, InputOf(r), false, QRect());
      painter.end();
      // Each row: caption | method | previous | value | limit | unit, in that order with room between.
      for (int row = 0; row < 4; ++row) {
        std::vector<Measuring::Drawn> line;
        for (const auto& d : s.drawn)
          if (d.y == Layout::RowY(row) && d.text != QLatin1String("!")) line.push_back(d);
        std::sort(line.begin(), line.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
        for (size_t i = 1; i < line.size(); ++i)
          EXPECT_LE(line[i - 1].x + line[i - 1].width + 3, line[i].x)
              << line[i - 1].text.toStdString() << " | " << line[i].text.toStdString();
      }
      for (const auto& d : s.drawn) EXPECT_LE(d.x + d.width, Layout::kPageWidth - 2) << d.text.toStdString();
      if (standard == Profiles::kEn50699 && klasse == 1) image.save(TestUtil::OutDir() + QStringLiteral("/current-page.png"));
    }
}

}  // namespace
