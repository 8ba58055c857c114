#pragma once
// The tester's measured values as plain data: range texts, the scaling of a
// raw value into the text the device window shows, and which measurement rows
// belong to a test with which default limits. No window is needed.
#include <QString>
#include <QStringList>
#include <array>

#include "core/tables.h"

namespace Values {

// The texts the device window shows beside each of its four rows: the
// quantity, the method and the unit (the page prints them too).
inline constexpr const char* kRowNames[kDeviceRowCount] = {"Schutzleitwiderstand (R-PE)",
                                                           "Isolationswiderstand (R-ISO)", "Ableitstrom (I-ABL)",
                                                           "Ersatzableitstrom (I-EA)"};
inline constexpr const char* kRowMethod = "direkte Messung";
inline constexpr const char* kRowUnits[kDeviceRowCount] = {"Ohm", "MOhm", "m A", "m A"};

// The text of protection class code 1..3 ("I", "II", "III"); empty for any
// other code.
QString ClassText(int klasse);
// The class code 1..3 of the text "I", "II" or "III"; 0 for any other text.
int ClassCode(const QString& text);
// The texts of the classes, in the order of their codes.
QStringList ClassTexts();

// The text of a range/method code 0..22; "?" for any other code.
QString RangeText(int code);

// A raw value of a record entry, scaled into its row's unit and formatted as
// the device window shows it ("  0.150", "Overflow"). Row -1 for codes that
// carry no measured value (anything but 3..12).
struct Shown {
  int row = -1;
  QString text;
};
Shown FormatValue(int code, int raw);

// Whether `row` belongs to a test of class code `klasse` under standard code
// `standard` in the table; codes outside the table belong to no test.
bool RowApplies(const RowAppliesTable& table, int klasse, int standard, int row);

// The decision of the device window's settings for a class and standard code:
// which of the four device rows are shown, and (for codes the tables have)
// each row's default limit text ("%5.2f"). For other codes no row is shown
// and the limit texts stay as they are (hasLimits false).
struct RowSettings {
  std::array<bool, kDeviceRowCount> active{};
  bool hasLimits = false;
  std::array<QString, kDeviceRowCount> limitText;
};
RowSettings Settings(int klasse, int standard, const int (&available)[kDeviceRowCount], const RowAppliesTable& applies,
                     const DefaultLimitsTable& limits);

}  // namespace Values
