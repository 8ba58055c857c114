// Labels of a visit end to end: records from the simulated tester in the
// record list, labels for all of them as one PDF, each label's code read back
// from the PDF and typed into the list, which finds its row; the next test's
// month in the list, its CSV and on the labels, with the appliance's own
// interval from the archive where the form names none.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/duedates.h"
#include "core/recordlist.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "records/labeldialog.h"
#include "records/recordlistwindow.h"
#include "report/TFormular.h"
#include "tests/labeltools.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

class VisitLabels : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r.text, int(Win::IDYES); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      *path = chosen_;
      return !chosen_.isEmpty();
    });
  }
  void TearDown() override {
    list_.reset();
    form_.reset();
    Seams::ResetAll();
    SimLink::TearDown();
  }
  void LoadIntoList(int records, const QString& interval) {
    StartSim({"--fast", "--records", QString::number(records), "--seed", "11"});
    OpenWindow();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
    form_ = std::make_unique<TFormular>(w.get());
    form_->SetupWindow();
    form_->SetFieldText(Layout::kFieldAuftraggeber, QStringLiteral("Bäckerei Müller"));
    form_->SetFieldText(Layout::kFieldAuftragnehmer, QStringLiteral("Elektro Schmidt GmbH"));
    form_->SetFieldText(Layout::kFieldPruefintervall, interval);
    form_->SichtpruefungBox->setChecked(true);
    form_->FunktionspruefungBox->setChecked(true);
    list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
    list_->SetupWindow();
    list_->show();
    LoadAll();
    ASSERT_EQ(list_->Model()->RecordCount(), records);
  }
  void Type(int row, int column, const QVariant& value, int role = Qt::EditRole) {
    RecordListModel* model = list_->Model();
    ASSERT_TRUE(model->setData(model->index(row, column), value, role)) << model->LastRefusal().toStdString();
  }

  QTemporaryDir out_;
  std::unique_ptr<TFormular> form_;
  ArchiveService archive_;  // outlives the list
  std::unique_ptr<RecordListWindow> list_;
  QStringList boxes_;
  QString chosen_;
};

}  // namespace

// 30 records, labels for all as one PDF: 30 labels, the failed ones red with
// "GESPERRT"; each label's code, read back from the PDF, typed into the list
// finds its row.
TEST_F(VisitLabels, ThirtyLabelsScanBackIntoTheirRows) {
  if (!LabelTools::Have("zbarimg") || !LabelTools::Have("pdftoppm")) GTEST_SKIP() << LabelTools::Missing("zbarimg/pdftoppm");
  LoadIntoList(30, QStringLiteral("24 Monate"));
  RecordListModel* model = list_->Model();
  for (int row = 0; row < 30; ++row) Type(row, RecordListModel::ColInventar, QStringLiteral("BM-%1/Ü").arg(row + 1, 3, 10, QChar('0')));
  Type(4, RecordListModel::ColFunktion, Qt::Unchecked, Qt::CheckStateRole);  // this one failed its function test
  Type(9, RecordListModel::ColDatum, QStringLiteral("01.03.2026"));
  std::vector<bool> failed(30);
  int failures = 0;
  for (int row = 0; row < 30; ++row) failures += failed[size_t(row)] = !model->Entry(row).Passed;
  ASSERT_GT(failures, 0);
  ASSERT_LT(failures, 30);

  // The list shows the month each report prints.
  const QString next = DueDates::MonthText(QDate::currentDate().addMonths(24));
  EXPECT_EQ(model->data(model->index(0, RecordListModel::ColNaechste), Qt::DisplayRole).toString(), next);
  EXPECT_EQ(model->data(model->index(9, RecordListModel::ColNaechste), Qt::DisplayRole).toString(), "03/2028");

  list_->Table()->clearSelection();  // none chosen: all
  TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::LabelsId)->click();
  LabelDialog* dialog = list_->findChild<LabelDialog*>();
  ASSERT_TRUE(dialog);
  dialog->ChooseFormat("62x40");
  dialog->ChooseCode(Barcode::Type::QR);
  dialog->ChooseContent(Labels::Content::Inventar);
  dialog->Refresh();
  EXPECT_TRUE(dialog->Status()->text().startsWith(QStringLiteral("30 Etiketten, davon %1 \u201EGESPERRT\u201C, 30 Seiten.").arg(failures)))
      << dialog->Status()->text().toStdString();
  chosen_ = out_.filePath("etiketten.pdf");
  ASSERT_TRUE(dialog->WritePdf());
  EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
  ASSERT_EQ(LabelTools::PdfPageSizes(chosen_).size(), 30u);

  for (int page = 1; page <= 30; ++page) {
    SCOPED_TRACE(page);
    const QStringList codes = LabelTools::ScanPdfPage(chosen_, page);
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0], model->Appliance(page - 1).InventarNr);
    // Typed into the list as a scanner types it: the row is found and chosen.
    const int row = list_->SelectByInventar(codes[0]);
    ASSERT_EQ(row, page - 1);
    EXPECT_EQ(list_->ChosenRows(), std::vector<int>{row});
    const bool red = LabelTools::RedPixels(LabelTools::PdfPage(chosen_, page, 100)) > 50;
    EXPECT_EQ(red, failed[size_t(row)]);
  }
  const QString text = LabelTools::PdfText(chosen_);
  EXPECT_EQ(text.count(QStringLiteral("GESPERRT")), failures);
  EXPECT_EQ(text.count(next), 30 - failures - (failed[9] ? 0 : 1));
  EXPECT_TRUE(text.contains("03/2028") || failed[9]);
  EXPECT_EQ(list_->SelectByInventar(QStringLiteral("gibt es nicht")), -1);
  dialog->close();
}

