#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class CPlayer;

// Handling values are addressed by (id, rule): a model's own id for model
// overrides, 10000 + vehicle id for a single vehicle's, so both kinds travel
// in one message format.
constexpr int HANDLING_VEHICLE_ID_BASE = 10000;
constexpr int HANDLING_MODEL_FIRST = 130;
constexpr int HANDLING_MODEL_LAST = 236;
constexpr int HANDLING_MODEL_COUNT = HANDLING_MODEL_LAST - HANDLING_MODEL_FIRST + 1;
constexpr int HANDLING_TABLE_RULES = 30;
constexpr int HANDLING_MODEL_RULE_LAST = 33;
constexpr int HANDLING_VEHICLE_RULE_LAST = 34;
// All 32 bits set: the client drops overrides (rule 0: all of the id; id 0 too: all).
constexpr uint32_t HANDLING_RESET_VALUE = 0xFFFFFFFFu;

// One entry of message 220.
struct SHandlingEntry
{
    int32_t nId;
    int32_t nRule;
    uint32_t uiValue;
};

// Overrides ordered by id, then rule (signed). Values are stored in their
// 32-bit wire form (see StoreHandlingValue).
class CHandlingMap
{
public:
    void Set(int nId, int nRule, uint32_t uiValue) { m_Values[Key(nId, nRule)] = uiValue; }
    bool Get(int nId, int nRule, uint32_t& uiValue) const;
    bool Exists(int nId, int nRule) const { return m_Values.count(Key(nId, nRule)) != 0; }
    bool Erase(int nId, int nRule) { return m_Values.erase(Key(nId, nRule)) != 0; }
    // Every override of the id; returns how many went.
    int EraseId(int nId);
    void Clear() { m_Values.clear(); }
    bool Empty() const { return m_Values.empty(); }
    int Count() const { return static_cast<int>(m_Values.size()); }
    // Every entry, in order.
    void Collect(std::vector<SHandlingEntry>& entries) const;

private:
    typedef std::pair<int32_t, int32_t> TKey;
    static TKey Key(int nId, int nRule) { return TKey(nId, nRule); }
    std::map<TKey, uint32_t> m_Values;
};

// Rules 12, 15, 16, 28, 29 and 30 are whole numbers: the value truncated
// toward zero, low 32 bits; every other rule is a 32-bit float.
bool IsIntegerHandlingRule(int nRule);
uint32_t StoreHandlingValue(int nRule, double dValue);
double LoadHandlingValue(int nRule, uint32_t uiValue);

// The built-in value of a model's rule: the table for rules 1..30, the
// server option bits for 31..33, 0 for anything else.
double GetDefaultHandling(int nModel, int nRule);
// Replaces rows of the default table from an operator's data file. A missing
// file changes nothing; a malformed one is refused whole with a line naming
// the file and line, and the table stays as it was. True when rows were read.
bool LoadHandlingDefaults(const char* szPath);
// The built-in rows again (tests).
void RestoreHandlingDefaults();

// Message 220 in batches of at most 20 entries; each batch's count is the
// number of entries still to send, capped at 20. To one player, or with null
// to every player in the pool.
void SendHandlingEntries(CPlayer* pTo, const SHandlingEntry* pEntries, int nCount);
// One entry, or a reset form, to every player.
void BroadcastHandlingEntry(int nId, int nRule, uint32_t uiValue);

// The rows of the default table that are known, kept apart from the code in
// HandlingDefaults.cpp; every other model's row is 0 until an operator's file
// fills it in.
struct SHandlingDefaultRow
{
    int nModel;
    double adValues[HANDLING_TABLE_RULES];
};
extern const SHandlingDefaultRow g_aBuiltinHandlingRows[];
extern const int g_nBuiltinHandlingRowCount;
