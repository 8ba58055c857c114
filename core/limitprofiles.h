#pragma once
// The standards in force today for the report, beside the five standard codes
// of the tester's era: DIN EN 50699 (VDE 0702) for recurrent tests, DIN EN
// 50678 (VDE 0701) for tests after repair or change, and DIN EN 62353
// (VDE 0751-1) for medical electrical equipment. Their limits are data: one
// table per standard, protection class and measurement row, each value with
// its source; the protective-conductor limit follows the appliance's cord;
// appliances with heating elements have limits of their own; and a user may
// keep profiles of his own that replace single values (named on the report).
//
// The tester itself knows only "VDE 0701 / 0702" (code 4) and "VDE 0751"
// (code 5); the report is where the standard in force is named, by the user's
// choice (TesterStandard, Choices).
#include <QString>
#include <QStringList>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "core/tables.h"

namespace Profiles {

constexpr int kEn50699 = 6;  // DIN EN 50699 (VDE 0702): recurrent test
constexpr int kEn50678 = 7;  // DIN EN 50678 (VDE 0701): test after repair or change
constexpr int kEn62353 = 8;  // DIN EN 62353 (VDE 0751-1): medical electrical equipment
constexpr int kFirstCurrent = kEn50699;
constexpr int kLastCurrent = kEn62353;
// The highest standard code a report may hold.
constexpr int kStandardCodeMax = kLastCurrent;

// True for the codes of the standards in force today (6..8).
bool IsCurrent(int standard);
// True for a standard about medical electrical equipment (5 and 8).
bool IsMedical(int standard);
// The tester's own standard code a report standard belongs to: 4 for 4, 6
// and 7; 5 for 5 and 8; 0 for any other code.
int TesterStandard(int standard);
// The standards a record of the tester's code 4 or 5 may be reported under,
// the tester's own first.
std::vector<int> Choices(int testerStandard);
// The standard's name as the report and the lists name it: "DIN EN 50699
// (VDE 0702)", "DIN VDE 0701-0702", ...; empty for unknown codes.
QString Name(int standard);
// Lines 2 and 3 of the page heading of a current standard.
QString HeadingLine2(int standard);
QString HeadingLine3(int standard);

// Kinds of appliance with limits of their own.
enum class Kind { General = 0, Heating = 1 };
constexpr int kKindCount = 2;
QString KindText(Kind kind);   // "allgemein", "mit Heizelementen"
QStringList KindTexts();       // in the order of the kinds
// The kind of a text (case and outer blanks aside); General for anything else.
Kind KindOf(const QString& text);

// One cell of a limit table: whether the row belongs to the test, its limit
// in the row's unit (a lower limit for R-ISO, an upper one for the others)
// and where the value comes from.
struct Cell {
  bool applies;
  double limit;
  const char* source;
};
// The cell of a current standard (6..8), class (1..3) and device row (0..3);
// a cell that does not apply for anything else.
const Cell& TableCell(int standard, int klasse, int row);

// The texts of a row on the page of a current standard: its caption (which
// current it is depends on the class), the measuring method the report names
// unless the user names another, the methods to choose from, and the unit.
QString Caption(int standard, int klasse, int row);
QString DefaultMethod(int standard, int row);
QStringList Methods(int standard, int row);
QString Unit(int row);

// --- the protective conductor and its cord

// Copper, m/(Ohm mm^2).
constexpr double kCopperConductivity = 56.0;
// The largest protective-conductor resistance of an appliance with a cord of
// `lengthM` metres and `sectionMm2` square millimetres (NaN: not known; an
// unknown length counts as up to 5 m, an unknown section as up to 1.5 mm^2):
// up to 1.5 mm^2, 0.3 Ohm for up to 5 m and 0.1 Ohm more for each further
// 7.5 m begun; above 1.5 mm^2, 0.1 Ohm plus the cord's own resistance
// l / (kappa A); never more than 1 Ohm.
double ProtectiveConductorLimit(double lengthM, double sectionMm2);

// A decimal number as the user types it ("10", "2,5", " 1.5 "); NaN when the
// text is empty or no number.
double ParseNumber(const QString& text);
// The power of an appliance in kW from the report's "Leistung" text: "2,2 kW",
// "2000 W", "3.5kW"; a number without unit is taken as kW up to 100 and as W
// above. NaN when there is no number.
double ParsePowerKw(const QString& text);

// --- profiles of the user's own

// A user's profile: a name and the standard it refines; each cell that holds
// a number replaces the table's limit for that class and row (as typed, a
// decimal comma allowed); empty cells keep the standard's value.
struct UserProfile {
  QString name;
  int standard = kEn50699;
  std::array<std::array<QString, kDeviceRowCount>, kClassMax> limits;
};

// What decides the limits of one appliance.
struct Appliance {
  Kind kind = Kind::General;
  double powerKw = std::numeric_limits<double>::quiet_NaN();
  double cordLengthM = std::numeric_limits<double>::quiet_NaN();
  double crossSectionMm2 = std::numeric_limits<double>::quiet_NaN();
};

struct RowLimit {
  bool applies = false;
  double value = 0;
  QString text;    // as the report holds it ("%5.2f", "%5.3f" where two decimals would round the limit)
  QString basis;   // what the value follows from, for the page ("10 m Leitung", "Heizelemente 6 kW")
  bool own = false;  // a value of the user's profile
};
struct Limits {
  std::array<RowLimit, kDeviceRowCount> rows;
};
// The limits of an appliance of class `klasse` under a current standard; the
// profile (may be null, and counts only when it refines this standard)
// replaces single values. Nothing applies for other codes.
Limits Compute(int standard, int klasse, const Appliance& appliance, const UserProfile* profile = nullptr);

// The user's profiles, kept with the user's settings (the settings folder of
// Places: "Kelvara" in the XDG config folder) in "grenzwertprofile.ini".
QString UserProfilesFile();
// Reads the user's profiles; no file is no profile. False with *error
// (German) when the file is there but cannot be read.
bool LoadUserProfiles(std::vector<UserProfile>* profiles, QString* error);
// Writes all of them at once: the file is complete, synced and renamed into
// place, or the old one stays as it was; false with *error (German) then.
bool SaveUserProfiles(const std::vector<UserProfile>& profiles, QString* error);
// The profile of that name (case aside), or null.
const UserProfile* FindProfile(const std::vector<UserProfile>& profiles, const QString& name);
// Why a set of profiles cannot be kept (no name, a name twice, a value that
// is no number, a character the file cannot hold), or empty.
QString CheckProfiles(const std::vector<UserProfile>& profiles);

// A limit as the report holds it: two decimals, three where two would round
// it; an upper limit is never rounded up, a lower one never down.
QString LimitText(int row, double value);

}  // namespace Profiles
