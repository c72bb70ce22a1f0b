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
    std::vector<uint8_t> bytes = {'O', 'R', 'V', 'N', 127, 0, 0, 1, static_cast<uint8_t>(usServerPort & 0xFF),
                                  static_cast<uint8_t>(usServerPort >> 8), static_cast<uint8_t>(kOpcodes[random() % 4])};
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
