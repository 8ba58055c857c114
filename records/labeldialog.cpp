#include "records/labeldialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "core/reportrecord.h"
#include "core/userfolders.h"
#include "platform/seams.h"
#include "report/printing.h"

namespace {

QString Count(int n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QString::fromUtf8(n == 1 ? one : many));
}

const QString kCaption = QStringLiteral("Etiketten");
const QString kSettings = QStringLiteral("Etiketten");
constexpr int kCustomIndex = -1;  // the item data of "Eigenes Format"

// The label printer: one for the program's run, its name remembered.
class PrinterHolder : public QObject {
 public:
  explicit PrinterHolder(QObject* parent) : QObject(parent), printer(QPrinter::HighResolution) {}
  QPrinter printer;
};

}  // namespace

LabelDialog::LabelDialog(const std::vector<Labels::LabelData>& labels, QWidget* parent)
    : QDialog(parent), labels_(labels) {
  setObjectName(QStringLiteral("Etiketten"));
  setWindowTitle(kCaption);
  setSizeGripEnabled(true);

  format_ = new QComboBox(this);
  format_->setObjectName(QString::number(FormatId));
  for (int i = 0; i < int(Labels::Formats().size()); ++i) format_->addItem(Labels::Formats()[size_t(i)].name, i);
  format_->addItem(QStringLiteral("Eigenes Format ..."), kCustomIndex);
  auto spin = [this](int id) {
    auto* s = new QDoubleSpinBox(this);
    s->setObjectName(QString::number(id));
    s->setRange(Labels::kCustomMin, Labels::kCustomMax);
    s->setDecimals(1);
    s->setSuffix(QStringLiteral(" mm"));
    return s;
  };
  width_ = spin(WidthId);
  height_ = spin(HeightId);
  width_->setValue(50);
  height_->setValue(30);
  code_ = new QComboBox(this);
  code_->setObjectName(QString::number(CodeId));
  for (Barcode::Type t : {Barcode::Type::QR, Barcode::Type::DataMatrix, Barcode::Type::Code128})
    code_->addItem(Barcode::Name(t), int(t));
  content_ = new QComboBox(this);
  content_->setObjectName(QString::number(ContentId));
  content_->addItem(QStringLiteral("Inventar-Nr."), int(Labels::Content::Inventar));
  content_->addItem(QStringLiteral("Inventar-Nr.;Auftraggeber;nächste Prüfung"), int(Labels::Content::InventarKundeDatum));
  content_->setToolTip(QStringLiteral("Was ein Scanner vom Code eintippt. Nur die Inventar-Nr. findet das Gerät in "
                                      "der Liste \u201EPrüfungen\u201C beim nächsten Besuch."));
  start_ = new QSpinBox(this);
  start_->setObjectName(QString::number(StartId));
  start_->setRange(1, 1);
  start_->setToolTip(QStringLiteral("Der erste freie Platz eines angebrochenen Bogens, zeilenweise von links oben gezählt"));

  // Three rows of choices, so the preview keeps its room on a small screen.
  format_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  format_->setMinimumContentsLength(18);
  content_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  content_->setMinimumContentsLength(14);
  auto* form = new QGridLayout;
  form->addWidget(new QLabel(QStringLiteral("Format:"), this), 0, 0);
  auto* formatRow = new QHBoxLayout;
  formatRow->addWidget(format_, 1);
  formatRow->addWidget(width_);
  formatRow->addWidget(new QLabel(QStringLiteral("×"), this));
  formatRow->addWidget(height_);
  form->addLayout(formatRow, 0, 1, 1, 3);
  form->addWidget(new QLabel(QStringLiteral("Code:"), this), 1, 0);
  form->addWidget(code_, 1, 1);
  form->addWidget(new QLabel(QStringLiteral("Inhalt:"), this), 1, 2);
  form->addWidget(content_, 1, 3);
  form->addWidget(new QLabel(QStringLiteral("Erster freier Platz:"), this), 2, 0);
  auto* startRow = new QHBoxLayout;
  startRow->addWidget(start_);
  startRow->addStretch();
  form->addLayout(startRow, 2, 1, 1, 3);
  form->setColumnStretch(3, 1);

  status_ = new QLabel(this);
  status_->setObjectName(QString::number(StatusId));
  status_->setWordWrap(true);
  status_->setTextFormat(Qt::PlainText);

  preview_ = new QLabel(this);
  preview_->setObjectName(QString::number(PreviewId));
  preview_->setAlignment(Qt::AlignCenter);
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(preview_);
  scroll_->setWidgetResizable(true);
  scroll_->setBackgroundRole(QPalette::Dark);
  scroll_->setMinimumSize(240, 100);
  previous_ = new QPushButton(QStringLiteral("< Seite"), this);
  previous_->setObjectName(QString::number(PreviousPageId));
  next_ = new QPushButton(QStringLiteral("Seite >"), this);
  next_->setObjectName(QString::number(NextPageId));
  pageText_ = new QLabel(this);
  pageText_->setObjectName(QString::number(PageId));
  auto* pages = new QHBoxLayout;
  pages->addWidget(previous_);
  pages->addWidget(pageText_, 1, Qt::AlignCenter);
  pages->addWidget(next_);

  auto* pdf = new QPushButton(QStringLiteral("Als PDF..."), this);
  pdf->setObjectName(QString::number(PdfId));
  auto* print = new QPushButton(QStringLiteral("Drucken..."), this);
  print->setObjectName(QString::number(PrintId));
  print->setDefault(true);
  auto* close = new QPushButton(QStringLiteral("Schließen"), this);
  close->setObjectName(QString::number(CloseId));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pdf);
  buttons->addWidget(print);
  buttons->addStretch();
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(status_);
  layout->addWidget(scroll_, 1);
  layout->addLayout(pages);
  layout->addLayout(buttons);

  redraw_ = new QTimer(this);
  redraw_->setSingleShot(true);
  redraw_->setInterval(0);
  connect(redraw_, &QTimer::timeout, this, &LabelDialog::Refresh);
  connect(format_, qOverload<int>(&QComboBox::currentIndexChanged), this, &LabelDialog::Changed);
  for (QDoubleSpinBox* s : {width_, height_}) connect(s, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &LabelDialog::Changed);
  for (QComboBox* c : {code_, content_}) connect(c, qOverload<int>(&QComboBox::currentIndexChanged), this, &LabelDialog::Changed);
  connect(start_, qOverload<int>(&QSpinBox::valueChanged), this, &LabelDialog::Changed);
  connect(previous_, &QPushButton::clicked, this, [this] { ShowPage(page_ - 1); });
  connect(next_, &QPushButton::clicked, this, [this] { ShowPage(page_ + 1); });
  connect(pdf, &QPushButton::clicked, this, &LabelDialog::WritePdf);
  connect(print, &QPushButton::clicked, this, &LabelDialog::Print);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

