#pragma once

// Command-line options of orvn-bot, parsed into one plain record so that the
// parsing can be tested without starting anything.

#include <string>

namespace orvnbot
{

struct SBotOptions
{
    std::string strHost = "127.0.0.1";
    int nPort = 8192;
    int nBots = 10;
    double dHz = 20.0;
    double dSeconds = 10.0;
    bool bSpread = false;
    // Each bot enters vehicle (its number + 1) through the entry request and
    // sends driver sync instead of on-foot sync.
    bool bVehicles = false;
    // Seconds between the last bot settling and the start of counting: one
    // streaming pass (at most a second for a full server) plus margin.
    double dWarmup = 3.0;
    // Seconds the bots keep sending and receiving after the window, so that
    // relays of the last counted syncs still arrive.
    double dDrain = 1.0;
    // Seconds the whole swarm may take to connect, join and spawn.
    double dSetupTimeout = 60.0;
    int nThreads = 2;
    std::string strNamePrefix = "bot";
    // When above 0, the CPU time of this process is sampled at the start and
    // the end of the window (Linux /proc), with nCpuHz clock ticks a second.
    int nCpuPid = 0;
    int nCpuHz = 100;
    // Churn once the swarm has settled, in mean seconds (0: none): each bot
    // leaves and joins again, and sends a chat line now and then.
    double dChurn = 0.0;
    double dChat = 0.0;
    bool bHelp = false;
};

// False with a message in strError for an unknown option, a missing value or
// a value out of range. Values may follow as the next argument or after '='.
bool ParseBotOptions(int argc, const char* const* argv, SBotOptions& options, std::string& strError);

const char* BotUsage();

} // namespace orvnbot
