// Benchmark of loading and saving a data record next to hostile files of
// nearly the 4 MiB the profile layer accepts: many key lines in the section,
// many lines without "=", one single long line; and an ordinary record. Each
// save changes the record (its remark), so every save is a new test that is
// written, hashed and stored in the archive: the time is that of a save, not
// of finding the same test there already. Prints the median of five runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench/timing.h"
#include "core/places.h"
#include "platform/seams.h"
#include "report/TFormular.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The saves of the benchmark go into an archive of its own, not the user's.
  QTemporaryDir dir;
  qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
  Places::Set places;
  places.settingsFolder = dir.path();
  Places::Install(&places);
  qunsetenv("KELVARA_ARCHIVE");
  QApplication app(argc, argv);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  TFormular form(nullptr);
  form.SetupWindow();

  const int kTarget = 4 * 1024 * 1024 - 4096;
  struct Case {
    const char* name;
    QByteArray line;
  } cases[] = {{"key lines", "Schluessel=Wert\r\n"}, {"lines without =", "kein Schluessel\r\n"}};
  for (const Case& c : cases) {
    QByteArray bytes = "[TEXT_EDIT_SETTINGS]\r\n";
    while (bytes.size() + c.line.size() < kTarget) bytes += c.line;
    const QString path = dir.filePath("big.ini");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return 1;
    f.write(bytes);
    f.close();
    const double load = Timing::MedianMs(5, [&] { form.LoadRecord(path); });
    int round = 0;
    const double save = Timing::MedianMs(5, [&] {
      form.SetFieldText(28, QStringLiteral("Lauf %1").arg(++round));
      form.SaveRecord(path);
    });
    std::printf("%-18s %8.1f ms load %8.1f ms save\n", c.name, load, save);
  }
  QByteArray single = "[TEXT_EDIT_SETTINGS]\r\n" + QByteArray(kTarget, 'x');
  const QString path = dir.filePath("single.ini");
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return 1;
  f.write(single);
  f.close();
  std::printf("%-18s %8.1f ms load\n", "one long line", Timing::MedianMs(5, [&] { form.LoadRecord(path); }));
  // What a user saves every day: a report of about 1 KB, a new test each time.
  TFormular plain(nullptr);
  plain.SetupWindow();
  for (int field = 0; field < 31; ++field) plain.SetFieldText(field, QStringLiteral("Text %1").arg(field));
  const QString ordinary = dir.filePath("bericht.ini");
  int round = 0;
  const double load = Timing::MedianMs(5, [&] {
    plain.SetFieldText(28, QStringLiteral("Lauf %1").arg(++round));
    plain.SaveRecord(ordinary);
  });
  std::printf("%-18s %8.1f ms load %8.1f ms save\n", "ordinary record", Timing::MedianMs(5, [&] { plain.LoadRecord(ordinary); }), load);
  return 0;
}
