#include "world/CPickup.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "plugins/CPluginManager.h"
#include "world/CPickupPool.h"
#include "world/CStreamer.h"
#include "world/CWorldMessage.h"

namespace
{
// A claim counts from at most 10 units away (compared squared).
constexpr float CLAIM_RANGE_SQUARED = 100.0f;

enum EPickupModel
{
    MODEL_MONEY = 337,
    MODEL_HEALTH = 366,
    MODEL_ARMOUR = 368,
};

// The weapon models: a run of models gives a run of weapons. The first row
// gives its weapon with one round; the others add the pickup's quantity.
struct SWeaponModelRow
{
    int nFirstModel;
    int nLastModel;
    int nFirstWeapon;
    bool bAddsQuantity;
};

const SWeaponModelRow g_aWeaponModels[] = {
    {259, 269, 1, false}, {270, 270, 12, true}, {271, 275, 14, true}, {276, 276, 27, true},
    {277, 279, 19, true}, {280, 280, 26, true}, {281, 284, 22, true}, {285, 290, 28, true},
};

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// Health and armour: the sum, but 100 once it passes 99; only ever raised.
int RaisedValue(int nCurrent, int nQuantity)
{
    const long long llSum = static_cast<long long>(nCurrent) + nQuantity;
    return llSum > 99 ? 100 : static_cast<int>(llSum);
}

int32_t AddMoney(int32_t nMoney, int32_t nQuantity)
{
    const long long llSum = static_cast<long long>(nMoney) + nQuantity;
    if (llSum > INT32_MAX)
        return INT32_MAX;
    return llSum < INT32_MIN ? INT32_MIN : static_cast<int32_t>(llSum);
}
} // namespace

CPickup::CPickup(CPickupPool* pPool, uint16_t wId, uint32_t uiKey, int nModel, int nWorld, int nQuantity,
                 const Vector& vPosition, uint8_t byAlpha, bool bAutomatic)
    : m_pPool(pPool), m_pGrid(nullptr), m_nWorld(static_cast<uint16_t>(nWorld)), m_wId(wId), m_uiKey(uiKey),
      m_nModel(nModel), m_nQuantity(nQuantity), m_vPosition(vPosition), m_byAlpha(byAlpha),
      m_bAutomatic(bAutomatic), m_bHasTimer(false), m_nRespawnDelay(0), m_uiRespawnDue(0)
{
    CServer::ClampToWorld(m_vPosition);
    m_PoolNode.pEntity = this;
    CStreamer* pStreamer = m_pPool->GetStreamer();
    if (pStreamer)
        m_pGrid = pStreamer->GetPickupGrid();
    m_pPool->LinkFront(this);
    if (m_pGrid)
        m_pGrid->Insert(this, m_GridNode, m_vPosition.x, m_vPosition.y);
    if (pStreamer)
        pStreamer->UpdatePickup(m_wId);
}

CPickup::~CPickup()
{
    if (m_pGrid)
        m_pGrid->Remove(m_GridNode);
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->RemovePickup(m_wId);
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_PICKUP, m_wId, true);
    m_pPool->Detach(this);
}

// Worlds are 16-bit numbers: a pickup's is kept as the unsigned number the
// players' worlds are compared with.
void CPickup::SetWorld(int nWorld)
{
    const int nWorld16 = static_cast<uint16_t>(nWorld);
    if (IsMarkedForDeletion() || nWorld16 == m_nWorld)
        return;
    m_nWorld = nWorld16;
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->UpdatePickup(m_wId);
}

void CPickup::SetAlpha(uint8_t byAlpha)
{
    if (IsMarkedForDeletion())
        return;
    m_byAlpha = byAlpha;
    CWorldMessage message(ID_PICKUP_ALPHA);
    message.Stream().Write(m_uiKey);
    message.Stream().Write(m_byAlpha);
    message.ToPickupObservers(m_wId);
}

void CPickup::SetPosition(const Vector& vPosition)
{
    if (IsMarkedForDeletion())
        return;
    m_vPosition = vPosition;
    CServer::ClampToWorld(m_vPosition);
    if (m_pGrid)
        m_pGrid->Move(this, m_GridNode, m_vPosition.x, m_vPosition.y);
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->UpdatePickup(m_wId);
    CWorldMessage message(ID_PICKUP_POSITION);
    message.Stream().Write(m_uiKey);
    message.WriteVector(m_vPosition);
    message.ToPickupObservers(m_wId);
}

