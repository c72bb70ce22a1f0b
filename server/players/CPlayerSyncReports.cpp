#include "players/CPlayerSync.h"

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSyncRecords.h"
#include "players/CPlayerSyncWorld.h"
#include "players/WeaponSlots.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"

// The client messages that accompany movement: the toggle, three small
// relays, the entry lock release, area effects, projectiles, weapon loss and
// the client value.

namespace
{
constexpr uint32_t AREA_EFFECT_INTERVAL_MS = 500;
// A projectile starts within this distance of its launcher.
constexpr float PROJECTILE_REACH = 100.0f;
// The one vehicle model that launches rockets.
constexpr int ROCKET_VEHICLE_MODEL = 155;

enum EExplosionType
{
    EXPLOSION_SMALL = 0,
    EXPLOSION_FIRE = 1,
    EXPLOSION_ROCKET = 2,
};

// Base weapons of the projectiles, and how long each may take to land.
struct SProjectileRule
{
    int nBaseWeapon;
    uint32_t uiLifetimeMs;
    // Rockets may also come from a rocket-launching vehicle.
    bool bRocket;
};

const SProjectileRule g_aProjectileRules[] = {
    {30, 6000, true},   {16, 6000, true},  {12, 6000, false},
    {13, 12000, false}, {15, 7000, false}, {14, 5000, false},
};

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// The guard, then the slot's player while it is not being removed.
CPlayer* JoinedPlayer(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

// High priority, channel 0, to every player that has the sender streamed in,
// and to the sender itself when asked.
void SendAround(CPlayer* pSender, const RakNet::BitStream& stream, int nReliability, bool bToSender)
{
    CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
    if (!pNetwork)
        return;
    if (CStreamer* pStreamer = g_pServer->m_pStreamer)
    {
        pStreamer->ForEachObserverOfPlayer(
            pSender, [&](CPlayer* pObserver, CPlayer*)
            { pNetwork->SendToPlayer(pObserver->GetSlot(), stream, NET_HIGH_PRIORITY, nReliability, 0); });
    }
    if (bToSender)
        pNetwork->SendToPlayer(pSender->GetSlot(), stream, NET_HIGH_PRIORITY, nReliability, 0);
}

const SProjectileRule* FindProjectileRule(int nBaseWeapon)
{
    for (const SProjectileRule& rule : g_aProjectileRules)
    {
        if (rule.nBaseWeapon == nBaseWeapon)
            return &rule;
    }
    return nullptr;
}

// Explosives are thrown or fired by hand from the weapon held on foot;
// rockets also from a rocket-launching vehicle.
bool MayLaunch(const CPlayer* pPlayer, int nWeapon, const SProjectileRule& rule)
{
    if (pPlayer->m_usVehicleId == 0)
        return nWeapon == pPlayer->m_byWeapon;
    if (!rule.bRocket)
        return false;
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(pPlayer->m_usVehicleId) : nullptr;
    return pVehicle && pWorld->GetVehicleModel(pVehicle) == ROCKET_VEHICLE_MODEL;
}

// Expiry 0 marks a slot never used or whose projectile landed; any other
// expiry is a clock mark, compared so that the clock's wrap changes nothing.
bool ProjectileOver(const CPlayer* pPlayer, int nIndex, uint32_t uiNow)
{
    const uint32_t uiExpiry = pPlayer->m_auiProjectileExpiry[nIndex];
    return uiExpiry == 0 || ClockPassed(uiNow, uiExpiry);
}

// The highest projectile slot whose projectile has landed or expired; -1 when all four fly.
int FreeProjectileSlot(const CPlayer* pPlayer, uint32_t uiNow)
{
    for (int i = PROJECTILE_SLOT_COUNT - 1; i >= 0; --i)
    {
        if (ProjectileOver(pPlayer, i, uiNow))
            return i;
    }
    return -1;
}

int ExplosionTypeOf(int nWeapon)
{
    const int nBase = GetBaseWeapon(nWeapon);
    if (nBase == 30 || nBase == 16)
        return EXPLOSION_ROCKET;
    return nBase == 15 ? EXPLOSION_FIRE : EXPLOSION_SMALL;
}
} // namespace

void CPlayerSync::HandleClientToggle(int nSlot, int nMessageId, const uint8_t*, int)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    const bool bOn = nMessageId == ID_TOGGLE_ON;
    if (!pPlayer || pPlayer->m_bClientToggle == bOn)
        return;
    CEntityLock lock(pPlayer);
    pPlayer->m_bClientToggle = bOn;
    if (!g_pPluginManager)
        return;
    if (bOn)
        g_pPluginManager->OnPlayerToggleOn(pPlayer);
    else
        g_pPluginManager->OnPlayerToggleOff(pPlayer);
}

