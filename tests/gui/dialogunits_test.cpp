#include <gtest/gtest.h>

#include "platform/dialogunits.h"

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(DialogUnits::MulDiv(1, 6, 4), 2);    // 1.5
  EXPECT_EQ(DialogUnits::MulDiv(3, 6, 4), 5);    // 4.5
  EXPECT_EQ(DialogUnits::MulDiv(-1, 6, 4), -2);  // -1.5
  EXPECT_EQ(DialogUnits::MulDiv(1, 13, 8), 2);   // 1.625
  EXPECT_EQ(DialogUnits::MulDiv(3, 13, 8), 5);   // 4.875
  EXPECT_EQ(DialogUnits::MulDiv(5, 1, 4), 1);    // 1.25
  EXPECT_EQ(DialogUnits::MulDiv(7, 1, -2), -4);  // -3.5
  EXPECT_EQ(DialogUnits::MulDiv(1, 1, 0), -1);
  EXPECT_EQ(DialogUnits::MulDiv(2000000000, 3, 2), -1);  // overflow
}

TEST(DialogUnits, TemplateRectsAt96Dpi) {
  // Device window: 385 x 455 units.
  EXPECT_EQ(DialogUnits::Size(385, 455, 96), QSize(578, 739));  // 577.5 -> 578, 739.375
  // The log list 8, 336, 368 x 84 and the smallest buttons.
  EXPECT_EQ(DialogUnits::Rect(8, 336, 368, 84, 96), QRect(12, 546, 552, 137));  // 136.5
  EXPECT_EQ(DialogUnits::Rect(51, 271, 16, 9, 96), QRect(77, 440, 24, 15));  // 76.5, 440.375, 14.625
  EXPECT_EQ(DialogUnits::X(0, 96), 0);
}

TEST(DialogUnits, ScaleWithTheLogicalDpi) {
  EXPECT_EQ(DialogUnits::X(4, 144), 9);    // base 9 at 150 %
  EXPECT_EQ(DialogUnits::Y(8, 144), 20);   // 19.5 -> 20
  EXPECT_EQ(DialogUnits::X(385, 192), 1155);
  EXPECT_EQ(DialogUnits::Y(455, 192), 1479);  // 1478.75
  EXPECT_EQ(DialogUnits::X(100, 120), 188);   // 187.5
}
