#pragma once
// "Archiv": the customers and their appliances, each appliance's history, the
// appliances due for their next test, search, stored tests opened in the form
// or written as PDF, CSV export, importing folders of data record files, the
// master data of customers and appliances (edited, merged, retired, with
// their change log) and "Besuch vorbereiten", which fills the record list
// with a customer's appliances before the tester is read.
// A window of its own beside the main frame, like the record list. Its lists
// are models over what the archive's thread read, so a list of thousands
// stands at once and the window holds no item per cell.
#include <QAbstractTableModel>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/archive.h"
#include "core/visit.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;
class QThread;
class ArchiveReader;
class ArchiveService;
class TFormular;

// The appliances a list shows.
class ApplianceListModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  static QStringList Columns();
  static QStringList Cells(const ArchiveData::Appliance& a);
  void Reset(std::vector<ArchiveData::Appliance> appliances);
  void Append(std::vector<ArchiveData::Appliance> appliances);
  void Replace(const ArchiveData::Appliance& appliance);
  const std::vector<ArchiveData::Appliance>& Appliances() const { return list_; }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<ArchiveData::Appliance> list_;
};

// The tests of an appliance.
class HistoryModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  static QStringList Columns();
  QStringList Cells(int row) const;
  void Reset(std::vector<ArchiveData::Test> tests);
  const std::vector<ArchiveData::Test>& Tests() const { return tests_; }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<ArchiveData::Test> tests_;
};

// The change log of master data.
class ChangeLogModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;
  void Reset(std::vector<ArchiveData::Change> changes);
  const std::vector<ArchiveData::Change>& Changes() const { return changes_; }
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<ArchiveData::Change> changes_;
};

class ArchiveWindow : public QWidget {
  Q_OBJECT
 public:
  enum : int {
    SearchEditId = 22001, SearchId = 22002, DueDaysId = 22003, DueId = 22004, AppliancesId = 22005,
    HistoryId = 22006, OpenInFormId = 22007, PdfId = 22008, CsvId = 22009, ImportId = 22010, StatusId = 22011,
    CustomerId = 22012, SettingsId = 22013, HistoryCsvId = 22014, LabelsId = 22015, MasterTabsId = 22016,
    VisitId = 22017,
    // The appliance's master data.
    InventarId = 22020, BezeichnungId = 22021, HerstellerId = 22022, SeriennummerId = 22023, StandortId = 22024,
    KlasseId = 22025, IntervallId = 22026, StateId = 22027, SaveApplianceId = 22028, NewApplianceId = 22029,
    RetireId = 22030, MergeApplianceId = 22031, DatesId = 22032,
    // The customer's.
    NameId = 22040, AnschriftId = 22041, PlzStadtId = 22042, TelefonId = 22043, FaxId = 22044,
    KontaktId = 22045, EMailId = 22046, SitesId = 22047, AddSiteId = 22048, RemoveSiteId = 22049,
    SaveCustomerId = 22050, NewCustomerId = 22051, MergeCustomerId = 22052,
    ChangesId = 22060
  };
  // The line that says whether the archive's proof chain holds.
  enum : int { ChainId = 22018 };
  // Reads and imports through the program's archive service `archive`.
  ArchiveWindow(TFormular* form, ArchiveService& archive, QWidget* parent = nullptr);
  ~ArchiveWindow() override;
  void SetupWindow();

  // The lists are read off the window's thread, with an archive connection of
  // their own: the window says "Lade ..." meanwhile, and shows the answer (or
  // why there is none) when it comes; a long list shows its first rows at
  // once and the rest as they come. True while an answer is awaited.
  bool Busy() const;

  // The appliance lists: found by a search, due within days, of a customer.
  void ShowSearch(const QString& text);
  void ShowDue(int days);
  void ShowCustomer(const QString& customer);
  // The history of the appliance in row `row` of the appliance list (and its
  // master data in the panel beside).
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
  // A check running, or one to come because tests were added meanwhile.
  bool ChainChecking() const;
  QLabel* ChainLabel() const { return chain_; }

  // ---- master data (each write on the archive's thread; a failure is told
  // with its reason and the panel keeps what was typed)
  // Saves the appliance or the customer as the panel shows it.
  void SaveAppliance();
  void SaveCustomer();
  // A new appliance of the customer shown, a new customer.
  void NewAppliance();
  void NewCustomer();
  // Retires the appliance shown (or takes it back into service).
  void RetireAppliance(const QDate& on, const QString& why);
  void ReturnToService();
  // The appliance (customer) `from` becomes part of the one shown.
  void MergeAppliance(qint64 from);
  void MergeCustomer(qint64 from);
  // "Besuch vorbereiten": asks for the customer, sites and which appliances,
  // then PlanVisit.
  void PrepareVisit();
  // Reads the visit's plan and hands it on (VisitPlanned).
  void PlanVisit(qint64 customerId, const QStringList& sites, const QDate& dueBy);

