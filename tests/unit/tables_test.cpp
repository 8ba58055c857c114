#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include "core/tables.h"

namespace {
// The limit tables as they are written down for the users: one line per
// standard code 1..5, eight cells per line, "-" for a row that does not
// belong to the test.
const char* const kClassRows[3][5] = {
    {
        "0 0 0 0 0 0 0 0",
        "0.3 1.0 3.5 3.5 - - - -",
        "0.3 0 2.5 0 - - - -",
        "0.3 1.0 3.5 3.5 - - - -",
        "0.1 2.0 0.1 0.1 - - - -",
    },
    {
        "- 0 0 0 0 0 0 0",
        "- 2.0 0.5 0.5 - - - -",
        "- 0 0.25 0 - - - -",
        "- 2.0 0.5 0.5 - - - -",
        "- 7.0 0.1 0.1 - - - -",
    },
    {
        "- 0 - - 0 0 0 0",
        "- 0.25 - - - - - -",
        "- 0 - - - - - -",
        "- 0.25 - - - - - -",
        "- 7.0 - - - - - -",
    },
};
}  // namespace

TEST(LimitTables, EveryCellMatchesThePublishedTables) {
  for (int k = 1; k <= 3; ++k) {
    for (int s = 1; s <= 5; ++s) {
      const QStringList cells = QString(kClassRows[k - 1][s - 1]).split(' ');
      ASSERT_EQ(cells.size(), kRowCount);
      for (int r = 0; r < kRowCount; ++r) {
        SCOPED_TRACE(testing::Message() << "class " << k << " standard " << s << " row " << r);
        if (cells[r] == "-") {
          EXPECT_EQ(kRowApplies[k][s][r], 0);
          EXPECT_EQ(kDefaultLimits[k][s][r], 0.0f);
        } else {
          EXPECT_EQ(kRowApplies[k][s][r], 1);
          // Single precision: the float nearest to the decimal text.
          EXPECT_EQ(kDefaultLimits[k][s][r], cells[r].toFloat());
        }
      }
    }
  }
}

TEST(LimitTables, UnusedIndexesAreZeroAndFractionsAreSinglePrecision) {
  for (int s = 0; s <= kStandardMax; ++s)
    for (int r = 0; r < kRowCount; ++r) {
      EXPECT_EQ(kRowApplies[0][s][r], 0);
      EXPECT_EQ(kDefaultLimits[0][s][r], 0.0f);
    }
  for (int k = 1; k <= kClassMax; ++k)
    for (int r = 0; r < kRowCount; ++r) EXPECT_EQ(kRowApplies[k][0][r], 0);
  // 0.3 and 0.1 are the nearest floats, not the doubles: the report compares
  // and prints the widened float.
  EXPECT_EQ(static_cast<double>(kDefaultLimits[1][4][0]), static_cast<double>(0.3f));
  EXPECT_NE(static_cast<double>(kDefaultLimits[1][4][0]), 0.3);
  EXPECT_EQ(static_cast<double>(kDefaultLimits[1][5][0]), static_cast<double>(0.1f));
}

TEST(LimitTables, RowSuffixes) {
  const char* expected = "RPE RISO IABL IEA IB UB TA IA";
  EXPECT_EQ(QStringList({kRowSuffix[0], kRowSuffix[1], kRowSuffix[2], kRowSuffix[3], kRowSuffix[4],
                         kRowSuffix[5], kRowSuffix[6], kRowSuffix[7]})
                .join(' '),
            QString(expected));
}
