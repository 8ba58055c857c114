#include "shell/kelvara.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QNetworkInterface>
#include <QPointer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstring>
#include <memory>

#include "core/archiveservice.h"
#include "core/clock.h"
#include "core/visit.h"
#include "core/cformat.h"
#include "platform/seams.h"
#include "platform/wintimer.h"
#include "core/serialaccess.h"
#include "shell/artwork.h"
#include "shell/dlgabout.h"
#include "shell/modeindicators.h"

namespace {

using namespace ShellIds;

// The main frame. Its close query asks the report form and the record list,
// which offer to save what is not saved yet; closing it ends the program.
class KelvaraFrame : public QMainWindow {
 public:
  using QMainWindow::QMainWindow;
  std::function<bool()> CanClose;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (CanClose && !CanClose()) {
      event->ignore();
      return;
    }
    event->accept();
  }
};

// Child frames are created once and stay for the run: their close box hides
// them behind the other child (the device window keeps its port, the form its
// entries) instead of destroying a window the shell still refers to.
class ChildFrame : public QMdiSubWindow {
 public:
  ChildFrame(QWidget* parent, std::function<void()> onClose) : QMdiSubWindow(parent), onClose_(std::move(onClose)) {
    // Shown and hidden by the window commands only: no minimise or maximise box.
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onClose_) QTimer::singleShot(0, this, onClose_);
  }

 private:
  std::function<void()> onClose_;
};

QWidget* Gap(int size, QWidget* parent) {
  auto* gap = new QWidget(parent);
  gap->setFixedWidth(size);
  gap->setObjectName(QStringLiteral("gap"));
  return gap;
}

QLabel* LogoGadget(QWidget* parent) {
  auto* logo = new QLabel(parent);
  logo->setObjectName(QStringLiteral("1"));
  logo->setPixmap(Artwork::Bitmap(LogoBitmap));
  logo->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  logo->setLineWidth(1);
  logo->setAlignment(Qt::AlignCenter);
  logo->setFixedSize(98 + 2, 33 + 2);
  return logo;
}

