// The pictures of the user's guide (docs/): the whole program with the
// simulated tester driven into the states the guide shows and grabbed into
// <build>/test-out/guide/, from where scripts/guide-screenshots copies them
// into docs/bilder/. Fixed records (seed), dates typed, a fixed clock text
// and host, fixed window sizes: the same program draws the same pictures.
// And the guide's pages and its pictures checked against each other: every
// picture a page shows is there and is one these tests make, and every
// picture there is shown.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <set>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/clock.h"
#include "core/recordlist.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "platform/wintimer.h"
#include "records/archivewindow.h"
#include "records/labeldialog.h"
#include "records/recordlistwindow.h"
#include "records/reviewdialog.h"
#include "report/TFormular.h"
#include "report/testdetailsdialog.h"
#include "shell/kelvara.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

// Every picture the guide may show, each made by one of the tests below.
const std::set<QString> kPictures = {
    "start",   "messgeraet", "formular", "pruefangaben", "pruefungen", "pruefungen-geraete",
    "bericht", "etiketten",  "archiv",   "archiv-faellig",
    "besuch-vorbereiten", "besuch-scanner", "abgleich", "archiv-geraet", "archiv-auftraggeber", "archiv-aenderungen",
};

QString GuideOut() {
  const QString dir = TestUtil::OutDir() + QStringLiteral("/guide");
  QDir().mkpath(dir);
  return dir;
}

// Grabs `widget` at `size` as a picture of the guide.
QImage Picture(QWidget* widget, const QString& name, const QSize& size = QSize()) {
  EXPECT_TRUE(kPictures.count(name)) << name.toStdString();
  if (size.isValid()) widget->resize(size);
  if (!widget->isVisible()) widget->show();
  TestUtil::Pump(50);
  const QImage image = widget->grab().toImage();
  EXPECT_TRUE(image.save(GuideOut() + QStringLiteral("/%1.png").arg(name))) << name.toStdString();
  return image;
}

// The customer of the guide's visit and what every report of it shares.
const char* const kCustomer = "Bäckerei Sonnenschein GmbH";

struct Appliance {
  const char* inventar;
  const char* bezeichnung;
  const char* hersteller;
  const char* standort;
};
const Appliance kAppliances[] = {
    {"BS-001", "Teigknetmaschine", "Kemper SP 25", "Backstube"},
    {"BS-002", "Kaffeevollautomat", "Jura GIGA X3", "Verkaufsraum"},
    {"BS-003", "Verlängerung 10 m", "Brennenstuhl", "Lager"},
    {"BS-004", "Brotschneidemaschine", "Treif Divider", "Verkaufsraum"},
    {"BS-005", "Wasserkocher", "Bosch TWK 3A01", "Pausenraum"},
    {"BS-006", "Kasse", "Casio SE-C450", "Verkaufsraum"},
    {"BS-007", "Mikrowelle", "Severin MW 7770", "Pausenraum"},
    {"BS-008", "Staubsauger", "Kärcher T 10/1", "Lager"},
    {"BS-009", "Handrührgerät", "Bosch MFQ 4020", "Backstube"},
    {"BS-010", "Kühlvitrine", "Bartscher 700", "Verkaufsraum"},
    {"BS-011", "Radio", "Sangean WR-12", "Backstube"},
    {"BS-012", "Ladegerät Kasse", "Casio AD-A12", "Büro"},
};
constexpr int kRecords = 12;
// The visit's measurements as the tester stored them: all after VDE 0701 /
// 0702; protection class II where no protective conductor was measured; the
// microwave's protective conductor over its limit.
const char* const kMeasurements =
    "0 3:1450 8:32767 9:4870 11:4620\n"
    "0 3:980 8:8500 10:1200 12:1100\n"
    "0 3:2650 8:32767 9:5 11:10\n"
    "0 3:1820 8:32767 9:2100 11:1900\n"
    "0 3:760 8:32767 9:310 11:280\n"
    "0 3:1130 8:6200 9:150 11:140\n"
    "0 3:3850 8:32767 10:1800 12:1650\n"
    "0 0:0 8:32767 9:12 11:15\n"
    "0 0:0 8:32767 9:8 11:9\n"
    "0 3:2210 7:1350 10:2400 12:2300\n"
    "0 0:0 8:32767 9:6 11:7\n"
    "0 0:0 8:32767 9:4 11:5\n";
