// The ban file: appends, the rewrite on unban with its backup, reading
// entries back, and that no failure on the way loses the list.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "CBanList.h"
#include "net/CNetwork.h"
#include "net/support/CRecordingPeer.h"
#include "support/TempDir.h"

namespace
{
// Which open the fake opener refuses (or sends to a full device), by path and mode.
std::string g_strFailPath;
std::string g_strFailMode;
bool g_bFullDevice = false;

FILE* FailingOpen(const char* szPath, const char* szMode)
{
    if (g_strFailPath == szPath && g_strFailMode == szMode)
        return g_bFullDevice ? fopen("/dev/full", "w") : nullptr;
    return fopen(szPath, szMode);
}

class BanListTest : public ::testing::Test
{
protected:
    BanListTest()
        : m_Network(new nettest::CRecordingPeer()), m_strFile(m_Dir.File(BAN_FILE_NAME)),
          m_strBackup(m_Dir.File(BAN_BACKUP_FILE_NAME)),
          m_List(&m_Network, m_strFile.c_str(), m_strBackup.c_str(), FailingOpen)
    {
        g_strFailPath.clear();
        g_strFailMode.clear();
        g_bFullDevice = false;
    }

    void FailOpen(const std::string& strPath, const char* szMode, bool bFullDevice = false)
    {
        g_strFailPath = strPath;
        g_strFailMode = szMode;
        g_bFullDevice = bFullDevice;
    }

    std::string BanFile() const { return m_Dir.Read(BAN_FILE_NAME); }
    std::string Backup() const { return m_Dir.Read(BAN_BACKUP_FILE_NAME); }

    CTempDir m_Dir;
    CNetwork m_Network;
    std::string m_strFile;
    std::string m_strBackup;
    CBanList m_List;
};
} // namespace

TEST_F(BanListTest, AddingTwiceWritesTwiceAndOneUnbanDropsEveryCopy)
{
    EXPECT_TRUE(m_List.Add("1.2.3.4"));
    EXPECT_TRUE(m_List.Add("5.6.7.8"));
    EXPECT_TRUE(m_List.Add("1.2.3.4"));
    EXPECT_EQ(BanFile(), "1.2.3.4\n5.6.7.8\n1.2.3.4\n");
    EXPECT_TRUE(m_List.IsBanned("1.2.3.4"));

    EXPECT_TRUE(m_List.Remove("1.2.3.4"));
    EXPECT_EQ(BanFile(), "5.6.7.8\n");
    EXPECT_EQ(Backup(), "1.2.3.4\n5.6.7.8\n1.2.3.4\n");
    EXPECT_FALSE(m_List.IsBanned("1.2.3.4"));
    EXPECT_TRUE(m_List.IsBanned("5.6.7.8"));
}

TEST_F(BanListTest, BackupAlwaysHoldsTheListBeforeTheLatestUnban)
{
    m_Dir.Write(BAN_FILE_NAME, "1.1.1.1\n2.2.2.2\n3.3.3.3\n");
    EXPECT_TRUE(m_List.Remove("1.1.1.1"));
    EXPECT_TRUE(m_List.Remove("3.3.3.3"));
    EXPECT_EQ(Backup(), "2.2.2.2\n3.3.3.3\n");
    EXPECT_EQ(BanFile(), "2.2.2.2\n");
    // An address that is not listed still rewrites the file and moves the backup on.
    EXPECT_TRUE(m_List.Remove("9.9.9.9"));
    EXPECT_EQ(Backup(), "2.2.2.2\n");
    EXPECT_EQ(BanFile(), "2.2.2.2\n");
}

TEST_F(BanListTest, UnbanMatchesWholeEntriesByteForByte)
{
    m_Dir.Write(BAN_FILE_NAME, "1.2.3.4\n1.2.3.40\n01.2.3.4\n1.2.3.*\n");
    EXPECT_TRUE(m_List.Remove("1.2.3.4"));
    EXPECT_EQ(BanFile(), "1.2.3.40\n01.2.3.4\n1.2.3.*\n");
}

TEST_F(BanListTest, LoadReadsEveryWhiteSpaceSeparatedEntry)
{
    m_Dir.Write(BAN_FILE_NAME, "1.1.1.1 2.2.2.2\n\n\t3.3.3.3\r\n   ");
    EXPECT_EQ(m_List.Load(), 3);
    EXPECT_TRUE(m_List.IsBanned("1.1.1.1"));
    EXPECT_TRUE(m_List.IsBanned("2.2.2.2"));
    EXPECT_TRUE(m_List.IsBanned("3.3.3.3"));
    EXPECT_FALSE(m_List.IsBanned("4.4.4.4"));
}

