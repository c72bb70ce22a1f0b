#pragma once

// What the bots of one run share across the polling threads, and what each
// thread counts on its own (merged when the run ends).

#include <atomic>
#include <cstdint>
#include <limits>

#include "CBotLayout.h"
#include "CLatencyHistogram.h"

namespace orvnbot
{

constexpr int kNoBot = -1;
constexpr int kSlotCount = 256;

// Lives for one run, owned by CBotSwarm; the bots hold a pointer to it.
struct SSwarmShared
{
    const CBotLayout* pLayout = nullptr;
    // The counting window in clock units: syncs sent at or after the start and
    // before the end are counted, both by their sender and by their receivers.
    // Far in the future until the swarm has settled.
    std::atomic<int64_t> llWindowStart{std::numeric_limits<int64_t>::max()};
    std::atomic<int64_t> llWindowEnd{std::numeric_limits<int64_t>::max()};
    // Bot number of each server slot, kNoBot while no bot of ours holds it.
    std::atomic<int> anBotOfSlot[kSlotCount];
    // Handshakes under way, so that joins are paced rather than all at once.
    std::atomic<int> nHandshakes{0};
    int nMaxHandshakes = 8;
    // Set when the set-up time is over: bots still idle stay out of the run
    // and bots still in their handshake give up, so that the bots counted are
    // the same from the start of the window to its end.
    std::atomic<bool> bSetupClosed{false};

    SSwarmShared()
    {
        for (std::atomic<int>& bot : anBotOfSlot)
        {
            bot.store(kNoBot, std::memory_order_relaxed);
        }
    }

    bool InWindow(int64_t llUnits) const
    {
        return llUnits >= llWindowStart.load(std::memory_order_relaxed) &&
               llUnits < llWindowEnd.load(std::memory_order_relaxed);
    }
};

// Owned by one polling thread; merged by the swarm after the threads end.
struct SThreadStats
{
    CLatencyHistogram latency;
    uint64_t ullReceived = 0;   // in-window relays between pairs in range
    uint64_t ullUnexpected = 0; // in-window relays between pairs that should not see each other
    uint64_t ullForeign = 0;    // relays of slots that no bot of ours holds
    uint64_t ullMalformed = 0;  // relays too short to decode, or with an angle no bot wrote

    void Merge(const SThreadStats& other)
    {
        latency.Merge(other.latency);
        ullReceived += other.ullReceived;
        ullUnexpected += other.ullUnexpected;
        ullForeign += other.ullForeign;
        ullMalformed += other.ullMalformed;
    }
};

} // namespace orvnbot
