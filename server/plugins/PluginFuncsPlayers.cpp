#include <cmath>
#include <cstring>

#include "CBanList.h"
#include "CMetrics.h"
#include "CServer.h"
#include "TextUtil.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSyncWorld.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CStreamer.h"

// Slots 10 and 11 (chat lines and on-screen messages), 120..219 and 331..337
// (players). Each finds the player its id names (WithEntity), then reads a
// field of the record (ReadField, in the tables at the end, where that is
// the whole rule) or calls one player operation; the operation stores and
// announces. An id names a player when it is 0..99 and the slot is taken.

namespace
{
CPlayer* PlayerOf(int32_t nPlayerId)
{
    return FindEntity<CPlayer>(nPlayerId);
}

CNetwork* Network()
{
    return g_pServer ? g_pServer->m_pNetwork : nullptr;
}

// The -1 and 255 of the two message functions.
bool MeansEveryPlayer(int32_t nPlayerId)
{
    return nPlayerId == -1 || nPlayerId == 255;
}

// The player text getters empty the buffer first, whatever the id.
void EmptyText(char* szBuffer, int32_t nSize)
{
    if (szBuffer && nSize > 0)
        szBuffer[0] = '\0';
}

int32_t CopyPlayerText(const char* szText, char* szBuffer, int32_t nSize)
{
    if (!szText)
        return 0;
    CopyText(szBuffer, szText, nSize);
    return 1;
}

// A float from a plugin as a whole number: truncated, then the low 8 bits.
// Values an integer cannot hold (and NaN) give 0 instead of undefined results.
uint8_t LowByteOf(float fValue)
{
    if (!(fValue > -9.2e18f && fValue < 9.2e18f))
        return 0;
    return static_cast<uint8_t>(static_cast<long long>(fValue));
}

// Position and speed: zeros for an id that names nobody.
int32_t ReadPlayerVector(int32_t nPlayerId, Vector CPlayer::*pvField, float* pfX, float* pfY, float* pfZ)
{
    const int32_t nFound = WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { WriteVector(player.*pvField, pfX, pfY, pfZ); });
    if (!nFound)
        WriteVector(Vector(), pfX, pfY, pfZ);
    return nFound;
}

int32_t SlotSendClientMessage(int32_t nPlayerId, int32_t nColour, const char* szFormat, ...)
{
    const bool bAll = MeansEveryPlayer(nPlayerId);
    if (!bAll && !PlayerOf(nPlayerId))
        return 0;
    va_list args;
    va_start(args, szFormat);
    const char* szText = FormatPluginText(szFormat, args);
    va_end(args);
    SendChatLine(bAll ? -1 : nPlayerId, static_cast<uint32_t>(nColour), szText);
    return 1;
}

int32_t SlotSendGameMessage(int32_t nPlayerId, int32_t nType, const char* szFormat, ...)
{
    const bool bAll = MeansEveryPlayer(nPlayerId);
    if (!bAll && !PlayerOf(nPlayerId))
        return 0;
    va_list args;
    va_start(args, szFormat);
    const char* szText = FormatPluginText(szFormat, args);
    va_end(args);
    ::SendGameMessage(bAll ? -1 : nPlayerId, static_cast<uint32_t>(nType), szText);
    return 1;
}

// Admin, address, kick and ban (120..127).

int32_t IsPlayerAdmin(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer& player) { return player.IsAdmin() ? 1 : 0; });
}

int32_t SetPlayerAdmin(int32_t nPlayerId, int32_t nIsAdmin)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetAdmin(nIsAdmin != 0); });
}

int32_t GetPlayerIP(int32_t nPlayerId, char* szBuffer, int32_t nSize)
{
    EmptyText(szBuffer, nSize);
    CNetwork* pNetwork = Network();
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer&)
                               {
                                   if (!pNetwork)
                                       return 0;
                                   char szAddress[16];
                                   pNetwork->GetAddress(nPlayerId, szAddress, sizeof(szAddress));
                                   return CopyPlayerText(szAddress, szBuffer, nSize);
                               });
}

