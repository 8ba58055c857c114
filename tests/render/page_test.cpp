// The report page drawn onto a recording surface: positions, fonts, the verdict
// and the print layer.
#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <algorithm>

#include "core/reportrecord.h"
#include "render/fonts.h"
#include "render/page.h"
#include "tests/support/recordingsurface.h"
#include "render/surface.h"
#include "tests/testutil.h"

namespace {

using Op = RecordingSurface::Op;

Page::Input ClassOneInput() {
  Page::Input in;
  in.standard = 4;
  const char* labels[4] = {"R-PE", "R-ISO", "I-ABL", "I-EA"};
  const char* units[4] = {"Ohm", "MOhm", "mA", "mA"};
  for (int r = 0; r < 4; ++r) {
    in.rowActive[r] = true;
    in.label[r] = labels[r];
    in.method[r] = "Bereich";
    in.unit[r] = units[r];
    in.messText[r] = " 0.12";
    in.grenzText[r] = " 0.30";
    in.okChecked[r] = true;
  }
  return in;
}

int CountKind(const RecordingSurface& s, const char* kind) {
  int n = 0;
  for (const Op& op : s.Ops()) n += op.kind == kind;
  return n;
}

}  // namespace

TEST(PageTest, FreshFormHeadingHeaderNoRowsAndFailureVerdict) {
  RecordingSurface s;
  Page::Input in;  // fresh form: standard 1, no active rows
  Page::Result res = Page::Paint(s, in, false, QRect());

  // Heading pitch is the line height of the large font (fake metric 16 + 4),
  // each line centred with truncating halves: 315 - width/2.
  const Op* l1 = s.FindText("Prüfprotokoll");
  const Op* l2 = s.FindText("Prüfung von elektrischen Anlagen");
  const Op* l3 = s.FindText("Prüfgrundlage DIN VDE 0100");
  ASSERT_TRUE(l1 && l2 && l3);
  EXPECT_EQ(l1->b, 0);
  EXPECT_EQ(l2->b, 20);
  EXPECT_EQ(l3->b, 40);
  EXPECT_EQ(l1->a, 315 - (13 * 6) / 2);  // 13 chars, width 78
  EXPECT_EQ(l3->a, 315 - (26 * 6) / 2);  // 26 chars, width 156
  EXPECT_EQ(l1->font, Page::FontBold);

  for (const char* h : {"Messungen", "Messbereich/Methode", "Messwert", "Grenzwert", "Einheit", "OK"}) {
    const Op* op = s.FindText(h);
    ASSERT_TRUE(op) << h;
    EXPECT_EQ(op->b, 420);
    EXPECT_EQ(op->font, Page::FontBold);
  }
  // Nothing drawn in the row band (y 440..580) and every OK box hidden.
  for (const Op& op : s.Texts()) EXPECT_FALSE(op.b >= 440 && op.b <= 580) << op.text.toStdString();
  for (bool shown : res.okShown) EXPECT_FALSE(shown);
  EXPECT_FALSE(res.passed);
  const Op* verdict =
      s.FindText("Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden");
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->a, 120);
  EXPECT_EQ(verdict->b, 690);
  // No print layer on screen.
  EXPECT_FALSE(s.FindText("Nicht bestanden"));
  EXPECT_FALSE(s.FindText("Nein"));
}

