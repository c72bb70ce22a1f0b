#include "world/CMarkerPool.h"

#include <cstring>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "world/ContentMessages.h"
#include "world/WorldContent.h"

CMarkerPool::CMarkerPool()
{
    memset(static_cast<void*>(m_aMarkers), 0, sizeof(m_aMarkers));
}

template <typename Fn> void CMarkerPool::ForEachViewer(int32_t nWorld, Fn&& fn) const
{
    CPlayerPool* pPool = g_pServer ? g_pServer->m_pPlayerPool : nullptr;
    if (!pPool)
        return;
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        const CPlayer* pPlayer = pPool->Get(nSlot);
        if (pPlayer && pPlayer->IsWorldVisible(nWorld))
            fn(nSlot);
    }
}

int CMarkerPool::Create(int nIndex, int32_t nWorld, const Vector& vPosition, int32_t nAttributeA,
                        uint32_t uiAttributeB, int32_t nAttributeC)
{
    if (nIndex == -1)
    {
        for (int i = 0; i < MAX_MARKERS && nIndex == -1; ++i)
        {
            if (!m_aMarkers[i].byInUse)
                nIndex = i;
        }
    }
    if (static_cast<unsigned>(nIndex) >= MAX_MARKERS)
        return -1;
    Destroy(nIndex);
    m_aMarkers[nIndex] = {1, nWorld, vPosition, nAttributeA, uiAttributeB, nAttributeC};
    ForEachViewer(nWorld, [this, nIndex](int nSlot) { SendCreate(nIndex, nSlot); });
    return nIndex;
}

void CMarkerPool::Destroy(int nIndex)
{
    if (static_cast<unsigned>(nIndex) >= MAX_MARKERS || !m_aMarkers[nIndex].byInUse)
        return;
    ForEachViewer(m_aMarkers[nIndex].nWorld,
                  [nIndex](int nSlot) { SendMarkerDestroy(nSlot, static_cast<uint8_t>(nIndex)); });
    m_aMarkers[nIndex].byInUse = 0;
}

bool CMarkerPool::Get(int nIndex, int32_t* pnWorld, Vector* pvPosition, int32_t* pnAttributeA,
                      uint32_t* puiAttributeB, int32_t* pnAttributeC) const
{
    if (static_cast<unsigned>(nIndex) >= MAX_MARKERS || !m_aMarkers[nIndex].byInUse)
        return false;
    const SMarker& marker = m_aMarkers[nIndex];
    if (pnWorld)
        *pnWorld = marker.nWorld;
    if (pvPosition)
        *pvPosition = marker.vPosition;
    if (pnAttributeA)
        *pnAttributeA = marker.nAttributeA;
    if (puiAttributeB)
        *puiAttributeB = marker.uiAttributeB;
    if (pnAttributeC)
        *pnAttributeC = marker.nAttributeC;
    return true;
}

void CMarkerPool::SendVisibleTo(const CPlayer* pPlayer) const
{
    for (int nIndex = 0; nIndex < MAX_MARKERS; ++nIndex)
    {
        if (m_aMarkers[nIndex].byInUse && pPlayer->IsWorldVisible(m_aMarkers[nIndex].nWorld))
            SendCreate(nIndex, pPlayer->GetSlot());
    }
}

void CMarkerPool::WithdrawVisibleFrom(const CPlayer* pPlayer) const
{
    for (int nIndex = 0; nIndex < MAX_MARKERS; ++nIndex)
    {
        if (m_aMarkers[nIndex].byInUse && pPlayer->IsWorldVisible(m_aMarkers[nIndex].nWorld))
            SendMarkerDestroy(pPlayer->GetSlot(), static_cast<uint8_t>(nIndex));
    }
}

void CMarkerPool::SendCreate(int nIndex, int nSlot) const
{
    const SMarker& marker = m_aMarkers[nIndex];
    SendMarkerCreate(nSlot, static_cast<uint8_t>(nIndex), marker.vPosition, marker.nAttributeA,
                     marker.uiAttributeB, marker.nAttributeC);
}

void SendMarkersTo(CPlayer* pPlayer)
{
    if (g_pServer && g_pServer->m_pMarkerPool && pPlayer)
        g_pServer->m_pMarkerPool->SendVisibleTo(pPlayer);
}

void WithdrawMarkersFrom(CPlayer* pPlayer)
{
    if (g_pServer && g_pServer->m_pMarkerPool && pPlayer)
        g_pServer->m_pMarkerPool->WithdrawVisibleFrom(pPlayer);
}