// Answers 1 whatever the id; an id that names nobody kicks nobody.
int32_t KickPlayer(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 1,
                               [&](CPlayer& player)
                               {
                                   if (g_pFuncs)
                                       g_pFuncs->LogMessage("Kicking player '%s' at ID %d through scripts.\n",
                                                            player.GetName(), nPlayerId);
                                   GetMetrics().CountKick(KICK_PLUGIN);
                                   g_pServer->Kick(nPlayerId, false);
                               });
}

int32_t BanPlayer(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 1,
                               [&](CPlayer& player)
                               {
                                   if (player.IsMarkedForDeletion())
                                       return;
                                   GetMetrics().CountKick(KICK_PLUGIN);
                                   g_pServer->BanPlayer(nPlayerId);
                               });
}

int32_t BanIP(const char* szAddress)
{
    AddBan(szAddress);
    return 1;
}

int32_t UnbanIP(const char* szAddress)
{
    RemoveBan(szAddress);
    return 1;
}

int32_t IsIPBanned(const char* szAddress)
{
    return IsBanned(szAddress) ? 1 : 0;
}

// Identity and connection (128..132, 139..141, 156..159, 217).

// Exact, case-sensitive, lowest slot first.
int32_t GetPlayerIdFromName(const char* szName)
{
    if (!szName)
        return -1;
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        CPlayer* pPlayer = PlayerOf(nSlot);
        if (pPlayer && strcmp(pPlayer->GetName(), szName) == 0)
            return nSlot;
    }
    return -1;
}

int32_t IsPlayerConnected(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer&) { return 1; });
}

int32_t IsPlayerStreamedForPlayer(int32_t nPlayerId, int32_t nObserverId)
{
    CPlayer* pObserver = PlayerOf(nObserverId);
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    return WithEntity<CPlayer>(
        nPlayerId, 0,
        [&](CPlayer& player)
        { return pObserver && pStreamer && pStreamer->IsPlayerStreamed(pObserver, &player) ? 1 : 0; });
}

int32_t GetPlayerName(int32_t nPlayerId, char* szBuffer, int32_t nSize)
{
    EmptyText(szBuffer, nSize);
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { return CopyPlayerText(player.GetName(), szBuffer, nSize); });
}

int32_t SetPlayerName(int32_t nPlayerId, const char* szName)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { return player.SetName(szName) ? 1 : 0; });
}

int32_t GetPlayerPing(int32_t nPlayerId)
{
    CNetwork* pNetwork = Network();
    return WithEntity<CPlayer>(nPlayerId, -1,
                               [&](CPlayer&) { return pNetwork ? pNetwork->GetPing(nPlayerId) : -1; });
}

double GetPlayerClientValue(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0.0, [](CPlayer& player) { return player.m_dClientValue; });
}

int32_t GetPlayerUniqueId(int32_t nPlayerId, char* szBuffer, int32_t nSize)
{
    EmptyText(szBuffer, nSize);
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { return CopyPlayerText(player.GetUniqueId(), szBuffer, nSize); });
}

// Worlds (133..138).

int32_t SetPlayerWorld(int32_t nPlayerId, int32_t nWorld)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetWorld(nWorld); });
}

int32_t SetPlayerSecondaryWorld(int32_t nPlayerId, int32_t nWorld)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetSecondaryWorld(nWorld); });
}

int32_t GetPlayerUniqueWorld(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player) { return PRIVATE_WORLD_BASE + player.GetSlot(); });
}

int32_t IsWorldVisibleToPlayer(int32_t nPlayerId, int32_t nWorld)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { return player.IsWorldVisible(nWorld) ? 1 : 0; });
}

// Class values, colour, money, score (142..155) and spawning (148..150).

int32_t SetPlayerClassByteA(int32_t nPlayerId, int32_t nValue)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { player.SetClassByteA(static_cast<uint8_t>(nValue), true); });
}

int32_t SetPlayerClassByteB(int32_t nPlayerId, int32_t nValue)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { player.SetClassByteB(static_cast<uint8_t>(nValue), true); });
}

int32_t SetPlayerColour(int32_t nPlayerId, int32_t nColour)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { player.SetColour(static_cast<uint32_t>(nColour), true); });
}

int32_t ForcePlayerSpawn(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer& player) { player.PermitSpawn(); });
}

int32_t ForcePlayerSelect(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer& player) { player.ForceClassSelection(); });
}

