#include "players/CPlayerSync.h"

#include "BitStream.h"
#include "CMetrics.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerSyncRecords.h"
#include "players/CPlayerSyncWorld.h"
#include "players/WeaponSlots.h"
#include "world/CStreamer.h"

// The once-per-tick relay of a player's newest synced state. It is the
// server's busiest path: the record is built once from the stored fields
// and written once into a stream on the stack, and the same bytes go to
// every observer, handed to the network once for all of them. Only a player
// standing on a vehicle or object may need a second stream, carrying its
// offset from the surface instead of its world position.

namespace
{
uint16_t AmmoInHand(const CPlayer* pPlayer)
{
    return pPlayer->m_byWeaponSlot < WEAPON_SLOT_COUNT ? pPlayer->m_ausSlotAmmo[pPlayer->m_byWeaponSlot] : 0;
}

void BuildOnFootRecord(const CPlayer* pPlayer, SOnFootSyncRecord& record)
{
    record.vPosition = pPlayer->m_vPosition;
    record.fAngle = pPlayer->m_fAngle;
    record.vSpeed = pPlayer->m_vSpeed;
    record.usKeys = pPlayer->m_usKeys;
    record.usSurfaceId = pPlayer->m_usSurfaceId;
    record.usAmmo = AmmoInHand(pPlayer);
    record.byHealth = pPlayer->m_byHealth;
    record.byArmour = pPlayer->m_byArmour;
    record.bySyncCode = pPlayer->m_bySyncCode;
    record.bySyncByte37 = pPlayer->m_bySyncByte37;
    record.byWeapon = pPlayer->m_byWeapon;
    record.bySyncFlags = pPlayer->m_bySyncFlags;
}

// The surface the player stands on as the streamer knows it: a vehicle id
// or an object index; false when it stands on nothing.
bool SurfaceOf(const CPlayer* pPlayer, bool& bVehicle, int& nId)
{
    const int nSurface = pPlayer->m_usSurfaceId;
    bVehicle = nSurface >= 1 && nSurface <= 1000;
    nId = bVehicle ? nSurface : nSurface - 1001;
    return bVehicle || (nSurface >= 1001 && nSurface <= 4000);
}

bool HoldsSurface(const CStreamer* pStreamer, const CPlayer* pPlayer, bool bVehicle, int nId)
{
    return bVehicle ? pStreamer->IsVehicleStreamed(pPlayer, nId) : pStreamer->IsObjectStreamed(pPlayer, nId);
}

// The observers one relay stream goes to, in the streamer's order; lives on
// the stack for one relay.
struct SRecipients
{
    int anSlots[MAX_PLAYER_SLOTS];
    int nCount = 0;

