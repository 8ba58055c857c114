// Reports after the standards in force today from the windows: the form's
// test details and Kopieren under the chosen standard, the previous test
// from the archive beside the values, the user's profiles, and the record
// list with a standard, reason and cord per record.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <memory>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/places.h"
#include "core/reportrules.h"
#include "device/TMessgeraet.h"
#include "platform/screenfit.h"
#include "platform/seams.h"
#include "records/recordlistwindow.h"
#include "report/TFormular.h"
#include "report/profiledialog.h"
#include "report/testdetailsdialog.h"
#include "tests/support/recordingsurface.h"
#include "tests/testutil.h"

namespace {

const QString kCustomer = QStringLiteral("Elektro Müller");

// An earlier test of an appliance, as the archive keeps it.
ReportRecord Earlier(const QString& inventar, const QDate& day, const QString& rpe, const QString& cord = QString()) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = kCustomer;
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefungAm] = day.toString(QStringLiteral("dd.MM.yyyy"));
  r.VdePruefgrundlage = cord.isEmpty() ? 4 : Profiles::kEn50699;
  r.VdeKlasse = 1;
  r.MessText = {rpe, QStringLiteral("Overflow"), QStringLiteral("  0.100"), QStringLiteral("  0.100"), "??", "??", "??", "??"};
  r.GrenzText = {QStringLiteral(" 0.30"), QStringLiteral(" 1.00"), QStringLiteral(" 3.50"), QStringLiteral(" 3.50"),
                 "??", "??", "??", "??"};
  r.RowActive = {1, 1, 1, 1, 0, 0, 0, 0};
  r.Ok = {true, true, true, true, false, false, false, false};
  r.Leitungslaenge = cord;
  return r;
}

QByteArray Bytes(const ReportRecord& report) {
  QByteArray bytes;
  EXPECT_EQ(Report::Encode(report, &bytes).status, Report::WriteResult::Ok);
  return bytes;
}

// The device window with a record of "VDE 0701 / 0702", class I, the form
// beside it, and an archive of the test's own.
class CurrentForm : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  Places::Scoped places{{dir.filePath(QStringLiteral("einstellungen")), QString()}};
  TMessgeraet device{nullptr, 1000, 0};
  TFormular form{&device};
  ArchiveService archive;
  QList<MessageBoxRequest> boxes;

  void SetUp() override {
    archive.SetLocation(dir.filePath(QStringLiteral("archiv.sqlite")));
    form.SetArchive(&archive);
    form.SetupWindow();
    device.VdePruefgrundlage = 4;
    device.VdeKlasse = 1;
    device.DeviceText = QStringLiteral("QK248 V2.01");
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = 1;
    const char* values[4] = {"  0.350", "Overflow", "  0.120", "  0.300"};
    const char* limits[4] = {" 0.30", " 1.00", " 3.50", " 3.50"};
    for (int r = 0; r < 4; ++r) {
      device.ValueStatic[r]->setText(QString::fromLatin1(values[r]));
      device.LimitEdit[r]->setText(QString::fromLatin1(limits[r]));
    }
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) { return boxes << r, int(Win::IDOK); });
  }
  void TearDown() override {
    Seams::SetMessageBoxResponder(nullptr);
    archive.Shutdown();
  }
  // Opens "Prüfangaben", lets `fill` set its entries and confirms.
  TestDetailsDialog* Details() {
    form.EvCommand(TFormular::kPruefangabenId, form.PruefangabenButton, 0);
    return form.findChild<TestDetailsDialog*>();
  }
  static void Pick(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
  }
  static void Confirm(TestDetailsDialog* dialog) {
    TestUtil::Find<QPushButton>(dialog, TestDetailsDialog::OkId)->click();
    QApplication::processEvents();
  }
};

