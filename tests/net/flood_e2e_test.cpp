// The flood limits on the real binary: a query flood from many loopback
// sources is answered within the global budget and each source's rate while
// a game client keeps receiving relays; a client past its message limit is
// kicked with its line, one just under it is not.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CQueryClient.h"
#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CQueryClient;
using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class FloodE2eTest : public ::testing::Test
{
protected:
    void StartServer(const std::string& strLimits)
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n" + strLimits);
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    bool JoinAndSpawn(CTestClient& client, const char* szName)
    {
        if (!client.Connect(kHost, static_cast<uint16_t>(m_nPort)) || !client.Join(szName))
            return false;
        client.SendRequestSpawn();
        if (!client.WaitFor(wire::SV_PERMIT_SPAWN, 3000))
            return false;
        return client.SendSpawned();
    }

    // Query sources 127.0.0.2 and up, one socket each, and what each got back.
    void OpenSources(int nCount)
    {
        for (int i = 0; i < nCount; ++i)
        {
            m_Sources.push_back(std::make_unique<CQueryClient>());
            ASSERT_TRUE(m_Sources.back()->Open(kHost, static_cast<uint16_t>(m_nPort)));
            ASSERT_TRUE(m_Sources.back()->BindLocal(("127.0.0." + std::to_string(i + 2)).c_str()));
        }
        m_anReplies.assign(static_cast<size_t>(nCount), 0);
    }
    void Drain(uint32_t uiWaitMs)
    {
        std::vector<uint8_t> reply;
        for (size_t i = 0; i < m_Sources.size(); ++i)
        {
            while (m_Sources[i]->Receive(reply, uiWaitMs))
            {
                ++m_anReplies[i];
                m_nReplyBytes += static_cast<int>(reply.size());
            }
        }
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    std::vector<std::unique_ptr<CQueryClient>> m_Sources;
    std::vector<int> m_anReplies;
    int m_nReplyBytes = 0;
};

wire::SOnFootRecord At(float fX, float fY, float fZ)
{
    wire::SOnFootRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.byHealth = 100;
    return record;
}

int CountRelaysFrom(CTestClient& client, const CTestClient& sender)
{
    int nCount = 0;
    for (const testclient::SReceived& received : client.TakeAll(wire::SV_ONFOOT_RELAY))
    {
        testclient::SOnFootRelay relay;
        if (testclient::DecodeOnFootRelay(received, relay) && relay.bySlot == sender.Slot())
            ++nCount;
    }
    return nCount;
}
} // namespace

// 20 sources (127.0.0.2 to 127.0.0.21) each ask for the server information as
// fast as they can for two seconds. Each may draw its burst of 10 and 10 a
// second; together they would draw far more than the budget of 4000 reply
// bytes a second allows, so the budget decides the total.
TEST_F(FloodE2eTest, QueryFloodStaysWithinTheBudgetAndEachSourcesRate)
{
    StartServer("queryrate 10\nqueryburst 10\nquerybudget 4000\n");
    CTestClient alice;
    CTestClient bob;
    ASSERT_TRUE(JoinAndSpawn(alice, "Alice"));
    ASSERT_TRUE(JoinAndSpawn(bob, "Bob"));
    ASSERT_TRUE(bob.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));

    OpenSources(20);
    const std::vector<uint8_t> request = m_Sources[0]->Request('i');

    // Alice moves every 20 ms (Bob stands still beside her, so that each keeps
    // the other streamed in); Bob counts her relays for a second without
    // the flood and then for two seconds with it.
    int nSyncs = 0;
    auto run = [&](double dSeconds, bool bFlood)
    {
        bob.Clear();
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(dSeconds))
        {
            if (bFlood)
            {
                for (auto& source : m_Sources)
                    source->Send(request);
            }
            ++nSyncs;
            alice.SendOnFootSync(static_cast<uint32_t>(nSyncs),
                                 At(480.0f + static_cast<float>(nSyncs % 10), -1717.0f, 63.0f));
            bob.SendOnFootSync(static_cast<uint32_t>(nSyncs), At(476.0f, -1717.0f, 63.0f));
            bob.Poll();
            Drain(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const double dTaken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        bob.Pump(300);
        return dTaken;
    };
    run(1.0, false);
    const int nQuietRelays = CountRelaysFrom(bob, alice);
    const double dSeconds = run(2.0, true);
    const int nFloodRelays = CountRelaysFrom(bob, alice);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Drain(0);

    // One second's budget to start with, then the budget for the time that
    // passed; each source its burst and its rate for that time. Half a
    // second more allows for requests still queued when the flood stopped.
    EXPECT_LE(m_nReplyBytes, static_cast<int>(4000 * (1.5 + dSeconds)));
    EXPECT_GT(m_nReplyBytes, 4000);
    for (size_t i = 0; i < m_Sources.size(); ++i)
        EXPECT_LE(m_anReplies[i], static_cast<int>(10 + 10 * (dSeconds + 0.5))) << "source " << i;
    // The game goes on: relays keep arriving at much the rate they did before.
    EXPECT_GT(nQuietRelays, 0);
    EXPECT_GE(nFloodRelays, nQuietRelays) << nQuietRelays << " relays in the quiet second\n"
                                          << m_Server.Output();
    EXPECT_TRUE(m_Server.WaitForOutput("Query flood: dropped ", 3000)) << m_Server.Output();
}

