// The application shell: switch, caption, clock, child windows, command routing.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QElapsedTimer>
#include <QTimer>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QPainter>
#include <QRegularExpression>
#include <memory>

#include "platform/seams.h"
#include "platform/wintimer.h"
#include "shell/artwork.h"
#include "shell/kelvara.h"
#include "shell/modeindicators.h"
#include "tests/testutil.h"

namespace {

using namespace ShellIds;

// Light child windows: the device window is a plain page with one edit, the
// form has two edits and counts the commands it receives.
struct FakeChildren {
  std::vector<int> formCommands;
  QLineEdit* deviceEdit = nullptr;
  QLineEdit* formEdit = nullptr;
  QLineEdit* formReadOnly = nullptr;
  int debugModeSeen = -1;
  QWidget* deviceSeenByForm = nullptr;
  ArchiveService* archiveSeenByForm = nullptr;

  ChildWindowMakers Makers() {
    ChildWindowMakers m;
    m.MakeDevice = [this](int debugMode) {
      debugModeSeen = debugMode;
      auto* w = new QWidget;
      w->setMinimumSize(578, 740);
      auto* layout = new QVBoxLayout(w);
      deviceEdit = new QLineEdit(w);
      layout->addWidget(deviceEdit);
      layout->addStretch();
      return w;
    };
    m.MakeForm = [this](QWidget* device, ArchiveService& archive) {
      deviceSeenByForm = device;
      archiveSeenByForm = &archive;
      auto* w = new QWidget;
      w->setMinimumSize(600, 780);
      auto* layout = new QVBoxLayout(w);
      formEdit = new QLineEdit(w);
      formReadOnly = new QLineEdit(QStringLiteral("fest"), w);
      formReadOnly->setReadOnly(true);
      layout->addWidget(formEdit);
      layout->addWidget(formReadOnly);
      layout->addStretch();
      return w;
    };
    m.FormCommand = [this](QWidget*, int id) {
      formCommands.push_back(id);
      return true;
    };
    return m;
  }
};

HostInfo Pruef1() { return HostInfo{true, QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5")}; }

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override { Seams::SetTimerResponder(TestUtil::ManualTimers); }
  void TearDown() override {
    app.reset();
    Seams::SetTimerResponder(nullptr);
  }
  Kelvara& Start(int debugMode = 0, std::function<HostInfo()> host = &Pruef1) {
    app = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), debugMode, children.Makers(), host);
    EXPECT_TRUE(app->InitMainWindow());
    return *app;
  }
  // Shows the frame and gives it the focus, as the run does before the loop.
  void ShowFrame() {
    app->Frame->show();
    QApplication::setActiveWindow(app->Frame);
    app->Frame->activateWindow();
    TestUtil::WaitFor([&] { return app->Frame->isActiveWindow(); }, 2000);
    app->EvCommand(app->ShownChild == 1 ? CmShowDevice : CmShowForm);
  }
  FakeChildren children;
  std::unique_ptr<Kelvara> app;
};

TEST(ShellSwitch, OnlyTheExactFirstArgumentTurnsOnDebugMode) {
  const char* prog = "kelvara";
  {
    const char* argv[] = {prog, "debugkelvara"};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(2, argv), 1);
  }
  {
    const char* argv[] = {prog, "debugkelvara", "more"};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(3, argv), 1);
  }
  {
    const char* argv[] = {prog, "Debugkelvara"};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(2, argv), 0);
  }
  {
    const char* argv[] = {prog, "other", "debugkelvara"};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(3, argv), 0);
  }
  {
    const char* argv[] = {prog, "debugkelvara2"};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(2, argv), 0);
  }
  {
    const char* argv[] = {prog};
    EXPECT_EQ(Kelvara::DebugModeFromArgs(1, argv), 0);
  }
}