TEST_F(CurrentForm, KopierenUnderTheChosenStandardJudgesRPEByTheCord) {
  TestDetailsDialog* dialog = Details();
  ASSERT_NE(dialog, nullptr);
  Pick(TestUtil::Find<QComboBox>(dialog, TestDetailsDialog::Norm0701Id), QStringLiteral("DIN EN 50699 (VDE 0702)"));
  Pick(TestUtil::Find<QComboBox>(dialog, TestDetailsDialog::AnlassId), QStringLiteral("Wiederholungsprüfung"));
  TestUtil::Find<QLineEdit>(dialog, TestDetailsDialog::LengthId)->setText(QStringLiteral("10"));
  TestUtil::Grab(dialog, QStringLiteral("test-details-dialog"));
  Confirm(dialog);
  EXPECT_EQ(form.findChild<TestDetailsDialog*>(), nullptr);  // closed
  EXPECT_EQ(form.VdePruefgrundlage, 1);  // nothing copied yet

  form.EvCommand(TFormular::kKopierenId, form.KopierenButton, 0);
  EXPECT_EQ(form.VdePruefgrundlage, Profiles::kEn50699);
  EXPECT_EQ(form.GrenzText[0], QStringLiteral(" 0.40"));
  EXPECT_TRUE(form.OkBoxes[0]->isChecked());
  RecordingSurface page;
  form.Paint(page, false, QRect());
  EXPECT_NE(page.FindText(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)")), nullptr);
  EXPECT_NE(page.FindText(QStringLiteral("Wiederholungsprüfung")), nullptr);

  // The same appliance on a 2 m cord: the limit follows, the row fails.
  dialog = Details();
  TestUtil::Find<QLineEdit>(dialog, TestDetailsDialog::LengthId)->setText(QStringLiteral("2"));
  EXPECT_TRUE(TestUtil::Find<QLabel>(dialog, TestDetailsDialog::LimitsId)->text().contains(QStringLiteral("R-PE \u2264 0,30 Ohm")));
  Confirm(dialog);
  EXPECT_EQ(form.GrenzText[0], QStringLiteral(" 0.30"));
  EXPECT_FALSE(form.OkBoxes[0]->isChecked());
  EXPECT_FALSE(form.ReportPassed());
  EXPECT_TRUE(form.Modified);

  // A cord length that is no number is refused; the dialog stays open.
  dialog = Details();
  TestUtil::Find<QLineEdit>(dialog, TestDetailsDialog::LengthId)->setText(QStringLiteral("zehn"));
  Confirm(dialog);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("keine Leitungslänge")));
  EXPECT_NE(form.findChild<TestDetailsDialog*>(), nullptr);
  dialog->reject();
}

TEST_F(CurrentForm, TheDetailsFitASmallScreenWithTheirButtonsInView) {
  // 1366 x 768 at 200 %, less a panel.
  const QRect area(0, 14, 683, 370);
  ScreenFit::SetArea([area] { return area; });
  TestDetailsDialog* dialog = Details();
  ASSERT_NE(dialog, nullptr);
  QApplication::processEvents();
  EXPECT_LE(dialog->width() + ScreenFit::kFrameWidth, area.width());
  EXPECT_LE(dialog->height() + ScreenFit::kFrameHeight, area.height());
  for (int id : {int(TestDetailsDialog::OkId), int(TestDetailsDialog::CancelId)}) {
    auto* button = TestUtil::Find<QPushButton>(dialog, id);
    const QRect shown(button->mapTo(dialog, QPoint(0, 0)), button->size());
    EXPECT_TRUE(dialog->rect().contains(shown)) << id;
  }
  TestUtil::Grab(dialog, QStringLiteral("test-details-dialog-small-screen"));
  ScreenFit::SetArea({});
  dialog->reject();
}

