#pragma once
// "Etiketten": the test labels of some appliances (the record list's chosen
// rows, an appliance of the archive or its due list, a visit): the format, the
// code and what it holds, the first free place of a sheet used before, a
// preview of the pages as they will be printed, and the labels as PDF or on a
// printer through the print system with the format's page size.
#include <QDialog>
#include <QPointer>
#include <memory>
#include <vector>

#include "core/label.h"
#include "render/labeldoc.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTimer;
struct ReportRecord;

class LabelDialog : public QDialog {
  Q_OBJECT
 public:
  // Control ids (object names).
  enum : int {
    FormatId = 23001, WidthId = 23002, HeightId = 23003, CodeId = 23004, ContentId = 23005, StartId = 23006,
    PreviewId = 23007, PreviousPageId = 23008, NextPageId = 23009, PageId = 23010, StatusId = 23011,
    PdfId = 23012, PrintId = 23013, CloseId = 23014
  };

  LabelDialog(const std::vector<Labels::LabelData>& labels, QWidget* parent = nullptr);
  ~LabelDialog() override;
  void SetupWindow();

  // Opens the dialog (not modal: the list stays usable) for the labels of
  // these reports; `note` is shown above the preview (what the caller knows
  // about them, such as inspections still open). The dialog deletes itself
  // when closed.
  static LabelDialog* Open(QWidget* parent, const std::vector<ReportRecord>& reports, const QString& note = QString());
  static LabelDialog* Open(QWidget* parent, const std::vector<Labels::LabelData>& labels, const QString& note = QString());

  void SetNote(const QString& note);
  // The job as the controls set it.
  LabelDoc::Job Job() const;
  // The format chosen: one of the list, or the size of the user's own.
  void ChooseFormat(const QString& key);
  void ChooseCode(Barcode::Type type);
  void ChooseContent(Labels::Content content);
  void ChooseStart(int position);

  // "Als PDF...": asks for the file (dialog seam) and writes it; false when
  // nothing was written (the user was told why, unless he cancelled).
  bool WritePdf();
  // "Drucken...": the printer is chosen in the print dialog (dialog seam);
  // the pages go to it with the format's page size.
  bool Print();
  // The printer the labels go to (kept while the program runs; its name is
  // remembered for the next time).
  QPrinter* Printer();

  // The preview's page (from 0) and how many there are.
  int PreviewPage() const { return page_; }
  int PageCount() const;
  void ShowPage(int page);
  QLabel* Status() const { return status_; }
  QLabel* PreviewLabel() const { return preview_; }
  // The preview is drawn again after a change (at once here, for tests).
  void Refresh();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Changed();
  void UpdateStatus();
  void Remember() const;
  bool Progress(int done, class QProgressDialog* progress) const;

  std::vector<Labels::LabelData> labels_;
  QString note_;
  QComboBox* format_ = nullptr;
  QDoubleSpinBox* width_ = nullptr;
  QDoubleSpinBox* height_ = nullptr;
  QComboBox* code_ = nullptr;
  QComboBox* content_ = nullptr;
  QSpinBox* start_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QLabel* preview_ = nullptr;
  QLabel* pageText_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* next_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* redraw_ = nullptr;
  int page_ = 0;
  QStringList problems_;
};
