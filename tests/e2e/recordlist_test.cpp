// A visit end to end: 50 records loaded from the simulated tester into the
// record list, appliance data typed for some, and every report written at once
// as PDF files, one PDF, data record files and CSV; each output is read back
// and compared with the list and with Kopieren by hand.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/batch.h"
#include "report/recordlist.h"
#include "report/recordlistwindow.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

class Visit : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r, int(Win::IDYES); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      if (chosen_.isEmpty()) return false;
      *path = chosen_;
      return true;
    });
  }
  void TearDown() override {
    list_.reset();
    form_.reset();
    Seams::ResetAll();
    SimLink::TearDown();
  }
  // Loads the records from the simulator and opens the list over them.
  void LoadIntoList(int records) {
    StartSim({"--fast", "--records", QString::number(records), "--seed", "7"});
    OpenWindow();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
    form_ = std::make_unique<TFormular>(w.get());
    form_->SetupWindow();
    form_->SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
    form_->SetFieldText(30, QStringLiteral("Prüfer Schmidt"));
    form_->SichtpruefungBox->setChecked(true);
    form_->FunktionspruefungBox->setChecked(true);
    list_ = std::make_unique<RecordListWindow>(w.get(), form_.get());
    list_->SetupWindow();
    list_->show();
    LoadAll();
    ASSERT_EQ(list_->Model()->RecordCount(), records);
  }
  QString Out(const QString& name) const { return out_.filePath(name); }

  QTemporaryDir out_;
  std::unique_ptr<TFormular> form_;
  std::unique_ptr<RecordListWindow> list_;
  QList<MessageBoxRequest> boxes_;
  QString chosen_;
};

