#include "records/archivewindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QThread>
#include <cmath>
#include <QUrl>
#include <QVBoxLayout>

#include "core/archiveservice.h"
#include "core/fileio.h"
#include "platform/flowlayout.h"
#include "platform/screenfit.h"
#include "platform/seams.h"
#include "core/userfolders.h"
#include "core/limitprofiles.h"
#include "core/values.h"
#include "report/TFormular.h"
#include "render/batch.h"
#include "core/recordlist.h"
#include "core/duedates.h"
#include "records/labeldialog.h"

namespace {

const QString kCaption = QStringLiteral("Archiv");
const QColor kOverdue(190, 0, 0);

QString DateText(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString(); }

QStringList ApplianceColumns() {
  return {QStringLiteral("Auftraggeber"), QStringLiteral("Inventar-Nr."), QStringLiteral("Gerät/Bezeichnung"),
          QStringLiteral("Hersteller/Typ"), QStringLiteral("Standort"), QStringLiteral("Schutzklasse"),
          QStringLiteral("Intervall (Monate)"), QStringLiteral("Letzte Prüfung"), QStringLiteral("Nächste Prüfung"),
          QStringLiteral("Leitung [m]"), QStringLiteral("Querschnitt [mm²]"), QStringLiteral("Geräteart")};
}

// A number the archive keeps as it is read ("12,5"); empty when not known.
QString Decimal(double value) {
  return std::isnan(value) ? QString() : QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
}

QStringList ApplianceCells(const ArchiveData::Appliance& a) {
  return {a.Customer,
          a.InventarNr,
          a.Bezeichnung,
          a.HerstellerTyp,
          a.Standort,
          Values::ClassText(a.ProtectionClass),
          QString::number(a.IntervalMonths),
          DateText(a.LastTest),
          DateText(a.NextDue),
          Decimal(a.CordLengthM),
          Decimal(a.CrossSectionMm2),
          Profiles::KindText(Profiles::Kind(a.Kind))};
}

QTableWidget* MakeTable(QWidget* parent, int id, const QStringList& columns) {
  auto* table = new QTableWidget(0, int(columns.size()), parent);
  table->setObjectName(QString::number(id));
  table->setHorizontalHeaderLabels(columns);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setAlternatingRowColors(true);
  table->verticalHeader()->setVisible(false);
  table->horizontalHeader()->setStretchLastSection(true);
  // Column widths from the first rows: a list of thousands is shown at once.
  table->horizontalHeader()->setResizeContentsPrecision(200);
  return table;
}

// The reading thread's own archive connection, made there on first use and
// opened again when the place changes or the last read failed.
class ArchiveReader : public QObject {
 public:
  Archive* Get(const QString& location, QString* error, bool* failed) {
    if (archive_ && (location != location_ || !archive_->IsOpen() || archive_->Failed())) archive_.reset();
    if (!archive_) {
      auto archive = std::make_unique<Archive>();
      // Reading never makes an archive (nor a new one where the file went).
      if (!archive->Open(location, Archive::OpenMode::ExistingOnly)) {
        *error = archive->Error();
        *failed = true;
        return nullptr;
      }
      archive_ = std::move(archive);
      location_ = location;
    }
    return archive_.get();
  }

 private:
  std::unique_ptr<Archive> archive_;
  QString location_;
};

}  // namespace

ArchiveWindow::~ArchiveWindow() {
  if (chainCancel_) *chainCancel_ = true;
  checker_->quit();
  checker_->wait();
  reader_->quit();
  reader_->wait();
}

void ArchiveWindow::Read(int* sequence, Job job, std::function<void(const Answer&)> done) {
  const int mine = ++*sequence;
  ++waiting_;
  const QString location = service_.Location();
  auto* reader = static_cast<ArchiveReader*>(readerContext_);
  QMetaObject::invokeMethod(reader, [this, reader, location, job, done, sequence, mine] {
    Answer answer;
    if (Archive* archive = reader->Get(location, &answer.error, &answer.failed)) {
      job(*archive, &answer);
      if (archive->Failed()) {
        answer.failed = true;
        answer.error = archive->Error();
      }
    }
    QMetaObject::invokeMethod(this, [this, answer, done, sequence, mine] {
      --waiting_;
      if (mine == *sequence) done(answer);
    }, Qt::QueuedConnection);
  }, Qt::QueuedConnection);
}

