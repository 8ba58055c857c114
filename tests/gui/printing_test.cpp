// Printing and preview of the report form: the page mapping, the preview
// layout, print mode entered and left, a real print into a PDF file, and the
// preview frame in place of the main window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QApplication>

#include "device/TMessgeraet.h"
#include "platform/dialogunits.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "render/page.h"
#include "report/printing.h"
#include "tests/support/recordingsurface.h"
#include "render/surface.h"
#include "tests/smalldisk.h"
#include "tests/testutil.h"

namespace {

struct FormState {
  int printing, originX, originY, pageHeight;
};
FormState StateOf(const TFormular& f) { return {f.Printing, f.OriginX, f.OriginY, f.PageHeight}; }

void ExpectScreenMode(const TFormular& f, int pageHeight = 810) {
  EXPECT_EQ(f.Printing, 0);
  EXPECT_EQ(f.OriginX, 0);
  EXPECT_EQ(f.OriginY, 0);
  EXPECT_EQ(f.PageHeight, pageHeight);
}

// A report as a user fills it: class I under DIN VDE 0701-0702, all rows passed.
void FillReport(TFormular& form) {
  const char* f[31] = {"Muster GmbH", "Hauptstraße 1", "12345 Musterstadt", "0123 456", "0123 457",
                       "Herr Müller", "A-2026-117", "Elektro Beispiel", "Werkstraße 5", "54321 Prüfstadt",
                       "0987 654", "0987 655", "Frau Schmidt", "Bohrmaschine", "Werkzeug AG", "SN 4711",
                       "Halle 3", "ID 0815", "12 Monate", "I", "800 W", "fest", "QK248 V1.22",
                       "M-99", "01.06.2027", "06.12.2026", "08.12.2026", "Automatisch",
                       "keine Beanstandungen", "54321 Prüfstadt, 08.12.2026, Herr Müller",
                       "54321 Prüfstadt, 08.12.2026, Frau Schmidt"};
  for (int i = 0; i < 31; ++i) form.SetFieldText(i, QString::fromUtf8(f[i]));
  form.VdePruefgrundlage = 4;
  const char* mess[4] = {" 0.12", " 25.3", " 0.05", " 0.21"};
  const char* grenz[4] = {" 0.30", " 1.00", " 0.50", " 3.50"};
  for (int r = 0; r < 4; ++r) {
    form.RowActive[r] = 1;
    form.MessText[r] = mess[r];
    form.GrenzText[r] = grenz[r];
    form.OkBoxes[r]->setChecked(true);
  }
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);
}

// Renders the form's screen page once (as the window would before printing).
void PaintOnScreen(TFormular& form) {
  QImage image(700, 900, QImage::Format_RGB32);
  QPainter painter(&image);
  QtSurface surface(&painter);
  form.Paint(surface, true, image.rect());
}

QString RunTool(const QString& tool, const QStringList& args) {
  QProcess p;
  p.start(tool, args);
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

struct MainWithForm {
  QMainWindow main;
  QMdiArea* area = nullptr;
  TFormular* form = nullptr;
  QMdiSubWindow* child = nullptr;
  MainWithForm() {
    area = new QMdiArea(&main);
    main.setCentralWidget(area);
    form = new TFormular(nullptr);
    form->SetupWindow();
    child = area->addSubWindow(form);
    main.setGeometry(120, 80, 900, 760);
    main.show();
    child->show();
  }
};

}  // namespace

TEST(PrintMappingTest, PortraitAndLandscapeArithmetic) {
  PrintJob::Mapping m = PrintJob::ComputeMapping(4800, 6800);
  EXPECT_EQ(m.viewport, QSize(4320, 6800));
  EXPECT_DOUBLE_EQ(m.scale, 4320.0 / 693);
  EXPECT_NEAR(m.span.width(), 4320, 1e-6);
  EXPECT_NEAR(m.span.height(), 6066, 1);

  // Landscape: the height limits, the page is 4800 high and narrower than 90 %.
  m = PrintJob::ComputeMapping(6800, 4800);
  EXPECT_EQ(m.viewport, QSize(6120, 4800));
  EXPECT_DOUBLE_EQ(m.scale, 4800.0 / 973);
  EXPECT_NEAR(m.span.height(), 4800, 1e-6);
  EXPECT_LT(m.span.width(), 6120);
  // 90 % truncates toward zero.
  EXPECT_EQ(PrintJob::ComputeMapping(4999, 7000).viewport.width(), 4499);
}

