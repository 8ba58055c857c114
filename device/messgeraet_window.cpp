// The device window itself: the controls of template 1000, set-up, the
// settings lists, debug visibility, command routing and closing.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

#include "controls/TColorStatic.h"
#include "controls/fieldguard.h"
#include "device/TMessgeraet.h"
#include "core/values.h"
#include "core/cformat.h"
#include "platform/dialogunits.h"
#include "render/fonts.h"
#include "platform/lightpalette.h"
#include "platform/seams.h"
#include "platform/wintimer.h"

#include "core/serialport.h"

namespace {

enum class Kind { Group, Static, Edit, Button, CheckBox, DropList, ListBox, ColorStatic };

struct ControlSpec {
  int id;
  Kind kind;
  const char* text;  // UTF-8
  int x, y, w, h;    // dialog units
  bool right;        // right-aligned static
};

// Template 1000, in template (tab and stacking) order.
const ControlSpec kTemplate[] = {
    {1401, Kind::Group, "COM-Information", 2, 2, 380, 41, false},
    {1470, Kind::DropList, "COM", 9, 11, 67, 82, false},
    {1104, Kind::Static, "COM Information ?", 100, 13, 206, 8, false},
    {1446, Kind::CheckBox, "Verbindungstest:", 10, 28, 80, 9, false},
    {1448, Kind::Static, "Verbindung ?", 100, 28, 108, 8, false},
    {1300, Kind::Group, "Gerätetyp", 2, 44, 380, 28, false},
    {1304, Kind::Static, "?", 10, 57, 306, 8, false},
    {1302, Kind::Button, "Version ?", 328, 53, 50, 14, false},
    {1460, Kind::Group, "Einstellungen", 2, 74, 380, 33, false},
    {1463, Kind::Static, "Norm:", 7, 88, 21, 8, false},
    {1461, Kind::DropList, "ComboBox1", 32, 86, 104, 82, false},
    {1464, Kind::Static, "Schutzklasse:", 184, 88, 47, 8, false},
    {1462, Kind::DropList, "ComboBox2", 233, 86, 135, 70, false},
    {1001, Kind::Group, "Anzeige", 2, 108, 380, 60, false},
    {1468, Kind::Static, "Bereich:", 9, 120, 27, 8, false},
    // The range text runs on to just before the debug line 203, so that the
    // measuring ranges ("Isolationswiderstand,   RISO 200MOhm") show whole in
    // the substituted dialog font, which is wider than the original face.
    {1467, Kind::Static, "?", 41, 120, 147, 8, false},
    {1449, Kind::ColorStatic, "?", 9, 132, 127, 28, false},
    {203, Kind::Static, "?", 190, 118, 182, 7, true},
    {204, Kind::Static, "?", 162, 128, 210, 7, true},
    {205, Kind::Static, "?", 160, 138, 212, 7, true},
    {206, Kind::Static, "?", 160, 148, 212, 7, true},
    {1002, Kind::Group, "Messwerte", 2, 169, 380, 68, false},
    {1003, Kind::Static, "Messungen", 9, 179, 44, 8, false},
    {1004, Kind::Static, "Messbereich/Methode", 123, 179, 77, 8, false},
    {1005, Kind::Static, "Messwert", 217, 179, 40, 8, false},
    {1006, Kind::Static, "Grenzwert", 270, 179, 40, 8, false},
    {1007, Kind::Static, "Einheit", 330, 179, 40, 8, false},
    {1422, Kind::Static, Values::kRowNames[0], 9, 190, 100, 8, false},
    {1445, Kind::Static, Values::kRowMethod, 123, 190, 73, 8, false},
    {1413, Kind::Static, "?", 207, 190, 40, 8, true},
    {1437, Kind::Edit, "?", 270, 190, 40, 8, false},
    {1421, Kind::Static, Values::kRowUnits[0], 330, 190, 40, 8, false},
    {1423, Kind::Static, Values::kRowNames[1], 9, 200, 100, 8, false},
    {1444, Kind::Static, Values::kRowMethod, 123, 200, 73, 8, false},
    {1412, Kind::Static, "?", 207, 200, 40, 8, true},
    {1430, Kind::Edit, "?", 270, 200, 40, 8, false},
    {1420, Kind::Static, Values::kRowUnits[1], 330, 200, 40, 8, false},
    {1426, Kind::Static, Values::kRowNames[2], 9, 210, 100, 8, false},
    {1441, Kind::Static, Values::kRowMethod, 123, 210, 69, 8, false},
    {1409, Kind::Static, "?", 207, 210, 40, 8, true},
    {1434, Kind::Edit, "?", 270, 210, 40, 8, false},
    {1417, Kind::Static, Values::kRowUnits[2], 330, 209, 40, 8, false},
    {1425, Kind::Static, Values::kRowNames[3], 9, 221, 100, 8, false},
    {1442, Kind::Static, Values::kRowMethod, 123, 221, 73, 8, false},
    {1410, Kind::Static, "?", 207, 221, 40, 8, true},
    {1435, Kind::Edit, "?", 270, 221, 40, 8, false},
    {1418, Kind::Static, Values::kRowUnits[3], 330, 220, 40, 8, false},
    {1450, Kind::Group, "Datensatzverwaltung", 2, 238, 380, 58, false},
    {1451, Kind::Static, "Datensatz:", 8, 255, 40, 8, false},
    {1453, Kind::Static, "?", 60, 256, 17, 8, true},
    {106, Kind::Static, "von", 82, 256, 12, 9, false},
    {1466, Kind::Static, "?", 99, 256, 17, 8, true},
    {110, Kind::Button, "<<", 51, 271, 16, 9, false},
    {101, Kind::Button, "<", 71, 271, 16, 9, false},
    {104, Kind::Button, ">", 91, 271, 16, 9, false},
    {109, Kind::Button, ">>", 111, 271, 16, 9, false},
    {105, Kind::Button, "Lade Alle Datensätze", 196, 250, 75, 14, false},
    {102, Kind::Button, "Lösche alle Datensätze", 290, 250, 80, 14, false},
    // Why the last load or delete-all ended early (a tester that fell silent).
    {1471, Kind::Static, "", 140, 272, 236, 8, false},
    {1456, Kind::Static, "Adresse:", 8, 300, 33, 8, false},
    {1455, Kind::Static, "?", 56, 300, 17, 8, false},
    {1459, Kind::Button, "+", 76, 300, 14, 14, false},
    {1458, Kind::Button, "-", 96, 300, 14, 14, false},
    {1457, Kind::Button, "Laden", 124, 300, 32, 14, false},
    {1447, Kind::Button, "Random", 177, 300, 35, 14, false},
    {1469, Kind::Button, "Calibration", 268, 300, 35, 14, false},
    {1200, Kind::Group, "Kommunikation", 2, 312, 380, 112, false},
    {1201, Kind::Button, "Löschen", 336, 320, 40, 14, false},
    {1106, Kind::Static, "Bytes (TxD/RxD):", 12, 323, 60, 8, false},
    {1101, Kind::Static, "COM-Fehler (TxD/RxD):", 162, 322, 81, 8, false},
    {1100, Kind::Static, "none", 247, 322, 74, 8, false},
    {1202, Kind::ListBox, "", 8, 336, 368, 84, false},
    // The byte counters stand beside their label "Bytes (TxD/RxD):", as the
    // error counters stand beside theirs; at y 413 they would lie inside the
    // log and be drawn over its last lines.
    {1102, Kind::Static, "0/0", 76, 323, 80, 8, false},
};

// The port list: it brings itself up to date each time it is opened, so a USB
// adapter plugged in meanwhile is there.
class PortCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> BeforePopup;
  void showPopup() override {
    if (BeforePopup) BeforePopup();
    QComboBox::showPopup();
  }
};

