#include "ContentMessages.h"

#include "CPayloadReader.h"

namespace testclient
{

namespace
{
class CReader : public CPayloadReader
{
public:
    explicit CReader(const SReceived& msg) : CPayloadReader(msg.payload.data(), msg.payload.size()) {}

    // A 64-bit integer, most significant byte first.
    bool U64(uint64_t& ull)
    {
        uint32_t uiHigh = 0;
        uint32_t uiLow = 0;
        if (!U32(uiHigh) || !U32(uiLow))
            return false;
        ull = (static_cast<uint64_t>(uiHigh) << 32) | uiLow;
        return true;
    }
};
} // namespace

bool DecodeHiddenObjects(const SReceived& msg, SHiddenObjects& out)
{
    CReader r(msg);
    uint8_t byCount = 0;
    r.U8(out.byAction);
    r.U8(byCount);
    out.keys.assign(byCount, 0);
    for (uint64_t& ullKey : out.keys)
        r.U64(ullKey);
    return r.Ok();
}

bool DecodeKeyBindList(const SReceived& msg, SKeyBindList& out)
{
    CReader r(msg);
    uint8_t byCount = 0;
    if (!r.U8(byCount))
        return false;
    out.bReset = byCount == 255 && msg.payload.size() == 1;
    out.binds.clear();
    if (out.bReset)
        return true;
    for (int i = 0; i < byCount && r.Ok(); ++i)
    {
        SKeyBind bind;
        r.U8(bind.byBindId);
        r.U8(bind.byOnRelease);
        for (uint8_t& byKey : bind.abyKeys)
            r.U8(byKey);
        out.binds.push_back(bind);
    }
    return r.Ok();
}

bool DecodeWeaponData(const SReceived& msg, std::vector<SWeaponDataEntry>& out)
{
    CReader r(msg);
    uint8_t byCount = 0;
    r.U8(byCount);
    out.assign(byCount, SWeaponDataEntry());
    for (SWeaponDataEntry& entry : out)
    {
        r.U8(entry.byWeapon);
        r.U8(entry.byField);
        r.U32(entry.uiValue);
    }
    return r.Ok();
}

// The position is one 12-byte block, reversed as a whole: z, y, x.
bool DecodeMarkerCreate(const SReceived& msg, SMarkerCreate& out)
{
    CReader r(msg);
    r.U8(out.byIndex);
    wire::SWireVector position;
    r.Block(position);
    out.fX = position.x;
    out.fY = position.y;
    out.fZ = position.z;
    r.U8(out.byAttributeA);
    r.U32(out.uiAttributeB);
    r.U8(out.byAttributeC);
    return r.Ok();
}

bool DecodeMarkerDestroy(const SReceived& msg, uint8_t& byIndex)
{
    CReader r(msg);
    return r.U8(byIndex);
}

bool DecodeRadioStation(const SReceived& msg, SRadioStation& out)
{
    CReader r(msg);
    r.U8(out.byIndex);
    r.Text8(out.strSource);
    r.Text8(out.strName);
    r.Bit(out.bFlag);
    return r.Ok();
}

void EncodeKeyEvent(RakNet::BitStream& stream, uint8_t byBindId, uint8_t byState)
{
    stream.Write(static_cast<uint8_t>(184));
    stream.Write(byBindId);
    stream.Write(byState);
}

void EncodeStoreFileRequest(RakNet::BitStream& stream, uint16_t usSetId, const std::vector<SStoreFile>& files)
{
    stream.Write(static_cast<uint8_t>(185));
    stream.Write(static_cast<uint8_t>(files.size()));
    stream.Write(usSetId);
    for (const SStoreFile& file : files)
        stream.Write(reinterpret_cast<const char*>(file.abyDigest), sizeof(file.abyDigest));
}

} // namespace testclient
