// Players end to end: the real server binary on a loopback port with the
// players_e2e game mode, driven by protocol test clients.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;
using ::testing::HasSubstr;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class PlayerLoopbackTest : public ::testing::Test
{
protected:
    // strSettings becomes players_e2e.txt, read by the game mode at start-up.
    void StartServer(const std::string& strSettings = "")
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_folder.File("plugins"));
        std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/players_e2e.so",
                                        m_folder.File("plugins/players_e2e.so"));
        m_folder.Write("server.cfg", "port " + std::to_string(m_nPort) +
                                         "\nbindhost 127.0.0.1\nplugins players_e2e\nadminpass secret\n");
        if (!strSettings.empty())
            m_folder.Write("players_e2e.txt", strSettings);
        ASSERT_TRUE(m_server.Start(m_folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_server.WaitForOutput("e2e: ready", 10000)) << m_server.Output();
        ASSERT_TRUE(m_server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_server.Output();
    }

    void TearDown() override
    {
        if (m_server.Pid() > 0)
            EXPECT_EQ(m_server.Stop(), 0) << m_server.Output();
    }

    // Connected and joined; false (with the reason logged) otherwise.
    bool Enter(CTestClient& client, const char* szName)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort), "", 3000) && client.Join(szName);
    }

    CTempDir m_folder;
    CServerProcess m_server;
    int m_nPort = 0;
};

TEST_F(PlayerLoopbackTest, PlayersLearnOfEachOtherAndOfDepartures)
{
    StartServer();
    CTestClient alice;
    ASSERT_TRUE(Enter(alice, "Alice"));
    for (int nId : {193, 170, 171, 172})
        EXPECT_TRUE(alice.WaitFor(nId).has_value()) << "message " << nId;
    CTestClient bob;
    ASSERT_TRUE(Enter(bob, "Bob"));

    testclient::SJoinNotice notice;
    auto toBob = bob.WaitFor(152);
    ASSERT_TRUE(toBob.has_value());
    ASSERT_TRUE(testclient::DecodeJoinNotice(*toBob, notice));
    EXPECT_EQ(notice.uiPlayerId, alice.PlayerId());
    EXPECT_EQ(notice.strName, "Alice");
    EXPECT_EQ(notice.usFlags, 0x1063);
    auto toAlice = alice.WaitFor(152);
    ASSERT_TRUE(toAlice.has_value());
    ASSERT_TRUE(testclient::DecodeJoinNotice(*toAlice, notice));
    EXPECT_EQ(notice.uiPlayerId, bob.PlayerId());
    EXPECT_EQ(notice.strName, "Bob");
    EXPECT_TRUE(bob.NoneWithin(152, 200));

    ASSERT_TRUE(bob.SendQuit(testclient::kQuitCrashed));
    auto leave = alice.WaitFor(153);
    ASSERT_TRUE(leave.has_value());
    testclient::SLeaveNotice left;
    ASSERT_TRUE(testclient::DecodeLeaveNotice(*leave, left));
    EXPECT_EQ(left.uiPlayerId, bob.PlayerId());
    EXPECT_EQ(left.byReason, 3);
    EXPECT_TRUE(m_server.WaitForOutput("e2e: disconnect 1 3", 3000)) << m_server.Output();
}

TEST_F(PlayerLoopbackTest, ClassRequestWithClassesOffOnlyAnswers)
{
    StartServer("classes 0\n");
    CTestClient client;
    ASSERT_TRUE(Enter(client, "Chooser"));
    ASSERT_TRUE(client.SendRequestClass(testclient::kClassNext));
    EXPECT_TRUE(client.WaitFor(177).has_value());
    EXPECT_TRUE(client.NoneWithin(194, 300));
    EXPECT_TRUE(m_server.WaitForOutput("e2e: class 0 1", 3000)) << m_server.Output();
}

TEST_F(PlayerLoopbackTest, ClassRequestWithoutClassesOffersTheDefaultClass)
{
    StartServer();
    CTestClient client;
    ASSERT_TRUE(Enter(client, "Chooser"));
    ASSERT_TRUE(client.SendRequestClass(testclient::kClassPrevious));
    auto camera = client.WaitFor(194);
    ASSERT_TRUE(camera.has_value());
    auto colour = client.WaitFor(160);
    ASSERT_TRUE(colour.has_value());
    testclient::SSlotValue decoded;
    ASSERT_TRUE(testclient::DecodeColour(*colour, decoded));
    EXPECT_EQ(decoded.uiValue, 0xAA5500u);
    auto weapon = client.WaitFor(191);
    ASSERT_TRUE(weapon.has_value());
    testclient::SGiveWeapon give;
    ASSERT_TRUE(testclient::DecodeGiveWeapon(*weapon, give));
    EXPECT_EQ(give.byWeapon, 17);
    EXPECT_EQ(give.usAmmo, 100);
    EXPECT_TRUE(client.WaitFor(177).has_value());
    EXPECT_TRUE(m_server.WaitForOutput("e2e: class 0 0", 3000)) << m_server.Output();
}

