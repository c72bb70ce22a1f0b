// Feeds datagrams to the transport's receive path for one established
// connection: the reliability layer of a peer that has sent reliable, ordered,
// split and receipt-tracked messages, so ACKs, NAKs, resends, ordering and
// reassembly all have state to work on. Nothing may crash, hang, leak or read
// outside the input; the sanitizers watch. Nor may the connection hold more
// than a player's connection is allowed (kHeldBound) when the input ends: a
// message that makes it hold without bound is a finding too.
//
// Input: chunks of [kind][length][length bytes], until the input ends.
//   kind & 3 == 0: the bytes are one datagram, as they are.
//   kind & 3 == 1: an ACK (a NAK when kind & 4) whose ranges are read from the
//                  bytes, 6 per range (two 24-bit numbers, low byte first).
//   kind & 3 == 2: a data datagram with one message: header fields from the
//                  first 13 bytes, the rest its data. With kind & 4, the
//                  message goes 4^(1 + (kind >> 4 & 7)) times (at most
//                  16,384), each copy with the next reliable number and
//                  fragment, as a flood from one peer would.
//   kind & 3 == 3: time passes (bytes[0] x 8 ms) and the layer updates.
// A connection the layer has given up on takes no more datagrams (the peer
// closes it).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sanitizer/allocator_interface.h>

#include "BitStream.h"
#include "DS_List.h"
#include "FloodWire.h"
#include "FuzzChunk.h"
#include "GetTime.h"
#include "MTUSize.h"
#include "PluginInterface2.h"
#include "RakMemoryOverride.h"
#include "RakNetSocket2.h"
#include "Rand.h"
#include "ReliabilityLayer.h"