// With no budget, the rate of each of 100 neighbouring sources decides alone:
// each pings every 10 ms for two seconds and gets its burst of 10 and 10 a
// second, no more however many neighbours share the limiter's table.
TEST_F(FloodE2eTest, EachOfManyNeighbouringSourcesGetsItsOwnRate)
{
    StartServer("queryrate 10\nqueryburst 10\nquerybudget 0\n");
    OpenSources(100);
    const std::vector<uint8_t> request = m_Sources[0]->Request('p');
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
    {
        for (auto& source : m_Sources)
            source->Send(request);
        Drain(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Drain(0);
    for (size_t i = 0; i < m_Sources.size(); ++i)
    {
        EXPECT_GE(m_anReplies[i], 10) << "source " << i;
        EXPECT_LE(m_anReplies[i], static_cast<int>(10 + 10 * (dSeconds + 0.5))) << "source " << i;
    }
}

// Limit 50 a second with a burst of 100. Bob sends a burst of 80 and then 40
// a second for three seconds and stays; Alice sends 300 at once and is
// kicked after the messages of that tick, with one line.
TEST_F(FloodE2eTest, ClientPastTheMessageLimitIsKickedAndOneJustUnderStays)
{
    StartServer("messagerate 50\nmessageburst 100\n");
    CTestClient alice;
    CTestClient bob;
    ASSERT_TRUE(JoinAndSpawn(alice, "Alice"));
    ASSERT_TRUE(JoinAndSpawn(bob, "Bob"));

    for (int i = 0; i < 80; ++i)
        ASSERT_TRUE(bob.SendClientValue(1.0));
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(alice.SendClientValue(2.0));
    ASSERT_TRUE(alice.WaitFor(wire::SV_KICKED, 5000));
    EXPECT_TRUE(alice.WaitForDisconnect(5000));
    const std::string strLine = "Kicking player ID " + std::to_string(alice.Slot()) +
                                " (127.0.0.1), sent more than 50 messages a second.";
    EXPECT_TRUE(m_Server.WaitForOutput(strLine, 3000)) << m_Server.Output();

    for (int i = 0; i < 120; ++i)
    {
        ASSERT_TRUE(bob.SendClientValue(1.0));
        bob.Pump(25);
    }
    bob.Pump(500);
    EXPECT_EQ(bob.CountOf(wire::SV_KICKED), 0);
    EXPECT_TRUE(bob.IsConnected());
    const std::string strOut = m_Server.Output();
    size_t nFirst = strOut.find("sent more than 50 messages");
    EXPECT_EQ(strOut.find("sent more than 50 messages", nFirst + 1), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find("Kicking player ID " + std::to_string(bob.Slot())), std::string::npos) << strOut;
}
