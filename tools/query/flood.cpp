// orvn-query-flood: floods a server with queries from many loopback source
// addresses at once, the way a reflection attack would, and counts what
// comes back. One socket per source, bound to 127.0.0.<first + n>.
//
//   orvn-query-flood [-h host] [-p port] [-n sources] [-f first] [-r rate]
//                    [-s seconds] [-o i|c|p]
//
// rate is requests a second from each source. Prints one JSON line: what
// was sent, the replies and reply bytes received, their rates over the
// flood, and the most replies a second any one source drew.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CQueryClient.h"

namespace
{

struct SFloodOptions
{
    std::string strHost = "127.0.0.1";
    long lPort = 8192;
    long lSources = 50;
    long lFirst = 2;
    long lRate = 200;
    double dSeconds = 10.0;
    char cOpcode = 'c';
};

bool ParseLong(const char* szText, long lMin, long lMax, long& lOut)
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

bool ParseFloodArguments(int argc, char** argv, SFloodOptions& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string strFlag = argv[i];
        const char* szValue = argv[i + 1];
        long lSeconds = 0;
        bool bGood = true;
        if (strFlag == "-h")
            options.strHost = szValue;
        else if (strFlag == "-p")
            bGood = ParseLong(szValue, 1, 65535, options.lPort);
        else if (strFlag == "-n")
            bGood = ParseLong(szValue, 1, 250, options.lSources);
        else if (strFlag == "-f")
            bGood = ParseLong(szValue, 1, 254, options.lFirst);
        else if (strFlag == "-r")
            bGood = ParseLong(szValue, 1, 100000, options.lRate);
        else if (strFlag == "-s")
        {
            bGood = ParseLong(szValue, 1, 86400, lSeconds);
            options.dSeconds = static_cast<double>(lSeconds);
        }
        else if (strFlag == "-o" && std::strchr("icp", szValue[0]) && szValue[0] && !szValue[1])
            options.cOpcode = szValue[0];
        else
            bGood = false;
        if (!bGood)
            return false;
    }
    return argc % 2 == 1 && options.lFirst + options.lSources <= 255;
}

struct SSource
{
    std::unique_ptr<testclient::CQueryClient> pClient;
    long lSent = 0;
    long lReplies = 0;
};

} // namespace

int main(int argc, char** argv)
{
    SFloodOptions options;
    if (!ParseFloodArguments(argc, argv, options))
    {
        std::fprintf(stderr, "usage: orvn-query-flood [-h host] [-p port] [-n sources] [-f first] [-r rate]\n"
                             "                        [-s seconds] [-o i|c|p]\n");
        return 2;
    }
    std::vector<SSource> sources(static_cast<size_t>(options.lSources));
    for (size_t i = 0; i < sources.size(); ++i)
    {
        sources[i].pClient = std::make_unique<testclient::CQueryClient>();
        const std::string strLocal = "127.0.0." + std::to_string(options.lFirst + static_cast<long>(i));
        if (!sources[i].pClient->Open(options.strHost.c_str(), static_cast<uint16_t>(options.lPort)) ||
            !sources[i].pClient->BindLocal(strLocal.c_str()))
        {
            std::fprintf(stderr, "orvn-query-flood: cannot open a socket on %s\n", strLocal.c_str());
            return 2;
        }
    }
    const uint8_t abyPing[4] = {1, 2, 3, 4};
    const std::vector<uint8_t> request = sources[0].pClient->Request(options.cOpcode, abyPing);
    long long llReplyBytes = 0;
    std::vector<uint8_t> reply;
    auto drain = [&](uint32_t uiWaitMs)
    {
        for (SSource& source : sources)
        {
            while (source.pClient->Receive(reply, uiWaitMs))
            {
                ++source.lReplies;
                llReplyBytes += static_cast<long long>(reply.size());
            }
        }
    };

    // Each source keeps to its rate: it sends whatever it is behind by.
    const auto start = std::chrono::steady_clock::now();
    double dElapsed = 0.0;
    while ((dElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()) <
           options.dSeconds)
    {
        const long lDue = static_cast<long>(dElapsed * static_cast<double>(options.lRate));
        for (SSource& source : sources)
        {
            for (; source.lSent < lDue; ++source.lSent)
                source.pClient->Send(request);
        }
        drain(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    drain(500);

    long lSent = 0;
    long lReplies = 0;
    long lMostReplies = 0;
    for (const SSource& source : sources)
    {
        lSent += source.lSent;
        lReplies += source.lReplies;
        lMostReplies = std::max(lMostReplies, source.lReplies);
    }
    std::printf("{\"sources\":%ld,\"rate_per_source\":%ld,\"seconds\":%.3f,\"opcode\":\"%c\",\"sent\":%ld,"
                "\"replies\":%ld,\"reply_bytes\":%lld,\"replies_per_s\":%.1f,\"reply_bytes_per_s\":%.0f,"
                "\"max_source_replies_per_s\":%.2f}\n",
                options.lSources, options.lRate, dElapsed, options.cOpcode, lSent, lReplies, llReplyBytes,
                static_cast<double>(lReplies) / dElapsed, static_cast<double>(llReplyBytes) / dElapsed,
                static_cast<double>(lMostReplies) / dElapsed);
    return 0;
}
