// Raising events: order, combined answers, the ids plugins see, and the
// locks that let a plugin delete an entity from inside an event about it.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "players/CPlayerPool.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "plugins/support/plugin_TestHost.h"

namespace
{
using Events = std::vector<std::string>;

class PluginDispatch : public ::testing::Test
{
protected:
    void SetUp() override { m_Host.LoadRecorders(3); }

    // Plugin nPluginId deletes pEntity when it receives nSlot.
    void DeleteOn(int nPluginId, int nSlot, IRefCounter* pEntity)
    {
        m_Host.SetHook(nPluginId,
                       [=](int, int nGot, const int32_t*, const char*)
                       {
                           if (nGot == nSlot)
                               pEntity->RequestDelete();
                       });
    }

    // A joined player of the test's own pool; the log starts empty again.
    CPlayer* AddPlayer(int nSlot)
    {
        EXPECT_TRUE(m_Pool.New(nSlot, ("Player" + std::to_string(nSlot)).c_str(), "unique"));
        m_Host.ClearLog();
        return m_Pool.Get(nSlot);
    }

    // Plugin nPluginId kicks the player in slot nSlot when it receives nEvent.
    void KickOn(int nPluginId, int nEvent, int nSlot)
    {
        m_Host.SetHook(nPluginId,
                       [=, this](int, int nGot, const int32_t*, const char*)
                       {
                           if (nGot == nEvent)
                               m_Pool.Delete(nSlot, DISCONNECT_KICKED);
                       });
    }

    // The recorded calls of one event only (a removal raises others).
    Events Only(const std::string& strEvent) const
    {
        Events events;
        for (const std::string& strLine : m_Host.Events())
        {
            if (strLine.find(" " + strEvent) != std::string::npos)
                events.push_back(strLine);
        }
        return events;
    }

    CPluginManager& Manager() { return m_Host.Manager(); }

