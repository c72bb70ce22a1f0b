// A player's life as the client drives it: joining, choosing a class, asking
// to spawn, spawning, dying, and the player list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "PlayerTestFixture.h"
#include "net/CNetwork.h"
#include "players/PlayerHandlers.h"
#include "players/PlayerMessages.h"

using ::testing::ElementsAre;

namespace
{
class PlayerLifeTest : public CPlayerTest
{
protected:
    // The identifiers of interest that reached the slot, in order.
    std::vector<int> Only(int nSlot, std::initializer_list<int> ids)
    {
        std::vector<int> result;
        for (int nId : IdsReceivedBy(nSlot))
            if (std::find(ids.begin(), ids.end(), nId) != ids.end())
                result.push_back(nId);
        return result;
    }

    void AddClass(uint8_t byA, uint8_t byB, uint32_t uiColour, const Vector& v, uint8_t byWeapon,
                  uint16_t usAmmo)
    {
        SClassRecord record = {};
        record.byClassByteA = byA;
        record.byClassByteB = byB;
        record.uiColour = uiColour;
        record.fX = v.x;
        record.fY = v.y;
        record.fZ = v.z;
        record.fAngle = 0.5f;
        record.abyWeapon[0] = byWeapon;
        record.ausAmmo[0] = usAmmo;
        ASSERT_GE(Server().AddClass(record), 0);
    }
};

TEST_F(PlayerLifeTest, JoiningPlayerIsToldTheServerTheWorldAndThePlayersAlreadyHere)
{
    ASSERT_NE(Join(0, "Early"), nullptr);
    Peer().ClearSent();
    ASSERT_NE(Join(1, "Newcomer"), nullptr);
    EXPECT_THAT(Only(1, {ID_SERVER_INFO, ID_FLAGS, 170, 171, 172, ID_JOIN_NOTICE}),
                ElementsAre(ID_SERVER_INFO, ID_FLAGS, 170, 171, 172, ID_JOIN_NOTICE));

    testclient::SServerInfo info;
    ASSERT_TRUE(testclient::DecodeServerInfo(ReceivedBy(1, ID_SERVER_INFO)[0], info));
    EXPECT_EQ(info.uiPlayerId, 0x101u);
    EXPECT_EQ(info.fMaxX, 1550.0f);
    EXPECT_EQ(info.fMinX, -2350.0f);
    EXPECT_EQ(info.fMaxY, 1950.0f);
    EXPECT_EQ(info.fMinY, -1950.0f);
    EXPECT_EQ(info.strServerName, "OR:VN Server");
    EXPECT_EQ(info.strPlayerName, "Newcomer");
    EXPECT_TRUE(info.files.empty());
    EXPECT_FALSE(Pool().Get(1)->m_bStoreDownloadPending);

    // Each learns of the other, nobody of itself.
    testclient::SJoinNotice notice;
    auto toNewcomer = ReceivedBy(1, ID_JOIN_NOTICE);
    ASSERT_EQ(toNewcomer.size(), 1u);
    ASSERT_TRUE(testclient::DecodeJoinNotice(toNewcomer[0], notice));
    EXPECT_EQ(notice.uiPlayerId, 0x100u);
    EXPECT_EQ(notice.strName, "Early");
    EXPECT_EQ(notice.uiColour, 0xFFFFFFFFu);
    EXPECT_EQ(notice.usFlags, 0x1063);
    auto toEarly = ReceivedBy(0, ID_JOIN_NOTICE);
    ASSERT_EQ(toEarly.size(), 1u);
    ASSERT_TRUE(testclient::DecodeJoinNotice(toEarly[0], notice));
    EXPECT_EQ(notice.uiPlayerId, 0x101u);
    EXPECT_EQ(notice.strName, "Newcomer");
    for (const auto& sent : Peer().SentWithId(ID_JOIN_NOTICE))
        EXPECT_EQ(sent.nReliability, 3);
    EXPECT_THAT(Harness().TakeOutput(), ::testing::HasSubstr("Player 'Newcomer' ID 1 connected."));
}

TEST_F(PlayerLifeTest, WithoutClassesTheRequestPassesTheRawDirection)
{
    ASSERT_NE(Join(0, "Chooser"), nullptr);
    F()->SetUseClasses(0);
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {165, 1});
    Send(0, {165, 255});
    Send(0, {165, 7});
    EXPECT_THAT(
        Events("OnPlayerRequestClass"),
        ElementsAre("OnPlayerRequestClass 0 1", "OnPlayerRequestClass 0 255", "OnPlayerRequestClass 0 7"));
    EXPECT_EQ(ReceivedBy(0, ID_LIFECYCLE_REPLY).size(), 3u);
    EXPECT_TRUE(ReceivedBy(0, ID_CAMERA).empty());
    EXPECT_EQ(Server().m_nClassCount, 0);
    // An empty request is dropped.
    Send(0, {165});
    EXPECT_EQ(ReceivedBy(0, ID_LIFECYCLE_REPLY).size(), 3u);
}

