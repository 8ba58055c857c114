// Entry point of Kelvara: reads the one switch, builds the application object
// and returns the exit status of its run.
#include <QApplication>

#include "platform/fonts.h"
#include "shell/kelvara.h"

int main(int argc, char** argv) {
  // The switch is read from the command line as given, before the toolkit
  // takes its own options out of it.
  const int debugMode = Kelvara::DebugModeFromArgs(argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(Kelvara::AppName));
  Fonts::InstallSubstitutions();
  // The system dialogs (files, printing, page set-up) and their buttons in German.
  Kelvara::InstallTranslations();
  Kelvara kelvara(QString::fromLatin1(Kelvara::AppName), debugMode);
  return kelvara.Run();
}