void ArchiveWindow::List(Job job, const QString& what) {
  Say(QStringLiteral("Lade ..."));
  Read(&listSequence_,
       [job](Archive& archive, Answer* answer) {
         job(archive, answer);
         if (archive.Failed()) return;
         answer->customers = archive.Customers();
       },
       [this, what](const Answer& answer) {
         if (answer.failed) {
           Fill({}, what);
           Say(answer.error, true);
           return;
         }
         const QString current = customers_->currentText();
         customers_->clear();
         customers_->addItems(answer.customers);
         customers_->setCurrentText(current);
         Fill(answer.appliances, what);
       });
}

ArchiveWindow::ArchiveWindow(TFormular* form, ArchiveService& archive, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(form), service_(archive) {
  setObjectName(QStringLiteral("20016"));
  setWindowTitle(kCaption);
  auto button = [this](int id, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::number(id));
    return b;
  };
  search_ = new QLineEdit(this);
  search_->setObjectName(QString::number(SearchEditId));
  search_->setPlaceholderText(QStringLiteral("Inventar-Nr., Bezeichnung oder Auftraggeber"));
  QPushButton* find = button(SearchId, QStringLiteral("Suchen"));
  days_ = new QSpinBox(this);
  days_->setObjectName(QString::number(DueDaysId));
  days_->setRange(0, 3650);
  days_->setValue(30);
  days_->setSuffix(QStringLiteral(" Tage"));
  QPushButton* due = button(DueId, QStringLiteral("Fällig"));
  due->setToolTip(QStringLiteral("Geräte, deren nächste Prüfung in diesen Tagen fällig oder überfällig ist"));
  customers_ = new QComboBox(this);
  customers_->setObjectName(QString::number(CustomerId));
  customers_->setMinimumContentsLength(16);

  appliances_ = MakeTable(this, AppliancesId, ApplianceColumns());
  history_ = MakeTable(this, HistoryId,
                       {QStringLiteral("Prüfung am"), QStringLiteral("Ergebnis"), QStringLiteral("R-PE"),
                        QStringLiteral("R-ISO"), QStringLiteral("I-ABL"), QStringLiteral("I-EA"), QStringLiteral("Prüfer"),
                        QStringLiteral("Messgerät"), QStringLiteral("Korrigiert"), QStringLiteral("Bemerkungen")});
  status_ = new QLabel(this);
  status_->setObjectName(QString::number(StatusId));
  chain_ = new QLabel(this);
  chain_->setObjectName(QString::number(ChainId));
  chain_->setWordWrap(true);

  auto* top = new QHBoxLayout;
  top->addWidget(search_, 2);
  top->addWidget(find);
  top->addSpacing(12);
  top->addWidget(new QLabel(QStringLiteral("Auftraggeber:"), this));
  top->addWidget(customers_, 1);
  top->addSpacing(12);
  top->addWidget(days_);
  top->addWidget(due);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(appliances_);
  splitter->addWidget(history_);
  // The buttons wrap into a second row where the window is narrow (a small
  // screen at 200 %).
  auto* bottom = new FlowLayout;
  QPushButton* open = button(OpenInFormId, QStringLiteral("Im Formular öffnen"));
  QPushButton* pdf = button(PdfId, QStringLiteral("Als PDF..."));
  QPushButton* csv = button(CsvId, QStringLiteral("Liste als CSV..."));
  QPushButton* historyCsv = button(HistoryCsvId, QStringLiteral("Verlauf als CSV..."));
  QPushButton* import = button(ImportId, QStringLiteral("Datensätze importieren..."));
  QPushButton* settings = button(SettingsId, QStringLiteral("Archiv wählen..."));
  QPushButton* labels = button(LabelsId, QStringLiteral("Etiketten..."));
  labels->setToolTip(QStringLiteral("Prüfplaketten des gewählten Geräts oder aller Geräte der Liste, aus ihrer letzten Prüfung"));
  for (QPushButton* b : {open, pdf, csv, historyCsv, labels, import, settings}) bottom->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(splitter, 1);
  layout->addWidget(status_);
  layout->addWidget(chain_);
  layout->addLayout(bottom);

  connect(find, &QPushButton::clicked, this, [this] { ShowSearch(search_->text()); });
  connect(search_, &QLineEdit::returnPressed, this, [this] { ShowSearch(search_->text()); });
  connect(due, &QPushButton::clicked, this, [this] { ShowDue(days_->value()); });
  connect(customers_, qOverload<int>(&QComboBox::activated), this,
          [this](int) { ShowCustomer(customers_->currentText()); });
  connect(appliances_, &QTableWidget::itemSelectionChanged, this, [this] { ShowHistory(appliances_->currentRow()); });
  connect(open, &QPushButton::clicked, this, [this] { OpenInForm(history_->currentRow()); });
  connect(history_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenInForm(row); });
  connect(pdf, &QPushButton::clicked, this, [this] { ExportPdf(history_->currentRow()); });
  connect(csv, &QPushButton::clicked, this, &ArchiveWindow::ExportCsv);
  connect(historyCsv, &QPushButton::clicked, this, &ArchiveWindow::ExportHistoryCsv);
  connect(import, &QPushButton::clicked, this, &ArchiveWindow::ImportFolder);
  connect(settings, &QPushButton::clicked, this, &ArchiveWindow::ChooseArchive);
  connect(labels, &QPushButton::clicked, this, &ArchiveWindow::Labels);

  reader_ = new QThread(this);
  reader_->setObjectName(QStringLiteral("archive-reader"));
  readerContext_ = new ArchiveReader;
  readerContext_->moveToThread(reader_);
  connect(reader_, &QThread::finished, readerContext_, &QObject::deleteLater);
  reader_->start();
  checker_ = new QThread(this);
  checker_->setObjectName(QStringLiteral("archive-chain-check"));
  checkerContext_ = new QObject;
  checkerContext_->moveToThread(checker_);
  connect(checker_, &QThread::finished, checkerContext_, &QObject::deleteLater);
  checker_->start();
}

