// The operator's console with the real binary: commands through a pipe to
// standard input, real clients over loopback, the log file and its rotation.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";
const std::regex g_StampedLine("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d \\S.*");

class ConsoleE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }
    void StartServer(const std::string& strExtraConfig = "")
    {
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n" + strExtraConfig);
        m_Server.UseInputPipe();
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    // Types the line and waits for the answer it must give.
    bool Type(const std::string& strLine, const std::string& strAnswer)
    {
        return m_Server.WriteInput(strLine + "\n") && m_Server.WaitForOutput(strAnswer, 5000);
    }
    bool Join(CTestClient& client, const char* szName)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort)) && client.Join(szName);
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
};
} // namespace

TEST_F(ConsoleE2eTest, OperatorListsTellsKicksBansAndStops)
{
    StartServer();
    CTestClient alpha;
    CTestClient beta;
    CTestClient gamma;
    ASSERT_TRUE(Join(alpha, "Alpha"));
    ASSERT_TRUE(Join(beta, "Beta"));

    ASSERT_TRUE(Type("players", "Players: 2 of 50")) << m_Server.Output();
    ASSERT_TRUE(m_Server.WaitForOutput("Beta", 2000));
    const std::string strOut = m_Server.Output();
    for (const char* szRow : {"\\n  0  Alpha +127\\.0\\.0\\.1 +\\d+ ms  not spawned\\n",
                              "\\n  1  Beta +127\\.0\\.0\\.1 +\\d+ ms  not spawned\\n"})
        EXPECT_TRUE(std::regex_search(strOut, std::regex(szRow))) << szRow << strOut;

    ASSERT_TRUE(Type("say  Welcome, everyone ", "Said to every player: Welcome, everyone"));
    testclient::STextMessage chat;
    for (auto line = alpha.WaitFor(202); line && chat.strText != "Welcome, everyone";
         line = alpha.WaitFor(202))
        ASSERT_TRUE(testclient::DecodeChatLine(*line, chat));
    EXPECT_EQ(chat.strText, "Welcome, everyone");
    EXPECT_EQ(chat.uiValue, 0xB0B0B0FFu);

    ASSERT_TRUE(Type("kick " + std::to_string(beta.Slot()), "Player 'Beta' ID 1 disconnected (kicked)."))
        << m_Server.Output();
    EXPECT_TRUE(beta.WaitFor(178));
    EXPECT_TRUE(beta.WaitForDisconnect());

    ASSERT_TRUE(Join(gamma, "Gamma"));
    ASSERT_TRUE(Type("ban " + std::to_string(gamma.Slot()), "Player 'Gamma' ID 1 disconnected (kicked)."));
    EXPECT_TRUE(gamma.WaitForDisconnect());
    EXPECT_EQ(m_Folder.Read("orvn-svr.banlist"), "127.0.0.1\n");
    ASSERT_TRUE(Type("unban 127.0.0.1", "Unbanned 127.0.0.1."));
    EXPECT_EQ(m_Folder.Read("orvn-svr.banlist"), "");
    // An address nobody banned: said so, and neither file is rewritten.
    ASSERT_TRUE(Type("unban 10.9.8.7", "10.9.8.7 is not banned."));
    EXPECT_EQ(m_Server.Output().find("Unbanned 10.9.8.7"), std::string::npos);
    EXPECT_EQ(m_Folder.Read("orvn-svr.banlist.old"), "127.0.0.1\n");

    ASSERT_TRUE(Type("kick 99", "No player at ID 99."));
    ASSERT_TRUE(Type("kick me", "Bad argument for 'kick'. Usage: kick <slot>"));
    ASSERT_TRUE(Type("frobnicate now", "Unknown command 'frobnicate'. Commands: help, players, kick, ban"));
    ASSERT_TRUE(Type("maxplayers 500", "Max players: 100"));

    ASSERT_TRUE(m_Server.WriteInput("exit\n"));
    EXPECT_EQ(m_Server.WaitExit(10000), 0) << m_Server.Output();
    EXPECT_NE(m_Server.Output().find("** Shutting down server **\n"), std::string::npos);
    EXPECT_NE(m_Server.Output().find("Player 'Alpha' ID 0 disconnected"), std::string::npos);
}

