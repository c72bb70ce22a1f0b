// The load bot's pieces (send-time code, latency percentiles, the walking
// layout and its stream pairs, relay decoding, options, the report line), and
// short swarm runs against the bare relay and the game server.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <thread>

#include "BitStream.h"
#include "RakPeerInterface.h"

#include "BotClock.h"
#include "BotOptions.h"
#include "BotReport.h"
#include "BotWire.h"
#include "CBotLayout.h"
#include "CBotSwarm.h"
#include "CLatencyHistogram.h"
#include "CMessageBuilder.h"
#include "CPayloadReader.h"
#include "CTestClient.h"
#include "ClientMessages.h"
#include "CRelayBaseline.h"
#include "ProcessCpu.h"
#include "support/ServerProcess.h"
#include "support/TempDir.h"

using namespace orvnbot;

TEST(BotClock, TimeCodeSurvivesTheFloatAndTheWrap)
{
    // The largest code is still a whole float.
    uint32_t uiCode = 0;
    ASSERT_TRUE(AngleToTimeCode(TimeCodeToAngle(kTimeCodeMask), uiCode));
    EXPECT_EQ(uiCode, kTimeCodeMask);

    // Sent just before the 24-bit wrap, received just after it.
    const int64_t llSent = (int64_t{1} << 24) * 3 - 10;
    const int64_t llReceived = llSent + 25;
    ASSERT_TRUE(AngleToTimeCode(TimeCodeToAngle(TimeCode(llSent)), uiCode));
    EXPECT_EQ(SendUnitsFromCode(llReceived, uiCode), llSent);
    EXPECT_EQ(SendUnitsFromCode(llSent, TimeCode(llSent)), llSent);

    // Angles that no bot wrote are refused, not turned into huge latencies.
    EXPECT_FALSE(AngleToTimeCode(-1.0f, uiCode));
    EXPECT_FALSE(AngleToTimeCode(1.5f, uiCode));
    EXPECT_FALSE(AngleToTimeCode(16777216.0f, uiCode));
    EXPECT_FALSE(AngleToTimeCode(std::numeric_limits<float>::quiet_NaN(), uiCode));
    EXPECT_FALSE(AngleToTimeCode(std::numeric_limits<float>::infinity(), uiCode));
}

TEST(BotLatency, NearestRankPercentilesMergeAndOverflow)
{
    CLatencyHistogram empty;
    EXPECT_EQ(empty.Percentile(0.99), 0);

    CLatencyHistogram a;
    CLatencyHistogram b;
    for (int i = 1; i <= 100; ++i)
    {
        (i % 2 ? a : b).Add(i);
    }
    a.Merge(b);
    EXPECT_EQ(a.Count(), 100u);
    EXPECT_EQ(a.Percentile(0.50), 50);
    EXPECT_EQ(a.Percentile(0.99), 99);
    EXPECT_EQ(a.Percentile(1.0), 100);
    EXPECT_EQ(a.Max(), 100);

    CLatencyHistogram slow;
    slow.Add(-5);
    slow.Add(int64_t{1} << 40);
    EXPECT_EQ(slow.Percentile(0.0), 0);
    EXPECT_EQ(slow.Percentile(1.0), CLatencyHistogram::kBins - 1);
    EXPECT_EQ(slow.Max(), int64_t{1} << 40);
}

namespace
{

bool InsideWorld(const wire::SWireVector& v)
{
    return v.x >= -2350.0f && v.x <= 1550.0f && v.y >= -1950.0f && v.y <= 1950.0f;
}

} // namespace

