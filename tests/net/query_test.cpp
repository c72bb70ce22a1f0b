#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/CQueryHandler.h"
#include "net/support/CServerHarness.h"

using nettest::CServerHarness;

namespace
{
// Keeps every reply with where it was sent.
class CCapturingSocket : public IQueryReplySocket
{
public:
    void SendTo(uint32_t uiAddress, uint16_t usPort, const uint8_t* pData, int nLength) override
    {
        m_uiAddress = uiAddress;
        m_usPort = usPort;
        m_replies.emplace_back(pData, pData + nLength);
    }
    uint32_t m_uiAddress = 0;
    uint16_t m_usPort = 0;
    std::vector<std::vector<uint8_t>> m_replies;
};

std::vector<uint8_t> Request(char cOpcode, size_t nLength = 11)
{
    std::vector<uint8_t> request = {
        'O', 'R', 'V', 'N', 127, 0, 0, 1, 0x39, 0x30, static_cast<uint8_t>(cOpcode)};
    for (uint8_t by = 0xA0; request.size() < nLength; ++by)
        request.push_back(by);
    request.resize(nLength);
    return request;
}

std::vector<uint8_t> Header(char cOpcode)
{
    return {'R', 'V', '0', '4', 127, 0, 0, 1, 0x39, 0x30, static_cast<uint8_t>(cOpcode)};
}

void Append(std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> more)
{
    bytes.insert(bytes.end(), more);
}

void AppendText(std::vector<uint8_t>& bytes, const std::string& strText)
{
    Append(bytes, {static_cast<uint8_t>(strText.size()), 0, 0, 0});
    bytes.insert(bytes.end(), strText.begin(), strText.end());
}

class QueryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_harness.Started()); }

    // Publishes the server's state and asks one question; false when unanswered.
    bool Ask(std::vector<uint8_t> request, std::vector<uint8_t>* pReply = nullptr)
    {
        m_handler.Refresh(m_harness.Server());
        CCapturingSocket socket;
        bool bAnswered = m_handler.HandleQueryDatagram(&socket, 0x0100007F, 12345, request.data(),
                                                       static_cast<int>(request.size()));
        EXPECT_EQ(socket.m_replies.size(), bAnswered ? 1u : 0u);
        if (bAnswered && !socket.m_replies.empty())
        {
            EXPECT_EQ(socket.m_uiAddress, 0x0100007Fu);
            EXPECT_EQ(socket.m_usPort, 12345);
            if (pReply)
                *pReply = socket.m_replies[0];
        }
        return bAnswered;
    }

    CServerHarness m_harness;
    CQueryHandler m_handler;
};
} // namespace

TEST_F(QueryTest, InformationReplyWithDefaultSettingsByteForByte)
{
    std::vector<uint8_t> reply;
    ASSERT_TRUE(Ask(Request('i'), &reply));
    std::vector<uint8_t> expected = Header('i');
    const char szVersion[12] = "04rel000";
    expected.insert(expected.end(), szVersion, szVersion + 12);
    Append(expected, {0, 0, 0, 50, 0});
    AppendText(expected, "OR:VN Server");
    AppendText(expected, "Default");
    AppendText(expected, "Palmora");
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(reply.size(), 40u + 12 + 7 + 7);
}

TEST_F(QueryTest, InformationReplyFollowsSettingsAndPlayers)
{
    CServer& server = m_harness.Server();
    server.SetServerPassword("pw");
    server.SetMaxPlayers(100);
    std::string strName(63, 'n');
    server.SetServerName(strName.c_str());
    server.SetGameModeText("");
    ASSERT_TRUE(m_harness.Join(0, "One"));
    ASSERT_TRUE(m_harness.Join(1, "Two"));

    std::vector<uint8_t> reply;
    ASSERT_TRUE(Ask(Request('i'), &reply));
    ASSERT_EQ(reply.size(), 40u + 63 + 0 + 7);
    EXPECT_EQ(reply[23], 1);
    EXPECT_EQ(reply[24], 2);
    EXPECT_EQ(reply[25], 0);
    EXPECT_EQ(reply[26], 100);
    EXPECT_EQ(reply[27], 0);
    EXPECT_EQ(reply[28], 63);
    EXPECT_EQ(std::string(reply.begin() + 32, reply.begin() + 95), strName);
    EXPECT_EQ(reply[95], 0); // game mode length
}

