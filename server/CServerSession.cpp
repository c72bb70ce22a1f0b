#include "CServer.h"

#include "BitStream.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"

void CServer::SetMaxPlayers(int nPlayers)
{
    m_nMaxPlayers = nPlayers < 1 ? 1 : (nPlayers > m_nMaxPlayersLimit ? m_nMaxPlayersLimit : nPlayers);
    if (m_pNetwork)
        m_pNetwork->SetMaxIncoming(m_nMaxPlayers);
}

void CServer::SetServerPassword(const char* szPassword)
{
    CopyText(m_szPassword, szPassword, sizeof(m_szPassword));
    if (m_pNetwork)
        m_pNetwork->SetPassword(m_szPassword);
}

// Blocks go out as one unit, their bytes reversed as a whole; the server name
// as a length byte and its bytes.
void CServer::SendWorldState(uint8_t byMessageId, int nSlot)
{
    if (!m_pNetwork)
        return;
    RakNet::BitStream stream;
    CNetwork::WriteMessageId(stream, byMessageId);
    switch (byMessageId)
    {
    case ID_WORLD_OPTIONS:
        stream.Write(m_WorldOptions);
        break;
    case ID_TIME_STATE:
        stream.Write(m_TimeState);
        if (nSlot < 0)
            m_uiLastTimeBroadcast = m_uiNow;
        break;
    case ID_DEATH_SETTINGS:
        stream.Write(m_DeathSettings);
        break;
    case ID_SERVER_NAME:
    {
        uint8_t byLength = static_cast<uint8_t>(strnlen(m_szServerName, sizeof(m_szServerName) - 1));
        stream.Write(byLength);
        stream.Write(m_szServerName, byLength);
        break;
    }
    default:
        return;
    }
    if (nSlot < 0)
        m_pNetwork->SendToAll(stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
    else
        m_pNetwork->SendToPlayer(nSlot, stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
}

// The table covers every slot the peer can hand out, not just those below the
// current incoming limit: lowering the limit must not strand joined players.
void CServer::SetConnectionState(int nSlot, uint8_t byState)
{
    if (nSlot < 0 || nSlot >= MAX_PLAYER_SLOTS || byState > CONNECTION_JOINED)
        return;
    m_abyConnectionState[nSlot] = byState;
    // Until it joins, a connection may be one a forged address holds; the
    // transport closes the oldest of those when it needs room, never a player.
    if (byState == CONNECTION_JOINED && m_pNetwork)
        m_pNetwork->KeepConnection(nSlot);
}

uint8_t CServer::GetConnectionState(int nSlot) const
{
    if (nSlot < 0 || nSlot >= MAX_PLAYER_SLOTS)
        return CONNECTION_NONE;
    return m_abyConnectionState[nSlot];
}

// The one way a session ends from the server's side: the player (if any, and
// not already leaving) is told and removed, then the connection is closed.
void CServer::Kick(int nSlot, bool bSilent)
{
    CPlayer* pPlayer = m_pPlayerPool ? m_pPlayerPool->Get(nSlot) : nullptr;
    if (pPlayer && !pPlayer->IsMarkedForDeletion())
    {
        if (!bSilent)
            SendKickedNotice(nSlot, KICKED_NOTICE_KICKED);
        m_pPlayerPool->Delete(nSlot, DISCONNECT_KICKED);
    }
    CloseSession(nSlot, bSilent);
}

void CServer::CloseSession(int nSlot, bool bSilent)
{
    if (m_pNetwork)
        m_pNetwork->Disconnect(nSlot, bSilent);
    if (nSlot >= 0 && nSlot < MAX_PLAYER_SLOTS)
    {
        m_abyConnectionState[nSlot] = CONNECTION_NONE;
        m_auiJoinDeadline[nSlot] = 0;
    }
}