TEST(BotLayout, NearBotsAllSeeEachOtherAndSpreadBotsNone)
{
    CBotLayout near;
    near.Build(100, false);
    CBotLayout spread;
    spread.Build(100, true);
    for (int i = 0; i < 100; ++i)
    {
        EXPECT_EQ(near.PairState(i, i), PAIR_UNCERTAIN);
        for (int j = 0; j < 100; ++j)
        {
            if (i != j)
            {
                ASSERT_EQ(near.PairState(i, j), PAIR_IN_RANGE) << i << " " << j;
                ASSERT_EQ(spread.PairState(i, j), PAIR_BEYOND) << i << " " << j;
            }
        }
    }
    // The pair states must hold for the real positions, at any time.
    for (double dTime : {0.0, 3.7, 61.0, 3600.5})
    {
        for (int i = 0; i < 100; ++i)
        {
            wire::SWireVector vA, vSpeedA, vB, vSpeedB;
            near.PositionAt(i, dTime, vA, vSpeedA);
            near.PositionAt((i + 37) % 100, dTime, vB, vSpeedB);
            EXPECT_LT(std::hypot(vA.x - vB.x, vA.y - vB.y), CBotLayout::kStreamInRadius);
            spread.PositionAt(i, dTime, vA, vSpeedA);
            spread.PositionAt((i + 1) % 100, dTime, vB, vSpeedB);
            EXPECT_GT(std::hypot(vA.x - vB.x, vA.y - vB.y), CBotLayout::kStreamOutRadius);
            EXPECT_TRUE(InsideWorld(vA)) << i;
        }
    }
}

TEST(BotLayout, SpeedIsTheWalkPerFrame)
{
    CBotLayout layout;
    layout.Build(7, false);
    for (int i = 0; i < 7; ++i)
    {
        wire::SWireVector v0, vSpeed, v1, vUnused;
        layout.PositionAt(i, 10.0, v0, vSpeed);
        layout.PositionAt(i, 10.0 + 1.0 / CBotLayout::kFramesPerSecond, v1, vUnused);
        EXPECT_NEAR(v1.x - v0.x, vSpeed.x, 0.005f) << i;
        EXPECT_NEAR(v1.y - v0.y, vSpeed.y, 0.005f) << i;
        EXPECT_NEAR(std::hypot(vSpeed.x, vSpeed.y), CBotLayout::kWalkSpeed / CBotLayout::kFramesPerSecond,
                    1e-4);
    }
}

TEST(BotWire, RelayDecodesAsTheServerEncodesAndShortOnesFail)
{
    wire::SOnFootRecord sent = {};
    sent.vPosition = {1.5f, -2.0f, 12.0f};
    sent.fAngle = TimeCodeToAngle(123456);
    sent.byByte37 = 0xA5;
    sent.byHealth = 100;
    testclient::CMessageBuilder body;
    body.U8(42).Block(sent);
    RakNet::BitStream stream;
    testclient::WriteMessageId(stream, wire::SV_ONFOOT_RELAY);
    testclient::AppendBits(stream, body.Stream());

    SMessageView view;
    ASSERT_TRUE(ParseMessage(stream.GetData(), stream.GetNumberOfBytesUsed(), view));
    EXPECT_EQ(view.nId, wire::SV_ONFOOT_RELAY);
    uint8_t bySlot = 0;
    wire::SOnFootRecord got = {};
    ASSERT_TRUE(DecodeOnFootRelay(view, bySlot, got));
    EXPECT_EQ(bySlot, 42);
    EXPECT_EQ(got.fAngle, sent.fAngle);
    EXPECT_EQ(+got.byByte37, 0xA5);
    EXPECT_EQ(got.vPosition.y, -2.0f);

    view.nLength -= 1;
    EXPECT_FALSE(DecodeOnFootRelay(view, bySlot, got));
}

