#include "FloodWire.h"

#include <algorithm>

#include "BitStream.h"
#include "MessageIdentifiers.h"
#include "PacketPriority.h"
#include "RakNetTypes.h"

namespace flood
{
namespace
{
// The bytes RakNet puts in every offline message to tell it from connected data.
const uint8_t kOfflineMagic[16] = {0x00, 0xFF, 0xFF, 0x00, 0xFE, 0xFE, 0xFE, 0xFE,
                                   0xFD, 0xFD, 0xFD, 0xFD, 0x12, 0x34, 0x56, 0x78};
constexpr uint8_t kProtocolVersion = 6;

std::vector<uint8_t> Bytes(const RakNet::BitStream& stream)
{
    const uint8_t* pData = stream.GetData();
    return std::vector<uint8_t>(pData, pData + stream.GetNumberOfBytesUsed());
}

bool IsReliable(uint8_t byReliability)
{
    return byReliability == RELIABLE || byReliability == RELIABLE_ORDERED ||
           byReliability == RELIABLE_SEQUENCED;
}

bool IsOrdered(uint8_t byReliability)
{
    return byReliability == UNRELIABLE_SEQUENCED || byReliability == RELIABLE_SEQUENCED ||
           byReliability == RELIABLE_ORDERED || byReliability == RELIABLE_ORDERED_WITH_ACK_RECEIPT;
}

// The message header as the reliability layer reads it, then the data.
void WriteMessage(RakNet::BitStream& stream, const SRawMessage& message)
{
    stream.AlignWriteToByteBoundary();
    stream.WriteBits(&message.byReliability, 3, true);
    stream.Write(message.bSplit);
    stream.AlignWriteToByteBoundary();
    const uint16_t usBits = static_cast<uint16_t>(message.data.size() * 8);
    stream.WriteAlignedVar16(reinterpret_cast<const char*>(&usBits));
    if (IsReliable(message.byReliability))
        stream.Write(RakNet::uint24_t(message.uiReliableNumber));
    stream.AlignWriteToByteBoundary();
    if (message.byReliability == UNRELIABLE_SEQUENCED || message.byReliability == RELIABLE_SEQUENCED)
        stream.Write(RakNet::uint24_t(message.uiOrderingIndex));
    if (IsOrdered(message.byReliability))
    {
        stream.Write(RakNet::uint24_t(message.uiOrderingIndex));
        stream.WriteAlignedVar8(reinterpret_cast<const char*>(&message.byOrderingChannel));
    }
    if (message.bSplit)
    {
        stream.WriteAlignedVar32(reinterpret_cast<const char*>(&message.uiSplitCount));
        stream.WriteAlignedVar16(reinterpret_cast<const char*>(&message.usSplitId));
        stream.WriteAlignedVar32(reinterpret_cast<const char*>(&message.uiSplitIndex));
    }
    if (!message.data.empty())
        stream.WriteAlignedBytes(message.data.data(), static_cast<unsigned int>(message.data.size()));
}
} // namespace

std::vector<uint8_t> OpenConnectionRequest2(uint16_t usServerPort, uint16_t usMtu, uint64_t ullGuid)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<RakNet::MessageID>(ID_OPEN_CONNECTION_REQUEST_2));
    stream.WriteAlignedBytes(kOfflineMagic, sizeof(kOfflineMagic));
    RakNet::SystemAddress server("127.0.0.1", usServerPort);
    stream.Write(server);
    stream.Write(usMtu);
    RakNet::RakNetGUID guid(ullGuid);
    stream.Write(guid);
    return Bytes(stream);
}

std::vector<uint8_t> OpenConnectionRequest1(uint16_t usMtu)
{
    std::vector<uint8_t> bytes;
    bytes.push_back(ID_OPEN_CONNECTION_REQUEST_1);
    bytes.insert(bytes.end(), kOfflineMagic, kOfflineMagic + sizeof(kOfflineMagic));
    bytes.push_back(kProtocolVersion);
    // RakNet pads the request to the MTU it probes, less the IP and UDP headers.
    const size_t nPadded = usMtu > 28 + bytes.size() ? usMtu - 28u : bytes.size();
    bytes.resize(nPadded, 0);
    return bytes;
}

