#include "CServer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Console.h"

namespace
{
// Base-10 strtol rules; a number beyond int is held at the nearer end of its
// range rather than wrapped, so that it counts as out of range.
int ReadDecimal(const char* szText, const char** pszEnd = nullptr)
{
    char* pEnd = nullptr;
    const long lValue = strtol(szText, &pEnd, 10);
    if (pszEnd)
        *pszEnd = pEnd;
    return lValue < INT_MIN ? INT_MIN : (lValue > INT_MAX ? INT_MAX : static_cast<int>(lValue));
}

// The "%63s %d" pattern of the integer keys, without its wrap of numbers too
// large for int. False, leaving nValue as it was, when no number follows the key.
bool ReadConfigInteger(const char* szLine, int& nValue)
{
    char szKey[64];
    int nKeyEnd = 0;
    if (sscanf(szLine, "%63s%n", szKey, &nKeyEnd) != 1)
        return false;
    const char* szNumber = szLine + nKeyEnd;
    const char* szEnd = nullptr;
    const int nRead = ReadDecimal(szNumber, &szEnd);
    if (szEnd == szNumber)
        return false;
    nValue = nRead;
    return true;
}

void WarnParameters(const char* szKey)
{
    ConsolePrint("Warning: parameters for '%s' in config were not as expected\n", szKey);
}

// A CR before the newline (files written with CR LF ends) is not part of a value.
void DropLineEnd(char* szLine)
{
    size_t nLength = strlen(szLine);
    if (nLength > 0 && szLine[nLength - 1] == '\n')
        szLine[--nLength] = '\0';
    if (nLength > 0 && szLine[nLength - 1] == '\r')
        szLine[--nLength] = '\0';
}
} // namespace

// Each option is compared exactly; a value argument is examined as an option
// in its turn, and an option missing its value ends the scan.
void CServer::ApplyCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const char* szArg = argv[i];
        const bool bHasValue = i + 1 < argc;
        const char* szValue = bHasValue ? argv[i + 1] : nullptr;
        if (strcmp(szArg, "-maxplayers") == 0)
        {
            if (!bHasValue)
                return;
            int nLimit = ReadDecimal(szValue);
            m_nMaxPlayersLimit = (nLimit < 1 || nLimit > MAX_PLAYER_SLOTS) ? MAX_PLAYER_SLOTS : nLimit;
            if (m_nMaxPlayers > m_nMaxPlayersLimit)
                m_nMaxPlayers = m_nMaxPlayersLimit;
        }
        else if (strcmp(szArg, "-port") == 0)
        {
            if (!bHasValue)
                return;
            m_nCommandLinePort = m_nPort = ReadDecimal(szValue);
        }
        else if (strcmp(szArg, "-bindip") == 0)
        {
            if (!bHasValue)
                return;
            m_bBindHostFromCommandLine = true;
            CopyText(m_szCommandLineBindHost, szValue, sizeof(m_szCommandLineBindHost));
            CopyText(m_szBindHost, szValue, sizeof(m_szBindHost));
        }
        else if (strcmp(szArg, "-noanticheat") == 0)
        {
            m_bAnticheatFromCommandLine = true;
            m_bAnticheatDisabled = true;
        }
        else if (strcmp(szArg, "-allow-server-runas-root") == 0)
        {
            m_bRunAsRootAllowed = true;
        }
    }
}

