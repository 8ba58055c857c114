// The windows of a visit and of the master data: the archive window's edits
// (kept, merged, retired, and refused with their reason when the archive
// cannot take them), the record list's rows moved, skipped and inserted with
// the records following their places, numbers typed and scanned, the review's
// questions, and the report's template in the form.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/places.h"
#include "core/reporttemplate.h"
#include "device/TMessgeraet.h"
#include "platform/screenfit.h"
#include "platform/seams.h"
#include "records/archivewindow.h"
#include "records/recordlistwindow.h"
#include "records/reviewdialog.h"
#include "report/TFormular.h"
#include "tests/testutil.h"

namespace {

// An archive of one customer with five appliances, tested in the order 1..5.
QString MakeArchive(const QTemporaryDir& dir) {
  const QString path = dir.filePath("archiv.sqlite");
  Archive archive;
  EXPECT_TRUE(archive.Open(path));
  for (int i = 1; i <= 5; ++i) {
    ReportRecord r;
    r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Praxis");
    r.Fields[Layout::kFieldIdentnummer] = QStringLiteral("P-%1").arg(i);
    r.Fields[Layout::kFieldGeraetArt] = QStringLiteral("Gerät %1").arg(i);
    r.Fields[Layout::kFieldStandort] = QStringLiteral("Raum %1").arg(i % 2 + 1);
    r.Fields[Layout::kFieldPruefungAm] = QStringLiteral("01.02.2025");
    r.VdePruefgrundlage = 4;
    r.VdeKlasse = i == 2 ? 2 : 1;
    EXPECT_EQ(archive.StoreReport(r), Archive::Stored::New) << archive.Error().toStdString();
  }
  return path;
}

// Keys as typed (an umlaut as its text).
void Keys(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 128) {
      QTest::keyClick(widget, char(c.unicode()));
      continue;
    }
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
  }
}

void Settle(ArchiveWindow& window) { ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000)); }

// The device window with `count` records that differ by their R-ISO (5.00 + record / 100).
struct Records {
  TMessgeraet device{nullptr, 1000, 0};
  TFormular form{&device};
  int count;
  // The records are there once Load() says so.
  explicit Records(int n) : count(n) {
    device.SetupWindow();
    form.SetupWindow();
    for (int& a : device.MeasurementAvailable) a = 1;
    device.RecordCount = 0;
    for (int i = 0; i < count; ++i) {
      DeviceRecord& rec = device.Records[i];
      rec = DeviceRecord();
      const int codes[4] = {3, 7, 9, 11}, raws[4] = {1200, 5000 + 10 * i, 1000, 1000};
      for (int e = 0; e < 4; ++e) rec.RangeCode[e] = codes[e], rec.RawValue[e] = raws[e];
    }
  }
  void Load() {
    device.RecordCount = count;
    device.LoadState = 0;
  }
};

Visit::Plan PlanOf(const QString& archivePath) {
  Archive archive;
  EXPECT_TRUE(archive.Open(archivePath));
  Visit::Plan plan;
  EXPECT_TRUE(archive.ReadCustomer(archive.CustomerId(QStringLiteral("Praxis")), &plan.Customer));
  plan.Appliances = archive.VisitPlan(plan.Customer.Id, {}, QDate());
  return plan;
}

