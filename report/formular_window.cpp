// The report form's window: its controls, set-up, command routing and the
// two signature lines.
#include <QCheckBox>
#include <QLineEdit>
#include <QPalette>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>

#include "controls/fieldguard.h"
#include "device/TMessgeraet.h"
#include "core/cformat.h"
#include "core/cp1252.h"
#include "platform/lightpalette.h"
#include "render/fonts.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/nexttesthint.h"
#include "core/values.h"
#include "core/layout.h"
#include "core/reportrecord.h"

const char* const TFormular::kSection = Report::kSection;

int TFormular::FieldLimit(int index) { return Layout::kFields[index].limit; }

QRect TFormular::FieldRect(int index) { return Layout::FieldRect(index); }

QString TFormular::FieldLabel(int index) { return Layout::FieldLabel(index); }

TFormular::TFormular(TMessgeraet* deviceWindow, QWidget* parent) : QWidget(parent), DeviceWindow(deviceWindow) {
  Printer = nullptr;
  for (int i = 0; i < kNumIniKeys; ++i) IniKeys[i] = Report::Key(i);
  CreateControls();
  Printing = 0;
  VdePruefgrundlage = 1;
  VdeKlasse = 1;
  MessText.fill(QStringLiteral("??"));
  GrenzText.fill(QStringLiteral("??"));
  RowActive.fill(0);

  // The form is a paper page: yellow with black writing, whatever colours the
  // desktop theme gives other windows.
  LightPalette::Apply(this, QColor(250, 250, 160));
  setAutoFillBackground(true);
  resize(PageWidth, PageHeight);
  SyncOkBoxes();
}

TFormular::~TFormular() {
  delete Printer;
  Printer = nullptr;
}

void TFormular::CreateControls() {
  auto makeEdit = [this](int i) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::number(kFirstEditId + i));
    edit->setGeometry(FieldRect(i));
    // Only what the data record file can hold, and no more than the limit;
    // a refusal is answered with the alert sound and a short message.
    FieldGuard::Text(edit, FieldLimit(i));
    // A text the program set beyond the typing limit stays whole; once the user
    // shortens it, the limit closes in again.
    connect(edit, &QLineEdit::textEdited, this, [this, edit, i]() {
      Modified = true;
      const int limit = FieldLimit(i);
      if (edit->maxLength() <= limit) return;
      const int cursor = edit->cursorPosition();
      edit->setMaxLength(std::max<int>(limit, edit->text().size()));
      edit->setCursorPosition(cursor);
    });
    Edits[i] = edit;
  };
  auto makeBox = [this](int id, const QString& caption, const QRect& rect) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(QString::number(id));
    box->setGeometry(rect);
    connect(box, &QCheckBox::clicked, this, [this, id, box]() { EvCommand(id, box, 0); });
    return box;
  };
  auto makeButton = [this](int id, const QString& caption, const QRect& rect) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::number(id));
    button->setGeometry(rect);
    connect(button, &QPushButton::clicked, this, [this, id, button]() { EvCommand(id, button, 0); });
    return button;
  };

  for (int i = 0; i <= Layout::kFieldAuswertung; ++i) makeEdit(i);
  for (int r = 0; r < kRowCount; ++r) {
    OkBoxes[r] = makeBox(kFirstOkBoxId + r, QString(), Layout::OkBoxRect(r));
    // The box is only 12 x 12: the style's own indicator would be cut off.
    OkBoxes[r]->setStyleSheet(QStringLiteral("QCheckBox { spacing: 0px; } "
                                             "QCheckBox::indicator { width: 11px; height: 11px; }"));
  }
  makeEdit(Layout::kFieldBemerkung);
  SichtpruefungBox = makeBox(kSichtpruefungId, QStringLiteral("OK"), QRect(ColRightLabel, Band[3] + 3, 40, 20));
  FunktionspruefungBox = makeBox(kFunktionspruefungId, QStringLiteral("OK"), QRect(ColRightLabel, Band[5] + 3, 40, 20));
  makeEdit(Layout::kFieldUnternehmer);
  makeEdit(Layout::kFieldPruefer);
  const int buttonY = Band[8] + 60;
  ErzeugenUnternehmerButton = makeButton(kErzeugenUnternehmerId, QStringLiteral("Erzeugen"),
                                         QRect(5 + FieldWidth * 3 / 2 - 80, buttonY, 80, 20));
  ErzeugenPrueferButton = makeButton(kErzeugenPrueferId, QStringLiteral("Erzeugen"),
                                     QRect(ColRightLabel + FieldWidth * 3 / 2 - 80, buttonY, 80, 20));
  KopierenButton = makeButton(kKopierenId, QStringLiteral("Kopieren"), QRect(5, Band[5] - 24, 80, 20));
  // Beside the visual inspection's box, where the page is empty: the details
  // of the test that the page of a current standard names.
  PruefangabenButton = makeButton(kPruefangabenId, QStringLiteral("Prüfangaben..."),
                                  QRect(PageWidth - 5 - 110, Band[3] + 3, 110, 20));
  PruefangabenButton->setToolTip(QStringLiteral("Prüfgrundlage, Anlass, Prüfumfang, Messverfahren, Anschlussleitung, "
                                                "Geräteart und Grenzwertprofil"));
  NextTestHint::Attach(*this);
  NumEdits = kNumEdits;
}