// Every occupied slot in order, looked up afresh: the events raised for one
// player may remove another.
int32_t ForceAllSelect()
{
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        if (CPlayer* pPlayer = PlayerOf(nSlot))
            pPlayer->ForceClassSelection();
    }
    return 1;
}

// Wraps like the 32-bit amount it is, without signed overflow.
int32_t GivePlayerMoney(int32_t nPlayerId, int32_t nAmount)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player)
                               {
                                   const uint32_t uiMoney = static_cast<uint32_t>(player.m_nMoney) +
                                                            static_cast<uint32_t>(nAmount);
                                   player.SetMoney(static_cast<int32_t>(uiMoney), true);
                               });
}

int32_t SetPlayerMoney(int32_t nPlayerId, int32_t nAmount)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetMoney(nAmount, true); });
}

// Stored only: clients read scores from the player list they request.
int32_t SetPlayerScore(int32_t nPlayerId, int32_t nScore)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetScore(nScore, false); });
}

// Health, armour and the plugin-set bytes (160..165, 173, 174, 214).

int32_t SetPlayerHealth(int32_t nPlayerId, float fHealth)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetHealth(LowByteOf(fHealth), true); });
}

float GetPlayerHealth(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0.0f, [](CPlayer& player) { return player.m_byHealth; });
}

int32_t SetPlayerArmour(int32_t nPlayerId, float fArmour)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetArmour(LowByteOf(fArmour), true); });
}

float GetPlayerArmour(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0.0f, [](CPlayer& player) { return player.m_byArmour; });
}

int32_t SetPlayerFlagsByte(int32_t nPlayerId, int32_t nValue)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { player.SetClientFlags2(static_cast<uint8_t>(nValue)); });
}

int32_t SetPlayerExtraState(int32_t nPlayerId, int32_t nValue, int32_t nParameter)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetExtraState(nValue, nParameter); });
}

int32_t SetPlayerSettableByte(int32_t nPlayerId, int32_t nValue)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0, [&](CPlayer& player) { player.SetSettableByte(static_cast<uint8_t>(nValue)); });
}

// Position, motion and heading (166..172, 215, 216, 332..337).

int32_t SetPlayerPosition(int32_t nPlayerId, float fX, float fY, float fZ)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetPosition(Vector(fX, fY, fZ), true); });
}

int32_t GetPlayerPosition(int32_t nPlayerId, float* pfX, float* pfY, float* pfZ)
{
    return ReadPlayerVector(nPlayerId, &CPlayer::m_vPosition, pfX, pfY, pfZ);
}

int32_t SetPlayerSpeed(int32_t nPlayerId, float fX, float fY, float fZ)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetSpeed(Vector(fX, fY, fZ), true); });
}

int32_t GetPlayerSpeed(int32_t nPlayerId, float* pfX, float* pfY, float* pfZ)
{
    return ReadPlayerVector(nPlayerId, &CPlayer::m_vSpeed, pfX, pfY, pfZ);
}

int32_t AddPlayerSpeed(int32_t nPlayerId, float fX, float fY, float fZ)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.AddSpeed(Vector(fX, fY, fZ), true); });
}

int32_t SetPlayerHeading(int32_t nPlayerId, float fAngle)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SetAngle(fAngle, true); });
}

float GetPlayerHeading(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0.0f, [](CPlayer& player) { return player.m_fAngle; });
}

int32_t GetPlayerStandingOnVehicle(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, -1,
                               [](CPlayer& player)
                               {
                                   const int nSurface = player.m_usSurfaceId;
                                   IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
                                   return nSurface >= 1 && nSurface <= 1000 && pWorld &&
                                                  pWorld->FindVehicle(nSurface)
                                              ? nSurface
                                              : -1;
                               });
}

int32_t GetPlayerStandingOnObject(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, -1,
                               [](CPlayer& player)
                               {
                                   const int nSurface = player.m_usSurfaceId;
                                   IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
                                   Vector vPosition;
                                   Quaternion qRotation;
                                   const bool bExists =
                                       nSurface >= 1001 && nSurface <= 4000 && pWorld &&
                                       pWorld->GetObjectPlacement(nSurface - 1001, vPosition, qRotation);
                                   return bExists ? nSurface - 1001 : -1;
                               });
}

int32_t GetPlayerSyncFlag0(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player) { return (player.m_bySyncFlags & 1) ? 1 : 0; });
}

