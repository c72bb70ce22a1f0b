#pragma once

#include <cstdint>

class CPlayer;
struct Vector;

// Writers of the server's messages about players. Each message is laid out in
// exactly one function here; its priority and reliability come from one table
// in PlayerMessages.cpp. Every writer does nothing before the network exists.

enum EKickedNotice : uint8_t
{
    KICKED_NOTICE_KICKED = 0,
    KICKED_NOTICE_BANNED = 1,
};

// Server-to-client identifiers of the player messages.
enum : uint8_t
{
    ID_JOIN_NOTICE = 152,
    ID_LEAVE_NOTICE = 153,
    ID_NAME_CHANGE = 154,
    ID_DEATH_NOTICE = 155,
    ID_SPAWN_DESCRIPTION = 156,
    ID_STREAM_OUT_NOTICE = 157,
    ID_CLASS_BYTE_B = 158,
    ID_CLASS_BYTE_A = 159,
    ID_COLOUR = 160,
    ID_EXTRA_STATE = 161,
    ID_SCORE = 165,
    ID_FLAG_BROADCAST = 166,
    ID_PAIR_RELAY = 167,
    ID_SERVER_INFO = 174,
    ID_SPECTATE_NOTICE = 176,
    ID_LIFECYCLE_REPLY = 177,
    ID_KICKED_NOTICE = 178,
    ID_HEALTH = 179,
    ID_ARMOUR = 180,
    ID_PERMIT_SPAWN = 181,
    ID_FORCE_CLASS_SELECTION = 182,
    ID_MONEY = 183,
    ID_POSITION = 184,
    ID_SPEED = 185,
    ID_ADD_SPEED = 186,
    ID_ANGLE = 187,
    ID_SETTABLE_BYTE = 188,
    ID_RESET_WEAPONS = 189,
    ID_SELECT_WEAPON_SLOT = 190,
    ID_GIVE_WEAPON = 191,
    ID_REMOVE_WEAPON = 192,
    ID_FLAGS = 193,
    ID_CAMERA = 194,
    ID_RESTORE_CAMERA = 195,
    ID_PLAYER_LIST = 196,
    ID_FAR_PLAYER_LIST = 197,
    ID_EXPLOSION = 200,
    ID_POSITIONAL_EFFECT = 201,
    ID_CHAT_LINE = 202,
    ID_GAME_MESSAGE = 203,
    ID_TEXT_BLOCK = 255,
};

// Message 178 to one slot: 0 kicked, 1 banned.
void SendKickedNotice(int nSlot, uint8_t byValue);

// Message 202 (chat line) and 203 (on-screen message) to one slot, or to
// every connection with -1.
void SendChatLine(int nSlot, uint32_t uiColour, const char* szText);
void SendGameMessage(int nSlot, uint32_t uiType, const char* szText);

// Session: the server information (174, with the store file list; returns the
// number of files offered), join notice of pSubject (152) to nToSlot or, with
// -1, to every connection but the subject's, leave notice (153), name change
// (154), death notice (155), spectate notice (176: the target's player id, or
// 0xFFFFFFFF for none), the player list (196) and the far-player list (197).
int SendServerInfo(const CPlayer* pPlayer);
void SendJoinNotice(const CPlayer* pSubject, int nToSlot);
void SendLeaveNotice(const CPlayer* pSubject);
void SendNameChange(const CPlayer* pSubject);
void SendDeathNotice(const CPlayer* pSubject, uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart);
void SendSpectateNotice(const CPlayer* pPlayer, uint32_t uiTargetId);
void SendPlayerList(const CPlayer* pRequester);

// One far-player entry: the slot and the position scaled by 10.
struct SFarPlayerEntry
{
    uint8_t bySlot;
    int16_t sX;
    int16_t sY;
    int16_t sZ;
};
void SendFarPlayerList(const CPlayer* pPlayer, const SFarPlayerEntry* pEntries, int nCount);

// Messages without payload to the player: 177 (class and spawn replies), 181
// (permit spawn), 182 (force class selection), 195 (restore camera).
void SendPlayerSignal(const CPlayer* pPlayer, uint8_t byId);

// State changes to the player alone.
void SendSequencedByte(const CPlayer* pPlayer, uint8_t byId, uint32_t uiSequence, uint8_t byValue);
void SendMoney(const CPlayer* pPlayer);
void SendVectorMessage(const CPlayer* pPlayer, uint8_t byId, const Vector& vValue);
void SendAngle(const CPlayer* pPlayer);
void SendByteMessage(const CPlayer* pPlayer, uint8_t byId, uint8_t byValue);
void SendResetWeapons(const CPlayer* pPlayer, uint32_t uiSequence);
void SendGiveWeapon(const CPlayer* pPlayer, uint32_t uiSequence, uint8_t byWeapon, uint16_t usAmmo,
                    bool bArmed);
void SendRemoveWeapon(const CPlayer* pPlayer, uint32_t uiSequence, uint8_t byWeapon);
void SendFlags(const CPlayer* pPlayer);
void SendCamera(const CPlayer* pPlayer, const Vector& vPosition, const Vector& vLookAt);

// State others must see: to every player that streams the subject, then to
// the subject (158, 159, 161, 167), or to everybody (160, 165); the visible
// flag bits (166) to the streaming players only.
void SendClassByte(const CPlayer* pSubject, uint8_t byId, uint8_t byValue);
void SendExtraState(const CPlayer* pSubject, uint16_t usParameter);
void SendPairRelay(const CPlayer* pSubject, uint8_t byA, uint8_t byB);
void SendColour(const CPlayer* pSubject);
void SendScore(const CPlayer* pSubject);
void SendFlagBroadcast(const CPlayer* pSubject);

// World effects to one player: an explosion (200; uiCauseId 0xFFFFFFFF for no
// causing player) and a positional effect (201).
void SendExplosion(const CPlayer* pTo, uint8_t byType, const Vector& vPosition, uint32_t uiCauseId,
                   uint8_t byExtra, uint16_t usVehicleId);
void SendPositionalEffect(const CPlayer* pTo, uint16_t usEffect, const Vector& vPosition);

// Text block (255) to one slot, or to every player in the pool with -1.
// False, and nothing sent, when szText1 is null.
bool SendTextBlock(int nSlot, const char* szText1, uint16_t usNumber, const char* szText2,
                   const char* szText3, const char* szText4);
