#include "world/CCustomWeapons.h"

#include <cstdlib>
#include <cstring>
#include <set>

#include "CServer.h"
#include "TextUtil.h"
#include "net/CNetFileList.h"
#include "plugins/CPluginManager.h"
#include "world/WorldContent.h"

namespace
{
// Reads a number the way base-10 strtol does (leading blanks and a sign
// accepted) and then requires the text that must follow it.
bool ReadNumber(const char*& szCursor, long& lValue, const char* szFollow)
{
    char* pEnd = nullptr;
    lValue = strtol(szCursor, &pEnd, 10);
    if (pEnd == szCursor)
        return false;
    const size_t nFollow = strlen(szFollow);
    if (strncmp(pEnd, szFollow, nFollow) != 0)
        return false;
    szCursor = pEnd + nFollow;
    return true;
}

bool EndsWith7z(const char* szPath)
{
    const size_t nLength = strlen(szPath);
    return nLength >= 3 && TextEqualNoCase(szPath + nLength - 3, ".7z");
}
} // namespace

void CCustomWeapons::Reset()
{
    for (SWeapon& weapon : m_aWeapons)
        weapon = {FREE_SLOT, -1};
}

// w<id>_s<slot>_l<base>_ : id 100..249, slot 0..9, base 0..33, 80 or 81.
bool CCustomWeapons::ParseName(const char* szFileName, int& nId, int& nSlot, int& nBase)
{
    if (!szFileName || szFileName[0] != 'w')
        return false;
    const char* szCursor = szFileName + 1;
    long lId = 0;
    long lSlot = 0;
    long lBase = 0;
    if (!ReadNumber(szCursor, lId, "_s") || !ReadNumber(szCursor, lSlot, "_l") ||
        !ReadNumber(szCursor, lBase, "_"))
        return false;
    if (lId < FIRST_ID || lId > LAST_ID || lSlot < 0 || lSlot > 9)
        return false;
    if (!((lBase >= 0 && lBase <= 33) || lBase == 80 || lBase == 81))
        return false;
    nId = static_cast<int>(lId);
    nSlot = static_cast<int>(lSlot);
    nBase = static_cast<int>(lBase);
    return true;
}

// A weapon whose file no client is offered (a second name for the same
// contents, or a file past the offered count) would be an identifier that
// clients cannot resolve: it is reported and left free.
void CCustomWeapons::Load(const CNetFileList& files)
{
    Reset();
    std::set<const char*> offered;
    for (const SNetFileOffer& offer : files.ForEachFile(NET_MAX_OFFERED_FILES))
        offered.insert(offer.szName);
    bool bAny = false;
    files.ForEachPath(
        [this, &bAny, &offered](const char* szPath)
        {
            if (!TextEqualNoCase(szPath, "weapons/", 8))
                return;
            bAny = true;
            LoadPath(szPath, offered.count(szPath) != 0);
        });
    if (!bAny)
        LogMessage("[WEAPONS] No custom weapons to load.");
}

void CCustomWeapons::LoadPath(const char* szPath, bool bOffered)
{
    if (!EndsWith7z(szPath))
        return;
    const char* szFileName = szPath;
    for (const char* p = szPath; *p; ++p)
    {
        if (*p == '/' || *p == '\\')
            szFileName = p + 1;
    }
    int nId = 0;
    int nSlot = 0;
    int nBase = 0;
    if (!ParseName(szFileName, nId, nSlot, nBase))
    {
        LogMessage("[WEAPONS] Filename '%s' not in valid format for a custom weapon file.", szPath);
        return;
    }
    if (!bOffered)
    {
        LogMessage("[WEAPONS] Error loading '%s' as weapon - file not offered to clients.", szPath);
        return;
    }
    SWeapon& weapon = m_aWeapons[nId - FIRST_ID];
    if (weapon.nSlot != FREE_SLOT)
    {
        LogMessage("[WEAPONS] Error loading '%s' as weapon - slot already in use.", szPath);
        return;
    }
    weapon = {nSlot, nBase};
}

int CCustomWeapons::GetSlot(int nWeapon) const
{
    if (nWeapon < FIRST_ID || nWeapon > LAST_ID)
        return FREE_SLOT;
    return m_aWeapons[nWeapon - FIRST_ID].nSlot;
}

int CCustomWeapons::GetBase(int nWeapon) const
{
    if (nWeapon < FIRST_ID || nWeapon > LAST_ID)
        return -1;
    return m_aWeapons[nWeapon - FIRST_ID].nBase;
}

// The player code's view of the table; no weapon is registered without a server.
int GetCustomWeaponSlot(int nWeapon)
{
    return g_pServer ? g_pServer->m_CustomWeapons.GetSlot(nWeapon) : CCustomWeapons::FREE_SLOT;
}

int GetCustomWeaponBase(int nWeapon)
{
    return g_pServer ? g_pServer->m_CustomWeapons.GetBase(nWeapon) : -1;
}