TEST(PageTest, LabelBlocksAndSectionTexts) {
  RecordingSurface s;
  Page::Paint(s, Page::Input{}, false, QRect());
  auto at = [&](int x, int y) -> QString {
    for (const Op& op : s.Texts())
      if (op.a == x && op.b == y) return op.text;
    return "<none>";
  };
  EXPECT_EQ(at(5, 80), "Auftraggeber:");
  EXPECT_EQ(at(5, 180), "Kontaktperson:");
  EXPECT_EQ(at(320, 60), "Auftragsnummer:");
  EXPECT_EQ(at(320, 180), "Kontaktperson:");
  EXPECT_EQ(at(5, 290), "Identnummer");
  EXPECT_EQ(at(320, 270), "Schutzleiter:");
  EXPECT_EQ(at(5, 360), "nächste Kalibrierung:");
  EXPECT_EQ(at(320, 360), "Auswertung:");
  EXPECT_EQ(at(5, 390), "Sichtprüfung");
  EXPECT_EQ(at(5, 620), "Funktionsprüfung und (falls erforderlich)");
  EXPECT_EQ(at(5, 632), "Prüfung der ergänzenden Festlegungen:");
  EXPECT_EQ(at(5, 650), "Bemerkungen:");
  EXPECT_EQ(at(5, 690), "Ergebnis:");
  EXPECT_EQ(at(5, 720), "Verantwortlicher Unternehmer:");
  EXPECT_EQ(at(320, 720), "Prüfer:");
  // Screen captions follow the screen page height 810.
  EXPECT_EQ(at(5, 790), "Ort, Datum, Unterschrift, Stempel");
  EXPECT_EQ(at(320, 790), "Ort, Datum, Unterschrift, Stempel");
  EXPECT_EQ(s.FindText("Ort, Datum, Unterschrift, Stempel")->font, Page::FontSmall);
  EXPECT_EQ(s.FindText("Auftraggeber:")->font, Page::FontBody);
  EXPECT_EQ(s.FindText("Prüfer:")->font, Page::FontBold);
}

TEST(PageTest, FrameRulesAndStateRestore) {
  RecordingSurface s;
  Page::Paint(s, Page::Input{}, true, QRect(0, 0, 700, 900));
  const QStringList lines = s.Lines();
  EXPECT_EQ(lines.first(), "fill 0 0 700 900");
  EXPECT_EQ(lines[1], "save");
  EXPECT_EQ(lines.last(), "restore");
  EXPECT_TRUE(lines.contains("rect 0 0 630 810"));
  QStringList rules;
  for (const QString& l : lines)
    if (l.startsWith("line ")) rules << l;
  EXPECT_EQ(rules, QStringList({"line 0 58 630 58", "line 0 208 630 208", "line 0 318 630 318",
                                "line 0 388 630 388", "line 0 418 630 418", "line 0 618 630 618",
                                "line 0 648 630 648", "line 0 688 630 688", "line 0 718 630 718"}));
  // Without the erase flag nothing is filled.
  RecordingSurface s2;
  Page::Paint(s2, Page::Input{}, false, QRect(0, 0, 700, 900));
  EXPECT_EQ(CountKind(s2, "fill"), 0);
}

TEST(PageTest, HeadingByStandardIndex) {
  for (int standard : {0, 9, -1}) {  // 6..8 are the standards in force today
    RecordingSurface s;
    Page::Input in;
    in.standard = standard;
    Page::Paint(s, in, false, QRect());
    int marks = 0;
    for (const Op& op : s.Texts())
      if (op.text == "???") {
        ++marks;
        EXPECT_EQ(op.a, 315 - 18 / 2);  // width 3 * 6
      }
    EXPECT_EQ(marks, 2) << standard;
  }
  EXPECT_EQ(Page::HeadingLine2(4),
            "Prüfung nach Instandsetzung,  Änderung elektrischer Geräte  -  Wiederholungsprüfung elektrischer Geräte");
  EXPECT_EQ(Page::HeadingLine3(3), "Prüfgrundlage DIN VDE 0701 Teil 240");
  EXPECT_EQ(Page::HeadingLine2(2), Page::HeadingLine2(3));
  EXPECT_EQ(Page::HeadingLine3(5), "Prüfgrundlage DIN VDE 0751");
}

