#include "world/CVehiclePool.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"
#include "world/VehicleMessages.h"
#include "world/WorldContent.h"

CVehiclePool::CVehiclePool() : m_nCount(0), m_uiLastSerial(0), m_bClosed(false)
{
    for (CVehicle*& pVehicle : m_apVehicles)
        pVehicle = nullptr;
    InitEntityList(m_ListHead);
}

CVehiclePool::~CVehiclePool()
{
    Close();
}

// Every vehicle goes, as by Delete; a vehicle still locked (which only a
// plugin call in progress could do) is let go of. The events of the
// deletions may create vehicles, which the walk might already have passed
// and would leave behind: nothing is created once closed.
void CVehiclePool::Close()
{
    m_bClosed = true;
    for (int nId = VEHICLE_ID_FIRST; nId <= VEHICLE_ID_LAST; ++nId)
    {
        CVehicle* pVehicle = m_apVehicles[nId];
        if (pVehicle && !pVehicle->RequestDelete())
            m_apVehicles[nId] = nullptr;
    }
}

int CVehiclePool::Create(int nModel, int nWorld, const Vector& vPosition, float fAngle, int nColour1,
                         int nColour2)
{
    if (m_bClosed || !CVehicle::IsValidModel(nModel))
        return 0;
    int nId = VEHICLE_ID_FIRST;
    while (nId <= VEHICLE_ID_LAST && m_apVehicles[nId])
        ++nId;
    if (nId > VEHICLE_ID_LAST)
        return 0;
    new CVehicle(this, static_cast<uint16_t>(nId), static_cast<uint8_t>(nModel), nWorld, vPosition, fAngle,
                 static_cast<uint8_t>(nColour1), static_cast<uint8_t>(nColour2));
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_VEHICLE, nId, false);
    return nId;
}

bool CVehiclePool::Delete(int nVehicleId)
{
    CVehicle* pVehicle = Get(nVehicleId);
    if (!pVehicle || pVehicle->IsDeleted())
        return false;
    return pVehicle->RequestDelete();
}

CVehicle* CVehiclePool::Get(int nVehicleId) const
{
    if (nVehicleId < VEHICLE_ID_FIRST || nVehicleId > VEHICLE_ID_LAST)
        return nullptr;
    return m_apVehicles[nVehicleId];
}

// The list is copied first: an event may create or delete any vehicle. A
// vehicle deleted meanwhile, or replaced by a new one in its slot, is skipped.
void CVehiclePool::Process()
{
    static int anIds[VEHICLE_ID_LAST];
    static uint32_t auiSerials[VEHICLE_ID_LAST];
    int nCount = 0;
    for (SVehicleListNode* pNode = m_ListHead.pNext; pNode != &m_ListHead && nCount < VEHICLE_ID_LAST;
         pNode = pNode->pNext)
    {
        anIds[nCount] = pNode->pEntity->GetId();
        auiSerials[nCount++] = pNode->pEntity->GetSerial();
    }
    for (int i = 0; i < nCount; ++i)
    {
        CVehicle* pVehicle = Get(anIds[i]);
        if (pVehicle && pVehicle->GetSerial() == auiSerials[i])
            pVehicle->Process();
    }
}

void CVehiclePool::Attach(int nVehicleId, CVehicle* pVehicle)
{
    if (nVehicleId < VEHICLE_ID_FIRST || nVehicleId > VEHICLE_ID_LAST || m_apVehicles[nVehicleId])
        return;
    m_apVehicles[nVehicleId] = pVehicle;
    ++m_nCount;
}

void CVehiclePool::Detach(int nVehicleId)
{
    if (nVehicleId < VEHICLE_ID_FIRST || nVehicleId > VEHICLE_ID_LAST || !m_apVehicles[nVehicleId])
        return;
    m_apVehicles[nVehicleId] = nullptr;
    --m_nCount;
}

void CVehiclePool::LinkFront(SVehicleListNode* pNode)
{
    LinkEntityFront(m_ListHead, *pNode);
}

