// Reports after DIN EN 50699 end to end: records of the simulated tester's
// "VDE 0701 / 0702" loaded into the record list, reported under the newer
// standard with cords of different lengths and compared with the tests the
// archive holds; the PDFs say so in their text.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include "core/archiveservice.h"
#include "core/reportrules.h"
#include "platform/seams.h"
#include "records/recordlistwindow.h"
#include "report/TFormular.h"
#include "report/testdetailsdialog.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The page as pictures at 100 % and 200 %, to be looked at.
void PdfPictures(const QString& pdf, const QString& name) {
  for (int dpi : {72, 144}) {
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                         QStringLiteral("-singlefile"), pdf,
                                         TestUtil::OutDir() + QStringLiteral("/%1-%2dpi").arg(name).arg(dpi)});
    p.waitForFinished(30000);
  }
}

// The test of an appliance a year ago, as the archive keeps it.
QByteArray YearBefore(const QString& inventar, const QString& rpe) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Elektro Müller GmbH");
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefungAm] = QDate::currentDate().addYears(-1).toString(QStringLiteral("dd.MM.yyyy"));
  r.VdePruefgrundlage = 4;
  r.VdeKlasse = 1;
  r.MessText = {rpe, QStringLiteral("  5.00"), QStringLiteral("  0.110"), QStringLiteral("  0.100"), "??", "??", "??", "??"};
  r.GrenzText = {QStringLiteral(" 0.30"), QStringLiteral(" 1.00"), QStringLiteral(" 3.50"), QStringLiteral(" 3.50"),
                 "??", "??", "??", "??"};
  r.RowActive = {1, 1, 1, 1, 0, 0, 0, 0};
  r.Ok = {true, true, true, true, false, false, false, false};
  QByteArray bytes;
  EXPECT_EQ(Report::Encode(r, &bytes).status, Report::WriteResult::Ok);
  return bytes;
}

class CurrentVisit : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    archive_.SetLocation(out_.filePath(QStringLiteral("archiv.sqlite")));
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r, int(Win::IDYES); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      *path = chosen_;
      return !chosen_.isEmpty();
    });
  }
  void TearDown() override {
    list_.reset();
    form_.reset();
    Seams::ResetAll();
    archive_.Shutdown();
    SimLink::TearDown();
  }
  QTemporaryDir out_;
  ArchiveService archive_;
  std::unique_ptr<TFormular> form_;
  std::unique_ptr<RecordListWindow> list_;
  QList<MessageBoxRequest> boxes_;
  QString chosen_;
};

