// The dates a report leads to (next test, calibration), the next test's key in
// the data record file, and the test labels as data: what a label says, what
// its code holds, where it lies on a sheet.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/barcode.h"
#include "core/duedates.h"
#include "core/label.h"
#include "core/profile.h"
#include "core/reportrecord.h"

namespace {

ReportRecord Tested(const QString& date, const QString& interval) {
  ReportRecord r;
  r.Fields[Layout::kFieldPruefungAm] = date;
  r.Fields[Layout::kFieldPruefintervall] = interval;
  return r;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
}

}  // namespace

TEST(DueDates, TheNextTestIsTheTestDatePlusTheIntervalItNames) {
  struct Case {
    const char* date;
    const char* interval;
    const char* month;
  } cases[] = {
      {"12.06.2026", "12 Monate", "06/2027"}, {"12.06.2026", "", "06/2027"},          // 12 when it names none
      {"12.06.2026", "jährlich", "06/2027"},  {"12.06.2026", "6 Mon.", "12/2026"},
      {"12.06.2026", "24", "06/2028"},        {"31.01.2026", "1 Monat", "02/2026"},  // the month's last day
      {"5.3.2026", "3", "06/2026"},           {"2026-03-05", "12", "03/2027"},
      {"05.03.26", "12", "03/2027"},          // two digits: this century
      {"12.06.2026", "0 Monate", "06/2027"},  {"12.06.2026", "1000", "06/2027"},  // no interval: 12
      {"", "12", ""},                         {"gestern", "12", ""},              // no test date: no next test
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.date) + " / " + c.interval);
    EXPECT_EQ(DueDates::MonthText(DueDates::NextTest(Tested(QString::fromUtf8(c.date), QString::fromUtf8(c.interval)))),
              QString::fromLatin1(c.month));
  }
}

TEST(DueDates, ARunOutCalibrationIsToldNotRefused) {
  struct Case {
    const char* calibration;
    const char* tested;
    bool warned;
  } cases[] = {
      {"15.03.2026", "15.03.2026", false}, {"15.03.2026", "16.03.2026", true},  // valid through that day
      {"03/2026", "31.03.2026", false},    {"03/2026", "01.04.2026", true},     // through the month's end
      {"3.2026", "01.04.2026", true},      {"2026-03", "01.04.2026", true},     {"12.2027", "07.12.2026", false},
      {"2026", "31.12.2026", false},       {"2026", "01.01.2027", true},        {"03/26", "01.04.2026", true},
      {"", "01.04.2030", false},           {"bald", "01.04.2030", false},       // nothing to compare with
      {"03/2026", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.calibration) + " / " + c.tested);
    ReportRecord r = Tested(QString::fromLatin1(c.tested), "12");
    r.Fields[Layout::kFieldNaechsteKalibrierung] = QString::fromLatin1(c.calibration);
    const QString warning = DueDates::CalibrationWarning(r);
    EXPECT_EQ(!warning.isEmpty(), c.warned);
    if (c.warned) {
      EXPECT_TRUE(warning.contains(QString::fromLatin1(c.calibration)));
      EXPECT_TRUE(warning.contains(QStringLiteral("trotzdem erstellt")));
    }
  }
}

// The new key is written with every report and follows its fields; a file
// without it (an older program's) reads as before; a program that does not
// know the key keeps it when it saves, and a reader never trusts a stale one.
TEST(DueDates, TheNextTestKeyRoundTripsAndOlderFilesAndProgramsKeepWorking) {
  QTemporaryDir dir;
  const QString path = dir.filePath("bericht.ini");
  ReportRecord written = Tested("12.06.2026", "24 Monate");
  written.Fields[Layout::kFieldIdentnummer] = QStringLiteral("INV-7");
  ASSERT_EQ(Report::Write(path, written).status, Report::WriteResult::Ok);
  EXPECT_TRUE(ReadAll(path).endsWith("Funktionspruefung=0\r\nNaechstePruefung=06/2028\r\n"));
  ReportRecord read;
  ASSERT_EQ(Report::Read(path, &read).status, Report::ReadResult::Ok);
  EXPECT_EQ(read.Fields, written.Fields);
  EXPECT_EQ(DueDates::NextTest(read), QDate(2028, 6, 12));

  // An older file: the same report without the key reads to the same record.
  QByteArray old = ReadAll(path);
  old.replace("NaechstePruefung=06/2028\r\n", "");
  const QString oldPath = dir.filePath("alt.ini");
  WriteAll(oldPath, old);
  ReportRecord fromOld;
  ASSERT_EQ(Report::Read(oldPath, &fromOld).status, Report::ReadResult::Ok);
  EXPECT_EQ(fromOld.Fields, read.Fields);
  EXPECT_EQ(fromOld.MessText, read.MessText);
  EXPECT_EQ(fromOld.Ok, read.Ok);
  EXPECT_EQ(DueDates::NextTest(fromOld), QDate(2028, 6, 12));
  // Saved by this program, it gets the key.
  ASSERT_EQ(Report::Write(oldPath, fromOld).status, Report::WriteResult::Ok);
  EXPECT_EQ(ReadAll(oldPath), ReadAll(path));

  // A program that knows only the older keys writes them into the new file:
  // the key stays, and the new test date it wrote decides when read again.
  {
    TProfile older(QString::fromLatin1(Report::kSection), path);
    ASSERT_TRUE(older.WriteString(QStringLiteral("Pruefungam"), QStringLiteral("01.02.2027")));
    ASSERT_TRUE(older.Flush());
  }
  EXPECT_TRUE(ReadAll(path).contains("NaechstePruefung=06/2028\r\n"));
  ASSERT_EQ(Report::Read(path, &read).status, Report::ReadResult::Ok);
  EXPECT_EQ(DueDates::MonthText(DueDates::NextTest(read)), QStringLiteral("02/2029"));
  ASSERT_EQ(Report::Write(path, read).status, Report::WriteResult::Ok);
  EXPECT_TRUE(ReadAll(path).contains("NaechstePruefung=02/2029\r\n"));
}

