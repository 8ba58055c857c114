// The labels dialog as a user works it: the format and what follows from it,
// the preview, the PDF (and what happens when it cannot be written), the
// print without a printer, and the labels of the archive's appliances.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/fileio.h"
#include "platform/seams.h"
#include "records/archivewindow.h"
#include "records/labeldialog.h"
#include "tests/labeltools.h"
#include "tests/testutil.h"

namespace {

std::vector<Labels::LabelData> VisitLabels(int count) {
  std::vector<Labels::LabelData> labels;
  for (int i = 0; i < count; ++i) {
    Labels::LabelData l;
    l.InventarNr = QStringLiteral("BM-%1").arg(i + 1, 3, 10, QChar('0'));
    l.Customer = QStringLiteral("Bäckerei Müller");
    l.Company = QStringLiteral("Elektro Schmidt GmbH");
    l.TestDate = QDate(2026, 6, 12);
    l.NextTest = QDate(2027, 6, 12);
    l.Failed = i % 7 == 3;
    if (l.Failed) l.Reason = QStringLiteral("R-PE 0.45 Ohm, Grenzwert 0.30");
    labels.push_back(l);
  }
  return labels;
}

class LabelDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r.text, int(Win::IDOK); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest& r, QString* path) {
      asked_ << r.title;
      *path = chosen_;
      return !chosen_.isEmpty();
    });
  }
  QTemporaryDir dir_;
  QStringList boxes_, asked_;
  QString chosen_;
};

}  // namespace

TEST_F(LabelDialogTest, TheFormatDecidesSizeStartAndPagesAndThePreviewShowsThem) {
  LabelDialog dialog(VisitLabels(30));
  dialog.SetupWindow();
  auto* format = TestUtil::Find<QComboBox>(&dialog, LabelDialog::FormatId);
  auto* width = TestUtil::Find<QDoubleSpinBox>(&dialog, LabelDialog::WidthId);
  auto* start = TestUtil::Find<QSpinBox>(&dialog, LabelDialog::StartId);
  ASSERT_TRUE(format && width && start);
  EXPECT_EQ(format->count(), int(Labels::Formats().size()) + 1);

  dialog.ChooseFormat("a4-3x8");
  dialog.ChooseStart(20);
  dialog.Refresh();
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(start->maximum(), 24);
  EXPECT_FALSE(width->isEnabled());
  EXPECT_DOUBLE_EQ(width->value(), 70);
  EXPECT_EQ(dialog.PageCount(), 3);  // 5 places left on the first sheet, 24 on the next, 1 on the third
  EXPECT_TRUE(dialog.Status()->text().startsWith(QStringLiteral("30 Etiketten, davon 4 \u201EGESPERRT\u201C, 3 Seiten.")))
      << dialog.Status()->text().toStdString();
  dialog.resize(620, 700);
  dialog.ShowPage(0);
  ASSERT_FALSE(dialog.PreviewLabel()->pixmap().isNull());
  TestUtil::Grab(&dialog, "label-dialog-sheet");
  TestUtil::Find<QPushButton>(&dialog, LabelDialog::NextPageId)->click();
  EXPECT_EQ(dialog.PreviewPage(), 1);
  EXPECT_FALSE(TestUtil::Find<QPushButton>(&dialog, LabelDialog::PreviousPageId)->isEnabled() &&
               dialog.PreviewPage() == 0);

  // A label printer's format: one label a page, no start position.
  dialog.ChooseFormat("62x40");
  dialog.Refresh();
  EXPECT_FALSE(start->isEnabled());
  EXPECT_EQ(dialog.PageCount(), 30);
  EXPECT_EQ(dialog.PreviewPage(), 1);
  TestUtil::Grab(&dialog, "label-dialog-62mm");
  // A size of the user's own.
  dialog.ChooseFormat("40x25");
  dialog.Refresh();
  EXPECT_TRUE(width->isEnabled());
  EXPECT_DOUBLE_EQ(width->value(), 40);
  EXPECT_EQ(dialog.Job().format.pageHeight, 25);

  // A Code 128 too wide for the tape: named, in red, and left out.
  dialog.ChooseFormat("12mm");
  dialog.ChooseCode(Barcode::Type::Code128);
  dialog.ChooseContent(Labels::Content::InventarKundeDatum);
  dialog.Refresh();
  EXPECT_TRUE(dialog.Status()->text().contains(QStringLiteral("passen nicht"))) << dialog.Status()->text().toStdString();
  EXPECT_TRUE(dialog.Status()->styleSheet().contains("190"));
  chosen_ = dir_.filePath("zu-breit.pdf");
  EXPECT_FALSE(dialog.WritePdf());
  EXPECT_FALSE(QFile::exists(chosen_));
  ASSERT_EQ(boxes_.size(), 1);
  EXPECT_TRUE(boxes_[0].contains(QStringLiteral("Kein Etikett passt")));

  // What was chosen is there again next time.
  dialog.ChooseCode(Barcode::Type::DataMatrix);
  dialog.ChooseFormat("54x25");
  chosen_ = dir_.filePath("dymo.pdf");
  ASSERT_TRUE(dialog.WritePdf());
  LabelDialog again(VisitLabels(1));
  again.SetupWindow();
  EXPECT_EQ(again.Job().format.key, "54x25");
  EXPECT_EQ(again.Job().options.code, Barcode::Type::DataMatrix);
  EXPECT_EQ(again.Job().options.content, Labels::Content::InventarKundeDatum);
}

