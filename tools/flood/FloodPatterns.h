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

} // namespace flood