    CPluginTestHost m_Host{ORVN_TEST_PLUGIN_DIR};
    // Destroyed before the host, so the plugins still hear the removals.
    CPlayerPool m_Pool;
};

TEST_F(PluginDispatch, InitialiseStopsAtTheFirstRefusal)
{
    EXPECT_EQ(Manager().InitialiseAll(), 1);
    EXPECT_EQ(m_Host.Events().size(), 3u);

    m_Host.ClearLog();
    m_Host.Recorder(1)->answers[0] = 0;
    EXPECT_EQ(Manager().InitialiseAll(), 0);
    EXPECT_EQ(m_Host.Events(), (Events{"p0 OnServerInitialise", "p1 OnServerInitialise"}));

    m_Host.ClearLog();
    Manager().ShutdownAll();
    EXPECT_EQ(m_Host.Events(), (Events{"p0 OnServerShutdown", "p1 OnServerShutdown", "p2 OnServerShutdown"}));
}

// Every request event: one refusal refuses, and the plugins after it are
// still asked.
TEST_F(PluginDispatch, PermissionEventsCombineAnswersAndCallEveryPlugin)
{
    CPickupPool pickups(nullptr);
    CPickup* pPickup = pickups.Get(pickups.Create(1240, 0, 1, Vector(), 255, false));
    CPlayer* pPlayer = AddPlayer(4);
    ASSERT_NE(pPlayer, nullptr);
    CVehicle vehicle(12);
    struct SRequest
    {
        int nSlot;
        std::function<int()> raise;
    };
    const SRequest aRequests[] = {
        {8, [&] { return Manager().OnPlayerRequestSpawn(pPlayer); }},
        {12, [&] { return Manager().OnPlayerRequestEnterVehicle(pPlayer, &vehicle, 1); }},
        {15, [&] { return Manager().OnPickupPickAttempt(pPickup, pPlayer); }},
        {23, [&] { return Manager().OnPlayerMessage(pPlayer, "hello"); }},
        {24, [&] { return Manager().OnPlayerCommand(pPlayer, "cmd"); }},
        {25, [&] { return Manager().OnPlayerPrivateMessage(pPlayer, 9, "psst"); }},
        {27, [&] { return Manager().OnIncomingConnection("Name", "pw", "1.2.3.4"); }},
    };
    for (const SRequest& request : aRequests)
    {
        SCOPED_TRACE(request.nSlot);
        m_Host.ClearLog();
        EXPECT_EQ(request.raise(), 1);
        m_Host.Recorder(1)->answers[request.nSlot] = 0;
        EXPECT_EQ(request.raise(), 0);
        EXPECT_EQ(m_Host.Log().count, 6);
        EXPECT_EQ(m_Host.Log().entries[5].pluginId, 2);
        m_Host.Recorder(1)->answers[request.nSlot] = 1;
    }
    EXPECT_EQ(pPlayer->GetLockCount(), 0u);
    EXPECT_EQ(vehicle.GetLockCount(), 0u);
    EXPECT_EQ(pPickup->GetLockCount(), 0u);
}

TEST_F(PluginDispatch, WithoutHandlersRequestsGoAhead)
{
    CPlayer* pPlayer = AddPlayer(1);
    for (int i = 0; i < 3; ++i)
    {
        m_Host.Recorder(i)->answers[8] = 0;
        m_Host.Recorder(i)->callbacks->OnPlayerRequestSpawn = nullptr;
    }
    EXPECT_EQ(Manager().OnPlayerRequestSpawn(pPlayer), 1);
    EXPECT_TRUE(m_Host.Events().empty());
}

TEST_F(PluginDispatch, PluginsSeeIdsNotObjects)
{
    // Full pools, so that the last slots are in use.
    CObjectPool objects(nullptr);
    CPickupPool pickups(nullptr);
    while (objects.Create(1, 0, Vector(), 255) >= 0)
    {
    }
    while (pickups.Create(1, 0, 1, Vector(), 255, false) >= 0)
    {
    }
    CObject* pObject = objects.Get(2999);
    CPickup* pPickup = pickups.Get(1999);
    CPlayer* pPlayer = AddPlayer(7);
    CPlayer* pOther = AddPlayer(42);
    CVehicle vehicle(999);
    const char* aszNames[2] = {"Streaming", "Other"};
    uint64_t aullTotals[2] = {1234, 5};
    m_Host.Recorder(1)->log = nullptr;
    m_Host.Recorder(2)->log = nullptr;

    Manager().OnPlayerDeath(pPlayer, nullptr, 3, 9);
    Manager().OnPlayerDeath(pPlayer, pOther, 4, 2);
    Manager().OnPlayerSpectate(pPlayer, nullptr);
    Manager().OnPlayerSpectate(pPlayer, pOther);
    Manager().OnPlayerExitVehicle(pPlayer, &vehicle);
    Manager().OnObjectShot(pObject, pOther, 31);
    Manager().OnObjectTouched(pObject, pPlayer);
    Manager().OnPickupPicked(pPickup, pOther);
    Manager().OnPlayerAwayChange(pPlayer, true);
    Manager().OnPlayerSyncFlag1Change(pPlayer, false);
    Manager().OnEntityPoolChange(2, 55, true);
    Manager().OnPlayerNameChange(pPlayer, "Old", "New");
    Manager().OnServerPerformanceReport(2, aszNames, aullTotals);
    Manager().OnPlayerKeysChange(pPlayer, 0x10, 0x210);
    Manager().OnIncomingConnection("Joiner", "secret", "10.0.0.1");

    EXPECT_EQ(m_Host.Events(), (Events{
                                   "p0 OnPlayerDeath 7 255 3 9",
                                   "p0 OnPlayerDeath 7 42 4 2",
                                   "p0 OnPlayerSpectate 7 -1",
                                   "p0 OnPlayerSpectate 7 42",
                                   "p0 OnPlayerExitVehicle 7 999",
                                   "p0 OnObjectShot 2999 42 31",
                                   "p0 OnObjectTouched 2999 7",
                                   "p0 OnPickupPicked 1999 42",
                                   "p0 OnPlayerAwayChange 7 1",
                                   "p0 OnPlayerSyncFlag1Change 7 0",
                                   "p0 OnEntityPoolChange 2 55 1",
                                   "p0 OnPlayerNameChange 7 [Old] [New]",
                                   "p0 OnServerPerformanceReport 2 [Streaming=1234]",
                                   "p0 OnPlayerKeysChange 7 16 528",
                                   "p0 OnIncomingConnection [Joiner] [secret] [10.0.0.1]",
                               }));
    EXPECT_EQ(pPlayer->GetLockCount() + pOther->GetLockCount(), 0u);
}

TEST_F(PluginDispatch, DeletingTheEntityEndsTheWalkAndDestroysItAtRelease)
{
    int nDestroyed = 0;
    CCountedVehicle* pVehicle = new CCountedVehicle(5, &nDestroyed);
    DeleteOn(1, 18, pVehicle);
    Manager().OnVehicleUpdate(pVehicle, 2);
    EXPECT_EQ(m_Host.Events(), (Events{"p0 OnVehicleUpdate 5 2", "p1 OnVehicleUpdate 5 2"}));
    EXPECT_EQ(nDestroyed, 1);
}

// A kick from inside a chat event: the plugins after the kicker never see
// the line, and the player is gone once the walk lets go of it.
TEST_F(PluginDispatch, KickInsideAnEventEndsTheWalk)
{
    CPlayer* pPlayer = AddPlayer(3);
    KickOn(0, 24, 3);
    m_Host.Recorder(2)->answers[24] = 0;
    EXPECT_EQ(Manager().OnPlayerCommand(pPlayer, "kickme"), 1);
    EXPECT_EQ(Only("OnPlayerCommand"), (Events{"p0 OnPlayerCommand 3 [kickme]"}));
    EXPECT_EQ(m_Pool.Get(3), nullptr);
    EXPECT_EQ(Only("OnPlayerDisconnect").size(), 3u);
}

// A caller that holds the entity keeps it alive through the walk; the walk
// still ends at the deletion, and the entity dies at the caller's release.
TEST_F(PluginDispatch, OuterLockDefersDestructionToItsRelease)
{
    int nDestroyed = 0;
    CCountedVehicle* pVehicle = new CCountedVehicle(3, &nDestroyed);
    CEntityLock outer(pVehicle);
    DeleteOn(0, 19, pVehicle);
    Manager().OnVehicleExplode(pVehicle);
    EXPECT_EQ(m_Host.Events(), (Events{"p0 OnVehicleExplode 3"}));
    EXPECT_EQ(nDestroyed, 0);
    EXPECT_TRUE(pVehicle->IsMarkedForDeletion());
    EXPECT_EQ(pVehicle->GetLockCount(), 1u);
    EXPECT_FALSE(outer.Release());
    EXPECT_EQ(nDestroyed, 1);
}

// An event about an entity already on its way out (a removal announcing
// itself) reaches every plugin: only a deletion during the walk ends it.
TEST_F(PluginDispatch, EntityAlreadyBeingRemovedIsAnnouncedToEveryPlugin)
{
    int nDestroyed = 0;
    CCountedVehicle* pVehicle = new CCountedVehicle(4, &nDestroyed);
    CEntityLock outer(pVehicle);
    EXPECT_FALSE(pVehicle->RequestDelete());
    Manager().OnVehicleExplode(pVehicle);
    EXPECT_EQ(m_Host.Log().count, 3);
    EXPECT_EQ(nDestroyed, 0);
    outer.Release();
    EXPECT_EQ(nDestroyed, 1);
}

TEST_F(PluginDispatch, EitherOfTwoLockedEntitiesEndsTheWalk)
{
    int nVehicles = 0;
    CPickupPool pickups(nullptr);
    const int nPickup = pickups.Create(1240, 0, 1, Vector(), 255, false);
    CPlayer* pPlayer = AddPlayer(2);
    CCountedVehicle vehicle(8, &nVehicles);
    KickOn(1, 13, 2);
    Manager().OnPlayerEnterVehicle(pPlayer, &vehicle, 0);
    EXPECT_EQ(Only("OnPlayerEnterVehicle").size(), 2u);
    EXPECT_EQ(m_Pool.Get(2), nullptr);
    EXPECT_EQ(vehicle.GetLockCount(), 0u);

    CPlayer* pOther = AddPlayer(6);
    CPickup* pPickup = pickups.Get(nPickup);
    m_Host.Recorder(2)->answers[15] = 0;
    DeleteOn(0, 15, pPickup);
    // The refusal of plugin 2 is never heard: the walk ended at plugin 0.
    EXPECT_EQ(Manager().OnPickupPickAttempt(pPickup, pOther), 1);
    EXPECT_EQ(Only("OnPickupPickAttempt"), (Events{"p0 OnPickupPickAttempt 0 6"}));
    EXPECT_EQ(pickups.Get(nPickup), nullptr);
    EXPECT_EQ(pOther->GetLockCount(), 0u);
}

// The player of an object report is held for the whole walk: kicking it
// neither ends the walk nor destroys it before the walk is over.
TEST_F(PluginDispatch, SecondEntityHeldForTheWalkDiesAfterIt)
{
    CObjectPool objects(nullptr);
    CObject* pShot = objects.Get(objects.Create(1, 0, Vector(), 255));
    const int nTouched = objects.Create(2, 0, Vector(), 255);
    CPlayer* pPlayer = AddPlayer(9);
    KickOn(0, 21, 9);
    bool bAliveAtLastCall = false;
    m_Host.SetHook(2,
                   [&](int, int nSlot, const int32_t*, const char*)
                   {
                       if (nSlot == 21)
                           bAliveAtLastCall = m_Pool.Get(9) != nullptr;
                   });
    Manager().OnObjectShot(pShot, pPlayer, 24);
    EXPECT_EQ(Only("OnObjectShot").size(), 3u);
    EXPECT_TRUE(bAliveAtLastCall);
    EXPECT_EQ(m_Pool.Get(9), nullptr);

    // Deleting the object does end it.
    m_Host.ClearLog();
    CPlayer* pToucher = AddPlayer(1);
    CObject* pObject = objects.Get(nTouched);
    DeleteOn(1, 22, pObject);
    Manager().OnObjectTouched(pObject, pToucher);
    EXPECT_EQ(Only("OnObjectTouched").size(), 2u);
    EXPECT_EQ(objects.Get(nTouched), nullptr);
    EXPECT_EQ(pToucher->GetLockCount(), 0u);
}

TEST_F(PluginDispatch, KillerKickedDuringDeathEventDiesAfterTheWalk)
{
    CPlayer* pVictim = AddPlayer(0);
    CPlayer* pKiller = AddPlayer(1);
    KickOn(0, 10, 1);
    Manager().OnPlayerDeath(pVictim, pKiller, 1, 2);
    EXPECT_EQ(Only("OnPlayerDeath").size(), 3u);
    EXPECT_EQ(m_Pool.Get(1), nullptr);
    EXPECT_NE(m_Pool.Get(0), nullptr);
}

// Client text and renames reach every plugin even after a kick.
TEST_F(PluginDispatch, WholeWalkEventsReachEveryPluginDespiteAKick)
{
    CPlayer* pPlayer = AddPlayer(5);
    KickOn(0, 33, 5);
    Manager().OnPlayerClientText(pPlayer, "block");
    EXPECT_EQ(Only("OnPlayerClientText").size(), 3u);
    EXPECT_EQ(m_Pool.Get(5), nullptr);

    pPlayer = AddPlayer(5);
    KickOn(1, 35, 5);
    Manager().OnPlayerNameChange(pPlayer, "Player5", "Renamed");
    EXPECT_EQ(Only("OnPlayerNameChange").size(), 3u);
    EXPECT_EQ(m_Pool.Get(5), nullptr);
}

TEST_F(PluginDispatch, CallbackSlotsAreReadAtEveryCall)
{
    PluginCallbacks* pSecond = m_Host.Recorder(1)->callbacks;
    auto pfnFrame = pSecond->OnServerFrame;
    // Plugin 0 switches plugin 1's handler off during the event itself.
    m_Host.SetHook(0,
                   [&](int, int nSlot, const int32_t*, const char*)
                   {
                       if (nSlot == 2)
                           pSecond->OnServerFrame = nullptr;
                   });
    Manager().OnServerFrame(0.25f);
    EXPECT_EQ(m_Host.Events(), (Events{"p0 OnServerFrame [0.250]", "p2 OnServerFrame [0.250]"}));

    m_Host.ClearLog();
    m_Host.SetHook(0, [&](int, int, const int32_t*, const char*) { pSecond->OnServerFrame = pfnFrame; });
    Manager().OnServerFrame(0.5f);
    EXPECT_EQ(m_Host.Log().count, 3);
}

// A command sent from inside a command handler reaches every plugin before
// the outer walk goes on, and the outer text is still intact afterwards.
TEST_F(PluginDispatch, PluginCommandsNestWithoutClobberingTheOuterText)
{
    PluginFuncs* pFuncs = m_Host.Funcs();
    std::string strOuterAfterNested;
    m_Host.SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char* szText)
                   {
                       if (nSlot != 26 || pnArgs[0] != 1)
                           return;
                       pFuncs->SendPluginCommand(2, "inner %d", 2);
                       strOuterAfterNested = szText;
                   });
    m_Host.Recorder(1)->answers[26] = 0;
    EXPECT_EQ(pFuncs->SendPluginCommand(1, "outer %s", "one"), 1);
    EXPECT_EQ(strOuterAfterNested, "outer one");
    EXPECT_EQ(m_Host.Events(), (Events{
                                   "p0 OnPluginCommand 1 [outer one]",
                                   "p0 OnPluginCommand 2 [inner 2]",
                                   "p1 OnPluginCommand 2 [inner 2]",
                                   "p2 OnPluginCommand 2 [inner 2]",
                                   "p1 OnPluginCommand 1 [outer one]",
                                   "p2 OnPluginCommand 1 [outer one]",
                               }));
}

TEST_F(PluginDispatch, LongPluginCommandsAreCutTo4095Characters)
{
    size_t nLength = 0;
    m_Host.SetHook(2, [&](int, int, const int32_t*, const char* szText) { nLength = strlen(szText); });
    const std::string strLong(5000, 'z');
    m_Host.Funcs()->SendPluginCommand(3, "%s", strLong.c_str());
    EXPECT_EQ(nLength, 4095u);
}
} // namespace
