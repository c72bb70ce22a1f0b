#pragma once

// What a client receives: the message record kept by CTestClient and decoders
// of the server's messages into plain structs. A decoder does not look at the
// identifier (several messages share one shape); it returns false, and leaves
// the output in an unspecified state, when the payload is too short.

#include <cstdint>
#include <string>
#include <vector>

#include "WireFormat.h"

namespace testclient
{

struct SReceived
{
    int id = 0;                   // game identifier (two-byte ones combined), or RakNet's own event code
    std::vector<uint8_t> payload; // the bytes after the identifier
    uint32_t timeMs = 0;          // client clock (ms since the client was made) when it was taken from RakNet
    bool bTimestamped = false;    // the message came behind RakNet's time-stamp marker
    uint32_t uiTimestamp = 0;     // that time stamp
};

struct SStoreFile
{
    uint8_t abyDigest[20] = {};
    std::string strName;
};

// 174
struct SServerInfo
{
    uint32_t uiPlayerId = 0;
    float fMaxX = 0, fMinX = 0, fMaxY = 0, fMinY = 0;
    std::string strServerName;
    std::string strPlayerName;
    std::vector<SStoreFile> files;
    uint8_t Slot() const { return static_cast<uint8_t>(uiPlayerId & 0xFF); }
};

struct STextMessage // 202 (colour or type first), 203
{
    uint32_t uiValue = 0; // colour of a chat line, type of an on-screen message
    std::string strText;
};

struct SJoinNotice // 152
{
    uint32_t uiPlayerId = 0;
    uint32_t uiColour = 0;
    uint16_t usFlags = 0;
    std::string strName;
};

struct SLeaveNotice // 153
{
    uint32_t uiPlayerId = 0;
    uint8_t byReason = 0; // 0 timed out, 1 left, 2 kicked, 3 crashed
};

struct SNameChange // 154
{
    uint32_t uiPlayerId = 0;
    std::string strName;
};

struct SDeathNotice // 155
{
    uint32_t uiPlayerId = 0;
    uint8_t byReason = 0;
    uint8_t byKillerSlot = 0;
    uint8_t byBodyPart = 0;
};

struct SPlayerListEntry
{
    uint8_t bySlot = 0;
    int32_t nScore = 0;
    uint32_t uiPing = 0;
    bool bHasAddress = false;
    uint32_t uiAddress = 0; // only sent to administrators
};

struct SPlayerList // 196
{
    uint8_t byCount = 0;
    bool bAdmin = false;
    std::vector<SPlayerListEntry> entries;
};

struct SOnFootRelay // 147
{
    uint8_t bySlot = 0;
    wire::SOnFootRecord onFoot = {};
};

struct SAimRelay // 148
{
    uint8_t bySlot = 0;
    wire::SOnFootRecord onFoot = {};
    wire::SAimRecord aim = {};
};

struct SDriverRelay // 149
{
    uint8_t bySlot = 0;
    wire::SDriverRecord driver = {};
    wire::SVehicleRecord vehicle = {};
};

struct SPassengerRelay // 150
{
    uint8_t bySlot = 0;
    wire::SPassengerRecord passenger = {};
};

struct SPlayerBytes // 168 (a, b), 167 (a, b), 164 (a, b, c)
{
    uint32_t uiPlayerId = 0;
    uint8_t byA = 0, byB = 0, byC = 0;
};

struct SValueRelay // 169
{
    uint32_t uiPlayerId = 0;
    uint32_t uiValue = 0;
    uint8_t byA = 0, byB = 0;
};

struct SAreaEffect // 198
{
    uint32_t uiPlayerId = 0;
    uint8_t byWeapon = 0;
    wire::SWireVector vOrigin = {};
    wire::SWireVector vSecond = {};
};

struct SProjectile // 199
{
    uint32_t uiPlayerId = 0;
    uint8_t byWeapon = 0;
    uint16_t usKey = 0;
    wire::SWireVector vOrigin = {};
    wire::SWireVector vSecond = {};
    wire::SWireQuaternion qRotation = {};
};

struct SChatRelay // 204, 205
{
    uint32_t uiPlayerId = 0;
    bool bMarker = false;
    std::string strText;
};

struct SSequencedValue // 179 health, 180 armour, 189 reset weapons (value unused)
{
    uint32_t uiSequence = 0;
    uint8_t byValue = 0;
};

struct SGiveWeapon // 191; 192 uses sequence and weapon only
{
    uint32_t uiSequence = 0;
    uint8_t byWeapon = 0;
    uint16_t usAmmo = 0;
    uint8_t byArmed = 0;
};

struct SFlags // 193
{
    uint16_t usFlags = 0;
    uint8_t byClientFlags2 = 0;
};

struct SSlotValue // 158, 159 (byte), 160 (colour), 161 (byte + parameter), 166 (flags)
{
    uint8_t bySlot = 0;
    uint32_t uiValue = 0;
    uint16_t usParameter = 0;
};

struct SScore // 165
{
    uint32_t uiPlayerId = 0;
    int32_t nScore = 0;
};

struct SSpawnDescription // 156
{
    uint32_t uiPlayerId = 0;
    uint8_t byClassByteA = 0;
    uint8_t byClassByteB = 0;
    uint8_t byExtraState = 0;
    wire::SWireVector vPosition = {};
    float fAngle = 0;
    uint16_t usVehicleId = 0;
    uint8_t bySeat = 0;
    uint16_t usVisibleFlags = 0;
};

struct SExplosion // 200
{
    uint8_t byType = 0;
    float fX = 0, fY = 0, fZ = 0;
    uint32_t uiCausePlayerId = 0;
    uint8_t byExtra = 0;
    uint16_t usVehicleId = 0;
};

struct SCamera // 194
{
    wire::SWireVector vPosition = {};
    wire::SWireVector vLookAt = {};
};

// Session and world state.
bool DecodeServerInfo(const SReceived& msg, SServerInfo& out);
bool DecodeJoinRefusal(const SReceived& msg, uint8_t& byCode);
bool DecodeChatLine(const SReceived& msg, STextMessage& out);
bool DecodeGameMessage(const SReceived& msg, STextMessage& out);
bool DecodeKicked(const SReceived& msg, uint8_t& byValue); // 0 kicked, 1 banned
bool DecodeWorldOptions(const SReceived& msg, wire::SWorldOptionsBlock& out);
bool DecodeTimeState(const SReceived& msg, wire::STimeStateBlock& out);
bool DecodeDeathSettings(const SReceived& msg, wire::SDeathSettingsBlock& out);
bool DecodeServerName(const SReceived& msg, std::string& strName);

// Players.
bool DecodeJoinNotice(const SReceived& msg, SJoinNotice& out);
bool DecodeLeaveNotice(const SReceived& msg, SLeaveNotice& out);
bool DecodeNameChange(const SReceived& msg, SNameChange& out);
bool DecodeDeathNotice(const SReceived& msg, SDeathNotice& out);
bool DecodePlayerId(const SReceived& msg, uint32_t& uiPlayerId); // 157, 176
bool DecodePlayerList(const SReceived& msg, SPlayerList& out);
bool DecodeFarList(const SReceived& msg, std::vector<wire::SFarEntry>& out);
bool DecodeChatRelay(const SReceived& msg, SChatRelay& out);

// Sync relays.
bool DecodeOnFootRelay(const SReceived& msg, SOnFootRelay& out);
bool DecodeAimRelay(const SReceived& msg, SAimRelay& out);
bool DecodeDriverRelay(const SReceived& msg, SDriverRelay& out);
bool DecodePassengerRelay(const SReceived& msg, SPassengerRelay& out);
bool DecodeTwoByteRelay(const SReceived& msg, SPlayerBytes& out);   // 168, 167
bool DecodeThreeByteRelay(const SReceived& msg, SPlayerBytes& out); // 164
bool DecodeValueRelay(const SReceived& msg, SValueRelay& out);      // 169
bool DecodeAreaEffect(const SReceived& msg, SAreaEffect& out);
bool DecodeProjectile(const SReceived& msg, SProjectile& out);

// Player state changes.
bool DecodeSequencedValue(const SReceived& msg, SSequencedValue& out); // 179, 180
bool DecodeResetWeapons(const SReceived& msg, uint32_t& uiSequence);   // 189
bool DecodeGiveWeapon(const SReceived& msg, SGiveWeapon& out);         // 191
bool DecodeRemoveWeapon(const SReceived& msg, SGiveWeapon& out);       // 192
bool DecodeFlags(const SReceived& msg, SFlags& out);                   // 193
bool DecodeVector(const SReceived& msg, wire::SWireVector& out);       // 184, 185, 186
bool DecodeFloat(const SReceived& msg, float& f);                      // 187
bool DecodeInt32(const SReceived& msg, int32_t& n);                    // 183
bool DecodeByte(const SReceived& msg, uint8_t& by);                    // 188, 190
bool DecodeSlotByte(const SReceived& msg, SSlotValue& out);            // 158, 159
bool DecodeColour(const SReceived& msg, SSlotValue& out);              // 160
bool DecodeExtraState(const SReceived& msg, SSlotValue& out);          // 161
bool DecodeFlagBroadcast(const SReceived& msg, SSlotValue& out);       // 166
bool DecodeScore(const SReceived& msg, SScore& out);                   // 165
bool DecodeSpawnDescription(const SReceived& msg, SSpawnDescription& out);
bool DecodeCamera(const SReceived& msg, SCamera& out);
bool DecodeExplosion(const SReceived& msg, SExplosion& out);

} // namespace testclient
