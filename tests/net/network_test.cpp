#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "BitStream.h"
#include "RakPeerInterface.h"
#include "net/CNetwork.h"
#include "net/CRakNetPeer.h"
#include "net/support/CRecordingPeer.h"

using nettest::CRecordingPeer;
using nettest::SPeerShutdownRecord;

namespace
{
struct SParsed
{
    bool bOk;
    int nId;
    int nOffset;
};

SParsed Parse(const std::vector<uint8_t>& bytes)
{
    SParsed parsed{false, -1, -1};
    parsed.bOk =
        CNetwork::ParseMessageId(bytes.data(), static_cast<int>(bytes.size()), parsed.nId, parsed.nOffset);
    return parsed;
}

// What the test handlers saw, in order.
struct SCall
{
    int nSlot;
    int nId;
    std::vector<uint8_t> payload;
};
std::vector<SCall> g_calls;

void RecordCall(int nSlot, int nId, const uint8_t* pPayload, int nLength)
{
    g_calls.push_back(SCall{nSlot, nId, std::vector<uint8_t>(pPayload, pPayload + nLength)});
}

class NetworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_calls.clear();
        m_pPeer = new CRecordingPeer(&m_shutdown);
        m_pNetwork = new CNetwork(m_pPeer);
        ASSERT_TRUE(m_pNetwork->Startup(50, 100, 8192, "", ""));
    }
    void TearDown() override { delete m_pNetwork; }

    void RegisterAll()
    {
        for (int nId = 145; nId <= 344; ++nId)
            ASSERT_TRUE(m_pNetwork->RegisterHandler(nId, RecordCall));
    }

    SPeerShutdownRecord m_shutdown;
    CRecordingPeer* m_pPeer = nullptr;
    CNetwork* m_pNetwork = nullptr;
};
} // namespace

TEST(ParseMessageIdTest, EmptyAndNullMessagesAreDropped)
{
    int nId = 0;
    int nOffset = 0;
    EXPECT_FALSE(CNetwork::ParseMessageId(nullptr, 0, nId, nOffset));
    const uint8_t abyOne[1] = {152};
    EXPECT_FALSE(CNetwork::ParseMessageId(abyOne, 0, nId, nOffset));
    EXPECT_FALSE(CNetwork::ParseMessageId(abyOne, -1, nId, nOffset));
}

TEST(ParseMessageIdTest, OneByteIdentifiersPayloadFollows)
{
    SParsed parsed = Parse({152, 1, 2});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 152);
    EXPECT_EQ(parsed.nOffset, 1);

    parsed = Parse({133});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 133);
    parsed = Parse({145});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 145);
}

TEST(ParseMessageIdTest, TimeStampNeedsSixBytesAndMovesTheIdentifierToOffsetFive)
{
    EXPECT_FALSE(Parse({27}).bOk);
    EXPECT_FALSE(Parse({27, 0, 0}).bOk);
    EXPECT_FALSE(Parse({27, 1, 2, 3, 4}).bOk);
    SParsed parsed = Parse({27, 1, 2, 3, 4, 152, 9});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 152);
    EXPECT_EQ(parsed.nOffset, 6);
    parsed = Parse({27, 1, 2, 3, 4, 152});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nOffset, 6);
}

TEST(ParseMessageIdTest, TwoByteIdentifiersNeedTheirSecondByte)
{
    EXPECT_FALSE(Parse({134}).bOk);
    EXPECT_FALSE(Parse({144}).bOk);
    EXPECT_FALSE(Parse({27, 0, 0, 0, 0, 135}).bOk);

    SParsed parsed = Parse({134, 0});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 256);
    EXPECT_EQ(parsed.nOffset, 2);
    EXPECT_EQ(Parse({135, 4}).nId, 516);
    EXPECT_EQ(Parse({144, 255}).nId, 11 * 256 + 255);
    parsed = Parse({27, 0, 0, 0, 0, 134, 7, 42});
    EXPECT_TRUE(parsed.bOk);
    EXPECT_EQ(parsed.nId, 263);
    EXPECT_EQ(parsed.nOffset, 7);
    // 145 and above are one-byte identifiers again.
    EXPECT_EQ(Parse({145}).nId, 145);
}

