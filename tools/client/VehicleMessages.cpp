#include "VehicleMessages.h"

#include "CMessageBuilder.h"
#include "CPayloadReader.h"

namespace testclient
{

void EncodeRequestEnterVehicle(RakNet::BitStream& stream, uint16_t usVehicleId, uint8_t byA, uint8_t byB,
                               uint8_t byC)
{
    WriteMessageId(stream, wire::CL_REQUEST_ENTER_VEHICLE);
    stream.Write(usVehicleId);
    stream.Write(byA);
    stream.Write(byB);
    stream.Write(byC);
}

void EncodeUnoccupiedSync(RakNet::BitStream& stream, uint16_t usVehicleId, uint16_t usSpawnCounter,
                          const wire::SVehicleRecord& record)
{
    WriteMessageId(stream, wire::CL_UNOCCUPIED_SYNC);
    stream.Write(usVehicleId);
    stream.Write(usSpawnCounter);
    stream.Write(record);
}

void EncodeVehicleExploded(RakNet::BitStream& stream, uint16_t usVehicleId)
{
    WriteMessageId(stream, wire::CL_VEHICLE_REPORT_A);
    stream.Write(usVehicleId);
    stream.Write(static_cast<uint32_t>(0xDEADBEEFu));
}

void EncodeVehicleByte(RakNet::BitStream& stream, int nId, uint16_t usVehicleId, uint8_t byValue)
{
    WriteMessageId(stream, nId);
    stream.Write(usVehicleId);
    stream.Write(byValue);
}

bool DecodeVehicleCreate(const SReceived& msg, SVehicleCreate& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U16(out.usVehicleId);
    r.U16(out.usSpawnCounter);
    r.U8(out.byModel);
    r.Block(out.vPosition);
    r.Block(out.qRotation);
    r.U8(out.byColour1);
    r.U8(out.byColour2);
    r.F32(out.fHealth);
    r.U32(out.uiDamage);
    r.U8(out.byOptionFlags);
    return r.U8(out.byOptionByte);
}

static bool DecodeRequestPart(CPayloadReader& r, SEnterVehicle& out)
{
    r.U32(out.uiPlayerId);
    r.U16(out.usVehicleId);
    r.U8(out.byA);
    r.U8(out.byB);
    return r.U8(out.byC);
}

bool DecodeEnterVehicle(const SReceived& msg, SEnterVehicle& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    if (!DecodeRequestPart(r, out))
        return false;
    out.bHasRadio = r.UnreadBits() >= 9;
    if (out.bHasRadio)
    {
        r.U8(out.byRadioStation);
        r.Bit(out.bRadioFlag);
    }
    return r.Ok();
}

bool DecodeEnterVehicleRefused(const SReceived& msg, SEnterVehicle& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    DecodeRequestPart(r, out);
    return r.U8(out.byResult);
}

bool DecodeHandlingRules(const SReceived& msg, SHandlingRules& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    out.entries.clear();
    if (!r.U8(out.byCount))
        return false;
    while (r.UnreadBits() >= 56)
    {
        SHandlingRule entry;
        r.U16(entry.usId);
        r.U8(entry.byRule);
        r.U32(entry.uiValue);
        out.entries.push_back(entry);
    }
    return r.Ok();
}

bool DecodeVehicleNotice(const SReceived& msg, SVehicleNotice& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    if (!r.U16(out.usVehicleId))
        return false;
    if (msg.id == wire::SV_VEHICLE_DAMAGE || msg.id == wire::SV_VEHICLE_ASSIGNMENT_GAINED)
        return r.U32(out.uiDamage);
    return true;
}

bool DecodeUnoccupiedRelay(const SReceived& msg, SUnoccupiedRelay& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U16(out.usVehicleId);
    return r.Block(out.record);
}

} // namespace testclient