TEST(ShellClock, TextPadsTheHourWithABlankAndTheRestWithZeros) {
  EXPECT_EQ(Kelvara::ClockTextFor(2010, 1, 1, 0, 0, 0), QStringLiteral(" 0:00:00 01.01.2010"));
  const QString morning = Kelvara::ClockTextFor(2010, 2, 16, 9, 5, 7);
  EXPECT_EQ(morning, QStringLiteral(" 9:05:07 16.02.2010"));
  EXPECT_EQ(morning.size(), 19);
  EXPECT_EQ(Kelvara::ClockTextFor(2009, 12, 31, 23, 59, 59), QStringLiteral("23:59:59 31.12.2009"));
}

TEST(ShellCaption, VersionTextLeavesTwoBlanksBeforeAt) {
  const QString caption =
      Kelvara::FormatCaption(QString::fromLatin1(Kelvara::VersionText), QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5"));
  EXPECT_EQ(caption, QStringLiteral("Morvane Kelvara Version 1.22.00, 16.02.2010  at Name: PRUEF1 IP:192.168.0.5"));
  // A host name with a percent sign or format characters is copied as it is.
  EXPECT_EQ(Kelvara::FormatCaption(QStringLiteral("V"), QStringLiteral("a%sb"), QString()),
            QStringLiteral("Morvane Kelvara V at Name: a%sb IP:"));
}

TEST_F(ShellTest, FrameCarriesCaptionGeometryAndFixedSize) {
  Kelvara& k = Start();
  EXPECT_EQ(k.Frame->windowTitle(),
            QStringLiteral("Morvane Kelvara Version 1.22.00, 16.02.2010  at Name: PRUEF1 IP:192.168.0.5"));
  EXPECT_EQ(k.Caption, k.Frame->windowTitle());
  EXPECT_TRUE(k.SocketsAvailable);
  EXPECT_EQ(k.Frame->pos(), QPoint(0, 0));
  EXPECT_EQ(k.Frame->size(), QSize(660, 940));
  EXPECT_EQ(k.Frame->minimumSize(), k.Frame->maximumSize());
  EXPECT_FALSE(k.Frame->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(k.Frame->windowIcon().isNull());
  EXPECT_FALSE(k.Frame->isVisible());  // the run shows it, not the set-up
}

TEST_F(ShellTest, MissingSocketsAreReportedAndTheStartGoesOn) {
  std::vector<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    boxes.push_back(r);
    return Win::IDOK;
  });
  Kelvara& k = Start(0, [] { return HostInfo{false, QStringLiteral("IGNORED"), QStringLiteral("1.2.3.4")}; });
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Socket kann nicht initialisiert werden."));
  EXPECT_EQ(boxes[0].caption, QStringLiteral("Fehler"));
  EXPECT_EQ(boxes[0].type, 0u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_FALSE(k.SocketsAvailable);
  EXPECT_EQ(k.Caption, QStringLiteral("Morvane Kelvara Version 1.22.00, 16.02.2010  at Name:  IP:"));
  EXPECT_NE(k.DeviceChild, nullptr);
  EXPECT_TRUE(k.ClockTimer->IsActive(k.ClockTimerId));
}

TEST_F(ShellTest, LocalHostInfoAnswersWithinBoundedTime) {
  QElapsedTimer timer;
  timer.start();
  const HostInfo info = HostInfo::Local();
  EXPECT_LT(timer.elapsed(), 5000);
  EXPECT_TRUE(info.SocketsAvailable);
  EXPECT_FALSE(info.Name.isEmpty());
  // Either no address or a dotted IPv4 address.
  if (!info.Address.isEmpty()) EXPECT_EQ(info.Address.count('.'), 3) << info.Address.toStdString();
}

TEST_F(ShellTest, ClockRunsAtTheShortestPeriodAndReplacesItsInitialText) {
  Kelvara& k = Start();
  EXPECT_TRUE(k.ClockTimer->IsActive(1));
  EXPECT_EQ(k.ClockTimer->Period(1), WinTimers::kShortestPeriodMs);
  EXPECT_EQ(k.ClockGadget->text(), QStringLiteral("Uhrzeit"));
  EXPECT_EQ(k.ClockText.size(), 19);  // computed at set-up already
  k.EvTimer(1);
  EXPECT_EQ(k.ClockGadget->text(), k.ClockText);
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[ 12]\\d:\\d\\d:\\d\\d \\d\\d\\.\\d\\d\\.\\d{4}$"))
                  .match(k.ClockGadget->text())
                  .hasMatch())
      << k.ClockGadget->text().toStdString();
  // The whole text fits the gadget.
  EXPECT_LE(k.ClockGadget->fontMetrics().horizontalAdvance(QStringLiteral("23:59:59 31.12.2009")),
            k.ClockGadget->contentsRect().width());
}

