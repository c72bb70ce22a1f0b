#pragma once

// RakNet datagrams written by hand, byte for byte as the library puts them on
// the wire, so that tests and the benchmark can send what no well-behaved peer
// would: offline handshake requests, connected datagrams with any message
// header (split count, index and id included) and ACK/NAK range lists.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flood
{

// One message inside a connected datagram, with the header fields as sent.
struct SRawMessage
{
    uint8_t byReliability = 0; // 0 unreliable, 2 reliable, 3 reliable ordered, ...
    uint32_t uiReliableNumber = 0;
    uint32_t uiOrderingIndex = 0;
    uint8_t byOrderingChannel = 0;
    bool bSplit = false;
    uint32_t uiSplitCount = 0;
    uint16_t usSplitId = 0;
    uint32_t uiSplitIndex = 0;
    std::vector<uint8_t> data;
};

struct SRange
{
    uint32_t uiMin = 0; // 24-bit datagram numbers
    uint32_t uiMax = 0;
};

// Open-connection request 2: identifier 7, the offline magic, the server's
// address as the client addressed it, the MTU and the client's GUID.
std::vector<uint8_t> OpenConnectionRequest2(uint16_t usServerPort, uint16_t usMtu, uint64_t ullGuid);
// Open-connection request 1: identifier 5, the magic, the protocol version, padding.
std::vector<uint8_t> OpenConnectionRequest1(uint16_t usMtu);
// A connected data datagram with the given number carrying the messages.
std::vector<uint8_t> DataDatagram(uint32_t uiDatagramNumber, const std::vector<SRawMessage>& messages);
// An ACK (or NAK) datagram with the ranges.
std::vector<uint8_t> AckDatagram(const std::vector<SRange>& ranges, bool bNak);
// The connection request a client sends first: identifier 9, its GUID, the
// time (as wide as the transport's time), no security, and the empty
// password's terminating zero.
std::vector<uint8_t> ConnectionRequest(uint64_t ullGuid);
// The message that completes a client's connection: identifier 19, the
// server's address, the client's ten internal addresses and two times.
std::vector<uint8_t> NewIncomingConnection(uint16_t usServerPort);
// The highest datagram number an ACK datagram names; -1 for any other datagram.
int64_t HighestAcknowledged(const uint8_t* pData, size_t nLength);

} // namespace flood
