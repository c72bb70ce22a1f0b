// Vehicles end to end: the real server binary with the vehicles_e2e game
// mode (vehicle 1 at 20, 0, 10 and vehicle 2 at 600, 0, 10), driven by
// protocol test clients.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "CTestClient.h"
#include "VehicleMessages.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using testclient::CTestClient;
using testclient::SReceived;

namespace
{
constexpr const char* kHost = "127.0.0.1";
// Streaming passes start once a second; a few passes on a loaded machine.
constexpr uint32_t kStreamWaitMs = 5000;

wire::SOnFootRecord At(float fX, float fY, float fZ)
{
    wire::SOnFootRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.byHealth = 100;
    return record;
}

wire::SVehicleRecord VehicleAt(float fX, float fY, float fZ)
{
    wire::SVehicleRecord record = {};
    record.vPosition = {fX, fY, fZ};
    record.qRotation = {0.0f, 0.0f, 0.0f, 1.0f};
    record.fHealth = 1000.0f;
    return record;
}

class VehicleE2eTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_nPort = FindFreeUdpPort();
        ASSERT_GT(m_nPort, 0);
        std::filesystem::create_directories(m_Folder.File("plugins"));
        std::filesystem::create_symlink(std::string(ORVN_TEST_PLUGIN_DIR) + "/vehicles_e2e.so",
                                        m_Folder.File("plugins/vehicles_e2e.so"));
        m_Folder.Write("server.cfg",
                       "port " + std::to_string(m_nPort) + "\nbindhost 127.0.0.1\nplugins vehicles_e2e\n");
        ASSERT_TRUE(m_Server.Start(m_Folder.Path(), {"-allow-server-runas-root"}));
        ASSERT_TRUE(m_Server.WaitForOutput("** Started OR:VN 0.4 Server **", 10000)) << m_Server.Output();
        ASSERT_TRUE(JoinAndSpawn(m_Alice, "Alice"));
        ASSERT_TRUE(JoinAndSpawn(m_Bob, "Bob"));
    }
    void TearDown() override
    {
        if (m_Server.Pid() > 0)
            EXPECT_EQ(m_Server.Stop(), 0) << m_Server.Output();
    }

    bool JoinAndSpawn(CTestClient& client, const char* szName)
    {
        if (!client.Connect(kHost, static_cast<uint16_t>(m_nPort)) || !client.Join(szName))
            return false;
        client.SendRequestSpawn();
        return client.WaitFor(wire::SV_PERMIT_SPAWN, 3000) && client.SendSpawned();
    }

    // The next message with this identifier about the vehicle.
    static std::optional<SReceived> WaitForVehicle(CTestClient& client, int nId, int nVehicleId,
                                                   uint32_t uiTimeoutMs = kStreamWaitMs)
    {
        const uint32_t uiEnd = client.NowMs() + uiTimeoutMs;
        while (client.NowMs() < uiEnd)
        {
            auto received = client.WaitFor(nId, uiEnd - client.NowMs());
            if (!received)
                break;
            testclient::SVehicleNotice notice;
            if (testclient::DecodeVehicleNotice(*received, notice) && notice.usVehicleId == nVehicleId)
                return received;
        }
        return std::nullopt;
    }
    static bool Send(CTestClient& client, const RakNet::BitStream& stream)
    {
        return client.SendStream(stream);
    }
    bool RequestEnter(CTestClient& client, int nVehicleId, uint8_t byA, uint8_t byB, uint8_t byC)
    {
        RakNet::BitStream stream;
        testclient::EncodeRequestEnterVehicle(stream, static_cast<uint16_t>(nVehicleId), byA, byB, byC);
        return Send(client, stream);
    }
    bool Drive(CTestClient& client, int nVehicleId, float fX)
    {
        wire::SDriverRecord driver = {};
        driver.usVehicleId = static_cast<uint16_t>(nVehicleId);
        driver.byHealth = 100;
        return client.SendDriverSync(0, driver, VehicleAt(fX, 0.0f, 10.0f));
    }
    bool ReportExploded(CTestClient& client, int nVehicleId)
    {
        RakNet::BitStream stream;
        testclient::EncodeVehicleExploded(stream, static_cast<uint16_t>(nVehicleId));
        return Send(client, stream);
    }
    static int RefusalOf(const std::optional<SReceived>& received)
    {
        testclient::SEnterVehicle refusal;
        return received && testclient::DecodeEnterVehicleRefused(*received, refusal) ? refusal.byResult : -1;
    }
    // Runs a plugin command and waits until the game mode has done it.
    void Command(CTestClient& client, const std::string& strCommand)
    {
        const size_t nBefore = m_Server.CountOutput("veh: command");
        ASSERT_TRUE(client.SendCommand(strCommand));
        for (int i = 0; i < 300 && m_Server.CountOutput("veh: command") == nBefore; ++i)
            client.Pump(10);
    }

    CTempDir m_Folder;
    CServerProcess m_Server;
    int m_nPort = 0;
    CTestClient m_Alice;
    CTestClient m_Bob;
};

