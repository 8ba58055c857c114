// kelvara-cli: the tester, the reports and the archive from scripts, without
// a window. The same core as the program: the tester session, the value
// texts and verdicts of the record list, the data record file, the page
// drawing (onto a PDF writer) and the archive.
//
// Exit status: 0 done, 1 a fault of the input (arguments, files, a malformed
// archive address), 2 the tester or the archive cannot be reached or used (the
// tester fell silent; the archive is missing, damaged, locked or refused the
// login; a query failed), 3 a record failed its limits where --fail-on-verdict
// asks for it, 4 a file could not be written (a full disk, no permission;
// those written are complete, none is left half-written), 5 a proof does not
// hold (a test changed, the chain broken), 6 nothing in the archive to hold
// it against (proof.h).
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <unistd.h>

#include "core/archive.h"
#include "core/clock.h"
#include "core/visit.h"
#include "core/session.h"
#include "core/fileio.h"
#include "core/serialport.h"
#include "render/batch.h"
#include "core/recordlist.h"
#include "core/reportrules.h"
#include "core/reportrecord.h"
#include "core/values.h"
#include "tools/kelvara-cli/jsonout.h"
#include "tools/kelvara-cli/label.h"
#include "tools/kelvara-cli/proof.h"

namespace {

// A list of appliances is read whole; no visit has anywhere near this.
constexpr qint64 kMaxCsvBytes = 64 * 1024 * 1024;

enum Exit { kDone = 0, kInput = 1, kUnreachable = 2, kFailed = 3, kNotWritten = 4 };

void Err(const QString& text) {
  const QByteArray bytes = (QStringLiteral("kelvara-cli: ") + text + QLatin1Char('\n')).toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}
void Out(const QByteArray& bytes) { std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout); }

const char* const kHelp =
    "Aufruf: kelvara-cli BEFEHL [OPTIONEN]   (kelvara-cli BEFEHL --help zeigt die Optionen)\n"
    "\n"
    "  identify   zeigt die Kennung des Gerätetesters\n"
    "  read       liest alle Prüfungen aus dem Gerätetester (CSV oder JSON)\n"
    "  report     schreibt Prüfprotokolle als PDF\n"
    "  archive    Fälligkeiten, Import, Export, Prüfkette, Sicherung des Archivs\n"
    "  label      Prüfplaketten (Etiketten) der Datensätze als PDF\n"
    "  verify     prüft einen Bericht (PDF, Datensatz oder Prüfnachweis) gegen das Archiv\n"
    "  visit      bereitet einen Besuch aus dem Archiv vor (CSV für report --from-csv)\n"
    "  --version  zeigt die Version\n"
    "\n"
    "Ende-Status: 0 erledigt, 1 Fehler in der Eingabe, 2 Gerätetester oder Archiv\n"
    "nicht erreichbar, 3 eine Prüfung hat ihre Grenzwerte nicht eingehalten\n"
    "(nur mit --fail-on-verdict), 4 eine Datei konnte nicht geschrieben werden\n"
    "(die übrigen sind vollständig), 5 ein Prüfnachweis oder die Prüfkette stimmt\n"
    "nicht, 6 nicht im Archiv. Meldungen stehen auf stderr, Daten auf stdout.\n"
    "Optionen mit Wert: --port COM4 oder --port=COM4; nach \"--\" sind alle Argumente\n"
    "Dateien oder Ordner. Unbekannte Optionen werden abgewiesen (Ende-Status 1).\n";

