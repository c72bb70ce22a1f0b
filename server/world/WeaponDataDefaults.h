#pragma once

// The built-in weapon data: one row per game weapon 0..33, one column per
// field 1..25 (column = field - 1). Rows without known values are 0.
constexpr int WEAPON_DATA_WEAPONS = 34;
constexpr int WEAPON_DATA_FIELDS = 25;

extern const double g_aadWeaponDataDefaults[WEAPON_DATA_WEAPONS][WEAPON_DATA_FIELDS];
