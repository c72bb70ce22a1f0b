#include "players/WeaponSlots.h"

#include "world/WorldContent.h"

namespace
{
// Weapon slot of each game weapon 0..34; 10 where the game has no weapon.
const unsigned char g_abyGameWeaponSlot[35] = {
    0, 0,                         // 0, 1: fists, knuckles
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, // 2..11: melee
    2, 2, 2, 2, 2,                // 12..16: thrown
    3, 3,                         // 17, 18: pistols
    4, 4, 4,                      // 19..21: shotguns
    5, 5, 5, 5,                   // 22..25: sub-machine guns
    6, 6,                         // 26, 27: rifles
    8, 8,                         // 28, 29: long range
    7, 7, 7, 7,                   // 30..33: heavy
    9,                            // 34: detonator
};
} // namespace

int GetWeaponSlot(int nWeapon)
{
    if (nWeapon >= 0 && nWeapon < static_cast<int>(sizeof(g_abyGameWeaponSlot)))
        return g_abyGameWeaponSlot[nWeapon];
    if (nWeapon >= FIRST_CUSTOM_WEAPON && nWeapon <= LAST_CUSTOM_WEAPON)
    {
        int nSlot = GetCustomWeaponSlot(nWeapon);
        return nSlot >= 0 && nSlot < WEAPON_SLOT_COUNT ? nSlot : WEAPON_SLOT_INVALID;
    }
    return WEAPON_SLOT_INVALID;
}

int GetBaseWeapon(int nWeapon)
{
    if (nWeapon >= FIRST_CUSTOM_WEAPON && nWeapon <= LAST_CUSTOM_WEAPON)
        return GetCustomWeaponBase(nWeapon);
    return nWeapon;
}
