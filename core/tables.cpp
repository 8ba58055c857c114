#include "core/tables.h"

// Index order: [class code][standard code][row]; index 0 of class and standard
// is unused. A row belongs to a test when kRowApplies is 1; its default limit
// is in the row's unit (ohm, megohm, milliampere).
const RowAppliesTable kRowApplies = {
    {},  // class 0: unused
    {
        // class I
        {},
        {1, 1, 1, 1, 1, 1, 1, 1},  // DIN VDE 0100
        {1, 1, 1, 1, 0, 0, 0, 0},  // DIN VDE 0701 Teil 1
        {1, 1, 1, 1, 0, 0, 0, 0},  // DIN VDE 0701 Teil 240
        {1, 1, 1, 1, 0, 0, 0, 0},  // DIN VDE 0701-0702
        {1, 1, 1, 1, 0, 0, 0, 0},  // DIN VDE 0751
    },
    {
        // class II
        {},
        {0, 1, 1, 1, 1, 1, 1, 1},
        {0, 1, 1, 1, 0, 0, 0, 0},
        {0, 1, 1, 1, 0, 0, 0, 0},
        {0, 1, 1, 1, 0, 0, 0, 0},
        {0, 1, 1, 1, 0, 0, 0, 0},
    },
    {
        // class III
        {},
        {0, 1, 0, 0, 1, 1, 1, 1},
        {0, 1, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0, 0, 0},
    },
};

const DefaultLimitsTable kDefaultLimits = {
    {},
    {
        // class I
        {},
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.3f, 1.0f, 3.5f, 3.5f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.3f, 0.0f, 2.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.3f, 1.0f, 3.5f, 3.5f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.1f, 2.0f, 0.1f, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f},
    },
    {
        // class II
        {},
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 2.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 0.0f, 0.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 2.0f, 0.5f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 7.0f, 0.1f, 0.1f, 0.0f, 0.0f, 0.0f, 0.0f},
    },
    {
        // class III
        {},
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 0.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 0.25f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
        {0.0f, 7.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    },
};

const char* const kRowSuffix[kRowCount] = {"RPE", "RISO", "IABL", "IEA", "IB", "UB", "TA", "IA"};