TEST(MasterDataWindow, AppliancesAndCustomersAreEditedMergedAndRetiredWithTheirChanges) {
  QTemporaryDir dir;
  const QString path = MakeArchive(dir);
  ArchiveService service;
  service.SetLocation(path);
  ArchiveWindow window(nullptr, service);
  window.SetupWindow();
  window.show();
  Settle(window);
  window.ShowCustomer(QStringLiteral("Praxis"));
  Settle(window);
  ASSERT_EQ(window.Shown().size(), 5u);
  EXPECT_EQ(window.CurrentCustomer().Name, "Praxis");
  // The appliance's data typed into its panel and saved.
  window.AppliancesTable()->selectRow(0);
  Settle(window);
  ASSERT_EQ(window.CurrentAppliance().InventarNr, "P-1");
  auto* description = window.findChild<QLineEdit*>(QString::number(ArchiveWindow::BezeichnungId));
  auto* save = window.findChild<QPushButton*>(QString::number(ArchiveWindow::SaveApplianceId));
  EXPECT_FALSE(save->isEnabled());
  description->selectAll();
  Keys(description, QString::fromUtf8("Kühlschrank"));
  ASSERT_TRUE(save->isEnabled());
  save->click();
  Settle(window);
  EXPECT_EQ(window.Shown()[0].Bezeichnung, QString::fromUtf8("Kühlschrank"));
  ASSERT_FALSE(window.ChangeLog()->Changes().empty());
  EXPECT_EQ(window.ChangeLog()->Changes()[0].Field, "Gerät/Bezeichnung");
  EXPECT_EQ(window.ChangeLog()->Changes()[0].Before, "Gerät 1");
  // P-5 is the same appliance as P-1: its test joins P-1's history.
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
  window.MergeAppliance(window.Shown()[4].Id);
  Settle(window);
  ASSERT_EQ(window.Shown().size(), 4u);
  EXPECT_EQ(window.History()->rowCount(), 2);
  // Retired (the dialog's day and an empty reason).
  window.findChild<QPushButton*>(QString::number(ArchiveWindow::RetireId))->click();
  Settle(window);
  EXPECT_TRUE(window.CurrentAppliance().Retired());
  EXPECT_EQ(window.findChild<QPushButton*>(QString::number(ArchiveWindow::RetireId))->text(), "Wieder in Betrieb");
  // The customer: an address and a new name; the lists follow.
  auto* name = window.findChild<QLineEdit*>(QString::number(ArchiveWindow::NameId));
  auto* city = window.findChild<QLineEdit*>(QString::number(ArchiveWindow::PlzStadtId));
  name->selectAll();
  Keys(name, QString::fromUtf8("Praxis Dr. Weiß"));
  Keys(city, QString::fromUtf8("50667 Köln"));
  window.findChild<QPushButton*>(QString::number(ArchiveWindow::SaveCustomerId))->click();
  Settle(window);
  EXPECT_EQ(window.CurrentCustomer().Name, QString::fromUtf8("Praxis Dr. Weiß"));
  EXPECT_EQ(window.Shown()[1].Customer, QString::fromUtf8("Praxis Dr. Weiß"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return window.Customers().size() == 1 && window.Customers()[0].PlzStadt == QString::fromUtf8("50667 Köln"); }, 10000));
  window.resize(1366, 740);
  TestUtil::Grab(&window, QStringLiteral("archive-master-data-edited"));
}

TEST(MasterDataWindow, AWriteTheArchiveRefusesIsToldWithItsReasonAndTheTypedTextStays) {
  QTemporaryDir dir;
  const QString path = MakeArchive(dir);
  ArchiveService service;
  service.SetLocation(path);
  ArchiveWindow window(nullptr, service);
  window.SetupWindow();
  Settle(window);
  window.ShowCustomer(QStringLiteral("Praxis"));
  Settle(window);
  window.AppliancesTable()->selectRow(1);
  Settle(window);
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes << r, int(Win::IDOK); });
  // Another program holds the archive's write lock beyond the archive's wait.
  const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
  ASSERT_FALSE(sqlite.isEmpty()) << "sqlite3 (a second program to hold the lock) is not installed";
  QProcess holder;
  holder.start(sqlite, {path});
  ASSERT_TRUE(holder.waitForStarted());
  holder.write("BEGIN IMMEDIATE; INSERT INTO customers (name) VALUES ('Sperre'); SELECT 'gesperrt';\n");
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  auto* serial = window.findChild<QLineEdit*>(QString::number(ArchiveWindow::SeriennummerId));
  QTest::keyClicks(serial, QStringLiteral("SN 4711"));
  window.SaveAppliance();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !boxes.isEmpty(); }, 30000));
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("wurde nicht gespeichert"))) << boxes[0].text.toStdString();
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("von einem anderen Programm benutzt"))) << boxes[0].text.toStdString();
  EXPECT_EQ(serial->text(), "SN 4711");
  EXPECT_TRUE(window.findChild<QPushButton*>(QString::number(ArchiveWindow::SaveApplianceId))->isEnabled());
  holder.closeWriteChannel();
  holder.waitForFinished();
  // Once the other program let go, the same click saves it.
  window.SaveAppliance();
  Settle(window);
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_EQ(window.CurrentAppliance().Seriennummer, "SN 4711");
}