TEST_F(CurrentForm, WhatTheReportLacksIsNamedWhenItIsSavedAndTheFileCarriesTheDetails) {
  form.Details.NormFuer0701 = Profiles::kEn50678;
  form.EvCommand(TFormular::kKopierenId, form.KopierenButton, 0);
  const QString path = dir.filePath(QStringLiteral("bericht.ini"));
  ASSERT_TRUE(form.SaveRecord(path));
  EXPECT_TRUE(form.StatusNote.contains(QStringLiteral("Im Prüfbericht fehlt: Name des Prüfers, Prüfdatum, Anlass der Prüfung.")))
      << form.StatusNote.toStdString();
  // The user may go on: the file is written, with the standard and its limits.
  ReportRecord saved;
  ASSERT_EQ(Report::Read(path, &saved).status, Report::ReadResult::Ok);
  EXPECT_EQ(saved.VdePruefgrundlage, Profiles::kEn50678);
  EXPECT_EQ(saved.NormFuer0701, Profiles::kEn50678);

  form.SetFieldText(Layout::kFieldPruefer, QStringLiteral("Musterstadt, 06.12.2026, Jana Kühn"));
  form.SetFieldText(Layout::kFieldPruefungAm, QStringLiteral("06.12.2026"));
  form.Details.Anlass = 3;
  ASSERT_TRUE(form.SaveRecord(path));
  EXPECT_FALSE(form.StatusNote.contains(QStringLiteral("fehlt"))) << form.StatusNote.toStdString();
  TFormular other(&device);
  other.SetupWindow();
  ASSERT_TRUE(other.LoadRecord(path));
  EXPECT_EQ(other.Record().Anlass, 3);
  EXPECT_EQ(other.VdePruefgrundlage, Profiles::kEn50678);
}

TEST_F(CurrentForm, ThePreviousTestAndTheCordComeFromTheArchive) {
  ASSERT_EQ(archive.Store(Bytes(Earlier("INV-7", QDate(2025, 3, 12), "  0.200", "12,5"))), ArchiveService::Result::Stored);
  form.Details.NormFuer0701 = Profiles::kEn50699;
  form.SetFieldText(Layout::kFieldAuftraggeber, kCustomer);
  form.SetFieldText(Layout::kFieldIdentnummer, QStringLiteral("INV-7"));
  form.SetFieldText(Layout::kFieldPruefungAm, QStringLiteral("06.12.2026"));
  form.EvCommand(TFormular::kKopierenId, form.KopierenButton, 0);
  // Without a cord yet: up to 5 m.
  EXPECT_EQ(form.GrenzText[0], QStringLiteral(" 0.30"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !form.EarlierBusy(); }, 10000));
  const ReportRecord report = form.Record();
  EXPECT_EQ(report.Vorpruefung, QStringLiteral("12.03.2025"));
  EXPECT_EQ(report.Vorwert[0], QStringLiteral("0.200"));
  // The archive knows the cord: 12.5 m gives 0.4 Ohm, and 0.350 passes.
  EXPECT_EQ(report.Leitungslaenge, QStringLiteral("12,5"));
  EXPECT_EQ(form.GrenzText[0], QStringLiteral(" 0.40"));
  EXPECT_TRUE(form.OkBoxes[0]->isChecked());
  EXPECT_TRUE(Report::Compared(report, 0).warn);  // 0.200 -> 0.350
  RecordingSurface page;
  form.Paint(page, false, QRect());
  EXPECT_NE(page.FindText(QStringLiteral("0.200")), nullptr);
  EXPECT_NE(page.FindText(QStringLiteral("!")), nullptr);
  form.resize(form.sizeHint());
  TestUtil::Grab(&form, QStringLiteral("form-current-standard"));
}

