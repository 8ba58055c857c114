// kelvara-cli against the simulated tester, data record files and the archive:
// its output is the program's own (the record list's CSV, the form's printed
// page), and its exit status says what happened.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/recordlist.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "report/printing.h"
#include "records/recordlistwindow.h"
#include "tests/sim_link_fixture.h"
#include "tests/smalldisk.h"
#include "tests/testutil.h"

namespace {

struct CliRun {
  int status = -1;
  QByteArray out, err;
};

// The text of a PDF, word by word (the placement may differ by a fraction of
// a character between printer resolutions).
QString PdfText(const QString& pdf) {
  QProcess p;
  p.start("pdftotext", {"-layout", pdf, "-"});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}


// A template record and a list of `rows` appliances for report --from-csv.
void WriteList(const QString& templatePath, const QString& csvPath, const QStringList& inventar) {
  ReportRecord form;
  form.Fields[0] = QStringLiteral("Elektro Müller GmbH");
  ASSERT_EQ(Report::Write(templatePath, form).status, Report::WriteResult::Ok);
  QByteArray csv = "Nr.;Norm;Schutzklasse;R-PE [Ohm];Grenzwert R-PE;R-PE OK;Inventar-Nr.;Gerät/Bezeichnung\r\n";
  for (int i = 0; i < inventar.size(); ++i)
    csv += QStringLiteral("%1;VDE 0701 / 0702;I;0.12;0.30;bestanden;%2;Gerät %1\r\n").arg(i + 1).arg(inventar[i]).toUtf8();
  QFile f(csvPath);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(csv);
}

bool CompletePdf(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && f.size() > 0 && f.readAll().right(16).contains("%%EOF");
}

QStringList Temporaries(const QString& folder) {
  return QDir(folder).entryList({".kelvara-*.tmp"}, QDir::Files | QDir::Hidden | QDir::System);
}

class Cli : public SimLink {
 protected:
  void SetUp() override {
    SimLink::SetUp();
    ASSERT_TRUE(out_.isValid());
  }
  CliRun Cmd(const QStringList& args, const QMap<QString, QString>& env = {}) {
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("KELVARA_PORTS", dir_.path());
    for (auto it = env.begin(); it != env.end(); ++it) e.insert(it.key(), it.value());
    p.setProcessEnvironment(e);
    p.start(QString(KELVARA_SIM_PATH).replace("zelto-sim", "kelvara-cli"), args);
    EXPECT_TRUE(p.waitForFinished(120000));
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
  }
  QString Out(const QString& name) const { return out_.filePath(name); }
  QTemporaryDir out_;
};

TEST_F(Cli, IdentifyAndReadGiveWhatTheProgramShows) {
  // No tester: said in German, exit status 2.
  CliRun none = Cmd({"identify", "--port", "COM4"});
  EXPECT_EQ(none.status, 2);
  EXPECT_TRUE(QString::fromLocal8Bit(none.err).contains("lässt sich nicht öffnen")) << none.err.constData();
  EXPECT_EQ(Cmd({"read"}).status, 1);
  EXPECT_EQ(Cmd({"frobnicate"}).status, 1);
  EXPECT_TRUE(Cmd({"read", "--help"}).out.startsWith("Aufruf: kelvara-cli read"));

  StartSim({"--fast", "--records", "12", "--seed", "11"});
  CliRun id = Cmd({"identify", "--port", "COM4"});
  EXPECT_EQ(id.status, 0);
  EXPECT_EQ(QString::fromUtf8(id.out), QString::fromUtf8("Zelto-Gerätetester  V2.04.11\n"));
  CliRun read = Cmd({"read", "--port", "COM4", "--out", Out("cli.csv")});
  ASSERT_EQ(read.status, 0) << read.err.constData();
  EXPECT_EQ(Cmd({"read", "--port", "COM4", "--fail-on-verdict"}).status, 3);  // inspections not passed: all fail
  CliRun json = Cmd({"read", "--port", "COM4", "--format", "json", "--inspections-passed"});
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(json.out.startsWith("[")) << json.out.left(80).constData();

  // The record list of the program over the same records, exported for scripts.
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  TFormular form(w.get());
  form.SetupWindow();
  ArchiveService archive;
  RecordListWindow list(w.get(), &form, archive);
  list.SetupWindow();
  LoadAll();
  const QString listCsv = Out("list.csv");
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) { return *path = listCsv, true; });
  list.ExportCsv(false);
  QFile a(Out("cli.csv")), b(listCsv);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), b.readAll());
}

