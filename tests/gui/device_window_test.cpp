#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cmath>

#include "controls/TColorStatic.h"
#include "device/TMessgeraet.h"
#include "platform/dialogunits.h"
#include "platform/seams.h"
#include "platform/wintimer.h"
#include "tests/testutil.h"

namespace {

struct ManualTimers {
  ManualTimers() { Seams::SetTimerResponder(TestUtil::ManualTimers); }
  ~ManualTimers() {
    Seams::SetTimerResponder(nullptr);
  }
};

// A set-up device window whose timers do not run by themselves.
struct Window {
  ManualTimers manual;
  TMessgeraet w;
  explicit Window(int debugMode = 0) : w(nullptr, 1000, debugMode) { w.SetupWindow(); }
};

// Template 1000 as written down: id | kind | text | x, y, w, h (dialog units) | flags.
const char* const kTemplateRows[] = {
    "1401|group|COM-Information|2,2,380,41|",
    "1470|droplist|COM|9,11,67,82|",
    "1104|static|COM Information ?|100,13,206,8|",
    "1446|check|Verbindungstest:|10,28,80,9|",
    "1448|static|Verbindung ?|100,28,108,8|",
    "1300|group|Gerätetyp|2,44,380,28|",
    "1304|static|?|10,57,306,8|",
    "1302|button|Version ?|328,53,50,14|",
    "1460|group|Einstellungen|2,74,380,33|",
    "1463|static|Norm:|7,88,21,8|",
    "1461|droplist|ComboBox1|32,86,104,82|",
    "1464|static|Schutzklasse:|184,88,47,8|",
    "1462|droplist|ComboBox2|233,86,135,70|",
    "1001|group|Anzeige|2,108,380,60|",
    "1468|static|Bereich:|9,120,27,8|",
    "1467|static|?|41,120,147,8|",
    "1449|colour|?|9,132,127,28|",
    "203|static|?|190,118,182,7|right debug",
    "204|static|?|162,128,210,7|right debug",
    "205|static|?|160,138,212,7|right debug",
    "206|static|?|160,148,212,7|right debug",
    "1002|group|Messwerte|2,169,380,68|",
    "1003|static|Messungen|9,179,44,8|",
    "1004|static|Messbereich/Methode|123,179,77,8|",
    "1005|static|Messwert|217,179,40,8|",
    "1006|static|Grenzwert|270,179,40,8|",
    "1007|static|Einheit|330,179,40,8|",
    "1422|static|Schutzleitwiderstand (R-PE)|9,190,100,8|",
    "1445|static|direkte Messung|123,190,73,8|",
    "1413|static|?|207,190,40,8|right",
    "1437|edit|?|270,190,40,8|",
    "1421|static|Ohm|330,190,40,8|",
    "1423|static|Isolationswiderstand (R-ISO)|9,200,100,8|",
    "1444|static|direkte Messung|123,200,73,8|",
    "1412|static|?|207,200,40,8|right",
    "1430|edit|?|270,200,40,8|",
    "1420|static|MOhm|330,200,40,8|",
    "1426|static|Ableitstrom (I-ABL)|9,210,100,8|",
    "1441|static|direkte Messung|123,210,69,8|",
    "1409|static|?|207,210,40,8|right",
    "1434|edit|?|270,210,40,8|",
    "1417|static|m A|330,209,40,8|",
    "1425|static|Ersatzableitstrom (I-EA)|9,221,100,8|",
    "1442|static|direkte Messung|123,221,73,8|",
    "1410|static|?|207,221,40,8|right",
    "1435|edit|?|270,221,40,8|",
    "1418|static|m A|330,220,40,8|",
    "1450|group|Datensatzverwaltung|2,238,380,58|",
    "1451|static|Datensatz:|8,255,40,8|",
    "1453|static|?|60,256,17,8|right",
    "106|static|von|82,256,12,9|",
    "1466|static|?|99,256,17,8|right",
    "110|button|<<|51,271,16,9|",
    "101|button|<|71,271,16,9|",
    "104|button|>|91,271,16,9|",
    "109|button|>>|111,271,16,9|",
    "105|button|Lade Alle Datensätze|196,250,75,14|",
    "102|button|Lösche alle Datensätze|290,250,80,14|",
    "1456|static|Adresse:|8,300,33,8|debug",
    "1455|static|?|56,300,17,8|debug",
    "1459|button|+|76,300,14,14|debug",
    "1458|button|-|96,300,14,14|debug",
    "1457|button|Laden|124,300,32,14|debug",
    "1447|button|Random|177,300,35,14|debug",
    "1469|button|Calibration|268,300,35,14|debug",
    "1200|group|Kommunikation|2,312,380,112|debug",
    "1201|button|Löschen|336,320,40,14|debug",
    "1106|static|Bytes (TxD/RxD):|12,323,60,8|debug",
    "1101|static|COM-Fehler (TxD/RxD):|162,322,81,8|debug",
    "1100|static|none|247,322,74,8|debug",
    "1202|list||8,336,368,84|debug",
    "1102|static|0/0|76,323,80,8|debug",
};

struct Row {
  int id;
  QString kind, text, flags;
  int x, y, w, h;
};

Row Parse(const char* line) {
  const QStringList f = QString::fromUtf8(line).split('|');
  const QStringList r = f[3].split(',');
  return Row{f[0].toInt(), f[1], f[2], f[4], r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt()};
}

// Pixels at 96 DPI, computed independently: base units 6 x 13, halves up.
int Px(int du, int base, int div) { return static_cast<int>(std::floor(du * base / double(div) + 0.5)); }

QString TextOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* c = qobject_cast<TColorStatic*>(w)) return c->GetText();
  return QString();
}

