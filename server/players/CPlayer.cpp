#include "players/CPlayer.h"

#include <cstring>

#include "Announcements.h"
#include "CServer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"
#include "world/WorldContent.h"

namespace
{
CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// A far-player coordinate: position * 10, truncated, kept in 16 bits. The
// range check keeps the float-to-integer conversion defined for any input.
int16_t ScaleFarCoordinate(float fValue)
{
    const float fScaled = fValue * 10.0f;
    if (!(fScaled > -2147483648.0f && fScaled < 2147483648.0f))
        return 0;
    return static_cast<int16_t>(static_cast<int32_t>(fScaled));
}
} // namespace

// Creation, in the order the joining client expects its messages.
CPlayer::CPlayer(CPlayerPool* pPool, uint8_t bySlot, uint32_t uiPlayerId, const char* szName,
                 const char* szUniqueId)
    : m_pPool(pPool), m_bySlot(bySlot), m_uiPlayerId(uiPlayerId)
{
    // 1: identity, links into the pool's list and the streamer's grid.
    m_PoolNode.pEntity = this;
    m_pPool->LinkFront(&m_PoolNode);
    CStreamer* pStreamer = Streamer();
    m_pGrid = pStreamer ? pStreamer->GetPlayerGrid() : nullptr;

    // 2: the record's defaults.
    SetDefaults(szName, szUniqueId);

    // 3: server information with the store files; spawning waits for them.
    m_bStoreDownloadPending = SendServerInfo(this) > 0;

    // 4: the flag word, bit 256 from the server's default, sent once more.
    m_usFlags = PLAYER_FLAGS_INITIAL;
    SetFlag(PLAYER_FLAG_OPTION8, g_pServer && g_pServer->m_byDefaultPlayerOption8 != 0);
    SendFlags(this);

    // 5, 6, 7: world state, hidden map objects, the players already here.
    if (g_pServer)
    {
        g_pServer->SendWorldState(ID_WORLD_OPTIONS, m_bySlot);
        g_pServer->SendWorldState(ID_TIME_STATE, m_bySlot);
        g_pServer->SendWorldState(ID_DEATH_SETTINGS, m_bySlot);
    }
    SendHiddenMapObjectsTo(this);
    m_pPool->SendPlayersTo(this);

    // 8: the world's custom content.
    SendWeaponDataTo(this);
    SendHandlingRulesTo(this);
    SendMarkersTo(this);
    SendKeyBindsTo(this);
    SendRadioStationsTo(this);

    // 9, 10: the others learn of the newcomer.
    SendJoinNotice(this, -1);
    AnnounceConnect(this);
}

// Every field as a new player starts; nothing is sent.
void CPlayer::SetDefaults(const char* szName, const char* szUniqueId)
{
    // The clock of creation rather than 0: a player that just joined has not
    // been silent, so it must not be reported away at its first tick.
    m_uiLastSyncTime = Now();
    m_uiChangeSequence = 1;
    m_uiClientAck = 0;
    memset(m_auiPendingSequence, 0, sizeof(m_auiPendingSequence));
    memset(m_auiPendingTime, 0, sizeof(m_auiPendingTime));
    m_uiLastAreaEffectTime = 0;
    m_usNextProjectileKey = 1;
    ClearProjectiles();
    m_uiLastFarListTime = 0;
    m_bySyncType = 0;
    m_byState = PLAYER_STATE_NOT_SPAWNED;
    m_bSpawned = false;
    m_bSpawnPermitted = false;
    m_bSpawnedRecently = false;
    m_uiLastSpawnTime = 0;
    m_bAway = false;
    m_bClientToggle = false;
    m_bySpectateTarget = NO_SPECTATE_TARGET;
    m_byPendingRemoval = 0;
    m_usWorld = 1;
    m_usSecondaryWorld = 0;
    m_usVehicleId = 0;
    m_usKeys = 0;
    m_fAngle = 0.0f;
    m_bNeedsResync = true;
    m_byExtraState = 255;
    m_byHealth = 100;
    m_byArmour = 0;
    m_byClientFlags2 = 0;
    m_bySyncByte37 = 0;
    m_bySyncFlags = 0;
    m_bySyncCode = 0;
    m_bySettableByte = 0;
    ResetWeapons(false);
    m_byClassByteB = 0;
    m_byClassByteA = 0;
    m_byClassIndex = 0;
    m_uiColour = 0xFFFFFFFF;
    m_nMoney = 0;
    m_nScore = 0;
    m_usSurfaceId = 0;
    m_byEntryState = 0;
    m_usEntryVehicle = 0;
    m_uiEntryDeadline = 0;
    m_byEntrySeat = 255;
    m_byPassengerSeat = 255;
    m_bEntryLock = false;
    m_uiEntryLockExpiry = 0;
    m_byDisconnectReason = DISCONNECT_TIMEOUT;
    m_bAdmin = false;
    m_usFlags = PLAYER_FLAGS_INITIAL;
    m_bFarListDue = false;
    m_bStoreDownloadPending = false;
    CopyText(m_szName, szName, sizeof(m_szName));
    CopyText(m_szUniqueId, szUniqueId, sizeof(m_szUniqueId));
    m_dClientValue = 0.0;
}

