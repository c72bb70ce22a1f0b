// A player's per-tick processing: the away check, the far-player list, the
// entry deadline and the entry lock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PlayerTestFixture.h"
#include "players/PlayerMessages.h"

using ::testing::ElementsAre;

namespace
{
class PlayerTickTest : public CPlayerTest
{
protected:
    std::vector<wire::SFarEntry> LastFarList(int nSlot, size_t* pnLists = nullptr)
    {
        auto lists = ReceivedBy(nSlot, ID_FAR_PLAYER_LIST);
        if (pnLists)
            *pnLists = lists.size();
        std::vector<wire::SFarEntry> entries;
        if (!lists.empty())
            EXPECT_TRUE(testclient::DecodeFarList(lists.back(), entries));
        return entries;
    }
};

TEST_F(PlayerTickTest, SilenceOfMoreThan4000MsMakesThePlayerAwayOnce)
{
    CPlayer* pPlayer = Join(0, "Quiet");
    ASSERT_NE(pPlayer, nullptr);
    Host().ClearLog();
    Harness().Tick(4000);
    EXPECT_FALSE(pPlayer->m_bAway);
    EXPECT_TRUE(Events("OnPlayerAwayChange").empty());
    Harness().Tick(1);
    EXPECT_TRUE(pPlayer->m_bAway);
    EXPECT_EQ(F()->IsPlayerAway(0), 1);
    Harness().Tick(3000);
    Harness().Tick(3000);
    EXPECT_THAT(Events("OnPlayerAwayChange"), ElementsAre("OnPlayerAwayChange 0 1"));
}

TEST_F(PlayerTickTest, FarListCarriesSpawnedPlayersOutOfStreamInTheSameWorld)
{
    ASSERT_NE(Spawned(0, "Here", Vector(0.0f, 0.0f, 0.0f)), nullptr);
    ASSERT_NE(Spawned(1, "Far", Vector(1000.55f, -1234.56f, 12.34f)), nullptr);
    ASSERT_NE(Spawned(2, "Near", Vector(10.0f, 10.0f, 0.0f)), nullptr);
    ASSERT_NE(Spawned(3, "Elsewhere", Vector(-1000.0f, 1000.0f, 0.0f)), nullptr);
    F()->SetPlayerWorld(3, 2);
    ASSERT_NE(Join(4, "Unspawned"), nullptr);
    F()->SetPlayerPosition(4, 900.0f, 900.0f, 0.0f);
    StreamAll();
    ASSERT_EQ(F()->IsPlayerStreamedForPlayer(2, 0), 1);
    ASSERT_EQ(F()->IsPlayerStreamedForPlayer(1, 0), 0);
    Peer().ClearSent();
    Harness().Tick(2000);
    size_t nLists = 0;
    auto entries = LastFarList(0, &nLists);
    ASSERT_EQ(nLists, 1u);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].bySlot, 1);
    EXPECT_EQ(Value(entries[0].sX), 10005);
    EXPECT_EQ(Value(entries[0].sY), -12345);
    EXPECT_EQ(Value(entries[0].sZ), 123);
    // Unreliable, high priority.
    auto sent = Peer().SentTo(0, ID_FAR_PLAYER_LIST);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].nReliability, 0);
    EXPECT_EQ(sent[0].nPriority, 1);
}