TEST(WriteMessageIdTest, RoundTripsThroughTheParser)
{
    for (int nId : {0, 133, 145, 255, 256, 300, 344, 516, 2815})
    {
        RakNet::BitStream stream;
        CNetwork::WriteMessageId(stream, nId);
        int nParsed = -1;
        int nOffset = -1;
        ASSERT_TRUE(CNetwork::ParseMessageId(stream.GetData(),
                                             static_cast<int>(BITS_TO_BYTES(stream.GetNumberOfBitsUsed())),
                                             nParsed, nOffset))
            << nId;
        EXPECT_EQ(nParsed, nId);
        EXPECT_EQ(nOffset, nId < 256 ? 1 : 2);
    }
}

TEST_F(NetworkTest, RegistrationAcceptsOnly145To344)
{
    EXPECT_FALSE(m_pNetwork->RegisterHandler(144, RecordCall));
    EXPECT_FALSE(m_pNetwork->RegisterHandler(345, RecordCall));
    EXPECT_FALSE(m_pNetwork->RegisterHandler(-1, RecordCall));
    EXPECT_TRUE(m_pNetwork->RegisterHandler(145, RecordCall));
    EXPECT_TRUE(m_pNetwork->RegisterHandler(344, RecordCall));

    // A refused registration stored nothing, and 344 is reachable as a two-byte id.
    m_pNetwork->DispatchRaw(1, std::vector<uint8_t>{134, 88}.data(), 2);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].nId, 344);
    m_pNetwork->DispatchRaw(1, std::vector<uint8_t>{134, 89}.data(), 2);
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(NetworkTest, TransportEventsBecomeTheInternalIdentifiersWithTheEventAsReceived)
{
    RegisterAll();
    m_pPeer->InjectNewConnection(4);
    m_pPeer->InjectDisconnection(5);
    m_pPeer->InjectConnectionLost(6);
    m_pNetwork->ProcessIncoming();
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].nSlot, 4);
    EXPECT_EQ(g_calls[0].nId, 19);
    EXPECT_EQ(g_calls[1].nSlot, 5);
    EXPECT_EQ(g_calls[1].nId, 21);
    EXPECT_EQ(g_calls[2].nSlot, 6);
    EXPECT_EQ(g_calls[2].nId, 22);
    EXPECT_EQ(m_pPeer->OutstandingCount(), 0);
}

TEST_F(NetworkTest, ConnectionEventsReachOnlyTheirInternalHandlers)
{
    ASSERT_TRUE(m_pNetwork->RegisterHandler(146, RecordCall));
    m_pPeer->InjectDisconnection(1);
    m_pPeer->InjectNewConnection(2);
    m_pNetwork->ProcessIncoming();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].nSlot, 2);
}

TEST_F(NetworkTest, InternalIdentifiersFromTheNetworkAreDropped)
{
    RegisterAll();
    m_pPeer->InjectMessage(1, {145});
    m_pPeer->InjectMessage(1, {146, 1, 2});
    m_pPeer->InjectMessage(1, {134, 0});
    m_pPeer->InjectMessage(1, {27, 0, 0, 0, 0, 146});
    // The transport's own events behind a time stamp come from a client.
    m_pPeer->InjectMessage(1, {27, 0, 0, 0, 0, 19});
    m_pPeer->InjectMessage(1, {27, 0, 0, 0, 0, 21});
    m_pPeer->InjectMessage(1, {27, 0, 0, 0, 0, 22});
    m_pPeer->InjectMessage(1, {135, 4}); // 516: beyond the table
    m_pPeer->InjectMessage(1, {100});    // below the table
    m_pPeer->InjectMessage(1, {});
    m_pPeer->InjectMessage(1, {27, 0, 0});
    m_pNetwork->ProcessIncoming();
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(m_pPeer->PendingCount(), 0);
    EXPECT_EQ(m_pPeer->OutstandingCount(), 0);
}

