// The real server binary on a loopback port, driven by the protocol test
// client and the query client.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CQueryClient.h"
#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CQueryClient;
using testclient::CTestClient;
using testclient::SJoinRequest;
using testclient::SServerInfo;
using ::testing::HasSubstr;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class LoopbackTest : public ::testing::Test
{
protected:
    // Starts the binary with a server.cfg of its own; the probe plugin refuses
    // joins whose name starts with "Refused".
    void StartServer(const std::string& strExtraConfig = "", bool bProbe = false)
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::string strConfig = "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n" + strExtraConfig;
        if (bProbe)
        {
            std::filesystem::create_directories(m_folder.File("plugins"));
            std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/net_probe.so",
                                            m_folder.File("plugins/net_probe.so"));
            strConfig += "plugins net_probe\n";
        }
        m_folder.Write("server.cfg", strConfig);
        ASSERT_TRUE(m_server.Start(m_folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_server.Output();
    }

    void TearDown() override
    {
        if (m_server.Pid() > 0)
            EXPECT_EQ(m_server.Stop(), 0) << m_server.Output();
    }

    bool Connect(CTestClient& client, const char* szPassword = "")
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort), szPassword, 3000);
    }

    CTempDir m_folder;
    CServerProcess m_server;
    int m_nPort = 0;
};

SJoinRequest Request(const std::string& strName)
{
    SJoinRequest request;
    request.strName = strName;
    return request;
}
} // namespace

TEST_F(LoopbackTest, ConnectionThatSaysNothingIsKickedAfter2500Ms)
{
    StartServer();
    CTestClient client;
    ASSERT_TRUE(Connect(client));
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(m_server.WaitForOutput("Disconnecting client at ID 0 - hasn't told us who he is.", 5000))
        << m_server.Output();
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    EXPECT_GE(elapsed, 2450);
    EXPECT_LE(elapsed, 3000);
    // Silent: no disconnection notice reaches the client.
    EXPECT_TRUE(client.NoneWithin(testclient::kRakDisconnectionNotification, 300));
}

TEST_F(LoopbackTest, CorrectJoinIsAcceptedWithTheServerInformation)
{
    StartServer();
    CTestClient client;
    ASSERT_TRUE(Connect(client));
    SServerInfo info;
    uint8_t byRefusal = 0xFF;
    ASSERT_TRUE(client.Join(Request("Welcome"), &info, &byRefusal));
    EXPECT_EQ(info.strServerName, "OR:VN Server");
    EXPECT_EQ(info.strPlayerName, "Welcome");
    EXPECT_EQ(info.Slot(), 0);
    // Still connected well past the join deadline.
    client.Pump(2800);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_THAT(m_server.Output(), ::testing::Not(HasSubstr("hasn't told us who he is")));
}

TEST_F(LoopbackTest, EveryRefusalArrivesAsMessage175WithItsCode)
{
    StartServer("", true);
    CTestClient holder;
    ASSERT_TRUE(Connect(holder));
    ASSERT_TRUE(holder.Join("Holder"));

    struct SCase
    {
        const char* szWhat;
        SJoinRequest request;
        uint8_t byCode;
    };
    std::vector<SCase> cases;
    SJoinRequest request = Request("Magic");
    request.uiMagic = 0x12345678;
    cases.push_back({"wrong magic", request, 1});
    request = Request("Older");
    request.uiVersion = 66099;
    cases.push_back({"older", request, 2});
    request = Request("Newer");
    request.uiVersion = 66110;
    cases.push_back({"newer", request, 3});
    cases.push_back({"long name", Request(std::string(24, 'L')), 4});
    cases.push_back({"name in use", Request("hOLDER"), 5});
    cases.push_back({"plugin", Request("RefusedByProbe"), 7});
    request = Request("Anonymous");
    request.bHasUniqueId = false;
    cases.push_back({"no unique id", request, 8});

    for (const SCase& c : cases)
    {
        CTestClient client;
        ASSERT_TRUE(Connect(client)) << c.szWhat;
        uint8_t byRefusal = 0;
        EXPECT_FALSE(client.Join(c.request, nullptr, &byRefusal)) << c.szWhat;
        EXPECT_EQ(byRefusal, c.byCode) << c.szWhat;
        // The refusal closes the connection with a notice.
        EXPECT_TRUE(client.WaitForDisconnect(2000)) << c.szWhat;
    }
    std::string strOutput = m_server.Output();
    EXPECT_THAT(strOutput, HasSubstr("wrong magic code."));
    EXPECT_THAT(strOutput, HasSubstr("version is 66099 (current 66100), using older version."));
    EXPECT_THAT(strOutput, HasSubstr("user 'RefusedByProbe' login failed."));
    EXPECT_THAT(strOutput, HasSubstr("probe: incoming [Holder] from [127.0.0.1]"));
}