TEST(BotWire, FramingFollowsTheServer)
{
    SMessageView view;
    const uint8_t abyStamped[] = {27, 0, 0, 0, 9, 177, 1};
    ASSERT_TRUE(ParseMessage(abyStamped, sizeof(abyStamped), view));
    EXPECT_EQ(view.nId, 177);
    EXPECT_EQ(view.nLength, 1u);
    const uint8_t abyTwoByte[] = {135, 4};
    ASSERT_TRUE(ParseMessage(abyTwoByte, sizeof(abyTwoByte), view));
    EXPECT_EQ(view.nId, 516);
    const uint8_t abyShortStamp[] = {27, 0, 0};
    EXPECT_FALSE(ParseMessage(abyShortStamp, sizeof(abyShortStamp), view));
    const uint8_t abyCutTwoByte[] = {136};
    EXPECT_FALSE(ParseMessage(abyCutTwoByte, sizeof(abyCutTwoByte), view));
    EXPECT_FALSE(ParseMessage(nullptr, 0, view));

    const uint8_t abyHealth[] = {179, 0, 0, 1, 2, 55};
    ASSERT_TRUE(ParseMessage(abyHealth, sizeof(abyHealth), view));
    uint32_t uiSequence = 0;
    ASSERT_TRUE(ReadLeadingSequence(view, uiSequence));
    EXPECT_EQ(uiSequence, 0x102u);
    view.nLength = 3;
    EXPECT_FALSE(ReadLeadingSequence(view, uiSequence));
}

TEST(BotOptions, ParsesBothFormsAndRefusesBadValues)
{
    const char* argv[] = {"orvn-bot", "--bots=5", "--hz", "50", "--spread", "--port", "9000", "--warmup=0.5"};
    SBotOptions options;
    std::string strError;
    ASSERT_TRUE(ParseBotOptions(8, argv, options, strError)) << strError;
    EXPECT_EQ(options.nBots, 5);
    EXPECT_EQ(options.dHz, 50.0);
    EXPECT_TRUE(options.bSpread);
    EXPECT_EQ(options.nPort, 9000);
    EXPECT_EQ(options.dWarmup, 0.5);
    EXPECT_EQ(options.strHost, "127.0.0.1");

    const std::vector<std::vector<const char*>> bad = {
        {"orvn-bot", "--bots", "0"},     {"orvn-bot", "--bots", "5x"}, {"orvn-bot", "--hz", "nan"},
        {"orvn-bot", "--port", "70000"}, {"orvn-bot", "--seconds"},    {"orvn-bot", "--spread=1"},
        {"orvn-bot", "--bogus"},         {"orvn-bot", "--host", ""},   {"orvn-bot", "--hz", "-3"},
    };
    for (const std::vector<const char*>& args : bad)
    {
        SBotOptions rejected;
        EXPECT_FALSE(ParseBotOptions(static_cast<int>(args.size()), args.data(), rejected, strError))
            << args.back();
        EXPECT_FALSE(strError.empty());
    }
}

TEST(BotReport, JsonLineKeepsItsFieldsAndNullDelivery)
{
    SBotReport report;
    report.nBots = 3;
    report.dHz = 20;
    report.dSeconds = 2;
    report.ullExpected = 200;
    report.ullReceived = 199;
    report.dP99Ms = 12.34;
    report.strFirstFailure = "say \"no\"";
    const std::string strJson = FormatReportJson(report);
    EXPECT_EQ(strJson.rfind("{\"bots\":3,\"hz\":20,\"seconds\":2,\"joined\":0,\"spawned\":0,\"sent\":0,"
                            "\"expected\":200,\"received\":199,\"delivery\":0.99500,\"p50_ms\":0.0,"
                            "\"p99_ms\":12.3,",
                            0),
              0u)
        << strJson;
    EXPECT_NE(strJson.find("\"first_failure\":\"say \\\"no\\\"\"}"), std::string::npos) << strJson;

    report.ullExpected = 0;
    EXPECT_NE(FormatReportJson(report).find("\"delivery\":null,"), std::string::npos);
}