TEST_F(ShellTest, NoClockTimerEndsTheRunWithStatusOne) {
  Seams::SetTimerResponder(TestUtil::NoTimers);
  std::vector<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) {
    boxes.push_back(r);
    return Win::IDOK;
  });
  app = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), 0, children.Makers(), &Pruef1);
  EXPECT_EQ(app->Run(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, QStringLiteral("Keine Timer Datum/Uhrzeit verfügbar"));
  EXPECT_EQ(boxes[0].caption, QStringLiteral("Brisvel Kelvara"));
  EXPECT_EQ(boxes[0].type, 0x30u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  // The windows exist, the frame was never shown.
  ASSERT_NE(app->Frame, nullptr);
  EXPECT_NE(app->DeviceWindow, nullptr);
  EXPECT_NE(app->ReportForm, nullptr);
  EXPECT_FALSE(app->Frame->isVisible());
}

TEST_F(ShellTest, MenuHasBothPopUpsWithTheirItemsAndHints) {
  Kelvara& k = Start();
  const QList<QAction*> popups = k.Frame->menuBar()->actions();
  ASSERT_EQ(popups.size(), 2);
  EXPECT_EQ(popups[0]->text(), QStringLiteral("&Datei"));
  EXPECT_EQ(popups[1]->text(), QStringLiteral("&Fenster"));
  QStringList file;
  for (QAction* a : popups[0]->menu()->actions())
    file << (a->isSeparator() ? QStringLiteral("-") : a->text() + "=" + a->objectName());
  EXPECT_EQ(file.join('|'), QStringLiteral("Da&tensatz lesen...=20012|&Datensatz speichern ...=20011|-|"
                                           "Seiten &Einstellung...=20020|D&rucken...=20018|&Druckvorschau..=20019|-|"
                                           "Über &Kelvara ...=20034|-|&Beenden=24310"));
  QStringList window;
  for (QAction* a : popups[1]->menu()->actions()) window << a->text() + "=" + a->objectName();
  EXPECT_EQ(window.join('|'), QStringLiteral("&Messgerät=20014|&Formular=20013|&Prüfungen=20015|&Archiv=20016"));
  EXPECT_EQ(k.Action(CmExit)->statusTip(), QStringLiteral("Verläßt das Programm"));
  EXPECT_TRUE(k.Action(CmSave)->statusTip().isEmpty());
  EXPECT_EQ(k.ControlBar->toggleViewAction()->statusTip(), QStringLiteral("Schaltet die Knopfleiste um"));
}

TEST_F(ShellTest, ControlBarHoldsItsGadgetsInOrderAndNothingIsCutOff) {
  Kelvara& k = Start();
  ShowFrame();
  QStringList order;
  for (QAction* a : k.ControlBar->actions()) {
    QWidget* w = k.ControlBar->widgetForAction(a);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(k.ControlBar->rect().contains(w->geometry())) << w->objectName().toStdString();
    if (auto* tool = qobject_cast<QToolButton*>(w)) {
      order << a->objectName();
      EXPECT_EQ(tool->iconSize(), QSize(20, 20));
      EXPECT_FALSE(a->icon().isNull());
    } else if (w->objectName() == QLatin1String("gap")) {
      order << QStringLiteral("gap%1").arg(w->width());
    } else if (w == k.ClockGadget) {
      order << QStringLiteral("clock");
    } else {
      order << QStringLiteral("logo") + w->objectName();
      EXPECT_EQ(static_cast<QLabel*>(w)->pixmap().size(), QSize(98, 33));
    }
  }
  EXPECT_EQ(order.join(' '), QStringLiteral("logo1 gap6 20014 20013 20015 20016 gap6 20012 20011 20018 gap10 "
                                            "24321 24322 24323 24324 gap6 clock gap6 logo1"));
  // The bar has no overflow button: every gadget has its place.
  for (QToolButton* b : k.ControlBar->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly))
    if (b->objectName() == QLatin1String("qt_toolbar_ext_button")) EXPECT_FALSE(b->isVisible());
  EXPECT_EQ(k.Indicators()->CapsLock(), false);
  ASSERT_NE(k.Frame->statusBar()->findChild<QLabel*>(QStringLiteral("CapsLock")), nullptr);
  ASSERT_NE(k.Frame->statusBar()->findChild<QLabel*>(QStringLiteral("NumLock")), nullptr);
  ASSERT_NE(k.Frame->statusBar()->findChild<QLabel*>(QStringLiteral("Overtype")), nullptr);
  k.EvTimer(1);
  TestUtil::Grab(k.Frame, QStringLiteral("shell-frame-fake-children"));
}