QFont BarFont() {
  QFont font(QStringLiteral("Barfont"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(13);
  font.setWeight(QFont::Normal);
  return font;
}

bool IsUsableIPv4(const QHostAddress& a) {
  return a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() && !a.isNull();
}

}  // namespace

HostInfo HostInfo::Local() {
  HostInfo info;
  info.Name = QHostInfo::localHostName().left(127);
  if (info.Name.isEmpty()) return info;
  // Resolve the host name, but wait at most a moment for the name service.
  QEventLoop loop;
  QList<QHostAddress> resolved;
  bool done = false;
  const int lookupId = QHostInfo::lookupHost(info.Name, &loop, [&](const QHostInfo& result) {
    resolved = result.addresses();
    done = true;
    loop.quit();
  });
  if (!done) {
    QTimer::singleShot(1500, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  if (!done) QHostInfo::abortHostLookup(lookupId);
  for (const QHostAddress& a : resolved)
    if (IsUsableIPv4(a)) return info.Address = a.toString(), info;
  // Many systems map their own name to a loopback address; the address of
  // the first running network interface is then what the user looks for.
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    if (!(iface.flags() & QNetworkInterface::IsUp) || !(iface.flags() & QNetworkInterface::IsRunning) ||
        (iface.flags() & QNetworkInterface::IsLoopBack))
      continue;
    for (const QNetworkAddressEntry& entry : iface.addressEntries())
      if (IsUsableIPv4(entry.ip())) return info.Address = entry.ip().toString(), info;
  }
  for (const QHostAddress& a : resolved)
    if (a.protocol() == QAbstractSocket::IPv4Protocol) return info.Address = a.toString(), info;
  return info;
}

bool Kelvara::InstallTranslations() {
  auto* translator = new QTranslator(qApp);
  if (!translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

int Kelvara::DebugModeFromArgs(int argc, const char* const* argv) {
  return (argc >= 2 && argv && argv[1] && std::strcmp(argv[1], "debugkelvara") == 0) ? 1 : 0;
}

QString Kelvara::FormatCaption(const QString& version, const QString& host, const QString& address) {
  // The caption buffer holds 254 characters.
  return QString::fromLatin1(CaptionFormat)
      .replace(QStringLiteral("%s at Name: %s IP:%s"),
               version + QStringLiteral(" at Name: ") + host + QStringLiteral(" IP:") + address)
      .left(254);
}

QString Kelvara::ClockTextFor(int year, int month, int day, int hour, int minute, int second) {
  return CFormat("%2d:%02d:%02d %02d.%02d.%04d", hour, minute, second, day, month, year).left(29);
}

Kelvara::Kelvara(const QString& name, int debugMode, ChildWindowMakers makers, std::function<HostInfo()> hostInfo)
    : Name(name), DebugMode(debugMode), makers_(std::move(makers)), hostInfo_(std::move(hostInfo)) {}

Kelvara::~Kelvara() {
  // While the frame and its children are torn down, focus and activation
  // signals still arrive; the enablers must not reach into half-deleted
  // actions and child frames then.
  disconnect(qApp, nullptr, this, nullptr);
  disconnect(QApplication::clipboard(), nullptr, this, nullptr);
  for (auto& c : editConnections_) disconnect(c);
  delete RecordList;
  RecordList = nullptr;
  delete ArchiveView;
  ArchiveView = nullptr;
  QMainWindow* frame = Frame;
  Frame = nullptr;
  MdiClient = nullptr;
  FormChild = nullptr;
  DeviceChild = nullptr;
  ClockGadget = nullptr;
  delete frame;
}

QAction* Kelvara::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

bool Kelvara::InitMainWindow() {
  // 1, 2: the client area with scroll bars, and the frame around it.
  auto* frame = new KelvaraFrame;
  frame->CanClose = [this] {
    // The report form and the record list ask about what is not saved yet;
    // then every window of the program closes with the frame, and the
    // device window lets go of its port.
    if (makers_.FormCanClose && ReportForm && !makers_.FormCanClose(ReportForm)) return false;
    if (makers_.ListCanClose && RecordList && !makers_.ListCanClose(RecordList)) return false;
    if (makers_.DeviceClose && DeviceWindow) makers_.DeviceClose(DeviceWindow);
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window != Frame && window->isVisible()) window->close();
    return true;
  };
  Frame = frame;
  Frame->setObjectName(QStringLiteral("Frame"));
  Frame->setWindowTitle(Name);
  MdiClient = new QMdiArea(Frame);
  MdiClient->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MdiClient->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MdiClient->setActivationOrder(QMdiArea::CreationOrder);
  Frame->setCentralWidget(MdiClient);
  // 3: the menu bar.
  BuildMenu();
  // 4: the icon.
  Frame->setWindowIcon(Artwork::Icon(Icon));
  // 5: fixed geometry at the top-left corner; no maximise box, no sizing border.
  Frame->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  Frame->move(0, 0);
  Frame->setFixedSize(FrameWidth, FrameHeight);
  // 6, 7: control bar and status bar.
  BuildControlBar();
  BuildStatusBar();
  FitFrameToScreen();
  // 8: lay the frame out now (not shown yet) so the client area has its size.
  Frame->ensurePolished();
  if (QLayout* layout = Frame->layout()) {
    layout->activate();
    layout->setGeometry(QRect(QPoint(0, 0), Frame->size()));
  }
  // 9 to 11: sockets, host name and address, caption.
  SetCaptionFromHost();
  // 12: the child windows.
  ShownChild = 1;
  CreateChildren();
  // 13: the clock at the shortest timer period.
  ClockTimer = new WinTimers(this, [this](unsigned id) { EvTimer(id); });
  if (!ClockTimer->SetTimer(ClockTimerId, 0)) {
    Seams::MessageBox(nullptr, QStringLiteral("Keine Timer Datum/Uhrzeit verfügbar"), Name,
                      Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  // 14: the text is computed now; the gadget shows "Uhrzeit" until the first tick.
  const QDateTime now = Clock::Now();
  ClockText = ClockTextFor(now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
                           now.time().minute(), now.time().second());

  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateCommandEnablers(); });
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] { UpdateCommandEnablers(); });
  connect(MdiClient, &QMdiArea::subWindowActivated, this, [this] { UpdateCommandEnablers(); });
  UpdateCommandEnablers();
  return true;
}

int Kelvara::Run() {
  if (!InitMainWindow()) return 1;
  Frame->show();
  // Focus as the window command gave it during the set-up, now that the
  // frame is on show and can take it.
  FocusShownChild();
  StartUp();
  return QApplication::exec();
}

void Kelvara::StartUp() {
  // The archive: batches a crash cut short are completed, what waits is sent;
  // the status line says what waits and why, a message what the user must know.
  ArchiveService& archive = archive_;
  auto shown = std::make_shared<QString>();
  connect(&archive, &ArchiveService::StateChanged, Frame, [this, shown] {
    const QString text = archive_.StateText();
    if (text == *shown) return;
    *shown = text;
    if (!text.isEmpty()) Frame->statusBar()->showMessage(text);
  });
  connect(&archive, &ArchiveService::Notice, Frame, [this](const QString& text) {
    Frame->statusBar()->showMessage(archive_.StateText());
    Seams::MessageBox(Frame, text, QStringLiteral("Archiv"), Win::MB_OK | Win::MB_ICONEXCLAMATION);
  });
  // A long queue is sent beside the work, with its progress and a cancel.
  auto sending = std::make_shared<QPointer<QProgressDialog>>();
  connect(&archive, &ArchiveService::Sending, Frame, [this, sending](int done, int total, bool finished) {
    QPointer<QProgressDialog>& dialog = *sending;
    if (finished) {
      const bool canceled = dialog && dialog->wasCanceled();
      delete dialog.data();
      if (canceled)
        Frame->statusBar()->showMessage(
            QStringLiteral("Senden abgebrochen: %1 – sie werden beim nächsten Start oder mit der nächsten "
                           "gespeicherten Prüfung gesendet.")
                .arg(archive_.StateText()));
      return;
    }
    if (!dialog && total >= 100) {
      dialog = new QProgressDialog(QStringLiteral("Prüfungen aus der Warteschlange an das Archiv senden ..."),
                                   QStringLiteral("Abbrechen"), 0, total, Frame);
      dialog->setWindowTitle(QStringLiteral("Archiv"));
      dialog->setWindowModality(Qt::NonModal);
      dialog->setAutoReset(false);
      dialog->setAutoClose(false);
      dialog->setMinimumDuration(300);
      connect(dialog.data(), &QProgressDialog::canceled, Frame, [this] { archive_.CancelSending(); });
    }
    if (dialog) dialog->setValue(std::min(done, total));
  });
  archive.Start();
  const QString note = SerialAccess::Problem();
  if (!note.isEmpty())
    Seams::MessageBox(Frame, note, QStringLiteral("Serielle Schnittstellen"), Win::MB_OK | Win::MB_ICONEXCLAMATION);
  if (!StartFile.isEmpty() && makers_.FormLoad && ReportForm) {
    ShowChild(2);
    makers_.FormLoad(ReportForm, StartFile);
  }
}

void Kelvara::BuildMenu() {
  QMenuBar* bar = Frame->menuBar();
  bar->setObjectName(QString::number(MenuBar));
  auto add = [this](QMenu* menu, const QString& text, int id) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::number(id));
    // The frame's status bar shows the hint of the highlighted item; only
    // "&Beenden" has one, the others clear the line.
    action->setStatusTip(id == CmExit ? QStringLiteral("Verläßt das Programm") : QString());
    action->setIconVisibleInMenu(false);
    connect(action, &QAction::triggered, this, [this, id] { EvCommand(id); });
    actions_[id] = action;
    return action;
  };
  QMenu* file = bar->addMenu(QStringLiteral("&Datei"));
  add(file, QStringLiteral("Da&tensatz lesen..."), CmLoad)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  add(file, QStringLiteral("&Datensatz speichern ..."), CmSave)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  file->addSeparator();
  add(file, QStringLiteral("Seiten &Einstellung..."), CmPageSetup);
  add(file, QStringLiteral("D&rucken..."), CmPrint)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  add(file, QStringLiteral("&Druckvorschau.."), CmPreview);
  file->addSeparator();
  add(file, QStringLiteral("Über &Kelvara ..."), CmAbout);
  file->addSeparator();
  add(file, QStringLiteral("&Beenden"), CmExit);
  QMenu* window = bar->addMenu(QStringLiteral("&Fenster"));
  add(window, QStringLiteral("&Messgerät"), CmShowDevice)->setCheckable(true);
  add(window, QStringLiteral("&Formular"), CmShowForm)->setCheckable(true);
  add(window, QStringLiteral("&Prüfungen"), CmShowList);
  add(window, QStringLiteral("&Archiv"), CmShowArchive);
  // Enablers run before a pop-up opens.
  for (QMenu* menu : {file, window}) connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandEnablers(); });
  // The edit commands have no menu items, only buttons.
  for (int id : {CmEditUndo, CmEditCut, CmEditCopy, CmEditPaste}) {
    auto* action = new QAction(Frame);
    action->setObjectName(QString::number(id));
    connect(action, &QAction::triggered, this, [this, id] { EvCommand(id); });
    actions_[id] = action;
  }
  actions_[CmEditUndo]->setToolTip(QStringLiteral("Rückgängig"));
  actions_[CmEditCut]->setToolTip(QStringLiteral("Ausschneiden"));
  actions_[CmEditCopy]->setToolTip(QStringLiteral("Kopieren"));
  actions_[CmEditPaste]->setToolTip(QStringLiteral("Einfügen"));
}

