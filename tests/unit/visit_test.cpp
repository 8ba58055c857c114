// A visit's rules: records matched to rows by position, the scanner's numbers,
// the review and what its decisions do to the rows.
#include <gtest/gtest.h>

#include "core/visit.h"

namespace {

ArchiveData::Appliance Known(qint64 id, const QString& number, const QString& description = QStringLiteral("Bohrmaschine")) {
  ArchiveData::Appliance a;
  a.Id = id;
  a.CustomerId = 1;
  a.InventarNr = number;
  a.Bezeichnung = description;
  a.Standort = QStringLiteral("Werkstatt");
  a.ProtectionClass = 1;
  a.IntervalMonths = 24;
  return a;
}

std::vector<Visit::Row> Planned(int count) {
  std::vector<Visit::Row> rows;
  for (int i = 1; i <= count; ++i) {
    Visit::Row row;
    row.Known = Known(i, QStringLiteral("A-%1").arg(i));
    row.Data = Visit::DataOf(row.Known);
    row.Made = Visit::Row::Origin::Planned;
    rows.push_back(row);
  }
  return rows;
}

QString Numbers(const std::vector<Visit::Row>& rows) {
  QStringList numbers;
  for (const Visit::Row& row : rows) numbers << row.Data.InventarNr + (row.Skipped ? "*" : "");
  return numbers.join(' ');
}

TEST(VisitRows, RecordsGoToTheRowsByPositionPastSkippedOnes) {
  std::vector<Visit::Row> rows = Planned(5);
  rows[1].Skipped = true;
  EXPECT_EQ(Visit::Assign(rows, 3), (std::vector<int>{0, -1, 1, 2, -1}));
  EXPECT_EQ(Visit::Assign(rows, 9), (std::vector<int>{0, -1, 1, 2, 3}));
  EXPECT_EQ(Visit::NextRow(rows, 0), 2);
  EXPECT_EQ(Visit::NextRow(rows, 4), 5);
  EXPECT_EQ(Visit::RowOf(rows, QStringLiteral(" a-3 ")), 2);
}

TEST(VisitRows, AScanPutsTheAppliancesRowWhereTheCurrentRecordIs) {
  std::vector<Visit::Row> rows = Planned(5);
  // At its place: nothing moves.
  Visit::Placed p = Visit::Place(&rows, 0, QStringLiteral("A-1"), nullptr);
  EXPECT_EQ(p.kind, Visit::Placed::Kind::Confirmed);
  // Tested out of turn (A-4 before A-2): it comes up, the rows between follow.
  p = Visit::Place(&rows, 1, QStringLiteral("A-4"), nullptr);
  EXPECT_EQ(p.kind, Visit::Placed::Kind::Moved);
  EXPECT_EQ(p.from, 3);
  EXPECT_EQ(Numbers(rows), "A-1 A-4 A-2 A-3 A-5");
  // A skipped row scanned later is taken back where the record is.
  rows[4].Skipped = true;
  p = Visit::Place(&rows, 3, QStringLiteral("A-5"), nullptr);
  EXPECT_EQ(Numbers(rows), "A-1 A-4 A-2 A-5 A-3");
  EXPECT_FALSE(rows[3].Skipped);
  // An unknown number: a new row at the cursor, with only its number.
  p = Visit::Place(&rows, 2, QStringLiteral("NEU-1"), nullptr);
  EXPECT_EQ(p.kind, Visit::Placed::Kind::Added);
  EXPECT_EQ(Numbers(rows), "A-1 A-4 NEU-1 A-2 A-5 A-3");
  EXPECT_EQ(rows[2].Made, Visit::Row::Origin::Scanned);
  EXPECT_TRUE(rows[2].Data.Bezeichnung.isEmpty());
  // A number the archive knows (not planned): a new row with its data.
  const ArchiveData::Appliance other = Known(40, QStringLiteral("B-40"), QStringLiteral("Kühlschrank"));
  p = Visit::Place(&rows, 6, QStringLiteral("b-40"), &other);
  EXPECT_EQ(p.row, 6);
  EXPECT_EQ(rows[6].Data.Bezeichnung, QString::fromUtf8("Kühlschrank"));
  EXPECT_EQ(rows[6].Data.KnownIntervalMonths, 24);
  // One tested once more (its row before the cursor holds a record): a second row of it.
  p = Visit::Place(&rows, 3, QStringLiteral("A-1"), nullptr);
  EXPECT_EQ(p.kind, Visit::Placed::Kind::Added);
  EXPECT_EQ(Numbers(rows), "A-1 A-4 NEU-1 A-1 A-2 A-5 A-3 B-40");
  EXPECT_EQ(rows[3].Known.Id, 1);
  // A row without a number yet (a record loaded without a plan) takes the number.
  std::vector<Visit::Row> loaded(3);
  p = Visit::Place(&loaded, 1, QStringLiteral("B-40"), &other);
  EXPECT_EQ(p.kind, Visit::Placed::Kind::Assigned);
  EXPECT_EQ(Numbers(loaded), " B-40 ");
  EXPECT_EQ(loaded[1].Known.Id, 40);
}

TEST(VisitReview, EachRowIsSortedAndOnlyQuestionsWaitForADecision) {
  std::vector<Visit::Row> rows = Planned(6);
  rows[5].Skipped = true;                                  // not found this time
  rows[1].Data.Bezeichnung = QStringLiteral("Wasserkocher");  // another description typed
  rows[2].Data.InventarNr = QStringLiteral("A-1");         // A-1 twice
  rows[3].Data.InventarNr.clear();                         // a record without a number
  Visit::Row added;
  added.Data.InventarNr = QStringLiteral("NEU-1");
  rows.push_back(added);
  std::map<QString, ArchiveData::Appliance> lookup;
  for (int i = 1; i <= 6; ++i) lookup[QStringLiteral("a-%1").arg(i)] = Known(i, QStringLiteral("A-%1").arg(i));
  lookup["a-5"].RetiredOn = QDate(2026, 1, 1);
  const std::vector<int> recordOf = Visit::Assign(rows, 6);
  const std::vector<int> classOf(rows.size(), 1);
  Visit::Review review = Visit::Match(rows, recordOf, classOf, QStringLiteral("Kunde"), true, lookup);
  std::map<int, Visit::Item::Kind> kinds;
  for (const Visit::Item& item : review.items) kinds[item.row] = item.kind;
  using K = Visit::Item::Kind;
  EXPECT_EQ(kinds, (std::map<int, K>{{0, K::Duplicate}, {1, K::Conflict}, {2, K::Duplicate}, {3, K::NoNumber},
                                     {4, K::Retired}, {5, K::NotTested}, {6, K::New}}));
  EXPECT_FALSE(review.NothingToDecide());
  EXPECT_EQ(review.items[3].decision, Visit::Item::Decision::Store);  // without a number: stored as it is, unless told
  EXPECT_TRUE(review.items[1].differences.join("").contains("Wasserkocher"));
  QString why;
  Visit::Outcome outcome;
  EXPECT_FALSE(Visit::Apply(review, &rows, &outcome, &why));
  EXPECT_TRUE(why.startsWith("Noch nicht entschieden")) << why.toStdString();

  using D = Visit::Item::Decision;
  for (Visit::Item& item : review.items) {
    if (item.row == 0) item.decision = D::Store;
    if (item.row == 1) item.decision = D::KeepMaster;
    if (item.row == 2) item.decision = D::OtherAppliance, item.newNumber = "NEU-1";  // taken by row 6
    if (item.row == 3) item.decision = D::Skip;
    if (item.row == 4) item.decision = D::Reactivate;
    if (item.row == 5) item.decision = D::Retire, item.retireReason = "verschrottet";
  }
  EXPECT_FALSE(Visit::Apply(review, &rows, &outcome, &why));
  EXPECT_TRUE(why.contains("steht schon in der Liste")) << why.toStdString();
  review.items[2].newNumber = "A-7";
  ASSERT_TRUE(Visit::Apply(review, &rows, &outcome, &why)) << why.toStdString();
  EXPECT_EQ(outcome.store, (std::vector<int>{0, 1, 2, 4, 6}));
  EXPECT_EQ(rows[1].Data.Bezeichnung, "Bohrmaschine");  // the archive was right
  EXPECT_EQ(rows[2].Data.InventarNr, "A-7");
  EXPECT_TRUE(outcome.renumbered);
  EXPECT_EQ(outcome.reactivate, std::vector<qint64>{5});
  ASSERT_EQ(outcome.retire.size(), 1u);
  EXPECT_EQ(outcome.retire[0], std::make_pair(qint64(6), QStringLiteral("verschrottet")));
}

TEST(VisitReview, AVisitAsPlannedNeedsOneClickAndItsRowsKeepTheArchivesInterval) {
  std::vector<Visit::Row> rows = Planned(3);
  rows[0].Data.KnownIntervalMonths = 0;  // typed by hand: the form's interval would go into the report
  std::map<QString, ArchiveData::Appliance> lookup;
  for (int i = 1; i <= 3; ++i) lookup[QStringLiteral("a-%1").arg(i)] = Known(i, QStringLiteral("A-%1").arg(i));
  Visit::Review review = Visit::Match(rows, Visit::Assign(rows, 3), {1, 1, 1}, "Kunde", true, lookup);
  EXPECT_EQ(review.Count(Visit::Item::Kind::Known), 3);
  EXPECT_TRUE(review.NothingToDecide());
  Visit::Outcome outcome;
  QString why;
  ASSERT_TRUE(Visit::Apply(review, &rows, &outcome, &why));
  EXPECT_EQ(rows[0].Data.KnownIntervalMonths, 24);
  // A class set in the list that the archive does not have is a question.
  review = Visit::Match(rows, Visit::Assign(rows, 3), {2, 1, 1}, "Kunde", true, lookup);
  EXPECT_EQ(review.items[0].kind, Visit::Item::Kind::Conflict);
}

TEST(VisitPlan, ThePlansCsvHasTheListsColumnsAndWhatTheArchiveKnows) {
  Visit::Plan plan;
  plan.Appliances = {Known(1, "A-1"), Known(2, "A-2", QString::fromUtf8("Kühlschrank"))};
  plan.Appliances[1].ProtectionClass = 2;
  plan.Appliances[1].NextDue = QDate(2027, 3, 1);
  plan.Appliances[1].Standard = 8;  // reported under today's medical standard: the tester's own is 0751
  const std::vector<QStringList> table = Visit::PlanTable(plan);
  ASSERT_EQ(table.size(), 3u);
  const QStringList& head = table[0];
  EXPECT_EQ(head.mid(0, RecordList::Columns().size()), RecordList::Columns());
  const QStringList& second = table[2];
  EXPECT_EQ(second[head.indexOf("Nr.")], "002");
  EXPECT_EQ(second[head.indexOf("Inventar-Nr.")], "A-2");
  EXPECT_EQ(second[head.indexOf("Schutzklasse")], "II");
  EXPECT_EQ(second[head.indexOf("Norm")], "VDE 0751");
  EXPECT_EQ(second[head.indexOf(QString::fromUtf8("Gerät/Bezeichnung"))], QString::fromUtf8("Kühlschrank"));
  EXPECT_EQ(second[head.indexOf(QString::fromUtf8("Prüfintervall"))], "24");
  EXPECT_EQ(second[head.indexOf(QString::fromUtf8("Nächste Prüfung"))], "03/2027");
  EXPECT_TRUE(second[head.indexOf("R-PE [Ohm]")].isEmpty());
}

}  // namespace