TEST_F(ShellTest, StartShowsTheDeviceWindowWithFocusAndChecksItsItem) {
  Kelvara& k = Start(1);
  ShowFrame();
  EXPECT_EQ(children.debugModeSeen, 1);
  EXPECT_EQ(children.deviceSeenByForm, k.DeviceWindow);
  EXPECT_EQ(children.archiveSeenByForm, &k.Archiving());  // the application's own archive
  EXPECT_EQ(k.ShownChild, 1);
  EXPECT_TRUE(k.DeviceChild->isVisible());
  EXPECT_FALSE(k.FormChild->isVisible());
  EXPECT_EQ(k.DeviceChild->windowTitle(), QStringLiteral("Messgerät"));
  EXPECT_EQ(k.FormChild->windowTitle(), QStringLiteral("Formular"));
  EXPECT_EQ(k.MdiClient->currentSubWindow(), k.DeviceChild);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_TRUE(k.DeviceChild->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == k.DeviceChild);
  EXPECT_TRUE(k.Action(CmShowDevice)->isChecked());
  EXPECT_FALSE(k.Action(CmShowForm)->isChecked());
  auto* button = k.ControlBar->findChild<QToolButton*>(QStringLiteral("button20014"));
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isDown() || button->isChecked());
  // The device frame covers the client area; the form frame has the page size.
  EXPECT_EQ(k.DeviceChild->geometry(), QRect(QPoint(0, 0), k.MdiClient->viewport()->size()));
  EXPECT_EQ(k.FormChild->contentsRect().size(), QSize(630, 810));
}

TEST_F(ShellTest, RunGivesTheDeviceWindowTheFocusAndEndsWithTheLoopsStatus) {
  // A note on serial access (a user outside "dialout") is answered, never waited on.
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  app = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), 0, children.Makers(), &Pruef1);
  bool shown = false, focusInDevice = false, formEnabled = true;
  // Looks until the frame is on show with the focus in the device window (or
  // a generous time went by, which then fails below), then ends the loop.
  QElapsedTimer waited;
  waited.start();
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    QWidget* focus = QApplication::focusWidget();
    shown = app->Frame->isVisible();
    focusInDevice = focus && (focus == app->DeviceWindow || app->DeviceWindow->isAncestorOf(focus));
    if (!(shown && focusInDevice) && waited.elapsed() < 20000) return;
    probe.stop();
    formEnabled = app->Action(CmSave)->isEnabled();
    app->EvCommand(CmExit);
  });
  probe.start(10);
  EXPECT_EQ(app->Run(), 0);
  EXPECT_TRUE(shown);
  // The same focus as the window command gives: in the device window, not
  // on its child frame.
  EXPECT_TRUE(focusInDevice);
  EXPECT_FALSE(formEnabled);
}