constexpr int kClassTwo[] = {7, 8, 10, 11};
const char* const kVisitDate = "08.12.2026";

class GuideScreenshots : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r.text, int(Win::IDYES); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      *path = chosen_;
      return !chosen_.isEmpty();
    });
    // The review before a visit is stored: taken as it stands.
    Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  }
  void TearDown() override {
    program_.reset();
    Seams::ResetAll();
    SimLink::TearDown();
  }
  // The whole program on the simulated tester's records, its archive a file
  // of the test's own, online; the clock shows a fixed time.
  void StartProgram(const QStringList& simArgs) {
    StartSim(simArgs);
    program_ = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(), [] {
      return HostInfo{true, QStringLiteral("WERKSTATT-PC"), QStringLiteral("192.168.178.20")};
    });
    program_->Archiving().SetLocation(out_.filePath("archiv.sqlite"));
    ASSERT_TRUE(program_->InitMainWindow());
    program_->ClockTimer->KillTimer(program_->ClockTimerId);
    program_->ClockGadget->setText(QStringLiteral(" 9:41:00 08.12.2026"));
    program_->Frame->show();
    device_ = qobject_cast<TMessgeraet*>(program_->DeviceWindow);
    form_ = qobject_cast<TFormular*>(program_->ReportForm);
    ASSERT_TRUE(device_ && form_);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device_->GetDlgItemText(1448) == "Online"; }, 10000));
  }
  void LoadAll() {
    auto ready = [&] {
      for (QPushButton* b : device_->RecordButton)
        if (!b->isEnabled()) return false;
      return true;
    };
    ASSERT_TRUE(TestUtil::WaitFor(ready, 5000));
    device_->ButtonClicked(105);  // "Lade Alle Datensätze"
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device_->LoadState == 0 && device_->RecordCount == kRecords && ready(); },
                                  60000));
  }
  // The form as the template of every report of the visit.
  void FillTemplate() {
    program_->EvCommand(ShellIds::CmShowForm);
    const std::pair<int, const char*> fields[] = {
        {Layout::kFieldAuftraggeber, kCustomer},
        {Layout::kFieldAGAnschrift, "Marktplatz 3"},
        {Layout::kFieldAGPlzStadt, "79098 Freiburg"},
        {Layout::kFieldAGKontaktperson, "Frau Wagner"},
        {Layout::kFieldAuftragsnummer, "A-2026-117"},
        {Layout::kFieldAuftragnehmer, "Elektro Schmidt GmbH"},
        {Layout::kFieldANAnschrift, "Gewerbestraße 12"},
        {Layout::kFieldANPlzStadt, "79108 Freiburg"},
        {Layout::kFieldANKontaktperson, "Jan Schmidt"},
        {Layout::kFieldPruefintervall, "24 Monate"},
        {Layout::kFieldSeriennummerMess, "QK-104233"},
        {Layout::kFieldNaechsteKalibrierung, "03/2027"},
        {Layout::kFieldPruefungAm, kVisitDate},
        {Layout::kFieldUnternehmer, "Klaus Schmidt"},
        {Layout::kFieldPruefer, "Jan Schmidt"},
    };
    for (const auto& [field, text] : fields) form_->SetFieldText(field, QString::fromUtf8(text));
    form_->SichtpruefungBox->setChecked(true);
    form_->FunktionspruefungBox->setChecked(true);
    TestUtil::Pump(50);
  }
  RecordListWindow* ShowList() {
    program_->EvCommand(ShellIds::CmShowList);
    auto* list = qobject_cast<RecordListWindow*>(program_->RecordList);
    EXPECT_NE(list, nullptr);
    return list;
  }
  // The appliance data typed into the list, as on a visit.
  void TypeAppliances(RecordListWindow* list) {
    RecordListModel* model = list->Model();
    ASSERT_EQ(model->RecordCount(), kRecords);
    auto type = [&](int row, int column, const QVariant& value, int role = Qt::EditRole) {
      ASSERT_TRUE(model->setData(model->index(row, column), value, role)) << model->LastRefusal().toStdString();
    };
    for (int row = 0; row < kRecords; ++row) {
      const Appliance& a = kAppliances[row];
      type(row, RecordListModel::ColInventar, QString::fromUtf8(a.inventar));
      type(row, RecordListModel::ColBezeichnung, QString::fromUtf8(a.bezeichnung));
      type(row, RecordListModel::ColHersteller, QString::fromUtf8(a.hersteller));
      type(row, RecordListModel::ColStandort, QString::fromUtf8(a.standort));
      type(row, RecordListModel::ColDatum, QString::fromLatin1(kVisitDate));
    }
    for (int row : kClassTwo) type(row, RecordListModel::ColClass, QStringLiteral("II"));
    // The kettle's switch sticks: its function test failed.
    type(4, RecordListModel::ColFunktion, Qt::Unchecked, Qt::CheckStateRole);
    type(4, RecordListModel::ColBemerkungen, QStringLiteral("Schalter klemmt"));
  }
  ArchiveWindow* ShowArchive() {
    program_->EvCommand(ShellIds::CmShowArchive);
    auto* archive = qobject_cast<ArchiveWindow*>(program_->ArchiveView);
    EXPECT_NE(archive, nullptr);
    if (archive) Settle(archive);
    return archive;
  }
  static void Settle(ArchiveWindow* archive) {
    EXPECT_TRUE(TestUtil::WaitFor(
        [&] {
          return !archive->Busy() && !archive->ChainChecking() && archive->StatusLabel()->text() != QStringLiteral("Lade ...");
        },
        30000));
  }
  QStringList Visit() { return {"--fast", "--record-file", RecordFile(kMeasurements)}; }

  QTemporaryDir out_;
  std::unique_ptr<Kelvara> program_;
  TMessgeraet* device_ = nullptr;
  TFormular* form_ = nullptr;
  QStringList boxes_;
  QString chosen_;
};

