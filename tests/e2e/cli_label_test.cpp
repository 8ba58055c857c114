// kelvara-cli label: the labels of data record files (or a folder of them)
// as one PDF, the same as the program's; what it refuses and how it ends.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "core/label.h"
#include "core/reportrecord.h"
#include "tests/labeltools.h"
#include "tests/smalldisk.h"

namespace {

struct CliResult {
  int status = -1;
  QString out, err;
};

CliResult Cli(const QStringList& args) {
  QProcess p;
  p.start(QString(KELVARA_SIM_PATH).replace("zelto-sim", "kelvara-cli"), QStringList{"label"} + args);
  p.waitForFinished(60000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromLocal8Bit(p.readAllStandardError())};
}

void WriteRecord(const QString& path, const QString& inventar, bool passed) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Bäckerei Müller");
  r.Fields[Layout::kFieldAuftragnehmer] = QStringLiteral("Elektro Schmidt GmbH");
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefungAm] = QStringLiteral("12.06.2026");
  r.Fields[Layout::kFieldPruefintervall] = QStringLiteral("12 Monate");
  r.VdePruefgrundlage = 4;
  r.VdeKlasse = 1;
  r.Ok = {true, passed, true, true, false, false, false, false};
  r.Sichtpruefung = r.Funktionspruefung = true;
  ASSERT_EQ(Report::Write(path, r).status, Report::WriteResult::Ok);
}

}  // namespace

TEST(CliLabel, DataRecordFilesBecomeOnePdfOfLabels) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("besuch");
  WriteRecord(dir.filePath("besuch/a.ini"), "INV-1", true);
  WriteRecord(dir.filePath("besuch/b.ini"), "INV-2", false);
  WriteRecord(dir.filePath("einzeln.ini"), "INV-3", true);
  const QString pdf = dir.filePath("etiketten.pdf");
  const CliResult run = Cli({dir.filePath("besuch"), dir.filePath("einzeln.ini"), "--pdf", pdf, "--format", "a4-4x10", "--start", "3"});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_EQ(run.out.trimmed(), pdf);
  if (!LabelTools::Have("pdftotext") || !LabelTools::Have("zbarimg")) GTEST_SKIP() << LabelTools::Missing("poppler/zbar");
  const std::vector<QSizeF> sizes = LabelTools::PdfPageSizes(pdf);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_NEAR(sizes[0].width(), 210, 0.5);
  const QString text = LabelTools::PdfText(pdf);
  EXPECT_EQ(text.count("06/2027"), 2);
  EXPECT_EQ(text.count("GESPERRT"), 1);
  Labels::Format format;
  ASSERT_TRUE(Labels::FormatByKey("a4-4x10", &format));
  const std::vector<Labels::Slot> places = Labels::Place(format, 3, 3);
  const char* expected[3] = {"INV-1", "INV-2", "INV-3"};  // the folder's files by name, then the file
  for (int i = 0; i < 3; ++i) EXPECT_EQ(LabelTools::ScanPdfRegion(pdf, 1, places[size_t(i)].rect), QStringList{expected[i]});
}

TEST(CliLabel, WhatItRefusesAndHowItEnds) {
  QTemporaryDir dir;
  WriteRecord(dir.filePath("a.ini"), "INV-1", true);
  WriteRecord(dir.filePath("lang.ini"), QString(40, 'X'), true);
  const QString pdf = dir.filePath("e.pdf");
  struct Case {
    QStringList args;
    int status;
    const char* says;
  } cases[] = {
      {{dir.filePath("a.ini")}, 1, "--pdf"},
      {{"--pdf", pdf}, 1, "Datensätze"},
      {{dir.filePath("a.ini"), "--pdf", pdf, "--fromat", "a4-3x8"}, 1, "unbekannte Option „--fromat“"},
      {{dir.filePath("a.ini"), "--pdf", pdf, "--format", "A5"}, 1, "unbekanntes Format"},
      {{dir.filePath("a.ini"), "--pdf", pdf, "--code", "ean13"}, 1, "unbekannter Code"},
      {{dir.filePath("a.ini"), "--pdf", pdf, "--format", "a4-3x8", "--start", "25"}, 1, "1 bis 24"},
      {{dir.filePath("fehlt.ini"), "--pdf", pdf}, 1, "gibt es nicht"},
      {{dir.filePath("a.ini"), "--pdf", pdf, "--code"}, 1, "braucht einen Wert"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliResult run = Cli(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));
  }
  // A label that does not fit is named and left out; the others are written.
  const CliResult cut = Cli({dir.filePath("a.ini"), dir.filePath("lang.ini"), "--pdf", pdf, "--format", "12mm", "--code", "code128"});
  EXPECT_EQ(cut.status, 1);
  EXPECT_TRUE(cut.err.contains(QString(40, 'X'))) << cut.err.toStdString();
  EXPECT_TRUE(QFile::exists(pdf));
  EXPECT_TRUE(Cli({"--help"}).out.contains("--start"));

  // A full disk: status 4, an older file stays.
  SmallDisk disk(256);
  if (!disk.Mounted()) GTEST_SKIP() << SmallDisk::SkipReason();
  QFile old(disk.Path("e.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("alt");
  old.close();
  disk.Fill();
  const CliResult full = Cli({dir.filePath("a.ini"), "--pdf", disk.Path("e.pdf")});
  EXPECT_EQ(full.status, 4);
  EXPECT_TRUE(full.err.contains("kein Platz")) << full.err.toStdString();
  QFile check(disk.Path("e.pdf"));
  ASSERT_TRUE(check.open(QIODevice::ReadOnly));
  EXPECT_EQ(check.readAll(), QByteArray("alt"));
}