TEST_F(ShellTest, SwitchingChildrenKeepsTheFrameInPlace) {
  Kelvara& k = Start();
  ShowFrame();
  const QRect before = k.Frame->geometry();
  const QRect deviceBefore = k.DeviceChild->geometry();
  k.EvCommand(CmShowForm);
  EXPECT_EQ(k.ShownChild, 2);
  EXPECT_FALSE(k.DeviceChild->isVisible());
  EXPECT_TRUE(k.FormChild->isVisible());
  EXPECT_EQ(k.MdiClient->currentSubWindow(), k.FormChild);
  EXPECT_TRUE(k.Action(CmShowForm)->isChecked());
  EXPECT_FALSE(k.Action(CmShowDevice)->isChecked());
  EXPECT_EQ(k.Frame->geometry(), before);
  TestUtil::Grab(k.Frame, QStringLiteral("shell-frame-form-shown"));
  k.EvCommand(CmShowDevice);
  EXPECT_EQ(k.ShownChild, 1);
  EXPECT_TRUE(k.DeviceChild->isVisible());
  EXPECT_FALSE(k.FormChild->isVisible());
  EXPECT_EQ(k.Frame->geometry(), before);
  EXPECT_EQ(k.DeviceChild->geometry(), deviceBefore);
  // Showing the child already on show changes nothing.
  k.EvCommand(CmShowDevice);
  EXPECT_EQ(k.ShownChild, 1);
  EXPECT_TRUE(k.DeviceChild->isVisible());
}

TEST_F(ShellTest, ChildCloseBoxHidesItBehindTheOtherChild) {
  Kelvara& k = Start();
  ShowFrame();
  k.DeviceChild->close();
  TestUtil::Pump(20);
  EXPECT_EQ(k.ShownChild, 2);
  EXPECT_TRUE(k.FormChild->isVisible());
  k.EvCommand(CmShowDevice);
  EXPECT_TRUE(k.DeviceChild->isVisible());
  EXPECT_EQ(k.DeviceChild->widget(), k.DeviceWindow);
}

TEST_F(ShellTest, FormCommandsAreAvailableOnlyWhileTheFormIsShown) {
  Kelvara& k = Start();
  ShowFrame();
  const int formIds[] = {CmSave, CmLoad, CmPrint, CmPreview, CmPageSetup};
  for (int id : formIds) {
    EXPECT_FALSE(k.Action(id)->isEnabled()) << id;
    k.EvCommand(id);
  }
  EXPECT_TRUE(children.formCommands.empty());
  for (int id : {CmShowDevice, CmShowForm, CmAbout}) EXPECT_TRUE(k.Action(id)->isEnabled()) << id;
  auto* printButton = k.ControlBar->findChild<QToolButton*>(QStringLiteral("button20018"));
  ASSERT_NE(printButton, nullptr);
  EXPECT_FALSE(printButton->isEnabled());

  k.EvCommand(CmShowForm);
  for (int id : formIds) EXPECT_TRUE(k.Action(id)->isEnabled()) << id;
  EXPECT_TRUE(printButton->isEnabled());
  printButton->click();
  k.Action(CmPreview)->trigger();
  EXPECT_EQ(children.formCommands, (std::vector<int>{CmPrint, CmPreview}));

  k.EvCommand(CmShowDevice);
  for (int id : formIds) EXPECT_FALSE(k.Action(id)->isEnabled()) << id;
}

