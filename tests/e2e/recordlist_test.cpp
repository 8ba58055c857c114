// A visit end to end: 50 records loaded from the simulated tester into the
// record list, appliance data typed for some, and every report written at once
// as PDF files, one PDF, data record files and CSV; each output is read back
// and compared with the list and with Kopieren by hand.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QProcess>
#include <QRegularExpression>
#include <QTableView>

#include "core/archiveservice.h"
#include "device/TMessgeraet.h"
#include "core/commandids.h"
#include "shell/children.h"
#include "shell/kelvara.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "render/batch.h"
#include "core/recordlist.h"
#include "records/recordlistwindow.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

// RFC 4180 with semicolons, strictly: a cell is plain (no quote, separator or
// line break in it) or quoted with doubled quotes inside; every line ends in
// CR LF. Returns false at the first fault.
bool ReadCsvStrictly(const QByteArray& bytes, std::vector<QStringList>* rows) {
  if (!bytes.startsWith("\xEF\xBB\xBF")) return false;
  const QString text = QString::fromUtf8(bytes.mid(3));
  QStringList row;
  int i = 0;
  while (i < text.size()) {
    QString cell;
    if (text[i] == QLatin1Char('"')) {
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] == QLatin1Char('"')) {
          if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
            cell += QLatin1Char('"');
            ++i;
            continue;
          }
          ++i;
          break;
        }
        cell += text[i];
      }
    } else {
      while (i < text.size() && text[i] != QLatin1Char(';') && text[i] != QLatin1Char('\r')) {
        if (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\n')) return false;
        cell += text[i++];
      }
    }
    row << cell;
    if (i < text.size() && text[i] == QLatin1Char(';')) {
      ++i;
      continue;
    }
    if (text.mid(i, 2) != QLatin1String("\r\n")) return false;
    i += 2;
    rows->push_back(row);
    row.clear();
  }
  return row.isEmpty();
}

QString PdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  if (!p.waitForFinished(30000)) return QString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

class Visit : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes_ << r, int(Win::IDYES); });
    // The review before the archive: taken as it comes.
    Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
    Seams::SetFileDialogResponder([this](const FileDialogRequest&, QString* path) {
      if (chosen_.isEmpty()) return false;
      *path = chosen_;
      return true;
    });
  }
  void TearDown() override {
    list_.reset();
    form_.reset();
    Seams::ResetAll();
    SimLink::TearDown();
  }
  // Loads the records from the simulator and opens the list over them.
  void LoadIntoList(int records) {
    StartSim({"--fast", "--records", QString::number(records), "--seed", "7"});
    OpenWindow();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
    form_ = std::make_unique<TFormular>(w.get());
    form_->SetupWindow();
    form_->SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
    form_->SetFieldText(30, QStringLiteral("Prüfer Schmidt"));
    form_->SichtpruefungBox->setChecked(true);
    form_->FunktionspruefungBox->setChecked(true);
    list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
    list_->SetupWindow();
    list_->show();
    LoadAll();
    ASSERT_EQ(list_->Model()->RecordCount(), records);
  }
  QString Out(const QString& name) const { return out_.filePath(name); }

  QTemporaryDir out_;
  ArchiveService archive_;
  std::unique_ptr<TFormular> form_;
  std::unique_ptr<RecordListWindow> list_;
  QList<MessageBoxRequest> boxes_;
  QString chosen_;
};

