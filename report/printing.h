#pragma once
#include "core/clock.h"
#include <QDate>
// Printing and print preview of the report form: the printout that maps the
// form's logical page onto a printer page, the preview frame, and the three
// commands (page set-up, print, preview) the form runs.
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "render/pagemapping.h"

class QEventLoop;
class QPainter;
class QPrinter;
class TFormular;


// Prints one window's page: scales the logical page onto the printer page and
// asks the window to paint itself there.
class TWindowPrintout {
 public:
  TWindowPrintout(const QString& title, TFormular* window);
  virtual ~TWindowPrintout() = default;

  TFormular* SourceWindow;
  bool ScaleToPage = false;
  int32_t MappingMode = 0;

  const QString& Title() const { return title_; }
  // No page range: minimum, maximum and selection are all 0.
  void GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage) const;
  // The drawing target and the page size (device pixels) of the current pass.
  void SetPrintParams(QPainter* dc, const QSize& pageSize);
  bool HasPage(int page) const { return page == 1; }
  // Draws the page; `rect` is the area to draw in device coordinates.
  void PrintPage(int page, const QRect& rect, unsigned flags);

 private:
  QString title_;
  QPainter* dc_ = nullptr;
  QSize pageSize_;
};

// The preview page: a white sheet that imitates the printer at the print
// extent and runs the printout's page drawing on every repaint.
class TPreviewPage : public QWidget {
 public:
  TPreviewPage(QWidget* parent, TWindowPrintout* printout, const QSize& extent, int page);
  const QSize& Extent() const { return extent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TWindowPrintout* printout_;
  QSize extent_;
  int page_;
};

// The preview's client: keeps the preview page at its place on every resize.
class TLayoutWindow : public QWidget {
 public:
  explicit TLayoutWindow(QWidget* parent = nullptr);
  void SetPage(TPreviewPage* page);
  TPreviewPage* Page() const { return page_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  TPreviewPage* page_ = nullptr;
};

// The preview frame, shown in place of the main window. Closing it ends the
// modal loop and brings the main window back where it was.
class TModalFrame : public QWidget {
 public:
  TModalFrame(QWidget* parent, const QString& title, TLayoutWindow* client);
  ~TModalFrame() override;

  // Runs the modal loop until the frame is closed; returns the loop's result.
  int BeginModal(QWidget* disabledWindow);
  // The main window to hide while the preview is open and to restore afterwards.
  void SetMainWindow(QWidget* main, const QRect& geometry, Qt::WindowStates state);
  TLayoutWindow* Client() const { return client_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void EndModal(int result);
  TLayoutWindow* client_;
  QEventLoop* loop_ = nullptr;
  bool closed_ = false;
  int result_ = 0;
  QPointer<QWidget> main_;
  QRect mainGeometry_;
  Qt::WindowStates mainState_;
};

namespace PrintJob {

// The form's printer, created on first use for the default printer and kept;
// with no printer installed, a PDF printer so the report can be saved as PDF.
QPrinter* EnsurePrinter(TFormular& form);
// The print dialog (through the dialog seam); Win::IDOK when the user prints.
int AskPrinter(QPrinter& printer, QWidget* parent, const QString& detail);
// True when the printer can take a page (a valid device with a page size).
bool PrinterUsable(const QPrinter& printer);

void PageSetup(TFormular& form);  // "Seiten &Einstellung..."
void Print(TFormular& form);      // "D&rucken..."
void Preview(TFormular& form);    // "&Druckvorschau.."

// The printing service's texts.
QString NotPrintedText(const QString& title, const QString& reason);
// The name of a printed report: "Prüfprotokoll <Auftraggeber> <dd.mm.yyyy>",
// the job's name, the title of a PDF and (with ".pdf") the file name offered.
QString DocumentName(const TFormular& form, const QDate& day = Clock::Today());

}  // namespace PrintJob
