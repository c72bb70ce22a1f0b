// Objects and pickups end to end: the real server binary with the world_e2e
// game mode, one spawned protocol test client that walks around them,
// collects pickups and reports shots.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "CTestClient.h"
#include "WorldMessages.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using namespace testclient;

namespace
{
constexpr const char* kHost = "127.0.0.1";

wire::SOnFootRecord At(float fX, float fY, float fZ, uint8_t byHealth = 100)
{
    wire::SOnFootRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.byHealth = byHealth;
    return record;
}

class WorldE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_Folder.File("plugins"));
        std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/world_e2e.so",
                                        m_Folder.File("plugins/world_e2e.so"));
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nplugins world_e2e\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
        ASSERT_TRUE(m_Client.Connect(kHost, static_cast<uint16_t>(m_nPort)) && m_Client.Join("Walker"));
        m_Client.SendRequestSpawn();
        ASSERT_TRUE(m_Client.WaitFor(wire::SV_PERMIT_SPAWN, 3000));
        ASSERT_TRUE(m_Client.SendSpawned());
        Walk(0.0f, 0.0f);
        m_Client.Clear();
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    void Walk(float fX, float fY, uint8_t byHealth = 100)
    {
        ASSERT_TRUE(m_Client.SendOnFootSync(0, At(fX, fY, 10.0f, byHealth)));
        m_Client.Pump(50);
    }

    // Sends a game mode command and waits for the line it prints back.
    void Command(const std::string& strCommand, const std::string& strReply)
    {
        ASSERT_TRUE(m_Client.SendCommand(strCommand));
        ASSERT_TRUE(m_Server.WaitForOutput("e2e: " + strReply, 3000)) << m_Server.Output();
    }

    std::optional<SPickupCreate> WaitForPickup(uint32_t uiTimeoutMs = 2000)
    {
        auto received = m_Client.WaitFor(SV_PICKUP_CREATE, uiTimeoutMs);
        SPickupCreate pickup;
        if (!received || !DecodePickupCreate(*received, pickup))
            return std::nullopt;
        return pickup;
    }

    void Claim(uint32_t uiKey)
    {
        ASSERT_TRUE(m_Client.SendRaw(PickupClaimBytes(uiKey)));
        m_Client.Pump(200);
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    CTestClient m_Client;
};

// The object streams in within 240 units, stays until beyond 260, and shot
// and touch reports count only while the reporter holds it.
TEST_F(WorldE2eTest, ObjectStreamsWithItsRadiiAndReportsCountOnlyWhileHeld)
{
    Command("object 1337 0 100 10", "object 0");
    auto created = m_Client.WaitFor(SV_OBJECT_CREATE, 2000);
    ASSERT_TRUE(created);
    SObjectCreate object;
    ASSERT_TRUE(DecodeObjectCreate(*created, object));
    EXPECT_EQ(object.usId, 0);
    EXPECT_EQ(object.usModel, 1337);
    EXPECT_EQ(object.vPosition.y, 100.0f);
    EXPECT_EQ(object.qRotation.w, 1.0f);
    EXPECT_EQ(object.byMotion, 0);

    ASSERT_TRUE(m_Client.SendRaw(ObjectShotBytes(0, 24)));
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: shot 0 0 24", 2000));
    ASSERT_TRUE(m_Client.SendRaw(ObjectTouchedBytes(0)));
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: touched 0 0", 2000));

    // 250 units away: between the radii, so it stays.
    Walk(0.0f, -150.0f);
    EXPECT_TRUE(m_Client.NoneWithin(SV_OBJECT_DESTROY, 1500));
    Walk(0.0f, -165.0f);
    ASSERT_TRUE(m_Client.WaitFor(SV_OBJECT_DESTROY, 2500));
    ASSERT_TRUE(m_Client.SendRaw(ObjectShotBytes(0, 31)));
    m_Client.Pump(300);
    EXPECT_EQ(m_Server.Output().find("e2e: shot 0 0 31"), std::string::npos);
    Walk(0.0f, -145.0f);
    EXPECT_TRUE(m_Client.NoneWithin(SV_OBJECT_CREATE, 1500));
    Walk(0.0f, -135.0f);
    ASSERT_TRUE(m_Client.WaitFor(SV_OBJECT_CREATE, 2500));
}

// A viewer who arrives halfway through a 4000 ms move is told where the
// object is now and only what is left of the move.
TEST_F(WorldE2eTest, LateViewerOfAMoveGetsTheRemainingTime)
{
    Walk(0.0f, -600.0f);
    Command("object 1337 0 0 10", "object 0");
    const uint32_t uiStart = m_Client.NowMs();
    Command("move 0 0 200 10 4000", "move 1");
    m_Client.Pump(1800);
    Walk(0.0f, 0.0f);
    auto created = m_Client.WaitFor(SV_OBJECT_CREATE, 2500);
    ASSERT_TRUE(created);
    const uint32_t uiElapsed = created->timeMs - uiStart;
    SObjectCreate object;
    ASSERT_TRUE(DecodeObjectCreate(*created, object));
    ASSERT_EQ(object.byMotion, 1);
    EXPECT_EQ(object.vMoveTo.y, 200.0f);
    EXPECT_NEAR(static_cast<double>(object.uiMoveRemaining), 4000.0 - uiElapsed, 300.0);
    EXPECT_GT(object.uiMoveRemaining, 800u);
    EXPECT_LT(object.uiMoveRemaining, 2300u);
    // Where it is now, between its start and its target.
    EXPECT_NEAR(object.vPosition.y, 200.0f * (4000.0f - object.uiMoveRemaining) / 4000.0f, 5.0f);
}