    void Add(const CPlayer* pPlayer)
    {
        if (nCount < MAX_PLAYER_SLOTS)
            anSlots[nCount++] = pPlayer->GetSlot();
    }
};

void SendUnreliable(CNetwork* pNetwork, const SRecipients& recipients, const RakNet::BitStream& stream)
{
    GetMetrics().CountRelays(recipients.nCount);
    pNetwork->SendToPlayers(recipients.anSlots, recipients.nCount, stream, NET_HIGH_PRIORITY, NET_UNRELIABLE,
                            0);
}

// Every observer of the player.
SRecipients ObserversOf(CPlayer* pPlayer, CStreamer* pStreamer)
{
    SRecipients recipients;
    pStreamer->ForEachObserverOfPlayer(pPlayer,
                                       [&](CPlayer* pObserver, CPlayer*) { recipients.Add(pObserver); });
    return recipients;
}

void WriteOnFoot(RakNet::BitStream& stream, const CPlayer* pPlayer, const SOnFootSyncRecord& record)
{
    CNetwork::WriteMessageId(stream, pPlayer->m_bySyncType == SYNC_AIM ? ID_AIM_SYNC : ID_ONFOOT_SYNC);
    stream.Write(pPlayer->GetSlot());
    stream.Write(record);
    if (pPlayer->m_bySyncType == SYNC_AIM)
    {
        alignas(4) SAimSyncRecord aim;
        aim.vAim1 = pPlayer->m_vAimVector1;
        aim.vAim2 = pPlayer->m_vAimVector2;
        stream.Write(aim);
    }
}

// An offset only means something to a client that holds the surface, so the
// offset goes to observers that hold it too and the world position to the rest.
void RelayOnFoot(CPlayer* pPlayer, CStreamer* pStreamer, CNetwork* pNetwork)
{
    alignas(4) SOnFootSyncRecord record;
    BuildOnFootRecord(pPlayer, record);
    RakNet::BitStream world;
    WriteOnFoot(world, pPlayer, record);

    bool bVehicle = false;
    int nSurface = 0;
    if (!SurfaceOf(pPlayer, bVehicle, nSurface) || !HoldsSurface(pStreamer, pPlayer, bVehicle, nSurface))
    {
        SendUnreliable(pNetwork, ObserversOf(pPlayer, pStreamer), world);
        return;
    }
    record.vPosition = pPlayer->m_vSurfaceOffset;
    RakNet::BitStream offset;
    WriteOnFoot(offset, pPlayer, record);
    SRecipients worldRecipients;
    SRecipients offsetRecipients;
    pStreamer->ForEachObserverOfPlayer(pPlayer,
                                       [&](CPlayer* pObserver, CPlayer*)
                                       {
                                           SRecipients& recipients =
                                               HoldsSurface(pStreamer, pObserver, bVehicle, nSurface)
                                                   ? offsetRecipients
                                                   : worldRecipients;
                                           recipients.Add(pObserver);
                                       });
    SendUnreliable(pNetwork, offsetRecipients, offset);
    SendUnreliable(pNetwork, worldRecipients, world);
}

// A player in a vehicle is relayed only while its own client holds the vehicle.
CVehicle* HeldVehicle(CPlayer* pPlayer, CStreamer* pStreamer)
{
    IPlayerSyncWorld* pWorld = GetPlayerSyncWorld();
    CVehicle* pVehicle = pWorld ? pWorld->FindVehicle(pPlayer->m_usVehicleId) : nullptr;
    return pVehicle && pStreamer->IsVehicleStreamed(pPlayer, pPlayer->m_usVehicleId) ? pVehicle : nullptr;
}

void RelayDriver(CPlayer* pPlayer, CStreamer* pStreamer, CNetwork* pNetwork)
{
    CVehicle* pVehicle = HeldVehicle(pPlayer, pStreamer);
    if (!pVehicle)
        return;
    SDriverSyncRecord driver;
    driver.usKeys = pPlayer->m_usKeys;
    driver.usVehicleId = pPlayer->m_usVehicleId;
    driver.usAmmo = AmmoInHand(pPlayer);
    driver.byHealth = pPlayer->m_byHealth;
    driver.byArmour = pPlayer->m_byArmour;
    driver.byWeapon = pPlayer->m_byWeapon;
    alignas(4) SVehicleSyncRecord vehicle;
    GetPlayerSyncWorld()->BuildDriverRecord(pVehicle, vehicle);

    RakNet::BitStream stream;
    CNetwork::WriteMessageId(stream, ID_DRIVER_SYNC);
    stream.Write(pPlayer->GetSlot());
    stream.Write(driver);
    stream.Write(vehicle);
    SendUnreliable(pNetwork, ObserversOf(pPlayer, pStreamer), stream);
}

void RelayPassenger(CPlayer* pPlayer, CStreamer* pStreamer, CNetwork* pNetwork)
{
    if (!HeldVehicle(pPlayer, pStreamer))
        return;
    SPassengerSyncRecord passenger;
    passenger.usVehicleId = pPlayer->m_usVehicleId;
    passenger.byHealth = pPlayer->m_byHealth;
    passenger.byArmour = pPlayer->m_byArmour;
    passenger.bySeat = static_cast<uint8_t>(pPlayer->m_byPassengerSeat + 1);

    RakNet::BitStream stream;
    CNetwork::WriteMessageId(stream, ID_PASSENGER_SYNC);
    stream.Write(pPlayer->GetSlot());
    stream.Write(passenger);
    SendUnreliable(pNetwork, ObserversOf(pPlayer, pStreamer), stream);
}
} // namespace

void RelayPlayerSync(CPlayer* pPlayer)
{
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
    if (!pPlayer || !pStreamer || !pNetwork)
        return;
    switch (pPlayer->m_bySyncType)
    {
    case SYNC_ON_FOOT:
    case SYNC_AIM:
        RelayOnFoot(pPlayer, pStreamer, pNetwork);
        break;
    case SYNC_DRIVER:
        RelayDriver(pPlayer, pStreamer, pNetwork);
        break;
    case SYNC_PASSENGER:
        RelayPassenger(pPlayer, pStreamer, pNetwork);
        break;
    default:
        break;
    }
}