void Kelvara::BuildControlBar() {
  ControlBar = new QToolBar(Frame);
  ControlBar->setObjectName(QString::number(ShellIds::ControlBar));
  ControlBar->setWindowTitle(QStringLiteral("Knopfleiste"));
  ControlBar->setMovable(false);
  ControlBar->setFloatable(false);
  ControlBar->setOrientation(Qt::Horizontal);
  ControlBar->setIconSize(QSize(20, 20));
  ControlBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  ControlBar->setFont(BarFont());
  ControlBar->setFocusPolicy(Qt::TabFocus);
  ControlBar->setContentsMargins(0, 0, 0, 0);
  if (ControlBar->layout()) {
    ControlBar->layout()->setSpacing(0);
    ControlBar->layout()->setContentsMargins(2, 1, 2, 1);
  }
  const QString hint = QStringLiteral("Schaltet die Knopfleiste um");
  ControlBar->setStatusTip(hint);
  ControlBar->toggleViewAction()->setStatusTip(hint);
  ControlBar->toggleViewAction()->setObjectName(QString::number(ShellIds::ControlBar));

  auto button = [this](int glyph, int command) {
    QAction* action = actions_[command];
    action->setIcon(QIcon(Artwork::Bitmap(glyph)));
    ControlBar->addAction(action);
    if (auto* tool = qobject_cast<QToolButton*>(ControlBar->widgetForAction(action))) {
      tool->setObjectName(QStringLiteral("button%1").arg(command));
      tool->setAutoRaise(false);
      tool->setFixedSize(25, 25);
      tool->setFocusPolicy(Qt::NoFocus);  // a click leaves the focus in the edit it acts on
    }
  };
  ControlBar->addWidget(LogoGadget(ControlBar));
  ControlBar->addWidget(Gap(6, ControlBar));
  button(20014, CmShowDevice);
  button(20013, CmShowForm);
  button(20015, CmShowList);
  button(20016, CmShowArchive);
  ControlBar->addWidget(Gap(6, ControlBar));
  button(GlyphLoad, CmLoad);
  button(GlyphSave, CmSave);
  button(GlyphPrint, CmPrint);
  ControlBar->addWidget(Gap(10, ControlBar));
  button(CmEditUndo, CmEditUndo);
  button(CmEditCut, CmEditCut);
  button(CmEditCopy, CmEditCopy);
  button(CmEditPaste, CmEditPaste);
  // The two buttons of the record list and the archive take the room of the
  // wider gap that stood here, so the logo at the right end still fits.
  ControlBar->addWidget(Gap(6, ControlBar));
  ClockGadget = new QLabel(ClockInitialText, ControlBar);
  ClockGadget->setObjectName(QString::number(ShellIds::ClockGadget));
  ClockGadget->setFont(BarFont());
  ClockGadget->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ClockGadget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  ClockGadget->setIndent(3);
  {
    // 17 average characters wide, and never narrower than the widest clock text.
    const QFontMetrics fm(ClockGadget->font());
    const int chars = 17 * fm.averageCharWidth();
    const int text = fm.horizontalAdvance(QStringLiteral(" 00:00:00 00.00.0000"));
    ClockGadget->setFixedWidth(std::max(chars, text) + 2 * ClockGadget->frameWidth() + 8);
    ClockGadget->setFixedHeight(25);
  }
  ControlBar->addWidget(ClockGadget);
  ControlBar->addWidget(Gap(6, ControlBar));
  ControlBar->addWidget(LogoGadget(ControlBar));
  Frame->addToolBar(Qt::TopToolBarArea, ControlBar);
  // The buttons start disabled; the enablers switch on those with a receiver.
  for (QAction* action : ControlBar->actions())
    if (!action->objectName().isEmpty() && action->objectName().toInt() != 0) action->setEnabled(false);
}