TEST_F(Visit, FiftyRecordsBecomeReportsThatAgreeWithTheList) {
  LoadIntoList(50);
  RecordListModel* model = list_->Model();
  // Appliance data for some, as a user types it into the list.
  auto type = [&](int row, int column, const QString& text) {
    ASSERT_TRUE(model->setData(model->index(row, column), text, Qt::EditRole));
  };
  type(0, RecordListModel::ColInventar, QStringLiteral("INV-0001"));
  type(0, RecordListModel::ColBezeichnung, QStringLiteral("Bohrmaschine"));
  type(0, RecordListModel::ColStandort, QStringLiteral("Werkstatt; Halle 2"));
  type(1, RecordListModel::ColStandort, QStringLiteral("Büro 3, Erdgeschoss"));
  type(3, RecordListModel::ColBezeichnung, QStringLiteral("=HYPERLINK(\"http://example.invalid\")"));
  type(1, RecordListModel::ColInventar, QStringLiteral("INV-0002"));
  type(1, RecordListModel::ColBemerkungen, QStringLiteral("Kabel \"geknickt\", getauscht"));
  ASSERT_TRUE(model->setData(model->index(2, RecordListModel::ColFunktion), Qt::Unchecked, Qt::CheckStateRole));
  int passed = 0, failed = 0;
  for (int row = 0; row < 50; ++row) (model->Entry(row).Passed ? passed : failed) += 1;
  EXPECT_GT(passed, 0);
  EXPECT_GT(failed, 0);  // record 3 at least: its function test failed
  EXPECT_FALSE(model->Entry(2).Passed);

  // --- PDF files, one per record.
  QDir(out_.path()).mkpath("pdf");
  chosen_ = Out("pdf");
  list_->ReportsAsPdfFiles();
  const QStringList pdfs = QDir(Out("pdf")).entryList({"*.pdf"}, QDir::Files, QDir::Name);
  ASSERT_EQ(pdfs.size(), 50);
  EXPECT_TRUE(pdfs.contains("INV-0001.pdf"));
  EXPECT_TRUE(pdfs.contains("Datensatz 003.pdf"));
  EXPECT_TRUE(QDir(Out("pdf")).entryList(QDir::Hidden | QDir::Files).filter(".part").isEmpty());
  QFile::remove(TestUtil::OutDir() + "/batch-report.pdf");
  QFile::copy(Out("pdf/INV-0001.pdf"), TestUtil::OutDir() + "/batch-report.pdf");  // to be looked at
  for (int row = 0; row < 50; ++row) {
    const QString stem = RecordList::FileStem(model->Entry(row), model->Appliance(row));
    const QString text = PdfText(Out("pdf/" + stem + ".pdf"));
    ASSERT_FALSE(text.isEmpty()) << row;
    const bool pdfPassed = text.contains("Der Prüfling hat die Prüfung bestanden");
    EXPECT_EQ(pdfPassed, model->Entry(row).Passed) << row;
    EXPECT_TRUE(text.contains("Elektro Müller GmbH")) << row;
    if (!model->Appliance(row).InventarNr.isEmpty()) EXPECT_TRUE(text.contains(model->Appliance(row).InventarNr));
  }

  // --- One PDF with a page per record.
  chosen_ = Out("alle.pdf");
  list_->ReportsAsOnePdf();
  QProcess info;
  info.start("pdfinfo", {Out("alle.pdf")});
  ASSERT_TRUE(info.waitForFinished(30000));
  EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains(QRegularExpression("Pages:\\s+50\\b")));

  // --- Data record files: each loads into a fresh form with the list's results,
  // and equals what Kopieren and saving by hand make.
  QDir(out_.path()).mkpath("ini");
  chosen_ = Out("ini");
  list_->SaveRecords();
  TFormular fresh(w.get());
  fresh.SetupWindow();
  for (int row = 0; row < 50; ++row) {
    const ListEntry entry = model->Entry(row);
    const QString path = Out("ini/" + RecordList::FileStem(entry, model->Appliance(row)) + ".ini");
    ASSERT_TRUE(fresh.LoadRecord(path)) << row;
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(fresh.RowActive[r] != 0, entry.RowResult[r] >= 0) << row << "/" << r;
      if (entry.RowResult[r] >= 0) EXPECT_EQ(fresh.OkBoxes[r]->isChecked(), entry.RowResult[r] == 1) << row << "/" << r;
    }
  }
  // By hand for two records: step to the record, Kopieren, type, save.
  for (int row : {0, 17}) {
    TFormular byHand(w.get());
    byHand.SetupWindow();
    byHand.Show(form_->Record());
    w->RecordIndex = row;
    w->ShowRecord();
    byHand.Evaluate();
    const ApplianceData& d = model->Appliance(row);
    if (!d.InventarNr.isEmpty()) byHand.SetFieldText(17, d.InventarNr);
    if (!d.Bezeichnung.isEmpty()) byHand.SetFieldText(13, d.Bezeichnung);
    if (!d.Standort.isEmpty()) byHand.SetFieldText(16, d.Standort);
    byHand.SetFieldText(25, model->data(model->index(row, RecordListModel::ColDatum), Qt::DisplayRole).toString());
    const QString handPath = Out(QStringLiteral("hand-%1.ini").arg(row));
    ASSERT_TRUE(byHand.SaveRecord(handPath));
    QFile a(handPath), b(Out("ini/" + RecordList::FileStem(model->Entry(row), d) + ".ini"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll()) << row;
  }

  // --- CSV for a German spreadsheet: read back strictly, every number cell
  // with a decimal comma, the rest as the list shows it, no formula.
  chosen_ = Out("liste.csv");
  list_->ExportCsv(true);
  QFile csv(Out("liste.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  std::vector<QStringList> rows;
  ASSERT_TRUE(ReadCsvStrictly(csv.readAll(), &rows));
  ASSERT_EQ(rows.size(), 51u);
  EXPECT_EQ(rows[0], RecordList::Columns());
  const std::vector<int> numberColumns = RecordList::NumberColumns();
  const QRegularExpression decimalComma(QStringLiteral("^-?\\d+(,\\d+)?$"));
  int numbers = 0;
  for (int row = 0; row < 50; ++row) {
    ASSERT_EQ(rows[size_t(row + 1)].size(), RecordListModel::ColumnCount);
    for (int column = 0; column < RecordListModel::ColumnCount; ++column) {
      const QString cell = rows[size_t(row + 1)][column];
      QString shown = model->data(model->index(row, column), Qt::DisplayRole).toString();
      if (std::find(numberColumns.begin(), numberColumns.end(), column) != numberColumns.end() &&
          !QStringList{"", "Overflow", "?"}.contains(shown)) {
        EXPECT_TRUE(decimalComma.match(cell).hasMatch()) << row << "/" << column << ": " << cell.toStdString();
        shown.replace('.', ',');
        ++numbers;
      }
      if (column == RecordListModel::ColSicht || column == RecordListModel::ColFunktion) continue;
      if (shown.startsWith('=')) shown.prepend('\'');
      EXPECT_EQ(cell, shown) << row << "/" << column;
    }
  }
  EXPECT_GT(numbers, 100);
  EXPECT_EQ(rows[2][RecordListModel::ColStandort], QStringLiteral("Büro 3, Erdgeschoss"));
  EXPECT_EQ(rows[4][RecordListModel::ColBezeichnung], QStringLiteral("'=HYPERLINK(\"http://example.invalid\")"));
  // The variant for scripts keeps decimal points and the cells as they are.
  chosen_ = Out("skript.csv");
  list_->ExportCsv(false);
  QFile plain(Out("skript.csv"));
  ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
  const std::vector<QStringList> script = RecordList::ParseCsv(plain.readAll());
  ASSERT_EQ(script.size(), 51u);
  EXPECT_EQ(script[1][RecordListModel::ColFirstValue], model->data(model->index(0, RecordListModel::ColFirstValue), Qt::DisplayRole).toString());
  EXPECT_EQ(script[4][RecordListModel::ColBezeichnung], QStringLiteral("=HYPERLINK(\"http://example.invalid\")"));

  // What the user looks at: the list with passed and failed records.
  list_->resize(1200, 600);
  TestUtil::Grab(list_.get(), QStringLiteral("record-list"));
}

TEST_F(Visit, TheListFillsWhenALoadEndsAndADoubleClickShowsTheRecord) {
  LoadIntoList(3);
  bool deviceWanted = false;
  QObject::connect(list_.get(), &RecordListWindow::DeviceWindowWanted, [&] { deviceWanted = true; });
  list_->ShowInDevice(2);
  EXPECT_TRUE(deviceWanted);
  EXPECT_EQ(w->RecordIndex, 2);
  EXPECT_EQ(Text(1453), "003");
  // Sorting by verdict keeps each row's data with it.
  list_->Table()->sortByColumn(RecordListModel::ColVerdict, Qt::AscendingOrder);
  EXPECT_EQ(list_->ChosenRows().size(), 3u);
}

TEST_F(Visit, ARunningLoadShowsTheTimeLeftAndCanBeCancelled) {
  StartSim({"--records", "40"});  // at line rate: about 9 s for all
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  form_ = std::make_unique<TFormular>(w.get());
  form_->SetupWindow();
  list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
  list_->SetupWindow();
  list_->show();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
  w->ButtonClicked(105);
  auto* status = TestUtil::Find<QLabel>(list_.get(), RecordListWindow::StatusId);
  auto* cancel = TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::CancelLoadId);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return status->text().contains("noch etwa"); }, 20000)) << status->text().toStdString();
  EXPECT_TRUE(status->text().startsWith("Lade Datensatz "));
  EXPECT_TRUE(cancel->isVisible());
  cancel->click();
  EXPECT_EQ(w->LoadState, 0);
  const int kept = w->RecordCount;
  EXPECT_GE(kept, 1);
  EXPECT_LT(kept, 40);
  EXPECT_EQ(list_->Model()->RecordCount(), kept);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !cancel->isVisible() && ButtonsEnabled(); }, 5000));
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("%1 Prüfungen").arg(kept))) << status->text().toStdString();
}