TEST_F(PlayerLifeTest, FirstRequestWithClassesOnButNoneDefinedCreatesTheDefaultClass)
{
    ASSERT_NE(Join(0, "Chooser"), nullptr);
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {165, 1});
    ASSERT_EQ(Server().m_nClassCount, 1);
    const SClassRecord* pClass = Server().GetClass(0);
    ASSERT_NE(pClass, nullptr);
    // Packed record: its fields are read by value.
    const uint32_t uiColour = pClass->uiColour;
    const float fX = pClass->fX, fY = pClass->fY, fZ = pClass->fZ;
    const uint16_t usAmmo = pClass->ausAmmo[0];
    EXPECT_EQ(uiColour, 0xFFAA5500u);
    EXPECT_EQ(fX, -657.786f);
    EXPECT_EQ(fY, 762.576f);
    EXPECT_EQ(fZ, 11.601f);
    EXPECT_EQ(pClass->abyWeapon[0], 17);
    EXPECT_EQ(usAmmo, 100);
    EXPECT_EQ(pClass->abyWeapon[1], 0);
    EXPECT_THAT(Events("OnPlayerRequestClass"), ElementsAre("OnPlayerRequestClass 0 0"));
    EXPECT_THAT(Only(0, {ID_CAMERA, ID_POSITION, ID_CLASS_BYTE_B, ID_CLASS_BYTE_A, ID_COLOUR, ID_GIVE_WEAPON,
                         ID_LIFECYCLE_REPLY}),
                ElementsAre(ID_CAMERA, ID_POSITION, ID_CLASS_BYTE_B, ID_CLASS_BYTE_A, ID_COLOUR,
                            ID_GIVE_WEAPON, ID_LIFECYCLE_REPLY));
    // The selection screen of the server's settings.
    testclient::SCamera camera;
    ASSERT_TRUE(testclient::DecodeCamera(ReceivedBy(0, ID_CAMERA)[0], camera));
    EXPECT_EQ(Value(camera.vPosition.x), 477.508f);
    EXPECT_EQ(Value(camera.vLookAt.y), -1717.149f);
    wire::SWireVector vStand;
    ASSERT_TRUE(testclient::DecodeVector(ReceivedBy(0, ID_POSITION)[0], vStand));
    EXPECT_EQ(Value(vStand.x), 475.755f);
    CPlayer* pPlayer = Pool().Get(0);
    EXPECT_EQ(pPlayer->m_uiColour, 0xAA5500u);
    EXPECT_EQ(pPlayer->m_abySlotWeapon[3], 17);
    EXPECT_EQ(pPlayer->m_ausSlotAmmo[3], 100);
}

