// The control socket and the metrics with the real binary: orvn-ctl one-shot
// and interactive, a test client joining over loopback, the plugin of
// tests/testplugins/console_command.c, and the HTTP endpoint read with a plain
// socket client.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

struct SCtlResult
{
    int nExit = -1;
    std::string strOut;
    std::string strErr;
};

// Runs orvn-ctl with the arguments, feeding strInput to its standard input.
SCtlResult RunCtl(const std::vector<std::string>& args, const std::string& strInput = "")
{
    CTempDir scratch;
    scratch.Write("in", strInput);
    std::string strCommand = std::string(ORVN_BINARY_DIR) + "/bin/orvn-ctl";
    for (const std::string& strArg : args)
        strCommand += " '" + strArg + "'";
    strCommand += " <" + scratch.File("in") + " >" + scratch.File("out") + " 2>" + scratch.File("err");
    SCtlResult result;
    const int nStatus = system(strCommand.c_str());
    result.nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    result.strOut = scratch.Read("out");
    result.strErr = scratch.Read("err");
    return result;
}

int ConnectUnix(const std::string& strPath)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof(address.sun_path), "%s", strPath.c_str());
    const int nFd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    {
        close(nFd);
        return -1;
    }
    return nFd;
}

// Everything the peer sends until it closes or goes quiet for nQuietMs.
std::string ReadUntilQuiet(int nFd, int nQuietMs)
{
    std::string strText;
    timeval timeout = {nQuietMs / 1000, (nQuietMs % 1000) * 1000};
    setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    char achChunk[4096];
    for (ssize_t nRead; (nRead = recv(nFd, achChunk, sizeof(achChunk), 0)) > 0;)
        strText.append(achChunk, static_cast<size_t>(nRead));
    return strText;
}

