#include "records/archivewindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <QUrl>
#include <QVBoxLayout>
#include <atomic>
#include <memory>

#include "core/archiveservice.h"
#include "core/clock.h"
#include "core/fileio.h"
#include "core/recordlist.h"
#include "core/duedates.h"
#include "core/limitprofiles.h"
#include "platform/flowlayout.h"
#include "platform/screenfit.h"
#include "core/userfolders.h"
#include "core/values.h"
#include "platform/seams.h"
#include "records/archivereader.h"
#include "render/batch.h"
#include "records/labeldialog.h"
#include "report/TFormular.h"

namespace {

const QString kCaption = QStringLiteral("Archiv");
const QColor kOverdue(190, 0, 0);
const QColor kRetired(120, 120, 120);
// A long list comes in pages: the first at once, then the rest.
constexpr int kFirstPage = 200;
constexpr int kPage = 5000;

QString DateText(const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString(); }

QTableView* MakeTable(QWidget* parent, int id, QAbstractItemModel* model) {
  auto* table = new QTableView(parent);
  table->setObjectName(QString::number(id));
  table->setModel(model);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setAlternatingRowColors(true);
  table->setWordWrap(false);
  table->verticalHeader()->setVisible(false);
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table->horizontalHeader()->setStretchLastSection(true);
  table->horizontalHeader()->setHighlightSections(false);
  return table;
}

// Column widths from what a column typically holds, never from its rows: a
// list of thousands stands at once.
void SetWidths(QTableView* table, const QStringList& samples) {
  const QFontMetrics fm(table->font());
  const QFontMetrics header(table->horizontalHeader()->font());
  for (int c = 0; c < samples.size() && c < table->model()->columnCount(); ++c) {
    const QString title = table->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    table->setColumnWidth(c, std::max(fm.horizontalAdvance(samples[c]), header.horizontalAdvance(title)) + 18);
  }
}

QLineEdit* Edit(QWidget* parent, int id, int limit) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::number(id));
  edit->setMaxLength(limit);
  return edit;
}

// A number the archive keeps as it is read ("12,5"); empty when not known.
QString Decimal(double value) {
  return std::isnan(value) ? QString() : QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(','));
}

}  // namespace

// ---- the models

QStringList ApplianceListModel::Columns() {
  return {QStringLiteral("Auftraggeber"), QStringLiteral("Inventar-Nr."), QStringLiteral("Gerät/Bezeichnung"),
          QStringLiteral("Hersteller/Typ"), QStringLiteral("Standort"), QStringLiteral("Schutzklasse"),
          QStringLiteral("Intervall (Monate)"), QStringLiteral("Letzte Prüfung"), QStringLiteral("Nächste Prüfung"),
          QStringLiteral("Leitung [m]"), QStringLiteral("Querschnitt [mm²]"), QStringLiteral("Geräteart")};
}

QStringList ApplianceListModel::Cells(const ArchiveData::Appliance& a) {
  return {a.Customer,
          a.InventarNr,
          a.Bezeichnung,
          a.HerstellerTyp,
          a.Standort,
          Values::ClassText(a.ProtectionClass),
          QString::number(a.IntervalMonths),
          DateText(a.LastTest),
          a.Retired() ? QStringLiteral("ausgemustert") : DateText(a.NextDue),
          Decimal(a.CordLengthM),
          Decimal(a.CrossSectionMm2),
          Profiles::KindText(Profiles::Kind(a.Kind))};
}

void ApplianceListModel::Reset(std::vector<ArchiveData::Appliance> appliances) {
  beginResetModel();
  list_ = std::move(appliances);
  endResetModel();
}

void ApplianceListModel::Append(std::vector<ArchiveData::Appliance> appliances) {
  if (appliances.empty()) return;
  beginInsertRows(QModelIndex(), int(list_.size()), int(list_.size() + appliances.size()) - 1);
  list_.insert(list_.end(), std::make_move_iterator(appliances.begin()), std::make_move_iterator(appliances.end()));
  endInsertRows();
}

void ApplianceListModel::Replace(const ArchiveData::Appliance& appliance) {
  for (size_t row = 0; row < list_.size(); ++row) {
    if (list_[row].Id != appliance.Id) continue;
    list_[row] = appliance;
    emit dataChanged(index(int(row), 0), index(int(row), columnCount() - 1));
  }
}

int ApplianceListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(list_.size()); }
int ApplianceListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(Columns().size()); }

QVariant ApplianceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(list_.size())) return QVariant();
  const ArchiveData::Appliance& a = list_[size_t(index.row())];
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case 0: return a.Customer;
      case 1: return a.InventarNr;
      case 2: return a.Bezeichnung;
      case 3: return a.HerstellerTyp;
      case 4: return a.Standort;
      case 5: return Values::ClassText(a.ProtectionClass);
      case 6: return a.IntervalMonths;
      case 7: return DateText(a.LastTest);
      case 8: return a.Retired() ? QStringLiteral("ausgemustert") : DateText(a.NextDue);
      case 9: return Decimal(a.CordLengthM);
      case 10: return Decimal(a.CrossSectionMm2);
      case 11: return Profiles::KindText(Profiles::Kind(a.Kind));
      default: return QVariant();
    }
  }
  if (role == Qt::ForegroundRole) {
    if (a.Retired()) return kRetired;
    if (a.NextDue.isValid() && a.NextDue < Clock::Today()) return kOverdue;
  }
  if (role == Qt::ToolTipRole && a.Retired())
    return QStringLiteral("Ausgemustert am %1%2").arg(DateText(a.RetiredOn),
                                                      a.RetiredReason.isEmpty() ? QString() : QStringLiteral(": ") + a.RetiredReason);
  return QVariant();
}

QVariant ApplianceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Columns().size())
    return Columns()[section];
  return QAbstractTableModel::headerData(section, orientation, role);
}

QStringList HistoryModel::Columns() {
  return {QStringLiteral("Prüfung am"), QStringLiteral("Ergebnis"), QStringLiteral("R-PE"), QStringLiteral("R-ISO"),
          QStringLiteral("I-ABL"), QStringLiteral("I-EA"), QStringLiteral("Prüfer"), QStringLiteral("Messgerät"),
          QStringLiteral("Korrigiert"), QStringLiteral("Bemerkungen")};
}

QStringList HistoryModel::Cells(int row) const {
  const ArchiveData::Test& test = tests_[size_t(row)];
  QStringList cells{DateText(test.Date), test.Passed ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden")};
  for (int r = 0; r < 4; ++r) cells << (test.Rows[size_t(r)].Active ? test.Rows[size_t(r)].Measured.trimmed() : QString());
  QString corrects;
  for (const ArchiveData::Test& earlier : tests_)
    if (test.Corrects != 0 && earlier.Id == test.Corrects) corrects = QStringLiteral("korrigiert %1").arg(DateText(earlier.Date));
  cells << test.Tester << test.Instrument << corrects << test.Remarks;
  return cells;
}

void HistoryModel::Reset(std::vector<ArchiveData::Test> tests) {
  beginResetModel();
  tests_ = std::move(tests);
  endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(tests_.size()); }
int HistoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(Columns().size()); }

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(tests_.size())) return QVariant();
  if (role == Qt::DisplayRole) return Cells(index.row()).value(index.column());
  if (role == Qt::ForegroundRole && index.column() == 1) return tests_[size_t(index.row())].Passed ? QColor(0, 110, 0) : kOverdue;
  return QVariant();
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return Columns().value(section);
  return QAbstractTableModel::headerData(section, orientation, role);
}