TEST(VisitList, RowsMovedSkippedAndInsertedTakeTheRecordsOfTheirPlaces) {
  QTemporaryDir dir;
  const QString path = MakeArchive(dir);
  Records tester(5);
  ArchiveService service;
  service.SetLocation(path);
  RecordListWindow list(&tester.device, &tester.form, service);
  list.SetupWindow();
  list.show();
  list.PlanVisit(PlanOf(path));
  RecordListModel* model = list.Model();
  ASSERT_EQ(model->RecordCount(), 5);
  EXPECT_EQ(tester.form.FieldText(Layout::kFieldAuftraggeber), "Praxis");
  EXPECT_FALSE(model->HasRecord(0));
  EXPECT_EQ(model->Entry(1).ClassText, "II");  // the class from the archive, before any record
  // P-2 is gone: skipped; a new appliance stands after P-3; P-4 and P-5 were swapped.
  list.SetCurrentRow(1);
  list.SkipCurrent();
  list.SetCurrentRow(3);
  list.InsertAtCurrent();
  ASSERT_TRUE(model->setData(model->index(3, RecordListModel::ColInventar), QStringLiteral("NEU-1"), Qt::EditRole));
  list.SetCurrentRow(5);
  list.MoveCurrent(-1);
  tester.Load();
  model->TakeLoad();
  QStringList order, records;
  for (int row = 0; row < model->RecordCount(); ++row) {
    order << model->Appliance(row).InventarNr;
    records << (model->HasRecord(row) ? model->Entry(row).Value[1].trimmed() : QStringLiteral("-"));
  }
  EXPECT_EQ(order.join(' '), "P-1 P-2 P-3 NEU-1 P-5 P-4");
  EXPECT_EQ(records.join(' '), "5.00 - 5.01 5.02 5.03 5.04");
  EXPECT_EQ(model->data(model->index(1, RecordListModel::ColVerdict), Qt::DisplayRole).toString(), QString::fromUtf8("übersprungen"));
  // The skipped row taken back: the records after it move down a row.
  list.SetCurrentRow(1);
  list.SkipCurrent();
  EXPECT_EQ(model->Entry(1).Value[1].trimmed(), "5.01");
  EXPECT_FALSE(model->HasRecord(5));
  // Only a row made in this visit can be removed.
  list.SetCurrentRow(0);
  list.RemoveCurrent();
  EXPECT_EQ(model->RecordCount(), 6);
  list.resize(1366, 740);
  TestUtil::Grab(&list, QStringLiteral("visit-rows"));
}

