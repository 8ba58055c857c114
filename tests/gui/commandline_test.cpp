// The program's command line, the file it opens on start, and the note on
// serial access.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/seams.h"
#include "platform/wintimer.h"
#include "report/TFormular.h"
#include "shell/commandline.h"
#include "shell/kelvara.h"
#include "tests/testutil.h"

namespace {

CommandLine Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"kelvara"};
  argv.insert(argv.end(), args.begin(), args.end());
  return CommandLine::Parse(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, SwitchesAFileAndEverythingElseIgnored) {
  QTemporaryDir dir;
  const QString record = dir.filePath("bericht.ini");
  QFile(record).open(QIODevice::WriteOnly);
  const QByteArray path = record.toLocal8Bit();

  CommandLine line = Parse({"debugkelvara", path.constData()});
  EXPECT_EQ(line.DebugMode, 1);
  EXPECT_EQ(line.File, record);
  EXPECT_FALSE(line.Help || line.Version);
  // The switch counts only first; a file may come first too.
  line = Parse({path.constData(), "debugkelvara"});
  EXPECT_EQ(line.DebugMode, 0);
  EXPECT_EQ(line.File, record);
  // A missing data record is still taken (the form says it is not there);
  // other words and the toolkit's options are not files.
  line = Parse({"-platform", "offscreen", "irgendwas", "fehlt.INI"});
  EXPECT_EQ(line.File, QDir::current().absoluteFilePath("fehlt.INI"));
  line = Parse({"-style", "fusion", "quatsch"});
  EXPECT_TRUE(line.File.isEmpty());
  const QByteArray url = "file://" + path;
  EXPECT_EQ(Parse({url.constData()}).File, record);

  EXPECT_TRUE(Parse({"--help"}).Help);
  EXPECT_TRUE(Parse({"-h"}).Help);
  EXPECT_TRUE(Parse({"debugkelvara", "--version"}).Version);
  EXPECT_TRUE(CommandLine::HelpText().startsWith("Aufruf: kelvara"));
  EXPECT_TRUE(CommandLine::VersionText().startsWith("Kelvara 1."));
}

TEST(CommandLineTest, HelpAndVersionPrintAndEndWithoutADisplay) {
  const QString program = QStringLiteral(KELVARA_SIM_PATH).replace(QStringLiteral("zelto-sim"), QStringLiteral("kelvara"));
  for (const char* option : {"--help", "--version"}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "no-such-platform");  // would fail if a window were made
    p.setProcessEnvironment(env);
    p.start(program, {option});
    ASSERT_TRUE(p.waitForFinished(20000)) << option;
    EXPECT_EQ(p.exitCode(), 0) << option;
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(option == std::string("--help") ? "Aufruf: kelvara" : "Kelvara 1.")) << out.toStdString();
  }
}

TEST(CommandLineTest, AFileGivenOnTheCommandLineOpensInTheForm) {
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  QTemporaryDir dir;
  const QString record = dir.filePath("bericht.ini");
  {
    QFile f(record);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[TEXT_EDIT_SETTINGS]\r\nAuftraggeber=Elektro M\xfcller\r\nVDEPruefgrundlage=4\r\n");
  }
  QList<MessageBoxRequest> boxes;
  Seams::SetMessageBoxResponder([&](const MessageBoxRequest& r) { return boxes << r, int(Win::IDOK); });
  {
    Kelvara k(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(),
              [] { return HostInfo{true, "PRUEF1", "192.168.0.5"}; });
    ASSERT_TRUE(k.InitMainWindow());
    k.StartFile = record;
    k.StartUp();
    auto* form = qobject_cast<TFormular*>(k.ReportForm);
    EXPECT_EQ(k.ShownChild, 2);
    EXPECT_EQ(form->FieldText(0), QString::fromUtf8("Elektro Müller"));
    EXPECT_EQ(form->RecordPath, record);
  }
  // Not a data record: the form says so and stays empty.
  {
    Kelvara k(QString::fromLatin1(Kelvara::AppName), 0, ChildWindowMakers::Program(),
              [] { return HostInfo{true, "PRUEF1", "192.168.0.5"}; });
    ASSERT_TRUE(k.InitMainWindow());
    k.StartFile = dir.filePath("fehlt.ini");
    boxes.clear();
    k.StartUp();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.contains("nicht vorhanden"));
  }
  Seams::SetTimerResponder(nullptr);
}

}  // namespace