// The closed height of a drop-down list in the dialog font, in pixels at 96 DPI.
constexpr int kComboClosedHeight96 = 21;
constexpr int kListItemHeight96 = 13;

}  // namespace

TMessgeraet::TMessgeraet(QWidget* parent, int resId, int debugMode)
    : QWidget(parent), DebugMode(debugMode) {
  Q_UNUSED(resId);  // always template 1000
  setObjectName(QStringLiteral("1000"));
  setWindowTitle(QString::fromUtf8("Messgerät"));
  setFont(Fonts::DialogFont());
  resize(DialogUnits::Size(kTemplateSize.width(), kTemplateSize.height()));

  CreateControls();

  auto label = [this](int id) { return qobject_cast<QLabel*>(Control(id)); };
  auto edit = [this](int id) { return qobject_cast<QLineEdit*>(Control(id)); };
  auto button = [this](int id) { return qobject_cast<QPushButton*>(Control(id)); };

  // Control members, bound to their ids in the order the operations index them.
  LogList = qobject_cast<QListWidget*>(Control(1202));
  Display = qobject_cast<TColorStatic*>(Control(1449));
  Display->SetFillColor(QColor(200, 200, 200));
  Display->SetTextBkColor(QColor(200, 200, 200));
  Display->SetText(QStringLiteral("???"));
  const int debugIds[4] = {203, 204, 205, 206};
  const int valueIds[4] = {1413, 1412, 1409, 1410};
  const int unitIds[4] = {1421, 1420, 1417, 1418};
  const int labelIds[4] = {1422, 1423, 1426, 1425};
  const int limitIds[4] = {1437, 1430, 1434, 1435};
  const int methodIds[4] = {1445, 1444, 1441, 1442};
  const int commIds[6] = {1106, 1102, 1101, 1100, 1456, 1455};
  const int debugButtonIds[6] = {1459, 1458, 1457, 1469, 1447, 1201};
  const int recordIds[7] = {1302, 105, 101, 104, 110, 109, 102};
  for (int i = 0; i < 4; ++i) DebugStatic[i] = label(debugIds[i]);
  for (int i = 0; i < 4; ++i) ValueStatic[i] = label(valueIds[i]);
  for (int i = 0; i < 4; ++i) UnitStatic[i] = label(unitIds[i]);
  for (int i = 0; i < 4; ++i) LabelStatic[i] = label(labelIds[i]);
  for (int i = 0; i < 4; ++i) {
    LimitEdit[i] = edit(limitIds[i]);
    // Digits and one decimal separator (a typed comma is the point), refused
    // otherwise with the alert sound. The report form takes over this many
    // characters; a longer limit would reach it cut, and be compared as
    // another number.
    FieldGuard::Limit(LimitEdit[i], kLimitMaxChars);
  }
  for (int i = 0; i < 4; ++i) MethodStatic[i] = label(methodIds[i]);
  for (int i = 0; i < 6; ++i) CommStatic[i] = label(commIds[i]);
  for (int i = 0; i < 6; ++i) DebugButton[i] = button(debugButtonIds[i]);
  CommGroup = qobject_cast<QGroupBox*>(Control(1200));
  for (int i = 0; i < 7; ++i) RecordButton[i] = button(recordIds[i]);

  ButtonsReleased = 0;

  std::copy(&kRowApplies[0][0][0], &kRowApplies[0][0][0] + sizeof(RowApplies), &RowApplies[0][0][0]);
  std::copy(&kDefaultLimits[0][0][0],
            &kDefaultLimits[0][0][0] + sizeof(DefaultLimits) / sizeof(float), &DefaultLimits[0][0][0]);

  std::fill(std::begin(MeasurementAvailable), std::end(MeasurementAvailable), 0);
  DeviceType = 0;
  DeviceText = QStringLiteral("?");

  VdePruefgrundlage = 4;
  VdeKlasse = 1;

  NormCombo = qobject_cast<QComboBox*>(Control(1461));
  KlasseCombo = qobject_cast<QComboBox*>(Control(1462));
  ComCombo = qobject_cast<QComboBox*>(Control(1470));
  ConnectionTestBox = qobject_cast<QCheckBox*>(Control(1446));

  Timers = new WinTimers(this, [this](unsigned id) { EvTimer(id); });
  LineBuffer.clear();
  LineLength = 0;
  TxBytes = RxBytes = TxErrors = RxErrors = 0;
  LoadState = 0;
  DeleteAllPending = 0;
  ReopenPending = true;
  ProbeCount = 0;
  DeviceAddress = 0;
  DeviceRecordNumber = 0;
  RecordIndex = 0;
  EntryIndex = 0;
  RecordCount = 0;
  Records = std::make_unique<DeviceRecord[]>(kRecordSlots);

  // Notifications. Only a user's choice in the lists notifies (activated),
  // never a selection the program makes.
  connect(NormCombo, qOverload<int>(&QComboBox::activated), this, [this](int) { EvSelChangeNorm(); });
  connect(KlasseCombo, qOverload<int>(&QComboBox::activated), this, [this](int) { EvSelChangeNorm(); });
  connect(ComCombo, qOverload<int>(&QComboBox::activated), this, [this](int) { EvSelChangeCom(); });
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
    const int id = b->objectName().toInt();
    connect(b, &QAbstractButton::clicked, this, [this, id, b] { EvCommand(id, b, 0); });
  }
}