TEST(VisitList, NumbersScannedOrTypedAreFoundInTheArchiveOffTheWindowsThread) {
  QTemporaryDir dir;
  const QString path = MakeArchive(dir);
  Records tester(3);
  tester.Load();
  ArchiveService service;
  service.SetLocation(path);
  RecordListWindow list(&tester.device, &tester.form, service);
  list.SetupWindow();
  list.show();
  RecordListModel* model = list.Model();
  ASSERT_EQ(model->RecordCount(), 3);
  // Without a plan: the form's client is the customer; a number typed into a
  // row brings the appliance's data from the archive.
  tester.form.SetFieldText(Layout::kFieldAuftraggeber, QStringLiteral("Praxis"));
  QTableView* table = list.Table();
  const QModelIndex cell = table->model()->index(0, RecordListModel::ColInventar);
  table->setCurrentIndex(cell);
  table->edit(cell);
  // The number's column stays in view over the table's left edge: its editor is there.
  auto* editor = list.FrozenColumns()->viewport()->findChild<QLineEdit*>();
  ASSERT_TRUE(editor);
  QTest::keyClicks(editor, QStringLiteral("p-2"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !list.Busy() && model->Appliance(0).Bezeichnung == "Gerät 2"; }, 10000));
  EXPECT_EQ(model->Entry(0).ClassText, "II");
  // The scanner at record 2: a known number takes the record; an unknown one
  // takes the next; each says what it did.
  list.SetCurrentRow(1);
  QTest::keyClicks(list.ScanField(), QStringLiteral("P-4"));
  QTest::keyClick(list.ScanField(), Qt::Key_Return);
  QTest::keyClicks(list.ScanField(), QStringLiteral("X-99;Praxis;02/2027"));  // a label's code with more after the number
  QTest::keyClick(list.ScanField(), Qt::Key_Return);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !list.Busy(); }, 10000));
  EXPECT_EQ(model->Appliance(1).InventarNr, "P-4");
  EXPECT_EQ(model->Appliance(1).Bezeichnung, "Gerät 4");
  EXPECT_EQ(model->Appliance(2).InventarNr, "X-99");
  EXPECT_TRUE(model->Appliance(2).Bezeichnung.isEmpty());
  EXPECT_EQ(model->RecordCount(), 3);  // each took the row of its record
  const QString note = list.findChild<QLabel*>(QString::number(RecordListWindow::ScanNoteId))->text();
  EXPECT_TRUE(note.startsWith(QStringLiteral("X-99: Prüfung 003 gehört zu diesem Gerät (neu)"))) << note.toStdString();
  // Completion: the archive's numbers as they are typed.
  list.ScanField()->setFocus();
  QTest::keyClicks(list.ScanField(), QStringLiteral("p-"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return list.Completions()->rowCount() == 5; }, 10000));
  EXPECT_EQ(list.Completions()->index(2, 0).data(Qt::UserRole).toString(), "P-3");
}

