// A report that can be checked: its fingerprint read back from the printed
// page (pdftotext, and its QR code with zbarimg) is verified by kelvara-cli
// against the archive, and fails once a byte of the stored test changed; the
// reports are archival PDF from the tool, the batches, the form and the
// archive window; the archive window says when the chain is broken.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/chain.h"
#include "core/reportrecord.h"
#include "platform/seams.h"
#include "records/archivewindow.h"
#include "render/batch.h"
#include "report/TFormular.h"
#include "report/printing.h"
#include "tests/labeltools.h"
#include "tests/pdfacheck.h"
#include "tests/smalldisk.h"
#include "tests/testutil.h"

namespace {

struct CliResult {
  int status = -1;
  QString out, err;
};

ReportRecord Tested(const QString& inventar, bool passed = true) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Elektro Müller GmbH");
  r.Fields[13] = QStringLiteral("Bohrmaschine");
  r.Fields[17] = inventar;
  r.Fields[18] = QStringLiteral("12");
  r.Fields[25] = QStringLiteral("05.01.2026");
  r.Fields[30] = QStringLiteral("Hans Schmidt");
  r.VdePruefgrundlage = 4;
  r.VdeKlasse = 1;
  for (int row = 0; row < 4; ++row) {
    r.MessText[row] = QStringLiteral("  0.1%1").arg(row);
    r.GrenzText[row] = QStringLiteral(" 0.30");
    r.RowActive[row] = 1;
    r.Ok[row] = passed;
  }
  r.Sichtpruefung = r.Funktionspruefung = true;
  return r;
}

class Proof : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"qpdf", "pdffonts", "pdftotext", "zbarimg", "sqlite3"})
      if (!LabelTools::Have(QString::fromLatin1(tool))) GTEST_SKIP() << LabelTools::Missing(QString::fromLatin1(tool));
    archive_ = dir_.filePath(QStringLiteral("archiv.sqlite"));
  }
  CliResult Cli(const QStringList& args, const QString& archive = QString()) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("KELVARA_ARCHIVE"), archive.isEmpty() ? archive_ : archive);
    p.setProcessEnvironment(e);
    p.start(QString(KELVARA_SIM_PATH).replace(QLatin1String("zelto-sim"), QLatin1String("kelvara-cli")), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
  }
  void Sql(const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {archive_, sql});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  QTemporaryDir dir_;
  QString archive_;
};