void ArchiveWindow::CheckChain() {
  if (chainCancel_) *chainCancel_ = true;  // a check of another archive, or of an older state
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  chainCancel_ = cancel;
  const int mine = ++chainSequence_;
  chainChecking_ = true;
  chain_->setStyleSheet(QString());
  chain_->setToolTip(QString());
  chain_->setText(QStringLiteral("Prüfkette: wird geprüft ..."));
  const QString location = service_.Location();
  // What the check found, shown on the window's thread unless a newer check began.
  auto show = [this, mine](bool finished, const QString& text, bool broken, const QString& tip) {
    QMetaObject::invokeMethod(this, [=] {
      if (mine != chainSequence_) return;
      chainChecking_ = !finished;
      chain_->setStyleSheet(broken ? QStringLiteral("color: rgb(190, 0, 0); font-weight: bold;") : QString());
      chain_->setText(text);
      chain_->setToolTip(tip);
    }, Qt::QueuedConnection);
  };
  QMetaObject::invokeMethod(checkerContext_, [location, cancel, show] {
    if (*cancel) return;
    Archive archive;
    // Reading never makes an archive; one that cannot be read says so in the list's line.
    if (!archive.Open(location, Archive::OpenMode::ExistingOnly)) {
      show(true, QStringLiteral("Prüfkette: nicht geprüft (das Archiv ist nicht lesbar)."), false, archive.Error());
      return;
    }
    qint64 shown = 0;
    const Archive::ChainCheck check = archive.CheckChain([&](qint64 done, qint64 total) {
      if (total >= 20000 && done - shown >= total / 50) {
        shown = done;
        show(false, QStringLiteral("Prüfkette: wird geprüft (%1 %) ...").arg(done * 100 / std::max<qint64>(total, 1)), false,
             QString());
      }
      return !*cancel;
    });
    if (check.canceled) return;
    if (archive.Failed()) {
      show(true, QStringLiteral("Prüfkette: nicht geprüft (das Archiv ist nicht lesbar)."), false, archive.Error());
    } else if (check.holds) {
      show(true,
           QStringLiteral("Prüfkette intakt: %1, jede unverändert so gespeichert.")
               .arg(check.tests == 1 ? QStringLiteral("1 Prüfung") : QStringLiteral("%1 Prüfungen").arg(check.tests)),
           false,
           QStringLiteral("Jede gespeicherte Prüfung stimmt mit ihrem Prüfnachweis überein. Letzter Prüfnachweis: %1")
               .arg(check.head));
    } else {
      show(true,
           QStringLiteral("Prüfkette GEBROCHEN: %1 Das Archiv wurde außerhalb von Kelvara verändert. Sagen Sie es dem, "
                          "der das Archiv betreut; die letzte Sicherung lässt sich mit „kelvara-cli archive restore“ "
                          "zurückspielen.")
               .arg(check.first),
           true,
           QStringLiteral("%1 Stellen der Kette stimmen nicht. Alle nennt „kelvara-cli archive verify“.").arg(check.broken));
    }
  }, Qt::QueuedConnection);
}

