#pragma once

#include <cstdint>

#include "BitStream.h"
#include "math/Quaternion.h"
#include "math/Vector.h"

// The fixed sync records, in memory order (little-endian fields, no padding).
// Each travels as one block read or written through the bit stream's
// templated Read/Write, which reverses the whole block on this host. A local
// copy is declared alignas(4) so that its vectors can be bound to references.

#pragma pack(push, 1)

// Messages 147 and 148 (and their relays).
struct SOnFootSyncRecord
{
    // World position, or the offset from the vehicle or object stood on.
    Vector vPosition;
    float fAngle;
    Vector vSpeed;
    uint16_t usKeys;
    // 1..1000 vehicle, 1001..4000 object index + 1001, 0 none.
    uint16_t usSurfaceId;
    uint16_t usAmmo;
    uint8_t byHealth;
    uint8_t byArmour;
    uint8_t bySyncCode;
    uint8_t bySyncByte37;
    uint8_t byWeapon;
    uint8_t bySyncFlags;
};

// Follows the on-foot record in message 148.
struct SAimSyncRecord
{
    Vector vAim1;
    Vector vAim2;
};

// Message 149, followed by the vehicle's own record.
struct SDriverSyncRecord
{
    uint16_t usKeys;
    uint16_t usVehicleId;
    uint16_t usAmmo;
    uint8_t byHealth;
    uint8_t byArmour;
    uint8_t byWeapon;
};

// Message 150.
struct SPassengerSyncRecord
{
    uint16_t usVehicleId;
    uint8_t byHealth;
    uint8_t byArmour;
    // 1..8: passenger seat index + 1.
    uint8_t bySeat;
};

// What a driver reports about its vehicle; the vehicle interprets all but the
// position, which the sync also uses for the driver.
struct SVehicleSyncRecord
{
    Vector vPosition;
    Vector vSpeed;
    Quaternion qRotation;
    uint32_t uiDamage;
    float fHealth;
    uint8_t byFlag;
    uint16_t usSyncWord;
};

#pragma pack(pop)

static_assert(sizeof(SOnFootSyncRecord) == 40, "on-foot record is 40 bytes");
static_assert(sizeof(SAimSyncRecord) == 24, "aim record is 24 bytes");
static_assert(sizeof(SDriverSyncRecord) == 9, "driver record is 9 bytes");
static_assert(sizeof(SPassengerSyncRecord) == 5, "passenger record is 5 bytes");
static_assert(sizeof(SVehicleSyncRecord) == 51, "vehicle driver record is 51 bytes");

// Reads each value as one block, in order, from a message payload. False,
// with nothing read, when the payload is shorter than all of them together.
template <typename... T> bool ReadSyncRecords(const uint8_t* pPayload, int nLength, T&... values)
{
    if (!pPayload || nLength < static_cast<int>((sizeof(T) + ...)))
        return false;
    RakNet::BitStream stream(const_cast<unsigned char*>(pPayload), static_cast<unsigned int>(nLength), false);
    return (stream.Read(values) && ...);
}
