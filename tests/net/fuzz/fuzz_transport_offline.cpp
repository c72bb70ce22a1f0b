// Feeds datagrams from a few source addresses to a listening peer, through the
// socket's receive hand-off and the peer's own update cycle (run on this
// thread: the fuzz build of the transport starts no update thread). Covers the
// offline handshake (open-connection requests 1 and 2, pings), the half-open
// table, the first connected datagrams of a new connection (connection
// request, new incoming connection, ACKs) and the store transfer's side of a
// connection. Nothing may crash, hang, leak or read outside the input; the
// sanitizers watch. Nor may anything these senders do
//   - ban their address: players connected from it would lose all traffic;
//   - keep a well-formed client from another address out of a connection slot;
//   - make the peer hold more than kHeldBound when the input ends.
//
// Input: chunks of [kind][length][length bytes], until the input ends. Bits 4
// and 5 of kind pick the source port (one of four).
//   kind & 7 == 0: the bytes are one datagram, as they are.
//   kind & 7 == 1: open-connection request 1; bytes 0..1 the MTU.
//   kind & 7 == 2: open-connection request 2; bytes 0..1 the MTU, 2..9 the GUID.
//   kind & 7 == 3: a connected datagram with one reliable ordered message whose
//                  bytes are the chunk's (a connection request starts with 9,
//                  a store piece's acknowledgement with 36).
//   kind & 7 == 4: an ACK whose ranges are read from the bytes.
//   kind & 7 == 5: datagrams of 90 one-byte fragments each, of split messages
//                  that never complete: byte 0 and the low 3 bits of byte 1
//                  say how many (at most 2,047).
//   kind & 7 == 6: the store sends the source a set of one 64 MiB file (set id
//                  7, 1 MiB pieces), if it is connected.
//   otherwise:     one more update cycle.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sanitizer/allocator_interface.h>

#include "BitStream.h"
#include "FloodPatterns.h"
#include "FloodWire.h"
#include "FuzzChunk.h"
#include "GetTime.h"
#include "MTUSize.h"
#include "RakNetSocket2.h"
#include "RakPeer.h"
#include "net/CStoreFileTransfer.h"

