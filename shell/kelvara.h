#pragma once
// The application object: builds the main frame with its menu, control bar,
// status bar and caption, creates the device window and the report form in
// their child frames, shows one of them at a time, routes the commands and
// runs the clock.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>

#include "core/archiveservice.h"
#include "core/commandids.h"
#include "core/layout.h"
#include "shell/children.h"

class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QToolBar;
class WinTimers;
class ModeIndicators;

namespace ShellIds {
enum : int {
  MenuBar = 20004,
  Icon = 20003,
  LogoBitmap = 1,
  AboutBitmap = 3,
  CmSave = CommandIds::CmSave,
  CmLoad = CommandIds::CmLoad,
  CmShowForm = CommandIds::CmShowForm,
  CmShowDevice = CommandIds::CmShowDevice,
  CmShowList = CommandIds::CmShowList,
  CmShowArchive = CommandIds::CmShowArchive,
  CmPrint = CommandIds::CmPrint,
  CmPreview = CommandIds::CmPreview,
  CmPageSetup = CommandIds::CmPageSetup,
  CmAbout = CommandIds::CmAbout,
  CmExit = CommandIds::CmExit,
  CmEditUndo = CommandIds::CmEditUndo,
  CmEditCut = CommandIds::CmEditCut,
  CmEditCopy = CommandIds::CmEditCopy,
  CmEditPaste = CommandIds::CmEditPaste,
  GlyphLoad = 24332,
  GlyphSave = 24333,
  GlyphPrint = 24337,
  ControlBar = 32041,
  StatusBar = 32042,
  ClockGadget = 32043,
};
}

// What the caption needs from the network: whether sockets work, the local
// host name and its IPv4 address (empty texts when they cannot be had).
struct HostInfo {
  bool SocketsAvailable = true;
  QString Name;
  QString Address;
  // The real host: the local name and an IPv4 address for it, found within a
  // bounded time so a slow name service never holds up the start.
  static HostInfo Local();
};

class Kelvara : public QObject {
  Q_OBJECT
 public:
  static constexpr const char* AppName = "Brisvel Kelvara";
  static constexpr const char* VersionText = "Version 1.22.00, 16.02.2010 ";
  static constexpr const char* CaptionFormat = "Morvane Kelvara %s at Name: %s IP:%s";
  static constexpr int FrameWidth = 660;
  static constexpr int FrameHeight = 940;
  static constexpr int FormPageWidth = Layout::kPageWidth;
  static constexpr int FormPageHeight = Layout::kPageHeight;

  // 1 exactly when the first argument after the program name is "debugkelvara".
  static int DebugModeFromArgs(int argc, const char* const* argv);
  // The caption text for a version, host name and address.
  static QString FormatCaption(const QString& version, const QString& host, const QString& address);
  // The clock text for a local date and time: "%2d:%02d:%02d %02d.%02d.%04d".
  static QString ClockTextFor(int year, int month, int day, int hour, int minute, int second);
  // Loads Qt's own German texts (buttons and system dialogs); false when the
  // translation files are not installed.
  static bool InstallTranslations();

  Kelvara(const QString& name, int debugMode, ChildWindowMakers makers = ChildWindowMakers::Program(),
          std::function<HostInfo()> hostInfo = &HostInfo::Local);
  ~Kelvara() override;

  // Builds the main window (frame, bars, caption, children) and starts the
  // clock. Returns false when the clock cannot be had: the message has then
  // been shown and the program must end with status 1.
  bool InitMainWindow();
  // The whole run: set-up, show the frame, message loop. Returns the exit status.
  int Run();

  // Commands of the menu and the control bar, routed as the frame does.
  void EvCommand(int id);
  bool CommandEnabled(int id) const;
  // Brings the menu items and buttons up to date (enabled, checked).
  void UpdateCommandEnablers();
  // Clock tick of the window-less timer.
  void EvTimer(unsigned id);
  void RefreshClock();

  // ===== members
  QString Name;
  int DebugMode = 0;
  QMdiArea* MdiClient = nullptr;
  QMdiSubWindow* FormChild = nullptr;
  QMdiSubWindow* DeviceChild = nullptr;
  QWidget* ReportForm = nullptr;
  QWidget* DeviceWindow = nullptr;
  QWidget* RecordList = nullptr;  // "Prüfungen", a window of its own, made on first use
  QWidget* ArchiveView = nullptr; // "Archiv", likewise
  QMainWindow* Frame = nullptr;
  QToolBar* ControlBar = nullptr;
  unsigned ClockTimerId = 1;
  QString ClockText;
  QString ClockInitialText = QStringLiteral("Uhrzeit");
  QLabel* ClockGadget = nullptr;
  WinTimers* ClockTimer = nullptr;
  bool SocketsAvailable = false;
  QString Caption;
  int ShownChild = 1;

  // The part of the screen the frame may take (the screen's available area
  // unless set); on a screen with less room than the frame's size the frame
  // is made to fit and its client area scrolls.
  std::function<QRect()> AvailableArea;
  // A data record to open in the form when the run starts (from the command line).
  QString StartFile;
  // What the run does once the frame is on show: opens StartFile in the form,
  // and says once if the user may not open serial devices.
  void StartUp();

  QAction* Action(int id) const;
  ModeIndicators* Indicators() const { return indicators_; }
  // The program's archive: the application owns it and hands it to the form,
  // the record list and the archive window.
  ArchiveService& Archiving() { return archive_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu();
  void BuildControlBar();
  void BuildStatusBar();
  void SetCaptionFromHost();
  void CreateChildren();
  void ShowChild(int which);
  // Keeps the frame within the available area of the screen.
  void FitFrameToScreen();
  // The device child's frame: the client area, but never smaller than the device window.
  QRect DeviceChildRect() const;
  // Activates the child frame on show and gives its window the focus.
  void FocusShownChild();
  void ShowAbout();
  // Shows the record list "Prüfungen" (made on first use).
  void ShowList();
  // Shows the archive window "Archiv" (made on first use).
  void ShowArchive();
  QLineEdit* FocusedEdit() const;
  void WatchFocusedEdit();

  ArchiveService archive_;  // taken down after the windows that use it
  ChildWindowMakers makers_;
  QSize deviceFrameSize_;  // the device window with its child frame's border
  std::function<HostInfo()> hostInfo_;
  std::map<int, QAction*> actions_;
  ModeIndicators* indicators_ = nullptr;
  QPointer<QLineEdit> watchedEdit_;
  QMetaObject::Connection editConnections_[3];
};
