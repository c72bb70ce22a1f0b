// orvn-bot: a swarm of game clients that join a server, spawn, walk and send
// on-foot sync, and report how many of each other's relays reached them and
// how late. One JSON line on standard output; progress on standard error.

#include <cstdio>
#include <string>

#include "BotOptions.h"
#include "BotReport.h"
#include "CBotSwarm.h"

int main(int argc, char** argv)
{
    orvnbot::SBotOptions options;
    std::string strError;
    if (!orvnbot::ParseBotOptions(argc, argv, options, strError))
    {
        std::fprintf(stderr, "orvn-bot: %s\n%s", strError.c_str(), orvnbot::BotUsage());
        return 2;
    }
    if (options.bHelp)
    {
        std::fputs(orvnbot::BotUsage(), stdout);
        return 0;
    }
    orvnbot::SBotReport report;
    orvnbot::CBotSwarm swarm(options);
    const bool bAnySpawned = swarm.Run(report);
    std::printf("%s\n", orvnbot::FormatReportJson(report).c_str());
    std::fflush(stdout);
    return bAnySpawned ? 0 : 1;
}
