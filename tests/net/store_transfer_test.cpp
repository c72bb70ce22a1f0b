// The transport's store transfer on its own: a real RakNet peer of the
// server sending store files to a protocol client over loopback. It reads
// only below the root, reports each finished set once, and drops the set of
// a connection that ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "BitStream.h"
#include "CStoreReceiver.h"
#include "CTestClient.h"
#include "MessageIdentifiers.h"
#include "RakNetStatistics.h"
#include "RakPeerInterface.h"
#include "net/CRakNetPeer.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CStoreReceiver;
using testclient::CTestClient;

namespace
{

class StoreTransferTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        // The client's empty password is its terminating zero.
        m_Peer.SetIncomingPassword("", 1);
        m_Peer.SetMaximumIncomingConnections(4);
        ASSERT_TRUE(m_Peer.Startup(4, m_nPort, "127.0.0.1"));
        m_strRoot = m_Folder.File("store");
        std::filesystem::create_directories(m_strRoot);
        m_Folder.Write("store/small.txt", "small");
        m_Folder.Write("store/big.bin", std::string(12 * 1048576, 'b'));
        m_Folder.Write("outside.txt", "secret");
        ASSERT_TRUE(m_Client.Connect("127.0.0.1", static_cast<uint16_t>(m_nPort), "", 3000));
        ASSERT_TRUE(PumpUntil([this] { return m_nSlot >= 0; }));
    }

    // Runs both ends until the condition holds or 20 s pass.
    template <typename Fn> bool PumpUntil(Fn&& condition)
    {
        const auto start = std::chrono::steady_clock::now();
        while (!condition())
        {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(20))
                return false;
            SNetPacket packet;
            while (m_Peer.Receive(packet))
            {
                if (packet.nLength > 0 && packet.pData[0] == 19)
                    m_nSlot = packet.nSlot;
                if (packet.nLength > 0 && (packet.pData[0] == 21 || packet.pData[0] == 22))
                    m_bEnded = true;
                m_Peer.DeallocatePacket(packet);
            }
            int nFinished = -1;
            while (m_Peer.TakeFinishedFileList(nFinished))
                m_anFinished.push_back(nFinished);
            m_Client.Poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // The client acknowledges a piece of set usSetId, whether one came or not.
    void Acknowledge(uint16_t usSetId)
    {
        RakNet::BitStream stream;
        stream.Write(static_cast<RakNet::MessageID>(ID_FILE_LIST_REFERENCE_PUSH_ACK));
        stream.Write(usSetId);
        m_Client.SendStream(stream, RELIABLE);
    }

    // Bytes the server's peer has queued for the client, sent or not.
    double QueuedForClient()
    {
        RakNet::RakPeerInterface* pPeer = m_Peer.GetRakPeer();
        RakNet::RakNetStatistics statistics;
        if (!pPeer->GetStatistics(pPeer->GetSystemAddressFromIndex(static_cast<unsigned int>(m_nSlot)),
                                  &statistics))
            return 0;
        double dQueued = statistics.bytesInResendBuffer;
        for (double dBytes : statistics.bytesInSendBuffer)
            dQueued += dBytes;
        return dQueued;
    }

    bool Send(uint16_t usSetId, const std::vector<SNetFileEntry>& files)
    {
        return m_Peer.SendFileList(m_nSlot, usSetId, m_strRoot.c_str(), files.data(),
                                   static_cast<int>(files.size()), 1, 1, 1048576);
    }

    CTempDir m_Folder;
    std::string m_strRoot;
    CRakNetPeer m_Peer;
    CTestClient m_Client;
    int m_nPort = 0;
    int m_nSlot = -1;
    bool m_bEnded = false;
    std::vector<int> m_anFinished;
};

