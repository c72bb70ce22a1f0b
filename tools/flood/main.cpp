// orvn-flood: sends one kind of hostile traffic to a server on this machine
// at a fixed rate for a bounded time, for benchmarks.
//   --port P        the server's UDP port on 127.0.0.1 (required)
//   --kind K        acknak: ACK/NAK datagrams naming every datagram number,
//                   from one real connection; handshake: open-connection
//                   requests from a new source port each; junk: random and
//                   mutated datagrams of every kind from one port;
//                   pairs: an open-connection request and an empty
//                   connected datagram from a new port each; connect: an
//                   open-connection request and a whole forged handshake
//                   from a new port each; split: forged senders, each a
//                   handshake and then 1,400 datagrams of one-byte
//                   fragments; ordered: a joined player's datagrams of
//                   messages far ahead of their channel's order; storeack:
//                   a joined player asking for the first store file and
//                   acknowledging pieces it never waited for
//   --rate N        datagrams a second (1..100000, default 1000)
//   --seconds S     how long (1..3600, default 10); SIGINT ends it early
// The last line is one JSON object with what was sent and whether the server
// dropped the attacker (null where the tool cannot tell).

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "BitStream.h"
#include "CRawSender.h"
#include "CTestClient.h"
#include "FloodPatterns.h"
#include "FloodWire.h"
#include "MessageIdentifiers.h"

namespace
{
volatile std::sig_atomic_t g_bStop = 0;

void OnStop(int)
{
    g_bStop = 1;
}

struct SFloodOptions
{
    int nPort = 0;
    std::string strKind = "acknak";
    int nRate = 1000;
    int nSeconds = 10;
};

// One run's state; each kind uses the parts it needs.
struct SFlood
{
    uint16_t usPort = 0;
    std::mt19937 random{12345};
    flood::CRawSender sender;
    testclient::CTestClient client;
    std::vector<uint8_t> storeDigest;
    // Split senders started, and those the server stopped acknowledging early.
    uint32_t uiSenders = 0;
    uint32_t uiSendersDropped = 0;
    // A joined attacker's connection was closed by the server.
    bool bDropped = false;
};

constexpr uint32_t kSplitDatagramsPerSender = 1400;
constexpr uint32_t kStoreRound = 71; // a request, then 70 acknowledgements
constexpr uint16_t kStoreSetId = 7;

bool OpenConnection(SFlood& f)
{
    return f.client.Connect("127.0.0.1", f.usPort, "", 10000);
}

bool OpenRaw(SFlood& f)
{
    return f.sender.Open(f.usPort);
}

bool OpenJoined(SFlood& f)
{
    testclient::SServerInfo info;
    if (!f.client.Connect("127.0.0.1", f.usPort, "", 10000) || !f.client.Join("Hog", &info, 5000))
        return false;
    if (!info.files.empty())
        f.storeDigest.assign(info.files[0].abyDigest, info.files[0].abyDigest + 20);
    return true;
}

bool OpenStoreClient(SFlood& f)
{
    return OpenJoined(f) && !f.storeDigest.empty();
}

uint64_t Guid(uint32_t i)
{
    return 0x7000000000ull + i;
}

// A split sender is counted dropped when the server stopped acknowledging its
// datagrams well before its last one.
void CheckSplitSender(SFlood& f)
{
    uint8_t abyBuffer[1600];
    int64_t llHighest = -1;
    for (int nRead; (nRead = f.sender.Receive(abyBuffer, sizeof(abyBuffer), 50)) > 0;)
        llHighest = std::max(llHighest, flood::HighestAcknowledged(abyBuffer, static_cast<size_t>(nRead)));
    if (llHighest < static_cast<int64_t>(kSplitDatagramsPerSender) - 10)
        ++f.uiSendersDropped;
}

bool SendSplit(SFlood& f, uint32_t i)
{
    const uint32_t uiAt = i % (kSplitDatagramsPerSender + 1);
    if (uiAt > 0)
        return f.sender.Send(flood::SplitFloodDatagram(uiAt - 1));
    if (f.uiSenders > 0)
        CheckSplitSender(f);
    ++f.uiSenders;
    return f.sender.Open(f.usPort) && f.sender.Send(flood::OpenConnectionRequest2(f.usPort, 1400, Guid(i))) &&
           f.sender.Send(flood::ForgedConnectDatagram(f.usPort, Guid(i), false));
}

// Takes what the server sent, so the client's queue stays small.
void PollConnection(SFlood& f, uint32_t i)
{
    if (i % 100 != 0)
        return;
    f.client.Poll();
    f.client.Clear();
    f.bDropped = f.bDropped || !f.client.IsConnected();
}

bool SendOrdered(SFlood& f, uint32_t i)
{
    PollConnection(f, i);
    return f.client.SendDatagram(flood::OrderingFloodDatagram());
}

bool SendStoreAck(SFlood& f, uint32_t i)
{
    PollConnection(f, i);
    RakNet::BitStream stream;
    if (i % kStoreRound == 0)
    {
        stream.Write(static_cast<uint8_t>(185));
        stream.Write(static_cast<uint8_t>(1));
        stream.Write(kStoreSetId);
        stream.WriteAlignedBytes(f.storeDigest.data(), static_cast<unsigned int>(f.storeDigest.size()));
        return f.client.SendStream(stream);
    }
    stream.Write(static_cast<RakNet::MessageID>(ID_FILE_LIST_REFERENCE_PUSH_ACK));
    stream.Write(kStoreSetId);
    return f.client.SendStream(stream, RELIABLE);
}

bool SendAckNak(SFlood& f, uint32_t i)
{
    PollConnection(f, i);
    return f.client.SendDatagram(flood::AckNakFloodDatagram(i));
}

bool SendHandshake(SFlood& f, uint32_t i)
{
    return f.sender.SendFromNewPort(flood::OpenConnectionRequest2(f.usPort, 1400, Guid(i)));
}

bool SendJunk(SFlood& f, uint32_t)
{
    return f.sender.Send(flood::JunkDatagram(f.random, f.usPort));
}

bool SendPair(SFlood& f, uint32_t i)
{
    return f.sender.SendFromNewPort(flood::OpenConnectionRequest2(f.usPort, 1400, Guid(i)), {0x84, 0, 0, 0});
}

bool SendConnect(SFlood& f, uint32_t i)
{
    return f.sender.SendFromNewPort(flood::OpenConnectionRequest2(f.usPort, 1400, Guid(i)),
                                    flood::ForgedConnectDatagram(f.usPort, Guid(i), true));
}

struct SKind
{
    const char* szName;
    bool (*pfnOpen)(SFlood&);
    bool (*pfnSend)(SFlood&, uint32_t);
    // What "dropped" means for this kind: 0 unknown, 1 the joined client, 2 every split sender.
    int nDropReport;
};

constexpr SKind kKinds[] = {
    {"acknak", OpenConnection, SendAckNak, 0},
    {"handshake", OpenRaw, SendHandshake, 0},
    {"junk", OpenRaw, SendJunk, 0},
    {"pairs", OpenRaw, SendPair, 0},
    {"connect", OpenRaw, SendConnect, 0},
    {"split", OpenRaw, SendSplit, 2},
    {"ordered", OpenJoined, SendOrdered, 1},
    {"storeack", OpenStoreClient, SendStoreAck, 1},
};

const SKind* FindKind(const std::string& strName)
{
    for (const SKind& kind : kKinds)
    {
        if (strName == kind.szName)
            return &kind;
    }
    return nullptr;
}

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
           FindKind(options.strKind) != nullptr;
}

