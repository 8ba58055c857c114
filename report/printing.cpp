#include "report/printing.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPaintEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <unistd.h>

#include "platform/dialogunits.h"
#include "core/fileio.h"
#include "render/fonts.h"
#include "platform/seams.h"
#include "core/userfolders.h"
#include "report/TFormular.h"
#include "core/recordlist.h"
#include "render/surface.h"
#include "render/batch.h"
#include "render/fingerprint.h"
#include "render/pdfsplit.h"

// --- TWindowPrintout --------------------------------------------------------

TWindowPrintout::TWindowPrintout(const QString& title, TFormular* window)
    : SourceWindow(window), title_(title) {}

void TWindowPrintout::GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) const {
  minPage = maxPage = selFromPage = selToPage = 0;
}

void TWindowPrintout::SetPrintParams(QPainter* dc, const QSize& pageSize) {
  dc_ = dc;
  pageSize_ = pageSize;
}

void TWindowPrintout::PrintPage(int, const QRect& rect, unsigned) {
  if (!dc_ || !SourceWindow) return;
  dc_->save();
  QRect logical = rect;
  double sy = 0;
  if (ScaleToPage) {
    const PrintJob::Mapping m = PrintJob::ComputeMapping(pageSize_.width(), pageSize_.height());
    double sx = m.scale;
    sy = m.scale;
    if (MappingMode != PrintJob::kMmIsotropic) {  // anisotropic: each axis on its own
      sx = double(m.viewport.width()) / PrintJob::kLogicalWidth;
      sy = double(m.viewport.height()) / PrintJob::kLogicalHeight;
    }
    if (sx <= 0 || sy <= 0) {
      dc_->restore();
      return;
    }
    dc_->scale(sx, sy);
    dc_->setClipRect(QRect(0, 0, PrintJob::kLogicalWidth, PrintJob::kLogicalHeight), Qt::IntersectClip);
    logical = QRectF(rect.x() / sx, rect.y() / sy, rect.width() / sx, rect.height() / sy).toAlignedRect();
  }
  QtSurface surface(dc_);
  SourceWindow->Paint(surface, false, logical);
  // The stored test's fingerprint below the frame, where the paper goes on
  // beyond the logical page.
  if (sy > 0 && SourceWindow->Printing) {
    dc_->setClipping(false);
    Fingerprint::Paint(*dc_, SourceWindow->ProofHash(), pageSize_.height() / sy);
  }
  dc_->restore();
}

// --- TPreviewPage, TLayoutWindow --------------------------------------------

TPreviewPage::TPreviewPage(QWidget* parent, TWindowPrintout* printout, const QSize& extent, int page)
    : QWidget(parent), printout_(printout), extent_(extent), page_(page) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewPage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.setPen(QColor(64, 64, 64));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (!printout_ || extent_.isEmpty() || width() <= 0 || height() <= 0) return;
  painter.setPen(Qt::black);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  // Imitate the printer: its whole printable extent spans the page.
  const double sx = double(width()) / extent_.width();
  const double sy = double(height()) / extent_.height();
  painter.scale(sx, sy);
  const QRect update = event->rect();
  const QRect deviceRect = QRectF(update.x() / sx, update.y() / sy, update.width() / sx, update.height() / sy)
                               .toAlignedRect();
  printout_->SetPrintParams(&painter, extent_);
  if (printout_->HasPage(page_)) printout_->PrintPage(page_, deviceRect, 0);
  printout_->SetPrintParams(nullptr, QSize());
}

TLayoutWindow::TLayoutWindow(QWidget* parent) : QWidget(parent) {
  // The application workspace colour, as behind the MDI children.
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setBrush(QPalette::Window, QApplication::palette().brush(QPalette::Dark));
  setPalette(pal);
}

void TLayoutWindow::SetPage(TPreviewPage* page) {
  page_ = page;
  if (page_) page_->setGeometry(PrintJob::PreviewPageRect(page_->Extent(), size()));
}

void TLayoutWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (page_) page_->setGeometry(PrintJob::PreviewPageRect(page_->Extent(), size()));
}

// --- TModalFrame ------------------------------------------------------------

TModalFrame::TModalFrame(QWidget* parent, const QString& title, TLayoutWindow* client)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      client_(client) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  client_->setParent(this);
  layout->addWidget(client_);
}

TModalFrame::~TModalFrame() = default;

void TModalFrame::SetMainWindow(QWidget* main, const QRect& geometry, Qt::WindowStates state) {
  main_ = main;
  mainGeometry_ = geometry;
  mainState_ = state;
}

