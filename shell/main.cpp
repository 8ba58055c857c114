// Entry point of Kelvara: reads the one switch, builds the application object
// and returns the exit status of its run.
#include <QApplication>

#include "render/fonts.h"
#include "shell/commandline.h"
#include "shell/kelvara.h"

#include <cstdio>

int main(int argc, char** argv) {
  // The switch is read from the command line as given, before the toolkit
  // takes its own options out of it.
  const int debugMode = Kelvara::DebugModeFromArgs(argc, argv);
  const CommandLine line = CommandLine::Parse(argc, argv);
  if (line.Help || line.Version) {
    // Answered without a display: no toolkit is started.
    const QByteArray text = (line.Help ? CommandLine::HelpText() : CommandLine::VersionText()).toLocal8Bit();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(Kelvara::AppName));
  // The name of the desktop entry (de.kelvara.Kelvara.desktop): docks and
  // task bars tie the windows to the launcher and its icon by it.
  QGuiApplication::setDesktopFileName(QStringLiteral("de.kelvara.Kelvara"));
  Fonts::InstallSubstitutions();
  // The system dialogs (files, printing, page set-up) and their buttons in German.
  Kelvara::InstallTranslations();
  Kelvara kelvara(QString::fromLatin1(Kelvara::AppName), debugMode);
  kelvara.StartFile = line.File;
  return kelvara.Run();
}
