#include "world/WeaponDataDefaults.h"

// Data only. Operators replace rows from weapondata.txt at start-up (see the
// README); the rows left 0 here have no known values.
// clang-format off
const double g_aadWeaponDataDefaults[WEAPON_DATA_WEAPONS][WEAPON_DATA_FIELDS] = {
    // 0
    {0, 2.4, 250, 100, 1000, 8, -1, 0.6, -1, -1, 0.1, 0.65, 0.3, 7, 0, 99, 6, 0, 99, 12, 99, -1, -1, 1056768, 0},
    {}, // 1
    {}, // 2
    {}, // 3
    {}, // 4
    {}, // 5
    {}, // 6
    {}, // 7
    {}, // 8
    {}, // 9
    {}, // 10
    {}, // 11
    {}, // 12
    {}, // 13
    {}, // 14
    {}, // 15
    {}, // 16
    // 17
    {1, 30, 210, 450, 17, 25, -1, -1, -1, -1, 0.3, 0, 0.09, 14, 11, 18, 14, 11, 18, 12, 99, 274, -1, 426176, 3},
    {}, // 18
    {}, // 19
    {}, // 20
    {}, // 21
    {}, // 22
    {}, // 23
    {}, // 24
    {}, // 25
    {}, // 26
    {}, // 27
    {}, // 28
    {}, // 29
    {}, // 30
    {}, // 31
    {}, // 32
    // 33
    {1, 75, 30, 350, 500, 140, -1, -1, -1, -1, 1.28, 0, 0.5, 23, 11, 12, 11, 11, 12, 11, 35, 290, 294, 512, 7},
};
// clang-format on