bool KindMatches(QWidget* w, const QString& kind) {
  if (kind == "group") return qobject_cast<QGroupBox*>(w);
  if (kind == "static") return qobject_cast<QLabel*>(w);
  if (kind == "edit") return qobject_cast<QLineEdit*>(w);
  if (kind == "button") return qobject_cast<QPushButton*>(w);
  if (kind == "check") return qobject_cast<QCheckBox*>(w);
  if (kind == "droplist") return qobject_cast<QComboBox*>(w) && !qobject_cast<QComboBox*>(w)->isEditable();
  if (kind == "list") return qobject_cast<QListWidget*>(w);
  if (kind == "colour") return qobject_cast<TColorStatic*>(w);
  return false;
}

void TypeChar(QWidget* w, QChar c) {
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
  QApplication::sendEvent(w, &release);
}

void Type(QLineEdit* e, const QString& text) {
  for (QChar c : text) TypeChar(e, c);
}

}  // namespace

TEST(DeviceWindow, EveryTemplateControlWithIdKindTextAndPlace) {
  ASSERT_EQ(DialogUnits::ScreenDpi(), 96) << "the expected pixels assume 96 DPI";
  ManualTimers manual;
  TMessgeraet w(nullptr, 1000, 1);  // constructed only: the template texts
  EXPECT_EQ(w.size(), QSize(Px(385, 6, 4), Px(455, 13, 8)));
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Messgerät"));
  int count = 0;
  for (const char* line : kTemplateRows) {
    const Row row = Parse(line);
    SCOPED_TRACE(line);
    QWidget* c = TestUtil::Find(&w, row.id);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(KindMatches(c, row.kind));
    EXPECT_EQ(c->parentWidget(), &w);
    EXPECT_EQ(c->x(), Px(row.x, 6, 4));
    EXPECT_EQ(c->y(), Px(row.y, 13, 8));
    EXPECT_EQ(c->width(), Px(row.w, 6, 4));
    // A drop-down list's template height is its opened height.
    if (row.kind != "droplist") EXPECT_EQ(c->height(), Px(row.h, 13, 8));
    // The live display gets "???" right after it is created.
    if (row.kind == "colour")
      EXPECT_EQ(TextOf(c), "???");
    else if (row.kind != "droplist" && row.kind != "list")
      EXPECT_EQ(TextOf(c), row.text);
    if (auto* l = qobject_cast<QLabel*>(c))
      EXPECT_EQ(bool(l->alignment() & Qt::AlignRight), row.flags.contains("right"));
    ++count;
  }
  EXPECT_EQ(count, 72);
}

