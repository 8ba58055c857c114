#pragma once
// The records of the last load from the tester as a list of appliances: what
// the device window would show for each record, the limits that apply, each
// row's result and the verdict, and the report each record makes. Plain data:
// the record list window, the batch of reports and the tools share it.
#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "core/clock.h"
#include "core/comparison.h"
#include "core/limitprofiles.h"
#include "core/session.h"
#include "core/tables.h"
#include "core/reportrecord.h"

// What the user types for one appliance in the list.
struct ApplianceData {
  QString InventarNr;     // -> "Identnummer"
  QString Bezeichnung;    // -> "Gerät/Art"
  QString HerstellerTyp;  // -> "Hersteller"
  QString Standort;       // -> "Standort"
  QString Pruefdatum;     // -> "Prüfung am"; today when empty
  QString Bemerkungen;    // -> "Bemerkungen"
  int Sichtpruefung = -1;      // -1: as the form's box, else 0 or 1
  int Funktionspruefung = -1;  // -1: as the form's box, else 0 or 1
  std::array<QString, kDeviceRowCount> Limits;  // limits set for this record; empty: the default
  // What the archive knows of the appliance (a planned visit, a number found).
  QString Seriennummer;  // -> "Seriennummer"
  int Klasse = 0;        // the protection class 1..3; 0: as the record
  // The appliance's test interval as the archive knows it (months; 0: not
  // known). The report takes it when the form's "Prüfintervall" names none.
  int KnownIntervalMonths = 0;
  // The report under today's standards: the standard chosen for this record
  // (0: the template's choice for the tester's standard), the reason (-1: the
  // template's), and the appliance's kind, power and cord (its own, never
  // the template's: each appliance has its cord).
  int ReportStandard = 0;
  int Anlass = -1;
  int Kind = 0;                 // Profiles::Kind
  QString Leistung;             // -> "Leistung"; empty: the template's
  QString Leitungslaenge;       // m; empty: not known (up to 5 m)
  QString Leitungsquerschnitt;  // mm^2; empty: not known
  bool CordTyped = false;       // the user typed the cord (the archive's does not replace it)
  // Not typed: the appliance's previous test, from the archive.
  Comparison::Previous Previous;
};

// One record as the list shows it.
struct ListEntry {
  int Number = 0;  // 1 for the first record
  int Standard = 0, Klasse = 0;  // codes (4/5, 1..3)
  QString StandardText, ClassText;
  std::array<QString, kDeviceRowCount> Value;  // as the device window shows it; empty: no such value
  std::array<QString, kDeviceRowCount> Limit;  // the limit that applies; empty where the row does not
  std::array<int, kDeviceRowCount> RowResult{};  // -1 not judged, 0 failed, 1 passed
  bool Read = true;      // false: a load has not brought this record yet (no values, no verdict)
  int Measured = -1;     // the measurements together: 1 passed, 0 failed, -1 not judged
  int Sicht = -1, Funktion = -1;  // the inspections: 1 passed, 0 failed, -1 still open
  int Verdict = -1;      // 1 bestanden, 0 nicht bestanden, -1 offen (inspections still open)
  bool Passed = false;   // the printed report's verdict (rows and both inspections ticked)
  QString NextTest;      // the month of the next test ("06/2027"), as the report prints it
  // The report under today's standards and its comparison with the previous test.
  int ReportStandard = 0;  // the standard the report is made under
  QString AnlassText, KindText, Leistung;         // as the report names them
  std::array<QString, kDeviceRowCount> Previous;  // the previous test's values
  std::array<bool, kDeviceRowCount> Warn{};       // moved towards its limit (Comparison)
  std::array<QString, kDeviceRowCount> Why;       // why (German)
  QStringList Warnings;    // the reasons of every row that warns
  QString PreviousDate;    // of the previous test, "dd.MM.yyyy"
  QStringList Missing;     // what the report lacks (Report::Missing)
};

namespace RecordList {

// The texts the device window shows beside each row: name, method, unit.
QString RowName(int row);
QString RowMethod(int row);
QString RowUnit(int row);

// What the session holds about the tester that every report names.
struct Source {
  const DeviceRecord* Records = nullptr;
  int Count = 0;
  int MeasurementAvailable[kDeviceRowCount] = {1, 1, 1, 1};
  QString DeviceText;
  const DefaultLimitsTable* DefaultLimits = &kDefaultLimits;
  // The user's own limit profiles (the template names the one it uses).
  const std::vector<Profiles::UserProfile>* Profiles = nullptr;
};

// The report record `index` makes: the template's texts (client, contractor,
// tester, ...), the appliance data typed for it, Kopieren of the record as the
// device window shows it with the limits that apply, and the inspections.
ReportRecord ReportFor(const Source& source, int index, const ApplianceData& data, const ReportRecord& form,
                       const QDate& today = Clock::Today());
// The appliance data of a row put into a report: the texts typed or planned
// (an empty one leaves the form's), the test date (today when empty), the
// appliance's interval where the form names none, and the inspections set for it.
void ApplyAppliance(const ApplianceData& data, const QDate& today, ReportRecord* report);
// The list entry of record `index` (its verdict is the verdict of ReportFor).
ListEntry EntryFor(const Source& source, int index, const ApplianceData& data, const ReportRecord& form,
                   const QDate& today = Clock::Today());

// The standard the report of a record is made under: the record's choice,
// else the template's for the tester's standard.
int ReportStandardOf(const DeviceRecord& record, const ApplianceData& data, const ReportRecord& form);

// "bestanden", "nicht bestanden", "offen" for 1, 0, -1.
QString VerdictText(int verdict);

// The columns of the list and of its CSV export, in order.
QStringList Columns();
// The columns of Columns() that hold numbers (values and limits).
std::vector<int> NumberColumns();
// One row of the export: the entry and its appliance data as the list shows them.
QStringList CsvCells(const ListEntry& entry, const ApplianceData& data, const ReportRecord& report);
// A CSV text, UTF-8.
// For scripts (spreadsheet false): commas, decimal points, each cell as it is,
// quoted where it holds a comma, quote or line break.
// For a German spreadsheet: a byte-order mark, semicolons, decimal commas in
// the number cells of `numberColumns` (when none are given: the columns whose
// cells are all numbers or value marks such as "Overflow" and "?"), every cell
// quoted that holds a separator (semicolon or comma), quote or line break, and
// a cell that a spreadsheet would take as a formula ("=", "+", "-", "@" first)
// made plain text with a leading apostrophe; a negative number stays a number.
QByteArray Csv(const std::vector<QStringList>& rows, bool spreadsheet, const std::vector<int>& numberColumns = {});
// Reads such a text back (both variants).
std::vector<QStringList> ParseCsv(const QByteArray& text);

// A file name for the report of an appliance: its Inventar-Nr. (or the record
// number), without characters a file name cannot hold.
QString FileStem(const ListEntry& entry, const ApplianceData& data);

// What a file system takes as one name: 255 bytes in UTF-8.
constexpr int kMaxFileNameBytes = 255;
// stem + suffix in at most maxBytes of UTF-8: the stem is cut at a character
// boundary, the suffix (".pdf") is kept.
QString FitFileName(const QString& stem, const QString& suffix, int maxBytes = kMaxFileNameBytes);
// A file name for each stem, fitted as above and each used once (letter case
// aside): a repeated name gets "-2", "-3", ... before the suffix.
QStringList UniqueFileNames(const QStringList& stems, const QString& suffix);

}  // namespace RecordList