// First start and the tester: the program online with the simulated tester,
// then its records loaded and one of them shown in the device window.
TEST_F(GuideScreenshots, FirstStartAndTheTester) {
  StartProgram(Visit());
  EXPECT_FALSE(device_->DeviceText.isEmpty());
  Picture(program_->Frame, QStringLiteral("start"));

  LoadAll();
  device_->ButtonClicked(104);  // one record on
  TestUtil::Pump(100);
  EXPECT_EQ(device_->RecordCount, kRecords);
  Picture(program_->Frame, QStringLiteral("messgeraet"));
  EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}

// A first visit: the form as the template, the standard chosen, the list with
// the appliance data typed, a report, the labels, the records saved into the
// archive and found there.
TEST_F(GuideScreenshots, AFirstVisit) {
  StartProgram(Visit());
  LoadAll();
  FillTemplate();

  // "Prüfangaben": today's standard for the tester's records.
  form_->EvCommand(TFormular::kPruefangabenId, form_->PruefangabenButton, 0);
  auto* details = form_->findChild<TestDetailsDialog*>();
  ASSERT_NE(details, nullptr);
  auto pick = [&](int id, const QString& text) {
    auto* combo = TestUtil::Find<QComboBox>(details, id);
    ASSERT_NE(combo, nullptr);
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
  };
  pick(TestDetailsDialog::Norm0701Id, QStringLiteral("DIN EN 50699 (VDE 0702)"));
  pick(TestDetailsDialog::Norm0751Id, QStringLiteral("DIN EN 62353 (VDE 0751-1)"));
  pick(TestDetailsDialog::AnlassId, QStringLiteral("Wiederholungsprüfung"));
  Picture(details, QStringLiteral("pruefangaben"));
  TestUtil::Find<QPushButton>(details, TestDetailsDialog::OkId)->click();
  TestUtil::Pump(50);
  ASSERT_EQ(form_->findChild<TestDetailsDialog*>(), nullptr);
  // Kopieren: the device window's record (the first) on the page of today's standard.
  form_->EvCommand(TFormular::kKopierenId, form_->KopierenButton, 0);
  EXPECT_TRUE(form_->ReportPassed());
  Picture(program_->Frame, QStringLiteral("formular"));

  RecordListWindow* list = ShowList();
  ASSERT_NE(list, nullptr);
  TypeAppliances(list);
  RecordListModel* model = list->Model();
  int passed = 0;
  for (int row = 0; row < kRecords; ++row) passed += model->Entry(row).Passed;
  EXPECT_EQ(passed, kRecords - 2);
  EXPECT_FALSE(model->Entry(4).Passed);  // the kettle's function test
  EXPECT_FALSE(model->Entry(6).Passed);  // the microwave's protective conductor
  list->Table()->clearSelection();
  auto* counts = TestUtil::Find<QLabel>(list, RecordListWindow::StatusId);
  ASSERT_NE(counts, nullptr);
  EXPECT_TRUE(TestUtil::WaitFor(
      [&] { return counts->text().startsWith(QStringLiteral("12 Prüfungen: 10 bestanden, 2 nicht bestanden, 0 offen")); },
      5000))
      << counts->text().toStdString();
  Picture(list, QStringLiteral("pruefungen"), QSize(1280, 520));
  // Scrolled sideways to the appliance data and the verdict: number and
  // Inventar-Nr. stay in view.
  QTableView* table = list->Table();
  table->scrollTo(table->model()->index(0, table->model()->columnCount() - 1));
  TestUtil::Pump(50);
  table->scrollTo(table->model()->index(0, RecordListModel::ColFunktion), QAbstractItemView::PositionAtCenter);
  Picture(list, QStringLiteral("pruefungen-geraete"));

  // The report of the first appliance, as its PDF shows it.
  list->Table()->selectRow(0);
  chosen_ = out_.filePath("berichte");
  QDir().mkpath(chosen_);
  list->ReportsAsPdfFiles();
  const QString pdf = chosen_ + QStringLiteral("/BS-001.pdf");
  ASSERT_TRUE(QFile::exists(pdf)) << boxes_.join('\n').toStdString();
  const QString page = GuideOut() + QStringLiteral("/bericht");
  QFile::remove(page + QStringLiteral(".png"));
  ASSERT_EQ(QProcess::execute("pdftoppm", {"-png", "-r", "100", "-singlefile", pdf, page}), 0);
  ASSERT_TRUE(QFile::exists(page + QStringLiteral(".png")));

  // The labels of every appliance.
  list->Table()->clearSelection();
  LabelDialog* labels = list->OpenLabels();
  ASSERT_NE(labels, nullptr);
  labels->ChooseFormat("62x40");
  labels->ChooseCode(Barcode::Type::QR);
  labels->ChooseContent(Labels::Content::Inventar);
  labels->Refresh();
  labels->ShowPage(4);  // the kettle that failed: "GESPERRT"
  Picture(labels, QStringLiteral("etiketten"), QSize(900, 620));
  labels->close();

  // "Datensätze speichern...": the records into a folder and the archive.
  chosen_ = out_.filePath("datensaetze");
  QDir().mkpath(chosen_);
  boxes_.clear();
  list->SaveRecords();
  EXPECT_EQ(QDir(chosen_).entryList({"*.ini"}).size(), kRecords);
  ArchiveWindow* archive = ShowArchive();
  ASSERT_NE(archive, nullptr);
  archive->ShowCustomer(QString::fromUtf8(kCustomer));
  Settle(archive);
  ASSERT_EQ(archive->Shown().size(), size_t(kRecords));
  archive->AppliancesTable()->selectRow(4);  // its history below
  Settle(archive);
  ASSERT_EQ(archive->History()->rowCount(), 1);
  EXPECT_TRUE(archive->ChainLabel()->text().startsWith(QStringLiteral("Prüfkette intakt"))) << archive->ChainLabel()->text().toStdString();
  Picture(archive, QStringLiteral("archiv"), QSize(1180, 720));
}

