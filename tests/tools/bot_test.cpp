// The load bot's pieces (send-time code, latency percentiles, the walking
// layout and its stream pairs, relay decoding, options, the report line), and
// short swarm runs against the bare relay and the game server.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "BitStream.h"

#include "BotClock.h"
#include "BotOptions.h"
#include "BotReport.h"
#include "BotWire.h"
#include "CBotLayout.h"
#include "CBotSwarm.h"
#include "CLatencyHistogram.h"
#include "CMessageBuilder.h"
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