TEST(DeviceWindow, MemberArraysHoldTheirControlsInOrder) {
  ManualTimers manual;
  TMessgeraet w(nullptr, 1000, 0);
  auto ids = [](const auto& arr) {
    QList<int> out;
    for (auto* c : arr) out.append(c ? c->objectName().toInt() : -1);
    return out;
  };
  EXPECT_EQ(ids(w.DebugStatic), QList<int>({203, 204, 205, 206}));
  EXPECT_EQ(ids(w.ValueStatic), QList<int>({1413, 1412, 1409, 1410}));
  EXPECT_EQ(ids(w.UnitStatic), QList<int>({1421, 1420, 1417, 1418}));
  EXPECT_EQ(ids(w.LabelStatic), QList<int>({1422, 1423, 1426, 1425}));
  EXPECT_EQ(ids(w.LimitEdit), QList<int>({1437, 1430, 1434, 1435}));
  EXPECT_EQ(ids(w.MethodStatic), QList<int>({1445, 1444, 1441, 1442}));
  EXPECT_EQ(ids(w.CommStatic), QList<int>({1106, 1102, 1101, 1100, 1456, 1455}));
  EXPECT_EQ(ids(w.DebugButton), QList<int>({1459, 1458, 1457, 1469, 1447, 1201}));
  EXPECT_EQ(ids(w.RecordButton), QList<int>({1302, 105, 101, 104, 110, 109, 102}));
  EXPECT_EQ(w.LogList->objectName(), "1202");
  EXPECT_EQ(w.CommGroup->objectName(), "1200");
  EXPECT_EQ(w.NormCombo->objectName(), "1461");
  EXPECT_EQ(w.KlasseCombo->objectName(), "1462");
  EXPECT_EQ(w.ComCombo->objectName(), "1470");
  EXPECT_EQ(w.ConnectionTestBox->objectName(), "1446");
  // Start values of the construction.
  EXPECT_EQ(w.VdePruefgrundlage, 4);
  EXPECT_EQ(w.VdeKlasse, 1);
  EXPECT_EQ(w.DeviceText, "?");
  EXPECT_TRUE(w.ReopenPending);
  EXPECT_EQ(w.Display->GetText(), "???");
  EXPECT_EQ(w.Display->GetFillColor(), QColor(200, 200, 200));
  EXPECT_EQ(w.Display->GetTextBkColor(), QColor(200, 200, 200));
  EXPECT_EQ(w.Display->GetTextColor(), QColor(0, 0, 0));
  EXPECT_EQ(QFontMetrics(w.Display->GetFont()).height(), 54);
  // The copies are the window's own.
  w.RowApplies[1][4][0] = 0;
  w.DefaultLimits[1][4][0] = 9.0f;
  EXPECT_EQ(kRowApplies[1][4][0], 1);
  EXPECT_EQ(kDefaultLimits[1][4][0], 0.3f);
}

