// Two visits to one customer a year apart, with the whole program, the
// simulated tester (120 records each time) and the archive (a SQLite file, and
// the PostgreSQL server scripts/test starts). The first visit types every
// appliance; the second is planned from the archive, walked with the barcode
// scanner (three new appliances, two gone, two tested in swapped order),
// reviewed and stored. Every key and click the user gives is counted; the
// archive must hold each appliance's tests and nothing else, and the due list
// must move on by each appliance's interval.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QSpinBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <unistd.h>

#include "core/archive.h"
#include "core/clock.h"
#include "core/places.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "records/archivewindow.h"
#include "records/recordlistwindow.h"
#include "records/reviewdialog.h"
#include "report/TFormular.h"
#include "shell/kelvara.h"
#include "tests/pgtestdb.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

// What the user gives: keys, clicks, and scans (one pull of the scanner's
// trigger; the scanner types the number and Enter itself).
struct Actor {
  int keys = 0, clicks = 0, scans = 0;
  int Total() const { return keys + clicks + scans; }
  void Click(QAbstractButton* button) {
    ++clicks;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // A click on a cell of a table (its row becomes the current one).
  void ClickCell(QTableView* table, const QModelIndex& index) {
    ++clicks;
    table->scrollTo(index);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, table->visualRect(index).center());
  }
  void ClickInto(QWidget* widget) {
    ++clicks;
    QTest::mouseClick(widget, Qt::LeftButton);
    widget->setFocus();
  }
  // Keys into the widget that has the focus (an editor opens on the first).
  void Type(QWidget* first, const QString& text) {
    for (QChar c : text) {
      ++keys;
      QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : first;
      if (c.unicode() < 128) {
        QTest::keyClick(target, char(c.unicode()));
        continue;
      }
      // An umlaut: its text, as the keyboard sends it.
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(target, &press);
      QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
      QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : target, &release);
    }
  }
  // The focus into a control (a click on it).
  void Focus(QWidget* widget) {
    ++clicks;
    widget->setFocus();
  }
  void Key(QWidget* first, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ++keys;
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : first, key, modifiers);
  }
  void Scan(QLineEdit* field, const QString& number) {
    ++scans;
    field->setFocus();
    QTest::keyClicks(field, number);
    QTest::keyClick(field, Qt::Key_Return);
  }
  // A menu command or a control-bar button.
  void Command(Kelvara& k, int id) {
    ++clicks;
    k.EvCommand(id);
  }
  // A question answered with one click (a file dialog's "Auswählen", a box's "Nein").
  void Answer() { ++clicks; }
};

// Runs `act` on the modal dialog of this title once it stands.
void OnModal(const QString& title, std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(20);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, title, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal->windowTitle() != title) return;
    poll->stop();
    poll->deleteLater();
    // The keys go to the dialog's own widgets: it is the active window
    // before anything is typed (on a busy machine its activation lags behind).
    QApplication::setActiveWindow(modal);
    act(modal);
  });
  poll->start();
}

QString Appliance(int i) { return QStringLiteral("INV-%1").arg(i, 4, 10, QLatin1Char('0')); }
const char* const kKinds[] = {"Bohrmaschine", "Wasserkocher", "Monitor", "Drucker", "Kaffeemaschine",
                              "Verlängerungsleitung", "Staubsauger", "Heizlüfter"};

// The tester's records: R-ISO tells them apart (5.00 MOhm + record / 100).
QByteArray Records(int count) {
  QByteArray lines;
  for (int k = 0; k < count; ++k) lines += QByteArray("0 3:1200 7:") + QByteArray::number(5000 + 10 * k) + " 9:1000 11:1000\n";
  return lines;
}
QString RisoOf(int record) { return QString::asprintf("%7.2f", 5.0 + record / 100.0).trimmed(); }

