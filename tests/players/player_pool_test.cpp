// The player pool: name rules, slots and generations, the processing list,
// and removals that wait for the plugins' locks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "PlayerTestFixture.h"
#include "players/CPlayerChat.h"
#include "players/PlayerMessages.h"

using ::testing::ElementsAre;

namespace
{
std::string Validated(const char* szName, bool* pbOk = nullptr)
{
    char szBuffer[64];
    CopyText(szBuffer, szName, sizeof(szBuffer));
    const bool bOk = CPlayerPool::ValidateName(szBuffer);
    if (pbOk)
        *pbOk = bOk;
    return bOk ? std::string(szBuffer) : std::string("<refused>");
}

TEST(PlayerNameTest, LengthMustBeTwoToTwentyThree)
{
    EXPECT_EQ(Validated("ab"), "ab");
    EXPECT_EQ(Validated("a"), "<refused>");
    EXPECT_EQ(Validated(""), "<refused>");
    EXPECT_EQ(Validated("abcdefghijklmnopqrstuvw"), "abcdefghijklmnopqrstuvw");
    EXPECT_EQ(Validated("abcdefghijklmnopqrstuvwx"), "<refused>");
    EXPECT_FALSE(CPlayerPool::ValidateName(nullptr));
}

TEST(PlayerNameTest, ForbiddenBytesBecomeUnderscores)
{
    EXPECT_EQ(Validated("two words"), "two_words");
    EXPECT_EQ(Validated("Bang!"), "Bang!");
    EXPECT_EQ(Validated("-.+[]^=()*!"), "-.+[]^=()*!");
    EXPECT_EQ(Validated("a@b/c\\d"), "a_b_c_d");
    EXPECT_EQ(Validated("\xC3\xA9t\xFF"), "__t_");
    EXPECT_EQ(Validated("Zz09"), "Zz09");
}

class PlayerPoolTest : public CPlayerTest
{
};

TEST_F(PlayerPoolTest, NewRefusesTakenSlotsBadNamesNamesInUseAndSlotsAbove99)
{
    ASSERT_TRUE(Pool().New(0, "Alice", "uid-a"));
    EXPECT_FALSE(Pool().New(0, "Bob", "uid-b"));   // taken
    EXPECT_FALSE(Pool().New(1, "x", "uid-b"));     // too short
    EXPECT_FALSE(Pool().New(1, "ALICE", "uid-b")); // in use, ignoring case
    EXPECT_FALSE(Pool().New(100, "Carl", "uid-c"));
    EXPECT_FALSE(Pool().New(-1, "Carl", "uid-c"));
    EXPECT_EQ(Pool().Count(), 1);
    EXPECT_EQ(Pool().Get(100), nullptr);
    // A refusal costs the slot no generation.
    ASSERT_TRUE(Pool().New(1, "Bob", "uid-b"));
    EXPECT_EQ(Pool().Get(1)->GetPlayerId(), 0x101u);
    // The rewritten name is the one stored and compared.
    ASSERT_TRUE(Pool().New(2, "Mr Smith", "uid-c"));
    EXPECT_STREQ(Pool().Get(2)->GetName(), "Mr_Smith");
    EXPECT_FALSE(Pool().New(3, "mr_smith", "uid-d"));
    EXPECT_EQ(Pool().Count(), 3);
}

TEST_F(PlayerPoolTest, GenerationsNumberTheOccupantsOfASlot)
{
    CPlayer* pFive = Join(5, "Fifth");
    ASSERT_NE(pFive, nullptr);
    EXPECT_EQ(pFive->GetPlayerId(), 0x105u);
    ASSERT_NE(Join(0, "First"), nullptr);
    EXPECT_EQ(Pool().Get(0)->GetPlayerId(), 0x100u);
    EXPECT_EQ(F()->KickPlayer(0), 1);
    EXPECT_EQ(Pool().Get(0), nullptr);
    CPlayer* pSecond = Join(0, "Second");
    ASSERT_NE(pSecond, nullptr);
    EXPECT_EQ(pSecond->GetPlayerId(), 0x200u);
    EXPECT_EQ(F()->GetPlayerKey(0), 0x200);
    EXPECT_EQ(Pool().GetGeneration(0), 2);
}

TEST_F(PlayerPoolTest, ProcessingListHoldsLivePlayersNewestFirst)
{
    ASSERT_NE(Join(4, "Four"), nullptr);
    ASSERT_NE(Join(1, "One"), nullptr);
    ASSERT_NE(Join(7, "Seven"), nullptr);
    auto order = [this]
    {
        std::vector<int> slots;
        Pool().ForEachInOrder([&](CPlayer* pPlayer) { slots.push_back(pPlayer->GetSlot()); });
        return slots;
    };
    EXPECT_THAT(order(), ElementsAre(7, 1, 4));
    F()->KickPlayer(1);
    EXPECT_THAT(order(), ElementsAre(7, 4));
    EXPECT_EQ(Pool().Count(), 2);
    Pool().DeleteAll();
    EXPECT_TRUE(order().empty());
    EXPECT_EQ(Pool().Count(), 0);
    EXPECT_EQ(Pool().GetListHead()->pNext, Pool().GetListHead());
}

// The pool's own lock keeps the player through the walk; later plugins do not
// hear of a player that a plugin already kicked.
TEST_F(PlayerPoolTest, KickFromOnPlayerConnectWaitsForTheWalkToEnd)
{
    int nStillThere = -1;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot != 3)
                           return;
                       F()->KickPlayer(pnArgs[0]);
                       nStillThere = F()->IsPlayerConnected(pnArgs[0]);
                   });
    Harness().Connect(3);
    Peer().ClearSent();
    EXPECT_FALSE(Pool().New(3, "Doomed", "uid"));
    EXPECT_EQ(nStillThere, 1);
    EXPECT_EQ(Pool().Get(3), nullptr);
    EXPECT_EQ(Pool().Count(), 0);
    EXPECT_THAT(Events("OnPlayerConnect", 0), ElementsAre("OnPlayerConnect 3"));
    EXPECT_TRUE(Events("OnPlayerConnect", 1).empty());
    EXPECT_THAT(Events("OnPlayerDisconnect", 0), ElementsAre("OnPlayerDisconnect 3 2"));
    // Kicked: the notice, then the connection closed with a notice.
    auto kicked = ReceivedBy(3, ID_KICKED_NOTICE);
    ASSERT_EQ(kicked.size(), 1u);
    EXPECT_EQ(kicked[0].payload, std::vector<uint8_t>{0});
    ASSERT_FALSE(Peer().Closed().empty());
    EXPECT_EQ(Peer().Closed()[0].nSlot, 3);
}