namespace
{
// Text keys of server.cfg: the sscanf pattern that reads the key and its value.
struct STextKey
{
    const char* szKey;
    const char* szPattern;
    char* (*pfnField)(CServer& server);
    size_t nSize;
};

// Integer keys of the flood limits; a negative value counts as 0 (off).
struct SLimitKey
{
    const char* szKey;
    int SFloodLimits::*pnField;
};

const SLimitKey g_aLimitKeys[] = {
    {"queryrate", &SFloodLimits::nQueryRate},
    {"queryburst", &SFloodLimits::nQueryBurst},
    {"querybudget", &SFloodLimits::nQueryBudget},
    {"messagerate", &SFloodLimits::nMessageRate},
    {"messageburst", &SFloodLimits::nMessageBurst},
    {"connectlimit", &SFloodLimits::nConnectLimit},
};

#define TEXT_FIELD(member) [](CServer& server) -> char* { return server.member; }, sizeof(CServer::member)

const STextKey g_aTextKeys[] = {
    {"servername", "%63s %63[^\n]s", TEXT_FIELD(m_szServerName)},
    {"mapname", "%63s %63[^\n]s", TEXT_FIELD(m_szMapName)},
    {"gamemode", "%63s %63[^\n]s", TEXT_FIELD(m_szGameModeText)},
    {"password", "%63s %63[^\n]s", TEXT_FIELD(m_szPassword)},
    {"plugins", "%63s %255[^\n]s", TEXT_FIELD(m_szPlugins)},
    {"bindhost", "%63s %63[^\n]s", TEXT_FIELD(m_szBindHost)},
    {"adminpass", "%63s %63[^\n]s", TEXT_FIELD(m_szAdminPassword)},
    {"version", "%63s %11[^\n]s", TEXT_FIELD(m_szVersion)},
    {"logtimestamps", "%63s %3[^\n]s", TEXT_FIELD(m_szLogTimestamps)},
    {"controlsocket", "%63s %255[^\n]s", TEXT_FIELD(m_szControlSocket)},
    {"metricsbind", "%63s %63[^\n]s", TEXT_FIELD(m_szMetricsBind)},
};
} // namespace

void CServer::ReadConfig(const char* szPath)
{
    FILE* pFile = fopen(szPath, "r");
    if (!pFile)
        return;
    char szLine[512];
    while (fgets(szLine, sizeof(szLine), pFile))
    {
        DropLineEnd(szLine);
        char szKey[64];
        if (sscanf(szLine, "%63s", szKey) != 1)
            continue;
        ReadConfigLine(szLine, szKey);
    }
    fclose(pFile);
    // Lines printed from here on carry their time in the log.
    if (ReadDecimal(m_szLogTimestamps) != 0)
        ConsoleSetLogTimestamps(true);
}

void CServer::ReadConfigLine(const char* szLine, const char* szKey)
{
    char szScratch[64];
    for (const STextKey& key : g_aTextKeys)
    {
        if (!TextEqualNoCase(szKey, key.szKey))
            continue;
        if (strcmp(key.szKey, "bindhost") == 0 && m_bBindHostFromCommandLine)
            return;
        char* szField = key.pfnField(*this);
        if (sscanf(szLine, key.szPattern, szScratch, szField) != 2)
            WarnParameters(key.szKey);
        szField[key.nSize - 1] = '\0';
        return;
    }
    for (const SLimitKey& key : g_aLimitKeys)
    {
        if (!TextEqualNoCase(szKey, key.szKey))
            continue;
        int& nField = m_FloodLimits.*key.pnField;
        if (sscanf(szLine, "%63s %d", szScratch, &nField) != 2)
            WarnParameters(key.szKey);
        if (nField < 0)
            nField = 0;
        return;
    }
    int nValue = 0;
    if (TextEqualNoCase(szKey, "maxplayers"))
    {
        if (!ReadConfigInteger(szLine, m_nMaxPlayers))
            WarnParameters("maxplayers");
        m_nMaxPlayers = m_nMaxPlayers < 1 ? 1 : (m_nMaxPlayers > m_nMaxPlayersLimit ? m_nMaxPlayersLimit : m_nMaxPlayers);
    }
    else if (TextEqualNoCase(szKey, "port"))
    {
        if (m_nCommandLinePort > 0)
            return;
        if (!ReadConfigInteger(szLine, m_nPort))
            WarnParameters("port");
    }
    else if (TextEqualNoCase(szKey, "metricsport"))
    {
        if (!ReadConfigInteger(szLine, m_nMetricsPort))
            WarnParameters("metricsport");
    }
    else if (TextEqualNoCase(szKey, "anticheat"))
    {
        if (m_bAnticheatFromCommandLine)
            return;
        if (!ReadConfigInteger(szLine, nValue))
            WarnParameters("anticheat");
        m_bAnticheatDisabled = (nValue == 0);
    }
}
