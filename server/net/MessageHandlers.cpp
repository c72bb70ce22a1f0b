#include "net/MessageHandlers.h"

#include "net/CNetwork.h"
#include "net/CSessionHandlers.h"
#include "net/CStoreHandlers.h"
#include "net/Guards.h"
#include "players/CKeyBinds.h"
#include "players/CPlayerChat.h"
#include "players/CPlayerSync.h"
#include "players/PlayerHandlers.h"
#include "world/CWorldHandlers.h"
#include "players/CVehicleEntry.h"
#include "world/VehicleHandlers.h"
#include "world/VehicleMessages.h"

namespace
{
struct SHandlerRow
{
    int nId;
    MessageHandler pfnHandler;
};

// One row per handled identifier; identifiers without a row are ignored.
const SHandlerRow g_aHandlerRows[] = {
    {ID_CONNECTION_ENDED, &CSessionHandlers::OnConnectionEnded},
    {ID_CONNECTION_OPENED, &CSessionHandlers::OnConnectionOpened},
    {ID_JOIN_REQUEST, &CSessionHandlers::OnJoinRequest},
    {ID_QUIT, &CSessionHandlers::OnQuit},
    {ID_ADMIN_LOGIN, &CSessionHandlers::OnAdminLogin},
    {ID_ADMIN_KICK, &CSessionHandlers::OnAdminKick},
    {ID_ADMIN_BAN, &CSessionHandlers::OnAdminBan},
    {ID_PLAYER_LIST_REQUEST, &CPlayerHandlers::HandlePlayerListRequest},
    {ID_REQUEST_CLASS, &CPlayerHandlers::HandleRequestClass},
    {ID_REQUEST_SPAWN, &CPlayerHandlers::HandleRequestSpawn},
    {ID_SPAWNED, &CPlayerHandlers::HandleSpawned},
    {ID_DEATH_REPORT, &CPlayerHandlers::HandleDeathReport},
    {ID_CHAT, &CPlayerChat::HandleChat},
    {ID_PRIVATE_MESSAGE, &CPlayerChat::HandlePrivateMessage},
    {ID_COMMAND, &CPlayerChat::HandleCommand},
    {ID_ONFOOT_SYNC, &CPlayerSync::HandleOnFootSync},
    {ID_AIM_SYNC, &CPlayerSync::HandleAimSync},
    {ID_DRIVER_SYNC, &CPlayerSync::HandleDriverSync},
    {ID_PASSENGER_SYNC, &CPlayerSync::HandlePassengerSync},
    {ID_TOGGLE_ON, &CPlayerSync::HandleClientToggle},
    {ID_TOGGLE_OFF, &CPlayerSync::HandleClientToggle},
    {ID_PLAYER_RELAY_A, &CPlayerSync::HandleTwoByteReport},
    {ID_PLAYER_RELAY_B, &CPlayerSync::HandleValueReport},
    {ID_ENTRY_LOCK_RELEASE, &CPlayerSync::HandleEntryLockRelease},
    {ID_PLAYER_RELAY_C, &CPlayerSync::HandleThreeByteReport},
    {ID_AREA_EFFECT, &CPlayerSync::HandleAreaEffect},
    {ID_PROJECTILE_LAUNCH, &CPlayerSync::HandleProjectileLaunch},
    {ID_PROJECTILE_IMPACT, &CPlayerSync::HandleProjectileImpact},
    {ID_WEAPON_LOST, &CPlayerSync::HandleWeaponLost},
    {ID_CLIENT_VALUE, &CPlayerSync::HandleClientValue},
    {ID_CLIENT_TEXT, &CPlayerHandlers::HandleClientText},
    {ID_UNOCCUPIED_SYNC, &CVehicleHandlers::HandleUnoccupiedSync},
    {ID_REQUEST_ENTER_VEHICLE, &CVehicleEntry::HandleRequestEnter},
    {ID_PICKUP_CLAIM, &CWorldHandlers::HandlePickupClaim},
    {ID_VEHICLE_EXPLODED, &CVehicleHandlers::HandleExploded},
    {ID_VEHICLE_OPTION_REPORT, &CVehicleHandlers::HandleOptionReport},
    {ID_VEHICLE_RADIO_CHANGE, &CVehicleHandlers::HandleRadioChange},
    {ID_OBJECT_SHOT, &CWorldHandlers::HandleObjectShot},
    {ID_OBJECT_TOUCHED, &CWorldHandlers::HandleObjectTouched},
    {ID_KEY_BIND, &CKeyBinds::HandleKeyEvent},
    {ID_STORE_FILE_REQUEST, &CStoreHandlers::OnFileRequest},
    {ID_STORE_PUSH_COMPLETE, &CStoreHandlers::OnPushComplete},
};
} // namespace

void RegisterMessageHandlers(CNetwork* pNetwork)
{
    for (const SHandlerRow& row : g_aHandlerRows)
        pNetwork->RegisterHandler(row.nId, row.pfnHandler);
}
