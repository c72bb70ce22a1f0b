#include "WorldMessages.h"

#include <initializer_list>

#include "CPayloadReader.h"

namespace testclient
{

namespace
{
// Every position and rotation travels as one vector or quaternion value:
// its bytes reversed as a whole, like each other vector of the protocol.
void ReadVector(CPayloadReader& r, SFloat3& v)
{
    wire::SWireVector block = {};
    if (r.Block(block))
        v = {block.x, block.y, block.z};
}

void ReadQuaternion(CPayloadReader& r, SFloat4& q)
{
    wire::SWireQuaternion block = {};
    if (r.Block(block))
        q = {block.x, block.y, block.z, block.w};
}

std::vector<uint8_t> Bytes(uint8_t byId, std::initializer_list<uint8_t> body)
{
    std::vector<uint8_t> bytes{byId};
    bytes.insert(bytes.end(), body);
    return bytes;
}
} // namespace

bool DecodeObjectCreate(const SReceived& msg, SObjectCreate& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U16(out.usId);
    r.U16(out.usModel);
    r.U8(out.byAlpha);
    ReadVector(r, out.vPosition);
    ReadQuaternion(r, out.qRotation);
    r.U8(out.byReportFlags);
    r.U8(out.byMotion);
    if (out.byMotion & 0x01)
    {
        r.U32(out.uiMoveRemaining);
        ReadVector(r, out.vMoveTo);
    }
    if (out.byMotion & 0x02)
    {
        r.U32(out.uiTurnRemaining);
        ReadQuaternion(r, out.qTurnTo);
    }
    return r.Ok();
}

bool DecodeObjectMove(const SReceived& msg, SObjectMove& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U16(out.usId);
    r.U16(out.usDuration);
    ReadVector(r, out.vFrom);
    ReadVector(r, out.vTo);
    return r.Ok();
}

bool DecodePickupCreate(const SReceived& msg, SPickupCreate& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U32(out.uiKey);
    r.U16(out.usModel);
    r.I32(out.nQuantity);
    ReadVector(r, out.vPosition);
    return r.U8(out.byAlpha);
}

bool DecodePickupAlpha(const SReceived& msg, SPickupAlpha& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U32(out.uiKey);
    return r.U8(out.byAlpha);
}

bool DecodePickupRefresh(const SReceived& msg, SPickupRefresh& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    r.U32(out.uiOldKey);
    return r.U32(out.uiNewKey);
}

// The text carries its terminating zero, counted by the length byte.
bool DecodeTextElementShow(const SReceived& msg, STextElementShow& out)
{
    CPayloadReader r(msg.payload.data(), msg.payload.size());
    uint8_t byLength = 0;
    r.U8(out.byId);
    r.U8(byLength);
    std::string text(byLength, '\0');
    r.Bytes(text.data(), byLength);
    out.strText = text.substr(0, text.find('\0'));
    for (int16_t& sValue : out.asValue)
        r.I16(sValue);
    r.F32(out.fScale);
    return r.U8(out.byFlag);
}

std::vector<uint8_t> PickupClaimBytes(uint32_t uiKey)
{
    return Bytes(wire::CL_PICKUP_CLAIM, {static_cast<uint8_t>(uiKey >> 24), static_cast<uint8_t>(uiKey >> 16),
                                         static_cast<uint8_t>(uiKey >> 8), static_cast<uint8_t>(uiKey)});
}

std::vector<uint8_t> ObjectShotBytes(uint16_t usObjectId, uint8_t byWeapon)
{
    return Bytes(wire::CL_OBJECT_SHOT,
                 {static_cast<uint8_t>(usObjectId >> 8), static_cast<uint8_t>(usObjectId), byWeapon});
}

std::vector<uint8_t> ObjectTouchedBytes(uint16_t usObjectId)
{
    return Bytes(wire::CL_OBJECT_TOUCHED,
                 {static_cast<uint8_t>(usObjectId >> 8), static_cast<uint8_t>(usObjectId)});
}

} // namespace testclient
