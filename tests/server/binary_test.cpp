// The real binary: start-up lines, Ctrl-C, exit status and what reaches the log.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/ServerProcess.h"
#include "support/TempDir.h"

namespace
{
std::string ConfigOnPort(int nPort)
{
    return "port " + std::to_string(nPort) + "\nbindhost 127.0.0.1\n";
}

const char* const g_aszConsoleOnly[] = {"** Started OR:VN 0.4 Server **",
                                        " Port: ", " Max players: ", "** Shutting down server **"};
} // namespace

TEST(Binary, StartsPrintsAndStopsOnCtrlC)
{
    CTempDir dir;
    int nPort = FindFreeUdpPort();
    dir.Write("server.cfg", ConfigOnPort(nPort) + "maxplayers 12\n");
    CServerProcess server;
    ASSERT_TRUE(server.Start(dir.Path()));
    ASSERT_TRUE(server.WaitForOutput("Max players: 12", 10000)) << server.Output();
    EXPECT_EQ(server.Stop(SIGINT), 0);
    std::string strOut = server.Output();
    EXPECT_NE(strOut.find("\n Palmora Multiplayer Server\n -------------------------------\n v0.4"),
              std::string::npos)
        << strOut;
    EXPECT_NE(strOut.find("** Started OR:VN 0.4 Server **\n Port: " + std::to_string(nPort) +
                          "\n Max players: 12\n\n"),
              std::string::npos)
        << strOut;
    EXPECT_NE(strOut.find("** Shutting down server **\n"), std::string::npos) << strOut;

    std::string strLog = dir.Read("server_log.txt");
    EXPECT_NE(strLog.find(" Palmora Multiplayer Server"), std::string::npos) << strLog;
    for (const char* szLine : g_aszConsoleOnly)
        EXPECT_EQ(strLog.find(szLine), std::string::npos) << szLine;
}

TEST(Binary, TwoRunsAppendToTheLogAndTermStopsToo)
{
    CTempDir dir;
    dir.Write("server.cfg", ConfigOnPort(FindFreeUdpPort()));
    for (int nSignal : {SIGINT, SIGTERM})
    {
        CServerProcess server;
        ASSERT_TRUE(server.Start(dir.Path()));
        ASSERT_TRUE(server.WaitForOutput("Max players:", 10000)) << server.Output();
        EXPECT_EQ(server.Stop(nSignal), 0);
    }
    std::string strLog = dir.Read("server_log.txt");
    size_t nFirst = strLog.find("Palmora Multiplayer Server");
    ASSERT_NE(nFirst, std::string::npos);
    EXPECT_NE(strLog.find("Palmora Multiplayer Server", nFirst + 1), std::string::npos) << strLog;
}

TEST(Binary, UnwritableLogLeavesAConsoleOnlyServer)
{
    CTempDir dir;
    dir.Write("server.cfg", ConfigOnPort(FindFreeUdpPort()));
    // A folder where the log file should be cannot be opened for appending.
    ASSERT_EQ(std::system(("mkdir " + dir.File("server_log.txt")).c_str()), 0);
    CServerProcess server;
    ASSERT_TRUE(server.Start(dir.Path()));
    ASSERT_TRUE(server.WaitForOutput("Max players:", 10000)) << server.Output();
    EXPECT_EQ(server.Stop(SIGINT), 0);
    EXPECT_NE(server.Output().find("Failed to open server_log.txt in append mode."), std::string::npos);
}

TEST(Binary, PortInUseExitsWithStatusOne)
{
    CTempDir dir;
    int nPort = FindFreeUdpPort();
    dir.Write("server.cfg", ConfigOnPort(nPort));
    CServerProcess first;
    ASSERT_TRUE(first.Start(dir.Path()));
    ASSERT_TRUE(first.WaitForOutput("Max players:", 10000));
    CTempDir second_dir;
    second_dir.Write("server.cfg", ConfigOnPort(nPort));
    CServerProcess second;
    ASSERT_TRUE(second.Start(second_dir.Path()));
    EXPECT_EQ(second.WaitExit(10000), 1);
    EXPECT_NE(second.Output().find("Unable to start server on host: 127.0.0.1 port: " +
                                   std::to_string(nPort) + ". Port in use?"),
              std::string::npos)
        << second.Output();
    EXPECT_EQ(second.Output().find("** Started"), std::string::npos);
    EXPECT_EQ(first.Stop(SIGINT), 0);
}

// A port the socket cannot take is refused rather than wrapped or left to
// chance; a number too large for int is out of range, not wrapped.
TEST(Binary, PortsOutsideTheRangeAreRefusedAndHugeNumbersDoNotWrap)
{
    struct SCase
    {
        std::vector<std::string> args;
        std::string strConfig;
        std::string strLine;
    };
    const SCase aCases[] = {
        {{"-port", "70000"}, "", "port: 70000. Port in use?"},
        {{"-port", "0"}, "", "port: 0. Port in use?"},
        {{}, "port -1\n", "port: -1. Port in use?"},
        {{}, "port 4294967346\n", "port: 2147483647. Port in use?"},
        // This one starts.
        {{"-maxplayers", "4294967346"},
         ConfigOnPort(FindFreeUdpPort()) + "maxplayers 80\n",
         "Max players: 80\n"},
    };
    for (const SCase& entry : aCases)
    {
        CTempDir dir;
        dir.Write("server.cfg", "bindhost 127.0.0.1\n" + entry.strConfig);
        CServerProcess server;
        ASSERT_TRUE(server.Start(dir.Path(), entry.args));
        if (entry.strLine.rfind("Max players", 0) == 0)
        {
            EXPECT_TRUE(server.WaitForOutput(entry.strLine, 10000)) << server.Output();
            EXPECT_EQ(server.Stop(SIGINT), 0);
            continue;
        }
        EXPECT_EQ(server.WaitExit(10000), 1) << entry.strLine;
        EXPECT_NE(server.Output().find("Unable to start server on host: 127.0.0.1 " + entry.strLine),
                  std::string::npos)
            << server.Output();
    }
}
