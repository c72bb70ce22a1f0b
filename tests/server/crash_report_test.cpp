// The crash report of the real binary: a plugin that dereferences null on a
// player's command kills the server with SIGSEGV, and crash_log.txt (and
// standard error) name the signal, the faulting address, a backtrace and the
// plugin's file with its load address.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "CTestClient.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

// A fault on a null pointer, and a stack overflow (reported from the
// alternate stack): both end with SIGSEGV and a full report.
TEST(CrashReport, PluginFaultIsReportedWithThePluginAndEndsWithSigsegv)
{
    for (const char* szCommand : {"crash", "overflow"})
    {
        SCOPED_TRACE(szCommand);
        CTempDir dir;
        const int nPort = FindFreeUdpPort();
        std::filesystem::create_directories(dir.File("plugins"));
        std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/crash_command.so",
                                        dir.File("plugins/crash_command.so"));
        dir.Write("server.cfg",
                  "port " + std::to_string(nPort) + "\nbindhost 127.0.0.1\nplugins crash_command\n");
        CServerProcess server;
        ASSERT_TRUE(server.Start(dir.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << server.Output();

        testclient::CTestClient client;
        ASSERT_TRUE(client.Connect("127.0.0.1", static_cast<uint16_t>(nPort)));
        ASSERT_TRUE(client.Join("Crasher"));
        ASSERT_TRUE(client.SendCommand("harmless"));
        client.Pump(200);
        ASSERT_FALSE(std::filesystem::exists(dir.File("crash_log.txt")));
        ASSERT_TRUE(client.SendCommand(szCommand));
        EXPECT_EQ(server.WaitExit(20000), 128 + SIGSEGV) << server.Output();

        const std::string strLog = dir.Read("crash_log.txt");
        for (const char* szPart : {"*** Crash report ***\nTime: 20", " UTC\nSignal: 11 (SIGSEGV), address 0x",
                                   "Backtrace:\n", "Plugins:\n  plugins/crash_command.so loaded at 0x"})
            EXPECT_NE(strLog.find(szPart), std::string::npos) << szPart << "\n" << strLog;
        // The plugin's frames carry its library's name.
        EXPECT_NE(strLog.find("crash_command.so("), std::string::npos) << strLog;
        EXPECT_NE(server.Output().find("Plugins:\n  plugins/crash_command.so loaded at 0x"),
                  std::string::npos)
            << server.Output();
    }
}
