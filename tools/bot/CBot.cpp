#include "CBot.h"

#include <cstring>

#include "BitStream.h"
#include "MessageIdentifiers.h"
#include "RakPeerInterface.h"

#include "BotClock.h"
#include "CMessageBuilder.h"
#include "ClientMessages.h"
#include "ContentMessages.h"
#include "VehicleMessages.h"

namespace orvnbot
{

namespace
{

constexpr unsigned kConnectAttempts = 20;
constexpr unsigned kConnectAttemptIntervalMs = 250;
// How long a spawn permit may trail the class reply that follows it.
constexpr int64_t kRefusalGraceUs = 1000000;
constexpr uint32_t kNoCode = 0xFFFFFFFFu;
// Churn: how long a departing bot lets its disconnection notice leave, and
// the pause before it connects again.
constexpr int64_t kLeaveGraceUs = 300000;
constexpr int64_t kRejoinPauseMinUs = 500000;
constexpr int64_t kRejoinPauseMaxUs = 2000000;

// RakNet's answers that end a connection attempt without a connection.
struct SRakRefusal
{
    int nId;
    const char* szReason;
};

constexpr SRakRefusal kRakRefusals[] = {
    {ID_CONNECTION_ATTEMPT_FAILED, "connection attempt failed"},
    {ID_NO_FREE_INCOMING_CONNECTIONS, "server full"},
    {ID_CONNECTION_BANNED, "banned"},
    {ID_INVALID_PASSWORD, "invalid password"},
    {ID_INCOMPATIBLE_PROTOCOL_VERSION, "incompatible protocol"},
    {ID_IP_RECENTLY_CONNECTED, "recently connected"},
};

const char* FindRakRefusal(int nId)
{
    for (const SRakRefusal& refusal : kRakRefusals)
    {
        if (refusal.nId == nId)
        {
            return refusal.szReason;
        }
    }
    return nullptr;
}

} // namespace

CBot::CBot(int nIndex, const SBotConfig& config, SSwarmShared& shared)
    : m_nIndex(nIndex), m_config(config), m_shared(shared),
      m_llPeriodUs(config.dHz > 0.0 ? static_cast<int64_t>(1000000.0 / config.dHz) : 1000000),
      m_serverAddress(RakNet::UNASSIGNED_SYSTEM_ADDRESS), m_random(static_cast<uint32_t>(nIndex) * 7919u + 1u)
{
    const size_t nBots = static_cast<size_t>(shared.pLayout ? shared.pLayout->Count() : 0);
    m_auiReceivedFrom.assign(nBots, 0);
    m_auiLastCode.assign(nBots, kNoCode);
}

CBot::~CBot()
{
    LeaveHandshake();
    Release();
}

// A bot caught between its connection attempt and the acceptance (the run
// ended, or the attempt failed) may already hold a connection on the server
// that its transport completed on its own; that one is told too, or the
// server would keep it until its join deadline.
void CBot::Close()
{
    if (m_pPeer == nullptr)
    {
        return;
    }
    RakNet::SystemAddress server = m_serverAddress;
    if (server == RakNet::UNASSIGNED_SYSTEM_ADDRESS)
    {
        server = RakNet::SystemAddress(m_config.strHost.c_str(), m_config.usPort);
        m_pPeer->CancelConnectionAttempt(server);
    }
    m_pPeer->CloseConnection(server, true);
}

void CBot::Release()
{
    if (m_pPeer != nullptr)
    {
        m_pPeer->Shutdown(0);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
        m_pPeer = nullptr;
    }
}

int CBot::Step(int64_t llNowUs, SThreadStats& stats)
{
    if (m_eState == BOT_IDLE || m_eState == BOT_LEAVING)
    {
        StepChurn(llNowUs);
    }
    if (m_eState == BOT_IDLE)
    {
        if (m_bRejoining && llNowUs < m_llRejoinAtUs)
        {
            return 0;
        }
        if (!m_bRejoining && m_shared.bSetupClosed.load(std::memory_order_relaxed))
        {
            Fail("not started within the set-up time");
            return 0;
        }
        if (!StartConnect(llNowUs))
        {
            return 0;
        }
    }
    int nPackets = 0;
    if (m_pPeer != nullptr)
    {
        for (RakNet::Packet* pPacket = m_pPeer->Receive(); pPacket != nullptr; pPacket = m_pPeer->Receive())
        {
            HandlePacket(*pPacket, llNowUs, stats);
            m_pPeer->DeallocatePacket(pPacket);
            ++nPackets;
        }
    }
    if (m_eState == BOT_SPAWNED && llNowUs >= m_llNextSendUs)
    {
        if (m_config.bVehicles)
        {
            SendDriverSync(llNowUs);
        }
        else
        {
            SendSync(llNowUs);
        }
    }
    if (m_eState == BOT_SPAWNED)
    {
        StepChurn(llNowUs);
    }
    if (m_eState > BOT_IDLE && m_eState < BOT_SPAWNED)
    {
        if (!m_bRejoining && m_shared.bSetupClosed.load(std::memory_order_relaxed))
        {
            Fail("not spawned within the set-up time");
        }
        else if (llNowUs > m_llStepDeadlineUs)
        {
            Fail("handshake step timed out");
        }
        else if (m_llRefusalDeadlineUs != 0 && llNowUs > m_llRefusalDeadlineUs)
        {
            Fail("spawn refused");
        }
    }
    return nPackets;
}

// Takes a handshake place first, so that a hundred bots join a few at a time.
bool CBot::StartConnect(int64_t llNowUs)
{
    if (m_shared.nHandshakes.fetch_add(1) >= m_shared.nMaxHandshakes)
    {
        m_shared.nHandshakes.fetch_sub(1);
        return false;
    }
    m_bInHandshake = true;
    m_pPeer = RakNet::RakPeerInterface::GetInstance();
    RakNet::SocketDescriptor socket(0, nullptr);
    if (m_pPeer->Startup(1, &socket, 1) != RakNet::RAKNET_STARTED)
    {
        Fail("peer did not start");
        return false;
    }
    // The server's password check compares the terminating zero too.
    static const char szNoPassword[] = "";
    if (m_pPeer->Connect(m_config.strHost.c_str(), m_config.usPort, szNoPassword, 1, nullptr, 0,
                         kConnectAttempts, kConnectAttemptIntervalMs) != RakNet::CONNECTION_ATTEMPT_STARTED)
    {
        Fail("connect not started");
        return false;
    }
    Enter(BOT_CONNECTING, llNowUs);
    return true;
}

void CBot::HandlePacket(const RakNet::Packet& packet, int64_t llNowUs, SThreadStats& stats)
{
    // A departing bot's connection is over: nothing from it counts.
    if (m_eState == BOT_LEAVING)
    {
        return;
    }
    SMessageView view;
    if (!ParseMessage(packet.data, packet.length, view))
    {
        return;
    }
    if (view.nId == ID_CONNECTION_REQUEST_ACCEPTED)
    {
        if (m_eState == BOT_CONNECTING)
        {
            OnConnected(packet, llNowUs);
        }
        return;
    }
    if (m_eState == BOT_CONNECTING)
    {
        if (const char* szReason = FindRakRefusal(view.nId))
        {
            Fail(szReason);
        }
        return;
    }
    if (view.nId == ID_DISCONNECTION_NOTIFICATION || view.nId == ID_CONNECTION_LOST)
    {
        Fail(view.nId == ID_CONNECTION_LOST ? "connection lost" : "disconnected by the server");
        return;
    }
    HandleGameMessage(view, llNowUs, stats);
}

void CBot::HandleGameMessage(const SMessageView& view, int64_t llNowUs, SThreadStats& stats)
{
    switch (view.nId)
    {
    case wire::SV_ONFOOT_RELAY:
    case wire::SV_DRIVER_RELAY:
        if (m_eState == BOT_SPAWNED)
        {
            HandleRelay(view, llNowUs, stats);
        }
        break;
    case wire::SV_ENTER_VEHICLE:
        if (m_eState == BOT_ENTERING_VEHICLE)
        {
            OnEntered(view, llNowUs);
        }
        break;
    case wire::SV_ENTER_VEHICLE_REFUSED:
        if (m_eState == BOT_ENTERING_VEHICLE)
        {
            Fail("vehicle entry refused");
        }
        break;
    case wire::SV_SERVER_INFO:
        if (m_eState == BOT_JOINING)
        {
            OnServerInfo(view, llNowUs);
        }
        break;
    case wire::SV_JOIN_REFUSAL:
        Fail("join refused");
        break;
    case wire::SV_CLASS_REPLY:
        if (m_eState == BOT_CHOOSING_CLASS)
        {
            SendBodyless(wire::CL_REQUEST_SPAWN);
            Enter(BOT_REQUESTING_SPAWN, llNowUs);
        }
        else if (m_eState == BOT_REQUESTING_SPAWN && m_llRefusalDeadlineUs == 0)
        {
            m_llRefusalDeadlineUs = llNowUs + kRefusalGraceUs;
        }
        break;
    case wire::SV_PERMIT_SPAWN:
        if (m_eState == BOT_REQUESTING_SPAWN)
        {
            OnSpawnPermit(llNowUs);
        }
        break;
    case wire::SV_KICKED:
        Fail("kicked");
        break;
    default:
        TrackChange(view);
        break;
    }
}

// Counts a relay only when the sync it carries was sent inside the window,
// so that relays still on their way when counting starts or ends fall on
// the same side as the sync that produced them.
void CBot::HandleRelay(const SMessageView& view, int64_t llNowUs, SThreadStats& stats)
{
    uint8_t bySlot = 0;
    uint32_t uiCode = 0;
    uint8_t byCounter = 0;
    bool bDecoded = false;
    if (view.nId == wire::SV_DRIVER_RELAY)
    {
        wire::SDriverRecord driver;
        wire::SVehicleRecord vehicle;
        bDecoded =
            DecodeDriverRelay(view, bySlot, driver, vehicle) && AngleToTimeCode(vehicle.qRotation.x, uiCode);
        byCounter = static_cast<uint8_t>(vehicle.usSyncWord);
    }
    else
    {
        wire::SOnFootRecord record;
        bDecoded = DecodeOnFootRelay(view, bySlot, record) && AngleToTimeCode(record.fAngle, uiCode);
        byCounter = record.byByte37;
    }
    if (!bDecoded)
    {
        ++stats.ullMalformed;
        return;
    }
    const int nSender = m_shared.anBotOfSlot[bySlot].load(std::memory_order_relaxed);
    if (nSender == kNoBot || nSender >= static_cast<int>(m_auiLastCode.size()))
    {
        ++stats.ullForeign;
        return;
    }
    CountRelay(nSender, uiCode, byCounter, llNowUs, stats);
}

// One decoded relay of another bot's sync.
void CBot::CountRelay(int nSender, uint32_t uiCode, uint8_t byCounter, int64_t llNowUs, SThreadStats& stats)
{
    const uint32_t uiTagged = (uiCode << 8) | byCounter;
    if (m_auiLastCode[static_cast<size_t>(nSender)] == uiTagged)
    {
        ++m_ullDuplicates;
        return;
    }
    m_auiLastCode[static_cast<size_t>(nSender)] = uiTagged;
    const int64_t llNowUnits = llNowUs / kTimeUnitUs;
    const int64_t llSentUnits = SendUnitsFromCode(llNowUnits, uiCode);
    if (!m_shared.InWindow(llSentUnits))
    {
        return;
    }
    const EPairState ePair =
        nSender == m_nIndex ? PAIR_BEYOND : m_shared.pLayout->PairState(m_nIndex, nSender);
    if (ePair == PAIR_IN_RANGE)
    {
        ++stats.ullReceived;
        ++m_auiReceivedFrom[static_cast<size_t>(nSender)];
        stats.latency.Add(llNowUnits - llSentUnits);
    }
    else if (ePair == PAIR_BEYOND)
    {
        ++stats.ullUnexpected;
    }
}

void CBot::OnConnected(const RakNet::Packet& packet, int64_t llNowUs)
{
    m_serverAddress = packet.systemAddress;
    testclient::SJoinRequest request;
    request.strName = m_config.strName;
    request.strUniqueId = "load-bot-" + m_config.strName;
    RakNet::BitStream stream;
    testclient::EncodeJoinRequest(stream, request);
    m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false);
    Enter(BOT_JOINING, llNowUs);
}

