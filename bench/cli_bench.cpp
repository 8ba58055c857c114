// Benchmark of kelvara-cli as a script runs it, the whole command each time
// (start, work, exit): `report --from-csv` of a list of 100 appliances into
// 100 PDF files, and `read` of 500 records (the tester's most) from the
// simulated tester at the line's real pace (38400 baud, 11 bits a byte), with
// the processor time the command used. Prints medians of the runs given
// (default 5; the read runs at most 3 times, some 10 s each).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <algorithm>
#include <vector>
#include <cstdlib>
#include <sys/resource.h>

#include "bench/timing.h"
#include "core/reportrecord.h"

namespace {

QString Cli() { return QString(KELVARA_SIM_PATH).replace(QStringLiteral("zelto-sim"), QStringLiteral("kelvara-cli")); }

bool Run(const QStringList& args) {
  QProcess p;
  p.start(Cli(), args);
  return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir dir;
  qputenv("KELVARA_PORTS", dir.path().toLocal8Bit());

  ReportRecord form;
  form.Fields[0] = QStringLiteral("Elektro Müller GmbH");
  form.Fields[30] = QStringLiteral("Prüfer Schmidt");
  const QString templatePath = dir.filePath(QStringLiteral("vorlage.ini"));
  if (Report::Write(templatePath, form).status != Report::WriteResult::Ok) return 1;
  QByteArray csv = "Nr.;Norm;Schutzklasse;R-PE [Ohm];Grenzwert R-PE;R-PE OK;Inventar-Nr.;Gerät/Bezeichnung;Standort\r\n";
  for (int i = 1; i <= 100; ++i)
    csv += QStringLiteral("%1;VDE 0701 / 0702;I;0.12;0.30;bestanden;INV-%1;Bohrmaschine;Halle 2\r\n").arg(i).toUtf8();
  QFile list(dir.filePath(QStringLiteral("liste.csv")));
  if (!list.open(QIODevice::WriteOnly)) return 1;
  list.write(csv);
  list.close();
  bool ok = true;
  const double report = Timing::MedianMs(runs, [&] {
    ok &= Run({"report", "--from-csv", list.fileName(), "--template", templatePath, "--pdf-dir", dir.filePath("pdf")});
  });

  QProcess sim;
  sim.start(KELVARA_SIM_PATH, {"--link", dir.filePath("com4"), "--records", "500"});
  sim.waitForStarted(5000);
  for (int i = 0; i < 250 && !QFile::exists(dir.filePath("com4")); ++i) QThread::msleep(20);
  const int readRuns = std::min(runs, 3);
  std::vector<double> wall, cpu;
  QByteArray first;
  for (int i = 0; i < readRuns; ++i) {
    struct rusage before {}, after {};
    ::getrusage(RUSAGE_CHILDREN, &before);
    wall.push_back(Timing::MedianMs(1, [&] {
      ok &= Run({"read", "--port", "COM4", "--out", dir.filePath("pruefungen.csv")});
    }));
    ::getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const struct rusage& r) {
      return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    cpu.push_back((seconds(after) - seconds(before)) * 1000.0);
    // Every run reads the same 500 records.
    QFile read(dir.filePath("pruefungen.csv"));
    const QByteArray text = read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    ok &= text.count('\n') == 501 && (first.isEmpty() || text == first);
    if (first.isEmpty()) first = text;
  }
  sim.terminate();
  sim.waitForFinished(5000);
  const double readMs = Timing::Median(wall), cpuMs = Timing::Median(cpu);

  std::printf("kelvara-cli report --from-csv, 100 appliances into 100 PDF files: %.0f ms (median of %d)\n", report, runs);
  std::printf("kelvara-cli read, 500 records from the simulated tester at 38400 baud: %.1f s, %.2f s of processor time "
              "(%.1f %% of a core) (median of %d)\n",
              readMs / 1000.0, cpuMs / 1000.0, 100.0 * cpuMs / readMs, readRuns);
  if (!ok) std::printf("FAILED: a command failed or the reads differ\n");
  return ok ? 0 : 1;
}
