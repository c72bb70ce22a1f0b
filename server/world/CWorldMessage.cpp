#include "world/CWorldMessage.h"

#include "CServer.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "world/CStreamer.h"

namespace
{
CNetwork* Network()
{
    return g_pServer ? g_pServer->m_pNetwork : nullptr;
}

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}
} // namespace

CWorldMessage::CWorldMessage(uint8_t byId)
{
    CNetwork::WriteMessageId(m_Stream, byId);
}

void CWorldMessage::To(int nSlot) const
{
    if (CNetwork* pNetwork = Network())
        pNetwork->SendToPlayer(nSlot, m_Stream, NET_HIGH_PRIORITY, NET_RELIABLE_ORDERED, 0);
}

void CWorldMessage::ToObjectObservers(int nObjectId) const
{
    if (CStreamer* pStreamer = Streamer())
        pStreamer->ForEachObserverOfObject(nObjectId,
                                           [this](CPlayer* pObserver, int) { To(pObserver->GetSlot()); });
}

void CWorldMessage::ToPickupObservers(int nPickupId) const
{
    if (CStreamer* pStreamer = Streamer())
        pStreamer->ForEachObserverOfPickup(nPickupId,
                                           [this](CPlayer* pObserver, int) { To(pObserver->GetSlot()); });
}