// Create, stream in, enter, drive, explode, respawn; and the joining
// player's 45 model overrides in batches of 20, 20 and 5.
TEST_F(VehicleE2eTest, ADriverEntersDrivesWrecksAndTheVehicleRespawns)
{
    std::vector<int> counts;
    for (const SReceived& received : m_Alice.TakeAll(wire::SV_HANDLING_RULES))
    {
        testclient::SHandlingRules batch;
        ASSERT_TRUE(testclient::DecodeHandlingRules(received, batch));
        counts.push_back(batch.byCount);
    }
    EXPECT_EQ(counts, (std::vector<int>{20, 20, 5}));

    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(5.0f, 0.0f, 10.0f)));
    auto created = WaitForVehicle(m_Alice, wire::SV_VEHICLE_CREATE, 1);
    ASSERT_TRUE(created) << m_Server.Output();
    testclient::SVehicleCreate create;
    ASSERT_TRUE(testclient::DecodeVehicleCreate(*created, create));
    EXPECT_EQ(create.byModel, 130);
    EXPECT_EQ(static_cast<float>(create.vPosition.x), 20.0f);
    EXPECT_EQ(create.fHealth, 1000.0f);
    ASSERT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_CREATE, 1));

    // Driver entry: accepted for Alice (seen by Bob), the same request by Bob refused.
    ASSERT_TRUE(RequestEnter(m_Alice, 1, 0, 255, 18));
    auto own = m_Alice.WaitFor(wire::SV_ENTER_VEHICLE);
    ASSERT_TRUE(own);
    testclient::SEnterVehicle entry;
    ASSERT_TRUE(testclient::DecodeEnterVehicle(*own, entry));
    EXPECT_TRUE(entry.bHasRadio);
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_ENTER_VEHICLE));
    ASSERT_TRUE(RequestEnter(m_Bob, 1, 0, 255, 18));
    EXPECT_EQ(RefusalOf(m_Bob.WaitFor(wire::SV_ENTER_VEHICLE_REFUSED)), 8);

    // The first driver sync completes the entry and gives Alice the vehicle.
    ASSERT_TRUE(Drive(m_Alice, 1, 20.0f));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_ASSIGNMENT_GAINED, 1, 3000)) << m_Server.Output();
    EXPECT_TRUE(m_Server.WaitForOutput("veh: enter 0 1 0", 3000));
    ASSERT_TRUE(Drive(m_Alice, 1, 25.0f));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_DRIVER_RELAY, 3000));

    // Two reports of the same wreck: one explosion, and a respawn 5 s later.
    ASSERT_TRUE(ReportExploded(m_Alice, 1));
    ASSERT_TRUE(ReportExploded(m_Alice, 1));
    ASSERT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_EXPLODE, 1, 3000));
    ASSERT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_DESTROY, 1, 8000));
    EXPECT_EQ(m_Bob.CountOf(wire::SV_VEHICLE_EXPLODE), 0);
    EXPECT_EQ(m_Server.CountOutput("veh: explode 1"), 1u);
    auto recreated = WaitForVehicle(m_Bob, wire::SV_VEHICLE_CREATE, 1, 3000);
    ASSERT_TRUE(recreated);
    ASSERT_TRUE(testclient::DecodeVehicleCreate(*recreated, create));
    EXPECT_EQ(create.usSpawnCounter, 1);
    EXPECT_EQ(static_cast<float>(create.vPosition.x), 20.0f);
    EXPECT_TRUE(m_Server.WaitForOutput("veh: exit 0 1", 3000));
    EXPECT_TRUE(m_Server.WaitForOutput("veh: respawn 1", 3000));

    // The nearest player simulates it again; a report from before the respawn is ignored.
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_ASSIGNMENT_GAINED, 1, kStreamWaitMs));
    m_Bob.Clear();
    RakNet::BitStream stale;
    testclient::EncodeUnoccupiedSync(stale, 1, 0, VehicleAt(30.0f, 0.0f, 10.0f));
    ASSERT_TRUE(Send(m_Alice, stale));
    EXPECT_TRUE(m_Bob.NoneWithin(wire::SV_UNOCCUPIED_RELAY, 500));
    RakNet::BitStream current;
    testclient::EncodeUnoccupiedSync(current, 1, 1, VehicleAt(31.0f, 0.0f, 10.0f));
    ASSERT_TRUE(Send(m_Alice, current));
    auto relay = m_Bob.WaitFor(wire::SV_UNOCCUPIED_RELAY, 3000);
    ASSERT_TRUE(relay);
    testclient::SUnoccupiedRelay unoccupied;
    ASSERT_TRUE(testclient::DecodeUnoccupiedRelay(*relay, unoccupied));
    EXPECT_EQ(static_cast<float>(unoccupied.record.vPosition.x), 31.0f);
}