TEST_F(CurrentForm, AProfileOfTheUsersOwnIsKeptNamedOnTheReportAndApplied) {
  form.Details.NormFuer0701 = Profiles::kEn50699;
  form.EvCommand(TFormular::kKopierenId, form.KopierenButton, 0);
  TestDetailsDialog* dialog = Details();
  TestUtil::Find<QPushButton>(dialog, TestDetailsDialog::EditProfilesId)->click();
  QApplication::processEvents();
  auto* editor = dialog->findChild<ProfileDialog*>();
  ASSERT_NE(editor, nullptr);
  TestUtil::Find<QPushButton>(editor, ProfileDialog::NewId)->click();
  TestUtil::Find<QLineEdit>(editor, ProfileDialog::NameId)->setText(QStringLiteral("Werkstatt streng"));
  // Class I, R-PE: 0.25 Ohm.
  TestUtil::Find<QLineEdit>(editor, ProfileDialog::FirstCellId)->setText(QStringLiteral("0.25"));
  TestUtil::Grab(editor, QStringLiteral("profile-dialog"));
  TestUtil::Find<QPushButton>(editor, ProfileDialog::SaveId)->click();
  ASSERT_TRUE(QFile::exists(Profiles::UserProfilesFile()));
  TestUtil::Find<QPushButton>(editor, ProfileDialog::CloseId)->click();
  QApplication::processEvents();
  Pick(TestUtil::Find<QComboBox>(dialog, TestDetailsDialog::ProfileId), QStringLiteral("Werkstatt streng"));
  Confirm(dialog);
  EXPECT_EQ(form.GrenzText[0], QStringLiteral(" 0.25"));
  EXPECT_EQ(form.Record().Grenzwertprofil, QStringLiteral("Werkstatt streng"));
  RecordingSurface page;
  form.Paint(page, false, QRect());
  bool named = false;
  for (const auto& op : page.Texts())
    named |= op.text.contains(QStringLiteral("R-PE: eigener Grenzwert, Grenzwertprofil \u201EWerkstatt streng\u201C"));
  EXPECT_TRUE(named);
}

// The list: two appliances of the tester's "VDE 0701 / 0702" with R-PE 0.350 Ohm.
struct CurrentList {
  QTemporaryDir dir;
  Places::Scoped places{{dir.filePath(QStringLiteral("einstellungen")), QString()}};
  TMessgeraet device{nullptr, 1000, 0};
  TFormular form{&device};
  ArchiveService archive;
  std::unique_ptr<RecordListWindow> window;
  RecordListModel* model = nullptr;
  CurrentList() {
    archive.SetLocation(dir.filePath(QStringLiteral("archiv.sqlite")));
    device.SetupWindow();
    form.SetupWindow();
    form.SetFieldText(Layout::kFieldAuftraggeber, kCustomer);
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = 1;
    device.RecordCount = 2;
    for (int i = 0; i < 2; ++i) {
      DeviceRecord& rec = device.Records[i];
      rec = DeviceRecord();
      const int codes[4] = {3, 7, 9, 11}, raws[4] = {3500, 5000, 1000, 1000};
      for (int e = 0; e < 4; ++e) rec.RangeCode[e] = codes[e], rec.RawValue[e] = raws[e];
    }
  }
  ~CurrentList() { archive.Shutdown(); }
  void Open() {
    window = std::make_unique<RecordListWindow>(&device, &form, archive);
    window->SetupWindow();
    model = window->Model();
  }
  bool Set(int row, int column, const QVariant& value) { return model->setData(model->index(row, column), value, Qt::EditRole); }
  QString Shown(int row, int column) const { return model->data(model->index(row, column), Qt::DisplayRole).toString(); }
};

