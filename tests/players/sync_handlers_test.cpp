// On-foot and aim sync: what is stored, the events and their order, the relay
// of the newest state, and what survives a plugin kicking the player.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "players/CPlayerSync.h"
#include "sync_Fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
// Callback slots of the events a sync raises.
constexpr int EV_UPDATE = 11;
constexpr int EV_AWAY = 31;
constexpr int EV_STATE = 36;
constexpr int EV_SYNC_CODE = 37;
constexpr int EV_FLAG0 = 38;
constexpr int EV_FLAG1 = 39;
constexpr int EV_KEYS = 40;

class SyncHandlersTest : public CSyncTest
{
};

TEST_F(SyncHandlersTest, TwoSyncsInOneTickGiveOneRelayWithTheSecondState)
{
    SpawnPair();
    Queue(0, OnFootBytes(0, OnFoot(1.0f, 2.0f, 3.0f)));
    Queue(0, OnFootBytes(0, OnFoot(4.0f, 5.0f, 6.0f)));
    Harness().Tick();

    auto relays = OnFootRelaysTo(1);
    ASSERT_EQ(relays.size(), 1u);
    wire::SWireVector vPosition = relays[0].onFoot.vPosition;
    EXPECT_EQ(relays[0].bySlot, 0);
    EXPECT_FLOAT_EQ(vPosition.x, 4.0f);
    EXPECT_FLOAT_EQ(vPosition.z, 6.0f);
    EXPECT_THAT(OnFootRelaysTo(0), IsEmpty());
    // The relay went out once; the next tick has nothing new to relay.
    Harness().Tick();
    EXPECT_EQ(OnFootRelaysTo(1).size(), 1u);
    for (const auto& sent : Peer().SentWithId(wire::SV_ONFOOT_RELAY))
        EXPECT_EQ(sent.nReliability, 0);
}

// The tick hands its relays to the network at once: a flush follows the last
// relay of the player pass, before the tick ends, and every flush follows
// something sent since the one before.
TEST_F(SyncHandlersTest, TheTickFlushesTheRelaysItQueued)
{
    SpawnPair();
    Queue(0, OnFootBytes(0, OnFoot(1.0f, 2.0f, 3.0f)));
    Queue(1, OnFootBytes(0, OnFoot(9.0f, 2.0f, 3.0f)));
    Harness().Tick();

    const std::vector<nettest::SSentMessage>& sent = Peer().Sent();
    size_t nLastRelay = 0;
    for (size_t i = 0; i < sent.size(); ++i)
        if (sent[i].Id() == wire::SV_ONFOOT_RELAY)
            nLastRelay = i + 1;
    ASSERT_EQ(OnFootRelaysTo(0).size() + OnFootRelaysTo(1).size(), 2u);
    EXPECT_TRUE(std::any_of(Peer().Flushes().begin(), Peer().Flushes().end(),
                            [&](size_t nSentBefore) { return nSentBefore >= nLastRelay; }));
    size_t nPrevious = 0;
    for (size_t nSentBefore : Peer().Flushes())
    {
        EXPECT_GT(nSentBefore, nPrevious);
        nPrevious = nSentBefore;
    }
}

// The relay is built from the stored state: health the client may not raise
// and ammunition from the slot in hand, not the figures it reported.
TEST_F(SyncHandlersTest, RelayCarriesTheStoredRatherThanTheReportedState)
{
    SpawnPair();
    Server().m_bAnticheatDisabled = true;
    m_pFirst->m_byHealth = 40;
    m_pFirst->GiveWeapon(22, 50, false);
    wire::SOnFootRecord record = OnFoot(1.0f, 1.0f, 1.0f);
    record.byHealth = 90;
    record.byWeapon = 22;
    record.usAmmo = 30;
    record.byByte37 = 0x5A;
    Deliver(0, OnFootBytes(m_pFirst->m_uiChangeSequence, record));

    auto relays = OnFootRelaysTo(1);
    ASSERT_EQ(relays.size(), 1u);
    EXPECT_EQ(+relays[0].onFoot.byHealth, 40);
    EXPECT_EQ(+relays[0].onFoot.byWeapon, 22);
    EXPECT_EQ(+relays[0].onFoot.usAmmo, 30);
    EXPECT_EQ(+relays[0].onFoot.byByte37, 0x5A);
}