int TModalFrame::BeginModal(QWidget* disabledWindow) {
  QPointer<QWidget> disabled = disabledWindow;
  if (disabled) disabled->setEnabled(false);
  // Disabling a widget disables its child windows too, and this frame is
  // owned by the form inside the disabled window: enable it again on its own.
  setEnabled(true);
  if (Seams::ModalFrameShown(this)) {
    if (!closed_) close();
  } else if (!closed_) {
    QEventLoop loop;
    loop_ = &loop;
    result_ = loop.exec();
    loop_ = nullptr;
  }
  if (disabled) disabled->setEnabled(true);
  return result_;
}

void TModalFrame::EndModal(int result) {
  result_ = result;
  if (loop_) loop_->exit(result);
}

void TModalFrame::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    EndModal(Win::IDCANCEL);
    if (main_) {
      main_->setEnabled(true);
      if (mainState_ & Qt::WindowMaximized) {
        main_->showMaximized();
      } else {
        main_->setGeometry(mainGeometry_);
        main_->showNormal();
      }
    }
  }
  event->accept();
}

// --- The printer and the commands -------------------------------------------

namespace PrintJob {
namespace {

const QString kPrintTitle = QStringLiteral("Print Preview Printer Output");
const QString kPreviewTitle = QStringLiteral("Print Preview");
const QString kErrorCaption = QStringLiteral("Print Error");

// Enters print mode for its lifetime and always leaves it again.
class PrintMode {
 public:
  explicit PrintMode(TFormular& form) : form_(form), savedHeight_(form.PageHeight) {
    form_.Printing = 1;
    form_.OriginX = Layout::kPrintOriginX;
    form_.OriginY = Layout::kPrintOriginY;
    form_.PageHeight = Layout::kPrintPageHeight;
  }
  ~PrintMode() {
    form_.OriginX = 0;
    form_.OriginY = 0;
    form_.Printing = 0;
    form_.PageHeight = savedHeight_;
  }

 private:
  TFormular& form_;
  int savedHeight_;
};

// The form's child frame (the MDI child around it), or the form itself.
QWidget* ChildFrameOf(TFormular& form) {
  QWidget* parent = form.parentWidget();
  return parent ? parent : static_cast<QWidget*>(&form);
}

QWidget* MainWindowOf(TFormular& form) {
  QWidget* top = form.window();
  if (top && top != &form && qobject_cast<QMainWindow*>(top)) return top;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w) && w->isVisible()) return w;
  return nullptr;
}

int RunPrintDialog(QPrinter& printer, QWidget* parent, const QString& detail) {
  GenericDialogRequest request{parent, QStringLiteral("print"), detail};
  return Seams::GenericDialog(request, [&]() {
    QPrintDialog dialog(&printer, parent);
    // One page, no page range, selection or current page.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    return dialog.exec() == QDialog::Accepted ? int(Win::IDOK) : int(Win::IDCANCEL);
  });
}

// The progress dialog shown while a page goes to the printer: 138 x 60
// dialog units, three centred lines and a "Cancel" button.
class PrintProgress : public QDialog {
 public:
  PrintProgress(QWidget* parent, const QString& title, const QString& device, const QString& port)
      : QDialog(parent) {
    setWindowTitle(QStringLiteral("Printing"));
    setObjectName(QStringLiteral("32599"));
    setFont(Fonts::DialogFont());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(DialogUnits::Size(138, 60));
    page_ = Line(QStringLiteral("Now printing"), 8);
    Line(QStringLiteral("'%1' on the").arg(title), 18);
    Line(QStringLiteral("%1 on %2").arg(device, port), 28);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::number(Win::IDCANCEL));
    cancel->setGeometry(DialogUnits::Rect(44, 40, 50, 14));
    connect(cancel, &QPushButton::clicked, this, [this]() { canceled_ = true; });
  }
  void SetPage(int page) { page_->setText(QStringLiteral("Now printing Page %1").arg(page)); }
  bool Canceled() const { return canceled_; }

 private:
  QLabel* Line(const QString& text, int y) {
    auto* label = new QLabel(text, this);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(DialogUnits::Rect(4, y, 130, 8));
    // A line too long for the dialog is shortened in the middle with an
    // ellipsis; the tool tip holds it whole.
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width());
    if (shown != text) {
      label->setText(shown);
      label->setToolTip(text);
    }
    return label;
  }
  QLabel* page_;
  bool canceled_ = false;
};