TEST_F(PlayerPoolTest, KickFromOnPlayerMessageDestroysAfterTheInnermostRelease)
{
    ASSERT_NE(Join(0, "Watcher"), nullptr);
    ASSERT_NE(Join(1, "Talker"), nullptr);
    int nStillThere = -1;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot != 23)
                           return;
                       F()->KickPlayer(pnArgs[0]);
                       nStillThere = F()->IsPlayerConnected(pnArgs[0]);
                   });
    Host().ClearLog();
    Peer().ClearSent();
    RakNet::BitStream chat;
    testclient::EncodeChat(chat, "bye");
    CPlayerChat::HandleChat(1, 162, chat.GetData() + 1,
                            static_cast<int>(BITS_TO_BYTES(chat.GetNumberOfBitsUsed())) - 1);
    EXPECT_EQ(nStillThere, 1);
    EXPECT_EQ(Pool().Get(1), nullptr);
    EXPECT_THAT(Events("OnPlayerMessage", 0), ElementsAre("OnPlayerMessage 1 [bye]"));
    EXPECT_TRUE(Events("OnPlayerMessage", 1).empty());
    // The watcher hears of the departure once, and the chat line never.
    auto leaves = ReceivedBy(0, ID_LEAVE_NOTICE);
    ASSERT_EQ(leaves.size(), 1u);
    testclient::SLeaveNotice leave;
    ASSERT_TRUE(testclient::DecodeLeaveNotice(leaves[0], leave));
    EXPECT_EQ(leave.uiPlayerId, 0x101u);
    EXPECT_EQ(leave.byReason, DISCONNECT_KICKED);
    EXPECT_TRUE(ReceivedBy(0, 204).empty());
}