TEST_F(Proof, AReportsFingerprintReadFromItsPageIsVerifiedUntilAByteOfItsTestChanges) {
  QDir().mkpath(Path(QStringLiteral("besuch")));
  const QString record = Path(QStringLiteral("besuch/INV-0042.ini"));
  ASSERT_EQ(Report::Write(record, Tested(QStringLiteral("INV-0042"))).status, Report::WriteResult::Ok);
  ASSERT_EQ(Report::Write(Path(QStringLiteral("besuch/INV-0043.ini")), Tested(QStringLiteral("INV-0043"), false)).status,
            Report::WriteResult::Ok);
  CliResult import = Cli({QStringLiteral("archive"), QStringLiteral("import"), Path(QStringLiteral("besuch"))});
  ASSERT_EQ(import.status, 0) << import.err.toStdString();

  // The report of the stored test: archival PDF that names its fingerprint.
  const QString pdf = Path(QStringLiteral("bericht.pdf"));
  CliResult report = Cli({QStringLiteral("report"), record, QStringLiteral("--pdf"), pdf});
  ASSERT_EQ(report.status, 0) << report.err.toStdString();
  EXPECT_FALSE(report.err.contains(QStringLiteral("keinen Prüfnachweis"))) << report.err.toStdString();
  EXPECT_EQ(PdfA::Problems(pdf), QStringList());
  const QMap<QString, QString> info = PdfA::Info(pdf);
  EXPECT_EQ(info.value(QStringLiteral("Title")), QStringLiteral("Prüfprotokoll Elektro Müller GmbH 05.01.2026"));
  EXPECT_EQ(info.value(QStringLiteral("Author")), QStringLiteral("Hans Schmidt"));
  EXPECT_EQ(info.value(QStringLiteral("Subject")), QStringLiteral("Bohrmaschine, Inventar-Nr. INV-0042, geprüft am 05.01.2026"));
  EXPECT_TRUE(info.value(QStringLiteral("Keywords")).contains(QStringLiteral("bestanden; Prüfnachweis ")));

  // The fingerprint as the page shows it, and as its QR code holds it.
  const QStringList printed = Chain::FingerprintsIn(LabelTools::PdfText(pdf));
  ASSERT_EQ(printed.size(), 1);
  const QStringList scanned = LabelTools::ScanPdfPage(pdf, 1);
  ASSERT_EQ(scanned.size(), 1);
  EXPECT_EQ(scanned[0], printed[0].toUpper());
  LabelTools::PdfPage(pdf, 1, 100).save(TestUtil::OutDir() + QStringLiteral("/report-fingerprint.png"));
  for (const QString& typed : {Chain::Grouped(scanned[0]), scanned[0], pdf, record}) {
    const CliResult verified = Cli({QStringLiteral("verify"), typed});
    EXPECT_EQ(verified.status, 0) << typed.toStdString() << verified.out.toStdString() << verified.err.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("stimmt."))) << verified.out.toStdString();
    EXPECT_TRUE(verified.out.contains(QStringLiteral("INV-0042 (Bohrmaschine), Auftraggeber Elektro Müller GmbH")));
    EXPECT_TRUE(verified.out.contains(QStringLiteral("05.01.2026")));
    EXPECT_TRUE(verified.out.contains(QStringLiteral("Ergebnis:     bestanden")));
  }
  const CliResult chain = Cli({QStringLiteral("archive"), QStringLiteral("verify")});
  EXPECT_EQ(chain.status, 0) << chain.out.toStdString() << chain.err.toStdString();
  EXPECT_TRUE(chain.out.contains(QStringLiteral("Prüfkette intakt: 2 Prüfungen")));

  // A copy of the archive, brought back into a new one: the same chain.
  const QString copy = Path(QStringLiteral("sicherung.sqlite"));
  const CliResult backup = Cli({QStringLiteral("archive"), QStringLiteral("backup"), copy});
  EXPECT_EQ(backup.status, 0) << backup.err.toStdString();
  const QString restored = Path(QStringLiteral("zurueck/archiv.sqlite"));
  const CliResult restore = Cli({QStringLiteral("archive"), QStringLiteral("restore"), copy}, restored);
  EXPECT_EQ(restore.status, 0) << restore.err.toStdString();
  EXPECT_EQ(Cli({QStringLiteral("verify"), pdf}, restored).status, 0);
  EXPECT_EQ(Cli({QStringLiteral("archive"), QStringLiteral("restore"), copy}, restored).status, 1);  // not over an archive

  // Files that are not the stored test, and words that are no fingerprint.
  QFile file(record);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray bytes = file.readAll();
  file.close();
  QByteArray edited = bytes;
  edited.replace("INV-0042", "INV-0044");  // another appliance: not in the archive
  QFile other(Path(QStringLiteral("andere.ini")));
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write(edited);
  other.close();
  EXPECT_EQ(Cli({QStringLiteral("verify"), Path(QStringLiteral("andere.ini"))}).status, 6);
  edited = bytes;
  edited.replace("Hans Schmidt", "Hans Schmidx");  // the same test, one byte changed
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(edited);
  file.close();
  const CliResult changedFile = Cli({QStringLiteral("verify"), record});
  EXPECT_EQ(changedFile.status, 5) << changedFile.out.toStdString();
  EXPECT_TRUE(changedFile.out.contains(QStringLiteral("stimmt NICHT")));
  EXPECT_EQ(Cli({QStringLiteral("verify"), QStringLiteral("0000 0000 0000 0000")}).status, 6);
  EXPECT_EQ(Cli({QStringLiteral("verify"), QStringLiteral("keine-datei.pdf")}).status, 1);

  // One byte of the stored data record file changed behind the program's back.
  Sql(QStringLiteral("UPDATE tests SET record = CAST(REPLACE(CAST(record AS TEXT), 'Hans Schmidt', 'Hans Schmidx') AS "
                     "BLOB) WHERE record_hash = '%1'")
          .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())));
  for (const QString& typed : {scanned[0], pdf}) {
    const CliResult refused = Cli({QStringLiteral("verify"), typed});
    EXPECT_EQ(refused.status, 5) << refused.out.toStdString();
    EXPECT_TRUE(refused.out.contains(QStringLiteral("stimmt NICHT"))) << refused.out.toStdString();
    EXPECT_TRUE(refused.out.contains(QStringLiteral("verändert"))) << refused.out.toStdString();
  }
  const CliResult broken = Cli({QStringLiteral("archive"), QStringLiteral("verify")});
  EXPECT_EQ(broken.status, 5);
  EXPECT_TRUE(broken.out.contains(QStringLiteral("Prüfung Nr. 1 (Elektro Müller GmbH, Inventar-Nr. INV-0042")))
      << broken.out.toStdString();
  // The backup made before is still good.
  EXPECT_EQ(Cli({QStringLiteral("archive"), QStringLiteral("verify")}, restored).status, 0);
}

