#pragma once
// A visit to a customer: the appliances planned from the archive in the order
// the tester walked last time, the tester's records matched to them by
// position (record 1 to the first row, and so on), the numbers a barcode
// scanner types, and the review of what is to be stored before anything goes
// into the archive. Plain data and rules: the record list shows them, the
// command-line tool writes the plan as CSV.
#include <QDate>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

#include "core/archive.h"
#include "core/recordlist.h"

namespace Visit {

// What "Besuch vorbereiten" takes from the archive.
struct Plan {
  ArchiveData::Customer Customer;
  QStringList Sites;  // the sites chosen; empty: all
  QDate DueBy;        // only appliances due by this day; invalid: all in service
  std::vector<ArchiveData::Appliance> Appliances;  // in the order of the last visit
};

// The appliance data a row of a known appliance starts with.
ApplianceData DataOf(const ArchiveData::Appliance& appliance);
// Fills what a row does not say yet from the archive's appliance.
void FillFrom(const ArchiveData::Appliance& appliance, ApplianceData* data);

// One row of a visit's list.
struct Row {
  enum class Origin { Record, Planned, Scanned, Inserted };
  ApplianceData Data;
  Origin Made = Origin::Record;
  ArchiveData::Appliance Known;  // the archive's appliance of the row (Id 0: none)
  bool Skipped = false;          // not tested in this visit: takes no record
};

// The record each row takes: the k-th row that is not skipped takes record k
// (0-based); -1 for a row without one.
std::vector<int> Assign(const std::vector<Row>& rows, int records);
// The first row after `row` that is not skipped; rows.size() when there is none.
int NextRow(const std::vector<Row>& rows, int row);
// The row whose Inventar-Nr. is `number` (any case, blanks simplified), or -1.
int RowOf(const std::vector<Row>& rows, const QString& number);

// A number scanned (or typed and confirmed) while `cursor` is the current
// row: the appliance's row is put at the cursor, so that the cursor's record
// is its test (nothing moves when it stands there; a skipped row is taken
// back). An appliance the list does not hold takes the cursor's row when that
// row has no number yet (a record loaded without a plan, a row inserted), or
// else gets a new row there; filled from `known` when the archive knows it.
struct Placed {
  enum class Kind { Confirmed, Moved, Assigned, Added } kind = Kind::Confirmed;
  int row = -1;   // where the appliance stands now
  int from = -1;  // where it stood before (Moved)
};
Placed Place(std::vector<Row>* rows, int cursor, const QString& number, const ArchiveData::Appliance* known);

// ---- the review before the visit's tests go into the archive

struct Item {
  enum class Kind {
    New,        // a number the archive does not know: a new appliance
    Known,      // known, with the same data
    Conflict,   // known, but the list says otherwise
    Duplicate,  // the same number on more rows of this visit
    NoNumber,   // a record without an Inventar-Nr. (stored without one unless it gets one)
    Retired,    // the number of an appliance that was retired
    NotTested   // planned, but no record of this visit
  };
  enum class Decision {
    None,            // still to decide
    Store,           // store as it stands (and, for a duplicate: as tests of the one appliance)
    KeepMaster,      // conflict: the archive is right; the row takes its data
    UpdateMaster,    // conflict: the list is right; the archive takes it
    OtherAppliance,  // another appliance: stored under NewNumber
    Skip,            // not stored
    Reactivate,      // retired, but back in service
    StayDue,         // not tested: stays due
    Retire           // not tested: retired (with RetireReason)
  };
  Kind kind = Kind::New;
  int row = -1;
  int record = -1;  // 0-based; -1 for none
  QString number;
  ArchiveData::Appliance known;
  QStringList differences;   // "Gerät/Bezeichnung: im Archiv „A“, in der Liste „B“"
  std::vector<int> sameRows;  // the other rows of a duplicate number
  Decision decision = Decision::None;
  QString newNumber;
  QString retireReason;

  // The decisions that may be taken for this kind, the first the default.
  std::vector<Decision> Choices() const;
};
QString KindText(Item::Kind kind);
QString DecisionText(Item::Decision decision);

struct Review {
  QString customer;
  bool customerKnown = false;
  bool reached = true;   // false: the archive could not be asked (archiveError says why)
  QString archiveError;
  std::vector<Item> items;
  int Count(Item::Kind kind) const;
  // Every item has a decision: the review can be accepted with one click.
  bool NothingToDecide() const;
  QString Summary() const;
};

// The review of the rows that have a record (and of the planned rows without
// one): `classOf` is each row's protection class as the report gets it,
// `lookup` the archive's appliances of the rows' numbers (Archive::NumberKey).
Review Match(const std::vector<Row>& rows, const std::vector<int>& recordOf, const std::vector<int>& classOf,
             const QString& customer, bool customerKnown, const std::map<QString, ArchiveData::Appliance>& lookup);

// What an accepted review does: rows changed by the decisions (a conflict's
// data from the archive, a new number), the rows whose tests are stored, the
// appliances retired and those back in service. False with *why when a
// decision is missing or a new number is empty or already in the list.
struct Outcome {
  std::vector<int> store;  // rows, in list order
  std::vector<std::pair<qint64, QString>> retire;  // appliance, reason
  std::vector<qint64> reactivate;
  bool renumbered = false;  // a number changed: the review is to be made again
};
bool Apply(const Review& review, std::vector<Row>* rows, Outcome* outcome, QString* why);

// ---- the visit as CSV (kelvara-cli visit plan), read back by report --from-csv

// The list's columns with what the archive knows of each appliance after them.
QStringList PlanColumns();
std::vector<QStringList> PlanTable(const Plan& plan);

}  // namespace Visit
