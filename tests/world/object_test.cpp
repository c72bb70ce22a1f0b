// Objects in an in-process server with the manual clock: interpolation of
// moves and turns, relative motions adding up, what viewers are told, the
// report rules, players standing on objects, and the plugin slots' answers.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "ClientMessages.h"
#include "WorldMessages.h"
#include "players/PlayerTestFixture.h"
#include "world/CObjectPool.h"

namespace
{
constexpr float kPi = 3.14159265f;

class ObjectTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        m_pViewer = Spawned(0, "Viewer", Vector(0, 0, 10));
        ASSERT_NE(m_pViewer, nullptr);
        m_nId = F()->CreateObject(1337, 0, 0.0f, 0.0f, 10.0f, 255);
        ASSERT_EQ(m_nId, 0);
        Peer().ClearSent();
        Host().ClearLog();
    }

    Vector Position()
    {
        Vector v;
        EXPECT_EQ(F()->GetObjectPosition(m_nId, &v.x, &v.y, &v.z), 1);
        return v;
    }

    Vector Euler()
    {
        Vector v;
        EXPECT_EQ(F()->GetObjectRotationEuler(m_nId, &v.x, &v.y, &v.z), 1);
        return v;
    }

    CPlayer* m_pViewer = nullptr;
    int m_nId = -1;
};

TEST_F(ObjectTest, MoveIsInterpolatedAndNeverOvershoots)
{
    ASSERT_EQ(F()->MoveObjectTo(m_nId, 100.0f, 0.0f, 10.0f, 1000), 1);
    ASSERT_EQ(ReceivedBy(0, testclient::SV_OBJECT_MOVE).size(), 1u);
    testclient::SObjectMove move;
    ASSERT_TRUE(testclient::DecodeObjectMove(ReceivedBy(0, testclient::SV_OBJECT_MOVE)[0], move));
    EXPECT_EQ(move.usDuration, 1000);
    EXPECT_EQ(move.vTo.x, 100.0f);
    Harness().Tick(250);
    EXPECT_EQ(Position().x, 25.0f);
    Harness().Tick(250);
    EXPECT_EQ(Position().x, 50.0f);
    // A late tick lands on the target, and the move is over.
    Harness().Tick(900);
    EXPECT_EQ(Position().x, 100.0f);
    EXPECT_FALSE(Server().m_pObjectPool->Get(m_nId)->IsMoving());
    Harness().Tick(500);
    EXPECT_EQ(Position().x, 100.0f);
}

// No span means no move: the object is placed at once with message 213.
TEST_F(ObjectTest, MovesWithoutASpanPlaceTheObjectAtOnce)
{
    for (int nDuration : {0, -5})
    {
        SCOPED_TRACE(nDuration);
        Peer().ClearSent();
        ASSERT_EQ(F()->MoveObjectTo(m_nId, 10.0f * (1 - nDuration), 0.0f, 10.0f, nDuration), 1);
        EXPECT_EQ(Position().x, 10.0f * (1 - nDuration));
        EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_POSITION).size(), 1u);
        EXPECT_TRUE(ReceivedBy(0, testclient::SV_OBJECT_MOVE).empty());
    }
}

TEST_F(ObjectTest, RelativeMovesAndTurnsAddUp)
{
    ASSERT_EQ(F()->MoveObjectBy(m_nId, 10.0f, 0.0f, 0.0f, 1000), 1);
    Harness().Tick(200);
    ASSERT_EQ(F()->MoveObjectBy(m_nId, 10.0f, 0.0f, 0.0f, 1000), 1);
    Harness().Tick(1100);
    EXPECT_EQ(Position().x, 20.0f);
    // Once a move is over the next offset starts from where the object is.
    ASSERT_EQ(F()->MoveObjectBy(m_nId, 0.0f, 5.0f, 0.0f, 0), 1);
    EXPECT_EQ(Position().y, 5.0f);

    ASSERT_EQ(F()->RotateObjectByEuler(m_nId, 0.0f, 0.0f, kPi / 6, 1000), 1);
    Harness().Tick(500);
    EXPECT_NEAR(Euler().z, kPi / 12, 1e-4);
    ASSERT_EQ(F()->RotateObjectByEuler(m_nId, 0.0f, 0.0f, kPi / 6, 1000), 1);
    Harness().Tick(1000);
    EXPECT_NEAR(Euler().z, kPi / 3, 1e-4);
    EXPECT_FALSE(Server().m_pObjectPool->Get(m_nId)->IsTurning());
}

