// Chat, private messages and commands from players: what reaches the
// plugins, what the clients get back, and what is dropped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "BitStream.h"
#include "CServer.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayer.h"
#include "players/CPlayerChat.h"
#include "players/CPlayerPool.h"
#include "plugins/support/plugin_TestHost.h"

using nettest::SSentMessage;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
constexpr int SLOT_ON_PLAYER_MESSAGE = 23;
constexpr int SLOT_ON_PLAYER_PRIVATE_MESSAGE = 25;

// What a relay (204, 205) carries.
struct SRelay
{
    bool bDecoded = false;
    uint32_t uiPlayerId = 0;
    bool bMarker = false;
    std::string strText;
};

SRelay DecodeRelay(const SSentMessage& message)
{
    std::vector<uint8_t> payload = message.Payload();
    RakNet::BitStream stream(payload.data(), static_cast<unsigned int>(payload.size()), false);
    SRelay relay;
    uint16_t usLength = 0;
    if (!stream.Read(relay.uiPlayerId) || !stream.Read(relay.bMarker) || !stream.Read(usLength))
        return relay;
    relay.strText.resize(usLength);
    if (usLength > 0 && !stream.Read(relay.strText.data(), usLength))
        return relay;
    // Nothing follows the text but the padding of its last byte.
    relay.bDecoded = stream.GetNumberOfUnreadBits() < 8;
    return relay;
}

std::vector<uint8_t> Text16(std::vector<uint8_t> bytes, uint16_t usDeclared, const std::string& strText)
{
    bytes.push_back(static_cast<uint8_t>(usDeclared >> 8));
    bytes.push_back(static_cast<uint8_t>(usDeclared & 0xFF));
    bytes.insert(bytes.end(), strText.begin(), strText.end());
    return bytes;
}

std::vector<uint8_t> Chat(const std::string& strText)
{
    return Text16({ID_CHAT}, static_cast<uint16_t>(strText.size()), strText);
}

std::vector<uint8_t> PrivateMessage(uint8_t byRecipient, const std::string& strText)
{
    return Text16({ID_PRIVATE_MESSAGE, byRecipient}, static_cast<uint16_t>(strText.size()), strText);
}

std::vector<uint8_t> Command(const std::string& strText)
{
    return Text16({ID_COMMAND}, static_cast<uint16_t>(strText.size()), strText);
}

// Two recorders, then a server with Alice in slot 0 and Bob in slot 1.
class ChatTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Host.LoadRecorders(2);
        ASSERT_EQ(m_Host.Manager().GetPluginCount(), 2);
        m_pHarness = std::make_unique<nettest::CServerHarness>();
        ASSERT_TRUE(m_pHarness->Started());
        ASSERT_TRUE(m_pHarness->Join(0, "Alice"));
        ASSERT_TRUE(m_pHarness->Join(1, "Bob"));
        // The recorder's log keeps a shortened copy; this keeps the text whole.
        m_Host.SetHook(1,
                       [this](int, int nSlot, const int32_t*, const char* szText)
                       {
                           if (nSlot == SLOT_ON_PLAYER_MESSAGE && szText)
                               m_strPluginSaw = szText;
                       });
        Peer().ClearSent();
        m_Host.ClearLog();
        m_pHarness->TakeOutput();
    }
    void TearDown() override { m_pHarness.reset(); }

    nettest::CRecordingPeer& Peer() { return m_pHarness->Peer(); }
    CPlayer* Player(int nSlot) { return m_pHarness->Server().m_pPlayerPool->Get(nSlot); }
    void Deliver(int nSlot, const std::vector<uint8_t>& bytes) { m_pHarness->Deliver(nSlot, bytes); }

    // The server messages of one kind that this test caused.
    std::vector<SSentMessage> Sent(int nId) { return Peer().SentWithId(nId); }

    // Only the events of player texts, in order.
    std::vector<std::string> TextEvents() const
    {
        std::vector<std::string> events;
        for (const std::string& strEvent : m_Host.Events())
        {
            if (strEvent.find("OnPlayerMessage") != std::string::npos ||
                strEvent.find("OnPlayerPrivateMessage") != std::string::npos ||
                strEvent.find("OnPlayerCommand") != std::string::npos)
                events.push_back(strEvent);
        }
        return events;
    }

    CPluginTestHost m_Host{ORVN_TEST_PLUGIN_DIR};
    std::string m_strPluginSaw;
    std::unique_ptr<nettest::CServerHarness> m_pHarness;
};
} // namespace

