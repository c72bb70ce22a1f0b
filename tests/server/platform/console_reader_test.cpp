// The console reader over a real pipe: how input becomes lines, and that it
// never hands over a piece of a line, and which signals its thread blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/CConsoleReader.h"

namespace
{
class ConsoleReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(pipe(m_anPipe), 0);
        ASSERT_TRUE(m_Reader.Start(m_anPipe[0]));
    }
    void TearDown() override
    {
        m_Reader.Stop();
        CloseWriter();
        close(m_anPipe[0]);
    }
    void Send(const std::string& strText)
    {
        ASSERT_EQ(write(m_anPipe[1], strText.data(), strText.size()), static_cast<ssize_t>(strText.size()));
    }
    void CloseWriter()
    {
        if (m_anPipe[1] >= 0)
            close(m_anPipe[1]);
        m_anPipe[1] = -1;
    }
    // Takes lines until nCount arrived or the time passed.
    std::vector<SConsoleLine> Take(size_t nCount, int nTimeoutMs = 2000)
    {
        std::vector<SConsoleLine> lines;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
        SConsoleLine line;
        while (lines.size() < nCount && std::chrono::steady_clock::now() < deadline)
        {
            if (m_Reader.TakeLine(line))
                lines.push_back(line);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return lines;
    }

    int m_anPipe[2] = {-1, -1};
    CConsoleReader m_Reader;
};
} // namespace

TEST_F(ConsoleReaderTest, LinesArriveWholeWhateverTheChunksAndLineEnds)
{
    Send("play");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SConsoleLine line;
    EXPECT_FALSE(m_Reader.TakeLine(line));
    Send("ers\r\n\nsay a b\n" + std::string(511, 'x') + "\n");
    auto lines = Take(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_STREQ(lines[0].szText, "players");
    EXPECT_STREQ(lines[1].szText, "");
    EXPECT_STREQ(lines[2].szText, "say a b");
    EXPECT_EQ(std::string(lines[3].szText), std::string(511, 'x'));
    EXPECT_FALSE(lines[3].bTooLong);
}

TEST_F(ConsoleReaderTest, OverlongLineIsOneRefusalAndTheNextLineIsIntact)
{
    Send(std::string(512, 'k') + "exit" + std::string(9484, 'k') + "\nhelp\n");
    auto lines = Take(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].bTooLong);
    EXPECT_EQ(lines[0].nLength, 10000u);
    EXPECT_STREQ(lines[0].szText, "");
    EXPECT_STREQ(lines[1].szText, "help");
    EXPECT_FALSE(lines[1].bTooLong);
}

TEST_F(ConsoleReaderTest, EndOfInputKeepsTheLastLineAndStopsQuietly)
{
    Send("one\ntwo");
    CloseWriter();
    auto lines = Take(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_STREQ(lines[1].szText, "two");
    EXPECT_TRUE(Take(1, 200).empty());
}

TEST_F(ConsoleReaderTest, StopReturnsWhileTheReaderWaitsForInputOrForRoom)
{
    // More lines than the queue holds: the reader waits for room when stopped.
    std::string strMany;
    for (int i = 0; i < CONSOLE_QUEUE_LENGTH * 2; ++i)
        strMany += "line\n";
    Send(strMany);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    m_Reader.Stop();
    auto lines = Take(CONSOLE_QUEUE_LENGTH + 1, 200);
    EXPECT_EQ(lines.size(), static_cast<size_t>(CONSOLE_QUEUE_LENGTH));
}

namespace
{
std::set<std::string> Threads()
{
    std::set<std::string> tids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        tids.insert(entry.path().filename().string());
    return tids;
}

// The signals a thread blocks, from its status file.
uint64_t BlockedSignals(const std::string& strTid)
{
    std::ifstream status("/proc/self/task/" + strTid + "/status");
    for (std::string strLine; std::getline(status, strLine);)
    {
        if (strLine.rfind("SigBlk:", 0) == 0)
            return std::stoull(strLine.substr(7), nullptr, 16);
    }
    return 0;
}
} // namespace

// Ctrl-C and the log signal are left to other threads; faults on the reader
// still reach the crash report.
TEST(ConsoleReaderSignals, OnlyAsynchronousSignalsAreBlocked)
{
    int anPipe[2];
    ASSERT_EQ(pipe(anPipe), 0);
    const std::set<std::string> before = Threads();
    CConsoleReader reader;
    ASSERT_TRUE(reader.Start(anPipe[0]));
    std::vector<std::string> started;
    for (const std::string& strTid : Threads())
    {
        if (!before.count(strTid))
            started.push_back(strTid);
    }
    ASSERT_EQ(started.size(), 1u);
    // A line taken shows the thread is past its start-up and reading.
    ASSERT_EQ(write(anPipe[1], "x\n", 2), 2);
    SConsoleLine line;
    for (int i = 0; i < 2000 && !reader.TakeLine(line); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_STREQ(line.szText, "x");
    const uint64_t ullBlocked = BlockedSignals(started[0]);
    for (int nSignal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGUSR1, SIGPIPE})
        EXPECT_NE(ullBlocked & (1ull << (nSignal - 1)), 0u) << nSignal;
    for (int nSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        EXPECT_EQ(ullBlocked & (1ull << (nSignal - 1)), 0u) << nSignal;
    reader.Stop();
    close(anPipe[1]);
    close(anPipe[0]);
}
