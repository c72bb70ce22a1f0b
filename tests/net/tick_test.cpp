#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/CNetwork.h"
#include "net/support/CServerHarness.h"
#include "plugins/CPluginManager.h"

using nettest::CServerHarness;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
class TickTest : public ::testing::Test
{
protected:
    TickTest() : m_harness("", ORVN_TEST_PLUGIN_DIR) {}
    void SetUp() override
    {
        ASSERT_TRUE(m_harness.Started());
        m_harness.Tick();
        m_harness.TakeOutput();
    }

    CServer& Server() { return m_harness.Server(); }

    CServerHarness m_harness;
};

int CountOf(const std::string& strText, const std::string& strNeedle)
{
    int nCount = 0;
    for (size_t nAt = strText.find(strNeedle); nAt != std::string::npos;
         nAt = strText.find(strNeedle, nAt + 1))
        ++nCount;
    return nCount;
}
} // namespace

// ---- Join-deadline sweep ----

TEST_F(TickTest, SilentConnectionIsKickedByTheFirstSweepAfter2500Ms)
{
    m_harness.Connect(3);
    ASSERT_TRUE(m_harness.Join(4, "Punctual"));
    const uint32_t uiConnected = Server().m_auiJoinDeadline[3] - 2500;
    m_harness.Peer().ClearSent();
    m_harness.TakeOutput();

    uint32_t uiKickedAt = 0;
    for (int i = 0; i < 400 && uiKickedAt == 0; ++i)
    {
        m_harness.Tick(10);
        if (Server().GetConnectionState(3) == CONNECTION_NONE)
            uiKickedAt = Server().m_uiNow;
    }
    ASSERT_NE(uiKickedAt, 0u);
    EXPECT_GT(uiKickedAt - uiConnected, 2500u);
    EXPECT_LE(uiKickedAt - uiConnected, 2610u);
    std::string strOutput = m_harness.TakeOutput();
    EXPECT_EQ(CountOf(strOutput, "Disconnecting client at ID 3 - hasn't told us who he is.\n"), 1);
    EXPECT_THAT(strOutput, Not(HasSubstr("ID 4")));
    ASSERT_EQ(m_harness.Peer().Closed().size(), 1u);
    EXPECT_FALSE(m_harness.Peer().Closed()[0].bNotify);
    EXPECT_TRUE(m_harness.Peer().Sent().empty());
    EXPECT_EQ(Server().GetConnectionState(4), CONNECTION_JOINED);

    // The joined player is never swept, however long it stays.
    m_harness.Tick(60000);
    m_harness.Tick(200);
    EXPECT_EQ(Server().GetConnectionState(4), CONNECTION_JOINED);
}

TEST_F(TickTest, SweepRunsAtMostEvery100Ms)
{
    m_harness.Tick(200);
    const uint32_t uiSwept = Server().m_uiLastJoinCheck;
    ASSERT_EQ(uiSwept, Server().m_uiNow);
    m_harness.Tick(50);
    m_harness.Tick(50);
    EXPECT_EQ(Server().m_uiLastJoinCheck, uiSwept);
    m_harness.Tick(1);
    EXPECT_EQ(Server().m_uiLastJoinCheck, Server().m_uiNow);
}

// The millisecond clock wraps every 49.7 days: a connection made just before
// the wrap still gets its 2500 ms, and the report does not fire every frame.
TEST_F(TickTest, DeadlinesSurviveTheClockWrap)
{
    m_harness.Time().m_uiTickMs = 0xFFFFFF00u;
    m_harness.Tick(1);
    Server().m_uiLastPerfReport = Server().m_uiNow;
    m_harness.Connect(3);
    m_harness.TakeOutput();
    for (int i = 0; i < 20; ++i)
        m_harness.Tick(100);
    EXPECT_EQ(Server().GetConnectionState(3), CONNECTION_CONNECTED);
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("hasn't told us who he is")));
    EXPECT_NE(Server().m_uiLastPerfReport, Server().m_uiNow);
    for (int i = 0; i < 6; ++i)
        m_harness.Tick(100);
    EXPECT_EQ(Server().GetConnectionState(3), CONNECTION_NONE);
}

TEST_F(TickTest, WithoutEntityProcessingMessagesAndTheSweepStillRunButTheClockDoesNot)
{
    Server().SetTimeRate(1000);
    Server().m_bEntityProcessing = false;
    m_harness.Connect(2);
    EXPECT_EQ(Server().GetConnectionState(2), CONNECTION_CONNECTED);
    for (int i = 0; i < 30; ++i)
        m_harness.Tick(100);
    EXPECT_EQ(Server().GetConnectionState(2), CONNECTION_NONE);
    EXPECT_EQ(Server().m_TimeState.byMinute, 0);
    EXPECT_EQ(Server().m_TimeState.byHour, 12);
}

// ---- Performance report ----

