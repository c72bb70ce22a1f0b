#include "world/CHandlingRules.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CServer.h"
#include "Console.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "world/VehicleMessages.h"

namespace
{
constexpr int MAX_BATCH = 20;
// Rules 31..33 default to these server option bits.
constexpr uint32_t RULE_31_OPTION = 128;
constexpr uint32_t RULE_32_OPTION = 256;
constexpr uint32_t RULE_33_OPTION = 8;
constexpr int MAX_LINE = 1024;

const int g_anIntegerRules[] = {12, 15, 16, 28, 29, 30};

// The default table in use: the built-in rows until an operator's file
// replaces some of them; lives as long as the process.
double g_aadTable[HANDLING_MODEL_COUNT][HANDLING_TABLE_RULES];
bool g_bTableReady = false;

void FillBuiltinTable()
{
    memset(g_aadTable, 0, sizeof(g_aadTable));
    for (int i = 0; i < g_nBuiltinHandlingRowCount; ++i)
    {
        const SHandlingDefaultRow& row = g_aBuiltinHandlingRows[i];
        memcpy(g_aadTable[row.nModel - HANDLING_MODEL_FIRST], row.adValues, sizeof(row.adValues));
    }
    g_bTableReady = true;
}

double (&Table())[HANDLING_MODEL_COUNT][HANDLING_TABLE_RULES]
{
    if (!g_bTableReady)
        FillBuiltinTable();
    return g_aadTable;
}

// One row of the operator's file: a model and 30 finite numbers, then
// nothing but a comment. False for anything else; blank lines give nModel 0.
bool ParseRow(char* szLine, int& nModel, double* adValues)
{
    if (char* pComment = strchr(szLine, '#'))
        *pComment = '\0';
    char* pCursor = szLine;
    while (*pCursor == ' ' || *pCursor == '\t' || *pCursor == '\r' || *pCursor == '\n')
        ++pCursor;
    nModel = 0;
    if (*pCursor == '\0')
        return true;
    char* pEnd = nullptr;
    const long lModel = strtol(pCursor, &pEnd, 10);
    if (pEnd == pCursor || lModel < HANDLING_MODEL_FIRST || lModel > HANDLING_MODEL_LAST)
        return false;
    for (int i = 0; i < HANDLING_TABLE_RULES; ++i)
    {
        pCursor = pEnd;
        adValues[i] = strtod(pCursor, &pEnd);
        if (pEnd == pCursor || !std::isfinite(adValues[i]))
            return false;
    }
    while (*pEnd == ' ' || *pEnd == '\t' || *pEnd == '\r' || *pEnd == '\n')
        ++pEnd;
    nModel = static_cast<int>(lModel);
    return *pEnd == '\0';
}
} // namespace

bool CHandlingMap::Get(int nId, int nRule, uint32_t& uiValue) const
{
    auto it = m_Values.find(Key(nId, nRule));
    if (it == m_Values.end())
        return false;
    uiValue = it->second;
    return true;
}

int CHandlingMap::EraseId(int nId)
{
    auto first = m_Values.lower_bound(Key(nId, INT32_MIN));
    auto last = m_Values.upper_bound(Key(nId, INT32_MAX));
    int nCount = 0;
    for (auto it = first; it != last; ++it)
        ++nCount;
    m_Values.erase(first, last);
    return nCount;
}

void CHandlingMap::Collect(std::vector<SHandlingEntry>& entries) const
{
    entries.reserve(entries.size() + m_Values.size());
    for (const auto& value : m_Values)
        entries.push_back({value.first.first, value.first.second, value.second});
}

bool IsIntegerHandlingRule(int nRule)
{
    for (int nInteger : g_anIntegerRules)
    {
        if (nInteger == nRule)
            return true;
    }
    return false;
}

// A value no 64-bit integer can hold (or NaN) is stored as 0 rather than
// through an undefined conversion.
uint32_t StoreHandlingValue(int nRule, double dValue)
{
    if (IsIntegerHandlingRule(nRule))
    {
        if (!(dValue > -9.2e18 && dValue < 9.2e18))
            return 0;
        return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(dValue)));
    }
    const float fValue = static_cast<float>(dValue);
    uint32_t uiBits = 0;
    memcpy(&uiBits, &fValue, sizeof(uiBits));
    return uiBits;
}

