#include "players/CPlayerChat.h"

#include <cstring>

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"

namespace
{
// A view of the payload for reading only; every read fails rather than pass
// the end.
class CPayloadStream
{
public:
    CPayloadStream(const uint8_t* pPayload, int nLength)
        : m_Stream(const_cast<unsigned char*>(pPayload), nLength > 0 && pPayload ? nLength : 0, false)
    {
    }
    RakNet::BitStream& Get() { return m_Stream; }

private:
    RakNet::BitStream m_Stream;
};

// A text is a uint16 length and that many bytes. At most MAX_CHAT_TEXT bytes
// are taken (the rest of a longer text is left unread); szText gets them with
// a terminator, so a zero byte inside ends the text early. False when the
// payload ends before the bytes it is meant to carry.
bool ReadText(RakNet::BitStream& stream, char (&szText)[MAX_CHAT_TEXT + 1])
{
    uint16_t usLength = 0;
    if (!stream.Read(usLength))
        return false;
    unsigned int uiLength = usLength > MAX_CHAT_TEXT ? MAX_CHAT_TEXT : usLength;
    if (uiLength > 0 && !stream.Read(szText, uiLength))
        return false;
    szText[uiLength] = '\0';
    return true;
}

// The joined player behind a text message, or null when the message must be
// ignored (the guard has already dealt with a slot that has not joined; a
// player already being removed says nothing more).
CPlayer* GetSender(int nSlot)
{
    if (!PassesJoinedGuard(nSlot) || !g_pServer || !g_pServer->m_pPlayerPool || !g_pPluginManager)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

// Both relays: sender playerId, the marker as one bit right after it, then the
// length and the text, neither realigned. The length is the text's own, which
// may be shorter than the one received.
void WriteRelay(RakNet::BitStream& stream, int nId, const CPlayer* pSender, const char* szText)
{
    CNetwork::WriteMessageId(stream, nId);
    stream.Write(pSender->GetPlayerId());
    // The relays carry the sender's option bit 8 as their marker.
    if (pSender->GetFlag(PLAYER_FLAG_OPTION8))
        stream.Write1();
    else
        stream.Write0();
    uint16_t usLength = static_cast<uint16_t>(strnlen(szText, MAX_CHAT_TEXT));
    stream.Write(usLength);
    stream.Write(szText, usLength);
}
} // namespace

// A plugin that kicks the sender from inside the event stops the walk, so the
// plugins after it never saw the message; it is then not relayed.
void CPlayerChat::HandleChat(int nSlot, int /*nMessageId*/, const uint8_t* pPayload, int nLength)
{
    CPlayer* pSender = GetSender(nSlot);
    if (!pSender)
        return;
    char szText[MAX_CHAT_TEXT + 1];
    CPayloadStream payload(pPayload, nLength);
    if (!ReadText(payload.Get(), szText))
        return;

    CEntityLock lock(pSender);
    bool bAllowed = g_pPluginManager->OnPlayerMessage(pSender, szText) != 0;
    if (!bAllowed || pSender->IsMarkedForDeletion() || !g_pServer->m_pNetwork)
        return;
    RakNet::BitStream stream;
    WriteRelay(stream, ID_CHAT_RELAY, pSender, szText);
    g_pServer->m_pNetwork->SendToAll(stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
}

// The recipient is looked up again after the event: a plugin may have kicked
// it meanwhile, and nothing held it.
void CPlayerChat::HandlePrivateMessage(int nSlot, int /*nMessageId*/, const uint8_t* pPayload, int nLength)
{
    CPlayer* pSender = GetSender(nSlot);
    if (!pSender)
        return;
    uint8_t byRecipient = 0;
    char szText[MAX_CHAT_TEXT + 1];
    CPayloadStream payload(pPayload, nLength);
    if (!payload.Get().Read(byRecipient) || !ReadText(payload.Get(), szText))
        return;

    CPlayerPool* pPool = g_pServer->m_pPlayerPool;
    CEntityLock lock(pSender);
    if (!pPool->Get(byRecipient))
    {
        SendChatLine(nSlot, PRIVATE_MESSAGE_REPLY_COLOUR, PRIVATE_MESSAGE_NO_RECIPIENT);
        return;
    }
    bool bAllowed = g_pPluginManager->OnPlayerPrivateMessage(pSender, byRecipient, szText) != 0;
    if (!bAllowed || pSender->IsMarkedForDeletion() || !pPool->Get(byRecipient) || !g_pServer->m_pNetwork)
        return;
    RakNet::BitStream stream;
    WriteRelay(stream, ID_PRIVATE_MESSAGE_RELAY, pSender, szText);
    g_pServer->m_pNetwork->SendToPlayer(byRecipient, stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);
}

void CPlayerChat::HandleCommand(int nSlot, int /*nMessageId*/, const uint8_t* pPayload, int nLength)
{
    CPlayer* pSender = GetSender(nSlot);
    if (!pSender)
        return;
    char szText[MAX_CHAT_TEXT + 1];
    CPayloadStream payload(pPayload, nLength);
    if (!ReadText(payload.Get(), szText))
        return;
    CEntityLock lock(pSender);
    g_pPluginManager->OnPlayerCommand(pSender, szText);
}
