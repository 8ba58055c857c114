#pragma once
// The program's command line: the debug switch, --help, --version and a data
// record file to open on start. Every other argument is ignored.
#include <QString>

struct CommandLine {
  int DebugMode = 0;    // "debugkelvara" as the first argument
  bool Help = false;    // --help (or -h)
  bool Version = false; // --version
  QString File;         // a data record to open in the form on start

  // Reads the arguments as given, before the toolkit takes its own out. A file
  // is an argument that names an existing file or ends in ".ini" (so a
  // mistyped name is reported, while the toolkit's own option values are not
  // taken for files); the first such argument counts.
  static CommandLine Parse(int argc, const char* const* argv);
  static QString HelpText();
  static QString VersionText();
};
