// The report form's window: controls, set-up, signature lines, overall result.
#include <gtest/gtest.h>

#include <memory>

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "render/fonts.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "render/page.h"
#include "tests/support/recordingsurface.h"
#include "render/surface.h"
#include "tests/testutil.h"

namespace {

struct Form {
  TFormular form{nullptr};
  Form() { form.SetupWindow(); }
};

TEST(FormularWindow, ControlsInCreationOrderWithTheirPlaces) {
  Form f;
  TFormular& form = f.form;
  EXPECT_EQ(form.size(), QSize(630, 810));
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(250, 250, 160));

  QStringList order;
  for (QObject* child : form.children())
    if (child->isWidgetType()) order << child->objectName();
  QStringList expected;
  for (int i = 0; i <= 27; ++i) expected << QString::number(1000 + i);
  for (int i = 2002; i <= 2009; ++i) expected << QString::number(i);
  expected << "1028" << "2000" << "2001" << "1029" << "1030" << "1100" << "1101" << "1102";
  expected << "1103";  // our own: the details of a test under today's standards
  EXPECT_EQ(order, expected);

  // Each edit lies where the printed page writes its value, on the line of
  // its label; the signature fields are printed near the page's foot instead.
  for (int i = 0; i < TFormular::kNumEdits; ++i) form.SetFieldText(i, QStringLiteral("F%1").arg(i));
  Page::Input in = form.PageInput();
  in.printing = true;
  RecordingSurface page;
  Page::Paint(page, in, false, QRect());
  for (int i = 0; i <= 28; ++i) {
    auto* edit = TestUtil::Find<QLineEdit>(&form, 1000 + i);
    ASSERT_EQ(edit, form.Edits[i]);
    const RecordingSurface::Op* value = page.FindText(QStringLiteral("F%1").arg(i));
    ASSERT_NE(value, nullptr) << i;
    EXPECT_EQ(QPoint(value->a, value->b), edit->geometry().topLeft()) << i;
    EXPECT_EQ(edit->height(), 15);
    EXPECT_EQ(edit->maxLength(), i == 28 ? 100 : 50);
    if (i < 28) {
      bool labelOnItsLine = false;
      for (const RecordingSurface::Op& op : page.Texts())
        labelOnItsLine |= op.text == TFormular::FieldLabel(i) && op.b == edit->y() && op.a < edit->x();
      EXPECT_TRUE(labelOnItsLine) << i;
    }
  }
  EXPECT_EQ(form.Edits[29]->geometry(), QRect(5, 750, 255, 15));
  EXPECT_EQ(form.Edits[30]->geometry(), QRect(320, 750, 255, 15));

  for (int r = 0; r < 8; ++r) {
    auto* box = TestUtil::Find<QCheckBox>(&form, 2002 + r);
    ASSERT_EQ(box, form.OkBoxes[r]);
    EXPECT_EQ(box->geometry(), QRect(595, 440 + 20 * r, 12, 12));
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_TRUE(box->isHidden());  // no active rows yet
  }
  EXPECT_EQ(form.SichtpruefungBox->geometry(), QRect(320, 393, 40, 20));
  EXPECT_EQ(form.FunktionspruefungBox->geometry(), QRect(320, 623, 40, 20));
  EXPECT_EQ(form.SichtpruefungBox->text(), "OK");
  EXPECT_EQ(TestUtil::Find<QPushButton>(&form, 1100)->geometry(), QRect(180, 780, 80, 20));
  EXPECT_EQ(TestUtil::Find<QPushButton>(&form, 1101)->geometry(), QRect(495, 780, 80, 20));
  EXPECT_EQ(TestUtil::Find<QPushButton>(&form, 1102)->geometry(), QRect(5, 596, 80, 20));
  EXPECT_EQ(TestUtil::Find<QPushButton>(&form, 1102)->text(), "Kopieren");

  // Fonts: the variable-pitch font on edits, buttons and the two inspection boxes only.
  const QFont variable = Fonts::VariableFont();
  EXPECT_EQ(form.Edits[0]->font(), variable);
  EXPECT_EQ(form.KopierenButton->font(), variable);
  EXPECT_EQ(form.FunktionspruefungBox->font(), variable);
  EXPECT_NE(form.OkBoxes[0]->font(), variable);
  EXPECT_EQ(form.IniKeys[2], "AGPLZ/Stadt");
  EXPECT_EQ(form.IniKeys[31], "MESS_RPE");
  EXPECT_EQ(form.IniKeys[42], "GRENZ_IEA");
  EXPECT_EQ(form.IniKeys[54], "GRENZ_IA_OK");
}