void CVehiclePool::Unlink(SVehicleListNode* pNode)
{
    UnlinkEntity(*pNode);
}

// ---------------------------------------------------------------------------
// The streamer's view. A vehicle in the middle of its destruction is no
// longer there to be streamed in.

bool CVehiclePool::GetStreamState(int nId, Vector& vPosition, int& nWorld) const
{
    const CVehicle* pVehicle = Get(nId);
    if (!pVehicle || pVehicle->IsDeleted())
        return false;
    vPosition = pVehicle->m_vPosition;
    nWorld = pVehicle->m_usWorld;
    return true;
}

int CVehiclePool::GetStreamId(const void* pEntity) const
{
    return pEntity ? static_cast<const CVehicle*>(pEntity)->GetId() : -1;
}

void CVehiclePool::SendStreamIn(int nId, CPlayer* pObserver)
{
    const CVehicle* pVehicle = Get(nId);
    if (!pVehicle)
        return;
    SendVehicleCreate(pVehicle, pObserver);
    SendVehicleRulesTo(pObserver, pVehicle);
}

void CVehiclePool::SendStreamOut(int nId, CPlayer* pObserver)
{
    SendVehicleDestroy(nId, pObserver);
}

bool CVehiclePool::GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const
{
    const CVehicle* pVehicle = Get(nId);
    if (!pVehicle)
        return false;
    for (int nSeat = 0; nSeat < SEAT_COUNT; ++nSeat)
        abySeats[nSeat] = pVehicle->GetOccupant(nSeat);
    return true;
}

int CVehiclePool::GetAssignedPlayer(int nId) const
{
    const CVehicle* pVehicle = Get(nId);
    return pVehicle ? pVehicle->m_byAssignedPlayer : NO_PLAYER;
}

int CVehiclePool::GetOccupancyState(int nId) const
{
    const CVehicle* pVehicle = Get(nId);
    return pVehicle ? pVehicle->m_nOccupancyState : OCCUPANCY_NONE;
}

void CVehiclePool::Reassign(int nId)
{
    if (CVehicle* pVehicle = Get(nId))
        pVehicle->Reassign();
}

void CVehiclePool::ReleaseAssignment(int nId)
{
    if (CVehicle* pVehicle = Get(nId))
        pVehicle->ReleaseAssignment();
}

void CVehiclePool::OfferNearestPlayer(int nId, int nSlot, float fDistance)
{
    if (CVehicle* pVehicle = Get(nId))
        pVehicle->OfferNearest(nSlot, fDistance);
}

int CVehiclePool::GetActiveVehicles(int* pnIds, int nMax) const
{
    int nCount = 0;
    for (const SVehicleListNode* pNode = m_ListHead.pNext; pNode != &m_ListHead && nCount < nMax;
         pNode = pNode->pNext)
        pnIds[nCount++] = pNode->pEntity->GetId();
    return nCount;
}

// ---------------------------------------------------------------------------
// Handling overrides

namespace
{
bool IsHandlingModel(int nModel)
{
    return nModel >= HANDLING_MODEL_FIRST && nModel <= HANDLING_MODEL_LAST;
}
} // namespace

bool CVehiclePool::SetModelRule(int nModel, int nRule, double dValue)
{
    if (!IsHandlingModel(nModel) || nRule < 1 || nRule > HANDLING_MODEL_RULE_LAST)
        return false;
    const uint32_t uiValue = StoreHandlingValue(nRule, dValue);
    m_ModelRules.Set(nModel, nRule, uiValue);
    BroadcastHandlingEntry(nModel, nRule, uiValue);
    return true;
}

bool CVehiclePool::ModelRuleExists(int nModel, int nRule) const
{
    return m_ModelRules.Exists(nModel, nRule);
}

double CVehiclePool::GetModelRule(int nModel, int nRule) const
{
    uint32_t uiValue = 0;
    if (m_ModelRules.Get(nModel, nRule, uiValue))
        return LoadHandlingValue(nRule, uiValue);
    return GetDefaultHandling(nModel, nRule);
}

