#pragma once

// Where a weapon goes in a player's ten weapon slots, and which game weapon a
// weapon identifier behaves as. Custom weapons (100..249) take both from their
// registration; an unregistered one has no slot.

constexpr int WEAPON_SLOT_COUNT = 10;
// The slot of a weapon that fits no slot.
constexpr int WEAPON_SLOT_INVALID = 10;
constexpr int FIRST_CUSTOM_WEAPON = 100;
constexpr int LAST_CUSTOM_WEAPON = 249;

// 0..9, or WEAPON_SLOT_INVALID.
int GetWeaponSlot(int nWeapon);

// The identifier itself for game weapons; the registered base weapon for
// custom weapons (-1 while unregistered).
int GetBaseWeapon(int nWeapon);