TEST(DeviceWindow, SetupFillsListsTextsAndStartsTimers) {
  Window win;
  TMessgeraet& w = win.w;
  ASSERT_EQ(w.ComCombo->count(), 30);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(w.ComCombo->itemText(i), QString("COM%1").arg(i + 1));
  EXPECT_EQ(w.ComCombo->currentIndex(), 3);
  EXPECT_EQ(w.ComCombo->currentText(), "COM4");
  EXPECT_EQ(w.NormCombo->count(), 2);
  EXPECT_EQ(w.NormCombo->itemText(0), "VDE 0701 / 0702");
  EXPECT_EQ(w.NormCombo->itemText(1), "VDE 0751");
  EXPECT_EQ(w.NormCombo->currentIndex(), 0);
  ASSERT_EQ(w.KlasseCombo->count(), 3);
  EXPECT_EQ(w.KlasseCombo->itemText(0), "  I, Schutzleiteranschluss");
  EXPECT_EQ(w.KlasseCombo->itemText(1), " II, Schutzisolierung");
  EXPECT_EQ(w.KlasseCombo->itemText(2), "III, Schutzkleinspannung");
  EXPECT_EQ(w.KlasseCombo->currentIndex(), 0);
  EXPECT_EQ(w.GetDlgItemText(1104), "COM Info");
  EXPECT_EQ(w.GetDlgItemText(1453), "001");
  EXPECT_EQ(w.GetDlgItemText(1455), "0001");
  EXPECT_EQ(w.GetDlgItemText(1448), "Verbindung ?");
  for (QLabel* v : w.ValueStatic) EXPECT_EQ(v->text(), "?");
  EXPECT_EQ(w.LimitEdit[0]->text(), " 0.30");
  EXPECT_EQ(w.LimitEdit[1]->text(), " 1.00");
  EXPECT_EQ(w.LimitEdit[2]->text(), " 3.50");
  EXPECT_EQ(w.LimitEdit[3]->text(), " 3.50");
  EXPECT_TRUE(w.ConnectionTestBox->isChecked());
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(250, 220, 130));
  EXPECT_TRUE(w.autoFillBackground());
  EXPECT_TRUE(QFontInfo(w.LogList->font()).fixedPitch());
  EXPECT_EQ(w.TxBytes, 0);
  EXPECT_EQ(w.RxBytes, 0);
  EXPECT_TRUE(w.ReopenPending);
  ASSERT_NE(w.Timers, nullptr);
  EXPECT_EQ(w.Timers->Period(TMessgeraet::PollTimer), WinTimers::kShortestPeriodMs);
  EXPECT_EQ(w.Timers->Period(TMessgeraet::LinkTimer), 1000);
  EXPECT_FALSE(w.Timers->IsActive(TMessgeraet::LockTimer));
}

TEST(DeviceWindow, NoTimerShowsTheMessageTwiceAndSetupGoesOn) {
  ManualTimers manual;
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    boxes.append(r);
    return Win::IDOK;
  });
  Seams::SetTimerResponder(TestUtil::NoTimers);
  TMessgeraet w(nullptr, 1000, 1);
  w.SetupWindow();
  ASSERT_EQ(boxes.size(), 2);
  for (const MessageBoxRequest& r : boxes) {
    EXPECT_EQ(r.caption, QString::fromUtf8("Keine Timer für COM-Socket verfügbar!"));
    EXPECT_EQ(r.text, QString());
    EXPECT_EQ(r.type, unsigned(Win::MB_OK));
  }
  EXPECT_FALSE(w.Timers->IsActive(TMessgeraet::PollTimer));
  EXPECT_EQ(w.ComCombo->count(), 30);
}

TEST(DeviceWindow, DebugModeShowsDebugControlsAndLogsFirstLine) {
  const QList<int> debugOnly = {1202, 1200, 203, 204, 205, 206, 1106, 1102, 1101,
                                1100, 1456, 1455, 1459, 1458, 1457, 1469, 1447, 1201};
  const QList<int> always = {1401, 1470, 1104, 1446, 1448, 1300, 1304, 1302, 1460, 1463, 1461,
                             1464, 1462, 1001, 1468, 1467, 1449, 1002, 1003, 1004, 1005, 1006,
                             1007, 1450, 1451, 1453, 106,  1466, 110,  101,  104,  109,  105, 102};
  for (int mode : {0, 1, 2}) {
    SCOPED_TRACE(mode);
    Window win(mode);
    win.w.show();
    for (int id : debugOnly) EXPECT_EQ(TestUtil::Find(&win.w, id)->isVisible(), mode == 1) << id;
    for (int id : always) EXPECT_TRUE(TestUtil::Find(&win.w, id)->isVisible()) << id;
    if (mode == 1) {
      ASSERT_EQ(win.w.LogList->count(), 1);
      EXPECT_EQ(win.w.LogList->item(0)->text(), "Debug Modus !!!!");
    } else {
      EXPECT_EQ(win.w.LogList->count(), 0);
    }
  }
}