// The PDF: asked for through the dialog seam, written whole; a cancelled
// dialog writes nothing; a disk that fills up leaves an older file as it was
// and says why; with no printer on the machine, printing writes a PDF.
TEST_F(LabelDialogTest, PdfIsWrittenWholeOrNotAtAllAndWithoutPrinterPrintingGivesOne) {
  LabelDialog dialog(VisitLabels(12));
  dialog.SetupWindow();
  dialog.ChooseFormat("a4-4x10");
  dialog.ChooseCode(Barcode::Type::QR);
  dialog.ChooseContent(Labels::Content::Inventar);
  dialog.ChooseStart(1);
  chosen_.clear();
  EXPECT_FALSE(dialog.WritePdf());
  EXPECT_TRUE(boxes_.isEmpty());

  chosen_ = dir_.filePath("bogen");
  ASSERT_TRUE(dialog.WritePdf());
  EXPECT_TRUE(QFile::exists(chosen_ + ".pdf"));
  EXPECT_TRUE(dialog.Status()->text().contains(QStringLiteral("12 Etiketten auf 1 Seite in")));
  if (LabelTools::Have("pdfinfo")) EXPECT_EQ(LabelTools::PdfPageSizes(chosen_ + ".pdf").size(), 1u);

  QFile old(dir_.filePath("alt.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("%PDF-alt");
  old.close();
  chosen_ = old.fileName();
  FileIO::SetSaveFault([](FileIO::SaveStep step) { return step == FileIO::SaveStep::Sync ? ENOSPC : 0; });
  EXPECT_FALSE(dialog.WritePdf());
  FileIO::SetSaveFault(nullptr);
  ASSERT_EQ(boxes_.size(), 1);
  EXPECT_TRUE(boxes_[0].contains(QStringLiteral("kein Platz"))) << boxes_[0].toStdString();
  QFile check(old.fileName());
  ASSERT_TRUE(check.open(QIODevice::ReadOnly));
  EXPECT_EQ(check.readAll(), QByteArray("%PDF-alt"));

  // The tests' print system has no printer: the labels become a PDF.
  asked_.clear();
  chosen_ = dir_.filePath("gedruckt.pdf");
  EXPECT_TRUE(dialog.Print());
  EXPECT_EQ(asked_, QStringList{"Etiketten als PDF"});
  EXPECT_TRUE(QFile::exists(chosen_));
}

// The archive window gives the labels of the chosen appliance, or of every
// one of its list, each from its latest stored test.
TEST_F(LabelDialogTest, TheArchiveGivesTheLabelsOfItsAppliancesFromTheirLatestTests) {
  const QString archivePath = dir_.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archivePath));
    for (int i = 0; i < 4; ++i)
      for (int year : {2024, 2025}) {
        ReportRecord r;
        r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Bäckerei Müller");
        r.Fields[Layout::kFieldAuftragnehmer] = QStringLiteral("Elektro Schmidt GmbH");
        r.Fields[Layout::kFieldIdentnummer] = QStringLiteral("OFEN-%1").arg(i);
        r.Fields[Layout::kFieldPruefintervall] = QStringLiteral("24");
        r.Fields[Layout::kFieldPruefungAm] = QStringLiteral("0%1.03.%2").arg(i + 1).arg(year);
        r.VdePruefgrundlage = 4;
        r.VdeKlasse = 1;
        r.RowActive = {1, 1, 1, 0, 0, 0, 0, 0};
        r.Ok = {true, true, i != 2 || year == 2024, true, false, false, false, false};
        r.Sichtpruefung = r.Funktionspruefung = true;
        ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
      }
  }
  ArchiveService service;
  service.SetLocation(archivePath);
  ArchiveWindow window(nullptr, service);
  window.SetupWindow();
  window.ShowSearch(QStringLiteral("OFEN"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  ASSERT_EQ(window.Shown().size(), 4u);
  window.AppliancesTable()->clearSelection();
  window.AppliancesTable()->setCurrentIndex(QModelIndex());
  TestUtil::Find<QPushButton>(&window, ArchiveWindow::LabelsId)->click();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return window.findChild<LabelDialog*>() != nullptr; }, 30000));
  LabelDialog* dialog = window.findChild<LabelDialog*>();
  const LabelDoc::Job job = dialog->Job();
  ASSERT_EQ(job.labels.size(), 4u);
  int blocked = 0;
  for (const Labels::LabelData& l : job.labels) {
    EXPECT_EQ(l.TestDate.year(), 2025) << l.InventarNr.toStdString();  // the latest test
    EXPECT_EQ(Labels::NextTestLine(l), QStringLiteral("03/2027"));
    EXPECT_EQ(l.Company, QStringLiteral("Elektro Schmidt GmbH"));
    blocked += l.Failed;
  }
  EXPECT_EQ(blocked, 1);
  EXPECT_TRUE(dialog->Status()->text().contains(QStringLiteral("letzten gespeicherten Prüfung")));
  dialog->close();
}

