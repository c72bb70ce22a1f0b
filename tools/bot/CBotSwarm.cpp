#include "CBotSwarm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "BotClock.h"
#include "ProcessCpu.h"

namespace orvnbot
{

namespace
{

constexpr int64_t kIdleSleepUs = 500;
constexpr int64_t kSettleCheckUs = 50000;
// Time for the disconnection notices to leave before the peers are shut down.
constexpr int64_t kCloseGraceUs = 300000;

void SleepUntil(int64_t llWhenUs)
{
    const int64_t llNowUs = NowUs();
    if (llWhenUs > llNowUs)
    {
        std::this_thread::sleep_for(std::chrono::microseconds(llWhenUs - llNowUs));
    }
}

int64_t SecondsToUs(double dSeconds)
{
    return static_cast<int64_t>(dSeconds * 1e6);
}

} // namespace

CBotSwarm::CBotSwarm(const SBotOptions& options) : m_options(options)
{
    m_layout.Build(options.nBots, options.bSpread);
    m_shared.pLayout = &m_layout;
    SBotConfig config;
    config.strHost = options.strHost;
    config.usPort = static_cast<uint16_t>(options.nPort);
    config.dHz = options.dHz;
    config.llChurnUs = SecondsToUs(options.dChurn);
    config.llChatUs = SecondsToUs(options.dChat);
    config.bVehicles = options.bVehicles;
    char szName[32];
    for (int i = 0; i < options.nBots; ++i)
    {
        std::snprintf(szName, sizeof(szName), "%s%03d", options.strNamePrefix.c_str(), i);
        config.strName = szName;
        m_bots.push_back(std::make_unique<CBot>(i, config, m_shared));
    }
}

CBotSwarm::~CBotSwarm()
{
    StopThreads();
}

bool CBotSwarm::Run(SBotReport& report)
{
    const int nThreads = std::max(1, std::min(m_options.nThreads, m_options.nBots));
    m_threadStats.assign(static_cast<size_t>(nThreads), SThreadStats());
    for (int t = 0; t < nThreads; ++t)
    {
        m_threads.emplace_back(&CBotSwarm::PollLoop, this, t);
    }
    WaitUntilSettled();
    CountWindow(report);
    StopThreads();
    Disconnect();
    Collect(report);
    return report.nSpawned > 0;
}

// A turn visits every bot of the thread; the thread sleeps only after a turn
// in which nothing arrived, so relays are timed within a turn of arriving.
void CBotSwarm::PollLoop(int nThread)
{
    SThreadStats& stats = m_threadStats[static_cast<size_t>(nThread)];
    const size_t nStride = m_threadStats.size();
    while (!m_bStop.load(std::memory_order_relaxed))
    {
        int nPackets = 0;
        for (size_t i = static_cast<size_t>(nThread); i < m_bots.size(); i += nStride)
        {
            nPackets += m_bots[i]->Step(NowUs(), stats);
        }
        if (nPackets == 0)
        {
            std::this_thread::sleep_for(std::chrono::microseconds(kIdleSleepUs));
        }
    }
}

void CBotSwarm::WaitUntilSettled()
{
    const int64_t llDeadlineUs = NowUs() + SecondsToUs(m_options.dSetupTimeout);
    for (;;)
    {
        int nSettled = 0;
        for (const std::unique_ptr<CBot>& pBot : m_bots)
        {
            nSettled += pBot->Settled() ? 1 : 0;
        }
        if (nSettled == static_cast<int>(m_bots.size()) || NowUs() >= llDeadlineUs)
        {
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(kSettleCheckUs));
    }
    m_shared.bSetupClosed.store(true);
}

// The window opens a warm-up after the swarm settled; the CPU of the watched
// process is sampled at its two ends.
void CBotSwarm::CountWindow(SBotReport& report)
{
    const int64_t llStartUs = NowUs() + SecondsToUs(m_options.dWarmup);
    const int64_t llEndUs = llStartUs + SecondsToUs(m_options.dSeconds);
    m_shared.llWindowStart.store(llStartUs / kTimeUnitUs);
    m_shared.llWindowEnd.store(llEndUs / kTimeUnitUs);
    int nSpawned = 0;
    for (const std::unique_ptr<CBot>& pBot : m_bots)
    {
        nSpawned += pBot->State() == BOT_SPAWNED ? 1 : 0;
    }
    std::fprintf(stderr, "orvn-bot: %d of %d bots spawned; counting %.1f s after a %.1f s warm-up\n",
                 nSpawned, static_cast<int>(m_bots.size()), m_options.dSeconds, m_options.dWarmup);
    SleepUntil(llStartUs);
    uint64_t ullCpuStart = 0;
    uint64_t ullCpuEnd = 0;
    const bool bCpuStart = m_options.nCpuPid > 0 && ReadProcessCpuTicks(m_options.nCpuPid, ullCpuStart);
    SleepUntil(llEndUs);
    if (bCpuStart && ReadProcessCpuTicks(m_options.nCpuPid, ullCpuEnd) && ullCpuEnd >= ullCpuStart)
    {
        report.dTargetCpuSeconds =
            static_cast<double>(ullCpuEnd - ullCpuStart) / static_cast<double>(m_options.nCpuHz);
    }
    SleepUntil(llEndUs + SecondsToUs(m_options.dDrain));
}

void CBotSwarm::StopThreads()
{
    m_bStop.store(true);
    for (std::thread& thread : m_threads)
    {
        if (thread.joinable())
        {
            thread.join();
        }
    }
    m_threads.clear();
}

void CBotSwarm::Disconnect()
{
    for (const std::unique_ptr<CBot>& pBot : m_bots)
    {
        pBot->Close();
    }
    SleepUntil(NowUs() + kCloseGraceUs);
    for (const std::unique_ptr<CBot>& pBot : m_bots)
    {
        pBot->Release();
    }
}

void CBotSwarm::Collect(SBotReport& report) const
{
    report.nBots = m_options.nBots;
    report.dHz = m_options.dHz;
    report.dSeconds = m_options.dSeconds;
    report.dWarmup = m_options.dWarmup;
    report.bSpread = m_options.bSpread;
    report.bChurn = m_options.dChurn > 0.0 || m_options.dChat > 0.0;
    for (const std::unique_ptr<CBot>& pBot : m_bots)
    {
        report.nJoined += pBot->Joined() ? 1 : 0;
        report.nSpawned += pBot->Spawned() ? 1 : 0;
        report.nLost += pBot->State() == BOT_LOST ? 1 : 0;
        report.ullSent += pBot->SentInWindow();
        report.ullDuplicates += pBot->Duplicates();
        report.ullJoins += pBot->Joins();
        report.ullLeaves += pBot->Leaves();
        report.ullChats += pBot->Chats();
        if (report.strFirstFailure.empty() && pBot->State() >= BOT_FAILED)
        {
            report.strFirstFailure = pBot->FailReason();
        }
    }
    SThreadStats total;
    for (const SThreadStats& stats : m_threadStats)
    {
        total.Merge(stats);
    }
    report.ullReceived = total.ullReceived;
    report.ullUnexpected = total.ullUnexpected;
    report.ullForeign = total.ullForeign;
    report.ullMalformed = total.ullMalformed;
    const double dMsPerUnit = static_cast<double>(kTimeUnitUs) / 1000.0;
    report.dP50Ms = static_cast<double>(total.latency.Percentile(0.50)) * dMsPerUnit;
    report.dP99Ms = static_cast<double>(total.latency.Percentile(0.99)) * dMsPerUnit;
    report.dMaxMs = static_cast<double>(total.latency.Max()) * dMsPerUnit;
    CountExpected(report);
}

// Every in-window sync of a spawned bot is owed to every other spawned bot in
// range of it, lost bots included: a bot kicked mid-run is a delivery loss.
void CBotSwarm::CountExpected(SBotReport& report) const
{
    const int nBots = static_cast<int>(m_bots.size());
    for (int nSender = 0; nSender < nBots; ++nSender)
    {
        const CBot& sender = *m_bots[static_cast<size_t>(nSender)];
        if (!sender.Spawned())
        {
            continue;
        }
        for (int nReceiver = 0; nReceiver < nBots; ++nReceiver)
        {
            const CBot& receiver = *m_bots[static_cast<size_t>(nReceiver)];
            if (nReceiver == nSender || !receiver.Spawned() ||
                m_layout.PairState(nReceiver, nSender) != PAIR_IN_RANGE)
            {
                continue;
            }
            report.ullExpected += sender.SentInWindow();
            if (sender.SentInWindow() > 0 && receiver.ReceivedFrom(nSender) == 0)
            {
                ++report.nSilentPairs;
            }
        }
    }
}

} // namespace orvnbot