TEST(DeviceWindow, LimitFieldsTakeADecimalCommaAsPointAndRefuseOtherCharactersAloud) {
  int beeps = 0;
  Seams::SetBeepCounter(&beeps);
  Window win;
  EXPECT_EQ(beeps, 0);  // the program's own texts ("?", limits) never beep
  QLineEdit* e = win.w.LimitEdit[0];
  ASSERT_EQ(e->text(), " 0.30");
  e->setCursorPosition(e->text().size());
  TypeChar(e, 'a');
  TypeChar(e, QChar(0x00E4));  // ä
  EXPECT_EQ(e->text(), " 0.30");
  EXPECT_EQ(beeps, 2);
  // A German user types a decimal comma: it is the decimal point, never dropped.
  e->clear();
  Type(e, "0,50");
  EXPECT_EQ(e->text(), "0.50");
  e->clear();
  Type(e, "-");
  EXPECT_EQ(e->text(), "-");
  Type(e, " 2x,");
  EXPECT_EQ(e->text(), "- 2.");
  EXPECT_EQ(beeps, 3);
  // Pasted text: each comma becomes a point; a foreign character refuses the text.
  e->clear();
  QApplication::clipboard()->setText(QStringLiteral("1,5"));
  e->paste();
  EXPECT_EQ(e->text(), "1.5");
  QApplication::clipboard()->setText(QStringLiteral("1,5 MOhm"));
  e->paste();
  EXPECT_EQ(e->text(), "1.5");
  EXPECT_EQ(beeps, 4);
  for (QLineEdit* other : win.w.LimitEdit) EXPECT_NE(other->validator(), nullptr);
}

TEST(DeviceWindow, RefreshSettingsForEveryStandardAndClass) {
  // norm index, class index -> limit texts and rows that belong to the test.
  struct Case {
    int norm, klasse;
    const char* limits[4];
    bool rows[4];
  };
  const Case cases[] = {
      {0, 0, {" 0.30", " 1.00", " 3.50", " 3.50"}, {true, true, true, true}},
      {0, 1, {" 0.00", " 2.00", " 0.50", " 0.50"}, {false, true, true, true}},
      {0, 2, {" 0.00", " 0.25", " 0.00", " 0.00"}, {false, true, false, false}},
      {1, 0, {" 0.10", " 2.00", " 0.10", " 0.10"}, {true, true, true, true}},
      {1, 1, {" 0.00", " 7.00", " 0.10", " 0.10"}, {false, true, true, true}},
      {1, 2, {" 0.00", " 7.00", " 0.00", " 0.00"}, {false, true, false, false}},
  };
  Window win;
  TMessgeraet& w = win.w;
  w.show();
  for (int available : {0, 1}) {
    for (int r = 0; r < 4; ++r) w.MeasurementAvailable[r] = available;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "norm " << c.norm << " class " << c.klasse << " available " << available);
      w.NormCombo->setCurrentIndex(c.norm);
      w.KlasseCombo->setCurrentIndex(c.klasse);
      w.RefreshSettings();
      EXPECT_EQ(w.VdePruefgrundlage, c.norm + 4);
      EXPECT_EQ(w.VdeKlasse, c.klasse + 1);
      for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(w.LimitEdit[r]->text(), c.limits[r]) << "row " << r;
        const bool shown = available && c.rows[r];
        EXPECT_EQ(w.ValueStatic[r]->isVisible(), shown) << "row " << r;
        EXPECT_EQ(w.UnitStatic[r]->isVisible(), shown);
        EXPECT_EQ(w.LabelStatic[r]->isVisible(), shown);
        EXPECT_EQ(w.LimitEdit[r]->isVisible(), shown);
        EXPECT_EQ(w.MethodStatic[r]->isVisible(), shown);
      }
    }
  }
  // One measurement available alone shows only its row.
  for (int r = 0; r < 4; ++r) w.MeasurementAvailable[r] = r == 1;
  w.NormCombo->setCurrentIndex(0);
  w.KlasseCombo->setCurrentIndex(0);
  w.RefreshSettings();
  EXPECT_FALSE(w.LabelStatic[0]->isVisible());
  EXPECT_TRUE(w.LabelStatic[1]->isVisible());
  EXPECT_FALSE(w.LabelStatic[2]->isVisible());
}