// Removal. Runs when the deletion takes effect; the player is marked, so its
// own setters do nothing from here on, but plugins may still read it until
// its slot is detached at the end.
CPlayer::~CPlayer()
{
    // 1: nobody keeps spectating a player that is gone.
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        CPlayer* pOther = m_pPool->Get(nSlot);
        if (pOther && pOther != this && pOther->m_bySpectateTarget == m_bySlot)
            pOther->SetSpectateTarget(nullptr);
    }
    // 2, 3, 4: announcement, vehicle, streamer.
    AnnounceDisconnect(this, m_byDisconnectReason);
    ProcessVehicleExit(this, true);
    LeaveGridCell();
    if (CStreamer* pStreamer = Streamer())
        pStreamer->RemovePlayer(this);
    // 5, 6, 7, 8: the others are told, then the plugins, then the slot frees.
    SendLeaveNotice(this);
    m_pPool->Unlink(&m_PoolNode);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerDisconnect(this, m_byDisconnectReason);
    m_pPool->Detach(m_bySlot);
}

// Worlds are 16-bit and never 0; plugin values are brought into 1..65535.
void CPlayer::SetWorld(int nWorld)
{
    if (IsMarkedForDeletion())
        return;
    const uint16_t usWorld = static_cast<uint16_t>(nWorld < 1 ? 1 : (nWorld > 0xFFFF ? 0xFFFF : nWorld));
    if (usWorld == m_usWorld)
        return;
    CEntityLock lock(this);
    WithdrawMarkersFrom(this);
    m_usWorld = usWorld;
    SendMarkersTo(this);
    ResetDistantSpectators();
    // Its own target, now perhaps in another world, is set again: the
    // spectating rule lets go of a target outside the player's world.
    if (!IsMarkedForDeletion() && m_bySpectateTarget != NO_SPECTATE_TARGET)
        SetSpectateTarget(m_pPool->Get(m_bySpectateTarget));
    if (IsMarkedForDeletion())
        return;
    if (CStreamer* pStreamer = Streamer())
        pStreamer->StreamPlayer(this);
    m_bFarListDue = true;
}

void CPlayer::SetSecondaryWorld(int nWorld)
{
    if (IsMarkedForDeletion())
        return;
    const uint16_t usWorld = static_cast<uint16_t>(nWorld < 0 ? 0 : (nWorld > 0xFFFF ? 0xFFFF : nWorld));
    if (usWorld == m_usSecondaryWorld)
        return;
    WithdrawMarkersFrom(this);
    m_usSecondaryWorld = usWorld;
    SendMarkersTo(this);
    if (CStreamer* pStreamer = Streamer())
        pStreamer->StreamPlayer(this);
}

bool CPlayer::IsWorldVisible(int nWorld) const
{
    return nWorld == 0 || nWorld == m_usWorld || nWorld == m_usSecondaryWorld ||
           nWorld == PRIVATE_WORLD_BASE + m_bySlot;
}

void CPlayer::ResetDistantSpectators()
{
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        CPlayer* pOther = m_pPool->Get(nSlot);
        if (pOther && pOther != this && pOther->m_bySpectateTarget == m_bySlot &&
            pOther->m_usWorld != m_usWorld)
            pOther->SetSpectateTarget(nullptr);
    }
}