TEST_F(ConsoleE2eTest, PasswordCommandLocksAndUnlocksTheServer)
{
    StartServer();
    ASSERT_TRUE(Type("password s3cret", "Server password set."));
    CTestClient client;
    EXPECT_FALSE(client.Connect(kHost, static_cast<uint16_t>(m_nPort)));
    EXPECT_EQ(client.LastConnectResult(), testclient::CONNECT_INVALID_PASSWORD);
    EXPECT_EQ(m_Server.Output().find("s3cret"), std::string::npos);
    ASSERT_TRUE(Type("password", "Server password removed."));
    EXPECT_TRUE(Join(client, "Opener"));
}

TEST_F(ConsoleE2eTest, OverlongLineIsRefusedWholeAndEndOfInputLeavesTheServerRunning)
{
    StartServer();
    CTestClient listener;
    ASSERT_TRUE(Join(listener, "Listener"));
    listener.Pump(200);
    listener.Clear();
    // Split into pieces, this line would say something and then stop the server.
    std::string strLong = "say " + std::string(507, 'a') + "exit" + std::string(10000 - 515, ' ');
    ASSERT_EQ(strLong.size(), 10000u);
    ASSERT_TRUE(Type(strLong, "Console line of 10000 characters refused: at most 511 are read."));
    ASSERT_TRUE(Type("players", "Players: 1 of 50"));
    EXPECT_TRUE(listener.NoneWithin(202, 200));

    m_Server.CloseInput();
    EXPECT_EQ(m_Server.WaitExit(1000), -1);
    CTestClient late;
    EXPECT_TRUE(Join(late, "Late"));
    EXPECT_EQ(m_Server.Stop(SIGINT), 0);
}

TEST_F(ConsoleE2eTest, PluginTakesItsOwnConsoleCommands)
{
    std::filesystem::create_directory(m_Folder.File("plugins"));
    std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/console_command.so",
                                    m_Folder.File("plugins/console_command.so"));
    StartServer("plugins console_command\n");
    ASSERT_TRUE(Type("greet the operator", "console_command: hello, the operator"));
    ASSERT_TRUE(Type("greeting", "Unknown command 'greeting'."));
    EXPECT_EQ(m_Server.Output().find("Unknown command 'greet'"), std::string::npos);
}

TEST_F(ConsoleE2eTest, LogLinesAreStampedOnlyWhenAskedAndFollowARotation)
{
    StartServer("logtimestamps 1\n");
    ASSERT_TRUE(Type("maxplayers 7", "Max players: 7"));
    ASSERT_EQ(std::rename(m_Folder.File("server_log.txt").c_str(), m_Folder.File("server_log.txt.1").c_str()),
              0);
    kill(m_Server.Pid(), SIGUSR1);
    for (int i = 0; i < 500 && !m_Folder.Exists("server_log.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(m_Folder.Exists("server_log.txt"));
    ASSERT_TRUE(Type("maxplayers 9", "Max players: 9"));
    EXPECT_EQ(m_Server.Stop(SIGINT), 0);

    const std::string strOld = m_Folder.Read("server_log.txt.1");
    const std::string strNew = m_Folder.Read("server_log.txt");
    EXPECT_NE(strOld.find(" Max players: 7\n"), std::string::npos) << strOld;
    EXPECT_EQ(strOld.find("Max players: 9"), std::string::npos) << strOld;
    ASSERT_NE(strNew.find(" Max players: 9\n"), std::string::npos) << strNew;
    // Every line from the reading of server.cfg on (the banner comes before
    // it), and every line of the new file.
    for (const std::string& strLog : {strOld.substr(strOld.find("contributors\n\n") + 14), strNew})
    {
        size_t nStart = 0;
        while (nStart < strLog.size())
        {
            size_t nEnd = strLog.find('\n', nStart);
            std::string strLine = strLog.substr(nStart, nEnd - nStart);
            EXPECT_TRUE(strLine.empty() || std::regex_match(strLine, g_StampedLine)) << strLine;
            nStart = nEnd + 1;
        }
    }
    // The console never shows the stamps.
    EXPECT_NE(m_Server.Output().find("\nMax players: 7\n"), std::string::npos);
}

TEST_F(ConsoleE2eTest, WithoutTheKeyTheLogKeepsItsPlainLines)
{
    StartServer();
    ASSERT_TRUE(Type("maxplayers 7", "Max players: 7"));
    EXPECT_EQ(m_Server.Stop(SIGINT), 0);
    const std::string strLog = m_Folder.Read("server_log.txt");
    EXPECT_EQ(strLog.rfind("\n Palmora Multiplayer Server\n -------------------------------\n v0.4", 0), 0u)
        << strLog;
    EXPECT_NE(strLog.find("\nMax players: 7\n"), std::string::npos) << strLog;
}