void ArchiveWindow::SetupWindow() {
  ScreenFit::Fit(this, QSize(1100, 640));
  ShowDue(days_->value());
  CheckChain();
}

Archive* ArchiveWindow::Open() {
  Archive* archive = service_.Get();
  if (!archive) Say(service_.Error(), true);
  return archive;
}

void ArchiveWindow::Say(const QString& text, bool failure) {
  status_->setStyleSheet(failure ? QStringLiteral("color: rgb(190, 0, 0);") : QString());
  status_->setWordWrap(failure);
  status_->setText(text);
}

void ArchiveWindow::Fill(const std::vector<ArchiveData::Appliance>& appliances, const QString& what) {
  shown_ = appliances;
  appliances_->setSortingEnabled(false);
  appliances_->setRowCount(int(appliances.size()));
  const QDate today = QDate::currentDate();
  for (int row = 0; row < int(appliances.size()); ++row) {
    const QStringList cells = ApplianceCells(appliances[size_t(row)]);
    const bool overdue = appliances[size_t(row)].NextDue.isValid() && appliances[size_t(row)].NextDue < today;
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (overdue) item->setForeground(kOverdue);
      appliances_->setItem(row, c, item);
    }
  }
  appliances_->resizeColumnsToContents();
  history_->setRowCount(0);
  tests_.clear();
  Say(QStringLiteral("%1: %2 Geräte.").arg(what).arg(appliances.size()));
}

void ArchiveWindow::ShowSearch(const QString& text) {
  const QString wanted = text.trimmed();
  List([wanted](Archive& archive, Answer* answer) { answer->appliances = archive.Search(wanted); },
       QStringLiteral("Gefunden"));
}

void ArchiveWindow::ShowDue(int days) {
  List([days](Archive& archive, Answer* answer) { answer->appliances = archive.DueList(days); },
       QStringLiteral("Fällig in %1 Tagen oder überfällig (rot)").arg(days));
}

void ArchiveWindow::ShowCustomer(const QString& customer) {
  List([customer](Archive& archive, Answer* answer) { answer->appliances = archive.Appliances(customer); }, customer);
}