TEST(PrintMappingTest, PreviewPageLayoutRule) {
  // Portrait 4800 x 6800: p = 70, anchored left, top and bottom.
  EXPECT_EQ(PrintJob::PreviewPageRect(QSize(4800, 6800), QSize(800, 1000)), QRect(5, 5, 990 * 70 / 100, 990));
  // Landscape 6800 x 4800: anchored left, top and right, height 70 % of the width.
  EXPECT_EQ(PrintJob::PreviewPageRect(QSize(6800, 4800), QSize(1000, 800)), QRect(5, 5, 990, 693));
  // Square counts as portrait with p = 100.
  EXPECT_EQ(PrintJob::PreviewPageRect(QSize(5000, 5000), QSize(600, 400)), QRect(5, 5, 390, 390));
  // A tiny window never gives a negative size; no extent gives no page.
  EXPECT_EQ(PrintJob::PreviewPageRect(QSize(4800, 6800), QSize(4, 4)).size(), QSize(0, 0));
  EXPECT_TRUE(PrintJob::PreviewPageRect(QSize(0, 0), QSize(600, 400)).isNull());
}

TEST(PrintoutTest, PageAnchoredTopLeftAtUniformScaleAndClipped) {
  TFormular form(nullptr);
  form.SetupWindow();
  form.Printing = 1;
  form.OriginX = form.OriginY = 60;
  form.PageHeight = 900;
  TWindowPrintout printout("Print Preview", &form);
  printout.ScaleToPage = true;
  printout.MappingMode = PrintJob::kMmIsotropic;
  int a = -1, b = -1, c = -1, d = -1;
  printout.GetDialogInfo(a, b, c, d);
  EXPECT_EQ(a + b + c + d, 0);
  EXPECT_TRUE(printout.HasPage(1));
  EXPECT_FALSE(printout.HasPage(2));

  QImage image(480, 680, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  printout.SetPrintParams(&painter, image.size());
  printout.PrintPage(1, image.rect(), 0);
  painter.end();
  int left = 9999, right = -1, top = 9999, bottom = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 160) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  const double s = 432.0 / 693;  // 90 % of 480 limits
  EXPECT_NEAR(left, 60 * s, 1.5);
  EXPECT_NEAR(top, 60 * s, 1.5);
  EXPECT_NEAR(right, 690 * s, 1.5);
  EXPECT_NEAR(bottom, 960 * s, 1.5);
  // Nothing beyond 90 % of the width.
  EXPECT_LT(right, 432);
}

TEST(PrintTest, PrintToPdfHoldsTheReportAndLeavesPrintMode) {
  TFormular form(nullptr);
  form.SetupWindow();
  FillReport(form);
  // No screen painting first: the verdict on paper is the report's own.
  ASSERT_EQ(form.GesamtOk(), 1);

  QPrinter* printer = PrintJob::EnsurePrinter(form);
  ASSERT_TRUE(printer);
  EXPECT_EQ(PrintJob::EnsurePrinter(form), printer);  // kept
  const QString pdf = TestUtil::OutDir() + "/report_print.pdf";
  QFile::remove(pdf);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(pdf);

  QStringList dialogs;
  FormState during{};
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest& r) {
    dialogs << r.kind + ":" + r.detail;
    during = StateOf(form);
    return int(Win::IDOK);
  });
  int messages = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) { return ++messages, int(Win::IDOK); });
  // The progress dialog is up while the page goes out; it runs the timer.
  QSize progressSize;
  QTimer::singleShot(0, [&]() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "32599" && w->isVisible()) {
        progressSize = w->size();
        TestUtil::Grab(w, "print_progress");
      }
  });
  form.HandleCommand(TFormular::CmDruckenId);

  EXPECT_EQ(progressSize, DialogUnits::Size(138, 60));
  EXPECT_EQ(dialogs, QStringList{"print:Print Preview Printer Output"});
  EXPECT_EQ(during.printing, 1);
  EXPECT_EQ(during.originX, 60);
  EXPECT_EQ(during.originY, 60);
  EXPECT_EQ(during.pageHeight, 900);
  ExpectScreenMode(form);
  EXPECT_EQ(messages, 0);
  // The PDF carries the report's name as its title.
  EXPECT_EQ(printer->docName(), PrintJob::DocumentName(form));
  EXPECT_TRUE(printer->docName().startsWith(QString::fromUtf8("Prüfprotokoll ")));
  ASSERT_TRUE(QFile::exists(pdf));

  const QString text = RunTool("pdftotext", {"-layout", pdf, "-"});
  EXPECT_TRUE(text.contains("Prüfprotokoll"));
  EXPECT_TRUE(text.contains("Prüfgrundlage DIN VDE 0701-0702"));
  EXPECT_TRUE(text.contains("Muster GmbH"));
  EXPECT_TRUE(text.contains("Frau Schmidt"));
  EXPECT_TRUE(text.contains("keine Beanstandungen"));
  EXPECT_TRUE(text.contains("Nächste Prüfung: 12/2027"));  // 06.12.2026 and 12 Monate
  EXPECT_TRUE(text.contains("Der Prüfling hat die Prüfung bestanden"));
  EXPECT_TRUE(text.contains("Ja"));
  EXPECT_FALSE(text.contains("nicht bestanden"));
  EXPECT_EQ(RunTool("pdfinfo", {pdf}).contains(QRegularExpression("Pages:\\s+1\\b")), true);
  RunTool("pdftoppm", {"-png", "-r", "90", "-singlefile", pdf, TestUtil::OutDir() + "/report_print"});
  EXPECT_TRUE(QFile::exists(TestUtil::OutDir() + "/report_print.png"));
}

