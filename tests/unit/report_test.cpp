// The report as data: value texts, Kopieren's judgement, the verdict rule and
// the data record file, without a window.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/values.h"
#include "core/recordlist.h"
#include "core/reportrecord.h"

namespace {

TEST(ValuesTest, RawValuesBecomeTheTextsTheDeviceWindowShows) {
  EXPECT_EQ(Values::FormatValue(3, 1500).text, "  0.150");
  EXPECT_EQ(Values::FormatValue(3, 1500).row, 0);
  EXPECT_EQ(Values::FormatValue(8, 32767).text, "Overflow");
  EXPECT_EQ(Values::FormatValue(12, 250).text, "   0.25");
  // Single precision: 0.1 * 3 counts is 0.3000000119 in float, shown as such.
  EXPECT_EQ(Values::FormatValue(5, 3).text, " 0.0000");
  EXPECT_EQ(Values::FormatValue(2, 100).row, -1);
  EXPECT_EQ(Values::RangeText(22), "Isolationswiderstand, Calibrierung RISO 200MOhm");
  EXPECT_EQ(Values::RangeText(23), "?");
  EXPECT_EQ(Values::RangeText(-1), "?");
}

TEST(ValuesTest, SettingsShowTheRowsOfTheTestAndTheirDefaultLimits) {
  const int all[4] = {1, 1, 1, 1};
  // Class II under DIN VDE 0701-0702: no protective conductor to measure.
  Values::RowSettings s = Values::Settings(2, 4, all, kRowApplies, kDefaultLimits);
  EXPECT_FALSE(s.active[0]);
  EXPECT_TRUE(s.active[1]);
  ASSERT_TRUE(s.hasLimits);
  for (int r = 0; r < 4; ++r)
    EXPECT_EQ(s.limitText[r].toDouble(), double(kDefaultLimits[2][4][r])) << r;
  const int none[4] = {0, 1, 0, 0};
  s = Values::Settings(1, 4, none, kRowApplies, kDefaultLimits);
  EXPECT_FALSE(s.active[0]);
  EXPECT_TRUE(s.active[1]);
  s = Values::Settings(4, 4, all, kRowApplies, kDefaultLimits);  // a class the tables do not have
  EXPECT_FALSE(s.hasLimits);
  for (bool a : s.active) EXPECT_FALSE(a);
}

TEST(ReportTest, KopierenJudgesEachRowInItsDirection) {
  EXPECT_TRUE(Report::RowPasses(0, "0.29", "0.30"));
  EXPECT_FALSE(Report::RowPasses(0, "0.30", "0.30"));  // strictly below
  EXPECT_TRUE(Report::RowPasses(1, "1.00", "1.00"));   // at least
  EXPECT_TRUE(Report::RowPasses(1, "Overflow", "1.00"));
  EXPECT_FALSE(Report::RowPasses(0, "Overflow", "1.00"));
  EXPECT_TRUE(Report::RowPasses(2, "0.50", "0.50"));  // not above
  EXPECT_FALSE(Report::RowPasses(2, "?", "0.50"));

  DeviceSnapshot device;
  device.VdePruefgrundlage = 4;
  device.VdeKlasse = 2;
  for (int& a : device.MeasurementAvailable) a = 1;
  device.ValueText = {"?", "  2.50", "  0.100", "  0.100"};
  device.LimitText = {" 0.30", " 2.00", " 0.50", "this limit text is far too long"};
  device.DeviceText = QStringLiteral("Zelto-Gerätetester  V2.04.11");
  ReportRecord record;
  record.MessText[6] = "12";
  record.RowActive[6] = 1;
  Report::Evaluate(device, &record);
  EXPECT_EQ(record.RowActive, (std::array<int, 8>{0, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(record.Ok[1], true);
  EXPECT_EQ(record.Ok[2], true);
  EXPECT_EQ(record.GrenzText[3], "this limit text is");  // 18 characters, as the window's text is read
  EXPECT_EQ(record.MessText[6], "??");
  EXPECT_EQ(record.Fields[Layout::kFieldSchutzklasse], "II");
  EXPECT_EQ(record.Fields[Layout::kFieldMessgeraet], device.DeviceText);
}

TEST(ReportTest, TheVerdictNeedsEveryActiveRowAtLeastOneAndBothInspections) {
  ReportRecord r;
  EXPECT_EQ(Report::GesamtOk(r), 0);  // no row belongs to the report: failed
  r.Ok.fill(true);
  r.Sichtpruefung = r.Funktionspruefung = true;
  EXPECT_EQ(Report::GesamtOk(r), 0);  // results of rows that do not belong count for nothing
  EXPECT_FALSE(Report::Passed(r));
  r.Ok.fill(false);
  r.RowActive[1] = r.RowActive[2] = 1;
  r.Ok[1] = true;
  EXPECT_EQ(Report::GesamtOk(r), 0);  // an active row failed
  r.Ok[2] = true;  // row 5 does not belong: its failed result is not judged
  EXPECT_EQ(Report::GesamtOk(r), 1);
  EXPECT_TRUE(Report::Passed(r));
  r.Funktionspruefung = false;
  EXPECT_FALSE(Report::Passed(r));
  EXPECT_EQ(Report::GesamtOk(r), 1);
}

// The form's Kopieren and a loaded file (the archive, the tool, the form's
// Laden) judge a report's rows by the same table.
TEST(ReportTest, KopierenAndLoadingAgreeOnTheRowsOfEveryStandardAndClass) {
  for (int klasse = 0; klasse <= kClassMax + 1; ++klasse)
    for (int standard : {0, 1, 2, 3, 4, 5, 9}) {  // 6..8: the standards in force today, their own test
      DeviceSnapshot device;
      device.VdePruefgrundlage = standard;
      device.VdeKlasse = klasse;
      for (int& a : device.MeasurementAvailable) a = 1;
      device.ValueText.fill(QStringLiteral("  0.100"));
      device.LimitText.fill(QStringLiteral(" 0.50"));
      ReportRecord copied;
      Report::Evaluate(device, &copied);
      QByteArray bytes;
      ASSERT_EQ(Report::Encode(copied, &bytes).status, Report::WriteResult::Ok);
      ReportRecord loaded;
      ASSERT_EQ(Report::ReadBytes(bytes, &loaded).status, Report::ReadResult::Ok);
      for (int row = 0; row < kRowCount; ++row) {
        const bool inTable = klasse >= 1 && klasse <= kClassMax && standard >= 1 && standard <= kStandardMax &&
                             row < kDeviceRowCount && kRowApplies[klasse][standard][row] == 1;
        EXPECT_EQ(copied.RowActive[row], inTable ? 1 : 0) << klasse << "/" << standard << "/" << row;
        EXPECT_EQ(loaded.RowActive[row], copied.RowActive[row]) << klasse << "/" << standard << "/" << row;
      }
      EXPECT_EQ(Report::Passed(loaded), Report::Passed(copied));
    }
}

TEST(ReportTest, TheDataRecordFileReadsBackWhatWasWritten) {
  QTemporaryDir dir;
  const QString path = dir.filePath("bericht.ini");
  ReportRecord written;
  for (int i = 0; i < Layout::kFieldCount; ++i) written.Fields[i] = QStringLiteral("Feld %1 äöü").arg(i);
  written.Fields[28] = QStringLiteral("  mit Leerzeichen  ");
  written.VdePruefgrundlage = 5;
  written.VdeKlasse = 1;
  written.MessText = {"  0.150", "Overflow", "  0.010", "?", "??", "??", "??", "??"};
  written.GrenzText = {" 0.30", " 1.00", " 0.50", " 0.50", "??", "??", "??", "??"};
  written.Ok = {true, true, true, false, false, false, false, false};
  written.Sichtpruefung = true;
  ASSERT_EQ(Report::Write(path, written).status, Report::WriteResult::Ok);

  ReportRecord read;
  ASSERT_EQ(Report::Read(path, &read).status, Report::ReadResult::Ok);
  EXPECT_EQ(read.Fields, written.Fields);
  EXPECT_EQ(read.MessText, written.MessText);
  EXPECT_EQ(read.GrenzText, written.GrenzText);
  EXPECT_EQ(read.Ok, written.Ok);
  EXPECT_TRUE(read.Sichtpruefung);
  EXPECT_FALSE(read.Funktionspruefung);
  // Rows 0..3 as the standard and class prescribe them, whatever their text.
  EXPECT_EQ(read.RowActive, (std::array<int, 8>{1, 1, 1, 1, 0, 0, 0, 0}));

  // A text the file cannot hold: nothing is written.
  ReportRecord bad = written;
  bad.Fields[3] = QStringLiteral("Ω");
  const QByteArray before = [&] {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  const Report::WriteResult refused = Report::Write(path, bad);
  EXPECT_EQ(refused.status, Report::WriteResult::FieldNotStorable);
  EXPECT_EQ(refused.field, 3);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);

  // No record in the file: the record stays as it was.
  const QString other = dir.filePath("andere.ini");
  QFile o(other);
  ASSERT_TRUE(o.open(QIODevice::WriteOnly));
  o.write("[Anderes]\r\nAuftraggeber=x\r\n");
  o.close();
  ReportRecord untouched = written;
  EXPECT_EQ(Report::Read(other, &untouched).status, Report::ReadResult::NoRecord);
  EXPECT_EQ(untouched.Fields, written.Fields);
  EXPECT_EQ(Report::Read(dir.filePath("fehlt.ini"), &untouched).status, Report::ReadResult::Missing);
}

TEST(LayoutTest, FieldsLieOnThePageInTheirColumnAndDoNotOverlap) {
  for (int i = 0; i < Layout::kFieldCount; ++i) {
    const QRect r = Layout::FieldRect(i);
    EXPECT_TRUE(QRect(0, 0, Layout::kPageWidth, Layout::kPageHeight).contains(r)) << i;
    if (i < 28) EXPECT_TRUE(r.x() == Layout::kColLeftField || r.x() == Layout::kColRightField) << i;
    for (int j = i + 1; j < Layout::kFieldCount; ++j) EXPECT_FALSE(r.intersects(Layout::FieldRect(j))) << i << "/" << j;
  }
  for (int r = 0; r < kRowCount; ++r)
    EXPECT_EQ(Layout::OkBoxRect(r).y(), Layout::kBands[4] + 20 + 20 * r);
  EXPECT_EQ(Report::Key(0), "Auftraggeber");
  EXPECT_EQ(Report::Key(31), "MESS_RPE");
  EXPECT_EQ(Report::Key(31 + 8 + 7), "GRENZ_IA");
  EXPECT_EQ(Report::Key(Report::kKeyCount - 1), "GRENZ_IA_OK");
}

}  // namespace

namespace {

TEST(RecordListTest, EntriesJudgeTheRowsThatApplyWithTheLimitsThatApply) {
  DeviceRecord records[2];
  // Class I, VDE 0701-0702: R-PE 0.150 Ohm, R-ISO Overflow, I-ABL 0.100 mA, no I-EA.
  records[0].RangeCode[0] = 3;
  records[0].RawValue[0] = 1500;
  records[0].RangeCode[1] = 8;
  records[0].RawValue[1] = 32767;
  records[0].RangeCode[2] = 9;
  records[0].RawValue[2] = 1000;
  records[1] = records[0];
  RecordList::Source source;
  source.Records = records;
  source.Count = 2;
  ReportRecord form;
  form.Sichtpruefung = form.Funktionspruefung = true;
  ApplianceData data;
  ListEntry e = RecordList::EntryFor(source, 0, data, form, QDate(2026, 12, 9));
  EXPECT_EQ(e.Value[0], "  0.150");
  EXPECT_EQ(e.Value[3], "");               // no such value in the record
  EXPECT_EQ(e.RowResult, (std::array<int, 4>{1, 1, 1, 0}));  // I-EA applies and has no value: failed
  EXPECT_FALSE(e.Passed);
  // A limit set for this record only.
  data.Limits[3] = "5";
  records[1].RangeCode[3] = 11;
  records[1].RawValue[3] = 100;
  e = RecordList::EntryFor(source, 1, data, form, QDate(2026, 12, 9));
  EXPECT_EQ(e.Limit[3], "5");
  EXPECT_TRUE(e.Passed);
  data.Funktionspruefung = 0;  // this appliance failed its function test
  EXPECT_FALSE(RecordList::EntryFor(source, 1, data, form, QDate(2026, 12, 9)).Passed);
  // The report takes the typed data and today's date.
  data.InventarNr = "INV-7";
  const ReportRecord report = RecordList::ReportFor(source, 1, data, form, QDate(2026, 12, 9));
  EXPECT_EQ(report.Fields[17], "INV-7");
  EXPECT_EQ(report.Fields[25], "09.12.2026");
  EXPECT_FALSE(report.Funktionspruefung);
  EXPECT_EQ(RecordList::FileStem(e, data), "INV-7");
  data.InventarNr = "../..";
  EXPECT_EQ(RecordList::FileStem(e, data), "....");  // a name, not a way out of the folder
}

TEST(RecordListTest, FileNamesFitWhatAFileSystemTakesAndAreUsedOnce) {
  // 90 "€" are 270 bytes: cut at a character, the suffix kept, 255 bytes at most.
  const QString euro(90, QChar(0x20AC));
  const QStringList names = RecordList::UniqueFileNames({euro, euro, "A-1", "a-1", "A-1", QString(300, 'x')}, ".pdf");
  ASSERT_EQ(names.size(), 6);
  EXPECT_EQ(names[0], QString(83, QChar(0x20AC)) + ".pdf");
  EXPECT_EQ(names[1], QString(83, QChar(0x20AC)) + "-2.pdf");
  EXPECT_EQ(names.mid(2, 3), (QStringList{"A-1.pdf", "a-1-2.pdf", "A-1-3.pdf"}));  // letter case aside
  for (const QString& n : names) {
    EXPECT_LE(n.toUtf8().size(), 255) << n.toStdString();
    EXPECT_EQ(QString::fromUtf8(n.toUtf8()), n);  // whole characters only
  }
  // A character outside the first plane is not split either.
  const QString emoji = QString::fromUtf8("\xF0\x9F\x94\x8C").repeated(70);  // 280 bytes
  EXPECT_EQ(RecordList::FitFileName(emoji, ".ini"), QString::fromUtf8("\xF0\x9F\x94\x8C").repeated(62) + ".ini");
}

TEST(RecordListTest, CsvForASpreadsheetAndForScriptsReadsBack) {
  const std::vector<QStringList> rows{{"Nr.", "Bemerkungen"}, {"001", "Kabel \"geknickt\"; getauscht"},
                                      {"002", "zwei, Teile"}, {"003", ""}};
  for (bool spreadsheet : {true, false}) {
    const QByteArray csv = RecordList::Csv(rows, spreadsheet);
    EXPECT_EQ(csv.startsWith("\xEF\xBB\xBF"), spreadsheet);
    EXPECT_EQ(RecordList::ParseCsv(csv), rows) << spreadsheet;
  }
  EXPECT_TRUE(RecordList::Csv(rows, true).contains("001;\"Kabel \"\"geknickt\"\"; getauscht\"\r\n"));
}

}  // namespace