// Squared distance 100 is within reach, 100.01 is not.
TEST_F(WorldE2eTest, ClaimReachesExactlyTenUnits)
{
    Command("pickup 1240 1 10 0 10 0", "pickup 0");
    Command("pickup 1240 1 0 10.0005 10 0", "pickup 1");
    auto first = WaitForPickup();
    auto second = WaitForPickup();
    ASSERT_TRUE(first && second);
    Claim(second->uiKey);
    Claim(first->uiKey);
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: picked 0 0", 2000));
    EXPECT_EQ(m_Server.Output().find("e2e: attempt 1"), std::string::npos);
}

// A timed pickup hides on collection under a new key, so a second claim with
// the old key names nothing; it shows again once its delay is over.
TEST_F(WorldE2eTest, TimedPickupHidesAndReturnsAndOldKeysAreStale)
{
    Command("pickup 1240 1 3 0 10 1500", "pickup 0");
    auto pickup = WaitForPickup();
    ASSERT_TRUE(pickup);
    Claim(pickup->uiKey);
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: picked 0 0", 2000));
    auto refreshed = m_Client.WaitFor(SV_PICKUP_REFRESH, 2000);
    auto hidden = m_Client.WaitFor(SV_PICKUP_ALPHA, 2000);
    ASSERT_TRUE(refreshed && hidden);
    SPickupRefresh keys;
    SPickupAlpha alpha;
    ASSERT_TRUE(DecodePickupRefresh(*refreshed, keys) && DecodePickupAlpha(*hidden, alpha));
    EXPECT_EQ(keys.uiOldKey, pickup->uiKey);
    EXPECT_EQ(keys.uiNewKey & 0x7FF, 0u);
    EXPECT_NE(keys.uiNewKey, pickup->uiKey);
    EXPECT_EQ(alpha.byAlpha, 0);

    Claim(pickup->uiKey);
    auto shown = m_Client.WaitFor(SV_PICKUP_ALPHA, 3000);
    ASSERT_TRUE(shown);
    ASSERT_TRUE(DecodePickupAlpha(*shown, alpha));
    EXPECT_EQ(alpha.byAlpha, 255);
    EXPECT_EQ(alpha.uiKey, keys.uiNewKey);
    EXPECT_GT(shown->timeMs - hidden->timeMs, 1000u);
    EXPECT_TRUE(m_Client.NoneWithin(SV_PICKUP_ALPHA, 500));
    Command("refresh 0", "refresh 1");
    auto again = m_Client.WaitFor(SV_PICKUP_REFRESH, 2000);
    ASSERT_TRUE(again && DecodePickupRefresh(*again, keys));
    Claim(keys.uiOldKey);
    Claim(keys.uiNewKey);
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: attempt 0 0", 2000));
    // The first collection and the claim with the newest key.
    EXPECT_EQ(m_Server.CountOutput("e2e: attempt 0 0"), 2u);
}

TEST_F(WorldE2eTest, HealthPickupRaisesToAtMostHundred)
{
    Command("health 0 95", "health 1");
    ASSERT_TRUE(m_Client.WaitFor(wire::SV_HEALTH, 2000));
    Command("pickup 366 10 2 0 10 0", "pickup 0");
    auto pickup = WaitForPickup();
    ASSERT_TRUE(pickup);
    Claim(pickup->uiKey);
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: picked 0 0 health 100", 2000)) << m_Server.Output();
    EXPECT_TRUE(m_Client.WaitFor(wire::SV_HEALTH, 2000));
}

// Deleting the pickup from inside the permission event ends the walk; the
// pickup goes once the claim lets go of it and is never reported picked.
TEST_F(WorldE2eTest, PickupDeletedInsideItsAttemptIsNeverPicked)
{
    Command("pickup 1240 1 1 0 10 0", "pickup 0");
    Command("deleteonattempt 0", "armed 0");
    auto pickup = WaitForPickup();
    ASSERT_TRUE(pickup);
    Claim(pickup->uiKey);
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: deleted inside 0", 2000));
    ASSERT_TRUE(m_Server.WaitForOutput("e2e: gone 3 0", 2000));
    EXPECT_TRUE(m_Client.WaitFor(SV_PICKUP_DESTROY, 2000));
    EXPECT_EQ(m_Server.Output().find("e2e: picked"), std::string::npos);
}

