#pragma once

#include <cstdint>
#include <set>

// The static objects of the game's own map that plugins hid from every
// client. An entry is the low 16 bits of model, x, y and z as one key (model
// in bits 0-15, then x, y, z); the set is ordered by that key. Held by the
// streamer, created and emptied with it.
class CHiddenMapObjects
{
public:
    static uint64_t MakeKey(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ);

    // Hiding an entry already hidden, or showing one that is not, does nothing;
    // otherwise every client is told.
    void Hide(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ);
    void Show(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ);
    // Every entry to all as shown again, then the set is empty.
    void ShowAll();
    // Every entry to a new player as hidden.
    void SendTo(int nSlot) const;

    int Count() const { return static_cast<int>(m_Keys.size()); }

private:
    // The whole set in ascending order, in messages of at most ten entries.
    void SendBatches(int nSlot, uint8_t byAction) const;

    std::set<uint64_t> m_Keys;
};
