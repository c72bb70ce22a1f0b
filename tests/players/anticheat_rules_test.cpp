// The health, armour and weapon rules: a client may lower what the server
// gave it but not raise it, once it has acknowledged the server's last change
// (or 3000 ms after it). A violation prints its line and marks the player; the
// player pool kicks it at its next processing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/CNetwork.h"
#include "players/CPlayerSync.h"
#include "sync_FakeWorld.h"
#include "sync_Fixture.h"

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

namespace
{
class AntiCheatTest : public CSyncTest
{
protected:
    void SetUp() override
    {
        CSyncTest::SetUp();
        SpawnPair();
        Harness().TakeOutput();
    }

    // Runs the sync through the handler table outside a tick, so that the
    // pool's processing has not yet acted on it.
    void Dispatch(const std::vector<uint8_t>& bytes)
    {
        Server().m_pNetwork->DispatchRaw(0, bytes.data(), static_cast<int>(bytes.size()));
    }

    // The server's health change to 50; the sequence the client must echo.
    uint32_t ServerSetsHealth50()
    {
        Peer().ClearSent();
        F()->SetPlayerHealth(0, 50.0f);
        auto changes = ReceivedBy(0, wire::SV_HEALTH);
        testclient::SSequencedValue change;
        EXPECT_EQ(changes.size(), 1u);
        if (changes.empty() || !testclient::DecodeSequencedValue(changes.back(), change))
            return 0;
        return change.uiSequence;
    }

    wire::SOnFootRecord Reporting(uint8_t byHealth, uint8_t byArmour = 0)
    {
        wire::SOnFootRecord record = OnFoot(0.0f, 0.0f, 10.0f);
        record.byHealth = byHealth;
        record.byArmour = byArmour;
        return record;
    }

    wire::SOnFootRecord Holding(uint8_t byWeapon, uint16_t usAmmo)
    {
        wire::SOnFootRecord record = Reporting(m_pFirst->m_byHealth);
        record.byWeapon = byWeapon;
        record.usAmmo = usAmmo;
        return record;
    }

    // Expects the kick at the next processing: message 178 (kicked), the player gone.
    void ExpectKickedAtNextTick()
    {
        EXPECT_EQ(m_pFirst->m_byPendingRemoval, 1);
        EXPECT_THAT(ReceivedBy(0, wire::SV_KICKED), IsEmpty()) << "no kick inside the handler";
        Harness().Tick();
        auto kicks = ReceivedBy(0, wire::SV_KICKED);
        ASSERT_EQ(kicks.size(), 1u);
        uint8_t byValue = 9;
        ASSERT_TRUE(testclient::DecodeKicked(kicks[0], byValue));
        EXPECT_EQ(byValue, 0);
        EXPECT_EQ(Pool().Get(0), nullptr);
        EXPECT_THAT(Events("OnPlayerDisconnect"), ::testing::ElementsAre("OnPlayerDisconnect 0 2"));
    }
};

TEST_F(AntiCheatTest, HealthRiseIsIgnoredUntilTheChangeIsAcknowledgedThenKicked)
{
    const uint32_t uiSequence = ServerSetsHealth50();
    ASSERT_GT(uiSequence, 0u);
    Dispatch(OnFootBytes(uiSequence - 1, Reporting(100)));
    EXPECT_EQ(m_pFirst->m_byHealth, 50);
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);

    Dispatch(OnFootBytes(uiSequence, Reporting(60)));
    EXPECT_EQ(m_pFirst->m_byHealth, 50);
    EXPECT_THAT(Harness().TakeOutput(),
                HasSubstr("Kicking player 'First' (0), health increased from 50 to 60."));
    ExpectKickedAtNextTick();
}

TEST_F(AntiCheatTest, WithoutAcknowledgementTheRulesApplyAfter3000Ms)
{
    ServerSetsHealth50();
    Harness().Tick(3000);
    Dispatch(OnFootBytes(0, Reporting(60)));
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    Harness().Tick(1);
    Dispatch(OnFootBytes(0, Reporting(60)));
    ExpectKickedAtNextTick();
}

TEST_F(AntiCheatTest, LowerHealthIsStoredOnceTheGraceApplies)
{
    const uint32_t uiSequence = ServerSetsHealth50();
    Dispatch(OnFootBytes(uiSequence - 1, Reporting(20)));
    EXPECT_EQ(m_pFirst->m_byHealth, 50);
    Dispatch(OnFootBytes(uiSequence, Reporting(20)));
    EXPECT_EQ(m_pFirst->m_byHealth, 20);
}

TEST_F(AntiCheatTest, DisabledAntiCheatIgnoresHealthAndArmourRisesButKeepsTheServerValue)
{
    Server().m_bAnticheatDisabled = true;
    const uint32_t uiSequence = ServerSetsHealth50();
    Dispatch(OnFootBytes(uiSequence, Reporting(60, 40)));
    EXPECT_EQ(m_pFirst->m_byHealth, 50);
    EXPECT_EQ(m_pFirst->m_byArmour, 0);
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    EXPECT_THAT(Harness().TakeOutput(), Not(HasSubstr("Kicking")));
    // The weapon rules do not listen to the switch.
    Dispatch(OnFootBytes(uiSequence, Holding(22, 10)));
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 1);
}