const std::map<QString, const char*> kCommandHelp{
    {"identify",
     "Aufruf: kelvara-cli identify --port PORT\n"
     "  --port PORT   COM1..COM30 (wie im Programm) oder eine Gerätedatei (/dev/ttyUSB0)\n"},
    {"read",
     "Aufruf: kelvara-cli read --port PORT [--class I|II|III] [--format csv|json] [--out DATEI]\n"
     "                         [--inspections-passed] [--fail-on-verdict]\n"
     "  Liest alle Prüfungen wie \"Lade Alle Datensätze\" und schreibt sie mit Messwerten,\n"
     "  Grenzwerten und Ergebnissen wie die Liste \"Prüfungen\" (CSV: UTF-8, Komma).\n"
     "  --class                Schutzklasse der Prüfungen (der Tester sendet sie nicht; I)\n"
     "  --format               csv (wie \"CSV (Komma)...\") oder json (Schlüssel: man kelvara-cli)\n"
     "  --inspections-passed   Sicht- und Funktionsprüfung gelten als bestanden\n"
     "  --out DATEI            schreibt die Datei erst, wenn alles gelesen ist\n"
     "  --fail-on-verdict      Ende-Status 3, wenn eine Prüfung nicht bestanden ist\n"},
    {"report",
     "Aufruf: kelvara-cli report DATENSATZ.ini --pdf AUSGABE.pdf\n"
     "        kelvara-cli report --from-csv LISTE.csv --template FORMULAR.ini --pdf-dir ORDNER\n"
     "                           [--visit BESUCH.csv]\n"
     "  Die Liste hat die Spalten der CSV-Ausgabe von read (oder der Liste \"Prüfungen\");\n"
     "  alles andere des Berichts kommt aus der Vorlage.\n"
     "  --visit BESUCH.csv   die Geräte eines Besuchs (visit plan): Prüfung 1 der Liste gehört\n"
     "                       zum ersten Gerät des Besuchs, und so fort; Inventar-Nr., Bezeichnung,\n"
     "                       Hersteller, Seriennummer, Standort, Schutzklasse und Prüfintervall\n"
     "                       kommen von dort.\n"},
    {"archive",
     "Aufruf: kelvara-cli archive due [--days N] [--format csv|json]\n"
     "        kelvara-cli archive import ORDNER\n"
     "        kelvara-cli archive export ORDNER\n"
     "        kelvara-cli archive verify\n"
     "        kelvara-cli archive backup DATEI\n"
     "        kelvara-cli archive restore DATEI\n"
     "        kelvara-cli archive setup-roles [--writer ROLLE] [--reader ROLLE]\n"
     "  Das Archiv ist $KELVARA_ARCHIVE (SQLite-Datei oder postgresql://...?sslmode=verify-full&sslrootcert=DATEI),\n"
     "  sonst das des Programms.\n"
     "  export   schreibt jeden gespeicherten Datensatz Byte für Byte in den Ordner.\n"
     "  verify   prüft die Prüfkette und nennt die erste Prüfung, die nicht stimmt (Ende-Status 5).\n"
     "  backup   eine in sich stimmige Kopie, auch während gespeichert wird (SQLite-Datei, beim Server\n"
     "           ein SQL-Auszug von pg_dump).\n"
     "  restore  spielt eine Sicherung in ein neues, leeres Archiv ein und prüft dessen Prüfkette.\n"
     "  setup-roles  (PostgreSQL, als Eigentümer) eine Rolle, die Prüfungen nur hinzufügen darf\n"
     "           (kelvara_pruefer), eine, die nur lesen darf (kelvara_buero); gespeicherte Prüfungen\n"
     "           ändert oder löscht dann niemand mehr.\n"},
    {"verify", kVerifyUsage},
    {"label", kLabelUsage},
    {"visit",
     "Aufruf: kelvara-cli visit plan --customer NAME [--sites STANDORT,...] [--days N | --all] [--out DATEI]\n"
     "  Die Geräte des Auftraggebers in Betrieb, in der Reihenfolge des letzten Besuchs, als CSV\n"
     "  (UTF-8, Komma) mit den Spalten der Liste \"Prüfungen\", wie report sie als Liste liest.\n"
     "  --days N     nur Geräte, die in N Tagen fällig oder überfällig sind (30)\n"
     "  --all        alle Geräte in Betrieb\n"
     "  --sites      nur Geräte an diesen Standorten\n"
     "  Das Archiv ist $KELVARA_ARCHIVE, sonst das des Programms.\n"},
};

// The options of a command, and the words left over (files, folders, the
// archive's sub-command).
struct Args {
  std::map<QString, QString> options;
  QStringList flags;
  QStringList words;
  QString Option(const QString& name, const QString& fallback = QString()) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
  bool Flag(const QString& name) const { return flags.contains(name); }
};

// The options each command takes: with a value, and flags (long names, with
// their dashes).
struct CommandOptions {
  QStringList valued, flags;
};
const std::map<QString, CommandOptions> kOptions{
    {"identify", {{"--port"}, {}}},
    {"read", {{"--port", "--class", "--format", "--out"}, {"--inspections-passed", "--fail-on-verdict"}}},
    {"report", {{"--pdf", "--from-csv", "--template", "--pdf-dir", "--visit"}, {}}},
    {"archive", {{"--days", "--format", "--writer", "--reader"}, {}}},
    {"verify", {{}, {}}},
    {"label", {{"--pdf", "--format", "--code", "--content", "--start"}, {}}},
    {"visit", {{"--customer", "--sites", "--days", "--out"}, {"--all"}}},
};

// Reads the arguments of `command` with the usual conventions: "--name
// value" and "--name=value", "--" ends the options. An option the command does
// not know, one whose value is missing, or a flag given a value is a fault of
// the input; *error says which, naming the argument as it was given.
bool Parse(const QString& command, const QStringList& arguments, Args* args, QString* error) {
  const CommandOptions& known = kOptions.at(command);
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  auto bare = [](const QString& option) { return option.mid(2); };
  for (const QString& name : known.valued) parser.addOption(QCommandLineOption(bare(name), QString(), QStringLiteral("WERT")));
  for (const QString& name : known.flags) parser.addOption(QCommandLineOption(bare(name)));
  // The parser takes the next argument as the value whatever it is; an
  // option there means the value was forgotten ("--port --format json").
  for (int i = 0; i < arguments.size() && arguments[i] != QLatin1String("--"); ++i) {
    const QString& a = arguments[i];
    const QString name = a.section(QLatin1Char('='), 0, 0);
    if (known.valued.contains(a) && (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--")))) {
      *error = QStringLiteral("%1 braucht einen Wert.").arg(a);
      return false;
    }
    if (known.valued.contains(a)) ++i;  // its value, whatever it looks like
    else if (a.contains(QLatin1Char('=')) && known.flags.contains(name)) {
      *error = QStringLiteral("%1 nimmt keinen Wert.").arg(name);
      return false;
    }
  }
  if (!parser.parse(QStringList{QStringLiteral("kelvara-cli")} + arguments)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
      *error = parser.errorText();
      return false;
    }
    // Named as it was typed: "--fromat", "-x" (from "-xv"), "--out" of "--out=".
    QString named = unknown.first().size() == 1 ? QStringLiteral("-") + unknown.first() : QStringLiteral("--") + unknown.first();
    for (const QString& a : arguments) {
      if (a == QLatin1String("--")) break;
      const QString name = a.section(QLatin1Char('='), 0, 0);
      if (name == named || (!a.startsWith(QLatin1String("--")) && a.startsWith(QLatin1Char('-')) && a.contains(unknown.first()))) {
        named = name;
        break;
      }
    }
    *error = QStringLiteral("unbekannte Option \u201E%1\u201C für %2 (kelvara-cli %2 --help).").arg(named, command);
    return false;
  }
  for (const QString& name : known.valued)
    if (parser.isSet(bare(name))) args->options[name] = parser.value(bare(name));
  for (const QString& name : known.flags)
    if (parser.isSet(bare(name))) args->flags << name;
  args->words = parser.positionalArguments();
  return true;
}