TEST_F(ShellTest, EditButtonsFollowTheFocusedEdit) {
  Kelvara& k = Start();
  ShowFrame();
  k.EvCommand(CmShowForm);
  QApplication::clipboard()->clear();
  QLineEdit* edit = children.formEdit;
  edit->setFocus();
  TestUtil::WaitFor([&] { return edit->hasFocus(); }, 1000);
  ASSERT_TRUE(edit->hasFocus());
  k.UpdateCommandEnablers();
  for (int id : {CmEditUndo, CmEditCut, CmEditCopy, CmEditPaste}) EXPECT_FALSE(k.Action(id)->isEnabled()) << id;


  edit->insert(QStringLiteral("Bohrmaschine"));
  EXPECT_TRUE(k.Action(CmEditUndo)->isEnabled());
  EXPECT_FALSE(k.Action(CmEditCut)->isEnabled());
  edit->setSelection(0, 4);
  EXPECT_TRUE(k.Action(CmEditCut)->isEnabled());
  EXPECT_TRUE(k.Action(CmEditCopy)->isEnabled());
  k.ControlBar->findChild<QToolButton*>(QStringLiteral("button24322"))->click();
  EXPECT_EQ(edit->text(), QStringLiteral("maschine"));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Bohr"));
  EXPECT_TRUE(edit->hasFocus());  // the button did not take the focus
  EXPECT_TRUE(k.Action(CmEditPaste)->isEnabled());
  edit->setCursorPosition(edit->text().size());
  k.EvCommand(CmEditPaste);
  EXPECT_EQ(edit->text(), QStringLiteral("maschineBohr"));
  k.EvCommand(CmEditUndo);
  EXPECT_EQ(edit->text(), QStringLiteral("maschine"));

  // A read-only edit may copy, nothing else.
  children.formReadOnly->setFocus();
  TestUtil::WaitFor([&] { return children.formReadOnly->hasFocus(); }, 1000);
  children.formReadOnly->selectAll();
  k.UpdateCommandEnablers();
  EXPECT_TRUE(k.Action(CmEditCopy)->isEnabled());
  EXPECT_FALSE(k.Action(CmEditCut)->isEnabled());
  EXPECT_FALSE(k.Action(CmEditPaste)->isEnabled());
  EXPECT_FALSE(k.Action(CmEditUndo)->isEnabled());

  // An edit in the device window works the same once it has the focus.
  k.EvCommand(CmShowDevice);
  children.deviceEdit->setFocus();
  TestUtil::WaitFor([&] { return children.deviceEdit->hasFocus(); }, 1000);
  k.UpdateCommandEnablers();
  EXPECT_TRUE(k.Action(CmEditPaste)->isEnabled());
  k.EvCommand(CmEditPaste);
  EXPECT_EQ(children.deviceEdit->text(), QStringLiteral("Bohr"));
  QApplication::clipboard()->clear();
}

TEST_F(ShellTest, ClosingAsksNoWindowAndInsertTogglesOvertype) {
  Kelvara& k = Start();
  ShowFrame();
  k.EvCommand(CmShowForm);
  children.formEdit->setText(QStringLiteral("nicht gespeichert"));
  int questions = 0;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest&) {
    ++questions;
    return Win::IDCANCEL;
  });
  EXPECT_FALSE(k.Indicators()->Overtype());
  QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
  k.Indicators()->KeyPressed(insert);
  EXPECT_TRUE(k.Indicators()->Overtype());
  k.EvCommand(CmExit);
  EXPECT_FALSE(k.Frame->isVisible());
  EXPECT_EQ(questions, 0);
}

TEST(ShellArtwork, AboutPictureKeepsItsTaglineClearOfThePanelEdge) {
  // The line under the name stays within the amber rule (x 76 to 208), so a
  // margin of plain panel is left before the rounded right edge at 218.
  const QImage picture = Artwork::Bitmap(3).toImage();
  int touched = 0;
  for (int y = 48; y < 64; ++y) {
    const QColor panel = picture.pixelColor(67, y);  // between the disc and the text
    for (int x = 209; x < 217; ++x) {
      const QColor c = picture.pixelColor(x, y);
      if (std::abs(c.red() - panel.red()) + std::abs(c.green() - panel.green()) + std::abs(c.blue() - panel.blue()) > 24)
        ++touched;
    }
  }
  EXPECT_EQ(touched, 0);
}