TEST(PrintTest, CancelledDialogPrintsNothingAndLeavesPrintMode) {
  TFormular form(nullptr);
  form.SetupWindow();
  form.PageHeight = 777;  // whatever it was, it comes back
  QPrinter* printer = PrintJob::EnsurePrinter(form);
  const QString pdf = TestUtil::OutDir() + "/report_cancel.pdf";
  QFile::remove(pdf);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(pdf);
  int messages = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) { return ++messages, int(Win::IDOK); });
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDCANCEL); });
  form.HandleCommand(TFormular::CmDruckenId);
  ExpectScreenMode(form, 777);
  EXPECT_FALSE(QFile::exists(pdf));
  EXPECT_EQ(messages, 0);
}

TEST(PrintTest, PdfWithoutFileNameAsksForOneAndUnwritableFileIsReported) {
  TFormular form(nullptr);
  form.SetupWindow();
  QPrinter* printer = PrintJob::EnsurePrinter(form);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(QString());
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  const QString chosen = TestUtil::OutDir() + "/report_named";
  QFile::remove(chosen + ".pdf");
  QStringList asked;
  Seams::SetFileDialogResponder([&](const FileDialogRequest& r, QString* path) {
    asked << r.filter;
    *path = chosen;
    return r.save;
  });
  form.HandleCommand(TFormular::CmDruckenId);
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains("*.pdf"));
  EXPECT_TRUE(QFile::exists(chosen + ".pdf"));

  // The print dialog may leave only a folder in its file field: the file is
  // then asked for in that folder, not written over the folder and failed.
  const QString folder = TestUtil::OutDir() + "/";
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest&) {
    printer->setOutputFileName(folder);
    return int(Win::IDOK);
  });
  QStringList initial;
  const QString inFolder = TestUtil::OutDir() + "/report_in_folder.pdf";
  QFile::remove(inFolder);
  Seams::SetFileDialogResponder([&](const FileDialogRequest& r, QString* path) {
    initial << r.initialName;
    *path = inFolder;
    return true;
  });
  int failures = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) { return ++failures, int(Win::IDOK); });
  form.HandleCommand(TFormular::CmDruckenId);
  EXPECT_EQ(initial, QStringList{folder + PrintJob::DocumentName(form) + ".pdf"});
  EXPECT_TRUE(QFile::exists(inFolder));
  EXPECT_EQ(failures, 0);
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });

  // A file that cannot be written: the job is reported as not printed.
  printer->setOutputFileName("/nonexistent-dir/x/report.pdf");
  QStringList messages;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    messages << r.caption + "|" + r.text;
    return int(Win::IDOK);
  });
  form.HandleCommand(TFormular::CmDruckenId);
  EXPECT_EQ(messages, QStringList{"Print Error|'Print Preview Printer Output' not printed. "
                                  "Error encountered during print."});
  ExpectScreenMode(form);
}

