#pragma once
// kelvara-cli's JSON: one object per record or appliance, with keys that stay
// the same from version to version (ASCII, lower case, words joined by "_")
// and numbers as JSON numbers. The keys are listed in the README and in
// kelvara-cli(1); the CSV output keeps the record list's columns and texts.
#include <QJsonObject>

#include "core/archive.h"
#include "core/recordlist.h"

namespace JsonOut {

// A record of `kelvara-cli read`:
//   nr                       the record's number (1 for the first)
//   norm, schutzklasse       "VDE 0701 / 0702" or "VDE 0751"; "I", "II" or "III"
//   <row>_mess               the measured value in the row's unit, or null
//                            (no value, or beyond the range: see <row>_ueberlauf)
//   <row>_ueberlauf          true when the value was beyond the range ("Overflow")
//   <row>_grenzwert          the limit that applies, or null where the row does not
//   <row>_ok                 true or false, null where the row is not judged
//     with <row> rpe (Ohm), riso (MOhm), iabl (mA), iea (mA)
//   inventar_nr, bezeichnung, hersteller_typ, standort, bemerkungen   texts
//   pruefdatum               the test date, "JJJJ-MM-TT"
//   messung_ok               the measurements together passed
//   sichtpruefung, funktionspruefung   true or false, null while open
//   ergebnis                 "bestanden", "nicht bestanden" or "offen"
QJsonObject Record(const ListEntry& entry, const ApplianceData& data, const ReportRecord& report);

// An appliance of `kelvara-cli archive due`: auftraggeber, inventar_nr,
// bezeichnung, standort (texts), letzte_pruefung and naechste_pruefung
// ("JJJJ-MM-TT", or null when not known) and ueberfaellig (true or false).
QJsonObject DueAppliance(const ArchiveData::Appliance& appliance, const QDate& today);

// The row prefixes of the four measurements, in the list's order.
inline constexpr const char* kRowKeys[kDeviceRowCount] = {"rpe", "riso", "iabl", "iea"};

}  // namespace JsonOut