TEST_F(Visit, ASecondLoadAsksAndACancelledOneKeepsTheRowsItDidNotRead) {
  StartSim({"--records", "12"});  // at line rate, so the load can be cut short
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  form_ = std::make_unique<TFormular>(w.get());
  form_->SetupWindow();
  list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
  list_->SetupWindow();
  LoadAll();
  RecordListModel* model = list_->Model();
  ASSERT_EQ(model->RecordCount(), 12);
  ASSERT_TRUE(model->setData(model->index(0, RecordListModel::ColInventar), QStringLiteral("INV-A"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(10, RecordListModel::ColInventar), QStringLiteral("INV-K"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(10, RecordListModel::ColClass), QStringLiteral("II"), Qt::EditRole));

  // "Nein": no load, nothing changes.
  int answer = Win::IDNO;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes_ << r, answer; });
  w->ButtonClicked(105);
  ASSERT_EQ(boxes_.size(), 1);
  EXPECT_TRUE(boxes_[0].text.contains(QStringLiteral("2 Geräte Daten")));
  EXPECT_EQ(boxes_[0].type & 0xF, Win::MB_YESNO);
  EXPECT_EQ(w->LoadState, 0);
  EXPECT_EQ(model->Appliance(0).InventarNr, QStringLiteral("INV-A"));
  // "Lösche alle Datensätze" would empty the list: asked too, after its own question.
  boxes_.clear();
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes_ << r, boxes_.size() == 1 ? Win::IDYES : Win::IDNO; });
  w->ButtonClicked(102);
  ASSERT_EQ(boxes_.size(), 2);
  EXPECT_TRUE(boxes_[1].text.contains(QStringLiteral("2 Geräte Daten"))) << boxes_[1].text.toStdString();
  EXPECT_EQ(w->LoadState, 0);
  EXPECT_EQ(w->DeleteAllPending, 0);
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes_ << r, answer; });

  // "Ja", and the load is cancelled after a few records: the rows it read are
  // new, every other row keeps what was typed for it.
  answer = Win::IDYES;
  w->ButtonClicked(105);
  ASSERT_NE(w->LoadState, 0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->RecordIndex >= 2; }, 20000));
  w->Session.CancelSequence();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 5000));
  const int read = w->RecordCount;
  ASSERT_GE(read, 2);
  ASSERT_LT(read, 10);
  EXPECT_EQ(model->RecordCount(), 12);
  EXPECT_TRUE(model->Appliance(0).InventarNr.isEmpty());  // replaced by the new load
  EXPECT_EQ(model->Appliance(10).InventarNr, QStringLiteral("INV-K"));
  EXPECT_EQ(model->Entry(10).ClassText, QStringLiteral("II"));
  EXPECT_TRUE(model->Entry(11).Read);
}