LabelDialog::~LabelDialog() = default;

void LabelDialog::SetupWindow() {
  // What was chosen last time.
  const QString format = UserSettings::Value(kSettings, QStringLiteral("Format"));
  if (!format.isEmpty()) ChooseFormat(format);
  Barcode::Type type;
  if (Barcode::FromKey(UserSettings::Value(kSettings, QStringLiteral("Code")), &type)) ChooseCode(type);
  if (UserSettings::Value(kSettings, QStringLiteral("Inhalt")) == QLatin1String("kunde-datum"))
    ChooseContent(Labels::Content::InventarKundeDatum);
  resize(QSize(620, 640).boundedTo(screen() ? screen()->availableGeometry().size() - QSize(40, 80) : QSize(620, 640)));
  Changed();
  Refresh();
}

LabelDialog* LabelDialog::Open(QWidget* parent, const std::vector<ReportRecord>& reports, const QString& note) {
  return Open(parent, Labels::FromReports(reports), note);
}

LabelDialog* LabelDialog::Open(QWidget* parent, const std::vector<Labels::LabelData>& labels, const QString& note) {
  auto* dialog = new LabelDialog(labels, parent);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->SetNote(note);
  dialog->SetupWindow();
  dialog->show();
  return dialog;
}

void LabelDialog::SetNote(const QString& note) {
  note_ = note;
  UpdateStatus();
}

