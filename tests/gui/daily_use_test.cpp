// The whole program as a user meets it every day: unsaved reports on close,
// the preview handing the form back, small screens, German system dialogs,
// the folders and shortcuts, the serial devices of the machine and the log.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTranslator>
#include <memory>
#include <optional>
#include <pty.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "core/places.h"
#include "core/serialport.h"
#include "core/userfolders.h"
#include "platform/wintimer.h"
#include "report/TFormular.h"
#include "records/recordlistwindow.h"
#include "shell/kelvara.h"
#include "tests/testutil.h"

namespace {

using namespace ShellIds;

HostInfo Pruef1() { return HostInfo{true, QStringLiteral("PRUEF1"), QStringLiteral("192.168.0.5")}; }

bool TProfileFileHolds(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && f.readAll().contains(bytes);
}

void TypeInto(QLineEdit* edit, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
}

// The whole program with its real windows, timers driven by hand.
class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ports.emplace(dir.path());
    Seams::SetTimerResponder(TestUtil::ManualTimers);
    Seams::SetMessageBoxResponder([this](const MessageBoxRequest& r) {
      boxes << r;
      return answers.isEmpty() ? int(Win::IDOK) : answers.takeFirst();
    });
    Seams::SetFileDialogResponder([this](const FileDialogRequest& r, QString* path) {
      dialogs << r;
      if (chosen.isEmpty()) return false;
      *path = chosen;
      return true;
    });
  }
  void TearDown() override {
    app.reset();
    Seams::SetTimerResponder(nullptr);
  }
  Kelvara& Start(std::function<QRect()> area = nullptr) {
    app = std::make_unique<Kelvara>(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(), &Pruef1);
    app->AvailableArea = std::move(area);
    EXPECT_TRUE(app->InitMainWindow());
    app->Frame->show();
    QApplication::setActiveWindow(app->Frame);
    TestUtil::WaitFor([&] { return app->Frame->isActiveWindow(); }, 2000);
    return *app;
  }
  TFormular* Form() const { return qobject_cast<TFormular*>(app->ReportForm); }
  TMessgeraet* Device() const { return qobject_cast<TMessgeraet*>(app->DeviceWindow); }

  QTemporaryDir dir;
  std::optional<TestUtil::ScopedPortFolder> ports;
  std::unique_ptr<Kelvara> app;
  QList<MessageBoxRequest> boxes;
  QList<int> answers;
  QList<FileDialogRequest> dialogs;
  QString chosen;
};

// ---- unsaved reports

TEST_F(Program, ClosingWithAnUnsavedReportAsksAndEachAnswerDoesWhatItSays) {
  Kelvara& k = Start();
  k.EvCommand(CmShowForm);
  TFormular* form = Form();

  // Nothing changed: the program closes at once.
  EXPECT_TRUE(k.Frame->close());
  EXPECT_TRUE(boxes.isEmpty());
  k.Frame->show();

  TypeInto(form->Edits[0], QStringLiteral("Elektro Müller"));
  ASSERT_TRUE(form->Modified);
  // Abbrechen: the program stays open with the report as it is.
  answers = {Win::IDCANCEL};
  EXPECT_FALSE(k.Frame->close());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].text, QString::fromUtf8("Der Bericht wurde geändert. Änderungen speichern?"));
  EXPECT_EQ(boxes[0].type & 0x0F, unsigned(Win::MB_YESNOCANCEL));
  EXPECT_EQ(form->FieldText(0), QString::fromUtf8("Elektro Müller"));

  // Ja without a file yet: the save dialog asks where; cancelling it keeps the program open.
  answers = {Win::IDYES};
  EXPECT_FALSE(k.Frame->close());
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_TRUE(dialogs[0].save);
  // Ja, and a file chosen: saved, then closed.
  chosen = dir.filePath("bericht.ini");
  answers = {Win::IDYES};
  EXPECT_TRUE(k.Frame->close());
  ASSERT_TRUE(QFile::exists(chosen));
  EXPECT_FALSE(form->Modified);
  // The archive's answer follows the save.
  EXPECT_TRUE(TestUtil::WaitFor([&] {
    return k.Frame->statusBar()->currentMessage() ==
           QStringLiteral("Datensatz gespeichert: %1 \u2013 im Archiv").arg(QDir::toNativeSeparators(chosen));
  }, 20000)) << k.Frame->statusBar()->currentMessage().toStdString();

  // Once the report has a file, Ja saves there without a dialog.
  k.Frame->show();
  form->EvCommand(TFormular::kErzeugenPrueferId, form->ErzeugenPrueferButton, 0);
  ASSERT_TRUE(form->Modified);
  dialogs.clear();
  answers = {Win::IDYES};
  EXPECT_TRUE(k.Frame->close());
  EXPECT_TRUE(dialogs.isEmpty());
  EXPECT_TRUE(TProfileFileHolds(chosen, "Pruefer=\", "));

  // Nein: closed without saving.
  k.Frame->show();
  form->SichtpruefungBox->click();
  ASSERT_TRUE(form->Modified);
  const QByteArray before = [&] {
    QFile f(chosen);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
  }();
  answers = {Win::IDNO};
  EXPECT_TRUE(k.Frame->close());
  QFile f(chosen);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
}

