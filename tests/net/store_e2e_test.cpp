// Store downloads end to end: the server binary with a real ./store on a
// loopback port, protocol clients that receive the files through the file
// list transfer, and the spawn that waits for them.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "MessageIdentifiers.h"

#include "CStoreReceiver.h"
#include "CTestClient.h"
#include "ContentMessages.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CStoreReceiver;
using testclient::CTestClient;
using testclient::SServerInfo;
using testclient::SStoreFile;
using ::testing::UnorderedElementsAre;

namespace
{
constexpr const char* kHost = "127.0.0.1";

// Resident memory of a process in KiB, from /proc; 0 when unreadable.
long ResidentKiB(int nPid)
{
    std::ifstream status("/proc/" + std::to_string(nPid) + "/status");
    for (std::string strLine; std::getline(status, strLine);)
    {
        if (strLine.rfind("VmRSS:", 0) == 0)
            return std::atol(strLine.c_str() + 6);
    }
    return 0;
}

std::string Pattern(size_t nSize, int nSeed)
{
    std::string str(nSize, '\0');
    uint32_t uiState = static_cast<uint32_t>(nSeed) * 2654435761u + 1;
    for (char& c : str)
    {
        uiState = uiState * 1103515245u + 12345u;
        c = static_cast<char>(uiState >> 24);
    }
    return str;
}

class StoreE2ETest : public ::testing::Test
{
protected:
    void StartServer()
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        Write("store/a.txt", "same");
        Write("store/copy.txt", "same");
        Write("store/sub/dir/b.bin", Pattern(2600000, 1));
        Write("store/big.bin", Pattern(24 * 1048576, 2));
        m_folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\n");
        ASSERT_TRUE(m_server.Start(m_folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_server.WaitForOutput("** Started OR:VN 0.4 Server **", 15000)) << m_server.Output();
    }

    void TearDown() override
    {
        if (m_server.Pid() > 0)
            EXPECT_EQ(m_server.Stop(), 0) << m_server.Output();
    }

    void Write(const std::string& strName, const std::string& strContents)
    {
        std::filesystem::create_directories(std::filesystem::path(m_folder.File(strName)).parent_path());
        m_folder.Write(strName, strContents);
    }

    bool Enter(CTestClient& client, const char* szName, SServerInfo& info)
    {
        return client.Connect(kHost, static_cast<uint16_t>(m_nPort), "", 3000) && client.Join(szName, &info);
    }

    static const SStoreFile* Offered(const SServerInfo& info, const std::string& strName)
    {
        for (const SStoreFile& file : info.files)
        {
            if (file.strName == strName)
                return &file;
        }
        return nullptr;
    }

    static void Request(CTestClient& client, uint16_t usSetId, const std::vector<SStoreFile>& files)
    {
        RakNet::BitStream stream;
        testclient::EncodeStoreFileRequest(stream, usSetId, files);
        client.SendStream(stream);
    }

    // 181 when the spawn is permitted; 177 comes either way.
    static bool SpawnPermitted(CTestClient& client)
    {
        client.Clear();
        client.SendRequestSpawn();
        const bool bReplied = client.WaitFor(177, 3000).has_value();
        return bReplied && client.CountOf(181) > 0;
    }