namespace
{
constexpr int kMtu = 1400;
// What one connection may make the process hold: 4 MiB of reassembly, 512
// KiB held for ordering and 1 MiB of reliable-number bookkeeping, at what
// the sanitizer's allocator charges for them, with room to spare.
constexpr size_t kHeldBound = 16u << 20;

// The connection's socket: whatever the layer sends is dropped.
class CNullSocket : public RakNet::RakNetSocket2
{
public:
    CNullSocket() { socketType = RakNet::RNS2T_CHROME; }
    RakNet::RNS2SendResult Send(RakNet::RNS2_SendParameters* pParameters, const char*, unsigned int) override
    {
        return pParameters->length;
    }
};

struct SConnection
{
    RakNet::ReliabilityLayer layer;
    CNullSocket socket;
    RakNet::SystemAddress address{"127.0.0.1", 40000};
    DataStructures::List<RakNet::PluginInterface2*> plugins;
    RakNet::RakNetRandom random;
    RakNet::BitStream updateStream{MAXIMUM_MTU_SIZE};
    RakNet::TimeUS now = 0;
    uint32_t uiNextDatagram = 0;
    // Fragments the input's floods have sent; a flood goes on from there.
    uint32_t uiFloodFragments = 0;
};

SConnection& Connection()
{
    static SConnection* pConnection = new SConnection;
    return *pConnection;
}

uint32_t Read24(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

uint32_t Read32(const uint8_t* p)
{
    return Read24(p) | (static_cast<uint32_t>(p[3]) << 24);
}

// A fresh connection that has sent a little of everything and seen nothing back.
void Prime(SConnection& c)
{
    c.layer.Reset(true, kMtu, false);
    c.now = RakNet::GetTimeUS();
    c.uiNextDatagram = 0;
    c.uiFloodFragments = 0;
    static char s_acPayload[6000];
    s_acPayload[0] = static_cast<char>(150);
    c.layer.Send(s_acPayload, 8 * 200, HIGH_PRIORITY, RELIABLE_ORDERED, 0, true, kMtu, c.now, 0);
    c.layer.Send(s_acPayload, 8 * 200, HIGH_PRIORITY, RELIABLE_ORDERED, 3, true, kMtu, c.now, 0);
    c.layer.Send(s_acPayload, 8 * sizeof(s_acPayload), HIGH_PRIORITY, RELIABLE, 0, true, kMtu, c.now, 0);
    c.layer.Send(s_acPayload, 8 * 40, HIGH_PRIORITY, UNRELIABLE_WITH_ACK_RECEIPT, 0, true, kMtu, c.now, 7);
    c.layer.Send(s_acPayload, 8 * 40, HIGH_PRIORITY, UNRELIABLE_SEQUENCED, 1, true, kMtu, c.now, 0);
    c.layer.Update(&c.socket, c.address, kMtu, c.now, 0, c.plugins, &c.random, c.updateStream);
}

std::vector<uint8_t> AckFrom(const uint8_t* pData, size_t nLength, bool bNak)
{
    std::vector<flood::SRange> ranges;
    for (size_t i = 0; i + 6 <= nLength; i += 6)
        ranges.push_back({Read24(pData + i), Read24(pData + i + 3)});
    return flood::AckDatagram(ranges, bNak);
}

flood::SRawMessage MessageFields(const uint8_t* pData, size_t nLength)
{
    flood::SRawMessage message;
    message.byReliability = pData[0] & 7;
    message.bSplit = (pData[0] & 8) != 0;
    message.uiReliableNumber = Read24(pData + 1);
    message.uiOrderingIndex = Read24(pData + 4);
    message.byOrderingChannel = pData[7] & 31;
    message.uiSplitCount = pData[0] & 16 ? Read32(pData + 8) : pData[8] % 8;
    message.usSplitId = pData[9] % 4;
    message.uiSplitIndex = pData[10] % 8;
    message.data.assign(pData + 13, pData + nLength);
    return message;
}

std::vector<uint8_t> MessageFrom(SConnection& c, const uint8_t* pData, size_t nLength)
{
    if (nLength < 13)
        return std::vector<uint8_t>(pData, pData + nLength);
    // Mostly the next datagram number, sometimes a jump (a hole the layer NAKs).
    c.uiNextDatagram += 1 + (pData[11] == 0xFF ? pData[12] : 0);
    return flood::DataDatagram(c.uiNextDatagram - 1, {MessageFields(pData, nLength)});
}

void Deliver(SConnection& c, const std::vector<uint8_t>& datagram)
{
    if (c.layer.IsDeadConnection())
        return;
    c.layer.HandleSocketReceiveFromConnectedPlayer(
        reinterpret_cast<const char*>(datagram.data()), static_cast<unsigned int>(datagram.size()), c.address,
        c.plugins, kMtu, &c.socket, &c.random, c.now, c.updateStream);
}

// Everything the layer hands up is taken and released, as the peer does.
void Drain(SConnection& c)
{
    unsigned char* pData = nullptr;
    while (c.layer.Receive(&pData) > 0)
        rakFree_Ex(pData, _FILE_AND_LINE_);
}

// The message again and again, each copy the next one a flooding peer would
// send: reliable number and fragment move on, as many copies to a datagram as
// fit. Fragments fill every index of their message but the last, then go on
// with the next split id, so no message ever completes; the input's next
// flood goes on from there.
void Flood(SConnection& c, uint8_t byKind, const uint8_t* pData, size_t nLength)
{
    if (nLength < 13)
        return;
    const uint32_t uiCopies = 4u << (2 * std::min(6, (byKind >> 4) & 7));
    const uint32_t uiPerDatagram = static_cast<uint32_t>(std::max<size_t>(1, 1300 / (nLength + 8)));
    flood::SRawMessage message = MessageFields(pData, nLength);
    const uint32_t uiPerMessage = message.uiSplitCount > 1 ? message.uiSplitCount - 1 : 1;
    const uint32_t uiFirstIndex = message.uiSplitIndex;
    std::vector<flood::SRawMessage> datagram;
    for (uint32_t i = 0; i < uiCopies && !c.layer.IsDeadConnection(); ++i)
    {
        const uint32_t uiFragment = uiFirstIndex + c.uiFloodFragments++;
        message.uiReliableNumber = (message.uiReliableNumber + 1) & 0xFFFFFF;
        message.uiSplitIndex = uiFragment % uiPerMessage;
        message.usSplitId = static_cast<uint16_t>(pData[9] % 4 + uiFragment / uiPerMessage);
        datagram.push_back(message);
        if (datagram.size() == uiPerDatagram || i + 1 == uiCopies)
        {
            Deliver(c, flood::DataDatagram(c.uiNextDatagram++, datagram));
            Drain(c);
            datagram.clear();
        }
    }
}

// What the connection holds now beyond its primed state, when that is more
// than a connection may hold.
void CheckHeld(size_t nPrimed)
{
    const size_t nNow = __sanitizer_get_current_allocated_bytes();
    if (nNow > nPrimed && nNow - nPrimed > kHeldBound)
    {
        fprintf(stderr, "fuzz_transport_connected: the connection holds %zu bytes, more than %zu\n",
                nNow - nPrimed, kHeldBound);
        __builtin_trap();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    SConnection& c = Connection();
    Prime(c);
    const size_t nPrimed = __sanitizer_get_current_allocated_bytes();
    size_t nAt = 0;
    SFuzzChunk chunk;
    while (NextFuzzChunk(pData, nSize, nAt, chunk))
    {
        switch (chunk.byKind & 3)
        {
        case 0:
            Deliver(c, std::vector<uint8_t>(chunk.pData, chunk.pData + chunk.nLength));
            break;
        case 1:
            Deliver(c, AckFrom(chunk.pData, chunk.nLength, (chunk.byKind & 4) != 0));
            break;
        case 2:
            if (chunk.byKind & 4)
                Flood(c, chunk.byKind, chunk.pData, chunk.nLength);
            else
                Deliver(c, MessageFrom(c, chunk.pData, chunk.nLength));
            break;
        default:
            c.now += (chunk.nLength ? chunk.pData[0] : 1) * 8000ull;
            c.layer.Update(&c.socket, c.address, kMtu, c.now, 0, c.plugins, &c.random, c.updateStream);
            break;
        }
        Drain(c);
    }
    CheckHeld(nPrimed);
    return 0;
}