TEST_F(ObjectTest, TurnFollowsTheSlerpAndEndsOnItsTarget)
{
    Quaternion qTarget;
    qTarget.FromEuler(Vector(0.0f, 0.0f, kPi / 2));
    ASSERT_EQ(F()->RotateObjectTo(m_nId, qTarget.x, qTarget.y, qTarget.z, qTarget.w, 2000), 1);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_TURN).size(), 1u);
    Harness().Tick(1000);
    Quaternion qHalf;
    qHalf.Slerp(Quaternion(), qTarget, 0.5f);
    float fX, fY, fZ, fW;
    ASSERT_EQ(F()->GetObjectRotation(m_nId, &fX, &fY, &fZ, &fW), 1);
    EXPECT_EQ(fZ, qHalf.z);
    EXPECT_EQ(fW, qHalf.w);
    // The step completes a turn at its end, with nobody asking.
    Harness().Tick(1000);
    EXPECT_FALSE(Server().m_pObjectPool->Get(m_nId)->IsTurning());
    ASSERT_EQ(F()->GetObjectRotation(m_nId, &fX, &fY, &fZ, &fW), 1);
    EXPECT_EQ(fZ, qTarget.z);
}

// While moving, the grid cell trails the object by at most 300 ms, so the
// streamer sees a moving object leave.
TEST_F(ObjectTest, MovingObjectLeavesTheViewerThroughTheGrid)
{
    ASSERT_EQ(F()->MoveObjectTo(m_nId, 0.0f, 1000.0f, 10.0f, 2000), 1);
    for (int i = 0; i < 8; ++i)
        Harness().Tick(100);
    const CObject* pObject = Server().m_pObjectPool->Get(m_nId);
    EXPECT_GE(pObject->GetStoredPosition().y, 300.0f);
    StreamAll();
    EXPECT_FALSE(Server().m_pStreamer->IsObjectStreamed(m_pViewer, m_nId));
    EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_DESTROY).size(), 1u);
}

TEST_F(ObjectTest, LateViewerIsToldWhereTheObjectIsAndWhatIsLeft)
{
    ASSERT_EQ(F()->MoveObjectTo(m_nId, 0.0f, 200.0f, 10.0f, 4000), 1);
    ASSERT_EQ(F()->RotateObjectToEuler(m_nId, 0.0f, 0.0f, kPi, 3000), 1);
    Harness().Tick(2000);
    ASSERT_NE(Spawned(1, "Late", Vector(0, 0, 10)), nullptr);
    StreamAll();
    auto created = ReceivedBy(1, testclient::SV_OBJECT_CREATE);
    ASSERT_EQ(created.size(), 1u);
    testclient::SObjectCreate object;
    ASSERT_TRUE(testclient::DecodeObjectCreate(created[0], object));
    EXPECT_EQ(object.byMotion, 3);
    EXPECT_EQ(object.uiMoveRemaining, 2000u);
    EXPECT_EQ(object.uiTurnRemaining, 1000u);
    EXPECT_EQ(object.vPosition.y, 100.0f);
    EXPECT_EQ(object.vMoveTo.y, 200.0f);
}

// Reports count only for an object the reporter's client holds; deleting the
// object inside its report waits for the report to let go.
TEST_F(ObjectTest, ReportsNeedTheObjectStreamedAndDeletionWaits)
{
    const int nFar = F()->CreateObject(1, 0, 1000.0f, 1000.0f, 10.0f, 255);
    Send(0, {182, 0, static_cast<uint8_t>(nFar), 24});
    Send(0, {183, 0, static_cast<uint8_t>(nFar)});
    Send(0, {182, 0x0B, 0xB8, 24});
    Send(0, {182, 0});
    EXPECT_TRUE(Events("OnObject").empty());

    int nDeleted = -1;
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == 21)
                           nDeleted = F()->DeleteObject(pnArgs[0]);
                   });
    Send(0, {182, 0, static_cast<uint8_t>(m_nId), 24});
    EXPECT_EQ(Events("OnObjectShot"), std::vector<std::string>{"OnObjectShot 0 0 24"});
    EXPECT_EQ(nDeleted, 0);
    EXPECT_EQ(Server().m_pObjectPool->Get(m_nId), nullptr);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_DESTROY).size(), 1u);
}

