#pragma once
// A test beside the appliance's previous one: each value next to the value
// of the last test the archive holds, and a warning where a value has moved
// towards its limit by more than the standard's rule allows.
//
// Medical equipment (DIN VDE 0751, DIN EN 62353): a leakage current above
// 90 % of its limit, or up on the last test by more than 50 % or 10 uA,
// whichever is greater. Other appliances: R-PE or a leakage current up by
// more than 50 %, R-ISO down to less than half. A change of no more than one
// step of the last digit shown is no change (the display rounds).
#include <QDate>
#include <QString>
#include <array>

#include "core/tables.h"

namespace Comparison {

// The previous test of an appliance as the archive holds it.
struct Previous {
  bool found = false;
  QDate date;
  int standard = 0;
  std::array<QString, kRowCount> measured;  // as shown then; empty where the row was not part of it
};

struct Row {
  bool warn = false;
  QString why;  // German, for the list's tool tip and the page ("R-PE +75 % seit der letzten Prüfung")
};

// The comparison of a row's measured text with its previous one (either may
// be empty or no number) under a standard, with the row's limit text.
Row Compare(int standard, int row, const QString& now, const QString& previous, const QString& limit);

}  // namespace Comparison
