#include "core/recordlist.h"

#include <set>

#include <QRegularExpression>

#include "core/values.h"
#include "core/duedates.h"
#include "core/cformat.h"
#include "core/reportrules.h"

namespace RecordList {
namespace {

const char* const kShortNames[kDeviceRowCount] = {"R-PE", "R-ISO", "I-ABL", "I-EA"};

QString Verdict(bool passed) { return passed ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden"); }

QString InspectionText(int state) {
  return state < 0 ? QStringLiteral("offen") : state ? QStringLiteral("ja") : QStringLiteral("nein");
}

// A number as the list writes values and limits: "0.215", "-1", "12".
bool IsPlainNumber(const QString& cell) {
  static const QRegularExpression number(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
  return number.match(cell).hasMatch();
}

// What a value cell holds where it holds no number.
bool IsValueMark(const QString& cell) {
  return cell.isEmpty() || cell == QLatin1String("Overflow") || cell == QLatin1String("?") || cell == QLatin1String("??");
}

}  // namespace

QString VerdictText(int verdict) { return verdict < 0 ? QStringLiteral("offen") : Verdict(verdict == 1); }

QString RowName(int row) {
  return row >= 0 && row < kDeviceRowCount ? QString::fromUtf8(Values::kRowNames[row]) : QString();
}
QString RowMethod(int row) { return row >= 0 && row < kDeviceRowCount ? QString::fromUtf8(Values::kRowMethod) : QString(); }
QString RowUnit(int row) {
  return row >= 0 && row < kDeviceRowCount ? QString::fromUtf8(Values::kRowUnits[row]) : QString();
}

ReportRecord ReportFor(const Source& source, int index, const ApplianceData& data, const ReportRecord& form,
                       const QDate& today) {
  ReportRecord report = form;
  const DeviceRecord& record = source.Records[index];
  DeviceSnapshot device;
  device.VdePruefgrundlage = record.NormIndex + 4;
  device.VdeKlasse = data.Klasse >= 1 && data.Klasse <= 3 ? data.Klasse : record.ClassIndex + 1;
  for (int r = 0; r < kDeviceRowCount; ++r) device.MeasurementAvailable[r] = source.MeasurementAvailable[r];
  // The values as the device window shows the record: "?" where it has none.
  device.ValueText.fill(QStringLiteral("?"));
  for (int e = 0; e < 4; ++e) {
    const Values::Shown shown = Values::FormatValue(record.RangeCode[e], record.RawValue[e]);
    if (shown.row >= 0) device.ValueText[shown.row] = shown.text;
  }
  // The limits the device window shows for the record's standard and class,
  // unless the user set others for it.
  const Values::RowSettings settings = Values::Settings(device.VdeKlasse, device.VdePruefgrundlage,
                                                        source.MeasurementAvailable, kRowApplies,
                                                        *source.DefaultLimits);
  for (int r = 0; r < kDeviceRowCount; ++r)
    device.LimitText[r] = !data.Limits[r].isEmpty() ? data.Limits[r] : settings.limitText[r];
  device.DeviceText = source.DeviceText;
  Report::Evaluate(device, &report);
  // Under the standard chosen for it, with this appliance's kind, power and
  // cord; a limit set in the list for the record stays.
  report.Geraeteart = data.Kind == int(Profiles::Kind::Heating) ? data.Kind : int(Profiles::Kind::General);
  if (!data.Leistung.isEmpty()) report.Fields[Layout::kFieldLeistung] = data.Leistung;
  report.Leitungslaenge = data.Leitungslaenge;
  report.Leitungsquerschnitt = data.Leitungsquerschnitt;
  if (data.Anlass >= 0) report.Anlass = data.Anlass;
  const int chosen = ReportStandardOf(record, data, form);
  if (Profiles::TesterStandard(chosen) == 4) report.NormFuer0701 = chosen;
  if (Profiles::TesterStandard(chosen) == 5) report.NormFuer0751 = chosen;
  static const std::vector<Profiles::UserProfile> kNoProfiles;
  Report::ReportUnderChoice(device, source.Profiles ? *source.Profiles : kNoProfiles, &report);
  Report::SetPrevious(data.Previous, &report);
  ApplyAppliance(data, today, &report);
  return report;
}

void ApplyAppliance(const ApplianceData& data, const QDate& today, ReportRecord* report) {
  auto put = [&](int field, const QString& text) {
    if (!text.isEmpty()) report->Fields[field] = text;
  };
  put(Layout::kFieldIdentnummer, data.InventarNr);
  put(Layout::kFieldGeraetArt, data.Bezeichnung);
  put(Layout::kFieldHersteller, data.HerstellerTyp);
  put(Layout::kFieldSeriennummer, data.Seriennummer);
  put(Layout::kFieldStandort, data.Standort);
  put(Layout::kFieldBemerkung, data.Bemerkungen);
  report->Fields[Layout::kFieldPruefungAm] = data.Pruefdatum.isEmpty() ? today.toString(QStringLiteral("dd.MM.yyyy")) : data.Pruefdatum;
  // The appliance's own interval from the archive where the form names none;
  // the report says which interval its next test date comes from.
  if (data.KnownIntervalMonths > 0 && DueDates::IntervalMonths(report->Fields[Layout::kFieldPruefintervall]) == 0)
    report->Fields[Layout::kFieldPruefintervall] = QStringLiteral("%1 Monate").arg(data.KnownIntervalMonths);
  if (data.Sichtpruefung >= 0) report->Sichtpruefung = data.Sichtpruefung == 1;
  if (data.Funktionspruefung >= 0) report->Funktionspruefung = data.Funktionspruefung == 1;
}

int ReportStandardOf(const DeviceRecord& record, const ApplianceData& data, const ReportRecord& form) {
  const int tester = record.NormIndex + 4;
  if (data.ReportStandard != 0 && Profiles::TesterStandard(data.ReportStandard) == tester) return data.ReportStandard;
  return Report::ChosenStandard(form, tester);
}

ListEntry EntryFor(const Source& source, int index, const ApplianceData& data, const ReportRecord& form,
                   const QDate& today) {
  ListEntry entry;
  const DeviceRecord& record = source.Records[index];
  entry.Number = index + 1;
  const int classIndex = data.Klasse >= 1 && data.Klasse <= 3 ? data.Klasse - 1 : record.ClassIndex;
  entry.Standard = record.NormIndex + 4;
  entry.Klasse = classIndex + 1;
  entry.StandardText = record.NormIndex == 1 ? QStringLiteral("VDE 0751") : QStringLiteral("VDE 0701 / 0702");
  entry.ClassText = classIndex >= 0 && classIndex <= 2 ? Values::ClassText(classIndex + 1) : QStringLiteral("?");
  for (int e = 0; e < 4; ++e) {
    const Values::Shown shown = Values::FormatValue(record.RangeCode[e], record.RawValue[e]);
    if (shown.row >= 0) entry.Value[shown.row] = shown.text;
  }
  const ReportRecord report = ReportFor(source, index, data, form, today);
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const bool active = report.RowActive[r] != 0;
    entry.Limit[r] = active ? report.GrenzText[r].trimmed() : QString();
    entry.RowResult[r] = active ? (report.Ok[r] ? 1 : 0) : -1;
  }
  entry.ReportStandard = report.VdePruefgrundlage;
  entry.AnlassText = Report::AnlassText(report.Anlass);
  entry.KindText = Profiles::KindText(Profiles::Kind(report.Geraeteart));
  entry.Leistung = report.Fields[Layout::kFieldLeistung];
  for (int r = 0; r < kDeviceRowCount; ++r) {
    entry.Previous[r] = report.Vorwert[r];
    const Comparison::Row compared = Report::Compared(report, r);
    entry.Warn[r] = compared.warn;
    entry.Why[r] = compared.why;
    if (compared.warn) entry.Warnings << compared.why;
  }
  entry.PreviousDate = report.Vorpruefung;
  entry.Missing = Report::Missing(report);
  const bool gesamtOk = Report::GesamtOk(report) == 1;
  entry.Passed = Report::Passed(report);
  // The measurements and the inspections apart: an inspection the user has
  // not ticked (here or in the form) is still open, not failed.
  entry.Measured = gesamtOk ? 1 : 0;
  entry.NextTest = DueDates::MonthText(DueDates::NextTest(report));
  entry.Sicht = data.Sichtpruefung >= 0 ? data.Sichtpruefung : (form.Sichtpruefung ? 1 : -1);
  entry.Funktion = data.Funktionspruefung >= 0 ? data.Funktionspruefung : (form.Funktionspruefung ? 1 : -1);
  if (entry.Measured == 0 || entry.Sicht == 0 || entry.Funktion == 0)
    entry.Verdict = 0;
  else
    entry.Verdict = entry.Sicht < 0 || entry.Funktion < 0 ? -1 : 1;
  return entry;
}

QStringList Columns() {
  QStringList columns{QStringLiteral("Nr."), QStringLiteral("Norm"), QStringLiteral("Schutzklasse")};
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const QString name = QString::fromLatin1(kShortNames[r]);
    columns << QStringLiteral("%1 [%2]").arg(name, QString::fromUtf8(Values::kRowUnits[r]).remove(QLatin1Char(' ')))
            << QStringLiteral("Grenzwert %1").arg(name) << QStringLiteral("%1 OK").arg(name);
  }
  columns << QStringLiteral("Inventar-Nr.") << QStringLiteral("Gerät/Bezeichnung") << QStringLiteral("Hersteller/Typ")
          << QStringLiteral("Standort") << QStringLiteral("Prüfdatum") << QStringLiteral("Messung")
          << QStringLiteral("Sichtprüfung") << QStringLiteral("Funktionsprüfung") << QStringLiteral("Ergebnis")
          << QStringLiteral("Bemerkungen")
          // Came later than the others: after them, so scripts that take the
          // columns by their place read what they read before.
          << QStringLiteral("Nächste Prüfung");
  // Today's standards: what the report is made under, what its limits follow
  // from, and the previous test beside this one.
  columns << QStringLiteral("Bericht nach") << QStringLiteral("Anlass") << QStringLiteral("Geräteart")
          << QStringLiteral("Leistung") << QStringLiteral("Leitung [m]") << QStringLiteral("Querschnitt [mm²]");
  for (int r = 0; r < kDeviceRowCount; ++r) columns << QStringLiteral("%1 vorher").arg(QString::fromLatin1(kShortNames[r]));
  columns << QStringLiteral("Vorprüfung") << QStringLiteral("Vergleich");
  return columns;
}

std::vector<int> NumberColumns() {
  std::vector<int> columns;
  for (int r = 0; r < kDeviceRowCount; ++r) columns.insert(columns.end(), {3 + 3 * r, 4 + 3 * r});
  const int previous = int(Columns().indexOf(QStringLiteral("R-PE vorher")));
  for (int r = 0; r < kDeviceRowCount; ++r) columns.push_back(previous + r);
  return columns;
}

QStringList CsvCells(const ListEntry& entry, const ApplianceData& data, const ReportRecord& report) {
  QStringList cells{CFormat("%03d", entry.Number), entry.StandardText, entry.ClassText};
  for (int r = 0; r < kDeviceRowCount; ++r) {
    cells << entry.Value[r].trimmed() << entry.Limit[r];
    cells << (entry.RowResult[r] < 0 ? QString() : Verdict(entry.RowResult[r] == 1));
  }
  cells << data.InventarNr << data.Bezeichnung << data.HerstellerTyp << data.Standort << report.Fields[Layout::kFieldPruefungAm]
        << (entry.Read ? Verdict(entry.Measured == 1) : QString()) << InspectionText(entry.Sicht)
        << InspectionText(entry.Funktion) << (entry.Read ? VerdictText(entry.Verdict) : QString()) << data.Bemerkungen
        << (entry.Read ? entry.NextTest : QString());
  cells << (entry.Read ? Profiles::Name(entry.ReportStandard) : QString()) << entry.AnlassText << entry.KindText
        << entry.Leistung << data.Leitungslaenge << data.Leitungsquerschnitt;
  for (int r = 0; r < kDeviceRowCount; ++r) cells << entry.Previous[r];
  cells << entry.PreviousDate << entry.Warnings.join(QStringLiteral("; "));
  return cells;
}

QByteArray Csv(const std::vector<QStringList>& rows, bool spreadsheet, const std::vector<int>& numberColumns) {
  const QChar separator = spreadsheet ? QLatin1Char(';') : QLatin1Char(',');
  std::vector<bool> numeric;
  if (spreadsheet) {
    int width = 0;
    for (const QStringList& row : rows) width = std::max(width, int(row.size()));
    numeric.assign(size_t(width), false);
    if (!numberColumns.empty()) {
      for (int c : numberColumns)
        if (c >= 0 && c < width) numeric[size_t(c)] = true;
    } else {
      // Without a word from the caller: a column of numbers (and value marks)
      // below its heading is a number column.
      for (int c = 0; c < width; ++c) {
        bool any = false, all = true;
        for (size_t r = 1; r < rows.size() && all; ++r) {
          const QString cell = c < rows[r].size() ? rows[r][c].trimmed() : QString();
          any |= IsPlainNumber(cell);
          all = IsPlainNumber(cell) || IsValueMark(cell);
        }
        numeric[size_t(c)] = any && all;
      }
    }
  }
  QString text;
  bool heading = true;
  for (const QStringList& row : rows) {
    QStringList cells;
    for (int c = 0; c < row.size(); ++c) {
      QString cell = row[c];
      bool quote = cell.contains(separator) || cell.contains(QLatin1Char('"')) || cell.contains(QLatin1Char('\n')) ||
                   cell.contains(QLatin1Char('\r'));
      if (spreadsheet) {
        const bool number = !heading && numeric[size_t(c)] && IsPlainNumber(cell.trimmed());
        if (number) {
          cell = cell.trimmed().replace(QLatin1Char('.'), QLatin1Char(','));
        } else if (!cell.isEmpty() && QStringLiteral("=+-@").contains(cell[0]) &&
                   !IsPlainNumber(QString(cell).replace(QLatin1Char(','), QLatin1Char('.')))) {
          // A spreadsheet would run it as a formula (or a link).
          cell.prepend(QLatin1Char('\''));
        }
        quote = !number && (cell.contains(QLatin1Char(';')) || cell.contains(QLatin1Char(',')) ||
                            cell.contains(QLatin1Char('"')) || cell.contains(QLatin1Char('\n')) ||
                            cell.contains(QLatin1Char('\r')) || cell.contains(QLatin1Char('\t')));
      }
      if (quote) {
        cell.replace(QLatin1String("\""), QLatin1String("\"\""));
        cells << QLatin1Char('"') + cell + QLatin1Char('"');
      } else {
        cells << cell;
      }
    }
    text += cells.join(separator) + QStringLiteral("\r\n");
    heading = false;
  }
  QByteArray bytes = text.toUtf8();
  if (spreadsheet) bytes.prepend("\xEF\xBB\xBF");
  return bytes;
}

std::vector<QStringList> ParseCsv(const QByteArray& bytes) {
  QString text = QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
  // The separator is the one outside quotes on the first line.
  QChar separator = QLatin1Char(',');
  bool quoted = false;
  for (QChar c : text) {
    if (c == QLatin1Char('"')) quoted = !quoted;
    if (quoted) continue;
    if (c == QLatin1Char(';')) { separator = c; break; }
    if (c == QLatin1Char(',') || c == QLatin1Char('\n')) break;
  }
  std::vector<QStringList> rows;
  QStringList row;
  QString cell;
  quoted = false;
  for (int i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == QLatin1Char('"')) {
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
          cell += c;
          ++i;
        } else {
          quoted = false;
        }
      } else {
        cell += c;
      }
    } else if (c == QLatin1Char('"')) {
      quoted = true;
    } else if (c == separator) {
      row << cell;
      cell.clear();
    } else if (c == QLatin1Char('\r')) {
      // part of a line end
    } else if (c == QLatin1Char('\n')) {
      row << cell;
      rows.push_back(row);
      row.clear();
      cell.clear();
    } else {
      cell += c;
    }
  }
  if (!cell.isEmpty() || !row.isEmpty()) {
    row << cell;
    rows.push_back(row);
  }
  return rows;
}