std::vector<uint8_t> DataDatagram(uint32_t uiDatagramNumber, const std::vector<SRawMessage>& messages)
{
    RakNet::BitStream stream;
    stream.Write(true);  // valid
    stream.Write(false); // not an ACK
    stream.Write(false); // not a NAK
    stream.Write(false); // packet pair
    stream.Write(false); // continuous send
    stream.Write(false); // needs B and AS
    stream.AlignWriteToByteBoundary();
    stream.Write(RakNet::uint24_t(uiDatagramNumber));
    for (const SRawMessage& message : messages)
        WriteMessage(stream, message);
    return Bytes(stream);
}

std::vector<uint8_t> AckDatagram(const std::vector<SRange>& ranges, bool bNak)
{
    RakNet::BitStream stream;
    stream.Write(true); // valid
    stream.Write(!bNak);
    if (bNak)
        stream.Write(true);
    else
        stream.Write(false); // no B and AS
    stream.AlignWriteToByteBoundary();
    const uint16_t usCount = static_cast<uint16_t>(ranges.size());
    stream.Write(usCount);
    for (const SRange& range : ranges)
    {
        const uint8_t byMinEqualsMax = range.uiMin == range.uiMax ? 1 : 0;
        stream.Write(byMinEqualsMax);
        stream.Write(RakNet::uint24_t(range.uiMin));
        if (!byMinEqualsMax)
            stream.Write(RakNet::uint24_t(range.uiMax));
    }
    return Bytes(stream);
}

std::vector<uint8_t> ConnectionRequest(uint64_t ullGuid)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<RakNet::MessageID>(ID_CONNECTION_REQUEST));
    stream.Write(RakNet::RakNetGUID(ullGuid));
    stream.Write(static_cast<RakNet::Time>(1000));
    stream.Write(static_cast<uint8_t>(0));
    stream.Write(static_cast<uint8_t>(0));
    return Bytes(stream);
}

std::vector<uint8_t> NewIncomingConnection(uint16_t usServerPort)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<RakNet::MessageID>(ID_NEW_INCOMING_CONNECTION));
    stream.Write(RakNet::SystemAddress("127.0.0.1", usServerPort));
    for (int i = 0; i < MAXIMUM_NUMBER_OF_INTERNAL_IDS; ++i)
        stream.Write(RakNet::UNASSIGNED_SYSTEM_ADDRESS);
    stream.Write(static_cast<RakNet::Time>(1000));
    stream.Write(static_cast<RakNet::Time>(1000));
    return Bytes(stream);
}

int64_t HighestAcknowledged(const uint8_t* pData, size_t nLength)
{
    RakNet::BitStream stream(const_cast<uint8_t*>(pData), static_cast<unsigned int>(nLength), false);
    bool bValid = false, bAck = false, bBandAs = false;
    stream.Read(bValid);
    stream.Read(bAck);
    stream.Read(bBandAs);
    if (!bValid || !bAck || bBandAs)
        return -1;
    stream.AlignReadToByteBoundary();
    uint16_t usCount = 0;
    stream.Read(usCount);
    int64_t llHighest = -1;
    for (uint16_t i = 0; i < usCount; ++i)
    {
        uint8_t byMinEqualsMax = 0;
        RakNet::uint24_t min, max;
        if (!stream.Read(byMinEqualsMax) || !stream.Read(min))
            return llHighest;
        max = min;
        if (!byMinEqualsMax && !stream.Read(max))
            return llHighest;
        llHighest = std::max<int64_t>(llHighest, max.val);
    }
    return llHighest;
}

} // namespace flood
