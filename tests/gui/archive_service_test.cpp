// The program's archive service: a test that cannot reach the archive waits
// in the local queue and is sent when the archive is back; saving a report
// stores its test, and saving it again stores a correction.
#include <gtest/gtest.h>

#include <QFile>
#include <QTableWidget>
#include <QTemporaryDir>

#include "archive/archive.h"
#include "archive/service.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/archivewindow.h"
#include "report/recordlist.h"
#include "tests/testutil.h"

namespace {

QByteArray RecordOf(const QString& inventar) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Kunde");
  r.Fields[17] = inventar;
  r.Fields[25] = QStringLiteral("01.02.2026");
  QByteArray bytes;
  Report::Encode(r, &bytes);
  return bytes;
}

TEST(ArchiveServiceTest, TestsWaitWhileTheArchiveIsUnreachableAndAreSentWhenItIsBack) {
  QTemporaryDir dir;
  ArchiveService& service = ArchiveService::Instance();
  // An archive that cannot be reached: a server on a port nobody listens on
  // (or, without PostgreSQL here, a file in a folder that cannot be made).
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  service.SetLocation(server.isEmpty() ? QStringLiteral("/proc/kelvara/archiv.sqlite")
                                       : QStringLiteral("postgresql://postgres@127.0.0.1:1/kelvara"));
  const int before = service.Pending();
  EXPECT_EQ(service.Store(RecordOf("W-1")), ArchiveService::Result::Queued);
  EXPECT_EQ(service.Store(RecordOf("W-2")), ArchiveService::Result::Queued);
  EXPECT_EQ(service.Pending(), before + 2);
  EXPECT_TRUE(service.StateText().startsWith("Archiv nicht erreichbar: ")) << service.StateText().toStdString();

  // The archive is back: what waited goes in, in order, with the next store.
  const QString archivePath = dir.filePath("archiv.sqlite");
  service.SetLocation(archivePath);
  EXPECT_EQ(service.Store(RecordOf("W-3")), ArchiveService::Result::Stored);
  EXPECT_EQ(service.Pending(), 0);
  EXPECT_EQ(service.StateText(), QStringLiteral("Archiv: lokale Datei"));
  Archive check;
  ASSERT_TRUE(check.Open(archivePath));
  EXPECT_EQ(check.TestCount(), before + 3);
  service.SetLocation(QString());
}

TEST(ArchiveServiceTest, SavingAReportStoresItsTestAndSavingAgainACorrection) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  ArchiveService::Instance().SetLocation(archivePath);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  TFormular form(nullptr);
  form.SetupWindow();
  form.SetFieldText(0, QStringLiteral("Elektro Müller"));
  form.SetFieldText(17, QStringLiteral("INV-9"));
  form.SetFieldText(25, QStringLiteral("09.12.2026"));
  const QString path = dir.filePath("bericht.ini");
  ASSERT_TRUE(form.SaveRecord(path));
  const qint64 first = form.ArchivedTestId;
  EXPECT_GT(first, 0);
  ASSERT_TRUE(form.SaveRecord(path));  // unchanged: the same test
  EXPECT_EQ(form.ArchivedTestId, first);
  form.SetFieldText(28, QStringLiteral("Nachtrag"));
  ASSERT_TRUE(form.SaveRecord(path));
  EXPECT_NE(form.ArchivedTestId, first);

  Archive archive;
  ASSERT_TRUE(archive.Open(archivePath));
  const std::vector<ArchiveData::Appliance> found = archive.Search(QStringLiteral("INV-9"));
  ASSERT_EQ(found.size(), 1u);
  const std::vector<ArchiveData::Test> history = archive.History(found[0].Id);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].Corrects, first);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(history[1].Record, file.readAll());
  EXPECT_EQ(found[0].NextDue, QDate(2027, 12, 9));
  ArchiveService::Instance().SetLocation(QString());
}

}  // namespace

namespace {

TEST(ArchiveWindowTest, AFewHundredAppliancesToLookAt) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archivePath));
    for (int i = 0; i < 300; ++i) {
      ReportRecord r;
      r.Fields[0] = QStringLiteral("Kunde %1").arg(i % 9);
      r.Fields[13] = i % 2 ? QStringLiteral("Bohrmaschine") : QStringLiteral("Verlängerungsleitung 25 m");
      r.Fields[14] = QStringLiteral("Hersteller %1").arg(i % 5);
      r.Fields[16] = QStringLiteral("Halle %1").arg(i % 4);
      r.Fields[17] = QStringLiteral("INV-%1").arg(i, 4, 10, QLatin1Char('0'));
      r.Fields[18] = i % 3 ? QStringLiteral("12") : QStringLiteral("6");
      r.Fields[25] = QDate::currentDate().addDays(-(i * 2)).toString(QStringLiteral("dd.MM.yyyy"));
      r.VdeKlasse = 1 + i % 2;
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
    }
  }
  ArchiveService::Instance().SetLocation(archivePath);
  ArchiveWindow window(nullptr);
  window.SetupWindow();
  window.ShowDue(60);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_GT(window.Shown().size(), 10u);
  // Overdue appliances are red, the others are not.
  const QDate today = QDate::currentDate();
  for (int row = 0; row < window.AppliancesTable()->rowCount(); ++row) {
    const bool overdue = window.Shown()[size_t(row)].NextDue < today;
    EXPECT_EQ(window.AppliancesTable()->item(row, 8)->foreground().color() == QColor(190, 0, 0), overdue) << row;
  }
  window.ShowSearch(QString());
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.Shown().size(), 300u);
  window.AppliancesTable()->selectRow(0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.HistoryTable()->rowCount(), 1);
  // The history as CSV, as it stands in the window.
  const QString csvPath = dir.filePath("verlauf.csv");
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) { return *path = csvPath, true; });
  window.ExportHistoryCsv();
  QFile csv(csvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(csv.readAll());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], QString::fromUtf8("Prüfung am"));
  EXPECT_EQ(rows[1][0], window.HistoryTable()->item(0, 0)->text());
  window.show();
  TestUtil::Grab(&window, QStringLiteral("archive-window-300"));
  ArchiveService::Instance().SetLocation(QString());
}

}  // namespace
