#include "world/CWeaponData.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CServer.h"
#include "players/CPlayer.h"
#include "plugins/CPluginManager.h"
#include "world/ContentMessages.h"
#include "world/WorldContent.h"

namespace
{
// Every bit set: the value of a reset entry.
constexpr uint32_t RESET_VALUE = 0xFFFFFFFFu;
constexpr int RESET_FIELD_FLAG = 128;

bool IsValid(int nWeapon, int nField)
{
    return nWeapon >= 0 && nWeapon < WEAPON_DATA_WEAPONS && nField >= 1 && nField <= WEAPON_DATA_FIELDS;
}

void SendOne(int nWeapon, int nField, uint32_t uiValue)
{
    const SWeaponDataEntry entry = {static_cast<uint8_t>(nWeapon), static_cast<uint8_t>(nField), uiValue};
    SendWeaponData(-1, &entry, 1);
}

// One row of the data file: a weapon 0..33 and 25 finite numbers, blanks
// between. False for anything else.
bool ParseRow(const char* szLine, int& nWeapon, double* adRow)
{
    char* pEnd = nullptr;
    const long lWeapon = strtol(szLine, &pEnd, 10);
    if (pEnd == szLine || lWeapon < 0 || lWeapon >= WEAPON_DATA_WEAPONS)
        return false;
    const char* szCursor = pEnd;
    for (int i = 0; i < WEAPON_DATA_FIELDS; ++i)
    {
        adRow[i] = strtod(szCursor, &pEnd);
        if (pEnd == szCursor || !std::isfinite(adRow[i]))
            return false;
        szCursor = pEnd;
    }
    while (*szCursor == ' ' || *szCursor == '\t' || *szCursor == '\r' || *szCursor == '\n')
        ++szCursor;
    nWeapon = static_cast<int>(lWeapon);
    return *szCursor == '\0';
}

bool IsBlankOrComment(const char* szLine)
{
    while (*szLine == ' ' || *szLine == '\t')
        ++szLine;
    return *szLine == '\0' || *szLine == '\n' || *szLine == '\r' || *szLine == '#';
}
} // namespace

CWeaponData::CWeaponData()
{
    memcpy(m_aadDefaults, g_aadWeaponDataDefaults, sizeof(m_aadDefaults));
}

// Rows are collected first and applied only when the whole file is sound.
bool CWeaponData::LoadDefaults(const char* szPath)
{
    FILE* pFile = fopen(szPath, "r");
    if (!pFile)
        return true;
    std::vector<std::pair<int, std::vector<double>>> rows;
    char szLine[1024];
    int nLine = 0;
    bool bSound = true;
    while (bSound && fgets(szLine, sizeof(szLine), pFile))
    {
        ++nLine;
        // A line longer than the buffer is malformed, whatever it holds.
        const bool bWhole = strchr(szLine, '\n') != nullptr || feof(pFile);
        if (bWhole && IsBlankOrComment(szLine))
            continue;
        std::vector<double> row(WEAPON_DATA_FIELDS);
        int nWeapon = 0;
        bSound = bWhole && ParseRow(szLine, nWeapon, row.data());
        if (bSound)
            rows.emplace_back(nWeapon, std::move(row));
    }
    fclose(pFile);
    if (!bSound)
    {
        LogMessage("[WEAPONS] %s line %d: expected a weapon 0..33 and 25 numbers; the built-in weapon data "
                   "is kept.",
                   szPath, nLine);
        return false;
    }
    for (const auto& row : rows)
        memcpy(m_aadDefaults[row.first], row.second.data(), sizeof(m_aadDefaults[0]));
    return true;
}

bool CWeaponData::IsIntegerField(int nField)
{
    switch (nField)
    {
    case 1:
    case 3:
    case 4:
    case 5:
    case 6:
    case 14:
    case 22:
    case 23:
    case 24:
    case 25:
        return true;
    default:
        return false;
    }
}

// Integer fields: truncated toward zero, low 32 bits (a value that is not a
// number stores 0). Float fields: the 32-bit float's bits.
uint32_t CWeaponData::Convert(int nField, double dValue)
{
    if (IsIntegerField(nField))
    {
        if (!std::isfinite(dValue))
            return 0;
        const double dLow = std::fmod(std::trunc(dValue), 4294967296.0);
        return static_cast<uint32_t>(static_cast<int64_t>(dLow));
    }
    const float fValue = static_cast<float>(dValue);
    uint32_t uiBits = 0;
    memcpy(&uiBits, &fValue, sizeof(uiBits));
    return uiBits;
}

double CWeaponData::ConvertBack(int nField, uint32_t uiValue)
{
    if (IsIntegerField(nField))
        return static_cast<double>(uiValue);
    float fValue = 0.0f;
    memcpy(&fValue, &uiValue, sizeof(fValue));
    return fValue;
}

bool CWeaponData::Set(int nWeapon, int nField, double dValue)
{
    if (!IsValid(nWeapon, nField))
        return false;
    const uint32_t uiValue = Convert(nField, dValue);
    m_Overrides[{nWeapon, nField}] = uiValue;
    SendOne(nWeapon, nField, uiValue);
    return true;
}

double CWeaponData::GetDefault(int nWeapon, int nField) const
{
    return IsValid(nWeapon, nField) ? m_aadDefaults[nWeapon][nField - 1] : 0.0;
}

double CWeaponData::Get(int nWeapon, int nField) const
{
    auto it = m_Overrides.find({nWeapon, nField});
    if (it != m_Overrides.end())
        return ConvertBack(nField, it->second);
    return GetDefault(nWeapon, nField);
}

bool CWeaponData::IsModified(int nWeapon, int nField) const
{
    return m_Overrides.count({nWeapon, nField}) != 0;
}

void CWeaponData::ResetValue(int nWeapon, int nField)
{
    auto it = m_Overrides.find({nWeapon, nField});
    if (it == m_Overrides.end())
        return;
    SendOne(nWeapon, nField + RESET_FIELD_FLAG, RESET_VALUE);
    m_Overrides.erase(it);
}

void CWeaponData::ResetWeapon(int nWeapon)
{
    auto first = m_Overrides.lower_bound({nWeapon, INT32_MIN});
    auto last = m_Overrides.upper_bound({nWeapon, INT32_MAX});
    if (first == last)
        return;
    m_Overrides.erase(first, last);
    SendOne(nWeapon, 0, RESET_VALUE);
}

// Told to clients even when nothing was overridden.
void CWeaponData::ResetAll()
{
    m_Overrides.clear();
    SendOne(ALL_WEAPONS, 0, RESET_VALUE);
}

void CWeaponData::SendAllTo(int nSlot) const
{
    SWeaponDataEntry aBatch[WEAPON_DATA_PER_MESSAGE];
    int nCount = 0;
    for (const auto& entry : m_Overrides)
    {
        aBatch[nCount++] = {static_cast<uint8_t>(entry.first.first), static_cast<uint8_t>(entry.first.second),
                            entry.second};
        if (nCount == WEAPON_DATA_PER_MESSAGE)
        {
            SendWeaponData(nSlot, aBatch, nCount);
            nCount = 0;
        }
    }
    if (nCount > 0)
        SendWeaponData(nSlot, aBatch, nCount);
}

void SendWeaponDataTo(CPlayer* pPlayer)
{
    if (g_pServer && pPlayer)
        g_pServer->m_WeaponData.SendAllTo(pPlayer->GetSlot());
}