TEST_F(SyncHandlersTest, AimSyncRaisesStateOneThenTwoAndOneUpdateOfKindOne)
{
    SpawnPair();
    wire::SAimRecord aim = {{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f, 6.0f}};
    Deliver(0, AimBytes(0, OnFoot(1.0f, 1.0f, 1.0f), aim));

    EXPECT_THAT(Events("OnPlayerStateChange"),
                ElementsAre("OnPlayerStateChange 0 1 1", "OnPlayerStateChange 0 1 2"));
    EXPECT_THAT(Events("OnPlayerUpdate"), ElementsAre("OnPlayerUpdate 0 1"));
    auto received = ReceivedBy(1, wire::SV_AIM_RELAY);
    ASSERT_EQ(received.size(), 1u);
    testclient::SAimRelay relay;
    ASSERT_TRUE(testclient::DecodeAimRelay(received[0], relay));
    wire::SWireVector vAim2 = relay.aim.vAim2;
    EXPECT_FLOAT_EQ(vAim2.x, 4.0f);
    EXPECT_FLOAT_EQ(vAim2.z, 6.0f);
}

TEST_F(SyncHandlersTest, ChangeEventsComeInOrderKeysCodeFlag0Flag1BeforeTheValuesAreStored)
{
    SpawnPair();
    wire::SOnFootRecord record = OnFoot(0.0f, 0.0f, 10.0f);
    record.usKeys = 0x11;
    record.bySyncCode = 7;
    record.bySyncFlags = 0x03;
    Deliver(0, OnFootBytes(0, record));
    std::vector<std::string> changes;
    for (const std::string& strEvent : Events("OnPlayer"))
        if (strEvent.find("Change") != std::string::npos && strEvent.find("State") == std::string::npos)
            changes.push_back(strEvent);
    EXPECT_THAT(changes, ElementsAre("OnPlayerKeysChange 0 0 17", "OnPlayerSyncCodeChange 0 0 7",
                                     "OnPlayerSyncFlag0Change 0 1", "OnPlayerSyncFlag1Change 0 1"));

    // Unchanged values raise nothing; a cleared bit 1 reports 0.
    Host().ClearLog();
    record.bySyncFlags = 0x01;
    Deliver(0, OnFootBytes(0, record));
    EXPECT_THAT(Events("OnPlayerSync"), ElementsAre("OnPlayerSyncFlag1Change 0 0"));
    EXPECT_THAT(Events("OnPlayerKeysChange"), IsEmpty());
}

TEST_F(SyncHandlersTest, KeyBit0x200SurvivesOnFootOnlyWithOptionBit0x40)
{
    SpawnPair();
    m_pFirst->m_usFlags &= static_cast<uint16_t>(~0x0040);
    wire::SOnFootRecord record = OnFoot(0.0f, 0.0f, 10.0f);
    record.usKeys = 0x0201;
    Deliver(0, OnFootBytes(0, record));
    EXPECT_EQ(m_pFirst->m_usKeys, 0x0001);
    EXPECT_THAT(Events("OnPlayerKeysChange"), ElementsAre("OnPlayerKeysChange 0 0 513"));
    // Holding the key is no change.
    Deliver(0, OnFootBytes(0, record));
    EXPECT_THAT(Events("OnPlayerKeysChange"), ElementsAre("OnPlayerKeysChange 0 0 513"));

    m_pFirst->SetFlag(0x0040, true);
    Deliver(0, OnFootBytes(0, record));
    EXPECT_EQ(m_pFirst->m_usKeys, 0x0201);
}

TEST_F(SyncHandlersTest, PositionIsClampedAndTheStampOnlyEverRises)
{
    SpawnPair();
    Harness().Tick(50);
    wire::SOnFootRecord record = OnFoot(std::numeric_limits<float>::quiet_NaN(), 5000.0f, -500.0f);
    Deliver(0, OnFootBytes(9, record));
    EXPECT_EQ(m_pFirst->m_vPosition.x, 0.0f);
    EXPECT_EQ(m_pFirst->m_vPosition.y, 1950.0f);
    EXPECT_EQ(m_pFirst->m_vPosition.z, -100.0f);
    EXPECT_EQ(m_pFirst->m_uiClientAck, 9u);
    EXPECT_EQ(m_pFirst->m_uiLastSyncTime, Server().m_uiNow);
    Deliver(0, OnFootBytes(4, record));
    EXPECT_EQ(m_pFirst->m_uiClientAck, 9u);
}

// A dead player's sync and an on-foot sync during the entry lock only count
// as a sign of life.
TEST_F(SyncHandlersTest, SyncOfAnUnspawnedOrEnteringPlayerChangesNoState)
{
    SpawnPair();
    m_pFirst->m_bEntryLock = true;
    Deliver(0, OnFootBytes(3, OnFoot(50.0f, 0.0f, 10.0f)));
    m_pSecond->m_bSpawned = false;
    Deliver(1, OnFootBytes(3, OnFoot(50.0f, 0.0f, 10.0f)));

    for (CPlayer* pPlayer : {m_pFirst, m_pSecond})
    {
        EXPECT_EQ(pPlayer->m_uiClientAck, 3u);
        EXPECT_NE(pPlayer->m_vPosition.x, 50.0f);
    }
    EXPECT_THAT(Events("OnPlayerUpdate"), IsEmpty());
    EXPECT_THAT(Peer().SentWithId(wire::SV_ONFOOT_RELAY), IsEmpty());
}

