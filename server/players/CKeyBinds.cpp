#include "players/CKeyBinds.h"

#include <cstring>

#include "CServer.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"
#include "world/ContentMessages.h"
#include "world/WorldContent.h"

void CKeyBinds::Clear()
{
    memset(m_aBinds, 0, sizeof(m_aBinds));
    m_bTableChanged = false;
}

bool CKeyBinds::Register(int nBindId, bool bOnRelease, int32_t nKey1, int32_t nKey2, int32_t nKey3)
{
    if (static_cast<unsigned>(nBindId) >= MAX_BINDS)
        return false;
    SBind& bind = m_aBinds[nBindId];
    bind.byOnRelease = bOnRelease ? 1 : 0;
    bind.anKeys[0] = nKey1;
    bind.anKeys[1] = nKey2;
    bind.anKeys[2] = nKey3;
    bind.byChanged = 1;
    m_bTableChanged = true;
    return true;
}

bool CKeyBinds::Remove(int nBindId)
{
    return Register(nBindId, false, 0, 0, 0);
}

bool CKeyBinds::IsInUse(int nBindId) const
{
    if (static_cast<unsigned>(nBindId) >= MAX_BINDS)
        return false;
    const SBind& bind = m_aBinds[nBindId];
    return bind.anKeys[0] != 0 || bind.anKeys[1] != 0 || bind.anKeys[2] != 0;
}

bool CKeyBinds::WantsRelease(int nBindId) const
{
    return static_cast<unsigned>(nBindId) < MAX_BINDS && m_aBinds[nBindId].byOnRelease != 0;
}

int CKeyBinds::FindFreeSlot() const
{
    for (int nBindId = 0; nBindId < MAX_BINDS; ++nBindId)
    {
        if (!IsInUse(nBindId))
            return nBindId;
    }
    return -1;
}

bool CKeyBinds::Get(int nBindId, int32_t* pnOnRelease, int32_t* pnKey1, int32_t* pnKey2,
                    int32_t* pnKey3) const
{
    static const SBind empty = {};
    const bool bValid = static_cast<unsigned>(nBindId) < MAX_BINDS;
    const SBind& bind = bValid ? m_aBinds[nBindId] : empty;
    if (pnOnRelease)
        *pnOnRelease = bind.byOnRelease;
    int32_t* apnKeys[3] = {pnKey1, pnKey2, pnKey3};
    for (int i = 0; i < 3; ++i)
    {
        if (apnKeys[i])
            *apnKeys[i] = bind.anKeys[i];
    }
    return bValid;
}

void CKeyBinds::RemoveAll()
{
    Clear();
    if (g_pServer && g_pServer->m_pNetwork)
        SendKeyBindReset();
}

void CKeyBinds::SendAllTo(int nSlot) const
{
    SKeyBindEntry aEntries[MAX_BINDS];
    int nCount = 0;
    for (int nBindId = 0; nBindId < MAX_BINDS; ++nBindId)
    {
        if (!IsInUse(nBindId))
            continue;
        const SBind& bind = m_aBinds[nBindId];
        aEntries[nCount++] = {static_cast<uint8_t>(nBindId),
                              bind.byOnRelease,
                              {bind.anKeys[0], bind.anKeys[1], bind.anKeys[2]}};
    }
    if (nCount > 0)
        SendKeyBindList(nSlot, aEntries, nCount);
}

void CKeyBinds::BroadcastChanged()
{
    if (!m_bTableChanged)
        return;
    m_bTableChanged = false;
    SKeyBindEntry aEntries[MAX_BINDS];
    int nCount = 0;
    for (int nBindId = 0; nBindId < MAX_BINDS; ++nBindId)
    {
        SBind& bind = m_aBinds[nBindId];
        if (!bind.byChanged)
            continue;
        bind.byChanged = 0;
        aEntries[nCount++] = {static_cast<uint8_t>(nBindId),
                              bind.byOnRelease,
                              {bind.anKeys[0], bind.anKeys[1], bind.anKeys[2]}};
    }
    if (nCount > 0)
        SendKeyBindList(-1, aEntries, nCount);
}

// A report for a bind that is free (removed since the client last heard) or
// out of range is ignored; a release counts only for binds that asked for it.
void CKeyBinds::HandleKeyEvent(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot) || nLength < 2 || !g_pServer->m_pPlayerPool || !g_pPluginManager)
        return;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    if (!pPlayer || pPlayer->IsMarkedForDeletion())
        return;
    const int nBindId = pPayload[0];
    const CKeyBinds& binds = g_pServer->m_KeyBinds;
    if (!binds.IsInUse(nBindId))
        return;
    if (pPayload[1] == 1)
        g_pPluginManager->OnKeyBindDown(pPlayer, nBindId);
    else if (binds.WantsRelease(nBindId))
        g_pPluginManager->OnKeyBindUp(pPlayer, nBindId);
}

void SendKeyBindsTo(CPlayer* pPlayer)
{
    if (g_pServer && pPlayer)
        g_pServer->m_KeyBinds.SendAllTo(pPlayer->GetSlot());
}
