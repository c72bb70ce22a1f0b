#include "world/VehicleMessages.h"

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerSyncRecords.h"
#include "world/CHandlingRules.h"
#include "world/CStreamer.h"
#include "world/CVehicle.h"

namespace
{
// How each vehicle message travels: all high priority on channel 0.
struct SMessageRule
{
    uint8_t byId;
    uint8_t byReliability;
};

constexpr uint8_t RO = NET_RELIABLE_ORDERED;
constexpr uint8_t R = NET_RELIABLE;
constexpr uint8_t U = NET_UNRELIABLE;

const SMessageRule g_aRules[] = {
    {ID_UNOCCUPIED_RELAY, U},
    {ID_HANDLING_RULES, R},
    {ID_VEHICLE_RADIO, R},
};

// Only the exceptions are listed: every other vehicle message is reliable ordered.
uint8_t ReliabilityOf(uint8_t byId)
{
    for (const SMessageRule& rule : g_aRules)
    {
        if (rule.byId == byId)
            return rule.byReliability;
    }
    return RO;
}

// A vehicle message being written; the constructor writes its identifier.
class CVehicleMessage
{
public:
    explicit CVehicleMessage(uint8_t byId) : m_byId(byId) { CNetwork::WriteMessageId(m_Stream, byId); }

    RakNet::BitStream& Stream() { return m_Stream; }

    void To(int nSlot) const
    {
        CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
        if (pNetwork && nSlot >= 0 && nSlot < MAX_PLAYER_SLOTS)
            pNetwork->SendToPlayer(nSlot, m_Stream, NET_HIGH_PRIORITY, ReliabilityOf(m_byId), 0);
    }
    // Every player that has the vehicle streamed in, but nExceptSlot.
    void ToObservers(const CVehicle* pVehicle, int nExceptSlot = -1) const
    {
        CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
        if (!pStreamer)
            return;
        pStreamer->ForEachObserverOfVehicle(pVehicle->GetId(),
                                            [&](CPlayer* pObserver, int)
                                            {
                                                if (pObserver->GetSlot() != nExceptSlot)
                                                    To(pObserver->GetSlot());
                                            });
    }

private:
    uint8_t m_byId;
    RakNet::BitStream m_Stream;
};
} // namespace

void SendVehicleCreate(const CVehicle* pVehicle, const CPlayer* pTo)
{
    CVehicleMessage message(ID_VEHICLE_CREATE);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pVehicle->GetId());
    stream.Write(pVehicle->m_usSpawnCounter);
    stream.Write(pVehicle->m_byModel);
    stream.Write(pVehicle->m_vPosition);
    stream.Write(pVehicle->m_qRotation);
    stream.Write(pVehicle->m_byColour1);
    stream.Write(pVehicle->m_byColour2);
    stream.Write(pVehicle->m_fHealth);
    stream.Write(pVehicle->m_uiDamage);
    stream.Write(static_cast<uint8_t>(pVehicle->m_byOptionFlags | (pVehicle->m_bWrecked ? 0x80 : 0)));
    stream.Write(pVehicle->m_byOptionByte);
    message.To(pTo->GetSlot());
}

void SendVehicleDestroy(int nVehicleId, const CPlayer* pTo)
{
    CVehicleMessage message(ID_VEHICLE_DESTROY);
    message.Stream().Write(static_cast<uint16_t>(nVehicleId));
    message.To(pTo->GetSlot());
}

void SendVehicleState(const CVehicle* pVehicle, uint8_t byId)
{
    CVehicleMessage message(byId);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pVehicle->GetId());
    switch (byId)
    {
    case ID_VEHICLE_POSITION:
        stream.Write(pVehicle->m_vPosition);
        break;
    case ID_VEHICLE_ROTATION:
        stream.Write(pVehicle->m_qRotation);
        break;
    case ID_VEHICLE_COLOURS:
        stream.Write(pVehicle->m_byColour1);
        stream.Write(pVehicle->m_byColour2);
        break;
    case ID_VEHICLE_HEALTH:
        stream.Write(pVehicle->m_fHealth);
        break;
    case ID_VEHICLE_OPTIONS:
        stream.Write(pVehicle->m_byOptionFlags);
        stream.Write(pVehicle->m_byOptionByte);
        break;
    case ID_VEHICLE_EXPLODE:
        break;
    default:
        return;
    }
    message.ToObservers(pVehicle);
}

void SendVehicleRadio(const CVehicle* pVehicle, int nExceptSlot)
{
    CVehicleMessage message(ID_VEHICLE_RADIO);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pVehicle->GetId());
    stream.Write(pVehicle->m_byRadioStation);
    stream.Write(pVehicle->m_bRadioFlag);
    for (int nSeat = 0; nSeat < VEHICLE_SEAT_COUNT; ++nSeat)
    {
        const int nSlot = pVehicle->GetOccupant(nSeat);
        if (nSlot != nExceptSlot && CVehicle::PlayerAt(nSlot))
            message.To(nSlot);
    }
}

void SendVehicleMotion(const CVehicle* pVehicle, int nKind, const Vector& vValue, int nSlot)
{
    CVehicleMessage message(static_cast<uint8_t>(ID_VEHICLE_SET_SPEED + nKind));
    message.Stream().Write(pVehicle->GetId());
    message.Stream().Write(vValue);
    message.To(nSlot);
}

void SendVehicleToPlayer(const CVehicle* pVehicle, uint8_t byId, int nSlot)
{
    CVehicleMessage message(byId);
    message.Stream().Write(pVehicle->GetId());
    if (byId == ID_VEHICLE_DAMAGE || byId == ID_VEHICLE_ASSIGNMENT_GAINED)
        message.Stream().Write(pVehicle->m_uiDamage);
    message.To(nSlot);
}

void SendUnoccupiedRelay(const CVehicle* pVehicle, const SVehicleSyncRecord& record)
{
    CVehicleMessage message(ID_UNOCCUPIED_RELAY);
    message.Stream().Write(pVehicle->GetId());
    message.Stream().Write(record);
    message.ToObservers(pVehicle, pVehicle->m_byAssignedPlayer);
}

void SendHandlingBatch(int nSlot, uint8_t byCount, const SHandlingEntry* pEntries, int nEntries)
{
    CVehicleMessage message(ID_HANDLING_RULES);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(byCount);
    for (int i = 0; i < nEntries; ++i)
    {
        stream.Write(static_cast<uint16_t>(pEntries[i].nId));
        stream.Write(static_cast<uint8_t>(pEntries[i].nRule));
        stream.Write(pEntries[i].uiValue);
    }
    message.To(nSlot);
}
