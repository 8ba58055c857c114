#include "platform/seams.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
Seams::MessageBoxResponder g_messageBox;
Seams::FileDialogResponder g_fileDialog;
Seams::GenericDialogResponder g_generic;
int* g_beeps = nullptr;
Seams::ModalFrameResponder g_modalFrame;
}  // namespace

namespace Seams {

int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type) {
  MessageBoxRequest request{owner, text, caption, type};
  if (g_messageBox) return g_messageBox(request);
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  switch (type & 0xF0) {
    case Win::MB_ICONHAND: box.setIcon(QMessageBox::Critical); break;
    case Win::MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case Win::MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case Win::MB_ICONASTERISK: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (type & 0x0F) {
    case Win::MB_YESNO: {
      QPushButton* yes = box.addButton(QObject::tr("&Ja"), QMessageBox::YesRole);
      box.addButton(QObject::tr("&Nein"), QMessageBox::NoRole);
      box.exec();
      return box.clickedButton() == yes ? Win::IDYES : Win::IDNO;
    }
    case Win::MB_OKCANCEL: {
      QPushButton* ok = box.addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
      box.addButton(QObject::tr("Abbrechen"), QMessageBox::RejectRole);
      box.exec();
      return box.clickedButton() == ok ? Win::IDOK : Win::IDCANCEL;
    }
    default:
      box.addButton(QObject::tr("OK"), QMessageBox::AcceptRole);
      box.exec();
      return Win::IDOK;
  }
}

void MessageBeep(unsigned) {
  if (g_beeps) {
    ++*g_beeps;
    return;
  }
  QApplication::beep();
}

bool FileDialog(const FileDialogRequest& request, QString* path) {
  if (g_fileDialog) return g_fileDialog(request, path);
  QFileDialog::Options options;
  if (!request.overwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
  QString filter = QtFilterFromWin(request.filter);
  QString chosen = request.save
      ? QFileDialog::getSaveFileName(request.owner, request.title, request.initialName, filter, nullptr, options)
      : QFileDialog::getOpenFileName(request.owner, request.title, request.initialName, filter, nullptr, options);
  if (chosen.isEmpty()) return false;
  if (path) *path = chosen;
  return true;
}

int GenericDialog(const GenericDialogRequest& request, const std::function<int()>& show) {
  if (g_generic) return g_generic(request);
  return show ? show() : Win::IDCANCEL;
}

void SetMessageBoxResponder(MessageBoxResponder responder) { g_messageBox = std::move(responder); }
void SetFileDialogResponder(FileDialogResponder responder) { g_fileDialog = std::move(responder); }
void SetGenericDialogResponder(GenericDialogResponder responder) { g_generic = std::move(responder); }
void SetBeepCounter(int* counter) { g_beeps = counter; }
void SetModalFrameResponder(ModalFrameResponder responder) { g_modalFrame = std::move(responder); }

bool ModalFrameShown(QWidget* frame) {
  if (!g_modalFrame) return false;
  g_modalFrame(frame);
  return true;
}

void ResetAll() {
  g_messageBox = nullptr;
  g_fileDialog = nullptr;
  g_generic = nullptr;
  g_beeps = nullptr;
  g_modalFrame = nullptr;
}

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