void CVehiclePool::ResetModelRule(int nModel, int nRule)
{
    if (!m_ModelRules.Exists(nModel, nRule))
        return;
    BroadcastHandlingEntry(nModel, nRule, HANDLING_RESET_VALUE);
    m_ModelRules.Erase(nModel, nRule);
}

void CVehiclePool::ResetModel(int nModel)
{
    if (m_ModelRules.EraseId(nModel) > 0)
        BroadcastHandlingEntry(nModel, 0, HANDLING_RESET_VALUE);
}

void CVehiclePool::ResetAllRules()
{
    m_ModelRules.Clear();
    for (CVehicle* pVehicle : m_apVehicles)
    {
        if (pVehicle)
            pVehicle->HandlingRules().Clear();
    }
    BroadcastHandlingEntry(0, 0, HANDLING_RESET_VALUE);
}

void CVehiclePool::SendToObservers(const CVehicle* pVehicle, const SHandlingEntry& entry) const
{
    CStreamer* pStreamer = g_pServer ? g_pServer->m_pStreamer : nullptr;
    if (pStreamer)
        pStreamer->ForEachObserverOfVehicle(pVehicle->GetId(), [&](CPlayer* pObserver, int)
                                            { SendHandlingEntries(pObserver, &entry, 1); });
}

bool CVehiclePool::SetVehicleRule(CVehicle* pVehicle, int nRule, double dValue)
{
    if (nRule < 1 || nRule > HANDLING_VEHICLE_RULE_LAST)
        return false;
    const SHandlingEntry entry = {pVehicle->HandlingId(), nRule, StoreHandlingValue(nRule, dValue)};
    pVehicle->HandlingRules().Set(entry.nId, nRule, entry.uiValue);
    SendToObservers(pVehicle, entry);
    return true;
}

bool CVehiclePool::VehicleRuleExists(CVehicle* pVehicle, int nRule) const
{
    return pVehicle->HandlingRules().Exists(pVehicle->HandlingId(), nRule);
}

double CVehiclePool::GetVehicleRule(CVehicle* pVehicle, int nRule) const
{
    uint32_t uiValue = 0;
    if (pVehicle->HandlingRules().Get(pVehicle->HandlingId(), nRule, uiValue))
        return LoadHandlingValue(nRule, uiValue);
    return GetModelRule(pVehicle->m_byModel, nRule);
}

void CVehiclePool::ResetVehicleRule(CVehicle* pVehicle, int nRule)
{
    if (!VehicleRuleExists(pVehicle, nRule))
        return;
    SendToObservers(pVehicle, {pVehicle->HandlingId(), nRule, HANDLING_RESET_VALUE});
    pVehicle->HandlingRules().Erase(pVehicle->HandlingId(), nRule);
}

void CVehiclePool::ResetVehicleRules(CVehicle* pVehicle)
{
    if (pVehicle->HandlingRules().Empty())
        return;
    pVehicle->HandlingRules().Clear();
    SendToObservers(pVehicle, {pVehicle->HandlingId(), 0, HANDLING_RESET_VALUE});
}

void CVehiclePool::SendModelRulesTo(CPlayer* pPlayer) const
{
    std::vector<SHandlingEntry> entries;
    m_ModelRules.Collect(entries);
    SendHandlingEntries(pPlayer, entries.data(), static_cast<int>(entries.size()));
}

void CVehiclePool::SendVehicleRulesTo(CPlayer* pPlayer, const CVehicle* pVehicle) const
{
    std::vector<SHandlingEntry> entries;
    pVehicle->HandlingRules().Collect(entries);
    SendHandlingEntries(pPlayer, entries.data(), static_cast<int>(entries.size()));
}

// A new player learns every model override before it sees any vehicle.
void SendHandlingRulesTo(CPlayer* pPlayer)
{
    if (g_pServer && g_pServer->m_pVehiclePool)
        g_pServer->m_pVehiclePool->SendModelRulesTo(pPlayer);
}
