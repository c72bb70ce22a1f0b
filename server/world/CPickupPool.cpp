#include "world/CPickupPool.h"

#include <cstring>

#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"

CPickupPool::CPickupPool(CStreamer* pStreamer) : m_pStreamer(pStreamer), m_nCount(0), m_bClosed(false)
{
    memset(m_apPickups, 0, sizeof(m_apPickups));
    memset(m_auiGeneration, 0, sizeof(m_auiGeneration));
    InitEntityList(m_ListHead);
    if (m_pStreamer)
        m_pStreamer->SetPickupSource(this);
}

CPickupPool::~CPickupPool()
{
    Close();
    if (m_pStreamer)
        m_pStreamer->SetPickupSource(nullptr);
}

int CPickupPool::Create(int nModel, int nWorld, int nQuantity, const Vector& vPosition, uint8_t byAlpha,
                        bool bAutomatic)
{
    if (m_bClosed)
        return -1;
    int nId = 0;
    while (nId < MAX_PICKUPS && m_apPickups[nId])
        ++nId;
    if (nId == MAX_PICKUPS)
        return -1;
    const uint32_t uiKey = NextKey(nId);
    new CPickup(this, static_cast<uint16_t>(nId), uiKey, nModel, nWorld, nQuantity, vPosition, byAlpha,
                bAutomatic);
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_PICKUP, nId, false);
    return nId;
}

bool CPickupPool::Delete(int nId)
{
    CPickup* pPickup = Get(nId);
    return pPickup && pPickup->RequestDelete();
}

void CPickupPool::DeleteAll()
{
    for (int nId = 0; nId < MAX_PICKUPS; ++nId)
        Delete(nId);
}

// An event raised by a deletion may create a pickup, which the walk might
// already have passed and would leave behind: nothing is created once closed.
void CPickupPool::Close()
{
    m_bClosed = true;
    DeleteAll();
}

CPickup* CPickupPool::Get(int nId) const
{
    if (static_cast<unsigned>(nId) >= MAX_PICKUPS)
        return nullptr;
    return m_apPickups[nId];
}

CPickup* CPickupPool::FindByKey(uint32_t uiKey) const
{
    CPickup* pPickup = Get(static_cast<int>(uiKey & KEY_SLOT_MASK));
    return pPickup && pPickup->GetKey() == uiKey ? pPickup : nullptr;
}

// The generation wraps after 2^21 keys of one slot, far beyond any game.
uint32_t CPickupPool::NextKey(int nId)
{
    const uint32_t uiGeneration = ++m_auiGeneration[nId];
    return static_cast<uint32_t>(nId) | (uiGeneration << KEY_SLOT_BITS);
}

// The step raises no plugin event, so the list cannot change under the walk.
void CPickupPool::ProcessAll(uint32_t uiNow)
{
    for (SPickupListNode* pNode = m_ListHead.pNext; pNode != &m_ListHead; pNode = pNode->pNext)
        pNode->pEntity->ProcessTick(uiNow);
}

// One being destroyed has already been streamed out everywhere and is gone
// for the streamer, though its events still run: nothing may stream it in
// again. One merely marked (while a lock holds it) still counts, so that its
// destruction streams it out wherever it is.
bool CPickupPool::GetStreamState(int nId, Vector& vPosition, int& nWorld) const
{
    const CPickup* pPickup = Get(nId);
    if (!pPickup || pPickup->IsDeleted())
        return false;
    vPosition = pPickup->GetPosition();
    nWorld = pPickup->GetWorld();
    return true;
}

int CPickupPool::GetStreamId(const void* pEntity) const
{
    return pEntity ? static_cast<const CPickup*>(pEntity)->GetId() : -1;
}

void CPickupPool::SendStreamIn(int nId, CPlayer* pObserver)
{
    if (CPickup* pPickup = Get(nId))
        pPickup->SendCreateTo(pObserver);
}

void CPickupPool::SendStreamOut(int nId, CPlayer* pObserver)
{
    if (CPickup* pPickup = Get(nId))
        pPickup->SendDestroyTo(pObserver);
}

void CPickupPool::LinkFront(CPickup* pPickup)
{
    LinkEntityFront(m_ListHead, *pPickup->GetPoolNode());
    m_apPickups[pPickup->GetId()] = pPickup;
    ++m_nCount;
}

void CPickupPool::Detach(CPickup* pPickup)
{
    UnlinkEntity(*pPickup->GetPoolNode());
    if (m_apPickups[pPickup->GetId()] == pPickup)
        m_apPickups[pPickup->GetId()] = nullptr;
    --m_nCount;
}