TEST_F(Visit, OpenInspectionsAreOpenNotFailedAndTheFormIsTheDefaultAtAnyMoment) {
  StartSim({"--fast", "--records", "20", "--seed", "7"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  form_ = std::make_unique<TFormular>(w.get());
  form_->SetupWindow();
  list_ = std::make_unique<RecordListWindow>(w.get(), form_.get(), archive_);
  list_->SetupWindow();
  list_->show();
  LoadAll();
  RecordListModel* model = list_->Model();
  int measuredOk = 0;
  for (int row = 0; row < 20; ++row) {
    const ListEntry e = model->Entry(row);
    measuredOk += e.Measured == 1;
    // Nothing ticked yet: a record whose measurements passed is open, never failed.
    EXPECT_EQ(e.Verdict, e.Measured == 1 ? -1 : 0) << row;
    EXPECT_FALSE(e.Passed) << row;  // its printed page says "nicht bestanden" until both are ticked
  }
  ASSERT_GT(measuredOk, 0);
  auto* status = TestUtil::Find<QLabel>(list_.get(), RecordListWindow::StatusId);
  EXPECT_TRUE(status->text().contains(QStringLiteral("%1 offen").arg(measuredOk))) << status->text().toStdString();
  // A form of last year loaded (both boxes ticked): the list follows it at once.
  ReportRecord lastYear = form_->Record();
  lastYear.Sichtpruefung = lastYear.Funktionspruefung = true;
  const QString path = Out("vorjahr.ini");
  ASSERT_EQ(Report::Write(path, lastYear).status, Report::WriteResult::Ok);
  ASSERT_TRUE(form_->LoadRecord(path));
  auto passed = [&] {
    int n = 0;
    for (int row = 0; row < 20; ++row) n += model->Entry(row).Verdict == 1;
    return n;
  };
  EXPECT_TRUE(TestUtil::WaitFor([&] { return passed() == measuredOk; }, 5000)) << passed();
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("20 Prüfungen: %1 bestanden").arg(measuredOk)));
  // The printed page of a passed record says so.
  int first = 0;
  while (first < 19 && model->Entry(first).Verdict != 1) ++first;
  ASSERT_EQ(model->Entry(first).Verdict, 1);
  chosen_ = Out("eins.pdf");
  list_->Table()->selectRow(first);
  list_->ReportsAsOnePdf();
  EXPECT_TRUE(PdfText(Out("eins.pdf")).contains("Der Prüfling hat die Prüfung bestanden"));
  list_->resize(1366, 700);
  TestUtil::Grab(list_.get(), QStringLiteral("record-list-open"));
  list_->Table()->scrollTo(list_->Table()->model()->index(0, RecordListModel::ColBemerkungen));
  TestUtil::Grab(list_.get(), QStringLiteral("record-list-open-right"));
  // A 1366 x 768 screen at 200 %: the window has half that room, and every
  // button and the whole status line stay inside it.
  list_->resize(660, 360);
  QApplication::processEvents();
  ASSERT_EQ(list_->size(), QSize(660, 360));
  for (QPushButton* b : list_->findChildren<QPushButton*>())
    if (b->isVisible()) EXPECT_TRUE(list_->rect().contains(b->geometry())) << b->text().toStdString();
  EXPECT_TRUE(list_->rect().contains(status->geometry()));
  TestUtil::Grab(list_.get(), QStringLiteral("record-list-small"));
}