TEST(FormularWindow, WritesBlackOnTheYellowPageUnderADarkTheme) {
  const QPalette dark = TestUtil::DarkPalette();
  auto theme = std::make_unique<TestUtil::ScopedAppPalette>(dark);

  auto expectReadable = [](TFormular& form, const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(250, 250, 160));
    for (QCheckBox* box : {form.SichtpruefungBox, form.FunktionspruefungBox, form.OkBoxes[0]}) {
      EXPECT_EQ(box->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::black));
      EXPECT_EQ(box->palette().color(QPalette::Inactive, QPalette::WindowText), QColor(Qt::black));
      EXPECT_EQ(box->palette().color(QPalette::Text), QColor(Qt::black));   // the check mark
      EXPECT_EQ(box->palette().color(QPalette::Base), QColor(Qt::white));   // its square
    }
    EXPECT_EQ(form.Edits[0]->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(form.Edits[0]->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(form.KopierenButton->palette().color(QPalette::ButtonText), QColor(Qt::black));
    EXPECT_GT(form.KopierenButton->palette().color(QPalette::Button).lightness(), 200);
    // The disabled OK boxes stay legible on the page, too.
    EXPECT_LT(form.OkBoxes[0]->palette().color(QPalette::Disabled, QPalette::Text).lightness(), 160);
  };
  {
    Form f;  // created under the dark theme
    expectReadable(f.form, "created under a dark theme");
  }
  theme.reset();
  {
    Form f;  // the desktop turns dark while the form is open
    TestUtil::ScopedAppPalette turnsDark(dark);
    expectReadable(f.form, "theme changed while open");
  }
}

TEST(FormularWindow, FreshStateAndReadOnlyFields) {
  Form f;
  TFormular& form = f.form;
  EXPECT_EQ(form.VdePruefgrundlage, 1);
  EXPECT_EQ(form.VdeKlasse, 1);
  for (int r = 0; r < 8; ++r) {
    EXPECT_EQ(form.MessText[r], "??");
    EXPECT_EQ(form.GrenzText[r], "??");
    EXPECT_EQ(form.RowActive[r], 0);
  }
  EXPECT_EQ(form.FieldText(27), "Automatisch");
  for (int i = 0; i < 31; ++i) EXPECT_EQ(form.Edits[i]->isReadOnly(), i == 19 || i == 27) << i;

  // The user cannot type into the read-only fields; the program still writes them.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(form.Edits[19], &key);
  EXPECT_EQ(form.FieldText(19), "");
  form.SetFieldText(19, "II");
  EXPECT_EQ(form.FieldText(19), "II");
}

TEST(FormularWindow, TypingKeepsToCp1252AndTheLimit) {
  Form f;
  QLineEdit* edit = f.form.Edits[0];
  edit->setFocus();
  auto type = [edit](const QString& text) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(edit, &key);
  };
  int beeps = 0;
  Seams::SetBeepCounter(&beeps);
  type(QString::fromUtf8("ä"));
  type(QString::fromUtf8("€"));
  type(QString::fromUtf8("Ł"));  // not in cp1252: refused, nothing would survive a save
  type(QString::fromUtf8("日"));
  EXPECT_EQ(edit->text(), QString::fromUtf8("ä€"));
  EXPECT_EQ(beeps, 2);

  // A longer text set by the program stays whole; typing cannot grow it.
  const QString longText(80, QChar('x'));
  f.form.SetFieldText(0, longText);
  EXPECT_EQ(edit->text(), longText);
  edit->setCursorPosition(10);
  type("y");
  EXPECT_EQ(edit->text(), longText);
  QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(edit, &backspace);
  EXPECT_EQ(edit->text().size(), 79);
  EXPECT_EQ(edit->cursorPosition(), 9);
}

TEST(FormularWindow, ErzeugenComposesPlaceDateAndName) {
  Form f;
  TFormular& form = f.form;
  const QString today = TFormular::TodayText();
  form.EvCommand(1100, form.ErzeugenUnternehmerButton, 0);
  EXPECT_EQ(form.FieldText(29), ", " + today + ", ");

  form.SetFieldText(9, QString::fromUtf8("12345 Köln"));
  form.SetFieldText(12, "Herr Meier");
  form.SetFieldText(2, "not used by the tester's line");
  form.ErzeugenPrueferButton->click();
  EXPECT_EQ(form.FieldText(30), QString::fromUtf8("12345 Köln, ") + today + ", Herr Meier");

  // Each source field gives at most 98 characters; the result is kept whole.
  form.SetFieldText(2, QString(120, 'a'));
  form.SetFieldText(5, QString(99, 'b'));
  form.CmErzeugenUnternehmer();
  EXPECT_EQ(form.FieldText(29), QString(98, 'a') + ", " + today + ", " + QString(98, 'b'));
}