TEST(PageTest, ActiveRowsRightAlignedAndClassTwoKeepsLines) {
  RecordingSurface s;
  Page::Input in = ClassOneInput();
  in.rowActive[0] = false;  // class II: no protective conductor
  in.messText[1] = "123.45";
  in.messText[2] = "0.5";
  in.grenzText[1] = "1.00";
  Page::Result res = Page::Paint(s, in, false, QRect());

  // Line 440 (RPE) stays empty; the others keep their own lines.
  for (const Op& op : s.Texts()) EXPECT_NE(op.b, 440) << op.text.toStdString();
  const Op* riso = s.FindText("R-ISO");
  ASSERT_TRUE(riso);
  EXPECT_EQ(riso->a, 5);
  EXPECT_EQ(riso->b, 460);
  EXPECT_EQ(s.FindText("I-EA")->b, 500);
  EXPECT_EQ(s.FindText("MOhm")->a, 535);

  // Right ends at 405 and 505 whatever the width.
  const Op* wide = s.FindText("123.45");
  const Op* narrow = s.FindText("0.5");
  ASSERT_TRUE(wide && narrow);
  EXPECT_EQ(wide->a + 6 * 6, 405);
  EXPECT_EQ(narrow->a + 3 * 6, 405);
  EXPECT_LT(wide->a, narrow->a);
  EXPECT_EQ(s.FindText("1.00")->a + 4 * 6, 505);
  EXPECT_EQ(wide->font, Page::FontBody);

  EXPECT_FALSE(res.okShown[0]);
  EXPECT_TRUE(res.okShown[1] && res.okShown[2] && res.okShown[3]);
  for (int r = 4; r < 8; ++r) EXPECT_FALSE(res.okShown[r]);
}

// The sentence drawn is the report's own verdict, on screen and on paper
// alike: the page forms none of its own and keeps none from an earlier drawing.
TEST(PageTest, TheVerdictDrawnIsTheReportsOnScreenAndOnPaper) {
  const QString passedText = "Der Prüfling hat die Prüfung bestanden";
  const QString failedText = "Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden";
  auto drawn = [&](const ReportRecord& report, bool printing) {
    Page::Input in = Page::InputFor(report, Page::RowTexts{});
    in.printing = printing;
    RecordingSurface s;
    const Page::Result r = Page::Paint(s, in, false, QRect());
    EXPECT_EQ(r.passed, s.FindText(passedText) != nullptr);
    EXPECT_EQ(!r.passed, s.FindText(failedText) != nullptr);
    return r.passed;
  };
  ReportRecord classOne;
  classOne.VdePruefgrundlage = 4;
  for (int r = 0; r < 4; ++r) {
    classOne.RowActive[r] = 1;
    classOne.MessText[r] = " 0.12";
    classOne.GrenzText[r] = " 0.30";
    classOne.Ok[r] = true;
  }
  for (bool printing : {false, true}) {
    SCOPED_TRACE(printing ? "paper" : "screen");
    ReportRecord report = classOne;
    EXPECT_FALSE(drawn(report, printing));  // inspection boxes unchecked
    report.Sichtpruefung = report.Funktionspruefung = true;
    EXPECT_TRUE(drawn(report, printing));
    report.Ok[2] = false;  // one active row failed
    EXPECT_FALSE(drawn(report, printing));
    report.RowActive[2] = 0;  // the row no longer belongs: it no longer counts
    EXPECT_TRUE(drawn(report, printing));
    report.Ok[6] = false;  // a row that does not belong never counts
    EXPECT_TRUE(drawn(report, printing));
    ReportRecord none;  // no active rows at all: always failed
    none.Sichtpruefung = none.Funktionspruefung = true;
    none.Ok.fill(true);
    EXPECT_FALSE(drawn(none, printing));
  }
  // The page draws the verdict it is given, whatever the rows it draws.
  Page::Input given = ClassOneInput();
  given.okChecked.fill(false);
  given.passed = true;
  RecordingSurface s;
  EXPECT_TRUE(Page::Paint(s, given, false, QRect()).passed);
  EXPECT_TRUE(s.FindText(passedText));
}