TEST(BotProcessCpu, StatFieldsCountAfterTheCommandName)
{
    uint64_t ullTicks = 0;
    ASSERT_TRUE(ParseStatCpuTicks("123 (odd) name) (x) S 1 2 3 4 5 6 7 8 9 10 250 50 0 0 20", ullTicks));
    EXPECT_EQ(ullTicks, 300u);
    EXPECT_FALSE(ParseStatCpuTicks("123 no parenthesis", ullTicks));
    EXPECT_FALSE(ParseStatCpuTicks("123 (short) S 1 2 3", ullTicks));
}

namespace
{

// The bare relay on a thread of its own for the length of a test.
class CBaselineThread
{
public:
    explicit CBaselineThread(int nPort)
    {
        orvnbench::SRelayOptions options;
        options.nPort = nPort;
        options.nPollMs = 1;
        m_bStarted = m_baseline.Start(options);
        if (m_bStarted)
        {
            m_thread = std::thread([this] { m_baseline.Run(m_bStop); });
        }
    }
    ~CBaselineThread()
    {
        m_bStop.store(true);
        if (m_thread.joinable())
        {
            m_thread.join();
        }
    }
    bool Started() const { return m_bStarted; }

private:
    orvnbench::CRelayBaseline m_baseline;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    bool m_bStarted = false;
};

SBotOptions ShortRun(int nPort, bool bSpread)
{
    SBotOptions options;
    options.nPort = nPort;
    options.nBots = 3;
    options.dHz = 20.0;
    options.dSeconds = bSpread ? 1.0 : 2.0;
    options.dWarmup = 0.5;
    options.dDrain = 0.5;
    options.dSetupTimeout = 10.0;
    options.bSpread = bSpread;
    return options;
}

} // namespace

// About 40 syncs per bot in the window, each owed to the two others.
TEST(BotSwarm, EveryRelayOfTheBareRelayArrives)
{
    const int nPort = FindFreeUdpPort();
    CBaselineThread baseline(nPort);
    ASSERT_TRUE(baseline.Started());
    SBotReport report;
    CBotSwarm swarm(ShortRun(nPort, false));
    ASSERT_TRUE(swarm.Run(report)) << FormatReportJson(report);
    EXPECT_EQ(report.nJoined, 3);
    EXPECT_EQ(report.nSpawned, 3);
    EXPECT_EQ(report.nLost, 0);
    EXPECT_GE(report.ullSent, 3u * 35u);
    EXPECT_EQ(report.ullExpected, 2 * report.ullSent);
    EXPECT_GE(Delivery(report), 0.98) << FormatReportJson(report);
    EXPECT_LE(report.ullReceived, report.ullExpected);
    EXPECT_EQ(report.ullUnexpected, 0u);
    EXPECT_EQ(report.ullDuplicates, 0u);
    EXPECT_EQ(report.ullMalformed, 0u);
    EXPECT_EQ(report.nSilentPairs, 0);
    EXPECT_GT(report.dP99Ms, 0.0);
    EXPECT_LT(report.dP99Ms, 1000.0);
}

// The bare relay ignores distance, so spread bots hear each other anyway:
// every such relay must show up as unexpected, none as delivered.
TEST(BotSwarm, RelaysBetweenFarBotsCountAsUnexpected)
{
    const int nPort = FindFreeUdpPort();
    CBaselineThread baseline(nPort);
    ASSERT_TRUE(baseline.Started());
    SBotReport report;
    CBotSwarm swarm(ShortRun(nPort, true));
    ASSERT_TRUE(swarm.Run(report));
    EXPECT_EQ(report.ullExpected, 0u);
    EXPECT_EQ(report.ullReceived, 0u);
    EXPECT_LT(Delivery(report), 0.0);
    EXPECT_GE(report.ullUnexpected, report.ullSent);
}

