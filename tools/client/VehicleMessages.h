#pragma once

// The vehicle side of the protocol as a client sees it: encoders of the
// vehicle messages a client sends and decoders of those it receives. Like
// the other decoders, each returns false when the payload is too short.

#include <cstdint>
#include <vector>

#include "BitStream.h"
#include "ServerMessages.h"
#include "WireFormat.h"

namespace wire
{
// Vehicle messages the server sends.
enum EServerVehicleMessage : int
{
    SV_ENTER_VEHICLE = 162,
    SV_ENTER_VEHICLE_REFUSED = 163,
    SV_HANDLING_RULES = 220,
    SV_VEHICLE_CREATE = 236,
    SV_VEHICLE_DESTROY = 237,
    SV_VEHICLE_POSITION = 238,
    SV_VEHICLE_ROTATION = 239,
    SV_VEHICLE_COLOURS = 240,
    SV_VEHICLE_SET_SPEED = 241,
    SV_VEHICLE_HEALTH = 247,
    SV_VEHICLE_DAMAGE = 248,
    SV_VEHICLE_OPTIONS = 249,
    SV_VEHICLE_ASSIGNMENT_LOST = 250,
    SV_VEHICLE_ASSIGNMENT_GAINED = 251,
    SV_VEHICLE_EXPLODE = 252,
    SV_VEHICLE_RADIO = 253,
};
} // namespace wire

namespace testclient
{

struct SVehicleCreate // 236
{
    uint16_t usVehicleId = 0;
    uint16_t usSpawnCounter = 0;
    uint8_t byModel = 0;
    wire::SWireVector vPosition = {};
    wire::SWireQuaternion qRotation = {};
    uint8_t byColour1 = 0, byColour2 = 0;
    float fHealth = 0;
    uint32_t uiDamage = 0;
    uint8_t byOptionFlags = 0; // bit 7: wrecked
    uint8_t byOptionByte = 0;
};

struct SEnterVehicle // 162 (radio only in the requester's copy), 163 (result)
{
    uint32_t uiPlayerId = 0;
    uint16_t usVehicleId = 0;
    uint8_t byA = 0, byB = 0, byC = 0;
    uint8_t byResult = 0;
    bool bHasRadio = false;
    uint8_t byRadioStation = 0;
    bool bRadioFlag = false;
};

struct SHandlingRule // one entry of 220
{
    uint16_t usId = 0;
    uint8_t byRule = 0;
    uint32_t uiValue = 0;
};

struct SHandlingRules // 220
{
    uint8_t byCount = 0;
    std::vector<SHandlingRule> entries;
};

struct SVehicleNotice // 237, 250, 252 (id only), 248, 251 (id and damage)
{
    uint16_t usVehicleId = 0;
    uint32_t uiDamage = 0;
};

struct SUnoccupiedRelay // 151
{
    uint16_t usVehicleId = 0;
    wire::SVehicleRecord record = {};
};

// 171: D is never sent; the server takes it as 0.
void EncodeRequestEnterVehicle(RakNet::BitStream& stream, uint16_t usVehicleId, uint8_t byA, uint8_t byB,
                               uint8_t byC);
// 151, with the spawn counter the client last saw in 236.
void EncodeUnoccupiedSync(RakNet::BitStream& stream, uint16_t usVehicleId, uint16_t usSpawnCounter,
                          const wire::SVehicleRecord& record);
// 179 (with trailing client data), 180 and 181.
void EncodeVehicleExploded(RakNet::BitStream& stream, uint16_t usVehicleId);
void EncodeVehicleByte(RakNet::BitStream& stream, int nId, uint16_t usVehicleId, uint8_t byValue);

bool DecodeVehicleCreate(const SReceived& msg, SVehicleCreate& out);
bool DecodeEnterVehicle(const SReceived& msg, SEnterVehicle& out);
bool DecodeEnterVehicleRefused(const SReceived& msg, SEnterVehicle& out);
bool DecodeHandlingRules(const SReceived& msg, SHandlingRules& out);
// 237, 250, 252 and (with the damage) 248, 251.
bool DecodeVehicleNotice(const SReceived& msg, SVehicleNotice& out);
bool DecodeUnoccupiedRelay(const SReceived& msg, SUnoccupiedRelay& out);

} // namespace testclient