TEST_F(QueryTest, PlayerListIs13BytesWithNoPlayersAndNamesInSlotOrder)
{
    std::vector<uint8_t> reply;
    ASSERT_TRUE(Ask(Request('c'), &reply));
    std::vector<uint8_t> expected = Header('c');
    Append(expected, {0, 0});
    EXPECT_EQ(reply, expected);

    ASSERT_TRUE(m_harness.Join(7, "Seventh"));
    ASSERT_TRUE(m_harness.Join(2, "Second"));
    ASSERT_TRUE(Ask(Request('c'), &reply));
    expected = Header('c');
    Append(expected, {2, 0, 6});
    expected.insert(expected.end(), {'S', 'e', 'c', 'o', 'n', 'd', 7});
    expected.insert(expected.end(), {'S', 'e', 'v', 'e', 'n', 't', 'h'});
    EXPECT_EQ(reply, expected);
}

TEST_F(QueryTest, PingEchoesExactly15Bytes)
{
    std::vector<uint8_t> reply;
    ASSERT_TRUE(Ask(Request('p', 15), &reply));
    std::vector<uint8_t> expected = Header('p');
    Append(expected, {0xA0, 0xA1, 0xA2, 0xA3});
    EXPECT_EQ(reply, expected);

    EXPECT_FALSE(Ask(Request('p', 16)));
    EXPECT_FALSE(Ask(Request('p', 11)));
    EXPECT_FALSE(Ask(Request('p', 14)));
}

TEST_F(QueryTest, ShortForeignAndUnknownDatagramsFallThrough)
{
    std::vector<uint8_t> shortRequest = Request('i');
    shortRequest.resize(10);
    EXPECT_FALSE(Ask(shortRequest));

    std::vector<uint8_t> foreign = Request('i');
    foreign[0] = 'X';
    std::vector<uint8_t> before = foreign;
    m_handler.Refresh(m_harness.Server());
    EXPECT_FALSE(
        m_handler.HandleQueryDatagram(nullptr, 0, 0, foreign.data(), static_cast<int>(foreign.size())));
    EXPECT_EQ(foreign, before);

    EXPECT_FALSE(Ask(Request('x')));
    EXPECT_FALSE(Ask(Request('I')));
    EXPECT_FALSE(m_handler.HandleQueryDatagram(nullptr, 0, 0, nullptr, 20));
}

TEST_F(QueryTest, EchoedBytesComeBackUnchangedInEveryReply)
{
    for (char cOpcode : {'i', 'c', 'p'})
    {
        std::vector<uint8_t> request = Request(cOpcode, cOpcode == 'p' ? 15 : 11);
        for (int i = 4; i < 10; ++i)
            request[i] = static_cast<uint8_t>(0xF0 + i);
        std::vector<uint8_t> reply;
        ASSERT_TRUE(Ask(request, &reply)) << cOpcode;
        for (int i = 4; i < 10; ++i)
            EXPECT_EQ(reply[i], 0xF0 + i) << cOpcode << " byte " << i;
    }
}

