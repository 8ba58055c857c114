#pragma once
// "Archiv": the customers and their appliances, each appliance's history, the
// appliances due for their next test, search, stored tests opened in the form
// or written as PDF, CSV export, and importing folders of data record files.
// A window of its own beside the main frame, like the record list.
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/archive.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;
class QThread;
class ArchiveService;
class TFormular;

class ArchiveWindow : public QWidget {
  Q_OBJECT
 public:
  enum : int {
    SearchEditId = 22001, SearchId = 22002, DueDaysId = 22003, DueId = 22004, AppliancesId = 22005,
    HistoryId = 22006, OpenInFormId = 22007, PdfId = 22008, CsvId = 22009, ImportId = 22010, StatusId = 22011,
    CustomerId = 22012, SettingsId = 22013, HistoryCsvId = 22014, LabelsId = 22015
  };
  // The line that says whether the archive's proof chain holds.
  enum : int { ChainId = 22030 };
  // Reads and imports through the program's archive service `archive`.
  ArchiveWindow(TFormular* form, ArchiveService& archive, QWidget* parent = nullptr);
  ~ArchiveWindow() override;
  void SetupWindow();

  // The lists are read off the window's thread, with an archive connection of
  // their own: the window says "Lade ..." meanwhile, and shows the answer (or
  // why there is none) when it comes. True while an answer is awaited.
  bool Busy() const { return waiting_ > 0; }

  // The appliance lists: found by a search, due within days, of a customer.
  void ShowSearch(const QString& text);
  void ShowDue(int days);
  void ShowCustomer(const QString& customer);
  // The history of the appliance in row `row` of the appliance list.
  void ShowHistory(int row);
  // The stored test in row `row` of the history: into the form (read-only), as PDF.
  void OpenInForm(int row);
  void ExportPdf(int row);
  // The appliance list and the history shown, as CSV (as the record list writes it).
  void ExportCsv();
  void ExportHistoryCsv();
  // Reads a folder of data record files into the archive.
  void ImportFolder();
  // "Etiketten...": the test labels of the chosen appliance, or of every one
  // the list shows (the due list), each from its latest stored test; the
  // dialog opens once they are read.
  void Labels();
  // Where the archive is: a SQLite file or a PostgreSQL server.
  void ChooseArchive();
  // Checks the archive's proof chain on a thread of its own, with a
  // connection of its own (a large archive takes a while; the lists stay
  // usable): the line under the lists says whether it holds, and in red which
  // test does not match when it is broken. Run when the window opens and
  // after the archive changed here; a check under way is given up.
  void CheckChain();
  bool ChainChecking() const { return chainChecking_; }
  QLabel* ChainLabel() const { return chain_; }

  QTableWidget* AppliancesTable() const { return appliances_; }
  QLabel* StatusLabel() const { return status_; }
  QTableWidget* HistoryTable() const { return history_; }
  const std::vector<ArchiveData::Appliance>& Shown() const { return shown_; }

 signals:
  // A stored test was opened in the form.
  void FormWanted();

 private:
  // What a read of the archive gives back to the window.
  struct Answer {
    std::vector<ArchiveData::Appliance> appliances;
    std::vector<ArchiveData::Test> tests;
    QStringList customers;
    bool failed = false;
    QString error;
  };
  using Job = std::function<void(Archive&, Answer*)>;
  // Runs `job` on the reading thread; `done` gets its answer on the window's
  // thread unless a newer request of the same kind came in between.
  void Read(int* sequence, Job job, std::function<void(const Answer&)> done);
  void List(Job job, const QString& what);
  Archive* Open();
  void Fill(const std::vector<ArchiveData::Appliance>& appliances, const QString& what);
  void FillHistory();
  void Say(const QString& text, bool failure = false);
  // Asks for a CSV file and writes the table into it.
  void WriteCsv(const QString& title, const QString& name, const std::vector<QStringList>& rows);

  TFormular* form_;
  ArchiveService& service_;
  QLineEdit* search_ = nullptr;
  QSpinBox* days_ = nullptr;
  QComboBox* customers_ = nullptr;
  QTableWidget* appliances_ = nullptr;
  QTableWidget* history_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* chain_ = nullptr;
  std::vector<ArchiveData::Appliance> shown_;
  std::vector<ArchiveData::Test> tests_;
  QThread* reader_ = nullptr;   // the thread that reads the archive
  QObject* readerContext_ = nullptr;  // lives in reader_; owns its Archive
  int listSequence_ = 0, historySequence_ = 0, labelSequence_ = 0, waiting_ = 0;
  bool historyPending_ = false;  // a history is being read
  QString historyBefore_;        // what the status line said before it was asked for
  QThread* checker_ = nullptr;          // the thread that checks the chain
  QObject* checkerContext_ = nullptr;   // lives in checker_
  std::shared_ptr<std::atomic<bool>> chainCancel_;
  int chainSequence_ = 0;
  bool chainChecking_ = false;
};
