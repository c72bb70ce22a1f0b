#pragma once

// Runs one load test: creates the bots, drives them from a few polling
// threads (bots split round-robin), waits until every bot has spawned or
// failed, lets the server stream everyone in during the warm-up, counts for
// the window, drains, disconnects, and sums up what was sent and received.

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "BotOptions.h"
#include "BotReport.h"
#include "CBot.h"
#include "CBotLayout.h"
#include "SwarmShared.h"

namespace orvnbot
{

class CBotSwarm
{
public:
    explicit CBotSwarm(const SBotOptions& options);
    ~CBotSwarm();
    CBotSwarm(const CBotSwarm&) = delete;
    CBotSwarm& operator=(const CBotSwarm&) = delete;

    // Blocks for the whole run. False when no bot spawned; the report is
    // filled in either case. Progress lines go to standard error.
    bool Run(SBotReport& report);

private:
    void PollLoop(int nThread);
    void WaitUntilSettled();
    void CountWindow(SBotReport& report);
    void StopThreads();
    void Disconnect();
    void Collect(SBotReport& report) const;
    void CountExpected(SBotReport& report) const;

    const SBotOptions m_options;
    // All of these live for the swarm's lifetime; the bots point at the layout
    // and the shared record, the threads at the bots and their stats.
    CBotLayout m_layout;
    SSwarmShared m_shared;
    std::vector<std::unique_ptr<CBot>> m_bots;
    std::vector<SThreadStats> m_threadStats;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_bStop{false};
};

} // namespace orvnbot