TEST_F(LoopbackTest, WrongServerPasswordIsRefusedByTheTransport)
{
    StartServer("password secret\n");
    CTestClient wrong;
    EXPECT_FALSE(Connect(wrong, "Secret"));
    EXPECT_EQ(wrong.LastConnectResult(), testclient::CONNECT_INVALID_PASSWORD);
    CTestClient none;
    EXPECT_FALSE(Connect(none, ""));
    EXPECT_EQ(none.LastConnectResult(), testclient::CONNECT_INVALID_PASSWORD);
    CTestClient right;
    ASSERT_TRUE(Connect(right, "secret"));
    EXPECT_TRUE(right.Join("Insider"));
}

TEST_F(LoopbackTest, ServerWithoutPasswordAdmitsTheSingleZeroByte)
{
    StartServer();
    CTestClient client;
    ASSERT_TRUE(Connect(client, ""));
    EXPECT_TRUE(client.Join("Open"));
    CTestClient other;
    EXPECT_FALSE(Connect(other, "anything"));
    EXPECT_EQ(other.LastConnectResult(), testclient::CONNECT_INVALID_PASSWORD);
}

TEST_F(LoopbackTest, SecondJoinAndChatBeforeJoiningKickSilently)
{
    StartServer();
    CTestClient joined;
    ASSERT_TRUE(Connect(joined));
    ASSERT_TRUE(joined.Join("Repeater"));
    ASSERT_TRUE(joined.SendJoinRequest(Request("Repeater")));
    EXPECT_TRUE(
        m_server.WaitForOutput("Kicking player ID 0, tried to send join packet when already joined.", 3000))
        << m_server.Output();

    CTestClient early;
    ASSERT_TRUE(Connect(early));
    ASSERT_TRUE(early.SendChat("hello?"));
    EXPECT_TRUE(m_server.WaitForOutput("tried to send a non-join packet when not yet joined.", 3000))
        << m_server.Output();
    // Neither was told: no kicked notice, no disconnection notice.
    EXPECT_EQ(joined.CountOf(178), 0);
    EXPECT_TRUE(early.NoneWithin(testclient::kRakDisconnectionNotification, 200));
    EXPECT_EQ(joined.CountOf(testclient::kRakDisconnectionNotification), 0);
}

TEST_F(LoopbackTest, AdminLoginAnswersBothWays)
{
    StartServer("adminpass letmein\n");
    CTestClient client;
    ASSERT_TRUE(Connect(client));
    ASSERT_TRUE(client.Join("Operator"));
    client.Clear();

    ASSERT_TRUE(client.SendAdminLogin("letmeout"));
    auto failed = client.WaitFor(202, 2000);
    ASSERT_TRUE(failed.has_value());
    testclient::STextMessage text;
    ASSERT_TRUE(testclient::DecodeChatLine(*failed, text));
    EXPECT_EQ(text.uiValue, 0xFFFFFF00u);
    EXPECT_EQ(text.strText, "*> Failed to log in as an admin. <*");

    ASSERT_TRUE(client.SendAdminLogin("letmein"));
    auto passed = client.WaitFor(202, 2000);
    ASSERT_TRUE(passed.has_value());
    ASSERT_TRUE(testclient::DecodeChatLine(*passed, text));
    EXPECT_EQ(text.uiValue, 0xFFFFFFFFu);
    EXPECT_EQ(text.strText, "*> Logged in as an admin. <*");
}

