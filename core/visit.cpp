#include "core/visit.h"

#include <algorithm>
#include <set>

#include "core/cformat.h"
#include "core/duedates.h"
#include "core/limitprofiles.h"
#include "core/values.h"

namespace Visit {

ApplianceData DataOf(const ArchiveData::Appliance& a) {
  ApplianceData data;
  data.InventarNr = a.InventarNr;
  FillFrom(a, &data);
  return data;
}

void FillFrom(const ArchiveData::Appliance& a, ApplianceData* data) {
  auto fill = [](QString* field, const QString& text) {
    if (field->simplified().isEmpty()) *field = text;
  };
  fill(&data->InventarNr, a.InventarNr);
  fill(&data->Bezeichnung, a.Bezeichnung);
  fill(&data->HerstellerTyp, a.HerstellerTyp);
  fill(&data->Seriennummer, a.Seriennummer);
  fill(&data->Standort, a.Standort);
  if (data->KnownIntervalMonths <= 0 && a.IntervalMonths > 0) data->KnownIntervalMonths = a.IntervalMonths;
  if (data->Klasse <= 0 && a.ProtectionClass >= 1 && a.ProtectionClass <= 3) data->Klasse = a.ProtectionClass;
}

std::vector<int> Assign(const std::vector<Row>& rows, int records) {
  std::vector<int> recordOf(rows.size(), -1);
  int next = 0;
  for (size_t row = 0; row < rows.size() && next < records; ++row)
    if (!rows[row].Skipped) recordOf[row] = next++;
  return recordOf;
}

int NextRow(const std::vector<Row>& rows, int row) {
  int next = row + 1;
  while (next < int(rows.size()) && rows[size_t(next)].Skipped) ++next;
  return std::min(next, int(rows.size()));
}

int RowOf(const std::vector<Row>& rows, const QString& number) {
  const QString key = Archive::NumberKey(number);
  if (key.isEmpty()) return -1;
  for (size_t row = 0; row < rows.size(); ++row)
    if (Archive::NumberKey(rows[row].Data.InventarNr) == key) return int(row);
  return -1;
}

Placed Place(std::vector<Row>* rows, int cursor, const QString& number, const ArchiveData::Appliance* known) {
  cursor = std::clamp(cursor, 0, int(rows->size()));
  Placed placed;
  const int at = RowOf(*rows, number);
  if (at >= 0 && at == cursor) {
    (*rows)[size_t(at)].Skipped = false;
    placed.kind = Placed::Kind::Confirmed;
    placed.row = placed.from = at;
    return placed;
  }
  if (at >= 0 && (at > cursor || (*rows)[size_t(at)].Skipped)) {
    // Put where the cursor's record is: the rows between take one record later.
    Row row = (*rows)[size_t(at)];
    row.Skipped = false;
    rows->erase(rows->begin() + at);
    const int to = at > cursor ? cursor : cursor - 1;
    rows->insert(rows->begin() + to, row);
    placed.kind = Placed::Kind::Moved;
    placed.row = to;
    placed.from = at;
    return placed;
  }
  if (at < 0 && cursor < int(rows->size()) && (*rows)[size_t(cursor)].Data.InventarNr.simplified().isEmpty() &&
      (*rows)[size_t(cursor)].Made != Row::Origin::Planned) {
    // The cursor's row has no number yet: it is this appliance.
    Row& row = (*rows)[size_t(cursor)];
    row.Skipped = false;
    row.Data.InventarNr = number.simplified();
    if (known && known->Id > 0) {
      row.Known = *known;
      FillFrom(*known, &row.Data);
    }
    placed.kind = Placed::Kind::Assigned;
    placed.row = placed.from = cursor;
    return placed;
  }
  // Not in the list, or before the cursor with a record of its own (tested
  // once more): a row of its own at the cursor.
  Row row;
  row.Made = Row::Origin::Scanned;
  if (at >= 0) {
    row.Known = (*rows)[size_t(at)].Known;
    row.Data = row.Known.Id > 0 ? DataOf(row.Known) : ApplianceData();
    row.Data.InventarNr = (*rows)[size_t(at)].Data.InventarNr;
  } else if (known && known->Id > 0) {
    row.Known = *known;
    row.Data = DataOf(*known);
  } else {
    row.Data.InventarNr = number.simplified();
  }
  rows->insert(rows->begin() + cursor, row);
  placed.kind = Placed::Kind::Added;
  placed.row = cursor;
  placed.from = at;
  return placed;
}

// ---- the review

std::vector<Item::Decision> Item::Choices() const {
  using D = Decision;
  switch (kind) {
    case Kind::New:
    case Kind::Known: return {D::Store};
    case Kind::Conflict: return {D::KeepMaster, D::UpdateMaster, D::OtherAppliance};
    case Kind::Duplicate: return {D::Store, D::OtherAppliance, D::Skip};
    case Kind::NoNumber: return {D::Store, D::OtherAppliance, D::Skip};
    case Kind::Retired: return {D::Reactivate, D::OtherAppliance, D::Skip};
    case Kind::NotTested: return {D::StayDue, D::Retire};
  }
  return {};
}

QString KindText(Item::Kind kind) {
  switch (kind) {
    case Item::Kind::New: return QStringLiteral("neu");
    case Item::Kind::Known: return QStringLiteral("bekannt");
    case Item::Kind::Conflict: return QStringLiteral("andere Daten");
    case Item::Kind::Duplicate: return QStringLiteral("doppelt");
    case Item::Kind::NoNumber: return QStringLiteral("ohne Nummer");
    case Item::Kind::Retired: return QStringLiteral("ausgemustert");
    case Item::Kind::NotTested: return QStringLiteral("nicht geprüft");
  }
  return QString();
}

QString DecisionText(Item::Decision decision) {
  switch (decision) {
    case Item::Decision::None: return QStringLiteral("– bitte wählen –");
    case Item::Decision::Store: return QStringLiteral("speichern");
    case Item::Decision::KeepMaster: return QStringLiteral("Archiv gilt (Zeile übernimmt die Stammdaten)");
    case Item::Decision::UpdateMaster: return QStringLiteral("Liste gilt (Stammdaten ändern)");
    case Item::Decision::OtherAppliance: return QStringLiteral("anderes Gerät: neue Inventar-Nr.");
    case Item::Decision::Skip: return QStringLiteral("nicht speichern");
    case Item::Decision::Reactivate: return QStringLiteral("wieder in Betrieb nehmen");
    case Item::Decision::StayDue: return QStringLiteral("bleibt fällig");
    case Item::Decision::Retire: return QStringLiteral("ausmustern");
  }
  return QString();
}

int Review::Count(Item::Kind kind) const {
  return int(std::count_if(items.begin(), items.end(), [kind](const Item& i) { return i.kind == kind; }));
}

bool Review::NothingToDecide() const {
  return std::all_of(items.begin(), items.end(), [](const Item& i) { return i.decision != Item::Decision::None; });
}

QString Review::Summary() const {
  QStringList parts;
  for (Item::Kind kind : {Item::Kind::Known, Item::Kind::New, Item::Kind::Conflict, Item::Kind::Duplicate,
                          Item::Kind::NoNumber, Item::Kind::Retired, Item::Kind::NotTested})
    if (const int n = Count(kind)) parts << QStringLiteral("%1 %2").arg(n).arg(KindText(kind));
  QString text = parts.isEmpty() ? QStringLiteral("Nichts zu speichern.") : parts.join(QStringLiteral(", ")) + QLatin1Char('.');
  if (!customerKnown && !customer.isEmpty()) text += QStringLiteral(" Neuer Auftraggeber „%1“.").arg(customer);
  return text;
}

namespace {

QStringList Differences(const ApplianceData& data, int klasse, const ArchiveData::Appliance& known) {
  QStringList differences;
  auto compare = [&](const char* label, const QString& archive, const QString& list) {
    if (archive.simplified().isEmpty() || list.simplified().isEmpty() || archive.simplified() == list.simplified()) return;
    differences << QStringLiteral("%1: im Archiv „%2“, in der Liste „%3“")
                       .arg(QString::fromUtf8(label), archive.simplified(), list.simplified());
  };
  compare("Gerät/Bezeichnung", known.Bezeichnung, data.Bezeichnung);
  compare("Hersteller/Typ", known.HerstellerTyp, data.HerstellerTyp);
  compare("Seriennummer", known.Seriennummer, data.Seriennummer);
  compare("Standort", known.Standort, data.Standort);
  if (known.ProtectionClass >= 1 && known.ProtectionClass <= 3 && klasse >= 1 && klasse <= 3 &&
      known.ProtectionClass != klasse)
    compare("Schutzklasse", Values::ClassText(known.ProtectionClass), Values::ClassText(klasse));
  return differences;
}

}  // namespace

Review Match(const std::vector<Row>& rows, const std::vector<int>& recordOf, const std::vector<int>& classOf,
             const QString& customer, bool customerKnown, const std::map<QString, ArchiveData::Appliance>& lookup) {
  Review review;
  review.customer = customer;
  review.customerKnown = customerKnown;
  std::map<QString, std::vector<int>> rowsOf;
  for (size_t row = 0; row < rows.size(); ++row) {
    const QString key = Archive::NumberKey(rows[row].Data.InventarNr);
    if (recordOf[row] >= 0 && !key.isEmpty()) rowsOf[key].push_back(int(row));
  }
  for (size_t row = 0; row < rows.size(); ++row) {
    const Row& r = rows[row];
    Item item;
    item.row = int(row);
    item.record = recordOf[row];
    item.number = r.Data.InventarNr.simplified();
    const QString key = Archive::NumberKey(item.number);
    auto known = lookup.find(key);
    if (known != lookup.end()) item.known = known->second;
    if (item.record < 0) {
      // Planned, but nothing of this visit: it stays due, unless it is gone.
      if (r.Made != Row::Origin::Planned) continue;
      item.kind = Item::Kind::NotTested;
      if (item.known.Id == 0) item.known = r.Known;
      item.decision = Item::Decision::StayDue;
    } else if (key.isEmpty()) {
      // Stored as before, unless the user gives it a number: the review says
      // that it will not be recognised again.
      item.kind = Item::Kind::NoNumber;
      item.decision = Item::Decision::Store;
    } else if (rowsOf[key].size() > 1) {
      item.kind = Item::Kind::Duplicate;
      for (int other : rowsOf[key])
        if (other != int(row)) item.sameRows.push_back(other);
    } else if (item.known.Id > 0 && item.known.Retired()) {
      item.kind = Item::Kind::Retired;
    } else if (item.known.Id > 0) {
      item.differences = Differences(r.Data, classOf[row], item.known);
      item.kind = item.differences.isEmpty() ? Item::Kind::Known : Item::Kind::Conflict;
      if (item.kind == Item::Kind::Known) item.decision = Item::Decision::Store;
    } else {
      item.kind = Item::Kind::New;
      item.decision = Item::Decision::Store;
    }
    review.items.push_back(item);
  }
  return review;
}

bool Apply(const Review& review, std::vector<Row>* rows, Outcome* outcome, QString* why) {
  *outcome = Outcome();
  auto label = [](const Item& item) {
    return item.record >= 0 ? CFormat("Prüfung %03d", item.record + 1) + (item.number.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(item.number))
                            : QStringLiteral("Gerät %1").arg(item.number);
  };
  // Every decision taken, every new number given and once in the list.
  std::map<QString, int> numbers;
  for (size_t row = 0; row < rows->size(); ++row) {
    const QString key = Archive::NumberKey((*rows)[row].Data.InventarNr);
    if (!key.isEmpty()) numbers[key] += 1;
  }
  for (const Item& item : review.items) {
    if (item.decision == Item::Decision::None) {
      *why = QStringLiteral("Noch nicht entschieden: %1 – %2.").arg(label(item), KindText(item.kind));
      return false;
    }
    if (item.decision != Item::Decision::OtherAppliance) continue;
    const QString key = Archive::NumberKey(item.newNumber);
    if (key.isEmpty()) {
      *why = QStringLiteral("%1: Geben Sie die neue Inventar-Nr. ein.").arg(label(item));
      return false;
    }
    if (numbers[key] > 0) {
      *why = QStringLiteral("%1: Die Inventar-Nr. „%2“ steht schon in der Liste.").arg(label(item), item.newNumber.simplified());
      return false;
    }
    numbers[key] += 1;
  }
  for (const Item& item : review.items) {
    Row& row = (*rows)[size_t(item.row)];
    switch (item.decision) {
      case Item::Decision::Store:
      case Item::Decision::UpdateMaster:
        if (item.known.Id > 0) FillFrom(item.known, &row.Data);
        outcome->store.push_back(item.row);
        break;
      case Item::Decision::KeepMaster: {
        // The archive's data are right: the row takes them.
        const ArchiveData::Appliance& k = item.known;
        auto take = [](QString* field, const QString& archive) {
          if (!archive.simplified().isEmpty()) *field = archive;
        };
        take(&row.Data.Bezeichnung, k.Bezeichnung);
        take(&row.Data.HerstellerTyp, k.HerstellerTyp);
        take(&row.Data.Seriennummer, k.Seriennummer);
        take(&row.Data.Standort, k.Standort);
        if (k.ProtectionClass >= 1 && k.ProtectionClass <= 3) row.Data.Klasse = k.ProtectionClass;
        if (row.Data.KnownIntervalMonths <= 0) row.Data.KnownIntervalMonths = k.IntervalMonths;
        outcome->store.push_back(item.row);
        break;
      }
      case Item::Decision::OtherAppliance:
        row.Data.InventarNr = item.newNumber.simplified();
        row.Known = ArchiveData::Appliance();
        outcome->renumbered = true;
        outcome->store.push_back(item.row);
        break;
      case Item::Decision::Reactivate:
        FillFrom(item.known, &row.Data);
        outcome->reactivate.push_back(item.known.Id);
        outcome->store.push_back(item.row);
        break;
      case Item::Decision::Retire:
        if (item.known.Id > 0) outcome->retire.emplace_back(item.known.Id, item.retireReason.simplified());
        break;
      case Item::Decision::Skip:
      case Item::Decision::StayDue:
      case Item::Decision::None: break;
    }
  }
  std::sort(outcome->store.begin(), outcome->store.end());
  return true;
}

// ---- the plan as CSV

QStringList PlanColumns() {
  return RecordList::Columns() << QStringLiteral("Seriennummer") << QStringLiteral("Prüfintervall")
                               << QStringLiteral("Letzte Prüfung");
}

std::vector<QStringList> PlanTable(const Plan& plan) {
  std::vector<QStringList> table{PlanColumns()};
  const QStringList columns = RecordList::Columns();
  auto date = [](const QDate& d) { return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString(); };
  int position = 0;
  for (const ArchiveData::Appliance& a : plan.Appliances) {
    QStringList row;
    for (int c = 0; c < columns.size(); ++c) row << QString();
    auto set = [&](const char* column, const QString& text) {
      const int c = int(columns.indexOf(QString::fromUtf8(column)));
      if (c >= 0) row[c] = text;
    };
    set("Nr.", CFormat("%03d", ++position));
    // The list's column names the tester's standard the latest test was made under.
    const int tester = Profiles::TesterStandard(a.Standard);
    set("Norm", tester == 5 ? QStringLiteral("VDE 0751") : tester == 4 ? QStringLiteral("VDE 0701 / 0702") : QString());
    set("Schutzklasse", Values::ClassText(a.ProtectionClass));
    set("Inventar-Nr.", a.InventarNr);
    set("Gerät/Bezeichnung", a.Bezeichnung);
    set("Hersteller/Typ", a.HerstellerTyp);
    set("Standort", a.Standort);
    set("Nächste Prüfung", DueDates::MonthText(a.NextDue));
    row << a.Seriennummer << QString::number(a.IntervalMonths) << date(a.LastTest);
    table.push_back(row);
  }
  return table;
}

}  // namespace Visit