TEST_F(TickTest, ReportComesAfter30SecondsWithEightEntriesAndStartsAgainFromZero)
{
    const uint32_t uiLastReport = Server().m_uiLastPerfReport;
    for (int i = 0; i < PERF_SLOT_COUNT; ++i)
        Server().m_aullPerfTotals[i] = 100 + i;
    m_harness.Tick(uiLastReport + 30000 - Server().m_uiNow);
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("probe: report")));
    EXPECT_EQ(Server().m_aullPerfTotals[0], 100u);

    m_harness.Tick(1);
    EXPECT_THAT(
        m_harness.TakeOutput(),
        HasSubstr("probe: report 8: Streaming=100|Vehicle proximity checks=101|Processing players=102|"
                  "Processing vehicles=103|Processing pickups=104|Processing objects=105|"
                  "Packet processing=106|Plugin frame event=107\n"));
    // The manual clock stands still inside a tick, so every stage after the report added 0.
    for (int i = 0; i < PERF_SLOT_COUNT; ++i)
        EXPECT_EQ(Server().m_aullPerfTotals[i], 0u) << i;
    EXPECT_EQ(Server().m_uiLastPerfReport, Server().m_uiNow);

    m_harness.Tick(30000);
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("probe: report")));
    Server().AddPerfTime(PERF_PACKETS, 5);
    Server().AddPerfTime(PERF_SLOT_COUNT, 5);
    Server().AddPerfTime(-1, 5);
    m_harness.Tick(1);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("probe: report 8: Streaming=0|"));
    EXPECT_THAT(m_harness.TakeOutput(), Not(HasSubstr("probe: report")));
}

TEST_F(TickTest, ReportIncludesPacketProcessingTime)
{
    for (int i = 0; i < PERF_SLOT_COUNT; ++i)
        Server().m_aullPerfTotals[i] = 0;
    Server().AddPerfTime(PERF_PACKETS, 250);
    Server().AddPerfTime(PERF_PACKETS, 250);
    m_harness.Tick(30001);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("Packet processing=500|"));
}

// ---- In-game clock ----

TEST_F(TickTest, ClockAdvancesWholeMinutesAndKeepsTheRemainder)
{
    Server().SetTimeRate(1000);
    m_harness.Tick(3500);
    EXPECT_EQ(Server().m_TimeState.byHour, 12);
    EXPECT_EQ(Server().m_TimeState.byMinute, 3);
    m_harness.Tick(499);
    EXPECT_EQ(Server().m_TimeState.byMinute, 3);
    m_harness.Tick(1);
    EXPECT_EQ(Server().m_TimeState.byMinute, 4);
}

TEST_F(TickTest, ClockWrapsPastMidnight)
{
    Server().SetHour(23);
    Server().SetMinute(59);
    Server().SetTimeRate(1000);
    m_harness.Tick(1000);
    EXPECT_EQ(Server().m_TimeState.byHour, 0);
    EXPECT_EQ(Server().m_TimeState.byMinute, 0);

    // Several hours in one step.
    m_harness.Tick(1000 * 60 * 25 + 1000 * 7);
    EXPECT_EQ(Server().m_TimeState.byHour, 1);
    EXPECT_EQ(Server().m_TimeState.byMinute, 7);
}

TEST_F(TickTest, RunningClockIsRebroadcastAtTheFirstStepAfter10Seconds)
{
    Server().SetTimeRate(1000);
    m_harness.Peer().ClearSent();
    for (int i = 0; i < 10; ++i)
        m_harness.Tick(1000);
    EXPECT_TRUE(m_harness.Peer().SentWithId(171).empty());
    m_harness.Tick(1000);
    auto broadcasts = m_harness.Peer().SentWithId(171);
    ASSERT_EQ(broadcasts.size(), 1u);
    EXPECT_TRUE(broadcasts[0].bBroadcast);
    EXPECT_EQ(broadcasts[0].nPriority, NET_HIGH_PRIORITY);
    EXPECT_EQ(broadcasts[0].nReliability, NET_RELIABLE);
    // The block reversed: time rate high byte first, minute, hour, weather.
    EXPECT_EQ(broadcasts[0].Payload(), (std::vector<uint8_t>{0x03, 0xE8, 11, 12, 1}));
    EXPECT_EQ(Server().m_uiLastTimeBroadcast, Server().m_uiNow);
    for (int i = 0; i < 10; ++i)
        m_harness.Tick(1000);
    EXPECT_EQ(m_harness.Peer().SentWithId(171).size(), 1u);
    m_harness.Tick(1000);
    EXPECT_EQ(m_harness.Peer().SentWithId(171).size(), 2u);
}

// A plugin that writes into the descriptions it was handed changes what it
// was handed, not what the next report says.
TEST_F(TickTest, EachReportHandsOutItsOwnDescriptions)
{
    PluginCallbacks* pProbe = g_pPluginManager->GetCallbacks(g_pPluginManager->FindPlugin("net_probe"));
    ASSERT_NE(pProbe, nullptr);
    const auto pfnProbe = pProbe->OnServerPerformanceReport;
    pProbe->OnServerPerformanceReport = [](int32_t, const char** pszDescriptions, uint64_t*)
    { pszDescriptions[0] = "Scribbled"; };
    m_harness.Tick(30001);
    pProbe->OnServerPerformanceReport = pfnProbe;
    m_harness.TakeOutput();
    m_harness.Tick(30001);
    EXPECT_THAT(m_harness.TakeOutput(), HasSubstr("probe: report 8: Streaming="));
}