TEST(PageTest, PrintModePositionsAndFieldLayer) {
  RecordingSurface s;
  Page::Input in = ClassOneInput();
  in.printing = true;
  in.originX = in.originY = 60;
  in.pageHeight = 900;
  in.sichtpruefung = true;
  in.funktionspruefung = false;
  in.okChecked[3] = false;
  for (int f = 0; f < 31; ++f) in.fields[f] = QString("F%1").arg(f);
  in.fields[28] = "erste Zeile\nzweite Zeile";
  in.fields[0] = QString(120, 'x');
  Page::Paint(s, in, false, QRect());
  const QStringList lines = s.Lines();

  EXPECT_TRUE(lines.contains("rect 60 60 690 960"));
  EXPECT_TRUE(lines.contains("line 60 118 690 118"));
  EXPECT_TRUE(lines.contains("line 60 778 690 778"));
  EXPECT_TRUE(lines.contains("text 65 940 Ort, Datum, Unterschrift, Stempel"));
  EXPECT_TRUE(lines.contains("text 380 940 Ort, Datum, Unterschrift, Stempel"));
  EXPECT_TRUE(lines.contains("text 65 920 F29"));
  EXPECT_TRUE(lines.contains("text 380 920 F30"));
  EXPECT_TRUE(lines.contains("text 485 120 F6"));    // right column group starts at 60
  EXPECT_TRUE(lines.contains("text 485 240 F12"));
  EXPECT_TRUE(lines.contains("text 180 350 F17"));
  EXPECT_TRUE(lines.contains("text 485 330 F21"));
  EXPECT_TRUE(lines.contains("text 180 420 F24"));
  EXPECT_TRUE(lines.contains("text 485 420 F27"));
  EXPECT_TRUE(lines.contains("text 180 710 erste Zeile"));
  // The 98 characters left of the 120 do not fit before the right column even
  // at the smallest height: cut with an ellipsis, on the line's baseline.
  EXPECT_TRUE(lines.contains("text 180 145 " + QString(64, 'x') + QChar(0x2026)));
  EXPECT_TRUE(lines.contains("text 380 450 OK"));                // Sichtprüfung
  EXPECT_TRUE(lines.contains("text 380 680 Nicht bestanden"));   // Funktionsprüfung
  EXPECT_TRUE(lines.contains("text 655 500 Ja"));
  EXPECT_TRUE(lines.contains("text 655 560 Nein"));
  EXPECT_TRUE(lines.contains("text 655 480 OK"));                // the column heading stays
  // Right alignment in print: right end at 465.
  EXPECT_TRUE(lines.contains(QString("text %1 500  0.12").arg(465 - 5 * 6)));
  // Only active rows get a Ja/Nein.
  int words = 0;
  for (const Op& op : s.Texts()) words += op.text == "Ja" || op.text == "Nein";
  EXPECT_EQ(words, 4);
  EXPECT_EQ(s.FindText("F29")->font, Page::FontField);
  EXPECT_EQ(lines.last(), "restore");
}

TEST(PageTest, LongFieldValuesShrinkIntoTheirColumn) {
  // Fake metric: h/2 per character. Left values end at 315, right ones at 625.
  RecordingSurface s;
  Page::Input in;
  in.printing = true;
  in.originX = in.originY = 60;
  in.pageHeight = 900;
  in.fields[0] = QString(40, 'a');   // 240 at 12, 200 at 11 and 10, 160 at 9: room 195
  in.fields[7] = QString(35, 'b');   // 210 at 12, 175 at 11: room 200
  in.fields[28] = QString(90, 'c');  // 540 at 12, 450 at 11: room 505
  in.fields[29] = QString(32, 'd');  // 192 at 12: room 310, unchanged
  in.fields[30] = QString(60, 'e');  // 360 at 12, 300 at 11: room 305
  Page::Paint(s, in, false, QRect());

  struct Expect {
    int field, x, y, height;
  };
  const Expect expected[] = {{0, 180, 140 + 3, 9}, {7, 485, 140 + 1, 11}, {28, 180, 710 + 1, 11},
                             {29, 65, 920, 12}, {30, 380, 920 + 1, 11}};
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.field);
    const Op* op = s.FindText(in.fields[e.field]);  // drawn whole
    ASSERT_TRUE(op);
    EXPECT_EQ(op->a, e.x);
    EXPECT_EQ(op->b, e.y);  // same baseline as a FontField value
    EXPECT_EQ(op->font.height, e.height);
    EXPECT_EQ(op->font.weight, 700);
  }
  // The fields after a shrunk one are back in FontField.
  EXPECT_EQ(s.FindText("Nicht bestanden")->font, Page::FontField);
}

