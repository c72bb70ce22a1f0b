// orvn-flood: sends one kind of hostile traffic to a server on this machine
// at a fixed rate for a bounded time, for benchmarks.
//   --port P        the server's UDP port on 127.0.0.1 (required)
//   --kind K        acknak: ACK/NAK datagrams naming every datagram number,
//                   from one real connection; handshake: open-connection
//                   requests from a new source port each; junk: random and
//                   mutated datagrams of every kind from one port
//   --rate N        datagrams a second (1..100000, default 1000)
//   --seconds S     how long (1..3600, default 10)
// The last line is one JSON object with what was sent.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "CConnectedFlooder.h"
#include "CRawSender.h"
#include "FloodPatterns.h"
#include "FloodWire.h"

namespace
{
struct SFloodOptions
{
    int nPort = 0;
    std::string strKind = "acknak";
    int nRate = 1000;
    int nSeconds = 10;
};

bool ParseOptions(int argc, char** argv, SFloodOptions& options)
{
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (!strcmp(argv[i], "--port"))
            options.nPort = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--kind"))
            options.strKind = argv[i + 1];
        else if (!strcmp(argv[i], "--rate"))
            options.nRate = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--seconds"))
            options.nSeconds = atoi(argv[i + 1]);
        else
            return false;
    }
    return argc % 2 == 1 && options.nPort > 0 && options.nPort < 65536 && options.nRate >= 1 &&
           options.nRate <= 100000 && options.nSeconds >= 1 && options.nSeconds <= 3600 &&
           (options.strKind == "acknak" || options.strKind == "handshake" || options.strKind == "junk");
}
} // namespace

int main(int argc, char** argv)
{
    SFloodOptions options;
    if (!ParseOptions(argc, argv, options))
    {
        fprintf(stderr, "usage: orvn-flood --port P [--kind acknak|handshake|junk] [--rate N] [--seconds S]\n");
        return 2;
    }
    const uint16_t usPort = static_cast<uint16_t>(options.nPort);
    flood::CConnectedFlooder connection;
    flood::CRawSender sender;
    if (options.strKind == "acknak" ? !connection.Connect(usPort, "", 10000) : !sender.Open(usPort))
    {
        fprintf(stderr, "orvn-flood: cannot reach 127.0.0.1:%d\n", options.nPort);
        return 1;
    }
    std::mt19937 random(12345);
    const auto start = std::chrono::steady_clock::now();
    const uint32_t uiTotal = static_cast<uint32_t>(options.nRate) * static_cast<uint32_t>(options.nSeconds);
    uint32_t uiSent = 0;
    for (uint32_t i = 0; i < uiTotal; ++i)
    {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / options.nRate));
        bool bSent = false;
        if (options.strKind == "acknak")
        {
            bSent = connection.SendRaw(flood::AckNakFloodDatagram(i));
            if (i % 100 == 0)
                connection.Poll();
        }
        else if (options.strKind == "handshake")
            bSent = sender.SendFromNewPort(flood::OpenConnectionRequest2(usPort, 1400, 0x7000000000ull + i));
        else
            bSent = sender.Send(flood::JunkDatagram(random, usPort));
        uiSent += bSent ? 1 : 0;
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("{\"kind\":\"%s\",\"sent\":%u,\"seconds\":%.2f}\n", options.strKind.c_str(), uiSent, dSeconds);
    return 0;
}
