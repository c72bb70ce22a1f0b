#pragma once

// The fixed records and constants of the game protocol, as a client sees them.
// Self-contained on purpose: the server's tests include it next to the server's
// own headers, so it pulls in nothing but <cstdint> and keeps to namespace wire.
//
// Records are laid out in memory order (little-endian fields, no padding). On
// the wire each record travels as one block with all of its bytes reversed,
// which is what the bit stream's templated Write/Read does to any object on a
// little-endian host.

#include <cstdint>

namespace wire
{

constexpr uint32_t kProtocolMagic = 0x04E6F218u;
constexpr uint32_t kProtocolVersion = 66100u;

// Query datagrams: the request magic, and the magic that replaces it in replies.
constexpr char kQueryMagic[4] = {'O', 'R', 'V', 'N'};
constexpr char kQueryReplyMagic[4] = {'R', 'V', '0', '4'};

// First byte of a two-byte identifier is 133 + (id >> 8), so 134..144 for 256..2815.
constexpr int kTwoByteIdBase = 133;
constexpr int kTwoByteIdFirst = 134;
constexpr int kTwoByteIdLast = 144;

// Identifiers a client sends.
enum EClientMessage : int
{
    CL_ONFOOT_SYNC = 147,
    CL_AIM_SYNC = 148,
    CL_DRIVER_SYNC = 149,
    CL_PASSENGER_SYNC = 150,
    CL_UNOCCUPIED_SYNC = 151,
    CL_JOIN_REQUEST = 152,
    CL_QUIT = 153,
    CL_CLIENT_TEXT = 155,
    CL_TOGGLE_ON = 156,
    CL_TOGGLE_OFF = 157,
    CL_PLAYER_LIST_REQUEST = 158,
    CL_ADMIN_LOGIN = 159,
    CL_ADMIN_KICK = 160,
    CL_ADMIN_BAN = 161,
    CL_CHAT = 162,
    CL_PRIVATE_MESSAGE = 163,
    CL_COMMAND = 164,
    CL_REQUEST_CLASS = 165,
    CL_REQUEST_SPAWN = 166,
    CL_SPAWNED = 167,
    CL_DEATH_REPORT = 168,
    CL_PLAYER_RELAY_A = 169,
    CL_PLAYER_RELAY_B = 170,
    CL_REQUEST_ENTER_VEHICLE = 171,
    CL_ENTRY_LOCK_RELEASE = 172,
    CL_PLAYER_RELAY_C = 173,
    CL_AREA_EFFECT = 174,
    CL_PROJECTILE_LAUNCH = 175,
    CL_PROJECTILE_IMPACT = 176,
    CL_WEAPON_LOST = 177,
    CL_PICKUP_CLAIM = 178,
    CL_VEHICLE_REPORT_A = 179,
    CL_VEHICLE_REPORT_B = 180,
    CL_VEHICLE_REPORT_C = 181,
    CL_OBJECT_SHOT = 182,
    CL_OBJECT_TOUCHED = 183,
    CL_KEY_BIND = 184,
    CL_STORE_FILE_REQUEST = 185,
    CL_CLIENT_VALUE = 186,
};

// Identifiers the server sends; the same number may mean something else in the
// other direction.
enum EServerMessage : int
{
    SV_ONFOOT_RELAY = 147,
    SV_AIM_RELAY = 148,
    SV_DRIVER_RELAY = 149,
    SV_PASSENGER_RELAY = 150,
    SV_UNOCCUPIED_RELAY = 151,
    SV_JOIN_NOTICE = 152,
    SV_LEAVE_NOTICE = 153,
    SV_NAME_CHANGE = 154,
    SV_DEATH_NOTICE = 155,
    SV_SPAWN_DESCRIPTION = 156,
    SV_STREAM_OUT = 157,
    SV_CLASS_BYTE_B = 158,
    SV_CLASS_BYTE_A = 159,
    SV_COLOUR = 160,
    SV_EXTRA_STATE = 161,
    SV_THREE_BYTE_RELAY = 164,
    SV_SCORE = 165,
    SV_FLAG_BROADCAST = 166,
    SV_PAIR_RELAY = 167,
    SV_TWO_BYTE_RELAY = 168,
    SV_VALUE_RELAY = 169,
    SV_WORLD_OPTIONS = 170,
    SV_TIME_STATE = 171,
    SV_DEATH_SETTINGS = 172,
    SV_SERVER_NAME = 173,
    SV_SERVER_INFO = 174,
    SV_JOIN_REFUSAL = 175,
    SV_SPECTATE = 176,
    SV_CLASS_REPLY = 177,
    SV_KICKED = 178,
    SV_HEALTH = 179,
    SV_ARMOUR = 180,
    SV_PERMIT_SPAWN = 181,
    SV_FORCE_CLASS_SELECTION = 182,
    SV_MONEY = 183,
    SV_POSITION = 184,
    SV_SPEED = 185,
    SV_ADD_SPEED = 186,
    SV_ANGLE = 187,
    SV_SETTABLE_BYTE = 188,
    SV_RESET_WEAPONS = 189,
    SV_SELECT_WEAPON_SLOT = 190,
    SV_GIVE_WEAPON = 191,
    SV_REMOVE_WEAPON = 192,
    SV_FLAGS = 193,
    SV_CAMERA = 194,
    SV_RESTORE_CAMERA = 195,
    SV_PLAYER_LIST = 196,
    SV_FAR_LIST = 197,
    SV_AREA_EFFECT = 198,
    SV_PROJECTILE = 199,
    SV_EXPLOSION = 200,
    SV_POSITIONAL_EFFECT = 201,
    SV_CHAT_LINE = 202,
    SV_GAME_MESSAGE = 203,
    SV_CHAT_RELAY = 204,
    SV_PRIVATE_MESSAGE_RELAY = 205,
    SV_TEXT_BLOCK = 255,
};

// Refusal codes carried by SV_JOIN_REFUSAL.
enum EJoinRefusal : uint8_t
{
    REFUSE_WRONG_MAGIC = 1,
    REFUSE_VERSION_OLDER = 2,
    REFUSE_VERSION_NEWER = 3,
    REFUSE_BAD_NAME = 4,
    REFUSE_NAME_IN_USE = 5,
    REFUSE_NO_SLOT = 6,
    REFUSE_PLUGIN = 7,
    REFUSE_NO_UNIQUE_ID = 8,
};

#pragma pack(push, 1)

struct SWireVector
{
    float x;
    float y;
    float z;
};

struct SWireQuaternion
{
    float x;
    float y;
    float z;
    float w;
};

struct SOnFootRecord
{
    SWireVector vPosition; // or the offset from the surface stood on
    float fAngle;
    SWireVector vSpeed;
    uint16_t usKeys;
    uint16_t usSurfaceId; // 1..1000 vehicle, 1001..4000 object index + 1001, 0 none
    uint16_t usAmmo;
    uint8_t byHealth;
    uint8_t byArmour;
    uint8_t bySyncCode;
    uint8_t byByte37;
    uint8_t byWeapon;
    uint8_t bySyncFlags;
};

struct SAimRecord
{
    SWireVector vAim1;
    SWireVector vAim2;
};

struct SDriverRecord
{
    uint16_t usKeys;
    uint16_t usVehicleId;
    uint16_t usAmmo;
    uint8_t byHealth;
    uint8_t byArmour;
    uint8_t byWeapon;
};

struct SPassengerRecord
{
    uint16_t usVehicleId;
    uint8_t byHealth;
    uint8_t byArmour;
    uint8_t bySeat; // 1..8
};

// Follows the driver record in driver sync, and is the unoccupied sync record.
struct SVehicleRecord
{
    SWireVector vPosition;
    SWireVector vSpeed;
    SWireQuaternion qRotation;
    uint32_t uiDamage;
    float fHealth;
    uint8_t byFlag;
    uint16_t usSyncWord;
};

// One entry of the far-player list; coordinates are position * 10, truncated.
struct SFarEntry
{
    uint8_t bySlot;
    int16_t sX;
    int16_t sY;
    int16_t sZ;
};

struct SWorldOptionsBlock
{
    uint32_t uiWorldOptions;
    float fGravity;
    float fGameSpeed;
    float fWaterLevel;
    float fMaxHeight;
    uint8_t byWorldOptionByte;
};

struct STimeStateBlock
{
    uint8_t byWeather;
    uint8_t byHour;
    uint8_t byMinute;
    uint16_t usTimeRate;
};

struct SDeathSettingsBlock
{
    int32_t nValue1;
    int32_t nValue2;
    float fValue3;
    float fValue4;
    uint32_t uiColour;
    int32_t nValue6;
    int32_t nValue7;
};

#pragma pack(pop)

static_assert(sizeof(SWireVector) == 12, "vector block is 12 bytes");
static_assert(sizeof(SWireQuaternion) == 16, "quaternion block is 16 bytes");
static_assert(sizeof(SOnFootRecord) == 40, "on-foot record is 40 bytes");
static_assert(sizeof(SAimRecord) == 24, "aim record is 24 bytes");
static_assert(sizeof(SDriverRecord) == 9, "driver record is 9 bytes");
static_assert(sizeof(SPassengerRecord) == 5, "passenger record is 5 bytes");
static_assert(sizeof(SVehicleRecord) == 51, "vehicle record is 51 bytes");
static_assert(sizeof(SFarEntry) == 7, "far-list entry is 7 bytes");
static_assert(sizeof(SWorldOptionsBlock) == 21, "world options block is 21 bytes");
static_assert(sizeof(STimeStateBlock) == 5, "time state block is 5 bytes");
static_assert(sizeof(SDeathSettingsBlock) == 28, "death settings block is 28 bytes");

} // namespace wire