TEST(BotSwarm, GameServerRelaysEveryBotToTheOthers)
{
    CTempDir folder;
    const int nPort = FindFreeUdpPort();
    folder.Write("server.cfg", "bindhost 127.0.0.1\nport " + std::to_string(nPort) + "\nmaxplayers 100\n");
    CServerProcess server;
    ASSERT_TRUE(server.Start(folder.Path(), {"-allow-server-runas-root"}));
    ASSERT_TRUE(server.WaitForOutput("Started", 10000)) << server.Output();
    // Bots spawn at the class position and walk off at once; the streaming
    // pass that follows (every second) brings them together.
    SBotOptions options = ShortRun(nPort, false);
    options.dWarmup = 2.0;
    SBotReport report;
    CBotSwarm swarm(options);
    ASSERT_TRUE(swarm.Run(report)) << FormatReportJson(report);
    EXPECT_EQ(report.nSpawned, 3);
    EXPECT_EQ(report.nLost, 0) << report.strFirstFailure;
    EXPECT_GE(Delivery(report), 0.98) << FormatReportJson(report);
    EXPECT_EQ(report.ullDuplicates, 0u);
    EXPECT_EQ(report.ullMalformed, 0u);
    EXPECT_EQ(server.Stop(), 0);
}

// Churning bots leave and join again under the same names; every departure
// and join shows on the server, every handshake completes, nobody is lost.
TEST(BotSwarm, ChurningBotsLeaveAndJoinAgainAndChat)
{
    CTempDir folder;
    const int nPort = FindFreeUdpPort();
    folder.Write("server.cfg", "bindhost 127.0.0.1\nport " + std::to_string(nPort) + "\nmaxplayers 100\n");
    CServerProcess server;
    ASSERT_TRUE(server.Start(folder.Path(), {"-allow-server-runas-root"}));
    ASSERT_TRUE(server.WaitForOutput("Started", 10000)) << server.Output();
    SBotOptions options = ShortRun(nPort, false);
    options.dSeconds = 6.0;
    options.dChurn = 1.0;
    options.dChat = 0.5;
    SBotReport report;
    CBotSwarm swarm(options);
    ASSERT_TRUE(swarm.Run(report)) << FormatReportJson(report);
    EXPECT_EQ(report.nLost, 0) << report.strFirstFailure;
    EXPECT_GE(report.ullLeaves, 3u);
    EXPECT_GE(report.ullJoins, 3u + report.ullLeaves - 3u);
    EXPECT_LE(report.ullJoins, 3u + report.ullLeaves);
    EXPECT_GE(report.ullChats, 3u);
    EXPECT_NE(FormatReportJson(report).find("\"leaves\":"), std::string::npos);
    EXPECT_EQ(server.Stop(), 0);
    const std::string strOut = server.Output();
    size_t nConnects = 0;
    for (size_t n = strOut.find(" connected."); n != std::string::npos; n = strOut.find(" connected.", n + 1))
        ++nConnects;
    // A bot may have joined and not yet spawned when the run ended.
    EXPECT_GE(nConnects, report.ullJoins) << strOut;
    EXPECT_LE(nConnects, report.ullJoins + 3) << strOut;
    EXPECT_EQ(strOut.find("(timeout)"), std::string::npos) << strOut;
    EXPECT_EQ(strOut.find("Kicking"), std::string::npos) << strOut;
}

