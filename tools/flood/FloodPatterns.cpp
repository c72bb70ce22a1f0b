#include "FloodPatterns.h"

#include "FloodWire.h"

namespace flood
{
namespace
{
constexpr uint32_t kLastNumber = 0xFFFFFE;

std::vector<uint8_t> RandomBytes(std::mt19937& random, size_t nCount)
{
    std::vector<uint8_t> bytes(nCount);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}

std::vector<uint8_t> QueryRequest(std::mt19937& random, uint16_t usServerPort)
{
    static const char kOpcodes[] = {'i', 'c', 'p', 'x'};
    std::vector<uint8_t> bytes = {'O',
                                  'R',
                                  'V',
                                  'N',
                                  127,
                                  0,
                                  0,
                                  1,
                                  static_cast<uint8_t>(usServerPort & 0xFF),
                                  static_cast<uint8_t>(usServerPort >> 8),
                                  static_cast<uint8_t>(kOpcodes[random() % 4])};
    if (bytes[10] == 'p')
        bytes.insert(bytes.end(), 4, 0x42);
    return bytes;
}

std::vector<uint8_t> RandomMessageDatagram(std::mt19937& random)
{
    SRawMessage message;
    message.byReliability = static_cast<uint8_t>(random() % 8);
    message.uiReliableNumber = random() % 64;
    message.uiOrderingIndex = random() % 64;
    message.byOrderingChannel = static_cast<uint8_t>(random() % 40);
    message.bSplit = random() % 2 == 0;
    message.uiSplitCount = random() % 4 == 0 ? static_cast<uint32_t>(random()) : random() % 8;
    message.usSplitId = static_cast<uint16_t>(random() % 4);
    message.uiSplitIndex = random() % 8;
    message.data = RandomBytes(random, 1 + random() % 300);
    return DataDatagram(random() % 64, {message});
}

std::vector<uint8_t> RandomAck(std::mt19937& random)
{
    std::vector<SRange> ranges(random() % 8);
    for (SRange& range : ranges)
    {
        range.uiMin = random() & kLastNumber;
        range.uiMax = random() % 2 ? kLastNumber : range.uiMin + random() % 100;
    }
    return AckDatagram(ranges, random() % 2 == 0);
}

void Mutate(std::mt19937& random, std::vector<uint8_t>& bytes)
{
    switch (random() % 4)
    {
    case 0:
        for (int i = 0; i < 3 && !bytes.empty(); ++i)
            bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        break;
    case 1:
        bytes.resize(random() % (bytes.size() + 1));
        break;
    case 2:
    {
        std::vector<uint8_t> tail = RandomBytes(random, random() % 64);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        break;
    }
    default:
        break; // well formed
    }
}
} // namespace

std::vector<uint8_t> AckNakFloodDatagram(uint32_t uiIndex)
{
    const bool bNak = uiIndex % 2 == 1;
    if (uiIndex % 4 < 2)
        return AckDatagram({{0, kLastNumber}}, bNak);
    // Overlapping wide ranges, as many as one datagram takes.
    std::vector<SRange> ranges(180, SRange{uiIndex % 512, kLastNumber});
    return AckDatagram(ranges, bNak);
}

std::vector<uint8_t> ForgedConnectDatagram(uint16_t usServerPort, uint64_t ullGuid, bool bComplete)
{
    SRawMessage request;
    request.byReliability = 2; // reliable, as the transport sends it
    request.data = ConnectionRequest(ullGuid);
    std::vector<SRawMessage> messages = {request};
    if (bComplete)
    {
        SRawMessage complete;
        complete.byReliability = 3; // reliable ordered
        complete.uiReliableNumber = 1;
        complete.data = NewIncomingConnection(usServerPort);
        messages.push_back(complete);
    }
    return DataDatagram(0, messages);
}

// Written byte by byte, as DataDatagram would write these messages: the fuzz
// targets send thousands of them.
std::vector<uint8_t> SplitFloodDatagram(uint32_t uiIndex)
{
    // Every message is one fragment short of its count.
    constexpr uint32_t kFragments = 90, kCount = 4096, kMessages = 31;
    std::vector<uint8_t> bytes(4 + kFragments * 14);
    uint8_t* p = bytes.data();
    const auto put = [&p](uint32_t uiValue, int nBytes)
    {
        for (int i = nBytes - 1; i >= 0; --i)
            *p++ = static_cast<uint8_t>(uiValue >> (8 * i));
    };
    // A valid data datagram, then its number, low byte first.
    const uint32_t uiNumber = 1 + uiIndex;
    put(0x80, 1);
    put((uiNumber & 0xFF) << 16 | (uiNumber & 0xFF00) | (uiNumber >> 16 & 0xFF), 3);
    for (uint32_t i = 0; i < kFragments; ++i)
    {
        const uint32_t uiFragment = uiIndex * kFragments + i;
        put(0x10, 1); // unreliable, split
        put(8, 2);    // one byte of data, in bits
        put(kCount, 4);
        put((uiFragment / (kCount - 1)) % kMessages, 2);
        put(uiFragment % (kCount - 1), 4);
        put(0x5A, 1);
    }
    return bytes;
}

std::vector<uint8_t> OrderingFloodDatagram()
{
    SRawMessage message;
    message.byReliability = 1; // unreliable sequenced
    message.uiOrderingIndex = 1000;
    message.byOrderingChannel = 31;
    message.data.assign(1200, 0x6B);
    return DataDatagram(0, {message});
}

std::vector<uint8_t> JunkDatagram(std::mt19937& random, uint16_t usServerPort)
{
    std::vector<uint8_t> bytes;
    switch (random() % 6)
    {
    case 0:
        bytes = OpenConnectionRequest1(static_cast<uint16_t>(400 + random() % 1100));
        break;
    case 1:
        bytes = OpenConnectionRequest2(usServerPort, static_cast<uint16_t>(random()), random());
        break;
    case 2:
        bytes = QueryRequest(random, usServerPort);
        break;
    case 3:
        bytes = RandomMessageDatagram(random);
        break;
    case 4:
        bytes = RandomAck(random);
        break;
    default:
        bytes = RandomBytes(random, random() % 600);
        break;
    }
    Mutate(random, bytes);
    if (bytes.empty())
        bytes.push_back(static_cast<uint8_t>(random()));
    return bytes;
}

} // namespace flood