void CBot::OnServerInfo(const SMessageView& view, int64_t llNowUs)
{
    uint32_t uiPlayerId = 0;
    if (!ReadLeadingSequence(view, uiPlayerId))
    {
        Fail("server information too short");
        return;
    }
    m_bJoined = true;
    m_uiPlayerId = uiPlayerId;
    m_nSlot = static_cast<int>(uiPlayerId & 0xFF);
    m_shared.anBotOfSlot[m_nSlot].store(m_nIndex, std::memory_order_relaxed);
    // A bot lacks none of the store files it is offered; asking for none lets it spawn.
    RakNet::BitStream request;
    testclient::EncodeStoreFileRequest(request, 0, {});
    m_pPeer->Send(&request, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false);
    RakNet::BitStream stream;
    testclient::EncodeByteMessage(stream, wire::CL_REQUEST_CLASS, testclient::kClassNext);
    m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false);
    Enter(BOT_CHOOSING_CLASS, llNowUs);
}

// The permit resets health and armour on the server without telling the
// client, so the client sets them itself before its first sync.
void CBot::OnSpawnPermit(int64_t llNowUs)
{
    m_byHealth = 100;
    m_byArmour = 0;
    SendBodyless(wire::CL_SPAWNED);
    if (m_config.bVehicles)
    {
        RakNet::BitStream stream;
        testclient::EncodeRequestEnterVehicle(stream, static_cast<uint16_t>(m_nIndex + 1), 0, 255, 18);
        m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false);
        Enter(BOT_ENTERING_VEHICLE, llNowUs);
        return;
    }
    StartSending(llNowUs);
}