LabelDoc::Job LabelDialog::Job() const {
  LabelDoc::Job job;
  job.labels = labels_;
  const int index = format_->currentData().toInt();
  job.format = index == kCustomIndex ? Labels::Custom(width_->value(), height_->value()) : Labels::Formats()[size_t(index)];
  job.options.code = Barcode::Type(code_->currentData().toInt());
  job.options.content = Labels::Content(content_->currentData().toInt());
  job.start = job.format.Sheet() ? start_->value() : 1;
  return job;
}

void LabelDialog::ChooseFormat(const QString& key) {
  Labels::Format format;
  if (!Labels::FormatByKey(key, &format)) return;
  for (int i = 0; i < format_->count(); ++i) {
    const int index = format_->itemData(i).toInt();
    if (index != kCustomIndex && Labels::Formats()[size_t(index)].key == format.key) {
      format_->setCurrentIndex(i);
      return;
    }
  }
  format_->setCurrentIndex(format_->count() - 1);
  width_->setValue(format.pageWidth);
  height_->setValue(format.pageHeight);
}

void LabelDialog::ChooseCode(Barcode::Type type) { code_->setCurrentIndex(code_->findData(int(type))); }
void LabelDialog::ChooseContent(Labels::Content content) { content_->setCurrentIndex(content_->findData(int(content))); }
void LabelDialog::ChooseStart(int position) { start_->setValue(position); }

void LabelDialog::Changed() {
  const bool custom = format_->currentData().toInt() == kCustomIndex;
  width_->setEnabled(custom);
  height_->setEnabled(custom);
  if (!custom) {
    const Labels::Format& f = Labels::Formats()[size_t(format_->currentData().toInt())];
    const QSignalBlocker a(width_), b(height_);
    width_->setValue(f.labelWidth);
    height_->setValue(f.labelHeight);
  }
  const Labels::Format format = Job().format;
  start_->setEnabled(format.Sheet());
  start_->setMaximum(format.PerPage());
  redraw_->start();
}

int LabelDialog::PageCount() const { return LabelDoc::PageCount(Job()); }

void LabelDialog::Refresh() {
  redraw_->stop();
  problems_ = LabelDoc::Problems(Job());
  ShowPage(std::clamp(page_, 0, std::max(0, PageCount() - 1)));
  UpdateStatus();
}

void LabelDialog::ShowPage(int page) {
  const int pages = PageCount();
  page_ = std::clamp(page, 0, std::max(0, pages - 1));
  const LabelDoc::Job job = Job();
  // The page as large as the preview lets it be, in the screen's pixels.
  const QSize room = scroll_->viewport()->size() - QSize(16, 16);
  const double dpr = devicePixelRatioF();
  const double dpi = std::clamp(std::min(room.width() / job.format.pageWidth, room.height() / job.format.pageHeight) * 25.4,
                                4.0, 600.0) * dpr;
  QImage image = pages > 0 ? LabelDoc::RenderPage(job, page_, dpi) : QImage();
  image.setDevicePixelRatio(dpr);
  preview_->setPixmap(QPixmap::fromImage(image));
  pageText_->setText(pages > 0 ? QStringLiteral("Seite %1 von %2").arg(page_ + 1).arg(pages) : QString());
  previous_->setEnabled(page_ > 0);
  next_->setEnabled(page_ + 1 < pages);
}

