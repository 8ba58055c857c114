#pragma once
// Test standards, protection classes and the two limit tables.
//
// Rows: 0 RPE, 1 RISO, 2 IABL, 3 IEA, 4 IB, 5 UB, 6 TA, 7 IA.
// Standard code 1..5: DIN VDE 0100, 0701 Teil 1, 0701 Teil 240, 0701-0702, 0751.
// Class code 1..3: protection class I, II, III.
// The tables are indexed directly by class code and standard code; index 0 of
// each is unused and all zero.

constexpr int kRowCount = 8;
constexpr int kDeviceRowCount = 4;
constexpr int kClassMax = 3;
constexpr int kStandardMax = 5;

using RowAppliesTable = unsigned char[kClassMax + 1][kStandardMax + 1][kRowCount];
using DefaultLimitsTable = float[kClassMax + 1][kStandardMax + 1][kRowCount];

extern const RowAppliesTable kRowApplies;
extern const DefaultLimitsTable kDefaultLimits;

// Row suffixes used in the data record keys: "RPE", "RISO", ...
extern const char* const kRowSuffix[kRowCount];
