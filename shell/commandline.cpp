#include "shell/commandline.h"

#include <QFileInfo>
#include <QUrl>
#include <cstring>

#ifndef KELVARA_VERSION
#define KELVARA_VERSION "0"
#endif

CommandLine CommandLine::Parse(int argc, const char* const* argv) {
  CommandLine line;
  if (!argv) return line;
  line.DebugMode = (argc >= 2 && argv[1] && std::strcmp(argv[1], "debugkelvara") == 0) ? 1 : 0;
  for (int i = 1; i < argc; ++i) {
    if (!argv[i]) continue;
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      line.Help = true;
    } else if (arg == QLatin1String("--version")) {
      line.Version = true;
    } else if (line.File.isEmpty() && !(i == 1 && line.DebugMode) && !arg.startsWith(QLatin1Char('-'))) {
      QString path = arg;
      if (path.startsWith(QLatin1String("file://"))) path = QUrl(path).toLocalFile();
      if (QFileInfo(path).isFile() || path.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
        line.File = QFileInfo(path).absoluteFilePath();
    }
  }
  return line;
}

QString CommandLine::HelpText() {
  return QStringLiteral(
      "Aufruf: kelvara [debugkelvara] [DATENSATZ.ini]\n"
      "        kelvara --help | --version\n"
      "\n"
      "Kelvara liest die Prüfungen eines tragbaren Gerätetesters (DIN VDE 0701-0702,\n"
      "DIN VDE 0751) über die serielle Schnittstelle, füllt das Prüfprotokoll,\n"
      "speichert es als Datensatz und druckt es.\n"
      "\n"
      "  DATENSATZ.ini  öffnet diesen Datensatz beim Start im Formular\n"
      "  debugkelvara   (nur als erstes Argument) Messgerätefenster im Debug-Modus\n"
      "  --help         zeigt diese Hilfe und endet\n"
      "  --version      zeigt die Version und endet\n"
      "\n"
      "Schnittstellen: COM1 bis COM30 öffnen das Ziel der Verknüpfung comN in\n"
      "~/.kelvara/ports (oder $KELVARA_PORTS), sonst /dev/ttyS0 bis /dev/ttyS29;\n"
      "danach folgen die seriellen Geräte des Rechners (USB-Adapter).\n"
      "Ohne Tester zum Ausprobieren: kelvara-zelto-sim (siehe man kelvara-zelto-sim).\n");
}

QString CommandLine::VersionText() { return QStringLiteral("Kelvara %1\n").arg(QLatin1String(KELVARA_VERSION)); }