TEST_F(CurrentVisit, RPE035PassesOnA10mCordAndFailsOnA2mCordAndThePdfNamesStandardReasonAndPreviousValues) {
  // A year ago the archive took both appliances.
  ASSERT_EQ(archive_.Store(YearBefore(QStringLiteral("INV-10"), QStringLiteral("  0.300"))), ArchiveService::Result::Stored);
  ASSERT_EQ(archive_.Store(YearBefore(QStringLiteral("INV-2"), QStringLiteral("  0.200"))), ArchiveService::Result::Stored);
  // Today the tester holds two records of "VDE 0701 / 0702", class I, each
  // with R-PE 0.350 Ohm, R-ISO 5 MOhm and currents of 0.12 and 0.1 mA.
  StartSim({QStringLiteral("--fast"), QStringLiteral("--record-file"),
            RecordFile("0 3:3500 7:5000 9:1200 11:1000\n0 3:3500 7:5000 9:1200 11:1000\n")});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  form_ = std::make_unique<TFormular>(w.get());
  form_->SetArchive(&archive_);
  form_->SetupWindow();
  form_->SetFieldText(Layout::kFieldAuftraggeber, QStringLiteral("Elektro Müller GmbH"));
  form_->SetFieldText(Layout::kFieldPruefer, QStringLiteral("Musterstadt, Jana Kühn"));
  form_->SichtpruefungBox->setChecked(true);
  form_->FunktionspruefungBox->setChecked(true);
  // The template: records of the tester's "VDE 0701 / 0702" are reported
  // after DIN EN 50699, as recurrent tests.
  form_->EvCommand(TFormular::kPruefangabenId, form_->PruefangabenButton, 0);
  auto* details = form_->findChild<TestDetailsDialog*>();
  ASSERT_NE(details, nullptr);
  auto* norm = TestUtil::Find<QComboBox>(details, TestDetailsDialog::Norm0701Id);
  norm->setCurrentIndex(norm->findText(QStringLiteral("DIN EN 50699 (VDE 0702)")));
  auto* anlass = TestUtil::Find<QComboBox>(details, TestDetailsDialog::AnlassId);
  anlass->setCurrentIndex(anlass->findText(QStringLiteral("Wiederholungsprüfung")));
  TestUtil::Find<QPushButton>(details, TestDetailsDialog::OkId)->click();

  list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
  list_->SetupWindow();
  list_->show();
  LoadAll();
  RecordListModel* model = list_->Model();
  ASSERT_EQ(model->RecordCount(), 2);
  ASSERT_TRUE(model->setData(model->index(0, RecordListModel::ColInventar), QStringLiteral("INV-10"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(0, RecordListModel::ColLaenge), QStringLiteral("10"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(1, RecordListModel::ColInventar), QStringLiteral("INV-2"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(1, RecordListModel::ColLaenge), QStringLiteral("2"), Qt::EditRole));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !model->EarlierBusy() && !model->Entry(1).PreviousDate.isEmpty(); }, 15000));

  const int rpe = RecordListModel::ColFirstValue;
  EXPECT_EQ(model->Entry(0).Limit[0], QStringLiteral("0.40"));
  EXPECT_EQ(model->Entry(0).RowResult[0], 1);
  EXPECT_EQ(model->Entry(0).Verdict, 1);
  EXPECT_EQ(model->Entry(1).Limit[0], QStringLiteral("0.30"));
  EXPECT_EQ(model->Entry(1).RowResult[0], 0);
  EXPECT_EQ(model->Entry(1).Verdict, 0);
  // 0.300 -> 0.350 is no warning; 0.200 -> 0.350 is (+75 %).
  EXPECT_FALSE(model->Entry(0).Warn[0]);
  EXPECT_TRUE(model->Entry(1).Warn[0]);
  EXPECT_EQ(model->data(model->index(1, RecordListModel::ColFirstPrevious), Qt::DisplayRole).toString(), "0.200");
  EXPECT_EQ(model->data(model->index(0, rpe), Qt::DisplayRole).toString(), "0.350");

  // Both reports as PDF files, named after their Inventar-Nr.
  chosen_ = out_.filePath(QStringLiteral("berichte"));
  ASSERT_TRUE(QDir().mkpath(chosen_));
  list_->Command(RecordListWindow::PdfFilesId);
  const QString passed = QDir(chosen_).filePath(QStringLiteral("INV-10.pdf"));
  const QString failed = QDir(chosen_).filePath(QStringLiteral("INV-2.pdf"));
  ASSERT_TRUE(QFile::exists(passed) && QFile::exists(failed)) << boxes_.size();

  const QString ten = PdfText(passed).simplified();
  EXPECT_TRUE(ten.contains(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)"))) << ten.toStdString();
  EXPECT_TRUE(ten.contains(QStringLiteral("Wiederholungsprüfung elektrischer Geräte")));
  EXPECT_TRUE(ten.contains(QStringLiteral("Anlass der Prüfung: Wiederholungsprüfung")));
  // The row of the protective conductor: previous value, measured value, limit.
  EXPECT_TRUE(ten.contains(QStringLiteral("Schutzleiterwiderstand Prüfstrom mind. 200 mA 0.300 0.350 0.40 Ohm Ja")))
      << ten.toStdString();
  EXPECT_TRUE(ten.contains(QStringLiteral("R-PE: 10 m Leitung")));
  EXPECT_TRUE(ten.contains(QStringLiteral("Vorprüfung: ") +
                           QDate::currentDate().addYears(-1).toString(QStringLiteral("dd.MM.yyyy"))));
  EXPECT_TRUE(ten.contains(QStringLiteral("Der Prüfling hat die Prüfung bestanden")));

  const QString two = PdfText(failed).simplified();
  EXPECT_TRUE(two.contains(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)")));
  EXPECT_TRUE(two.contains(QStringLiteral("Schutzleiterwiderstand Prüfstrom mind. 200 mA 0.200 0.350 ! 0.30 Ohm Nein")))
      << two.toStdString();
  EXPECT_TRUE(two.contains(QStringLiteral("R-PE +75 %")));
  EXPECT_TRUE(two.contains(QStringLiteral("nicht bestanden")));
  PdfPictures(failed, QStringLiteral("current-standard-report"));
}

}  // namespace