int32_t GetPlayerSyncFlag1(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player) { return (player.m_bySyncFlags & 2) ? 1 : 0; });
}

// Nothing is written unless the first pointer is given; a null second or
// third pointer is then skipped rather than written through.
int32_t GetAimVector(int32_t nPlayerId, bool bDirection, float* pfX, float* pfY, float* pfZ)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player)
                               {
                                   if (pfX)
                                       WriteVector(bDirection ? player.m_vAimVector2 : player.m_vAimVector1,
                                                   pfX, pfY, pfZ);
                               });
}

int32_t GetPlayerAimDirection(int32_t nPlayerId, float* pfX, float* pfY, float* pfZ)
{
    return GetAimVector(nPlayerId, true, pfX, pfY, pfZ);
}

int32_t GetPlayerAimPosition(int32_t nPlayerId, float* pfX, float* pfY, float* pfZ)
{
    return GetAimVector(nPlayerId, false, pfX, pfY, pfZ);
}

// Vehicles (176..179; 175 is with the vehicle functions).

int32_t RemovePlayerFromVehicle(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player)
                               {
                                   if (player.m_byEntryState == 0)
                                       return 0;
                                   player.SetPosition(player.m_vPosition, true);
                                   return 1;
                               });
}

int32_t GetPlayerInVehicleSlot(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, -1,
                               [](CPlayer& player)
                               {
                                   if (player.m_byEntryState == 0)
                                       return -1;
                                   return player.m_byPassengerSeat == 255 ? 0 : player.m_byPassengerSeat + 1;
                               });
}

// Option bits (180..199). An inverted bit holds the opposite of what was set,
// so both directions of every pair agree: a get returns what was last set.
template <uint16_t usBit, bool bInverted> int32_t SetPlayerOption(int32_t nPlayerId, int32_t nEnabled)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetFlag(usBit, (nEnabled != 0) != bInverted); });
}

template <uint16_t usBit, bool bInverted> int32_t GetPlayerOption(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player) { return player.GetFlag(usBit) != bInverted ? 1 : 0; });
}

// Weapons (200..209).

int32_t GivePlayerWeapon(int32_t nPlayerId, int32_t nWeapon, int32_t nAmmo)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.GiveWeaponAddingAmmo(nWeapon, nAmmo, true); });
}

int32_t SetPlayerWeapon(int32_t nPlayerId, int32_t nWeapon, int32_t nAmmo)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.GiveWeapon(nWeapon, nAmmo, true); });
}

int32_t GetPlayerWeaponAmmo(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [](CPlayer& player)
                               {
                                   const uint8_t bySlot = player.m_byWeaponSlot;
                                   return bySlot < 10 ? player.m_ausSlotAmmo[bySlot] : 0;
                               });
}

int32_t SetPlayerWeaponSlot(int32_t nPlayerId, int32_t nSlot)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.SelectWeaponSlot(nSlot); });
}

int32_t GetPlayerWeaponAtSlot(int32_t nPlayerId, int32_t nSlot)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player)
                               { return nSlot >= 0 && nSlot < 10 ? player.m_abySlotWeapon[nSlot] : 0; });
}

int32_t GetPlayerAmmoAtSlot(int32_t nPlayerId, int32_t nSlot)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player)
                               { return nSlot >= 0 && nSlot < 10 ? player.m_ausSlotAmmo[nSlot] : 0; });
}

int32_t RemovePlayerWeapon(int32_t nPlayerId, int32_t nWeapon)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [&](CPlayer& player) { player.RemoveWeapon(nWeapon, true); });
}

int32_t RemoveAllWeapons(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer& player) { player.ResetWeapons(true); });
}

// Camera, relays and spectating (210..213, 218, 219, 331).

int32_t SetCameraPosition(int32_t nPlayerId, float fPosX, float fPosY, float fPosZ, float fLookX,
                          float fLookY, float fLookZ)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0,
        [&](CPlayer& player)
        { player.SetCamera(Vector(fPosX, fPosY, fPosZ), Vector(fLookX, fLookY, fLookZ)); });
}

int32_t RestoreCamera(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, 0, [](CPlayer& player) { player.RestoreCamera(); });
}