// ---- the tester

// The session's view for a tool: timers are Qt timers, nothing is shown.
class CliView : public SessionView {
 public:
  explicit CliView(TesterSession** session) : session_(session) {}
  int klasse = 0;
  const SerialPort* port = nullptr;
  bool SetTimer(unsigned id, int periodMs) override {
    QTimer*& timer = timers_[id];
    if (!timer) {
      timer = new QTimer;
      timer->setSingleShot(id != TesterSession::LinkTimer);
      QObject::connect(timer, &QTimer::timeout, [this, id] {
        if (id == TesterSession::PollTimer) (*session_)->PollTick();
        if (id == TesterSession::LockTimer) (*session_)->LockTick();
      });
    }
    // The next read at once while the port is there to wait on (each read
    // sleeps until bytes come or its time-out passes); otherwise a pause, so
    // a port that went away does not keep a core busy.
    const bool waitsOnPort = id == TesterSession::PollTimer && port && port->IsOpen() && !port->Broken();
    timer->start(waitsOnPort ? std::max(periodMs, 0) : std::max(periodMs, 5));
    return true;
  }
  void KillTimer(unsigned id) override {
    if (timers_.count(id) && timers_[id]) timers_[id]->stop();
  }
  int SelectedClass() const override { return klasse; }
  ~CliView() override {
    for (auto& [id, timer] : timers_) delete timer;
  }

 private:
  TesterSession** session_;
  std::map<unsigned, QTimer*> timers_;
};

// Opens the port as the device window does: exclusive, 38400 8N2, raw.
// 0, or the exit status: a name that is no port is a fault of the input.
int OpenPort(SerialPort& port, const QString& name, QString* why) {
  QString portName = name;
  if (!name.startsWith(QLatin1Char('/'))) {
    const int number = SerialPort::PortNumberFromName(name);
    if (number <= 0 || number > 30) {
      *why = QStringLiteral("\u201E%1\u201C ist keine Schnittstelle (COM1..COM30 oder eine Gerätedatei).").arg(name);
      return kInput;
    }
    portName = QStringLiteral("Com%1").arg(number);
  }
  SerialPort::LineSettings dcb{};
  SerialPort::Timeouts timeouts{};
  const SerialPort::TesterLineSteps steps = port.OpenTesterLine(portName, &dcb, &timeouts);
  if (!steps.created) {
    if (port.OpenError() == EBUSY) {
      const QString holder = port.Holder();
      *why = QStringLiteral("Die Schnittstelle %1 wird von einem anderen Programm benutzt%2; es beenden oder eine "
                            "andere Schnittstelle wählen.")
                 .arg(name, holder.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(holder));
      return kUnreachable;
    }
    *why = QStringLiteral("Die Schnittstelle %1 lässt sich nicht öffnen: %2").arg(name, FileIO::ErrorText(port.OpenError()));
    if (port.OpenError() == EACCES || port.OpenError() == EPERM)
      *why += QStringLiteral(" (Mitglied der Gruppe \u201Edialout\u201C nötig)");
    return kUnreachable;
  }
  if (!steps.Ok()) {
    *why = QStringLiteral("Die Schnittstelle %1 lässt sich nicht einstellen.").arg(name);
    return kUnreachable;
  }
  return kDone;
}

// Runs the event loop until done() or the time is up. The loop sleeps until
// the port or a timer has something; done() is looked at every 20 ms.
bool RunUntil(const std::function<bool()>& done, int ms) {
  if (done()) return true;
  QEventLoop loop;
  QElapsedTimer clock;
  clock.start();
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done() || clock.elapsed() > ms) loop.quit();
  });
  check.start(20);
  loop.exec();
  return done();
}

struct Tester {
  SerialPort port;
  TesterSession* session = nullptr;
  std::unique_ptr<CliView> view;
  std::unique_ptr<TesterSession> owner;
  Tester() : view(std::make_unique<CliView>(&session)) {
    owner = std::make_unique<TesterSession>(view.get());
    session = owner.get();
    view->port = &port;
    // A read ends with the answer's CR, and the port is looked at at the
    // line's pace: the tool keeps up with the line instead of waiting out
    // the read interval after each answer, and sleeps meanwhile.
    port.SetLinePacedReads(true);
  }
  // Opens the port and asks for the identification; 0 or an exit status.
  int Connect(const QString& portName) {
    QString why;
    if (const int status = OpenPort(port, portName, &why)) {
      Err(why);
      return status;
    }
    session->Link = &port;
    session->PortReady = true;
    session->ReopenPending = false;
    session->ButtonsReleased = 1;
    session->PollTick();
    for (int attempt = 0; attempt < 3 && session->DeviceType != 2; ++attempt) {
      session->SendCommand("v\r");
      RunUntil([&] { return session->DeviceText != QLatin1String("?"); }, 1500);
      if (session->DeviceText != QLatin1String("?")) break;
    }
    if (session->DeviceText == QLatin1String("?")) {
      Err(QStringLiteral("Der Gerätetester an %1 antwortet nicht.").arg(portName));
      return kUnreachable;
    }
    return kDone;
  }
};