// A dying object is gone for the streamer while its removal event runs: a
// player brought to it from inside the event is not sent it, so no client is
// left holding an object that nothing would ever destroy on it.
TEST_F(ObjectTest, ADyingObjectIsNotStreamedInFromItsRemovalEvent)
{
    ASSERT_NE(Spawned(1, "Latecomer", Vector(1000, 0, 10)), nullptr);
    Host().SetHook(0,
                   [&](int, int nSlot, const int32_t* pnArgs, const char*)
                   {
                       if (nSlot == 28 && pnArgs[2] == 1)
                           F()->SetPlayerPosition(1, 0.0f, 0.0f, 10.0f);
                   });
    Peer().ClearSent();
    EXPECT_EQ(F()->DeleteObject(m_nId), 1);
    Host().SetHook(0, nullptr);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_DESTROY).size(), 1u);
    EXPECT_TRUE(ReceivedBy(1, testclient::SV_OBJECT_CREATE).empty());
    EXPECT_TRUE(ReceivedBy(1, testclient::SV_OBJECT_DESTROY).empty());
}

// Worlds are 16-bit unsigned numbers for objects and pickups as for players:
// world 40000 is seen from world 40000, and -1 is world 65535.
TEST_F(ObjectTest, WorldsAboveThirtyTwoThousandAreSeen)
{
    ASSERT_EQ(F()->SetPlayerWorld(0, 40000), 1);
    const int nObject = F()->CreateObject(1, 40000, 5.0f, 0.0f, 10.0f, 255);
    const int nPickup = F()->CreatePickup(1240, 40000, 1, 5.0f, 0.0f, 10.0f, 255, 0);
    EXPECT_EQ(F()->GetObjectWorld(nObject), 40000);
    EXPECT_EQ(F()->IsObjectStreamedForPlayer(nObject, 0), 1);
    EXPECT_EQ(F()->IsPickupStreamedForPlayer(nPickup, 0), 1);
    F()->SetObjectWorld(nObject, -1);
    F()->SetPickupWorld(nPickup, -1);
    EXPECT_EQ(F()->GetObjectWorld(nObject), 65535);
    EXPECT_EQ(F()->GetPickupWorld(nPickup), 65535);
    EXPECT_EQ(F()->IsObjectStreamedForPlayer(nObject, 0), 0);
    ASSERT_EQ(F()->SetPlayerWorld(0, 65535), 1);
    EXPECT_EQ(F()->IsObjectStreamedForPlayer(nObject, 0), 1);
    EXPECT_EQ(F()->IsPickupStreamedForPlayer(nPickup, 0), 1);
}

// A player standing on an object is placed by the object's current state.
TEST_F(ObjectTest, StandingOnAnObjectFollowsItsMove)
{
    ASSERT_EQ(F()->RotateObjectToEuler(m_nId, 0.0f, 0.0f, kPi / 2, 0), 1);
    ASSERT_EQ(F()->MoveObjectTo(m_nId, 100.0f, 0.0f, 10.0f, 1000), 1);
    Harness().Tick(500);
    wire::SOnFootRecord record = {};
    record.vPosition = {1.0f, 0.0f, 2.0f};
    record.byHealth = 100;
    record.usSurfaceId = static_cast<uint16_t>(1001 + m_nId);
    RakNet::BitStream stream;
    testclient::EncodeOnFootSync(stream, 1, record);
    Send(0, stream);
    EXPECT_NEAR(m_pViewer->m_vPosition.x, 50.0f, 1e-4);
    EXPECT_NEAR(m_pViewer->m_vPosition.y, 1.0f, 1e-4);
    EXPECT_NEAR(m_pViewer->m_vPosition.z, 12.0f, 1e-4);
}

// Bad values from plugins: positions are clamped, rotations and offsets that
// are not numbers are refused, and the pool stops at 3000.
TEST_F(ObjectTest, BadValuesAreClampedOrRefusedAndThePoolIsBounded)
{
    const float fNaN = std::numeric_limits<float>::quiet_NaN();
    const float fInf = std::numeric_limits<float>::infinity();
    ASSERT_EQ(F()->SetObjectPosition(m_nId, fNaN, 5000.0f, -fInf), 1);
    EXPECT_EQ(Position().x, 0.0f);
    EXPECT_EQ(Position().y, 1950.0f);
    EXPECT_EQ(Position().z, 0.0f);
    EXPECT_EQ(F()->RotateObjectTo(m_nId, fNaN, 0.0f, 0.0f, 1.0f, 100), 0);
    EXPECT_EQ(F()->RotateObjectByEuler(m_nId, 0.0f, fInf, 0.0f, 100), 0);
    EXPECT_EQ(F()->MoveObjectBy(m_nId, fNaN, 0.0f, 0.0f, 100), 0);
    EXPECT_EQ(Euler().z, 0.0f);

    int nCreated = 1;
    while (F()->CreateObject(1, 0, 0.0f, 0.0f, 0.0f, 255) >= 0)
        ++nCreated;
    EXPECT_EQ(nCreated, 3000);
    EXPECT_EQ(F()->DeleteObject(1234), 1);
    EXPECT_EQ(F()->CreateObject(1, 0, 0.0f, 0.0f, 0.0f, 255), 1234);
}