TEST_F(NetworkTest, DispatchPassesThePayloadAfterTheIdentifier)
{
    RegisterAll();
    m_pPeer->InjectMessage(7, {27, 9, 9, 9, 9, 152, 1, 2, 3});
    m_pPeer->InjectMessage(8, {200});
    m_pPeer->InjectMessage(9, {134, 20, 0xAA});
    m_pNetwork->ProcessIncoming();
    ASSERT_EQ(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[0].nSlot, 7);
    EXPECT_EQ(g_calls[0].nId, 152);
    EXPECT_EQ(g_calls[0].payload, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(g_calls[1].nId, 200);
    EXPECT_TRUE(g_calls[1].payload.empty());
    EXPECT_EQ(g_calls[2].nId, 276);
    EXPECT_EQ(g_calls[2].payload, (std::vector<uint8_t>{0xAA}));
}

TEST(NetworkStartupTest, PeerGetsTheLimitIncomingGetsThePlayerCountPasswordKeepsItsZero)
{
    auto* pPeer = new CRecordingPeer();
    CNetwork network(pPeer);
    EXPECT_FALSE(network.IsServer());
    ASSERT_TRUE(network.Startup(20, 100, 7777, "secret", "127.0.0.1"));
    EXPECT_TRUE(network.IsServer());
    EXPECT_EQ(pPeer->m_nStartupConnections, 100);
    EXPECT_EQ(pPeer->m_nStartupPort, 7777);
    EXPECT_EQ(pPeer->m_strStartupBindHost, "127.0.0.1");
    EXPECT_EQ(pPeer->m_nMaxIncoming, 20);
    EXPECT_EQ(network.GetMaxIncoming(), 20);
    EXPECT_TRUE(pPeer->m_bOccasionalPing);
    EXPECT_EQ(pPeer->m_password, (std::vector<uint8_t>{'s', 'e', 'c', 'r', 'e', 't', 0}));

    network.SetPassword("");
    EXPECT_EQ(pPeer->m_password, (std::vector<uint8_t>{0}));
    network.SetMaxIncoming(64);
    EXPECT_EQ(network.GetMaxIncoming(), 64);
}

TEST(NetworkStartupTest, AFailedStartIsReportedAndNotAServer)
{
    auto* pPeer = new CRecordingPeer();
    pPeer->m_bStartupSucceeds = false;
    CNetwork network(pPeer);
    EXPECT_FALSE(network.Startup(50, 100, 8192, "", ""));
    EXPECT_FALSE(network.IsServer());
}

TEST(NetworkStartupTest, DestructionShutsThePeerDownWith100MsNotice)
{
    SPeerShutdownRecord record;
    {
        CNetwork network(new CRecordingPeer(&record));
        ASSERT_TRUE(network.Startup(50, 100, 8192, "", ""));
    }
    EXPECT_EQ(record.nCalls, 1);
    EXPECT_EQ(record.nBlockMs, 100);
    EXPECT_EQ(record.nChannel, 0);
    EXPECT_EQ(record.nPriority, NET_LOW_PRIORITY);
}

TEST_F(NetworkTest, SendsCarryTheirBytesPriorityReliabilityChannelAndRecipients)
{
    RakNet::BitStream stream;
    CNetwork::WriteMessageId(stream, 300);
    stream.Write(static_cast<uint8_t>(7));
    // One bit more: the length rounds up to whole bytes.
    stream.Write(true);

    m_pNetwork->SendToPlayer(3, stream, NET_HIGH_PRIORITY, NET_RELIABLE_ORDERED, 2);
    m_pNetwork->SendToPlayer(-1, stream, NET_LOW_PRIORITY, NET_RELIABLE, 0);
    m_pNetwork->SendToAll(stream, NET_HIGH_PRIORITY, NET_UNRELIABLE, 1);
    m_pNetwork->SendToAllExcept(5, stream, NET_HIGH_PRIORITY, NET_RELIABLE, 0);

    const auto& sent = m_pPeer->Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].bytes, (std::vector<uint8_t>{134, 44, 7, 0x80}));
    EXPECT_EQ(sent[0].Id(), 300);
    EXPECT_EQ(sent[0].nSlot, 3);
    EXPECT_FALSE(sent[0].bBroadcast);
    EXPECT_EQ(sent[0].nPriority, NET_HIGH_PRIORITY);
    EXPECT_EQ(sent[0].nReliability, NET_RELIABLE_ORDERED);
    EXPECT_EQ(sent[0].nChannel, 2);
    EXPECT_TRUE(sent[1].bBroadcast);
    EXPECT_EQ(sent[1].nSlot, -1);
    EXPECT_EQ(sent[1].nPriority, NET_LOW_PRIORITY);
    EXPECT_TRUE(sent[2].bBroadcast);
    EXPECT_EQ(sent[2].nChannel, 1);
    EXPECT_TRUE(sent[3].bBroadcast);
    EXPECT_EQ(sent[3].nSlot, 5);
    EXPECT_FALSE(sent[3].Reaches(5));
    EXPECT_TRUE(sent[3].Reaches(4));
}

