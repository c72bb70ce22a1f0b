// The flood limits on their own, under a clock the test moves: the message
// allowance per connection, the query limits per address and in total, and
// the query handler's drops and their report line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/CMessageFloodLimit.h"
#include "net/CQueryHandler.h"
#include "net/CQueryLimiter.h"
#include "support/TempDir.h"

namespace
{
// Messages of one slot at given times; the verdicts expected.
struct SMessageCase
{
    const char* szName;
    int nRate;
    int nBurst;
    std::vector<uint32_t> auiTimes;
    int nAdmitted;
};

int AdmitAll(CMessageFloodLimit& limit, int nSlot, const std::vector<uint32_t>& auiTimes)
{
    int nAdmitted = 0;
    for (uint32_t uiTime : auiTimes)
        nAdmitted += limit.Admit(nSlot, uiTime) ? 1 : 0;
    return nAdmitted;
}

std::vector<uint32_t> Repeat(uint32_t uiTime, int nCount)
{
    return std::vector<uint32_t>(static_cast<size_t>(nCount), uiTime);
}

// Every nStepMs from uiStart, nCount times.
std::vector<uint32_t> Spaced(uint32_t uiStart, uint32_t uiStepMs, int nCount)
{
    std::vector<uint32_t> auiTimes;
    for (int i = 0; i < nCount; ++i)
        auiTimes.push_back(uiStart + uiStepMs * static_cast<uint32_t>(i));
    return auiTimes;
}

class CNullSocket : public IQueryReplySocket
{
public:
    void SendTo(uint32_t, uint16_t, const uint8_t*, int nLength) override
    {
        ++m_nReplies;
        m_nBytes += nLength;
    }
    int m_nReplies = 0;
    int m_nBytes = 0;
};
} // namespace

TEST(MessageFloodLimit, BurstThenRateAndTheConnectionStaysDroppedUntilReset)
{
    const SMessageCase aCases[] = {
        {"the burst at once", 50, 100, Repeat(1000, 100), 100},
        {"one past the burst", 50, 100, Repeat(1000, 101), 100},
        {"exactly the rate for four seconds", 50, 10, Spaced(1000, 20, 200), 200},
        // Half a message earned per message sent: 10 - k/2 >= 1 lets k = 0..18 pass.
        {"twice the rate: the burst, then dropped", 50, 10, Spaced(1000, 10, 200), 19},
        {"switched off", 0, 1, Repeat(1000, 5000), 5000},
        // Over the wrap of the 32-bit clock the refill still counts elapsed time.
        {"across the clock's wrap", 50, 10, Spaced(0xFFFFFF00u, 20, 100), 100},
    };
    for (const SMessageCase& test : aCases)
    {
        CMessageFloodLimit limit;
        limit.Configure(test.nRate, test.nBurst);
        EXPECT_EQ(AdmitAll(limit, 3, test.auiTimes), test.nAdmitted) << test.szName;
        int anSlots[FLOOD_LIMIT_SLOTS];
        const bool bFlooded = test.nAdmitted < static_cast<int>(test.auiTimes.size());
        ASSERT_EQ(limit.TakeFlooded(anSlots, FLOOD_LIMIT_SLOTS), bFlooded ? 1 : 0) << test.szName;
        if (!bFlooded)
            continue;
        EXPECT_EQ(anSlots[0], 3);
        // Handed out once; its later messages are still dropped, other slots unaffected.
        EXPECT_FALSE(limit.Admit(3, test.auiTimes.back() + 60000)) << test.szName;
        EXPECT_TRUE(limit.Admit(4, test.auiTimes.back())) << test.szName;
        EXPECT_EQ(limit.TakeFlooded(anSlots, FLOOD_LIMIT_SLOTS), 0) << test.szName;
        limit.Reset(3, test.auiTimes.back());
        EXPECT_TRUE(limit.Admit(3, test.auiTimes.back())) << test.szName;
    }
}

TEST(MessageFloodLimit, AConnectionGoneBeforeItsKickIsNotKicked)
{
    CMessageFloodLimit limit;
    limit.Configure(10, 2);
    AdmitAll(limit, 5, Repeat(1000, 3));
    AdmitAll(limit, 7, Repeat(1000, 3));
    limit.Reset(5, 1000);
    int anSlots[FLOOD_LIMIT_SLOTS];
    ASSERT_EQ(limit.TakeFlooded(anSlots, FLOOD_LIMIT_SLOTS), 1);
    EXPECT_EQ(anSlots[0], 7);
    EXPECT_TRUE(limit.Admit(-1, 1000));
    EXPECT_TRUE(limit.Admit(FLOOD_LIMIT_SLOTS, 1000));
}

