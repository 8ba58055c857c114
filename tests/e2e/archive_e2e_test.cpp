// The archive end to end: records from the simulated tester typed in the
// record list and stored as a batch, then, as after a restart, found in the
// archive window, due on the right date, and the due list exported as CSV;
// on a SQLite file and on the PostgreSQL server scripts/test starts.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <unistd.h>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "records/archivewindow.h"
#include "core/recordlist.h"
#include "records/recordlistwindow.h"
#include "tests/pgtestdb.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

class ArchiveVisit : public SimLink, public ::testing::WithParamInterface<Archive::Kind> {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    if (GetParam() == Archive::Kind::SQLite) {
      location_ = out_.filePath("archiv.sqlite");
    } else {
      const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
      if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
      location_ = PgTestDb::Make(server, QStringLiteral("kelvara_e2e_%1").arg(::getpid()));
      ASSERT_FALSE(location_.isEmpty()) << "the PostgreSQL server at $KELVARA_TEST_PG does not answer";
    }
    archive_.SetLocation(location_);
    Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
    Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      *path = chosen_;
      return !chosen_.isEmpty();
    });
  }
  void TearDown() override {
    Seams::ResetAll();
    SimLink::TearDown();
  }
  QTemporaryDir out_;
  QString location_;
  QString chosen_;
  ArchiveService archive_;  // the program's archive service in this visit
};

TEST_P(ArchiveVisit, ABatchStoredTodayIsFoundAfterARestartAndDueOnTheRightDate) {
  StartSim({"--fast", "--records", "5", "--seed", "3"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  {
    TFormular form(w.get());
    form.SetupWindow();
    form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
    form.SetFieldText(18, QStringLiteral("12 Monate"));
    form.SichtpruefungBox->setChecked(true);
    form.FunktionspruefungBox->setChecked(true);
    RecordListWindow list(w.get(), &form, archive_);
    list.SetupWindow();
    LoadAll();
    RecordListModel* model = list.Model();
    ASSERT_EQ(model->RecordCount(), 5);
    for (int row = 0; row < 5; ++row) {
      model->setData(model->index(row, RecordListModel::ColInventar), QStringLiteral("INV-%1").arg(row + 1), Qt::EditRole);
      model->setData(model->index(row, RecordListModel::ColBezeichnung), QStringLiteral("Gerät %1").arg(row + 1), Qt::EditRole);
      model->setData(model->index(row, RecordListModel::ColDatum), QStringLiteral("15.01.2026"), Qt::EditRole);
    }
    chosen_ = out_.path();
    list.SaveRecords();
  }
  // As after a restart: a new service, a new window.
  ArchiveService restarted;
  restarted.SetLocation(location_);
  ArchiveWindow window(nullptr, restarted);
  window.SetupWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  window.ShowSearch(QStringLiteral("INV-"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  ASSERT_EQ(window.Shown().size(), 5u);
  for (const ArchiveData::Appliance& a : window.Shown()) {
    EXPECT_EQ(a.Customer, QString::fromUtf8("Elektro Müller GmbH"));
    EXPECT_EQ(a.LastTest, QDate(2026, 1, 15));
    EXPECT_EQ(a.NextDue, QDate(2027, 1, 15));
  }
  window.ShowHistory(0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.History()->rowCount(), 1);
  // Due within the days up to 15.01.2027 (and overdue): all five; before it, none.
  const int daysToDue = int(QDate::currentDate().daysTo(QDate(2027, 1, 15)));
  window.ShowDue(daysToDue);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.Shown().size(), 5u);
  if (daysToDue > 0) {
    window.ShowDue(daysToDue - 1);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
    EXPECT_EQ(window.Shown().size(), 0u);
  }
  window.ShowDue(daysToDue);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  chosen_ = out_.filePath("faellig.csv");
  window.ExportCsv();
  QFile csv(chosen_);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(csv.readAll());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0][1], "Inventar-Nr.");
  for (size_t r = 1; r < rows.size(); ++r) {
    EXPECT_TRUE(rows[r][1].startsWith("INV-"));
    EXPECT_EQ(rows[r][8], "15.01.2027");
  }
  window.resize(1100, 640);
  TestUtil::Grab(&window, QStringLiteral("archive-window"));
}

INSTANTIATE_TEST_SUITE_P(Databases, ArchiveVisit, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

// A damaged, a missing and a malformed archive: the window and the
// command-line tool say so and how to restore, and never show an empty list.
TEST(ArchiveFailures, ADamagedArchiveIsAMessageInTheWindowAndAStatusFromTheCli) {
  QTemporaryDir dir;
  const QString path = dir.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(path));
    for (int i = 0; i < 300; ++i) {
      ReportRecord r;
      r.Fields[0] = QStringLiteral("Kunde");
      r.Fields[17] = QStringLiteral("D-%1").arg(i);
      r.Fields[25] = QStringLiteral("01.02.2025");
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
    }
  }
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  const qint64 pages = file.size() / 4096;
  for (qint64 p = pages / 3; p < pages / 3 + 3; ++p) {
    file.seek(p * 4096);
    file.write(QByteArray(4096, '\0'));
  }
  file.close();

  auto cli = [&](const QString& location, const QStringList& args) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KELVARA_ARCHIVE", location);
    p.setProcessEnvironment(e);
    p.start(QString(KELVARA_SIM_PATH).replace("zelto-sim", "kelvara-cli"), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardError()));
  };
  for (const QStringList& args : {QStringList{"archive", "due"}, QStringList{"archive", "export", dir.filePath("aus")}}) {
    const auto [status, err] = cli(path, args);
    EXPECT_EQ(status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("beschädigt")) && err.contains(QStringLiteral("Sicherungskopie"))) << err.toStdString();
  }
  EXPECT_TRUE(QDir(dir.filePath("aus")).isEmpty());
  // Only reading never makes an archive; a malformed address is the input's fault.
  const QString missing = dir.filePath("fehlt/archiv.sqlite");
  const auto [status, err] = cli(missing, {"archive", "due"});
  EXPECT_EQ(status, 2);
  EXPECT_TRUE(err.contains(missing)) << err.toStdString();
  EXPECT_FALSE(QFileInfo::exists(missing));
  const auto [badStatus, badErr] = cli("postgresql://:99999", {"archive", "export", dir.filePath("aus")});
  EXPECT_EQ(badStatus, 1);
  EXPECT_TRUE(badErr.contains(QStringLiteral("ungültig"))) << badErr.toStdString();

  // The window: a message with the reason, once, not "0 Geräte".
  ArchiveService service;
  service.SetLocation(path);
  {
    ArchiveWindow window(nullptr, service);
    window.SetupWindow();
    EXPECT_EQ(window.StatusLabel()->text(), QStringLiteral("Lade ..."));
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
    const QString said = window.StatusLabel()->text();
    EXPECT_TRUE(said.contains(QStringLiteral("beschädigt")) && said.contains(QStringLiteral("Sicherungskopie"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("Geräte")));
    EXPECT_EQ(window.Shown().size(), 0u);
  }
}

}  // namespace
