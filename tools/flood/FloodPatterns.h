#pragma once

// The datagrams the floods are made of: malformed ACK/NAK range lists, and
// random or mutated copies of every kind of datagram the game port takes
// (open-connection requests, queries, connected data, ACKs, NAKs).

#include <cstdint>
#include <random>
#include <vector>

namespace flood
{

// The n-th datagram of an ACK/NAK flood: ACKs and NAKs in turn, each naming
// every datagram number there is (0..0xFFFFFE) in one range or many.
std::vector<uint8_t> AckNakFloodDatagram(uint32_t uiIndex);
// A datagram of a random kind, built well and then, most of the time, mutated.
std::vector<uint8_t> JunkDatagram(std::mt19937& random, uint16_t usServerPort);
// A forged client's first connected datagram: its connection request and,
// when bComplete, the message that completes the connection.
std::vector<uint8_t> ForgedConnectDatagram(uint16_t usServerPort, uint64_t ullGuid, bool bComplete);
// The n-th datagram (numbered 1 + n) of a split flood: 90 one-byte fragments
// of 31 messages of 4,096, each sent all but its last fragment, so none
// completes.
std::vector<uint8_t> SplitFloodDatagram(uint32_t uiIndex);
// A datagram with one 1,200-byte unreliable sequenced message on channel 31
// at ordering index 1000, far ahead of the index that channel waits for.
std::vector<uint8_t> OrderingFloodDatagram();

} // namespace flood
