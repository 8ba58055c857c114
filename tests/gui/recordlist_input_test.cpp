// What the user types in the record list and the report form is checked and
// kept: characters the data record file cannot hold, text beyond a field's
// limit, limits and dates, the class of each record, duplicate Inventar-Nr.,
// open inspections, and the spreadsheet CSV.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QTableView>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "controls/fieldguard.h"
#include "device/TMessgeraet.h"
#include "core/fieldcheck.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "core/recordlist.h"
#include "records/recordlistwindow.h"
#include "tests/testutil.h"

namespace {

void Type(QWidget* edit, const QString& text) {
  for (QChar c : text) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &key);
  }
}

// A device window holding `count` records (class I, VDE 0701-0702; R-PE
// 0.12 Ohm, R-ISO 5 MOhm, both currents 0.1 mA: every measurement passes),
// the form and the list.
struct List {
  TMessgeraet device{nullptr, 1000, 0};
  TFormular form{&device};
  ArchiveService archive;
  std::unique_ptr<RecordListWindow> window;
  RecordListModel* model = nullptr;
  explicit List(int count = 4) {
    device.SetupWindow();
    form.SetupWindow();
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = 1;
    device.RecordCount = count;
    for (int i = 0; i < count; ++i) {
      DeviceRecord& rec = device.Records[i];
      rec = DeviceRecord();
      rec.NormIndex = 0;
      rec.ClassIndex = 0;
      const int codes[4] = {3, 7, 9, 11}, raws[4] = {1200, 5000, 1000, 1000};
      for (int e = 0; e < 4; ++e) rec.RangeCode[e] = codes[e], rec.RawValue[e] = raws[e];
    }
    window = std::make_unique<RecordListWindow>(&device, &form, archive);
    window->SetupWindow();
    model = window->Model();
  }
  bool Set(int row, int column, const QVariant& value, int role = Qt::EditRole) {
    return model->setData(model->index(row, column), value, role);
  }
  QString Shown(int row, int column) const { return model->data(model->index(row, column), Qt::DisplayRole).toString(); }
};

