#pragma once
// A report ("Prüfprotokoll") as plain data, with what the program does to it
// without a window: Kopieren (taking a record of the device window and judging
// each row against its limit), the verdict rule, and the data record file.
#include <QString>
#include <array>

#include "core/tables.h"
#include "core/layout.h"

struct ReportRecord {
  std::array<QString, Layout::kFieldCount> Fields;  // the 31 texts
  int VdePruefgrundlage = 1;                       // standard code 1..5 (0: none)
  int VdeKlasse = 1;                               // class code 1..3
  std::array<QString, kRowCount> MessText;         // measured value as shown, "??" before Kopieren
  std::array<QString, kRowCount> GrenzText;        // limit as shown
  std::array<int, kRowCount> RowActive{};          // the row belongs to the report
  std::array<bool, kRowCount> Ok{};                // the row kept its limit
  bool Sichtpruefung = false;                      // visual inspection passed
  bool Funktionspruefung = false;                  // function test passed

  // What the rules ask of a test record beyond the page of the tester's era,
  // and what the limits of the standards in force today follow from. The
  // data record file holds each only when it is set, so the files of reports
  // that use none of it stay exactly as they were.
  int Anlass = 0;                               // the reason of the test, 1..4 (Report::AnlassText); 0 none
  QString Pruefumfang;                          // the scope as the user put it; empty: composed (Report::Scope)
  std::array<QString, kRowCount> Methode;       // the measuring method per row; empty: the standard's
  std::array<QString, kRowCount> Vorwert;       // the value of the appliance's previous test, as shown then
  QString Vorpruefung;                          // that test's date, "dd.MM.yyyy"
  QString Leitungslaenge;                       // the cord's length in m, as typed ("10", "2,5")
  QString Leitungsquerschnitt;                  // its cross-section in mm^2
  int Geraeteart = 0;                           // Profiles::Kind
  QString Grenzwertprofil;                      // the user's limit profile named on the report; empty: none
  // The standard a record of the tester's "VDE 0701 / 0702" (code 4) and
  // "VDE 0751" (code 5) is reported under: the tester's own code or a
  // current standard (Profiles::Choices). A template's choice for its list.
  int NormFuer0701 = 4;
  int NormFuer0751 = 5;

  ReportRecord();
};

// What Kopieren takes from the device window: its standard and class codes,
// which rows it offers, the texts of the values and limits and the device's name.
struct DeviceSnapshot {
  int VdePruefgrundlage = 0;
  int VdeKlasse = 0;
  int MeasurementAvailable[kDeviceRowCount] = {0, 0, 0, 0};
  std::array<QString, kDeviceRowCount> ValueText;
  std::array<QString, kDeviceRowCount> LimitText;
  QString DeviceText;
};

namespace Report {

// Whether a measured value text keeps a limit text in row `row`: the PE
// conductor resistance must stay strictly below, the insulation resistance
// reach at least the limit ("Overflow" is more than any limit), every other
// quantity must not exceed it. Texts that are no numbers never pass.
bool RowPasses(int row, const QString& messText, const QString& grenzText);

// Kopieren: the standard and class, the four device rows (texts cut to 18
// characters, as the device window's texts are read), their result, the class
// text (field 19) and the measuring instrument (field 22). Rows 4..7 have no
// source and are cleared.
void Evaluate(const DeviceSnapshot& device, ReportRecord* record);

// Whether row `row` belongs to a report of the record's class and standard:
// the one applicability table (kRowApplies) for every report, wherever it is
// judged (Kopieren, loading a file, the record list, the archive, the tool);
// for the current standards (6..8) their own tables (core/limitprofiles).
bool RowApplies(const ReportRecord& record, int row);

// The reasons of a test ("Anlass"), by their codes 1..4: "Erstprüfung",
// "Wiederholungsprüfung", "nach Instandsetzung", "nach Änderung"; empty for
// other codes. AnlassCode gives the code of such a text (0 for others).
QString AnlassText(int anlass);
int AnlassCode(const QString& text);

// The verdict, from the report's own data alone: the rows that belong to it
// (RowActive) with their OK results, and the two inspections. GesamtOk is 1
// when every active row kept its limit and at least one row is active; the
// report passed when both inspections passed as well. The form, the page, the
// record list, the archive and the tool all read it from here.
int GesamtOk(const ReportRecord& record);
bool Passed(const ReportRecord& record);

// The data record file: one section of an INI file.
extern const char* const kSection;
// The keys of the file in record order: 31 fields, then MESS_, GRENZ_ and
// GRENZ_..._OK for each row.
QString Key(int index);
constexpr int kKeyCount = Layout::kFieldCount + 3 * kRowCount;

struct ReadResult {
  enum Status { Ok, Missing, NoRecord, Unreadable } status = Ok;
  QString error;  // why an unreadable file could not be read
};
// Reads a data record file. A file without the section (or no file) is no
// record and leaves *record as it was; so does an unreadable one. Keys that
// are missing take their defaults. Rows 0..3 belong to the report exactly when
// the stored standard and class prescribe them (RowApplies).
ReadResult Read(const QString& path, ReportRecord* record);
// The same for the bytes of a data record file held in memory.
ReadResult ReadBytes(const QByteArray& bytes, ReportRecord* record);

struct WriteResult {
  enum Status { Ok, FieldNotStorable, ValueNotStorable, Unreadable, NotWritable, SaveFailed } status = Ok;
  int field = -1;  // the field whose text cannot be stored
  QString error;   // why the file could not be read or saved
};
// Writes the record into the file's section, keeping everything else of the
// file. Nothing is written when a text holds a character the file's code page
// cannot store; a failed save leaves the old file as it was.
WriteResult Write(const QString& path, const ReportRecord& record);
// The bytes a new data record file of the record holds.
WriteResult Encode(const ReportRecord& record, QByteArray* bytes);

}  // namespace Report