// Whatever is published, the replies stay within their bounds and parse.
TEST_F(QueryTest, AbsurdSnapshotIsBoundedWhenAnswered)
{
    CQuerySnapshot snapshot;
    memset(&snapshot, 'z', sizeof(snapshot));
    snapshot.m_nNameCount = 100000;
    m_handler.Publish(snapshot);
    CCapturingSocket socket;
    std::vector<uint8_t> request = Request('c');
    ASSERT_TRUE(m_handler.HandleQueryDatagram(&socket, 0, 0, request.data(), 11));
    ASSERT_EQ(socket.m_replies.size(), 1u);
    EXPECT_EQ(socket.m_replies[0].size(), static_cast<size_t>(13 + 100 * 24));
    request = Request('i');
    ASSERT_TRUE(m_handler.HandleQueryDatagram(&socket, 0, 0, request.data(), 11));
    EXPECT_EQ(socket.m_replies[1].size(), 40u + 63 * 3);

    snapshot.m_nNameCount = -5;
    m_handler.Publish(snapshot);
    request = Request('c');
    ASSERT_TRUE(m_handler.HandleQueryDatagram(&socket, 0, 0, request.data(), 11));
    EXPECT_EQ(socket.m_replies[2].size(), 13u);
}

// The transport's thread answers while the main thread publishes: every reply
// must show one published picture, never a mix. Run under ThreadSanitizer too.
TEST(QueryConcurrencyTest, RepliesNeverMixTwoSnapshots)
{
    CQueryHandler handler;
    CQuerySnapshot snapshots[2];
    for (int n = 0; n < 2; ++n)
    {
        CQuerySnapshot& snapshot = snapshots[n];
        memset(&snapshot, 0, sizeof(snapshot));
        strcpy(snapshot.m_szVersion, n ? "bbbbbbbb" : "aaaa");
        snapshot.m_usPlayerCount = static_cast<uint16_t>(n ? 100 : 1);
        snapshot.m_usMaxPlayers = 100;
        strcpy(snapshot.m_szServerName, n ? "Second server name" : "First");
        strcpy(snapshot.m_szGameModeText, n ? "Mode B" : "A");
        strcpy(snapshot.m_szMapName, n ? "Map B" : "M");
        snapshot.m_nNameCount = n ? 100 : 1;
        for (int i = 0; i < snapshot.m_nNameCount; ++i)
            snprintf(snapshot.m_aszNames[i], 24, "%c-player-%02d", n ? 'b' : 'a', i);
    }
    handler.Publish(snapshots[0]);

    std::atomic<bool> bStop{false};
    std::atomic<int> nBad{0};
    std::atomic<int> nAnswered{0};
    std::thread reader(
        [&]
        {
            CQuerySnapshot local[2] = {snapshots[0], snapshots[1]};
            std::vector<uint8_t> expectedInfo[2];
            std::vector<uint8_t> expectedList[2];
            std::vector<uint8_t> request = Request('i');
            uint8_t abyReply[QUERY_MAX_REPLY];
            for (int n = 0; n < 2; ++n)
            {
                uint8_t abyHeader[11];
                memcpy(abyHeader, Header('i').data(), 11);
                int nLength = CQueryHandler::BuildInfoReply(local[n], abyHeader, abyReply);
                expectedInfo[n].assign(abyReply, abyReply + nLength);
                memcpy(abyHeader, Header('c').data(), 11);
                nLength = CQueryHandler::BuildPlayerListReply(local[n], abyHeader, abyReply);
                expectedList[n].assign(abyReply, abyReply + nLength);
            }
            CCapturingSocket socket;
            while (!bStop.load())
            {
                for (char cOpcode : {'i', 'c'})
                {
                    request = Request(cOpcode);
                    socket.m_replies.clear();
                    if (!handler.HandleQueryDatagram(&socket, 0, 0, request.data(), 11) ||
                        socket.m_replies.size() != 1)
                    {
                        ++nBad;
                        continue;
                    }
                    const auto& expected = cOpcode == 'i' ? expectedInfo : expectedList;
                    if (socket.m_replies[0] != expected[0] && socket.m_replies[0] != expected[1])
                        ++nBad;
                    ++nAnswered;
                }
            }
        });
    for (int i = 0; i < 20000; ++i)
        handler.Publish(snapshots[i & 1]);
    while (nAnswered.load() < 200)
        std::this_thread::yield();
    bStop = true;
    reader.join();
    EXPECT_EQ(nBad.load(), 0);
}