double LoadHandlingValue(int nRule, uint32_t uiValue)
{
    if (IsIntegerHandlingRule(nRule))
        return static_cast<double>(uiValue);
    float fValue = 0.0f;
    memcpy(&fValue, &uiValue, sizeof(fValue));
    return static_cast<double>(fValue);
}

double GetDefaultHandling(int nModel, int nRule)
{
    if (nModel < HANDLING_MODEL_FIRST || nModel > HANDLING_MODEL_LAST)
        return 0.0;
    if (nRule >= 1 && nRule <= HANDLING_TABLE_RULES)
        return Table()[nModel - HANDLING_MODEL_FIRST][nRule - 1];
    const uint32_t uiOptions = g_pServer ? g_pServer->m_WorldOptions.uiOptions : 0;
    switch (nRule)
    {
    case 31:
        return (uiOptions & RULE_31_OPTION) ? 1.0 : 0.0;
    case 32:
        return (uiOptions & RULE_32_OPTION) ? 1.0 : 0.0;
    case 33:
        return (uiOptions & RULE_33_OPTION) ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

// The whole file is read before any row is applied, so a malformed file
// leaves the table exactly as it was.
bool LoadHandlingDefaults(const char* szPath)
{
    FILE* pFile = szPath ? fopen(szPath, "r") : nullptr;
    if (!pFile)
        return false;
    static double aadRows[HANDLING_MODEL_COUNT][HANDLING_TABLE_RULES];
    bool abSeen[HANDLING_MODEL_COUNT] = {};
    char szLine[MAX_LINE];
    int nLine = 0;
    int nRows = 0;
    bool bOk = true;
    while (fgets(szLine, sizeof(szLine), pFile))
    {
        ++nLine;
        int nModel = 0;
        double adValues[HANDLING_TABLE_RULES];
        const bool bWhole = strchr(szLine, '\n') != nullptr || feof(pFile);
        if (!bWhole || !ParseRow(szLine, nModel, adValues))
        {
            bOk = false;
            break;
        }
        if (nModel == 0)
            continue;
        memcpy(aadRows[nModel - HANDLING_MODEL_FIRST], adValues, sizeof(adValues));
        if (!abSeen[nModel - HANDLING_MODEL_FIRST])
            ++nRows;
        abSeen[nModel - HANDLING_MODEL_FIRST] = true;
    }
    fclose(pFile);
    if (!bOk)
    {
        ConsolePrint("%s:%d: expected a model 130..236 and 30 numbers; the built-in handling table is kept",
                     szPath, nLine);
        return false;
    }
    for (int i = 0; i < HANDLING_MODEL_COUNT; ++i)
    {
        if (abSeen[i])
            memcpy(Table()[i], aadRows[i], sizeof(aadRows[i]));
    }
    ConsolePrint("Read %d handling rows from %s", nRows, szPath);
    return nRows > 0;
}

void RestoreHandlingDefaults()
{
    FillBuiltinTable();
}

void SendHandlingEntries(CPlayer* pTo, const SHandlingEntry* pEntries, int nCount)
{
    CPlayerPool* pPool = g_pServer ? g_pServer->m_pPlayerPool : nullptr;
    for (int nSent = 0; nSent < nCount; nSent += MAX_BATCH)
    {
        const int nBatch = nCount - nSent < MAX_BATCH ? nCount - nSent : MAX_BATCH;
        if (pTo)
        {
            SendHandlingBatch(pTo->GetSlot(), static_cast<uint8_t>(nBatch), pEntries + nSent, nBatch);
            continue;
        }
        for (int nSlot = 0; pPool && nSlot < MAX_PLAYER_SLOTS; ++nSlot)
        {
            if (pPool->Get(nSlot))
                SendHandlingBatch(nSlot, static_cast<uint8_t>(nBatch), pEntries + nSent, nBatch);
        }
    }
}

void BroadcastHandlingEntry(int nId, int nRule, uint32_t uiValue)
{
    const SHandlingEntry entry = {nId, nRule, uiValue};
    SendHandlingEntries(nullptr, &entry, 1);
}