TEST(PageTest, RealFontsKeepLongFieldValuesInTheirColumn) {
  // The ink a long value adds to the printed page stays left of the next
  // column's labels (380 with the print origin) and inside the frame (690).
  auto render = [](int field, const QString& text) {
    Page::Input in;
    in.printing = true;
    in.originX = in.originY = 60;
    in.pageHeight = 900;
    in.fields[field] = text;
    QImage image(700, 980, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QtSurface surface(&painter);
    Page::Paint(surface, in, false, QRect());
    return image;
  };
  const QImage empty = render(0, QString());
  struct Case {
    int field;
    const char* text;
    int limit;  // no added ink at or right of this x
  };
  const Case cases[] = {
      {0, "Elektroinstallation Mustermann GmbH & Co. KG Nord", 377},
      {7, "Prüfdienst Westfalen-Lippe Elektrotechnik GmbH", 688},
      {28, "Gehäuse beschädigt, Zuleitung erneuert, Stecker getauscht; Gerät nach Reparatur erneut geprüft", 688},
      {29, "12345 Musterstadt-Süd, 08.12.2026, Herr Maximilian Müller-Lüdenscheidt", 377},
      {30, "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW, 08.12.2026", 688},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const QImage image = render(c.field, QString::fromUtf8(c.text));
    int added = 0, beyond = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) != empty.pixel(x, y)) {
          ++added;
          beyond += x >= c.limit;
        }
    EXPECT_GT(added, 100);
    EXPECT_EQ(beyond, 0);
  }
}

// The month of the next test stands in the line of "Prüfintervall" after its
// value; every other operation of the page stays exactly as it was, and the
// screen (where the form's edit covers that line) does not draw it.
TEST(PageTest, NextTestInTheIntervalLineLeavesEverythingElseInPlace) {
  Page::Input in = ClassOneInput();
  in.printing = true;
  in.originX = in.originY = 60;
  in.pageHeight = 900;
  for (int f = 0; f < 31; ++f) in.fields[f] = QString("F%1").arg(f);
  RecordingSurface without;
  Page::Paint(without, in, false, QRect());
  in.nextTest = "06/2027";
  RecordingSurface with;
  Page::Paint(with, in, false, QRect());

  // What is drawn, font changes aside: the one line more, all else as it was.
  auto drawn = [](const RecordingSurface& surface) {
    QStringList lines = surface.Lines();
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("font "); }),
                lines.end());
    return lines;
  };
  QStringList added = drawn(with);
  for (const QString& line : drawn(without)) added.removeOne(line);
  // Fake metric: h/2 per character; 24 characters at 12 end at 685 (625 + 60).
  EXPECT_EQ(added.join('|').toStdString(), "text 541 270 Nächste Prüfung: 06/2027");
  QStringList kept = drawn(with);
  kept.removeAll("text 541 270 Nächste Prüfung: 06/2027");
  EXPECT_EQ(kept.join('|').toStdString(), drawn(without).join('|').toStdString());
  EXPECT_EQ(with.FindText("Nächste Prüfung: 06/2027")->font, Page::FontField);

  in.printing = false;
  in.originX = in.originY = 0;
  RecordingSurface screen;
  Page::Paint(screen, in, false, QRect());
  EXPECT_FALSE(screen.FindText("Nächste Prüfung: 06/2027"));
}

// A value beside it never collides: the month shrinks first (down to 7), and
// only a value that leaves no room even then gives way as long values do.
TEST(PageTest, NextTestNeverCollidesWithTheIntervalValue) {
  struct Case {
    QString value;
    int height;          // of the month's text
    int valueHeight;     // of the value
  } cases[] = {{"", 12, 12}, {"12", 12, 12}, {"12 Monate", 11, 12}, {"24 Monate (jährlich)", 7, 12},
               {QString(40, 'x'), 7, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.toStdString());
    Page::Input in;
    in.printing = true;
    in.originX = in.originY = 60;
    in.pageHeight = 900;
    in.fields[18] = c.value;
    in.nextTest = "06/2027";
    RecordingSurface s;
    Page::Paint(s, in, false, QRect());
    const Op* next = s.FindText("Nächste Prüfung: 06/2027");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->font.height, c.height);
    EXPECT_EQ(next->font.weight, 700);
    EXPECT_EQ(next->a + 24 * (c.height / 2), 685);  // ends where the right column's values end
    EXPECT_EQ(next->b, 270 + 12 - c.height);         // on the value's baseline
    if (c.value.isEmpty()) continue;
    const Op* value = nullptr;
    for (const Op& op : s.Ops())
      if (op.kind == "text" && op.b >= 265 && op.b <= 280 && op.a == 485) value = &op;
    ASSERT_TRUE(value);
    EXPECT_EQ(value->font.height, c.valueHeight);
    EXPECT_LE(value->a + int(value->text.size()) * (value->font.height / 2) + 8, next->a);
  }
}

