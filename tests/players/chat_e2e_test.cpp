// Chat and private messages between two real clients of the server binary.
#include <gtest/gtest.h>

#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;
using testclient::SChatRelay;
using testclient::STextMessage;

namespace
{
constexpr const char* kHost = "127.0.0.1";

class ChatE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
        for (CTestClient* pClient : {&m_Alice, &m_Bob})
            ASSERT_TRUE(pClient->Connect(kHost, static_cast<uint16_t>(m_nPort)));
        ASSERT_TRUE(m_Alice.Join("Alice"));
        ASSERT_TRUE(m_Bob.Join("Bob"));
        m_Alice.Pump(100);
        m_Alice.Clear();
        m_Bob.Clear();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    CTestClient m_Alice;
    CTestClient m_Bob;
};

SChatRelay Relay(CTestClient& client, int nId)
{
    SChatRelay relay;
    auto received = client.WaitFor(nId);
    if (received)
        testclient::DecodeChatRelay(*received, relay);
    return relay;
}
} // namespace

TEST_F(ChatE2eTest, ChatReachesBothPlayersPrivateMessageOnlyItsRecipient)
{
    ASSERT_TRUE(m_Alice.SendChat("hi all"));
    for (CTestClient* pClient : {&m_Alice, &m_Bob})
    {
        SChatRelay relay = Relay(*pClient, 204);
        EXPECT_EQ(relay.uiPlayerId, m_Alice.PlayerId());
        EXPECT_EQ(relay.strText, "hi all");
    }

    ASSERT_TRUE(m_Alice.SendPrivateMessage(m_Bob.Slot(), "just you"));
    SChatRelay relay = Relay(m_Bob, 205);
    EXPECT_EQ(relay.uiPlayerId, m_Alice.PlayerId());
    EXPECT_EQ(relay.strText, "just you");
    EXPECT_TRUE(m_Alice.NoneWithin(205, 300));
}

TEST_F(ChatE2eTest, PrivateMessageToNobodyIsAnsweredByTheServer)
{
    ASSERT_TRUE(m_Alice.SendPrivateMessage(42, "hello?"));
    auto received = m_Alice.WaitFor(202);
    ASSERT_TRUE(received);
    STextMessage line;
    ASSERT_TRUE(testclient::DecodeChatLine(*received, line));
    EXPECT_EQ(line.uiValue, 0xB0B0B0FFu);
    EXPECT_EQ(line.strText, "*> Private message recipient does not exist. <*");
    EXPECT_TRUE(m_Bob.NoneWithin(205, 200));
}