int32_t SendPlayerPair(int32_t nPlayerId, int32_t nValue1, int32_t nValue2)
{
    return WithEntity<CPlayer>(
        nPlayerId, 0,
        [&](CPlayer& player)
        { player.SendPair(static_cast<uint8_t>(nValue1), static_cast<uint8_t>(nValue2)); });
}

int32_t GetPlayerSpectateTarget(int32_t nPlayerId)
{
    return WithEntity<CPlayer>(nPlayerId, -1,
                               [](CPlayer& player)
                               {
                                   const uint8_t byTarget = player.m_bySpectateTarget;
                                   return byTarget == NO_SPECTATE_TARGET ? -1 : byTarget;
                               });
}

int32_t SetPlayerSpectateTarget(int32_t nPlayerId, int32_t nTargetId)
{
    return WithEntity<CPlayer>(nPlayerId, 0,
                               [&](CPlayer& player) { player.SetSpectateTarget(PlayerOf(nTargetId)); });
}

int32_t SendPlayerTextBlock(int32_t nPlayerId, const char* szText1, int32_t nNumber, const char* szText2,
                            const char* szText3, const char* szText4)
{
    if (!szText1 || (nPlayerId != -1 && !PlayerOf(nPlayerId)))
        return 0;
    return SendTextBlock(nPlayerId, szText1, static_cast<uint16_t>(nNumber), szText2, szText3, szText4) ? 1
                                                                                                        : 0;
}
// Chat lines and on-screen messages (10, 11).
void FillMessagesSlots(PluginFuncs* pFuncs)
{
    pFuncs->SendClientMessage = SlotSendClientMessage;
    pFuncs->SendGameMessage = SlotSendGameMessage;
}

// Admin, address, kick and ban (120..127).
void FillAdminSlots(PluginFuncs* pFuncs)
{
    pFuncs->IsPlayerAdmin = IsPlayerAdmin;
    pFuncs->SetPlayerAdmin = SetPlayerAdmin;
    pFuncs->GetPlayerIP = GetPlayerIP;
    pFuncs->KickPlayer = KickPlayer;
    pFuncs->BanPlayer = BanPlayer;
    pFuncs->BanIP = BanIP;
    pFuncs->UnbanIP = UnbanIP;
    pFuncs->IsIPBanned = IsIPBanned;
}

// Identity and worlds (128..141).
void FillIdentitySlots(PluginFuncs* pFuncs)
{
    pFuncs->GetPlayerIdFromName = GetPlayerIdFromName;
    pFuncs->IsPlayerConnected = IsPlayerConnected;
    pFuncs->IsPlayerSpawned = ReadField<&CPlayer::m_bSpawned, 0>;
    pFuncs->IsPlayerStreamedForPlayer = IsPlayerStreamedForPlayer;
    pFuncs->GetPlayerKey = ReadField<&CPlayer::GetPlayerId, 0>;
    pFuncs->SetPlayerWorld = SetPlayerWorld;
    pFuncs->GetPlayerWorld = ReadField<&CPlayer::m_usWorld, 0>;
    pFuncs->SetPlayerSecondaryWorld = SetPlayerSecondaryWorld;
    pFuncs->GetPlayerSecondaryWorld = ReadField<&CPlayer::m_usSecondaryWorld, 0>;
    pFuncs->GetPlayerUniqueWorld = GetPlayerUniqueWorld;
    pFuncs->IsWorldVisibleToPlayer = IsWorldVisibleToPlayer;
    pFuncs->GetPlayerState = ReadField<&CPlayer::m_byState, 0>;
    pFuncs->GetPlayerName = GetPlayerName;
    pFuncs->SetPlayerName = SetPlayerName;
}

