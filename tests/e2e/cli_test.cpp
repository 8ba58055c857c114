// kelvara-cli against the simulated tester, data record files and the archive:
// its output is the program's own (the record list's CSV, the form's printed
// page), and its exit status says what happened.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
#include "core/limitprofiles.h"
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

  // At the line's real pace: the tool ends each read with the answer's CR,
  // the window waits out its time-outs; both must read the same records.
  StartSim({"--records", "12", "--seed", "11"});
  CliRun id = Cmd({"identify", "--port", "COM4"});
  EXPECT_EQ(id.status, 0);
  EXPECT_EQ(QString::fromUtf8(id.out), QString::fromUtf8("Zelto-Gerätetester  V2.04.11\n"));
  EXPECT_EQ(Cmd({"identify", "--port=COM4"}).out, id.out);
  CliRun read = Cmd({"read", "--port", "COM4", "--out", Out("cli.csv")});
  ASSERT_EQ(read.status, 0) << read.err.constData();
  EXPECT_EQ(Cmd({"read", "--port", "COM4", "--fail-on-verdict"}).status, 3);  // inspections not passed: all fail
  // Answers in pieces with pauses, CR LF and NUL after each: the same records.
  StopSim();
  StartSim({"--records", "12", "--seed", "11", "--split", "7", "--crlf", "--nul"});
  CliRun pieces = Cmd({"read", "--port", "COM4"});
  ASSERT_EQ(pieces.status, 0) << pieces.err.constData();

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
  const QByteArray cli = a.readAll();
  EXPECT_EQ(cli, b.readAll());
  EXPECT_EQ(pieces.out, cli);
  EXPECT_EQ(cli.count('\n'), 13);
}