TEST(TypedInput, AFieldRefusesWhatTheFileCannotHoldAndShowsWhenItIsFull) {
  int beeps = 0;
  Seams::SetBeepCounter(&beeps);
  TFormular form(nullptr);
  form.SetupWindow();
  QLineEdit* name = form.Edits[0];
  Type(name, QStringLiteral("Büro Ω"));
  EXPECT_EQ(name->text(), QStringLiteral("Büro "));
  EXPECT_EQ(FieldGuard::LastRefusal(name), QStringLiteral("\u201EΩ\u201C kann im Datensatz nicht gespeichert werden."));
  EXPECT_EQ(beeps, 1);
  // A customer name of 300 characters pasted: the field takes 50 and says it is full.
  name->clear();
  QApplication::clipboard()->setText(QString(300, QLatin1Char('x')));
  name->paste();
  EXPECT_EQ(name->text().size(), 50);
  EXPECT_EQ(FieldGuard::LastRefusal(name), QStringLiteral("Das Feld ist voll: höchstens 50 Zeichen."));
  EXPECT_EQ(name->toolTip(), FieldCheck::FullMessage(50));
  EXPECT_EQ(beeps, 2);
  name->backspace();
  EXPECT_TRUE(name->toolTip().isEmpty());

  // The list's editors are the same fields: № refused and named, the limit kept.
  List list;
  QStyledItemDelegate* delegate = qobject_cast<QStyledItemDelegate*>(list.window->Table()->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  QWidget parent;
  const QModelIndex cell = list.window->Table()->model()->index(0, RecordListModel::ColStandort);
  std::unique_ptr<QWidget> editor(delegate->createEditor(&parent, QStyleOptionViewItem(), cell));
  auto* edit = qobject_cast<QLineEdit*>(editor.get());
  ASSERT_NE(edit, nullptr);
  Type(edit, QStringLiteral("Raum №3"));
  EXPECT_EQ(edit->text(), QStringLiteral("Raum 3"));
  EXPECT_TRUE(FieldGuard::LastRefusal(edit).contains(QStringLiteral("\u201E№\u201C")));
  EXPECT_EQ(edit->maxLength(), 50);
  // What reaches the model another way is refused with the same words.
  EXPECT_FALSE(list.Set(0, RecordListModel::ColInventar, QStringLiteral("A№1")));
  EXPECT_TRUE(list.model->LastRefusal().contains(QStringLiteral("\u201E№\u201C")));
  EXPECT_FALSE(list.Set(0, RecordListModel::ColBezeichnung, QString(51, QLatin1Char('b'))));
  EXPECT_TRUE(list.Set(0, RecordListModel::ColBemerkungen, QString(100, QLatin1Char('b'))));
  Seams::SetBeepCounter(nullptr);
}

TEST(TypedInput, LimitsAndDatesAreCheckedAndTheReportAndArchiveGetTheDateShown) {
  List list;
  // Limits as the device window takes them: a comma is the point, one separator.
  const int rpeLimit = RecordListModel::ColFirstValue + 1;
  EXPECT_FALSE(list.Set(0, rpeLimit, QStringLiteral("abc")));
  EXPECT_TRUE(list.model->LastRefusal().contains(QStringLiteral("kein Grenzwert")));
  EXPECT_FALSE(list.Set(0, rpeLimit, QStringLiteral("0,1,2")));
  EXPECT_TRUE(list.Shown(0, rpeLimit).contains(QStringLiteral("0.30")));
  EXPECT_TRUE(list.Set(0, rpeLimit, QStringLiteral("0,1")));
  EXPECT_EQ(list.model->Report(0).GrenzText[0], QStringLiteral("0.1"));
  EXPECT_EQ(list.Shown(0, rpeLimit + 1), QStringLiteral("nicht bestanden"));  // 0.12 Ohm is not below 0.1
  QLineEdit* deviceLimit = list.device.LimitEdit[1];
  deviceLimit->clear();
  Type(deviceLimit, QStringLiteral("1,5,"));
  EXPECT_EQ(deviceLimit->text(), QStringLiteral("1.5"));

  // Dates: a day that exists, TT.MM.JJJJ.
  for (const QString& wrong : {QStringLiteral("31.02.2026"), QStringLiteral("gestern"), QStringLiteral("2026-03-05")}) {
    EXPECT_FALSE(list.Set(1, RecordListModel::ColDatum, wrong)) << wrong.toStdString();
    EXPECT_EQ(list.model->LastRefusal(), FieldCheck::DateMessage(wrong));
  }
  EXPECT_EQ(list.Shown(1, RecordListModel::ColDatum), QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
  EXPECT_TRUE(list.Set(1, RecordListModel::ColDatum, QStringLiteral("5.3.2026")));
  EXPECT_EQ(list.Shown(1, RecordListModel::ColDatum), QStringLiteral("05.03.2026"));
  const ReportRecord report = list.model->Report(1);
  EXPECT_EQ(report.Fields[25], QStringLiteral("05.03.2026"));
  EXPECT_EQ(Archive::TestDate(report, QDate(2000, 1, 1)), QDate(2026, 3, 5));
  // A refused value in the editor is told in a message box once the editor closed.
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes << r, int(Win::IDOK); });
  QWidget parent;
  auto* delegate = list.window->Table()->itemDelegate();
  const QModelIndex cell = list.window->Table()->model()->index(2, RecordListModel::ColDatum);
  std::unique_ptr<QWidget> editor(delegate->createEditor(&parent, QStyleOptionViewItem(), cell));
  qobject_cast<QLineEdit*>(editor.get())->setText(QStringLiteral("31.02.2026"));
  delegate->setModelData(editor.get(), list.window->Table()->model(), cell);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !boxes.isEmpty(); }, 5000));
  EXPECT_EQ(boxes[0].text, FieldCheck::DateMessage(QStringLiteral("31.02.2026")));
}

TEST(TypedInput, EachRecordHasItsOwnClassAndOpenInspectionsAreNotFailures) {
  List list(3);
  // Class II: R-PE no longer applies, the others get the class II defaults.
  const int rpe = RecordListModel::ColFirstValue, riso = rpe + 3;
  EXPECT_TRUE(list.Set(1, riso + 1, QStringLiteral("9")));
  EXPECT_TRUE(list.Set(1, RecordListModel::ColClass, QStringLiteral("II")));
  EXPECT_EQ(list.Shown(1, RecordListModel::ColClass), QStringLiteral("II"));
  EXPECT_EQ(list.Shown(1, rpe + 2), QString());
  EXPECT_EQ(list.Shown(1, riso + 1), QStringLiteral("2.00"));
  EXPECT_EQ(list.model->Report(1).VdeKlasse, 2);
  EXPECT_EQ(list.model->Report(1).Fields[19], QStringLiteral("II"));
  EXPECT_EQ(list.Shown(0, RecordListModel::ColClass), QStringLiteral("I"));
  EXPECT_FALSE(list.Set(1, RecordListModel::ColClass, QStringLiteral("IV")));

  // The form's boxes unticked: every passing record is open, none failed.
  auto* status = TestUtil::Find<QLabel>(list.window.get(), RecordListWindow::StatusId);
  list.window->show();
  EXPECT_EQ(list.Shown(0, RecordListModel::ColMessung), QStringLiteral("bestanden"));
  EXPECT_EQ(list.Shown(0, RecordListModel::ColVerdict), QStringLiteral("offen"));
  EXPECT_EQ(list.Shown(0, RecordListModel::ColSicht), QStringLiteral("offen"));
  EXPECT_FALSE(list.model->Entry(0).Passed);  // the printed page: not passed until both are ticked
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("3 Prüfungen: 0 bestanden, 0 nicht bestanden, 3 offen")));
  // An inspection ticked off as failed in the list fails the record.
  EXPECT_TRUE(list.Set(2, RecordListModel::ColFunktion, Qt::Unchecked, Qt::CheckStateRole));
  EXPECT_EQ(list.Shown(2, RecordListModel::ColVerdict), QStringLiteral("nicht bestanden"));
  // Ticking the form's boxes changes the list at once: they are its default.
  list.form.SichtpruefungBox->setChecked(true);
  list.form.FunktionspruefungBox->setChecked(true);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return list.Shown(0, RecordListModel::ColVerdict) == QStringLiteral("bestanden"); }, 5000));
  EXPECT_TRUE(list.model->Entry(0).Passed);
  EXPECT_EQ(list.Shown(2, RecordListModel::ColVerdict), QStringLiteral("nicht bestanden"));
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("3 Prüfungen: 2 bestanden, 1 nicht bestanden, 0 offen.")))
      << status->text().toStdString();

  // Rows a running load has not read yet show no values and no verdict.
  list.device.LoadState = 4;
  list.device.RecordIndex = 1;
  list.model->Reload();
  EXPECT_EQ(list.Shown(0, RecordListModel::ColVerdict), QStringLiteral("bestanden"));
  EXPECT_EQ(list.Shown(1, RecordListModel::ColVerdict), QString());
  EXPECT_EQ(list.Shown(1, RecordListModel::ColMessung), QString());
  EXPECT_EQ(list.Shown(1, rpe), QString());
  list.device.LoadState = 0;
}

