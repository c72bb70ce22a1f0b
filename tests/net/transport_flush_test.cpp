// The transport's switches that only the server turns on (sends that wait for
// a flush, batched datagrams out and in) and its one-command send to a list
// of connections, between real peers on loopback: whatever the switches,
// every message arrives once, reliable ones complete and in call order.

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MessageIdentifiers.h"
#include "RakPeerInterface.h"

namespace
{
constexpr unsigned char kMessage = ID_USER_PACKET_ENUM + 10;

struct SSwitches
{
    const char* szName;
    bool bWaitForFlush;
    bool bDatagramBatching;
    bool bReceiveBatching;
};

// Message number n; padding makes some fill most of a datagram.
std::vector<char> Message(int n, size_t nPadding = 0)
{
    std::vector<char> bytes(3 + nPadding, 'x');
    bytes[0] = static_cast<char>(kMessage);
    bytes[1] = static_cast<char>(n >> 8);
    bytes[2] = static_cast<char>(n & 0xFF);
    return bytes;
}

// A server peer on 127.0.0.1 with its switches, and clients connected to it;
// what each client received: message numbers, and the transport's own codes.
class CLoopbackPeers
{
public:
    CLoopbackPeers(const SSwitches& switches, int nClients)
        : m_pServer(RakNet::RakPeerInterface::GetInstance()), m_numbers(nClients), m_events(nClients)
    {
        m_pServer->SetSendsWaitForFlush(switches.bWaitForFlush);
        m_pServer->SetDatagramBatching(switches.bDatagramBatching);
        m_pServer->SetReceiveBatching(switches.bReceiveBatching);
        RakNet::SocketDescriptor socket(0, "127.0.0.1");
        m_bStarted =
            m_pServer->Startup(static_cast<unsigned int>(nClients), &socket, 1) == RakNet::RAKNET_STARTED;
        m_pServer->SetMaximumIncomingConnections(static_cast<unsigned short>(nClients));
        for (int i = 0; i < nClients && m_bStarted; ++i)
        {
            m_clients.push_back(RakNet::RakPeerInterface::GetInstance());
            RakNet::SocketDescriptor any;
            m_bStarted = m_clients[i]->Startup(1, &any, 1) == RakNet::RAKNET_STARTED &&
                         m_clients[i]->Connect("127.0.0.1", m_pServer->GetMyBoundAddress().GetPort(), nullptr,
                                               0) == RakNet::CONNECTION_ATTEMPT_STARTED;
        }
        m_bStarted =
            m_bStarted && Await([&] { return m_pServer->NumberOfConnections() == m_clients.size(); });
    }
    ~CLoopbackPeers()
    {
        for (RakNet::RakPeerInterface* pClient : m_clients)
            RakNet::RakPeerInterface::DestroyInstance(pClient);
        RakNet::RakPeerInterface::DestroyInstance(m_pServer);
    }
    CLoopbackPeers(const CLoopbackPeers&) = delete;
    CLoopbackPeers& operator=(const CLoopbackPeers&) = delete;

    bool Started() const { return m_bStarted; }
    RakNet::RakPeerInterface& Server() { return *m_pServer; }
    // Client i as the server addresses it, with its connection index.
    RakNet::SystemAddress Address(size_t i) const
    {
        RakNet::SystemAddress address;
        address.FromStringExplicitPort("127.0.0.1", m_clients[i]->GetMyBoundAddress().GetPort());
        address.systemIndex = static_cast<RakNet::SystemIndex>(m_pServer->GetIndexFromSystemAddress(address));
        return address;
    }

