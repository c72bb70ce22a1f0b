// The messages that accompany movement: projectiles and their impacts, area
// effects, the small relays, the toggle, weapon loss and the client value.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CMessageBuilder.h"
#include "players/CPlayerSync.h"
#include "sync_Fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace
{
class SyncReportsTest : public CSyncTest
{
protected:
    // The sender holds a grenade (base weapon 12: 6000 ms in flight).
    void SetUp() override
    {
        CSyncTest::SetUp();
        SpawnPair();
        m_pFirst->m_byWeapon = 12;
    }

    static void PutVector(RakNet::BitStream& stream, float fX, float fY, float fZ)
    {
        const wire::SWireVector vValue = {fX, fY, fZ};
        stream.Write(vValue);
    }

    void Launch(uint8_t byWeapon, float fX, float fY, float fZ)
    {
        RakNet::BitStream stream;
        stream.Write(static_cast<uint8_t>(ID_PROJECTILE_LAUNCH));
        stream.Write(byWeapon);
        PutVector(stream, fX, fY, fZ);
        PutVector(stream, 0.0f, 1.0f, 0.0f);
        const wire::SWireQuaternion qRotation = {0.0f, 0.0f, 0.0f, 1.0f};
        stream.Write(qRotation);
        Deliver(0, Bytes(stream));
    }

    void Impact(uint16_t usKey, uint16_t usVehicleId = 0)
    {
        RakNet::BitStream stream;
        stream.Write(static_cast<uint8_t>(ID_PROJECTILE_IMPACT));
        stream.Write(usKey);
        PutVector(stream, 5.0f, 0.0f, 10.0f);
        stream.Write(usVehicleId);
        Deliver(0, Bytes(stream));
    }

    void AreaEffect(uint8_t byWeapon)
    {
        RakNet::BitStream stream;
        stream.Write(static_cast<uint8_t>(ID_AREA_EFFECT));
        stream.Write(byWeapon);
        PutVector(stream, 9000.0f, 0.0f, 10.0f);
        PutVector(stream, 1.0f, 2.0f, 3.0f);
        Deliver(0, Bytes(stream));
    }

    std::vector<testclient::SProjectile> ProjectilesTo(int nSlot)
    {
        std::vector<testclient::SProjectile> projectiles;
        for (const auto& received : ReceivedBy(nSlot, wire::SV_PROJECTILE))
        {
            testclient::SProjectile projectile;
            EXPECT_TRUE(testclient::DecodeProjectile(received, projectile));
            projectiles.push_back(projectile);
        }
        return projectiles;
    }
};

TEST_F(SyncReportsTest, AFifthProjectileInFlightIsIgnored)
{
    Harness().Tick(1);
    for (int i = 0; i < 5; ++i)
        Launch(12, 1.0f, 0.0f, 10.0f);
    auto projectiles = ProjectilesTo(1);
    ASSERT_EQ(projectiles.size(), 4u);
    EXPECT_EQ(projectiles[0].uiPlayerId, m_pFirst->GetPlayerId());
    EXPECT_EQ(projectiles[0].usKey, 1);
    EXPECT_EQ(projectiles[3].usKey, 4);
    // The sender is told too, with the same keys.
    EXPECT_EQ(ProjectilesTo(0).size(), 4u);

    // Once one has expired its slot takes the next launch.
    Harness().Tick(6001);
    Launch(12, 1.0f, 0.0f, 10.0f);
    projectiles = ProjectilesTo(1);
    ASSERT_EQ(projectiles.size(), 5u);
    EXPECT_EQ(projectiles[4].usKey, 5);
}

TEST_F(SyncReportsTest, ProjectileMustStartWithin100UnitsFromTheWeaponInHand)
{
    Harness().Tick(1);
    Launch(12, 100.5f, 0.0f, 10.0f);
    EXPECT_THAT(ProjectilesTo(1), IsEmpty());
    Launch(13, 1.0f, 0.0f, 10.0f);
    EXPECT_THAT(ProjectilesTo(1), IsEmpty());
    Launch(12, 100.0f, 0.0f, 10.0f);
    EXPECT_EQ(ProjectilesTo(1).size(), 1u);
    // Not an explosive at all.
    m_pFirst->m_byWeapon = 22;
    Launch(22, 1.0f, 0.0f, 10.0f);
    EXPECT_EQ(ProjectilesTo(1).size(), 1u);
}

TEST_F(SyncReportsTest, ImpactExplodesOnlyAProjectileStillInFlightAndOnlyOnce)
{
    Harness().Tick(1);
    Launch(12, 1.0f, 0.0f, 10.0f);
    Launch(12, 1.0f, 0.0f, 10.0f);
    Peer().ClearSent();

    Impact(9);
    EXPECT_THAT(Peer().SentWithId(wire::SV_EXPLOSION), IsEmpty());
    Impact(1);
    auto explosions = ReceivedBy(1, wire::SV_EXPLOSION);
    ASSERT_EQ(explosions.size(), 1u);
    EXPECT_EQ(explosions[0].payload[0], 0) << "a grenade gives explosion type 0";
    Impact(1);
    EXPECT_EQ(ReceivedBy(1, wire::SV_EXPLOSION).size(), 1u);

    // The second projectile expired before it landed.
    Harness().Tick(6001);
    Peer().ClearSent();
    Impact(2);
    EXPECT_THAT(Peer().SentWithId(wire::SV_EXPLOSION), IsEmpty());
}

TEST_F(SyncReportsTest, AreaEffectOfLongRangeWeaponsAtMostEvery500Ms)
{
    Harness().Tick(501);
    AreaEffect(28);
    AreaEffect(29);
    auto effects = ReceivedBy(1, wire::SV_AREA_EFFECT);
    ASSERT_EQ(effects.size(), 1u);
    EXPECT_EQ(ReceivedBy(0, wire::SV_AREA_EFFECT).size(), 1u);
    testclient::SAreaEffect effect;
    ASSERT_TRUE(testclient::DecodeAreaEffect(effects[0], effect));
    wire::SWireVector vOrigin = effect.vOrigin;
    EXPECT_EQ(vOrigin.x, 1550.0f) << "the origin is clamped to the world";
    EXPECT_EQ(+effect.byWeapon, 28);

    Harness().Tick(501);
    AreaEffect(27);
    EXPECT_EQ(ReceivedBy(1, wire::SV_AREA_EFFECT).size(), 1u);
    AreaEffect(29);
    EXPECT_EQ(ReceivedBy(1, wire::SV_AREA_EFFECT).size(), 2u);
}

// Relays go to the players that see the sender, not back to it.
TEST_F(SyncReportsTest, SmallReportsAreRelayedToTheObservers)
{
    Deliver(0, {ID_PLAYER_RELAY_A, 7, 8});
    Deliver(0, {ID_PLAYER_RELAY_B, 0x01, 0x02, 0x03, 0x04, 5, 6});
    Deliver(0, {ID_PLAYER_RELAY_C, 1, 2, 3});
    testclient::SPlayerBytes bytes;
    ASSERT_EQ(ReceivedBy(1, wire::SV_TWO_BYTE_RELAY).size(), 1u);
    ASSERT_TRUE(testclient::DecodeTwoByteRelay(ReceivedBy(1, wire::SV_TWO_BYTE_RELAY)[0], bytes));
    EXPECT_EQ(bytes.uiPlayerId, m_pFirst->GetPlayerId());
    EXPECT_EQ(bytes.byB, 8);
    testclient::SValueRelay value;
    ASSERT_EQ(ReceivedBy(1, wire::SV_VALUE_RELAY).size(), 1u);
    ASSERT_TRUE(testclient::DecodeValueRelay(ReceivedBy(1, wire::SV_VALUE_RELAY)[0], value));
    EXPECT_EQ(value.uiValue, 0x01020304u);
    EXPECT_EQ(value.byA, 5);
    ASSERT_EQ(ReceivedBy(1, wire::SV_THREE_BYTE_RELAY).size(), 1u);
    ASSERT_TRUE(testclient::DecodeThreeByteRelay(ReceivedBy(1, wire::SV_THREE_BYTE_RELAY)[0], bytes));
    EXPECT_EQ(bytes.byC, 3);
    for (int nId : {wire::SV_TWO_BYTE_RELAY, wire::SV_VALUE_RELAY, wire::SV_THREE_BYTE_RELAY})
        EXPECT_THAT(ReceivedBy(0, nId), IsEmpty());
}

TEST_F(SyncReportsTest, ToggleRaisesAnEventOnlyWhenItChanges)
{
    Deliver(0, {ID_TOGGLE_OFF});
    Deliver(0, {ID_TOGGLE_ON});
    Deliver(0, {ID_TOGGLE_ON});
    Deliver(0, {ID_TOGGLE_OFF});
    EXPECT_THAT(Events("OnPlayerToggle"), ElementsAre("OnPlayerToggleOn 0", "OnPlayerToggleOff 0"));
    EXPECT_FALSE(m_pFirst->m_bClientToggle);
}

TEST_F(SyncReportsTest, WeaponLostIsForgottenWithoutTellingTheClient)
{
    m_pFirst->GiveWeapon(22, 40, false);
    Peer().ClearSent();
    Deliver(0, {ID_WEAPON_LOST, 22});
    EXPECT_EQ(m_pFirst->m_abySlotWeapon[5], 0);
    EXPECT_EQ(m_pFirst->m_ausSlotAmmo[5], 0);
    EXPECT_THAT(ReceivedBy(0, 192), IsEmpty());
}

TEST_F(SyncReportsTest, ClientValueIsStoredForAPlayerAndIgnoredForAnEmptySlot)
{
    RakNet::BitStream stream;
    testclient::EncodeClientValue(stream, 2.5);
    Deliver(0, Bytes(stream));
    EXPECT_EQ(m_pFirst->m_dClientValue, 2.5);
    EXPECT_EQ(F()->GetPlayerClientValue(0), 2.5);
    Peer().ClearSent();
    Deliver(7, Bytes(stream));
    EXPECT_THAT(Peer().Closed(), IsEmpty()) << "no join guard for the client value";
}

TEST_F(SyncReportsTest, EntryLockReleaseLetsOnFootSyncThroughAgain)
{
    m_pFirst->m_bEntryLock = true;
    m_pFirst->m_uiEntryLockExpiry = Server().m_uiNow + 2000;
    Deliver(0, {ID_ENTRY_LOCK_RELEASE});
    Deliver(0, OnFootBytes(0, OnFoot(20.0f, 0.0f, 10.0f)));
    EXPECT_EQ(m_pFirst->m_vPosition.x, 20.0f);
}
} // namespace