void ArchiveWindow::ShowHistory(int row) {
  history_->setRowCount(0);
  tests_.clear();
  if (row < 0 || row >= int(shown_.size())) {
    ++historySequence_;  // an answer still on its way is for another row
    if (historyPending_) Say(historyBefore_);
    historyPending_ = false;
    return;
  }
  const qint64 id = shown_[size_t(row)].Id;
  // What the line said before: a row chosen while another row's history is
  // still read (arrow keys down the list) keeps it, so the line does not
  // stay at "Lade ..." once the last history is there.
  if (!historyPending_) historyBefore_ = status_->text();
  historyPending_ = true;
  Say(QStringLiteral("Lade ..."));
  Read(&historySequence_, [id](Archive& archive, Answer* answer) { answer->tests = archive.History(id); },
       [this](const Answer& answer) {
         historyPending_ = false;
         if (answer.failed) {
           Say(answer.error, true);
           return;
         }
         Say(historyBefore_);
         tests_ = answer.tests;
         FillHistory();
       });
}

void ArchiveWindow::FillHistory() {
  history_->setRowCount(int(tests_.size()));
  for (int t = 0; t < int(tests_.size()); ++t) {
    const ArchiveData::Test& test = tests_[size_t(t)];
    QStringList cells{DateText(test.Date), test.Passed ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden")};
    for (int r = 0; r < 4; ++r) cells << (test.Rows[size_t(r)].Active ? test.Rows[size_t(r)].Measured.trimmed() : QString());
    QString corrects;
    for (const ArchiveData::Test& earlier : tests_)
      if (earlier.Id == test.Corrects) corrects = QStringLiteral("korrigiert %1").arg(DateText(earlier.Date));
    cells << test.Tester << test.Instrument << corrects << test.Remarks;
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c == 1) item->setForeground(test.Passed ? QColor(0, 110, 0) : kOverdue);
      history_->setItem(t, c, item);
    }
  }
  history_->resizeColumnsToContents();
}

void ArchiveWindow::OpenInForm(int row) {
  if (!form_ || row < 0 || row >= int(tests_.size())) return;
  ReportRecord report;
  if (Report::ReadBytes(tests_[size_t(row)].Record, &report).status != Report::ReadResult::Ok) return;
  form_->ShowStored(report, tests_[size_t(row)].ChainHash);
  emit FormWanted();
  Say(QStringLiteral("Die gespeicherte Prüfung vom %1 steht im Formular (nur zum Lesen).").arg(DateText(tests_[size_t(row)].Date)));
}