void ChangeLogModel::Reset(std::vector<ArchiveData::Change> changes) {
  beginResetModel();
  changes_ = std::move(changes);
  endResetModel();
}

int ChangeLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(changes_.size()); }
int ChangeLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 6; }

QVariant ChangeLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(changes_.size())) return QVariant();
  const ArchiveData::Change& c = changes_[size_t(index.row())];
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case 0: return c.At.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
      case 1: return c.Object;
      case 2: return c.Field;
      case 3: return c.Before;
      case 4: return c.After;
      case 5: return c.Reason;
      default: return QVariant();
    }
  }
  if (role == Qt::ToolTipRole && (index.column() == 3 || index.column() == 4)) return index.column() == 3 ? c.Before : c.After;
  return QVariant();
}

QVariant ChangeLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kColumns[] = {"Geändert am", "Was", "Feld", "vorher", "nachher", "Anlass"};
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 6)
    return QString::fromUtf8(kColumns[section]);
  return QAbstractTableModel::headerData(section, orientation, role);
}

// ---- the window

ArchiveWindow::ArchiveWindow(TFormular* form, ArchiveService& archive, QWidget* parent)
    : QWidget(parent, Qt::Window), form_(form), service_(archive) {
  setObjectName(QStringLiteral("20016"));
  setWindowTitle(kCaption);
  reader_ = new ArchiveReader(service_, this);
  auto button = [this](int id, const QString& text, QWidget* parent = nullptr) {
    auto* b = new QPushButton(text, parent ? parent : this);
    b->setObjectName(QString::number(id));
    return b;
  };
  search_ = new QLineEdit(this);
  search_->setObjectName(QString::number(SearchEditId));
  search_->setPlaceholderText(QStringLiteral("Inventar-Nr., Gerät, Standort, Auftraggeber"));
  search_->setToolTip(QStringLiteral("Findet eine Inventar-Nr. an ihrem Anfang, und ab drei Zeichen Bezeichnung, "
                                     "Hersteller/Typ, Seriennummer, Standort oder Auftraggeber irgendwo darin"));
  search_->setClearButtonEnabled(true);
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
  customers_->setMinimumContentsLength(14);
  customers_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  QPushButton* visit = button(VisitId, QStringLiteral("Besuch vorbereiten..."));
  visit->setToolTip(QStringLiteral("Die Liste „Prüfungen“ mit den Geräten eines Auftraggebers füllen, in der Reihenfolge "
                                   "des letzten Besuchs, bevor der Gerätetester gelesen wird"));

  applianceModel_ = new ApplianceListModel(this);
  historyModel_ = new HistoryModel(this);
  changeModel_ = new ChangeLogModel(this);
  appliances_ = MakeTable(this, AppliancesId, applianceModel_);
  history_ = MakeTable(this, HistoryId, historyModel_);
  changes_ = MakeTable(this, ChangesId, changeModel_);
  SetWidths(appliances_, {QStringLiteral("Elektro Mustermann GmbH"), QStringLiteral("INV-000000"),
                          QStringLiteral("Verlängerungsleitung"), QStringLiteral("Hersteller Typ 12"),
                          QStringLiteral("Werkstatt Halle"), QStringLiteral("III"), QStringLiteral("24"),
                          QStringLiteral("00.00.0000"), QStringLiteral("ausgemustert"), QStringLiteral("12,5"),
                          QStringLiteral("2,5"), QStringLiteral("Heizgerät")});
  SetWidths(history_, {QStringLiteral("00.00.0000"), QStringLiteral("nicht bestanden"), QStringLiteral("0.000"),
                       QStringLiteral("Overflow"), QStringLiteral("0.000"), QStringLiteral("0.000"),
                       QStringLiteral("Köln, 00.00.0000, Herr"), QStringLiteral("QK248 V1.22"),
                       QStringLiteral("korrigiert 00.00.0000")});
  SetWidths(changes_, {QStringLiteral("00.00.0000 00:00"), QStringLiteral("Gerät INV-00000"),
                       QStringLiteral("Gerät/Bezeichnung"), QStringLiteral("Bohrmaschine"), QStringLiteral("Bohrmaschine")});
  status_ = new QLabel(this);
  status_->setObjectName(QString::number(StatusId));
  chain_ = new QLabel(this);
  chain_->setObjectName(QString::number(ChainId));
  chain_->setWordWrap(true);

  // The master data beside the lists: the appliance, its customer, the changes.
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QString::number(MasterTabsId));
  auto* appliancePage = new QWidget;
  auto* applianceForm = new QFormLayout;
  inventar_ = Edit(appliancePage, InventarId, Layout::kFields[Layout::kFieldIdentnummer].limit);
  bezeichnung_ = Edit(appliancePage, BezeichnungId, Layout::kFields[Layout::kFieldGeraetArt].limit);
  hersteller_ = Edit(appliancePage, HerstellerId, Layout::kFields[Layout::kFieldHersteller].limit);
  seriennummer_ = Edit(appliancePage, SeriennummerId, Layout::kFields[Layout::kFieldSeriennummer].limit);
  standort_ = new QComboBox(appliancePage);
  standort_->setObjectName(QString::number(StandortId));
  standort_->setEditable(true);
  standort_->setInsertPolicy(QComboBox::NoInsert);
  standort_->lineEdit()->setMaxLength(Layout::kFields[Layout::kFieldStandort].limit);
  klasse_ = new QComboBox(appliancePage);
  klasse_->setObjectName(QString::number(KlasseId));
  klasse_->addItem(QString());
  klasse_->addItems(Values::ClassTexts());
  intervall_ = new QSpinBox(appliancePage);
  intervall_->setObjectName(QString::number(IntervallId));
  intervall_->setRange(1, 120);
  intervall_->setValue(12);
  intervall_->setSuffix(QStringLiteral(" Monate"));
  state_ = new QLabel(appliancePage);
  state_->setObjectName(QString::number(StateId));
  state_->setWordWrap(true);
  dates_ = new QLabel(appliancePage);
  dates_->setObjectName(QString::number(DatesId));
  dates_->setWordWrap(true);
  applianceForm->addRow(QStringLiteral("Inventar-Nr.:"), inventar_);
  applianceForm->addRow(QStringLiteral("Gerät/Bezeichnung:"), bezeichnung_);
  applianceForm->addRow(QStringLiteral("Hersteller/Typ:"), hersteller_);
  applianceForm->addRow(QStringLiteral("Seriennummer:"), seriennummer_);
  applianceForm->addRow(QStringLiteral("Standort:"), standort_);
  applianceForm->addRow(QStringLiteral("Schutzklasse:"), klasse_);
  applianceForm->addRow(QStringLiteral("Prüfintervall:"), intervall_);
  applianceForm->addRow(QStringLiteral("Zustand:"), state_);
  applianceForm->addRow(QString(), dates_);
  saveAppliance_ = button(SaveApplianceId, QStringLiteral("Speichern"), appliancePage);
  newAppliance_ = button(NewApplianceId, QStringLiteral("Neues Gerät"), appliancePage);
  retire_ = button(RetireId, QStringLiteral("Ausmustern..."), appliancePage);
  mergeAppliance_ = button(MergeApplianceId, QStringLiteral("Zusammenführen..."), appliancePage);
  mergeAppliance_->setToolTip(QStringLiteral("Ein anderes Gerät ist dasselbe wie dieses: seine Prüfungen gehören dann "
                                             "zum Verlauf dieses Geräts, seine Nummer findet dieses."));
  // The fields and the buttons beside them; below them where the page is narrow.
  auto block = [this](QLayout* inside, int widthInChars) {
    auto* box = new QWidget;
    box->setLayout(inside);
    inside->setContentsMargins(0, 0, 0, 0);
    if (widthInChars > 0) box->setFixedWidth(fontMetrics().averageCharWidth() * widthInChars);
    return box;
  };
  auto* applianceButtons = new QVBoxLayout;
  for (QPushButton* b : {saveAppliance_, newAppliance_, retire_, mergeAppliance_}) applianceButtons->addWidget(b);
  applianceButtons->addStretch();
  auto* applianceLayout = new FlowLayout(appliancePage);
  applianceLayout->addWidget(block(applianceForm, 72));
  applianceLayout->addWidget(block(applianceButtons, 0));

  auto* customerPage = new QWidget;
  auto* customerForm = new QFormLayout;
  name_ = Edit(customerPage, NameId, Layout::kFields[Layout::kFieldAuftraggeber].limit);
  anschrift_ = Edit(customerPage, AnschriftId, Layout::kFields[Layout::kFieldAGAnschrift].limit);
  plzStadt_ = Edit(customerPage, PlzStadtId, Layout::kFields[Layout::kFieldAGPlzStadt].limit);
  telefon_ = Edit(customerPage, TelefonId, Layout::kFields[Layout::kFieldAGTel].limit);
  fax_ = Edit(customerPage, FaxId, Layout::kFields[Layout::kFieldAGFax].limit);
  kontakt_ = Edit(customerPage, KontaktId, Layout::kFields[Layout::kFieldAGKontaktperson].limit);
  email_ = Edit(customerPage, EMailId, 100);
  sites_ = new QListWidget(customerPage);
  sites_->setObjectName(QString::number(SitesId));
  sites_->setFixedHeight(sites_->fontMetrics().height() * 6 + 8);
  customerForm->addRow(QStringLiteral("Name:"), name_);
  customerForm->addRow(QStringLiteral("Anschrift:"), anschrift_);
  customerForm->addRow(QStringLiteral("PLZ/Stadt:"), plzStadt_);
  customerForm->addRow(QStringLiteral("Telefon:"), telefon_);
  customerForm->addRow(QStringLiteral("Fax:"), fax_);
  customerForm->addRow(QStringLiteral("Kontaktperson:"), kontakt_);
  customerForm->addRow(QStringLiteral("E-Mail:"), email_);
  QPushButton* addSite = button(AddSiteId, QStringLiteral("Standort +"), customerPage);
  QPushButton* removeSite = button(RemoveSiteId, QStringLiteral("Standort −"), customerPage);
  saveCustomer_ = button(SaveCustomerId, QStringLiteral("Speichern"), customerPage);
  newCustomer_ = button(NewCustomerId, QStringLiteral("Neuer Auftraggeber"), customerPage);
  mergeCustomer_ = button(MergeCustomerId, QStringLiteral("Zusammenführen..."), customerPage);
  mergeCustomer_->setToolTip(QStringLiteral("Ein anderer Auftraggeber ist derselbe wie dieser: seine Geräte und Prüfungen "
                                            "kommen hierher, sein Name findet diesen."));
  // The customer's data, its sites, and the buttons: side by side, or below
  // each other where the page is narrow.
  auto* siteBox = new QVBoxLayout;
  siteBox->addWidget(new QLabel(QStringLiteral("Standorte:"), customerPage));
  siteBox->addWidget(sites_);
  auto* siteButtons = new QHBoxLayout;
  siteButtons->addWidget(addSite);
  siteButtons->addWidget(removeSite);
  siteBox->addLayout(siteButtons);
  auto* customerButtons = new QVBoxLayout;
  for (QPushButton* b : {saveCustomer_, newCustomer_, mergeCustomer_}) customerButtons->addWidget(b);
  customerButtons->addStretch();
  auto* customerLayout = new FlowLayout(customerPage);
  customerLayout->addWidget(block(customerForm, 60));
  customerLayout->addWidget(block(siteBox, 30));
  customerLayout->addWidget(block(customerButtons, 0));

  auto scrolled = [](QWidget* page) {
    auto* area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
  };
  // Below the list: the chosen appliance's history, its master data, its
  // customer's and the changes, one at a time (the window fits a small screen).
  tabs_->addTab(history_, QStringLiteral("Verlauf"));
  tabs_->addTab(scrolled(appliancePage), QStringLiteral("Gerät"));
  tabs_->addTab(scrolled(customerPage), QStringLiteral("Auftraggeber"));
  tabs_->addTab(changes_, QStringLiteral("Änderungen"));

  // The controls above wrap into a second row where the window is narrow.
  // The search field as wide as its hint, the client's box as its longest
  // name (see ReadCustomers); the label beside it centred on its height.
  search_->setFixedWidth(search_->fontMetrics().horizontalAdvance(search_->placeholderText()) +
                         search_->fontMetrics().averageCharWidth() * 8);
  auto* customerLabel = new QLabel(QStringLiteral("Auftraggeber:"), this);
  customerLabel->setMinimumHeight(customers_->sizeHint().height());
  auto* top = new FlowLayout;
  top->addWidget(search_);
  top->addWidget(find);
  top->addWidget(customerLabel);
  top->addWidget(customers_);
  top->addWidget(visit);
  top->addWidget(days_);
  top->addWidget(due);
  auto* sides = new QSplitter(Qt::Vertical, this);
  sides->addWidget(appliances_);
  sides->addWidget(tabs_);
  sides->setStretchFactor(0, 3);
  sides->setStretchFactor(1, 2);
  sides->setCollapsible(0, false);
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
  layout->addWidget(sides, 1);
  layout->addWidget(status_);
  layout->addWidget(chain_);
  layout->addLayout(bottom);

  connect(find, &QPushButton::clicked, this, [this] { ShowSearch(search_->text()); });
  connect(search_, &QLineEdit::returnPressed, this, [this] { ShowSearch(search_->text()); });
  connect(due, &QPushButton::clicked, this, [this] { ShowDue(days_->value()); });
  connect(customers_, qOverload<int>(&QComboBox::activated), this,
          [this](int) { ShowCustomer(customers_->currentText()); });
  connect(visit, &QPushButton::clicked, this, &ArchiveWindow::PrepareVisit);
  connect(appliances_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { ShowHistory(current.row()); });
  connect(open, &QPushButton::clicked, this, [this] { OpenInForm(history_->currentIndex().row()); });
  connect(history_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { OpenInForm(index.row()); });
  connect(pdf, &QPushButton::clicked, this, [this] { ExportPdf(history_->currentIndex().row()); });
  connect(csv, &QPushButton::clicked, this, &ArchiveWindow::ExportCsv);
  connect(historyCsv, &QPushButton::clicked, this, &ArchiveWindow::ExportHistoryCsv);
  connect(import, &QPushButton::clicked, this, &ArchiveWindow::ImportFolder);
  connect(settings, &QPushButton::clicked, this, &ArchiveWindow::ChooseArchive);
  connect(labels, &QPushButton::clicked, this, &ArchiveWindow::Labels);
  connect(saveAppliance_, &QPushButton::clicked, this, &ArchiveWindow::SaveAppliance);
  connect(newAppliance_, &QPushButton::clicked, this, &ArchiveWindow::NewAppliance);
  connect(saveCustomer_, &QPushButton::clicked, this, &ArchiveWindow::SaveCustomer);
  connect(newCustomer_, &QPushButton::clicked, this, &ArchiveWindow::NewCustomer);
  connect(retire_, &QPushButton::clicked, this, [this] {
    if (appliance_.Retired()) {
      ReturnToService();
      return;
    }
    // The day and why, asked in a small dialog.
    QDate on = Clock::Today();
    QString why;
    GenericDialogRequest request{this, QStringLiteral("retire"), appliance_.InventarNr};
    const int answer = Seams::GenericDialog(request, [&] {
      QDialog dialog(this);
      dialog.setWindowTitle(QStringLiteral("Gerät ausmustern"));
      auto* date = new QDateEdit(on, &dialog);
      date->setCalendarPopup(true);
      date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
      auto* reason = new QLineEdit(&dialog);
      reason->setPlaceholderText(QStringLiteral("z. B. defekt, verschrottet, verkauft"));
      auto* form = new QFormLayout;
      form->addRow(QStringLiteral("Gerät %1 ausgemustert am:").arg(appliance_.InventarNr), date);
      form->addRow(QStringLiteral("Grund:"), reason);
      auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
      connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
      connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
      auto* box = new QVBoxLayout(&dialog);
      box->addLayout(form);
      box->addWidget(buttons);
      if (dialog.exec() != QDialog::Accepted) return int(Win::IDCANCEL);
      on = date->date();
      why = reason->text();
      return int(Win::IDOK);
    });
    if (answer == Win::IDOK) RetireAppliance(on, why);
  });
  connect(mergeAppliance_, &QPushButton::clicked, this, [this] {
    // The other appliance: one of the list shown (the customer's, a search's).
    QStringList choices;
    std::vector<qint64> ids;
    for (const ArchiveData::Appliance& a : Shown())
      if (a.Id != appliance_.Id) {
        choices << QStringLiteral("%1 – %2 (%3)").arg(a.InventarNr, a.Bezeichnung, a.Customer);
        ids.push_back(a.Id);
      }
    if (ids.empty()) return;
    const int chosen = ChooseOne(QStringLiteral("merge-appliance"), appliance_.InventarNr,
                                 QStringLiteral("Geräte zusammenführen"),
                                 QStringLiteral("Welches Gerät ist dasselbe wie %1?\nSeine Prüfungen gehören dann zum "
                                                "Verlauf von %1; es selbst verschwindet aus den Listen.")
                                     .arg(appliance_.InventarNr),
                                 choices);
    if (chosen >= 0) MergeAppliance(ids[size_t(chosen)]);
  });
  connect(mergeCustomer_, &QPushButton::clicked, this, [this] {
    QStringList choices;
    std::vector<qint64> ids;
    for (const ArchiveData::Customer& c : customerList_)
      if (c.Id != customer_.Id) {
        choices << c.Name;
        ids.push_back(c.Id);
      }
    if (ids.empty() || customer_.Id == 0) return;
    const int chosen = ChooseOne(QStringLiteral("merge-customer"), customer_.Name,
                                 QStringLiteral("Auftraggeber zusammenführen"),
                                 QStringLiteral("Welcher Auftraggeber ist derselbe wie „%1“?\nSeine Geräte und Prüfungen "
                                                "kommen zu „%1“; Geräte mit derselben Inventar-Nr. werden eins.")
                                     .arg(customer_.Name),
                                 choices);
    if (chosen >= 0) MergeCustomer(ids[size_t(chosen)]);
  });
  connect(addSite, &QPushButton::clicked, this, [this] {
    auto* item = new QListWidgetItem(QStringLiteral("Neuer Standort"), sites_);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    sites_->setCurrentItem(item);
    sites_->editItem(item);
    customerDirty_ = true;
    UpdatePanelButtons();
  });
  connect(removeSite, &QPushButton::clicked, this, [this] {
    delete sites_->currentItem();
    customerDirty_ = true;
    UpdatePanelButtons();
  });
  // What is typed in a panel makes it "changed" until it is saved.
  auto applianceEdited = [this] {
    if (filling_) return;
    applianceDirty_ = true;
    UpdatePanelButtons();
  };
  for (QLineEdit* edit : {inventar_, bezeichnung_, hersteller_, seriennummer_})
    connect(edit, &QLineEdit::textEdited, this, applianceEdited);
  connect(standort_, &QComboBox::currentTextChanged, this, applianceEdited);
  connect(klasse_, qOverload<int>(&QComboBox::currentIndexChanged), this, applianceEdited);
  connect(intervall_, qOverload<int>(&QSpinBox::valueChanged), this, applianceEdited);
  auto customerEdited = [this] {
    if (filling_) return;
    customerDirty_ = true;
    UpdatePanelButtons();
  };
  for (QLineEdit* edit : {name_, anschrift_, plzStadt_, telefon_, fax_, kontakt_, email_})
    connect(edit, &QLineEdit::textEdited, this, customerEdited);
  connect(sites_, &QListWidget::itemChanged, this, customerEdited);
  UpdatePanelButtons();
  checker_ = new QThread(this);
  checker_->setObjectName(QStringLiteral("archive-chain-check"));
  checkerContext_ = new QObject;
  checkerContext_->moveToThread(checker_);
  connect(checker_, &QThread::finished, checkerContext_, &QObject::deleteLater);
  checker_->start();
  // Tests stored while the window is open (a visit saved, the queue sent):
  // the chain's line is checked again a moment after the last of them, so
  // it never shows an older count as the archive's state.
  chainAgain_ = new QTimer(this);
  chainAgain_->setSingleShot(true);
  chainAgain_->setInterval(1000);
  connect(chainAgain_, &QTimer::timeout, this, &ArchiveWindow::CheckChain);
  connect(&service_, &ArchiveService::TestsAdded, chainAgain_, qOverload<>(&QTimer::start));
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