int FreeTcpPort()
{
    const int nFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    int nPort = 0;
    if (bind(nFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(nFd, reinterpret_cast<sockaddr*>(&address), &nLength) == 0)
        nPort = ntohs(address.sin_port);
    close(nFd);
    return nPort;
}

// One HTTP/1.0 GET over a plain socket: the status code and the body; -1
// when nothing listens.
int HttpGet(int nPort, const std::string& strPath, std::string& strBody)
{
    const int nFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(nPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    {
        close(nFd);
        return -1;
    }
    const std::string strRequest = "GET " + strPath + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    EXPECT_EQ(send(nFd, strRequest.data(), strRequest.size(), 0), static_cast<ssize_t>(strRequest.size()));
    const std::string strReply = ReadUntilQuiet(nFd, 3000);
    close(nFd);
    int nStatus = 0;
    if (sscanf(strReply.c_str(), "HTTP/1.%*d %d", &nStatus) != 1)
        return 0;
    const size_t nBody = strReply.find("\r\n\r\n");
    strBody = nBody == std::string::npos ? "" : strReply.substr(nBody + 4);
    return nStatus;
}

// The exposition format as a monitoring system reads it: every sample
// belongs to a family declared before it (a histogram's through its
// _bucket, _sum and _count series), no series twice, every value a number.
// Returns the samples by series ("name{labels}"); adds a failure otherwise.
std::map<std::string, double> ParseExposition(const std::string& strText)
{
    std::map<std::string, double> samples;
    std::map<std::string, std::string> types;
    const std::regex typeLine(
        "^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram|summary|untyped)$");
    const std::regex sampleLine("^([a-zA-Z_:][a-zA-Z0-9_:]*)(\\{[a-zA-Z_][a-zA-Z0-9_]*=\"[^\"]*\"(,[a-zA-Z_]["
                                "a-zA-Z0-9_]*=\"[^\"]*\")*\\})? "
                                "(\\S+)$");
    std::istringstream lines(strText);
    std::string strLine;
    std::smatch match;
    while (std::getline(lines, strLine))
    {
        if (std::regex_match(strLine, match, typeLine))
        {
            EXPECT_TRUE(types.emplace(match[1], match[2]).second) << "declared twice: " << strLine;
            continue;
        }
        if (strLine.rfind("# HELP ", 0) == 0)
            continue;
        if (!std::regex_match(strLine, match, sampleLine))
        {
            ADD_FAILURE() << "not a sample line: '" << strLine << "'";
            continue;
        }
        std::string strFamily = match[1];
        for (const char* szSuffix : {"_bucket", "_sum", "_count"})
        {
            const std::string strBase =
                strFamily.substr(0, strFamily.size() - std::min(strFamily.size(), strlen(szSuffix)));
            if (strFamily.size() > strlen(szSuffix) && strFamily.ends_with(szSuffix) &&
                types[strBase] == "histogram")
                strFamily = strBase;
        }
        EXPECT_TRUE(types.count(strFamily)) << "no family declared for: " << strLine;
        char* pEnd = nullptr;
        const std::string strValue = match[4];
        const double dValue = strtod(strValue.c_str(), &pEnd);
        EXPECT_TRUE(*pEnd == '\0' || strValue == "+Inf") << strLine;
        EXPECT_TRUE(samples.emplace(std::string(match[1]) + std::string(match[2]), dValue).second)
            << "series twice: " << strLine;
    }
    return samples;
}

class ControlE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_strSocket = m_Folder.File("control.sock");
        std::filesystem::create_directory(m_Folder.File("plugins"));
        for (const char* szPlugin : {"console_command", "vehicles_e2e"})
            std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/" + szPlugin + ".so",
                                            m_Folder.File(std::string("plugins/") + szPlugin + ".so"));
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }
    void StartServer(const std::string& strExtraConfig = "")
    {
        m_Folder.Write("server.cfg", "port " + std::to_string(m_nPort) +
                                         "\nbindhost 127.0.0.1\ncontrolsocket " + m_strSocket +
                                         "\nplugins console_command vehicles_e2e\n" + strExtraConfig);
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
    }
    SCtlResult Ctl(const std::vector<std::string>& command, const std::string& strInput = "")
    {
        std::vector<std::string> args = {"-s", m_strSocket};
        args.insert(args.end(), command.begin(), command.end());
        return RunCtl(args, strInput);
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    std::string m_strSocket;
};
} // namespace

TEST_F(ControlE2eTest, OperatorListsAndKicksThroughTheSocketAndEveryAnswerComesBack)
{
    StartServer();
    struct stat socketFile = {};
    ASSERT_EQ(stat(m_strSocket.c_str(), &socketFile), 0);
    EXPECT_TRUE(S_ISSOCK(socketFile.st_mode));
    EXPECT_EQ(socketFile.st_mode & 0777, 0660u);

    CTestClient alpha;
    ASSERT_TRUE(alpha.Connect(kHost, static_cast<uint16_t>(m_nPort)) && alpha.Join("Alpha"));
    SCtlResult players = Ctl({"players"});
    EXPECT_EQ(players.nExit, 0) << players.strErr;
    EXPECT_TRUE(
        std::regex_search(players.strOut, std::regex("^Players: 1 of 50\n  0  Alpha +127\\.0\\.0\\.1 ")))
        << players.strOut;

    // A plugin's console command, answered to the asker as well as printed.
    SCtlResult greet = Ctl({"greet", "the", "operator"});
    EXPECT_EQ(greet.nExit, 0);
    EXPECT_EQ(greet.strOut, "console_command: hello, the operator\n");
    EXPECT_TRUE(m_Server.WaitForOutput("console_command: hello, the operator", 2000));

    for (const std::vector<std::string>& refused : {std::vector<std::string>{"frobnicate"},
                                                    {"kick", "99"},
                                                    {"kick", "me"},
                                                    {"unban", "10.9.8.7"},
                                                    {std::string(600, 'x')}})
    {
        SCtlResult result = Ctl(refused);
        EXPECT_EQ(result.nExit, 1) << refused[0] << result.strOut;
        EXPECT_FALSE(result.strOut.empty()) << refused[0];
    }
    EXPECT_EQ(Ctl({"kick", "99"}).strOut, "No player at ID 99.\n");

    // Interactive: two commands in a row on one connection.
    SCtlResult session = Ctl({}, "help\n\ngreet you\n");
    EXPECT_EQ(session.nExit, 0) << session.strErr;
    EXPECT_NE(session.strOut.find("  kick <slot>"), std::string::npos) << session.strOut;
    EXPECT_TRUE(session.strOut.ends_with("console_command: hello, you\n")) << session.strOut;

    SCtlResult kick = Ctl({"kick", std::to_string(alpha.Slot())});
    EXPECT_EQ(kick.nExit, 0);
    EXPECT_EQ(kick.strOut, "Kicking player 'Alpha' at ID 0 from the console.\n"
                           "Player 'Alpha' ID 0 disconnected (kicked).\n");
    EXPECT_TRUE(alpha.WaitFor(178));
    EXPECT_TRUE(alpha.WaitForDisconnect());

    SCtlResult stop = Ctl({"exit"});
    EXPECT_EQ(stop.nExit, 0) << stop.strErr;
    EXPECT_EQ(m_Server.WaitExit(10000), 0) << m_Server.Output();
    EXPECT_FALSE(m_Folder.Exists("control.sock"));
}

