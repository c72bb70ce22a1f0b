#include "players/PlayerMessages.h"

#include <cstring>

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "net/StoreFileList.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerStream.h"
#include "world/CStreamer.h"

namespace
{
// How each player message travels. Everything goes on channel 0; everything
// is high priority except the text block.
struct SMessageRule
{
    uint8_t byId;
    uint8_t byReliability;
    uint8_t byPriority;
};

constexpr uint8_t RO = NET_RELIABLE_ORDERED;
constexpr uint8_t R = NET_RELIABLE;
constexpr uint8_t U = NET_UNRELIABLE;
constexpr uint8_t HIGH = NET_HIGH_PRIORITY;

const SMessageRule g_aRules[] = {
    {ID_JOIN_NOTICE, RO, HIGH},
    {ID_LEAVE_NOTICE, RO, HIGH},
    {ID_NAME_CHANGE, R, HIGH},
    {ID_DEATH_NOTICE, RO, HIGH},
    {ID_SPAWN_DESCRIPTION, RO, HIGH},
    {ID_STREAM_OUT_NOTICE, RO, HIGH},
    {ID_CLASS_BYTE_B, R, HIGH},
    {ID_CLASS_BYTE_A, R, HIGH},
    {ID_COLOUR, R, HIGH},
    {ID_EXTRA_STATE, R, HIGH},
    {ID_SCORE, R, HIGH},
    {ID_FLAG_BROADCAST, RO, HIGH},
    {ID_PAIR_RELAY, RO, HIGH},
    {ID_SERVER_INFO, RO, HIGH},
    {ID_SPECTATE_NOTICE, R, HIGH},
    {ID_LIFECYCLE_REPLY, R, HIGH},
    {ID_KICKED_NOTICE, RO, HIGH},
    {ID_HEALTH, RO, HIGH},
    {ID_ARMOUR, RO, HIGH},
    {ID_PERMIT_SPAWN, RO, HIGH},
    {ID_FORCE_CLASS_SELECTION, RO, HIGH},
    {ID_MONEY, R, HIGH},
    {ID_POSITION, R, HIGH},
    {ID_SPEED, R, HIGH},
    {ID_ADD_SPEED, R, HIGH},
    {ID_ANGLE, R, HIGH},
    {ID_SETTABLE_BYTE, R, HIGH},
    {ID_RESET_WEAPONS, RO, HIGH},
    {ID_SELECT_WEAPON_SLOT, R, HIGH},
    {ID_GIVE_WEAPON, RO, HIGH},
    {ID_REMOVE_WEAPON, RO, HIGH},
    {ID_FLAGS, RO, HIGH},
    {ID_CAMERA, RO, HIGH},
    {ID_RESTORE_CAMERA, RO, HIGH},
    {ID_PLAYER_LIST, R, HIGH},
    {ID_FAR_PLAYER_LIST, U, HIGH},
    {ID_EXPLOSION, R, HIGH},
    {ID_POSITIONAL_EFFECT, R, HIGH},
    {ID_CHAT_LINE, R, HIGH},
    {ID_GAME_MESSAGE, R, HIGH},
    {ID_TEXT_BLOCK, RO, NET_LOW_PRIORITY},
};

const SMessageRule& RuleOf(uint8_t byId)
{
    for (const SMessageRule& rule : g_aRules)
    {
        if (rule.byId == byId)
            return rule;
    }
    static const SMessageRule fallback = {0, RO, HIGH};
    return fallback;
}

CNetwork* Network()
{
    return g_pServer ? g_pServer->m_pNetwork : nullptr;
}

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

// A message being written; the constructor writes its identifier.
class CMessage
{
public:
    explicit CMessage(uint8_t byId) : m_byId(byId) { CNetwork::WriteMessageId(m_Stream, byId); }

    RakNet::BitStream& Stream() { return m_Stream; }

