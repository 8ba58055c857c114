#include "platform/seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QSpacerItem>
#include <QMessageBox>
#include <QPushButton>

namespace {
Seams::Responders g_own;
Seams::Responders* g_responders = &g_own;
}  // namespace

namespace Seams {

std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request) {
  auto box = std::make_unique<QMessageBox>(request.owner);
  box->setWindowTitle(request.caption);
  box->setText(request.text);
  switch (request.type & 0xF0) {
    case Win::MB_ICONHAND: box->setIcon(QMessageBox::Critical); break;
    case Win::MB_ICONQUESTION: box->setIcon(QMessageBox::Question); break;
    case Win::MB_ICONEXCLAMATION: box->setIcon(QMessageBox::Warning); break;
    case Win::MB_ICONASTERISK: box->setIcon(QMessageBox::Information); break;
    default: break;
  }
  QList<QPushButton*> buttons;
  auto add = [&](const QString& text, QMessageBox::ButtonRole role, int result) {
    QPushButton* button = box->addButton(text, role);
    button->setProperty("winResult", result);
    buttons << button;
  };
  switch (request.type & 0x0F) {
    case Win::MB_YESNO:
      add(QStringLiteral("&Ja"), QMessageBox::YesRole, Win::IDYES);
      add(QStringLiteral("&Nein"), QMessageBox::NoRole, Win::IDNO);
      break;
    case Win::MB_YESNOCANCEL:
      add(QStringLiteral("&Ja"), QMessageBox::YesRole, Win::IDYES);
      add(QStringLiteral("&Nein"), QMessageBox::NoRole, Win::IDNO);
      add(QStringLiteral("Abbrechen"), QMessageBox::RejectRole, Win::IDCANCEL);
      box->setEscapeButton(buttons.last());
      break;
    case Win::MB_OKCANCEL:
      add(QStringLiteral("OK"), QMessageBox::AcceptRole, Win::IDOK);
      add(QStringLiteral("Abbrechen"), QMessageBox::RejectRole, Win::IDCANCEL);
      box->setEscapeButton(buttons.last());
      break;
    default:
      add(QStringLiteral("OK"), QMessageBox::AcceptRole, Win::IDOK);
      break;
  }
  const int defaultIndex = (request.type & Win::MB_DEFBUTTON2) && buttons.size() > 1 ? 1 : 0;
  box->setDefaultButton(buttons[defaultIndex]);
  // A message box is as wide as its text; a short text would cut a longer
  // caption ("Alle Da...schen"). Room for the caption, the window's icon and
  // its buttons in the title bar.
  const int captionWidth = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(request.caption);
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
    grid->addItem(new QSpacerItem(captionWidth + 120, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                  1, grid->columnCount());
  return box;
}

int MessageBoxResult(const QMessageBox& box, const QAbstractButton* clicked) {
  if (!clicked) {
    // Closed by its close box or Escape: what its escape button means.
    const QAbstractButton* escape = box.escapeButton();
    if (escape) return escape->property("winResult").toInt();
    const QList<QAbstractButton*> all = box.buttons();
    return all.isEmpty() ? int(Win::IDCANCEL) : all.last()->property("winResult").toInt();
  }
  return clicked->property("winResult").toInt();
}

int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
  MessageBoxRequest request{owner, text, caption, type};
  if (g_responders->messageBox) return g_responders->messageBox(request);
  std::unique_ptr<QMessageBox> box = BuildMessageBox(request);
  box->exec();
  return MessageBoxResult(*box, box->clickedButton());
}

void MessageBeep(unsigned) {
  if (g_responders->beeps) {
    ++*g_responders->beeps;
    return;
  }
  QApplication::beep();
}

bool FileDialog(const FileDialogRequest& request, QString* path) {
  if (g_responders->fileDialog) return g_responders->fileDialog(request, path);
  QFileDialog::Options options;
  if (!request.overwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
  if (request.folder) {
    const QString folder = QFileDialog::getExistingDirectory(request.owner, request.title, request.initialName);
    if (folder.isEmpty()) return false;
    if (path) *path = folder;
    return true;
  }
  QString filter = QtFilterFromWin(request.filter);
  QString chosen = request.save
      ? QFileDialog::getSaveFileName(request.owner, request.title, request.initialName, filter, nullptr, options)
      : QFileDialog::getOpenFileName(request.owner, request.title, request.initialName, filter, nullptr, options);
  if (chosen.isEmpty()) return false;
  if (path) *path = chosen;
  return true;
}

int GenericDialog(const GenericDialogRequest& request, const std::function<int()>& show) {
  if (g_responders->generic) return g_responders->generic(request);
  return show ? show() : Win::IDCANCEL;
}

void SetMessageBoxResponder(MessageBoxResponder responder) { g_responders->messageBox = std::move(responder); }
void SetFileDialogResponder(FileDialogResponder responder) { g_responders->fileDialog = std::move(responder); }
void SetGenericDialogResponder(GenericDialogResponder responder) { g_responders->generic = std::move(responder); }
void SetBeepCounter(int* counter) { g_responders->beeps = counter; }
void SetModalFrameResponder(ModalFrameResponder responder) { g_responders->modalFrame = std::move(responder); }

bool ModalFrameShown(QWidget* frame) {
  if (!g_responders->modalFrame) return false;
  g_responders->modalFrame(frame);
  return true;
}

void SetTimerResponder(TimerResponder responder) { g_responders->timer = std::move(responder); }
bool TimerByResponder(unsigned id, int periodMs, bool* started) {
  if (!g_responders->timer) return false;
  *started = g_responders->timer(id, periodMs);
  return true;
}
void SetPrinterResponder(PrinterResponder responder) { g_responders->printer = std::move(responder); }
bool PrinterByResponder(bool* usable) {
  if (!g_responders->printer) return false;
  *usable = g_responders->printer();
  return true;
}

void Install(Responders* responders) { g_responders = responders ? responders : &g_own; }
Responders& Current() { return *g_responders; }

void ResetAll() { *g_responders = Responders(); }

QString QtFilterFromWin(const QString& filter) {
  const QStringList parts = filter.split('|', Qt::SkipEmptyParts);
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString name = parts[i];
    QString pattern = parts[i + 1];
    pattern.replace(';', ' ');
    // Qt shows the patterns from the parenthesis; keep the name as it stands when it has one.
    if (name.contains('(')) out << name;
    else out << QString("%1 (%2)").arg(name, pattern);
  }
  return out.join(";;");
}

}  // namespace Seams