    // Polls every client until done() or the time is up.
    bool Await(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done() && std::chrono::steady_clock::now() < deadline)
        {
            for (size_t i = 0; i < m_clients.size(); ++i)
                for (RakNet::Packet* p = m_clients[i]->Receive(); p; p = m_clients[i]->Receive())
                {
                    if (p->length >= 3 && p->data[0] == kMessage)
                        m_numbers[i].push_back(p->data[1] << 8 | p->data[2]);
                    else if (p->length > 0)
                        m_events[i].push_back(p->data[0]);
                    m_clients[i]->DeallocatePacket(p);
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

private:
    RakNet::RakPeerInterface* m_pServer;
    std::vector<RakNet::RakPeerInterface*> m_clients;
    bool m_bStarted = false;

public:
    std::vector<std::vector<int>> m_numbers;
    std::vector<std::vector<int>> m_events;
};

const SSwitches kSwitchTable[] = {
    {"stock", false, false, false},
    {"sends wait for the flush", true, false, false},
    {"datagram batching", false, true, false},
    {"receive batching", false, false, true},
    {"all three", true, true, true},
};
} // namespace

// One story per set of switches: clients connect; reliable ordered messages
// sent one by one and to a list interleave and arrive complete and in call
// order, with a flush after every few; a message sent without a flush still
// leaves with the update thread's own cycle; a shutdown notifies everyone.
TEST(TransportFlush, EverySwitchKeepsDeliveryOrderAndTheShutdownNotice)
{
    for (const SSwitches& switches : kSwitchTable)
    {
        SCOPED_TRACE(switches.szName);
        CLoopbackPeers peers(switches, 3);
        ASSERT_TRUE(peers.Started());
        RakNet::RakPeerInterface& server = peers.Server();
        const RakNet::SystemAddress listed[] = {peers.Address(0), peers.Address(2)};
        std::vector<int> all;
        std::vector<int> odd;
        for (int n = 0; n < 400; n += 2)
        {
            const std::vector<char> single = Message(n, n % 7 == 0 ? 900 : 0);
            const std::vector<char> shared = Message(n + 1);
            server.Send(single.data(), static_cast<int>(single.size()), HIGH_PRIORITY, RELIABLE_ORDERED, 0,
                        peers.Address(0), false);
            server.SendToSystemList(shared.data(), static_cast<int>(shared.size()), HIGH_PRIORITY,
                                    RELIABLE_ORDERED, 0, listed, 2);
            if (n % 20 == 0)
                server.FlushSends();
            all.insert(all.end(), {n, n + 1});
            odd.push_back(n + 1);
        }
        server.FlushSends();
        ASSERT_TRUE(peers.Await(
            [&] { return peers.m_numbers[0].size() == 400 && peers.m_numbers[2].size() == 200; }));
        EXPECT_EQ(peers.m_numbers[0], all);
        EXPECT_EQ(peers.m_numbers[2], odd);

        const std::vector<char> late = Message(1000);
        server.Send(late.data(), 3, HIGH_PRIORITY, UNRELIABLE, 0, peers.Address(1), false);
        ASSERT_TRUE(peers.Await([&] { return !peers.m_numbers[1].empty(); }));
        EXPECT_EQ(peers.m_numbers[1], std::vector<int>{1000});

        server.Shutdown(300);
        for (const std::vector<int>& events : peers.m_events)
            EXPECT_TRUE(peers.Await(
                [&] { return std::count(events.begin(), events.end(), ID_DISCONNECTION_NOTIFICATION); }));
    }
}

// Each address of a list is looked up for what it is: an index that names
// another connection sends nothing there, an unknown address is skipped, and
// bad input queues nothing.
TEST(TransportFlush, ASendToAListReachesExactlyTheConnectionsItNames)
{
    CLoopbackPeers peers({"stock", false, false, false}, 3);
    ASSERT_TRUE(peers.Started());
    RakNet::SystemAddress wrongIndex = peers.Address(1);
    wrongIndex.systemIndex = peers.Address(0).systemIndex;
    RakNet::SystemAddress unknown;
    unknown.FromStringExplicitPort("127.0.0.1", 9);
    const RakNet::SystemAddress listed[] = {wrongIndex, unknown, peers.Address(2)};
    const std::vector<char> message = Message(7);
    RakNet::RakPeerInterface& server = peers.Server();
    EXPECT_NE(server.SendToSystemList(message.data(), 3, HIGH_PRIORITY, RELIABLE, 0, listed, 3), 0u);
    EXPECT_EQ(server.SendToSystemList(message.data(), 0, HIGH_PRIORITY, RELIABLE, 0, listed, 3), 0u);
    EXPECT_EQ(server.SendToSystemList(nullptr, 3, HIGH_PRIORITY, RELIABLE, 0, listed, 3), 0u);
    EXPECT_EQ(server.SendToSystemList(message.data(), 3, HIGH_PRIORITY, RELIABLE, 0, listed, 0), 0u);

    // Whatever else was on its way has arrived 100 ms after the two copies.
    ASSERT_TRUE(peers.Await([&] { return !peers.m_numbers[1].empty() && !peers.m_numbers[2].empty(); }));
    peers.Await([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(peers.m_numbers, (std::vector<std::vector<int>>{{}, {7}, {7}}));
}
