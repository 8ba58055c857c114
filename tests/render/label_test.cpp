// Test labels drawn in every format: nothing outside its label, no text over
// the code, every code read back by a scanner's decoder, the pages of a PDF
// the size of the format.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include "core/fileio.h"
#include "render/labeldoc.h"
#include "render/labelpaint.h"
#include "tests/labeltools.h"
#include "tests/testutil.h"

namespace {

Labels::LabelData Passed(const QString& inventar = QStringLiteral("INV-0001")) {
  Labels::LabelData l;
  l.InventarNr = inventar;
  l.Customer = QStringLiteral("Bäckerei Müller");
  l.Company = QStringLiteral("Elektro Schmidt GmbH & Co. KG Prüfdienst");
  l.TestDate = QDate(2026, 6, 12);
  l.NextTest = QDate(2027, 6, 12);
  return l;
}

Labels::LabelData Failed(const QString& inventar = QStringLiteral("INV-0002")) {
  Labels::LabelData l = Passed(inventar);
  l.Failed = true;
  l.Reason = QStringLiteral("R-ISO 0.215 MOhm, Grenzwert 1.00");
  return l;
}

// The longest texts a report lets through: 50 characters a field.
Labels::LabelData Longest(bool failed) {
  Labels::LabelData l = failed ? Failed() : Passed();
  l.InventarNr = QStringLiteral("Lager-Nord/Halle-3/Regal-12/Gerät-4711-Bohrhammer");
  l.Company = QStringLiteral("Elektrotechnik Wilhelmine Großkopf-Übermeyer GmbH");
  if (failed) l.Reason = QStringLiteral("I-ABL Overflow mA, Grenzwert 3.50");
  return l;
}

QString CodeOf(const Labels::LabelData& label) { return Labels::CodeText(label, Labels::Content::Inventar); }

QString FileName(const Labels::Format& f, const QString& what) {
  QString key = f.key;
  return QStringLiteral("label-%1-%2").arg(key.replace(QLatin1Char('/'), QLatin1Char('-')), what);
}

}  // namespace

// Each format with the longest texts and with everyday ones: every line and the
// code inside the label, the texts apart from the code and from each other, the
// letters no smaller than the smallest size, the code's modules large enough.
TEST(LabelLayout, EveryFormatHoldsItsTextsInsideTheLabel) {
  for (const Labels::Format& format : Labels::Formats()) {
    for (const Labels::LabelData& label : {Passed(), Failed(), Longest(false), Longest(true)}) {
      SCOPED_TRACE(format.key.toStdString() + " " + label.InventarNr.toStdString() + (label.Failed ? " gesperrt" : ""));
      const QRectF rect = Labels::Place(format, 1)[0].rect;
      const LabelPaint::Layout layout = LabelPaint::Arrange(rect, label, LabelPaint::Options());
      ASSERT_TRUE(layout.fits) << layout.problem.toStdString();
      EXPECT_TRUE(rect.contains(layout.code));
      EXPECT_GE(layout.moduleMm, LabelPaint::kMinModuleMm);
      ASSERT_FALSE(layout.texts.empty());
      for (size_t i = 0; i < layout.texts.size(); ++i) {
        const LabelPaint::Layout::Text& t = layout.texts[i];
        SCOPED_TRACE(t.text.toStdString());
        EXPECT_TRUE(rect.contains(t.box));
        EXPECT_FALSE(t.box.intersects(layout.code));
        EXPECT_GE(t.sizeMm, LabelPaint::kMinTextMm * 0.89);  // a 0.9 line of the smallest base
        for (size_t j = i + 1; j < layout.texts.size(); ++j) EXPECT_FALSE(t.box.intersects(layout.texts[j].box));
      }
      if (label.Failed) EXPECT_TRUE(rect.contains(layout.band));
      // Nothing of a text is lost: the lines together hold every word.
      QString all;
      for (const auto& t : layout.texts) all += t.text;
      EXPECT_TRUE(all.contains(label.InventarNr.left(20)));
      EXPECT_TRUE(all.contains(QStringLiteral("2026")));
    }
  }
}

