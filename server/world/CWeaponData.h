#pragma once

#include <cstdint>
#include <map>
#include <utility>

#include "world/WeaponDataDefaults.h"

// The numeric properties of the game weapons 0..33 (fields 1..25) that
// plugins override: the overrides are kept by (weapon, field) and pushed to
// every client. Integer fields keep the value truncated toward zero (low 32
// bits), float fields a 32-bit float. One instance, inside CServer.
class CWeaponData
{
public:
    static constexpr int ALL_WEAPONS = 255;

    CWeaponData();

    // Replaces built-in rows from an operator's data file. A missing file is
    // no error; a malformed one is refused whole with a line naming the file
    // and line, and the built-in rows stay. False only for a refusal.
    bool LoadDefaults(const char* szPath);

    static bool IsIntegerField(int nField);

    // False unless weapon 0..33 and field 1..25; stores and tells every client.
    bool Set(int nWeapon, int nField, double dValue);
    // The override converted back, else the default; 0 outside the table.
    double Get(int nWeapon, int nField) const;
    bool IsModified(int nWeapon, int nField) const;
    // Each removes overrides and tells clients as described at its message.
    void ResetValue(int nWeapon, int nField);
    void ResetWeapon(int nWeapon);
    void ResetAll();
    // Every override in key order, to a new player, in messages of 20.
    void SendAllTo(int nSlot) const;

    double GetDefault(int nWeapon, int nField) const;

private:
    static uint32_t Convert(int nField, double dValue);
    static double ConvertBack(int nField, uint32_t uiValue);

    double m_aadDefaults[WEAPON_DATA_WEAPONS][WEAPON_DATA_FIELDS];
    std::map<std::pair<int32_t, int32_t>, uint32_t> m_Overrides;
};
