// Bans with the real binary: the file read at start-up, and an administrator's
// ban written to it and still in force after a restart.
#include <gtest/gtest.h>

#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class BanE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nadminpass letmein\n");
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }
    void StartServer()
    {
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    bool Connect(CTestClient& client) { return client.Connect(kHost, static_cast<uint16_t>(m_nPort)); }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
};
} // namespace

TEST_F(BanE2eTest, AddressInTheBanFileIsRefusedFromTheStart)
{
    m_Folder.Write("orvn-svr.banlist", "10.1.2.3 127.0.0.1\n");
    StartServer();
    CTestClient client;
    EXPECT_FALSE(Connect(client));
    EXPECT_EQ(client.LastConnectResult(), testclient::CONNECT_BANNED);
}

TEST_F(BanE2eTest, AdministratorsBanIsWrittenToTheFileAndSurvivesARestart)
{
    StartServer();
    CTestClient admin;
    CTestClient target;
    ASSERT_TRUE(Connect(admin));
    ASSERT_TRUE(admin.Join("Admin"));
    ASSERT_TRUE(Connect(target));
    ASSERT_TRUE(target.Join("Target"));
    ASSERT_TRUE(admin.SendAdminLogin("letmein"));
    ASSERT_TRUE(admin.WaitFor(202));
    ASSERT_TRUE(admin.SendAdminBan(target.Slot()));

    auto notice = target.WaitFor(178);
    ASSERT_TRUE(notice);
    uint8_t byValue = 0xFF;
    ASSERT_TRUE(testclient::DecodeKicked(*notice, byValue));
    EXPECT_EQ(byValue, 1);
    EXPECT_TRUE(target.WaitForDisconnect());
    ASSERT_TRUE(m_Server.WaitForOutput("Player 'Target' ID 1 disconnected (kicked).", 3000))
        << m_Server.Output();
    EXPECT_EQ(m_Folder.Read("orvn-svr.banlist"), "127.0.0.1\n");

    CTestClient again;
    EXPECT_FALSE(Connect(again));
    EXPECT_EQ(again.LastConnectResult(), testclient::CONNECT_BANNED);

    admin.Disconnect();
    ASSERT_EQ(m_Server.Stop(), 0);
    StartServer();
    CTestClient afterRestart;
    EXPECT_FALSE(Connect(afterRestart));
    EXPECT_EQ(afterRestart.LastConnectResult(), testclient::CONNECT_BANNED);
}