TEST(DeviceWindow, UserSelectionRelabelsTheRecordOnDisplay) {
  Window win;
  TMessgeraet& w = win.w;
  w.RecordIndex = 5;
  w.KlasseCombo->setCurrentIndex(1);
  emit w.KlasseCombo->activated(1);
  EXPECT_EQ(w.Records[5].ClassIndex, 1);
  EXPECT_EQ(w.Records[5].NormIndex, 0);
  EXPECT_EQ(w.VdeKlasse, 2);
  EXPECT_EQ(w.Records[0].ClassIndex, 0);
  w.NormCombo->setCurrentIndex(1);
  emit w.NormCombo->activated(1);
  EXPECT_EQ(w.Records[5].NormIndex, 1);
  EXPECT_EQ(w.VdePruefgrundlage, 5);
  // A selection the program makes does not notify.
  w.KlasseCombo->setCurrentIndex(2);
  EXPECT_EQ(w.VdeKlasse, 2);
  EXPECT_EQ(w.Records[5].ClassIndex, 1);
  // A typed limit stays until the next refresh replaces it.
  w.LimitEdit[1]->setText("0.5");
  EXPECT_EQ(w.LimitEdit[1]->text(), "0.5");
  emit w.KlasseCombo->activated(2);
  EXPECT_EQ(w.LimitEdit[1]->text(), " 7.00");
  // A record index outside the table is never written.
  w.RecordIndex = TMessgeraet::kRecordSlots;
  w.RefreshSettings();
  w.RecordIndex = -1;
  w.RefreshSettings();
  EXPECT_EQ(w.VdeKlasse, 3);
}

TEST(DeviceWindow, DialogItemTextsAndClose) {
  Window win;
  TMessgeraet& w = win.w;
  w.SetDlgItemText(1304, "QK236 V1.22");
  EXPECT_EQ(w.GetDlgItemText(1304), "QK236 V1.22");
  w.SetDlgItemText(1449, "12.34");
  EXPECT_EQ(w.Display->GetText(), "12.34");
  w.SetDlgItemText(1437, "1.5");
  EXPECT_EQ(w.LimitEdit[0]->text(), "1.5");
  EXPECT_EQ(w.Control(99999), nullptr);
  w.SetDlgItemText(99999, "x");  // unknown id: nothing happens
  EXPECT_EQ(w.GetDlgItemText(99999), QString());
  EXPECT_TRUE(w.CanClose());
}

TEST(DeviceWindow, ClicksReachTheButtonDispatcher) {
  Window win(1);
  TMessgeraet& w = win.w;
  ASSERT_EQ(w.LogList->count(), 1);
  w.TxBytes = 7;
  // A real click on "Löschen" goes through EvCommand to the dispatcher.
  TestUtil::Find<QPushButton>(&w, 1201)->click();
  EXPECT_EQ(w.LogList->count(), 0);
  EXPECT_EQ(w.TxBytes, 0);
  // The connection-test box only toggles; the link timer reads it.
  w.LogLine("x");
  w.ConnectionTestBox->click();
  EXPECT_FALSE(w.ConnectionTestBox->isChecked());
  EXPECT_EQ(w.LogList->count(), 1);
  // A command without a control, or another notification, is not a click.
  w.EvCommand(1201, nullptr, 0);
  w.EvCommand(1201, w.DebugButton[5], 1);
  EXPECT_EQ(w.LogList->count(), 1);
  // An id the dispatcher does not know changes nothing.
  w.EvCommand(4711, w.DebugButton[0], 0);
  EXPECT_EQ(w.LogList->count(), 1);
}