// The appliance's own interval from the archive where the form names none;
// the report says which interval it used; the CSV has the column; a run-out
// calibration is said beside the batch's result, and the reports are made.
TEST_F(VisitLabels, TheArchivesIntervalAndTheCalibrationReachTheListAndItsBatches) {
  const QString location = out_.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    ReportRecord earlier;
    earlier.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Bäckerei Müller");
    earlier.Fields[Layout::kFieldIdentnummer] = QStringLiteral("OFEN-1");
    earlier.Fields[Layout::kFieldPruefintervall] = QStringLiteral("6 Monate");
    earlier.Fields[Layout::kFieldPruefungAm] = QStringLiteral("01.02.2025");
    ASSERT_EQ(archive.StoreReport(earlier), Archive::Stored::New);
  }
  archive_.SetLocation(location);
  LoadIntoList(3, QString());  // the form names no interval
  RecordListModel* model = list_->Model();
  Type(0, RecordListModel::ColInventar, QStringLiteral("ofen-1 "));  // the archive's appliance, typed loosely
  Type(1, RecordListModel::ColInventar, QStringLiteral("NEU-2"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !model->IntervalsPending(); }, 20000));
  TestUtil::Pump(50);
  const QDate today = QDate::currentDate();
  EXPECT_EQ(model->data(model->index(0, RecordListModel::ColNaechste), Qt::DisplayRole).toString(),
            DueDates::MonthText(today.addMonths(6)));
  EXPECT_TRUE(model->data(model->index(0, RecordListModel::ColNaechste), Qt::ToolTipRole).toString().contains("Archiv"));
  EXPECT_EQ(model->Report(0).Fields[Layout::kFieldPruefintervall], QStringLiteral("6 Monate"));
  EXPECT_EQ(model->data(model->index(1, RecordListModel::ColNaechste), Qt::DisplayRole).toString(),
            DueDates::MonthText(today.addMonths(12)));
  EXPECT_TRUE(model->Report(1).Fields[Layout::kFieldPruefintervall].isEmpty());

  // The CSV has the column after the ones before it, so they keep their places
  // (the columns of today's standards came later still and follow it).
  chosen_ = out_.filePath("liste.csv");
  list_->ExportCsv(false);
  QFile csv(chosen_);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(csv.readAll());
  ASSERT_EQ(rows.size(), 4u);
  const int column = int(rows[0].indexOf(QStringLiteral("Nächste Prüfung")));
  ASSERT_EQ(column, int(rows[0].indexOf(QStringLiteral("Bemerkungen"))) + 1);
  EXPECT_EQ(rows[1][column], DueDates::MonthText(today.addMonths(6)));

  // The instrument's calibration ran out before today's tests: said, not asked.
  form_->SetFieldText(Layout::kFieldNaechsteKalibrierung, today.addMonths(-2).toString("MM/yyyy"));
  TestUtil::Pump(20);
  chosen_ = out_.filePath("alle.pdf");
  TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::OnePdfId)->click();
  EXPECT_TRUE(QFile::exists(chosen_));
  EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
  const QString status = TestUtil::Find<QLabel>(list_.get(), RecordListWindow::StatusId)->text();
  EXPECT_TRUE(status.contains(QStringLiteral("Bei 3 Prüfungen war die Kalibrierung des Messgeräts am Prüftag abgelaufen")))
      << status.toStdString();
}
