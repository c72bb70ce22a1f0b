// The crash report of the real binary: a plugin that dereferences null on a
// player's command kills the server with SIGSEGV, and crash_log.txt (and
// standard error) name the signal, the faulting address, a backtrace and the
// plugin's file with its load address. In a forked child, a second thread
// that faults while the first one's report is written cannot cut it short.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "CTestClient.h"
#include "platform/CrashReport.h"
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

namespace
{
// Reads a FIFO from its first writer until that writer closes it; empty when
// no writer comes within the time.
std::string ReadFifo(const std::string& strPath, int nTimeoutMs)
{
    const int nFd = open(strPath.c_str(), O_RDONLY | O_NONBLOCK);
    std::string strData;
    for (pollfd poll_fd = {nFd, POLLIN, 0}; nFd >= 0 && poll(&poll_fd, 1, nTimeoutMs) > 0;)
    {
        char achChunk[4096];
        const ssize_t nRead = read(nFd, achChunk, sizeof(achChunk));
        if (nRead <= 0)
            break;
        strData.append(achChunk, static_cast<size_t>(nRead));
    }
    if (nFd >= 0)
        close(nFd);
    return strData;
}

// The child: the report's log is a FIFO that nobody reads yet, so the first
// faulting thread is held inside its report while a second thread faults.
[[noreturn]] void RunTwoFaultingThreads(const std::string& strFifo, int nReadyFd)
{
    const int nNull = open("/dev/null", O_WRONLY);
    dup2(nNull, STDERR_FILENO);
    static std::string s_strLog = strFifo;
    if (!PlatformInstallCrashReport(s_strLog.c_str()))
        _exit(2);
    std::atomic<bool> bFirstFaulting{false};
    std::thread first(
        [&bFirstFaulting]
        {
            bFirstFaulting = true;
            raise(SIGSEGV);
        });
    std::thread second(
        [&bFirstFaulting, nReadyFd]
        {
            while (!bFirstFaulting)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const char cReady = 1;
            (void)!write(nReadyFd, &cReady, 1);
            raise(SIGBUS);
        });
    first.join();
    second.join();
    _exit(3);
}
} // namespace

// A second thread that faults while the report is written waits for it: the
// report comes out whole, once, and the process ends with the first signal.
TEST(CrashReport, ASecondFaultingThreadWaitsForTheReport)
{
    CTempDir dir;
    const std::string strFifo = dir.File("crash_log.txt");
    ASSERT_EQ(mkfifo(strFifo.c_str(), 0600), 0);
    int anReady[2];
    ASSERT_EQ(pipe(anReady), 0);
    const pid_t nChild = fork();
    ASSERT_GE(nChild, 0);
    if (nChild == 0)
        RunTwoFaultingThreads(strFifo, anReady[1]);
    close(anReady[1]);
    char cReady = 0;
    ASSERT_EQ(read(anReady[0], &cReady, 1), 1);
    close(anReady[0]);
    // Time for the second fault to be handled before the report may go on.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string strReport = ReadFifo(strFifo, 5000);

    // The waiting thread gives up after 30 s at the latest, so the child always ends.
    int nStatus = 0;
    ASSERT_EQ(waitpid(nChild, &nStatus, 0), nChild);
    EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGSEGV) << nStatus;
    EXPECT_NE(strReport.find("Signal: 11 (SIGSEGV), sent by process"), std::string::npos) << strReport;
    EXPECT_NE(strReport.find("Plugins:\n  none\n"), std::string::npos) << strReport;
    EXPECT_EQ(strReport.find("*** Crash report ***"), strReport.rfind("*** Crash report ***")) << strReport;
}
