#include "players/CPlayerPool.h"

#include <cstring>

#include "CMetrics.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"

CPlayerPool::CPlayerPool() : m_nCount(0)
{
    memset(m_apPlayers, 0, sizeof(m_apPlayers));
    memset(m_anGeneration, 0, sizeof(m_anGeneration));
    InitEntityList(m_ListHead);
}

CPlayerPool::~CPlayerPool()
{
    DeleteAll();
}

// The slot is stored only after the constructor has run, so while a player
// is being created Get() does not find it yet. The pool's own lock keeps a
// player that a plugin kicks from OnPlayerConnect alive until the walk ends.
bool CPlayerPool::New(int nSlot, const char* szName, const char* szUniqueId)
{
    if (Get(nSlot))
        return false;
    char szValid[MAX_PLAYER_NAME + 1];
    CopyText(szValid, szName, sizeof(szValid));
    if (!ValidateName(szValid) || !IsNameFree(szValid))
        return false;
    if (nSlot < 0 || nSlot >= MAX_PLAYER_SLOTS)
        return false;
    ++m_anGeneration[nSlot];
    const uint32_t uiPlayerId =
        static_cast<uint32_t>(nSlot) | (static_cast<uint32_t>(m_anGeneration[nSlot]) << 8);
    CPlayer* pPlayer = new CPlayer(this, static_cast<uint8_t>(nSlot), uiPlayerId, szValid, szUniqueId);
    m_apPlayers[nSlot] = pPlayer;
    pPlayer->Lock();
    if (g_pPluginManager)
        g_pPluginManager->OnPlayerConnect(pPlayer);
    ++m_nCount;
    return pPlayer->Release();
}

bool CPlayerPool::Delete(int nSlot, int nReason)
{
    CPlayer* pPlayer = Get(nSlot);
    if (!pPlayer)
        return false;
    if (!pPlayer->IsMarkedForDeletion())
        pPlayer->SetDisconnectReason(static_cast<uint8_t>(nReason));
    return pPlayer->RequestDelete();
}

void CPlayerPool::DeleteAll()
{
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
        Delete(nSlot, DISCONNECT_TIMEOUT);
}

CPlayer* CPlayerPool::Get(int nSlot) const
{
    if (static_cast<unsigned>(nSlot) >= MAX_PLAYER_SLOTS)
        return nullptr;
    return m_apPlayers[nSlot];
}

int CPlayerPool::GetGeneration(int nSlot) const
{
    if (static_cast<unsigned>(nSlot) >= MAX_PLAYER_SLOTS)
        return 0;
    return m_anGeneration[nSlot];
}

bool CPlayerPool::ValidateName(char* szName)
{
    if (!szName)
        return false;
    const size_t nLength = strnlen(szName, MAX_PLAYER_NAME);
    if (nLength < 2 || nLength > MAX_PLAYER_NAME - 1)
        return false;
    static const char szAllowed[] = "-.+[]^=()*!";
    for (size_t i = 0; i < nLength; ++i)
    {
        const unsigned char c = static_cast<unsigned char>(szName[i]);
        const bool bAlnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!bAlnum && !memchr(szAllowed, c, sizeof(szAllowed) - 1))
            szName[i] = '_';
    }
    return true;
}

bool CPlayerPool::IsNameFree(const char* szName, const CPlayer* pExcept) const
{
    for (const CPlayer* pPlayer : m_apPlayers)
    {
        if (pPlayer && pPlayer != pExcept && TextEqualNoCase(pPlayer->GetName(), szName, MAX_PLAYER_NAME))
            return false;
    }
    return true;
}

void CPlayerPool::SendPlayersTo(const CPlayer* pPlayer)
{
    for (const CPlayer* pOther : m_apPlayers)
    {
        if (pOther && pOther != pPlayer)
            SendJoinNotice(pOther, pPlayer->GetSlot());
    }
}

// Walks a snapshot of the processing list: handling one player may remove it
// or, through a plugin, any other player, so each entry is looked up again by
// slot and id before it is handled. Players cannot join during the walk.
void CPlayerPool::ProcessAll()
{
    struct SEntry
    {
        uint8_t bySlot;
        uint32_t uiPlayerId;
    };
    SEntry aEntries[MAX_PLAYER_SLOTS];
    int nEntries = 0;
    for (const SPlayerListNode* pNode = m_ListHead.pNext; pNode != &m_ListHead && nEntries < MAX_PLAYER_SLOTS;
         pNode = pNode->pNext)
        aEntries[nEntries++] = {pNode->pEntity->GetSlot(), pNode->pEntity->GetPlayerId()};

    for (int i = 0; i < nEntries; ++i)
    {
        CPlayer* pPlayer = Get(aEntries[i].bySlot);
        if (!pPlayer || pPlayer->GetPlayerId() != aEntries[i].uiPlayerId || pPlayer->IsMarkedForDeletion())
            continue;
        if (pPlayer->m_byPendingRemoval == 1)
        {
            GetMetrics().CountKick(KICK_ANTICHEAT);
            if (g_pServer)
                g_pServer->Kick(aEntries[i].bySlot, false);
            else
                Delete(aEntries[i].bySlot, DISCONNECT_KICKED);
            continue;
        }
        pPlayer->ProcessTick();
    }
}

void CPlayerPool::LinkFront(SPlayerListNode* pNode)
{
    LinkEntityFront(m_ListHead, *pNode);
}

void CPlayerPool::Unlink(SPlayerListNode* pNode)
{
    UnlinkEntity(*pNode);
}

void CPlayerPool::Detach(int nSlot)
{
    if (static_cast<unsigned>(nSlot) >= MAX_PLAYER_SLOTS || !m_apPlayers[nSlot])
        return;
    m_apPlayers[nSlot] = nullptr;
    --m_nCount;
}
