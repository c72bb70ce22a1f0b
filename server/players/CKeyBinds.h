#pragma once

#include <cstdint>

// A client reports a bind pressed or released.
enum : int
{
    ID_KEY_BIND = 184,
};

// The server-wide key bind table: 50 binds that every joined client watches
// for, sent whole to each new player and changed slots to everybody once per
// tick. Key codes are opaque; clients receive their low 8 bits. One instance,
// inside CServer for its whole life.
class CKeyBinds
{
public:
    static constexpr int MAX_BINDS = 50;

    CKeyBinds() { Clear(); }

    // Every slot and flag to 0, nothing sent: at start-up, before the network exists.
    void Clear();

    // False, and nothing changed, for a bind id of 50 or more (taken unsigned).
    bool Register(int nBindId, bool bOnRelease, int32_t nKey1, int32_t nKey2, int32_t nKey3);
    // A removal is a register with all values 0, so clients hear of it.
    bool Remove(int nBindId);
    // The lowest bind id whose three keys are 0; -1 when all 50 are in use.
    int FindFreeSlot() const;
    // False with every value 0 for a bind id above 49; otherwise the slot as
    // stored, free or not. Null out-values are skipped.
    bool Get(int nBindId, int32_t* pnOnRelease, int32_t* pnKey1, int32_t* pnKey2, int32_t* pnKey3) const;
    // Clears the table and tells every client at once with the reset byte.
    void RemoveAll();
    // A slot with a non-zero key.
    bool IsInUse(int nBindId) const;
    bool WantsRelease(int nBindId) const;

    // The binds in use, to a new player; nothing when there are none.
    void SendAllTo(int nSlot) const;
    // Once per tick: every slot written since the last broadcast, removals included.
    void BroadcastChanged();

    // Message 184 from a client: bind id, then state (1 pressed, else released).
    static void HandleKeyEvent(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);

private:
    struct SBind
    {
        uint8_t byChanged;
        uint8_t byOnRelease;
        int32_t anKeys[3];
    };

    SBind m_aBinds[MAX_BINDS];
    // Set by every write, cleared by the next broadcast.
    bool m_bTableChanged;
};
