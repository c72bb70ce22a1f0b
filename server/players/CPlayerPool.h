#pragma once

#include <cstdint>

#include "CServer.h"
#include "players/CPlayer.h"

// Owns every player, hands out player ids (slot | generation << 8), keeps the
// processing list (every live player, newest first) and runs the per-tick
// processing. One instance, inside CServer.
class CPlayerPool
{
public:
    CPlayerPool();
    ~CPlayerPool();
    CPlayerPool(const CPlayerPool&) = delete;
    CPlayerPool& operator=(const CPlayerPool&) = delete;

    // Creates the player of a joining slot and raises OnPlayerConnect. False,
    // with nothing created, when the slot is taken, the name is invalid or in
    // use, or the slot is above 99 (checked in that order); also false when a
    // plugin removed the player during OnPlayerConnect.
    bool New(int nSlot, const char* szName, const char* szUniqueId);
    // Removes the player with the reason (kept from the first request). True
    // when it was destroyed now; while it is locked the removal waits for the
    // last release and the result is false.
    bool Delete(int nSlot, int nReason);
    // Server shutdown: every player, reason timed out.
    void DeleteAll();
    // Slot taken unsigned: above 99 (or negative) is nobody.
    CPlayer* Get(int nSlot) const;
    int Count() const { return m_nCount; }
    // The generation counter of a slot: how many players it has had.
    int GetGeneration(int nSlot) const;

    // Length 2..23, else false. Every byte other than letters, digits and
    // - . + [ ] ^ = ( ) * ! becomes '_' in place; the name then passes.
    static bool ValidateName(char* szName);
    // False when a player other than pExcept holds the name, ignoring ASCII case.
    bool IsNameFree(const char* szName, const CPlayer* pExcept = nullptr) const;

    // The join notice of every other player, to a new player.
    void SendPlayersTo(const CPlayer* pPlayer);

    // Once per tick after network dispatch: kicks players marked by the
    // anti-cheat and runs every other player's ProcessTick.
    void ProcessAll();

    // The processing list, newest first. The head is a sentinel (no player).
    const SPlayerListNode* GetListHead() const { return &m_ListHead; }
    // Calls fn(CPlayer*) for every player in processing order; fn must not
    // remove players other than the one it was given.
    template <typename Fn> void ForEachInOrder(Fn&& fn);

    // Called by the player itself: its creation links it at the front, its
    // removal unlinks it and detaches its slot (empties it, count - 1).
    void LinkFront(SPlayerListNode* pNode);
    void Unlink(SPlayerListNode* pNode);
    void Detach(int nSlot);

private:
    CPlayer* m_apPlayers[MAX_PLAYER_SLOTS];
    // Incremented before each new player in the slot; never reset.
    int m_anGeneration[MAX_PLAYER_SLOTS];
    // Sentinel of the processing list; linked to itself while empty.
    SPlayerListNode m_ListHead;
    int m_nCount;
};

template <typename Fn> void CPlayerPool::ForEachInOrder(Fn&& fn)
{
    SPlayerListNode* pNode = m_ListHead.pNext;
    while (pNode != &m_ListHead)
    {
        SPlayerListNode* pNext = pNode->pNext;
        fn(pNode->pEntity);
        pNode = pNext;
    }
}