// Every plugin hears of a departure, although the player is already marked
// for deletion while the event is raised.
TEST_F(PlayerPoolTest, EveryPluginHearsOfTheDisconnect)
{
    ASSERT_NE(Join(2, "Leaver"), nullptr);
    Host().ClearLog();
    Pool().DeleteAll();
    EXPECT_THAT(Events("OnPlayerDisconnect", 0), ElementsAre("OnPlayerDisconnect 2 0"));
    EXPECT_THAT(Events("OnPlayerDisconnect", 1), ElementsAre("OnPlayerDisconnect 2 0"));
}

// Removal order: spectators are released first, the leave notice goes to
// everybody else, the plugins hear last while the name is still readable.
TEST_F(PlayerPoolTest, RemovalReleasesSpectatorsThenTellsTheOthers)
{
    CPlayer* pWatcher = Join(0, "Watcher");
    ASSERT_NE(pWatcher, nullptr);
    ASSERT_NE(Join(1, "Target"), nullptr);
    ASSERT_EQ(F()->SetPlayerSpectateTarget(0, 1), 1);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(0), 1);
    std::string strNameAtDisconnect;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       char szName[32];
                       if (nSlot == 4 && F()->GetPlayerName(pnArgs[0], szName, sizeof(szName)))
                           strNameAtDisconnect = szName;
                       // Watching a player that is leaving is watching nobody.
                       if (nSlot == 4)
                           F()->SetPlayerSpectateTarget(0, pnArgs[0]);
                   });
    Host().ClearLog();
    Peer().ClearSent();
    Pool().Delete(1, DISCONNECT_LEFT);
    EXPECT_EQ(F()->GetPlayerSpectateTarget(0), -1);
    EXPECT_THAT(Events("OnPlayer", 0), ElementsAre("OnPlayerSpectate 0 -1", "OnPlayerDisconnect 1 1"));
    EXPECT_EQ(strNameAtDisconnect, "Target");
    auto spectate = ReceivedBy(0, ID_SPECTATE_NOTICE);
    ASSERT_EQ(spectate.size(), 1u);
    EXPECT_EQ(spectate[0].payload, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReceivedBy(0, ID_LEAVE_NOTICE).size(), 1u);
    EXPECT_TRUE(ReceivedBy(1, ID_LEAVE_NOTICE).empty());
    // The hook holds this test's locals; the harness's teardown raises events too.
    Host().SetHook(0, nullptr);
}

// A plugin that kicks another player from an event of the player being
// processed must not break the walk.
TEST_F(PlayerPoolTest, ProcessingSurvivesAPluginKickingTheNextPlayer)
{
    ASSERT_NE(Join(0, "Zero"), nullptr);
    ASSERT_NE(Join(1, "One"), nullptr);
    ASSERT_NE(Join(2, "Two"), nullptr);
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == 31 && pnArgs[0] == 2)
                           F()->KickPlayer(1);
                   });
    Host().ClearLog();
    Harness().Tick(5000);
    EXPECT_EQ(Pool().Get(1), nullptr);
    EXPECT_THAT(Events("OnPlayerAwayChange", 0),
                ElementsAre("OnPlayerAwayChange 2 1", "OnPlayerAwayChange 0 1"));
}

TEST_F(PlayerPoolTest, PlayerMarkedByTheAntiCheatIsKickedAtTheNextTick)
{
    CPlayer* pCheater = Join(6, "Cheater");
    ASSERT_NE(pCheater, nullptr);
    pCheater->m_byPendingRemoval = 1;
    Peer().ClearSent();
    Harness().Tick(10);
    EXPECT_EQ(Pool().Get(6), nullptr);
    EXPECT_EQ(ReceivedBy(6, ID_KICKED_NOTICE).size(), 1u);
    EXPECT_THAT(Events("OnPlayerDisconnect", 0), ElementsAre("OnPlayerDisconnect 6 2"));
}
} // namespace
