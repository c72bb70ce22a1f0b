#include "ServerMessages.h"

#include "CPayloadReader.h"

namespace testclient
{

namespace
{

class CReader : public CPayloadReader
{
public:
    explicit CReader(const SReceived& msg) : CPayloadReader(msg.payload.data(), msg.payload.size()) {}
};

} // namespace

// The store list is a count byte and one digest and name per file; a count
// that the payload cannot hold fails rather than reading past it.
bool DecodeServerInfo(const SReceived& msg, SServerInfo& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.F32(out.fMaxX);
    r.F32(out.fMinX);
    r.F32(out.fMaxY);
    r.F32(out.fMinY);
    r.Text8(out.strServerName);
    r.Text8(out.strPlayerName);
    uint8_t byFiles = 0;
    r.U8(byFiles);
    out.files.clear();
    for (int i = 0; i < byFiles && r.Ok(); ++i)
    {
        SStoreFile file;
        r.Bytes(file.abyDigest, sizeof(file.abyDigest));
        r.Text8(file.strName);
        out.files.push_back(file);
    }
    return r.Ok();
}

bool DecodeJoinRefusal(const SReceived& msg, uint8_t& byCode)
{
    CReader r(msg);
    return r.U8(byCode);
}

bool DecodeChatLine(const SReceived& msg, STextMessage& out)
{
    CReader r(msg);
    r.U32(out.uiValue);
    return r.Text32(out.strText);
}

bool DecodeGameMessage(const SReceived& msg, STextMessage& out)
{
    return DecodeChatLine(msg, out);
}

bool DecodeKicked(const SReceived& msg, uint8_t& byValue)
{
    CReader r(msg);
    return r.U8(byValue);
}

bool DecodeWorldOptions(const SReceived& msg, wire::SWorldOptionsBlock& out)
{
    CReader r(msg);
    return r.Block(out);
}

bool DecodeTimeState(const SReceived& msg, wire::STimeStateBlock& out)
{
    CReader r(msg);
    return r.Block(out);
}

bool DecodeDeathSettings(const SReceived& msg, wire::SDeathSettingsBlock& out)
{
    CReader r(msg);
    return r.Block(out);
}

bool DecodeServerName(const SReceived& msg, std::string& strName)
{
    CReader r(msg);
    return r.Text8(strName);
}

bool DecodeJoinNotice(const SReceived& msg, SJoinNotice& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U32(out.uiColour);
    r.U16(out.usFlags);
    return r.Text8(out.strName);
}

bool DecodeLeaveNotice(const SReceived& msg, SLeaveNotice& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    return r.U8(out.byReason);
}

bool DecodeNameChange(const SReceived& msg, SNameChange& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    return r.Text8(out.strName);
}

bool DecodeDeathNotice(const SReceived& msg, SDeathNotice& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byReason);
    r.U8(out.byKillerSlot);
    return r.U8(out.byBodyPart);
}

bool DecodePlayerId(const SReceived& msg, uint32_t& uiPlayerId)
{
    CReader r(msg);
    return r.U32(uiPlayerId);
}

// Addresses are present only when the list was built for an administrator.
bool DecodePlayerList(const SReceived& msg, SPlayerList& out)
{
    CReader r(msg);
    uint8_t byAdmin = 0;
    r.U8(out.byCount);
    r.U8(byAdmin);
    out.bAdmin = byAdmin != 0;
    out.entries.clear();
    for (int i = 0; i < out.byCount && r.Ok(); ++i)
    {
        SPlayerListEntry entry;
        r.U8(entry.bySlot);
        r.I32(entry.nScore);
        r.U32(entry.uiPing);
        if (out.bAdmin)
        {
            entry.bHasAddress = r.U32(entry.uiAddress);
        }
        out.entries.push_back(entry);
    }
    return r.Ok();
}

bool DecodeFarList(const SReceived& msg, std::vector<wire::SFarEntry>& out)
{
    CReader r(msg);
    uint8_t byCount = 0;
    r.U8(byCount);
    out.clear();
    for (int i = 0; i < byCount && r.Ok(); ++i)
    {
        wire::SFarEntry entry = {};
        if (r.Block(entry))
        {
            out.push_back(entry);
        }
    }
    return r.Ok();
}

// The marker bit sits right after the player id, so the length and text that
// follow are not byte-aligned.
bool DecodeChatRelay(const SReceived& msg, SChatRelay& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.Bit(out.bMarker);
    return r.Text16(out.strText);
}

bool DecodeOnFootRelay(const SReceived& msg, SOnFootRelay& out)
{
    CReader r(msg);
    r.U8(out.bySlot);
    return r.Block(out.onFoot);
}

bool DecodeAimRelay(const SReceived& msg, SAimRelay& out)
{
    CReader r(msg);
    r.U8(out.bySlot);
    r.Block(out.onFoot);
    return r.Block(out.aim);
}