// With the real fonts: for the intervals people write, the value keeps every
// pixel, the month's ink starts clear of it and ends inside the frame.
TEST(PageTest, RealFontsKeepTheNextTestApartFromTheValue) {
  for (const char* value : {"12", "12 Monate", "24 Monate", "6 Mon. (Baustelle)"}) {
    SCOPED_TRACE(value);
    auto render = [&](bool next) {
      Page::Input in;
      in.printing = true;
      in.originX = in.originY = 60;
      in.pageHeight = 900;
      in.fields[18] = QString::fromUtf8(value);
      if (next) in.nextTest = "06/2027";
      QImage image(700, 980, QImage::Format_RGB32);
      image.fill(Qt::white);
      QPainter painter(&image);
      QtSurface surface(&painter);
      Page::Paint(surface, in, false, QRect());
      return image;
    };
    const QImage plain = render(false), with = render(true);
    // In the line (below its rule at 268, left of the frame at 689): where the
    // value's ink ends, and where the added ink begins and ends.
    int valueRight = 0, nextLeft = 1000, nextRight = 0;
    for (int y = 270; y < 290; ++y)
      for (int x = 480; x < 700; ++x) {
        if (x < 686 && qGray(plain.pixel(x, y)) < 200) valueRight = std::max(valueRight, x);
        if (with.pixel(x, y) != plain.pixel(x, y)) {
          nextLeft = std::min(nextLeft, x);
          nextRight = std::max(nextRight, x);
        }
      }
    EXPECT_GT(valueRight, 480);
    EXPECT_GE(nextLeft - valueRight, 5);
    EXPECT_LT(nextRight, 686);
  }
}

TEST(PageTest, FirstLineCutsAtLineBreakAndLength) {
  EXPECT_EQ(Page::FirstLine("a\r\nb"), "a");
  EXPECT_EQ(Page::FirstLine(QString(99, 'y')).size(), 98);
  EXPECT_EQ(Page::FirstLine(""), "");
}

TEST(PageTest, RealFontsKeepTextInsideThePage) {
  // With the real fonts the widest fixed texts must stay inside the frame.
  QImage image(700, 1000, QImage::Format_RGB32);
  QPainter painter(&image);
  QtSurface surface(&painter);
  surface.SelectFont(Page::FontBold);
  const int heading = surface.TextWidth(Page::HeadingLine2(4));
  const int verdict =
      surface.TextWidth("Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden");
  surface.SelectFont(Page::FontLarge);
  const int large = surface.LineHeight();
  painter.end();
  EXPECT_LE(heading, 626);             // the widest heading line stays inside the frame
  EXPECT_LE(120 + verdict, 626);       // the failure sentence ends before the frame
  EXPECT_GE(3 * large, 48);            // three heading lines ...
  EXPECT_LE(3 * large, 58);            // ... fit above the first rule
}

// The page and the dialogs are laid out for Liberation Sans; with another
// family (DejaVu Sans is wider) titles leave their frames and labels are cut.
TEST(PageTest, FontsResolveToTheFamilyTheyWereLaidOutFor) {
  for (const PageFont& font : {Page::FontField, Page::FontBold, Page::FontLarge})
    EXPECT_EQ(QFontInfo(QtSurface::MakeFont(font)).family(), "Liberation Sans");
  Fonts::InstallSubstitutions();
  EXPECT_EQ(QFontInfo(Fonts::DialogFont()).family(), "Liberation Sans");
  EXPECT_EQ(QFontInfo(Fonts::VariableFont()).family(), "Liberation Sans");
}