int Identify(const Args& args) {
  const QString port = args.Option(QStringLiteral("--port"));
  if (port.isEmpty()) {
    Err(QStringLiteral("identify braucht --port."));
    return kInput;
  }
  Tester tester;
  if (int status = tester.Connect(port)) return status;
  Out((tester.session->DeviceText + (tester.session->DeviceType == 2 ? QString() : QStringLiteral(" (Modell nicht unterstützt)")) +
       QLatin1Char('\n'))
          .toUtf8());
  return tester.session->DeviceType == 2 ? kDone : kUnreachable;
}

// The list of what was read, as the record list writes it.
struct ReadList {
  QStringList columns = RecordList::Columns();
  std::vector<QStringList> rows;
  QJsonArray json;
  bool anyFailed = false;
};

ReadList ListOf(const TesterSession& s, const ReportRecord& form) {
  ReadList list;
  RecordList::Source source;
  source.Records = s.Records.get();
  source.Count = s.RecordCount;
  for (int r = 0; r < 4; ++r) source.MeasurementAvailable[r] = s.MeasurementAvailable[r];
  source.DeviceText = s.DeviceText;
  const ApplianceData data;
  for (int i = 0; i < s.RecordCount; ++i) {
    const ListEntry entry = RecordList::EntryFor(source, i, data, form);
    list.anyFailed |= !entry.Passed;
    const ReportRecord report = RecordList::ReportFor(source, i, data, form);
    list.rows.push_back(RecordList::CsvCells(entry, data, report));
    list.json.append(JsonOut::Record(entry, data, report));
  }
  return list;
}

int Read(const Args& args) {
  const QString port = args.Option(QStringLiteral("--port"));
  const QString format = args.Option(QStringLiteral("--format"), QStringLiteral("csv"));
  const QString klasse = args.Option(QStringLiteral("--class"), QStringLiteral("I"));
  if (port.isEmpty() || Values::ClassCode(klasse) == 0 || (format != QLatin1String("csv") && format != QLatin1String("json"))) {
    Err(QStringLiteral("read braucht --port, und --class ist I, II oder III, --format csv oder json."));
    return kInput;
  }
  Tester tester;
  tester.view->klasse = Values::ClassCode(klasse) - 1;
  if (int status = tester.Connect(port)) return status;
  TesterSession& s = *tester.session;
  if (s.DeviceType != 2) {
    Err(QStringLiteral("Das Modell des Gerätetesters wird nicht unterstützt: %1").arg(s.DeviceText));
    return kUnreachable;
  }
  const bool terminal = ::isatty(2);
  s.StartLoadAll();
  s.PollTick();
  // The load runs as in the window: it ends complete, or is given up when the
  // tester stays silent.
  bool givenUp = false;
  RunUntil(
      [&] {
        if (terminal && s.RecordCount > 0)
          std::fprintf(stderr, "\rLade Datensatz %d von %d ", s.RecordIndex + 1, s.RecordCount);
        return s.LoadState == 0;
      },
      30 * 60 * 1000);
  if (terminal) std::fprintf(stderr, "\n");
  givenUp = s.LateAnswersIgnored;
  if (givenUp || s.LoadState != 0) {
    Err(QStringLiteral("Der Gerätetester antwortet nicht mehr; es wurde nichts geschrieben (%1 Datensätze vollständig gelesen).")
            .arg(s.RecordCount));
    return kUnreachable;
  }
  ReportRecord form;
  form.Sichtpruefung = form.Funktionspruefung = args.Flag(QStringLiteral("--inspections-passed"));
  const ReadList list = ListOf(s, form);
  QByteArray output;
  if (format == QLatin1String("csv")) {
    std::vector<QStringList> table{list.columns};
    table.insert(table.end(), list.rows.begin(), list.rows.end());
    output = RecordList::Csv(table, false);
  } else {
    output = QJsonDocument(list.json).toJson();
  }
  const QString out = args.Option(QStringLiteral("--out"));
  if (out.isEmpty()) {
    Out(output);
  } else {
    QString error;
    if (!FileIO::SaveFileAtomically(out, output, &error)) {
      Err(QStringLiteral("%1: %2").arg(out, error));
      return kInput;
    }
  }
  if (args.Flag(QStringLiteral("--fail-on-verdict")) && list.anyFailed) return kFailed;
  return kDone;
}

// ---- reports

// Why a data record file given by name could not be read.
QString ReadFailure(const QString& path, const Report::ReadResult& read) {
  switch (read.status) {
    case Report::ReadResult::Missing: return QStringLiteral("%1 gibt es nicht.").arg(path);
    case Report::ReadResult::Unreadable: return QStringLiteral("%1: %2").arg(path, read.error);
    default: return QStringLiteral("%1 enthält keinen Datensatz eines Prüfprotokolls.").arg(path);
  }
}

