#include "world/CObjectPool.h"

#include <cstring>

#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"

CObjectPool::CObjectPool(CStreamer* pStreamer) : m_pStreamer(pStreamer), m_nCount(0), m_bClosed(false)
{
    memset(m_apObjects, 0, sizeof(m_apObjects));
    InitEntityList(m_ListHead);
    if (m_pStreamer)
        m_pStreamer->SetObjectSource(this);
}

CObjectPool::~CObjectPool()
{
    Close();
    if (m_pStreamer)
        m_pStreamer->SetObjectSource(nullptr);
}

int CObjectPool::Create(int nModel, int nWorld, const Vector& vPosition, uint8_t byAlpha)
{
    if (m_bClosed)
        return -1;
    int nId = 0;
    while (nId < MAX_OBJECTS && m_apObjects[nId])
        ++nId;
    if (nId == MAX_OBJECTS)
        return -1;
    new CObject(this, static_cast<uint16_t>(nId), nModel, nWorld, vPosition, byAlpha);
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_OBJECT, nId, false);
    return nId;
}

bool CObjectPool::Delete(int nId)
{
    CObject* pObject = Get(nId);
    return pObject && pObject->RequestDelete();
}

// Objects still locked at shutdown cannot be, as no event is running then.
void CObjectPool::DeleteAll()
{
    for (int nId = 0; nId < MAX_OBJECTS; ++nId)
        Delete(nId);
}

// An event raised by a deletion may create an object, which the walk might
// already have passed and would leave behind: nothing is created once closed.
void CObjectPool::Close()
{
    m_bClosed = true;
    DeleteAll();
}

CObject* CObjectPool::Get(int nId) const
{
    if (static_cast<unsigned>(nId) >= MAX_OBJECTS)
        return nullptr;
    return m_apObjects[nId];
}

// No event is raised from an object's step, so the list cannot change under
// the walk.
void CObjectPool::ProcessAll(uint32_t uiNow)
{
    for (SObjectListNode* pNode = m_ListHead.pNext; pNode != &m_ListHead; pNode = pNode->pNext)
        pNode->pEntity->ProcessTick(uiNow);
}

// One being destroyed has already been streamed out everywhere and is gone
// for the streamer, though its events still run: nothing may stream it in
// again. One merely marked (while a lock holds it) still counts, so that its
// destruction streams it out wherever it is.
bool CObjectPool::GetStreamState(int nId, Vector& vPosition, int& nWorld) const
{
    const CObject* pObject = Get(nId);
    if (!pObject || pObject->IsDeleted())
        return false;
    vPosition = pObject->GetStoredPosition();
    nWorld = pObject->GetWorld();
    return true;
}

int CObjectPool::GetStreamId(const void* pEntity) const
{
    return pEntity ? static_cast<const CObject*>(pEntity)->GetId() : -1;
}

void CObjectPool::SendStreamIn(int nId, CPlayer* pObserver)
{
    if (CObject* pObject = Get(nId))
        pObject->SendCreateTo(pObserver);
}

void CObjectPool::SendStreamOut(int nId, CPlayer* pObserver)
{
    if (CObject* pObject = Get(nId))
        pObject->SendDestroyTo(pObserver);
}

void CObjectPool::LinkFront(CObject* pObject)
{
    LinkEntityFront(m_ListHead, *pObject->GetPoolNode());
    m_apObjects[pObject->GetId()] = pObject;
    ++m_nCount;
}

void CObjectPool::Detach(CObject* pObject)
{
    UnlinkEntity(*pObject->GetPoolNode());
    if (m_apObjects[pObject->GetId()] == pObject)
        m_apObjects[pObject->GetId()] = nullptr;
    --m_nCount;
}
