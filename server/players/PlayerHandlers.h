#pragma once

#include <cstdint>

// Client messages of a player's life: the free text block, the player list
// request, class selection, spawn request, spawn report and death report.
enum : int
{
    ID_CLIENT_TEXT = 155,
    ID_PLAYER_LIST_REQUEST = 158,
    ID_REQUEST_CLASS = 165,
    ID_REQUEST_SPAWN = 166,
    ID_SPAWNED = 167,
    ID_DEATH_REPORT = 168,
};

// Each applies the joined-state guard, ignores a slot without a player and a
// payload shorter than the message needs, and leaves the rest to the player.
class CPlayerHandlers
{
public:
    static void HandleClientText(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandlePlayerListRequest(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleRequestClass(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleRequestSpawn(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleSpawned(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleDeathReport(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
