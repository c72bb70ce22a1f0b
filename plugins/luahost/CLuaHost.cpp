#include "CLuaHost.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "CLuaScript.h"

namespace luahost
{

CLuaHost* g_pLuaHost = nullptr;

// The dispatchers of the bindings call back into the one host.
int RaiseLuaEvent(int nSlot, FLuaPushArgs pfnPush, void* pArgs)
{
    return g_pLuaHost ? g_pLuaHost->Raise(nSlot, pfnPush, pArgs) : 1;
}

namespace
{
// Slots the host always holds itself; the frame slot it sets as needed.
constexpr int SLOT_INITIALISE = static_cast<int>(ORVN_CALLBACKS_SLOT_INDEX(OnServerInitialise));
constexpr int SLOT_SHUTDOWN = static_cast<int>(ORVN_CALLBACKS_SLOT_INDEX(OnServerShutdown));
constexpr int SLOT_FRAME = static_cast<int>(ORVN_CALLBACKS_SLOT_INDEX(OnServerFrame));
constexpr int SLOT_PLUGIN_COMMAND = static_cast<int>(ORVN_CALLBACKS_SLOT_INDEX(OnPluginCommand));
constexpr int MAX_SCRIPT_NAME = LUA_SCRIPT_NAME_SIZE - 1;

// Whole-number keys of server.cfg with their range; a value outside it keeps the default.
struct SNumberKey
{
    const char* szKey;
    int nMin;
    int nMax;
};
const SNumberKey kTimeoutKey = {"luatimeout", 1, 600000};
const SNumberKey kMemoryKey = {"luamemory", 1, 4096};

void WarnParameters(const char* szKey)
{
    g_pLuaHost->Print("Warning: parameters for '%s' in config were not as expected", szKey);
}

bool ReadNumberKey(const char* szLine, const SNumberKey& key, int& nValue)
{
    char szKey[64];
    int nRead = 0;
    if (sscanf(szLine, "%63s %d", szKey, &nRead) != 2 || nRead < key.nMin || nRead > key.nMax)
    {
        WarnParameters(key.szKey);
        return false;
    }
    nValue = nRead;
    return true;
}

// The words of a list separated by spaces or tabs.
std::vector<std::string> SplitWords(const char* szText)
{
    std::vector<std::string> words;
    std::string strWord;
    for (const char* p = szText;; ++p)
    {
        if (*p != ' ' && *p != '\t' && *p != '\0')
        {
            strWord += *p;
            continue;
        }
        if (!strWord.empty())
            words.push_back(strWord);
        strWord.clear();
        if (*p == '\0')
            return words;
    }
}
} // namespace

const CLuaHost::SCommand CLuaHost::s_aCommands[] = {
    {"list", false, &CLuaHost::ListScripts},
    {"load", true, &CLuaHost::LoadScript},
    {"reload", true, &CLuaHost::ReloadScript},
    {"unload", true, &CLuaHost::UnloadScript},
};

CLuaHost::CLuaHost(PluginCallbacks* pCallbacks, FNowMs pfnNowMs)
    : m_pCallbacks(pCallbacks), m_Dispatchers(), m_pfnNowMs(pfnNowMs)
{
    int nCount = 0;
    const SLuaEvent* pEvents = LuaEvents(&nCount);
    for (int i = 0; i < nCount; ++i)
        pEvents[i].pfnInstall(&m_Dispatchers, true);
}

CLuaHost::~CLuaHost()
{
    for (int i = 0; i < m_nScriptCount; ++i)
        delete m_apScripts[i];
}

void CLuaHost::Print(const char* szFormat, ...)
{
    char szLine[1024];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    PrintLine(szLine);
}

void CLuaHost::PrintLine(const char* szLine)
{
    if (g_pLuaFuncs && g_pLuaFuncs->LogMessage)
        g_pLuaFuncs->LogMessage("%s", szLine);
    else
        printf("%s\n", szLine);
}

// Lines are read in pieces of 511 characters and keys compare without case, as the server reads the
// file; the server ignores these keys, so reading them here changes nothing for it.
void CLuaHost::ReadConfig(const char* szPath)
{
    FILE* pFile = fopen(szPath, "r");
    if (!pFile)
        return;
    char szLine[512];
    while (fgets(szLine, sizeof(szLine), pFile))
    {
        szLine[strcspn(szLine, "\r\n")] = '\0';
        ReadConfigLine(szLine);
    }
    fclose(pFile);
}

void CLuaHost::ReadConfigLine(const char* szLine)
{
    char szKey[64];
    if (sscanf(szLine, "%63s", szKey) != 1)
        return;
    int nValue = 0;
    if (strcasecmp(szKey, "luascripts") == 0)
    {
        char szList[256] = {};
        if (sscanf(szLine, "%63s %255[^\n]", szKey, szList) != 2)
            WarnParameters("luascripts");
        m_ConfiguredScripts = SplitWords(szList);
    }
    else if (strcasecmp(szKey, kTimeoutKey.szKey) == 0 && ReadNumberKey(szLine, kTimeoutKey, nValue))
        m_nTimeoutMs = nValue;
    else if (strcasecmp(szKey, kMemoryKey.szKey) == 0 && ReadNumberKey(szLine, kMemoryKey, nValue))
        m_nMemoryLimit = static_cast<size_t>(nValue) << 20;
}

void CLuaHost::LoadConfiguredScripts()
{
    for (const std::string& strName : m_ConfiguredScripts)
        LoadScript(strName.c_str());
}

// Scripts load here rather than in the entry point: from now on the server's pools exist, so the main
// chunk may create vehicles and classes. The scripts' own OnServerInitialise follows; a false
// answer stops the server as a C plugin's 0 does.
int CLuaHost::OnServerInitialise()
{
    ReadConfig("server.cfg");
    LoadConfiguredScripts();
    RefreshSlots();
    return m_Dispatchers.OnServerInitialise();
}

// The scripts hear the shutdown, then each goes as on unload (OnScriptUnload, so a script can save
// what it keeps).
void CLuaHost::OnServerShutdown()
{
    m_Dispatchers.OnServerShutdown();
    ++m_nDepth;
    for (int i = 0; i < m_nScriptCount; ++i)
        m_apScripts[i]->Unload();
    --m_nDepth;
    m_Deferred.clear();
    RefreshSlots();
}

void CLuaHost::OnServerFrame(float fElapsedTime)
{
    m_Dispatchers.OnServerFrame(fElapsedTime);
    const uint64_t ullNowMs = NowMs();
    ++m_nDepth;
    for (int i = 0; i < m_nScriptCount; ++i)
    {
        if (m_apScripts[i]->TimerCount() > 0)
            m_apScripts[i]->RunTimers(ullNowMs);
        if (m_apScripts[i]->HasPendingErrors())
            m_apScripts[i]->FlushErrors(ullNowMs, false);
    }
    --m_nDepth;
    RunDeferred();
    RefreshSlots();
}

// "lua ..." console lines are the host's; every other command goes to the scripts' handlers.
int CLuaHost::OnPluginCommand(int32_t nCommandId, const char* szText)
{
    if (nCommandId == ORVN_CONSOLE_COMMAND_ID && szText && RunConsoleLine(szText))
        return 0;
    return m_Dispatchers.OnPluginCommand(nCommandId, szText);
}

int CLuaHost::Raise(int nSlot, FLuaPushArgs pfnPush, void* pArgs)
{
    int nCount = 0;
    const SLuaEvent& event = LuaEvents(&nCount)[nSlot];
    int nAnswer = 1;
    const int nScripts = m_nScriptCount; // a script loaded meanwhile hears the next event
    ++m_nDepth;
    for (int i = 0; i < nScripts && i < m_nScriptCount; ++i)
    {
        if (!m_apScripts[i]->CallEvent(nSlot, event.szName, pfnPush, pArgs))
            nAnswer = 0;
    }
    --m_nDepth;
    RunDeferred();
    return nAnswer;
}

bool CLuaHost::IsFrameNeeded(const CLuaScript& script)
{
    return script.Handles(SLOT_FRAME) || script.TimerCount() > 0 || script.HasPendingErrors();
}

void CLuaHost::RefreshSlots()
{
    int nCount = 0;
    const SLuaEvent* pEvents = LuaEvents(&nCount);
    bool bFrame = false;
    for (int i = 0; i < m_nScriptCount; ++i)
        bFrame = bFrame || IsFrameNeeded(*m_apScripts[i]);
    for (int nSlot = 0; nSlot < nCount; ++nSlot)
    {
        if (nSlot == SLOT_INITIALISE || nSlot == SLOT_SHUTDOWN || nSlot == SLOT_PLUGIN_COMMAND ||
            nSlot == SLOT_FRAME)
            continue;
        bool bHandled = false;
        for (int i = 0; i < m_nScriptCount && !bHandled; ++i)
            bHandled = m_apScripts[i]->Handles(nSlot);
        pEvents[nSlot].pfnInstall(m_pCallbacks, bHandled);
    }
    m_pCallbacks->OnServerFrame = bFrame ? &CLuaHost::FrameDispatcher : nullptr;
}

void CLuaHost::FrameDispatcher(float fElapsedTime)
{
    g_pLuaHost->OnServerFrame(fElapsedTime);
}

bool CLuaHost::RunConsoleLine(const char* szLine)
{
    const std::vector<std::string> words = SplitWords(szLine);
    if (words.empty() || strcasecmp(words[0].c_str(), "lua") != 0)
        return false;
    const std::string strCommand = words.size() > 1 ? words[1] : "";
    const std::string strName = words.size() > 2 ? words[2] : "";
    if (m_nDepth > 0 && m_Deferred.size() < LUA_MAX_DEFERRED)
        m_Deferred.emplace_back(strCommand, strName);
    else if (m_nDepth > 0)
        ++m_nDropped;
    else
        RunCommand(strCommand, strName);
    return true;
}

void CLuaHost::RunCommand(const std::string& strCommand, const std::string& strName)
{
    for (const SCommand& command : s_aCommands)
    {
        if (strcasecmp(command.szName, strCommand.c_str()) != 0 || command.bNeedsName == strName.empty())
            continue;
        (this->*command.pfnRun)(strName.c_str());
        RefreshSlots();
        RunDeferred();
        return;
    }
    Print("lua: usage: lua list | lua load <name> | lua reload <name> | lua unload <name>");
}

void CLuaHost::RunDeferred()
{
    if (m_nDepth > 0)
        return;
    if (m_nDropped > 0)
        Print("lua: %d lua commands dropped: at most %zu wait while scripts run", m_nDropped,
              LUA_MAX_DEFERRED);
    m_nDropped = 0;
    while (!m_Deferred.empty())
    {
        const auto command = m_Deferred.front();
        m_Deferred.erase(m_Deferred.begin());
        RunCommand(command.first, command.second);
    }
}

void CLuaHost::ListScripts(const char*)
{
    if (m_nScriptCount == 0)
        Print("lua: no scripts");
    for (int i = 0; i < m_nScriptCount; ++i)
    {
        const CLuaScript& script = *m_apScripts[i];
        if (script.IsLoaded())
            Print("lua: %s: loaded, %zu KiB, %zu timers", script.Name(), (script.MemoryUsed() + 1023) / 1024,
                  script.TimerCount());
        else
            Print("lua: %s: failed, 0 KiB: %s", script.Name(), script.LoadError().c_str());
    }
}

// Names are plain words, so that a console line can name no file outside scripts/.
bool CLuaHost::CheckName(const char* szName)
{
    const size_t nLength = strlen(szName);
    bool bValid = nLength > 0 && nLength <= MAX_SCRIPT_NAME;
    for (size_t i = 0; i < nLength && bValid; ++i)
        bValid = isalnum(static_cast<unsigned char>(szName[i])) || szName[i] == '_' || szName[i] == '-';
    if (!bValid)
        Print("lua: '%s' is no script name: use letters, digits, '_' and '-', at most %d", szName,
              MAX_SCRIPT_NAME);
    return bValid;
}

int CLuaHost::FindScript(const char* szName) const
{
    for (int i = 0; i < m_nScriptCount; ++i)
    {
        if (strcmp(m_apScripts[i]->Name(), szName) == 0)
            return i;
    }
    return -1;
}

void CLuaHost::LoadScript(const char* szName)
{
    if (!CheckName(szName))
        return;
    const int nIndex = FindScript(szName);
    if (nIndex >= 0 && m_apScripts[nIndex]->IsLoaded())
    {
        Print("lua: %s is loaded already; lua reload %s loads it again", szName, szName);
        return;
    }
    if (nIndex < 0 && m_nScriptCount == LUA_MAX_SCRIPTS)
    {
        Print("lua: cannot load %s: %d scripts are the most", szName, LUA_MAX_SCRIPTS);
        return;
    }
    CLuaScript* pScript = nIndex >= 0 ? m_apScripts[nIndex] : new CLuaScript(szName, *this);
    if (nIndex < 0)
        m_apScripts[m_nScriptCount++] = pScript;
    ++m_nDepth;
    const bool bLoaded = pScript->Load();
    --m_nDepth;
    if (bLoaded)
        Print("lua: loaded %s", szName);
    else
        Print("lua: cannot load %s: %s", szName, pScript->LoadError().c_str());
}

void CLuaHost::ReloadScript(const char* szName)
{
    const int nIndex = FindScript(szName);
    if (nIndex < 0)
    {
        Print("lua: no script %s; lua load %s loads it", szName, szName);
        return;
    }
    ++m_nDepth;
    m_apScripts[nIndex]->Unload();
    --m_nDepth;
    LoadScript(szName);
}

void CLuaHost::UnloadScript(const char* szName)
{
    const int nIndex = FindScript(szName);
    if (nIndex < 0)
    {
        Print("lua: no script %s", szName);
        return;
    }
    CLuaScript* pScript = m_apScripts[nIndex];
    ++m_nDepth;
    pScript->Unload();
    --m_nDepth;
    for (int i = nIndex; i + 1 < m_nScriptCount; ++i)
        m_apScripts[i] = m_apScripts[i + 1];
    m_apScripts[--m_nScriptCount] = nullptr;
    delete pScript;
    Print("lua: unloaded %s", szName);
}

} // namespace luahost