TEST(LabelData, ALabelSaysWhatTheReportSays) {
  ReportRecord r = Tested("12.06.2026", "12");
  r.Fields[Layout::kFieldIdentnummer] = QStringLiteral("  INV 0001 ");
  r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Bäckerei Müller");
  r.Fields[Layout::kFieldAuftragnehmer] = QStringLiteral("Elektro Schmidt");
  r.RowActive = {1, 1, 1, 0, 0, 0, 0, 0};
  r.Ok = {true, true, true, false, false, false, false, false};
  r.MessText = {"  0.12", "Overflow", "  0.25", "??", "??", "??", "??", "??"};
  r.GrenzText = {" 0.30", " 1.00", " 3.50", "??", "??", "??", "??", "??"};
  r.Sichtpruefung = r.Funktionspruefung = true;
  Labels::LabelData label = Labels::FromReport(r);
  EXPECT_EQ(label.InventarNr, QStringLiteral("INV 0001"));
  EXPECT_EQ(label.Customer, QStringLiteral("Bäckerei Müller"));
  EXPECT_EQ(label.Company, QStringLiteral("Elektro Schmidt"));
  EXPECT_EQ(label.TestDate, QDate(2026, 6, 12));
  EXPECT_EQ(Labels::NextTestLine(label), QStringLiteral("06/2027"));
  EXPECT_FALSE(label.Failed);
  EXPECT_TRUE(label.Reason.isEmpty());

  // The first row that failed its limit is the reason.
  ReportRecord failed = r;
  failed.Ok[1] = false;
  failed.MessText[1] = "  0.215";
  failed.Ok[2] = false;
  label = Labels::FromReport(failed);
  EXPECT_TRUE(label.Failed);
  EXPECT_EQ(label.Reason, QStringLiteral("R-ISO 0.215 MOhm, Grenzwert 1.00"));
  // An inspection that failed (or was never ticked, as the printed report says).
  ReportRecord unseen = r;
  unseen.Funktionspruefung = false;
  EXPECT_EQ(Labels::FromReport(unseen).Reason, QStringLiteral("Funktionsprüfung nicht bestanden"));
  ReportRecord none = r;
  none.RowActive.fill(0);
  EXPECT_EQ(Labels::FromReport(none).Reason, QStringLiteral("Keine Messung"));

  // The code: the Inventar-Nr. alone, or with customer and month.
  label = Labels::FromReport(r);
  EXPECT_EQ(Labels::CodeText(label, Labels::Content::Inventar), QStringLiteral("INV 0001"));
  EXPECT_EQ(Labels::CodeText(label, Labels::Content::InventarKundeDatum), QStringLiteral("INV 0001;Bäckerei Müller;06/2027"));
  EXPECT_EQ(Labels::CodeText(Labels::FromReport(failed), Labels::Content::InventarKundeDatum),
            QStringLiteral("INV 0001;Bäckerei Müller;GESPERRT"));
  EXPECT_EQ(Labels::InventarOfCode(QStringLiteral("INV 0001;Bäckerei Müller;06/2027")), QStringLiteral("INV 0001"));
  EXPECT_EQ(Labels::InventarOfCode(QStringLiteral(" INV 0001 \n")), QStringLiteral("INV 0001"));
  // Without an Inventar-Nr. there is nothing for a scanner to find.
  r.Fields[Layout::kFieldIdentnummer].clear();
  EXPECT_TRUE(Labels::CodeText(Labels::FromReport(r), Labels::Content::InventarKundeDatum).isEmpty());
}

