#pragma once

#include <cstdint>

class CPlayer;

// The three rules that keep a client from raising its own health, armour,
// weapons or ammunition: only the server (and pickups, through the same
// setters) may do that. A rule applies to a kind of value only once the
// client has acknowledged the server's last change of that kind, or 3000 ms
// after it; until then the server's record wins. A violation prints its line
// and marks the player, which the pool kicks at the next tick.
class CAntiCheat
{
public:
    // How long a server change of health, armour or weapons waits for the
    // client's acknowledgement before the rules apply anyway.
    static constexpr uint32_t CHANGE_GRACE_MS = 3000;

    // Whether the rule of a kind (EChangeKind) applies to the sync being processed.
    static bool GraceApplies(const CPlayer* pPlayer, int nKind);

    // Health and armour reported in on-foot and aim sync: a decrease is stored,
    // an increase is a violation and leaves the stored value. The server's
    // anti-cheat switch turns these two kicks off (the value still is not stored).
    static void CheckHealth(CPlayer* pPlayer, uint8_t byReported);
    static void CheckArmour(CPlayer* pPlayer, uint8_t byReported);

    // Runs after the reported weapon and ammunition were stored in the weapon
    // in hand: empty slots lose their weapon, the weapon in hand is placed in
    // its slot, and weapons or ammunition the server never gave are refused.
    static void CheckWeapon(CPlayer* pPlayer);

    // Puts the weapon in hand back to slot 0 without telling the client; the
    // client learns the server's view from the next change.
    static void SelectSlotZero(CPlayer* pPlayer);

private:
    static void CheckRise(CPlayer* pPlayer, int nKind, uint8_t& byStored, uint8_t byReported,
                          const char* szWhat);
    static void MarkForKick(CPlayer* pPlayer);
};