void Kelvara::BuildStatusBar() {
  QStatusBar* bar = Frame->statusBar();
  bar->setObjectName(QString::number(ShellIds::StatusBar));
  bar->setSizeGripEnabled(false);
  bar->setStyleSheet(QString());
  indicators_ = new ModeIndicators(bar);
}

void Kelvara::SetCaptionFromHost() {
  HostInfo host;
  if (hostInfo_) host = hostInfo_();
  SocketsAvailable = host.SocketsAvailable;
  if (!host.SocketsAvailable) {
    Seams::MessageBox(nullptr, QStringLiteral("Socket kann nicht initialisiert werden."), QStringLiteral("Fehler"),
                      Win::MB_OK);
    host.Name.clear();
    host.Address.clear();
  }
  Caption = FormatCaption(QString::fromLatin1(VersionText), host.Name.left(127), host.Address);
  Frame->setWindowTitle(Caption);
}

void Kelvara::CreateChildren() {
  // The client area inside the MDI client's border (its viewport takes that
  // size once the frame is on show; without scroll bars at first).
  const QRect client(QPoint(0, 0), MdiClient->contentsRect().size());

  DeviceWindow = makers_.MakeDevice ? makers_.MakeDevice(DebugMode) : new QWidget;
  auto* device = new ChildFrame(nullptr, [this] { if (ShownChild == 1) ShowChild(2); });
  device->setObjectName(QStringLiteral("DeviceChild"));
  device->setWidget(DeviceWindow);
  device->setWindowTitle(QStringLiteral("Messgerät"));
  device->setWindowIcon(Artwork::Icon(Icon));
  device->setAttribute(Qt::WA_DeleteOnClose, false);
  DeviceChild = device;
  MdiClient->addSubWindow(DeviceChild);
  {
    const QMargins m = DeviceChild->contentsMargins();
    // A window sized by its maker keeps that size; others their minimum.
    const QSize natural =
        DeviceWindow->testAttribute(Qt::WA_Resized) ? DeviceWindow->size() : DeviceWindow->minimumSize();
    deviceFrameSize_ = natural.grownBy(m);
  }
  DeviceChild->setGeometry(DeviceChildRect());
  DeviceChild->showNormal();
  // The device frame keeps covering the client area when that takes its
  // final size on show.
  MdiClient->viewport()->installEventFilter(this);

  ReportForm = makers_.MakeForm ? makers_.MakeForm(DeviceWindow, archive_) : new QWidget;
  auto* form = new ChildFrame(nullptr, [this] { if (ShownChild == 2) ShowChild(1); });
  form->setObjectName(QStringLiteral("FormChild"));
  form->setWidget(ReportForm);
  form->setWindowTitle(QStringLiteral("Formular"));
  form->setWindowIcon(Artwork::Icon(Icon));
  form->setAttribute(Qt::WA_DeleteOnClose, false);
  FormChild = form;
  MdiClient->addSubWindow(FormChild);
  // The form's frame is as large as the page; the client area scrolls.
  FormChild->setGeometry(QRect(client.topLeft(), QSize(FormPageWidth, FormPageHeight)));
  FormChild->showNormal();
  // The page is the frame's client area, so the frame is larger by its own
  // title and border and nothing of the page is hidden.
  const QMargins m = FormChild->contentsMargins();
  FormChild->resize(FormPageWidth + m.left() + m.right(), FormPageHeight + m.top() + m.bottom());

  ShowChild(1);
}