TEST(TypedInput, TheSameInventarNrOnTwoRowsIsMarkedAndABatchAsksFirst) {
  List list(4);
  EXPECT_TRUE(list.Set(0, RecordListModel::ColInventar, QStringLiteral("INV-7")));
  EXPECT_TRUE(list.Set(2, RecordListModel::ColInventar, QStringLiteral(" inv-7")));
  EXPECT_TRUE(list.Set(3, RecordListModel::ColInventar, QStringLiteral("INV-8")));
  EXPECT_EQ(list.model->SameInventar(0), std::vector<int>{2});
  EXPECT_TRUE(list.model->SameInventar(3).empty());
  const QModelIndex marked = list.model->index(2, RecordListModel::ColInventar);
  EXPECT_TRUE(list.model->data(marked, Qt::ToolTipRole).toString().contains(QStringLiteral("Nr. 001")));
  EXPECT_TRUE(list.model->data(marked, Qt::BackgroundRole).isValid());
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes << r, int(Win::IDNO); });
  bool asked = false;
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString*) { return asked = true, false; });
  list.window->Command(RecordListWindow::PdfFilesId);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("\u201EINV-7\u201C: Nr. 001, 003")));
  EXPECT_FALSE(asked);  // "Nein": nothing is written
  // Once the number is mended the batch runs without asking.
  EXPECT_TRUE(list.Set(2, RecordListModel::ColInventar, QStringLiteral("INV-9")));
  list.window->Command(RecordListWindow::RecordsId);
  EXPECT_EQ(boxes.size(), 1);
  EXPECT_TRUE(asked);
}

TEST(TypedInput, TheSpreadsheetCsvHasDecimalCommasQuotedSeparatorsAndNoFormulas) {
  const std::vector<QStringList> rows{
      {QStringLiteral("Wert"), QStringLiteral("Text")},
      {QStringLiteral("0.215"), QStringLiteral("Büro 3, Erdgeschoss")},
      {QStringLiteral("-0.5"), QStringLiteral("=HYPERLINK(\"http://x\")")},
      {QStringLiteral("Overflow"), QStringLiteral("-5")},
      {QStringLiteral("?"), QStringLiteral("+49 30 1234")},
      {QStringLiteral("12"), QStringLiteral("@SUMME(A1)")},
  };
  const QString sheet = QString::fromUtf8(RecordList::Csv(rows, true, {0}).mid(3));
  EXPECT_EQ(sheet, QStringLiteral("Wert;Text\r\n0,215;\"Büro 3, Erdgeschoss\"\r\n-0,5;\"'=HYPERLINK(\"\"http://x\"\")\"\r\n"
                                  "Overflow;-5\r\n?;'+49 30 1234\r\n12;'@SUMME(A1)\r\n"));
  // Without a word on the columns, a column of numbers and value marks is found.
  EXPECT_EQ(RecordList::Csv(rows, true), RecordList::Csv(rows, true, {0}));
  // The script variant is as before: points, commas, cells as they are.
  EXPECT_EQ(QString::fromUtf8(RecordList::Csv(rows, false)),
            QStringLiteral("Wert,Text\r\n0.215,\"Büro 3, Erdgeschoss\"\r\n-0.5,\"=HYPERLINK(\"\"http://x\"\")\"\r\n"
                           "Overflow,-5\r\n?,+49 30 1234\r\n12,@SUMME(A1)\r\n"));
}

}  // namespace