// The archive of earlier years: appliances whose next test is overdue are red
// in the due list.
TEST_F(GuideScreenshots, TheDueList) {
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(out_.filePath("archiv.sqlite")));
    const struct {
      const char* customer;
      const char* inventar;
      const char* bezeichnung;
      const char* standort;
      const char* date;
      const char* interval;
    } earlier[] = {
        {"Hotel Seeblick", "HS-014", "Staubsauger", "Etage 2", "12.03.2024", "12 Monate"},
        {"Hotel Seeblick", "HS-015", "Föhn", "Zimmer 204", "12.03.2024", "12 Monate"},
        {"Hotel Seeblick", "HS-021", "Kaffeemaschine", "Frühstücksraum", "12.03.2024", "12 Monate"},
        {"Praxis Dr. Albers", "PA-003", "Wasserkocher", "Teeküche", "20.06.2024", "24 Monate"},
        {"Praxis Dr. Albers", "PA-007", "Monitor", "Empfang", "20.06.2024", "24 Monate"},
        {"Schreinerei Vogt", "SV-101", "Handkreissäge", "Werkstatt", "02.11.2025", "6 Monate"},
    };
    for (const auto& e : earlier) {
      ReportRecord r;
      r.Fields[Layout::kFieldAuftraggeber] = QString::fromUtf8(e.customer);
      r.Fields[Layout::kFieldIdentnummer] = QString::fromUtf8(e.inventar);
      r.Fields[Layout::kFieldGeraetArt] = QString::fromUtf8(e.bezeichnung);
      r.Fields[Layout::kFieldStandort] = QString::fromUtf8(e.standort);
      r.Fields[Layout::kFieldPruefungAm] = QString::fromUtf8(e.date);
      r.Fields[Layout::kFieldPruefintervall] = QString::fromUtf8(e.interval);
      r.Fields[Layout::kFieldAuftragnehmer] = QStringLiteral("Elektro Schmidt GmbH");
      r.Sichtpruefung = r.Funktionspruefung = true;
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
    }
  }
  StartProgram({"--fast", "--records", "1", "--seed", "7"});
  ArchiveWindow* archive = ShowArchive();
  ASSERT_NE(archive, nullptr);
  archive->ShowDue(30);
  Settle(archive);
  // Every one of them was due before this guide was written.
  EXPECT_EQ(archive->Shown().size(), 6u);
  Picture(archive, QStringLiteral("archiv-faellig"), QSize(1180, 560));
}

