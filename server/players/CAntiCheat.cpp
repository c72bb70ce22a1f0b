#include "players/CAntiCheat.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/WeaponSlots.h"
#include "plugins/CPluginManager.h"

namespace
{
// The one weapon a client may report with any ammunition.
constexpr int WEAPON_DETONATOR = 34;

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

bool HealthKicksDisabled()
{
    return g_pServer && g_pServer->m_bAnticheatDisabled;
}
} // namespace

// Before any change of the kind, the pending sequence is 0 and the rule applies.
bool CAntiCheat::GraceApplies(const CPlayer* pPlayer, int nKind)
{
    if (nKind < 0 || nKind >= CHANGE_KIND_COUNT)
        return true;
    return pPlayer->m_uiClientAck >= pPlayer->m_auiPendingSequence[nKind] ||
           Now() - pPlayer->m_auiPendingTime[nKind] > CHANGE_GRACE_MS;
}

void CAntiCheat::CheckHealth(CPlayer* pPlayer, uint8_t byReported)
{
    CheckRise(pPlayer, CHANGE_HEALTH, pPlayer->m_byHealth, byReported, "health");
}

void CAntiCheat::CheckArmour(CPlayer* pPlayer, uint8_t byReported)
{
    CheckRise(pPlayer, CHANGE_ARMOUR, pPlayer->m_byArmour, byReported, "armour");
}

// While a change is unacknowledged the report is neither believed nor held
// against the client: it may not have applied the change yet.
void CAntiCheat::CheckRise(CPlayer* pPlayer, int nKind, uint8_t& byStored, uint8_t byReported,
                           const char* szWhat)
{
    if (!GraceApplies(pPlayer, nKind))
        return;
    if (byReported <= byStored)
    {
        byStored = byReported;
        return;
    }
    if (HealthKicksDisabled())
        return;
    LogMessage("Kicking player '%s' (%d), %s increased from %d to %d.", pPlayer->GetName(),
               pPlayer->GetSlot(), szWhat, byStored, byReported);
    MarkForKick(pPlayer);
}

void CAntiCheat::CheckWeapon(CPlayer* pPlayer)
{
    for (int nSlot = 1; nSlot < WEAPON_SLOT_COUNT; ++nSlot)
    {
        if (pPlayer->m_ausSlotAmmo[nSlot] == 0)
            pPlayer->m_abySlotWeapon[nSlot] = 0;
    }
    const int nSlot = GetWeaponSlot(pPlayer->m_byWeapon);
    if (nSlot < 0 || nSlot >= WEAPON_SLOT_COUNT)
    {
        SelectSlotZero(pPlayer);
        return;
    }
    pPlayer->m_byWeaponSlot = static_cast<uint8_t>(nSlot);
    if (pPlayer->m_byWeapon != WEAPON_DETONATOR)
    {
        if (GraceApplies(pPlayer, CHANGE_WEAPONS))
        {
            if (pPlayer->m_byWeapon != pPlayer->m_abySlotWeapon[nSlot])
            {
                // An empty weapon the server never gave is only put away.
                if (pPlayer->m_usAmmo > 0)
                {
                    LogMessage("Kicking player '%s' (%d), acquired weapon %d.", pPlayer->GetName(),
                               pPlayer->GetSlot(), pPlayer->m_byWeapon);
                    MarkForKick(pPlayer);
                }
                SelectSlotZero(pPlayer);
                return;
            }
            // Fists (slot 0) have no ammunition to cheat with.
            if (pPlayer->m_usAmmo > pPlayer->m_ausSlotAmmo[nSlot] && nSlot != 0)
            {
                LogMessage("Kicking player '%s' (%d), weapon %d ammo increased from %d to %d.",
                           pPlayer->GetName(), pPlayer->GetSlot(), pPlayer->m_byWeapon,
                           pPlayer->m_ausSlotAmmo[nSlot], pPlayer->m_usAmmo);
                MarkForKick(pPlayer);
                pPlayer->m_usAmmo = pPlayer->m_ausSlotAmmo[nSlot];
            }
        }
        else
        {
            // The server's view wins while its change is in flight.
            pPlayer->m_usAmmo = pPlayer->m_ausSlotAmmo[nSlot];
            pPlayer->m_byWeapon = pPlayer->m_abySlotWeapon[nSlot];
        }
    }
    pPlayer->m_abySlotWeapon[nSlot] = pPlayer->m_byWeapon;
    pPlayer->m_ausSlotAmmo[nSlot] = pPlayer->m_usAmmo;
}

void CAntiCheat::SelectSlotZero(CPlayer* pPlayer)
{
    pPlayer->m_byWeaponSlot = 0;
    pPlayer->m_byWeapon = pPlayer->m_abySlotWeapon[0];
    pPlayer->m_usAmmo = pPlayer->m_ausSlotAmmo[0];
}

// The kick itself happens at the next tick, outside the message handler.
void CAntiCheat::MarkForKick(CPlayer* pPlayer)
{
    pPlayer->m_byPendingRemoval = 1;
}