ArchiveWindow::~ArchiveWindow() {
  if (chainCancel_) *chainCancel_ = true;
  checker_->quit();
  checker_->wait();
}

void ArchiveWindow::SetupWindow() {
  ScreenFit::Fit(this, QSize(1180, 680));
  ShowDue(days_->value());
  ReadCustomers();
  CheckChain();
}

bool ArchiveWindow::Busy() const { return reader_->Pending() > 0; }

bool ArchiveWindow::ChainChecking() const { return chainChecking_ || chainAgain_->isActive(); }

void ArchiveWindow::Say(const QString& text, bool failure) {
  status_->setStyleSheet(failure ? QStringLiteral("color: rgb(190, 0, 0);") : QString());
  status_->setWordWrap(failure);
  status_->setText(text);
}

void ArchiveWindow::Failed(const QString& what, const QString& error) {
  Say(QStringLiteral("%1: %2").arg(what, error), true);
  Seams::MessageBox(this, QStringLiteral("%1.\n\n%2").arg(what, error), kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

// ---- the lists

void ArchiveWindow::List(std::function<std::vector<ArchiveData::Appliance>(Archive&)> read, const QString& what) {
  const int mine = ++listSequence_;
  Say(QStringLiteral("Lade ..."));
  reader_->Run(
      [this, read, mine](Archive& archive, const ArchiveReader::Post& post) {
        std::vector<ArchiveData::Appliance> list = read(archive);
        if (archive.Failed()) return;
        post([this, mine, list = std::move(list)]() mutable {
          if (mine == listSequence_) applianceModel_->Reset(std::move(list));
        });
      },
      [this, mine, what](const QString& error) {
        if (mine != listSequence_) return;
        if (!error.isEmpty()) {
          applianceModel_->Reset({});
          Say(error, true);
          return;
        }
        Say(QStringLiteral("%1: %2 Geräte.").arg(what).arg(Shown().size()));
      });
  historyModel_->Reset({});
}

void ArchiveWindow::ShowSearch(const QString& text) {
  const QString wanted = text.trimmed();
  List([wanted](Archive& archive) { return archive.Search(wanted); }, QStringLiteral("Gefunden"));
}

void ArchiveWindow::ShowDue(int days) {
  // The first rows at once, then the rest in pages, each in the list as it comes.
  const int mine = ++listSequence_;
  const QDate today = Clock::Today();
  const QString what = QStringLiteral("Fällig in %1 Tagen oder überfällig (rot)").arg(days);
  Say(QStringLiteral("Lade ..."));
  historyModel_->Reset({});
  reader_->Run(
      [this, days, today, mine, what](Archive& archive, const ArchiveReader::Post& post) {
        std::vector<ArchiveData::Appliance> page = archive.DueList(days, today, kFirstPage, nullptr);
        bool first = true;
        while (!archive.Failed()) {
          const bool more = int(page.size()) == (first ? kFirstPage : kPage);
          const ArchiveData::Appliance last = page.empty() ? ArchiveData::Appliance() : page.back();
          post([this, mine, first, more, what, page = std::move(page)]() mutable {
            if (mine != listSequence_) return;
            if (first)
              applianceModel_->Reset(std::move(page));
            else
              applianceModel_->Append(std::move(page));
            if (more) Say(QStringLiteral("%1: %2 Geräte, weitere werden geladen ...").arg(what).arg(Shown().size()));
          });
          // A newer list was asked for: this one stops.
          if (!more || listSequence_ != mine) break;
          page = archive.DueList(days, today, kPage, &last);
          first = false;
        }
      },
      [this, mine, what](const QString& error) {
        if (mine != listSequence_) return;
        if (!error.isEmpty()) {
          applianceModel_->Reset({});
          Say(error, true);
          return;
        }
        Say(QStringLiteral("%1: %2 Geräte.").arg(what).arg(Shown().size()));
      });
}

void ArchiveWindow::ShowCustomer(const QString& customer) {
  List([customer](Archive& archive) { return archive.Appliances(customer); }, customer);
  for (const ArchiveData::Customer& c : customerList_)
    if (c.Name == customer) ShowCustomerData(c.Id);
}

void ArchiveWindow::ReadCustomers() {
  auto list = std::make_shared<std::vector<ArchiveData::Customer>>();
  reader_->Run([list](Archive& archive, const ArchiveReader::Post&) { *list = archive.CustomerList(); },
               [this, list](const QString& error) {
                 // A failure is told by the list beside it.
                 if (!error.isEmpty()) return;
                 customerList_ = *list;
                 const QString shown = customer_.Id ? customer_.Name : customers_->currentText();
                 customers_->clear();
                 // Wide enough for the longest name, up to 40 characters (a
                 // longer one is in the box's tool tip).
                 int longest = 14;
                 for (const ArchiveData::Customer& c : customerList_) {
                   customers_->addItem(c.Name, c.Id);
                   customers_->setItemData(customers_->count() - 1, c.Name, Qt::ToolTipRole);
                   longest = std::max(longest, int(std::min<qsizetype>(c.Name.size(), 40)));
                 }
                 if (customers_->minimumContentsLength() != longest) customers_->setMinimumContentsLength(longest);
                 customers_->setCurrentIndex(std::max(0, customers_->findText(shown)));
               });
}

void ArchiveWindow::ShowHistory(int row) {
  historyModel_->Reset({});
  if (row < 0 || row >= int(Shown().size())) {
    ++historySequence_;  // an answer still on its way is for another row
    if (historyPending_) Say(historyBefore_);
    historyPending_ = false;
    return;
  }
  const ArchiveData::Appliance a = Shown()[size_t(row)];
  ShowAppliancePanel(a);
  if (a.CustomerId != customer_.Id) ShowCustomerData(a.CustomerId);
  const int mine = ++historySequence_;
  // What the line said before: a row chosen while another row's history is
  // still read (arrow keys down the list) keeps it, so the line does not
  // stay at "Lade ..." once the last history is there.
  if (!historyPending_) historyBefore_ = status_->text();
  historyPending_ = true;
  Say(QStringLiteral("Lade ..."));
  auto tests = std::make_shared<std::vector<ArchiveData::Test>>();
  const qint64 id = a.Id;
  reader_->Run([id, tests](Archive& archive, const ArchiveReader::Post&) { *tests = archive.History(id); },
               [this, mine, tests](const QString& error) {
                 if (mine != historySequence_) return;
                 historyPending_ = false;
                 if (!error.isEmpty()) {
                   Say(error, true);
                   return;
                 }
                 Say(historyBefore_);
                 historyModel_->Reset(std::move(*tests));
               });
  ReadChanges();
}

// One of a list, asked through the dialog seam: its index, or -1 when the
// user cancels (a test's answer takes the first).
int ArchiveWindow::ChooseOne(const QString& request, const QString& about, const QString& title,
                             const QString& question, const QStringList& choices) {
  int chosen = 0;
  GenericDialogRequest asked{this, request, about};
  if (Seams::GenericDialog(asked, [&] {
        bool ok = false;
        const QString item = QInputDialog::getItem(this, title, question, choices, 0, false, &ok);
        chosen = int(choices.indexOf(item));
        return ok && chosen >= 0 ? int(Win::IDOK) : int(Win::IDCANCEL);
      }) != Win::IDOK)
    return -1;
  return std::max(0, chosen);
}

// ---- the master data panel

void ArchiveWindow::ShowAppliancePanel(const ArchiveData::Appliance& a) {
  filling_ = true;
  appliance_ = a;
  inventar_->setText(a.InventarNr);
  bezeichnung_->setText(a.Bezeichnung);
  hersteller_->setText(a.HerstellerTyp);
  seriennummer_->setText(a.Seriennummer);
  standort_->clear();
  standort_->addItems(a.CustomerId == customer_.Id ? customerSites_ : QStringList());
  standort_->setCurrentText(a.Standort);
  klasse_->setCurrentIndex(a.ProtectionClass >= 1 && a.ProtectionClass <= 3 ? a.ProtectionClass : 0);
  intervall_->setValue(a.IntervalMonths > 0 ? a.IntervalMonths : 12);
  state_->setText(a.Id == 0 ? QStringLiteral("neu (noch nicht gespeichert)")
                  : a.Retired()
                      ? QStringLiteral("ausgemustert am %1%2").arg(DateText(a.RetiredOn),
                                                                  a.RetiredReason.isEmpty() ? QString() : QStringLiteral(": ") + a.RetiredReason)
                      : QStringLiteral("in Betrieb"));
  dates_->setText(a.Id == 0 ? QString()
                            : QStringLiteral("Letzte Prüfung %1, nächste %2%3")
                                  .arg(a.LastTest.isValid() ? DateText(a.LastTest) : QStringLiteral("–"),
                                       a.Retired() ? QStringLiteral("–") : DateText(a.NextDue),
                                       Profiles::Name(a.Standard).isEmpty()
                                           ? QString()
                                           : QStringLiteral("\nNorm der letzten Prüfung: ") + Profiles::Name(a.Standard)));
  retire_->setText(a.Retired() ? QStringLiteral("Wieder in Betrieb") : QStringLiteral("Ausmustern..."));
  filling_ = false;
  applianceDirty_ = false;
  UpdatePanelButtons();
}

ArchiveData::Appliance ArchiveWindow::AppliancePanel() const {
  ArchiveData::Appliance a = appliance_;
  a.InventarNr = inventar_->text();
  a.Bezeichnung = bezeichnung_->text();
  a.HerstellerTyp = hersteller_->text();
  a.Seriennummer = seriennummer_->text();
  a.Standort = standort_->currentText();
  a.ProtectionClass = klasse_->currentIndex();
  a.IntervalMonths = intervall_->value();
  return a;
}

void ArchiveWindow::ShowCustomerPanel(const ArchiveData::Customer& c, const QStringList& sites) {
  filling_ = true;
  customer_ = c;
  customerSites_ = sites;
  name_->setText(c.Name);
  anschrift_->setText(c.Anschrift);
  plzStadt_->setText(c.PlzStadt);
  telefon_->setText(c.Telefon);
  fax_->setText(c.Fax);
  kontakt_->setText(c.Kontaktperson);
  email_->setText(c.EMail);
  sites_->clear();
  for (const QString& site : c.Standorte) {
    auto* item = new QListWidgetItem(site, sites_);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
  }
  // The sites the appliances name, for the appliance's choice.
  const QString standort = standort_->currentText();
  standort_->clear();
  standort_->addItems(sites);
  standort_->setCurrentText(standort);
  filling_ = false;
  customerDirty_ = false;
  UpdatePanelButtons();
}

ArchiveData::Customer ArchiveWindow::CustomerPanel() const {
  ArchiveData::Customer c = customer_;
  c.Name = name_->text();
  c.Anschrift = anschrift_->text();
  c.PlzStadt = plzStadt_->text();
  c.Telefon = telefon_->text();
  c.Fax = fax_->text();
  c.Kontaktperson = kontakt_->text();
  c.EMail = email_->text();
  c.Standorte.clear();
  for (int i = 0; i < sites_->count(); ++i) c.Standorte << sites_->item(i)->text();
  return c;
}

void ArchiveWindow::UpdatePanelButtons() {
  const bool appliance = appliance_.Id != 0 || appliance_.CustomerId != 0;
  for (QWidget* w : std::initializer_list<QWidget*>{inventar_, bezeichnung_, hersteller_, seriennummer_, standort_,
                                                    klasse_, intervall_})
    w->setEnabled(appliance);
  saveAppliance_->setEnabled(appliance && applianceDirty_);
  retire_->setEnabled(appliance_.Id != 0);
  mergeAppliance_->setEnabled(appliance_.Id != 0);
  newAppliance_->setEnabled(customer_.Id != 0);
  saveCustomer_->setEnabled(customerDirty_);
  mergeCustomer_->setEnabled(customer_.Id != 0);
  tabs_->setTabText(1, applianceDirty_ ? QStringLiteral("Gerät *") : QStringLiteral("Gerät"));
  tabs_->setTabText(2, customerDirty_ ? QStringLiteral("Auftraggeber *") : QStringLiteral("Auftraggeber"));
}

void ArchiveWindow::ShowCustomerData(qint64 id) {
  if (id <= 0) return;
  const int mine = ++customerSequence_;
  auto customer = std::make_shared<ArchiveData::Customer>();
  auto sites = std::make_shared<QStringList>();
  reader_->Run(
      [id, customer, sites](Archive& archive, const ArchiveReader::Post&) {
        if (!archive.ReadCustomer(id, customer.get())) return;
        *sites = archive.Sites(id);
      },
      [this, mine, customer, sites](const QString& error) {
        if (mine != customerSequence_) return;
        if (!error.isEmpty()) {
          Say(error, true);
          return;
        }
        if (customerDirty_ && customer->Id != customer_.Id) customerDirty_ = false;  // another customer shown now
        ShowCustomerPanel(*customer, *sites);
        const int index = customers_->findData(customer->Id);
        if (index >= 0) customers_->setCurrentIndex(index);
        ReadChanges();
      });
}

void ArchiveWindow::ReadChanges() {
  const int mine = ++changeSequence_;
  const qint64 appliance = appliance_.Id, customer = customer_.Id;
  if (appliance == 0 && customer == 0) {
    changeModel_->Reset({});
    return;
  }
  auto changes = std::make_shared<std::vector<ArchiveData::Change>>();
  reader_->Run([appliance, customer, changes](Archive& archive,
                                              const ArchiveReader::Post&) { *changes = archive.Changes(customer, appliance); },
               [this, mine, changes](const QString& error) {
                 if (mine != changeSequence_ || !error.isEmpty()) return;
                 changeModel_->Reset(std::move(*changes));
               });
}

void ArchiveWindow::SaveAppliance() {
  const ArchiveData::Appliance wanted = AppliancePanel();
  if (wanted.Id == 0 && wanted.CustomerId == 0) return;
  auto saved = std::make_shared<ArchiveData::Appliance>();
  Say(QStringLiteral("Speichere ..."));
  reader_->Run(
      [wanted, saved](Archive& archive, const ArchiveReader::Post&) {
        const qint64 id = archive.SaveAppliance(wanted);
        if (id == 0) return;
        archive.ReadAppliance(id, saved.get());
      },
      [this, wanted, saved](const QString& error) {
        if (!error.isEmpty()) {
          // The panel keeps what was typed.
          Failed(QStringLiteral("Das Gerät %1 wurde nicht gespeichert").arg(wanted.InventarNr), error);
          return;
        }
        if (wanted.Id == 0) {
          std::vector<ArchiveData::Appliance> one{*saved};
          applianceModel_->Append(one);
        } else {
          applianceModel_->Replace(*saved);
        }
        ShowAppliancePanel(*saved);
        ReadChanges();
        Say(QStringLiteral("Das Gerät %1 ist gespeichert.").arg(saved->InventarNr));
      });
}

void ArchiveWindow::NewAppliance() {
  if (customer_.Id == 0) return;
  ArchiveData::Appliance a;
  a.CustomerId = customer_.Id;
  a.Customer = customer_.Name;
  a.IntervalMonths = 12;
  ShowAppliancePanel(a);
  appliances_->clearSelection();
  tabs_->setCurrentIndex(1);
  inventar_->setFocus();
}

void ArchiveWindow::RetireAppliance(const QDate& on, const QString& why) {
  ArchiveData::Appliance wanted = AppliancePanel();
  if (wanted.Id == 0) return;
  wanted.RetiredOn = on.isValid() ? on : Clock::Today();
  wanted.RetiredReason = why;
  auto saved = std::make_shared<ArchiveData::Appliance>();
  reader_->Run(
      [wanted, saved](Archive& archive, const ArchiveReader::Post&) {
        if (archive.SaveAppliance(wanted) != 0) archive.ReadAppliance(wanted.Id, saved.get());
      },
      [this, wanted, saved](const QString& error) {
        if (!error.isEmpty()) {
          Failed(QStringLiteral("Das Gerät %1 wurde nicht ausgemustert").arg(wanted.InventarNr), error);
          return;
        }
        applianceModel_->Replace(*saved);
        ShowAppliancePanel(*saved);
        ReadChanges();
        Say(QStringLiteral("Das Gerät %1 ist ausgemustert; es ist nicht mehr fällig, sein Verlauf bleibt.").arg(saved->InventarNr));
      });
}

void ArchiveWindow::ReturnToService() {
  ArchiveData::Appliance wanted = AppliancePanel();
  if (wanted.Id == 0) return;
  wanted.RetiredOn = QDate();
  wanted.RetiredReason.clear();
  auto saved = std::make_shared<ArchiveData::Appliance>();
  reader_->Run(
      [wanted, saved](Archive& archive, const ArchiveReader::Post&) {
        if (archive.SaveAppliance(wanted) != 0) archive.ReadAppliance(wanted.Id, saved.get());
      },
      [this, wanted, saved](const QString& error) {
        if (!error.isEmpty()) {
          Failed(QStringLiteral("Das Gerät %1 wurde nicht wieder in Betrieb genommen").arg(wanted.InventarNr), error);
          return;
        }
        applianceModel_->Replace(*saved);
        ShowAppliancePanel(*saved);
        ReadChanges();
        Say(QStringLiteral("Das Gerät %1 ist wieder in Betrieb.").arg(saved->InventarNr));
      });
}

void ArchiveWindow::MergeAppliance(qint64 from) {
  const ArchiveData::Appliance into = appliance_;
  if (into.Id == 0 || from == into.Id) return;
  QString fromNumber;
  for (const ArchiveData::Appliance& a : Shown())
    if (a.Id == from) fromNumber = a.InventarNr;
  if (Seams::MessageBox(this,
                        QStringLiteral("Das Gerät %1 mit dem Gerät %2 zusammenführen?\n\nDie Prüfungen von %1 gehören "
                                       "dann zum Verlauf von %2, und die Nummer %1 findet %2. Die Prüfungen selbst "
                                       "bleiben, wie sie gespeichert wurden.")
                            .arg(fromNumber, into.InventarNr),
                        kCaption, Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) != Win::IDYES)
    return;
  auto saved = std::make_shared<ArchiveData::Appliance>();
  reader_->Run(
      [from, into, saved](Archive& archive, const ArchiveReader::Post&) {
        if (archive.MergeAppliances(from, into.Id)) archive.ReadAppliance(into.Id, saved.get());
      },
      [this, from, fromNumber, into, saved](const QString& error) {
        if (!error.isEmpty()) {
          Failed(QStringLiteral("Die Geräte %1 und %2 wurden nicht zusammengeführt").arg(fromNumber, into.InventarNr), error);
          return;
        }
        std::vector<ArchiveData::Appliance> list = Shown();
        list.erase(std::remove_if(list.begin(), list.end(), [from](const ArchiveData::Appliance& a) { return a.Id == from; }),
                   list.end());
        for (ArchiveData::Appliance& a : list)
          if (a.Id == saved->Id) a = *saved;
        applianceModel_->Reset(std::move(list));
        for (int row = 0; row < int(Shown().size()); ++row)
          if (Shown()[size_t(row)].Id == saved->Id) appliances_->selectRow(row);
        Say(QStringLiteral("%1 gehört jetzt zu %2.").arg(fromNumber, saved->InventarNr));
      });
}

void ArchiveWindow::SaveCustomer() {
  const ArchiveData::Customer wanted = CustomerPanel();
  auto saved = std::make_shared<ArchiveData::Customer>();
  auto sites = std::make_shared<QStringList>();
  Say(QStringLiteral("Speichere ..."));
  reader_->Run(
      [wanted, saved, sites](Archive& archive, const ArchiveReader::Post&) {
        const qint64 id = archive.SaveCustomer(wanted);
        if (id == 0 || !archive.ReadCustomer(id, saved.get())) return;
        *sites = archive.Sites(id);
      },
      [this, wanted, saved, sites](const QString& error) {
        if (!error.isEmpty()) {
          Failed(QStringLiteral("Der Auftraggeber „%1“ wurde nicht gespeichert").arg(wanted.Name), error);
          return;
        }
        ShowCustomerPanel(*saved, *sites);
        ReadCustomers();
        ReadChanges();
        // The lists show the new name.
        std::vector<ArchiveData::Appliance> list = Shown();
        for (ArchiveData::Appliance& a : list)
          if (a.CustomerId == saved->Id) a.Customer = saved->Name;
        applianceModel_->Reset(std::move(list));
        Say(QStringLiteral("Der Auftraggeber „%1“ ist gespeichert.").arg(saved->Name));
      });
}

void ArchiveWindow::NewCustomer() {
  ShowCustomerPanel(ArchiveData::Customer(), {});
  ShowAppliancePanel(ArchiveData::Appliance());
  tabs_->setCurrentIndex(2);
  name_->setFocus();
}

void ArchiveWindow::MergeCustomer(qint64 from) {
  const ArchiveData::Customer into = customer_;
  if (into.Id == 0 || from == into.Id) return;
  QString fromName;
  for (const ArchiveData::Customer& c : customerList_)
    if (c.Id == from) fromName = c.Name;
  if (Seams::MessageBox(this,
                        QStringLiteral("„%1“ mit „%2“ zusammenführen?\n\nDie Geräte und Prüfungen von „%1“ gehören dann "
                                       "zu „%2“; Geräte mit derselben Inventar-Nr. werden eins. Prüfungen unter dem Namen "
                                       "„%1“ finden künftig „%2“.")
                            .arg(fromName, into.Name),
                        kCaption, Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) != Win::IDYES)
    return;
  reader_->Run([from, into](Archive& archive, const ArchiveReader::Post&) { archive.MergeCustomers(from, into.Id); },
               [this, fromName, into](const QString& error) {
                 if (!error.isEmpty()) {
                   Failed(QStringLiteral("„%1“ und „%2“ wurden nicht zusammengeführt").arg(fromName, into.Name), error);
                   return;
                 }
                 ReadCustomers();
                 ShowCustomer(into.Name);
                 Say(QStringLiteral("„%1“ gehört jetzt zu „%2“.").arg(fromName, into.Name));
               });
}

// ---- a visit

void ArchiveWindow::PrepareVisit() {
  qint64 customer = customer_.Id;
  if (customer == 0 && customers_->currentIndex() >= 0) customer = customers_->currentData().toLongLong();
  QStringList sites;
  QDate dueBy = Clock::Today().addDays(30);
  GenericDialogRequest request{this, QStringLiteral("visit"), customers_->currentText()};
  const int answer = Seams::GenericDialog(request, [&] {
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Besuch vorbereiten"));
    auto* who = new QComboBox(&dialog);
    for (const ArchiveData::Customer& c : customerList_) who->addItem(c.Name, c.Id);
    who->setCurrentIndex(std::max(0, who->findData(customer)));
    auto* where = new QListWidget(&dialog);
    where->setToolTip(QStringLiteral("Keiner angehakt: alle Standorte"));
    auto* due = new QRadioButton(QStringLiteral("nur fällige Geräte, fällig bis"), &dialog);
    auto* all = new QRadioButton(QStringLiteral("alle Geräte in Betrieb"), &dialog);
    due->setChecked(true);
    auto* date = new QDateEdit(dueBy, &dialog);
    date->setCalendarPopup(true);
    date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    connect(all, &QRadioButton::toggled, date, [date](bool on) { date->setEnabled(!on); });
    // The sites of the customer chosen, read on the archive's thread.
    auto readSites = [this, who, where] {
      const qint64 id = who->currentData().toLongLong();
      auto found = std::make_shared<QStringList>();
      QPointer<QListWidget> list(where);
      reader_->Run([id, found](Archive& archive, const ArchiveReader::Post&) { *found = archive.Sites(id); },
                   [list, found](const QString&) {
                     if (!list) return;
                     list->clear();
                     for (const QString& site : *found) {
                       auto* item = new QListWidgetItem(site, list);
                       item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                       item->setCheckState(Qt::Unchecked);
                     }
                   });
    };
    connect(who, qOverload<int>(&QComboBox::currentIndexChanged), &dialog, readSites);
    readSites();
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Auftraggeber:"), who);
    form->addRow(QStringLiteral("Standorte:"), where);
    auto* dueRow = new QHBoxLayout;
    dueRow->addWidget(due);
    dueRow->addWidget(date);
    dueRow->addStretch();
    form->addRow(QStringLiteral("Geräte:"), dueRow);
    form->addRow(QString(), all);
    auto* note = new QLabel(QStringLiteral("Die Liste „Prüfungen“ wird mit den Geräten gefüllt, in der Reihenfolge des "
                                           "letzten Besuchs; Prüfung 1 des Gerätetesters kommt in Zeile 1 und so fort."),
                            &dialog);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* box = new QVBoxLayout(&dialog);
    box->addLayout(form);
    box->addWidget(note);
    box->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || who->currentIndex() < 0) return int(Win::IDCANCEL);
    customer = who->currentData().toLongLong();
    for (int i = 0; i < where->count(); ++i)
      if (where->item(i)->checkState() == Qt::Checked) sites << where->item(i)->text();
    dueBy = all->isChecked() ? QDate() : date->date();
    return int(Win::IDOK);
  });
  if (answer != Win::IDOK || customer <= 0) return;
  PlanVisit(customer, sites, dueBy);
}

void ArchiveWindow::PlanVisit(qint64 customerId, const QStringList& sites, const QDate& dueBy) {
  auto plan = std::make_shared<Visit::Plan>();
  plan->Sites = sites;
  plan->DueBy = dueBy;
  Say(QStringLiteral("Besuch wird vorbereitet ..."));
  reader_->Run(
      [customerId, plan](Archive& archive, const ArchiveReader::Post&) {
        if (!archive.ReadCustomer(customerId, &plan->Customer)) return;
        plan->Appliances = archive.VisitPlan(customerId, plan->Sites, plan->DueBy);
      },
      [this, plan](const QString& error) {
        if (!error.isEmpty()) {
          Failed(QStringLiteral("Der Besuch konnte nicht vorbereitet werden"), error);
          return;
        }
        Say(QStringLiteral("Besuch bei „%1“: %2 Geräte in der Liste „Prüfungen“.")
                .arg(plan->Customer.Name)
                .arg(plan->Appliances.size()));
        emit VisitPlanned(*plan);
      });
}

// ---- tests, files and the archive's place

void ArchiveWindow::OpenInForm(int row) {
  const std::vector<ArchiveData::Test>& tests = historyModel_->Tests();
  if (!form_ || row < 0 || row >= int(tests.size())) return;
  ReportRecord report;
  if (Report::ReadBytes(tests[size_t(row)].Record, &report).status != Report::ReadResult::Ok) return;
  form_->ShowStored(report, tests[size_t(row)].ChainHash);
  emit FormWanted();
  Say(QStringLiteral("Die gespeicherte Prüfung vom %1 steht im Formular (nur zum Lesen).").arg(DateText(tests[size_t(row)].Date)));
}

void ArchiveWindow::ExportPdf(int row) {
  const std::vector<ArchiveData::Test>& tests = historyModel_->Tests();
  if (row < 0 || row >= int(tests.size())) return;
  ReportRecord report;
  if (Report::ReadBytes(tests[size_t(row)].Record, &report).status != Report::ReadResult::Ok) return;
  FileDialogRequest request;
  request.owner = this;
  request.save = true;
  request.title = QStringLiteral("Prüfung als PDF");
  request.filter = QStringLiteral("PDF-Dateien (*.pdf)|*.pdf");
  // The title as a name: without the characters a file name cannot hold, and short enough.
  QString stem = Batch::Title(report);
  stem.remove(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")));
  request.initialName = QDir(UserFolders::StartFolder()).filePath(RecordList::FitFileName(stem, QStringLiteral(".pdf")));
  request.overwritePrompt = true;
  QString path;
  if (!Seams::FileDialog(request, &path)) return;
  UserFolders::Remember(path);
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
  const Batch::Result result = Batch::WriteOnePdf({report}, path, nullptr, {tests[size_t(row)].ChainHash});
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
  std::vector<QStringList> rows{ApplianceListModel::Columns()};
  for (const ArchiveData::Appliance& a : Shown()) rows.push_back(ApplianceListModel::Cells(a));
  WriteCsv(QStringLiteral("Liste als CSV exportieren"), QStringLiteral("Archiv %1.csv").arg(DateText(Clock::Today())), rows);
}

void ArchiveWindow::ExportHistoryCsv() {
  std::vector<QStringList> rows{HistoryModel::Columns()};
  for (int r = 0; r < historyModel_->rowCount(); ++r) rows.push_back(historyModel_->Cells(r));
  WriteCsv(QStringLiteral("Verlauf als CSV exportieren"), QStringLiteral("Verlauf %1.csv").arg(appliance_.InventarNr), rows);
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
  ReadCustomers();
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
  ShowCustomerPanel(ArchiveData::Customer(), {});
  ShowAppliancePanel(ArchiveData::Appliance());
  ShowDue(days_->value());
  ReadCustomers();
  CheckChain();
}

void ArchiveWindow::Labels() {
  // The chosen appliance, else every one the list shows.
  std::vector<ArchiveData::Appliance> appliances;
  const int row = appliances_->currentIndex().row();
  if (row >= 0 && row < int(Shown().size()) && appliances_->selectionModel()->hasSelection())
    appliances.push_back(Shown()[size_t(row)]);
  else
    appliances = Shown();
  if (appliances.empty()) return;
  const int mine = ++labelSequence_;
  Say(QStringLiteral("Lade ..."));
  auto tests = std::make_shared<std::vector<ArchiveData::Test>>();
  reader_->Run(
      [appliances, tests](Archive& archive, const ArchiveReader::Post&) {
        // The latest test of each: its data record file says what the label says.
        for (const ArchiveData::Appliance& a : appliances) {
          const std::vector<ArchiveData::Test> history = archive.History(a.Id);
          if (archive.Failed()) return;
          const ArchiveData::Test* latest = nullptr;
          for (const ArchiveData::Test& t : history)
            if (!latest || t.Date >= latest->Date) latest = &t;
          if (latest) tests->push_back(*latest);
        }
      },
      [this, mine, tests](const QString& error) {
        if (mine != labelSequence_) return;
        if (!error.isEmpty()) {
          Say(error, true);
          return;
        }
        std::vector<ReportRecord> reports;
        int unreadable = 0;
        for (const ArchiveData::Test& test : *tests) {
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
          overdue += next.isValid() && next < Clock::Today();
        }
        if (overdue)
          notes << QStringLiteral("%1 Geräte sind überfällig: ihr Etikett nennt den verstrichenen Termin.").arg(overdue);
        if (unreadable) notes << QStringLiteral("%1 gespeicherte Prüfungen sind nicht lesbar und fehlen.").arg(unreadable);
        Say(QStringLiteral("Etiketten für %1 Geräte.").arg(reports.size()));
        if (!reports.empty()) LabelDialog::Open(this, reports, notes.join(QLatin1Char('\n')));
      });
}
