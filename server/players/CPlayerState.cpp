#include "players/CPlayer.h"

#include "CServer.h"
#include "players/CPlayerSync.h"
#include "players/PlayerMessages.h"
#include "players/WeaponSlots.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"

// State changes the server makes to a player and announces to its client, to
// the players that stream it, or to everybody. Each stores first; a send flag
// of false only stores.

namespace
{
constexpr int MAX_AMMO = 50000;
constexpr int MAX_EXTRA_STATE_PARAMETER = 50000;

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

int Clamp(long long llValue, int nMin, int nMax)
{
    return static_cast<int>(llValue < nMin ? nMin : (llValue > nMax ? nMax : llValue));
}
} // namespace

// Health, armour and weapon changes carry a sequence that the client echoes
// once it has applied them; the anti-cheat waits for it (or for 3000 ms). A
// change that is only stored is never sent and takes no sequence.
uint32_t CPlayer::TakeChangeSequence(int nKind)
{
    const uint32_t uiSequence = m_uiChangeSequence++;
    m_auiPendingSequence[nKind] = uiSequence;
    m_auiPendingTime[nKind] = g_pServer ? g_pServer->m_uiNow : 0;
    return uiSequence;
}

void CPlayer::SetHealth(uint8_t byHealth, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_byHealth = byHealth;
    if (bSend)
        SendSequencedByte(this, ID_HEALTH, TakeChangeSequence(CHANGE_HEALTH), m_byHealth);
}

void CPlayer::SetArmour(uint8_t byArmour, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_byArmour = byArmour;
    if (bSend)
        SendSequencedByte(this, ID_ARMOUR, TakeChangeSequence(CHANGE_ARMOUR), m_byArmour);
}

// A client still downloading store files, or already in play, is not let in.
void CPlayer::PermitSpawn()
{
    if (IsMarkedForDeletion() || m_bStoreDownloadPending || m_bSpawned)
        return;
    m_byHealth = 100;
    m_byArmour = 0;
    m_bSpawnPermitted = true;
    SendPlayerSignal(this, ID_PERMIT_SPAWN);
}

void CPlayer::ForceClassSelection()
{
    if (IsMarkedForDeletion())
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
    m_bNeedsResync = true;
    ClearProjectiles();
    LeaveGridCell();
    if (CStreamer* pStreamer = Streamer())
        pStreamer->OnPlayerLeftWorld(this);
    m_byHealth = 100;
    m_byArmour = 0;
    ResetWeapons(false);
    SendPlayerSignal(this, ID_FORCE_CLASS_SELECTION);
}

void CPlayer::SetMoney(int32_t nMoney, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_nMoney = nMoney;
    if (bSend)
        SendMoney(this);
}

// A position the client is told about also takes the player out of any
// vehicle and back on foot.
void CPlayer::SetPosition(const Vector& vPosition, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_vPosition = vPosition;
    CServer::ClampToWorld(m_vPosition);
    UpdateGridCell();
    if (!bSend)
        return;
    CEntityLock lock(this);
    if (CStreamer* pStreamer = Streamer())
        pStreamer->StreamPlayer(this);
    if (m_byEntryState != 0)
    {
        ProcessVehicleExit(this, true);
        if (IsMarkedForDeletion())
            return;
    }
    SendVectorMessage(this, ID_POSITION, m_vPosition);
    ResetToOnFoot(0.0f);
}

void CPlayer::SetSpeed(const Vector& vSpeed, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_vSpeed = vSpeed;
    if (bSend)
        SendVectorMessage(this, ID_SPEED, m_vSpeed);
}

// The client adds the same difference to what it has.
void CPlayer::AddSpeed(const Vector& vDelta, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_vSpeed += vDelta;
    if (bSend)
        SendVectorMessage(this, ID_ADD_SPEED, vDelta);
}

void CPlayer::SetAngle(float fAngle, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_fAngle = fAngle;
    if (bSend)
        SendAngle(this);
}

void CPlayer::SetSettableByte(uint8_t byValue)
{
    if (IsMarkedForDeletion())
        return;
    m_bySettableByte = byValue;
    SendByteMessage(this, ID_SETTABLE_BYTE, m_bySettableByte);
}

void CPlayer::ResetWeapons(bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    for (int i = 0; i < WEAPON_SLOT_COUNT; ++i)
    {
        m_abySlotWeapon[i] = 0;
        m_ausSlotAmmo[i] = 0;
    }
    m_byWeapon = 0;
    m_usAmmo = 0;
    m_byWeaponSlot = 0;
    if (bSend)
        SendResetWeapons(this, TakeChangeSequence(CHANGE_WEAPONS));
}

void CPlayer::SelectSlotZeroQuietly()
{
    m_byWeaponSlot = 0;
    m_byWeapon = m_abySlotWeapon[0];
    m_usAmmo = m_ausSlotAmmo[0];
}

void CPlayer::SelectWeaponSlot(int nSlot)
{
    if (IsMarkedForDeletion() || nSlot < 0 || nSlot >= WEAPON_SLOT_COUNT)
        return;
    m_byWeaponSlot = static_cast<uint8_t>(nSlot);
    m_byWeapon = m_abySlotWeapon[nSlot];
    m_usAmmo = m_ausSlotAmmo[nSlot];
    SendByteMessage(this, ID_SELECT_WEAPON_SLOT, m_byWeaponSlot);
}