bool Kelvara::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && MdiClient && watched == MdiClient->viewport() && DeviceChild) {
    const QRect client = DeviceChildRect();
    if (DeviceChild->geometry() != client) DeviceChild->setGeometry(client);
  }
  return QObject::eventFilter(watched, event);
}

QRect Kelvara::DeviceChildRect() const {
  // On a small screen the client area is smaller than the device window: the
  // frame keeps the window's size and the client area scrolls.
  return QRect(QPoint(0, 0), MdiClient->viewport()->size().expandedTo(deviceFrameSize_));
}

void Kelvara::FitFrameToScreen() {
  QRect area;
  if (AvailableArea) {
    area = AvailableArea();
  } else if (QScreen* screen = Frame->screen()) {
    area = screen->availableGeometry();
  }
  if (!area.isValid()) return;
  // The window manager adds a title bar and a border around the frame.
  constexpr int kDecorationHeight = 32, kDecorationWidth = 4;
  const int width = std::min(FrameWidth, area.width() - kDecorationWidth);
  const int height = std::min(FrameHeight, area.height() - kDecorationHeight);
  if (width == FrameWidth && height == FrameHeight) return;  // room enough: as it is
  Frame->setFixedSize(std::max(width, 320), std::max(height, 240));
  Frame->move(area.topLeft());
}