void CPlayerSync::HandleTwoByteReport(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint8_t byA = 0;
    uint8_t byB = 0;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, byA, byB))
        return;
    RakNet::BitStream relay;
    CNetwork::WriteMessageId(relay, ID_TWO_BYTE_RELAY);
    relay.Write(pPlayer->GetPlayerId());
    relay.Write(byA);
    relay.Write(byB);
    SendAround(pPlayer, relay, NET_RELIABLE_ORDERED, false);
}

void CPlayerSync::HandleValueReport(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint32_t uiValue = 0;
    uint8_t byA = 0;
    uint8_t byB = 0;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, uiValue, byA, byB))
        return;
    RakNet::BitStream relay;
    CNetwork::WriteMessageId(relay, ID_VALUE_RELAY);
    relay.Write(pPlayer->GetPlayerId());
    relay.Write(uiValue);
    relay.Write(byA);
    relay.Write(byB);
    SendAround(pPlayer, relay, NET_RELIABLE_ORDERED, false);
}

void CPlayerSync::HandleThreeByteReport(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint8_t byA = 0;
    uint8_t byB = 0;
    uint8_t byC = 0;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, byA, byB, byC))
        return;
    RakNet::BitStream relay;
    CNetwork::WriteMessageId(relay, ID_THREE_BYTE_RELAY);
    relay.Write(pPlayer->GetPlayerId());
    relay.Write(byA);
    relay.Write(byB);
    relay.Write(byC);
    SendAround(pPlayer, relay, NET_RELIABLE, false);
}

void CPlayerSync::HandleEntryLockRelease(int nSlot, int, const uint8_t*, int)
{
    if (CPlayer* pPlayer = JoinedPlayer(nSlot))
        pPlayer->m_bEntryLock = false;
}

// Long-range weapons report where their effect lands, at most every 500 ms.
void CPlayerSync::HandleAreaEffect(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint8_t byWeapon = 0;
    Vector vOrigin;
    Vector vSecond;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, byWeapon, vOrigin, vSecond) || !pPlayer->m_bSpawned)
        return;
    const uint32_t uiNow = Now();
    const int nBase = GetBaseWeapon(byWeapon);
    if (!(uiNow - pPlayer->m_uiLastAreaEffectTime > AREA_EFFECT_INTERVAL_MS) || (nBase != 28 && nBase != 29))
        return;
    pPlayer->m_uiLastAreaEffectTime = uiNow;
    CServer::ClampToWorld(vOrigin);
    RakNet::BitStream relay;
    CNetwork::WriteMessageId(relay, ID_AREA_EFFECT_RELAY);
    relay.Write(pPlayer->GetPlayerId());
    relay.Write(byWeapon);
    relay.Write(vOrigin);
    relay.Write(vSecond);
    SendAround(pPlayer, relay, NET_RELIABLE_ORDERED, true);
}

