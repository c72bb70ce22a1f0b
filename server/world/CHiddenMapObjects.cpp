#include "world/CHiddenMapObjects.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "world/CStreamer.h"
#include "world/ContentMessages.h"
#include "world/WorldContent.h"

namespace
{
constexpr uint8_t ACTION_HIDE = 0;
constexpr uint8_t ACTION_SHOW = 1;
} // namespace

uint64_t CHiddenMapObjects::MakeKey(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(nModel)) |
           static_cast<uint64_t>(static_cast<uint16_t>(nX)) << 16 |
           static_cast<uint64_t>(static_cast<uint16_t>(nY)) << 32 |
           static_cast<uint64_t>(static_cast<uint16_t>(nZ)) << 48;
}

void CHiddenMapObjects::Hide(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ)
{
    const uint64_t ullKey = MakeKey(nModel, nX, nY, nZ);
    if (m_Keys.insert(ullKey).second)
        SendHiddenMapObjects(-1, ACTION_HIDE, &ullKey, 1);
}

void CHiddenMapObjects::Show(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ)
{
    const uint64_t ullKey = MakeKey(nModel, nX, nY, nZ);
    if (m_Keys.erase(ullKey) > 0)
        SendHiddenMapObjects(-1, ACTION_SHOW, &ullKey, 1);
}

void CHiddenMapObjects::ShowAll()
{
    SendBatches(-1, ACTION_SHOW);
    m_Keys.clear();
}

void CHiddenMapObjects::SendTo(int nSlot) const
{
    SendBatches(nSlot, ACTION_HIDE);
}

void CHiddenMapObjects::SendBatches(int nSlot, uint8_t byAction) const
{
    uint64_t aullBatch[HIDDEN_OBJECTS_PER_MESSAGE];
    int nCount = 0;
    for (uint64_t ullKey : m_Keys)
    {
        aullBatch[nCount++] = ullKey;
        if (nCount == HIDDEN_OBJECTS_PER_MESSAGE)
        {
            SendHiddenMapObjects(nSlot, byAction, aullBatch, nCount);
            nCount = 0;
        }
    }
    if (nCount > 0)
        SendHiddenMapObjects(nSlot, byAction, aullBatch, nCount);
}

void SendHiddenMapObjectsTo(CPlayer* pPlayer)
{
    if (g_pServer && g_pServer->m_pStreamer && pPlayer)
        g_pServer->m_pStreamer->GetHiddenMapObjects().SendTo(pPlayer->GetSlot());
}