class SecondVisit : public SimLink, public ::testing::WithParamInterface<Archive::Kind> {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    if (GetParam() == Archive::Kind::SQLite) {
      location_ = out_.filePath("archiv.sqlite");
    } else {
      const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
      if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
      location_ = PgTestDb::Make(server, QStringLiteral("kelvara_visits_%1").arg(::getpid()));
      ASSERT_FALSE(location_.isEmpty()) << "the PostgreSQL server at $KELVARA_TEST_PG does not answer";
    }
    qputenv("KELVARA_ARCHIVE", location_.toLocal8Bit());
    places_.emplace(Places::Set{out_.filePath("config/Kelvara"), QString()});
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      ++fileDialogs_;
      *path = folder_;
      return true;
    });
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) {
      boxes_ << r;
      return int(r.type & 0xF) == int(Win::MB_YESNOCANCEL) ? int(Win::IDNO) : int(Win::IDYES);
    });
  }
  void TearDown() override {
    Seams::ResetAll();
    places_.reset();
    qunsetenv("KELVARA_ARCHIVE");
    SimLink::TearDown();
  }
  std::unique_ptr<Kelvara> Start() {
    auto k = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(),
                                       [] { return HostInfo{true, QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5")}; });
    EXPECT_TRUE(k->InitMainWindow());
    k->Frame->show();
    auto* device = qobject_cast<TMessgeraet*>(k->DeviceWindow);
    EXPECT_TRUE(TestUtil::WaitFor([&] { return device->DeviceType == 2 && device->PortReady; }, 10000));
    EXPECT_TRUE(TestUtil::WaitFor([&] { return device->RecordButton[1]->isEnabled(); }, 5000));
    return k;
  }
  // "Lade Alle Datensätze" in the device window, and the wait for the tester.
  void Load(Kelvara& k, Actor& user, int count) {
    auto* device = qobject_cast<TMessgeraet*>(k.DeviceWindow);
    user.Command(k, ShellIds::CmShowDevice);
    user.Click(device->RecordButton[1]);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->LoadState == 0 && device->RecordCount == count; }, 240000));
  }
  // Ends the program as the user does; the form's changes are not saved as a record.
  void End(std::unique_ptr<Kelvara> k, Actor& user) {
    user.Command(*k, ShellIds::CmExit);
    user.Answer();  // "Änderungen speichern?" Nein
    k.reset();
  }
  void SetClock(const QDate& day) {
    today_ = day;
    clock_.emplace([this] { return QDateTime(today_, QTime(9, 30)); });
  }

  QTemporaryDir out_;
  QString location_, folder_;
  QDate today_;
  std::optional<Clock::Scoped> clock_;
  std::optional<Places::Scoped> places_;
  QList<MessageBoxRequest> boxes_;
  int fileDialogs_ = 0;
};

