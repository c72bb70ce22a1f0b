// The real server binary against hand-made transport datagrams: split
// messages that used to end the process, ACK/NAK floods, forged
// open-connection requests and random junk. Each story ends with the server
// still answering queries and its joined players still connected and relayed.

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "BitStream.h"
#include "CQueryClient.h"
#include "CRawSender.h"
#include "CTestClient.h"
#include "FloodWire.h"
#include "RakPeerInterface.h"
#include "RakNetSocket2.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using flood::CRawSender;
using flood::SRange;
using flood::SRawMessage;
using testclient::CTestClient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

SRawMessage Fragment(uint32_t uiCount, uint16_t usId, uint32_t uiIndex, size_t nBytes)
{
    SRawMessage message;
    message.bSplit = true;
    message.uiSplitCount = uiCount;
    message.usSplitId = usId;
    message.uiSplitIndex = uiIndex;
    message.data.assign(nBytes, 0xAB);
    return message;
}

class TransportHardeningTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_folder.Write("server.cfg", "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nmaxplayers 20\n");
        ASSERT_TRUE(m_server.Start(m_folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_server.Output();
        ASSERT_TRUE(m_alpha.Connect(kHost, Port()));
        ASSERT_TRUE(m_alpha.Join("Alpha"));
        ASSERT_TRUE(m_beta.Connect(kHost, Port()));
        ASSERT_TRUE(m_beta.Join("Beta"));
    }

    void TearDown() override
    {
        if (m_server.Pid() > 0)
            EXPECT_EQ(m_server.Stop(), 0) << m_server.Output();
    }

    uint16_t Port() const { return static_cast<uint16_t>(m_nPort); }

    // A new source address that has sent the open-connection request 2.
    void Handshake(CRawSender& sender, uint64_t ullGuid)
    {
        ASSERT_TRUE(sender.Open(Port()));
        ASSERT_TRUE(sender.Send(flood::OpenConnectionRequest2(Port(), 1400, ullGuid)));
    }

    // The server process lives, answers a query, and relays chat between the two
    // joined players, who are both still connected.
    void ExpectServerServing()
    {
        ASSERT_EQ(m_server.WaitExit(0), -1) << m_server.Output();
        testclient::CQueryClient query;
        ASSERT_TRUE(query.Open(kHost, Port()));
        std::vector<uint8_t> reply;
        EXPECT_TRUE(query.Exchange(query.Request('i'), reply, 2000));
        m_alpha.Clear();
        m_beta.Clear();
        ASSERT_TRUE(m_alpha.SendChat("still here"));
        EXPECT_TRUE(m_beta.WaitFor(204, 3000).has_value());
        EXPECT_TRUE(m_alpha.IsConnected());
        EXPECT_TRUE(m_beta.IsConnected());
    }

    CTempDir m_folder;
    CServerProcess m_server;
    int m_nPort = 0;
    CTestClient m_alpha;
    CTestClient m_beta;
};
} // namespace

TEST_F(TransportHardeningTest, HugeSplitCountAndMismatchedFragmentsAreDropped)
{
    // Two datagrams: a handshake, then one fragment claiming 0xFFFFFFFF fragments.
    CRawSender huge;
    Handshake(huge, 0x1111);
    ASSERT_TRUE(huge.Send(flood::DataDatagram(0, {Fragment(0xFFFFFFFFu, 1, 0, 8)})));

    // Two fragments of one split id that disagree on the count; the second's
    // index lies outside the array the first one made.
    CRawSender mismatch;
    Handshake(mismatch, 0x2222);
    ASSERT_TRUE(mismatch.Send(flood::DataDatagram(0, {Fragment(2, 7, 0, 100)})));
    ASSERT_TRUE(mismatch.Send(flood::DataDatagram(1, {Fragment(100, 7, 50, 100)})));

    // Many channels of a count just under the bound: the connection is dropped
    // for the reassembly state it holds.
    CRawSender hoarder;
    Handshake(hoarder, 0x3333);
    for (uint32_t i = 0; i < 40; ++i)
        ASSERT_TRUE(hoarder.Send(flood::DataDatagram(i, {Fragment(4096, static_cast<uint16_t>(i), 1, 1000)})));

    m_alpha.Pump(300);
    ExpectServerServing();
}