// Every object slot for ids that name nothing: 0, or -1 for the world.
TEST_F(ObjectTest, EverySlotAnswersForAnIdThatNamesNothing)
{
    PluginFuncs* f = F();
    float fx = 0, fy = 0, fz = 0, fw = 0;
    const std::pair<const char*, std::function<int(int)>> aCases[] = {
        {"DeleteObject", [&](int id) { return f->DeleteObject(id); }},
        {"IsObjectStreamedForPlayer", [&](int id) { return f->IsObjectStreamedForPlayer(id, 0); }},
        {"GetObjectModel", [&](int id) { return f->GetObjectModel(id); }},
        {"SetObjectWorld", [&](int id) { return f->SetObjectWorld(id, 2); }},
        {"GetObjectWorld", [&](int id) { return f->GetObjectWorld(id) + 1; }},
        {"SetObjectAlpha", [&](int id) { return f->SetObjectAlpha(id, 1, 1); }},
        {"GetObjectAlpha", [&](int id) { return f->GetObjectAlpha(id); }},
        {"MoveObjectTo", [&](int id) { return f->MoveObjectTo(id, 1, 1, 1, 1); }},
        {"MoveObjectBy", [&](int id) { return f->MoveObjectBy(id, 1, 1, 1, 1); }},
        {"SetObjectPosition", [&](int id) { return f->SetObjectPosition(id, 1, 1, 1); }},
        {"GetObjectPosition", [&](int id) { return f->GetObjectPosition(id, &fx, &fy, &fz); }},
        {"RotateObjectTo", [&](int id) { return f->RotateObjectTo(id, 0, 0, 0, 1, 1); }},
        {"RotateObjectToEuler", [&](int id) { return f->RotateObjectToEuler(id, 0, 0, 0, 1); }},
        {"RotateObjectBy", [&](int id) { return f->RotateObjectBy(id, 0, 0, 0, 1, 1); }},
        {"RotateObjectByEuler", [&](int id) { return f->RotateObjectByEuler(id, 0, 0, 0, 1); }},
        {"GetObjectRotation", [&](int id) { return f->GetObjectRotation(id, &fx, &fy, &fz, &fw); }},
        {"GetObjectRotationEuler", [&](int id) { return f->GetObjectRotationEuler(id, &fx, &fy, &fz); }},
        {"SetObjectShotReport", [&](int id) { return f->SetObjectShotReport(id, 1); }},
        {"IsObjectShotReportEnabled", [&](int id) { return f->IsObjectShotReportEnabled(id); }},
        {"SetObjectTouchedReport", [&](int id) { return f->SetObjectTouchedReport(id, 1); }},
        {"IsObjectTouchedReportEnabled", [&](int id) { return f->IsObjectTouchedReportEnabled(id); }},
    };
    for (const auto& [szSlot, fnCall] : aCases)
        for (int nId : {1, 3000, -1})
            EXPECT_EQ(fnCall(nId), 0) << szSlot << " " << nId;

    // The report bits are kept apart and told to the viewers once per change.
    EXPECT_EQ(f->SetObjectTouchedReport(m_nId, 1), 1);
    EXPECT_EQ(f->SetObjectShotReport(m_nId, 1), 1);
    EXPECT_EQ(f->SetObjectShotReport(m_nId, 1), 1);
    EXPECT_EQ(f->SetObjectShotReport(m_nId, 0), 1);
    EXPECT_EQ(f->IsObjectTouchedReportEnabled(m_nId), 1);
    EXPECT_EQ(f->IsObjectShotReportEnabled(m_nId), 0);
    EXPECT_EQ(ReceivedBy(0, testclient::SV_OBJECT_REPORT_FLAGS).size(), 3u);
}
} // namespace
