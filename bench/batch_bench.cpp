// Benchmark of the record list and its reports in one go: 500 records as 500
// PDF files and as one PDF of 500 pages (with the ratio to one page), and the
// longest stall of the event loop while the list of 500 records is filled and
// sorted. Medians of the runs given as the argument (default 3).
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "bench/timing.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/batch.h"
#include "report/recordlistwindow.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  Seams::SetTimerResponder([](unsigned, int) { return true; });

  TMessgeraet device(nullptr, 1000, 0);
  device.SetupWindow();
  for (int& a : device.MeasurementAvailable) a = 1;
  device.DeviceType = 2;
  device.DeviceText = QStringLiteral("Zelto-Gerätetester  V2.04.11");
  std::mt19937 rng(7);
  const int codes[4][2] = {{3, 4}, {5, 8}, {9, 10}, {11, 12}};
  for (int i = 0; i < 500; ++i) {
    DeviceRecord& r = device.Records[i];
    r.NormIndex = int(rng() % 4 == 0);
    r.ClassIndex = int(rng() % 3);
    for (int e = 0; e < 4; ++e) {
      r.RangeCode[e] = codes[e][rng() % 2];
      r.RawValue[e] = int(rng() % 20000);
    }
  }
  device.RecordCount = 500;
  TFormular form(&device);
  form.SetupWindow();
  form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));

  RecordListWindow list(&device, &form);
  list.SetupWindow();
  list.show();
  // The list filled as a load ends, then sorted and scrolled: the longest step.
  std::vector<double> fills, sorts, scrolls;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    emit device.RecordsLoaded();
    QApplication::processEvents();
    fills.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    list.Table()->sortByColumn(RecordListModel::ColVerdict, Qt::AscendingOrder);
    QApplication::processEvents();
    sorts.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    list.Table()->scrollToBottom();
    QApplication::processEvents();
    scrolls.push_back(t.nsecsElapsed() / 1e6);
    list.Table()->sortByColumn(RecordListModel::ColNumber, Qt::AscendingOrder);
  }

  std::vector<ReportRecord> reports;
  for (int row = 0; row < 500; ++row) reports.push_back(list.Model()->Report(row));
  QTemporaryDir dir;
  QStringList paths;
  for (int i = 0; i < 500; ++i) paths << dir.filePath(QStringLiteral("r%1.pdf").arg(i));
  const double one = Timing::MedianMs(runs, [&] {
    Batch::WritePdfs({reports[0]}, {dir.filePath("one.pdf")}, nullptr);
  });
  const double files = Timing::MedianMs(runs, [&] { Batch::WritePdfs(reports, paths, nullptr); });
  const double onePdf = Timing::MedianMs(runs, [&] { Batch::WriteOnePdf(reports, dir.filePath("all.pdf"), nullptr); });

  std::printf("record list of 500: fill %.1f ms, sort %.1f ms, scroll %.1f ms (medians of %d, target <= 20)\n",
              Timing::Median(fills), Timing::Median(sorts), Timing::Median(scrolls), runs);
  std::printf("one report as PDF: %.1f ms\n", one);
  std::printf("500 reports as 500 PDF files: %.0f ms (%.1f ms a page, %.0f x one page; target <= 10000)\n", files,
              files / 500, files / one);
  std::printf("500 reports as one PDF: %.0f ms (%.1f ms a page, %.0f x one page; target <= 5000)\n", onePdf,
              onePdf / 500, onePdf / one);
  return 0;
}
