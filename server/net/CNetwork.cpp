#include "net/CNetwork.h"

#include <cstdio>
#include <cstring>

#include "BitStream.h"
#include "ITimeSource.h"
#include "MessageIdentifiers.h"
#include "net/CRakNetPeer.h"
#include "net/INetPeer.h"

namespace
{
// The transport's own codes that the receive loop looks at.
constexpr int RAK_NEW_INCOMING_CONNECTION = 19;
constexpr int RAK_DISCONNECTION_NOTIFICATION = 21;
constexpr int RAK_CONNECTION_LOST = 22;
constexpr int RAK_TIMESTAMP = 27;
static_assert(RAK_NEW_INCOMING_CONNECTION == static_cast<int>(ID_NEW_INCOMING_CONNECTION),
              "event codes moved");
static_assert(RAK_DISCONNECTION_NOTIFICATION == static_cast<int>(ID_DISCONNECTION_NOTIFICATION),
              "event codes moved");
static_assert(RAK_CONNECTION_LOST == static_cast<int>(ID_CONNECTION_LOST), "event codes moved");
static_assert(RAK_TIMESTAMP == static_cast<int>(ID_TIMESTAMP), "event codes moved");

// Store transfers have their own ordering channel and read files in pieces
// of at most 1 MiB.
constexpr int STORE_CHANNEL = 1;
constexpr int STORE_PIECE_SIZE = 1048576;

// The time-stamp marker is followed by a 4-byte time before the identifier.
constexpr int TIMESTAMP_HEADER = 5;
// First bytes of a two-byte identifier: 133 + (id >> 8).
constexpr int FIRST_WIDE_ID_BYTE = 134;
constexpr int LAST_WIDE_ID_BYTE = 144;

int StreamLength(const RakNet::BitStream& stream)
{
    return static_cast<int>(BITS_TO_BYTES(stream.GetNumberOfBitsUsed()));
}
} // namespace

CNetwork::CNetwork(INetPeer* pPeer)
    : m_bIsServer(false), m_pPeer(pPeer), m_bConnectionRateLimit(false), m_ullMessagesReceived(0),
      m_ullMessagesSent(0), m_bSendsPending(false)
{
    memset(m_apfnHandlers, 0, sizeof(m_apfnHandlers));
}

// Connected clients get 100 ms to be told that the server is going away.
CNetwork::~CNetwork()
{
    if (!m_pPeer)
        return;
    m_pPeer->Shutdown(100, 0, NET_LOW_PRIORITY);
    delete m_pPeer;
    m_pPeer = nullptr;
}

// The peer is given room for nMaxConnections (the player limit) rather than
// nMaxPlayers: the transport cannot grow its connection count once started,
// so a peer sized for the current player count would make a later, larger
// SetMaxPlayers report success for players who can never connect. The
// incoming limit is what actually admits clients.
bool CNetwork::Startup(int nMaxPlayers, int nMaxConnections, int nPort, const char* szPassword,
                       const char* szBindHost)
{
    if (!m_pPeer)
        m_pPeer = new CRakNetPeer();
    // Configured before it starts: no client can be admitted before the
    // password is in force, and the transport's threads, which read these
    // settings without locking, are created after they were written.
    SetPassword(szPassword);
    m_pPeer->SetMaximumIncomingConnections(nMaxPlayers);
    m_pPeer->SetOccasionalPing(true);
    m_pPeer->SetConnectionRateLimit(m_bConnectionRateLimit);
    if (!m_pPeer->Startup(nMaxConnections, nPort, szBindHost ? szBindHost : ""))
        return false;
    m_bIsServer = true;
    return true;
}

bool CNetwork::RegisterHandler(int nId, MessageHandler pfnHandler)
{
    if (nId < NET_FIRST_HANDLER_ID || nId >= NET_FIRST_HANDLER_ID + NET_HANDLER_COUNT)
        return false;
    m_apfnHandlers[nId - NET_FIRST_HANDLER_ID] = pfnHandler;
    return true;
}

// The transport's own connection events are never counted or dropped: they
// start and end a slot's allowance, and the handlers must see them.
void CNetwork::ProcessIncoming()
{
    if (!m_pPeer)
        return;
    const uint32_t uiNowMs = GetTimeSource()->GetTickMs();
    SNetPacket packet;
    while (m_pPeer->Receive(packet))
    {
        ++m_ullMessagesReceived;
        // A set finishes when the transport takes the client's acknowledgement
        // of its last piece, which may come with the client's next message.
        DispatchFinishedFileLists();
        const int nFirst = packet.nLength > 0 && packet.pData ? packet.pData[0] : -1;
        if (nFirst == RAK_NEW_INCOMING_CONNECTION || nFirst == RAK_DISCONNECTION_NOTIFICATION ||
            nFirst == RAK_CONNECTION_LOST)
        {
            m_FloodLimit.Reset(packet.nSlot, uiNowMs);
            DispatchRaw(packet.nSlot, packet.pData, packet.nLength);
        }
        else if (m_FloodLimit.Admit(packet.nSlot, uiNowMs))
        {
            DispatchRaw(packet.nSlot, packet.pData, packet.nLength);
        }
        m_pPeer->DeallocatePacket(packet);
    }
    DispatchFinishedFileLists();
}