// The JSON of read and archive due: the same keys for every record, ASCII,
// and numbers as numbers; the values are those of the CSV.
TEST_F(Cli, JsonHasStableKeysAndNumbersAsNumbers) {
  StartSim({"--fast", "--records", "30", "--seed", "5"});
  CliRun json = Cmd({"read", "--port=COM4", "--format=json", "--inspections-passed"});
  ASSERT_EQ(json.status, 0) << json.err.constData();
  CliRun csv = Cmd({"read", "--port", "COM4", "--inspections-passed"});
  ASSERT_EQ(csv.status, 0);
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(json.out, &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.left(200).constData();
  const QJsonArray records = doc.array();
  const std::vector<QStringList> table = RecordList::ParseCsv(csv.out);
  ASSERT_EQ(records.size(), 30);
  ASSERT_EQ(int(table.size()), 31);

  QStringList keys{"nr", "norm", "schutzklasse", "inventar_nr", "bezeichnung", "hersteller_typ", "standort",
                   "bemerkungen", "pruefdatum", "messung_ok", "sichtpruefung", "funktionspruefung", "ergebnis",
                   "naechste_pruefung"};
  for (const char* row : {"rpe", "riso", "iabl", "iea"})
    for (const char* part : {"_mess", "_ueberlauf", "_grenzwert", "_ok"}) keys << QString(row) + part;
  keys.sort();
  const QStringList columns = table[0];
  auto cell = [&](int record, const QString& column) { return table[size_t(record + 1)][columns.indexOf(column)]; };
  bool sawOverflow = false, sawNull = false;
  for (int i = 0; i < records.size(); ++i) {
    const QJsonObject o = records[i].toObject();
    QStringList got = o.keys();
    got.sort();
    ASSERT_EQ(got, keys) << "record " << i;
    for (const QString& key : got) EXPECT_EQ(key.toLatin1(), key.toUtf8()) << key.toStdString();
    EXPECT_TRUE(o["nr"].isDouble());
    EXPECT_EQ(o["nr"].toInt(), cell(i, "Nr.").toInt());
    EXPECT_EQ(o["schutzklasse"].toString(), cell(i, "Schutzklasse"));
    EXPECT_EQ(o["ergebnis"].toString(), cell(i, "Ergebnis"));
    EXPECT_EQ(o["naechste_pruefung"].toString(),
              QDate::fromString("01/" + cell(i, "Nächste Prüfung"), "dd/MM/yyyy").toString("yyyy-MM"));
    EXPECT_TRUE(o["messung_ok"].isBool());
    EXPECT_EQ(o["sichtpruefung"], QJsonValue(true));
    EXPECT_EQ(o["pruefdatum"].toString(), QDate::fromString(cell(i, "Prüfdatum"), "dd.MM.yyyy").toString(Qt::ISODate));
    const char* names[] = {"R-PE [Ohm]", "R-ISO [MOhm]", "I-ABL [mA]", "I-EA [mA]"};
    const char* shortNames[] = {"R-PE", "R-ISO", "I-ABL", "I-EA"};
    const char* prefixes[] = {"rpe", "riso", "iabl", "iea"};
    for (int r = 0; r < 4; ++r) {
      const QString p = prefixes[r];
      const QString value = cell(i, names[r]);
      const QJsonValue mess = o[p + "_mess"];
      if (value == "Overflow") {
        EXPECT_TRUE(mess.isNull());
        EXPECT_EQ(o[p + "_ueberlauf"], QJsonValue(true));
        sawOverflow = true;
      } else if (value.isEmpty()) {
        EXPECT_TRUE(mess.isNull());
        sawNull = true;
      } else {
        ASSERT_TRUE(mess.isDouble()) << p.toStdString() << " " << value.toStdString();
        EXPECT_DOUBLE_EQ(mess.toDouble(), value.toDouble());
        EXPECT_EQ(o[p + "_ueberlauf"], QJsonValue(false));
      }
      const QString limit = cell(i, QStringLiteral("Grenzwert %1").arg(shortNames[r]));
      if (limit.isEmpty()) EXPECT_TRUE(o[p + "_grenzwert"].isNull());
      else EXPECT_DOUBLE_EQ(o[p + "_grenzwert"].toDouble(), limit.toDouble());
      const QString ok = cell(i, QStringLiteral("%1 OK").arg(shortNames[r]));
      EXPECT_EQ(o[p + "_ok"], ok.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(ok == "bestanden"));
    }
  }
  EXPECT_TRUE(sawOverflow && sawNull) << "the records cover neither an overflow nor a row without value";

  // archive due: dates as JJJJ-MM-TT, "overdue" as a truth value.
  const QMap<QString, QString> env{{"KELVARA_ARCHIVE", Out("due.sqlite")}};
  QDir().mkpath(Out("in"));
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Bäckerei Groß");
  r.Fields[17] = QStringLiteral("B-1");
  r.Fields[18] = QStringLiteral("12");
  r.Fields[25] = QDate::currentDate().addMonths(-13).toString("dd.MM.yyyy");
  ASSERT_EQ(Report::Write(Out("in/b.ini"), r).status, Report::WriteResult::Ok);
  ASSERT_EQ(Cmd({"archive", "import", Out("in")}, env).status, 0);
  CliRun due = Cmd({"archive", "due", "--format=json", "--days=30"}, env);
  ASSERT_EQ(due.status, 0) << due.err.constData();
  const QJsonArray appliances = QJsonDocument::fromJson(due.out).array();
  ASSERT_EQ(appliances.size(), 1) << due.out.constData();
  const QJsonObject a = appliances[0].toObject();
  QStringList dueKeys = a.keys();
  dueKeys.sort();
  EXPECT_EQ(dueKeys, QStringList({"auftraggeber", "bezeichnung", "inventar_nr", "letzte_pruefung", "naechste_pruefung",
                                  "standort", "ueberfaellig"}));
  EXPECT_EQ(a["auftraggeber"].toString(), QStringLiteral("Bäckerei Groß"));
  EXPECT_EQ(a["letzte_pruefung"].toString(), QDate::currentDate().addMonths(-13).toString(Qt::ISODate));
  EXPECT_EQ(a["naechste_pruefung"].toString(), QDate::currentDate().addMonths(-1).toString(Qt::ISODate));
  EXPECT_EQ(a["ueberfaellig"], QJsonValue(true));
}

// Input the tool cannot take is refused by name with status 1, never turned
// into something else; a port another program holds is named as such.
TEST_F(Cli, ItRefusesWhatItCannotTakeAndSaysWhy) {
  auto err = [](const CliRun& r) { return QString::fromLocal8Bit(r.err); };
  CliRun version = Cmd({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(QString::fromUtf8(version.out).contains(QRegularExpression("^kelvara-cli \\d+\\.\\d+\\.\\d+\n$")))
      << version.out.constData();
  // Unknown options are named as typed, before anything else is done.
  for (const QStringList& args : {QStringList{"read", "--port", "COM4", "--fromat", "json"},
                                  QStringList{"read", "--port=COM4", "--fromat=json"}, QStringList{"--fromat"},
                                  QStringList{"archive", "due", "--fromat", "json"}}) {
    CliRun unknown = Cmd(args);
    EXPECT_EQ(unknown.status, 1) << args.join(' ').toStdString();
    EXPECT_TRUE(err(unknown).contains(QStringLiteral("unbekannte Option \u201E--fromat\u201C"))) << unknown.err.constData();
    EXPECT_TRUE(unknown.out.isEmpty());
  }
  EXPECT_TRUE(err(Cmd({"identify", "-x"})).contains(QStringLiteral("\u201E-x\u201C")));
  // A value missing, a value for a flag, a word where an option belongs.
  EXPECT_TRUE(err(Cmd({"read", "--port"})).contains("--port braucht einen Wert"));
  EXPECT_TRUE(err(Cmd({"read", "--port", "--format", "json"})).contains("--port braucht einen Wert"));
  EXPECT_TRUE(err(Cmd({"read", "--port", "COM4", "--fail-on-verdict=ja"})).contains("--fail-on-verdict nimmt keinen Wert"));
  CliRun word = Cmd({"read", "COM4"});
  EXPECT_EQ(word.status, 1);
  EXPECT_TRUE(err(word).contains(QStringLiteral("\u201ECOM4\u201C ist keine Option von read"))) << word.err.constData();
  // Help goes to stdout, for each command, with status 0.
  for (const QString& command : QStringList{"identify", "read", "report", "archive", "visit"}) {
    CliRun help = Cmd({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Aufruf: kelvara-cli " + command.toUtf8())) << help.out.constData();
    EXPECT_TRUE(help.err.isEmpty());
  }
  // "--" ends the options: a file whose name begins with "-" can be named.
  CliRun dashed = Cmd({"report", "--pdf", Out("x.pdf"), "--", "-bericht.ini"});
  EXPECT_EQ(dashed.status, 1);
  EXPECT_TRUE(err(dashed).contains("-bericht.ini gibt es nicht")) << dashed.err.constData();
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
  EXPECT_EQ(Cmd({"archive", "due", "--days=abc"}, env).status, 1);
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

TEST_F(Cli, AReportOfTodaysStandardsHasTheFormsPageAndAListRowKeepsItsStandard) {
  // A report after DIN EN 50699, as the form saves it and prints it.
  ReportRecord current;
  current.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Elektro Müller GmbH");
  current.VdePruefgrundlage = Profiles::kEn50699;
  current.VdeKlasse = 1;
  current.MessText = {"  0.350", "Overflow", "  0.120", "  0.100", "??", "??", "??", "??"};
  current.GrenzText = {" 0.40", " 1.00", " 3.50", " 3.50", "??", "??", "??", "??"};
  current.RowActive = {1, 1, 1, 1, 0, 0, 0, 0};
  current.Ok = {true, true, true, true, false, false, false, false};
  current.Anlass = 2;
  current.Leitungslaenge = QStringLiteral("10");
  current.Vorwert = {"0.300", "Overflow", "0.110", "0.100", "", "", "", ""};
  current.Vorpruefung = QStringLiteral("12.03.2025");
  const QString record = Out("aktuell.ini");
  ASSERT_EQ(Report::Write(record, current).status, Report::WriteResult::Ok);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
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
  const QString text = PdfText(Out("cli.pdf"));
  EXPECT_EQ(text, PdfText(Out("form.pdf")));
  EXPECT_TRUE(text.contains(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)")));
  EXPECT_TRUE(text.contains(QStringLiteral("0.300 0.350 0.40 Ohm")));

  // A row of the list's CSV keeps the standard it was reported under and what it says.
  QFile csv(Out("liste.csv"));
  ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
  csv.write("Nr.;Norm;Schutzklasse;R-PE [Ohm];Grenzwert R-PE;R-PE OK;Inventar-Nr.;Bericht nach;Anlass;Leitung [m];"
            "R-PE vorher;Vorprüfung\r\n"
            "001;VDE 0701 / 0702;I;0.35;0.40;bestanden;A-1;DIN EN 50699 (VDE 0702);Wiederholungsprüfung;10;0.300;"
            "12.03.2025\r\n"
            "002;VDE 0701 / 0702;I;0.35;0.30;nicht bestanden;A-2;DIN EN 62353 (VDE 0751-1);;;;\r\n");
  csv.close();
  CliRun many = Cmd({"report", "--from-csv", Out("liste.csv"), "--template", record, "--pdf-dir", Out("pdf")});
  ASSERT_EQ(many.status, 0) << many.err.constData();
  const QString first = PdfText(Out("pdf/A-1.pdf"));
  EXPECT_TRUE(first.contains(QStringLiteral("Prüfgrundlage DIN EN 50699 (VDE 0702)"))) << first.toStdString();
  EXPECT_TRUE(first.contains(QStringLiteral("Anlass der Prüfung: Wiederholungsprüfung")));
  EXPECT_TRUE(first.contains(QStringLiteral("0.300 0.35 0.40 Ohm")));
  // Another family's standard is no choice for a record of "VDE 0701 / 0702".
  EXPECT_TRUE(PdfText(Out("pdf/A-2.pdf")).contains(QStringLiteral("Prüfgrundlage DIN VDE 0701-0702")));
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

// The completion offers for each command the options its help names, and
// values where an option has a few.
TEST_F(Cli, BashCompletionOffersWhatTheToolTakes) {
  const QString script = QStringLiteral(KELVARA_SOURCE_DIR "/resources/desktop/kelvara-cli.bash-completion");
  auto complete = [&](const QString& line) {
    QProcess bash;
    bash.start("bash", {"-c", QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); "
                                             "_kelvara_cli; printf '%s\\n' \"${COMPREPLY[@]}\"")
                                  .arg(script, line)});
    EXPECT_TRUE(bash.waitForFinished(10000));
    QStringList words = QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    words.sort();
    return words;
  };
  static const QRegularExpression option("--[a-z][a-z-]*");
  for (const QString& command : QStringList{"identify", "read", "report", "archive", "verify", "visit"}) {
    QStringList named;
    for (auto it = option.globalMatch(QString::fromUtf8(Cmd({command, "--help"}).out)); it.hasNext();)
      named << it.next().captured();
    named << "--help";
    named.removeDuplicates();
    named.sort();
    EXPECT_EQ(complete(QStringLiteral("kelvara-cli %1 --").arg(command)), named) << command.toStdString();
  }
  EXPECT_EQ(complete("kelvara-cli re"), QStringList({"read", "report"}));
  EXPECT_EQ(complete("kelvara-cli read --class ''"), QStringList({"I", "II", "III"}));
  EXPECT_EQ(complete("kelvara-cli read --format = j"), QStringList({"json"}));
  EXPECT_TRUE(complete("kelvara-cli identify --port COM2").contains("COM29"));
  EXPECT_EQ(complete("kelvara-cli archive ''"),
            QStringList({"backup", "due", "export", "import", "restore", "setup-roles", "verify"}));
  EXPECT_EQ(complete("kelvara-cli visit ''"), QStringList({"plan"}));
}

TEST(Simulator, RefusesWhatIsNotANumberAndHelpsOnStdout) {
  auto run = [](const QStringList& args) {
    QProcess sim;
    sim.start(KELVARA_SIM_PATH, args);
    EXPECT_TRUE(sim.waitForFinished(10000));
    return CliRun{sim.exitCode(), sim.readAllStandardOutput(), sim.readAllStandardError()};
  };
  for (const QStringList& args : {QStringList{"--records", "abc"}, QStringList{"--records=abc"}, QStringList{"--records", "12x"},
                                  QStringList{"--records", "683"}, QStringList{"--records", "-1"}, QStringList{"--split", ""},
                                  QStringList{"--seed", "1e3"}, QStringList{"--records"}, QStringList{"--fast=1"},
                                  QStringList{"--frob"}}) {
    const CliRun refused = run(args);
    EXPECT_EQ(refused.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(refused.err.contains(args[0].section('=', 0, 0).toUtf8())) << refused.err.constData();
    EXPECT_TRUE(refused.out.isEmpty());
  }
  const CliRun help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.startsWith("usage: zelto-sim")) << help.out.constData();
  EXPECT_TRUE(help.err.isEmpty());
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