    // nSlot -1 means every connection.
    void To(int nSlot) const
    {
        const SMessageRule& rule = RuleOf(m_byId);
        if (CNetwork* pNetwork = Network())
            pNetwork->SendToPlayer(nSlot, m_Stream, rule.byPriority, rule.byReliability, 0);
    }
    void ToAllExcept(int nSlot) const
    {
        const SMessageRule& rule = RuleOf(m_byId);
        if (CNetwork* pNetwork = Network())
            pNetwork->SendToAllExcept(nSlot, m_Stream, rule.byPriority, rule.byReliability, 0);
    }
    // Every player that has the subject streamed in.
    void ToObservers(const CPlayer* pSubject) const
    {
        CStreamer* pStreamer = Streamer();
        if (!pStreamer)
            return;
        pStreamer->ForEachObserverOfPlayer(const_cast<CPlayer*>(pSubject),
                                           [this](CPlayer* pObserver, CPlayer*)
                                           { To(pObserver->GetSlot()); });
    }
    void ToObserversThenSubject(const CPlayer* pSubject) const
    {
        ToObservers(pSubject);
        To(pSubject->GetSlot());
    }

private:
    uint8_t m_byId;
    RakNet::BitStream m_Stream;
};

// Texts travel as a length and the bytes, no terminator; a text that its
// length field cannot count is cut so that length and bytes always agree.
void WriteText8(RakNet::BitStream& stream, const char* szText)
{
    size_t nLength = szText ? strnlen(szText, 255) : 0;
    stream.Write(static_cast<uint8_t>(nLength));
    if (nLength > 0)
        stream.Write(szText, static_cast<unsigned int>(nLength));
}

void WriteText32(RakNet::BitStream& stream, const char* szText)
{
    uint32_t uiLength = szText ? static_cast<uint32_t>(strlen(szText)) : 0;
    stream.Write(uiLength);
    if (uiLength > 0)
        stream.Write(szText, uiLength);
}

CPlayerPool* Pool()
{
    return g_pServer ? g_pServer->m_pPlayerPool : nullptr;
}
} // namespace

void SendKickedNotice(int nSlot, uint8_t byValue)
{
    CMessage message(ID_KICKED_NOTICE);
    message.Stream().Write(byValue);
    message.To(nSlot);
}

void SendChatLine(int nSlot, uint32_t uiColour, const char* szText)
{
    CMessage message(ID_CHAT_LINE);
    message.Stream().Write(uiColour);
    WriteText32(message.Stream(), szText);
    message.To(nSlot);
}

void SendGameMessage(int nSlot, uint32_t uiType, const char* szText)
{
    CMessage message(ID_GAME_MESSAGE);
    message.Stream().Write(uiType);
    WriteText32(message.Stream(), szText);
    message.To(nSlot);
}

int SendServerInfo(const CPlayer* pPlayer)
{
    CMessage message(ID_SERVER_INFO);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pPlayer->GetPlayerId());
    const float* afBounds = g_pServer ? g_pServer->m_afWorldBounds : nullptr;
    for (int i = 0; i < 4; ++i)
        stream.Write(afBounds ? afBounds[i] : 0.0f);
    WriteText8(stream, g_pServer ? g_pServer->m_szServerName : "");
    WriteText8(stream, pPlayer->GetName());
    int nFiles = WriteStoreFileList(stream);
    message.To(pPlayer->GetSlot());
    return nFiles;
}

void SendJoinNotice(const CPlayer* pSubject, int nToSlot)
{
    CMessage message(ID_JOIN_NOTICE);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pSubject->GetPlayerId());
    stream.Write(pSubject->m_uiColour);
    stream.Write(pSubject->m_usFlags);
    WriteText8(stream, pSubject->GetName());
    if (nToSlot < 0)
        message.ToAllExcept(pSubject->GetSlot());
    else
        message.To(nToSlot);
}

void SendLeaveNotice(const CPlayer* pSubject)
{
    CMessage message(ID_LEAVE_NOTICE);
    message.Stream().Write(pSubject->GetPlayerId());
    message.Stream().Write(pSubject->GetDisconnectReason());
    message.ToAllExcept(pSubject->GetSlot());
}

void SendNameChange(const CPlayer* pSubject)
{
    CMessage message(ID_NAME_CHANGE);
    message.Stream().Write(pSubject->GetPlayerId());
    WriteText8(message.Stream(), pSubject->GetName());
    message.To(-1);
}

void SendDeathNotice(const CPlayer* pSubject, uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart)
{
    CMessage message(ID_DEATH_NOTICE);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pSubject->GetPlayerId());
    stream.Write(byReason);
    stream.Write(byKillerSlot);
    stream.Write(byBodyPart);
    message.To(-1);
}

void SendSpectateNotice(const CPlayer* pPlayer, uint32_t uiTargetId)
{
    CMessage message(ID_SPECTATE_NOTICE);
    message.Stream().Write(uiTargetId);
    message.To(pPlayer->GetSlot());
}

