#include "CTestClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "MessageIdentifiers.h"
#include "RakNetSocket2.h"
#include "RakPeerInterface.h"

#include "CPayloadReader.h"

namespace testclient
{

namespace
{

constexpr uint32_t kConnectAttemptIntervalMs = 250;
constexpr uint32_t kShutdownNoticeMs = 300;

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SleepOneMs()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The answers of RakNet that end a connection attempt, and what they mean.
struct SConnectAnswer
{
    int nId;
    EConnectResult eResult;
};

constexpr SConnectAnswer kConnectAnswers[] = {
    {kRakConnectionAccepted, CONNECT_OK},
    {kRakConnectionAttemptFailed, CONNECT_ATTEMPT_FAILED},
    {kRakNoFreeIncomingConnections, CONNECT_SERVER_FULL},
    {kRakConnectionBanned, CONNECT_BANNED},
    {kRakInvalidPassword, CONNECT_INVALID_PASSWORD},
    {kRakIncompatibleProtocol, CONNECT_INCOMPATIBLE},
    {kRakIpRecentlyConnected, CONNECT_RECENTLY_CONNECTED},
};

const SConnectAnswer* FindConnectAnswer(int nId)
{
    for (const SConnectAnswer& answer : kConnectAnswers)
    {
        if (answer.nId == nId)
        {
            return &answer;
        }
    }
    return nullptr;
}

} // namespace

const char* ConnectResultName(EConnectResult eResult)
{
    switch (eResult)
    {
    case CONNECT_OK:
        return "connected";
    case CONNECT_NOT_STARTED:
        return "not started";
    case CONNECT_TIMED_OUT:
        return "timed out";
    case CONNECT_ATTEMPT_FAILED:
        return "attempt failed";
    case CONNECT_SERVER_FULL:
        return "server full";
    case CONNECT_BANNED:
        return "banned";
    case CONNECT_INVALID_PASSWORD:
        return "invalid password";
    case CONNECT_INCOMPATIBLE:
        return "incompatible protocol";
    case CONNECT_RECENTLY_CONNECTED:
        return "recently connected";
    }
    return "unknown";
}

// Mirrors the server's parsing: an optional time-stamp marker with a 4-byte
// time, then a one- or two-byte identifier; everything after it is payload.
bool ParseReceived(const uint8_t* pData, size_t nLength, SReceived& out)
{
    if (pData == nullptr || nLength == 0)
    {
        return false;
    }
    size_t nOffset = 0;
    out.bTimestamped = false;
    out.uiTimestamp = 0;
    if (pData[0] == ID_TIMESTAMP)
    {
        if (nLength < 6)
        {
            return false;
        }
        CPayloadReader time(pData + 1, 4);
        time.U32(out.uiTimestamp);
        out.bTimestamped = true;
        nOffset = 5;
    }
    int nId = pData[nOffset++];
    if (nId >= wire::kTwoByteIdFirst && nId <= wire::kTwoByteIdLast)
    {
        if (nOffset >= nLength)
        {
            return false;
        }
        nId = (nId - wire::kTwoByteIdBase) * 256 + pData[nOffset++];
    }
    out.id = nId;
    out.payload.assign(pData + nOffset, pData + nLength);
    return true;
}

CTestClient::CTestClient() : m_serverAddress(RakNet::UNASSIGNED_SYSTEM_ADDRESS), m_llOriginMs(SteadyMs()) {}

CTestClient::~CTestClient()
{
    StopPeer(m_bConnected ? kShutdownNoticeMs : 0);
}

uint32_t CTestClient::NowMs() const
{
    return static_cast<uint32_t>(SteadyMs() - m_llOriginMs);
}

bool CTestClient::StartPeer()
{
    m_pPeer = RakNet::RakPeerInterface::GetInstance();
    RakNet::SocketDescriptor socket(0, m_strBindHost.empty() ? nullptr : m_strBindHost.c_str());
    if (m_pPeer->Startup(1, &socket, 1) != RakNet::RAKNET_STARTED)
    {
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
        m_pPeer = nullptr;
        return false;
    }
    return true;
}

void CTestClient::StopPeer(uint32_t uiBlockMs)
{
    if (m_pPeer != nullptr)
    {
        m_pPeer->Shutdown(uiBlockMs);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
        m_pPeer = nullptr;
    }
    m_pSocket = nullptr;
    m_bConnected = false;
    m_serverAddress = RakNet::UNASSIGNED_SYSTEM_ADDRESS;
}

// RakNet compares the password bytes including the terminating zero, which is
// how the server sets its own; so the zero always goes along.
bool CTestClient::Connect(const char* szHost, uint16_t usPort, const char* szServerPassword,
                          uint32_t uiTimeoutMs)
{
    Disconnect();
    m_eLastConnect = CONNECT_NOT_STARTED;
    if (szHost == nullptr || !StartPeer())
    {
        return false;
    }
    const char* szPassword = szServerPassword ? szServerPassword : "";
    const unsigned uAttempts = std::max<unsigned>(1, uiTimeoutMs / kConnectAttemptIntervalMs);
    if (m_pPeer->Connect(szHost, usPort, szPassword, static_cast<int>(std::strlen(szPassword) + 1), nullptr,
                         0, uAttempts, kConnectAttemptIntervalMs) != RakNet::CONNECTION_ATTEMPT_STARTED)
    {
        StopPeer(0);
        return false;
    }
    m_eLastConnect = CONNECT_TIMED_OUT;
    const uint32_t uiDeadline = NowMs() + uiTimeoutMs;
    while (m_eLastConnect == CONNECT_TIMED_OUT)
    {
        RakNet::Packet* pPacket = m_pPeer->Receive();
        if (pPacket == nullptr)
        {
            if (NowMs() >= uiDeadline)
            {
                break;
            }
            SleepOneMs();
            continue;
        }
        const SConnectAnswer* pAnswer = pPacket->length > 0 ? FindConnectAnswer(pPacket->data[0]) : nullptr;
        if (pAnswer != nullptr)
        {
            m_eLastConnect = pAnswer->eResult;
            m_serverAddress = pPacket->systemAddress;
        }
        else
        {
            Record(pPacket->data, pPacket->length);
        }
        m_pPeer->DeallocatePacket(pPacket);
    }
    if (m_eLastConnect != CONNECT_OK)
    {
        StopPeer(0);
        return false;
    }
    // Asking the peer for its sockets waits for its update thread, so the
    // socket for hand-made datagrams is looked up once.
    DataStructures::List<RakNet::RakNetSocket2*> sockets;
    m_pPeer->GetSockets(sockets);
    m_pSocket = sockets.Size() ? sockets[0] : nullptr;
    m_bConnected = true;
    return true;
}

void CTestClient::Disconnect()
{
    if (m_pPeer == nullptr)
    {
        return;
    }
    Poll();
    StopPeer(m_bConnected ? kShutdownNoticeMs : 0);
}

namespace
{
// Runs on the transport's receive thread. A dropped datagram's buffer goes
// back to its peer here, as the transport does not release it.
bool DropDatagram(RakNet::RNS2RecvStruct* pRecv)
{
    if (pRecv == nullptr || pRecv->socket == nullptr || !pRecv->socket->IsBerkleySocket())
    {
        return true;
    }
    static_cast<RakNet::RNS2_Berkley*>(pRecv->socket)
        ->GetBindings()
        ->eventHandler->DeallocRNS2RecvStruct(pRecv, _FILE_AND_LINE_);
    return false;
}
} // namespace

void CTestClient::IgnoreIncoming()
{
    if (m_pPeer != nullptr)
    {
        m_pPeer->SetIncomingDatagramEventHandler(DropDatagram);
    }
}

void CTestClient::DropSilently()
{
    if (m_pPeer == nullptr)
    {
        return;
    }
    Poll();
    StopPeer(0);
}

bool CTestClient::Join(const SJoinRequest& request, SServerInfo* pInfo, uint8_t* pbyRefusal,
                       uint32_t uiTimeoutMs)
{
    if (pbyRefusal != nullptr)
    {
        *pbyRefusal = 0;
    }
    if (!SendJoinRequest(request))
    {
        return false;
    }
    std::optional<SReceived> answer = WaitForAny({wire::SV_SERVER_INFO, wire::SV_JOIN_REFUSAL}, uiTimeoutMs);
    if (!answer)
    {
        return false;
    }
    if (answer->id == wire::SV_JOIN_REFUSAL)
    {
        if (pbyRefusal != nullptr)
        {
            DecodeJoinRefusal(*answer, *pbyRefusal);
        }
        return false;
    }
    SServerInfo info;
    if (!DecodeServerInfo(*answer, info))
    {
        return false;
    }
    m_uiPlayerId = info.uiPlayerId;
    if (pInfo != nullptr)
    {
        *pInfo = info;
    }
    return true;
}

bool CTestClient::Join(const char* szName, SServerInfo* pInfo, uint32_t uiTimeoutMs)
{
    SJoinRequest request;
    request.strName = szName ? szName : "";
    return Join(request, pInfo, nullptr, uiTimeoutMs);
}

bool CTestClient::SendStream(const RakNet::BitStream& stream, PacketReliability eReliability,
                             PacketPriority ePriority, char cChannel)
{
    if (m_pPeer == nullptr || !m_bConnected || stream.GetNumberOfBitsUsed() == 0)
    {
        return false;
    }
    return m_pPeer->Send(&stream, ePriority, eReliability, cChannel, m_serverAddress, false) != 0;
}

bool CTestClient::SendRaw(const uint8_t* pData, size_t nLength, PacketReliability eReliability)
{
    if (m_pPeer == nullptr || !m_bConnected || pData == nullptr || nLength == 0)
    {
        return false;
    }
    return m_pPeer->Send(reinterpret_cast<const char*>(pData), static_cast<int>(nLength), HIGH_PRIORITY,
                         eReliability, 0, m_serverAddress, false) != 0;
}

bool CTestClient::SendRaw(const std::vector<uint8_t>& bytes, PacketReliability eReliability)
{
    return SendRaw(bytes.data(), bytes.size(), eReliability);
}

bool CTestClient::SendDatagram(const std::vector<uint8_t>& datagram)
{
    if (m_pPeer == nullptr || m_pSocket == nullptr || !m_bConnected || datagram.empty())
    {
        return false;
    }
    RakNet::RNS2_SendParameters parameters;
    parameters.data = const_cast<char*>(reinterpret_cast<const char*>(datagram.data()));
    parameters.length = static_cast<int>(datagram.size());
    parameters.systemAddress = m_serverAddress;
    return m_pSocket->Send(&parameters, __FILE__, __LINE__) > 0;
}

bool CTestClient::SendMessage(int nId, const CMessageBuilder& body, PacketReliability eReliability)
{
    RakNet::BitStream stream;
    WriteMessageId(stream, nId);
    AppendBits(stream, body.Stream());
    return SendStream(stream, eReliability);
}

bool CTestClient::SendMessage(int nId, PacketReliability eReliability)
{
    RakNet::BitStream stream;
    WriteMessageId(stream, nId);
    return SendStream(stream, eReliability);
}

bool CTestClient::SendJoinRequest(const SJoinRequest& request)
{
    RakNet::BitStream stream;
    EncodeJoinRequest(stream, request);
    return SendStream(stream);
}

bool CTestClient::SendOnFootSync(uint32_t uiStamp, const wire::SOnFootRecord& onFoot,
                                 PacketReliability eReliability)
{
    RakNet::BitStream stream;
    EncodeOnFootSync(stream, uiStamp, onFoot);
    return SendStream(stream, eReliability);
}

bool CTestClient::SendAimSync(uint32_t uiStamp, const wire::SOnFootRecord& onFoot,
                              const wire::SAimRecord& aim, PacketReliability eReliability)
{
    RakNet::BitStream stream;
    EncodeAimSync(stream, uiStamp, onFoot, aim);
    return SendStream(stream, eReliability);
}

bool CTestClient::SendDriverSync(uint32_t uiStamp, const wire::SDriverRecord& driver,
                                 const wire::SVehicleRecord& vehicle, PacketReliability eReliability)
{
    RakNet::BitStream stream;
    EncodeDriverSync(stream, uiStamp, driver, vehicle);
    return SendStream(stream, eReliability);
}

bool CTestClient::SendPassengerSync(uint32_t uiStamp, const wire::SPassengerRecord& passenger,
                                    PacketReliability eReliability)
{
    RakNet::BitStream stream;
    EncodePassengerSync(stream, uiStamp, passenger);
    return SendStream(stream, eReliability);
}

bool CTestClient::SendChat(std::string_view text)
{
    RakNet::BitStream stream;
    EncodeChat(stream, text);
    return SendStream(stream);
}

bool CTestClient::SendCommand(std::string_view text)
{
    RakNet::BitStream stream;
    EncodeCommand(stream, text);
    return SendStream(stream);
}

bool CTestClient::SendPrivateMessage(uint8_t byRecipientSlot, std::string_view text)
{
    RakNet::BitStream stream;
    EncodePrivateMessage(stream, byRecipientSlot, text);
    return SendStream(stream);
}

bool CTestClient::SendClientText(std::string_view text)
{
    RakNet::BitStream stream;
    EncodeClientText(stream, text);
    return SendStream(stream);
}

bool CTestClient::SendRequestClass(uint8_t byDirection)
{
    RakNet::BitStream stream;
    EncodeByteMessage(stream, wire::CL_REQUEST_CLASS, byDirection);
    return SendStream(stream);
}

bool CTestClient::SendRequestSpawn()
{
    return SendMessage(wire::CL_REQUEST_SPAWN);
}

bool CTestClient::SendSpawned()
{
    return SendMessage(wire::CL_SPAWNED);
}

bool CTestClient::SendDeath(uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart)
{
    RakNet::BitStream stream;
    EncodeDeathReport(stream, byReason, byKillerSlot, byBodyPart);
    return SendStream(stream);
}

bool CTestClient::SendQuit(uint8_t byReason)
{
    RakNet::BitStream stream;
    EncodeByteMessage(stream, wire::CL_QUIT, byReason);
    return SendStream(stream);
}

bool CTestClient::SendAdminLogin(std::string_view password)
{
    RakNet::BitStream stream;
    EncodeAdminLogin(stream, password);
    return SendStream(stream);
}

bool CTestClient::SendAdminKick(uint8_t bySlot)
{
    RakNet::BitStream stream;
    EncodeByteMessage(stream, wire::CL_ADMIN_KICK, bySlot);
    return SendStream(stream);
}

bool CTestClient::SendAdminBan(uint8_t bySlot)
{
    RakNet::BitStream stream;
    EncodeByteMessage(stream, wire::CL_ADMIN_BAN, bySlot);
    return SendStream(stream);
}

bool CTestClient::SendPlayerListRequest()
{
    return SendMessage(wire::CL_PLAYER_LIST_REQUEST);
}

bool CTestClient::SendToggle(bool bOn)
{
    return SendMessage(bOn ? wire::CL_TOGGLE_ON : wire::CL_TOGGLE_OFF);
}

bool CTestClient::SendClientValue(double dValue)
{
    RakNet::BitStream stream;
    EncodeClientValue(stream, dValue);
    return SendStream(stream);
}

// A disconnection notice or a lost connection ends the connection; both are
// still queued so that tests can wait for them.
void CTestClient::Record(const uint8_t* pData, size_t nLength)
{
    SReceived msg;
    if (!ParseReceived(pData, nLength, msg))
    {
        return;
    }
    msg.timeMs = NowMs();
    if (msg.id == kRakDisconnectionNotification || msg.id == kRakConnectionLost)
    {
        m_bConnected = false;
    }
    m_received.push_back(std::move(msg));
}

void CTestClient::Poll()
{
    if (m_pPeer == nullptr)
    {
        return;
    }
    for (RakNet::Packet* pPacket = m_pPeer->Receive(); pPacket != nullptr; pPacket = m_pPeer->Receive())
    {
        Record(pPacket->data, pPacket->length);
        m_pPeer->DeallocatePacket(pPacket);
    }
}

std::optional<SReceived> CTestClient::Take(std::initializer_list<int> ids)
{
    for (auto it = m_received.begin(); it != m_received.end(); ++it)
    {
        if (std::find(ids.begin(), ids.end(), it->id) != ids.end())
        {
            SReceived msg = std::move(*it);
            m_received.erase(it);
            return msg;
        }
    }
    return std::nullopt;
}

std::optional<SReceived> CTestClient::WaitFor(int nId, uint32_t uiTimeoutMs)
{
    return WaitForAny({nId}, uiTimeoutMs);
}

std::optional<SReceived> CTestClient::WaitForAny(std::initializer_list<int> ids, uint32_t uiTimeoutMs)
{
    const uint32_t uiDeadline = NowMs() + uiTimeoutMs;
    for (;;)
    {
        Poll();
        if (std::optional<SReceived> msg = Take(ids))
        {
            return msg;
        }
        if (NowMs() >= uiDeadline)
        {
            return std::nullopt;
        }
        SleepOneMs();
    }
}

bool CTestClient::WaitForDisconnect(uint32_t uiTimeoutMs)
{
    const uint32_t uiDeadline = NowMs() + uiTimeoutMs;
    for (;;)
    {
        Poll();
        if (!m_bConnected)
        {
            return true;
        }
        if (NowMs() >= uiDeadline)
        {
            return false;
        }
        SleepOneMs();
    }
}

bool CTestClient::NoneWithin(int nId, uint32_t uiPeriodMs)
{
    Pump(uiPeriodMs);
    return CountOf(nId) == 0;
}

void CTestClient::Pump(uint32_t uiPeriodMs)
{
    const uint32_t uiDeadline = NowMs() + uiPeriodMs;
    do
    {
        Poll();
        SleepOneMs();
    } while (NowMs() < uiDeadline);
    Poll();
}

std::vector<SReceived> CTestClient::TakeAll(int nId)
{
    std::vector<SReceived> taken;
    auto keep = m_received.begin();
    for (auto it = m_received.begin(); it != m_received.end(); ++it)
    {
        if (it->id == nId)
        {
            taken.push_back(std::move(*it));
        }
        else
        {
            if (keep != it)
            {
                *keep = std::move(*it);
            }
            ++keep;
        }
    }
    m_received.erase(keep, m_received.end());
    return taken;
}

int CTestClient::CountOf(int nId) const
{
    return static_cast<int>(std::count_if(m_received.begin(), m_received.end(),
                                          [nId](const SReceived& msg) { return msg.id == nId; }));
}

} // namespace testclient
