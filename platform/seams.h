#pragma once
// One seam for every modal question the program asks: message boxes, file
// dialogs and (later) print dialogs. In the program they show real dialogs;
// tests install a responder and nothing modal ever opens.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAbstractButton;
class QMessageBox;
class QWidget;

namespace Win {
// Message box types and results, with the values the program's texts rely on.
enum : unsigned {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_ICONHAND = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_DEFBUTTON2 = 0x100,  // the second button is the default (Enter)
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };
}  // namespace Win

struct MessageBoxRequest {
  QWidget* owner = nullptr;
  QString text;
  QString caption;
  unsigned type = 0;
};

struct FileDialogRequest {
  QWidget* owner = nullptr;
  bool save = false;       // save dialog or open dialog
  bool folder = false;     // choose a folder (title and initialName only)
  QString title;
  QString filter;          // "Name (*.x)|*.x|All Files (*.*)|*.*"
  QString initialName;
  bool hideReadOnly = false;
  bool overwritePrompt = false;
  bool noReadOnlyReturn = false;
};

// A generic question for dialogs that later parts of the program add
// (print set-up, print dialog). `kind` names the dialog; `detail` is free text.
struct GenericDialogRequest {
  QWidget* owner = nullptr;
  QString kind;
  QString detail;
};

namespace Seams {
using MessageBoxResponder = std::function<int(const MessageBoxRequest&)>;
// Return true and set the path to confirm, false to cancel.
using FileDialogResponder = std::function<bool(const FileDialogRequest&, QString* path)>;
using GenericDialogResponder = std::function<int(const GenericDialogRequest&)>;

// Shows a message box (or asks the responder) and returns Win::IDOK, IDYES, ...
int MessageBox(QWidget* owner, const QString& text, const QString& caption, unsigned type);
// The box MessageBox shows, built but not run: German buttons in the order of
// the type, the default button it names, and wide enough for its caption.
std::unique_ptr<QMessageBox> BuildMessageBox(const MessageBoxRequest& request);
// The result a button of such a box stands for.
int MessageBoxResult(const QMessageBox& box, const QAbstractButton* clicked);
// The platform's alert sound; tests can count it.
void MessageBeep(unsigned type);
bool FileDialog(const FileDialogRequest& request, QString* path);
// Asks a generic dialog; `show` runs the real dialog when no responder is set.
int GenericDialog(const GenericDialogRequest& request, const std::function<int()>& show);

void SetMessageBoxResponder(MessageBoxResponder responder);
void SetFileDialogResponder(FileDialogResponder responder);
void SetGenericDialogResponder(GenericDialogResponder responder);
void SetBeepCounter(int* counter);

// Modal frames (the print preview) run their own message loop. When a
// responder is installed it is called once the frame is shown, instead of the
// loop; the frame is closed after the responder returns if it did not close it.
using ModalFrameResponder = std::function<void(QWidget* frame)>;
void SetModalFrameResponder(ModalFrameResponder responder);
// True when a responder took the frame (the caller then runs no loop).
bool ModalFrameShown(QWidget* frame);
// Window timers. A responder takes every SetTimer in place of a real timer:
// true means the timer counts as running while its ticks are driven by hand,
// false that no timer can be had.
using TimerResponder = std::function<bool(unsigned id, int periodMs)>;
void SetTimerResponder(TimerResponder responder);
// True when a responder took the request; *started then holds its answer.
bool TimerByResponder(unsigned id, int periodMs, bool* started);
// Printers. A responder decides whether the printer counts as usable.
using PrinterResponder = std::function<bool()>;
void SetPrinterResponder(PrinterResponder responder);
// True when a responder took the question; *usable then holds its answer.
bool PrinterByResponder(bool* usable);

// Every answer the seams give in place of a real dialog, timer or printer,
// held in one object. An empty member means the real thing. The program runs
// with an empty set; a test installs its own (Install) or fills the one in
// place through the setters above.
struct Responders {
  MessageBoxResponder messageBox;
  FileDialogResponder fileDialog;
  GenericDialogResponder generic;
  int* beeps = nullptr;
  ModalFrameResponder modalFrame;
  TimerResponder timer;
  PrinterResponder printer;
};
// Makes `responders` the set the seams consult (nullptr: back to the seams'
// own set); the caller keeps it alive while it is installed.
void Install(Responders* responders);
// The set in place.
Responders& Current();

// Removes every responder of the set in place (real dialogs again).
void ResetAll();

// Converts a "Text (*.a)|*.a|Other|*.*" filter into a Qt name filter list.
QString QtFilterFromWin(const QString& filter);
}  // namespace Seams