TEST(FormularWindow, TodayTextIsTheLocalCalendarDate) {
  const QByteArray oldTz = qgetenv("TZ");
  qputenv("TZ", "Europe/Berlin");
  tzset();
  // 23:30 UTC on 6 December is already 7 December in Germany.
  const QDateTime lateUtc(QDate(2026, 12, 6), QTime(23, 30), Qt::UTC);
  EXPECT_EQ(TFormular::TodayText(lateUtc), "07.12.2026");
  EXPECT_EQ(TFormular::TodayText(QDateTime(QDate(2026, 1, 2), QTime(12, 0), Qt::UTC)), "02.01.2026");
  if (oldTz.isNull())
    qunsetenv("TZ");
  else
    qputenv("TZ", oldTz);
  tzset();
}

TEST(FormularWindow, OverallResult) {
  Form f;
  TFormular& form = f.form;
  auto setRows = [&form](std::initializer_list<int> active, std::initializer_list<int> checked) {
    form.RowActive.fill(0);
    for (int r : active) form.RowActive[r] = 1;
    for (int r = 0; r < 8; ++r) form.OkBoxes[r]->setChecked(false);
    for (int r : checked) form.OkBoxes[r]->setChecked(true);
    form.PaintScreen();
  };
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);

  setRows({}, {0, 1});  // no active row: failed whatever the boxes say
  EXPECT_EQ(form.GesamtOk(), 0);
  EXPECT_FALSE(form.ReportPassed());

  setRows({1, 2, 3}, {0, 1, 2, 3});
  EXPECT_EQ(form.GesamtOk(), 1);
  EXPECT_TRUE(form.ReportPassed());
  EXPECT_TRUE(form.OkBoxes[0]->isHidden());
  EXPECT_FALSE(form.OkBoxes[1]->isHidden());
  EXPECT_FALSE(form.OkBoxes[1]->isEnabled());  // an indicator, not an input

  setRows({1, 2, 3}, {1, 2, 5});  // an unchecked shown box fails; a hidden checked one does not count
  EXPECT_EQ(form.GesamtOk(), 0);

  setRows({4}, {4});
  EXPECT_EQ(form.GesamtOk(), 1);
  form.FunktionspruefungBox->setChecked(false);
  EXPECT_FALSE(form.ReportPassed());
}

TEST(FormularWindow, MenuCommandsReachTheForm) {
  Form f;
  int dialogs = 0;
  Seams::SetFileDialogResponder([&dialogs](const FileDialogRequest&, QString*) {
    ++dialogs;
    return false;
  });
  int printDialogs = 0;
  Seams::SetGenericDialogResponder([&printDialogs](const GenericDialogRequest& r) {
    printDialogs += r.kind == "print";
    return int(Win::IDCANCEL);
  });
  EXPECT_TRUE(f.form.HandleCommand(20011));
  EXPECT_TRUE(f.form.HandleCommand(20012));
  EXPECT_TRUE(f.form.HandleCommand(20018));
  EXPECT_FALSE(f.form.HandleCommand(1102));  // a button, not a menu command
  EXPECT_FALSE(f.form.HandleCommand(20014));
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(printDialogs, 1);
  // An edit notification with the id of a button does nothing.
  EXPECT_FALSE(f.form.EvCommand(1100, f.form.ErzeugenUnternehmerButton, 0x300));
  EXPECT_EQ(f.form.FieldText(29), "");
}

TEST(FormularWindow, LooksRight) {
  Form f;
  TFormular& form = f.form;
  for (int i = 0; i < 31; ++i)
    if (i != 27) form.SetFieldText(i, QString::fromUtf8("Feld %1 Äg Müller").arg(i));
  form.RowActive = {1, 1, 1, 0, 0, 0, 0, 0};
  form.OkBoxes[0]->setChecked(true);
  form.SichtpruefungBox->setChecked(true);
  QImage image = TestUtil::Grab(&form, "formular_window");
  EXPECT_EQ(image.size(), QSize(630, 810) * image.devicePixelRatio());
  EXPECT_FALSE(form.OkBoxes[0]->isHidden());
  EXPECT_TRUE(form.OkBoxes[3]->isHidden());
}

}  // namespace
