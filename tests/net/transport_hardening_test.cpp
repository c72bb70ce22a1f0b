// The real server binary against hand-made transport datagrams: split
// messages that used to end the process, ACK/NAK floods, forged
// open-connection requests and handshakes, messages held out of order,
// fragments from unverified senders and random junk. Each story ends with the
// server still answering queries and its joined players still connected and
// relayed.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "BotOptions.h"
#include "BotReport.h"
#include "CBotSwarm.h"
#include "CQueryClient.h"
#include "CRawSender.h"
#include "CTestClient.h"
#include "FloodPatterns.h"
#include "FloodWire.h"
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

// Calls send(i) for i = 0, 1, ... about nPerSecond times a second on a thread of
// its own until stopped, for at most nMaxSeconds; the count of datagrams sent
// is in Sent().
class CPacedSender
{
public:
    CPacedSender(int nPerSecond, int nMaxSeconds, std::function<void(uint32_t)> send)
        : m_thread(
              [this, nPerSecond, nMaxSeconds, send]
              {
                  const auto start = std::chrono::steady_clock::now();
                  const auto end = start + std::chrono::seconds(nMaxSeconds);
                  for (uint32_t i = 0; !m_bStop && i < static_cast<uint32_t>(nPerSecond * nMaxSeconds); ++i)
                  {
                      std::this_thread::sleep_until(start +
                                                    std::chrono::microseconds(1000000LL * i / nPerSecond));
                      if (std::chrono::steady_clock::now() >= end)
                          break;
                      send(i);
                      m_uiSent = i + 1;
                  }
              })
    {
    }
    ~CPacedSender() { Stop(); }
    void Stop()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    uint32_t Sent() const { return m_uiSent; }

private:
    std::atomic<bool> m_bStop{false};
    std::atomic<uint32_t> m_uiSent{0};
    std::thread m_thread;
};

class TransportHardeningTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        m_folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nmaxplayers 20\n");
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

    // While forge(sender, i) runs 1,000 times a second, each time from a
    // source port never used before, a client that comes 2 s in (when the
    // flood has filled whatever it can) joins within 5 s, and the players are
    // still served.
    void ExpectJoinDuringFlood(std::function<void(CRawSender&, uint32_t)> forge)
    {
        CRawSender forger;
        ASSERT_TRUE(forger.Open(Port()));
        CPacedSender flood(1000, 20, [&forger, &forge](uint32_t i) { forge(forger, i); });
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const auto start = std::chrono::steady_clock::now();
        CTestClient late;
        const bool bJoined = late.Connect(kHost, Port(), "", 5000) && late.Join("Latecomer", nullptr, 5000);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        flood.Stop();
        EXPECT_TRUE(bJoined) << "connect result " << late.LastConnectResult();
        EXPECT_LT(elapsed, std::chrono::seconds(5));
        EXPECT_GT(flood.Sent(), 1500u);
        ExpectServerServing();
        EXPECT_TRUE(late.IsConnected());
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
        ASSERT_TRUE(
            hoarder.Send(flood::DataDatagram(i, {Fragment(4096, static_cast<uint16_t>(i), 1, 1000)})));

    m_alpha.Pump(300);
    ExpectServerServing();
}

TEST_F(TransportHardeningTest, AckAndNakFloodFromAConnectionLeavesRelaysFlowing)
{
    CTestClient flooder;
    ASSERT_TRUE(flooder.Connect(kHost, Port(), "", 5000));
    // Every datagram names all sixteen million datagram numbers; before the
    // ranges were clamped, a hundred a second cut relay delivery to a tenth.
    CPacedSender flood(500, 30,
                       [&flooder](uint32_t i) { flooder.SendDatagram(flood::AckNakFloodDatagram(i)); });

    orvnbot::SBotOptions options;
    options.nPort = m_nPort;
    options.nBots = 4;
    options.dHz = 20.0;
    options.dSeconds = 4.0;
    options.dWarmup = 2.0;
    options.dDrain = 0.5;
    options.dSetupTimeout = 15.0;
    orvnbot::SBotReport report;
    orvnbot::CBotSwarm swarm(options);
    ASSERT_TRUE(swarm.Run(report)) << orvnbot::FormatReportJson(report);
    flood.Stop();
    EXPECT_GT(flood.Sent(), 1000u);
    EXPECT_EQ(report.nLost, 0) << report.strFirstFailure;
    EXPECT_GE(orvnbot::Delivery(report), 0.995) << orvnbot::FormatReportJson(report);
    ExpectServerServing();
}

// Pairs from ever-new source ports: an open-connection request and then an
// empty datagram, or a whole forged handshake (connection request and the
// message that completes it). Each pair used to take a slot for seconds;
// now only a connection request takes one, and a newcomer pushes out the
// oldest connection that has not joined, never a player.
TEST_F(TransportHardeningTest, RealClientJoinsWhileForgedHandshakesFloodIn)
{
    ExpectJoinDuringFlood(
        [this](CRawSender& forger, uint32_t i)
        {
            const uint64_t ullGuid = 0x6000000000ull + i;
            forger.SendFromNewPort(flood::OpenConnectionRequest2(Port(), 1400, ullGuid),
                                   i % 2 ? flood::ForgedConnectDatagram(Port(), ullGuid, true)
                                         : std::vector<uint8_t>{0x84, 0, 0, 0});
        });
}

