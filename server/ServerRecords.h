#pragma once

#include <cstdint>

// Records that the server sends to clients as raw blocks. Their layouts are
// part of the protocol: packed, in this field order, written to the wire with
// their bytes reversed as a whole.

#pragma pack(push, 1)

// A spawn class (31 bytes).
struct SClassRecord
{
    uint8_t byClassByteA;
    uint8_t byClassByteB;
    uint32_t uiColour;
    float fX, fY, fZ;
    float fAngle;
    uint8_t abyWeapon[3];
    uint16_t ausAmmo[3];
};
static_assert(sizeof(SClassRecord) == 31, "class record is 31 bytes");

// Clock and weather (5 bytes, message 171).
struct STimeState
{
    uint8_t byWeather;
    uint8_t byHour;
    uint8_t byMinute;
    uint16_t usTimeRate;
};
static_assert(sizeof(STimeState) == 5, "time state block is 5 bytes");

// World options (21 bytes, message 170).
struct SWorldOptions
{
    uint32_t uiOptions;
    float fGravity;
    float fGameSpeed;
    float fWaterLevel;
    float fMaxHeight;
    uint8_t byOptionByte;
};
static_assert(sizeof(SWorldOptions) == 21, "world options block is 21 bytes");

// Seven values the client uses after a death (28 bytes, message 172).
struct SDeathSettings
{
    int32_t nValue1;
    int32_t nValue2;
    float fValue3;
    float fValue4;
    uint32_t uiColour;
    int32_t nValue6;
    int32_t nValue7;
};
static_assert(sizeof(SDeathSettings) == 28, "death settings block is 28 bytes");

#pragma pack(pop)

// World-state message identifiers.
enum : uint8_t
{
    ID_WORLD_OPTIONS = 170,
    ID_TIME_STATE = 171,
    ID_DEATH_SETTINGS = 172,
    ID_SERVER_NAME = 173,
};
