#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <lua.hpp>

#include "CLuaErrorLog.h"
#include "LuaBindings.h"

namespace luahost
{

class CLuaHost;

constexpr int LUA_SCRIPT_NAME_SIZE = 32;
constexpr size_t LUA_MAX_TIMERS = 4096;

// One script, scripts/<name>.lua: its own Lua state (so its own globals and its own memory account),
// the events it handles, its timers and its error log. Everything runs on the server's main thread.
// The object lives from the script's first load until it is unloaded; the state inside it is made
// anew by every load and closed by every unload.
class CLuaScript
{
public:
    CLuaScript(const char* szName, CLuaHost& host);
    ~CLuaScript();
    CLuaScript(const CLuaScript&) = delete;
    CLuaScript& operator=(const CLuaScript&) = delete;

    // A fresh state runs the file, then OnScriptLoad when defined. False when either fails; the
    // state is then closed and LoadError() says why.
    bool Load();
    // OnScriptUnload when defined, then the timers go and the state is closed.
    void Unload();

    const char* Name() const { return m_szName; }
    bool IsLoaded() const { return m_pState != nullptr; }
    const std::string& LoadError() const { return m_strLoadError; }
    size_t MemoryUsed() const { return m_nMemoryUsed; }
    size_t TimerCount() const { return m_Timers.size(); }
    // True while one of this script's functions is running (possibly further down the C stack).
    bool IsActive() const { return m_nActive > 0; }
    bool Handles(int nSlot) const { return m_pState && m_Handled.test(static_cast<size_t>(nSlot)); }

    // Calls the script's handler of an event; false only when it returned false.
    bool CallEvent(int nSlot, const char* szEvent, FLuaPushArgs pfnPush, void* pArgs);
    // Runs the timers due at ullNowMs, earliest first.
    void RunTimers(uint64_t ullNowMs);
    // Prints the error summaries that are due; bAll prints every pending one.
    void FlushErrors(uint64_t ullNowMs, bool bAll);
    bool HasPendingErrors() const { return m_Errors.HasPending(); }

private:
    struct STimer
    {
        int nId;
        int nRef; // the function, in the state's registry
        uint32_t uiIntervalMs;
        uint64_t ullDueMs;
        bool bRepeat;
    };

    // What CallHandler is to call: a global by name, and how to push its arguments (none when null).
    struct SHandlerCall
    {
        const char* szName;
        FLuaPushArgs pfnPush;
        void* pArgs;
    };

    bool OpenState();
    void OpenLibraries();
    void RegisterGlobals();
    void CloseState();
    bool CallGlobal(const char* szName);
    // Calls the function under nArgs arguments on the stack, under the watchdog, leaving nResults;
    // reports a failure, which leaves nothing. szWhat names the handler for the report.
    int Run(int nArgs, int nResults, const char* szWhat);
    void Report(int nStatus, const char* szWhat);
    int AddTimer(lua_State* L);
    bool KillTimer(int nId);

    static CLuaScript* FromState(lua_State* L);
    static void* Allocate(void* pUser, void* pBlock, size_t nOldSize, size_t nNewSize);
    static void WatchdogHook(lua_State* L, lua_Debug* pDebug);
    static int MessageHandler(lua_State* L);
    static int SetUp(lua_State* L);
    static int FindHandlers(lua_State* L);
    static int CallHandler(lua_State* L);
    static int Print(lua_State* L);
    static int SetTimer(lua_State* L);
    static int KillTimerFromLua(lua_State* L);
    static int NewGlobal(lua_State* L);

    char m_szName[LUA_SCRIPT_NAME_SIZE];
    CLuaHost& m_Host;
    lua_State* m_pState = nullptr;
    // Bytes the state holds now; the allocator refuses growth past the host's limit.
    size_t m_nMemoryUsed = 0;
    size_t m_nMemoryLimit = 0;
    int m_nActive = 0;
    std::bitset<ORVN_PLUGIN_CALLBACKS_SLOTS> m_Handled;
    std::vector<STimer> m_Timers;
    CLuaErrorLog m_Errors;
    // Where the error being reported happened, found by the message handler; empty when unknown.
    std::string m_strErrorPlace;
    std::string m_strLoadError;
};

} // namespace luahost