TEST(VisitReview, AConflictWaitsForItsDecisionAndTheArchivesDataCanWin) {
  Visit::Review review;
  review.customer = QStringLiteral("Praxis");
  review.customerKnown = true;
  Visit::Item conflict;
  conflict.kind = Visit::Item::Kind::Conflict;
  conflict.row = 0;
  conflict.record = 0;
  conflict.number = QStringLiteral("P-1");
  conflict.known.Id = 1;
  conflict.differences << QString::fromUtf8("Gerät/Bezeichnung: im Archiv „Gerät 1“, in der Liste „Toaster“");
  Visit::Item fresh;
  fresh.kind = Visit::Item::Kind::New;
  fresh.row = 1;
  fresh.record = 1;
  fresh.number = QStringLiteral("N-1");
  fresh.decision = Visit::Item::Decision::Store;
  review.items = {conflict, fresh};
  ReviewDialog dialog(review);
  dialog.show();
  auto* accept = dialog.findChild<QPushButton*>(QString::number(ReviewDialog::AcceptId));
  EXPECT_FALSE(accept->isEnabled());
  TestUtil::Grab(&dialog, QStringLiteral("visit-review-conflict"));
  QTableView* table = dialog.Table();
  // What differs is what the user decides on: it stands in full in its cell.
  for (int row = 0; row < table->model()->rowCount(); ++row) {
    const QModelIndex finding = table->model()->index(row, ReviewModel::ColFinding);
    const QRect cell = table->visualRect(finding).adjusted(3, 0, -3, 0);
    const QRect needed = table->fontMetrics().boundingRect(cell, table->wordWrap() ? Qt::TextWordWrap : 0,
                                                                   finding.data().toString());
    EXPECT_LE(needed.height(), cell.height()) << finding.data().toString().toStdString();
    EXPECT_LE(needed.width(), cell.width()) << finding.data().toString().toStdString();
  }
  // Another appliance: only once its new number is there.
  int conflictRow = -1;
  for (int row = 0; row < table->model()->rowCount(); ++row)
    if (table->model()->index(row, 0).data(Qt::UserRole).toInt() == 0) conflictRow = row;
  ASSERT_GE(conflictRow, 0);
  auto* choice = qobject_cast<QComboBox*>(table->indexWidget(table->model()->index(conflictRow, ReviewModel::ColDecision)));
  ASSERT_TRUE(choice);
  choice->setFocus();
  QTest::keyClick(choice, Qt::Key_Down);  // the first choice below "bitte wählen"
  EXPECT_EQ(dialog.Result().items[0].decision, Visit::Item::Decision::KeepMaster);
  EXPECT_TRUE(accept->isEnabled());
  QTest::keyClick(choice, Qt::Key_Down);
  QTest::keyClick(choice, Qt::Key_Down);
  EXPECT_EQ(dialog.Result().items[0].decision, Visit::Item::Decision::OtherAppliance);
  EXPECT_FALSE(accept->isEnabled());
  ASSERT_TRUE(table->model()->setData(table->model()->index(conflictRow, ReviewModel::ColDetail), "P-9", Qt::EditRole));
  EXPECT_TRUE(accept->isEnabled());
  EXPECT_EQ(dialog.Result().items[0].newNumber, "P-9");
}

struct Mount {
  QTemporaryDir point;
  QByteArray where = QFile::encodeName(point.path());
  bool Make(const char* options) { return ::mount("tmpfs", where.constData(), "tmpfs", 0, options) == 0; }
  bool ReadOnly() { return ::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  ~Mount() { ::umount2(where.constData(), MNT_DETACH); }
};

TEST(ReportTemplateForm, TheFormKeepsItsTemplateAndSaysWhenItCannot) {
  QTemporaryDir dir;
  Places::Scoped places({dir.filePath("config"), QString()});
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes << r, int(Win::IDOK); });
  {
    TFormular form(nullptr);
    form.SetupWindow();
    form.KeepTemplate();
    form.SetFieldText(Layout::kFieldAuftragnehmer, QString::fromUtf8("Prüfdienst Weiß"));
    form.SetFieldText(Layout::kFieldMessgeraet, QStringLiteral("QK248"));
    ASSERT_TRUE(form.SaveTemplate());
  }
  {
    // As after a restart.
    TFormular form(nullptr);
    form.SetupWindow();
    form.KeepTemplate();
    EXPECT_EQ(form.FieldText(Layout::kFieldAuftragnehmer), QString::fromUtf8("Prüfdienst Weiß"));
    EXPECT_FALSE(form.Modified);
  }
  // A damaged file: said once the program stands, kept aside.
  QFile damaged(ReportTemplate::File());
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write("Unsinn ohne Abschnitt\n");
  damaged.close();
  {
    TFormular form(nullptr);
    form.SetupWindow();
    form.KeepTemplate();
    EXPECT_TRUE(form.FieldText(Layout::kFieldAuftragnehmer).isEmpty());
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !boxes.isEmpty(); }, 5000));
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("beschädigt"))) << boxes[0].text.toStdString();
  }
  EXPECT_EQ(QDir(dir.filePath("config")).entryList({"vorlage.ini.beschaedigt-*"}).size(), 1);
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a read-only file system needs root";
  // A settings folder that became read-only: told once, not at every change.
  Mount disk;
  ASSERT_TRUE(disk.Make("size=64k")) << std::strerror(errno);
  Places::Scoped readOnly({disk.point.path(), QString()});
  ASSERT_TRUE(disk.ReadOnly()) << std::strerror(errno);
  boxes.clear();
  TFormular form(nullptr);
  form.SetupWindow();
  form.KeepTemplate();
  form.SetFieldText(Layout::kFieldAuftragnehmer, QStringLiteral("Firma A"));
  EXPECT_FALSE(form.SaveTemplate());
  form.SetFieldText(Layout::kFieldAuftragnehmer, QStringLiteral("Firma B"));
  EXPECT_FALSE(form.SaveTemplate());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("schreibgeschützt"))) << boxes[0].text.toStdString();
}

}  // namespace

