#include "CServer.h"

#include "CBanList.h"
#include "net/CNetwork.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"

// Like Kick, with the address banned first and the banned notice instead of
// the kicked one; a slot without a live player only has its connection closed.
void CServer::BanPlayer(int nSlot)
{
    CPlayer* pPlayer = m_pPlayerPool ? m_pPlayerPool->Get(nSlot) : nullptr;
    if (pPlayer && !pPlayer->IsMarkedForDeletion())
    {
        char szAddress[16];
        m_pNetwork->GetAddress(nSlot, szAddress, sizeof(szAddress));
        AddBan(szAddress);
        SendKickedNotice(nSlot, KICKED_NOTICE_BANNED);
        m_pPlayerPool->Delete(nSlot, DISCONNECT_KICKED);
    }
    CloseSession(nSlot, false);
}