TEST(DeviceWindow, NoTwoControlsOverlap) {
  // Group boxes frame other controls; every other pair must be disjoint, or
  // one is drawn over the other. A drop-down list counts with its closed height.
  Window win(1);
  for (int& available : win.w.MeasurementAvailable) available = 1;
  win.w.RefreshSettings();
  win.w.show();
  QList<QWidget*> controls;
  for (QWidget* c : win.w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (c->isVisible() && !qobject_cast<QGroupBox*>(c)) controls.append(c);
  ASSERT_EQ(controls.size(), 73 - 7);
  for (int i = 0; i < controls.size(); ++i)
    for (int j = i + 1; j < controls.size(); ++j)
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << controls[i]->objectName().toStdString() << " and " << controls[j]->objectName().toStdString();
}

TEST(DeviceWindow, TextsTheProgramWritesFitTheirFields) {
  // A static breaks a text that is too wide and shows only its first line, so
  // a text wider than its field loses its end (the range's unit, a counter).
  Window win(1);
  TMessgeraet& w = win.w;
  const QFontMetrics fm(w.font());
  auto fits = [&](int id, const QString& text) {
    QWidget* c = w.Control(id);
    EXPECT_LE(fm.horizontalAdvance(text), c->width()) << id << " " << text.toStdString();
    EXPECT_LE(fm.height(), c->height() + 1) << id;
  };
  // Every range and method the tester measures with (the calibration texts of
  // codes 19 to 22 are longer and only appear while calibrating).
  for (int code = 0; code <= 18; ++code) fits(1467, TMessgeraet::RangeText(code));
  fits(1104, "Com30:Baudrate: 38400/ Stopbits: 2/ Databits: 8/ Parity: 0");
  fits(1102, "9999999/9999999");
  fits(1100, "999999 / 999999");
  fits(1453, "500");
  fits(1466, "500");
  fits(1455, "0500");
  fits(1413, "Overflow");
}

TEST(DeviceWindow, WritesBlackOnItsOwnBackgroundUnderADarkTheme) {
  TestUtil::ScopedAppPalette theme(TestUtil::DarkPalette());
  Window win(0);
  TMessgeraet& w = win.w;
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(250, 220, 130));
  // Group boxes carry a style sheet and do not inherit their parent's colours.
  for (int id : {1401, 1300, 1460, 1001})
    EXPECT_EQ(TestUtil::Find(&w, id)->palette().color(QPalette::WindowText), QColor(Qt::black)) << id;
  EXPECT_EQ(TestUtil::Find(&w, 1468)->palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(w.ConnectionTestBox->palette().color(QPalette::WindowText), QColor(Qt::black));
  EXPECT_EQ(w.LogList->palette().color(QPalette::Text), QColor(Qt::black));
  EXPECT_EQ(w.LogList->palette().color(QPalette::Base), QColor(Qt::white));
  EXPECT_EQ(w.ComCombo->palette().color(QPalette::ButtonText), QColor(Qt::black));
  const QImage img = TestUtil::Grab(&w, "device_dark_theme");
  // The "Bereich:" label is written in dark ink.
  const QRect label = TestUtil::Find(&w, 1468)->geometry();
  int dark = 0;
  for (int y = label.top(); y <= label.bottom(); ++y)
    for (int x = label.left(); x <= label.right(); ++x) dark += qGray(img.pixel(x, y)) < 90;
  EXPECT_GT(dark, 10);
}

TEST(DeviceWindow, GrabNormalAndDebug) {
  Window normal(0);
  QImage img = TestUtil::Grab(&normal.w, "device_normal");
  // The live display paints its grey fill.
  const QRect d = normal.w.Display->geometry();
  EXPECT_EQ(img.pixelColor(d.right() - 2, d.bottom() - 2), QColor(200, 200, 200));
  EXPECT_EQ(img.pixelColor(img.width() - 3, img.height() - 3), QColor(250, 220, 130));
  Window debug(1);
  for (int r = 0; r < 4; ++r) debug.w.MeasurementAvailable[r] = 1;
  debug.w.RefreshSettings();
  img = TestUtil::Grab(&debug.w, "device_debug");
  auto zoom = [&](int top, const char* name) {
    img.copy(0, top, img.width(), img.height() / 2)
        .scaled(img.width() * 2, img.height(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(TestUtil::OutDir() + "/" + name + ".png");
  };
  zoom(0, "device_debug_zoom_top");
  zoom(img.height() / 2, "device_debug_zoom_bottom");
}
