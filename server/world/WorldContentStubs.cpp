#include "world/WorldContentStubs.h"

// Placeholders until each owner exists: nothing is registered, nothing is sent.

// Custom weapon table (custom weapons module).
int GetCustomWeaponSlot(int)
{
    return 10;
}

// Custom weapon table (custom weapons module).
int GetCustomWeaponBase(int)
{
    return -1;
}

// Hidden map objects (the streamer's hidden set, message 219).
void SendHiddenMapObjectsTo(CPlayer*) {}

// Weapon data overrides (weapon data module, message 222).
void SendWeaponDataTo(CPlayer*) {}

// Coordinate markers the player can see (marker pool).
void SendMarkersTo(CPlayer*) {}

// Key binds (key bind table).
void SendKeyBindsTo(CPlayer*) {}

// Custom radio stations (radio station table).
void SendRadioStationsTo(CPlayer*) {}

// Coordinate markers the player can see (marker pool).
void WithdrawMarkersFrom(CPlayer*) {}