// At most four projectiles per player are in flight; each gets a key that its
// impact report must name before the projectile expires.
void CPlayerSync::HandleProjectileLaunch(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint8_t byWeapon = 0;
    Vector vOrigin;
    Vector vSecond;
    Quaternion qRotation;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, byWeapon, vOrigin, vSecond, qRotation) ||
        !pPlayer->m_bSpawned)
        return;
    const uint32_t uiNow = Now();
    const int nIndex = FreeProjectileSlot(pPlayer, uiNow);
    if (nIndex < 0)
        return;
    CServer::ClampToWorld(vOrigin);
    if (Vector::Distance(vOrigin, pPlayer->m_vPosition) > PROJECTILE_REACH)
        return;
    const SProjectileRule* pRule = FindProjectileRule(GetBaseWeapon(byWeapon));
    if (!pRule || !MayLaunch(pPlayer, byWeapon, *pRule))
        return;
    const uint16_t usKey = pPlayer->m_usNextProjectileKey++;
    const uint32_t uiExpiry = uiNow + pRule->uiLifetimeMs;
    pPlayer->m_auiProjectileExpiry[nIndex] = uiExpiry != 0 ? uiExpiry : 1;
    pPlayer->m_abyProjectileWeapon[nIndex] = byWeapon;
    pPlayer->m_ausProjectileKey[nIndex] = usKey;

    RakNet::BitStream relay;
    CNetwork::WriteMessageId(relay, ID_PROJECTILE);
    relay.Write(pPlayer->GetPlayerId());
    relay.Write(byWeapon);
    relay.Write(usKey);
    relay.Write(vOrigin);
    relay.Write(vSecond);
    relay.Write(qRotation);
    SendAround(pPlayer, relay, NET_RELIABLE_ORDERED, true);
}

// Only a projectile still in flight explodes, and only once.
void CPlayerSync::HandleProjectileImpact(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    uint16_t usKey = 0;
    Vector vPosition;
    uint16_t usVehicleId = 0;
    if (!pPlayer || !ReadSyncRecords(pPayload, nLength, usKey, vPosition, usVehicleId) ||
        !pPlayer->m_bSpawned)
        return;
    const uint32_t uiNow = Now();
    int nIndex = -1;
    for (int i = 0; i < PROJECTILE_SLOT_COUNT && nIndex < 0; ++i)
    {
        if (pPlayer->m_ausProjectileKey[i] == usKey && !ProjectileOver(pPlayer, i, uiNow))
            nIndex = i;
    }
    if (nIndex < 0)
        return;
    pPlayer->m_auiProjectileExpiry[nIndex] = 0;
    const int nType = ExplosionTypeOf(pPlayer->m_abyProjectileWeapon[nIndex]);
    CServer::ClampToWorld(vPosition);
    CEntityLock lock(pPlayer);
    if (usVehicleId == 0)
    {
        if (g_pFuncs && g_pFuncs->CreateExplosion)
            g_pFuncs->CreateExplosion(pPlayer->m_usWorld, nType, vPosition.x, vPosition.y, vPosition.z,
                                      pPlayer->GetSlot(), 0);
        return;
    }
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(usVehicleId) : nullptr;
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    if (pVehicle && pStreamer && pStreamer->IsVehicleStreamed(pPlayer, usVehicleId))
        pWorld->ApplyExplosion(pVehicle, nType, vPosition, pPlayer);
}

// The client lost the weapon by itself: the server forgets it too, and has
// nothing to tell the client.
void CPlayerSync::HandleWeaponLost(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = JoinedPlayer(nSlot);
    if (pPlayer && nLength >= 1)
        pPlayer->RemoveWeapon(pPayload[0], false);
}

// No join guard applies to this message; the value is only kept for plugins to read.
void CPlayerSync::HandleClientValue(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    CPlayer* pPlayer = g_pServer && g_pServer->m_pPlayerPool ? g_pServer->m_pPlayerPool->Get(nSlot) : nullptr;
    double dValue = 0.0;
    if (pPlayer && ReadSyncRecords(pPayload, nLength, dValue))
        pPlayer->m_dClientValue = dValue;
}