  QTableView* AppliancesTable() const { return appliances_; }
  QTableView* HistoryTable() const { return history_; }
  QTableView* ChangesTable() const { return changes_; }
  ApplianceListModel* ApplianceModel() const { return applianceModel_; }
  HistoryModel* History() const { return historyModel_; }
  ChangeLogModel* ChangeLog() const { return changeModel_; }
  QLabel* StatusLabel() const { return status_; }
  const std::vector<ArchiveData::Appliance>& Shown() const { return applianceModel_->Appliances(); }
  // The appliance and the customer the panel shows (Id 0: none, or new).
  const ArchiveData::Appliance& CurrentAppliance() const { return appliance_; }
  const ArchiveData::Customer& CurrentCustomer() const { return customer_; }
  const std::vector<ArchiveData::Customer>& Customers() const { return customerList_; }

 signals:
  // A stored test was opened in the form.
  void FormWanted();
  // "Besuch vorbereiten" read its plan.
  void VisitPlanned(const Visit::Plan& plan);

 private:
  void List(std::function<std::vector<ArchiveData::Appliance>(Archive&)> read, const QString& what);
  void ReadCustomers();
  void ShowCustomerData(qint64 id);
  int ChooseOne(const QString& request, const QString& about, const QString& title, const QString& question,
                const QStringList& choices);
  void ShowAppliancePanel(const ArchiveData::Appliance& a);
  void ShowCustomerPanel(const ArchiveData::Customer& c, const QStringList& sites);
  ArchiveData::Appliance AppliancePanel() const;
  ArchiveData::Customer CustomerPanel() const;
  void ReadChanges();
  void UpdatePanelButtons();
  void Failed(const QString& what, const QString& error);
  void Say(const QString& text, bool failure = false);
  // Asks for a CSV file and writes the table into it.
  void WriteCsv(const QString& title, const QString& name, const std::vector<QStringList>& rows);

  TFormular* form_;
  ArchiveService& service_;
  ArchiveReader* reader_ = nullptr;
  QLineEdit* search_ = nullptr;
  QSpinBox* days_ = nullptr;
  QComboBox* customers_ = nullptr;
  QTableView* appliances_ = nullptr;
  QTableView* history_ = nullptr;
  QTableView* changes_ = nullptr;
  ApplianceListModel* applianceModel_ = nullptr;
  HistoryModel* historyModel_ = nullptr;
  ChangeLogModel* changeModel_ = nullptr;
  QLabel* status_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  // The appliance panel.
  QLineEdit *inventar_ = nullptr, *bezeichnung_ = nullptr, *hersteller_ = nullptr, *seriennummer_ = nullptr;
  QComboBox *standort_ = nullptr, *klasse_ = nullptr;
  QSpinBox* intervall_ = nullptr;
  QLabel *state_ = nullptr, *dates_ = nullptr;
  QPushButton *saveAppliance_ = nullptr, *newAppliance_ = nullptr, *retire_ = nullptr, *mergeAppliance_ = nullptr;
  // The customer panel.
  QLineEdit *name_ = nullptr, *anschrift_ = nullptr, *plzStadt_ = nullptr, *telefon_ = nullptr, *fax_ = nullptr,
            *kontakt_ = nullptr, *email_ = nullptr;
  QListWidget* sites_ = nullptr;
  QPushButton *saveCustomer_ = nullptr, *newCustomer_ = nullptr, *mergeCustomer_ = nullptr;
  ArchiveData::Appliance appliance_;
  ArchiveData::Customer customer_;
  QStringList customerSites_;
  std::vector<ArchiveData::Customer> customerList_;
  bool filling_ = false;  // the panel is being filled, not typed in
  bool applianceDirty_ = false, customerDirty_ = false;
  std::atomic<int> listSequence_{0};  // read by the archive's thread too: a newer list stops an older one
  int historySequence_ = 0, customerSequence_ = 0, changeSequence_ = 0, labelSequence_ = 0;
  bool historyPending_ = false;  // a history is being read
  QString historyBefore_;        // what the status line said before it was asked for
  int listsLoading_ = 0;  // lists still coming in pages
  QLabel* chain_ = nullptr;
  QThread* checker_ = nullptr;          // the thread that checks the chain
  QObject* checkerContext_ = nullptr;   // lives in checker_
  std::shared_ptr<std::atomic<bool>> chainCancel_;
  int chainSequence_ = 0;
  QTimer* chainAgain_ = nullptr;  // checks the chain again once tests stop coming in
  bool chainChecking_ = false;
};