TEST(QueryLimiter, RateBurstAndBudget)
{
    CQueryLimiter limiter;
    limiter.Configure(10, 5, 1000);
    const uint32_t uiA = 0x0200007F;
    const uint32_t uiB = 0x0300007F;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(limiter.Admit(uiA, 100, 1000), QUERY_REPLY) << i;
    EXPECT_EQ(limiter.Admit(uiA, 100, 1000), QUERY_OVER_RATE);
    // Another address has its own burst, within what is left of the budget.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(limiter.Admit(uiB, 100, 1000), QUERY_REPLY) << i;
    EXPECT_EQ(limiter.Admit(0x0400007F, 100, 1000), QUERY_OVER_BUDGET);
    // 100 ms later: one more reply for A, and 100 bytes of budget for it.
    EXPECT_EQ(limiter.Admit(uiA, 100, 1100), QUERY_REPLY);
    EXPECT_EQ(limiter.Admit(uiA, 0, 1100), QUERY_OVER_RATE);
    EXPECT_EQ(limiter.Admit(uiB, 100, 1200), QUERY_REPLY);
    EXPECT_EQ(limiter.Admit(uiB, 101, 1300), QUERY_OVER_BUDGET);

    CQueryLimiter off;
    off.Configure(0, 0, 0);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(off.Admit(uiA, 2413, 1000), QUERY_REPLY);
}

// Neighbouring addresses (a whole /24, and the same octet in 64 networks)
// keep entries of their own: each gets its burst and no more.
TEST(QueryLimiter, NeighbouringAddressesKeepTheirOwnEntries)
{
    CQueryLimiter limiter;
    limiter.Configure(1, 3, 0);
    std::vector<uint32_t> auiAddresses;
    for (uint32_t uiLast = 1; uiLast < 255; ++uiLast)
        auiAddresses.push_back(0x0000007Fu | (uiLast << 24));
    for (uint32_t uiNet = 0; uiNet < 64; ++uiNet)
        auiAddresses.push_back(0x0200000Au | (uiNet << 8));
    int nReplies = 0;
    for (int nRound = 0; nRound < 10; ++nRound)
    {
        for (uint32_t uiAddress : auiAddresses)
            nReplies += limiter.Admit(uiAddress, 100, 1000) == QUERY_REPLY ? 1 : 0;
    }
    EXPECT_EQ(nReplies, 3 * static_cast<int>(auiAddresses.size()));
}

// Spoofed sources recycle the fixed table; the budget still holds for them
// all, and a steady source's rate holds as long as it is among the recently seen.
TEST(QueryLimiter, SpoofedFloodIsHeldByTheBudget)
{
    CQueryLimiter limiter;
    limiter.Configure(2, 2, 10000);
    uint32_t uiSeed = 12345;
    int nBytes = 0;
    int nSteady = 0;
    for (uint32_t uiMs = 0; uiMs < 10000; ++uiMs)
    {
        for (int i = 0; i < 20; ++i)
        {
            uiSeed = uiSeed * 1103515245u + 12345u;
            if (limiter.Admit(uiSeed, 100, 5000 + uiMs) == QUERY_REPLY)
                nBytes += 100;
        }
        if (uiMs % 10 == 0 && limiter.Admit(0x0100007F, 10, 5000 + uiMs) == QUERY_REPLY)
        {
            nBytes += 10;
            ++nSteady;
        }
    }
    EXPECT_LE(nBytes, 10000 * 11);
    EXPECT_GE(nBytes, 10000 * 9);
    EXPECT_LE(nSteady, 2 + 2 * 10 + 1);
}

TEST(QueryHandler, DroppedRepliesAreAnsweredNowhereAndReportedOncePerMinute)
{
    CQueryHandler handler;
    handler.SetLimits(1, 1, 0);
    CNullSocket socket;
    for (int i = 0; i < 5; ++i)
    {
        std::vector<uint8_t> request = {'O', 'R', 'V', 'N', 127, 0, 0, 1, 0x39, 0x30, 'c'};
        EXPECT_TRUE(handler.HandleQueryDatagram(&socket, 0x0200007F, 5000, request.data(), 11)) << i;
    }
    EXPECT_EQ(socket.m_nReplies, 1);
    EXPECT_EQ(socket.m_nBytes, 13);

    CCaptureStdout capture;
    handler.ReportDrops(100000);
    handler.ReportDrops(100001);
    std::vector<uint8_t> request = {'O', 'R', 'V', 'N', 127, 0, 0, 1, 0x39, 0x30, 'i'};
    handler.HandleQueryDatagram(&socket, 0x0200007F, 5000, request.data(), 11);
    handler.ReportDrops(159999);
    const std::string strFirst = capture.Finish();
    EXPECT_EQ(strFirst,
              "Query flood: dropped 4 replies (4 over an address's rate, 0 over the reply budget).\n");
    CCaptureStdout later;
    handler.ReportDrops(160001);
    handler.ReportDrops(300000);
    EXPECT_EQ(later.Finish(),
              "Query flood: dropped 1 replies (1 over an address's rate, 0 over the reply budget).\n");
}