TMessgeraet::~TMessgeraet() {
  if (Timers) Timers->KillTimer(PollTimer);
}

void TMessgeraet::CreateControls() {
  const int dpi = DialogUnits::ScreenDpi();
  for (const ControlSpec& c : kTemplate) {
    const QString text = QString::fromUtf8(c.text);
    const QRect r = DialogUnits::Rect(c.x, c.y, c.w, c.h, dpi);
    QWidget* w = nullptr;
    switch (c.kind) {
      case Kind::Group:
        w = new QGroupBox(text, this);
        // The title sits on the frame's top line, half a text line below the
        // rect's top, as dialog group boxes look.
        w->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid #a0a0a0; border-radius: 0px; margin-top: 6px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 8px; top: 0px; padding: 0px 1px; }"));
        break;
      case Kind::Static: {
        auto* l = new QLabel(text, this);
        // Static text wraps at word boundaries and starts at the top.
        l->setWordWrap(true);
        l->setAlignment((c.right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        l->setTextFormat(Qt::PlainText);
        l->setContentsMargins(0, 0, 0, 0);
        l->setMargin(0);
        l->setIndent(0);
        w = l;
        break;
      }
      case Kind::Edit: {
        auto* e = new QLineEdit(text, this);
        e->setFrame(false);
        e->setTextMargins(0, 0, 0, 0);
        e->setContentsMargins(0, 0, 0, 0);
        w = e;
        break;
      }
      case Kind::Button:
        w = new QPushButton(text, this);
        static_cast<QPushButton*>(w)->setAutoDefault(false);
        break;
      case Kind::CheckBox:
        w = new QCheckBox(text, this);
        break;
      case Kind::DropList: {
        auto* cb = c.id == 1470 ? new PortCombo(this) : new QComboBox(this);
        cb->setEditable(false);
        // The template height is the dropped-down height; the closed list is
        // one line of the dialog font high.
        const int closed = DialogUnits::MulDiv(kComboClosedHeight96, dpi, 96);
        const int item = DialogUnits::MulDiv(kListItemHeight96, dpi, 96);
        cb->setMaxVisibleItems(std::max(1, (r.height() - closed) / std::max(1, item)));
        w = cb;
        w->setGeometry(r.x(), r.y(), r.width(), closed);
        break;
      }
      case Kind::ListBox: {
        auto* lb = new QListWidget(this);
        lb->setSortingEnabled(false);
        lb->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        lb->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        lb->setSelectionMode(QAbstractItemView::SingleSelection);
        w = lb;
        break;
      }
      case Kind::ColorStatic:
        w = new TColorStatic(this, c.id, 0, 54);
        static_cast<TColorStatic*>(w)->SetText(text);
        break;
    }
    w->setObjectName(QString::number(c.id));
    if (c.kind != Kind::DropList) w->setGeometry(r);
  }
}

void TMessgeraet::SetupWindow() {
  // 1. The controls exist since construction.
  // 2. Background colour, with black writing whatever the desktop theme.
  LightPalette::Apply(this, QColor(250, 220, 130));
  setAutoFillBackground(true);
  // 3. Fixed-pitch font for the log.
  LogList->setFont(Fonts::FixedFont());
  // 4. COM1..COM30, COM4 selected, then the machine's serial devices.
  ComCombo->clear();
  for (int i = 1; i <= 30; ++i) ComCombo->addItem(CFormat("COM%d", i));
  ComCombo->setCurrentIndex(3);
  RefreshPortList();
  if (auto* ports = dynamic_cast<PortCombo*>(ComCombo)) ports->BeforePopup = [this] { RefreshPortList(); };
  // 5. Byte counters.
  TxBytes = 0;
  RxBytes = 0;
  // 6.-9. Initial texts.
  SetDlgItemText(1104, QStringLiteral("COM Info"));
  for (int i = 0; i < 4; ++i) {
    ValueStatic[i]->setText(QStringLiteral("?"));
    LimitEdit[i]->setText(QStringLiteral("?"));
  }
  ConnectionTestBox->setChecked(true);
  SetDlgItemText(1453, CFormat("%03d", DeviceRecordNumber + 1));
  SetDlgItemText(1455, CFormat("%04d", static_cast<int>(DeviceAddress) + 1));
  // 10.-11. The two sorted settings lists.
  AddSorted(NormCombo, QStringLiteral("VDE 0701 / 0702"));
  AddSorted(NormCombo, QStringLiteral("VDE 0751"));
  NormCombo->setCurrentIndex(0);
  AddSorted(KlasseCombo, QStringLiteral("  I, Schutzleiteranschluss"));
  AddSorted(KlasseCombo, QStringLiteral(" II, Schutzisolierung"));
  AddSorted(KlasseCombo, QStringLiteral("III, Schutzkleinspannung"));
  KlasseCombo->setCurrentIndex(0);
  // 12.
  RefreshSettings();
  // 13.-14.
  if (DebugMode == 1) LogLine(QStringLiteral("Debug Modus !!!!"));
  ShowDebugControls();
  // 15. The first link tick opens the port.
  ReopenPending = true;
  // 16. The two timers; set-up goes on when one is not available.
  const QString noTimer = QString::fromUtf8("Keine Timer für COM-Socket verfügbar!");
  if (!Timers->SetTimer(PollTimer, 0)) Seams::MessageBox(this, QString(), noTimer, Win::MB_OK);
  if (!Timers->SetTimer(LinkTimer, 1000)) Seams::MessageBox(this, QString(), noTimer, Win::MB_OK);
}

// Inserts like a sorted list box: before the first item that compares greater
// (case-insensitive, as the list control compares).
void TMessgeraet::AddSorted(QComboBox* combo, const QString& text) {
  int pos = 0;
  while (pos < combo->count() && QString::compare(combo->itemText(pos), text, Qt::CaseInsensitive) <= 0)
    ++pos;
  combo->insertItem(pos, text);
}

void TMessgeraet::EvCommand(int id, QWidget* control, int notifyCode) {
  // Click notifications from controls reach the button dispatcher; menu
  // commands and other notifications need nothing more here.
  if (control && notifyCode == 0) ButtonClicked(id);
}

void TMessgeraet::EvSelChangeNorm() { RefreshSettings(); }

void TMessgeraet::ShowDebugControls() {
  const bool show = DebugMode == 1;
  LogList->setVisible(show);
  CommGroup->setVisible(show);
  for (QLabel* l : DebugStatic) l->setVisible(show);
  for (QLabel* l : CommStatic) l->setVisible(show);
  for (QPushButton* b : DebugButton) b->setVisible(show);
}

bool TMessgeraet::CanClose() {
  ClosePort();
  return true;
}

QWidget* TMessgeraet::Control(int id) const {
  return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void TMessgeraet::SetDlgItemText(int id, const QString& text) {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w))
    l->setText(text);
  else if (auto* e = qobject_cast<QLineEdit*>(w))
    e->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(w))
    g->setTitle(text);
  else if (auto* c = qobject_cast<TColorStatic*>(w))
    c->SetText(text);
  else if (auto* cb = qobject_cast<QComboBox*>(w))
    cb->setCurrentText(text);
}

QString TMessgeraet::GetDlgItemText(int id) const {
  QWidget* w = Control(id);
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* c = qobject_cast<TColorStatic*>(w)) return c->GetText();
  if (auto* cb = qobject_cast<QComboBox*>(w)) return cb->currentText();
  return QString();
}