TEST_F(Proof, ABackupOrARestoreOntoAFullDiskSaysSoAndLeavesNoHalfFile) {
  SmallDisk disk(256);
  if (!disk.Mounted()) GTEST_SKIP() << SmallDisk::SkipReason();
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archive_));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("V-%1").arg(i))), Archive::Stored::New);
  }
  QFile older(disk.Path(QStringLiteral("sicherung.sqlite")));
  ASSERT_TRUE(older.open(QIODevice::WriteOnly));
  older.write("die Sicherung von gestern");
  older.close();
  const CliResult full = Cli({QStringLiteral("archive"), QStringLiteral("backup"), disk.Path(QStringLiteral("sicherung.sqlite"))});
  EXPECT_EQ(full.status, 4) << full.out.toStdString();
  EXPECT_TRUE(full.err.contains(QStringLiteral("kein Platz"))) << full.err.toStdString();
  ASSERT_TRUE(older.open(QIODevice::ReadOnly));
  EXPECT_EQ(older.readAll(), QByteArray("die Sicherung von gestern"));
  older.close();
  // A backup that fits elsewhere, brought back onto the full disk.
  const QString copy = Path(QStringLiteral("sicherung.sqlite"));
  ASSERT_EQ(Cli({QStringLiteral("archive"), QStringLiteral("backup"), copy}).status, 0);
  const CliResult restore = Cli({QStringLiteral("archive"), QStringLiteral("restore"), copy}, disk.Path(QStringLiteral("neu.sqlite")));
  EXPECT_EQ(restore.status, 4) << restore.err.toStdString();
  EXPECT_TRUE(restore.err.contains(QStringLiteral("kein Platz"))) << restore.err.toStdString();
  EXPECT_EQ(QDir(disk.Path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{QStringLiteral(".fuellung"), QStringLiteral("sicherung.sqlite")}).mid(1));
}

TEST_F(Proof, TheBatchesWriteArchivalPdfWithTheFingerprintsOfTheStoredTests) {
  std::vector<ReportRecord> reports;
  std::vector<QString> hashes;
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archive_));
    for (int i = 0; i < 3; ++i) {
      reports.push_back(Tested(QStringLiteral("B-%1").arg(i), i != 1));
      // The third is not stored: it has no fingerprint.
      if (i < 2) ASSERT_EQ(archive.StoreReport(reports.back()), Archive::Stored::New);
      hashes.push_back(i < 2 ? archive.LastHash() : QString());
    }
  }
  const QStringList paths{Path(QStringLiteral("B-0.pdf")), Path(QStringLiteral("B-1.pdf")), Path(QStringLiteral("B-2.pdf"))};
  const Batch::Result files = Batch::WritePdfs(reports, paths, nullptr, hashes);
  ASSERT_TRUE(files.ok) << files.error.toStdString();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(PdfA::Problems(paths[i]), QStringList());
    const QMap<QString, QString> info = PdfA::Info(paths[i]);
    EXPECT_EQ(info.value(QStringLiteral("Subject")),
              QStringLiteral("Bohrmaschine, Inventar-Nr. B-%1, geprüft am 05.01.2026").arg(i));
    EXPECT_TRUE(info.value(QStringLiteral("Keywords")).contains(i == 1 ? QStringLiteral("nicht bestanden") : QStringLiteral("; bestanden")));
    const QStringList printed = Chain::FingerprintsIn(LabelTools::PdfText(paths[i]));
    if (i < 2) {
      EXPECT_EQ(printed, QStringList{hashes[size_t(i)].left(16)});
      EXPECT_TRUE(info.value(QStringLiteral("Keywords")).contains(Chain::Grouped(Chain::Fingerprint(hashes[size_t(i)]))));
      EXPECT_EQ(Cli({QStringLiteral("verify"), paths[i]}).status, 0);
    } else {
      EXPECT_TRUE(printed.isEmpty());
      EXPECT_TRUE(LabelTools::ScanPdfPage(paths[i], 1).isEmpty());
      EXPECT_EQ(Cli({QStringLiteral("verify"), paths[i]}).status, 6);  // names no fingerprint
    }
  }
  const QString one = Path(QStringLiteral("alle.pdf"));
  ASSERT_TRUE(Batch::WriteOnePdf(reports, one, nullptr, hashes).ok);
  EXPECT_EQ(PdfA::Problems(one), QStringList());
  EXPECT_EQ(PdfA::Info(one).value(QStringLiteral("Pages")), QStringLiteral("3"));
  EXPECT_EQ(PdfA::Info(one).value(QStringLiteral("Author")), QStringLiteral("Hans Schmidt"));
  const CliResult both = Cli({QStringLiteral("verify"), one});
  EXPECT_EQ(both.status, 0) << both.out.toStdString();
  EXPECT_EQ(both.out.count(QStringLiteral(": stimmt.")), 2);
}