void Kelvara::ShowChild(int which) {
  ShownChild = which;
  if (ShownChild == 1) DeviceChild->showNormal(); else DeviceChild->hide();
  if (ShownChild == 2) FormChild->showNormal(); else FormChild->hide();
  FocusShownChild();
  // Lay the frame out anew: one pixel wider and back, same place.
  const QRect g = Frame->geometry();
  Frame->setFixedSize(g.width() + 1, g.height());
  Frame->setFixedSize(g.width(), g.height());
  Frame->move(Frame->pos());
  UpdateCommandEnablers();
}

void Kelvara::FocusShownChild() {
  QMdiSubWindow* shown = ShownChild == 1 ? DeviceChild : FormChild;
  if (!shown) return;
  MdiClient->setActiveSubWindow(shown);
  shown->setFocus();
  if (QWidget* inner = shown->widget()) inner->setFocus();
}

QLineEdit* Kelvara::FocusedEdit() const {
  auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  if (!edit || !Frame || !Frame->isAncestorOf(edit)) return nullptr;
  return edit;
}

void Kelvara::WatchFocusedEdit() {
  QLineEdit* edit = FocusedEdit();
  if (edit == watchedEdit_) return;
  for (auto& c : editConnections_) disconnect(c);
  watchedEdit_ = edit;
  if (!edit) return;
  editConnections_[0] = connect(edit, &QLineEdit::textChanged, this, [this] { UpdateCommandEnablers(); });
  editConnections_[1] = connect(edit, &QLineEdit::selectionChanged, this, [this] { UpdateCommandEnablers(); });
  editConnections_[2] = connect(edit, &QLineEdit::cursorPositionChanged, this, [this] { UpdateCommandEnablers(); });
}