// The dialog and a sheet at 100 % here; the same test run again at 200 %
// (QT_SCALE_FACTOR=2) in a process of its own, so both can be looked at.
TEST_F(LabelDialogTest, ScreenshotsAtOneAndTwoTimesTheScale) {
  const bool doubled = qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2");
  LabelDialog dialog(VisitLabels(8));
  dialog.SetupWindow();
  dialog.ChooseFormat("89x36");
  dialog.ChooseCode(Barcode::Type::QR);
  dialog.ChooseContent(Labels::Content::Inventar);
  dialog.resize(620, 600);
  dialog.show();
  dialog.Refresh();
  const QString suffix = doubled ? QStringLiteral("-200") : QStringLiteral("-100");
  const QImage shot = TestUtil::Grab(&dialog, "label-preview" + suffix);
  EXPECT_GE(shot.width(), doubled ? 1240 : 620);
  // Every control inside the dialog, none cut off.
  for (QWidget* w : dialog.findChildren<QWidget*>())
    if (w->isVisible() && w->parentWidget() == &dialog) EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->objectName().toStdString();
  dialog.ChooseFormat("a4-3x8");
  dialog.ChooseStart(4);
  dialog.Refresh();
  TestUtil::Grab(&dialog, "label-sheet" + suffix);
  // A 1366 x 768 screen at 200 % leaves about 660 x 360: everything still fits.
  EXPECT_LE(dialog.minimumSizeHint().width(), 660);
  EXPECT_LE(dialog.minimumSizeHint().height(), 360);
  dialog.resize(660, 360);
  QApplication::processEvents();
  dialog.Refresh();
  for (QWidget* w : dialog.findChildren<QWidget*>())
    if (w->isVisible() && w->parentWidget() == &dialog) EXPECT_TRUE(dialog.rect().contains(w->geometry())) << w->objectName().toStdString();
  TestUtil::Grab(&dialog, "label-small" + suffix);
  if (doubled) return;
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_SCALE_FACTOR", "2");
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=LabelDialogTest.ScreenshotsAtOneAndTwoTimesTheScale"});
  ASSERT_TRUE(child.waitForFinished(120000));
  EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
  EXPECT_TRUE(QFile::exists(TestUtil::OutDir() + "/label-preview-200.png"));
}
