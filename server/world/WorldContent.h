#pragma once

class CPlayer;

// What the player code needs from the world content modules. Each function is
// defined by its owner (custom weapons, weapon data, markers, key binds, radio
// stations, handling rules, the streamer's hidden map objects).

// Custom weapon table: slot 0..9 of a registered weapon 100..249, 10 when
// unregistered; its base weapon, -1 when unregistered.
int GetCustomWeaponSlot(int nWeapon);
int GetCustomWeaponBase(int nWeapon);

// Sent to a player once, when its record is created, in this order after the
// join notices: weapon data overrides, handling rules, visible markers, key
// binds, radio stations. The hidden map objects go before the join notices.
void SendHiddenMapObjectsTo(CPlayer* pPlayer);
void SendWeaponDataTo(CPlayer* pPlayer);
void SendHandlingRulesTo(CPlayer* pPlayer);
void SendMarkersTo(CPlayer* pPlayer);
void SendKeyBindsTo(CPlayer* pPlayer);
void SendRadioStationsTo(CPlayer* pPlayer);

// Coordinate markers: takes back from the player every marker it can see,
// before one of its worlds changes (SendMarkersTo then sends the new set).
void WithdrawMarkersFrom(CPlayer* pPlayer);