const char* DroppedJson(const SKind& kind, SFlood& f)
{
    if (kind.nDropReport == 1)
    {
        f.client.Poll();
        return f.bDropped || !f.client.IsConnected() ? "true" : "false";
    }
    if (kind.nDropReport == 2 && f.uiSenders > 0)
    {
        CheckSplitSender(f);
        return f.uiSendersDropped == f.uiSenders ? "true" : "false";
    }
    return "null";
}
} // namespace

int main(int argc, char** argv)
{
    SFloodOptions options;
    if (!ParseOptions(argc, argv, options))
    {
        fprintf(stderr,
                "usage: orvn-flood --port P [--kind acknak|handshake|junk|pairs|connect|split|ordered|"
                "storeack] [--rate N] [--seconds S]\n");
        return 2;
    }
    const SKind& kind = *FindKind(options.strKind);
    SFlood f;
    f.usPort = static_cast<uint16_t>(options.nPort);
    if (!kind.pfnOpen(f))
    {
        fprintf(stderr, "orvn-flood: cannot start a %s flood at 127.0.0.1:%d\n", kind.szName, options.nPort);
        return 1;
    }
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    const auto start = std::chrono::steady_clock::now();
    const uint32_t uiTotal = static_cast<uint32_t>(options.nRate) * static_cast<uint32_t>(options.nSeconds);
    uint32_t uiSent = 0;
    for (uint32_t i = 0; i < uiTotal && !g_bStop; ++i)
    {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / options.nRate));
        uiSent += kind.pfnSend(f, i) ? 1 : 0;
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const char* szDropped = DroppedJson(kind, f);
    printf("{\"kind\":\"%s\",\"sent\":%u,\"seconds\":%.2f,\"dropped\":%s,\"senders\":%u,\"senders_dropped\":%"
           "u}\n",
           kind.szName, uiSent, dSeconds, szDropped, f.uiSenders, f.uiSendersDropped);
    return 0;
}
