#include "world/CHandlingRules.h"

// The default handling values of the models whose rows are known, rules 1..30
// in order. Every model not listed here defaults to 0 for rules 1..30; an
// operator can supply rows from a data file read at start-up (see README).
const SHandlingDefaultRow g_aBuiltinHandlingRows[] = {
    {130, {1700, 2.0, 5.0, 2.0, 0,   0,    0,    85,   0.85, 0.85,  0.51, 5,    160,   20, 52,
           68,   6.2, 0.6, 35,  1.7, 0.08, 0.27, 0.23, 0.25, -0.15, 0.5,  0.25, 49163, 0,  1}},
    {136, {3000, 4.5,  7.0, 4.0, 0,   0,   0,   15,   -4.0, 25.0, 0.5, 5, 190,    0.5, 82,
           80,   0.02, 0,   20,  1.0, 3.0, 0.2, 0.23, 15.0, 0.1,  0,   0, 524292, 0,   1}},
    {236, {1200, 2.0,  4.5,  1.4, 0,   0.1, -0.3, 70,   1.3,  0.89,  0.5, 5,   230,      32, 82,
           80,   11.1, 0.48, 30,  2.2, 0.2, 0.4,  0.54, 0.25, -0.16, 0.5, 0.3, 16810369, 0,  0}},
};

const int g_nBuiltinHandlingRowCount = sizeof(g_aBuiltinHandlingRows) / sizeof(g_aBuiltinHandlingRows[0]);