TEST(PageTest, QtSurfaceDrawsTextBelowItsTopLeftPoint) {
  // The point given is the top-left corner of the text cell: ink lies inside
  // [y, y + line height) and starts at or right of x.
  QImage image(200, 60, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QtSurface surface(&painter);
  surface.SelectFont(Page::FontBody);
  const int lh = surface.LineHeight();
  surface.DrawText(20, 20, "Hg");
  painter.end();
  int top = 1000, bottom = -1, left = 1000;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        left = std::min(left, x);
      }
  EXPECT_GE(top, 20);
  EXPECT_LT(bottom, 20 + lh);
  EXPECT_GE(left, 20);
  EXPECT_LE(left, 23);
}

TEST(PageTest, PrintPageImage) {
  // Render a filled print page into an image so it can be looked at.
  QImage image(693, 973, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QtSurface surface(&painter);
  Page::Input in = ClassOneInput();
  in.printing = true;
  in.originX = in.originY = 60;
  in.pageHeight = 900;
  in.passed = true;
  in.sichtpruefung = in.funktionspruefung = true;
  in.label = {"Schutzleiterwiderstand", "Isolationswiderstand", "Ersatzableitstrom", "Berührungsstrom"};
  in.method = {"Bereich 20 Ohm", "500 V DC", "Ersatzableitstrom", "Differenzstrom"};
  const char* f[31] = {"Muster GmbH", "Hauptstraße 1", "12345 Musterstadt", "0123 456", "0123 457",
                       "Herr Müller", "A-2026-117", "Elektro Beispiel", "Werkstraße 5", "54321 Prüfstadt",
                       "0987 654", "0987 655", "Frau Schmidt", "Bohrmaschine", "Werkzeug AG", "SN 4711",
                       "Halle 3", "ID 0815", "12 Monate", "I", "800 W", "fest", "QK248 V1.22",
                       "M-99", "01.06.2027", "06.12.2026", "08.12.2026", "Automatisch",
                       "keine Beanstandungen", "54321 Prüfstadt, 08.12.2026, Herr Müller",
                       "54321 Prüfstadt, 08.12.2026, Frau Schmidt"};
  for (int i = 0; i < 31; ++i) in.fields[i] = QString::fromUtf8(f[i]);
  in.nextTest = "12/2027";
  Page::Paint(surface, in, true, image.rect());
  painter.end();
  image.save(TestUtil::OutDir() + "/page_print_image.png");
}

TEST(PageTest, QtSurfaceRulesEndOnTheFrameEdge) {
  // At a printer's scale a rule from the frame's left to its right edge must
  // end on the frame's outline, not stick out past it, and the frame's corners
  // must be square.
  const int k = 4;
  QImage image(130 * k, 80 * k, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.scale(k, k);
  QtSurface surface(&painter);
  surface.Rectangle(10, 10, 110, 60);
  surface.Line(10, 30, 110, 30);
  surface.Line(50, 10, 50, 60);
  painter.end();
  image.save(TestUtil::OutDir() + "/page_surface_rules.png");
  auto dark = [&](int x, int y) { return qGray(image.pixel(x, y)) < 128; };
  const int ruleY = 30 * k + k / 2;
  EXPECT_TRUE(dark(10 * k, ruleY));
  EXPECT_TRUE(dark(110 * k - 1, ruleY));
  EXPECT_FALSE(dark(110 * k, ruleY));
  EXPECT_FALSE(dark(110 * k + k, ruleY));
  const int ruleX = 50 * k + k / 2;
  EXPECT_TRUE(dark(ruleX, 60 * k - 1));
  EXPECT_FALSE(dark(ruleX, 60 * k));
  // Outer corner pixels of the frame.
  for (const QPoint& p : {QPoint(10 * k, 10 * k), QPoint(110 * k - 1, 10 * k), QPoint(10 * k, 60 * k - 1),
                          QPoint(110 * k - 1, 60 * k - 1)})
    EXPECT_TRUE(dark(p.x(), p.y())) << p.x() << "," << p.y();
  // Nothing outside the frame.
  for (int y = 0; y < image.height(); ++y) {
    EXPECT_FALSE(dark(110 * k + 1, y)) << y;
    EXPECT_FALSE(dark(10 * k - 1, y)) << y;
  }
}