// The printer object's print operation: dialog, progress, one page.
bool RunPrintJob(QPrinter& printer, QWidget* parent, TWindowPrintout& printout, bool prompt,
                 const QString& documentName) {
  if (!PrinterUsable(printer)) {
    Seams::MessageBox(parent, QStringLiteral("Cannot print without a default printer."), kErrorCaption,
                      Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  int minPage, maxPage, fromPage, toPage;
  printout.GetDialogInfo(minPage, maxPage, fromPage, toPage);
  printer.setPrintRange(QPrinter::AllPages);
  printer.setFromTo(fromPage, toPage);
  if (prompt && RunPrintDialog(printer, parent, printout.Title()) != Win::IDOK) return false;

  // A PDF needs a file. The print dialog may leave none, or only a folder
  // (its file field starts as the home folder on some platforms): then ask
  // for the file, starting in that folder.
  const QString named = printer.outputFileName();
  const bool folderOnly = !named.isEmpty() && (named.endsWith(QLatin1Char('/')) || QFileInfo(named).isDir());
  if (printer.outputFormat() == QPrinter::PdfFormat && (named.isEmpty() || folderOnly)) {
    FileDialogRequest request;
    request.owner = parent;
    request.save = true;
    request.title = QStringLiteral("Print to File");
    request.filter = QStringLiteral("PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*");
    const QString file = RecordList::FitFileName(documentName, QStringLiteral(".pdf"));
    request.initialName = QDir(folderOnly ? named : UserFolders::StartFolder()).filePath(file);
    request.overwritePrompt = true;
    QString path;
    if (!Seams::FileDialog(request, &path) || path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    UserFolders::Remember(path);
    printer.setOutputFileName(path);
  }
  // The job's name, and the title of a PDF.
  printer.setDocName(documentName);

  const QString device = printer.outputFormat() == QPrinter::PdfFormat ? QStringLiteral("PDF")
                                                                        : printer.printerName();
  const QString port =
      printer.outputFileName().isEmpty() ? printer.printerName() : QFileInfo(printer.outputFileName()).fileName();
  PrintProgress progress(parent, printout.Title(), device, port);
  progress.show();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

  // A PDF is written under a temporary name and renamed over the chosen file
  // only when it is complete: a full disk leaves an older file as it was.
  const QString pdfTarget = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
  QByteArray pdfTemp;
  if (!pdfTarget.isEmpty()) {
    QString error;
    const int fd = FileIO::CreateTempFile(QFileInfo(pdfTarget).absolutePath(), &pdfTemp, &error);
    if (fd >= 0) {
      ::close(fd);
      printer.setOutputFileName(QFile::decodeName(pdfTemp));
    }
  }
  auto dropTemp = [&]() {
    if (pdfTemp.isEmpty()) return;
    QFile::remove(QFile::decodeName(pdfTemp));
    printer.setOutputFileName(pdfTarget);
    pdfTemp.clear();
  };

  // A PDF is archival PDF (PDF/A-1b), as the batches write them.
  if (printer.outputFormat() == QPrinter::PdfFormat) printer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
  QPainter painter;
  if (!painter.begin(&printer)) {
    dropTemp();
    progress.hide();
    Seams::MessageBox(parent, NotPrintedText(printout.Title(), QStringLiteral("Error encountered during print")),
                      kErrorCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QSize pageSize(printer.width(), printer.height());
  for (int page = 1; printout.HasPage(page); ++page) {
    progress.SetPage(page);
    printout.SetPrintParams(&painter, pageSize);
    printout.PrintPage(page, QRect(QPoint(0, 0), pageSize), 0);
    QApplication::processEvents();
    if (progress.Canceled()) break;
  }
  printout.SetPrintParams(nullptr, QSize());
  if (progress.Canceled()) {
    printer.abort();
    painter.end();
    dropTemp();
    progress.hide();
    Seams::MessageBox(parent, NotPrintedText(printout.Title(), QStringLiteral("Printing canceled")), kErrorCaption,
                      Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  bool ok = painter.end();
  if (!pdfTemp.isEmpty()) {
    printer.setOutputFileName(pdfTarget);
    QString error;
    // The report's own information and metadata (title, tester, appliance,
    // fingerprint), as the batches give their PDFs.
    QByteArray archival;
    if (ok && printout.SourceWindow) {
      QByteArray drawn;
      QString why;
      if (FileIO::ReadFile(QFile::decodeName(pdfTemp), 64 * 1024 * 1024, &drawn, &why) == FileIO::ReadResult::Ok) {
        PdfSplit::Info info = Batch::InfoFor(printout.SourceWindow->Record(), printout.SourceWindow->ProofHash());
        info.title = documentName;
        archival = PdfSplit::Rewrite(drawn, info);
      }
    }
    bool saved = false;
    if (ok && !archival.isEmpty()) {
      // The archival file replaces the drawn one, saved as every PDF is.
      dropTemp();
      saved = FileIO::SaveFileAtomically(pdfTarget, archival, &error);
    } else if (ok) {
      saved = FileIO::CommitTempFile(pdfTemp, pdfTarget, "%%EOF", &error);
    }
    if (!ok) {
      dropTemp();
    } else if (!saved) {
      progress.hide();
      Seams::MessageBox(parent,
                        QStringLiteral("Der Bericht wurde nicht als PDF geschrieben:\n\n\u201E%1\u201C: %2\n\n"
                                       "Eine ältere Datei dieses Namens ist unverändert.")
                            .arg(QDir::toNativeSeparators(pdfTarget), error),
                        QStringLiteral("Formular"), Win::MB_OK | Win::MB_ICONHAND);
      return false;
    }
  }
  progress.hide();
  if (!ok) {
    Seams::MessageBox(parent, NotPrintedText(printout.Title(), QStringLiteral("Error encountered during print")),
                      kErrorCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
  }
  return ok;
}

}  // namespace

QString NotPrintedText(const QString& title, const QString& reason) {
  return QStringLiteral("'%1' not printed. %2.").arg(title, reason);
}

QString DocumentName(const TFormular& form, const QDate& day) {
  // The client's name as it stands, without the characters a file name cannot hold.
  QString client = form.FieldFirstLine(Layout::kFieldAuftraggeber).simplified();
  client.remove(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")));
  QString name = QStringLiteral("Prüfprotokoll");
  if (!client.isEmpty()) name += QLatin1Char(' ') + client.left(80);
  return name + QLatin1Char(' ') + day.toString(QStringLiteral("dd.MM.yyyy"));
}

bool PrinterUsable(const QPrinter& printer) {
  bool usable = false;
  if (Seams::PrinterByResponder(&usable)) return usable;
  return printer.isValid() && printer.width() > 0 && printer.height() > 0;
}

int AskPrinter(QPrinter& printer, QWidget* parent, const QString& detail) {
  return RunPrintDialog(printer, parent, detail);
}

QPrinter* EnsurePrinter(TFormular& form) {
  if (form.Printer) return form.Printer;
  auto* printer = new QPrinter(QPrinter::HighResolution);
  if (QPrinterInfo::availablePrinters().isEmpty() || !printer->isValid() ||
      printer->outputFormat() == QPrinter::PdfFormat) {
    // No printer installed: write the report to a PDF file on A4.
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(QPageLayout::Portrait);
    printer->setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
  }
  form.Printer = printer;
  return printer;
}

void PageSetup(TFormular& form) {
  QPrinter* printer = EnsurePrinter(form);
  GenericDialogRequest request{&form, QStringLiteral("pagesetup"), QString()};
  Seams::GenericDialog(request, [&]() {
    QPageSetupDialog dialog(printer, &form);
    return dialog.exec() == QDialog::Accepted ? int(Win::IDOK) : int(Win::IDCANCEL);
  });
}

void Print(TFormular& form) {
  QPrinter* printer = EnsurePrinter(form);
  {
    PrintMode mode(form);
    TWindowPrintout printout(kPrintTitle, &form);
    printout.ScaleToPage = true;
    printout.MappingMode = kMmIsotropic;
    RunPrintJob(*printer, &form, printout, true, DocumentName(form));
  }
  form.update();
}

void Preview(TFormular& form) {
  QPrinter* printer = EnsurePrinter(form);
  const QSize extent(printer->width(), printer->height());
  if (!PrinterUsable(*printer)) {
    // No usable printer: offer the choice of one, and nothing else.
    RunPrintDialog(*printer, ChildFrameOf(form), kPreviewTitle);
    return;
  }
  {
    PrintMode mode(form);
    TWindowPrintout printout(kPreviewTitle, &form);
    printout.ScaleToPage = true;
    printout.MappingMode = kMmIsotropic;

    auto* layout = new TLayoutWindow(nullptr);
    auto* page = new TPreviewPage(layout, &printout, extent, 1);
    layout->SetPage(page);
    auto* frame = new TModalFrame(&form, QStringLiteral("Preview"), layout);
    frame->setObjectName(QStringLiteral("Preview"));

    QWidget* main = MainWindowOf(form);
    if (main) {
      const QRect geometry = main->geometry();
      const Qt::WindowStates state = main->windowState();
      main->hide();
      frame->SetMainWindow(main, geometry, state);
      frame->setGeometry(geometry);
    } else {
      frame->resize(800, 1000);
    }
    frame->showNormal();
    frame->BeginModal(ChildFrameOf(form));
    delete frame;  // with it the layout window and the preview page
  }
  // The form's child frame is the active one again, so its commands (print,
  // save) are available at once, not only after a click into the form.
  if (auto* child = qobject_cast<QMdiSubWindow*>(ChildFrameOf(form))) {
    if (QMdiArea* area = child->mdiArea()) area->setActiveSubWindow(child);
  }
  form.setFocus();
  form.update();
}

}  // namespace PrintJob