// A report from a row of the list's CSV, on the template.
ReportRecord FromRow(const QStringList& columns, const QStringList& row, const ReportRecord& form) {
  ReportRecord report = form;
  auto cell = [&](const QString& name) {
    const int c = int(columns.indexOf(name));
    return c >= 0 && c < row.size() ? row[c] : QString();
  };
  report.VdePruefgrundlage = cell(QStringLiteral("Norm")) == QLatin1String("VDE 0751") ? 5 : 4;
  report.VdeKlasse = Values::ClassCode(cell(QStringLiteral("Schutzklasse")));
  static const char* const kNames[4] = {"R-PE", "R-ISO", "I-ABL", "I-EA"};
  const int first = RecordList::Columns().indexOf(QStringLiteral("R-PE [Ohm]"));
  for (int r = 0; r < 8; ++r) {
    report.RowActive[r] = 0;
    report.Ok[r] = false;
    report.MessText[r] = report.GrenzText[r] = QStringLiteral("??");
  }
  for (int r = 0; r < 4; ++r) {
    const QString value = first >= 0 && first + 3 * r < row.size() ? row[first + 3 * r] : QString();
    const QString limit = cell(QStringLiteral("Grenzwert %1").arg(QString::fromLatin1(kNames[r])));
    const QString ok = cell(QStringLiteral("%1 OK").arg(QString::fromLatin1(kNames[r])));
    report.RowActive[r] = limit.isEmpty() ? 0 : 1;
    report.MessText[r] = value.isEmpty() ? QStringLiteral("?") : value;
    report.GrenzText[r] = limit;
    report.Ok[r] = ok == QLatin1String("bestanden");
  }
  auto put = [&](int field, const QString& name) {
    const QString text = cell(name);
    if (!text.isEmpty()) report.Fields[field] = text;
  };
  put(Layout::kFieldIdentnummer, QStringLiteral("Inventar-Nr."));
  put(Layout::kFieldGeraetArt, QStringLiteral("Gerät/Bezeichnung"));
  put(Layout::kFieldHersteller, QStringLiteral("Hersteller/Typ"));
  put(Layout::kFieldStandort, QStringLiteral("Standort"));
  put(Layout::kFieldPruefungAm, QStringLiteral("Prüfdatum"));
  put(Layout::kFieldBemerkung, QStringLiteral("Bemerkungen"));
  put(Layout::kFieldSeriennummer, QStringLiteral("Seriennummer"));
  if (!cell(QStringLiteral("Prüfintervall")).isEmpty())
    report.Fields[Layout::kFieldPruefintervall] = QStringLiteral("%1 Monate").arg(cell(QStringLiteral("Prüfintervall")));
  if (columns.contains(QStringLiteral("Sichtprüfung"))) report.Sichtpruefung = cell(QStringLiteral("Sichtprüfung")) == QLatin1String("ja");
  if (columns.contains(QStringLiteral("Funktionsprüfung")))
    report.Funktionspruefung = cell(QStringLiteral("Funktionsprüfung")) == QLatin1String("ja");
  // A list of today's standards: the standard the row was reported under (of
  // the tester's family only), what the record says and the previous test;
  // its limits and results are taken as the list judged them.
  for (int code : Profiles::Choices(report.VdePruefgrundlage))
    if (Profiles::Name(code) == cell(QStringLiteral("Bericht nach"))) report.VdePruefgrundlage = code;
  if (columns.contains(QStringLiteral("Anlass"))) report.Anlass = Report::AnlassCode(cell(QStringLiteral("Anlass")));
  if (columns.contains(QStringLiteral("Geräteart")))
    report.Geraeteart = int(Profiles::KindOf(cell(QStringLiteral("Geräteart"))));
  put(Layout::kFieldLeistung, QStringLiteral("Leistung"));
  report.Leitungslaenge = cell(QStringLiteral("Leitung [m]"));
  report.Leitungsquerschnitt = cell(QStringLiteral("Querschnitt [mm²]"));
  for (int r = 0; r < 4; ++r) report.Vorwert[r] = cell(QStringLiteral("%1 vorher").arg(QString::fromLatin1(kNames[r])));
  report.Vorpruefung = cell(QStringLiteral("Vorprüfung"));
  if (Profiles::IsCurrent(report.VdePruefgrundlage))
    for (int r = 4; r < 8; ++r) report.RowActive[r] = 0;
  return report;
}

// The appliance of a visit's row put into a report read from the tester by
// row order: its data, and its class with the rows and limits that follow it.
void WithAppliance(const QStringList& columns, const QStringList& row, ReportRecord* report) {
  auto cell = [&](const QString& name) {
    const int c = int(columns.indexOf(name));
    return c >= 0 && c < row.size() ? row[c].trimmed() : QString();
  };
  const struct {
    int field;
    const char* column;
  } texts[] = {{Layout::kFieldIdentnummer, "Inventar-Nr."},  {Layout::kFieldGeraetArt, "Gerät/Bezeichnung"},
               {Layout::kFieldHersteller, "Hersteller/Typ"}, {Layout::kFieldSeriennummer, "Seriennummer"},
               {Layout::kFieldStandort, "Standort"}};
  for (const auto& t : texts)
    if (!cell(QString::fromUtf8(t.column)).isEmpty()) report->Fields[t.field] = cell(QString::fromUtf8(t.column));
  if (!cell(QStringLiteral("Prüfintervall")).isEmpty())
    report->Fields[Layout::kFieldPruefintervall] = QStringLiteral("%1 Monate").arg(cell(QStringLiteral("Prüfintervall")));
  const int klasse = Values::ClassCode(cell(QStringLiteral("Schutzklasse")));
  if (klasse == 0 || klasse == report->VdeKlasse) return;
  // The tester does not know the class: the rows that apply and their limits follow the appliance's.
  report->VdeKlasse = klasse;
  report->Fields[Layout::kFieldSchutzklasse] = Values::ClassText(klasse);
  const int available[kDeviceRowCount] = {1, 1, 1, 1};
  const Values::RowSettings settings =
      Values::Settings(klasse, report->VdePruefgrundlage, available, kRowApplies, kDefaultLimits);
  for (int r = 0; r < kDeviceRowCount; ++r) {
    report->RowActive[r] = settings.active[r] ? 1 : 0;
    if (settings.hasLimits) report->GrenzText[r] = settings.limitText[r];
    report->Ok[r] = settings.active[r] && Report::RowPasses(r, report->MessText[r], report->GrenzText[r]);
  }
}