void CPickup::Refresh()
{
    if (IsMarkedForDeletion())
        return;
    const uint32_t uiOldKey = m_uiKey;
    m_uiKey = m_pPool->NextKey(m_wId);
    CWorldMessage message(ID_PICKUP_REFRESH);
    message.Stream().Write(uiOldKey);
    message.Stream().Write(m_uiKey);
    message.ToPickupObservers(m_wId);
}

void CPickup::SetAutomatic(bool bAutomatic)
{
    if (!IsMarkedForDeletion())
        m_bAutomatic = bAutomatic;
}

void CPickup::SetTimer(int nMs)
{
    if (IsMarkedForDeletion())
        return;
    m_bHasTimer = nMs != 0;
    m_nRespawnDelay = nMs;
}

void CPickup::ApplyEffect(CPlayer* pPlayer) const
{
    for (const SWeaponModelRow& row : g_aWeaponModels)
    {
        if (m_nModel < row.nFirstModel || m_nModel > row.nLastModel)
            continue;
        const int nWeapon = row.nFirstWeapon + (m_nModel - row.nFirstModel);
        if (row.bAddsQuantity)
            pPlayer->GiveWeaponAddingAmmo(nWeapon, m_nQuantity, true);
        else
            pPlayer->GiveWeapon(nWeapon, 1, true);
        return;
    }
    if (m_nModel == MODEL_MONEY)
    {
        pPlayer->SetMoney(AddMoney(pPlayer->m_nMoney, m_nQuantity), true);
    }
    else if (m_nModel == MODEL_HEALTH)
    {
        const int nHealth = RaisedValue(pPlayer->m_byHealth, m_nQuantity);
        if (nHealth > pPlayer->m_byHealth)
            pPlayer->SetHealth(static_cast<uint8_t>(nHealth), true);
    }
    else if (m_nModel == MODEL_ARMOUR)
    {
        const int nArmour = RaisedValue(pPlayer->m_byArmour, m_nQuantity);
        if (nArmour > pPlayer->m_byArmour)
            pPlayer->SetArmour(static_cast<uint8_t>(nArmour), true);
    }
}

// Both stay locked throughout: a plugin may delete the pickup or kick the
// player from inside either event, and the claim stops at the next step.
void CPickup::Claim(CPlayer* pPlayer)
{
    CEntityLock pickupLock(this);
    CEntityLock playerLock(pPlayer);
    if (IsMarkedForDeletion())
        return;
    if (Vector::DistanceSquared(m_vPosition, pPlayer->m_vPosition) > CLAIM_RANGE_SQUARED)
        return;
    if (g_pPluginManager && g_pPluginManager->OnPickupPickAttempt(this, pPlayer) == 0)
        return;
    if (IsMarkedForDeletion() || pPlayer->IsMarkedForDeletion())
        return;
    if (m_bAutomatic)
        ApplyEffect(pPlayer);
    if (g_pPluginManager)
        g_pPluginManager->OnPickupPicked(this, pPlayer);
    if (m_bHasTimer && !IsMarkedForDeletion())
    {
        Refresh();
        SetAlpha(0);
        const uint32_t uiDue = Now() + static_cast<uint32_t>(m_nRespawnDelay);
        m_uiRespawnDue = uiDue == 0 ? 1 : uiDue;
    }
}

void CPickup::SendCreateTo(const CPlayer* pPlayer) const
{
    CWorldMessage message(ID_PICKUP_CREATE);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(m_uiKey);
    stream.Write(static_cast<uint16_t>(m_nModel));
    stream.Write(static_cast<int32_t>(m_nQuantity));
    message.WriteVector(m_vPosition);
    stream.Write(m_byAlpha);
    message.To(pPlayer->GetSlot());
}

void CPickup::SendDestroyTo(const CPlayer* pPlayer) const
{
    CWorldMessage message(ID_PICKUP_DESTROY);
    message.Stream().Write(m_uiKey);
    message.To(pPlayer->GetSlot());
}

void CPickup::ProcessTick(uint32_t uiNow)
{
    if (IsMarkedForDeletion() || m_uiRespawnDue == 0 || !ClockPassed(uiNow, m_uiRespawnDue))
        return;
    SetAlpha(255);
    m_uiRespawnDue = 0;
}