TEST(PrintTest, APdfOnAFullDiskIsReportedAndAnOlderFileStays) {
  SmallDisk disk(256);
  if (!disk.Mounted()) GTEST_SKIP() << SmallDisk::SkipReason();
  MainWithForm w;
  TFormular& form = *w.form;
  form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
  QFile old(disk.Path("bericht.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("%PDF-1.4 alte Fassung");
  old.close();
  disk.Fill(2048);  // room for a few bytes of the new file, not for all of it
  QPrinter* printer = PrintJob::EnsurePrinter(form);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(disk.Path("bericht.pdf"));
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  QStringList messages;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return messages << r.text, int(Win::IDOK); });
  form.HandleCommand(TFormular::CmDruckenId);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Der Bericht wurde nicht als PDF geschrieben:")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains("bericht.pdf\u201C: Auf dem Datenträger ist kein Platz mehr.")) << messages[0].toStdString();
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("%PDF-1.4 alte Fassung"));
  EXPECT_TRUE(QDir(disk.Path()).entryList({".kelvara-*"}, QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_EQ(printer->outputFileName(), disk.Path("bericht.pdf"));  // offered again next time
  Seams::ResetAll();
}

TEST(PrintTest, PageSetupGoesThroughTheSeamAndChangesTheNextPreview) {
  MainWithForm w;
  TFormular& form = *w.form;
  QStringList kinds;
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest& r) {
    kinds << r.kind;
    if (r.kind == "pagesetup") form.Printer->setPageOrientation(QPageLayout::Landscape);
    return int(Win::IDOK);
  });
  form.HandleCommand(TFormular::CmSeitenEinstellungId);
  EXPECT_EQ(kinds, QStringList{"pagesetup"});
  ASSERT_TRUE(form.Printer);
  ExpectScreenMode(form);

  QRect page;
  QSize client;
  Seams::SetModalFrameResponder([&](QWidget* frame) {
    auto* modal = static_cast<TModalFrame*>(frame);
    TestUtil::Pump(20);
    page = modal->Client()->Page()->geometry();
    client = modal->Client()->size();
    TestUtil::Grab(frame, "preview_landscape");
  });
  form.HandleCommand(TFormular::CmDruckvorschauId);
  // Landscape: anchored left, top and right.
  EXPECT_EQ(page.left(), 5);
  EXPECT_EQ(page.top(), 5);
  EXPECT_EQ(page.right(), client.width() - 6);
  EXPECT_LT(page.height(), page.width());
}

TEST(PreviewTest, ShownInPlaceOfTheMainWindowAndClosedBackToScreenMode) {
  MainWithForm w;
  TFormular& form = *w.form;
  FillReport(form);
  PaintOnScreen(form);
  const QRect mainGeometry = w.main.geometry();

  bool mainHidden = false, childDisabled = false, frameEnabled = false;
  QString title;
  QRect frameGeometry, page;
  QSize client;
  FormState during{};
  QImage image;
  Seams::SetModalFrameResponder([&](QWidget* frame) {
    TestUtil::Pump(30);
    mainHidden = !w.main.isVisible();
    childDisabled = !w.child->isEnabled();
    // The preview lives under the form; it must not share its disabled state.
    frameEnabled = frame->isEnabled();
    title = frame->windowTitle();
    frameGeometry = frame->geometry();
    auto* modal = static_cast<TModalFrame*>(frame);
    page = modal->Client()->Page()->geometry();
    client = modal->Client()->size();
    during = StateOf(form);
    image = TestUtil::Grab(frame, "preview_portrait");
    frame->close();  // the close box
  });
  form.HandleCommand(TFormular::CmDruckvorschauId);

  EXPECT_TRUE(mainHidden);
  EXPECT_TRUE(childDisabled);
  EXPECT_TRUE(frameEnabled);
  EXPECT_EQ(title, "Preview");
  EXPECT_EQ(frameGeometry, mainGeometry);
  EXPECT_EQ(during.printing, 1);
  EXPECT_EQ(during.pageHeight, 900);
  // Portrait A4: anchored left, top and bottom.
  EXPECT_EQ(page.topLeft(), QPoint(5, 5));
  EXPECT_EQ(page.bottom(), client.height() - 6);
  EXPECT_LT(page.width(), page.height());
  // Something is drawn on the preview sheet.
  int dark = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) dark += qGray(image.pixel(x, y)) < 100;
  EXPECT_GT(dark, 200);

  EXPECT_TRUE(w.main.isVisible());
  EXPECT_TRUE(w.main.isEnabled());
  EXPECT_EQ(w.main.geometry(), mainGeometry);
  EXPECT_TRUE(w.child->isEnabled());
  ExpectScreenMode(form);
  EXPECT_EQ(form.findChild<QWidget*>("Preview"), nullptr);
}