TEST_P(SecondVisit, TheSecondVisitTakesATenthOfTheFirstsKeysAndTheArchiveKeepsEachHistory) {
  const QDate first(2025, 3, 10), second(2026, 3, 10);
  const QString customer = QString::fromUtf8("Elektro Müller GmbH");

  // ---- The first visit: 120 appliances, each typed.
  SetClock(first);
  StartSim({"--fast", "--record-file", RecordFile(Records(120))});
  Actor one;
  {
    std::unique_ptr<Kelvara> k = Start();
    auto* form = qobject_cast<TFormular*>(k->ReportForm);
    one.Command(*k, ShellIds::CmShowForm);
    const struct {
      int field;
      const char* text;
    } shared[] = {{Layout::kFieldAuftraggeber, "Elektro Müller GmbH"}, {Layout::kFieldAGAnschrift, "Hauptstraße 5"},
                  {Layout::kFieldAGPlzStadt, "12345 Köln"},           {Layout::kFieldAGKontaktperson, "Frau Özdemir"},
                  {Layout::kFieldAuftragnehmer, "Prüfdienst Weiß"},    {Layout::kFieldANAnschrift, "Ringstraße 9"},
                  {Layout::kFieldANPlzStadt, "50667 Köln"},           {Layout::kFieldANTel, "0221 4711"},
                  {Layout::kFieldANKontaktperson, "Herr Groß"},        {Layout::kFieldSeriennummerMess, "99887"},
                  {Layout::kFieldNaechsteKalibrierung, "12.2026"},    {Layout::kFieldPruefintervall, "12 Monate"}};
    for (const auto& f : shared) {
      one.ClickInto(form->Edits[f.field]);
      one.Type(form->Edits[f.field], QString::fromUtf8(f.text));
    }
    one.Click(form->ErzeugenUnternehmerButton);
    one.Click(form->ErzeugenPrueferButton);
    one.Click(form->SichtpruefungBox);
    one.Click(form->FunktionspruefungBox);
    Load(*k, one, 120);
    one.Command(*k, ShellIds::CmShowList);
    auto* list = qobject_cast<RecordListWindow*>(k->RecordList);
    ASSERT_TRUE(list);
    QApplication::setActiveWindow(list);
    RecordListModel* model = list->Model();
    ASSERT_EQ(model->RecordCount(), 120);
    QTableView* table = list->Table();
    auto cell = [&](int row, int column) { return table->model()->index(row, column); };
    for (int row = 0; row < 120; ++row) {
      const int i = row + 1;
      // Four cells typed, Tab from one to the next; every tenth of class II.
      one.ClickCell(table, cell(row, RecordListModel::ColInventar));
      const QString texts[] = {Appliance(i), QString::fromUtf8(kKinds[i % 8]), QStringLiteral("Hersteller %1").arg(i % 5),
                               QStringLiteral("Halle %1").arg(i % 3 + 1)};
      for (const QString& text : texts) {
        one.Type(table, text);
        one.Key(table, Qt::Key_Tab);
      }
      one.Key(table, Qt::Key_Escape);
      if (i % 10 == 5) {
        one.ClickCell(table, cell(row, RecordListModel::ColClass));
        ++one.keys;  // "II" chosen in the cell's list
        ASSERT_TRUE(model->setData(model->index(row, RecordListModel::ColClass), QStringLiteral("II"), Qt::EditRole));
      }
      ASSERT_EQ(model->Appliance(row).Standort, texts[3]) << row;
    }
    // Every report as PDF, and every test into the archive: all rows chosen.
    one.Key(table, Qt::Key_A, Qt::ControlModifier);
    QDir(out_.path()).mkpath("besuch1");
    folder_ = out_.filePath("besuch1");
    one.Click(list->findChild<QPushButton*>(QString::number(RecordListWindow::PdfFilesId)));
    one.Answer();
    OnModal(QStringLiteral("Abgleich mit dem Archiv"), [&](QWidget* dialog) {
      auto* review = qobject_cast<ReviewDialog*>(dialog);
      ASSERT_TRUE(review);
      EXPECT_EQ(review->Result().Count(Visit::Item::Kind::New), 120);
      EXPECT_TRUE(review->Result().NothingToDecide());
      TestUtil::Grab(review, QStringLiteral("visit-review-first"));
      one.Click(review->findChild<QPushButton*>(QString::number(ReviewDialog::AcceptId)));
    });
    one.Click(list->findChild<QPushButton*>(QString::number(RecordListWindow::RecordsId)));
    one.Answer();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !list->Busy(); }, 60000));
    EXPECT_EQ(QDir(folder_).entryList({"*.pdf"}).size(), 120);
    EXPECT_EQ(QDir(folder_).entryList({"*.ini"}).size(), 120);
    EXPECT_TRUE(list->findChild<QLabel*>(QString::number(RecordListWindow::StatusId))->text().contains("120 Datensätze gespeichert und im Archiv"))
        << list->findChild<QLabel*>(QString::number(RecordListWindow::StatusId))->text().toStdString();
    End(std::move(k), one);
  }
  StopSim();

  // ---- Between the visits, in the archive window: one appliance is tested
  // every 24 months from now on, one every 6.
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
    EXPECT_EQ(archive.TestCount(), 120);
    const qint64 id = archive.CustomerId(customer);
    ArchiveData::Customer c;
    ASSERT_TRUE(archive.ReadCustomer(id, &c));
    EXPECT_EQ(c.PlzStadt, QString::fromUtf8("12345 Köln"));  // the client's address from the reports
  }
  {
    ArchiveService service;
    service.SetLocation(location_);
    ArchiveWindow window(nullptr, service);
    window.SetupWindow();
    window.show();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
    for (const auto& [number, months] : {std::pair<QString, int>{Appliance(7), 24}, {Appliance(11), 6}}) {
      window.ShowSearch(number);
      ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy() && window.Shown().size() == 1; }, 30000));
      window.AppliancesTable()->selectRow(0);
      ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy() && window.CurrentAppliance().InventarNr == number; }, 30000));
      window.findChild<QSpinBox*>(QString::number(ArchiveWindow::IntervallId))->setValue(months);
      window.findChild<QPushButton*>(QString::number(ArchiveWindow::SaveApplianceId))->click();
      ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
      EXPECT_EQ(window.CurrentAppliance().IntervalMonths, months);
    }
    window.resize(1366, 740);
    TestUtil::Grab(&window, QStringLiteral("archive-master-data"));
  }

  // ---- The second visit, a year later: planned from the archive.
  SetClock(second);
  // The walk: A7 is not due (24 months), A30 and A77 are gone, three new
  // appliances stand among the others, A51 is tested before A50.
  QStringList walk;
  for (int i = 1; i <= 120; ++i) {
    if (i == 7 || i == 30 || i == 77) continue;
    if (i == 50) {
      walk << Appliance(51) << Appliance(50);
      continue;
    }
    if (i == 51) continue;
    walk << Appliance(i);
    if (i == 10) walk << "NEU-001";
    if (i == 60) walk << "NEU-002";
  }
  walk << "NEU-003";
  ASSERT_EQ(walk.size(), 120);
  StartSim({"--fast", "--record-file", RecordFile(Records(120))});
  Actor two;
  {
    std::unique_ptr<Kelvara> k = Start();
    auto* form = qobject_cast<TFormular*>(k->ReportForm);
    // The template kept the contractor and the instrument.
    EXPECT_EQ(form->FieldText(Layout::kFieldAuftragnehmer), QString::fromUtf8("Prüfdienst Weiß"));
    EXPECT_EQ(form->FieldText(Layout::kFieldPruefer), QString::fromUtf8("50667 Köln, 10.03.2026, Herr Groß"));
    two.Command(*k, ShellIds::CmShowArchive);
    auto* archive = qobject_cast<ArchiveWindow*>(k->ArchiveView);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !archive->Busy() && !archive->Customers().empty(); }, 30000));
    OnModal(QStringLiteral("Besuch vorbereiten"), [&](QWidget* dialog) {
      dialog->resize(560, 420);
      TestUtil::Grab(dialog, QStringLiteral("visit-prepare"));
      two.Click(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
    });
    two.Click(archive->findChild<QPushButton*>(QString::number(ArchiveWindow::VisitId)));
    RecordListWindow* list = nullptr;
    ASSERT_TRUE(TestUtil::WaitFor(
        [&] { return (list = qobject_cast<RecordListWindow*>(k->RecordList)) && list->Model()->Planned(); }, 30000));
    QApplication::setActiveWindow(list);
    RecordListModel* model = list->Model();
    ASSERT_EQ(model->RecordCount(), 119);  // all but the one due next year
    EXPECT_EQ(form->FieldText(Layout::kFieldAuftraggeber), customer);
    EXPECT_EQ(form->FieldText(Layout::kFieldAGPlzStadt), QString::fromUtf8("12345 Köln"));
    for (int row = 0; row < 119; ++row) {
      // Every known appliance's data is there without a key: in the last visit's order.
      const int i = row + 1 + (row >= 6 ? 1 : 0);
      EXPECT_EQ(model->Appliance(row).InventarNr, Appliance(i)) << row;
      EXPECT_EQ(model->Appliance(row).Bezeichnung, QString::fromUtf8(kKinds[i % 8])) << row;
      EXPECT_EQ(model->Entry(row).Klasse, i % 10 == 5 ? 2 : 1) << row;
    }
    list->resize(1366, 740);
    TestUtil::Grab(list, QStringLiteral("visit-planned"));
    two.Click(form->SichtpruefungBox);
    two.Click(form->FunktionspruefungBox);

    // The walk: each appliance scanned as it is tested; the new ones get
    // their description typed.
    for (const QString& number : walk) {
      two.Scan(list->ScanField(), number);
      ASSERT_TRUE(TestUtil::WaitFor([&] { return !list->Busy(); }, 30000)) << number.toStdString();
      if (!number.startsWith("NEU")) continue;
      const int row = model->Marked();
      ASSERT_EQ(model->Appliance(row).InventarNr, number);
      const QModelIndex at = list->Table()->model()->index(row, RecordListModel::ColBezeichnung);
      two.ClickCell(list->Table(), at);
      for (const QString& text : {QStringLiteral("Toaster"), QStringLiteral("Hersteller 9"), QStringLiteral("Halle 2")}) {
        two.Type(list->Table(), text);
        two.Key(list->Table(), Qt::Key_Tab);
      }
      two.Key(list->Table(), Qt::Key_Escape);
      list->ScanField()->setFocus();
    }
    // The two gone are at the end, without a record to come.
    {
      QStringList order;
      for (int row = 0; row < model->RecordCount(); ++row) order << model->Appliance(row).InventarNr;
      std::printf("%s\n", qPrintable(order.join(' ')));
    }
    ASSERT_EQ(model->RecordCount(), 122);
    EXPECT_EQ(model->Appliance(120).InventarNr, Appliance(30));
    EXPECT_EQ(model->Appliance(121).InventarNr, Appliance(77));
    TestUtil::Grab(list, QStringLiteral("visit-scanned"));

    // The tester's records: record 1 to row 1, and so on.
    Load(*k, two, 120);
    for (int row = 0; row < 120; ++row) {
      EXPECT_EQ(model->Appliance(row).InventarNr, walk[row]) << row;
      EXPECT_EQ(model->Entry(row).Value[1].trimmed(), RisoOf(row)) << row;
    }
    EXPECT_FALSE(model->HasRecord(120));

    list->Table()->setFocus();
    two.Key(list->Table(), Qt::Key_A, Qt::ControlModifier);
    QDir(out_.path()).mkpath("besuch2");
    folder_ = out_.filePath("besuch2");
    two.Click(list->findChild<QPushButton*>(QString::number(RecordListWindow::PdfFilesId)));
    two.Answer();
    // The review: 117 known, 3 new; the two gone are retired with their reason.
    OnModal(QStringLiteral("Abgleich mit dem Archiv"), [&](QWidget* dialog) {
      auto* review = qobject_cast<ReviewDialog*>(dialog);
      ASSERT_TRUE(review);
      const Visit::Review& r = review->Result();
      EXPECT_EQ(r.Count(Visit::Item::Kind::Known), 117);
      EXPECT_EQ(r.Count(Visit::Item::Kind::New), 3);
      EXPECT_EQ(r.Count(Visit::Item::Kind::NotTested), 2);
      EXPECT_TRUE(r.NothingToDecide());  // one click would store it, the two staying due
      QTableView* table = review->Table();
      for (int row = 0; row < table->model()->rowCount(); ++row) {
        const int item = table->model()->index(row, 0).data(Qt::UserRole).toInt();
        if (r.items[size_t(item)].kind != Visit::Item::Kind::NotTested) continue;
        auto* choice = qobject_cast<QComboBox*>(table->indexWidget(table->model()->index(row, ReviewModel::ColDecision)));
        ASSERT_TRUE(choice);
        two.Focus(choice);
        two.Key(choice, Qt::Key_Down);  // "ausmustern"
        two.ClickCell(table, table->model()->index(row, ReviewModel::ColDetail));
        two.Type(table, QStringLiteral("defekt"));
        two.Key(table, Qt::Key_Return);
      }
      TestUtil::Grab(review, QStringLiteral("visit-review"));
      two.Click(review->findChild<QPushButton*>(QString::number(ReviewDialog::AcceptId)));
    });
    two.Click(list->findChild<QPushButton*>(QString::number(RecordListWindow::RecordsId)));
    two.Answer();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !list->Busy(); }, 60000));
    EXPECT_EQ(QDir(folder_).entryList({"*.pdf"}).size(), 120);
    EXPECT_EQ(QDir(folder_).entryList({"*.ini"}).size(), 120);
    End(std::move(k), two);
  }

  // ---- The archive: each appliance's history holds its tests and nothing else.
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  EXPECT_EQ(archive.TestCount(), 240);
  const std::vector<ArchiveData::Appliance> all = archive.Appliances(customer);
  EXPECT_EQ(all.size(), 123u);  // 120 and the three new ones, nothing "ohne Nr."
  EXPECT_EQ(archive.Customers().size(), 1);
  for (const ArchiveData::Appliance& a : all) {
    const std::vector<ArchiveData::Test> history = archive.History(a.Id);
    const int secondRecord = int(walk.indexOf(a.InventarNr));
    const bool firstVisit = !a.InventarNr.startsWith("NEU");
    ASSERT_EQ(history.size(), size_t(firstVisit) + size_t(secondRecord >= 0)) << a.InventarNr.toStdString();
    if (firstVisit) {
      EXPECT_EQ(history[0].Date, first);
      EXPECT_EQ(history[0].Rows[1].Measured.trimmed(), RisoOf(a.InventarNr.mid(4).toInt() - 1)) << a.InventarNr.toStdString();
    }
    if (secondRecord >= 0) {
      EXPECT_EQ(history.back().Date, second);
      EXPECT_EQ(history.back().Rows[1].Measured.trimmed(), RisoOf(secondRecord)) << a.InventarNr.toStdString();
    }
    // The due list moves on by each appliance's interval; the gone ones are retired.
    const int n = a.InventarNr.mid(4).toInt();
    if (!firstVisit) {
      EXPECT_EQ(a.NextDue, second.addMonths(12)) << a.InventarNr.toStdString();
      EXPECT_EQ(a.Bezeichnung, "Toaster");
    } else if (n == 30 || n == 77) {
      EXPECT_TRUE(a.Retired()) << a.InventarNr.toStdString();
      EXPECT_EQ(a.RetiredReason, "defekt");
      EXPECT_FALSE(a.NextDue.isValid());
    } else if (n == 7) {
      EXPECT_EQ(a.NextDue, first.addMonths(24));
    } else {
      EXPECT_EQ(a.NextDue, second.addMonths(n == 11 ? 6 : 12)) << a.InventarNr.toStdString();
      EXPECT_EQ(a.ProtectionClass, n % 10 == 5 ? 2 : 1) << a.InventarNr.toStdString();
    }
  }
  const std::vector<ArchiveData::Appliance> due = archive.DueList(0, second.addMonths(12));
  EXPECT_EQ(due.size(), 121u);  // all but the two retired and the one due in 2027
  // The counts, for the README.
  const QString counts = QStringLiteral("%1: Besuch 1: %2 Tasten, %3 Klicks, zusammen %4; Besuch 2: %5 Tasten, %6 Klicks, "
                                        "%7 Scans, zusammen %8 (%9 %)\n")
                             .arg(GetParam() == Archive::Kind::SQLite ? "SQLite" : "PostgreSQL")
                             .arg(one.keys)
                             .arg(one.clicks)
                             .arg(one.Total())
                             .arg(two.keys)
                             .arg(two.clicks)
                             .arg(two.scans)
                             .arg(two.Total())
                             .arg(100.0 * two.Total() / one.Total(), 0, 'f', 1);
  std::fputs(counts.toUtf8().constData(), stdout);
  QFile file(TestUtil::OutDir() + "/visit-counts.txt");
  if (file.open(QIODevice::Append)) file.write(counts.toUtf8());
  EXPECT_LE(two.Total() * 10, one.Total());
}

INSTANTIATE_TEST_SUITE_P(Databases, SecondVisit, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
