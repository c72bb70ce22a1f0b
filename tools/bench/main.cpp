// orvn-relay-baseline: the bare RakNet relay that the game server's relay
// cost is measured against. Runs until interrupted (SIGINT or SIGTERM).

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CRelayBaseline.h"

namespace
{

std::atomic<bool> g_bStop{false};

void OnSignal(int)
{
    g_bStop.store(true);
}

const char* kUsage = "usage: orvn-relay-baseline [--port 8192] [--maxconn 100] [--bind 127.0.0.1]\n"
                     "                           [--poll-ms 5] [--broadcast]\n";

bool ParseNumber(const char* szText, int nMin, int nMax, int& nOut)
{
    char* pEnd = nullptr;
    const long lValue = std::strtol(szText, &pEnd, 10);
    if (pEnd == szText || *pEnd != '\0' || lValue < nMin || lValue > nMax)
    {
        return false;
    }
    nOut = static_cast<int>(lValue);
    return true;
}

bool ParseArguments(int argc, char** argv, orvnbench::SRelayOptions& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (strArg == "--broadcast")
        {
            options.bBroadcast = true;
        }
        else if (strArg == "--port" && bHasValue)
        {
            if (!ParseNumber(argv[++i], 1, 65535, options.nPort))
                return false;
        }
        else if (strArg == "--maxconn" && bHasValue)
        {
            if (!ParseNumber(argv[++i], 1, orvnbench::CRelayBaseline::kMaxConnections,
                             options.nMaxConnections))
                return false;
        }
        else if (strArg == "--poll-ms" && bHasValue)
        {
            if (!ParseNumber(argv[++i], 0, 1000, options.nPollMs))
                return false;
        }
        else if (strArg == "--bind" && bHasValue)
        {
            options.strBindHost = argv[++i];
        }
        else
        {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    orvnbench::SRelayOptions options;
    if (!ParseArguments(argc, argv, options))
    {
        std::fputs(kUsage, stderr);
        return 2;
    }
    orvnbench::CRelayBaseline baseline;
    if (!baseline.Start(options))
    {
        std::fprintf(stderr, "orvn-relay-baseline: cannot start on %s port %d\n", options.strBindHost.c_str(),
                     options.nPort);
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("relay baseline listening on %s port %d, %d connections\n", options.strBindHost.c_str(),
                options.nPort, options.nMaxConnections);
    std::fflush(stdout);
    baseline.Run(g_bStop);
    std::printf("relay baseline stopping: %llu syncs in, %llu relays out\n",
                static_cast<unsigned long long>(baseline.SyncsReceived()),
                static_cast<unsigned long long>(baseline.RelaysSent()));
    baseline.Stop();
    return 0;
}