TEST_F(ChatTest, ChatGoesToEveryPluginThenToEveryPlayer)
{
    Deliver(0, Chat("hello there"));
    EXPECT_THAT(TextEvents(),
                ElementsAre("p0 OnPlayerMessage 0 [hello there]", "p1 OnPlayerMessage 0 [hello there]"));
    std::vector<SSentMessage> relays = Sent(ID_CHAT_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_TRUE(relays[0].bBroadcast);
    EXPECT_EQ(relays[0].nSlot, -1) << "the sender gets its own line too";
    EXPECT_EQ(relays[0].nPriority, 1);
    EXPECT_EQ(relays[0].nReliability, 2);
    EXPECT_EQ(relays[0].nChannel, 0);
    SRelay relay = DecodeRelay(relays[0]);
    ASSERT_TRUE(relay.bDecoded);
    EXPECT_EQ(relay.uiPlayerId, Player(0)->GetPlayerId());
    EXPECT_FALSE(relay.bMarker);
    EXPECT_EQ(relay.strText, "hello there");
}

TEST_F(ChatTest, OneRefusingPluginSuppressesChatYetEveryPluginIsAsked)
{
    m_Host.Recorder(0)->answers[SLOT_ON_PLAYER_MESSAGE] = 0;
    Deliver(1, Chat("spam"));
    EXPECT_THAT(TextEvents(), ElementsAre("p0 OnPlayerMessage 1 [spam]", "p1 OnPlayerMessage 1 [spam]"));
    EXPECT_TRUE(Sent(ID_CHAT_RELAY).empty());
}

TEST_F(ChatTest, LongTextIsCutTo511BytesForPluginsAndClients)
{
    std::string strText;
    for (int i = 0; i < 600; ++i)
        strText += static_cast<char>('a' + i % 26);
    Deliver(0, Text16({ID_CHAT}, 600, strText));
    EXPECT_EQ(m_strPluginSaw, strText.substr(0, 511));
    std::vector<SSentMessage> relays = Sent(ID_CHAT_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    SRelay relay = DecodeRelay(relays[0]);
    ASSERT_TRUE(relay.bDecoded);
    EXPECT_EQ(relay.strText, strText.substr(0, 511));

    // A declared length above 511 needs only the 511 bytes that are read.
    Peer().ClearSent();
    Deliver(0, Text16({ID_CHAT}, 65535, strText.substr(0, 511)));
    ASSERT_EQ(Sent(ID_CHAT_RELAY).size(), 1u);
}

TEST_F(ChatTest, ZeroByteEndsTheTextAndTheRelayCountsWhatIsLeft)
{
    Deliver(0, Chat(std::string("ab\0cd", 5)));
    std::vector<SSentMessage> relays = Sent(ID_CHAT_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    SRelay relay = DecodeRelay(relays[0]);
    ASSERT_TRUE(relay.bDecoded);
    EXPECT_EQ(relay.strText, "ab");
}

TEST_F(ChatTest, EmptyChatIsStillRelayed)
{
    Deliver(0, Chat(""));
    std::vector<SSentMessage> relays = Sent(ID_CHAT_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_TRUE(DecodeRelay(relays[0]).bDecoded);
}

TEST_F(ChatTest, PayloadsShorterThanTheyClaimAreDropped)
{
    Deliver(0, {ID_CHAT});
    Deliver(0, {ID_CHAT, 0});
    Deliver(0, Text16({ID_CHAT}, 10, "short"));
    Deliver(0, Text16({ID_CHAT}, 600, std::string(510, 'x')));
    Deliver(0, {ID_PRIVATE_MESSAGE});
    Deliver(0, {ID_PRIVATE_MESSAGE, 1});
    Deliver(0, Text16({ID_PRIVATE_MESSAGE, 7}, 3, "ab"));
    Deliver(0, {ID_COMMAND, 0});
    Deliver(0, Text16({ID_COMMAND}, 4, "/ab"));
    EXPECT_TRUE(TextEvents().empty());
    EXPECT_TRUE(Sent(ID_CHAT_RELAY).empty());
    EXPECT_TRUE(Sent(ID_PRIVATE_MESSAGE_RELAY).empty());
    EXPECT_TRUE(Sent(202).empty()) << "not even the reply for the empty slot 7";
    EXPECT_NE(Player(0), nullptr) << "a bad payload is no reason to drop the player";
}

TEST_F(ChatTest, PrivateMessageReachesOnlyItsRecipient)
{
    Deliver(0, PrivateMessage(1, "psst"));
    EXPECT_THAT(TextEvents(),
                ElementsAre("p0 OnPlayerPrivateMessage 0 1 [psst]", "p1 OnPlayerPrivateMessage 0 1 [psst]"));
    std::vector<SSentMessage> relays = Sent(ID_PRIVATE_MESSAGE_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_FALSE(relays[0].bBroadcast);
    EXPECT_EQ(relays[0].nSlot, 1);
    EXPECT_EQ(relays[0].nPriority, 1);
    EXPECT_EQ(relays[0].nReliability, 2);
    SRelay relay = DecodeRelay(relays[0]);
    ASSERT_TRUE(relay.bDecoded);
    EXPECT_EQ(relay.uiPlayerId, Player(0)->GetPlayerId());
    EXPECT_EQ(relay.strText, "psst");
    EXPECT_TRUE(Peer().SentTo(0, ID_PRIVATE_MESSAGE_RELAY).empty());
}

TEST_F(ChatTest, PlayerMayMessageItself)
{
    Deliver(1, PrivateMessage(1, "note to self"));
    std::vector<SSentMessage> relays = Sent(ID_PRIVATE_MESSAGE_RELAY);
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_EQ(relays[0].nSlot, 1);
    EXPECT_EQ(DecodeRelay(relays[0]).uiPlayerId, Player(1)->GetPlayerId());
}

TEST_F(ChatTest, PrivateMessageToAnEmptySlotIsAnsweredInGreyWithoutAnEvent)
{
    for (uint8_t bySlot : {uint8_t(5), uint8_t(99), uint8_t(100), uint8_t(255)})
    {
        Peer().ClearSent();
        Deliver(0, PrivateMessage(bySlot, "anyone?"));
        EXPECT_TRUE(TextEvents().empty()) << int(bySlot);
        EXPECT_TRUE(Sent(ID_PRIVATE_MESSAGE_RELAY).empty());
        std::vector<SSentMessage> replies = Sent(202);
        ASSERT_EQ(replies.size(), 1u) << int(bySlot);
        EXPECT_FALSE(replies[0].bBroadcast);
        EXPECT_EQ(replies[0].nSlot, 0);
        const std::string strText = "*> Private message recipient does not exist. <*";
        std::vector<uint8_t> expected = {0xB0, 0xB0, 0xB0, 0xFF,
                                         0,    0,    0,    static_cast<uint8_t>(strText.size())};
        expected.insert(expected.end(), strText.begin(), strText.end());
        EXPECT_EQ(replies[0].Payload(), expected);
    }
}

TEST_F(ChatTest, RefusedPrivateMessageIsDroppedSilently)
{
    m_Host.Recorder(1)->answers[SLOT_ON_PLAYER_PRIVATE_MESSAGE] = 0;
    Deliver(0, PrivateMessage(1, "psst"));
    EXPECT_EQ(TextEvents().size(), 2u);
    EXPECT_TRUE(Sent(ID_PRIVATE_MESSAGE_RELAY).empty());
    EXPECT_TRUE(Sent(202).empty());
}

TEST_F(ChatTest, MarkerBitFollowsTheSendersOptionBit8Only)
{
    Player(0)->SetFlag(PLAYER_FLAG_OPTION8, true);
    Deliver(0, Chat("from alice"));
    Deliver(1, Chat("from bob"));
    Deliver(0, PrivateMessage(1, "pm from alice"));
    Deliver(1, PrivateMessage(0, "pm from bob"));
    std::vector<SSentMessage> chats = Sent(ID_CHAT_RELAY);
    std::vector<SSentMessage> pms = Sent(ID_PRIVATE_MESSAGE_RELAY);
    ASSERT_EQ(chats.size(), 2u);
    ASSERT_EQ(pms.size(), 2u);
    SRelay aRelays[] = {DecodeRelay(chats[0]), DecodeRelay(chats[1]), DecodeRelay(pms[0]),
                        DecodeRelay(pms[1])};
    EXPECT_TRUE(aRelays[0].bMarker);
    EXPECT_FALSE(aRelays[1].bMarker);
    EXPECT_TRUE(aRelays[2].bMarker);
    EXPECT_FALSE(aRelays[3].bMarker);
    // The bit sits right after the id, so the text is still read back whole.
    EXPECT_EQ(aRelays[0].strText, "from alice");
    EXPECT_EQ(aRelays[2].strText, "pm from alice");
}

TEST_F(ChatTest, CommandReachesPluginsOnly)
{
    m_Host.Recorder(0)->answers[24] = 0;
    Deliver(1, Command("/kill"));
    EXPECT_THAT(TextEvents(), ElementsAre("p0 OnPlayerCommand 1 [/kill]", "p1 OnPlayerCommand 1 [/kill]"));
    EXPECT_TRUE(Peer().Sent().empty());
}

TEST_F(ChatTest, TextBeforeJoiningKicksTheConnectionSilently)
{
    m_pHarness->Connect(2);
    m_pHarness->TakeOutput();
    Peer().ClearSent();
    Deliver(2, Chat("too early"));
    EXPECT_THAT(m_pHarness->TakeOutput(),
                HasSubstr("Kicking player ID 2, tried to send a non-join packet when not yet joined."));
    EXPECT_TRUE(TextEvents().empty());
    EXPECT_TRUE(Sent(ID_CHAT_RELAY).empty());
    ASSERT_EQ(Peer().Closed().size(), 1u);
    EXPECT_EQ(Peer().Closed()[0].nSlot, 2);
    EXPECT_FALSE(Peer().Closed()[0].bNotify);
}

TEST_F(ChatTest, SenderKickedByAPluginIsNotRelayed)
{
    m_Host.SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == SLOT_ON_PLAYER_MESSAGE)
                           m_Host.Funcs()->KickPlayer(pnArgs[0]);
                   });
    Deliver(0, Chat("bad words"));
    std::vector<std::string> events = TextEvents();
    EXPECT_EQ(std::count(events.begin(), events.end(), "p1 OnPlayerMessage 0 [bad words]"), 0)
        << "the walk stops at the kick";
    EXPECT_TRUE(Sent(ID_CHAT_RELAY).empty());
    EXPECT_EQ(Player(0), nullptr) << "gone once the handler let go";
}

TEST_F(ChatTest, RecipientKickedDuringTheEventGetsNothing)
{
    m_Host.SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == SLOT_ON_PLAYER_PRIVATE_MESSAGE)
                           m_Host.Funcs()->KickPlayer(pnArgs[1]);
                   });
    Deliver(0, PrivateMessage(1, "bye"));
    EXPECT_EQ(Player(1), nullptr);
    EXPECT_TRUE(Sent(ID_PRIVATE_MESSAGE_RELAY).empty());
    EXPECT_NE(Player(0), nullptr);
}
