#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LuaBindings.h"
#include "orvn_plugin.h"

namespace luahost
{

class CLuaScript;

constexpr int LUA_MAX_SCRIPTS = 32;
// Console commands that may wait for the scripts to return; more are dropped and counted.
constexpr size_t LUA_MAX_DEFERRED = 32;
constexpr int LUA_DEFAULT_TIMEOUT_MS = 500;
constexpr int LUA_DEFAULT_MEMORY_MIB = 64;

// The scripting host: reads its keys from server.cfg, loads the scripts, raises every event in them in
// load order, runs their timers on the server's tick, and answers the "lua ..." console commands. One
// per process, made by the plugin's entry point and kept until the process ends.
//
// The host's own callback slots (start, stop, plugin commands) are always set; the slot of any other
// event is set only while a loaded script handles it, and the frame slot only while a script handles
// frames, has timers or has error counts to print, so that the server's tick pays nothing for events
// no script wants.
class CLuaHost
{
public:
    using FNowMs = uint64_t (*)();

    // pCallbacks is the plugin's own callback table; pfnNowMs the clock of timers and error counts.
    CLuaHost(PluginCallbacks* pCallbacks, FNowMs pfnNowMs);
    ~CLuaHost();
    CLuaHost(const CLuaHost&) = delete;
    CLuaHost& operator=(const CLuaHost&) = delete;

    // luascripts, luatimeout and luamemory; a missing file keeps the defaults.
    void ReadConfig(const char* szPath);
    // Loads the scripts of luascripts in order; a script that fails is reported and skipped.
    void LoadConfiguredScripts();

    // The host's own callbacks.
    int OnServerInitialise();
    void OnServerShutdown();
    void OnServerFrame(float fElapsedTime);
    int OnPluginCommand(int32_t nCommandId, const char* szText);

    // Raises an event in every script that handles it; 0 when one of them refused.
    int Raise(int nSlot, FLuaPushArgs pfnPush, void* pArgs);
    // Sets or clears the callback slots to match what the scripts handle now.
    void RefreshSlots();

    // Runs a "lua ..." line; false when the line is not one. Commands that would change a script while
    // a script runs wait until the outermost script call has returned.
    bool RunConsoleLine(const char* szLine);

    int TimeoutMs() const { return m_nTimeoutMs; }
    size_t MemoryLimit() const { return m_nMemoryLimit; }
    uint64_t NowMs() const { return m_pfnNowMs(); }
    int NextTimerId() { return ++m_nLastTimerId; }
    int ScriptCount() const { return m_nScriptCount; }
    const CLuaScript* Script(int nIndex) const { return m_apScripts[nIndex]; }
    const std::vector<std::string>& ConfiguredScripts() const { return m_ConfiguredScripts; }

    // One console line through the server's LogMessage (standard output before there is one).
    void Print(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    static void PrintLine(const char* szLine);

private:
    struct SCommand
    {
        const char* szName;
        bool bNeedsName;
        void (CLuaHost::*pfnRun)(const char* szName);
    };
    static const SCommand s_aCommands[];

    void ListScripts(const char* szName);
    void LoadScript(const char* szName);
    void ReloadScript(const char* szName);
    void UnloadScript(const char* szName);
    void RunCommand(const std::string& strCommand, const std::string& strName);
    void RunDeferred();
    int FindScript(const char* szName) const;
    bool CheckName(const char* szName);
    void ReadConfigLine(const char* szLine);
    static bool IsFrameNeeded(const CLuaScript& script);
    static void FrameDispatcher(float fElapsedTime);

    PluginCallbacks* m_pCallbacks;
    // Every event's dispatcher into the scripts, copied into m_pCallbacks for the handled events.
    PluginCallbacks m_Dispatchers;
    FNowMs m_pfnNowMs;
    int m_nTimeoutMs = LUA_DEFAULT_TIMEOUT_MS;
    size_t m_nMemoryLimit = static_cast<size_t>(LUA_DEFAULT_MEMORY_MIB) << 20;
    std::vector<std::string> m_ConfiguredScripts;
    // Loaded and failed scripts in load order; entries 0 .. m_nScriptCount-1 are in use.
    CLuaScript* m_apScripts[LUA_MAX_SCRIPTS] = {};
    int m_nScriptCount = 0;
    // How many host calls into scripts are running (events, timers, loads); console commands that
    // arrive meanwhile wait in m_Deferred as (command, name).
    int m_nDepth = 0;
    std::vector<std::pair<std::string, std::string>> m_Deferred;
    int m_nDropped = 0;
    int m_nLastTimerId = 0;
};

// The one host, from the plugin's entry point until the process ends.
extern CLuaHost* g_pLuaHost;

} // namespace luahost