// Each bot enters its own vehicle through the entry request and drives it;
// the drivers' relays reach the others as they do on foot, from the server
// and from the bare relay alike.
TEST(BotSwarm, DriversEnterTheirVehiclesAndAreRelayedToTheOthers)
{
    CTempDir folder;
    const int nPort = FindFreeUdpPort();
    std::filesystem::create_directories(folder.File("plugins"));
    std::filesystem::create_symlink(std::string(ORVN_BINARY_DIR) + "/bin/plugins/bench_vehicles.so",
                                    folder.File("plugins/bench_vehicles.so"));
    folder.Write("server.cfg", "bindhost 127.0.0.1\nport " + std::to_string(nPort) +
                                   "\nmaxplayers 100\nplugins bench_vehicles\n");
    CServerProcess server;
    ASSERT_TRUE(server.Start(folder.Path(), {"-allow-server-runas-root"}));
    ASSERT_TRUE(server.WaitForOutput("Started", 10000)) << server.Output();
    SBotOptions options = ShortRun(nPort, false);
    options.dWarmup = 2.0;
    options.bVehicles = true;
    SBotReport report;
    CBotSwarm swarm(options);
    ASSERT_TRUE(swarm.Run(report)) << FormatReportJson(report);
    EXPECT_EQ(report.nSpawned, 3) << report.strFirstFailure;
    EXPECT_EQ(report.nLost, 0) << report.strFirstFailure;
    EXPECT_GE(Delivery(report), 0.98) << FormatReportJson(report);
    EXPECT_EQ(report.ullMalformed, 0u);
    EXPECT_EQ(server.Stop(), 0);

    const int nBaselinePort = FindFreeUdpPort();
    CBaselineThread baseline(nBaselinePort);
    ASSERT_TRUE(baseline.Started());
    options.nPort = nBaselinePort;
    SBotReport baselineReport;
    CBotSwarm baselineSwarm(options);
    ASSERT_TRUE(baselineSwarm.Run(baselineReport)) << FormatReportJson(baselineReport);
    EXPECT_GE(Delivery(baselineReport), 0.98) << FormatReportJson(baselineReport);
}

namespace
{

wire::SOnFootRecord SampleRecord()
{
    wire::SOnFootRecord record = {};
    record.vPosition = {10.0f, 20.0f, 12.0f};
    record.fAngle = 4321.0f;
    record.usKeys = 0x1234;
    record.byHealth = 77;
    record.byByte37 = 9;
    record.bySyncFlags = 3;
    return record;
}

} // namespace

TEST(RelayBaseline, RelaysTheRecordUnchangedToOtherJoinedClientsOnly)
{
    const int nPort = FindFreeUdpPort();
    CBaselineThread baseline(nPort);
    ASSERT_TRUE(baseline.Started());
    testclient::CTestClient sender, receiver, stranger;
    ASSERT_TRUE(sender.Connect("127.0.0.1", static_cast<uint16_t>(nPort)));
    ASSERT_TRUE(receiver.Connect("127.0.0.1", static_cast<uint16_t>(nPort)));
    ASSERT_TRUE(stranger.Connect("127.0.0.1", static_cast<uint16_t>(nPort)));
    testclient::SServerInfo info;
    ASSERT_TRUE(sender.Join("alice", &info));
    EXPECT_EQ(info.strPlayerName, "alice");
    EXPECT_EQ(info.uiPlayerId >> 8, 1u);
    EXPECT_TRUE(info.files.empty());
    ASSERT_TRUE(receiver.Join("bob"));

    ASSERT_TRUE(sender.SendRequestClass(testclient::kClassNext));
    EXPECT_TRUE(sender.WaitFor(wire::SV_CLASS_REPLY));
    ASSERT_TRUE(sender.SendRequestSpawn());
    EXPECT_TRUE(sender.WaitFor(wire::SV_PERMIT_SPAWN));

    const wire::SOnFootRecord record = SampleRecord();
    ASSERT_TRUE(sender.SendOnFootSync(99, record));
    std::optional<testclient::SReceived> relay = receiver.WaitFor(wire::SV_ONFOOT_RELAY);
    ASSERT_TRUE(relay);
    testclient::SOnFootRelay decoded;
    ASSERT_TRUE(testclient::DecodeOnFootRelay(*relay, decoded));
    EXPECT_EQ(decoded.bySlot, sender.Slot());
    EXPECT_EQ(std::memcmp(&decoded.onFoot, &record, sizeof(record)), 0);

    // A record cut short, and sync from a client that never joined, go nowhere.
    const uint8_t abyShort[] = {147, 0, 0, 0, 1, 2, 3};
    ASSERT_TRUE(sender.SendRaw(abyShort, sizeof(abyShort)));
    ASSERT_TRUE(stranger.SendOnFootSync(1, record));
    EXPECT_TRUE(receiver.NoneWithin(wire::SV_ONFOOT_RELAY, 300));
    EXPECT_EQ(sender.CountOf(wire::SV_ONFOOT_RELAY), 0);
    EXPECT_EQ(stranger.CountOf(wire::SV_ONFOOT_RELAY), 0);
}