TEST_F(AntiCheatTest, ArmourRiseHasItsOwnLine)
{
    Dispatch(OnFootBytes(0, Reporting(100, 25)));
    EXPECT_THAT(Harness().TakeOutput(),
                HasSubstr("Kicking player 'First' (0), armour increased from 0 to 25."));
    ExpectKickedAtNextTick();
}

// From the driver's seat the server holds for the player; a refused seat
// stores nothing.
TEST_F(AntiCheatTest, HealthRiseInAVehicleIsAccepted)
{
    CFakeSyncWorld world;
    world.Install(Server());
    CFakeSyncWorld::SFakeVehicle& vehicle = world.AddVehicle(3, Vector(0.0f, 0.0f, 10.0f));
    vehicle.pVehicle->ReserveSeat(0, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    vehicle.pVehicle->CompleteEntry(0, VEHICLE_DRIVER_SEAT, ENTRY_SEAT_NO_DOOR);
    m_pFirst->m_byHealth = 50;
    wire::SDriverRecord driver = {};
    driver.usVehicleId = 4;
    driver.byHealth = 100;
    Dispatch(DriverBytes(0, driver, wire::SVehicleRecord{}));
    EXPECT_EQ(m_pFirst->m_byHealth, 50);
    driver.usVehicleId = 3;
    Dispatch(DriverBytes(0, driver, wire::SVehicleRecord{}));
    EXPECT_EQ(m_pFirst->m_byHealth, 100);
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    world.Uninstall();
}

TEST_F(AntiCheatTest, AWeaponTheServerNeverGaveIsAKickOnlyWithAmmunition)
{
    Dispatch(OnFootBytes(0, Holding(22, 0)));
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    EXPECT_EQ(m_pFirst->m_byWeaponSlot, 0);
    EXPECT_EQ(m_pFirst->m_byWeapon, 0);
    EXPECT_EQ(m_pFirst->m_abySlotWeapon[5], 0);

    Dispatch(OnFootBytes(0, Holding(22, 10)));
    EXPECT_THAT(Harness().TakeOutput(), HasSubstr("Kicking player 'First' (0), acquired weapon 22."));
    EXPECT_EQ(m_pFirst->m_byWeaponSlot, 0);
    ExpectKickedAtNextTick();
}

TEST_F(AntiCheatTest, MoreAmmunitionThanGivenIsAKickAndTheServerFigureStays)
{
    m_pFirst->GiveWeapon(22, 30, false);
    const uint32_t uiAck = m_pFirst->m_uiChangeSequence;
    Dispatch(OnFootBytes(uiAck, Holding(22, 20)));
    EXPECT_EQ(m_pFirst->m_ausSlotAmmo[5], 20);
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);

    Dispatch(OnFootBytes(uiAck, Holding(22, 50)));
    EXPECT_THAT(Harness().TakeOutput(),
                HasSubstr("Kicking player 'First' (0), weapon 22 ammo increased from 20 to 50."));
    EXPECT_EQ(m_pFirst->m_usAmmo, 20);
    EXPECT_EQ(m_pFirst->m_ausSlotAmmo[5], 20);
    ExpectKickedAtNextTick();
}

// Fists have no ammunition to cheat with; the detonator is never checked.
TEST_F(AntiCheatTest, FistsAndTheDetonatorAreAcceptedWithAnyAmmunition)
{
    Dispatch(OnFootBytes(0, Holding(0, 500)));
    Dispatch(OnFootBytes(0, Holding(34, 999)));
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    EXPECT_EQ(m_pFirst->m_abySlotWeapon[9], 34);
    EXPECT_EQ(m_pFirst->m_ausSlotAmmo[9], 999);
    EXPECT_EQ(m_pFirst->m_byWeaponSlot, 9);
}

TEST_F(AntiCheatTest, WhileAWeaponChangeIsInFlightTheServerViewWins)
{
    m_pFirst->GiveWeapon(22, 30, false);
    Dispatch(OnFootBytes(0, Holding(23, 99)));
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
    EXPECT_EQ(m_pFirst->m_byWeapon, 22);
    EXPECT_EQ(m_pFirst->m_usAmmo, 30);
    EXPECT_EQ(m_pFirst->m_byWeaponSlot, 5);
}

TEST_F(AntiCheatTest, EmptySlotsLoseTheirWeaponAndAnUnknownWeaponSelectsFists)
{
    m_pFirst->m_abySlotWeapon[3] = 17;
    m_pFirst->m_ausSlotAmmo[3] = 0;
    m_pFirst->m_abySlotWeapon[0] = 1;
    m_pFirst->m_ausSlotAmmo[0] = 1;
    Dispatch(OnFootBytes(0, Holding(77, 5)));
    EXPECT_EQ(m_pFirst->m_abySlotWeapon[3], 0);
    EXPECT_EQ(m_pFirst->m_byWeaponSlot, 0);
    EXPECT_EQ(m_pFirst->m_byWeapon, 1);
    EXPECT_EQ(m_pFirst->m_byPendingRemoval, 0);
}
} // namespace