void LabelDialog::UpdateStatus() {
  if (!status_) return;
  int blocked = 0, withoutNumber = 0;
  for (const Labels::LabelData& l : labels_) {
    blocked += l.Failed;
    withoutNumber += l.InventarNr.isEmpty();
  }
  QStringList lines;
  QString count = Count(int(labels_.size()), "Etikett", "Etiketten");
  if (blocked) count += QStringLiteral(", davon %1 \u201EGESPERRT\u201C").arg(blocked);
  count += QStringLiteral(", %1.").arg(Count(PageCount(), "Seite", "Seiten"));
  lines << count;
  if (!note_.isEmpty()) lines << note_;
  if (withoutNumber)
    lines << QStringLiteral("%1 Geräte haben keine Inventar-Nr.: ihr Etikett trägt keinen Code.").arg(withoutNumber);
  if (!problems_.isEmpty())
    lines << QStringLiteral("Diese Etiketten passen nicht und werden nicht gedruckt:\n") +
                 problems_.mid(0, 5).join(QLatin1Char('\n')) +
                 (problems_.size() > 5 ? QStringLiteral("\n... und %1 weitere").arg(problems_.size() - 5) : QString());
  status_->setStyleSheet(problems_.isEmpty() ? QString() : QStringLiteral("color: rgb(190, 0, 0);"));
  status_->setText(lines.join(QLatin1Char('\n')));
}

void LabelDialog::Remember() const {
  const LabelDoc::Job job = Job();
  UserSettings::SetValue(kSettings, QStringLiteral("Format"), job.format.key);
  UserSettings::SetValue(kSettings, QStringLiteral("Code"), Barcode::Key(job.options.code));
  UserSettings::SetValue(kSettings, QStringLiteral("Inhalt"),
                         job.options.content == Labels::Content::Inventar ? QStringLiteral("nr") : QStringLiteral("kunde-datum"));
}

bool LabelDialog::Progress(int done, QProgressDialog* progress) const {
  if (!progress) return true;
  progress->setValue(done);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return !progress->wasCanceled();
}

