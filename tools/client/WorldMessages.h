#pragma once

// Objects, pickups and client elements as a client sees them: the server's
// messages decoded into plain structs, and the client's reports and claims
// written. Decoders return false when the payload is too short.

#include <cstdint>
#include <string>
#include <vector>

#include "ServerMessages.h"
#include "WireFormat.h"

namespace testclient
{

// Identifiers of the server's object, pickup and client element messages.
enum : int
{
    SV_OBJECT_CREATE = 206,
    SV_OBJECT_DESTROY = 207,
    SV_OBJECT_ALPHA = 208,
    SV_OBJECT_REPORT_FLAGS = 209,
    SV_OBJECT_TURN = 210,
    SV_OBJECT_MOVE = 211,
    SV_OBJECT_ROTATION = 212,
    SV_OBJECT_POSITION = 213,
    SV_PICKUP_CREATE = 214,
    SV_PICKUP_DESTROY = 215,
    SV_PICKUP_ALPHA = 216,
    SV_PICKUP_POSITION = 217,
    SV_PICKUP_REFRESH = 218,
    SV_TEXT_ELEMENT_SHOW = 226,
    SV_TEXT_ELEMENT_HIDE = 227,
    SV_TEXT_ELEMENT_VALUES12 = 228,
    SV_NAMED_ELEMENT_SHOW = 232,
};

// Aligned copies of positions and rotations, so tests can compare fields directly.
struct SFloat3
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct SFloat4
{
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

struct SObjectCreate // 206
{
    uint16_t usId = 0;
    uint16_t usModel = 0;
    uint8_t byAlpha = 0;
    SFloat3 vPosition;
    SFloat4 qRotation;
    uint8_t byReportFlags = 0;
    uint8_t byMotion = 0; // bit 0 moving, bit 1 turning
    uint32_t uiMoveRemaining = 0;
    SFloat3 vMoveTo;
    uint32_t uiTurnRemaining = 0;
    SFloat4 qTurnTo;
};

struct SObjectMove // 211
{
    uint16_t usId = 0;
    uint16_t usDuration = 0;
    SFloat3 vFrom;
    SFloat3 vTo;
};

struct SPickupCreate // 214
{
    uint32_t uiKey = 0;
    uint16_t usModel = 0;
    int32_t nQuantity = 0;
    SFloat3 vPosition;
    uint8_t byAlpha = 0;
};

struct SPickupAlpha // 216
{
    uint32_t uiKey = 0;
    uint8_t byAlpha = 0;
};

struct SPickupRefresh // 218
{
    uint32_t uiOldKey = 0;
    uint32_t uiNewKey = 0;
};

struct STextElementShow // 226
{
    uint8_t byId = 0;
    std::string strText;
    int16_t asValue[4];
    float fScale = 0.0f;
    uint8_t byFlag = 0;
};

bool DecodeObjectCreate(const SReceived& msg, SObjectCreate& out);
bool DecodeObjectMove(const SReceived& msg, SObjectMove& out);
bool DecodePickupCreate(const SReceived& msg, SPickupCreate& out);
bool DecodePickupAlpha(const SReceived& msg, SPickupAlpha& out);
bool DecodePickupRefresh(const SReceived& msg, SPickupRefresh& out);
bool DecodeTextElementShow(const SReceived& msg, STextElementShow& out);

// Whole messages, identifier first: claim (178), shot (182), touch (183).
std::vector<uint8_t> PickupClaimBytes(uint32_t uiKey);
std::vector<uint8_t> ObjectShotBytes(uint16_t usObjectId, uint8_t byWeapon);
std::vector<uint8_t> ObjectTouchedBytes(uint16_t usObjectId);

} // namespace testclient
