// The console print: truncation, the newline rule, and the log copy.
#include <gtest/gtest.h>

#include <string>

#include "Console.h"
#include "support/TempDir.h"

TEST(Console, LongLinesAreCutAt511Characters)
{
    CTempDir dir;
    ASSERT_TRUE(ConsoleOpenLog(dir.File("server_log.txt").c_str()));
    CCaptureStdout capture;
    ConsolePrint("%s", std::string(600, 'a').c_str());
    std::string strOut = capture.Finish();
    ConsoleCloseLog();
    EXPECT_EQ(strOut, std::string(511, 'a') + "\n");
    EXPECT_EQ(dir.Read("server_log.txt"), std::string(511, 'a') + "\n");
}

TEST(Console, WriteGoesToStandardOutputOnlyAndLogAppends)
{
    CTempDir dir;
    dir.Write("server_log.txt", "earlier run\n");
    ASSERT_TRUE(ConsoleOpenLog(dir.File("server_log.txt").c_str()));
    CCaptureStdout capture;
    ConsoleWrite("console only %d\n", 7);
    ConsolePrint("both %s\n", "outputs");
    std::string strOut = capture.Finish();
    ConsoleCloseLog();
    EXPECT_EQ(strOut, "console only 7\nboth outputs\n\n");
    EXPECT_EQ(dir.Read("server_log.txt"), "earlier run\nboth outputs\n\n");
}

TEST(Console, WithoutALogPrintsToTheConsoleAlone)
{
    CTempDir dir;
    EXPECT_FALSE(ConsoleOpenLog(dir.File("missing/folder/server_log.txt").c_str()));
    EXPECT_FALSE(ConsoleHasLog());
    CCaptureStdout capture;
    ConsolePrint("still printed");
    EXPECT_EQ(capture.Finish(), "still printed\n");
}
