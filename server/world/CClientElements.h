#pragma once

#include <cstdint>

class CWorldMessage;

// What one client element holds; text elements use every value, named
// elements the text and the first three values.
struct SClientElement
{
    bool bInUse = false;
    // A heap copy owned by the entry, at most MAX_TEXT characters.
    char* szText = nullptr;
    int32_t anValue[4] = {0, 0, 0, 0};
    float fScale = 0.0f;
    uint8_t byFlag = 0;
};

// The two families of client elements the server only stores and forwards:
// 128 numbered text elements (a text, four values, a scale and a flag) and
// 256 named elements (a text and three values). One instance for the whole
// server, living as long as the process.
//
// A player id of -1 means every player in the pool; the show, hide and set
// operations answer false when the element is not in use or the player id is
// neither -1 nor a player. The setters store what they send only when it goes
// to every player, so a later show to someone else uses the stored values.
class CClientElements
{
public:
    static constexpr int TEXT_ELEMENTS = 128;
    static constexpr int NAMED_ELEMENTS = 256;
    // The length byte counts the terminating zero, so longer texts are cut.
    static constexpr int MAX_TEXT = 254;

    enum EFamily
    {
        FAMILY_TEXT = 0,
        FAMILY_NAMED = 1,
    };

    CClientElements() = default;
    ~CClientElements();
    CClientElements(const CClientElements&) = delete;
    CClientElements& operator=(const CClientElements&) = delete;

    // -1 takes the lowest free id; an explicit id in use is destroyed first.
    // Returns the id, or -1 for an id outside the table or a full table.
    // Sends nothing.
    int Create(int nFamily, int nId, const char* szText, const int32_t* pnValues, float fScale, int nFlag);
    // Hidden from every player, then freed; false when not in use.
    bool Destroy(int nFamily, int nId);
    bool Show(int nFamily, int nId, int nPlayerId);
    bool Hide(int nFamily, int nId, int nPlayerId);
    // Values 1 and 2 (both families), 3 and 4 (text) or 3 (named); nFirst is 0 or 2.
    bool SetValues(int nFamily, int nId, int nPlayerId, int nFirst, int32_t nA, int32_t nB);
    bool SetTextScale(int nId, int nPlayerId, float fScale);
    bool SetTextFlag(int nId, int nPlayerId, int nFlag);

    // Null for an id outside the family's table.
    const SClientElement* Get(int nFamily, int nId) const;
    // Frees every entry (server shutdown and tests).
    void Clear();

private:
    SClientElement* Entry(int nFamily, int nId);
    SClientElement* InUse(int nFamily, int nId);
    static bool IsTarget(int nPlayerId);
    static void Send(const CWorldMessage& message, int nPlayerId);
    void WriteShow(CWorldMessage& message, int nFamily, int nId) const;

    SClientElement m_aText[TEXT_ELEMENTS];
    SClientElement m_aNamed[NAMED_ELEMENTS];
};

// The server's tables.
CClientElements* GetClientElements();
