// Benchmark of the serial link against zelto-sim at line rate: time per record
// entry when loading 100 records and the CPU used during that load, CPU use in
// three idle states, and the longest stall of the event loop while polling and
// while loading. Prints medians.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <functional>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include "device/TMessgeraet.h"

namespace {

QString g_ports;

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop, watching a 1 ms timer; returns the longest gap in ms.
double RunWatching(const std::function<bool()>& done, int timeoutMs, bool watch = true) {
  QElapsedTimer clock, total;
  clock.start();
  total.start();
  qint64 longest = 0, last = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    qint64 now = clock.nsecsElapsed();
    if (last) longest = std::max(longest, now - last);
    last = now;
  });
  if (watch) probe.start(1);
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done() || total.elapsed() >= timeoutMs) loop.quit();
  });
  check.start(20);
  loop.exec();
  return longest / 1e6;
}

std::unique_ptr<QProcess> StartSim(const QStringList& args) {
  auto sim = std::make_unique<QProcess>();
  sim->start(KELVARA_SIM_PATH, QStringList{"--link", g_ports + "/com4"} + args);
  sim->waitForStarted(5000);
  for (int i = 0; i < 100 && !QFile::exists(g_ports + "/com4"); ++i) QThread::msleep(20);
  return sim;
}

void StopSim(std::unique_ptr<QProcess>& sim) {
  if (!sim) return;
  sim->terminate();
  sim->waitForFinished(5000);
  sim.reset();
}

bool ButtonsEnabled(TMessgeraet& w) {
  for (QPushButton* b : w.RecordButton)
    if (!b->isEnabled()) return false;
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  QTemporaryDir dir;
  g_ports = dir.path();
  qputenv("KELVARA_PORTS", g_ports.toLocal8Bit());

  std::vector<double> perEntry, stallLoad, stallPoll, cpuLoad;
  for (int run = 0; run < runs; ++run) {
    auto sim = StartSim({"--records", "100"});
    TMessgeraet w(nullptr, 1000, 0);
    w.SetupWindow();
    RunWatching([&] { return w.DeviceType == 2; }, 10000);
    stallPoll.push_back(RunWatching([] { return false; }, 3000));  // polling with probes
    w.ConnectionTestBox->setChecked(false);
    RunWatching([&] { return ButtonsEnabled(w); }, 2000);
    QElapsedTimer t;
    t.start();
    const double c0 = CpuSeconds();
    w.ButtonClicked(105);
    const bool watch = run % 2 == 0;
    const double stall = RunWatching([&] { return w.LoadState == 0; }, 120000, watch);
    if (watch) stallLoad.push_back(stall);
    double ms = t.elapsed();
    // The stall probe (a 1 ms timer) costs CPU itself: only runs without it count.
    if (run % 2 == 1 || runs == 1) cpuLoad.push_back((CpuSeconds() - c0) / (ms / 1000.0) * 100.0);
    perEntry.push_back(ms / (4.0 * w.RecordCount));
    std::printf("run %d: %d records in %.0f ms\n", run + 1, w.RecordCount, ms);
    StopSim(sim);
  }

  // CPU over 10 s in three states, each measured `runs` times; the median is printed.
  auto cpuOver = [runs](const char* name, double seconds) {
    TMessgeraet w(nullptr, 1000, 0);
    w.SetupWindow();
    RunWatching([] { return false; }, 1500);  // port opened by the first link tick
    std::vector<double> used;
    for (int run = 0; run < runs; ++run) {
      double c0 = CpuSeconds();
      QElapsedTimer t;
      t.start();
      RunWatching([] { return false; }, static_cast<int>(seconds * 1000), false);
      used.push_back((CpuSeconds() - c0) / (t.elapsed() / 1000.0) * 100.0);
    }
    std::printf("CPU %-34s %5.2f %% of a core (median of %d, target <= 1)\n", name, Median(used), runs);
  };
  auto sim = StartSim({"--silent-after", "0"});
  cpuOver("port open, tester silent:", 10);
  StopSim(sim);
  sim = StartSim({});
  cpuOver("port open, tester answering probes:", 10);
  StopSim(sim);
  QFile::remove(g_ports + "/com4");
  QFile::link("/nonexistent/tty", g_ports + "/com4");
  cpuOver("port that cannot be opened:", 10);

  std::printf("load of 100 records at 38400 baud, median of %d: %.1f ms per entry (target <= 65)\n", runs,
              Median(perEntry));
  std::printf("CPU during that load: %.2f %% of a core (median of %zu runs without the stall probe)\n", Median(cpuLoad),
              cpuLoad.size());
  std::printf("longest event-loop stall, median: polling %.1f ms, loading %.1f ms (target <= 20)\n",
              Median(stallPoll), Median(stallLoad));
  return 0;
}
