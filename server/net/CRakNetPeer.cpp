#include "net/CRakNetPeer.h"

#include <cstring>

#include "MessageIdentifiers.h"
#include "PacketPriority.h"
#include "RakNetSocket2.h"
#include "RakNetTypes.h"
#include "RakNetStatistics.h"
#include "RakPeerInterface.h"

#include "net/CQueryHandler.h"
#include "net/CStoreFileTransfer.h"

namespace
{
// Replies to a query through the socket the request came in on.
class CRakNetQuerySocket : public IQueryReplySocket
{
public:
    CRakNetQuerySocket(RakNet::RakNetSocket2* pSocket, const RakNet::SystemAddress& address)
        : m_pSocket(pSocket), m_Address(address)
    {
    }

    // The address is the one the datagram came from; the arguments repeat it.
    void SendTo(uint32_t, uint16_t, const uint8_t* pData, int nLength) override
    {
        if (!m_pSocket)
            return;
        RakNet::RNS2_SendParameters parameters;
        parameters.data = reinterpret_cast<char*>(const_cast<uint8_t*>(pData));
        parameters.length = nLength;
        parameters.systemAddress = m_Address;
        m_pSocket->Send(&parameters, _FILE_AND_LINE_);
    }

private:
    RakNet::RakNetSocket2* m_pSocket;
    RakNet::SystemAddress m_Address;
};

// The peer that owns a received datagram's buffer; null when the socket
// does not say.
RakNet::RNS2EventHandler* OwnerOfDatagram(RakNet::RNS2RecvStruct* pRecv)
{
    if (!pRecv->socket || !pRecv->socket->IsBerkleySocket())
        return nullptr;
    return static_cast<RakNet::RNS2_Berkley*>(pRecv->socket)->GetBindings()->eventHandler;
}

// RakNet calls this on its receive thread for every datagram, before its
// own processing; returning true lets RakNet handle the datagram, false
// makes it drop it. RakNet does not release a dropped datagram's buffer, so
// an answered query gives it back to its peer here (otherwise every query
// would leak a buffer); without a known owner the datagram goes on to
// RakNet, which ignores it.
bool OnIncomingDatagram(RakNet::RNS2RecvStruct* pRecv)
{
    if (!pRecv || pRecv->bytesRead <= 0)
        return true;
    int nLength = pRecv->bytesRead;
    if (nLength > MAXIMUM_MTU_SIZE)
        nLength = MAXIMUM_MTU_SIZE;
    CRakNetQuerySocket socket(pRecv->socket, pRecv->systemAddress);
    uint32_t uiAddress = pRecv->systemAddress.address.addr4.sin_addr.s_addr;
    uint16_t usPort = pRecv->systemAddress.GetPort();
    bool bAnswered = GetQueryHandler()->HandleQueryDatagram(&socket, uiAddress, usPort,
                                                            reinterpret_cast<uint8_t*>(pRecv->data), nLength);
    if (!bAnswered)
        return true;
    RakNet::RNS2EventHandler* pOwner = OwnerOfDatagram(pRecv);
    if (!pOwner)
        return true;
    pOwner->DeallocRNS2RecvStruct(pRecv, _FILE_AND_LINE_);
    return false;
}

RakNet::AddressOrGUID AddressOfSlot(RakNet::RakPeerInterface* pPeer, int nSlot)
{
    if (nSlot < 0)
        return RakNet::AddressOrGUID(RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    return RakNet::AddressOrGUID(pPeer->GetSystemAddressFromIndex(static_cast<unsigned int>(nSlot)));
}
} // namespace

CRakNetPeer::CRakNetPeer() : m_pPeer(RakNet::RakPeerInterface::GetInstance()), m_pFileTransfer(nullptr) {}

// The peer's shutdown stops the transfer's read thread; the transfer goes last.
CRakNetPeer::~CRakNetPeer()
{
    RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
    delete m_pFileTransfer;
}

// A bind host too long for the socket description is refused rather than
// cut, so the server never listens on an address other than the one asked for.
bool CRakNetPeer::Startup(int nMaxConnections, int nPort, const char* szBindHost)
{
    RakNet::SocketDescriptor socket(static_cast<unsigned short>(nPort), nullptr);
    if (szBindHost && szBindHost[0])
    {
        if (strlen(szBindHost) >= sizeof(socket.hostAddress))
            return false;
        strcpy(socket.hostAddress, szBindHost);
    }
    // Installed before the socket exists, so no datagram slips past it.
    m_pPeer->SetIncomingDatagramEventHandler(OnIncomingDatagram);
    // The tick flushes its messages (Flush), so the transport sends when
    // asked rather than on every datagram that arrives, and moves its
    // datagrams in batches; these settings are the server's alone.
    m_pPeer->SetSendsWaitForFlush(true);
    m_pPeer->SetDatagramBatching(true);
    m_pPeer->SetReceiveBatching(true);
    if (m_pPeer->Startup(static_cast<unsigned int>(nMaxConnections), &socket, 1) != RakNet::RAKNET_STARTED)
        return false;
    if (!m_pFileTransfer)
    {
        m_pFileTransfer = new CStoreFileTransfer();
        m_pFileTransfer->Start(m_pPeer);
    }
    return true;
}

void CRakNetPeer::SetMaximumIncomingConnections(int nConnections)
{
    m_pPeer->SetMaximumIncomingConnections(static_cast<unsigned short>(nConnections < 0 ? 0 : nConnections));
}

int CRakNetPeer::GetMaximumIncomingConnections() const
{
    return static_cast<int>(m_pPeer->GetMaximumIncomingConnections());
}

void CRakNetPeer::SetOccasionalPing(bool bEnabled)
{
    m_pPeer->SetOccasionalPing(bEnabled);
}

void CRakNetPeer::SetConnectionRateLimit(bool bEnabled)
{
    m_pPeer->SetLimitIPConnectionFrequency(bEnabled);
}

void CRakNetPeer::SetIncomingPassword(const char* pPassword, int nLength)
{
    m_pPeer->SetIncomingPassword(pPassword, nLength);
}

bool CRakNetPeer::Receive(SNetPacket& packet)
{
    RakNet::Packet* pPacket = m_pPeer->Receive();
    if (!pPacket)
        return false;
    packet.pData = pPacket->data;
    packet.nLength = static_cast<int>(pPacket->length);
    // The index the transport stamped on the packet: by the time a
    // connection-ended event is read here its slot may already be reused,
    // so looking the address up again could name nobody, or the newcomer.
    const RakNet::SystemIndex index = pPacket->systemAddress.systemIndex;
    packet.nSlot =
        (index != static_cast<RakNet::SystemIndex>(-1) && index < m_pPeer->GetMaximumNumberOfPeers())
            ? static_cast<int>(index)
            : m_pPeer->GetIndexFromSystemAddress(pPacket->systemAddress);
    packet.pHandle = pPacket;
    NoteConnectionEvent(*pPacket, packet.nSlot);
    // A connection that ended no longer waits for its store transfer.
    if (m_pFileTransfer && packet.nLength > 0 &&
        (packet.pData[0] == ID_DISCONNECTION_NOTIFICATION || packet.pData[0] == ID_CONNECTION_LOST))
        m_pFileTransfer->Forget(packet.nSlot);
    return true;
}

// A connection-ended event forgets the address only when it is the slot's
// current one, so a stale event cannot erase its successor.
void CRakNetPeer::NoteConnectionEvent(const RakNet::Packet& packet, int nSlot)
{
    if (nSlot < 0 || nSlot >= SLOT_COUNT || packet.length == 0)
        return;
    switch (packet.data[0])
    {
    case ID_NEW_INCOMING_CONNECTION:
        m_aSlotAddress[nSlot] = packet.systemAddress;
        break;
    case ID_DISCONNECTION_NOTIFICATION:
    case ID_CONNECTION_LOST:
        if (m_aSlotAddress[nSlot] == packet.systemAddress)
            m_aSlotAddress[nSlot] = RakNet::UNASSIGNED_SYSTEM_ADDRESS;
        break;
    default:
        break;
    }
}

RakNet::SystemAddress CRakNetPeer::ConnectionOf(int nSlot) const
{
    if (nSlot < 0)
        return RakNet::UNASSIGNED_SYSTEM_ADDRESS;
    if (nSlot < SLOT_COUNT && m_aSlotAddress[nSlot] != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return m_aSlotAddress[nSlot];
    return AddressOfSlot(m_pPeer, nSlot).systemAddress;
}

void CRakNetPeer::DeallocatePacket(SNetPacket& packet)
{
    if (packet.pHandle)
        m_pPeer->DeallocatePacket(static_cast<RakNet::Packet*>(packet.pHandle));
    packet.pHandle = nullptr;
    packet.pData = nullptr;
    packet.nLength = 0;
}

void CRakNetPeer::Send(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel,
                       int nSlot, bool bBroadcast)
{
    if (!pData || nLength <= 0)
        return;
    // A send to all but one leaves that one out even while it is closing.
    RakNet::AddressOrGUID target =
        bBroadcast ? RakNet::AddressOrGUID(ConnectionOf(nSlot)) : AddressOfSlot(m_pPeer, nSlot);
    // A send to one connection that does not exist would go nowhere.
    if (!bBroadcast && target.systemAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return;
    m_pPeer->Send(reinterpret_cast<const char*>(pData), nLength, static_cast<PacketPriority>(nPriority),
                  static_cast<PacketReliability>(nReliability), static_cast<char>(nChannel), target,
                  bBroadcast);
}

// The recipients carry their connection index, so that the transport finds
// each without a search; slots without a connection are left out, as Send()
// leaves them out.
void CRakNetPeer::SendToSlots(const uint8_t* pData, int nLength, int nPriority, int nReliability,
                              int nChannel, const int* pSlots, int nCount)
{
    if (!pData || nLength <= 0 || !pSlots)
        return;
    int nNext = 0;
    while (nNext < nCount)
    {
        unsigned int uiTargets = 0;
        for (; nNext < nCount && uiTargets < SLOT_COUNT; ++nNext)
        {
            RakNet::SystemAddress address = AddressOfSlot(m_pPeer, pSlots[nNext]).systemAddress;
            if (address == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
                continue;
            address.systemIndex = static_cast<RakNet::SystemIndex>(pSlots[nNext]);
            m_aSendTargets[uiTargets++] = address;
        }
        if (uiTargets > 0)
            m_pPeer->SendToSystemList(reinterpret_cast<const char*>(pData), nLength,
                                      static_cast<PacketPriority>(nPriority),
                                      static_cast<PacketReliability>(nReliability),
                                      static_cast<char>(nChannel), m_aSendTargets, uiTargets);
    }
}

void CRakNetPeer::Flush()
{
    m_pPeer->FlushSends();
}

// A connection already closing is closed too: a silent close then ends it at
// once instead of letting its messages arrive until the transport gives up.
void CRakNetPeer::CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority)
{
    RakNet::AddressOrGUID target(ConnectionOf(nSlot));
    if (target.systemAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return;
    m_pPeer->CloseConnection(target, bNotify, static_cast<unsigned char>(nChannel),
                             static_cast<PacketPriority>(nPriority));
    if (m_pFileTransfer)
        m_pFileTransfer->Forget(nSlot);
}

void CRakNetPeer::KeepConnection(int nSlot)
{
    RakNet::AddressOrGUID target(ConnectionOf(nSlot));
    if (target.systemAddress != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        m_pPeer->SetConnectionProtected(target, true);
}

bool CRakNetPeer::GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const
{
    RakNet::AddressOrGUID target = AddressOfSlot(m_pPeer, nSlot);
    if (target.systemAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return false;
    uiAddress = target.systemAddress.address.addr4.sin_addr.s_addr;
    usPort = target.systemAddress.GetPort();
    return true;
}

int CRakNetPeer::GetPing(int nSlot) const
{
    RakNet::AddressOrGUID target = AddressOfSlot(m_pPeer, nSlot);
    if (target.systemAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return -1;
    return m_pPeer->GetLastPing(target);
}

void CRakNetPeer::AddToBanList(const char* szAddress)
{
    m_pPeer->AddToBanList(szAddress, 0);
}

void CRakNetPeer::RemoveFromBanList(const char* szAddress)
{
    m_pPeer->RemoveFromBanList(szAddress);
}

bool CRakNetPeer::IsBanned(const char* szAddress) const
{
    return m_pPeer->IsBanned(szAddress);
}

void CRakNetPeer::Shutdown(int nBlockMs, int nChannel, int nPriority)
{
    m_pPeer->Shutdown(static_cast<unsigned int>(nBlockMs < 0 ? 0 : nBlockMs),
                      static_cast<unsigned char>(nChannel), static_cast<PacketPriority>(nPriority));
}

bool CRakNetPeer::SendFileList(int nSlot, uint16_t usSetId, const char* szRoot, const SNetFileEntry* pFiles,
                               int nCount, int nPriority, int nChannel, int nPieceSize)
{
    RakNet::AddressOrGUID target = AddressOfSlot(m_pPeer, nSlot);
    if (!m_pFileTransfer || nPieceSize <= 0 || target.systemAddress == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return false;
    return m_pFileTransfer->SendSet(nSlot, target.systemAddress, usSetId, szRoot, pFiles, nCount,
                                    static_cast<PacketPriority>(nPriority), static_cast<char>(nChannel),
                                    static_cast<unsigned int>(nPieceSize));
}

bool CRakNetPeer::TakeFinishedFileList(int& nSlot)
{
    return m_pFileTransfer && m_pFileTransfer->TakeFinished(nSlot);
}

int CRakNetPeer::CountFileLists() const
{
    return m_pFileTransfer ? m_pFileTransfer->CountRunning() : 0;
}

// A slot's last seen totals move to the closed totals when its connection
// ends or another takes the slot, so the sums never go down. The last
// moments of a connection between two calls are not counted.
void CRakNetPeer::GetByteTotals(uint64_t& ullReceived, uint64_t& ullSent)
{
    ullReceived = 0;
    ullSent = 0;
    for (int nSlot = 0; nSlot < SLOT_COUNT; ++nSlot)
    {
        RakNet::RakNetStatistics statistics;
        STraffic& seen = m_aSlotTraffic[nSlot];
        const bool bActive = m_pPeer->GetStatistics(static_cast<unsigned int>(nSlot), &statistics);
        if (!bActive || statistics.connectionStartTime != seen.ullStart)
        {
            m_ullClosedReceived += seen.ullReceived;
            m_ullClosedSent += seen.ullSent;
            seen = STraffic();
            seen.ullStart = bActive ? statistics.connectionStartTime : 0;
        }
        if (bActive)
        {
            seen.ullReceived = statistics.runningTotal[RakNet::ACTUAL_BYTES_RECEIVED];
            seen.ullSent = statistics.runningTotal[RakNet::ACTUAL_BYTES_SENT];
        }
        ullReceived += seen.ullReceived;
        ullSent += seen.ullSent;
    }
    ullReceived += m_ullClosedReceived;
    ullSent += m_ullClosedSent;
}