// The requester's own copy of the accepted entry; the first driver sync then
// completes it.
void CBot::OnEntered(const SMessageView& view, int64_t llNowUs)
{
    uint32_t uiPlayerId = 0;
    if (!ReadLeadingSequence(view, uiPlayerId) || uiPlayerId != m_uiPlayerId)
    {
        return;
    }
    StartSending(llNowUs);
}

// The end of the handshake: the bot counts as spawned and starts its sync.
void CBot::StartSending(int64_t llNowUs)
{
    m_bSpawned = true;
    m_bRejoining = false;
    ++m_uiJoins;
    m_llSpawnTimeUs = llNowUs;
    m_llNextSendUs = llNowUs;
    Enter(BOT_SPAWNED, llNowUs);
    LeaveHandshake();
}

// Health, armour and weapon changes carry a sequence that the client echoes
// in every sync stamp; health and armour values are what it reports back.
void CBot::TrackChange(const SMessageView& view)
{
    uint32_t uiSequence = 0;
    switch (view.nId)
    {
    case wire::SV_HEALTH:
    case wire::SV_ARMOUR:
        if (ReadLeadingSequence(view, uiSequence) && view.nLength >= 5)
        {
            (view.nId == wire::SV_HEALTH ? m_byHealth : m_byArmour) = view.pPayload[4];
        }
        break;
    case wire::SV_RESET_WEAPONS:
    case wire::SV_GIVE_WEAPON:
    case wire::SV_REMOVE_WEAPON:
        ReadLeadingSequence(view, uiSequence);
        break;
    default:
        return;
    }
    if (uiSequence > m_uiAckSequence)
    {
        m_uiAckSequence = uiSequence;
    }
}