TEST(PreviewTest, UnusablePrinterOffersThePrintDialogAndNothingElse) {
  TFormular form(nullptr);
  form.SetupWindow();
  struct Force {
    Force() { Seams::SetPrinterResponder([] { return false; }); }
    ~Force() { Seams::SetPrinterResponder(nullptr); }
  } force;
  QStringList kinds;
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest& r) {
    kinds << r.kind;
    return int(Win::IDCANCEL);
  });
  bool frameShown = false;
  Seams::SetModalFrameResponder([&](QWidget*) { frameShown = true; });
  form.HandleCommand(TFormular::CmDruckvorschauId);
  EXPECT_EQ(kinds, QStringList{"print"});
  EXPECT_FALSE(frameShown);
  ExpectScreenMode(form);

  // Printing with it names the missing printer.
  QStringList messages;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return messages << r.text, int(Win::IDOK); });
  form.HandleCommand(TFormular::CmDruckenId);
  EXPECT_EQ(messages, QStringList{"Cannot print without a default printer."});
  ExpectScreenMode(form);
}

TEST(FormPageTest, ScreenRenderingFormsVerdictAndOkBoxes) {
  TFormular form(nullptr);
  form.SetupWindow();
  form.resize(form.sizeHint());
  form.RowActive[1] = 1;
  form.OkBoxes[1]->setChecked(true);
  form.OkBoxes[5]->setChecked(true);  // inactive: hidden and not counted
  form.MessText[1] = "123.4";
  form.GrenzText[1] = "1.00";
  RecordingSurface s;
  form.Paint(s, false, form.rect());
  EXPECT_EQ(form.GesamtOk(), 1);
  EXPECT_TRUE(form.OkBoxShown(1));
  EXPECT_FALSE(form.OkBoxes[1]->isEnabled());
  EXPECT_FALSE(form.OkBoxShown(5));
  EXPECT_FALSE(form.OkBoxShown(0));
  // Without a device window the rows carry their own names.
  ASSERT_TRUE(s.FindText("R-ISO"));
  EXPECT_EQ(s.FindText("R-ISO")->b, 460);
  EXPECT_EQ(s.FindText("123.4")->a, 405 - 5 * 6);
  // Still failed: the inspection boxes are not checked.
  EXPECT_TRUE(s.FindText("Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden"));

  // The verdict follows the form's data at every moment: a box changed after
  // the last screen rendering changes what a print rendering draws at once.
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);
  form.Printing = 1;
  RecordingSurface p;
  form.Paint(p, false, form.rect());
  EXPECT_TRUE(p.FindText("Der Prüfling hat die Prüfung bestanden"));
  form.OkBoxes[1]->setChecked(false);
  EXPECT_EQ(form.GesamtOk(), 0);
  RecordingSurface again;
  form.Paint(again, false, form.rect());
  EXPECT_TRUE(again.FindText("Der Prüfling hat die Prüfung nicht bestanden und darf nicht mehr betrieben werden"));
  form.Printing = 0;

  FillReport(form);
  form.Edits[0]->setText("Muster GmbH");
  TestUtil::Grab(&form, "form_screen");
}

TEST(FormPageTest, ActiveRowsTakeTheDeviceWindowTexts) {
  TMessgeraet device(nullptr, 1000, 0);
  TFormular form(&device);
  form.SetupWindow();
  device.LabelStatic[2]->setText("Ableitstrom");
  device.MethodStatic[2]->setText("Differenzstrom");
  device.UnitStatic[2]->setText("mA");
  device.LabelStatic[3]->setText("nicht aktiv");
  form.RowActive[2] = 1;
  form.MessText[2] = "0.05";
  RecordingSurface s;
  form.Paint(s, false, form.rect());
  const QStringList lines = s.Lines();
  EXPECT_TRUE(lines.contains("text 5 480 Ableitstrom"));
  EXPECT_TRUE(lines.contains("text 185 480 Differenzstrom"));
  EXPECT_TRUE(lines.contains("text 535 480 mA"));
  EXPECT_FALSE(s.FindText("nicht aktiv"));  // inactive rows draw nothing
}

TEST(FormPageTest, ScreenPageTextIsBlackWhateverTheWindowTextColour) {
  // A dark desktop theme gives light window text; the page is paper and
  // keeps black ink on its own background.
  TFormular form(nullptr);
  form.SetupWindow();
  form.resize(form.sizeHint());
  QPalette pal = form.palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  pal.setColor(QPalette::Text, Qt::white);
  form.setPalette(pal);
  const QImage image = TestUtil::Grab(&form, "form_screen_light_text");
  int dark = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 150; x < 480; ++x) dark += qGray(image.pixel(x, y)) < 80;
  EXPECT_GT(dark, 100);  // the heading is drawn in black
}
