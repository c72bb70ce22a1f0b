#include "CBanList.h"

#include <cctype>
#include <cstring>

#include "CServer.h"
#include "Console.h"
#include "net/CNetwork.h"

namespace
{
bool IsBanSeparator(int c)
{
    return c == '\0' || isspace(static_cast<unsigned char>(c));
}

// An address the file can hold as one entry and give back unchanged.
bool IsSingleEntry(const char* szAddress)
{
    if (!szAddress || !szAddress[0])
        return false;
    size_t nLength = strnlen(szAddress, BAN_TOKEN_LENGTH + 1);
    if (nLength > static_cast<size_t>(BAN_TOKEN_LENGTH))
        return false;
    for (size_t i = 0; i < nLength; ++i)
    {
        if (IsBanSeparator(szAddress[i]))
            return false;
    }
    return true;
}
} // namespace

bool ReadBanToken(FILE* pFile, char* szToken)
{
    int nLength = 0;
    for (;;)
    {
        int c = fgetc(pFile);
        if (c == EOF)
            break;
        if (IsBanSeparator(c))
        {
            if (nLength > 0)
                break;
            continue;
        }
        szToken[nLength++] = static_cast<char>(c);
        // The character after a full entry stays in the file as the start of the next one.
        if (nLength == BAN_TOKEN_LENGTH)
            break;
    }
    szToken[nLength] = '\0';
    return nLength > 0;
}

CBanList::CBanList(CNetwork* pNetwork, const char* szFile, const char* szBackupFile, BanFileOpener pfnOpen)
    : m_pNetwork(pNetwork), m_szFile(szFile), m_szBackupFile(szBackupFile),
      m_pfnOpen(pfnOpen ? pfnOpen : fopen)
{
}

int CBanList::Load()
{
    FILE* pFile = m_pfnOpen(m_szFile, "r");
    if (!pFile)
        return 0;
    int nCount = 0;
    char szToken[BAN_TOKEN_LENGTH + 1];
    while (ReadBanToken(pFile, szToken))
    {
        m_pNetwork->Ban(szToken);
        ++nCount;
    }
    fclose(pFile);
    return nCount;
}

bool CBanList::Add(const char* szAddress)
{
    if (!IsSingleEntry(szAddress))
        return false;
    m_pNetwork->Ban(szAddress);
    FILE* pFile = m_pfnOpen(m_szFile, "a");
    if (!pFile)
        return false;
    bool bWritten = fprintf(pFile, "%s\n", szAddress) > 0;
    return (fclose(pFile) == 0) && bWritten;
}

// The rewrite goes through the backup: the ban file is renamed to the backup
// name and written afresh from it. Whatever fails on the way, the list as it
// was before is kept, as the backup or back under the ban file's name.
bool CBanList::Remove(const char* szAddress)
{
    if (!szAddress || !szAddress[0])
        return false;
    m_pNetwork->Unban(szAddress);

    // Nothing is touched unless there is a list to rewrite: the backup of the
    // previous unban must not be deleted for a file that is not there.
    FILE* pCheck = m_pfnOpen(m_szFile, "r");
    bool bRenamed = false;
    if (pCheck)
    {
        fclose(pCheck);
        remove(m_szBackupFile);
        bRenamed = rename(m_szFile, m_szBackupFile) == 0;
    }
    if (!bRenamed)
    {
        ConsolePrint("Failed to unban address %s due to failure to rename banlist.\n", szAddress);
        return false;
    }

    FILE* pOld = m_pfnOpen(m_szBackupFile, "r");
    FILE* pNew = pOld ? m_pfnOpen(m_szFile, "w") : nullptr;
    bool bDone = pNew && CopyWithout(pOld, pNew, szAddress);
    if (pNew && fclose(pNew) != 0)
        bDone = false;
    if (pOld)
        fclose(pOld);
    if (!bDone)
    {
        RestoreBackup();
        ConsolePrint("Failed to unban address %s due to failure to rewrite banlist.\n", szAddress);
    }
    return bDone;
}

bool CBanList::IsBanned(const char* szAddress) const
{
    return szAddress && m_pNetwork->IsBanned(szAddress);
}

bool CBanList::FileHolds(const char* szAddress) const
{
    FILE* pFile = szAddress ? m_pfnOpen(m_szFile, "r") : nullptr;
    if (!pFile)
        return false;
    bool bFound = false;
    char szToken[BAN_TOKEN_LENGTH + 1];
    while (!bFound && ReadBanToken(pFile, szToken))
        bFound = strcmp(szToken, szAddress) == 0;
    fclose(pFile);
    return bFound;
}

void CBanList::RestoreBackup()
{
    remove(m_szFile);
    rename(m_szBackupFile, m_szFile);
}

bool CBanList::CopyWithout(FILE* pOld, FILE* pNew, const char* szAddress)
{
    char szToken[BAN_TOKEN_LENGTH + 1];
    while (ReadBanToken(pOld, szToken))
    {
        if (strcmp(szToken, szAddress) == 0)
            continue;
        if (fprintf(pNew, "%s\n", szToken) < 0)
            return false;
    }
    return !ferror(pOld) && fflush(pNew) == 0 && !ferror(pNew);
}

int LoadBanList(CNetwork* pNetwork)
{
    if (!pNetwork)
        return 0;
    return CBanList(pNetwork, BAN_FILE_NAME, BAN_BACKUP_FILE_NAME).Load();
}

bool AddBan(const char* szAddress)
{
    if (!g_pServer || !g_pServer->m_pNetwork)
        return false;
    return CBanList(g_pServer->m_pNetwork, BAN_FILE_NAME, BAN_BACKUP_FILE_NAME).Add(szAddress);
}

bool RemoveBan(const char* szAddress)
{
    if (!g_pServer || !g_pServer->m_pNetwork)
        return false;
    return CBanList(g_pServer->m_pNetwork, BAN_FILE_NAME, BAN_BACKUP_FILE_NAME).Remove(szAddress);
}

bool IsBanned(const char* szAddress)
{
    if (!g_pServer || !g_pServer->m_pNetwork)
        return false;
    return CBanList(g_pServer->m_pNetwork, BAN_FILE_NAME, BAN_BACKUP_FILE_NAME).IsBanned(szAddress);
}

bool IsBanListed(const char* szAddress)
{
    if (!g_pServer || !g_pServer->m_pNetwork)
        return false;
    CBanList list(g_pServer->m_pNetwork, BAN_FILE_NAME, BAN_BACKUP_FILE_NAME);
    return list.IsBanned(szAddress) || list.FileHolds(szAddress);
}