void CNetwork::DispatchFinishedFileLists()
{
    int nSlot = -1;
    while (m_pPeer->TakeFinishedFileList(nSlot))
        DispatchInternal(nSlot, ID_STORE_PUSH_COMPLETE);
}

void CNetwork::DispatchInternal(int nSlot, int nId)
{
    int nIndex = nId - NET_FIRST_HANDLER_ID;
    if (nIndex >= 0 && nIndex < NET_HANDLER_COUNT && m_apfnHandlers[nIndex])
        m_apfnHandlers[nIndex](nSlot, nId, nullptr, 0);
}

bool CNetwork::SendFileList(int nSlot, uint16_t usSetId, const char* szRoot, const SNetFileEntry* pFiles,
                            int nCount)
{
    if (!m_pPeer || nSlot < 0)
        return false;
    const bool bStarted = m_pPeer->SendFileList(nSlot, usSetId, szRoot, pFiles, nCount, NET_HIGH_PRIORITY,
                                                STORE_CHANNEL, STORE_PIECE_SIZE);
    m_bSendsPending = m_bSendsPending || bStarted;
    return bStarted;
}

// The transport's connection events become the two internal identifiers;
// the same identifiers (and the store transfer's 256) arriving from a client
// are dropped, so only the server itself can raise them.
void CNetwork::DispatchRaw(int nSlot, const uint8_t* pData, int nLength)
{
    int nId = 0;
    int nPayloadOffset = 0;
    if (!ParseMessageId(pData, nLength, nId, nPayloadOffset))
        return;

    int nMapped = nId;
    if (nId == ID_CONNECTION_ENDED || nId == ID_CONNECTION_OPENED || nId == ID_STORE_PUSH_COMPLETE)
        return;
    // The transport's own events never carry a time stamp: a time-stamped
    // 19, 21 or 22 comes from a client posing as the transport and is dropped.
    const bool bTransportEvent = nId == RAK_NEW_INCOMING_CONNECTION ||
                                 nId == RAK_DISCONNECTION_NOTIFICATION || nId == RAK_CONNECTION_LOST;
    if (bTransportEvent && nPayloadOffset != 1)
        return;
    if (m_bIsServer)
    {
        if (nId == RAK_NEW_INCOMING_CONNECTION)
            nMapped = ID_CONNECTION_OPENED;
        else if (nId == RAK_DISCONNECTION_NOTIFICATION || nId == RAK_CONNECTION_LOST)
            nMapped = ID_CONNECTION_ENDED;
    }

    int nIndex = nMapped - NET_FIRST_HANDLER_ID;
    if (nIndex < 0 || nIndex >= NET_HANDLER_COUNT || !m_apfnHandlers[nIndex])
        return;
    m_apfnHandlers[nIndex](nSlot, nId, pData + nPayloadOffset, nLength - nPayloadOffset);
}

void CNetwork::SendToPlayer(int nSlot, const RakNet::BitStream& stream, int nPriority, int nReliability,
                            int nChannel)
{
    if (nSlot == -1)
    {
        SendToAll(stream, nPriority, nReliability, nChannel);
        return;
    }
    if (!m_pPeer || nSlot < 0)
        return;
    ++m_ullMessagesSent;
    m_pPeer->Send(stream.GetData(), StreamLength(stream), nPriority, nReliability, nChannel, nSlot, false);
    m_bSendsPending = true;
}

void CNetwork::SendToAll(const RakNet::BitStream& stream, int nPriority, int nReliability, int nChannel)
{
    if (!m_pPeer)
        return;
    ++m_ullMessagesSent;
    m_pPeer->Send(stream.GetData(), StreamLength(stream), nPriority, nReliability, nChannel, -1, true);
    m_bSendsPending = true;
}

// A negative slot excepts nobody, which makes this a send to all.
void CNetwork::SendToAllExcept(int nSlot, const RakNet::BitStream& stream, int nPriority, int nReliability,
                               int nChannel)
{
    if (!m_pPeer)
        return;
    ++m_ullMessagesSent;
    m_pPeer->Send(stream.GetData(), StreamLength(stream), nPriority, nReliability, nChannel,
                  nSlot < 0 ? -1 : nSlot, true);
    m_bSendsPending = true;
}

void CNetwork::SendToPlayers(const int* pSlots, int nCount, const RakNet::BitStream& stream, int nPriority,
                             int nReliability, int nChannel)
{
    if (!m_pPeer || !pSlots || nCount <= 0)
        return;
    m_ullMessagesSent += static_cast<uint64_t>(nCount);
    m_pPeer->SendToSlots(stream.GetData(), StreamLength(stream), nPriority, nReliability, nChannel, pSlots,
                         nCount);
    m_bSendsPending = true;
}

