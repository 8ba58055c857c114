#pragma once
// A report under the standards in force today, and what the rules for a test
// record (TRBS 1201, DGUV Information 203-070) ask it to say: the standard
// the user chose for the tester's record, the limits of that standard for
// this appliance, the scope and methods, the comparison with the appliance's
// previous test, and the items a report must not lack.
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "core/comparison.h"
#include "core/limitprofiles.h"
#include "core/reportrecord.h"

namespace Report {

// Copies what the keys of the current standards hold (Anlass ...
// NormFuer0751) from one report to another; nothing else.
void CopyDetails(const ReportRecord& from, ReportRecord* to);

// The appliance as its limits see it: kind, power (the field "Leistung"),
// cord length and cross-section.
Profiles::Appliance ApplianceOf(const ReportRecord& record);

// The standard the report of a tester's record of code 4 or 5 is made under,
// as the record's choice says (NormFuer0701, NormFuer0751); other codes stay.
int ChosenStandard(const ReportRecord& record, int testerStandard);

// Kopieren under the chosen standard: after Report::Evaluate took the device
// window's record, a current standard chosen for it replaces the tester's
// code, and each row that belongs to the report gets that standard's limit
// for this appliance and is judged again. A limit the user typed in the
// device window (one that is not the default it shows) stays. Nothing
// changes when the tester's own standard is chosen.
void ReportUnderChoice(const DeviceSnapshot& device, const std::vector<Profiles::UserProfile>& profiles,
                       ReportRecord* record);

// After the user changed what the limits follow from (the standard within
// the tester's family, kind, power, cord, profile): the rows take the limits
// that now apply and are judged again. A row's limit that was not the one
// the report's standard gave before (a limit of the user's own) stays.
// `before` is the report as it was. The profile's name on the report is
// cleared when no such profile for this standard is there.
void Relimit(const ReportRecord& before, const std::vector<Profiles::UserProfile>& profiles, ReportRecord* record);

// The scope of the test: what the user put, else the inspections and the
// measurements of the report ("Sichtprüfung, Schutzleiterwiderstand, ...").
QString Scope(const ReportRecord& record);
// The measuring method of a row: what the report names, else the standard's.
QString Method(const ReportRecord& record, int row);

// The previous test of the appliance into the report (or none: cleared).
void SetPrevious(const Comparison::Previous& previous, ReportRecord* record);
// The comparison of a row that belongs to the report with its previous value.
Comparison::Row Compared(const ReportRecord& record, int row);

// What a test record must name and a report under a current standard lacks:
// the tester's name, the measuring instrument, the test date (a real date)
// and the reason of the test. Empty when nothing is missing, and for the
// reports of the tester's era, whose page has no place for a reason and
// whose notes stay as they were.
QStringList Missing(const ReportRecord& record);
// "Es fehlen: Name des Prüfers, Anlass der Prüfung." (empty for nothing).
QString MissingText(const QStringList& missing);

}  // namespace Report