TEST_F(Program, LoadingARecordOverUnsavedChangesAsksFirst) {
  Kelvara& k = Start();
  k.EvCommand(CmShowForm);
  TFormular* form = Form();
  const QString other = dir.filePath("anderer.ini");
  {
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=Andere GmbH\r\n");
  }
  form->EvCommand(TFormular::kKopierenId, form->KopierenButton, 0);  // Kopieren counts as a change
  ASSERT_TRUE(form->Modified);
  TypeInto(form->Edits[0], QStringLiteral("getippt"));
  chosen = other;
  answers = {Win::IDCANCEL};
  form->CmDatensatzLaden();
  EXPECT_TRUE(dialogs.isEmpty());  // not even asked for a file
  EXPECT_EQ(form->FieldText(0), "getippt");

  answers = {Win::IDNO};
  form->CmDatensatzLaden();
  EXPECT_EQ(form->FieldText(0), "Andere GmbH");
  EXPECT_FALSE(form->Modified);
  EXPECT_EQ(k.Frame->statusBar()->currentMessage(),
            QStringLiteral("Datensatz geladen: %1").arg(QDir::toNativeSeparators(other)));
  // The next dialog starts in the folder of that file, also in a later run.
  EXPECT_EQ(UserFolders::StartFolder(), dir.path());
}

// ---- the preview hands the form back

TEST_F(Program, AfterThePreviewTheFormsCommandsAreAvailableAtOnce) {
  Kelvara& k = Start();
  k.EvCommand(CmShowForm);
  ASSERT_TRUE(k.Action(CmPrint)->isEnabled());
  bool previewShown = false;
  Seams::SetModalFrameResponder([&](QWidget* frame) {
    // The preview is the active window while it is on show.
    QApplication::setActiveWindow(frame);
    TestUtil::WaitFor([&] { return frame->isActiveWindow(); }, 2000);
    previewShown = frame->isVisible() && frame->isActiveWindow();
    // Under a window manager the hidden main frame's client area loses its
    // active child while the preview is on show; whatever activation did
    // meanwhile, the form must be the active child afterwards.
    k.MdiClient->setActiveSubWindow(nullptr);
    frame->close();  // its close box
  });
  k.EvCommand(CmPreview);
  ASSERT_TRUE(previewShown);
  QApplication::setActiveWindow(k.Frame);  // the window manager activates the frame again
  TestUtil::WaitFor([&] { return k.Frame->isActiveWindow(); }, 2000);
  EXPECT_TRUE(k.Frame->isVisible());
  EXPECT_EQ(k.MdiClient->currentSubWindow(), k.FormChild);
  EXPECT_TRUE(k.Action(CmPrint)->isEnabled());
  EXPECT_TRUE(k.Action(CmSave)->isEnabled());
}

// ---- the delete-all question

TEST(MessageBoxes, TheDeleteAllQuestionDefaultsToNeinAndShowsItsWholeCaption) {
  MessageBoxRequest request;
  request.text = QStringLiteral("Wirklich ?");
  request.caption = QStringLiteral("Alle Datensaetze loeschen");
  request.type = Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2;
  std::unique_ptr<QMessageBox> box = Seams::BuildMessageBox(request);
  ASSERT_NE(box->defaultButton(), nullptr);
  EXPECT_EQ(box->defaultButton()->text(), "&Nein");
  EXPECT_EQ(Seams::MessageBoxResult(*box, box->defaultButton()), int(Win::IDNO));
  EXPECT_EQ(Seams::MessageBoxResult(*box, nullptr), int(Win::IDNO));  // closed by its close box
  box->show();
  TestUtil::Grab(box.get(), QStringLiteral("delete-all-question"));
  const int caption = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(request.caption);
  EXPECT_GT(box->width(), caption + 100);

  request.type = Win::MB_YESNOCANCEL | Win::MB_ICONQUESTION;
  box = Seams::BuildMessageBox(request);
  EXPECT_EQ(box->defaultButton()->text(), "&Ja");
  EXPECT_EQ(Seams::MessageBoxResult(*box, nullptr), int(Win::IDCANCEL));
}

// ---- small screens