// A joined player whose messages never reach their turn: each an unreliable
// sequenced 1,200 bytes on channel 31 at ordering index 1000. They used to be
// held until the connection ended; now the connection is dropped at the
// bound and the others see the player leave.
TEST_F(TransportHardeningTest, ClientHoldingMessagesOutOfOrderIsDropped)
{
    CTestClient hoarder;
    ASSERT_TRUE(hoarder.Connect(kHost, Port()));
    ASSERT_TRUE(hoarder.Join("Hoarder"));
    m_alpha.Clear();
    for (int i = 0; i < 600; ++i)
    {
        hoarder.SendDatagram(flood::OrderingFloodDatagram());
        if (i % 50 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto left = m_alpha.WaitFor(153, 5000);
    ASSERT_TRUE(left.has_value());
    testclient::SLeaveNotice notice;
    ASSERT_TRUE(testclient::DecodeLeaveNotice(*left, notice));
    EXPECT_EQ(notice.uiPlayerId & 0xFF, hoarder.Slot());
    EXPECT_EQ(notice.byReason, 0); // lost, as a timed-out player
    ExpectServerServing();
}

// A sender that forged a handshake up to its connection request and then
// sends one-byte fragments: before the request is taken it may hold none,
// after it 64 KiB, so it is dropped within a few datagrams and the server
// stops acknowledging it.
TEST_F(TransportHardeningTest, UnverifiedSenderOfFragmentsIsDropped)
{
    std::vector<CRawSender> senders(4);
    for (size_t n = 0; n < senders.size(); ++n)
    {
        CRawSender& sender = senders[n];
        Handshake(sender, 0x7100 + n);
        ASSERT_TRUE(sender.Send(flood::ForgedConnectDatagram(Port(), 0x7100 + n, false)));
        for (uint32_t i = 0; i < 400; ++i)
        {
            sender.Send(flood::SplitFloodDatagram(i));
            if (i % 50 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    m_alpha.Pump(300);
    for (CRawSender& sender : senders)
    {
        uint8_t abyBuffer[1600];
        int64_t llHighest = -1;
        for (int nRead; (nRead = sender.Receive(abyBuffer, sizeof(abyBuffer), 100)) > 0;)
            llHighest =
                std::max(llHighest, flood::HighestAcknowledged(abyBuffer, static_cast<size_t>(nRead)));
        EXPECT_LT(llHighest, 100) << "acknowledged up to datagram " << llHighest;
    }
    ExpectServerServing();
}

// The transport's limit of one connection per address per 100 ms refuses
// the second client at once again (loopback's own address is exempt, so the
// clients come from 127.0.0.2 and up). A refusal needs the second request
// inside 100 ms of the first connection; a slow machine may miss that once.
TEST_F(TransportHardeningTest, SecondClientOfOneAddressIsRefusedAtOnce)
{
    bool bRefused = false;
    for (int nAttempt = 0; nAttempt < 5 && !bRefused; ++nAttempt)
    {
        const std::string strSource = "127.0.0." + std::to_string(2 + nAttempt);
        CTestClient first;
        CTestClient second;
        first.SetBindHost(strSource.c_str());
        second.SetBindHost(strSource.c_str());
        ASSERT_TRUE(first.Connect(kHost, Port()));
        const auto start = std::chrono::steady_clock::now();
        const bool bConnected = second.Connect(kHost, Port(), "", 3000);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        bRefused = !bConnected && second.LastConnectResult() == testclient::CONNECT_RECENTLY_CONNECTED;
        if (bRefused)
            EXPECT_LT(elapsed, std::chrono::seconds(1));
    }
    EXPECT_TRUE(bRefused);
    ExpectServerServing();
}

TEST_F(TransportHardeningTest, ClientJoinsWhileForgedOpenConnectionRequestsFloodIn)
{
    ExpectJoinDuringFlood(
        [this](CRawSender& forger, uint32_t i)
        { forger.SendFromNewPort(flood::OpenConnectionRequest2(Port(), 1400, 0x5000000000ull + i)); });
}

// Junk of every kind from one address, the players' own among it. An
// unverified sender's nonsense used to ban that whole address, and with it
// every joined player's traffic.
TEST_F(TransportHardeningTest, RandomAndMutatedDatagramsLeaveTheServerServing)
{
    // First a sender whose first message after the handshake is no connection request.
    CRawSender nonsense;
    Handshake(nonsense, 0x4444);
    SRawMessage chat;
    chat.data = {0x42, 'h', 'i'};
    ASSERT_TRUE(nonsense.Send(flood::DataDatagram(0, {chat})));

    // Then a few source ports, each sending every kind of datagram, well formed or not.
    std::mt19937 random(20261208);
    std::vector<CRawSender> senders(4);
    for (CRawSender& sender : senders)
        ASSERT_TRUE(sender.Open(Port()));
    // About 2,500 a second for 3 s.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    int nSent = 0;
    for (int i = 0; i < 8000 && std::chrono::steady_clock::now() < end; ++i)
    {
        if (senders[random() % senders.size()].Send(flood::JunkDatagram(random, Port())))
            ++nSent;
        if (i % 5 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GT(nSent, 1000);
    m_alpha.Pump(200);
    ExpectServerServing();
}