TEST_F(PlayerLifeTest, ClassRequestsStepThroughTheClassesBothWays)
{
    AddClass(1, 11, 0x111111, Vector(1, 1, 1), 0, 0);
    AddClass(2, 12, 0x222222, Vector(2, 2, 2), 0, 0);
    AddClass(3, 13, 0x333333, Vector(3, 3, 3), 0, 0);
    ASSERT_NE(Join(0, "Chooser"), nullptr);
    Host().ClearLog();
    for (uint8_t byDirection : {1, 1, 1, 255, 0, 255})
        Send(0, {165, byDirection});
    EXPECT_THAT(Events("OnPlayerRequestClass"),
                ElementsAre("OnPlayerRequestClass 0 1", "OnPlayerRequestClass 0 2",
                            "OnPlayerRequestClass 0 0", "OnPlayerRequestClass 0 2",
                            "OnPlayerRequestClass 0 2", "OnPlayerRequestClass 0 1"));
    EXPECT_EQ(Pool().Get(0)->m_byClassIndex, 1);
    EXPECT_EQ(F()->GetPlayerClass(0), 1);
    EXPECT_EQ(F()->GetPlayerClass(7), 0);
    EXPECT_EQ(F()->GetPlayerClassByteA(0), 2);
    EXPECT_EQ(F()->GetPlayerClassByteB(0), 12);
    EXPECT_EQ(Server().m_nClassCount, 3);
}

TEST_F(PlayerLifeTest, SpawnRequestIsPermittedUnlessRefusedDownloadingOrSpawned)
{
    CPlayer* pPlayer = Join(0, "Spawner");
    ASSERT_NE(pPlayer, nullptr);
    pPlayer->SetHealth(50, false);
    pPlayer->SetArmour(50, false);
    Peer().ClearSent();
    Host().ClearLog();
    Send(0, {166});
    EXPECT_THAT(Only(0, {ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY, ID_HEALTH, ID_ARMOUR}),
                ElementsAre(ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY));
    EXPECT_EQ(pPlayer->m_byHealth, 100);
    EXPECT_EQ(pPlayer->m_byArmour, 0);
    EXPECT_EQ(Events("OnPlayerRequestSpawn", 1).size(), 1u);

    // A store download still running: only the reply.
    pPlayer->m_bStoreDownloadPending = true;
    Peer().ClearSent();
    Send(0, {166});
    EXPECT_THAT(Only(0, {ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY}), ElementsAre(ID_LIFECYCLE_REPLY));
    pPlayer->m_bStoreDownloadPending = false;

    // One refusal is enough, and every plugin is still asked.
    Host().Recorder(0)->answers[8] = 0;
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {166});
    EXPECT_THAT(Only(0, {ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY}), ElementsAre(ID_LIFECYCLE_REPLY));
    EXPECT_EQ(Events("OnPlayerRequestSpawn", 1).size(), 1u);
    Host().Recorder(0)->answers[8] = 1;

    // Already spawned: only the reply.
    Send(0, {166});
    Send(0, {167});
    Peer().ClearSent();
    Send(0, {166});
    EXPECT_THAT(Only(0, {ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY}), ElementsAre(ID_LIFECYCLE_REPLY));

    // Dead within a second of that spawn: only the reply, until the second is over.
    Send(0, {168, 1, 255, 0});
    Harness().Tick(SPAWN_REPEAT_INTERVAL - 1);
    Peer().ClearSent();
    Send(0, {166});
    Send(0, {167});
    EXPECT_FALSE(pPlayer->m_bSpawned);
    Harness().Tick(1);
    Send(0, {166});
    EXPECT_THAT(Only(0, {ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY}),
                ElementsAre(ID_LIFECYCLE_REPLY, ID_PERMIT_SPAWN, ID_LIFECYCLE_REPLY));
}