TEST_F(Program, OnASmallScreenTheFrameFitsAndTheWholeFormCanBeReached) {
  struct Screen {
    int width, height;
    const char* name;
  } screens[] = {{1366, 768 - 28, "1366x768"}, {1280, 720 - 28, "1280x720"}};
  for (const Screen& s : screens) {
    const QRect area(0, 28, s.width, s.height);  // a panel at the top
    Kelvara& k = Start([area] { return area; });
    EXPECT_LE(k.Frame->height() + 32, area.height()) << s.name;
    EXPECT_EQ(k.Frame->width(), Kelvara::FrameWidth) << s.name;
    EXPECT_EQ(k.Frame->pos(), area.topLeft()) << s.name;
    for (int child : {1, 2}) {
      k.EvCommand(child == 1 ? CmShowDevice : CmShowForm);
      QMdiSubWindow* shown = child == 1 ? k.DeviceChild : k.FormChild;
      QWidget* inner = shown->widget();
      TestUtil::WaitFor([&] { return k.MdiClient->verticalScrollBar()->maximum() > 0; }, 2000);
      // Scrolled to the end, the bottom of the window is in view.
      QScrollBar* bar = k.MdiClient->verticalScrollBar();
      bar->setValue(bar->maximum());
      QApplication::processEvents();
      const QPoint bottom = inner->mapTo(k.MdiClient->viewport(), QPoint(0, inner->height() - 1));
      EXPECT_LE(bottom.y(), k.MdiClient->viewport()->height()) << s.name << " child " << child;
      EXPECT_GE(bottom.y(), 0) << s.name << " child " << child;
      if (child == 2) EXPECT_EQ(inner->size(), QSize(630, 810));
      TestUtil::Grab(k.Frame, QStringLiteral("small-screen-%1-%2").arg(s.name).arg(child == 1 ? "device" : "form"));
      bar->setValue(0);
    }
    app.reset();
  }
  // A screen with room: the frame keeps its size and place.
  Kelvara& k = Start([] { return QRect(0, 0, 1920, 1050); });
  EXPECT_EQ(k.Frame->size(), QSize(Kelvara::FrameWidth, Kelvara::FrameHeight));
  EXPECT_EQ(k.Frame->pos(), QPoint(0, 0));
}

// ---- German system dialogs

TEST(Translations, QtsOwnDialogsAndButtonsSpeakGerman) {
  ASSERT_TRUE(Kelvara::InstallTranslations()) << "Qt's translations (qt6-translations-l10n) are missing";
  QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save | QDialogButtonBox::Open);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "Abbrechen");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), "Speichern");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Open)->text(), QString::fromUtf8("Öffnen"));
  QFileDialog dialog(nullptr, QStringLiteral("Datensatz laden"), QDir::tempPath(), QStringLiteral("Ini-Files (*.ini)"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.show();
  QStringList labels;
  for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains(QStringLiteral("Dateiname:")) || labels.contains(QStringLiteral("Datei&name:")))
      << labels.join('|').toStdString();
  TestUtil::Grab(&dialog, QStringLiteral("file-dialog-german"));
  dialog.hide();
  for (QTranslator* t : qApp->findChildren<QTranslator*>()) {
    QCoreApplication::removeTranslator(t);
    delete t;
  }
}

// ---- shortcuts

TEST_F(Program, TheUsualShortcutsAndAHarmlessF1) {
  Kelvara& k = Start();
  EXPECT_EQ(k.Action(CmLoad)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(k.Action(CmSave)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  EXPECT_EQ(k.Action(CmPrint)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
  for (QAction* action : k.Frame->findChildren<QAction*>()) EXPECT_NE(action->shortcut(), QKeySequence(Qt::Key_F1));
  k.EvCommand(CmShowForm);
  int generic = 0;
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest&) { return ++generic, int(Win::IDCANCEL); });
  QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
  QApplication::sendEvent(Form()->Edits[0], &f1);
  EXPECT_EQ(generic, 0);
  EXPECT_TRUE(boxes.isEmpty());
  EXPECT_TRUE(dialogs.isEmpty());
  EXPECT_TRUE(k.Frame->isVisible());
}

// ---- the communication log

TEST(CommunicationLog, FollowsNewLinesOnlyWhileTheUserIsAtTheEnd) {
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  TMessgeraet w(nullptr, 1000, 1);
  w.SetupWindow();
  w.show();
  for (int i = 0; i < 200; ++i) w.LogLine(QString::number(i));
  QApplication::processEvents();
  QScrollBar* bar = w.LogList->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  bar->setValue(10);  // the user scrolls back to read
  for (int i = 0; i < 20; ++i) w.LogLine(QStringLiteral("neu"));
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), 10);
  bar->setValue(bar->maximum());  // and back to the end
  w.LogLine(QStringLiteral("neuer"));
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum());
  Seams::SetTimerResponder(nullptr);
}

// ---- the machine's serial devices