TEST_F(ControlE2eTest, ASocketInUseStopsASecondServerAndAStaleOneIsReplaced)
{
    SCtlResult nobody = Ctl({"players"});
    EXPECT_EQ(nobody.nExit, 2);
    EXPECT_NE(nobody.strErr.find("cannot reach the server at " + m_strSocket), std::string::npos)
        << nobody.strErr;

    StartServer();
    CTempDir second;
    second.Write("server.cfg", "port " + std::to_string(FindFreeUdpPort()) +
                                   "\nbindhost 127.0.0.1\ncontrolsocket " + m_strSocket + "\n");
    CServerProcess rival;
    ASSERT_TRUE(rival.Start(second.Path(), {"-allow-server-runas-root"}));
    EXPECT_EQ(rival.WaitExit(10000), 1);
    EXPECT_NE(
        rival.Output().find("Control socket " + m_strSocket + " is in use by another server; not starting."),
        std::string::npos)
        << rival.Output();
    EXPECT_EQ(Ctl({"players"}).nExit, 0);

    // Killed outright, the server leaves its socket file behind; the next one takes it over.
    m_Server.Stop(SIGKILL);
    ASSERT_TRUE(m_Folder.Exists("control.sock"));
    EXPECT_EQ(Ctl({"players"}).nExit, 2);
    StartServer();
    EXPECT_EQ(Ctl({"players"}).nExit, 0);
}

TEST_F(ControlE2eTest, NinthClientIsToldAndALongLineIsRefusedWhole)
{
    StartServer();
    std::vector<int> clients;
    for (int i = 0; i < 8; ++i)
    {
        clients.push_back(ConnectUnix(m_strSocket));
        ASSERT_GE(clients.back(), 0);
    }
    // Served in turn: each still answers while all eight are open.
    const std::string strHelp = "players\n";
    ASSERT_EQ(send(clients[7], strHelp.data(), strHelp.size(), 0), static_cast<ssize_t>(strHelp.size()));
    EXPECT_EQ(ReadUntilQuiet(clients[7], 1000), "|Players: 0 of 50\n=0\n");
    const int nNinth = ConnectUnix(m_strSocket);
    ASSERT_GE(nNinth, 0);
    EXPECT_EQ(ReadUntilQuiet(nNinth, 2000), "!Too many control clients: at most 8 at once.\n");
    close(nNinth);

    // Split at 511 characters, this line would have stopped the server.
    const std::string strLong = "say " + std::string(507, 'a') + "exit\nplayers\n";
    ASSERT_EQ(send(clients[0], strLong.data(), strLong.size(), 0), static_cast<ssize_t>(strLong.size()));
    EXPECT_EQ(ReadUntilQuiet(clients[0], 1000),
              "|Console line of 515 characters refused: at most 511 are read.\n=1\n"
              "|Players: 0 of 50\n=0\n");
    for (int nFd : clients)
        close(nFd);
    EXPECT_EQ(Ctl({"players"}).nExit, 0);
}