// Class values, colour, spawning, money and score (142..155).
void FillAppearanceSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetPlayerClassByteA = SetPlayerClassByteA;
    pFuncs->GetPlayerClassByteA = ReadField<&CPlayer::m_byClassByteA, 0>;
    pFuncs->SetPlayerClassByteB = SetPlayerClassByteB;
    pFuncs->GetPlayerClassByteB = ReadField<&CPlayer::m_byClassByteB, 0>;
    // Slot 115: the spawn class the player last selected.
    pFuncs->GetPlayerClass = ReadField<&CPlayer::m_byClassIndex, 0>;
    pFuncs->SetPlayerColour = SetPlayerColour;
    pFuncs->GetPlayerColour = ReadField<&CPlayer::m_uiColour, -1>;
    pFuncs->ForcePlayerSpawn = ForcePlayerSpawn;
    pFuncs->ForcePlayerSelect = ForcePlayerSelect;
    pFuncs->ForceAllSelect = ForceAllSelect;
    pFuncs->GivePlayerMoney = GivePlayerMoney;
    pFuncs->SetPlayerMoney = SetPlayerMoney;
    pFuncs->GetPlayerMoney = ReadField<&CPlayer::m_nMoney, 0>;
    pFuncs->SetPlayerScore = SetPlayerScore;
    pFuncs->GetPlayerScore = ReadField<&CPlayer::m_nScore, 0>;
}

// Connection values (156..159).
void FillConnectionSlots(PluginFuncs* pFuncs)
{
    pFuncs->GetPlayerPing = GetPlayerPing;
    pFuncs->GetPlayerClientToggle = ReadField<&CPlayer::m_bClientToggle, 0>;
    pFuncs->GetPlayerClientValue = GetPlayerClientValue;
    pFuncs->GetPlayerUniqueId = GetPlayerUniqueId;
}

// Health, armour and the flag byte (160..165).
void FillHealthSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetPlayerHealth = SetPlayerHealth;
    pFuncs->GetPlayerHealth = GetPlayerHealth;
    pFuncs->SetPlayerArmour = SetPlayerArmour;
    pFuncs->GetPlayerArmour = GetPlayerArmour;
    pFuncs->SetPlayerFlagsByte = SetPlayerFlagsByte;
    pFuncs->GetPlayerFlagsByte = ReadField<&CPlayer::m_byClientFlags2, 0>;
}

// Position, motion, heading and extra state (166..174).
void FillMotionSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetPlayerPosition = SetPlayerPosition;
    pFuncs->GetPlayerPosition = GetPlayerPosition;
    pFuncs->SetPlayerSpeed = SetPlayerSpeed;
    pFuncs->GetPlayerSpeed = GetPlayerSpeed;
    pFuncs->AddPlayerSpeed = AddPlayerSpeed;
    pFuncs->SetPlayerHeading = SetPlayerHeading;
    pFuncs->GetPlayerHeading = GetPlayerHeading;
    pFuncs->SetPlayerExtraState = SetPlayerExtraState;
    pFuncs->GetPlayerExtraState = ReadField<&CPlayer::m_byExtraState, 0>;
}

// Vehicle seats (176..179).
void FillVehiclesSlots(PluginFuncs* pFuncs)
{
    pFuncs->RemovePlayerFromVehicle = RemovePlayerFromVehicle;
    pFuncs->GetPlayerInVehicleStatus = ReadField<&CPlayer::m_byEntryState, 0>;
    pFuncs->GetPlayerInVehicleSlot = GetPlayerInVehicleSlot;
    pFuncs->GetPlayerVehicleId = ReadField<&CPlayer::m_usEntryVehicle, 0>;
}

// Option bits (180..199).
void FillOptionsSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetPlayerOption0 = SetPlayerOption<0x0001, false>;
    pFuncs->GetPlayerOption0 = GetPlayerOption<0x0001, false>;
    pFuncs->SetPlayerOption1 = SetPlayerOption<0x0002, false>;
    pFuncs->GetPlayerOption1 = GetPlayerOption<0x0002, false>;
    pFuncs->SetPlayerOption2 = SetPlayerOption<0x0004, false>;
    pFuncs->GetPlayerOption2 = GetPlayerOption<0x0004, false>;
    pFuncs->SetPlayerOption3 = SetPlayerOption<0x0008, false>;
    pFuncs->GetPlayerOption3 = GetPlayerOption<0x0008, false>;
    pFuncs->SetPlayerOption4 = SetPlayerOption<0x0010, false>;
    pFuncs->GetPlayerOption4 = GetPlayerOption<0x0010, false>;
    pFuncs->SetPlayerOption5 = SetPlayerOption<0x0020, false>;
    pFuncs->GetPlayerOption5 = GetPlayerOption<0x0020, false>;
    pFuncs->SetPlayerOption6 = SetPlayerOption<0x0040, false>;
    pFuncs->GetPlayerOption6 = GetPlayerOption<0x0040, false>;
    pFuncs->SetPlayerOption12 = SetPlayerOption<0x1000, false>;
    pFuncs->GetPlayerOption12 = GetPlayerOption<0x1000, false>;
    // Bit 256 holds the inverse of the option; new players take it from the
    // server default, which is stored the same way.
    pFuncs->SetPlayerOption8 = SetPlayerOption<PLAYER_FLAG_OPTION8, true>;
    pFuncs->GetPlayerOption8 = GetPlayerOption<PLAYER_FLAG_OPTION8, true>;
    // Bit 128 holds the option as set: 1 on the wire means enabled.
    pFuncs->SetPlayerOption7 = SetPlayerOption<0x0080, false>;
    pFuncs->GetPlayerOption7 = GetPlayerOption<0x0080, false>;
}