    CTempDir m_folder;
    CServerProcess m_server;
    int m_nPort = 0;
};

TEST_F(StoreE2ETest, AJoinerDownloadsWhatItAsksForAndSpawnsAfterwards)
{
    StartServer();
    CTestClient client;
    SServerInfo info;
    ASSERT_TRUE(Enter(client, "Alice", info));
    std::vector<std::string> names;
    for (const SStoreFile& file : info.files)
        names.push_back(file.strName == "copy.txt" ? "a.txt" : file.strName);
    EXPECT_THAT(names, UnorderedElementsAre("a.txt", "sub/dir/b.bin", "big.bin"));
    EXPECT_FALSE(SpawnPermitted(client));

    CStoreReceiver receiver(client);
    const uint16_t usSetId = receiver.Prepare();
    const SStoreFile* pSmall = Offered(info, "a.txt") ? Offered(info, "a.txt") : Offered(info, "copy.txt");
    ASSERT_NE(pSmall, nullptr);
    ASSERT_NE(Offered(info, "sub/dir/b.bin"), nullptr);
    Request(client, usSetId, {*pSmall, *Offered(info, "sub/dir/b.bin")});
    ASSERT_TRUE(receiver.WaitForSet(client, 20000));

    const auto& files = receiver.Files();
    ASSERT_EQ(files.size(), 2u);
    const std::string strSmallName = "./store/" + pSmall->strName;
    ASSERT_EQ(files.count(strSmallName), 1u);
    EXPECT_EQ(std::string(files.at(strSmallName).contents.begin(), files.at(strSmallName).contents.end()),
              "same");
    ASSERT_EQ(files.count("./store/sub/dir/b.bin"), 1u);
    const std::vector<uint8_t>& big = files.at("./store/sub/dir/b.bin").contents;
    EXPECT_TRUE(std::string(big.begin(), big.end()) == Pattern(2600000, 1));
    EXPECT_TRUE(SpawnPermitted(client));
}

TEST_F(StoreE2ETest, AnEmptyRequestReleasesAtOnceAndALeaverLeavesNothingRunning)
{
    StartServer();
    CTestClient first;
    SServerInfo info;
    ASSERT_TRUE(Enter(first, "Alice", info));
    Request(first, 7, {});
    EXPECT_TRUE(SpawnPermitted(first));

    // A client that leaves in the middle of the big file.
    {
        CTestClient leaver;
        SServerInfo leaverInfo;
        ASSERT_TRUE(Enter(leaver, "Bob", leaverInfo));
        CStoreReceiver receiver(leaver, CStoreReceiver::COUNT);
        Request(leaver, receiver.Prepare(), {*Offered(leaverInfo, "big.bin")});
        ASSERT_TRUE(receiver.WaitForBytes(leaver, 2 * 1048576, 20000));
        EXPECT_FALSE(receiver.SetComplete());
        leaver.DropSilently();
    }
    // Another one in the meantime still gets its whole set.
    CTestClient next;
    SServerInfo nextInfo;
    ASSERT_TRUE(Enter(next, "Carol", nextInfo));
    CStoreReceiver receiver(next, CStoreReceiver::COUNT);
    Request(next, receiver.Prepare(), {*Offered(nextInfo, "sub/dir/b.bin")});
    ASSERT_TRUE(receiver.WaitForSet(next, 20000));
    EXPECT_EQ(receiver.TotalBytes(), 2600000u);
    EXPECT_TRUE(SpawnPermitted(next));
    // The server stops cleanly (status 0 under the leak checker) in TearDown.
}

// RakNet pushed one more piece for every acknowledgement and let a set end
// once its last piece was queued, so 15 rounds of a request and 70 early
// acknowledgements held hundreds of MiB. Now the client still gets its file
// whole, the repeated requests start nothing while it is in flight, and the
// server holds a few pieces at most; another player keeps playing.
TEST_F(StoreE2ETest, AcknowledgementsOutOfTurnGetTheFileAndHoldLittle)
{
    // Freed pieces are reused at once, so resident memory shows what is held.
    const char* szOptions = std::getenv("ASAN_OPTIONS");
    const std::string strSaved = szOptions ? szOptions : "";
    setenv("ASAN_OPTIONS", (strSaved + (strSaved.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(), 1);
    StartServer();
    if (strSaved.empty())
        unsetenv("ASAN_OPTIONS");
    else
        setenv("ASAN_OPTIONS", strSaved.c_str(), 1);
    CTestClient bob;
    CTestClient hoarder;
    SServerInfo bobInfo;
    SServerInfo info;
    ASSERT_TRUE(Enter(bob, "Bob", bobInfo));
    ASSERT_TRUE(Enter(hoarder, "Hoarder", info));
    const SStoreFile* pBig = Offered(info, "big.bin");
    ASSERT_NE(pBig, nullptr);
    const long lBeforeKiB = ResidentKiB(m_server.Pid());
    long lMostKiB = lBeforeKiB;

    CStoreReceiver receiver(hoarder, CStoreReceiver::COUNT);
    const uint16_t usSetId = receiver.Prepare();
    for (int nRound = 0; nRound < 15 && !receiver.SetComplete(); ++nRound)
    {
        Request(hoarder, usSetId, {*pBig});
        for (int i = 0; i < 70; ++i)
        {
            RakNet::BitStream ack;
            ack.Write(static_cast<RakNet::MessageID>(ID_FILE_LIST_REFERENCE_PUSH_ACK));
            ack.Write(usSetId);
            hoarder.SendStream(ack, RELIABLE);
        }
        receiver.WaitForBytes(hoarder, UINT64_MAX, 250);
        lMostKiB = std::max(lMostKiB, ResidentKiB(m_server.Pid()));
    }
    ASSERT_TRUE(receiver.WaitForSet(hoarder, 30000));
    EXPECT_EQ(receiver.TotalBytes(), 24u * 1048576);
    EXPECT_EQ(receiver.Files().size(), 1u);
    EXPECT_EQ(std::memcmp(receiver.Files().begin()->second.abyDigest, pBig->abyDigest, 20), 0);
    EXPECT_LT(lMostKiB - lBeforeKiB, 48 * 1024)
        << "before " << lBeforeKiB << " KiB, most " << lMostKiB << " KiB";

    bob.Clear();
    ASSERT_TRUE(hoarder.SendChat("done"));
    EXPECT_TRUE(bob.WaitFor(204, 3000).has_value());
    EXPECT_TRUE(hoarder.IsConnected());
}

} // namespace