void CPlayer::SetSpectateTarget(CPlayer* pTarget)
{
    if (IsMarkedForDeletion())
        return;
    // A target on its way out is none: its removal has already released its
    // spectators, and its slot must not be remembered past it.
    if (pTarget && (pTarget == this || pTarget->IsMarkedForDeletion() || pTarget->m_usWorld != m_usWorld))
        pTarget = nullptr;
    const uint8_t byTarget = pTarget ? pTarget->GetSlot() : NO_SPECTATE_TARGET;
    if (byTarget == m_bySpectateTarget)
        return;
    CEntityLock lock(this);
    m_bySpectateTarget = byTarget;
    if (CStreamer* pStreamer = Streamer())
        pStreamer->StreamPlayer(this);
    const uint32_t uiTargetId = pTarget ? pTarget->GetPlayerId() : 0xFFFFFFFF;
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerSpectate(this, pTarget);
    if (IsMarkedForDeletion())
        return;
    SendSpectateNotice(this, uiTargetId);
}

// The text is cut to 23 characters before it is checked; the player's own
// current name does not count as taken.
bool CPlayer::SetName(const char* szName)
{
    if (IsMarkedForDeletion() || !szName)
        return false;
    char szNew[MAX_PLAYER_NAME];
    CopyText(szNew, szName, sizeof(szNew));
    if (!CPlayerPool::ValidateName(szNew) || !m_pPool->IsNameFree(szNew, this))
        return false;
    // The same name byte for byte is no change.
    if (strcmp(szNew, m_szName) == 0)
        return false;
    char szOld[MAX_PLAYER_NAME];
    CopyText(szOld, m_szName, sizeof(szOld));
    CopyText(m_szName, szNew, sizeof(m_szName));
    SendNameChange(this);
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerNameChange(this, szOld, szNew);
    return true;
}

void CPlayer::ProcessTick()
{
    if (IsMarkedForDeletion())
        return;
    CEntityLock lock(this);
    const uint32_t uiNow = Now();
    // An entry attempt that was not completed in time is abandoned.
    if (m_byEntryState == 1 && m_uiEntryDeadline != 0 && ClockPassed(uiNow, m_uiEntryDeadline))
    {
        ProcessVehicleExit(this, true);
        if (IsMarkedForDeletion())
            return;
    }
    if (m_bEntryLock && ClockPassed(uiNow, m_uiEntryLockExpiry))
        m_bEntryLock = false;
    if (m_bSpawnedRecently && uiNow - m_uiLastSpawnTime >= SPAWN_REPEAT_INTERVAL)
        m_bSpawnedRecently = false;
    if (m_bSpawned && m_bySyncType != 0)
    {
        RelayPlayerSync(this);
        m_bySyncType = 0;
    }
    if (uiNow - m_uiLastFarListTime > 1500)
    {
        SendFarPlayerList();
        m_uiLastFarListTime = uiNow;
    }
    if (!m_bAway && uiNow - m_uiLastSyncTime > 4000)
    {
        m_bAway = true;
        if (g_pPluginManager)
            g_pPluginManager->OnPlayerAwayChange(this, true);
    }
}

// Spawned players of the same world that this player's client does not hold,
// so that it can still show them on its map.
void CPlayer::SendFarPlayerList()
{
    SFarPlayerEntry aEntries[MAX_PLAYER_SLOTS];
    int nCount = 0;
    CStreamer* pStreamer = Streamer();
    m_pPool->ForEachInOrder(
        [&](CPlayer* pOther)
        {
            if (pOther == this || !pOther->m_bSpawned || pOther->m_usWorld != m_usWorld ||
                nCount >= MAX_PLAYER_SLOTS)
                return;
            if (pStreamer && pStreamer->IsPlayerStreamed(this, pOther))
                return;
            aEntries[nCount++] = {pOther->GetSlot(), ScaleFarCoordinate(pOther->m_vPosition.x),
                                  ScaleFarCoordinate(pOther->m_vPosition.y),
                                  ScaleFarCoordinate(pOther->m_vPosition.z)};
        });
    if (nCount > 0 || m_bFarListDue)
        ::SendFarPlayerList(this, aEntries, nCount);
    m_bFarListDue = false;
}

void CPlayer::ClearProjectiles()
{
    memset(m_abyProjectileWeapon, 0, sizeof(m_abyProjectileWeapon));
    memset(m_ausProjectileKey, 0, sizeof(m_ausProjectileKey));
    memset(m_auiProjectileExpiry, 0, sizeof(m_auiProjectileExpiry));
}

void CPlayer::UpdateGridCell()
{
    if (m_pGrid)
        m_pGrid->Move(this, m_GridNode, m_vPosition.x, m_vPosition.y);
}

void CPlayer::LeaveGridCell()
{
    if (m_pGrid)
        m_pGrid->Remove(m_GridNode);
}