TEST_F(LoopbackTest, QueriesAreAnsweredOnTheGamePort)
{
    StartServer("servername Loopback Arena\nmaxplayers 12\n");
    CTestClient player;
    ASSERT_TRUE(Connect(player));
    ASSERT_TRUE(player.Join("Browser"));
    // The snapshot is refreshed every tick; one tick is about 5 ms.
    player.Pump(50);

    CQueryClient query;
    ASSERT_TRUE(query.Open(kHost, static_cast<uint16_t>(m_nPort)));
    std::vector<uint8_t> request = query.Request('i');
    std::vector<uint8_t> reply;
    ASSERT_TRUE(query.Exchange(request, reply, 2000));
    EXPECT_TRUE(testclient::QueryReplyMatches(reply, request));
    testclient::SQueryInfo info;
    ASSERT_TRUE(testclient::DecodeQueryInfo(reply.data(), reply.size(), info));
    EXPECT_EQ(info.strVersion, "04rel000");
    EXPECT_FALSE(info.bPassword);
    EXPECT_EQ(info.usPlayers, 1);
    EXPECT_EQ(info.usMaxPlayers, 12);
    EXPECT_EQ(info.strServerName, "Loopback Arena");
    EXPECT_EQ(info.strGameMode, "Default");
    EXPECT_EQ(info.strMapName, "Palmora");

    request = query.Request('c');
    ASSERT_TRUE(query.Exchange(request, reply, 2000));
    testclient::SQueryPlayers players;
    ASSERT_TRUE(testclient::DecodeQueryPlayers(reply.data(), reply.size(), players));
    EXPECT_EQ(players.usCount, 1);
    EXPECT_EQ(players.names, std::vector<std::string>{"Browser"});

    const uint8_t abyPing[4] = {9, 8, 7, 6};
    request = query.Request('p', abyPing);
    ASSERT_TRUE(query.Exchange(request, reply, 2000));
    ASSERT_EQ(reply.size(), 15u);
    uint8_t abyEcho[4] = {};
    ASSERT_TRUE(testclient::DecodeQueryPing(reply.data(), reply.size(), abyEcho));
    EXPECT_EQ(std::vector<uint8_t>(abyEcho, abyEcho + 4), std::vector<uint8_t>(abyPing, abyPing + 4));

    // A 16-byte ping and a 10-byte query are not answered, and the game goes on.
    request.push_back(0);
    ASSERT_TRUE(query.Send(request));
    EXPECT_FALSE(query.Receive(reply, 300));
    request.resize(10);
    ASSERT_TRUE(query.Send(request));
    EXPECT_FALSE(query.Receive(reply, 300));
    EXPECT_TRUE(player.IsConnected());
}

// A client that never hears it was kicked keeps sending while the server's
// side of the connection is closing. The first such message is met with the
// no-record guard, whose silent kick must end the connection at once; the
// slot then serves the next client as usual.
TEST_F(LoopbackTest, SilentKickEndsAConnectionThatIsAlreadyClosing)
{
    StartServer();
    CTestClient deaf;
    ASSERT_TRUE(Connect(deaf));
    ASSERT_TRUE(deaf.Join("Deaf"));
    deaf.IgnoreIncoming();
    ASSERT_TRUE(deaf.SendQuit(0));
    ASSERT_TRUE(m_server.WaitForOutput("sent quit packet with reason 0.", 5000)) << m_server.Output();
    const std::string strGuard = "Kicking player ID 0, no record of such connection ID exists.";
    ASSERT_TRUE(deaf.SendPlayerListRequest());
    ASSERT_TRUE(m_server.WaitForOutput(strGuard, 5000)) << m_server.Output();
    for (int i = 0; i < 4; ++i)
    {
        ASSERT_TRUE(deaf.SendPlayerListRequest());
        deaf.Pump(300);
    }
    const std::string strOut = m_server.Output();
    size_t nGuards = 0;
    for (size_t nAt = strOut.find(strGuard); nAt != std::string::npos; nAt = strOut.find(strGuard, nAt + 1))
        ++nGuards;
    EXPECT_EQ(nGuards, 1u) << strOut;

    CTestClient next;
    ASSERT_TRUE(Connect(next));
    ASSERT_TRUE(next.Join("Next"));
    EXPECT_EQ(next.Slot(), 0);
}