TEST_F(StoreTransferTest, ASetArrivesWholeAndFinishesOnce)
{
    CStoreReceiver receiver(m_Client);
    const std::string strSmall = m_strRoot + "/small.txt";
    // Listed longer than it is now: the rest arrives as zeros, and the set ends.
    const std::string strOutside = m_strRoot + "/../outside.txt";
    const uint16_t usSetId = receiver.Prepare();
    ASSERT_TRUE(Send(usSetId, {{strSmall.c_str(), 8}, {strOutside.c_str(), 6}}));
    EXPECT_FALSE(Send(usSetId, {{strSmall.c_str(), 5}}));
    ASSERT_TRUE(PumpUntil([&] { return receiver.SetComplete() && !m_anFinished.empty(); }));
    const auto& files = receiver.Files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(std::string(files.at(strSmall).contents.begin(), files.at(strSmall).contents.end()),
              std::string("small\0\0\0", 8));
    EXPECT_EQ(std::string(files.at(strOutside).contents.begin(), files.at(strOutside).contents.end()),
              std::string(6, '\0'));
    EXPECT_EQ(m_anFinished, std::vector<int>{m_nSlot});
    EXPECT_TRUE(PumpUntil([this] { return m_Peer.CountFileLists() == 0; }));

    // The slot may start the next set; an empty one finishes at once.
    CStoreReceiver second(m_Client);
    ASSERT_TRUE(Send(second.Prepare(), {}));
    ASSERT_TRUE(PumpUntil([this] { return m_anFinished.size() == 2; }));
}

TEST_F(StoreTransferTest, AConnectionThatEndsLeavesNoSetRunning)
{
    CStoreReceiver receiver(m_Client, CStoreReceiver::COUNT);
    const std::string strBig = m_strRoot + "/big.bin";
    ASSERT_TRUE(Send(receiver.Prepare(), {{strBig.c_str(), 12 * 1048576}}));
    ASSERT_TRUE(PumpUntil([&] { return receiver.TotalBytes() >= 1048576; }));
    EXPECT_EQ(m_Peer.CountFileLists(), 1);
    m_Client.Disconnect();
    ASSERT_TRUE(PumpUntil([this] { return m_bEnded && m_Peer.CountFileLists() == 0; }));
    EXPECT_TRUE(m_anFinished.empty());
}

// Acknowledgements of pieces that never came, for this set and others, make
// RakNet queue nothing more: the set still arrives whole, the server holds
// about two pieces for it at a time however early the client acknowledges,
// and the set finishes once (with the client's word for its last piece);
// a next set waits while a piece is still queued.
TEST_F(StoreTransferTest, AcknowledgementsOutOfTurnNeitherHurryTheSetNorHoldMore)
{
    CStoreReceiver receiver(m_Client, CStoreReceiver::COUNT);
    const std::string strBig = m_strRoot + "/big.bin";
    const uint16_t usSetId = receiver.Prepare();
    ASSERT_TRUE(Send(usSetId, {{strBig.c_str(), 12 * 1048576}}));
    double dMostQueued = 0;
    bool bStartedWhileQueued = false;
    ASSERT_TRUE(PumpUntil(
        [&]
        {
            for (int i = 0; i < 10; ++i)
            {
                Acknowledge(usSetId);
                Acknowledge(static_cast<uint16_t>(usSetId + 1));
            }
            const double dQueued = QueuedForClient();
            dMostQueued = std::max(dMostQueued, dQueued);
            // Finished early on the client's word, the set's last piece may
            // still be queued. The queues only shrink meanwhile, so a set that
            // starts with a whole piece still queued after it started too early.
            if (m_anFinished.size() == 1 && dQueued >= 1048576 &&
                Send(static_cast<uint16_t>(usSetId + 1), {}))
                bStartedWhileQueued = bStartedWhileQueued || QueuedForClient() >= 1048576 + 4096;
            return receiver.SetComplete() && !m_anFinished.empty();
        }));
    EXPECT_EQ(receiver.TotalBytes(), 12u * 1048576);
    EXPECT_LE(dMostQueued, 3.5 * 1048576);
    EXPECT_FALSE(bStartedWhileQueued);
    EXPECT_EQ(m_anFinished.front(), m_nSlot);
}

// A client that never acknowledges holds its set open with one piece pushed;
// its acknowledgement of that last piece finishes the set.
TEST_F(StoreTransferTest, ASetFinishesWithTheAcknowledgementOfItsLastPiece)
{
    const std::string strSmall = m_strRoot + "/small.txt";
    ASSERT_TRUE(Send(41, {{strSmall.c_str(), 5}}));
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    ASSERT_TRUE(PumpUntil([&] { return std::chrono::steady_clock::now() > until; }));
    EXPECT_TRUE(m_anFinished.empty());
    EXPECT_FALSE(Send(42, {{strSmall.c_str(), 5}}));
    Acknowledge(41);
    ASSERT_TRUE(PumpUntil([this] { return !m_anFinished.empty(); }));
    EXPECT_EQ(m_anFinished, std::vector<int>{m_nSlot});
    EXPECT_TRUE(Send(42, {}));
}

} // namespace