// Refusals leave nothing reserved: after a lock, a veto and a wreck the
// vehicle can still be entered; the nearest player hands over to a clearly
// nearer one.
TEST_F(VehicleE2eTest, RefusedEntriesLeaveTheSeatFreeAndTheNearestPlayerHandsOver)
{
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(22.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(60.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_ASSIGNMENT_GAINED, 1, kStreamWaitMs));
    ASSERT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_CREATE, 1));

    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(21.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(60.0f, 0.0f, 10.0f)));
    EXPECT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_ASSIGNMENT_LOST, 1, kStreamWaitMs));
    EXPECT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_ASSIGNMENT_GAINED, 1, 1000));

    Command(m_Alice, "lock 1 1");
    ASSERT_TRUE(RequestEnter(m_Alice, 1, 0, 255, 18));
    EXPECT_EQ(RefusalOf(m_Alice.WaitFor(wire::SV_ENTER_VEHICLE_REFUSED)), 50);
    Command(m_Alice, "lock 1 0");
    Command(m_Alice, "refuse 1");
    ASSERT_TRUE(RequestEnter(m_Alice, 1, 0, 255, 18));
    EXPECT_EQ(RefusalOf(m_Alice.WaitFor(wire::SV_ENTER_VEHICLE_REFUSED)), 70);
    Command(m_Alice, "refuse 0");
    ASSERT_TRUE(RequestEnter(m_Bob, 1, 0, 255, 18));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_ENTER_VEHICLE));

    // Bob simulates the vehicle, so his report wrecks it; then nobody gets in.
    ASSERT_TRUE(ReportExploded(m_Bob, 1));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_EXPLODE, 1, 3000));
    ASSERT_TRUE(RequestEnter(m_Alice, 1, 0, 255, 18));
    EXPECT_EQ(RefusalOf(m_Alice.WaitFor(wire::SV_ENTER_VEHICLE_REFUSED)), 2);
}

// A client asks only for vehicles it could be holding: not one 600 units
// away, nor one at its feet in another world; neither is entered, driven or
// wrecked by it. A plugin may still put it in anywhere.
TEST_F(VehicleE2eTest, AClientCannotTakeAVehicleBeyondItsReach)
{
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f)));
    Command(m_Alice, "createin 2 130 3 0 10");
    ASSERT_TRUE(m_Server.WaitForOutput("veh: created 3", 3000));
    for (int nVehicle : {2, 3})
    {
        ASSERT_TRUE(RequestEnter(m_Alice, nVehicle, 0, 255, 18));
        EXPECT_EQ(RefusalOf(m_Alice.WaitFor(wire::SV_ENTER_VEHICLE_REFUSED)), 2) << nVehicle;
        ASSERT_TRUE(Drive(m_Alice, nVehicle, 5.0f));
        ASSERT_TRUE(ReportExploded(m_Alice, nVehicle));
    }
    m_Alice.Pump(500);
    EXPECT_EQ(m_Server.CountOutput("veh: request"), 0u);
    EXPECT_EQ(m_Server.CountOutput("veh: enter"), 0u);
    EXPECT_EQ(m_Server.CountOutput("veh: explode"), 0u);
    Command(m_Alice, "put 2");
    EXPECT_EQ(m_Server.CountOutput("veh: put 0"), 1u) << m_Server.Output();
    EXPECT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_CREATE, 2, 3000));
}

// In within 280, out beyond 300, but never from under a driver the observer sees.
TEST_F(VehicleE2eTest, AVehicleStreamsByDistanceButNotFromUnderAVisibleDriver)
{
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(m_Bob.SendOnFootSync(0, At(0.0f, 5.0f, 10.0f)));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_CREATE, 1));
    EXPECT_EQ(m_Alice.CountOf(wire::SV_VEHICLE_CREATE), 0) << "vehicle 2 is 600 units away";
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(330.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_CREATE, 2));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_DESTROY, 1));
    ASSERT_TRUE(m_Alice.SendOnFootSync(0, At(0.0f, 0.0f, 10.0f)));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_DESTROY, 2));
    ASSERT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_CREATE, 1));

    ASSERT_TRUE(RequestEnter(m_Bob, 1, 0, 255, 18));
    ASSERT_TRUE(m_Bob.WaitFor(wire::SV_ENTER_VEHICLE));
    ASSERT_TRUE(Drive(m_Bob, 1, 20.0f));
    ASSERT_TRUE(WaitForVehicle(m_Bob, wire::SV_VEHICLE_ASSIGNMENT_GAINED, 1, 3000));
    m_Alice.Clear();
    // 310 units: beyond the vehicle's radius but within Bob's.
    for (int i = 0; i < 25; ++i)
    {
        ASSERT_TRUE(Drive(m_Bob, 1, 310.0f));
        m_Alice.Pump(100);
    }
    EXPECT_EQ(m_Alice.CountOf(wire::SV_VEHICLE_DESTROY), 0);
    EXPECT_EQ(m_Alice.CountOf(wire::SV_STREAM_OUT), 0);
    ASSERT_TRUE(Drive(m_Bob, 1, 400.0f));
    EXPECT_TRUE(WaitForVehicle(m_Alice, wire::SV_VEHICLE_DESTROY, 1));
}
} // namespace