bool DecodeDriverRelay(const SReceived& msg, SDriverRelay& out)
{
    CReader r(msg);
    r.U8(out.bySlot);
    r.Block(out.driver);
    return r.Block(out.vehicle);
}

bool DecodePassengerRelay(const SReceived& msg, SPassengerRelay& out)
{
    CReader r(msg);
    r.U8(out.bySlot);
    return r.Block(out.passenger);
}

bool DecodeTwoByteRelay(const SReceived& msg, SPlayerBytes& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byA);
    return r.U8(out.byB);
}

bool DecodeThreeByteRelay(const SReceived& msg, SPlayerBytes& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byA);
    r.U8(out.byB);
    return r.U8(out.byC);
}

bool DecodeValueRelay(const SReceived& msg, SValueRelay& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U32(out.uiValue);
    r.U8(out.byA);
    return r.U8(out.byB);
}

bool DecodeAreaEffect(const SReceived& msg, SAreaEffect& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byWeapon);
    r.Block(out.vOrigin);
    return r.Block(out.vSecond);
}

bool DecodeProjectile(const SReceived& msg, SProjectile& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byWeapon);
    r.U16(out.usKey);
    r.Block(out.vOrigin);
    r.Block(out.vSecond);
    return r.Block(out.qRotation);
}

bool DecodeSequencedValue(const SReceived& msg, SSequencedValue& out)
{
    CReader r(msg);
    r.U32(out.uiSequence);
    return r.U8(out.byValue);
}

bool DecodeResetWeapons(const SReceived& msg, uint32_t& uiSequence)
{
    CReader r(msg);
    return r.U32(uiSequence);
}

bool DecodeGiveWeapon(const SReceived& msg, SGiveWeapon& out)
{
    CReader r(msg);
    r.U32(out.uiSequence);
    r.U8(out.byWeapon);
    r.U16(out.usAmmo);
    return r.U8(out.byArmed);
}

bool DecodeRemoveWeapon(const SReceived& msg, SGiveWeapon& out)
{
    CReader r(msg);
    r.U32(out.uiSequence);
    return r.U8(out.byWeapon);
}

bool DecodeFlags(const SReceived& msg, SFlags& out)
{
    CReader r(msg);
    r.U16(out.usFlags);
    return r.U8(out.byClientFlags2);
}

bool DecodeVector(const SReceived& msg, wire::SWireVector& out)
{
    CReader r(msg);
    return r.Block(out);
}

bool DecodeFloat(const SReceived& msg, float& f)
{
    CReader r(msg);
    return r.F32(f);
}

bool DecodeInt32(const SReceived& msg, int32_t& n)
{
    CReader r(msg);
    return r.I32(n);
}

bool DecodeByte(const SReceived& msg, uint8_t& by)
{
    CReader r(msg);
    return r.U8(by);
}

bool DecodeSlotByte(const SReceived& msg, SSlotValue& out)
{
    CReader r(msg);
    uint8_t byValue = 0;
    r.U8(out.bySlot);
    r.U8(byValue);
    out.uiValue = byValue;
    return r.Ok();
}

bool DecodeColour(const SReceived& msg, SSlotValue& out)
{
    CReader r(msg);
    r.U8(out.bySlot);
    return r.U32(out.uiValue);
}

bool DecodeExtraState(const SReceived& msg, SSlotValue& out)
{
    CReader r(msg);
    uint8_t byValue = 0;
    r.U8(out.bySlot);
    r.U8(byValue);
    r.U16(out.usParameter);
    out.uiValue = byValue;
    return r.Ok();
}

bool DecodeFlagBroadcast(const SReceived& msg, SSlotValue& out)
{
    CReader r(msg);
    uint16_t usFlags = 0;
    r.U8(out.bySlot);
    r.U16(usFlags);
    out.uiValue = usFlags;
    return r.Ok();
}

bool DecodeScore(const SReceived& msg, SScore& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    return r.I32(out.nScore);
}

bool DecodeSpawnDescription(const SReceived& msg, SSpawnDescription& out)
{
    CReader r(msg);
    r.U32(out.uiPlayerId);
    r.U8(out.byClassByteA);
    r.U8(out.byClassByteB);
    r.U8(out.byExtraState);
    r.Block(out.vPosition);
    r.F32(out.fAngle);
    r.U16(out.usVehicleId);
    r.U8(out.bySeat);
    return r.U16(out.usVisibleFlags);
}

bool DecodeCamera(const SReceived& msg, SCamera& out)
{
    CReader r(msg);
    r.Block(out.vPosition);
    return r.Block(out.vLookAt);
}

bool DecodeExplosion(const SReceived& msg, SExplosion& out)
{
    CReader r(msg);
    r.U8(out.byType);
    r.F32(out.fX);
    r.F32(out.fY);
    r.F32(out.fZ);
    r.U32(out.uiCausePlayerId);
    r.U8(out.byExtra);
    return r.U16(out.usVehicleId);
}

} // namespace testclient