// Weapons (200..209).
void FillWeaponsSlots(PluginFuncs* pFuncs)
{
    pFuncs->GivePlayerWeapon = GivePlayerWeapon;
    pFuncs->SetPlayerWeapon = SetPlayerWeapon;
    pFuncs->GetPlayerWeapon = ReadField<&CPlayer::m_byWeapon, 0>;
    pFuncs->GetPlayerWeaponAmmo = GetPlayerWeaponAmmo;
    pFuncs->SetPlayerWeaponSlot = SetPlayerWeaponSlot;
    pFuncs->GetPlayerWeaponSlot = ReadField<&CPlayer::m_byWeaponSlot, 0>;
    pFuncs->GetPlayerWeaponAtSlot = GetPlayerWeaponAtSlot;
    pFuncs->GetPlayerAmmoAtSlot = GetPlayerAmmoAtSlot;
    pFuncs->RemovePlayerWeapon = RemovePlayerWeapon;
    pFuncs->RemoveAllWeapons = RemoveAllWeapons;
}

// Camera, relays, surfaces, away state and spectating (210..219).
void FillCameraSlots(PluginFuncs* pFuncs)
{
    pFuncs->SetCameraPosition = SetCameraPosition;
    pFuncs->RestoreCamera = RestoreCamera;
    pFuncs->GetPlayerResyncFlag = ReadField<&CPlayer::m_bNeedsResync, 0>;
    pFuncs->SendPlayerPair = SendPlayerPair;
    pFuncs->SetPlayerSettableByte = SetPlayerSettableByte;
    pFuncs->GetPlayerStandingOnVehicle = GetPlayerStandingOnVehicle;
    pFuncs->GetPlayerStandingOnObject = GetPlayerStandingOnObject;
    pFuncs->IsPlayerAway = ReadField<&CPlayer::m_bAway, 0>;
    pFuncs->GetPlayerSpectateTarget = GetPlayerSpectateTarget;
    pFuncs->SetPlayerSpectateTarget = SetPlayerSpectateTarget;
}

// Text block, sync values and aim vectors (331..337).
void FillContinuedSlots(PluginFuncs* pFuncs)
{
    pFuncs->SendPlayerTextBlock = SendPlayerTextBlock;
    pFuncs->GetPlayerSyncFlag0 = GetPlayerSyncFlag0;
    pFuncs->GetPlayerSyncFlag1 = GetPlayerSyncFlag1;
    pFuncs->GetPlayerSyncCode = ReadField<&CPlayer::m_bySyncCode, -1>;
    pFuncs->GetPlayerKeys = ReadField<&CPlayer::m_usKeys, -1>;
    pFuncs->GetPlayerAimDirection = GetPlayerAimDirection;
    pFuncs->GetPlayerAimPosition = GetPlayerAimPosition;
}

} // namespace

void FillPlayerFuncs(PluginFuncs* pFuncs)
{
    FillMessagesSlots(pFuncs);
    FillAdminSlots(pFuncs);
    FillIdentitySlots(pFuncs);
    FillAppearanceSlots(pFuncs);
    FillConnectionSlots(pFuncs);
    FillHealthSlots(pFuncs);
    FillMotionSlots(pFuncs);
    FillVehiclesSlots(pFuncs);
    FillOptionsSlots(pFuncs);
    FillWeaponsSlots(pFuncs);
    FillCameraSlots(pFuncs);
    FillContinuedSlots(pFuncs);
}