TEST_F(SyncHandlersTest, SyncEndsTheAwayStateFirst)
{
    SpawnPair();
    Harness().Tick(4001);
    ASSERT_TRUE(m_pFirst->m_bAway);
    Host().ClearLog();
    Deliver(0, OnFootBytes(0, OnFoot(0.0f, 0.0f, 10.0f)));
    auto events = Events("OnPlayer");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "OnPlayerAwayChange 0 0");
    EXPECT_FALSE(m_pFirst->m_bAway);
}

// Every message one byte short of its payload is dropped whole.
TEST_F(SyncHandlersTest, TruncatedMessagesAreDropped)
{
    SpawnPair();
    const std::vector<std::pair<int, int>> sizes = {{147, 44}, {148, 68}, {149, 64}, {150, 9},
                                                    {169, 2},  {170, 6},  {173, 3},  {174, 25},
                                                    {175, 41}, {176, 16}, {177, 1},  {186, 8}};
    for (const auto& [nId, nSize] : sizes)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(nSize), 0x41);
        bytes.insert(bytes.begin(), static_cast<uint8_t>(nId));
        bytes.pop_back();
        Deliver(0, bytes);
    }
    EXPECT_EQ(m_pFirst->m_uiClientAck, 0u);
    EXPECT_EQ(m_pFirst->m_dClientValue, 0.0);
    EXPECT_THAT(Events("OnPlayer"), IsEmpty());
    EXPECT_EQ(Pool().Get(0), m_pFirst);
    for (int nId : {147, 148, 149, 150, 164, 168, 169, 198, 199})
        EXPECT_THAT(Peer().SentWithId(nId), IsEmpty()) << nId;
}

TEST_F(SyncHandlersTest, SyncFromAConnectionThatHasNotJoinedIsKicked)
{
    Harness().Connect(5);
    Peer().ClearSent();
    Deliver(5, OnFootBytes(0, OnFoot(0.0f, 0.0f, 0.0f)));
    ASSERT_EQ(Peer().Closed().size(), 1u);
    EXPECT_EQ(Peer().Closed()[0].nSlot, 5);
    EXPECT_EQ(Server().GetConnectionState(5), CONNECTION_NONE);
}

// A plugin may kick the player from inside any event a sync raises; the
// handler must stop there: the next event the plugins see is the disconnect.
class SyncKickTest : public SyncHandlersTest,
                     public ::testing::WithParamInterface<std::pair<int, const char*>>
{
};

TEST_P(SyncKickTest, PlayerKickedInsideAnEventIsLeftAlone)
{
    SpawnPair();
    Harness().Tick(4001);
    m_pFirst->m_usFlags |= 0x0040;
    Host().ClearLog();
    KickOn(GetParam().first, 0);
    wire::SOnFootRecord record = OnFoot(3.0f, 0.0f, 10.0f);
    record.usKeys = 0x0201;
    record.bySyncCode = 1;
    record.bySyncFlags = 0x03;
    Deliver(0, AimBytes(0, record, wire::SAimRecord{}));

    EXPECT_EQ(Pool().Get(0), nullptr);
    auto events = Events("OnPlayer");
    auto kicked =
        std::find_if(events.begin(), events.end(),
                     [](const std::string& strEvent) { return strEvent.rfind(GetParam().second, 0) == 0; });
    ASSERT_NE(kicked, events.end());
    ASSERT_NE(kicked + 1, events.end());
    EXPECT_EQ(kicked[1].rfind("OnPlayerDisconnect 0", 0), 0u) << kicked[1];
    EXPECT_EQ(Events("OnPlayerDisconnect").size(), 1u);
    Harness().Tick();
    EXPECT_THAT(Peer().SentWithId(wire::SV_AIM_RELAY), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(EverySyncEvent, SyncKickTest,
                         ::testing::Values(std::make_pair(EV_AWAY, "OnPlayerAwayChange"),
                                           std::make_pair(EV_KEYS, "OnPlayerKeysChange"),
                                           std::make_pair(EV_SYNC_CODE, "OnPlayerSyncCodeChange"),
                                           std::make_pair(EV_FLAG0, "OnPlayerSyncFlag0Change"),
                                           std::make_pair(EV_FLAG1, "OnPlayerSyncFlag1Change"),
                                           std::make_pair(EV_STATE, "OnPlayerStateChange"),
                                           std::make_pair(EV_UPDATE, "OnPlayerUpdate")));

} // namespace