// Addresses go to administrators only.
void SendPlayerList(const CPlayer* pRequester)
{
    CPlayerPool* pPool = Pool();
    CNetwork* pNetwork = Network();
    if (!pPool || !pNetwork)
        return;
    const bool bAdmin = pRequester->IsAdmin();
    CMessage message(ID_PLAYER_LIST);
    RakNet::BitStream& stream = message.Stream();
    // Counted from the slots, so the count always matches the entries.
    uint8_t byCount = 0;
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
        byCount += pPool->Get(nSlot) ? 1 : 0;
    stream.Write(byCount);
    stream.Write(static_cast<uint8_t>(bAdmin ? 1 : 0));
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        const CPlayer* pPlayer = pPool->Get(nSlot);
        if (!pPlayer)
            continue;
        stream.Write(static_cast<uint8_t>(nSlot));
        stream.Write(static_cast<int32_t>(pPlayer->m_nScore));
        stream.Write(static_cast<uint32_t>(pNetwork->GetPing(nSlot)));
        if (bAdmin)
            stream.Write(pNetwork->GetAddressBinary(nSlot));
    }
    message.To(pRequester->GetSlot());
}

// Each entry is one 7-byte block, reversed as a whole on the wire.
void SendFarPlayerList(const CPlayer* pPlayer, const SFarPlayerEntry* pEntries, int nCount)
{
#pragma pack(push, 1)
    struct SFarBlock
    {
        uint8_t bySlot;
        int16_t sX, sY, sZ;
    };
#pragma pack(pop)
    static_assert(sizeof(SFarBlock) == 7, "far-player entry is 7 bytes");
    CMessage message(ID_FAR_PLAYER_LIST);
    message.Stream().Write(static_cast<uint8_t>(nCount));
    for (int i = 0; i < nCount; ++i)
    {
        SFarBlock block = {pEntries[i].bySlot, pEntries[i].sX, pEntries[i].sY, pEntries[i].sZ};
        message.Stream().Write(block);
    }
    message.To(pPlayer->GetSlot());
}

void SendPlayerSignal(const CPlayer* pPlayer, uint8_t byId)
{
    CMessage message(byId);
    message.To(pPlayer->GetSlot());
}

void SendSequencedByte(const CPlayer* pPlayer, uint8_t byId, uint32_t uiSequence, uint8_t byValue)
{
    CMessage message(byId);
    message.Stream().Write(uiSequence);
    message.Stream().Write(byValue);
    message.To(pPlayer->GetSlot());
}

void SendMoney(const CPlayer* pPlayer)
{
    CMessage message(ID_MONEY);
    message.Stream().Write(static_cast<int32_t>(pPlayer->m_nMoney));
    message.To(pPlayer->GetSlot());
}

void SendVectorMessage(const CPlayer* pPlayer, uint8_t byId, const Vector& vValue)
{
    CMessage message(byId);
    message.Stream().Write(vValue);
    message.To(pPlayer->GetSlot());
}

void SendAngle(const CPlayer* pPlayer)
{
    CMessage message(ID_ANGLE);
    message.Stream().Write(pPlayer->m_fAngle);
    message.To(pPlayer->GetSlot());
}

void SendByteMessage(const CPlayer* pPlayer, uint8_t byId, uint8_t byValue)
{
    CMessage message(byId);
    message.Stream().Write(byValue);
    message.To(pPlayer->GetSlot());
}

void SendResetWeapons(const CPlayer* pPlayer, uint32_t uiSequence)
{
    CMessage message(ID_RESET_WEAPONS);
    message.Stream().Write(uiSequence);
    message.To(pPlayer->GetSlot());
}

void SendGiveWeapon(const CPlayer* pPlayer, uint32_t uiSequence, uint8_t byWeapon, uint16_t usAmmo,
                    bool bArmed)
{
    CMessage message(ID_GIVE_WEAPON);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(uiSequence);
    stream.Write(byWeapon);
    stream.Write(usAmmo);
    stream.Write(static_cast<uint8_t>(bArmed ? 1 : 0));
    message.To(pPlayer->GetSlot());
}

void SendRemoveWeapon(const CPlayer* pPlayer, uint32_t uiSequence, uint8_t byWeapon)
{
    CMessage message(ID_REMOVE_WEAPON);
    message.Stream().Write(uiSequence);
    message.Stream().Write(byWeapon);
    message.To(pPlayer->GetSlot());
}

void SendFlags(const CPlayer* pPlayer)
{
    CMessage message(ID_FLAGS);
    message.Stream().Write(pPlayer->m_usFlags);
    message.Stream().Write(pPlayer->m_byClientFlags2);
    message.To(pPlayer->GetSlot());
}

void SendCamera(const CPlayer* pPlayer, const Vector& vPosition, const Vector& vLookAt)
{
    CMessage message(ID_CAMERA);
    message.Stream().Write(vPosition);
    message.Stream().Write(vLookAt);
    message.To(pPlayer->GetSlot());
}

void SendClassByte(const CPlayer* pSubject, uint8_t byId, uint8_t byValue)
{
    CMessage message(byId);
    message.Stream().Write(pSubject->GetSlot());
    message.Stream().Write(byValue);
    message.ToObserversThenSubject(pSubject);
}

