// Benchmark of the test labels: 500 labels of a visit as one PDF, written as
// the program writes it (drawn in memory, made durable, renamed into place),
// on a label printer's roll (one label a page) and on A4 sheets, with each
// code type; and one label alone, for the ratio. The labels are as full as a
// visit makes them (a long company name, a failed row on every seventh).
// Medians of the runs given as the argument (default 5).
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/timing.h"
#include "render/labeldoc.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QTemporaryDir dir;

  std::vector<Labels::LabelData> visit;
  for (int i = 0; i < 500; ++i) {
    Labels::LabelData l;
    l.InventarNr = QStringLiteral("BM-%1/Halle-%2").arg(i + 1, 4, 10, QChar('0')).arg(i % 7);
    l.Customer = QStringLiteral("Bäckerei Müller & Söhne KG");
    l.Company = QStringLiteral("Elektro Schmidt GmbH & Co. KG Prüfdienst");
    l.TestDate = QDate(2026, 6, 12);
    l.NextTest = QDate(2027, 6, 12);
    l.Failed = i % 7 == 3;
    if (l.Failed) l.Reason = QStringLiteral("R-ISO 0.215 MOhm, Grenzwert 1.00");
    visit.push_back(l);
  }

  std::printf("500 labels as one PDF, median of %d runs (target: under 5 s)\n", runs);
  for (const char* key : {"62x40", "12mm", "a4-3x8", "a4-4x10"}) {
    for (Barcode::Type type : {Barcode::Type::QR, Barcode::Type::DataMatrix, Barcode::Type::Code128}) {
      LabelDoc::Job job;
      Labels::FormatByKey(QString::fromLatin1(key), &job.format);
      job.options.code = type;
      job.labels = visit;
      if (!LabelDoc::Problems(job).isEmpty()) continue;  // e.g. Code 128 of these numbers on 12 mm tape
      const QString path = dir.filePath(QStringLiteral("etiketten-%1.pdf").arg(key));
      bool ok = true;
      const double all = Timing::MedianMs(runs, [&] { ok = LabelDoc::WritePdf(job, path).ok && ok; });
      LabelDoc::Job one = job;
      one.labels.resize(1);
      const double single = Timing::MedianMs(runs, [&] { ok = LabelDoc::WritePdf(one, path).ok && ok; });
      std::printf("  %-8s %-11s %6.2f s  (%.1f ms a label; one label alone %.1f ms, ratio %.0f)%s\n", key,
                  Barcode::Name(type).toUtf8().constData(), all / 1000, all / 500, single, all / single,
                  ok ? "" : "  FAILED");
    }
  }
  return 0;
}
