// The store: the scan of a real folder (digests, shared contents, paths
// below sub-folders), and the request and completion handlers over the
// recording transport, which holds a transfer until the test finishes it.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "BitStream.h"
#include "ContentMessages.h"
#include "DR_SHA1.h"
#include "net/CNetFileList.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

using nettest::CServerHarness;
using testclient::SStoreFile;
using ::testing::ElementsAre;

namespace
{

std::string Digest(const std::string& strContents)
{
    CSHA1 sha1;
    sha1.Reset();
    if (!strContents.empty())
        sha1.Update(reinterpret_cast<const unsigned char*>(strContents.data()),
                    static_cast<unsigned int>(strContents.size()));
    sha1.Final();
    uint8_t abyDigest[20];
    sha1.GetHash(abyDigest);
    return std::string(reinterpret_cast<const char*>(abyDigest), sizeof(abyDigest));
}

void WriteFile(const CTempDir& folder, const std::string& strName, const std::string& strContents)
{
    std::filesystem::create_directories(std::filesystem::path(folder.File(strName)).parent_path());
    folder.Write(strName, strContents);
}

// Larger than one scan piece, so its digest is built from several.
const std::string& BigContents()
{
    static const std::string strBig = []
    {
        std::string str(3 * 1048576 + 17, '\0');
        for (size_t i = 0; i < str.size(); ++i)
            str[i] = static_cast<char>(i * 7 + i / 4096);
        return str;
    }();
    return strBig;
}

void FillStore(const CTempDir& folder)
{
    WriteFile(folder, "store/a.txt", "same");
    WriteFile(folder, "store/sub/deeper/same-again.txt", "same");
    WriteFile(folder, "store/sub/Big.bin", BigContents());
    WriteFile(folder, "store/empty.dat", "");
}

TEST(NetFileList, SharedContentsShareOneSlotAndPathsJoinWithSlashes)
{
    CTempDir folder;
    FillStore(folder);
    CServerFileList list((folder.File("store") + "//").c_str());
    EXPECT_EQ(std::string(list.GetBasePath()), folder.File("store"));
    ASSERT_EQ(list.SlotCount(), 3);

    std::vector<SNetFileOffer> offers = list.ForEachFile();
    ASSERT_EQ(offers.size(), 3u);
    std::vector<std::string> digests;
    for (const SNetFileOffer& offer : offers)
        digests.emplace_back(reinterpret_cast<const char*>(offer.pDigest), 20);
    EXPECT_TRUE(std::is_sorted(digests.begin(), digests.end()));

    char szPath[260];
    uint32_t uiSize = 0;
    const uint8_t* pContents = reinterpret_cast<const uint8_t*>(1);
    const std::string strBig = Digest(BigContents());
    ASSERT_TRUE(list.FindByDigest(reinterpret_cast<const uint8_t*>(strBig.data()), szPath, sizeof(szPath),
                                  &pContents, &uiSize));
    EXPECT_EQ(std::string(szPath), folder.File("store") + "/sub/Big.bin");
    EXPECT_EQ(uiSize, BigContents().size());
    EXPECT_EQ(pContents, nullptr);
    // Files of a folder come before those of its sub-folders.
    ASSERT_TRUE(list.FindByDigest(reinterpret_cast<const uint8_t*>(Digest("same").data()), szPath,
                                  sizeof(szPath), nullptr, &uiSize));
    EXPECT_EQ(std::string(szPath), folder.File("store") + "/a.txt");
    EXPECT_TRUE(
        list.FindByDigest(reinterpret_cast<const uint8_t*>(Digest("").data()), nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(list.FindByDigest(reinterpret_cast<const uint8_t*>(Digest("nothing").data()), szPath,
                                   sizeof(szPath), nullptr, &uiSize));

    EXPECT_NE(list.FindByName("SUB/deeper/Same-Again.TXT"), nullptr);
    EXPECT_EQ(list.FindByName("sub/missing"), nullptr);
    std::vector<std::string> paths;
    list.ForEachPath([&paths](const char* szName) { paths.emplace_back(szName); });
    EXPECT_EQ(paths.size(), 4u);
}

TEST(NetFileList, AMissingFolderIsAnEmptyList)
{
    CTempDir folder;
    CServerFileList list(folder.File("store").c_str());
    EXPECT_EQ(list.SlotCount(), 0);
    EXPECT_TRUE(list.ForEachFile().empty());
}

std::vector<std::string> ScannedPaths(const CNetFileList& list)
{
    std::vector<std::string> paths;
    list.ForEachPath([&paths](const char* szName) { paths.emplace_back(szName); });
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Links, loops of links, a FIFO and the path limit: the scan ends, offers
// regular files only, each once, and names every thing it skipped in one line.
TEST(NetFileList, OnlyRegularFilesOnceEachAndEverySkipNamed)
{
    namespace fs = std::filesystem;
    CTempDir folder;
    const std::string strStore = folder.File("store");
    WriteFile(folder, "store/a.txt", "a");
    WriteFile(folder, "outside/shared/o.txt", "o");
    fs::create_symlink(".", strStore + "/loop1");
    fs::create_symlink(".", strStore + "/loop2");
    fs::create_symlink("a.txt", strStore + "/a-link.txt");
    fs::create_symlink("missing", strStore + "/dangling");
    fs::create_symlink("../outside/shared", strStore + "/shared");
    fs::create_symlink("../outside/shared", strStore + "/shared-again");
    ASSERT_EQ(mkfifo((strStore + "/pipe").c_str(), 0600), 0);
    // The transfer names "<base>/<name>" in 260 bytes: 259 fit, 260 do not.
    const std::string strDeep = "store/" + std::string(200, 'd') + "/";
    const size_t nRoom = 259 - folder.File(strDeep).size();
    WriteFile(folder, strDeep + std::string(nRoom, 'f'), "fits");
    WriteFile(folder, strDeep + std::string(nRoom + 1, 'g'), "too long");

    CCaptureStdout capture;
    CServerFileList list(strStore.c_str());
    const std::string strOut = capture.Finish();
    const std::string strDeepName = strDeep.substr(6) + std::string(nRoom, 'f');
    // Which of the two links to one folder is walked depends on the listing order.
    const bool bAgainSkipped = strOut.find("/shared-again': that folder") != std::string::npos;
    const std::string strFirst = bAgainSkipped ? "shared" : "shared-again";
    const std::string strSecond = bAgainSkipped ? "shared-again" : "shared";
    EXPECT_EQ(ScannedPaths(list),
              (std::vector<std::string>{"a-link.txt", "a.txt", strDeepName, strFirst + "/o.txt"}));
    for (const std::string& strLine :
         {"[STORE] Skipped '" + strStore + "/loop1': that folder is scanned already.",
          "[STORE] Skipped '" + strStore + "/loop2': that folder is scanned already.",
          "[STORE] Skipped '" + strStore + "/pipe': not a regular file.",
          "[STORE] Skipped '" + strStore + "/dangling': not a regular file.",
          "[STORE] Skipped '" + strStore + "/" + strSecond + "': that folder is scanned already.",
          "[STORE] Left out '" + folder.File(strDeep) + std::string(nRoom + 1, 'g') +
              "': its path is longer than 259 bytes."})
        EXPECT_NE(strOut.find(strLine + "\n"), std::string::npos) << strLine << "\n" << strOut;
    EXPECT_EQ(std::count(strOut.begin(), strOut.end(), '\n'), 6) << strOut;

    char szPath[260];
    const uint8_t* pContents = nullptr;
    uint32_t uiSize = 0;
    ASSERT_TRUE(list.FindByDigest(reinterpret_cast<const uint8_t*>(Digest("fits").data()), szPath,
                                  sizeof(szPath), &pContents, &uiSize));
    EXPECT_EQ(strlen(szPath), 259u);
}

class StoreRequestTest : public ::testing::Test
{
protected:
    StoreRequestTest() : m_Harness("", nullptr, FillStore) {}

    void SetUp() override
    {
        ASSERT_TRUE(m_Harness.Started());
        ASSERT_TRUE(m_Harness.Join(0, "Alice"));
        auto infos = m_Harness.Peer().SentTo(0, 174);
        ASSERT_EQ(infos.size(), 1u);
        testclient::SReceived received;
        received.payload = infos[0].Payload();
        testclient::SServerInfo info;
        ASSERT_TRUE(testclient::DecodeServerInfo(received, info));
        m_Files = info.files;
    }

    CPlayer* Alice() { return m_Harness.Server().m_pPlayerPool->Get(0); }

    void Request(uint16_t usSetId, const std::vector<SStoreFile>& files, int nCutBytes = 0)
    {
        RakNet::BitStream stream;
        testclient::EncodeStoreFileRequest(stream, usSetId, files);
        std::vector<uint8_t> bytes(stream.GetData(), stream.GetData() + stream.GetNumberOfBytesUsed());
        bytes.resize(bytes.size() - static_cast<size_t>(nCutBytes));
        m_Harness.Deliver(0, bytes);
    }

    const SStoreFile* File(const std::string& strName) const
    {
        for (const SStoreFile& file : m_Files)
        {
            if (file.strName == strName)
                return &file;
        }
        return nullptr;
    }

    // Spawn request: 181 (permitted) and 177, or 177 alone.
    bool SpawnPermitted()
    {
        m_Harness.Peer().ClearSent();
        m_Harness.Deliver(0, {166});
        return !m_Harness.Peer().SentTo(0, 181).empty();
    }

    CServerHarness m_Harness;
    std::vector<SStoreFile> m_Files;
};

TEST_F(StoreRequestTest, TheInformationListsEachContentOnceUnderItsFirstName)
{
    std::vector<std::string> names;
    for (const SStoreFile& file : m_Files)
        names.push_back(file.strName);
    EXPECT_THAT(names, ::testing::UnorderedElementsAre("a.txt", "sub/Big.bin", "empty.dat"));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(File("a.txt")->abyDigest), 20), Digest("same"));
    EXPECT_TRUE(Alice()->m_bStoreDownloadPending);
}

TEST_F(StoreRequestTest, TheTransferHoldsTheSpawnUntilItIsPushed)
{
    EXPECT_FALSE(SpawnPermitted());
    SStoreFile unknown;
    unknown.abyDigest[0] = 1;
    Request(0x1234, {*File("sub/Big.bin"), unknown, *File("a.txt"), *File("a.txt")});
    nettest::CRecordingPeer& peer = m_Harness.Peer();
    ASSERT_EQ(peer.FileLists().size(), 1u);
    const nettest::SFileListSend& send = peer.FileLists()[0];
    EXPECT_EQ(send.nSlot, 0);
    EXPECT_EQ(send.usSetId, 0x1234);
    EXPECT_EQ(send.strRoot, "./store");
    EXPECT_THAT(send.paths, ElementsAre("./store/sub/Big.bin", "./store/a.txt"));
    EXPECT_THAT(send.sizes, ElementsAre(BigContents().size(), 4u));
    EXPECT_EQ(send.nChannel, 1);
    EXPECT_EQ(send.nPriority, 1);
    EXPECT_EQ(send.nPieceSize, 1048576);

    // A second request while the transfer runs changes nothing.
    Request(0x1235, {*File("empty.dat")});
    EXPECT_EQ(peer.FileLists().size(), 1u);
    EXPECT_FALSE(SpawnPermitted());

    peer.FinishFileList(0);
    m_Harness.Tick();
    EXPECT_FALSE(Alice()->m_bStoreDownloadPending);
    EXPECT_TRUE(SpawnPermitted());
}

TEST_F(StoreRequestTest, AnEmptyRequestReleasesAtOnceAndUnknownDigestsAnEmptyTransfer)
{
    Request(1, {});
    EXPECT_FALSE(Alice()->m_bStoreDownloadPending);
    EXPECT_TRUE(m_Harness.Peer().FileLists().empty());

    Alice()->m_bStoreDownloadPending = true;
    SStoreFile unknown;
    Request(2, {unknown});
    ASSERT_EQ(m_Harness.Peer().FileLists().size(), 1u);
    EXPECT_TRUE(m_Harness.Peer().FileLists()[0].paths.empty());
    m_Harness.Tick();
    EXPECT_FALSE(Alice()->m_bStoreDownloadPending);
}

TEST_F(StoreRequestTest, ACountBeyondThePayloadUsesTheDigestsPresent)
{
    // Three declared, one whole digest and a part of the next.
    std::vector<SStoreFile> files = {*File("a.txt"), *File("empty.dat"), *File("sub/Big.bin")};
    Request(3, files, 30);
    ASSERT_EQ(m_Harness.Peer().FileLists().size(), 1u);
    EXPECT_THAT(m_Harness.Peer().FileLists()[0].paths, ElementsAre("./store/a.txt"));
    // A request without its set id is dropped.
    m_Harness.Peer().FinishFileList(0);
    m_Harness.Deliver(0, {185, 1, 0});
    EXPECT_EQ(m_Harness.Peer().FileLists().size(), 1u);
}

TEST_F(StoreRequestTest, RequestsBeforeJoiningOrAfterLeavingStartNothing)
{
    m_Harness.Connect(4);
    m_Harness.Deliver(4, {185, 0, 0, 1});
    EXPECT_EQ(m_Harness.Server().GetConnectionState(4), CONNECTION_NONE);

    Request(5, {*File("a.txt")});
    m_Harness.Peer().InjectDisconnection(0);
    m_Harness.Tick();
    ASSERT_EQ(m_Harness.Server().m_pPlayerPool->Get(0), nullptr);
    // A completion that arrives for a slot without a player is harmless.
    m_Harness.Peer().FinishFileList(0);
    m_Harness.Tick();
    m_Harness.Deliver(0, {185, 0, 0, 1});
    EXPECT_EQ(m_Harness.Peer().FileLists().size(), 1u);
}

TEST(StoreEmpty, WithoutAStoreNobodyIsHeldBack)
{
    CServerHarness harness;
    ASSERT_TRUE(harness.Join(0, "Alice"));
    EXPECT_FALSE(harness.Server().m_pPlayerPool->Get(0)->m_bStoreDownloadPending);
}

} // namespace