// A second visit a year after the first: planned from the archive, walked
// with the scanner (one appliance tested out of turn, one new), the review
// with its questions decided (a new location, an appliance that is gone),
// and the archive's master data afterwards.
TEST_F(GuideScreenshots, ASecondVisit) {
  Clock::Scoped clock([] { return QDateTime(QDate(2026, 12, 8), QTime(9, 41)); });
  // The first visit, a year ago: every appliance tested every 12 months.
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(out_.filePath("archiv.sqlite")));
    for (int i = 0; i < kRecords; ++i) {
      const Appliance& a = kAppliances[i];
      ReportRecord r;
      r.Fields[Layout::kFieldAuftraggeber] = QString::fromUtf8(kCustomer);
      r.Fields[Layout::kFieldAGAnschrift] = QStringLiteral("Marktplatz 3");
      r.Fields[Layout::kFieldAGPlzStadt] = QStringLiteral("79098 Freiburg");
      r.Fields[Layout::kFieldAGKontaktperson] = QStringLiteral("Frau Wagner");
      r.Fields[Layout::kFieldIdentnummer] = QString::fromUtf8(a.inventar);
      r.Fields[Layout::kFieldGeraetArt] = QString::fromUtf8(a.bezeichnung);
      r.Fields[Layout::kFieldHersteller] = QString::fromUtf8(a.hersteller);
      r.Fields[Layout::kFieldStandort] = QString::fromUtf8(a.standort);
      r.Fields[Layout::kFieldPruefungAm] = QStringLiteral("08.12.2025");
      r.Fields[Layout::kFieldPruefintervall] = QStringLiteral("12 Monate");
      r.Fields[Layout::kFieldAuftragnehmer] = QStringLiteral("Elektro Schmidt GmbH");
      r.VdePruefgrundlage = 4;
      r.VdeKlasse = std::count(std::begin(kClassTwo), std::end(kClassTwo), i) ? 2 : 1;
      r.Sichtpruefung = r.Funktionspruefung = true;
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New) << archive.Error().toStdString();
    }
    ArchiveData::Customer c;
    ASSERT_TRUE(archive.ReadCustomer(archive.CustomerId(QString::fromUtf8(kCustomer)), &c));
    c.Telefon = QStringLiteral("0761 2024511");
    c.EMail = QStringLiteral("info@baeckerei-sonnenschein.de");
    c.Standorte = QStringList{"Backstube", "Verkaufsraum", "Lager", "Pausenraum", QString::fromUtf8("Büro")};
    ASSERT_NE(archive.SaveCustomer(c), 0) << archive.Error().toStdString();
  }
  StartProgram(Visit());
  FillTemplate();
  form_->SetFieldText(Layout::kFieldPruefintervall, QString());  // each appliance's own interval
  ArchiveWindow* archive = ShowArchive();
  ASSERT_NE(archive, nullptr);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !archive->Busy() && !archive->Customers().empty(); }, 30000));

  // "Besuch vorbereiten...": the real dialog, grabbed once its sites are read.
  Seams::SetGenericDialogResponder(nullptr);
  bool prepared = false;
  auto* poll = new QTimer;
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->windowTitle() != QStringLiteral("Besuch vorbereiten")) return;
    auto* sites = modal->findChild<QListWidget*>();
    if (!sites || sites->count() < 5) return;
    poll->stop();
    poll->deleteLater();
    Picture(modal, QStringLiteral("besuch-vorbereiten"), QSize(560, 400));
    prepared = true;
    modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  poll->start();
  archive->findChild<QPushButton*>(QString::number(ArchiveWindow::VisitId))->click();
  ASSERT_TRUE(prepared);
  RecordListWindow* list = nullptr;
  ASSERT_TRUE(TestUtil::WaitFor(
      [&] { return (list = qobject_cast<RecordListWindow*>(program_->RecordList)) && list->Model()->Planned(); }, 30000));
  RecordListModel* model = list->Model();
  ASSERT_EQ(model->RecordCount(), kRecords);
  EXPECT_EQ(model->Appliance(0).InventarNr, "BS-001");

  // The walk: each appliance scanned as it is tested. The bread slicer before
  // the extension cord; a new appliance in between.
  auto scan = [&](const char* number) {
    list->ScanField()->setFocus();
    QTest::keyClicks(list->ScanField(), QString::fromUtf8(number));
    QTest::keyClick(list->ScanField(), Qt::Key_Return);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !list->Busy(); }, 30000)) << number;
  };
  for (const char* number : {"BS-001", "BS-002", "BS-004", "BS-003", "BS-013"}) scan(number);
  ASSERT_EQ(model->RecordCount(), kRecords + 1);
  EXPECT_EQ(model->Appliance(2).InventarNr, "BS-004");
  EXPECT_EQ(model->Appliance(4).InventarNr, "BS-013");
  auto* note = list->findChild<QLabel*>(QString::number(RecordListWindow::ScanNoteId));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->text().contains(QStringLiteral("neues Gerät"))) << note->text().toStdString();
  Picture(list, QStringLiteral("besuch-scanner"), QSize(1280, 560));
  // The new appliance's data typed; the till moved to the office.
  ASSERT_TRUE(model->setData(model->index(4, RecordListModel::ColBezeichnung), QStringLiteral("Brötchenautomat"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(4, RecordListModel::ColHersteller), QStringLiteral("Backmeister BA 40"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(4, RecordListModel::ColStandort), QStringLiteral("Verkaufsraum"), Qt::EditRole));
  for (const char* number : {"BS-005", "BS-006", "BS-007", "BS-008", "BS-009", "BS-010", "BS-011"}) scan(number);
  const int till = 6;
  ASSERT_EQ(model->Appliance(till).InventarNr, "BS-006");
  ASSERT_TRUE(model->setData(model->index(till, RecordListModel::ColStandort), QString::fromUtf8("Büro"), Qt::EditRole));
  // The charger BS-012 is gone: it was not scanned and sank to the end.
  EXPECT_EQ(model->Appliance(kRecords).InventarNr, "BS-012");

  LoadAll();
  EXPECT_FALSE(model->HasRecord(kRecords));

  // "Datensätze speichern...": the review, grabbed with its questions open,
  // then decided: the list's location holds, the charger is retired.
  bool reviewed = false;
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest& r) {
    if (r.kind != QStringLiteral("review")) return int(Win::IDOK);
    auto* review = r.owner->findChild<ReviewDialog*>();
    EXPECT_NE(review, nullptr);
    if (!review) return int(Win::IDCANCEL);
    const Visit::Review& found = review->Result();
    EXPECT_EQ(found.Count(Visit::Item::Kind::New), 1);
    EXPECT_EQ(found.Count(Visit::Item::Kind::Conflict), 1);
    EXPECT_EQ(found.Count(Visit::Item::Kind::NotTested), 1);
    EXPECT_FALSE(found.NothingToDecide());
    Picture(review, QStringLiteral("abgleich"), QSize(1280, 380));
    for (size_t i = 0; i < found.items.size(); ++i) {
      if (found.items[i].kind == Visit::Item::Kind::Conflict)
        EXPECT_TRUE(review->Model()->Decide(int(i), Visit::Item::Decision::UpdateMaster));
      if (found.items[i].kind == Visit::Item::Kind::NotTested)
        EXPECT_TRUE(review->Model()->Decide(int(i), Visit::Item::Decision::Retire, QStringLiteral("verschrottet")));
    }
    EXPECT_TRUE(review->Result().NothingToDecide());
    reviewed = true;
    return int(Win::IDOK);
  });
  list->Table()->clearSelection();
  chosen_ = out_.filePath("datensaetze");
  QDir().mkpath(chosen_);
  list->SaveRecords();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !list->Busy(); }, 60000));
  EXPECT_TRUE(reviewed);
  EXPECT_EQ(QDir(chosen_).entryList({"*.ini"}).size(), kRecords);

  // The archive's master data: the charger retired, the customer with its
  // address and sites, and what the visit changed.
  archive->ShowCustomer(QString::fromUtf8(kCustomer));
  Settle(archive);
  ASSERT_EQ(archive->Shown().size(), size_t(kRecords + 1));
  EXPECT_TRUE(archive->ChainLabel()->text().startsWith(QStringLiteral("Prüfkette intakt: 24 Prüfungen")))
      << archive->ChainLabel()->text().toStdString();
  auto rowOf = [&](const QString& number) {
    for (size_t i = 0; i < archive->Shown().size(); ++i)
      if (archive->Shown()[i].InventarNr == number) return int(i);
    return -1;
  };
  const int charger = rowOf(QStringLiteral("BS-012"));
  ASSERT_GE(charger, 0);
  archive->AppliancesTable()->selectRow(charger);
  Settle(archive);
  EXPECT_TRUE(archive->CurrentAppliance().Retired());
  auto* tabs = archive->findChild<QTabWidget*>(QString::number(ArchiveWindow::MasterTabsId));
  ASSERT_NE(tabs, nullptr);
  tabs->setCurrentIndex(1);
  Picture(archive, QStringLiteral("archiv-geraet"), QSize(1180, 720));
  tabs->setCurrentIndex(2);
  Picture(archive, QStringLiteral("archiv-auftraggeber"), QSize(1180, 720));
  // The till's new location, taken from the list in the review.
  ASSERT_GE(rowOf(QStringLiteral("BS-006")), 0);
  archive->AppliancesTable()->selectRow(rowOf(QStringLiteral("BS-006")));
  Settle(archive);
  EXPECT_EQ(archive->CurrentAppliance().Standort, QString::fromUtf8("Büro"));
  tabs->setCurrentIndex(3);
  Settle(archive);
  EXPECT_FALSE(archive->ChangeLog()->Changes().empty());
  Picture(archive, QStringLiteral("archiv-aenderungen"), QSize(1180, 720));
}