int Reports(const Args& args) {
  if (!args.Option(QStringLiteral("--from-csv")).isEmpty()) {
    const QString dir = args.Option(QStringLiteral("--pdf-dir"));
    const QString templatePath = args.Option(QStringLiteral("--template"));
    if (dir.isEmpty() || templatePath.isEmpty()) {
      Err(QStringLiteral("report --from-csv braucht --template und --pdf-dir."));
      return kInput;
    }
    ReportRecord form;
    if (const Report::ReadResult read = Report::Read(templatePath, &form); read.status != Report::ReadResult::Ok) {
      Err(ReadFailure(templatePath, read));
      return kInput;
    }
    const QString csvPath = args.Option(QStringLiteral("--from-csv"));
    QByteArray csv;
    QString why;
    const FileIO::ReadResult read = FileIO::ReadFile(csvPath, kMaxCsvBytes, &csv, &why);
    if (read != FileIO::ReadResult::Ok) {
      Err(QStringLiteral("%1 kann nicht gelesen werden: %2")
              .arg(csvPath, read == FileIO::ReadResult::Missing ? FileIO::ErrorText(ENOENT) : why));
      return kInput;
    }
    std::vector<QStringList> table = RecordList::ParseCsv(csv);
    if (table.size() < 2) {
      Err(QStringLiteral("%1 enthält keine Zeilen.").arg(csvPath));
      return kInput;
    }
    const QString visitPath = args.Option(QStringLiteral("--visit"));
    std::vector<QStringList> visit;
    if (!visitPath.isEmpty()) {
      QByteArray bytes;
      const FileIO::ReadResult visitRead = FileIO::ReadFile(visitPath, kMaxCsvBytes, &bytes, &why);
      if (visitRead != FileIO::ReadResult::Ok) {
        Err(QStringLiteral("%1 kann nicht gelesen werden: %2")
                .arg(visitPath, visitRead == FileIO::ReadResult::Missing ? FileIO::ErrorText(ENOENT) : why));
        return kInput;
      }
      visit = RecordList::ParseCsv(bytes);
      if (visit.size() < 2 || !visit[0].contains(QStringLiteral("Inventar-Nr."))) {
        Err(QStringLiteral("%1 ist keine Liste eines Besuchs (kelvara-cli visit plan).").arg(visitPath));
        return kInput;
      }
      if (visit.size() != table.size())
        Err(QStringLiteral("%1 Prüfungen, %2 Geräte im Besuch: die Zeilen werden der Reihe nach zugeordnet%3.")
                .arg(table.size() - 1)
                .arg(visit.size() - 1)
                .arg(visit.size() < table.size() ? QStringLiteral("; die letzten Prüfungen bleiben ohne Gerät")
                                                 : QStringLiteral("; die letzten Geräte bleiben ohne Prüfung")));
    }
    QDir().mkpath(dir);
    // Named as the record list names them: each report a file of its own.
    std::vector<ReportRecord> reports;
    QStringList stems;
    for (size_t i = 1; i < table.size(); ++i) {
      reports.push_back(FromRow(table[0], table[i], form));
      if (i < visit.size()) WithAppliance(visit[0], visit[i], &reports.back());
      ListEntry entry;
      entry.Number = int(i);
      ApplianceData data;
      data.InventarNr = reports.back().Fields[Layout::kFieldIdentnummer];
      stems << RecordList::FileStem(entry, data);
    }
    QStringList paths;
    for (const QString& name : RecordList::UniqueFileNames(stems, QStringLiteral(".pdf"))) paths << QDir(dir).filePath(name);
    const Batch::Result result = Batch::WritePdfs(reports, paths, nullptr);
    for (int i : result.done) Out((paths[i] + QLatin1Char('\n')).toUtf8());
    if (!result.ok) {
      Err(result.error);
      return kNotWritten;
    }
    return kDone;
  }
  const QString pdf = args.Option(QStringLiteral("--pdf"));
  if (args.words.size() != 1 || pdf.isEmpty()) {
    Err(QStringLiteral("report braucht einen Datensatz und --pdf."));
    return kInput;
  }
  ReportRecord report;
  const Report::ReadResult read = Report::Read(args.words[0], &report);
  if (read.status != Report::ReadResult::Ok) {
    Err(ReadFailure(args.words[0], read));
    return kInput;
  }
  // The fingerprint of the stored test this data record file is, if it is one.
  QByteArray bytes;
  QString why, note;
  QString hash;
  if (FileIO::ReadFile(args.words[0], kMaxCsvBytes, &bytes, &why) == FileIO::ReadResult::Ok) hash = StoredHashOf(bytes, &note);
  if (hash.isEmpty()) Err(QStringLiteral("Hinweis: der Bericht hat keinen Prüfnachweis: %1.").arg(note.isEmpty() ? why : note));
  const Batch::Result result = Batch::WriteOnePdf({report}, pdf, nullptr, {hash});
  if (!result.ok) {
    Err(result.error);
    return kNotWritten;
  }
  return kDone;
}

// ---- archive