TEST_F(PlayerLifeTest, SpawnAppliesTheSelectedClass)
{
    AddClass(5, 6, 0xFF102030, Vector(100.0f, 200.0f, 30.0f), 26, 300);
    CPlayer* pPlayer = Join(0, "Spawner");
    ASSERT_NE(pPlayer, nullptr);
    pPlayer->GiveWeapon(22, 10, false);
    Send(0, {166});
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {167});
    EXPECT_TRUE(pPlayer->m_bSpawned);
    EXPECT_FALSE(pPlayer->m_bNeedsResync);
    EXPECT_EQ(pPlayer->m_vPosition.x, 100.0f);
    EXPECT_EQ(pPlayer->m_fAngle, 0.5f);
    EXPECT_EQ(pPlayer->m_byClassByteA, 5);
    EXPECT_EQ(pPlayer->m_byClassByteB, 6);
    EXPECT_EQ(pPlayer->m_uiColour, 0x102030u);
    // The old weapons are gone; the class's weapon is given unarmed.
    EXPECT_EQ(pPlayer->m_abySlotWeapon[5], 0);
    EXPECT_EQ(pPlayer->m_abySlotWeapon[6], 26);
    EXPECT_EQ(pPlayer->m_ausSlotAmmo[6], 300);
    testclient::SGiveWeapon give;
    ASSERT_TRUE(testclient::DecodeGiveWeapon(ReceivedBy(0, ID_GIVE_WEAPON).back(), give));
    EXPECT_EQ(give.byArmed, 0);
    EXPECT_THAT(
        Only(0, {ID_POSITION, ID_ANGLE, ID_CLASS_BYTE_B, ID_CLASS_BYTE_A, ID_COLOUR, ID_GIVE_WEAPON}),
        ElementsAre(ID_POSITION, ID_ANGLE, ID_CLASS_BYTE_B, ID_CLASS_BYTE_A, ID_COLOUR, ID_GIVE_WEAPON));
    EXPECT_EQ(Events("OnPlayerSpawn").size(), 1u);
    EXPECT_EQ(pPlayer->m_GridNode.pEntity, pPlayer);
}

TEST_F(PlayerLifeTest, SpawnWithClassesOnButNoneDefinedStillRaisesTheEvent)
{
    CPlayer* pPlayer = Join(0, "Spawner");
    ASSERT_NE(pPlayer, nullptr);
    Send(0, {166});
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {167});
    EXPECT_TRUE(pPlayer->m_bSpawned);
    EXPECT_TRUE(ReceivedBy(0, ID_POSITION).empty());
    EXPECT_THAT(Events("OnPlayerSpawn"), ElementsAre("OnPlayerSpawn 0"));
}

TEST_F(PlayerLifeTest, DeathIsBroadcastAndTakesThePlayerOutOfPlay)
{
    CPlayer* pVictim = Spawned(0, "Victim", Vector(5.0f, 5.0f, 5.0f));
    ASSERT_NE(pVictim, nullptr);
    ASSERT_NE(Join(1, "Killer"), nullptr);
    pVictim->m_auiProjectileExpiry[2] = 999999;
    Host().ClearLog();
    Peer().ClearSent();
    Send(0, {168, 17, 1, 6});
    EXPECT_FALSE(pVictim->m_bSpawned);
    EXPECT_TRUE(pVictim->m_bNeedsResync);
    EXPECT_EQ(pVictim->m_byState, 8);
    EXPECT_EQ(pVictim->m_auiProjectileExpiry[2], 0u);
    EXPECT_EQ(pVictim->m_GridNode.pEntity, nullptr);
    EXPECT_THAT(Events("OnPlayer"), ElementsAre("OnPlayerStateChange 0 1 8", "OnPlayerDeath 0 1 17 6"));
    for (int nSlot : {0, 1})
    {
        auto deaths = ReceivedBy(nSlot, ID_DEATH_NOTICE);
        ASSERT_EQ(deaths.size(), 1u);
        testclient::SDeathNotice death;
        ASSERT_TRUE(testclient::DecodeDeathNotice(deaths[0], death));
        EXPECT_EQ(death.uiPlayerId, 0x100u);
        EXPECT_EQ(death.byReason, 17);
        EXPECT_EQ(death.byKillerSlot, 1);
        EXPECT_EQ(death.byBodyPart, 6);
    }
    EXPECT_FALSE(ReceivedBy(1, ID_CHAT_LINE).empty());

    // No killer in the slot: the plugins see 255; a short report is dropped.
    Harness().Tick(SPAWN_REPEAT_INTERVAL);
    Send(0, {166});
    Send(0, {167});
    Host().ClearLog();
    Send(0, {168, 43, 77, 0});
    EXPECT_THAT(Events("OnPlayerDeath"), ElementsAre("OnPlayerDeath 0 255 43 0"));
    Send(0, {168, 1, 2});
    EXPECT_EQ(Events("OnPlayerDeath").size(), 1u);
}

