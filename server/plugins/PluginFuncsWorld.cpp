#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CStreamer.h"

// Slots 78 and 79: area effects. Each reaches the players the streamer's
// players grid finds within the effect's range of the point (horizontal
// distance) and that can see the effect's world.

namespace
{
constexpr float EXPLOSION_RANGE = 150.0f;
constexpr float SOUND_RANGE = 200.0f;
constexpr uint32_t NO_CAUSE_ID = 0xFFFFFFFFu;

struct SExplosion
{
    int nWorld;
    uint8_t byType;
    Vector vPosition;
    uint32_t uiCauseId;
    uint8_t byFlag;
};

struct SSound
{
    int nWorld;
    uint16_t usSound;
    Vector vPosition;
};

void SendExplosionTo(CPlayer* pPlayer, void* pUser)
{
    const SExplosion& explosion = *static_cast<const SExplosion*>(pUser);
    if (pPlayer->IsWorldVisible(explosion.nWorld))
        SendExplosion(pPlayer, explosion.byType, explosion.vPosition, explosion.uiCauseId, explosion.byFlag,
                      0);
}

void SendSoundTo(CPlayer* pPlayer, void* pUser)
{
    const SSound& sound = *static_cast<const SSound*>(pUser);
    if (pPlayer->IsWorldVisible(sound.nWorld))
        SendPositionalEffect(pPlayer, sound.usSound, sound.vPosition);
}

// An id that names no player attributes the explosion to nobody.
int32_t CreateExplosion(int32_t nWorld, int32_t nType, float fX, float fY, float fZ, int32_t nPlayerId,
                        int32_t nFlag)
{
    if (!g_pServer || !g_pServer->m_pStreamer)
        return 1;
    SExplosion explosion{nWorld, static_cast<uint8_t>(nType), Vector(fX, fY, fZ), NO_CAUSE_ID,
                         static_cast<uint8_t>(nFlag)};
    CServer::ClampToWorld(explosion.vPosition);
    if (const CPlayer* pCause = FindEntity<CPlayer>(nPlayerId))
        explosion.uiCauseId = pCause->GetPlayerId();
    g_pServer->m_pStreamer->ForEachPlayerInArea(explosion.vPosition.x, explosion.vPosition.y, EXPLOSION_RANGE,
                                                SendExplosionTo, &explosion);
    return 1;
}

int32_t PlaySound(int32_t nWorld, int32_t nSound, float fX, float fY, float fZ)
{
    if (!g_pServer || !g_pServer->m_pStreamer)
        return 1;
    SSound sound{nWorld, static_cast<uint16_t>(nSound), Vector(fX, fY, fZ)};
    CServer::ClampToWorld(sound.vPosition);
    g_pServer->m_pStreamer->ForEachPlayerInArea(sound.vPosition.x, sound.vPosition.y, SOUND_RANGE,
                                                SendSoundTo, &sound);
    return 1;
}
} // namespace

void FillWorldEffectFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreateExplosion = CreateExplosion;
    pFuncs->PlaySound = PlaySound;
}
