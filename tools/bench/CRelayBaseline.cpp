#include "CRelayBaseline.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "BitStream.h"
#include "MessageIdentifiers.h"
#include "RakPeerInterface.h"

#include "CMessageBuilder.h"
#include "CPayloadReader.h"
#include "WireFormat.h"

namespace orvnbench
{

namespace
{

constexpr uint8_t kTimestampMarker = 27;
constexpr size_t kStampBytes = 4;
constexpr size_t kRelayBytes = 1 + 1 + sizeof(wire::SOnFootRecord);
constexpr size_t kDriverBytes = sizeof(wire::SDriverRecord) + sizeof(wire::SVehicleRecord);
constexpr size_t kDriverRelayBytes = 1 + 1 + kDriverBytes;
constexpr int kClientEnterVehicle = 171;
constexpr int kEnterVehicle = 162;
constexpr uint32_t kGenerationOne = 1u << 8;
constexpr uint8_t kMaxNameLength = 23;
constexpr const char* kServerName = "relay baseline";

// The identifier of a packet as the game server reads it; -1 when there is none.
int ParseId(const uint8_t* pData, size_t nLength, size_t& nPayloadOffset)
{
    size_t nOffset = 0;
    if (nLength > 0 && pData[0] == kTimestampMarker)
    {
        nOffset = 1 + kStampBytes;
    }
    if (nOffset >= nLength)
    {
        return -1;
    }
    int nId = pData[nOffset++];
    if (nId >= wire::kTwoByteIdFirst && nId <= wire::kTwoByteIdLast)
    {
        if (nOffset >= nLength)
        {
            return -1;
        }
        nId = (nId - wire::kTwoByteIdBase) * 256 + pData[nOffset++];
    }
    nPayloadOffset = nOffset;
    return nId;
}

} // namespace

CRelayBaseline::~CRelayBaseline()
{
    Stop();
}

bool CRelayBaseline::Start(const SRelayOptions& options)
{
    if (m_pPeer != nullptr || options.nMaxConnections < 1 || options.nMaxConnections > kMaxConnections)
    {
        return false;
    }
    m_options = options;
    m_pPeer = RakNet::RakPeerInterface::GetInstance();
    RakNet::SocketDescriptor socket(static_cast<unsigned short>(options.nPort), nullptr);
    if (!options.strBindHost.empty())
    {
        std::strncpy(socket.hostAddress, options.strBindHost.c_str(), sizeof(socket.hostAddress) - 1);
        socket.hostAddress[sizeof(socket.hostAddress) - 1] = '\0';
    }
    if (m_pPeer->Startup(static_cast<unsigned int>(options.nMaxConnections), &socket, 1) !=
        RakNet::RAKNET_STARTED)
    {
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
        m_pPeer = nullptr;
        return false;
    }
    m_pPeer->SetMaximumIncomingConnections(static_cast<unsigned short>(options.nMaxConnections));
    m_pPeer->SetOccasionalPing(true);
    // An empty password is the single zero byte, as the game server sets it.
    m_pPeer->SetIncomingPassword("", 1);
    return true;
}

void CRelayBaseline::Stop()
{
    if (m_pPeer != nullptr)
    {
        m_pPeer->Shutdown(100);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
        m_pPeer = nullptr;
    }
    std::fill(std::begin(m_abJoined), std::end(m_abJoined), false);
}

int CRelayBaseline::ProcessIncoming()
{
    if (m_pPeer == nullptr)
    {
        return 0;
    }
    int nCount = 0;
    for (RakNet::Packet* pPacket = m_pPeer->Receive(); pPacket != nullptr; pPacket = m_pPeer->Receive())
    {
        size_t nOffset = 0;
        const int nId = ParseId(pPacket->data, pPacket->length, nOffset);
        const int nIndex = FindIndex(pPacket->systemAddress, nId);
        if (nId >= 0 && nIndex >= 0 && nIndex < m_options.nMaxConnections)
        {
            Dispatch(nIndex, pPacket->systemAddress, nId, pPacket->data + nOffset, pPacket->length - nOffset);
        }
        m_pPeer->DeallocatePacket(pPacket);
        ++nCount;
    }
    return nCount;
}

void CRelayBaseline::Run(const std::atomic<bool>& bStop)
{
    while (!bStop.load(std::memory_order_relaxed))
    {
        ProcessIncoming();
        std::this_thread::sleep_for(std::chrono::milliseconds(m_options.nPollMs));
    }
}

// RakNet may no longer know the index of a connection it reports as ended;
// the joined table still does.
int CRelayBaseline::FindIndex(const RakNet::SystemAddress& address, int nId) const
{
    const int nIndex = m_pPeer->GetIndexFromSystemAddress(address);
    if (nIndex >= 0 || (nId != ID_DISCONNECTION_NOTIFICATION && nId != ID_CONNECTION_LOST))
    {
        return nIndex;
    }
    for (int i = 0; i < m_options.nMaxConnections; ++i)
    {
        if (m_abJoined[i] && m_aAddresses[i] == address)
        {
            return i;
        }
    }
    return -1;
}

int CRelayBaseline::JoinedCount() const
{
    return static_cast<int>(std::count(std::begin(m_abJoined), std::end(m_abJoined), true));
}

void CRelayBaseline::Dispatch(int nIndex, const RakNet::SystemAddress& address, int nId,
                              const uint8_t* pPayload, size_t nLength)
{
    switch (nId)
    {
    case ID_NEW_INCOMING_CONNECTION:
    case ID_DISCONNECTION_NOTIFICATION:
    case ID_CONNECTION_LOST:
        m_abJoined[nIndex] = false;
        break;
    case wire::CL_JOIN_REQUEST:
        OnJoinRequest(nIndex, address, pPayload, nLength);
        break;
    case wire::CL_REQUEST_CLASS:
        SendBodyless(address, wire::SV_CLASS_REPLY, RELIABLE);
        break;
    case wire::CL_REQUEST_SPAWN:
        SendBodyless(address, wire::SV_PERMIT_SPAWN, RELIABLE_ORDERED);
        SendBodyless(address, wire::SV_CLASS_REPLY, RELIABLE);
        break;
    case wire::CL_ONFOOT_SYNC:
        OnOnFootSync(nIndex, address, pPayload, nLength);
        break;
    case wire::CL_DRIVER_SYNC:
        if (m_abJoined[nIndex] && nLength >= kStampBytes + kDriverBytes)
        {
            Relay(nIndex, address, wire::SV_DRIVER_RELAY, pPayload + kStampBytes, kDriverBytes);
        }
        break;
    case kClientEnterVehicle:
        OnEnterVehicle(nIndex, address, pPayload, nLength);
        break;
    default:
        break;
    }
}

// Only the name is read, to echo it; magic, version and the rest go unchecked.
void CRelayBaseline::OnJoinRequest(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                                   size_t nLength)
{
    testclient::CPayloadReader reader(pPayload, nLength);
    uint32_t uiMagic = 0;
    uint32_t uiVersion = 0;
    std::string strName;
    reader.U32(uiMagic);
    reader.U32(uiVersion);
    if (!reader.Text8(strName))
    {
        return;
    }
    strName.resize(std::min<size_t>(strName.size(), kMaxNameLength));
    testclient::CMessageBuilder info;
    info.U32(static_cast<uint32_t>(nIndex) | kGenerationOne)
        .F32(1550.0f)
        .F32(-2350.0f)
        .F32(1950.0f)
        .F32(-1950.0f)
        .Text8(kServerName)
        .Text8(strName)
        .U8(0);
    RakNet::BitStream stream;
    testclient::WriteMessageId(stream, wire::SV_SERVER_INFO);
    testclient::AppendBits(stream, info.Stream());
    m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, address, false);
    m_abJoined[nIndex] = true;
    m_aAddresses[nIndex] = address;
}

