#pragma once

#include <cstdint>

enum : int
{
    ID_PICKUP_CLAIM = 178,
    ID_OBJECT_SHOT = 182,
    ID_OBJECT_TOUCHED = 183,
};

// Client messages about objects and pickups: shot and touch reports (182,
// 183) and collection claims (178). Each applies the joined-state guard,
// drops a payload shorter than the message and anything that names no live
// entity, and leaves the rest to the object or the pickup.
class CWorldHandlers
{
public:
    static void HandleObjectShot(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleObjectTouched(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandlePickupClaim(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
