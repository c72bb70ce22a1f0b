// Announcements as players join, leave and die: the console lines, the chat
// lines to everyone, and the two switches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BitStream.h"
#include "CServer.h"
#include "net/support/CServerHarness.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

using nettest::SSentMessage;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
constexpr int ID_CHAT_LINE = 202;

// The texts of every chat line sent to all players, if they have the
// announcement colour.
std::vector<std::string> Announcements(const nettest::CRecordingPeer& peer)
{
    std::vector<std::string> texts;
    for (const SSentMessage& message : peer.SentWithId(ID_CHAT_LINE))
    {
        std::vector<uint8_t> payload = message.Payload();
        RakNet::BitStream stream(payload.data(), static_cast<unsigned int>(payload.size()), false);
        uint32_t uiColour = 0;
        uint32_t uiLength = 0;
        if (!message.bBroadcast || message.nSlot != -1 || !stream.Read(uiColour) || !stream.Read(uiLength) ||
            uiLength > payload.size())
            continue;
        std::string strText(uiLength, '\0');
        if (stream.Read(strText.data(), uiLength) && uiColour == 0xB0B0B0FF)
            texts.push_back(strText);
    }
    return texts;
}

class AnnounceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_Harness.Started());
        m_Harness.TakeOutput();
    }
    nettest::CRecordingPeer& Peer() { return m_Harness.Peer(); }
    CPlayer* Player(int nSlot) { return m_Harness.Server().m_pPlayerPool->Get(nSlot); }
    void JoinBoth()
    {
        ASSERT_TRUE(m_Harness.Join(0, "Alice"));
        ASSERT_TRUE(m_Harness.Join(1, "Bob"));
        Player(0)->SetColour(0x12AB34, false);
        Player(1)->SetColour(0xFFFFFF05, false);
        Peer().ClearSent();
        m_Harness.TakeOutput();
    }
    // Spawns (only a spawned player dies; a second after its last spawn at the
    // earliest), then dies: reason, killer slot, body part.
    void Die(int nSlot, uint8_t byReason, uint8_t byKiller, uint8_t byBodyPart)
    {
        m_Harness.Tick(SPAWN_REPEAT_INTERVAL);
        m_Harness.Deliver(nSlot, {166});
        m_Harness.Deliver(nSlot, {167});
        m_Harness.Deliver(nSlot, {168, byReason, byKiller, byBodyPart});
    }

    nettest::CServerHarness m_Harness;
};
} // namespace

TEST_F(AnnounceTest, ConnectIsPrintedAndToldToEveryone)
{
    ASSERT_TRUE(m_Harness.Join(3, "Alice"));
    EXPECT_THAT(m_Harness.TakeOutput(), HasSubstr("Player 'Alice' ID 3 connected.\n"));
    EXPECT_EQ(Announcements(Peer()), std::vector<std::string>{"*> Alice connected. <*"});
}

TEST_F(AnnounceTest, DisconnectSuffixFollowsTheReason)
{
    struct SCase
    {
        std::vector<uint8_t> message;
        const char* szSuffix;
    };
    // Quit with reasons 3, 1, 0; the transport's notice (left) and lost connection (timed out).
    const SCase aCases[] = {{{153, 3}, " (crashed)"},
                            {{153, 1}, ""},
                            {{153, 0}, " (timeout)"},
                            {{nettest::RAK_DISCONNECTION_NOTIFICATION}, ""},
                            {{nettest::RAK_CONNECTION_LOST}, " (timeout)"}};
    for (const SCase& c : aCases)
    {
        ASSERT_TRUE(m_Harness.Join(0, "Alice"));
        m_Harness.TakeOutput();
        Peer().ClearSent();
        m_Harness.Deliver(0, c.message);
        ASSERT_EQ(Player(0), nullptr);
        EXPECT_THAT(m_Harness.TakeOutput(),
                    HasSubstr(std::string("Player 'Alice' ID 0 disconnected") + c.szSuffix + ".\n"));
        EXPECT_EQ(Announcements(Peer()),
                  std::vector<std::string>{std::string("*> Alice disconnected") + c.szSuffix + ". <*"});
    }
}

TEST_F(AnnounceTest, KickedPlayerLeavesWithTheKickedSuffix)
{
    ASSERT_TRUE(m_Harness.Join(0, "Alice"));
    m_Harness.TakeOutput();
    Peer().ClearSent();
    m_Harness.Server().Kick(0, false);
    EXPECT_THAT(m_Harness.TakeOutput(), HasSubstr("Player 'Alice' ID 0 disconnected (kicked).\n"));
    EXPECT_EQ(Announcements(Peer()), std::vector<std::string>{"*> Alice disconnected (kicked). <*"});
}

TEST_F(AnnounceTest, WithoutJoinMessagesOnlyTheConsoleHearsOfConnections)
{
    m_Harness.Server().m_bJoinMessages = false;
    ASSERT_TRUE(m_Harness.Join(0, "Alice"));
    m_Harness.Deliver(0, {153, 1});
    std::string strOutput = m_Harness.TakeOutput();
    EXPECT_THAT(strOutput, HasSubstr("Player 'Alice' ID 0 connected.\n"));
    EXPECT_THAT(strOutput, HasSubstr("Player 'Alice' ID 0 disconnected.\n"));
    EXPECT_TRUE(Announcements(Peer()).empty());
}

TEST_F(AnnounceTest, KillIsToldToEveryoneButNeverLogged)
{
    JoinBoth();
    Die(1, 17, 0, 6);
    const std::string strText = "*> [#12AB34]Alice[$FF] killed [#FFFF05]Bob[$FF] with a Colt 45 to head. <*";
    EXPECT_EQ(Announcements(Peer()), std::vector<std::string>{strText});
    EXPECT_THAT(m_Harness.TakeOutput(), Not(HasSubstr("killed")));
}

TEST_F(AnnounceTest, DeathWithoutKillerUsesTheVictimAlone)
{
    JoinBoth();
    // Killer slot 255, and an empty slot, both mean no killer.
    Die(0, 39, 255, 7);
    Die(0, 39, 42, 6);
    EXPECT_EQ(Announcements(Peer()),
              (std::vector<std::string>{"*> [#12AB34]Alice[$FF] died in a car crash. <*",
                                        "*> [#12AB34]Alice[$FF] fell to death. <*"}));
}

TEST_F(AnnounceTest, WithoutDeathMessagesDeathsSayNothing)
{
    JoinBoth();
    m_Harness.Server().m_bDeathMessages = false;
    Die(1, 17, 0, 6);
    Die(0, 70, 255, 0);
    EXPECT_TRUE(Peer().SentWithId(ID_CHAT_LINE).empty());
    EXPECT_THAT(m_Harness.TakeOutput(), Not(HasSubstr("*>")));
    // Connections are still announced: the switches are separate.
    ASSERT_TRUE(m_Harness.Join(2, "Carol"));
    EXPECT_EQ(Announcements(Peer()), std::vector<std::string>{"*> Carol connected. <*"});
}
