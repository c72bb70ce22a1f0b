#pragma once

// The few messages a load bot reads on its hot path, decoded straight from
// RakNet's packet bytes without copying: a bot takes in up to 2000 relays a
// second, so the test client's queue of decoded copies would cost more than
// what is being measured.

#include <cstddef>
#include <cstdint>

#include "WireFormat.h"

namespace orvnbot
{

// A packet split into identifier and payload; the payload points into the packet.
struct SMessageView
{
    int nId = 0;
    const uint8_t* pPayload = nullptr;
    size_t nLength = 0;
};

// Same framing as the server: an optional time-stamp marker (27 and four
// bytes), then a one- or two-byte identifier. False when there is none.
bool ParseMessage(const uint8_t* pData, size_t nLength, SMessageView& view);

// Relay 147: uint8 slot, then the 40-byte on-foot record as one reversed block.
bool DecodeOnFootRelay(const SMessageView& view, uint8_t& bySlot, wire::SOnFootRecord& record);

// Relay 149: uint8 slot, the 9-byte driver record and the 51-byte vehicle
// record, each one reversed block.
bool DecodeDriverRelay(const SMessageView& view, uint8_t& bySlot, wire::SDriverRecord& driver,
                       wire::SVehicleRecord& vehicle);

// The leading uint32 (big-endian) of 179, 180, 189, 191 and 192: the change
// sequence the client echoes in its sync stamp.
bool ReadLeadingSequence(const SMessageView& view, uint32_t& uiSequence);

// Copies a block as the bit stream's templated read does on a little-endian
// host: the last byte on the wire is the first byte in memory.
void ReverseBlock(const uint8_t* pWire, size_t nLength, void* pOut);

} // namespace orvnbot
