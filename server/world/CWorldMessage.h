#pragma once

#include <cstdint>

#include "BitStream.h"
#include "math/Quaternion.h"
#include "math/Vector.h"

// Identifiers of the object, pickup and client element messages to clients.
enum : uint8_t
{
    ID_OBJECT_CREATE = 206,
    ID_OBJECT_DESTROY = 207,
    ID_OBJECT_ALPHA = 208,
    ID_OBJECT_REPORT_FLAGS = 209,
    ID_OBJECT_TURN = 210,
    ID_OBJECT_MOVE = 211,
    ID_OBJECT_ROTATION = 212,
    ID_OBJECT_POSITION = 213,
    ID_PICKUP_CREATE = 214,
    ID_PICKUP_DESTROY = 215,
    ID_PICKUP_ALPHA = 216,
    ID_PICKUP_POSITION = 217,
    ID_PICKUP_REFRESH = 218,
    ID_TEXT_ELEMENT_SHOW = 226,
    ID_TEXT_ELEMENT_HIDE = 227,
    ID_TEXT_ELEMENT_VALUES12 = 228,
    ID_TEXT_ELEMENT_VALUES34 = 229,
    ID_TEXT_ELEMENT_SCALE = 230,
    ID_TEXT_ELEMENT_FLAG = 231,
    ID_NAMED_ELEMENT_SHOW = 232,
    ID_NAMED_ELEMENT_HIDE = 233,
    ID_NAMED_ELEMENT_VALUES12 = 234,
    ID_NAMED_ELEMENT_VALUE3 = 235,
};

// One server-to-client message about an object, a pickup or a client
// element, being written. All of them travel the same way: one player at a
// time, high priority, reliable ordered, channel 0. The constructor writes
// the identifier; nothing is sent before the network exists.
class CWorldMessage
{
public:
    explicit CWorldMessage(uint8_t byId);

    RakNet::BitStream& Stream() { return m_Stream; }

    // A position or rotation goes as one value, as every vector of the
    // protocol does: its 12 or 16 bytes reversed as a whole, so z (or w)
    // leads, most significant byte first.
    void WriteVector(const Vector& v) { m_Stream.Write(v); }
    void WriteQuaternion(const Quaternion& q) { m_Stream.Write(q); }

    void To(int nSlot) const;
    // Every player that has the object or the pickup streamed in.
    void ToObjectObservers(int nObjectId) const;
    void ToPickupObservers(int nPickupId) const;

private:
    RakNet::BitStream m_Stream;
};