void TFormular::SetupWindow() {
  const QFont font = Fonts::VariableFont();
  for (QLineEdit* edit : Edits) edit->setFont(font);
  ErzeugenUnternehmerButton->setFont(font);
  ErzeugenPrueferButton->setFont(font);
  KopierenButton->setFont(font);
  PruefangabenButton->setFont(font);
  SichtpruefungBox->setFont(font);
  FunktionspruefungBox->setFont(font);
  SetFieldText(kFieldAuswertung, QStringLiteral("Automatisch"));
  Edits[kFieldAuswertung]->setReadOnly(true);
  Edits[kFieldSchutzklasse]->setReadOnly(true);
}

QSize TFormular::sizeHint() const { return QSize(PageWidth, PageHeight); }

void TFormular::SetFieldText(int index, const QString& text) {
  QLineEdit* edit = Edits[index];
  edit->setMaxLength(std::max<int>(FieldLimit(index), text.size()));
  edit->setText(text);
}

QString TFormular::FieldText(int index) const { return Edits[index]->text(); }

QString TFormular::FieldFirstLine(int index) const {
  QString text = Edits[index]->text();
  const int end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
  if (end >= 0) text.truncate(end);
  return text;
}

bool TFormular::EvCommand(int id, QWidget* control, int notify) {
  if (control && notify == 0 && id >= kSichtpruefungId && id <= kFirstOkBoxId + kRowCount - 1) {
    update();
    if (id == kSichtpruefungId || id == kFunktionspruefungId) Modified = true;
  }
  switch (id) {
    case CmDatensatzSpeichernId: CmDatensatzSpeichern(); return true;
    case CmDatensatzLadenId: CmDatensatzLaden(); return true;
    case CmDruckenId: CmDrucken(); return true;
    case CmDruckvorschauId: CmDruckvorschau(); return true;
    case CmSeitenEinstellungId: CmSeitenEinstellung(); return true;
    default: break;
  }
  if (notify != 0) return false;
  switch (id) {
    case kErzeugenUnternehmerId: CmErzeugenUnternehmer(); Modified = true; return true;
    case kErzeugenPrueferId: CmErzeugenPruefer(); Modified = true; return true;
    case kKopierenId: CmKopieren(); Modified = true; return true;
    case kPruefangabenId: CmPruefangaben(); return true;
    default: return false;
  }
}

bool TFormular::HandleCommand(int commandId) {
  switch (commandId) {
    case CmDatensatzSpeichernId:
    case CmDatensatzLadenId:
    case CmDruckenId:
    case CmDruckvorschauId:
    case CmSeitenEinstellungId:
      return EvCommand(commandId, nullptr, 0);
    default:
      return false;
  }
}

void TFormular::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  update();
}

void TFormular::paintEvent(QPaintEvent*) { PaintScreen(); }

void TFormular::SyncOkBoxes() {
  for (int r = 0; r < kRowCount; ++r) {
    if (RowActive[r]) {
      OkBoxes[r]->setEnabled(false);
      OkBoxes[r]->show();
    } else {
      OkBoxes[r]->hide();
    }
  }
}

bool TFormular::OkBoxShown(int row) const { return !OkBoxes[row]->isHidden(); }

QString TFormular::TodayText(const QDateTime& now) {
  const QDate date = now.toLocalTime().date();
  return CFormat("%02d.%02d.%04d", date.day(), date.month(), date.year());
}

void TFormular::ComposeSignature(int cityField, int contactField, int target) {
  const QString text = FieldFirstLine(cityField).left(98) + QStringLiteral(", ") + TodayText() +
                       QStringLiteral(", ") + FieldFirstLine(contactField).left(98);
  SetFieldText(target, text);
}

void TFormular::CmErzeugenUnternehmer() {
  ComposeSignature(Layout::kFieldAGPlzStadt, Layout::kFieldAGKontaktperson, kFieldUnternehmer);
}

void TFormular::CmErzeugenPruefer() {
  ComposeSignature(Layout::kFieldANPlzStadt, Layout::kFieldANKontaktperson, kFieldPruefer);
}