// A flush with nothing sent since the last would only wake the transport.
void CNetwork::FlushSends()
{
    if (!m_pPeer || !m_bSendsPending)
        return;
    m_bSendsPending = false;
    m_pPeer->Flush();
}

void CNetwork::GetTraffic(SNetTraffic& traffic) const
{
    traffic.ullMessagesReceived = m_ullMessagesReceived;
    traffic.ullMessagesSent = m_ullMessagesSent;
    traffic.ullBytesReceived = 0;
    traffic.ullBytesSent = 0;
    if (m_pPeer)
        m_pPeer->GetByteTotals(traffic.ullBytesReceived, traffic.ullBytesSent);
}

void CNetwork::WriteMessageId(RakNet::BitStream& stream, int nId)
{
    if (nId < 256)
    {
        stream.Write(static_cast<uint8_t>(nId));
        return;
    }
    stream.Write(static_cast<uint8_t>(133 + (nId >> 8)));
    stream.Write(static_cast<uint8_t>(nId & 0xFF));
}

bool CNetwork::ParseMessageId(const uint8_t* pData, int nLength, int& nId, int& nPayloadOffset)
{
    if (!pData || nLength <= 0)
        return false;
    int nOffset = 0;
    if (pData[0] == RAK_TIMESTAMP)
    {
        if (nLength < TIMESTAMP_HEADER + 1)
            return false;
        nOffset = TIMESTAMP_HEADER;
    }
    int nFirst = pData[nOffset];
    if (nFirst >= FIRST_WIDE_ID_BYTE && nFirst <= LAST_WIDE_ID_BYTE)
    {
        if (nOffset + 1 >= nLength)
            return false;
        nId = (nFirst - 133) * 256 + pData[nOffset + 1];
        nPayloadOffset = nOffset + 2;
        return true;
    }
    nId = nFirst;
    nPayloadOffset = nOffset + 1;
    return true;
}

void CNetwork::SetMaxIncoming(int nConnections)
{
    if (m_pPeer)
        m_pPeer->SetMaximumIncomingConnections(nConnections);
}

int CNetwork::GetMaxIncoming() const
{
    return m_pPeer ? m_pPeer->GetMaximumIncomingConnections() : 0;
}

// The transport compares the password bytes including the terminating zero,
// so an empty password is the single zero byte that every client sends.
void CNetwork::SetPassword(const char* szPassword)
{
    if (!m_pPeer)
        return;
    const char* szText = szPassword ? szPassword : "";
    m_pPeer->SetIncomingPassword(szText, static_cast<int>(strlen(szText)) + 1);
}

void CNetwork::GetAddress(int nSlot, char* szBuffer, int nSize) const
{
    if (!szBuffer || nSize <= 0)
        return;
    szBuffer[0] = '\0';
    uint32_t uiAddress = GetAddressBinary(nSlot);
    if (uiAddress == 0)
        return;
    // Network byte order: the first octet is the first byte in memory.
    uint8_t abyOctets[4];
    memcpy(abyOctets, &uiAddress, sizeof(abyOctets));
    snprintf(szBuffer, static_cast<size_t>(nSize), "%d.%d.%d.%d", abyOctets[0], abyOctets[1], abyOctets[2],
             abyOctets[3]);
}

uint32_t CNetwork::GetAddressBinary(int nSlot) const
{
    uint32_t uiAddress = 0;
    uint16_t usPort = 0;
    if (!m_pPeer || nSlot < 0 || !m_pPeer->GetAddress(nSlot, uiAddress, usPort))
        return 0;
    return uiAddress;
}

int CNetwork::GetPing(int nSlot) const
{
    if (!m_pPeer || nSlot < 0)
        return -1;
    return m_pPeer->GetPing(nSlot);
}

void CNetwork::Disconnect(int nSlot, bool bSilent)
{
    if (!m_pPeer || nSlot < 0)
        return;
    m_pPeer->CloseConnection(nSlot, !bSilent, 0, NET_LOW_PRIORITY);
    m_bSendsPending = true;
}

void CNetwork::KeepConnection(int nSlot)
{
    if (m_pPeer && nSlot >= 0)
        m_pPeer->KeepConnection(nSlot);
}

void CNetwork::Ban(const char* szAddress)
{
    if (m_pPeer && szAddress && szAddress[0])
        m_pPeer->AddToBanList(szAddress);
}

void CNetwork::Unban(const char* szAddress)
{
    if (m_pPeer && szAddress && szAddress[0])
        m_pPeer->RemoveFromBanList(szAddress);
}

bool CNetwork::IsBanned(const char* szAddress) const
{
    if (!m_pPeer || !szAddress || !szAddress[0])
        return false;
    return m_pPeer->IsBanned(szAddress);
}
