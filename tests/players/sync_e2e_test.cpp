// Player sync between real clients of the server binary: relays reach the
// players in stream range and stop once they are out of it, a burst of syncs
// is relayed as its newest state, a refused seat changes nothing the
// anti-cheat relies on, and a player spawns only when let and dies only once.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;
using testclient::SOnFootRelay;

namespace
{
constexpr const char* kHost = "127.0.0.1";

wire::SOnFootRecord At(float fX, float fY, float fZ, uint8_t byHealth = 100, uint8_t byArmour = 0)
{
    wire::SOnFootRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.byHealth = byHealth;
    record.byArmour = byArmour;
    return record;
}

class SyncE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
        ASSERT_TRUE(JoinAndSpawn(m_Alice, "Alice"));
        ASSERT_TRUE(JoinAndSpawn(m_Bob, "Bob"));
        // Both spawned at the same point, so each streams the other in.
        ASSERT_TRUE(m_Bob.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));
        ASSERT_TRUE(m_Alice.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));
        m_Alice.Clear();
        m_Bob.Clear();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    // Without a name the client is already in and only spawns.
    bool JoinAndSpawn(CTestClient& client, const char* szName)
    {
        if (szName && (!client.Connect(kHost, static_cast<uint16_t>(m_nPort)) || !client.Join(szName)))
            return false;
        client.SendRequestSpawn();
        if (!client.WaitFor(wire::SV_PERMIT_SPAWN, 3000))
            return false;
        return client.SendSpawned();
    }

    // The next on-foot relay about the sender that reaches the client.
    static std::optional<SOnFootRelay> NextRelayFrom(CTestClient& client, const CTestClient& sender,
                                                     uint32_t uiTimeoutMs)
    {
        while (auto received = client.WaitFor(wire::SV_ONFOOT_RELAY, uiTimeoutMs))
        {
            SOnFootRelay relay;
            if (testclient::DecodeOnFootRelay(*received, relay) && relay.bySlot == sender.Slot())
                return relay;
        }
        return std::nullopt;
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    CTestClient m_Alice;
    CTestClient m_Bob;
};

TEST_F(SyncE2eTest, PlayersWithinStreamRangeSeeEachOtherAndStopBeyondIt)
{
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(300.0f, 0.0f, 10.0f)));
    auto toBob = NextRelayFrom(m_Bob, m_Alice, 2000);
    ASSERT_TRUE(toBob);
    wire::SWireVector vAlice = toBob->onFoot.vPosition;
    EXPECT_EQ(vAlice.z, 10.0f);
    auto toAlice = NextRelayFrom(m_Alice, m_Bob, 2000);
    ASSERT_TRUE(toAlice);
    wire::SWireVector vBob = toAlice->onFoot.vPosition;
    EXPECT_EQ(vBob.x, 300.0f);

    // Beyond 340 units the next streaming pass takes them apart.
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(350.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_STREAM_OUT, 4000));
    m_Bob.Clear();
    for (int i = 0; i < 5; ++i)
    {
        ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(1.0f * i, 0.0f, 10.0f)));
        m_Alice.Pump(30);
    }
    EXPECT_FALSE(NextRelayFrom(m_Bob, m_Alice, 300));
}

// Two syncs sent together arrive in one server tick almost always; the
// relay then carries only the second. A round whose syncs were split over
// two ticks still ends with the second.
TEST_F(SyncE2eTest, TwoSyncsTogetherAreRelayedAsTheSecond)
{
    constexpr int kRounds = 5;
    int nRelays = 0;
    for (int nRound = 0; nRound < kRounds; ++nRound)
    {
        const float fFirst = 10.0f * nRound;
        ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(fFirst, 0.0f, 10.0f), UNRELIABLE));
        ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(fFirst + 5.0f, 0.0f, 10.0f), UNRELIABLE));
        float fLast = -1.0f;
        while (auto relay = NextRelayFrom(m_Bob, m_Alice, fLast < 0.0f ? 2000 : 100))
        {
            wire::SWireVector vPosition = relay->onFoot.vPosition;
            fLast = vPosition.x;
            ++nRelays;
        }
        EXPECT_EQ(fLast, fFirst + 5.0f) << "round " << nRound;
    }
    EXPECT_LT(nRelays, 2 * kRounds);
}
// A refused seat (no vehicle 0, no seat given in vehicle 7) must not set the
// health and armour that the next on-foot sync is measured against.
TEST_F(SyncE2eTest, RefusedSeatSyncsDoNotRaiseHealthOrArmour)
{
    wire::SDriverRecord driver = {};
    driver.byHealth = 255;
    ASSERT_TRUE(m_Alice.SendDriverSync(0, driver, wire::SVehicleRecord{}));
    ASSERT_TRUE(m_Bob.SendPassengerSync(0, wire::SPassengerRecord{7, 100, 255, 1}));
    // The refusal puts each back on foot with a position.
    ASSERT_TRUE(m_Alice.WaitFor(wire::SV_POSITION, 3000));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_POSITION, 3000));
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f, 255)));
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f, 100, 255)));
    for (const char* szLine :
         {"'Alice' (0), health increased from 100 to 255.", "'Bob' (1), armour increased from 0 to 255."})
        EXPECT_TRUE(m_Server.WaitForOutput(szLine, 5000)) << m_Server.Output();
}

// Alice watches Bob: a death is announced once, and after it his spawn
// reaches her only once he asked for it and was let (a second after his last
// spawn at the earliest).
TEST_F(SyncE2eTest, SpawnNeedsPermissionAndDeathNeedsASpawn)
{
    ASSERT_TRUE(m_Bob.SendDeath(1, 255, 0));
    ASSERT_TRUE(m_Bob.SendDeath(1, 255, 0));
    ASSERT_TRUE(m_Alice.WaitFor(wire::SV_DEATH_NOTICE, 3000));
    ASSERT_TRUE(m_Bob.SendSpawned());
    EXPECT_TRUE(m_Alice.NoneWithin(wire::SV_DEATH_NOTICE, 1000));
    EXPECT_EQ(m_Alice.CountOf(wire::SV_SPAWN_DESCRIPTION), 0);
    ASSERT_TRUE(JoinAndSpawn(m_Bob, nullptr));
    EXPECT_TRUE(m_Alice.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));
}
} // namespace