int ArchiveCommand(const Args& args) {
  if (args.words.isEmpty()) {
    Err(QStringLiteral("archive braucht due, import oder export."));
    return kInput;
  }
  const QString what = args.words[0];
  // Faults of the input are told before the archive is opened.
  bool ok = true;
  const int days = args.Option(QStringLiteral("--days"), QStringLiteral("30")).toInt(&ok);
  const QString format = args.Option(QStringLiteral("--format"), QStringLiteral("csv"));
  // Up to a hundred years ahead: beyond, the date would leave the calendar.
  if (what == QLatin1String("due") &&
      (!ok || days < 0 || days > 36500 || (format != QLatin1String("csv") && format != QLatin1String("json")))) {
    Err(QStringLiteral("--days braucht eine Zahl von 0 bis 36500, --format csv oder json."));
    return kInput;
  }
  if (!(what == QLatin1String("due") && args.words.size() == 1) &&
      !((what == QLatin1String("import") || what == QLatin1String("export")) && args.words.size() == 2)) {
    Err(QStringLiteral("archive braucht due, import ORDNER oder export ORDNER."));
    return kInput;
  }
  const QString location = Archive::DefaultLocation();
  QString why;
  if (!Archive::CheckLocation(location, &why)) {
    Err(why);
    return kInput;
  }
  // Only import writes: due and export never make an archive that is not there.
  Archive archive;
  if (!archive.Open(location, what == QLatin1String("import") ? Archive::OpenMode::CreateIfMissing
                                                               : Archive::OpenMode::ExistingOnly)) {
    Err(archive.Error());
    return kUnreachable;
  }
  if (what == QLatin1String("due")) {
    const QStringList columns{QStringLiteral("Auftraggeber"), QStringLiteral("Inventar-Nr."),
                              QStringLiteral("Gerät/Bezeichnung"), QStringLiteral("Standort"),
                              QStringLiteral("Letzte Prüfung"), QStringLiteral("Nächste Prüfung"),
                              QStringLiteral("Überfällig")};
    std::vector<QStringList> rows{columns};
    const QDate today = Clock::Today();
    const std::vector<ArchiveData::Appliance> due = archive.DueList(days, today);
    if (archive.Failed()) {
      Err(archive.Error());
      return kUnreachable;
    }
    for (const ArchiveData::Appliance& a : due)
      rows.push_back({a.Customer, a.InventarNr, a.Bezeichnung, a.Standort, a.LastTest.toString(Qt::ISODate),
                      a.NextDue.toString(Qt::ISODate), a.NextDue < today ? QStringLiteral("ja") : QStringLiteral("nein")});
    if (format == QLatin1String("csv")) {
      Out(RecordList::Csv(rows, false));
    } else {
      QJsonArray array;
      for (const ArchiveData::Appliance& a : due) array.append(JsonOut::DueAppliance(a, today));
      Out(QJsonDocument(array).toJson());
    }
    return kDone;
  }
  if (what == QLatin1String("import") && args.words.size() == 2) {
    if (!QFileInfo(args.words[1]).isDir()) {
      Err(QStringLiteral("%1 ist kein Ordner.").arg(args.words[1]));
      return kInput;
    }
    const Archive::ImportResult result = archive.ImportFolder(args.words[1]);
    Out(QStringLiteral("%1 übernommen, %2 schon im Archiv, %3 nicht lesbar\n")
            .arg(result.stored).arg(result.duplicates).arg(result.unreadable.size()).toUtf8());
    for (const QString& line : result.unreadable) Err(line);
    return result.unreadable.isEmpty() ? kDone : kInput;
  }
  if (what == QLatin1String("export") && args.words.size() == 2) {
    const QDir dir(args.words[1]);
    QDir().mkpath(dir.path());
    // Names from typed texts: fitted to what the file system takes and each
    // used once; a file that cannot be written is named and the rest go on.
    const std::vector<ArchiveData::Appliance> appliances = archive.Appliances();
    if (archive.Failed()) {
      Err(archive.Error());
      return kUnreachable;
    }
    int unread = 0;
    QStringList stems;
    std::vector<QByteArray> records;
    for (const ArchiveData::Appliance& a : appliances) {
      const std::vector<ArchiveData::Test> tests = archive.History(a.Id);
      if (archive.Failed()) {
        // The others are still written; the status says that some are missing.
        Err(QStringLiteral("%1 %2: %3").arg(a.Customer, a.InventarNr, archive.Error()));
        ++unread;
        continue;
      }
      for (const ArchiveData::Test& t : tests) {
        QString stem = QStringLiteral("%1 %2 %3 %4").arg(a.Customer, a.InventarNr, t.Date.toString(Qt::ISODate)).arg(t.Id);
        stem.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")), QStringLiteral("_"));
        stems << stem;
        records.push_back(t.Record);
      }
    }
    const QStringList names = RecordList::UniqueFileNames(stems, QStringLiteral(".ini"));
    Batch::RemoveLeftovers(dir.absolutePath());
    int written = 0, failed = 0;
    for (int i = 0; i < names.size(); ++i) {
      QString error;
      if (!FileIO::SaveFileAtomically(dir.filePath(names[i]), records[size_t(i)], &error)) {
        Err(QStringLiteral("%1: %2").arg(names[i], error));
        ++failed;
        continue;
      }
      ++written;
    }
    if (failed) {
      Out(QStringLiteral("%1 Datensätze geschrieben, %2 nicht\n").arg(written).arg(failed).toUtf8());
      if (unread > 0)
        Err(QStringLiteral("Die Prüfungen von %1 Geräten konnten nicht gelesen werden: nicht geschrieben.").arg(unread));
      return kNotWritten;
    }
    Out(QStringLiteral("%1 Datensätze geschrieben\n").arg(written).toUtf8());
    if (unread > 0) {
      Err(QStringLiteral("Die Prüfungen von %1 Geräten konnten nicht gelesen werden: nicht geschrieben.").arg(unread));
      return kUnreachable;
    }
    return kDone;
  }
  Err(QStringLiteral("archive braucht due, import ORDNER oder export ORDNER."));
  return kInput;
}