namespace
{

// A server that follows a script, for the bot's side of the handshake: it
// answers the join (or refuses it) and the class request, permits the spawn
// and follows it with a health change under a sequence (or refuses it), and
// keeps the first sync it gets.
class CScriptedServer
{
public:
    bool bRefuseJoin = false;
    bool bRefuseSpawn = false;

    explicit CScriptedServer(int nPort) : m_pPeer(RakNet::RakPeerInterface::GetInstance())
    {
        RakNet::SocketDescriptor socket(static_cast<unsigned short>(nPort), "127.0.0.1");
        m_bStarted = m_pPeer->Startup(4, &socket, 1) == RakNet::RAKNET_STARTED;
        m_pPeer->SetMaximumIncomingConnections(4);
        m_pPeer->SetIncomingPassword("", 1);
    }
    ~CScriptedServer()
    {
        Stop();
        m_pPeer->Shutdown(100);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
    }
    void Start()
    {
        m_thread = std::thread(
            [this]
            {
                while (!m_bStop.load())
                {
                    Poll();
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
    }
    void Stop()
    {
        m_bStop.store(true);
        if (m_thread.joinable())
        {
            m_thread.join();
        }
    }
    bool Started() const { return m_bStarted; }
    // Valid after Stop().
    bool GotSync() const { return m_bGotSync; }
    uint32_t SyncStamp() const { return m_uiStamp; }
    const wire::SOnFootRecord& Sync() const { return m_sync; }

private:
    void Send(const RakNet::SystemAddress& to, int nId, const testclient::CMessageBuilder* pBody = nullptr)
    {
        RakNet::BitStream stream;
        testclient::WriteMessageId(stream, nId);
        if (pBody != nullptr)
        {
            testclient::AppendBits(stream, pBody->Stream());
        }
        m_pPeer->Send(&stream, HIGH_PRIORITY, RELIABLE_ORDERED, 0, to, false);
    }
    void Answer(const RakNet::SystemAddress& to, const SMessageView& view)
    {
        testclient::CMessageBuilder body;
        switch (view.nId)
        {
        case wire::CL_JOIN_REQUEST:
            if (bRefuseJoin)
            {
                body.U8(wire::REFUSE_NAME_IN_USE);
                Send(to, wire::SV_JOIN_REFUSAL, &body);
                return;
            }
            body.U32(0x203).F32(0).F32(0).F32(0).F32(0).Text8("x").Text8("y").U8(0);
            Send(to, wire::SV_SERVER_INFO, &body);
            break;
        case wire::CL_REQUEST_CLASS:
            Send(to, wire::SV_CLASS_REPLY);
            break;
        case wire::CL_REQUEST_SPAWN:
            if (!bRefuseSpawn)
            {
                Send(to, wire::SV_PERMIT_SPAWN);
                // After the permit, which resets health to 100 on both sides.
                body.U32(7).U8(55);
                Send(to, wire::SV_HEALTH, &body);
            }
            Send(to, wire::SV_CLASS_REPLY);
            break;
        case wire::CL_ONFOOT_SYNC:
            if (!m_bGotSync && view.nLength >= 44)
            {
                testclient::CPayloadReader reader(view.pPayload, view.nLength);
                m_bGotSync = reader.U32(m_uiStamp) && reader.Block(m_sync);
            }
            break;
        default:
            break;
        }
    }
    void Poll()
    {
        for (RakNet::Packet* p = m_pPeer->Receive(); p != nullptr; p = m_pPeer->Receive())
        {
            SMessageView view;
            if (ParseMessage(p->data, p->length, view))
            {
                Answer(p->systemAddress, view);
            }
            m_pPeer->DeallocatePacket(p);
        }
    }

    RakNet::RakPeerInterface* m_pPeer;
    bool m_bStarted = false;
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
    bool m_bGotSync = false;
    uint32_t m_uiStamp = 0;
    wire::SOnFootRecord m_sync = {};
};

SBotOptions OneBot(int nPort)
{
    SBotOptions options = ShortRun(nPort, false);
    options.nBots = 1;
    options.dSeconds = 0.2;
    options.dWarmup = 0.0;
    options.dDrain = 0.0;
    options.dSetupTimeout = 5.0;
    return options;
}

} // namespace

// The stamp echoes the server's change sequence and the health is the one the
// server set, or a real server's anti-cheat would act on the bot.
TEST(BotHandshake, SyncEchoesTheChangeSequenceAndCarriesTheSendTime)
{
    const int nPort = FindFreeUdpPort();
    CScriptedServer server(nPort);
    ASSERT_TRUE(server.Started());
    server.Start();
    SBotReport report;
    CBotSwarm swarm(OneBot(nPort));
    const int64_t llBefore = NowUnits();
    EXPECT_TRUE(swarm.Run(report)) << report.strFirstFailure;
    server.Stop();
    EXPECT_EQ(report.nJoined, 1);
    EXPECT_EQ(report.nSpawned, 1);
    ASSERT_TRUE(server.GotSync());
    EXPECT_EQ(server.SyncStamp(), 7u);
    const wire::SOnFootRecord sync = server.Sync();
    EXPECT_EQ(+sync.byHealth, 55);
    EXPECT_EQ(+sync.byArmour, 0);
    EXPECT_EQ(+sync.byWeapon, 0);
    EXPECT_EQ(+sync.usSurfaceId, 0);
    uint32_t uiCode = 0;
    ASSERT_TRUE(AngleToTimeCode(sync.fAngle, uiCode));
    const int64_t llSent = SendUnitsFromCode(NowUnits(), uiCode);
    EXPECT_GE(llSent, llBefore);
}

TEST(BotHandshake, RefusedJoinOrSpawnEndsTheBotWithItsReason)
{
    {
        const int nPort = FindFreeUdpPort();
        CScriptedServer server(nPort);
        server.bRefuseJoin = true;
        ASSERT_TRUE(server.Started());
        server.Start();
        SBotReport report;
        CBotSwarm swarm(OneBot(nPort));
        EXPECT_FALSE(swarm.Run(report));
        EXPECT_EQ(report.nJoined, 0);
        EXPECT_EQ(report.strFirstFailure, "join refused");
    }
    {
        const int nPort = FindFreeUdpPort();
        CScriptedServer server(nPort);
        server.bRefuseSpawn = true;
        ASSERT_TRUE(server.Started());
        server.Start();
        SBotReport report;
        CBotSwarm swarm(OneBot(nPort));
        EXPECT_FALSE(swarm.Run(report));
        EXPECT_EQ(report.nJoined, 1);
        EXPECT_EQ(report.nSpawned, 0);
        EXPECT_EQ(report.strFirstFailure, "spawn refused");
        EXPECT_FALSE(server.GotSync());
    }
}

// Nobody answers: the swarm gives up within its set-up time instead of waiting.
TEST(BotHandshake, SilentServerEndsWithinTheSetupTime)
{
    SBotOptions options = OneBot(FindFreeUdpPort());
    options.dSetupTimeout = 1.0;
    SBotReport report;
    CBotSwarm swarm(options);
    const int64_t llStart = NowUs();
    EXPECT_FALSE(swarm.Run(report));
    EXPECT_LT(NowUs() - llStart, 4000000);
    EXPECT_EQ(report.nJoined, 0);
    EXPECT_FALSE(report.strFirstFailure.empty());
}