// The weapon in hand is left as it is: the client switches when it wants to.
void CPlayer::GiveWeapon(int nWeapon, int nAmmo, bool bArmed)
{
    if (IsMarkedForDeletion())
        return;
    const int nSlot = GetWeaponSlot(nWeapon);
    if (nSlot == WEAPON_SLOT_INVALID)
        return;
    const uint16_t usAmmo = static_cast<uint16_t>(Clamp(nAmmo, 0, MAX_AMMO));
    m_abySlotWeapon[nSlot] = static_cast<uint8_t>(nWeapon);
    m_ausSlotAmmo[nSlot] = usAmmo;
    SendGiveWeapon(this, TakeChangeSequence(CHANGE_WEAPONS), static_cast<uint8_t>(nWeapon), usAmmo, bArmed);
}

// Melee weapons (slots 0 and 1) count one round; another weapon of the kind
// already held adds to its ammunition.
void CPlayer::GiveWeaponAddingAmmo(int nWeapon, int nAmmo, bool bArmed)
{
    const int nSlot = GetWeaponSlot(nWeapon);
    if (nSlot == WEAPON_SLOT_INVALID)
        return;
    long long llAmmo = nAmmo;
    if (nSlot == 0 || nSlot == 1)
        llAmmo = 1;
    else if (m_abySlotWeapon[nSlot] == nWeapon)
        llAmmo += m_ausSlotAmmo[nSlot];
    GiveWeapon(nWeapon, Clamp(llAmmo, 0, MAX_AMMO), bArmed);
}

// Also for a player being removed: the weapon-lost report must still clear it.
void CPlayer::RemoveWeapon(int nWeapon, bool bSend)
{
    const int nSlot = GetWeaponSlot(nWeapon);
    if (nSlot == WEAPON_SLOT_INVALID)
        return;
    if (m_abySlotWeapon[nSlot] == nWeapon)
    {
        m_abySlotWeapon[nSlot] = 0;
        m_ausSlotAmmo[nSlot] = 0;
        if (nSlot == m_byWeaponSlot)
            SelectSlotZeroQuietly();
    }
    if (bSend)
        SendRemoveWeapon(this, TakeChangeSequence(CHANGE_WEAPONS), static_cast<uint8_t>(nWeapon));
}

// The visible bits are also told to the players that stream this one; the
// others learn them from the spawn description when they start streaming.
void CPlayer::SetFlag(uint16_t usBit, bool bOn)
{
    if (IsMarkedForDeletion() || GetFlag(usBit) == bOn)
        return;
    if (bOn)
        m_usFlags |= usBit;
    else
        m_usFlags &= static_cast<uint16_t>(~usBit);
    SendFlags(this);
    if (usBit & PLAYER_FLAG_VISIBLE_MASK)
        SendFlagBroadcast(this);
}

void CPlayer::SetClientFlags2(uint8_t byValue)
{
    if (IsMarkedForDeletion())
        return;
    m_byClientFlags2 = byValue;
    SendFlags(this);
}

void CPlayer::SetCamera(const Vector& vPosition, const Vector& vLookAt)
{
    if (IsMarkedForDeletion())
        return;
    m_bNeedsResync = true;
    Vector vClamped = vPosition;
    CServer::ClampToWorld(vClamped);
    SendCamera(this, vClamped, vLookAt);
}

void CPlayer::RestoreCamera()
{
    if (IsMarkedForDeletion())
        return;
    m_bNeedsResync = false;
    SendPlayerSignal(this, ID_RESTORE_CAMERA);
}

void CPlayer::SetClassByteA(uint8_t byValue, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_byClassByteA = byValue;
    if (bSend)
        SendClassByte(this, ID_CLASS_BYTE_A, m_byClassByteA);
}

void CPlayer::SetClassByteB(uint8_t byValue, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_byClassByteB = byValue;
    if (bSend)
        SendClassByte(this, ID_CLASS_BYTE_B, m_byClassByteB);
}

// Colours are 0xRRGGBB; the top byte is dropped.
void CPlayer::SetColour(uint32_t uiColour, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_uiColour = uiColour & 0xFFFFFF;
    if (bSend)
        SendColour(this);
}

// The parameter only travels; it is not kept.
void CPlayer::SetExtraState(int nValue, int nParameter)
{
    if (IsMarkedForDeletion())
        return;
    m_byExtraState = static_cast<uint8_t>(Clamp(nValue, 0, 255));
    SendExtraState(this, static_cast<uint16_t>(Clamp(nParameter, 0, MAX_EXTRA_STATE_PARAMETER)));
}

void CPlayer::SetScore(int32_t nScore, bool bSend)
{
    if (IsMarkedForDeletion())
        return;
    m_nScore = nScore;
    if (bSend)
        SendScore(this);
}

void CPlayer::SendPair(uint8_t byA, uint8_t byB)
{
    if (IsMarkedForDeletion())
        return;
    SendPairRelay(this, byA, byB);
}

// Raised on every call, also when the state stays the same. The caller holds
// a lock on the player, since a plugin may remove it from inside the event.
void CPlayer::SetState(uint8_t byState)
{
    const uint8_t byOld = m_byState;
    m_byState = byState;
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerStateChange(this, byOld, byState);
}

void CPlayer::ResetToOnFoot(float fLift)
{
    if (IsMarkedForDeletion())
        return;
    CEntityLock lock(this);
    ProcessVehicleExit(this, true);
    if (IsMarkedForDeletion())
        return;
    m_bySyncCode = 0;
    SelectSlotZeroQuietly();
    m_vSpeed = Vector();
    m_vPosition.z += fLift;
    CServer::ClampToWorld(m_vPosition);
    m_bySyncType = 1;
    SetState(PLAYER_STATE_ON_FOOT);
    if (IsMarkedForDeletion())
        return;
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerUpdate(this, 0);
}