TEST_F(Visit, DuplicateInventarNumbersAreMarkedAndABatchAsksBeforeWriting) {
  LoadIntoList(4);
  RecordListModel* model = list_->Model();
  ASSERT_TRUE(model->setData(model->index(0, RecordListModel::ColInventar), QStringLiteral("INV-1"), Qt::EditRole));
  ASSERT_TRUE(model->setData(model->index(3, RecordListModel::ColInventar), QStringLiteral("INV-1"), Qt::EditRole));
  EXPECT_TRUE(model->data(model->index(3, RecordListModel::ColInventar), Qt::ToolTipRole).toString().contains("Nr. 001"));
  int answer = Win::IDNO;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes_ << r, answer; });
  QDir(out_.path()).mkpath("ini");
  chosen_ = Out("ini");
  TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::RecordsId)->click();
  ASSERT_EQ(boxes_.size(), 1);
  EXPECT_TRUE(boxes_[0].text.contains(QStringLiteral("\u201EINV-1\u201C: Nr. 001, 004")));
  EXPECT_TRUE(QDir(Out("ini")).entryList(QDir::Files).isEmpty());
  answer = Win::IDYES;
  TestUtil::Find<QPushButton>(list_.get(), RecordListWindow::RecordsId)->click();
  EXPECT_EQ(QDir(Out("ini")).entryList({"*.ini"}, QDir::Files).size(), 4);
  // Those rows are in files now: the end of the program does not ask about them.
  EXPECT_TRUE(model->UnsavedRows().empty());
}