TEST_F(Proof, TheFormAndTheArchiveWindowPrintTheFingerprintOfTheStoredTestAndTheWindowSeesABrokenChain) {
  ArchiveService service;
  service.SetLocation(archive_);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  TFormular form(nullptr);
  form.SetArchive(&service);
  form.SetupWindow();
  form.Show(Tested(QStringLiteral("F-1")));
  auto printPdf = [&](const QString& pdf) {
    QPrinter* printer = PrintJob::EnsurePrinter(form);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);
    form.HandleCommand(TFormular::CmDruckenId);
    return Chain::FingerprintsIn(LabelTools::PdfText(pdf));
  };
  // Not stored yet: no fingerprint.
  EXPECT_TRUE(printPdf(Path(QStringLiteral("vorher.pdf"))).isEmpty());
  EXPECT_EQ(PdfA::Problems(Path(QStringLiteral("vorher.pdf"))), QStringList());
  ASSERT_TRUE(form.SaveRecord(Path(QStringLiteral("F-1.ini"))));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !form.ProofHash().isEmpty(); }, 20000));
  const QString hash = form.ProofHash();
  EXPECT_EQ(printPdf(Path(QStringLiteral("gespeichert.pdf"))), QStringList{hash.left(16)});
  EXPECT_EQ(PdfA::Problems(Path(QStringLiteral("gespeichert.pdf"))), QStringList());
  EXPECT_EQ(PdfA::Info(Path(QStringLiteral("gespeichert.pdf"))).value(QStringLiteral("Author")), QStringLiteral("Hans Schmidt"));
  EXPECT_EQ(LabelTools::ScanPdfPage(Path(QStringLiteral("gespeichert.pdf")), 1), QStringList{hash.left(16).toUpper()});
  // Typed into since: the page is no longer the stored test's.
  form.SetFieldText(28, QStringLiteral("nachgetragen"));
  EXPECT_TRUE(printPdf(Path(QStringLiteral("geaendert.pdf"))).isEmpty());

  // The archive window: its PDF of a stored test, and the chain's state.
  ArchiveWindow window(&form, service);
  window.SetupWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy() && !window.ChainChecking(); }, 30000));
  EXPECT_TRUE(window.ChainLabel()->text().startsWith(QStringLiteral("Prüfkette intakt: 1 Prüfung,")))
      << window.ChainLabel()->text().toStdString();
  window.ShowSearch(QStringLiteral("F-1"));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  window.AppliancesTable()->selectRow(0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy() && window.History()->rowCount() == 1; }, 30000));
  const QString stored = Path(QStringLiteral("aus-dem-archiv.pdf"));
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) { return *path = stored, true; });
  window.ExportPdf(0);
  EXPECT_EQ(PdfA::Problems(stored), QStringList());
  EXPECT_EQ(Chain::FingerprintsIn(LabelTools::PdfText(stored)), QStringList{hash.left(16)});
  // Opened in the form, the stored test prints its fingerprint too.
  window.OpenInForm(0);
  EXPECT_EQ(form.ProofHash(), hash);
  // A test stored while the window is open: its line follows the archive.
  form.Show(Tested(QStringLiteral("F-2")));
  ASSERT_TRUE(form.SaveRecord(Path(QStringLiteral("F-2.ini"))));
  ASSERT_TRUE(TestUtil::WaitFor(
      [&] { return !window.ChainChecking() && window.ChainLabel()->text().startsWith(QStringLiteral("Prüfkette intakt: 2 Prüfungen,")); },
      30000))
      << window.ChainLabel()->text().toStdString();

  // Changed behind the program's back: the window says so, naming the test.
  Sql(QStringLiteral("UPDATE test_rows SET measured = '  0.01' WHERE row_index = 0"));
  window.CheckChain();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.ChainChecking(); }, 30000));
  EXPECT_TRUE(window.ChainLabel()->text().startsWith(QStringLiteral("Prüfkette GEBROCHEN: Prüfung Nr. 1 (Elektro Müller GmbH")))
      << window.ChainLabel()->text().toStdString();
  EXPECT_TRUE(window.ChainLabel()->styleSheet().contains(QStringLiteral("190, 0, 0")));
  TestUtil::Grab(&window, "archive-chain-broken");
  service.Shutdown();
}

}  // namespace
