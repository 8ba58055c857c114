// Benchmark of the record list and its reports in one go: 500 records as 500
// PDF files and as one PDF of 500 pages (with the ratio to one page), and the
// longest stall of the event loop while the list of 500 records is filled and
// sorted. Every page is full, as a visit makes it: every field of the form
// filled, the appliance data typed for every record, every measurement the
// test prescribes. Files are written as the program writes them (archival
// PDF, complete, made durable, renamed); the reports of stored tests once more
// with their fingerprints and QR codes. Medians of the runs given as the
// argument (default 3).
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
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
#include "core/archiveservice.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "render/batch.h"
#include "core/layout.h"
#include "records/recordlistwindow.h"

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
  // Every field of the form, to its typing limit at most.
  const QString text = QStringLiteral("Elektro Müller GmbH & Co. KG, Industriestraße 12, 80331 München ");
  for (int f = 0; f < Layout::kFieldCount; ++f) form.SetFieldText(f, text.left(std::min(Layout::kFields[f].limit, 60)));
  form.SichtpruefungBox->setChecked(true);
  form.FunktionspruefungBox->setChecked(true);

  ArchiveService archive;
  form.SetArchive(&archive);
  RecordListWindow list(&device, &form, archive);
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

  // The appliance data of every record, as typed into the list.
  RecordListModel* model = list.Model();
  for (int row = 0; row < 500; ++row) {
    model->setData(model->index(row, RecordListModel::ColInventar), QStringLiteral("INV-%1-Ä").arg(row, 5, 10, QLatin1Char('0')), Qt::EditRole);
    model->setData(model->index(row, RecordListModel::ColBezeichnung), QStringLiteral("Winkelschleifer 125 mm"), Qt::EditRole);
    model->setData(model->index(row, RecordListModel::ColHersteller), QStringLiteral("Hersteller GmbH / WS-125-Ü"), Qt::EditRole);
    model->setData(model->index(row, RecordListModel::ColStandort), QStringLiteral("Halle 3, Werkbank %1").arg(row % 40), Qt::EditRole);
    model->setData(model->index(row, RecordListModel::ColBemerkungen), QStringLiteral("Zuleitung erneuert, Stecker geprüft"), Qt::EditRole);
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
  // As stored tests: each page with its fingerprint and QR code.
  std::vector<QString> hashes;
  for (int i = 0; i < 500; ++i)
    hashes.push_back(QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha256).toHex()));
  const double proven = Timing::MedianMs(runs, [&] { Batch::WritePdfs(reports, paths, nullptr, hashes); });

  std::printf("record list of 500: fill %.1f ms, sort %.1f ms, scroll %.1f ms (medians of %d, target <= 20)\n",
              Timing::Median(fills), Timing::Median(sorts), Timing::Median(scrolls), runs);
  std::printf("one report as PDF: %.1f ms\n", one);
  std::printf("500 reports as 500 PDF files: %.0f ms (%.1f ms a page, %.0f x one page, %.1f x one PDF of 500 pages; "
              "target <= 1500)\n",
              files, files / 500, files / one, files / onePdf);
  std::printf("500 reports as one PDF: %.0f ms (%.1f ms a page, %.0f x one page; target <= 5000)\n", onePdf,
              onePdf / 500, onePdf / one);
  std::printf("500 reports of stored tests as 500 PDF files, with fingerprint and QR code: %.0f ms (%.2f x without)\n",
              proven, proven / files);
  return 0;
}
