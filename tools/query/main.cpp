// orvn-query: asks a server for its information, player list or ping the way a
// server browser does, and prints the answer.
//
//   orvn-query [-h host] [-p port] [-t timeoutMs] [-j] i|c|p
//
// With -j the answer is one JSON object on one line, for monitoring scripts.
// Exit status: 0 answered, 1 no answer within the time-out, 2 bad usage or a
// malformed answer.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "CQueryClient.h"
#include "QueryJson.h"

namespace
{

struct SOptions
{
    std::string strHost = "127.0.0.1";
    long lPort = 8192;
    long lTimeoutMs = 2000;
    char cOpcode = 0;
    bool bJson = false;
};

void PrintUsage()
{
    std::fprintf(stderr, "usage: orvn-query [-h host] [-p port] [-t timeoutMs] [-j] i|c|p\n"
                         "  -j JSON output, one object per answer\n"
                         "  i  server information\n"
                         "  c  player list\n"
                         "  p  ping\n");
}

bool ParseNumber(const char* szText, long lMin, long lMax, long& lOut)
{
    char* pEnd = nullptr;
    const long lValue = std::strtol(szText, &pEnd, 10);
    if (pEnd == szText || *pEnd != '\0' || lValue < lMin || lValue > lMax)
    {
        return false;
    }
    lOut = lValue;
    return true;
}

bool ParseArguments(int argc, char** argv, SOptions& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const char* szArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        if (std::strcmp(szArg, "-h") == 0 && bHasValue)
        {
            options.strHost = argv[++i];
        }
        else if (std::strcmp(szArg, "-p") == 0 && bHasValue)
        {
            if (!ParseNumber(argv[++i], 1, 65535, options.lPort))
            {
                return false;
            }
        }
        else if (std::strcmp(szArg, "-t") == 0 && bHasValue)
        {
            if (!ParseNumber(argv[++i], 1, 600000, options.lTimeoutMs))
            {
                return false;
            }
        }
        else if (std::strcmp(szArg, "-j") == 0)
        {
            options.bJson = true;
        }
        else if ((std::strcmp(szArg, "i") == 0 || std::strcmp(szArg, "c") == 0 ||
                  std::strcmp(szArg, "p") == 0) &&
                 options.cOpcode == 0)
        {
            options.cOpcode = szArg[0];
        }
        else
        {
            return false;
        }
    }
    return options.cOpcode != 0;
}

int PrintInfo(const std::vector<uint8_t>& reply, long lRoundTripMs, bool bJson)
{
    testclient::SQueryInfo info;
    if (!testclient::DecodeQueryInfo(reply.data(), reply.size(), info))
    {
        std::fprintf(stderr, "orvn-query: malformed information reply (%zu bytes)\n", reply.size());
        return 2;
    }
    if (bJson)
    {
        std::printf("%s\n", testclient::QueryInfoJson(info, lRoundTripMs).c_str());
        return 0;
    }
    std::printf("Server name: %s\n", info.strServerName.c_str());
    std::printf("Players:     %u/%u\n", info.usPlayers, info.usMaxPlayers);
    std::printf("Password:    %s\n", info.bPassword ? "yes" : "no");
    std::printf("Game mode:   %s\n", info.strGameMode.c_str());
    std::printf("Map:         %s\n", info.strMapName.c_str());
    std::printf("Version:     %s\n", info.strVersion.c_str());
    std::printf("Round trip:  %ld ms\n", lRoundTripMs);
    return 0;
}

int PrintPlayers(const std::vector<uint8_t>& reply, long lRoundTripMs, bool bJson)
{
    testclient::SQueryPlayers players;
    if (!testclient::DecodeQueryPlayers(reply.data(), reply.size(), players))
    {
        std::fprintf(stderr, "orvn-query: malformed player list reply (%zu bytes)\n", reply.size());
        return 2;
    }
    if (bJson)
    {
        std::printf("%s\n", testclient::QueryPlayersJson(players, lRoundTripMs).c_str());
        return 0;
    }
    std::printf("Players: %u\n", players.usCount);
    for (const std::string& strName : players.names)
    {
        std::printf("  %s\n", strName.c_str());
    }
    std::printf("Round trip: %ld ms\n", lRoundTripMs);
    return 0;
}

int PrintPing(const std::vector<uint8_t>& reply, const uint8_t abySent[4], long lRoundTripMs, bool bJson)
{
    uint8_t abyEcho[4] = {};
    if (!testclient::DecodeQueryPing(reply.data(), reply.size(), abyEcho) ||
        std::memcmp(abyEcho, abySent, 4) != 0)
    {
        std::fprintf(stderr, "orvn-query: malformed ping reply (%zu bytes)\n", reply.size());
        return 2;
    }
    if (bJson)
        std::printf("%s\n", testclient::QueryPingJson(lRoundTripMs).c_str());
    else
        std::printf("Ping: %ld ms\n", lRoundTripMs);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SOptions options;
    if (!ParseArguments(argc, argv, options))
    {
        PrintUsage();
        return 2;
    }
    testclient::CQueryClient query;
    if (!query.Open(options.strHost.c_str(), static_cast<uint16_t>(options.lPort)))
    {
        std::fprintf(stderr, "orvn-query: cannot resolve or open a socket for %s\n", options.strHost.c_str());
        return 2;
    }
    uint8_t abyPing[4] = {};
    std::random_device random;
    for (uint8_t& by : abyPing)
    {
        by = static_cast<uint8_t>(random());
    }
    const std::vector<uint8_t> request = query.Request(options.cOpcode, abyPing);
    std::vector<uint8_t> reply;
    const auto start = std::chrono::steady_clock::now();
    if (!query.Exchange(request, reply, static_cast<uint32_t>(options.lTimeoutMs)))
    {
        std::fprintf(stderr, "orvn-query: no answer from %s:%ld within %ld ms\n", options.strHost.c_str(),
                     options.lPort, options.lTimeoutMs);
        return 1;
    }
    const long lRoundTripMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
    if (!testclient::QueryReplyMatches(reply, request))
    {
        std::fprintf(stderr, "orvn-query: the answer does not echo the request\n");
        return 2;
    }
    switch (options.cOpcode)
    {
    case 'i':
        return PrintInfo(reply, lRoundTripMs, options.bJson);
    case 'c':
        return PrintPlayers(reply, lRoundTripMs, options.bJson);
    default:
        return PrintPing(reply, abyPing, lRoundTripMs, options.bJson);
    }
}