void CBot::SendSync(int64_t llNowUs)
{
    wire::SOnFootRecord record;
    std::memset(&record, 0, sizeof(record));
    m_shared.pLayout->PositionAt(m_nIndex, static_cast<double>(llNowUs) / 1e6, record.vPosition,
                                 record.vSpeed);
    const int64_t llUnits = llNowUs / kTimeUnitUs;
    record.fAngle = TimeCodeToAngle(TimeCode(llUnits));
    record.byHealth = m_byHealth;
    record.byArmour = m_byArmour;
    record.byByte37 = m_bySyncCounter++;
    RakNet::BitStream stream;
    testclient::EncodeOnFootSync(stream, m_uiAckSequence, record);
    m_pPeer->Send(&stream, HIGH_PRIORITY, UNRELIABLE, 0, m_serverAddress, false);
    CountSent(llUnits, llNowUs);
}

void CBot::SendDriverSync(int64_t llNowUs)
{
    wire::SDriverRecord driver;
    std::memset(&driver, 0, sizeof(driver));
    driver.usVehicleId = static_cast<uint16_t>(m_nIndex + 1);
    driver.byHealth = m_byHealth;
    driver.byArmour = m_byArmour;
    wire::SVehicleRecord vehicle;
    std::memset(&vehicle, 0, sizeof(vehicle));
    m_shared.pLayout->PositionAt(m_nIndex, static_cast<double>(llNowUs) / 1e6, vehicle.vPosition,
                                 vehicle.vSpeed);
    const int64_t llUnits = llNowUs / kTimeUnitUs;
    vehicle.qRotation.x = TimeCodeToAngle(TimeCode(llUnits));
    vehicle.fHealth = 1000.0f;
    vehicle.usSyncWord = m_bySyncCounter++;
    RakNet::BitStream stream;
    testclient::EncodeDriverSync(stream, m_uiAckSequence, driver, vehicle);
    m_pPeer->Send(&stream, HIGH_PRIORITY, UNRELIABLE, 0, m_serverAddress, false);
    CountSent(llUnits, llNowUs);
}