// What the game mode places is what the client reads, axis for axis: every
// position and rotation is one vector or quaternion value on the wire.
TEST_F(WorldE2eTest, PositionsArriveAsPlaced)
{
    Command("object 1337 100 0 10", "object 0");
    SObjectCreate object;
    auto created = m_Client.WaitFor(SV_OBJECT_CREATE, 2000);
    ASSERT_TRUE(created && DecodeObjectCreate(*created, object));
    EXPECT_EQ(object.vPosition.x, 100.0f);
    EXPECT_EQ(object.vPosition.y, 0.0f);
    EXPECT_EQ(object.vPosition.z, 10.0f);
    EXPECT_EQ(object.qRotation.w, 1.0f);
    Command("move 0 100 0 30 1000", "move 1");
    SObjectMove move;
    auto moved = m_Client.WaitFor(SV_OBJECT_MOVE, 2000);
    ASSERT_TRUE(moved && DecodeObjectMove(*moved, move));
    EXPECT_EQ(move.vFrom.x, 100.0f);
    EXPECT_EQ(move.vTo.z, 30.0f);
    Command("pickup 1240 1 3 4 10 0", "pickup 0");
    auto pickup = WaitForPickup();
    ASSERT_TRUE(pickup);
    EXPECT_EQ(pickup->vPosition.x, 3.0f);
    EXPECT_EQ(pickup->vPosition.y, 4.0f);
    EXPECT_EQ(pickup->vPosition.z, 10.0f);
}

// A claim counts only for a pickup the client holds and shows: a timed
// pickup just taken stays hidden however often it is claimed under its new
// key, and a pickup of another world at the player's feet is not its to take.
TEST_F(WorldE2eTest, ClaimsCountOnlyForPickupsTheClientHoldsAndShows)
{
    Command("pickup 337 100 0 0 10 60000", "pickup 0");
    auto pickup = WaitForPickup();
    ASSERT_TRUE(pickup);
    Claim(pickup->uiKey);
    auto refreshed = m_Client.WaitFor(SV_PICKUP_REFRESH, 2000);
    SPickupRefresh keys;
    ASSERT_TRUE(refreshed && DecodePickupRefresh(*refreshed, keys));
    for (int i = 0; i < 5; ++i)
        Claim(keys.uiNewKey);
    // Slot 1's first key: its slot and generation 1.
    Command("pickupin 9 0 0 10", "pickup 1");
    Claim(1u | (1u << 11));
    EXPECT_EQ(m_Server.CountOutput("e2e: attempt"), 1u) << m_Server.Output();
    EXPECT_EQ(m_Client.CountOf(wire::SV_MONEY), 1);
}

// A client that cycles death, spawn request and spawn is let spawn again only
// once a second, so the objects gathered at its spawn point are not streamed
// out and in at every cycle; once the second is over it spawns as before.
TEST_F(WorldE2eTest, SpawnCyclesStreamTheSpawnPointAtMostOnceASecond)
{
    Command("cluster 100 0 0 10", "cluster 99");
    m_Client.Pump(1200);
    ASSERT_EQ(m_Client.CountOf(SV_OBJECT_CREATE), 100);
    m_Client.Clear();
    const uint32_t uiStart = m_Client.NowMs();
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_TRUE(m_Client.SendDeath(0, 255, 0));
        ASSERT_TRUE(m_Client.SendRequestSpawn());
        ASSERT_TRUE(m_Client.SendSpawned());
    }
    m_Client.Pump(500);
    const int nSeconds = static_cast<int>((m_Client.NowMs() - uiStart) / 1000 + 1);
    EXPECT_LE(m_Client.CountOf(wire::SV_PERMIT_SPAWN), nSeconds);
    EXPECT_LE(m_Client.CountOf(SV_OBJECT_CREATE), 100 * nSeconds);
    m_Client.Pump(1000);
    m_Client.Clear();
    ASSERT_TRUE(m_Client.SendRequestSpawn());
    ASSERT_TRUE(m_Client.WaitFor(wire::SV_PERMIT_SPAWN, 2000));
}

// The game mode goes on changing the world while the server shuts down: each
// removal moves the other objects and pickups and asks for new entities.
// Nothing already freed is read and nothing made then is left behind (the
// test build's sanitizers would end the process otherwise); a pool that has
// closed refuses what is asked of it.
TEST_F(WorldE2eTest, ShutdownSurvivesAGameModeThatKeepsBuilding)
{
    Command("object 1337 5 0 10", "object 0");
    Command("object 1337 6 0 10", "object 1");
    Command("pickup 1240 1 5 5 10 0", "pickup 0");
    Command("pickup 1240 1 6 6 10 0", "pickup 1");
    Command("teardown", "teardown armed");
    EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    EXPECT_GE(m_Server.CountOutput("e2e: teardown 2 made -1 -1"), 2u) << m_Server.Output();
    EXPECT_GE(m_Server.CountOutput("e2e: teardown 1 made -1 -1 0"), 1u);
}
} // namespace