// A label too small for its texts, or a Code 128 too long for its width, is
// refused with the reason, never drawn cut off.
TEST(LabelLayout, TooSmallOrTooLongIsRefusedWithTheReason) {
  const Labels::Format tiny = Labels::Custom(12, 10);
  LabelPaint::Layout layout = LabelPaint::Arrange(Labels::Place(tiny, 1)[0].rect, Longest(false), LabelPaint::Options());
  EXPECT_FALSE(layout.fits);
  EXPECT_FALSE(layout.problem.isEmpty());

  Labels::Format tape;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("12mm"), &tape));
  LabelPaint::Options code128;
  code128.code = Barcode::Type::Code128;
  layout = LabelPaint::Arrange(Labels::Place(tape, 1)[0].rect, Longest(false), code128);
  EXPECT_FALSE(layout.fits);
  EXPECT_TRUE(layout.problem.contains(QStringLiteral("Code 128"))) << layout.problem.toStdString();
  // Short numbers fit the same tape.
  EXPECT_TRUE(LabelPaint::Arrange(Labels::Place(tape, 1)[0].rect, Passed(), code128).fits);

  // A job names the labels it leaves out, and draws the others.
  LabelDoc::Job job;
  job.format = tape;
  job.options = code128;
  job.labels = {Passed(), Longest(false), Failed()};
  const QStringList problems = LabelDoc::Problems(job);
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems[0].contains(Longest(false).InventarNr));
  QByteArray pdf;
  const LabelDoc::Result result = LabelDoc::DrawPdf(job, &pdf);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.labels, 2);
  EXPECT_TRUE(result.error.contains(Longest(false).InventarNr));
}

// Every format drawn to PNG (for looking at) and every code type read back by
// a decoder, at the resolution of a label printer and of a laser printer.
TEST(LabelLayout, CodesOfEveryFormatAndTypeScanBack) {
  if (!LabelTools::Have("zbarimg")) GTEST_SKIP() << LabelTools::Missing("zbarimg");
  for (const Labels::Format& format : Labels::Formats()) {
    for (Barcode::Type type : {Barcode::Type::QR, Barcode::Type::DataMatrix, Barcode::Type::Code128}) {
      SCOPED_TRACE(format.key.toStdString() + " " + Barcode::Key(type).toStdString());
      LabelDoc::Job job;
      job.format = format;
      job.options.code = type;
      job.labels = {Passed(QStringLiteral("INV-0815")), Failed(QStringLiteral("K-12/7"))};
      job.start = format.Sheet() ? 5 : 1;
      ASSERT_TRUE(LabelDoc::Problems(job).isEmpty()) << LabelDoc::Problems(job).join('\n').toStdString();
      const bool dm = type == Barcode::Type::DataMatrix;
      // A sheet's labels as cut out of it, so the decoder need not search the whole page.
      const double dpi = 200;
      QImage page = LabelDoc::RenderPage(job, 0, dpi);
      page.save(TestUtil::OutDir() + "/" + FileName(format, Barcode::Key(type)) + ".png");
      QStringList codes;
      if (format.Sheet()) {
        for (const Labels::Slot& slot : Labels::Place(format, 2, job.start)) {
          const QRectF r = slot.rect;
          const double k = dpi / 25.4;
          codes += LabelTools::ScanImage(page.copy(QRect(int(r.x() * k), int(r.y() * k), int(r.width() * k), int(r.height() * k))), dm);
        }
      } else {
        codes = LabelTools::ScanImage(page, dm) + LabelTools::ScanImage(LabelDoc::RenderPage(job, 1, dpi), dm);
      }
      codes.sort();
      EXPECT_EQ(codes, QStringList({"INV-0815", "K-12/7"}));
    }
  }
}

// The code's content: the Inventar-Nr. alone, or with customer and month;
// umlauts come back as typed.
TEST(LabelLayout, CodeContentScansBackAsPlainText) {
  if (!LabelTools::Have("zbarimg")) GTEST_SKIP() << LabelTools::Missing("zbarimg");
  Labels::Format format;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("89x36"), &format));
  for (Barcode::Type type : {Barcode::Type::QR, Barcode::Type::DataMatrix}) {
    SCOPED_TRACE(Barcode::Key(type).toStdString());
    LabelDoc::Job job;
    job.format = format;
    job.options.code = type;
    job.options.content = Labels::Content::InventarKundeDatum;
    job.labels = {Passed(QStringLiteral("Küche-3"))};
    const QStringList codes = LabelTools::ScanImage(LabelDoc::RenderPage(job, 0, 300), type == Barcode::Type::DataMatrix);
    ASSERT_EQ(codes.size(), 1);
    EXPECT_EQ(codes[0], QStringLiteral("Küche-3;Bäckerei Müller;06/2027"));
    EXPECT_EQ(Labels::InventarOfCode(codes[0]), QStringLiteral("Küche-3"));
  }
  // One umlaut alone: a QR code says it holds UTF-8, so no reader guesses
  // another code page for it.
  LabelDoc::Job job;
  job.format = format;
  job.labels = {Passed(QStringLiteral("BM-001/Ü"))};
  EXPECT_EQ(LabelTools::ScanImage(LabelDoc::RenderPage(job, 0, 300)), QStringList{"BM-001/Ü"});
}