TEST(CurrentListTest, EachRecordWithItsCordItsPreviousValuesAndTheWarnings) {
  CurrentList list;
  ASSERT_EQ(list.archive.Store(Bytes(Earlier("INV-1", QDate(2025, 3, 12), "  0.200"))), ArchiveService::Result::Stored);
  ASSERT_EQ(list.archive.Store(Bytes(Earlier("INV-2", QDate(2025, 3, 12), "  0.340", "12,5"))), ArchiveService::Result::Stored);
  list.form.Details.NormFuer0701 = Profiles::kEn50699;
  list.Open();
  const int rpe = RecordListModel::ColFirstValue;
  EXPECT_EQ(list.Shown(0, RecordListModel::ColReportStandard), QStringLiteral("DIN EN 50699 (VDE 0702)"));
  EXPECT_EQ(list.Shown(0, rpe + 1), QStringLiteral("0.30"));
  EXPECT_EQ(list.Shown(0, rpe + 2), QStringLiteral("nicht bestanden"));

  ASSERT_TRUE(list.Set(0, RecordListModel::ColInventar, QStringLiteral("INV-1")));
  ASSERT_TRUE(list.Set(1, RecordListModel::ColInventar, QStringLiteral("INV-2")));
  ASSERT_TRUE(list.Set(0, RecordListModel::ColLaenge, QStringLiteral("10")));
  EXPECT_FALSE(list.Set(0, RecordListModel::ColQuerschnitt, QStringLiteral("dick")));
  EXPECT_TRUE(list.model->LastRefusal().contains(QStringLiteral("kein Leitungsquerschnitt")));
  EXPECT_EQ(list.Shown(0, rpe + 1), QStringLiteral("0.40"));
  EXPECT_EQ(list.Shown(0, rpe + 2), QStringLiteral("bestanden"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !list.model->EarlierBusy(); }, 10000));

  // INV-1: 0.200 before, 0.350 now: +75 %.
  EXPECT_EQ(list.Shown(0, RecordListModel::ColFirstPrevious), QStringLiteral("0.200"));
  EXPECT_EQ(list.Shown(0, RecordListModel::ColVorpruefung), QStringLiteral("12.03.2025"));
  EXPECT_TRUE(list.Shown(0, RecordListModel::ColVergleich).contains(QStringLiteral("R-PE +75 %")));
  EXPECT_EQ(list.model->data(list.model->index(0, rpe), Qt::BackgroundRole).value<QColor>(), QColor(255, 214, 170));
  // INV-2: the archive's cord, 12.5 m; 0.340 -> 0.350 is no warning.
  EXPECT_EQ(list.Shown(1, RecordListModel::ColLaenge), QStringLiteral("12,5"));
  EXPECT_EQ(list.Shown(1, rpe + 1), QStringLiteral("0.40"));
  EXPECT_TRUE(list.Shown(1, RecordListModel::ColVergleich).isEmpty());
  EXPECT_EQ(list.model->WarningRows(), 1);
  // The report of a record carries what the list shows.
  const ReportRecord report = list.model->Report(0);
  EXPECT_EQ(report.VdePruefgrundlage, Profiles::kEn50699);
  EXPECT_EQ(report.Vorwert[0], QStringLiteral("0.200"));
  EXPECT_EQ(report.Leitungslaenge, QStringLiteral("10"));

  // One record back under the tester's standard, by the user's choice.
  ASSERT_TRUE(list.Set(1, RecordListModel::ColReportStandard, 0));
  EXPECT_EQ(list.Shown(1, RecordListModel::ColReportStandard), QStringLiteral("DIN VDE 0701-0702"));
  EXPECT_EQ(list.Shown(1, rpe + 1), QStringLiteral("0.30"));
  ASSERT_TRUE(list.Set(0, RecordListModel::ColAnlass, 2));
  EXPECT_EQ(list.Shown(0, RecordListModel::ColAnlass), QStringLiteral("Wiederholungsprüfung"));

  // The previous values stand right of this test's values; the line above
  // the list names the warning and what the reports lack.
  QHeaderView* header = list.window->Table()->horizontalHeader();
  for (int r = 0; r < kDeviceRowCount; ++r)
    EXPECT_EQ(header->visualIndex(RecordListModel::ColFirstPrevious + r),
              header->visualIndex(RecordListModel::ColFirstValue + 3 * r) + 1);
  list.window->show();
  QApplication::processEvents();
  auto* status = TestUtil::Find<QLabel>(list.window.get(), RecordListWindow::StatusId);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return status->text().contains(QStringLiteral("Vergleich")); }, 5000))
      << status->text().toStdString();
  EXPECT_TRUE(status->text().contains(QStringLiteral("Im Prüfbericht fehlt: Name des Prüfers")));
  list.window->resize(1300, 400);
  TestUtil::Grab(list.window.get(), QStringLiteral("record-list-current"));

  // The template's choice changes: the rows without one of their own follow.
  ReportRecord details = list.form.Record();
  details.NormFuer0701 = Profiles::kEn50678;
  list.form.ApplyDetails(details);
  EXPECT_TRUE(TestUtil::WaitFor(
      [&] { return list.Shown(0, RecordListModel::ColReportStandard) == QStringLiteral("DIN EN 50678 (VDE 0701)"); }, 5000));
  EXPECT_EQ(list.Shown(1, RecordListModel::ColReportStandard), QStringLiteral("DIN VDE 0701-0702"));
}

}  // namespace
