#include "players/CPlayer.h"

#include "Announcements.h"
#include "CServer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"

// A player's life as its client reports it: choosing a class, asking to
// spawn, spawning, dying. Each step runs under a lock on the player, since
// the plugin events it raises may remove the player.

namespace
{
// The class a server with classes on but none defined offers.
constexpr uint32_t DEFAULT_CLASS_COLOUR = 0xFFAA5500;
constexpr float DEFAULT_CLASS_X = -657.786f;
constexpr float DEFAULT_CLASS_Y = 762.576f;
constexpr float DEFAULT_CLASS_Z = 11.601f;
constexpr int DEFAULT_CLASS_WEAPON = 17;
constexpr int DEFAULT_CLASS_AMMO = 100;

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

bool UsesClasses()
{
    return g_pServer && g_pServer->m_bUseClasses;
}

// 1 steps forward, 255 back, anything else stays.
int DirectionOf(uint8_t byDirection)
{
    return byDirection == 1 ? 1 : (byDirection == 255 ? -1 : 0);
}
} // namespace

void CPlayer::RequestClass(uint8_t byDirection)
{
    CEntityLock lock(this);
    int nValue = byDirection;
    if (UsesClasses())
    {
        ApplyClassSelection(DirectionOf(byDirection));
        if (IsMarkedForDeletion())
            return;
        nValue = m_byClassIndex;
    }
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerRequestClass(this, nValue);
    if (lock.Release() && !IsMarkedForDeletion())
        SendPlayerSignal(this, ID_LIFECYCLE_REPLY);
}

// The class-selection screen: the camera and the stand of the server's
// settings, then the chosen class's looks and weapons.
void CPlayer::ApplyClassSelection(int nDirection)
{
    int nCount = g_pServer->m_nClassCount;
    if (nCount == 0)
    {
        if (g_pFuncs && g_pFuncs->AddPlayerClass)
            g_pFuncs->AddPlayerClass(0, static_cast<int32_t>(DEFAULT_CLASS_COLOUR), 0, DEFAULT_CLASS_X,
                                     DEFAULT_CLASS_Y, DEFAULT_CLASS_Z, 0.0f, DEFAULT_CLASS_WEAPON,
                                     DEFAULT_CLASS_AMMO, 0, 0, 0, 0);
        nCount = 1;
    }
    m_byClassIndex = static_cast<uint8_t>((nCount + nDirection + m_byClassIndex) % nCount);
    SetCamera(g_pServer->m_vSpawnCameraPosition, g_pServer->m_vSpawnCameraLookAt);
    SetPosition(g_pServer->m_vSpawnPlayerPosition, true);
    if (IsMarkedForDeletion())
        return;
    const SClassRecord* pClass = g_pServer->GetClass(m_byClassIndex);
    if (!pClass)
        return;
    const SClassRecord record = *pClass;
    SetClassByteB(record.byClassByteB, true);
    SetClassByteA(record.byClassByteA, true);
    SetColour(record.uiColour, true);
    GiveClassWeapons(record);
}

void CPlayer::GiveClassWeapons(const SClassRecord& record)
{
    for (int i = 0; i < 3; ++i)
    {
        if (record.abyWeapon[i] != 0)
            GiveWeaponAddingAmmo(record.abyWeapon[i], record.ausAmmo[i], false);
    }
}

// The reply 177 goes out whether or not the spawn was permitted. A player
// that spawned less than SPAWN_REPEAT_INTERVAL ago is not permitted yet, as
// one whose store download is pending is not: its client asks again.
void CPlayer::RequestSpawn()
{
    CEntityLock lock(this);
    const int nAllowed = g_pPluginManager ? g_pPluginManager->OnPlayerRequestSpawn(this) : 1;
    if (nAllowed != 0 && !IsMarkedForDeletion() && !SpawnedRecently())
        PermitSpawn();
    if (lock.Release() && !IsMarkedForDeletion())
        SendPlayerSignal(this, ID_LIFECYCLE_REPLY);
}

// Only a spawn the server permitted counts: a client that reported one
// unasked would pass by the plugins' spawn request and the store download.
void CPlayer::ReportSpawned()
{
    if (IsMarkedForDeletion() || m_bSpawned || !m_bSpawnPermitted)
        return;
    CEntityLock lock(this);
    m_vSpeed = Vector();
    ResetWeapons(false);
    ClearProjectiles();
    m_bSpawned = true;
    m_bSpawnPermitted = false;
    m_bSpawnedRecently = true;
    m_uiLastSpawnTime = g_pServer ? g_pServer->m_uiNow : 0;
    if (UsesClasses() && g_pServer->GetClass(m_byClassIndex))
    {
        ApplySpawnClass();
        if (IsMarkedForDeletion())
            return;
    }
    m_bNeedsResync = false;
    UpdateGridCell();
    if (CStreamer* pStreamer = Streamer())
        pStreamer->StreamPlayer(this);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerSpawn(this);
}

void CPlayer::ApplySpawnClass()
{
    const SClassRecord record = *g_pServer->GetClass(m_byClassIndex);
    SetPosition(Vector(record.fX, record.fY, record.fZ), true);
    if (IsMarkedForDeletion())
        return;
    SetAngle(record.fAngle, true);
    SetClassByteB(record.byClassByteB, true);
    SetClassByteA(record.byClassByteA, true);
    SetColour(record.uiColour, true);
    for (Vector& vSpeed : m_avSpeedHistory)
        vSpeed = Vector();
    GiveClassWeapons(record);
}

// Also asked between ticks: a spawn request may arrive before the tick that
// would end the interval.
bool CPlayer::SpawnedRecently() const
{
    const uint32_t uiNow = g_pServer ? g_pServer->m_uiNow : 0;
    return m_bSpawnedRecently && uiNow - m_uiLastSpawnTime < SPAWN_REPEAT_INTERVAL;
}

// Only a spawned player dies, so that one death is announced once.
void CPlayer::ReportDeath(uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart)
{
    if (IsMarkedForDeletion() || !m_bSpawned)
        return;
    CEntityLock lock(this);
    ProcessVehicleExit(this, true);
    if (IsMarkedForDeletion())
        return;
    m_bSpawned = false;
    m_bSpawnPermitted = false;
    SetState(PLAYER_STATE_NOT_SPAWNED);
    if (IsMarkedForDeletion())
        return;
    CPlayer* pKiller = m_pPool->Get(byKillerSlot);
    AnnounceDeath(this, pKiller, byReason, byBodyPart);
    SendDeathNotice(this, byReason, byKillerSlot, byBodyPart);
    m_bNeedsResync = true;
    ClearProjectiles();
    LeaveGridCell();
    if (CStreamer* pStreamer = Streamer())
        pStreamer->OnPlayerLeftWorld(this);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerDeath(this, pKiller, byReason, byBodyPart);
}