void SendExtraState(const CPlayer* pSubject, uint16_t usParameter)
{
    CMessage message(ID_EXTRA_STATE);
    message.Stream().Write(pSubject->GetSlot());
    message.Stream().Write(pSubject->m_byExtraState);
    message.Stream().Write(usParameter);
    message.ToObserversThenSubject(pSubject);
}

void SendPairRelay(const CPlayer* pSubject, uint8_t byA, uint8_t byB)
{
    CMessage message(ID_PAIR_RELAY);
    message.Stream().Write(pSubject->GetPlayerId());
    message.Stream().Write(byA);
    message.Stream().Write(byB);
    message.ToObserversThenSubject(pSubject);
}

void SendColour(const CPlayer* pSubject)
{
    CMessage message(ID_COLOUR);
    message.Stream().Write(pSubject->GetSlot());
    message.Stream().Write(pSubject->m_uiColour);
    message.To(-1);
}

void SendScore(const CPlayer* pSubject)
{
    CMessage message(ID_SCORE);
    message.Stream().Write(pSubject->GetPlayerId());
    message.Stream().Write(static_cast<int32_t>(pSubject->m_nScore));
    message.To(-1);
}

void SendFlagBroadcast(const CPlayer* pSubject)
{
    CMessage message(ID_FLAG_BROADCAST);
    message.Stream().Write(pSubject->GetSlot());
    message.Stream().Write(static_cast<uint16_t>(pSubject->m_usFlags & PLAYER_FLAG_VISIBLE_MASK));
    message.ToObservers(pSubject);
}

void SendPlayerStreamIn(CPlayer* pSubject, CPlayer* pObserver)
{
    if (!pSubject || !pObserver)
        return;
    CMessage message(ID_SPAWN_DESCRIPTION);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(pSubject->GetPlayerId());
    stream.Write(pSubject->m_byClassByteA);
    stream.Write(pSubject->m_byClassByteB);
    stream.Write(pSubject->m_byExtraState);
    stream.Write(pSubject->m_vPosition);
    stream.Write(pSubject->m_fAngle);
    stream.Write(pSubject->m_usVehicleId);
    const uint8_t bySeat = pSubject->m_byPassengerSeat == 255 ? 0 : pSubject->m_byPassengerSeat + 1;
    stream.Write(bySeat);
    stream.Write(static_cast<uint16_t>(pSubject->m_usFlags & PLAYER_FLAG_VISIBLE_MASK));
    message.To(pObserver->GetSlot());
}

void SendPlayerStreamOut(CPlayer* pSubject, CPlayer* pObserver)
{
    if (!pSubject || !pObserver)
        return;
    CMessage message(ID_STREAM_OUT_NOTICE);
    message.Stream().Write(pSubject->GetPlayerId());
    message.To(pObserver->GetSlot());
}

// Coordinates go one by one here, not as a vector block.
void SendExplosion(const CPlayer* pTo, uint8_t byType, const Vector& vPosition, uint32_t uiCauseId,
                   uint8_t byExtra, uint16_t usVehicleId)
{
    CMessage message(ID_EXPLOSION);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(byType);
    stream.Write(vPosition.x);
    stream.Write(vPosition.y);
    stream.Write(vPosition.z);
    stream.Write(uiCauseId);
    stream.Write(byExtra);
    stream.Write(usVehicleId);
    message.To(pTo->GetSlot());
}

void SendPositionalEffect(const CPlayer* pTo, uint16_t usEffect, const Vector& vPosition)
{
    CMessage message(ID_POSITIONAL_EFFECT);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(usEffect);
    stream.Write(vPosition.x);
    stream.Write(vPosition.y);
    stream.Write(vPosition.z);
    message.To(pTo->GetSlot());
}

bool SendTextBlock(int nSlot, const char* szText1, uint16_t usNumber, const char* szText2,
                   const char* szText3, const char* szText4)
{
    if (!szText1)
        return false;
    CMessage message(ID_TEXT_BLOCK);
    RakNet::BitStream& stream = message.Stream();
    WriteText8(stream, szText1);
    stream.Write(usNumber);
    WriteText8(stream, szText2);
    WriteText8(stream, szText3);
    WriteText8(stream, szText4);
    if (nSlot >= 0)
    {
        message.To(nSlot);
        return true;
    }
    if (CPlayerPool* pPool = Pool())
    {
        for (int i = 0; i < MAX_PLAYER_SLOTS; ++i)
        {
            if (pPool->Get(i))
                message.To(i);
        }
    }
    return true;
}
