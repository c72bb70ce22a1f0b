// What a client reports about its own player, between real clients of the
// server binary: a refused seat changes nothing the anti-cheat relies on,
// and a player spawns only when the server let it and dies only once.
#include <gtest/gtest.h>

#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class ClientReportsE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    bool Join(CTestClient& client, const char* szName)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort)) && client.Join(szName);
    }

    static bool Spawn(CTestClient& client)
    {
        client.SendRequestSpawn();
        return client.WaitFor(wire::SV_PERMIT_SPAWN, 3000) && client.SendSpawned();
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    CTestClient m_Alice;
    CTestClient m_Bob;
};

// A driver sync for no vehicle and a passenger sync for a seat nobody gave
// are refused; the health and armour they carried must not become the mark
// the next on-foot sync is measured against.
TEST_F(ClientReportsE2eTest, RefusedSeatSyncsDoNotRaiseHealthOrArmour)
{
    ASSERT_TRUE(Join(m_Alice, "Alice") && Spawn(m_Alice));
    ASSERT_TRUE(Join(m_Bob, "Bob") && Spawn(m_Bob));

    wire::SDriverRecord driver = {};
    driver.byHealth = 255;
    ASSERT_TRUE(m_Alice.SendDriverSync(0, driver, wire::SVehicleRecord{}));
    wire::SPassengerRecord passenger = {};
    passenger.usVehicleId = 7;
    passenger.byHealth = 100;
    passenger.byArmour = 255;
    passenger.bySeat = 1;
    ASSERT_TRUE(m_Bob.SendPassengerSync(0, passenger));
    // The refusal puts each back on foot with a position.
    ASSERT_TRUE(m_Alice.WaitFor(wire::SV_POSITION, 3000));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_POSITION, 3000));

    wire::SOnFootRecord onFoot = {};
    onFoot.byHealth = 255;
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, onFoot));
    onFoot.byHealth = 100;
    onFoot.byArmour = 255;
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, onFoot));
    EXPECT_TRUE(m_Server.WaitForOutput("Kicking player 'Alice' (0), health increased from 100 to 255.", 5000))
        << m_Server.Output();
    EXPECT_TRUE(m_Server.WaitForOutput("Kicking player 'Bob' (1), armour increased from 0 to 255.", 5000))
        << m_Server.Output();
}

// Alice watches Bob: his spawn reaches her only after a permitted request,
// and each death is announced once.
TEST_F(ClientReportsE2eTest, SpawnNeedsPermissionAndDeathNeedsASpawn)
{
    ASSERT_TRUE(Join(m_Alice, "Alice") && Spawn(m_Alice));
    ASSERT_TRUE(Join(m_Bob, "Bob"));

    ASSERT_TRUE(m_Bob.SendSpawned());
    EXPECT_TRUE(m_Alice.NoneWithin(wire::SV_SPAWN_DESCRIPTION, 800));
    ASSERT_TRUE(Spawn(m_Bob));
    ASSERT_TRUE(m_Alice.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));

    ASSERT_TRUE(m_Bob.SendDeath(1, 255, 0));
    ASSERT_TRUE(m_Bob.SendDeath(1, 255, 0));
    ASSERT_TRUE(m_Alice.WaitFor(wire::SV_DEATH_NOTICE, 3000));
    m_Alice.Clear();
    EXPECT_TRUE(m_Alice.NoneWithin(wire::SV_DEATH_NOTICE, 800));

    // After the death the old permission is spent.
    ASSERT_TRUE(m_Bob.SendSpawned());
    EXPECT_TRUE(m_Alice.NoneWithin(wire::SV_SPAWN_DESCRIPTION, 800));
    ASSERT_TRUE(Spawn(m_Bob));
    EXPECT_TRUE(m_Alice.WaitFor(wire::SV_SPAWN_DESCRIPTION, 3000));
}
} // namespace