TEST(ShellArtwork, EveryBitmapHasItsSize) {
  EXPECT_EQ(Artwork::Bitmap(1).size(), QSize(98, 33));
  EXPECT_EQ(Artwork::Bitmap(3).size(), QSize(225, 76));
  for (int id : {20014, 20013, 24332, 24333, 24337, 24321, 24322, 24323, 24324}) {
    const QImage glyph = Artwork::Bitmap(id).toImage();
    EXPECT_EQ(glyph.size(), QSize(20, 20)) << id;
    // Each glyph draws something, and no two are the same picture.
    EXPECT_NE(glyph, QImage(20, 20, glyph.format())) << id;
  }
  EXPECT_NE(Artwork::Bitmap(24322).toImage(), Artwork::Bitmap(24323).toImage());
  EXPECT_TRUE(Artwork::Bitmap(999).isNull());
  EXPECT_FALSE(Artwork::Icon(20003).pixmap(32, 32).isNull());
  // A sheet with every picture, to look at.
  QImage sheet(260, 150, QImage::Format_ARGB32);
  sheet.fill(QColor(0xf0, 0xf0, 0xf0));
  {
    QPainter g(&sheet);
    g.drawPixmap(4, 4, Artwork::Bitmap(1));
    g.drawPixmap(4, 44, Artwork::Bitmap(3));
    g.drawPixmap(110, 4, Artwork::Icon(20003).pixmap(32, 32));
    int x = 4;
    for (int id : {20014, 20013, 24332, 24333, 24337, 24321, 24322, 24323, 24324}) {
      g.drawPixmap(x, 126, Artwork::Bitmap(id));
      x += 24;
    }
  }
  sheet.save(TestUtil::OutDir() + "/shell-artwork.png");
  sheet.scaled(sheet.size() * 3).save(TestUtil::OutDir() + "/shell-artwork-x3.png");
}

}  // namespace

namespace {

// The program's own children: the device window and the report form.
TEST(ShellProgram, StartsWithTheRealChildrenInPlace) {
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  {
    Kelvara k(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(), &Pruef1);
    ASSERT_TRUE(k.InitMainWindow());
    k.Frame->show();
    QApplication::setActiveWindow(k.Frame);
    TestUtil::WaitFor([&] { return k.Frame->isActiveWindow(); }, 2000);
    k.EvCommand(CmShowDevice);
    EXPECT_EQ(k.DeviceWindow->metaObject()->className(), QByteArray("TMessgeraet"));
    EXPECT_EQ(k.ReportForm->metaObject()->className(), QByteArray("TFormular"));
    EXPECT_TRUE(k.DeviceChild->isVisible());
    EXPECT_FALSE(k.FormChild->isVisible());
    // The whole device window is visible inside its child frame.
    const QRect inner = k.DeviceChild->contentsRect();
    EXPECT_GE(inner.width(), k.DeviceWindow->width());
    EXPECT_GE(inner.height(), k.DeviceWindow->height());
    k.EvTimer(1);
    TestUtil::Grab(k.Frame, QStringLiteral("shell-frame"));
    k.EvCommand(CmShowForm);
    EXPECT_TRUE(k.Action(CmPrint)->isEnabled());
    TestUtil::Grab(k.Frame, QStringLiteral("shell-frame-form"));
    // The form's own commands answer through the shell.
    int dialogs = 0;
    Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString*) {
      ++dialogs;
      return false;
    });
    k.EvCommand(CmLoad);
    EXPECT_EQ(dialogs, 1);
  }
  Seams::SetTimerResponder(nullptr);
}

}  // namespace