class MachineDevices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root.isValid());
    ports.emplace(root.path());
    Places::Set machine = Places::Current();
    machine.deviceRoot = root.path();
    devices.emplace(machine);
    Seams::SetTimerResponder(TestUtil::ManualTimers);
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    pty = QString::fromLocal8Bit(name);
  }
  void TearDown() override {
    devices.reset();
    Seams::SetTimerResponder(nullptr);
    ::close(master);
    ::close(slave);
  }
  QTemporaryDir root;
  std::optional<TestUtil::ScopedPortFolder> ports;
  std::optional<Places::Scoped> devices;  // the machine's devices are those below root
  int master = -1, slave = -1;
  QString pty;
};

TEST_F(MachineDevices, AdaptersFollowCom30UnderNamesAUserRecognisesAndCanBeOpened) {
  QDir(root.path()).mkpath("serial/by-id");
  ASSERT_TRUE(QFile::link(pty, root.filePath("ttyUSB0")));
  ASSERT_TRUE(QFile::link(pty, root.filePath("ttyACM3")));  // the same device under two names
  ASSERT_TRUE(QFile::link(root.filePath("ttyUSB0"),
                          root.filePath("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0")));
  TMessgeraet w(nullptr, 1000, 0);
  w.SetupWindow();
  QComboBox* com = w.ComCombo;
  ASSERT_EQ(com->count(), 31);  // one device, however many names it has
  EXPECT_EQ(com->itemText(29), "COM30");
  EXPECT_EQ(com->itemText(30), QStringLiteral("FTDI FT232R USB UART A50285BI (%1)").arg(QFileInfo(pty).fileName()));
  EXPECT_EQ(com->currentIndex(), 3);
  EXPECT_EQ(com->toolTip(), SerialPort::DevicePath(4));

  com->setCurrentIndex(30);
  w.EvSelChangeCom();
  EXPECT_TRUE(w.PortReady);
  EXPECT_EQ(com->toolTip(), QFileInfo(pty).canonicalFilePath());

  // A second adapter plugged in shows when the list is opened again; the
  // selection stays on its device.
  char name[256];
  int m2, s2;
  ASSERT_EQ(openpty(&m2, &s2, name, nullptr, nullptr), 0);
  ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name), root.filePath("ttyACM0")));
  com->showPopup();
  com->hidePopup();
  ASSERT_EQ(com->count(), 32);
  EXPECT_EQ(com->currentData().toString(), QFileInfo(pty).canonicalFilePath());
  ::close(m2);
  ::close(s2);
}

TEST_F(MachineDevices, APortTheUserMayNotOpenNamesTheGroupThatGrantsIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to take another user's rights for a moment";
  // A device only its owner may use, tried as an ordinary user.
  ASSERT_EQ(::chmod(QFile::encodeName(pty).constData(), 0600), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(root.path()).constData(), 0755), 0);
  ASSERT_TRUE(QFile::link(pty, root.filePath("com4")));
  TMessgeraet w(nullptr, 1000, 0);
  w.SetupWindow();
  ::setfsuid(65534);
  w.EvSelChangeCom();
  ::setfsuid(0);
  EXPECT_FALSE(w.PortReady);
  EXPECT_EQ(w.GetDlgItemText(1104), QString::fromUtf8("Keine Berechtigung: Gruppe „dialout“ nötig"));
  QWidget* status = w.Control(1104);
  EXPECT_TRUE(status->toolTip().contains("sudo adduser")) << status->toolTip().toStdString();
  EXPECT_TRUE(status->toolTip().contains("dialout"));
  // With the right, the same port opens and the note goes.
  w.EvSelChangeCom();
  EXPECT_TRUE(w.PortReady);
  EXPECT_TRUE(status->toolTip().isEmpty());
}

}  // namespace

namespace {

TEST_F(Program, TheRecordListOpensFromTheWindowMenuAndLeadsBackToTheDeviceWindow) {
  Kelvara& k = Start();
  k.EvCommand(CmShowForm);
  ASSERT_TRUE(k.Action(CmShowList)->isEnabled());
  k.EvCommand(CmShowList);
  ASSERT_NE(k.RecordList, nullptr);
  EXPECT_TRUE(k.RecordList->isVisible());
  EXPECT_EQ(k.RecordList->windowTitle(), QString::fromUtf8("Prüfungen"));
  EXPECT_TRUE(k.RecordList->isWindow());  // a window of its own beside the frame
  QWidget* first = k.RecordList;
  k.EvCommand(CmShowList);
  EXPECT_EQ(k.RecordList, first);  // one list for the run
  // A record chosen in the list is shown in the device window.
  Device()->RecordCount = 1;
  auto* list = static_cast<RecordListWindow*>(k.RecordList);
  list->ShowInDevice(0);
  EXPECT_EQ(k.ShownChild, 1);
}

}  // namespace