// Keeps the cadence of the rate; a turn that comes later than a whole period
// restarts it instead of sending a burst to catch up.
void CBot::CountSent(int64_t llUnits, int64_t llNowUs)
{
    ++m_ullSent;
    if (m_shared.InWindow(llUnits))
    {
        ++m_ullSentInWindow;
    }
    m_llNextSendUs += m_llPeriodUs;
    if (m_llNextSendUs <= llNowUs)
    {
        m_llNextSendUs = llNowUs + m_llPeriodUs;
    }
}

// Nothing churns until the swarm has settled, so that every bot joins once
// before any leaves. A spawned bot chats and leaves when its times come; a
// leaving one is released after the grace and waits for its pause.
void CBot::StepChurn(int64_t llNowUs)
{
    if (!m_shared.bSetupClosed.load(std::memory_order_relaxed))
    {
        return;
    }
    if (m_eState == BOT_SPAWNED)
    {
        if (m_config.llChatUs > 0 && m_llNextChatUs == 0)
        {
            m_llNextChatUs = RandomAfter(llNowUs, m_config.llChatUs);
        }
        else if (m_config.llChatUs > 0 && llNowUs >= m_llNextChatUs)
        {
            SendChatLine();
            m_llNextChatUs = RandomAfter(llNowUs, m_config.llChatUs);
        }
        if (m_config.llChurnUs > 0 && m_llLeaveAtUs == 0)
        {
            m_llLeaveAtUs = RandomAfter(llNowUs, m_config.llChurnUs);
        }
        else if (m_config.llChurnUs > 0 && llNowUs >= m_llLeaveAtUs)
        {
            Leave(llNowUs);
        }
        return;
    }
    if (m_eState == BOT_LEAVING && llNowUs >= m_llRejoinAtUs)
    {
        Release();
        std::uniform_int_distribution<int64_t> pause(kRejoinPauseMinUs, kRejoinPauseMaxUs);
        m_llRejoinAtUs = llNowUs + pause(m_random);
        m_eState = BOT_IDLE;
    }
}

// The next connection starts as a new client: no acknowledged sequence and
// the health of a fresh player.
void CBot::Leave(int64_t llNowUs)
{
    Close();
    if (m_nSlot >= 0)
    {
        m_shared.anBotOfSlot[m_nSlot].store(kNoBot, std::memory_order_relaxed);
    }
    m_nSlot = -1;
    m_serverAddress = RakNet::UNASSIGNED_SYSTEM_ADDRESS;
    m_uiAckSequence = 0;
    m_byHealth = 100;
    m_byArmour = 0;
    m_llLeaveAtUs = 0;
    m_llNextChatUs = 0;
    m_bRejoining = true;
    ++m_uiLeaves;
    m_llRejoinAtUs = llNowUs + kLeaveGraceUs;
    m_eState = BOT_LEAVING;
}

void CBot::SendChatLine()
{
    const std::string strText = m_config.strName + " says hello, line " + std::to_string(m_uiChats + 1);
    RakNet::BitStream stream;
    testclient::EncodeChat(stream, strText);
    m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false);
    ++m_uiChats;
}

int64_t CBot::RandomAfter(int64_t llNowUs, int64_t llMeanUs)
{
    std::uniform_int_distribution<int64_t> spread(llMeanUs / 2, llMeanUs + llMeanUs / 2);
    return llNowUs + spread(m_random);
}

bool CBot::SendBodyless(int nId)
{
    RakNet::BitStream stream;
    testclient::EncodeEmptyMessage(stream, nId);
    return m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, m_serverAddress, false) != 0;
}

void CBot::Enter(EBotState eState, int64_t llNowUs)
{
    m_eState = eState;
    m_llStepDeadlineUs = llNowUs + m_config.llStepTimeoutUs;
    m_llRefusalDeadlineUs = 0;
}

void CBot::Fail(const char* szReason)
{
    if (m_eState == BOT_FAILED || m_eState == BOT_LOST)
    {
        return;
    }
    m_szFailReason = szReason;
    m_eState = m_bSpawned ? BOT_LOST : BOT_FAILED;
    LeaveHandshake();
    // A bot out of the run does not linger on the server as a half-joined player.
    Close();
}

void CBot::LeaveHandshake()
{
    if (m_bInHandshake)
    {
        m_bInHandshake = false;
        m_shared.nHandshakes.fetch_sub(1);
    }
}

} // namespace orvnbot
