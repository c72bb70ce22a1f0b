#include "world/support/CWorldFixture.h"

#include <cstdio>

#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

namespace worldtest
{

int CCapturePeer::Count(int nSlot, int nId) const
{
    int nCount = 0;
    for (const SSent& sent : m_Sent)
        nCount += (!sent.bBroadcast && sent.nSlot == nSlot && sent.Id() == nId) ? 1 : 0;
    return nCount;
}

CFakeEntities::~CFakeEntities()
{
    for (SFakeEntity& entity : m_aEntities)
        m_pGrid->Remove(entity.link);
}

void CFakeEntities::Place(int nId, const Vector& vPosition, int nWorld)
{
    SFakeEntity& entity = m_aEntities[nId];
    entity.bExists = true;
    entity.vPosition = vPosition;
    entity.nWorld = nWorld;
    m_pGrid->Move(&entity, entity.link, vPosition.x, vPosition.y);
}

void CFakeEntities::Erase(int nId)
{
    m_aEntities[nId].bExists = false;
    m_pGrid->Remove(m_aEntities[nId].link);
}

int CFakeEntities::CountEvents(int nId, int nObserver, bool bIn) const
{
    int nCount = 0;
    for (const SStreamEvent& event : m_Events)
        nCount += (event.nId == nId && event.nObserver == nObserver && event.bIn == bIn) ? 1 : 0;
    return nCount;
}

bool CFakeEntities::GetStreamState(int nId, Vector& vPosition, int& nWorld) const
{
    if (nId < 0 || nId >= static_cast<int>(m_aEntities.size()) || !m_aEntities[nId].bExists)
        return false;
    vPosition = m_aEntities[nId].vPosition;
    nWorld = m_aEntities[nId].nWorld;
    return true;
}

int CFakeEntities::GetStreamId(const void* pEntity) const
{
    const SFakeEntity* pRecord = static_cast<const SFakeEntity*>(pEntity);
    const ptrdiff_t nIndex = pRecord - m_aEntities.data();
    return (nIndex >= 0 && nIndex < static_cast<ptrdiff_t>(m_aEntities.size())) ? static_cast<int>(nIndex)
                                                                                : -1;
}

void CFakeEntities::SendStreamIn(int nId, CPlayer* pObserver)
{
    m_Events.push_back({nId, pObserver->GetSlot(), true});
}

void CFakeEntities::SendStreamOut(int nId, CPlayer* pObserver)
{
    m_Events.push_back({nId, pObserver->GetSlot(), false});
}

CFakeVehicles::CFakeVehicles(CStreamGrid* pGrid)
    : m_Entities(CStreamer::VEHICLE_ID_LIMIT, pGrid),
      m_aSeats(CStreamer::VEHICLE_ID_LIMIT, std::vector<uint8_t>(SEAT_COUNT, NO_PLAYER)),
      m_anAssigned(CStreamer::VEHICLE_ID_LIMIT, NO_PLAYER), m_anOccupancy(CStreamer::VEHICLE_ID_LIMIT, 0)
{
}

bool CFakeVehicles::GetStreamState(int nId, Vector& vPosition, int& nWorld) const
{
    return m_Entities.GetStreamState(nId, vPosition, nWorld);
}

bool CFakeVehicles::GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const
{
    if (nId < 0 || nId >= CStreamer::VEHICLE_ID_LIMIT || !m_Entities.m_aEntities[nId].bExists)
        return false;
    for (int i = 0; i < SEAT_COUNT; ++i)
        abySeats[i] = m_aSeats[nId][i];
    return true;
}

void CFakeVehicles::OfferNearestPlayer(int nId, int nSlot, float fDistance)
{
    m_Offers.push_back({nId, nSlot, fDistance});
}

// Newest first: the highest id placed is the newest in these tests.
int CFakeVehicles::GetActiveVehicles(int* pnIds, int nMax) const
{
    int nCount = 0;
    for (int nId = static_cast<int>(m_Entities.m_aEntities.size()) - 1; nId >= 1 && nCount < nMax; --nId)
    {
        if (m_Entities.m_aEntities[nId].bExists)
            pnIds[nCount++] = nId;
    }
    return nCount;
}

CWorldFixture::CWorldFixture()
{
    SetTimeSource(&m_Time);
    m_pServer = new CServer();
    m_pPeer = new CCapturePeer();
    m_pServer->m_pNetwork = new CNetwork(m_pPeer);
    m_pServer->m_pPlayerPool = new CPlayerPool();
    m_pServer->m_pStreamer = new CStreamer(m_pServer->m_pPlayerPool, 1000, 1000);
    m_pServer->m_uiNow = m_Time.GetTickMs();
    g_pServer = m_pServer;
    CStreamer& streamer = *m_pServer->m_pStreamer;
    m_pVehicles = new CFakeVehicles(streamer.GetVehicleGrid());
    m_pPickups = new CFakeEntities(CStreamer::PICKUP_ID_LIMIT, streamer.GetPickupGrid());
    m_pObjects = new CFakeEntities(CStreamer::OBJECT_ID_LIMIT, streamer.GetObjectGrid());
    streamer.SetVehicleSource(m_pVehicles);
    streamer.SetPickupSource(m_pPickups);
    streamer.SetObjectSource(m_pObjects);
}

// Players go first, while the fake pools can still answer for their vehicles.
CWorldFixture::~CWorldFixture()
{
    m_pServer->m_pPlayerPool->DeleteAll();
    CStreamer& streamer = *m_pServer->m_pStreamer;
    streamer.SetVehicleSource(nullptr);
    streamer.SetPickupSource(nullptr);
    streamer.SetObjectSource(nullptr);
    delete m_pVehicles;
    delete m_pPickups;
    delete m_pObjects;
    delete m_pServer;
    g_pServer = nullptr;
    SetTimeSource(nullptr);
}

CPlayer* CWorldFixture::AddPlayer(int nSlot, const Vector& vPosition, int nWorld, bool bSpawned)
{
    char szName[24];
    std::snprintf(szName, sizeof(szName), "Player%d", nSlot);
    if (!m_pServer->m_pPlayerPool->New(nSlot, szName, "uid"))
        return nullptr;
    CPlayer* pPlayer = m_pServer->m_pPlayerPool->Get(nSlot);
    pPlayer->m_usWorld = static_cast<uint16_t>(nWorld);
    pPlayer->m_bSpawned = bSpawned;
    MovePlayer(pPlayer, vPosition);
    return pPlayer;
}

void CWorldFixture::MovePlayer(CPlayer* pPlayer, const Vector& vPosition)
{
    pPlayer->m_vPosition = vPosition;
    pPlayer->UpdateGridCell();
}

bool CWorldFixture::RemovePlayer(int nSlot)
{
    return m_pServer->m_pPlayerPool->Delete(nSlot, 1);
}

} // namespace worldtest
