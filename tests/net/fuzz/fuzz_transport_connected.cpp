// Feeds datagrams to the transport's receive path for one established
// connection: the reliability layer of a peer that has sent reliable, ordered,
// split and receipt-tracked messages, so ACKs, NAKs, resends, ordering and
// reassembly all have state to work on. Nothing may crash, hang, leak or read
// outside the input; the sanitizers watch.
//
// Input: chunks of [kind][length][length bytes], until the input ends.
//   kind & 3 == 0: the bytes are one datagram, as they are.
//   kind & 3 == 1: an ACK (a NAK when kind & 4) whose ranges are read from the
//                  bytes, 6 per range (two 24-bit numbers, low byte first).
//   kind & 3 == 2: a data datagram with one message: header fields from the
//                  first 13 bytes, the rest its data.
//   kind & 3 == 3: time passes (bytes[0] x 8 ms) and the layer updates.

#include <cstdint>
#include <cstring>
#include <vector>

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

std::vector<uint8_t> MessageFrom(SConnection& c, const uint8_t* pData, size_t nLength)
{
    if (nLength < 13)
        return std::vector<uint8_t>(pData, pData + nLength);
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
    // Mostly the next datagram number, sometimes a jump (a hole the layer NAKs).
    c.uiNextDatagram += 1 + (pData[11] == 0xFF ? pData[12] : 0);
    return flood::DataDatagram(c.uiNextDatagram - 1, {message});
}

void Deliver(SConnection& c, const std::vector<uint8_t>& datagram)
{
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
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    SConnection& c = Connection();
    Prime(c);
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
            Deliver(c, MessageFrom(c, chunk.pData, chunk.nLength));
            break;
        default:
            c.now += (chunk.nLength ? chunk.pData[0] : 1) * 8000ull;
            c.layer.Update(&c.socket, c.address, kMtu, c.now, 0, c.plugins, &c.random, c.updateStream);
            break;
        }
        Drain(c);
    }
    return 0;
}