bool Kelvara::CommandEnabled(int id) const {
  switch (id) {
    case CmShowDevice:
    case CmShowForm:
    case CmAbout:
      return true;
    case CmShowList:
      return static_cast<bool>(makers_.MakeList);
    case CmShowArchive:
      return static_cast<bool>(makers_.MakeArchive);
    case CmExit:
      return true;
    case CmSave:
    case CmLoad:
    case CmPrint:
    case CmPreview:
    case CmPageSetup:
      // The form answers these only while its child frame is the active one.
      return FormChild && ReportForm && FormChild->isVisible() && MdiClient->currentSubWindow() == FormChild;
    case CmEditUndo:
    case CmEditCut:
    case CmEditCopy:
    case CmEditPaste: {
      QLineEdit* edit = FocusedEdit();
      if (!edit || !edit->isEnabled()) return false;
      const bool plain = edit->echoMode() == QLineEdit::Normal;
      if (id == CmEditUndo) return !edit->isReadOnly() && edit->isUndoAvailable();
      if (id == CmEditCut) return !edit->isReadOnly() && plain && edit->hasSelectedText();
      if (id == CmEditCopy) return plain && edit->hasSelectedText();
      const QMimeData* data = QApplication::clipboard()->mimeData();
      return !edit->isReadOnly() && data && data->hasText() && !data->text().isEmpty();
    }
    default:
      return false;
  }
}

void Kelvara::UpdateCommandEnablers() {
  if (!Frame) return;
  WatchFocusedEdit();
  for (auto& [id, action] : actions_) action->setEnabled(CommandEnabled(id));
  actions_[CmShowDevice]->setChecked(ShownChild == 1);
  actions_[CmShowForm]->setChecked(ShownChild == 2);
}

void Kelvara::EvCommand(int id) {
  if (!CommandEnabled(id)) return;
  switch (id) {
    case CmShowDevice: ShowChild(1); break;
    case CmShowForm: ShowChild(2); break;
    case CmShowList: ShowList(); break;
    case CmShowArchive: ShowArchive(); break;
    case CmAbout: ShowAbout(); break;
    case CmExit: Frame->close(); break;
    case CmEditUndo: FocusedEdit()->undo(); break;
    case CmEditCut: FocusedEdit()->cut(); break;
    case CmEditCopy: FocusedEdit()->copy(); break;
    case CmEditPaste: FocusedEdit()->paste(); break;
    default:
      if (makers_.FormCommand) makers_.FormCommand(ReportForm, id);
      break;
  }
  UpdateCommandEnablers();
}

void Kelvara::ShowList() {
  if (!RecordList) {
    RecordList = makers_.MakeList(DeviceWindow, ReportForm, archive_, [this] {
      // A record chosen in the list is shown in the device window.
      ShowChild(1);
      Frame->raise();
      Frame->activateWindow();
    });
    if (!RecordList) return;
  }
  RecordList->show();
  RecordList->raise();
  RecordList->activateWindow();
}

void Kelvara::ShowArchive() {
  if (!ArchiveView) {
    ArchiveView = makers_.MakeArchive(
        ReportForm, archive_,
        [this] {
          // A stored test opened in the form is shown there.
          ShowChild(2);
          Frame->raise();
        },
        [this](const Visit::Plan& plan) {
          // A visit prepared: the record list is filled before the tester is read.
          ShowList();
          if (RecordList && makers_.PlanVisit) makers_.PlanVisit(RecordList, plan);
        });
    if (!ArchiveView) return;
  }
  ArchiveView->show();
  ArchiveView->raise();
  ArchiveView->activateWindow();
}

void Kelvara::ShowAbout() {
  // A new dialog each time, owned by the frame while it runs.
  DlgAbout dialog(Frame, 20050);
  dialog.SetupWindow();
  GenericDialogRequest request;
  request.owner = Frame;
  request.kind = QStringLiteral("about");
  Seams::GenericDialog(request, [&dialog] { return dialog.exec(); });
}

void Kelvara::EvTimer(unsigned id) {
  if (id == ClockTimerId) RefreshClock();
}

void Kelvara::RefreshClock() {
  const QDateTime now = Clock::Now();
  ClockText = ClockTextFor(now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
                           now.time().minute(), now.time().second());
  // Setting an unchanged text would repaint the gadget a hundred times a second.
  if (ClockGadget && ClockGadget->text() != ClockText) ClockGadget->setText(ClockText);
}

#include "moc_kelvara.cpp"