// The guide's pages and pictures agree: each picture a page links is in
// docs/bilder/ and is one of the tests' pictures; each file there is linked;
// each page a page links is there.
TEST(GuidePictures, EveryLinkedPictureIsThereAndEveryPictureIsLinked) {
  const QDir docs(QStringLiteral(KELVARA_SOURCE_DIR "/docs"));
  ASSERT_TRUE(docs.exists());
  const QStringList pages = docs.entryList({"*.md"}, QDir::Files);
  ASSERT_FALSE(pages.isEmpty());
  const QRegularExpression link(QStringLiteral(R"(!\[[^\]]*\]\(([^)\s]+)\))"));
  const QRegularExpression pageLink(QStringLiteral(R"(\]\(([^)#\s:]+\.md)(#[^)]*)?\))"));
  std::set<QString> linked;
  for (const QString& name : pages) {
    QFile page(docs.filePath(name));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << name.toStdString();
    const QString text = QString::fromUtf8(page.readAll());
    // The pages link each other: every page a link names is there.
    for (auto m = pageLink.globalMatch(text); m.hasNext();) {
      const QString target = m.next().captured(1);
      EXPECT_TRUE(QFile::exists(docs.filePath(target))) << name.toStdString() << ": " << target.toStdString();
    }
    for (auto m = link.globalMatch(text); m.hasNext();) {
      const QString target = m.next().captured(1);
      SCOPED_TRACE(name.toStdString() + ": " + target.toStdString());
      EXPECT_TRUE(target.startsWith(QStringLiteral("bilder/")) && target.endsWith(QStringLiteral(".png")));
      const QString picture = target.mid(7).chopped(4);
      EXPECT_TRUE(kPictures.count(picture)) << "no test makes this picture";
      EXPECT_TRUE(QFile::exists(docs.filePath(target))) << "missing: run scripts/guide-screenshots";
      linked.insert(picture);
    }
  }
  const QStringList files = QDir(docs.filePath("bilder")).entryList(QDir::Files);
  for (const QString& file : files) EXPECT_TRUE(linked.count(QFileInfo(file).completeBaseName())) << "not linked: " << file.toStdString();
  for (const QString& picture : kPictures) EXPECT_TRUE(linked.count(picture)) << "made but not shown: " << picture.toStdString();
}

}  // namespace