TEST_F(NetworkTest, AddressTextIsFirstOctetFirst)
{
    char szAddress[16] = "junk";
    m_pNetwork->GetAddress(2, szAddress, sizeof(szAddress));
    EXPECT_STREQ(szAddress, "");
    m_pPeer->SetAddress(2, 192, 168, 1, 254);
    m_pNetwork->GetAddress(2, szAddress, sizeof(szAddress));
    EXPECT_STREQ(szAddress, "192.168.1.254");
    // A short buffer is cut, never overrun.
    char szShort[6];
    m_pNetwork->GetAddress(2, szShort, sizeof(szShort));
    EXPECT_STREQ(szShort, "192.1");
}

TEST_F(NetworkTest, DisconnectUsesChannelZeroLowPriorityAndNotifiesUnlessSilent)
{
    m_pNetwork->Disconnect(3, false);
    m_pNetwork->Disconnect(4, true);
    m_pNetwork->Disconnect(-1, false);
    const auto& closed = m_pPeer->Closed();
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].nSlot, 3);
    EXPECT_TRUE(closed[0].bNotify);
    EXPECT_EQ(closed[0].nChannel, 0);
    EXPECT_EQ(closed[0].nPriority, NET_LOW_PRIORITY);
    EXPECT_EQ(closed[1].nSlot, 4);
    EXPECT_FALSE(closed[1].bNotify);
}

TEST_F(NetworkTest, BanListPassesThrough)
{
    m_pNetwork->Ban("10.1.2.3");
    EXPECT_TRUE(m_pNetwork->IsBanned("10.1.2.3"));
    EXPECT_FALSE(m_pNetwork->IsBanned("10.1.2.4"));
    m_pNetwork->Unban("10.1.2.3");
    EXPECT_FALSE(m_pNetwork->IsBanned("10.1.2.3"));
    // An empty address is never banned.
    m_pNetwork->Ban("");
    EXPECT_TRUE(m_pPeer->m_banList.empty());
}

TEST(RakNetPeerTest, PortInUseAndOverlongBindHostFailToStart)
{
    CNetwork network(new CRakNetPeer());
    EXPECT_FALSE(network.Startup(4, 4, 0, "", std::string(40, '1').c_str()));

    // The same port twice: the second start reports the failure.
    CNetwork owner(new CRakNetPeer());
    ASSERT_TRUE(owner.Startup(4, 4, 0, "", "127.0.0.1"));
    auto* pOwnerPeer = static_cast<CRakNetPeer*>(owner.GetPeer());
    RakNet::SystemAddress bound = pOwnerPeer->GetRakPeer()->GetMyBoundAddress();
    CRakNetPeer second;
    EXPECT_FALSE(second.Startup(4, bound.GetPort(), "127.0.0.1"));
}