bool LabelDialog::WritePdf() {
  Refresh();
  const LabelDoc::Job job = Job();
  if (int(problems_.size()) == int(job.labels.size())) {
    Seams::MessageBox(this, QStringLiteral("Kein Etikett passt in dieses Format.\n\n") + problems_.mid(0, 5).join('\n'),
                      kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  FileDialogRequest request;
  request.owner = this;
  request.save = true;
  request.title = QStringLiteral("Etiketten als PDF");
  request.filter = QStringLiteral("PDF-Dateien (*.pdf)|*.pdf");
  request.initialName = QDir(UserFolders::StartFolder())
                            .filePath(QStringLiteral("Prüfplaketten %1.pdf").arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
  request.overwritePrompt = true;
  QString path;
  if (!Seams::FileDialog(request, &path) || path.isEmpty()) return false;
  UserFolders::Remember(path);
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
  Remember();
  QProgressDialog progress(QStringLiteral("Etiketten als PDF ..."), QStringLiteral("Abbrechen"), 0, int(job.labels.size()), this);
  progress.setWindowTitle(kCaption);
  progress.setMinimumDuration(300);
  const LabelDoc::Result result = LabelDoc::WritePdf(job, path, [&](int done) { return Progress(done, &progress); });
  progress.hide();
  if (result.canceled) {
    status_->setText(QStringLiteral("Abgebrochen: es wurde keine Datei geschrieben."));
    return false;
  }
  if (result.labels == 0) {
    Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return false;
  }
  QString text = QStringLiteral("%1 auf %2 in \u201E%3\u201C geschrieben.")
                     .arg(Count(result.labels, "Etikett", "Etiketten"), Count(result.pages, "Seite", "Seiten"),
                          QDir::toNativeSeparators(path));
  if (!result.ok) {
    // Written, but some labels were left out: said, not hidden.
    Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    text += QStringLiteral(" %1 Etiketten fehlen (passen nicht).").arg(int(job.labels.size()) - result.labels);
  }
  status_->setText(text);
  return true;
}

QPrinter* LabelDialog::Printer() {
  static QPointer<PrinterHolder> holder;
  if (!holder) {
    holder = new PrinterHolder(qApp);
    const QString name = UserSettings::Value(kSettings, QStringLiteral("Drucker"));
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.contains(name))
      holder->printer.setPrinterName(name);
    else if (holder->printer.printerName().isEmpty() && !names.isEmpty())
      holder->printer.setPrinterName(names.first());  // no default printer: the first, the dialog offers the others
  }
  return &holder->printer;
}

bool LabelDialog::Print() {
  Refresh();
  const LabelDoc::Job job = Job();
  QPrinter* printer = Printer();
  if (QPrinterInfo::availablePrinters().isEmpty() || printer->outputFormat() == QPrinter::PdfFormat ||
      !PrintJob::PrinterUsable(*printer)) {
    // No printer on this machine: the labels go into a PDF file.
    status_->setText(QStringLiteral("Es ist kein Drucker eingerichtet: die Etiketten werden als PDF gespeichert."));
    return WritePdf();
  }
  if (int(problems_.size()) == int(job.labels.size())) {
    Seams::MessageBox(this, QStringLiteral("Kein Etikett passt in dieses Format.\n\n") + problems_.mid(0, 5).join('\n'),
                      kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  if (PrintJob::AskPrinter(*printer, this, QStringLiteral("%1 Etiketten").arg(job.labels.size())) != Win::IDOK) return false;
  if (printer->outputFormat() == QPrinter::PdfFormat) {
    // "Print to file" in the print dialog: the program's own safe PDF.
    const QString path = printer->outputFileName();
    printer->setOutputFormat(QPrinter::NativeFormat);
    if (path.isEmpty()) return WritePdf();
    const LabelDoc::Result result = LabelDoc::WritePdf(job, path);
    if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return result.labels > 0;
  }
  Remember();
  UserSettings::SetValue(kSettings, QStringLiteral("Drucker"), printer->printerName());
  // The format's page size, whatever the dialog showed; the printer's
  // driver decides how it puts that page on its labels or tape.
  printer->setFullPage(true);
  printer->setPageLayout(LabelDoc::PageLayout(job.format));
  printer->setDocName(QStringLiteral("Prüfplaketten"));
  QPainter painter;
  if (!painter.begin(printer)) {
    Seams::MessageBox(this, QStringLiteral("Der Drucker \u201E%1\u201C kann nicht benutzt werden. Die Etiketten wurden "
                                           "nicht gedruckt.").arg(printer->printerName()),
                      kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return false;
  }
  QProgressDialog progress(QStringLiteral("Etiketten drucken ..."), QStringLiteral("Abbrechen"), 0, int(job.labels.size()), this);
  progress.setWindowTitle(kCaption);
  progress.setMinimumDuration(300);
  const LabelDoc::Result result = LabelDoc::Draw(painter, *printer, job, [&](int done) { return Progress(done, &progress); });
  if (result.canceled) printer->abort();
  const bool ended = painter.end();
  progress.hide();
  if (result.canceled) {
    status_->setText(QStringLiteral("Abgebrochen: es wurde nichts gedruckt."));
    return false;
  }
  if (!ended) {
    Seams::MessageBox(this, QStringLiteral("Die Etiketten konnten nicht an den Drucker \u201E%1\u201C übergeben werden.")
                                .arg(printer->printerName()),
                      kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return false;
  }
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
  status_->setText(QStringLiteral("%1 auf %2 an \u201E%3\u201C übergeben.")
                       .arg(Count(result.labels, "Etikett", "Etiketten"), Count(result.pages, "Seite", "Seiten"),
                            printer->printerName()));
  return true;
}

void LabelDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (redraw_) redraw_->start();
}