void ArchiveWindow::ExportPdf(int row) {
  if (row < 0 || row >= int(tests_.size())) return;
  ReportRecord report;
  if (Report::ReadBytes(tests_[size_t(row)].Record, &report).status != Report::ReadResult::Ok) return;
  FileDialogRequest request;
  request.owner = this;
  request.save = true;
  request.title = QStringLiteral("Prüfung als PDF");
  request.filter = QStringLiteral("PDF-Dateien (*.pdf)|*.pdf");
  // The title as a name: without the characters a file name cannot hold, and short enough.
  QString stem = Batch::Title(report);
  stem.remove(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")));
  request.initialName =
      QDir(UserFolders::StartFolder()).filePath(RecordList::FitFileName(stem, QStringLiteral(".pdf")));
  request.overwritePrompt = true;
  QString path;
  if (!Seams::FileDialog(request, &path)) return;
  UserFolders::Remember(path);
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
  const Batch::Result result = Batch::WriteOnePdf({report}, path, nullptr, {tests_[size_t(row)].ChainHash});
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void ArchiveWindow::WriteCsv(const QString& title, const QString& name, const std::vector<QStringList>& rows) {
  FileDialogRequest request;
  request.owner = this;
  request.save = true;
  request.title = title;
  request.filter = QStringLiteral("CSV-Dateien (*.csv)|*.csv");
  request.initialName = QDir(UserFolders::StartFolder()).filePath(name);
  request.overwritePrompt = true;
  QString path;
  if (!Seams::FileDialog(request, &path)) return;
  UserFolders::Remember(path);
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".csv");
  QString error;
  if (!FileIO::SaveFileAtomically(path, RecordList::Csv(rows, true), &error))
    Seams::MessageBox(this, QStringLiteral("Die Liste konnte nicht gespeichert werden.\n\n%1\n\n%2").arg(path, error),
                      kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void ArchiveWindow::ExportCsv() {
  std::vector<QStringList> rows{ApplianceColumns()};
  for (const ArchiveData::Appliance& a : shown_) rows.push_back(ApplianceCells(a));
  WriteCsv(QStringLiteral("Liste als CSV exportieren"),
           QStringLiteral("Archiv %1.csv").arg(DateText(QDate::currentDate())), rows);
}

void ArchiveWindow::ExportHistoryCsv() {
  std::vector<QStringList> rows;
  QStringList header;
  for (int c = 0; c < history_->columnCount(); ++c) header << history_->horizontalHeaderItem(c)->text();
  rows.push_back(header);
  for (int r = 0; r < history_->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < history_->columnCount(); ++c) cells << (history_->item(r, c) ? history_->item(r, c)->text() : QString());
    rows.push_back(cells);
  }
  const int row = appliances_->currentRow();
  const QString inventar = row >= 0 && row < int(shown_.size()) ? shown_[size_t(row)].InventarNr : QString();
  WriteCsv(QStringLiteral("Verlauf als CSV exportieren"), QStringLiteral("Verlauf %1.csv").arg(inventar), rows);
}

void ArchiveWindow::ImportFolder() {
  FileDialogRequest request;
  request.owner = this;
  request.folder = true;
  request.title = QStringLiteral("Datensätze importieren");
  request.initialName = UserFolders::StartFolder();
  QString folder;
  if (!Seams::FileDialog(request, &folder)) return;
  UserFolders::Remember(folder);
  // The files are read and stored beside the window; it shows how far the
  // import is, and a cancel stops it after the file it is at.
  QProgressDialog progress(QStringLiteral("Datensätze importieren ..."), QStringLiteral("Abbrechen"), 0, 0, this);
  progress.setWindowTitle(QStringLiteral("Datensätze importieren"));
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setAutoReset(false);
  progress.setAutoClose(false);
  progress.setMinimumDuration(300);
  progress.setValue(0);
  const ArchiveService::Cancel cancel = ArchiveService::NewCancel();
  connect(&progress, &QProgressDialog::canceled, &progress, [cancel] { *cancel = true; });
  QEventLoop waiting;
  ArchiveService::ImportResult result;
  service_.ImportAsync(
      folder, cancel, &progress,
      [&progress](int done, int total) {
        progress.setMaximum(total);
        progress.setValue(done);
      },
      [&](const ArchiveService::ImportResult& r) {
        result = r;
        waiting.quit();
      });
  waiting.exec();
  progress.hide();
  QString text = QStringLiteral("%1 Prüfungen übernommen, %2 waren schon im Archiv.").arg(result.stored).arg(result.duplicates);
  const int rest = result.total - result.stored - result.duplicates - int(result.unreadable.size());
  if (!result.stopped.isEmpty())
    text += QStringLiteral("\n\nDer Import wurde beendet: %1\n%2 Dateien wurden nicht übernommen; sie sind unverändert "
                           "im Ordner. Bitte importieren Sie den Ordner erneut, wenn das Archiv wieder erreichbar ist.")
                .arg(result.stopped)
                .arg(rest);
  else if (result.canceled)
    text += QStringLiteral("\n\nAbgebrochen: %1 Dateien wurden nicht übernommen; sie sind unverändert im Ordner. "
                           "Ein erneuter Import übernimmt sie (was schon im Archiv ist, wird erkannt).")
                .arg(rest);
  if (!result.unreadable.isEmpty())
    text += QStringLiteral("\n\nNicht übernommen (%1):\n%2")
                .arg(result.unreadable.size())
                .arg(result.unreadable.mid(0, 15).join(QLatin1Char('\n')) +
                     (result.unreadable.size() > 15 ? QStringLiteral("\n...") : QString()));
  const bool clean = result.unreadable.isEmpty() && result.stopped.isEmpty() && !result.canceled;
  Seams::MessageBox(this, text, QStringLiteral("Datensätze importieren"),
                    Win::MB_OK | (clean ? Win::MB_ICONASTERISK : Win::MB_ICONEXCLAMATION));
  ShowDue(days_->value());
  CheckChain();
}

void ArchiveWindow::ChooseArchive() {
  GenericDialogRequest request{this, QStringLiteral("archive"), service_.Location()};
  QString location = service_.Location();
  const int answer = Seams::GenericDialog(request, [&] {
    bool ok = false;
    const QString chosen = QInputDialog::getText(
        this, QStringLiteral("Archiv wählen"),
        QStringLiteral("Eine SQLite-Datei (Pfad) oder ein PostgreSQL-Server für das Team\n"
                       "(postgresql://benutzer@rechner:5432/datenbank; das Kennwort kommt aus ~/.pgpass;\n"
                       "verschlüsselt mit ?sslmode=verify-full&sslrootcert=DATEI):"),
        QLineEdit::Normal, location, &ok);
    if (ok) location = chosen.trimmed();
    return ok ? int(Win::IDOK) : int(Win::IDCANCEL);
  });
  if (answer != Win::IDOK || location.isEmpty()) return;
  // Where the archive is, never a password.
  QString stored = location;
  if (stored.startsWith(QLatin1String("postgres"))) {
    QUrl url(stored);
    url.setPassword(QString());
    stored = url.toString();
  }
  UserSettings::SetValue(QStringLiteral("Archiv"), QStringLiteral("Ort"), stored);
  service_.SetLocation(location);
  ShowDue(days_->value());
  CheckChain();
}

void ArchiveWindow::Labels() {
  // The chosen appliance, else every one the list shows.
  std::vector<ArchiveData::Appliance> appliances;
  const int row = appliances_->currentRow();
  if (row >= 0 && row < int(shown_.size()) && !appliances_->selectedItems().isEmpty())
    appliances.push_back(shown_[size_t(row)]);
  else
    appliances = shown_;
  if (appliances.empty()) return;
  Say(QStringLiteral("Lade ..."));
  Read(&labelSequence_,
       [appliances](Archive& archive, Answer* answer) {
         // The latest test of each: its data record file says what the label says.
         for (const ArchiveData::Appliance& a : appliances) {
           const std::vector<ArchiveData::Test> tests = archive.History(a.Id);
           if (archive.Failed()) return;
           const ArchiveData::Test* latest = nullptr;
           for (const ArchiveData::Test& t : tests)
             if (!latest || t.Date >= latest->Date) latest = &t;
           if (latest) answer->tests.push_back(*latest);
         }
       },
       [this](const Answer& answer) {
         if (answer.failed) {
           Say(answer.error, true);
           return;
         }
         std::vector<ReportRecord> reports;
         int unreadable = 0;
         for (const ArchiveData::Test& test : answer.tests) {
           ReportRecord report;
           if (Report::ReadBytes(test.Record, &report).status == Report::ReadResult::Ok)
             reports.push_back(report);
           else
             ++unreadable;
         }
         QStringList notes{QStringLiteral("Aus der letzten gespeicherten Prüfung jedes Geräts.")};
         int overdue = 0;
         for (const ReportRecord& r : reports) {
           const QDate next = DueDates::NextTest(r);
           overdue += next.isValid() && next < QDate::currentDate();
         }
         if (overdue)
           notes << QStringLiteral("%1 Geräte sind überfällig: ihr Etikett nennt den verstrichenen Termin.").arg(overdue);
         if (unreadable) notes << QStringLiteral("%1 gespeicherte Prüfungen sind nicht lesbar und fehlen.").arg(unreadable);
         Say(QStringLiteral("Etiketten für %1 Geräte.").arg(reports.size()));
         if (!reports.empty()) LabelDialog::Open(this, reports, notes.join(QLatin1Char('\n')));
       });
}