TEST_F(Visit, EndingTheProgramClosesEveryWindowAndThePortAfterAskingAboutTypedData) {
  StartSim({"--fast", "--records", "3"});
  qputenv("KELVARA_ARCHIVE", Out("archiv.sqlite").toLocal8Bit());
  int answer = Win::IDCANCEL;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes_ << r, answer; });
  {
    Kelvara k(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(),
              [] { return HostInfo{true, QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5")}; });
    ASSERT_TRUE(k.InitMainWindow());
    k.Frame->show();
    auto* device = qobject_cast<TMessgeraet*>(k.DeviceWindow);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->DeviceType == 2 && device->PortReady; }, 10000));
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->RecordButton[1]->isEnabled(); }, 5000));
    device->ButtonClicked(105);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return device->LoadState == 0 && device->RecordCount == 3; }, 30000));
    k.EvCommand(ShellIds::CmShowList);
    k.EvCommand(ShellIds::CmShowArchive);
    auto* list = qobject_cast<RecordListWindow*>(k.RecordList);
    ASSERT_TRUE(list && list->isVisible() && k.ArchiveView->isVisible());
    ASSERT_TRUE(list->Model()->setData(list->Model()->index(1, RecordListModel::ColInventar), QStringLiteral("INV-2"),
                                       Qt::EditRole));
    // "Abbrechen": everything stays.
    k.EvCommand(ShellIds::CmExit);
    ASSERT_EQ(boxes_.size(), 1);
    EXPECT_EQ(boxes_[0].type & 0xF, Win::MB_YESNOCANCEL);
    EXPECT_TRUE(boxes_[0].text.contains(QStringLiteral("in keiner Datei gespeichert")));
    EXPECT_TRUE(k.Frame->isVisible() && list->isVisible() && device->PortReady);
    // "Nein": every window closes, the port is let go and the program's loop ends.
    answer = Win::IDNO;
    QTimer::singleShot(0, &k, [&k] { k.EvCommand(ShellIds::CmExit); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(20000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(k.Frame->isVisible());
    EXPECT_FALSE(list->isVisible());
    EXPECT_FALSE(k.ArchiveView->isVisible());
    EXPECT_FALSE(device->Port && device->Port->IsOpen());
  }
  qunsetenv("KELVARA_ARCHIVE");
}

TEST(BatchTest, ACancelledJobLeavesNoHalfWrittenFile) {
  QTemporaryDir dir;
  std::vector<ReportRecord> reports(5);
  QStringList paths;
  for (int i = 0; i < 5; ++i) paths << dir.filePath(QStringLiteral("r%1.pdf").arg(i));
  const Batch::Result files = Batch::WritePdfs(reports, paths, [](int done) { return done < 2; });
  EXPECT_TRUE(files.canceled);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // the two complete ones
  const Batch::Result one = Batch::WriteOnePdf(reports, dir.filePath("alle.pdf"), [](int done) { return done < 3; });
  EXPECT_TRUE(one.canceled);
  EXPECT_FALSE(QFile::exists(dir.filePath("alle.pdf")));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
  const Batch::Result nowhere = Batch::WriteOnePdf(reports, dir.filePath("kein/ordner/alle.pdf"), nullptr);
  EXPECT_FALSE(nowhere.ok);
  EXPECT_TRUE(nowhere.error.contains("wurde nicht geschrieben")) << nowhere.error.toStdString();
}

}  // namespace