TEST_F(PlayerLifeTest, PlayerListShowsAddressesToAdministratorsOnly)
{
    ASSERT_NE(Join(0, "Admin"), nullptr);
    ASSERT_NE(Join(3, "Other"), nullptr);
    Peer().SetPing(0, 25);
    Peer().SetPing(3, 70);
    F()->SetPlayerScore(3, -9);
    Peer().ClearSent();
    Send(3, {158});
    auto lists = ReceivedBy(3, ID_PLAYER_LIST);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(Peer().SentTo(3, ID_PLAYER_LIST)[0].nReliability, 2);
    testclient::SPlayerList list;
    ASSERT_TRUE(testclient::DecodePlayerList(lists[0], list));
    EXPECT_EQ(list.byCount, 2);
    EXPECT_FALSE(list.bAdmin);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].bySlot, 0);
    EXPECT_EQ(list.entries[0].uiPing, 25u);
    EXPECT_EQ(list.entries[1].bySlot, 3);
    EXPECT_EQ(list.entries[1].nScore, -9);
    EXPECT_EQ(list.entries[1].uiPing, 70u);
    EXPECT_EQ(lists[0].payload.size(), 2u + 2u * 9u);

    F()->SetPlayerAdmin(0, 1);
    Send(0, {158});
    lists = ReceivedBy(0, ID_PLAYER_LIST);
    ASSERT_EQ(lists.size(), 1u);
    ASSERT_TRUE(testclient::DecodePlayerList(lists[0], list));
    EXPECT_TRUE(list.bAdmin);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_TRUE(list.entries[1].bHasAddress);
    EXPECT_EQ(list.entries[1].uiAddress, Server().m_pNetwork->GetAddressBinary(3));
    EXPECT_EQ(lists[0].payload.size(), 2u + 2u * 13u);
}

TEST_F(PlayerLifeTest, LifecycleMessagesFromAConnectionThatHasNotJoinedAreNotProcessed)
{
    Harness().Connect(4);
    Host().ClearLog();
    Peer().ClearSent();
    Send(4, {166});
    EXPECT_TRUE(Events("OnPlayerRequestSpawn").empty());
    EXPECT_TRUE(ReceivedBy(4, ID_LIFECYCLE_REPLY).empty());
    EXPECT_THAT(Harness().TakeOutput(),
                ::testing::HasSubstr("tried to send a non-join packet when not yet joined"));
}
// The text block reaches the plugins as a text: the 16-bit length first, the
// bytes cut at 15000, and a block shorter than its length dropped.
TEST_F(PlayerLifeTest, ClientTextReachesPluginsAndShortBlocksAreDropped)
{
    ASSERT_NE(Join(0, "Writer"), nullptr);
    size_t nLongest = 0;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t*, const char* szText)
                   {
                       if (nSlot == 33 && szText)
                           nLongest = std::max(nLongest, strlen(szText));
                   });
    Host().ClearLog();
    Send(0, {155, 0, 5, 'h', 'e', 'l', 'l', 'o'});
    Send(0, {155, 0, 9, 'c', 'u', 't'});
    Send(0, {155, 0});
    std::vector<uint8_t> long_block = {155, 0x3A, 0x99};
    long_block.insert(long_block.end(), 15001, 'x');
    Harness().Deliver(0, long_block);
    auto events = Events("OnPlayerClientText");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], "OnPlayerClientText 0 [hello]");
    EXPECT_EQ(events[1].rfind("OnPlayerClientText 0 [xxx", 0), 0u);
    EXPECT_EQ(nLongest, 15000u);
}

// The messages whose owners do not act on them yet still need a joined sender.
TEST_F(PlayerLifeTest, UnusedClientMessagesStillApplyTheJoinedGuard)
{
    Harness().Connect(4);
    Harness().TakeOutput();
    Send(4, {184, 1, 2});
    EXPECT_THAT(
        Harness().TakeOutput(),
        ::testing::HasSubstr("Kicking player ID 4, tried to send a non-join packet when not yet joined."));
}
} // namespace