TEST_F(ControlE2eTest, MetricsMatchTheServerOverTheSocketAndOverHttp)
{
    const int nMetricsPort = FreeTcpPort();
    ASSERT_GT(nMetricsPort, 0);
    StartServer("metricsport " + std::to_string(nMetricsPort) + "\n");
    CTestClient alpha;
    CTestClient beta;
    ASSERT_TRUE(alpha.Connect(kHost, static_cast<uint16_t>(m_nPort)) && alpha.Join("Alpha"));
    ASSERT_TRUE(beta.Connect(kHost, static_cast<uint16_t>(m_nPort)) && beta.Join("Beta"));
    CTestClient stranger;
    ASSERT_TRUE(stranger.Connect(kHost, static_cast<uint16_t>(m_nPort)));
    uint8_t byRefusal = 0;
    testclient::SJoinRequest request;
    request.strName = "Alpha";
    EXPECT_FALSE(stranger.Join(request, nullptr, &byRefusal));
    EXPECT_EQ(byRefusal, 5);

    SCtlResult metrics = Ctl({"metrics"});
    ASSERT_EQ(metrics.nExit, 0);
    std::map<std::string, double> samples = ParseExposition(metrics.strOut);
    EXPECT_EQ(samples["orvn_players"], 2);
    EXPECT_EQ(samples["orvn_players_max"], 50);
    EXPECT_EQ(samples["orvn_entities{pool=\"players\"}"], 2);
    EXPECT_EQ(samples["orvn_entities{pool=\"vehicles\"}"], 2);
    EXPECT_EQ(samples["orvn_entities{pool=\"objects\"}"], 0);
    EXPECT_EQ(samples["orvn_connections_accepted_total"], 3);
    EXPECT_EQ(samples["orvn_joins_refused_total{code=\"5\"}"], 1);
    EXPECT_GT(samples["orvn_ticks_total"], 0);
    EXPECT_EQ(samples["orvn_tick_duration_seconds_bucket{le=\"+Inf\"}"],
              samples["orvn_tick_duration_seconds_count"]);
    EXPECT_GT(samples["orvn_messages_received_total"], 0);
    EXPECT_GT(samples["orvn_bytes_sent_total"], 0);
    EXPECT_GT(samples["process_resident_memory_bytes"], 1e6);

    ASSERT_EQ(Ctl({"kick", std::to_string(beta.Slot())}).nExit, 0);
    // The endpoint serves the snapshot of at most a second ago.
    std::string strBody;
    std::map<std::string, double> served;
    for (int nTry = 0; nTry < 30 && served["orvn_players"] != 1; ++nTry)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(HttpGet(nMetricsPort, "/metrics", strBody), 200);
        served = ParseExposition(strBody);
    }
    EXPECT_EQ(served["orvn_players"], 1);
    EXPECT_EQ(served["orvn_kicks_total{reason=\"console\"}"], 1);
    EXPECT_EQ(served.size(), samples.size());
    EXPECT_EQ(HttpGet(nMetricsPort, "/", strBody), 404);
    EXPECT_EQ(HttpGet(nMetricsPort, "/metrics/x", strBody), 404);

    // Without metricsport nothing listens.
    EXPECT_EQ(m_Server.Stop(), 0);
    StartServer();
    EXPECT_EQ(HttpGet(nMetricsPort, "/metrics", strBody), -1);
}