// One PDF: every page the size of the format (sheets A4), a sheet filled from
// its start position, failed labels red; written whole or not at all.
TEST(LabelDocument, PdfPagesHaveTheFormatsSizeAndSheetsStartWhereAsked) {
  QTemporaryDir dir;
  for (const Labels::Format& format : Labels::Formats()) {
    SCOPED_TRACE(format.key.toStdString());
    LabelDoc::Job job;
    job.format = format;
    for (int i = 0; i < 5; ++i) job.labels.push_back(i % 2 ? Failed(QStringLiteral("F-%1").arg(i)) : Passed(QStringLiteral("P-%1").arg(i)));
    job.start = format.Sheet() ? format.PerPage() - 1 : 1;  // two places left on the sheet
    const QString path = TestUtil::OutDir() + "/" + FileName(format, "doc") + ".pdf";
    const LabelDoc::Result result = LabelDoc::WritePdf(job, path);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.labels, 5);
    const int pages = format.Sheet() ? 2 : 5;
    EXPECT_EQ(result.pages, pages);
    if (!LabelTools::Have("pdfinfo")) continue;
    const std::vector<QSizeF> sizes = LabelTools::PdfPageSizes(path);
    ASSERT_EQ(int(sizes.size()), pages);
    for (const QSizeF& size : sizes) {
      EXPECT_NEAR(size.width(), format.pageWidth, 0.3);
      EXPECT_NEAR(size.height(), format.pageHeight, 0.3);
    }
    if (format.Sheet() && LabelTools::Have("zbarimg")) {
      // Two labels on the first sheet (the last two places), three on the next,
      // each read as a hand scanner reads one label.
      const std::vector<Labels::Slot> places = Labels::Place(format, 5, job.start);
      for (int i = 0; i < 5; ++i)
        EXPECT_EQ(LabelTools::ScanPdfRegion(path, places[size_t(i)].page + 1, places[size_t(i)].rect),
                  QStringList{CodeOf(job.labels[size_t(i)])});
      EXPECT_EQ(places[1].page, 0);
      EXPECT_EQ(places[2].page, 1);
      const QImage first = LabelTools::PdfPage(path, 1, 100);
      // Above the last row the sheet stays white: those labels were used before.
      const int lastRowTop = int((format.top + (format.rows - 1) * format.pitchY) / 25.4 * 100) - 2;
      int dark = 0;
      for (int y = 0; y < lastRowTop; ++y)
        for (int x = 0; x < first.width(); ++x) dark += qGray(first.pixel(x, y)) < 200;
      EXPECT_EQ(dark, 0);
    }
  }
}

TEST(LabelDocument, FailedLabelsAreRedPassedOnesAreNot) {
  Labels::Format format;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("62x40"), &format));
  LabelDoc::Job job;
  job.format = format;
  job.labels = {Passed(), Failed()};
  EXPECT_EQ(LabelTools::RedPixels(LabelDoc::RenderPage(job, 0, 150)), 0);
  EXPECT_GT(LabelTools::RedPixels(LabelDoc::RenderPage(job, 1, 150)), 500);
}

// A PDF that cannot be written (a full disk) leaves an older file as it was
// and says why.
TEST(LabelDocument, AFailedWriteLeavesTheOldFileAndSaysWhy) {
  QTemporaryDir dir;
  const QString path = dir.filePath("etiketten.pdf");
  QFile old(path);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("alt");
  old.close();
  FileIO::SetSaveFault([](FileIO::SaveStep step) { return step == FileIO::SaveStep::Write ? ENOSPC : 0; });
  LabelDoc::Job job;
  ASSERT_TRUE(Labels::FormatByKey(QStringLiteral("54x25"), &job.format));
  job.labels = {Passed()};
  const LabelDoc::Result result = LabelDoc::WritePdf(job, path);
  FileIO::SetSaveFault(nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.labels, 0);
  EXPECT_TRUE(result.error.contains(QStringLiteral("Platz"))) << result.error.toStdString();
  QFile check(path);
  ASSERT_TRUE(check.open(QIODevice::ReadOnly));
  EXPECT_EQ(check.readAll(), QByteArray("alt"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no temporary file left
}