TEST_F(Visit, FiftyRecordsBecomeReportsThatAgreeWithTheList) {
  LoadIntoList(50);
  RecordListModel* model = list_->Model();
  // Appliance data for some, as a user types it into the list.
  auto type = [&](int row, int column, const QString& text) {
    ASSERT_TRUE(model->setData(model->index(row, column), text, Qt::EditRole));
  };
  type(0, RecordListModel::ColInventar, QStringLiteral("INV-0001"));
  type(0, RecordListModel::ColBezeichnung, QStringLiteral("Bohrmaschine"));
  type(0, RecordListModel::ColStandort, QStringLiteral("Werkstatt; Halle 2"));
  type(1, RecordListModel::ColInventar, QStringLiteral("INV-0002"));
  type(1, RecordListModel::ColBemerkungen, QStringLiteral("Kabel \"geknickt\", getauscht"));
  ASSERT_TRUE(model->setData(model->index(2, RecordListModel::ColFunktion), Qt::Unchecked, Qt::CheckStateRole));
  int passed = 0, failed = 0;
  for (int row = 0; row < 50; ++row) (model->Entry(row).Passed ? passed : failed) += 1;
  EXPECT_GT(passed, 0);
  EXPECT_GT(failed, 0);  // record 3 at least: its function test failed
  EXPECT_FALSE(model->Entry(2).Passed);

  // --- PDF files, one per record.
  QDir(out_.path()).mkpath("pdf");
  chosen_ = Out("pdf");
  list_->ReportsAsPdfFiles();
  const QStringList pdfs = QDir(Out("pdf")).entryList({"*.pdf"}, QDir::Files, QDir::Name);
  ASSERT_EQ(pdfs.size(), 50);
  EXPECT_TRUE(pdfs.contains("INV-0001.pdf"));
  EXPECT_TRUE(pdfs.contains("Datensatz 003.pdf"));
  EXPECT_TRUE(QDir(Out("pdf")).entryList(QDir::Hidden | QDir::Files).filter(".part").isEmpty());
  QFile::remove(TestUtil::OutDir() + "/batch-report.pdf");
  QFile::copy(Out("pdf/INV-0001.pdf"), TestUtil::OutDir() + "/batch-report.pdf");  // to be looked at
  for (int row = 0; row < 50; ++row) {
    const QString stem = RecordList::FileStem(model->Entry(row), model->Appliance(row));
    const QString text = PdfText(Out("pdf/" + stem + ".pdf"));
    ASSERT_FALSE(text.isEmpty()) << row;
    const bool pdfPassed = text.contains("Der Prüfling hat die Prüfung bestanden");
    EXPECT_EQ(pdfPassed, model->Entry(row).Passed) << row;
    EXPECT_TRUE(text.contains("Elektro Müller GmbH")) << row;
    if (!model->Appliance(row).InventarNr.isEmpty()) EXPECT_TRUE(text.contains(model->Appliance(row).InventarNr));
  }

  // --- One PDF with a page per record.
  chosen_ = Out("alle.pdf");
  list_->ReportsAsOnePdf();
  QProcess info;
  info.start("pdfinfo", {Out("alle.pdf")});
  ASSERT_TRUE(info.waitForFinished(30000));
  EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Pages:\\s+50\\b")));

  // --- Data record files: each loads into a fresh form with the list's results,
  // and equals what Kopieren and saving by hand make.
  QDir(out_.path()).mkpath("ini");
  chosen_ = Out("ini");
  list_->SaveRecords();
  TFormular fresh(w.get());
  fresh.SetupWindow();
  for (int row = 0; row < 50; ++row) {
    const ListEntry entry = model->Entry(row);
    const QString path = Out("ini/" + RecordList::FileStem(entry, model->Appliance(row)) + ".ini");
    ASSERT_TRUE(fresh.LoadRecord(path)) << row;
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(fresh.RowActive[r] != 0, entry.RowResult[r] >= 0) << row << "/" << r;
      if (entry.RowResult[r] >= 0) EXPECT_EQ(fresh.OkBoxes[r]->isChecked(), entry.RowResult[r] == 1) << row << "/" << r;
    }
  }
  // By hand for two records: step to the record, Kopieren, type, save.
  for (int row : {0, 17}) {
    TFormular byHand(w.get());
    byHand.SetupWindow();
    byHand.Show(form_->Record());
    w->RecordIndex = row;
    w->ShowRecord();
    byHand.Evaluate();
    const ApplianceData& d = model->Appliance(row);
    if (!d.InventarNr.isEmpty()) byHand.SetFieldText(17, d.InventarNr);
    if (!d.Bezeichnung.isEmpty()) byHand.SetFieldText(13, d.Bezeichnung);
    if (!d.Standort.isEmpty()) byHand.SetFieldText(16, d.Standort);
    byHand.SetFieldText(25, model->data(model->index(row, RecordListModel::ColDatum), Qt::DisplayRole).toString());
    const QString handPath = Out(QStringLiteral("hand-%1.ini").arg(row));
    ASSERT_TRUE(byHand.SaveRecord(handPath));
    QFile a(handPath), b(Out("ini/" + RecordList::FileStem(model->Entry(row), d) + ".ini"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll()) << row;
  }

  // --- CSV: parses back to the list's contents.
  chosen_ = Out("liste.csv");
  list_->ExportCsv(true);
  QFile csv(Out("liste.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QByteArray bytes = csv.readAll();
  EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
  const std::vector<QStringList> rows = RecordList::ParseCsv(bytes);
  ASSERT_EQ(rows.size(), 51u);
  EXPECT_EQ(rows[0], RecordList::Columns());
  for (int row = 0; row < 50; ++row) {
    for (int column = 0; column < RecordListModel::ColumnCount; ++column) {
      if (column == RecordListModel::ColSicht || column == RecordListModel::ColFunktion) continue;
      EXPECT_EQ(rows[size_t(row + 1)][column], model->data(model->index(row, column), Qt::DisplayRole).toString())
          << row << "/" << column;
    }
  }

  // What the user looks at: the list with passed and failed records.
  list_->resize(1200, 600);
  TestUtil::Grab(list_.get(), QStringLiteral("record-list"));
}

TEST_F(Visit, TheListFillsWhenALoadEndsAndADoubleClickShowsTheRecord) {
  LoadIntoList(3);
  bool deviceWanted = false;
  QObject::connect(list_.get(), &RecordListWindow::DeviceWindowWanted, [&] { deviceWanted = true; });
  list_->ShowInDevice(2);
  EXPECT_TRUE(deviceWanted);
  EXPECT_EQ(w->RecordIndex, 2);
  EXPECT_EQ(Text(1453), "003");
  // Sorting by verdict keeps each row's data with it.
  list_->Table()->sortByColumn(RecordListModel::ColVerdict, Qt::AscendingOrder);
  EXPECT_EQ(list_->ChosenRows().size(), 3u);
}

TEST_F(Visit, ARunningLoadShowsTheTimeLeftAndCanBeCancelled) {
  StartSim({"--records", "40"});  // at line rate: about 9 s for all
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  form_ = std::make_unique<TFormular>(w.get());
  form_->SetupWindow();
  list_ = std::make_unique<RecordListWindow>(w.get(), form_.get());
  list_->SetupWindow();
  list_->show();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
  w->ButtonClicked(105);
  auto* status = TestUtil::Find<QLabel>(list_.get(), RecordListWindow::StatusId);
  auto* cancel = TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::CancelLoadId);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return status->text().contains("noch etwa"); }, 20000)) << status->text().toStdString();
  EXPECT_TRUE(status->text().startsWith("Lade Datensatz "));
  EXPECT_TRUE(cancel->isVisible());
  cancel->click();
  EXPECT_EQ(w->LoadState, 0);
  const int kept = w->RecordCount;
  EXPECT_GE(kept, 1);
  EXPECT_LT(kept, 40);
  EXPECT_EQ(list_->Model()->RecordCount(), kept);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !cancel->isVisible() && ButtonsEnabled(); }, 5000));
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("%1 Prüfungen").arg(kept))) << status->text().toStdString();
}

TEST(BatchTest, ACancelledJobLeavesNoHalfWrittenFile) {
  QTemporaryDir dir;
  std::vector<ReportRecord> reports(5);
  QStringList paths;
  for (int i = 0; i < 5; ++i) paths << dir.filePath(QStringLiteral("r%1.pdf").arg(i));
  const Batch::Result files = Batch::WritePdfs(reports, paths, [](int done) { return done < 2; });
  EXPECT_TRUE(files.canceled);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // the two complete ones
  const Batch::Result one = Batch::WriteOnePdf(reports, dir.filePath("alle.pdf"), [](int done) { return done < 3; });
  EXPECT_TRUE(one.canceled);
  EXPECT_FALSE(QFile::exists(dir.filePath("alle.pdf")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
  const Batch::Result nowhere = Batch::WriteOnePdf(reports, dir.filePath("kein/ordner/alle.pdf"), nullptr);
  EXPECT_FALSE(nowhere.ok);
  EXPECT_TRUE(nowhere.error.contains("wurde nicht geschrieben")) << nowhere.error.toStdString();
}

}  // namespace