TEST_F(PlayerTickTest, FarListIsSentEvery1500MsAndOnlyWhenNotEmptyOrDue)
{
    ASSERT_NE(Spawned(0, "Here", Vector(0.0f, 0.0f, 0.0f)), nullptr);
    ASSERT_NE(Spawned(1, "Far", Vector(1000.0f, 1000.0f, 0.0f)), nullptr);
    StreamAll();
    Harness().Tick(2000);
    Peer().ClearSent();
    Harness().Tick(1500);
    EXPECT_TRUE(ReceivedBy(0, ID_FAR_PLAYER_LIST).empty());
    Harness().Tick(1);
    EXPECT_EQ(ReceivedBy(0, ID_FAR_PLAYER_LIST).size(), 1u);
    Harness().Tick(1500);
    EXPECT_EQ(ReceivedBy(0, ID_FAR_PLAYER_LIST).size(), 1u);
    Harness().Tick(1);
    EXPECT_EQ(ReceivedBy(0, ID_FAR_PLAYER_LIST).size(), 2u);

    // Alone in a world: nothing, until a world change makes one list due.
    F()->SetPlayerWorld(0, 5);
    Peer().ClearSent();
    Harness().Tick(1501);
    auto lists = ReceivedBy(0, ID_FAR_PLAYER_LIST);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].payload, std::vector<uint8_t>{0});
    Harness().Tick(1501);
    EXPECT_EQ(ReceivedBy(0, ID_FAR_PLAYER_LIST).size(), 1u);
}

TEST_F(PlayerTickTest, ExpiredEntryAttemptAndEntryLockAreCleared)
{
    CPlayer* pPlayer = Join(0, "Entering");
    ASSERT_NE(pPlayer, nullptr);
    const uint32_t uiNow = Server().m_uiNow;
    pPlayer->m_byEntryState = 1;
    pPlayer->m_usEntryVehicle = 12;
    pPlayer->m_uiEntryDeadline = uiNow + 100;
    pPlayer->m_bEntryLock = true;
    pPlayer->m_uiEntryLockExpiry = uiNow + 300;
    Harness().Tick(100);
    EXPECT_EQ(pPlayer->m_byEntryState, 1);
    Harness().Tick(1);
    EXPECT_EQ(pPlayer->m_byEntryState, 0);
    EXPECT_EQ(pPlayer->m_usEntryVehicle, 0);
    EXPECT_TRUE(pPlayer->m_bEntryLock);
    Harness().Tick(200);
    EXPECT_FALSE(pPlayer->m_bEntryLock);
}

// The millisecond clock wraps every 49.7 days: a mark set just before the
// wrap must not look long past (or far away) just after it.
TEST_F(PlayerTickTest, TimersKeepTheirPeriodsAcrossTheClockWrap)
{
    ASSERT_NE(Spawned(0, "Here", Vector(0.0f, 0.0f, 0.0f)), nullptr);
    ASSERT_NE(Spawned(1, "Far", Vector(1000.0f, 1000.0f, 0.0f)), nullptr);
    CPlayer* pPlayer = Pool().Get(0);
    StreamAll();
    Harness().Time().m_uiTickMs = 0xFFFFFC18u; // 1000 ms before the wrap
    Harness().Tick();
    const uint32_t uiNow = Server().m_uiNow;
    pPlayer->m_uiLastSyncTime = uiNow;
    pPlayer->m_bAway = false;
    pPlayer->m_byEntryState = 1;
    pPlayer->m_usEntryVehicle = 12;
    pPlayer->m_uiEntryDeadline = uiNow + 1500;
    pPlayer->m_bEntryLock = true;
    pPlayer->m_uiEntryLockExpiry = uiNow + 1500;
    Peer().ClearSent();

    Harness().Tick(500);
    Harness().Tick(900);
    EXPECT_FALSE(pPlayer->m_bAway);
    EXPECT_EQ(pPlayer->m_byEntryState, 1);
    EXPECT_TRUE(pPlayer->m_bEntryLock);
    EXPECT_TRUE(ReceivedBy(0, ID_FAR_PLAYER_LIST).empty());

    Harness().Tick(101); // the wrap is behind, 1501 ms passed
    EXPECT_EQ(pPlayer->m_byEntryState, 0);
    EXPECT_FALSE(pPlayer->m_bEntryLock);
    EXPECT_EQ(ReceivedBy(0, ID_FAR_PLAYER_LIST).size(), 1u);
    Harness().Tick(2499);
    EXPECT_FALSE(pPlayer->m_bAway);
    Harness().Tick(1);
    EXPECT_TRUE(pPlayer->m_bAway);
}
} // namespace