TEST_F(BanListTest, LongRunsAreReadAsPiecesOfNineteenCharacters)
{
    m_Dir.Write(BAN_FILE_NAME, "1234567890123456789ABCDEF 12345678901234567890123456789012345678\n");
    EXPECT_EQ(m_List.Load(), 4);
    EXPECT_TRUE(m_List.IsBanned("ABCDEF"));
    // The rewrite writes the pieces back one per line.
    EXPECT_TRUE(m_List.Remove("ABCDEF"));
    EXPECT_EQ(BanFile(), "1234567890123456789\n1234567890123456789\n0123456789012345678\n");
}

TEST_F(BanListTest, MissingFileMeansNoBans)
{
    EXPECT_EQ(m_List.Load(), 0);
    EXPECT_FALSE(m_Dir.Exists(BAN_FILE_NAME));
}

TEST_F(BanListTest, UnbanWithoutBanFilePrintsTheRenameFailureAndKeepsTheBackup)
{
    m_Network.Ban("1.2.3.4");
    m_Dir.Write(BAN_BACKUP_FILE_NAME, "7.7.7.7\n");
    CCaptureStdout capture;
    EXPECT_FALSE(m_List.Remove("1.2.3.4"));
    EXPECT_EQ(capture.Finish(), "Failed to unban address 1.2.3.4 due to failure to rename banlist.\n\n");
    EXPECT_FALSE(m_List.IsBanned("1.2.3.4"));
    EXPECT_EQ(Backup(), "7.7.7.7\n");
    EXPECT_FALSE(m_Dir.Exists(BAN_FILE_NAME));
}

TEST_F(BanListTest, UnreadableBackupPutsTheListBack)
{
    m_Dir.Write(BAN_FILE_NAME, "1.2.3.4\n5.6.7.8\n");
    m_List.Load();
    FailOpen(m_strBackup, "r");
    CCaptureStdout capture;
    EXPECT_FALSE(m_List.Remove("1.2.3.4"));
    capture.Finish();
    EXPECT_EQ(BanFile(), "1.2.3.4\n5.6.7.8\n");
    EXPECT_FALSE(m_List.IsBanned("1.2.3.4"));
    EXPECT_TRUE(m_List.IsBanned("5.6.7.8"));
}

TEST_F(BanListTest, NewFileThatCannotBeCreatedLeavesTheOldListInPlace)
{
    m_Dir.Write(BAN_FILE_NAME, "1.2.3.4\n5.6.7.8\n");
    FailOpen(m_strFile, "w");
    CCaptureStdout capture;
    EXPECT_FALSE(m_List.Remove("5.6.7.8"));
    EXPECT_EQ(capture.Finish(), "Failed to unban address 5.6.7.8 due to failure to rewrite banlist.\n\n");
    EXPECT_EQ(BanFile(), "1.2.3.4\n5.6.7.8\n");
}

TEST_F(BanListTest, FailedWritesNeverLeaveAHalfWrittenList)
{
    FILE* pFull = fopen("/dev/full", "w");
    if (!pFull)
        GTEST_SKIP() << "no full device";
    fclose(pFull);
    std::string strList;
    for (int i = 0; i < 2000; ++i)
        strList += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\n";
    m_Dir.Write(BAN_FILE_NAME, strList);
    FailOpen(m_strFile, "w", true);
    CCaptureStdout capture;
    EXPECT_FALSE(m_List.Remove("10.0.0.0"));
    capture.Finish();
    EXPECT_EQ(BanFile(), strList);
}

TEST_F(BanListTest, BanHoldsWhenTheFileCannotBeAppended)
{
    FailOpen(m_strFile, "a");
    EXPECT_FALSE(m_List.Add("1.2.3.4"));
    EXPECT_TRUE(m_List.IsBanned("1.2.3.4"));
    EXPECT_FALSE(m_Dir.Exists(BAN_FILE_NAME));
}

TEST_F(BanListTest, AddressesThatWouldNotReadBackAreRefused)
{
    m_Dir.Write(BAN_FILE_NAME, "1.1.1.1\n");
    EXPECT_FALSE(m_List.Add(nullptr));
    EXPECT_FALSE(m_List.Add(""));
    EXPECT_FALSE(m_List.Add("2.2.2.2 3.3.3.3"));
    EXPECT_FALSE(m_List.Add("4.4.4.4\n"));
    EXPECT_FALSE(m_List.Add("12345678901234567890"));
    EXPECT_EQ(BanFile(), "1.1.1.1\n");
    EXPECT_FALSE(m_List.IsBanned("2.2.2.2"));
    EXPECT_FALSE(m_List.IsBanned(nullptr));
    EXPECT_FALSE(m_List.Remove(nullptr));
    EXPECT_EQ(BanFile(), "1.1.1.1\n");
}