// Input the tool cannot take is refused by name with status 1, never turned
// into something else; a port another program holds is named as such.
TEST_F(Cli, ItRefusesWhatItCannotTakeAndSaysWhy) {
  auto err = [](const CliRun& r) { return QString::fromLocal8Bit(r.err); };
  CliRun version = Cmd({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(QString::fromUtf8(version.out).contains(QRegularExpression("^kelvara-cli \\d+\\.\\d+\\.\\d+\n$")))
      << version.out.constData();
  CliRun unknown = Cmd({"read", "--port", "COM4", "--fromat", "json"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_TRUE(err(unknown).contains("--fromat")) << unknown.err.constData();
  EXPECT_EQ(Cmd({"read", "--port"}).status, 1);
  for (const char* port : {"COM0", "COM31", "COMX"}) {
    CliRun bad = Cmd({"identify", "--port", port});
    EXPECT_EQ(bad.status, 1) << port;
    EXPECT_TRUE(err(bad).contains("keine Schnittstelle")) << bad.err.constData();
  }
  const QMap<QString, QString> env{{"KELVARA_ARCHIVE", Out("da.sqlite")}};
  QDir().mkpath(Out("leer"));
  ASSERT_EQ(Cmd({"archive", "import", Out("leer")}, env).status, 0);
  EXPECT_EQ(Cmd({"archive", "due", "--days", "2000000000"}, env).status, 1);
  EXPECT_EQ(Cmd({"archive", "due", "--days", "-1"}, env).status, 1);
  EXPECT_EQ(Cmd({"archive", "due", "--days", "36500"}, env).status, 0);

  // The port held by this program's device window: the tool names it.
  StartSim({"--fast", "--records", "3"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->PortReady; }, 10000));
  CliRun busy = Cmd({"identify", "--port", "COM4"});
  EXPECT_EQ(busy.status, 2);
  EXPECT_TRUE(err(busy).contains("von einem anderen Programm benutzt (kelvara_tests (PID")) << busy.err.constData();
}

// Waiting for the tester costs no processor time worth speaking of.
TEST_F(Cli, ReadSleepsWhileItWaitsForTheTester) {
  StartSim({"--records", "4", "--answer-delay", "40"});  // a tester that takes its time
  struct rusage before {}, after {};
  ::getrusage(RUSAGE_CHILDREN, &before);
  QElapsedTimer wall;
  wall.start();
  CliRun read = Cmd({"read", "--port", "COM4"});
  const double seconds = wall.elapsed() / 1000.0;
  ::getrusage(RUSAGE_CHILDREN, &after);
  ASSERT_EQ(read.status, 0) << read.err.constData();
  auto cpu = [](const struct rusage& r) {
    return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  };
  // Spinning on the event loop kept a core busy for the whole read.
  EXPECT_LT(cpu(after) - cpu(before), 0.5 * seconds) << "wall " << seconds << " s";
}

TEST_F(Cli, ATesterUnpluggedDuringReadEndsWithStatusTwoAndNoFile) {
  StartSim({"--fast", "--records", "6", "--close-after", "5"});
  CliRun read = Cmd({"read", "--port", "COM4", "--out", Out("halb.csv")});
  EXPECT_EQ(read.status, 2);
  EXPECT_TRUE(QString::fromLocal8Bit(read.err).contains("antwortet nicht mehr")) << read.err.constData();
  EXPECT_FALSE(QFile::exists(Out("halb.csv")));
  EXPECT_TRUE(QDir(out_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(Cli, AReportHasTheTextOfTheFormsPrint) {
  TFormular form(nullptr);
  form.SetupWindow();
  form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
  form.SetFieldText(17, QStringLiteral("INV-77"));
  form.SichtpruefungBox->setChecked(true);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  const QString record = Out("bericht.ini");
  ASSERT_TRUE(form.SaveRecord(record));
  // The form's own print of that file, beside its device window as in the program.
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  TMessgeraet device(nullptr, 1000, 0);
  device.SetupWindow();
  TFormular printed(&device);
  printed.SetupWindow();
  ASSERT_TRUE(printed.LoadRecord(record));
  QPrinter* printer = PrintJob::EnsurePrinter(printed);
  printer->setOutputFormat(QPrinter::PdfFormat);
  printer->setOutputFileName(Out("form.pdf"));
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
  printed.HandleCommand(TFormular::CmDruckenId);
  ASSERT_TRUE(QFile::exists(Out("form.pdf")));

  CliRun report = Cmd({"report", record, "--pdf", Out("cli.pdf")}, {{"QT_QPA_PLATFORM", ""}});
  ASSERT_EQ(report.status, 0) << report.err.constData();
  QFile::remove(TestUtil::OutDir() + "/cli-form.pdf");
  QFile::remove(TestUtil::OutDir() + "/cli-report.pdf");
  QFile::copy(Out("form.pdf"), TestUtil::OutDir() + "/cli-form.pdf");
  QFile::copy(Out("cli.pdf"), TestUtil::OutDir() + "/cli-report.pdf");
  EXPECT_EQ(PdfText(Out("cli.pdf")), PdfText(Out("form.pdf")));
  CliRun missing = Cmd({"report", Out("fehlt.ini"), "--pdf", Out("x.pdf")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(QString::fromLocal8Bit(missing.err).contains("gibt es nicht")) << missing.err.constData();

  // One report per row of a list, on a template.
  QFile csv(Out("liste.csv"));
  ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
  csv.write("Nr.;Norm;Schutzklasse;R-PE [Ohm];Grenzwert R-PE;R-PE OK;Inventar-Nr.;Gerät/Bezeichnung\r\n"
            "001;VDE 0701 / 0702;I;0.12;0.30;bestanden;A-1;Kaffeemaschine\r\n"
            "002;VDE 0701 / 0702;II;;;;A-2;Radio\r\n");
  csv.close();
  CliRun many = Cmd({"report", "--from-csv", Out("liste.csv"), "--template", record, "--pdf-dir", Out("pdf")});
  ASSERT_EQ(many.status, 0) << many.err.constData();
  const QString first = PdfText(Out("pdf/A-1.pdf"));
  EXPECT_TRUE(first.contains("Kaffeemaschine"));
  EXPECT_TRUE(first.contains("Elektro Müller GmbH"));
  EXPECT_TRUE(QFile::exists(Out("pdf/A-2.pdf")));
}

TEST_F(Cli, TheArchiveFromScripts) {
  for (const QString& location : {Out("archiv.sqlite"), qEnvironmentVariable("KELVARA_TEST_PG")}) {
    if (location.isEmpty()) continue;  // no PostgreSQL server here
    const QMap<QString, QString> env{{"KELVARA_ARCHIVE", location}};
    QDir().mkpath(Out("in"));
    for (int i = 0; i < 3; ++i) {
      ReportRecord r;
      r.Fields[0] = QStringLiteral("Kunde CLI %1").arg(QFileInfo(location).fileName().left(6));
      r.Fields[17] = QStringLiteral("C-%1").arg(i);
      r.Fields[18] = QStringLiteral("12");
      r.Fields[25] = QDate::currentDate().addMonths(-12).addDays(i * 20).toString("dd.MM.yyyy");
      ASSERT_EQ(Report::Write(Out(QStringLiteral("in/r%1.ini").arg(i)), r).status, Report::WriteResult::Ok);
    }
    CliRun import = Cmd({"archive", "import", Out("in")}, env);
    EXPECT_EQ(import.status, 0) << import.err.constData();
    EXPECT_TRUE(import.out.startsWith("3 ")) << import.out.constData();
    CliRun due = Cmd({"archive", "due", "--days", "30"}, env);
    ASSERT_EQ(due.status, 0) << due.err.constData();
    const QStringList lines = QString::fromUtf8(due.out).split("\r\n", Qt::SkipEmptyParts);
    int mine = 0;
    for (const QString& line : lines) mine += line.contains(",C-") ? 1 : 0;
    EXPECT_EQ(mine, 2) << due.out.constData();  // due now and in 20 days; the third in 40
    CliRun exported = Cmd({"archive", "export", Out("aus")}, env);
    EXPECT_EQ(exported.status, 0);
    EXPECT_GE(QDir(Out("aus")).entryList({"*.ini"}, QDir::Files).size(), 3);
    QDir(Out("aus")).removeRecursively();
  }
  CliRun unreachable = Cmd({"archive", "due"}, {{"KELVARA_ARCHIVE", "postgresql://postgres@127.0.0.1:1/kelvara"}});
  EXPECT_EQ(unreachable.status, 2);
  EXPECT_TRUE(QString::fromLocal8Bit(unreachable.err).contains("nicht erreichbar"));
}

TEST_F(Cli, ReportsOnAFullDiskAreNamedAndOlderFilesStayAsTheyWere) {
  SmallDisk disk(512);
  if (!disk.Mounted()) GTEST_SKIP() << SmallDisk::SkipReason();
  QStringList inventar;
  for (int i = 0; i < 100; ++i) inventar << QStringLiteral("B-%1").arg(i, 3, 10, QLatin1Char('0'));
  inventar << QStringLiteral("ALT");
  WriteList(Out("vorlage.ini"), Out("liste.csv"), inventar);
  QFile old(disk.Path("ALT.pdf"));
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("%PDF-1.4 alte Fassung");
  old.close();

  // The disk fills up during the batch: status 4, the reports not written are
  // named with the reason, those written are complete.
  CliRun many = Cmd({"report", "--from-csv", Out("liste.csv"), "--template", Out("vorlage.ini"), "--pdf-dir", disk.Path()});
  EXPECT_EQ(many.status, 4);
  const QString err = QString::fromLocal8Bit(many.err);
  const QStringList listed = QString::fromUtf8(many.out).split('\n', Qt::SkipEmptyParts);
  EXPECT_GT(listed.size(), 0);
  EXPECT_LT(listed.size(), 100);
  EXPECT_TRUE(err.contains(QStringLiteral("%1 von 101 Berichten wurden nicht geschrieben").arg(101 - listed.size())))
      << err.toStdString();
  EXPECT_TRUE(err.contains("Auf dem Datenträger ist kein Platz mehr.")) << err.toStdString();
  for (const QString& path : listed) EXPECT_TRUE(CompletePdf(path)) << path.toStdString();
  EXPECT_EQ(QDir(disk.Path()).entryList({"*.pdf"}, QDir::Files).size(), listed.size() + 1);  // and ALT.pdf
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("%PDF-1.4 alte Fassung"));
  old.close();
  EXPECT_TRUE(Temporaries(disk.Path()).isEmpty());

  // One report over an older file on a full disk: the same.
  disk.Fill();
  CliRun one = Cmd({"report", Out("vorlage.ini"), "--pdf", disk.Path("ALT.pdf")});
  EXPECT_EQ(one.status, 4);
  EXPECT_TRUE(QString::fromLocal8Bit(one.err).contains("\u201EALT.pdf\u201C: Auf dem Datenträger ist kein Platz mehr."))
      << one.err.constData();
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), QByteArray("%PDF-1.4 alte Fassung"));
  EXPECT_TRUE(Temporaries(disk.Path()).isEmpty());
}

TEST_F(Cli, ReportsFromAListGetANameEachThatTheFileSystemTakes) {
  // Two rows with the same Inventar-Nr., one of 90 "€" (270 bytes), and a list
  // file that is a pipe: each report a file of its own, the pipe refused at once.
  const QString euro(90, QChar(0x20AC));
  WriteList(Out("vorlage.ini"), Out("liste.csv"), {"A-1", "A-1", euro, euro});
  CliRun run = Cmd({"report", "--from-csv", Out("liste.csv"), "--template", Out("vorlage.ini"), "--pdf-dir", Out("pdf")});
  ASSERT_EQ(run.status, 0) << run.err.constData();
  const QStringList files = QDir(Out("pdf")).entryList({"*.pdf"}, QDir::Files, QDir::Name);
  EXPECT_EQ(files.size(), 4) << files.join(", ").toStdString();
  EXPECT_TRUE(files.contains("A-1.pdf") && files.contains("A-1-2.pdf"));
  EXPECT_TRUE(PdfText(Out("pdf/A-1-2.pdf")).contains(QStringLiteral("Gerät 2")));
  for (const QString& f : files) EXPECT_LE(f.toUtf8().size(), 255);

  ASSERT_EQ(::mkfifo(QFile::encodeName(Out("pipe.csv")).constData(), 0600), 0);
  CliRun pipe = Cmd({"report", "--from-csv", Out("pipe.csv"), "--template", Out("vorlage.ini"), "--pdf-dir", Out("pdf")});
  EXPECT_EQ(pipe.status, 1);
  EXPECT_TRUE(QString::fromLocal8Bit(pipe.err).contains("keine gewöhnliche Datei")) << pipe.err.constData();
}

TEST_F(Cli, TheNextBatchRemovesWhatAKilledOneLeftAndNothingElse) {
  QStringList inventar;
  for (int i = 0; i < 2000; ++i) inventar << QStringLiteral("K-%1").arg(i);
  WriteList(Out("vorlage.ini"), Out("liste.csv"), inventar);
  const QString folder = Out("pdf");
  QDir().mkpath(folder);
  // Killed while files are under way: at most a few rounds until one is caught.
  QStringList left;
  for (int round = 0; round < 20 && left.isEmpty(); ++round) {
    QProcess p;
    p.start(QString(KELVARA_SIM_PATH).replace("zelto-sim", "kelvara-cli"),
            {"report", "--from-csv", Out("liste.csv"), "--template", Out("vorlage.ini"), "--pdf-dir", folder});
    ASSERT_TRUE(p.waitForStarted());
    TestUtil::WaitFor([&] { return !Temporaries(folder).isEmpty() || p.state() == QProcess::NotRunning; }, 60000);
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished();
    left = Temporaries(folder);
  }
  ASSERT_FALSE(left.isEmpty()) << "no run was caught with files under way";
  // What is in place is complete.
  for (const QString& f : QDir(folder).entryList({"*.pdf"}, QDir::Files)) EXPECT_TRUE(CompletePdf(folder + "/" + f)) << f.toStdString();
  // Files of others: a running process's (1), names that only look alike.
  const QStringList others{".kelvara-1-abcdef.tmp", ".kelvara-notiz.tmp", ".K-1.pdf.part", "K-1.tmp"};
  for (const QString& name : others) {
    QFile f(folder + "/" + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  WriteList(Out("vorlage.ini"), Out("kurz.csv"), {"N-1"});
  CliRun next = Cmd({"report", "--from-csv", Out("kurz.csv"), "--template", Out("vorlage.ini"), "--pdf-dir", folder});
  ASSERT_EQ(next.status, 0) << next.err.constData();
  for (const QString& name : left) EXPECT_FALSE(QFile::exists(folder + "/" + name)) << name.toStdString();
  for (const QString& name : others) EXPECT_TRUE(QFile::exists(folder + "/" + name)) << name.toStdString();
}

}  // namespace

namespace {

// A visit from scripts: planned from the archive in the order of the last
// visit, the tester's records read, the reports made by row order with each
// appliance's data and class.
TEST_F(Cli, AVisitPlannedFromTheArchiveGivesTheTestersRecordsTheirAppliancesByRowOrder) {
  const QString location = Out("besuch.sqlite");
  const QString customer = QString::fromUtf8("Praxis Dr. Weiß");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    // Walked P-3, P-1, P-2 last year; P-1 is of class II.
    for (const char* number : {"P-3", "P-1", "P-2"}) {
      ReportRecord r;
      r.Fields[Layout::kFieldAuftraggeber] = customer;
      r.Fields[Layout::kFieldIdentnummer] = QString::fromLatin1(number);
      r.Fields[Layout::kFieldGeraetArt] = QStringLiteral("Gerät %1").arg(QString::fromLatin1(number));
      r.Fields[Layout::kFieldPruefintervall] = QStringLiteral("12");
      r.Fields[Layout::kFieldPruefungAm] = QDate::currentDate().addYears(-1).toString("dd.MM.yyyy");
      r.VdePruefgrundlage = 4;
      r.VdeKlasse = QByteArray(number) == "P-1" ? 2 : 1;
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New) << archive.Error().toStdString();
    }
  }
  const QMap<QString, QString> env{{"KELVARA_ARCHIVE", location}};
  CliRun plan = Cmd({"visit", "plan", "--customer", customer, "--all", "--out", Out("besuch.csv")}, env);
  ASSERT_EQ(plan.status, 0) << plan.err.constData();
  QFile planFile(Out("besuch.csv"));
  ASSERT_TRUE(planFile.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(planFile.readAll());
  ASSERT_EQ(rows.size(), 4u);
  const int number = int(rows[0].indexOf("Inventar-Nr.")), klasse = int(rows[0].indexOf("Schutzklasse"));
  EXPECT_EQ(QStringList({rows[1][number], rows[2][number], rows[3][number]}), QStringList({"P-3", "P-1", "P-2"}));
  EXPECT_EQ(rows[2][klasse], "II");
  EXPECT_EQ(Cmd({"visit", "plan", "--customer", "Niemand"}, env).status, 1);
  EXPECT_EQ(Cmd({"visit", "plan", "--customer", customer}, {{"KELVARA_ARCHIVE", Out("fehlt.sqlite")}}).status, 2);

  // The tester's three records, read as a script reads them, and the reports by row order.
  StartSim({"--fast", "--records", "3", "--seed", "5"});
  CliRun read = Cmd({"read", "--port", "COM4", "--out", Out("gelesen.csv")});
  ASSERT_EQ(read.status, 0) << read.err.constData();
  ReportRecord form;
  form.Fields[Layout::kFieldAuftraggeber] = customer;
  form.Sichtpruefung = form.Funktionspruefung = true;
  ASSERT_EQ(Report::Write(Out("vorlage.ini"), form).status, Report::WriteResult::Ok);
  CliRun reports = Cmd({"report", "--from-csv", Out("gelesen.csv"), "--visit", Out("besuch.csv"), "--template",
                        Out("vorlage.ini"), "--pdf-dir", Out("berichte")});
  ASSERT_EQ(reports.status, 0) << reports.err.constData();
  EXPECT_EQ(QDir(Out("berichte")).entryList({"*.pdf"}, QDir::Files, QDir::Name), QStringList({"P-1.pdf", "P-2.pdf", "P-3.pdf"}));
  const QString second = PdfText(Out("berichte/P-1.pdf"));
  EXPECT_TRUE(second.contains("Gerät P-1")) << second.toStdString();
  EXPECT_TRUE(second.contains("Schutzklasse: II")) << second.toStdString();
  EXPECT_TRUE(second.contains("12 Monate")) << second.toStdString();
}

}  // namespace