TEST(LabelData, SheetsAreFilledFromTheirStartPositionAndFormatsByKey) {
  Labels::Format sheet;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("A4-3x8"), &sheet));
  EXPECT_EQ(sheet.PerPage(), 24);
  const std::vector<Labels::Slot> places = Labels::Place(sheet, 5, 23);
  ASSERT_EQ(places.size(), 5u);
  EXPECT_EQ(places[0].page, 0);
  EXPECT_EQ(places[0].rect, QRectF(70, 4.5 + 7 * 36, 70, 36));  // position 23: row 8, column 2
  EXPECT_EQ(places[1].rect, QRectF(140, 4.5 + 7 * 36, 70, 36));
  EXPECT_EQ(places[2].page, 1);
  EXPECT_EQ(places[2].rect, QRectF(0, 4.5, 70, 36));
  EXPECT_EQ(Labels::PageCount(sheet, 5, 23), 2);
  EXPECT_EQ(Labels::PageCount(sheet, 24, 1), 1);
  EXPECT_EQ(Labels::PageCount(sheet, 25, 1), 2);
  EXPECT_EQ(Labels::Place(sheet, 1, 99)[0].rect, QRectF(140, 4.5 + 7 * 36, 70, 36));  // past the end: the last place
  // Every sheet lies on its A4 page.
  for (const Labels::Format& f : Labels::Formats())
    for (const Labels::Slot& s : Labels::Place(f, f.PerPage()))
      EXPECT_TRUE(QRectF(0, 0, f.pageWidth, f.pageHeight).contains(s.rect)) << f.key.toStdString();

  Labels::Format roll;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("12mm"), &roll));
  EXPECT_EQ(Labels::PageCount(roll, 3, 7), 3);  // one label a page; no start position
  EXPECT_EQ(Labels::Place(roll, 3, 7)[2].page, 2);

  Labels::Format own;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("50,5 x 30 mm"), &own));
  EXPECT_DOUBLE_EQ(own.pageWidth, 50.5);
  EXPECT_DOUBLE_EQ(own.pageHeight, 30);
  EXPECT_FALSE(Labels::FormatByKey(QStringLiteral("5x30"), &own));    // smaller than any label
  EXPECT_FALSE(Labels::FormatByKey(QStringLiteral("50x400"), &own));  // larger than any label
  EXPECT_FALSE(Labels::FormatByKey(QStringLiteral("A5"), &own));
}

TEST(LabelData, CodesEncodeWhatTheyCanHoldAndSayWhyNot) {
  const Barcode::Symbol qr = Barcode::Encode(Barcode::Type::QR, QStringLiteral("INV-0001"));
  ASSERT_TRUE(qr.ok);
  EXPECT_EQ(qr.columns, 21);  // the smallest QR code
  EXPECT_EQ(qr.rows, 21);
  EXPECT_FALSE(qr.linear);
  for (const QRectF& r : qr.dark) EXPECT_TRUE(QRectF(0, 0, 21, 21).contains(r));
  const Barcode::Symbol dm = Barcode::Encode(Barcode::Type::DataMatrix, QStringLiteral("INV-0001"));
  ASSERT_TRUE(dm.ok);
  EXPECT_EQ(dm.columns, dm.rows);
  const Barcode::Symbol bars = Barcode::Encode(Barcode::Type::Code128, QStringLiteral("INV-0001"));
  ASSERT_TRUE(bars.ok);
  EXPECT_TRUE(bars.linear);
  EXPECT_EQ(bars.rows, 1);
  EXPECT_GT(bars.columns, 8 * 11);

  EXPECT_FALSE(Barcode::Encode(Barcode::Type::QR, QString()).ok);
  const Barcode::Symbol omega = Barcode::Encode(Barcode::Type::Code128, QStringLiteral("Ω-12"));
  EXPECT_FALSE(omega.ok);
  EXPECT_TRUE(omega.error.contains(QStringLiteral("QR-Code")));
  EXPECT_TRUE(Barcode::Encode(Barcode::Type::Code128, QStringLiteral("Küche-1")).ok);  // ISO 8859-1
  const Barcode::Symbol huge = Barcode::Encode(Barcode::Type::QR, QString(8000, QLatin1Char('x')));
  EXPECT_FALSE(huge.ok);
  EXPECT_FALSE(huge.error.isEmpty());

  Barcode::Type type;
  ASSERT_TRUE(Barcode::FromKey(QStringLiteral("DataMatrix"), &type));
  EXPECT_EQ(type, Barcode::Type::DataMatrix);
  EXPECT_FALSE(Barcode::FromKey(QStringLiteral("ean13"), &type));
}