QString FileStem(const ListEntry& entry, const ApplianceData& data) {
  QString stem = data.InventarNr.simplified();
  stem.remove(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]")));
  if (stem.isEmpty() || stem == QLatin1String(".") || stem == QLatin1String(".."))
    stem = CFormat("Datensatz %03d", entry.Number);
  return stem;
}

QString FitFileName(const QString& stem, const QString& suffix, int maxBytes) {
  const int room = maxBytes - int(suffix.toUtf8().size());
  QString kept;
  int bytes = 0;
  for (int i = 0; i < stem.size();) {
    // One character: a surrogate pair counts as one.
    const int length = stem[i].isHighSurrogate() && i + 1 < stem.size() && stem[i + 1].isLowSurrogate() ? 2 : 1;
    const int size = int(stem.mid(i, length).toUtf8().size());
    if (bytes + size > room) break;
    bytes += size;
    kept += stem.mid(i, length);
    i += length;
  }
  // A cut name does not end in a space or a dot (a Windows share would drop them).
  if (kept.size() < stem.size())
    while (!kept.isEmpty() && (kept.back() == QLatin1Char(' ') || kept.back() == QLatin1Char('.'))) kept.chop(1);
  return kept + suffix;
}

QStringList UniqueFileNames(const QStringList& stems, const QString& suffix) {
  QStringList names;
  std::set<QString> used;
  for (const QString& stem : stems) {
    QString name = FitFileName(stem, suffix);
    for (int n = 2; used.count(name.toLower()); ++n)
      name = FitFileName(stem, QStringLiteral("-%1%2").arg(n).arg(suffix));
    used.insert(name.toLower());
    names << name;
  }
  return names;
}

}  // namespace RecordList