namespace {

// The windows of a visit on a small screen (1366 x 768, and the same at
// 200 %: run with QT_SCALE_FACTOR=2 to see it as such a user does): each fits
// the screen's free area, and is grabbed to be looked at.
TEST(VisitScreens, ThePlannedListTheReviewAndTheMasterDataFitASmallScreen) {
  struct Screen {
    QRect area;
    const char* name;
  } screens[] = {{QRect(0, 28, 1366, 740), "1366x768"}, {QRect(0, 14, 683, 370), "683x384"}};
  const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
  QTemporaryDir dir;
  const QString path = MakeArchive(dir);
  for (const Screen& screen : screens) {
    ScreenFit::SetArea([area = screen.area] { return area; });
    const QString suffix = QStringLiteral("%1-x%2").arg(QString::fromLatin1(screen.name), scale);
    auto fits = [&](QWidget* window) {
      const QSize frame = window->size() + QSize(ScreenFit::kFrameWidth, ScreenFit::kFrameHeight);
      EXPECT_TRUE(frame.width() <= screen.area.width() && frame.height() <= screen.area.height())
          << screen.name << " " << window->windowTitle().toStdString() << ": " << frame.width() << "x" << frame.height()
          << " (at least " << window->minimumSizeHint().width() << "x" << window->minimumSizeHint().height() << ")";
    };
    ArchiveService service;
    service.SetLocation(path);
    {
      ArchiveWindow window(nullptr, service);
      window.SetupWindow();
      window.show();
      Settle(window);
      window.ShowCustomer(QStringLiteral("Praxis"));
      Settle(window);
      window.AppliancesTable()->selectRow(1);
      Settle(window);
      window.findChild<QTabWidget*>(QString::number(ArchiveWindow::MasterTabsId))->setCurrentIndex(1);
      fits(&window);
      TestUtil::Grab(&window, QStringLiteral("visit-master-data-%1").arg(suffix));
    }
    Records tester(5);
    RecordListWindow list(&tester.device, &tester.form, service);
    list.SetupWindow();
    list.show();
    list.PlanVisit(PlanOf(path));
    fits(&list);
    TestUtil::Grab(&list, QStringLiteral("visit-planned-%1").arg(suffix));
    Visit::Review review;
    review.customer = QStringLiteral("Praxis");
    review.customerKnown = true;
    for (int i = 0; i < 5; ++i) {
      Visit::Item item;
      item.kind = i == 4 ? Visit::Item::Kind::NotTested : i == 3 ? Visit::Item::Kind::Conflict : Visit::Item::Kind::New;
      item.row = i;
      item.record = i == 4 ? -1 : i;
      item.number = QStringLiteral("P-%1").arg(i + 1);
      if (i == 3) item.differences << QString::fromUtf8("Gerät/Bezeichnung: im Archiv „Gerät 4“, in der Liste „Toaster“");
      item.decision = i == 3 ? Visit::Item::Decision::None : i == 4 ? Visit::Item::Decision::StayDue : Visit::Item::Decision::Store;
      review.items.push_back(item);
    }
    ReviewDialog dialog(review, &list);
    dialog.show();
    fits(&dialog);
    TestUtil::Grab(&dialog, QStringLiteral("visit-review-%1").arg(suffix));
  }
  ScreenFit::SetArea({});
}

}  // namespace