TEST_F(PlayerLoopbackTest, SpawnIsPermittedUnlessRefusedAndAppliesTheClass)
{
    StartServer("class 3 4 ff102030 100 200 10\n");
    CTestClient refused;
    ASSERT_TRUE(Enter(refused, "RefusedRay"));
    ASSERT_TRUE(refused.SendRequestSpawn());
    EXPECT_TRUE(refused.WaitFor(177).has_value());
    EXPECT_TRUE(refused.NoneWithin(181, 300));

    CTestClient player;
    ASSERT_TRUE(Enter(player, "Player"));
    ASSERT_TRUE(player.SendRequestSpawn());
    EXPECT_TRUE(player.WaitFor(181).has_value());
    EXPECT_TRUE(player.WaitFor(177).has_value());
    player.Clear();
    ASSERT_TRUE(player.SendSpawned());
    auto position = player.WaitFor(184);
    ASSERT_TRUE(position.has_value());
    wire::SWireVector vPosition;
    ASSERT_TRUE(testclient::DecodeVector(*position, vPosition));
    const float fX = vPosition.x, fY = vPosition.y, fZ = vPosition.z;
    EXPECT_EQ(fX, 100.0f);
    EXPECT_EQ(fY, 200.0f);
    EXPECT_EQ(fZ, 10.0f);
    auto weapon = player.WaitFor(191);
    ASSERT_TRUE(weapon.has_value());
    testclient::SGiveWeapon give;
    ASSERT_TRUE(testclient::DecodeGiveWeapon(*weapon, give));
    EXPECT_EQ(give.byWeapon, 22);
    EXPECT_EQ(give.usAmmo, 50);
    EXPECT_EQ(give.byArmed, 0);
    EXPECT_TRUE(m_server.WaitForOutput("e2e: spawn 1", 3000)) << m_server.Output();
}

TEST_F(PlayerLoopbackTest, DeathIsBroadcastToEveryPlayer)
{
    StartServer();
    CTestClient victim;
    ASSERT_TRUE(Enter(victim, "Victim"));
    CTestClient killer;
    ASSERT_TRUE(Enter(killer, "Killer"));
    for (CTestClient* pClient : {&victim, &killer})
    {
        ASSERT_TRUE(pClient->SendRequestSpawn());
        ASSERT_TRUE(pClient->WaitFor(181).has_value());
        ASSERT_TRUE(pClient->SendSpawned());
    }
    ASSERT_TRUE(m_server.WaitForOutput("e2e: spawn 1", 3000)) << m_server.Output();
    ASSERT_TRUE(victim.SendDeath(17, killer.Slot(), 6));
    for (CTestClient* pClient : {&victim, &killer})
    {
        auto death = pClient->WaitFor(155);
        ASSERT_TRUE(death.has_value());
        testclient::SDeathNotice notice;
        ASSERT_TRUE(testclient::DecodeDeathNotice(*death, notice));
        EXPECT_EQ(notice.uiPlayerId, victim.PlayerId());
        EXPECT_EQ(notice.byReason, 17);
        EXPECT_EQ(notice.byKillerSlot, killer.Slot());
        EXPECT_EQ(notice.byBodyPart, 6);
    }
    EXPECT_TRUE(m_server.WaitForOutput("e2e: death 0 1 17 6", 3000)) << m_server.Output();
}

TEST_F(PlayerLoopbackTest, PlayerListShowsAddressesOnlyToAdministrators)
{
    StartServer();
    CTestClient admin;
    ASSERT_TRUE(Enter(admin, "Admin"));
    CTestClient guest;
    ASSERT_TRUE(Enter(guest, "Guest"));

    ASSERT_TRUE(guest.SendPlayerListRequest());
    auto reply = guest.WaitFor(196);
    ASSERT_TRUE(reply.has_value());
    testclient::SPlayerList list;
    ASSERT_TRUE(testclient::DecodePlayerList(*reply, list));
    EXPECT_EQ(list.byCount, 2);
    EXPECT_FALSE(list.bAdmin);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].bySlot, admin.Slot());
    EXPECT_EQ(list.entries[1].bySlot, guest.Slot());
    EXPECT_FALSE(list.entries[0].bHasAddress);
    EXPECT_EQ(reply->payload.size(), 2u + 2u * 9u);

    ASSERT_TRUE(admin.SendAdminLogin("secret"));
    ASSERT_TRUE(admin.WaitFor(202).has_value());
    ASSERT_TRUE(admin.SendPlayerListRequest());
    reply = admin.WaitFor(196);
    ASSERT_TRUE(reply.has_value());
    ASSERT_TRUE(testclient::DecodePlayerList(*reply, list));
    EXPECT_TRUE(list.bAdmin);
    ASSERT_EQ(list.entries.size(), 2u);
    // 127.0.0.1 as the network layer holds it: first octet in the lowest byte.
    EXPECT_EQ(list.entries[1].uiAddress, 0x0100007Fu);
    EXPECT_EQ(reply->payload.size(), 2u + 2u * 13u);
}
} // namespace