// ---- a visit

int VisitCommand(const Args& args) {
  if (args.words != QStringList{QStringLiteral("plan")}) {
    Err(QStringLiteral("visit braucht plan (kelvara-cli visit --help)."));
    return kInput;
  }
  const QString customer = args.Option(QStringLiteral("--customer")).simplified();
  bool ok = true;
  const int days = args.Option(QStringLiteral("--days"), QStringLiteral("30")).toInt(&ok);
  if (customer.isEmpty() || !ok || days < 0 || days > 36500 ||
      (args.Flag(QStringLiteral("--all")) && !args.Option(QStringLiteral("--days")).isEmpty())) {
    Err(QStringLiteral("visit plan braucht --customer NAME, und --days eine Zahl von 0 bis 36500 oder --all."));
    return kInput;
  }
  const QString location = Archive::DefaultLocation();
  QString why;
  if (!Archive::CheckLocation(location, &why)) {
    Err(why);
    return kInput;
  }
  Archive archive;
  if (!archive.Open(location, Archive::OpenMode::ExistingOnly)) {
    Err(archive.Error());
    return kUnreachable;
  }
  Visit::Plan plan;
  const qint64 id = archive.CustomerId(customer);
  if (archive.Failed()) {
    Err(archive.Error());
    return kUnreachable;
  }
  if (id == 0 || !archive.ReadCustomer(id, &plan.Customer)) {
    Err(QStringLiteral("Einen Auftraggeber \u201E%1\u201C gibt es im Archiv nicht.").arg(customer));
    return archive.Failed() && archive.LastFault() != Archive::Fault::Refused ? kUnreachable : kInput;
  }
  for (const QString& site : args.Option(QStringLiteral("--sites")).split(QLatin1Char(','), Qt::SkipEmptyParts))
    plan.Sites << site.simplified();
  plan.DueBy = args.Flag(QStringLiteral("--all")) ? QDate() : Clock::Today().addDays(days);
  plan.Appliances = archive.VisitPlan(id, plan.Sites, plan.DueBy);
  if (archive.Failed()) {
    Err(archive.Error());
    return kUnreachable;
  }
  const QByteArray csv = RecordList::Csv(Visit::PlanTable(plan), false);
  const QString out = args.Option(QStringLiteral("--out"));
  if (out.isEmpty()) {
    Out(csv);
  } else if (!FileIO::SaveFileAtomically(out, csv, &why)) {
    Err(QStringLiteral("%1: %2").arg(out, why));
    return kNotWritten;
  }
  Err(QStringLiteral("Besuch bei \u201E%1\u201C: %2 Geräte.").arg(plan.Customer.Name).arg(plan.Appliances.size()));
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (arguments.isEmpty() || arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h")) {
    Out(kHelp);
    return arguments.isEmpty() ? kInput : kDone;
  }
  if (arguments[0] == QLatin1String("--version")) {
    Out("kelvara-cli " KELVARA_VERSION "\n");
    return kDone;
  }
  const QString command = arguments.takeFirst();
  if (command.startsWith(QLatin1Char('-'))) {
    Err(QStringLiteral("unbekannte Option \u201E%1\u201C (kelvara-cli --help).").arg(command.section(QLatin1Char('='), 0, 0)));
    return kInput;
  }
  if (!kCommandHelp.count(command)) {
    Err(QStringLiteral("unbekannter Befehl \u201E%1\u201C (kelvara-cli --help).").arg(command));
    return kInput;
  }
  const QStringList options = arguments.mid(0, arguments.contains(QStringLiteral("--")) ? arguments.indexOf(QStringLiteral("--")) : -1);
  if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
    Out(kCommandHelp.at(command));
    return kDone;
  }
  Args args;
  QString error;
  if (!Parse(command, arguments, &args, &error)) {
    Err(error);
    return kInput;
  }
  // identify and read take options only: a word left over is a mistake
  // ("read COM4" for "read --port COM4").
  if ((command == QLatin1String("identify") || command == QLatin1String("read")) && !args.words.isEmpty()) {
    Err(QStringLiteral("\u201E%1\u201C ist keine Option von %2 (kelvara-cli %2 --help).").arg(args.words.first(), command));
    return kInput;
  }
  if (command == QLatin1String("label")) return LabelCommand(argc, argv, args.words, args.options);  // label.cpp
  if (command == QLatin1String("verify") || (command == QLatin1String("archive") && IsProofArchiveCommand(args.words.value(0)))) {
    QCoreApplication app(argc, argv);
    return command == QLatin1String("verify") ? VerifyCommand(args.words) : ProofArchiveCommand(args.words, args.options);  // proof.cpp
  }
  // Drawing a page needs fonts, never a display: the offscreen platform.
  if (command == QLatin1String("report")) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return Reports(args);
  }
  QCoreApplication app(argc, argv);
  if (command == QLatin1String("identify")) return Identify(args);
  if (command == QLatin1String("read")) return Read(args);
  if (command == QLatin1String("visit")) return VisitCommand(args);
  return ArchiveCommand(args);
}