// The record is passed on byte for byte (it is a reversed block on both
// legs), behind the sender's slot instead of its sync stamp.
void CRelayBaseline::OnOnFootSync(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                                  size_t nLength)
{
    if (!m_abJoined[nIndex] || nLength < kStampBytes + sizeof(wire::SOnFootRecord))
    {
        return;
    }
    Relay(nIndex, address, wire::SV_ONFOOT_RELAY, pPayload + kStampBytes, sizeof(wire::SOnFootRecord));
}

// Every entry is accepted at once: the requester gets its own copy of the
// announcement (with a radio station and flag), nobody else anything.
void CRelayBaseline::OnEnterVehicle(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                                    size_t nLength)
{
    testclient::CPayloadReader reader(pPayload, nLength);
    uint16_t usVehicleId = 0;
    uint8_t abyApproach[3] = {};
    reader.U16(usVehicleId);
    reader.U8(abyApproach[0]);
    reader.U8(abyApproach[1]);
    if (!m_abJoined[nIndex] || !reader.U8(abyApproach[2]))
    {
        return;
    }
    testclient::CMessageBuilder body;
    body.U32(static_cast<uint32_t>(nIndex) | kGenerationOne)
        .U16(usVehicleId)
        .U8(abyApproach[0])
        .U8(abyApproach[1])
        .U8(abyApproach[2])
        .U8(0)
        .Bit(false);
    RakNet::BitStream stream;
    testclient::WriteMessageId(stream, kEnterVehicle);
    testclient::AppendBits(stream, body.Stream());
    m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE, 0, address, false);
}

void CRelayBaseline::Relay(int nIndex, const RakNet::SystemAddress& address, int nRelayId,
                           const uint8_t* pRecord, size_t nRecordBytes)
{
    ++m_ullSyncs;
    uint8_t abyRelay[kDriverRelayBytes > kRelayBytes ? kDriverRelayBytes : kRelayBytes];
    const size_t nBytes = 2 + nRecordBytes;
    abyRelay[0] = static_cast<uint8_t>(nRelayId);
    abyRelay[1] = static_cast<uint8_t>(nIndex);
    std::memcpy(abyRelay + 2, pRecord, nRecordBytes);
    const char* pRelay = reinterpret_cast<const char*>(abyRelay);
    if (m_options.bBroadcast)
    {
        m_pPeer->Send(pRelay, static_cast<int>(nBytes), HIGH_PRIORITY, UNRELIABLE, 0, address, true);
        m_ullRelays += static_cast<uint64_t>(std::max(0, JoinedCount() - 1));
        return;
    }
    for (int i = 0; i < m_options.nMaxConnections; ++i)
    {
        if (i != nIndex && m_abJoined[i])
        {
            m_pPeer->Send(pRelay, static_cast<int>(nBytes), HIGH_PRIORITY, UNRELIABLE, 0, m_aAddresses[i],
                          false);
            ++m_ullRelays;
        }
    }
}

void CRelayBaseline::SendBodyless(const RakNet::SystemAddress& address, int nId, int nReliability)
{
    RakNet::BitStream stream;
    testclient::WriteMessageId(stream, nId);
    m_pPeer->Send(&stream, HIGH_PRIORITY, static_cast<PacketReliability>(nReliability), 0, address, false);
}

} // namespace orvnbench