namespace
{
constexpr uint16_t kServerPort = 8192;
// The source of the well-formed client that must find a slot after each input.
constexpr int kClientSource = 4;
constexpr uint64_t kClientGuid = 0xC1E47C1E47ull;
// What the peer may hold for four connections nobody has admitted (64 KiB of
// fragments, 64 KiB held for ordering each) and a store set in flight (two
// pieces), at what the sanitizer's allocator charges, with room to spare.
constexpr size_t kHeldBound = 16u << 20;
constexpr char kStoreRoot[] = "/orvn-fuzz-store";
constexpr char kStoreFile[] = "/orvn-fuzz-store/big";

// The socket the datagrams arrive on, and so the one replies and the new
// connections' traffic go out on: it drops everything, so the run makes no
// system calls per datagram.
class CNullSocket : public RakNet::RakNetSocket2
{
public:
    // Not a Berkeley socket, so nothing casts it to one.
    CNullSocket()
    {
        boundAddress = RakNet::SystemAddress("127.0.0.1", kServerPort);
        socketType = RakNet::RNS2T_CHROME;
    }
    RakNet::RNS2SendResult Send(RakNet::RNS2_SendParameters* pParameters, const char*, unsigned int) override
    {
        return pParameters->length;
    }
};

struct SListener
{
    RakNet::RakPeer peer;
    RakNet::BitStream updateStream{MAXIMUM_MTU_SIZE};
    CNullSocket socket;
    // Reads no file: the set's file does not exist, so its pieces are zeros.
    CStoreFileTransfer store;
    uint32_t auiNextDatagram[4] = {};
    uint32_t auiNextFragments[4] = {};
};

SListener& Listener()
{
    static SListener* pListener = new SListener;
    return *pListener;
}

uint32_t Read24(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

RakNet::SystemAddress Source(int nSource)
{
    return RakNet::SystemAddress("127.0.0.1", static_cast<unsigned short>(40000 + nSource));
}

// Listening on an ephemeral loopback port, as the server does on its own port;
// started once for the run (a peer without its update thread does not stop its
// socket's receive thread on shut-down, so it must not be restarted).
bool Start(SListener& l)
{
    static bool s_bStarted = false;
    if (!s_bStarted)
    {
        RakNet::SocketDescriptor socket(0, "127.0.0.1");
        if (l.peer.Startup(4, &socket, 1) != RakNet::RAKNET_STARTED)
            return false;
        l.peer.SetMaximumIncomingConnections(4);
        l.peer.SetIncomingPassword("", 1);
        l.store.Start(&l.peer, 0);
        s_bStarted = true;
    }
    memset(l.auiNextDatagram, 0, sizeof(l.auiNextDatagram));
    memset(l.auiNextFragments, 0, sizeof(l.auiNextFragments));
    return true;
}

// Every connection an input made is closed at once, so the next starts clean.
void CloseAll(SListener& l)
{
    for (int nSource = 0; nSource <= kClientSource; ++nSource)
    {
        const int nSlot = l.peer.GetIndexFromSystemAddress(Source(nSource));
        if (nSlot >= 0)
            l.store.Forget(nSlot);
        l.peer.CloseConnection(Source(nSource), false);
    }
    l.peer.RunUpdateCycle(l.updateStream);
    while (RakNet::Packet* pPacket = l.peer.Receive())
        l.peer.DeallocatePacket(pPacket);
}

std::vector<uint8_t> Build(SListener& l, uint8_t byKind, const uint8_t* pData, size_t nLength)
{
    const int nSource = (byKind >> 4) & 3;
    const uint16_t usMtu = nLength >= 2 ? static_cast<uint16_t>(pData[0] | (pData[1] << 8)) : 1400;
    switch (byKind & 7)
    {
    case 1:
        return flood::OpenConnectionRequest1(usMtu);
    case 2:
    {
        uint64_t ullGuid = 0;
        for (size_t i = 2; i < 10 && i < nLength; ++i)
            ullGuid = (ullGuid << 8) | pData[i];
        return flood::OpenConnectionRequest2(kServerPort, usMtu, ullGuid);
    }
    case 3:
    {
        flood::SRawMessage message;
        message.byReliability = 3; // reliable ordered, as connection requests go
        message.uiReliableNumber = l.auiNextDatagram[nSource];
        message.uiOrderingIndex = l.auiNextDatagram[nSource];
        message.data.assign(pData, pData + nLength);
        if (message.data.empty())
            message.data.push_back(0);
        return flood::DataDatagram(l.auiNextDatagram[nSource]++, {message});
    }
    case 4:
    {
        std::vector<flood::SRange> ranges;
        for (size_t i = 0; i + 6 <= nLength; i += 6)
            ranges.push_back({Read24(pData + i), Read24(pData + i + 3)});
        return flood::AckDatagram(ranges, false);
    }
    default:
        return std::vector<uint8_t>(pData, pData + nLength);
    }
}

// The store starts a set of one big file to the source's connection, as the
// server does for a client's request.
void StartStoreSet(SListener& l, int nSource)
{
    const int nSlot = l.peer.GetIndexFromSystemAddress(Source(nSource));
    const SNetFileEntry file = {kStoreFile, 64u << 20};
    if (nSlot >= 0)
        l.store.SendSet(nSlot, Source(nSource), 7, kStoreRoot, &file, 1, HIGH_PRIORITY, 1, 1u << 20);
}

// Hands the datagram over as the socket's receive thread would, then runs one
// cycle (unless more datagrams are to arrive before it).
void Deliver(SListener& l, int nSource, const std::vector<uint8_t>& datagram, bool bRunCycle = true)
{
    if (!datagram.empty() && datagram.size() <= MAXIMUM_MTU_SIZE)
    {
        RakNet::RNS2EventHandler* pHandler = &l.peer;
        RakNet::RNS2RecvStruct* pReceived = pHandler->AllocRNS2RecvStruct(_FILE_AND_LINE_);
        memcpy(pReceived->data, datagram.data(), datagram.size());
        pReceived->bytesRead = static_cast<int>(datagram.size());
        pReceived->systemAddress = Source(nSource);
        pReceived->timeRead = RakNet::GetTimeUS();
        pReceived->socket = &l.socket;
        pHandler->OnRNS2Recv(pReceived);
    }
    if (!bRunCycle)
        return;
    l.peer.RunUpdateCycle(l.updateStream);
    while (RakNet::Packet* pPacket = l.peer.Receive())
        l.peer.DeallocatePacket(pPacket);
}

// Datagrams of one-byte fragments from the source, as many as the bytes say,
// a cycle after every 32 of them, as a flood arrives between two cycles.
void SendFragments(SListener& l, int nSource, const uint8_t* pData, size_t nLength)
{
    const uint32_t uiDatagrams = nLength >= 2 ? pData[0] | ((pData[1] & 7) << 8) : 1;
    for (uint32_t i = 0; i < uiDatagrams; ++i)
        Deliver(l, nSource, flood::SplitFloodDatagram(l.auiNextFragments[nSource]++),
                i % 32 == 31 || i + 1 == uiDatagrams);
}

void Fail(const char* szWhat, size_t nBytes)
{
    fprintf(stderr, "fuzz_transport_offline: %s (%zu bytes)\n", szWhat, nBytes);
    __builtin_trap();
}

// What the senders left behind: no ban, a slot for a client from elsewhere,
// and no more held than connections nobody admitted may hold.
void CheckWhatTheInputLeft(SListener& l, size_t nBefore)
{
    if (l.peer.IsBanned("127.0.0.1"))
        Fail("the senders' address is banned", 0);
    const size_t nNow = __sanitizer_get_current_allocated_bytes();
    if (nNow > nBefore && nNow - nBefore > kHeldBound)
        Fail("the peer holds more than its bound for these senders", nNow - nBefore);
    if (l.peer.GetSystemAddressFromGuid(RakNet::RakNetGUID(kClientGuid)) != RakNet::UNASSIGNED_SYSTEM_ADDRESS)
        return;
    Deliver(l, kClientSource, flood::OpenConnectionRequest2(kServerPort, 1400, kClientGuid));
    Deliver(l, kClientSource, flood::ForgedConnectDatagram(kServerPort, kClientGuid, false));
    if (l.peer.GetIndexFromSystemAddress(Source(kClientSource)) < 0)
        Fail("a well-formed client found no connection slot", 0);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    SListener& l = Listener();
    if (!Start(l))
        return 0;
    const size_t nBefore = __sanitizer_get_current_allocated_bytes();
    size_t nAt = 0;
    SFuzzChunk chunk;
    while (NextFuzzChunk(pData, nSize, nAt, chunk))
    {
        const uint8_t byKind = chunk.byKind;
        const int nSource = (byKind >> 4) & 3;
        if ((byKind & 7) == 5)
            SendFragments(l, nSource, chunk.pData, chunk.nLength);
        else if ((byKind & 7) == 6)
            StartStoreSet(l, nSource);
        else
            Deliver(l, nSource,
                    (byKind & 7) > 4 ? std::vector<uint8_t>() : Build(l, byKind, chunk.pData, chunk.nLength));
    }
    CheckWhatTheInputLeft(l, nBefore);
    CloseAll(l);
    return 0;
}
