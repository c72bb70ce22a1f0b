#include "CLuaScript.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "CLuaHost.h"

namespace luahost
{
namespace
{
// The watchdog's hook runs every this many instructions of any script; after a stop, at every one.
constexpr int WATCHDOG_COUNT = 1000;

// The watchdog of the outermost script call: a deadline in microseconds of the monotonic clock, 0
// while no script runs. Nested calls (a script calls the server, which raises an event into a script)
// share the outermost call's deadline. Main thread only.
uint64_t g_ullDeadlineUs = 0;
int g_nWatchdogDepth = 0;

uint64_t MonotonicUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void EnterWatchdog(int nTimeoutMs)
{
    if (g_nWatchdogDepth++ == 0)
        g_ullDeadlineUs = MonotonicUs() + static_cast<uint64_t>(nTimeoutMs) * 1000u;
}

void LeaveWatchdog()
{
    if (--g_nWatchdogDepth == 0)
        g_ullDeadlineUs = 0;
}

// The compiled-in module path without the entries under the working folder ("./?.lua"), which
// would be the server's folder rather than the scripts'.
std::string SystemPath(const char* szDefault)
{
    std::string strPath, strEntry;
    for (const char* p = szDefault;; ++p)
    {
        if (*p != ';' && *p != '\0')
        {
            strEntry += *p;
            continue;
        }
        if (!strEntry.empty() && strEntry.rfind("./", 0) != 0)
            strPath += (strPath.empty() ? "" : ";") + strEntry;
        strEntry.clear();
        if (*p == '\0')
            return strPath;
    }
}

// Runs in every new state: load, loadfile and dofile take text only (a crafted binary chunk can crash
// the interpreter), and nothing reads the server's console, which would stall the server (loadfile
// and dofile need a file name, io.read reads an empty input).
const char* const kPrelude = R"(
io.input("/dev/null")
io.stdin = nil
local rawload, rawloadfile = load, loadfile
function load(chunk, name, mode, ...)
    if select("#", ...) > 0 then return rawload(chunk, name, "t", ...) end
    return rawload(chunk, name, "t")
end
function loadfile(name, mode, ...)
    if type(name) ~= "string" then return nil, "loadfile needs a file name" end
    if select("#", ...) > 0 then return rawloadfile(name, "t", ...) end
    return rawloadfile(name, "t")
end
function dofile(name)
    if type(name) ~= "string" then error("dofile needs a file name", 2) end
    return assert(loadfile(name))()
end
)";

// Library functions a script must not have: each would end or stall the server process, load
// arbitrary native code, or switch the watchdog off.
struct SRemoved
{
    const char* szLibrary;
    const char* szFunction;
};
const SRemoved kRemoved[] = {
    {"os", "exit"},
    {"os", "execute"},
    {"io", "popen"},
    {"package", "loadlib"},
};
// What stays of the debug library.
const char* const kDebugKept[] = {"traceback", "getinfo"};

// The player limit and the entity types of OnEntityPoolChange, where the plugin header does not
// name them itself.
#ifndef ORVN_MAX_PLAYERS
#define ORVN_MAX_PLAYERS 100
#endif
#ifndef ORVN_ENTITY_VEHICLE
#define ORVN_ENTITY_VEHICLE 1
#define ORVN_ENTITY_OBJECT 2
#define ORVN_ENTITY_PICKUP 3
#endif

// Constants every script sees as globals.
struct SConstant
{
    const char* szName;
    lua_Integer llValue;
};
const SConstant kConstants[] = {
    {"ORVN_CONSOLE_COMMAND_ID", ORVN_CONSOLE_COMMAND_ID}, {"ORVN_MAX_PLAYERS", ORVN_MAX_PLAYERS},
    {"ORVN_ENTITY_VEHICLE", ORVN_ENTITY_VEHICLE},         {"ORVN_ENTITY_OBJECT", ORVN_ENTITY_OBJECT},
    {"ORVN_ENTITY_PICKUP", ORVN_ENTITY_PICKUP},
};
} // namespace

CLuaScript::CLuaScript(const char* szName, CLuaHost& host) : m_Host(host)
{
    snprintf(m_szName, sizeof(m_szName), "%s", szName);
}

CLuaScript::~CLuaScript()
{
    CloseState();
}

CLuaScript* CLuaScript::FromState(lua_State* L)
{
    void* pUser = nullptr;
    lua_getallocf(L, &pUser);
    return static_cast<CLuaScript*>(pUser);
}

// Counts every byte the state holds and refuses growth past the limit; Lua then collects garbage and
// tries once more before it raises a memory error in the script.
void* CLuaScript::Allocate(void* pUser, void* pBlock, size_t nOldSize, size_t nNewSize)
{
    CLuaScript* pScript = static_cast<CLuaScript*>(pUser);
    const size_t nHeld = pBlock ? nOldSize : 0;
    if (nNewSize == 0)
    {
        free(pBlock);
        pScript->m_nMemoryUsed -= nHeld;
        return nullptr;
    }
    if (nNewSize > nHeld && pScript->m_nMemoryUsed - nHeld + nNewSize > pScript->m_nMemoryLimit)
        return nullptr;
    void* pNew = realloc(pBlock, nNewSize);
    if (pNew)
        pScript->m_nMemoryUsed = pScript->m_nMemoryUsed - nHeld + nNewSize;
    return pNew;
}

// Stops a script that runs past its deadline with an error at the line it was on. From then on it
// fires at every instruction, so a script that catches the error with pcall is stopped again at its
// next step outside the pcall, and the error reaches the host.
void CLuaScript::WatchdogHook(lua_State* L, lua_Debug* pDebug)
{
    if (g_ullDeadlineUs == 0 || MonotonicUs() < g_ullDeadlineUs)
    {
        if (lua_gethookcount(L) != WATCHDOG_COUNT)
            lua_sethook(L, &WatchdogHook, LUA_MASKCOUNT, WATCHDOG_COUNT);
        return;
    }
    lua_sethook(L, &WatchdogHook, LUA_MASKCOUNT, 1);
    lua_getinfo(L, "Sl", pDebug);
    lua_pushfstring(L, "%s:%d: stopped: ran longer than luatimeout (%d ms)", pDebug->short_src,
                    pDebug->currentline, FromState(L)->m_Host.TimeoutMs());
    lua_error(L);
}

bool CLuaScript::OpenState()
{
    m_nMemoryUsed = 0;
    m_nMemoryLimit = m_Host.MemoryLimit();
    m_pState = lua_newstate(&CLuaScript::Allocate, this);
    if (!m_pState)
        return false;
    lua_sethook(m_pState, &WatchdogHook, LUA_MASKCOUNT, WATCHDOG_COUNT);
    lua_pushcfunction(m_pState, &CLuaScript::SetUp);
    return Run(0, 0, "setting up") == LUA_OK &&
           luaL_loadbufferx(m_pState, kPrelude, strlen(kPrelude), "=prelude", "t") == LUA_OK &&
           Run(0, 0, "prelude") == LUA_OK;
}

// Everything that may allocate runs under lua_pcall: an error outside it would end the process.
int CLuaScript::SetUp(lua_State* L)
{
    CLuaScript* pScript = FromState(L);
    pScript->OpenLibraries();
    pScript->RegisterGlobals();
    return 0;
}

void CLuaScript::OpenLibraries()
{
    lua_State* L = m_pState;
    luaL_openlibs(L);
    for (const SRemoved& removed : kRemoved)
    {
        lua_getglobal(L, removed.szLibrary);
        lua_pushnil(L);
        lua_setfield(L, -2, removed.szFunction);
        lua_pop(L, 1);
    }
    lua_getglobal(L, "debug");
    lua_createtable(L, 0, 2);
    for (const char* szKept : kDebugKept)
    {
        lua_getfield(L, -2, szKept);
        lua_setfield(L, -2, szKept);
    }
    lua_setglobal(L, "debug");
    lua_pop(L, 1);
    // Modules beside the scripts first, then those of the system's Lua packages.
    // Made once: nothing of C++ may be alive on the stack when a Lua error unwinds it.
    static const std::string strPath = "scripts/?.lua;scripts/?/init.lua;" + SystemPath(LUA_PATH_DEFAULT);
    static const std::string strCPath = "scripts/?.so;" + SystemPath(LUA_CPATH_DEFAULT);
    lua_getglobal(L, "package");
    lua_pushstring(L, strPath.c_str());
    lua_setfield(L, -2, "path");
    lua_pushstring(L, strCPath.c_str());
    lua_setfield(L, -2, "cpath");
    lua_pop(L, 1);
}

void CLuaScript::RegisterGlobals()
{
    lua_State* L = m_pState;
    int nCount = 0;
    const SLuaFunction* pFunctions = LuaFunctions(&nCount);
    for (int i = 0; i < nCount; ++i)
    {
        lua_pushcfunction(L, pFunctions[i].pfnCall);
        lua_setglobal(L, pFunctions[i].szName);
    }
    for (const SConstant& constant : kConstants)
    {
        lua_pushinteger(L, constant.llValue);
        lua_setglobal(L, constant.szName);
    }
    lua_register(L, "print", &CLuaScript::Print);
    lua_register(L, "SetTimer", &CLuaScript::SetTimer);
    lua_register(L, "KillTimer", &CLuaScript::KillTimerFromLua);
    // A handler defined after loading (in a timer, say) is noticed when its global is first set.
    lua_pushglobaltable(L);
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, &CLuaScript::NewGlobal);
    lua_setfield(L, -2, "__newindex");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
}

bool CLuaScript::Load()
{
    CloseState();
    m_strLoadError.clear();
    char szPath[64];
    snprintf(szPath, sizeof(szPath), "scripts/%s.lua", m_szName);
    if (!OpenState())
        m_strLoadError = "cannot create a Lua state";
    else if (luaL_loadfilex(m_pState, szPath, "t") != LUA_OK)
    {
        m_strLoadError = lua_tostring(m_pState, -1) ? lua_tostring(m_pState, -1) : "cannot load";
        lua_pop(m_pState, 1);
    }
    else if (Run(0, 0, "the main chunk") != LUA_OK || !CallGlobal("OnScriptLoad"))
        m_strLoadError = "the script failed while loading (see the error above)";
    if (m_strLoadError.empty())
    {
        lua_pushcfunction(m_pState, &CLuaScript::FindHandlers);
        if (Run(0, 0, "finding handlers") != LUA_OK)
            m_strLoadError = "the script's handlers could not be read";
    }
    if (!m_strLoadError.empty())
    {
        CloseState();
        return false;
    }
    return true;
}

void CLuaScript::Unload()
{
    if (m_pState)
        CallGlobal("OnScriptUnload");
    CloseState();
}

void CLuaScript::CloseState()
{
    if (!m_pState)
        return;
    FlushErrors(m_Host.NowMs(), true);
    // Finalisers run Lua code too, so the watchdog watches the close.
    EnterWatchdog(m_Host.TimeoutMs());
    lua_close(m_pState);
    LeaveWatchdog();
    m_pState = nullptr;
    m_Timers.clear();
    m_Handled.reset();
    m_Errors = CLuaErrorLog();
}

int CLuaScript::FindHandlers(lua_State* L)
{
    CLuaScript* pScript = FromState(L);
    int nCount = 0;
    const SLuaEvent* pEvents = LuaEvents(&nCount);
    pScript->m_Handled.reset();
    for (int i = 0; i < nCount; ++i)
    {
        if (lua_getglobal(L, pEvents[i].szName) == LUA_TFUNCTION)
            pScript->m_Handled.set(static_cast<size_t>(pEvents[i].nSlot));
        lua_pop(L, 1);
    }
    return 0;
}

int CLuaScript::NewGlobal(lua_State* L)
{
    const int nSlot = lua_type(L, 2) == LUA_TSTRING ? FindLuaEvent(lua_tostring(L, 2)) : -1;
    const bool bHandler = nSlot >= 0 && lua_type(L, 3) == LUA_TFUNCTION;
    lua_rawset(L, 1);
    if (bHandler)
    {
        CLuaScript* pScript = FromState(L);
        pScript->m_Handled.set(static_cast<size_t>(nSlot));
        pScript->m_Host.RefreshSlots();
    }
    return 0;
}

// Looks up the handler and pushes its arguments under lua_pcall, since both may allocate.
int CLuaScript::CallHandler(lua_State* L)
{
    const SHandlerCall* pCall = static_cast<const SHandlerCall*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    if (lua_getglobal(L, pCall->szName) != LUA_TFUNCTION)
        return 0;
    const int nArgs = pCall->pfnPush ? pCall->pfnPush(L, pCall->pArgs) : 0;
    lua_call(L, nArgs, 1);
    return 1;
}

// A global function called with no arguments when the script defines it; false when it failed.
bool CLuaScript::CallGlobal(const char* szName)
{
    SHandlerCall call = {szName, nullptr, nullptr};
    lua_pushcfunction(m_pState, &CLuaScript::CallHandler);
    lua_pushlightuserdata(m_pState, &call);
    return Run(1, 0, szName) == LUA_OK;
}

bool CLuaScript::CallEvent(int nSlot, const char* szEvent, FLuaPushArgs pfnPush, void* pArgs)
{
    lua_State* L = m_pState;
    if (!Handles(nSlot) || !lua_checkstack(L, 8))
        return true;
    SHandlerCall call = {szEvent, pfnPush, pArgs};
    lua_pushcfunction(L, &CLuaScript::CallHandler);
    lua_pushlightuserdata(L, &call);
    if (Run(1, 1, szEvent) != LUA_OK)
        return true;
    const bool bRefused = lua_isboolean(L, -1) && !lua_toboolean(L, -1);
    lua_pop(L, 1);
    return !bRefused;
}

int CLuaScript::Run(int nArgs, int nResults, const char* szWhat)
{
    lua_State* L = m_pState;
    const int nHandler = lua_gettop(L) - nArgs;
    lua_pushcfunction(L, &CLuaScript::MessageHandler);
    lua_insert(L, nHandler);
    m_strErrorPlace.clear();
    EnterWatchdog(m_Host.TimeoutMs());
    ++m_nActive;
    const int nStatus = lua_pcall(L, nArgs, nResults, nHandler);
    --m_nActive;
    LeaveWatchdog();
    lua_remove(L, nHandler);
    if (nStatus != LUA_OK)
    {
        Report(nStatus, szWhat);
        lua_pop(L, 1);
    }
    return nStatus;
}

// Turns the error into its text and a traceback, and notes the line of the script where it happened
// (the first frame that is Lua code), which is what makes two errors "the same".
int CLuaScript::MessageHandler(lua_State* L)
{
    const char* szMessage = lua_tostring(L, 1);
    if (!szMessage)
        szMessage = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    lua_Debug debug;
    CLuaScript* pScript = FromState(L);
    for (int nLevel = 1; lua_getstack(L, nLevel, &debug); ++nLevel)
    {
        lua_getinfo(L, "Sl", &debug);
        if (debug.currentline > 0)
        {
            pScript->m_strErrorPlace = std::string(debug.short_src) + ":" + std::to_string(debug.currentline);
            break;
        }
    }
    luaL_traceback(L, L, szMessage, 1);
    return 1;
}

void CLuaScript::Report(int nStatus, const char* szWhat)
{
    const char* szMessage = lua_tostring(m_pState, -1);
    std::string strText = nStatus == LUA_ERRMEM
                              ? "not enough memory: the script holds more than luamemory allows"
                              : (szMessage ? szMessage : "unknown error");
    std::string strPlace =
        (m_strErrorPlace.empty() ? std::string(m_szName) : m_strErrorPlace) + ", " + szWhat;
    if (!m_Errors.Note(strPlace, m_Host.NowMs(), &CLuaHost::PrintLine))
    {
        m_Host.RefreshSlots();
        return;
    }
    // The first line says where and what; the traceback follows, one line each.
    size_t nStart = 0;
    for (bool bFirst = true; nStart <= strText.size(); bFirst = false)
    {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nStart, nEnd - nStart);
        std::replace(strLine.begin(), strLine.end(), '\t', ' ');
        if (bFirst)
            m_Host.Print("lua: %s (in %s of %s)", strLine.c_str(), szWhat, m_szName);
        else
            m_Host.Print("lua:   %s", strLine.c_str());
        nStart = nEnd + 1;
    }
    m_Host.RefreshSlots();
}

void CLuaScript::FlushErrors(uint64_t ullNowMs, bool bAll)
{
    m_Errors.Flush(ullNowMs, bAll, &CLuaHost::PrintLine);
}

// print goes to the server's console and log like every other line.
int CLuaScript::Print(lua_State* L)
{
    const int nCount = lua_gettop(L);
    luaL_Buffer buffer;
    luaL_buffinit(L, &buffer);
    for (int i = 1; i <= nCount; ++i)
    {
        luaL_tolstring(L, i, nullptr);
        if (i > 1)
            luaL_addchar(&buffer, '\t');
        luaL_addvalue(&buffer);
    }
    luaL_pushresult(&buffer);
    FromState(L)->m_Host.Print("%s", lua_tostring(L, -1));
    return 0;
}

// SetTimer(milliseconds, fn [, repeat]) -> id
int CLuaScript::SetTimer(lua_State* L)
{
    return FromState(L)->AddTimer(L);
}

int CLuaScript::AddTimer(lua_State* L)
{
    int bIsInteger = 0;
    const lua_Integer llMs = lua_tointegerx(L, 1, &bIsInteger);
    if (lua_type(L, 1) != LUA_TNUMBER || !bIsInteger || llMs < 0 || llMs > INT32_MAX)
        return luaL_error(L, "bad argument #1 (milliseconds) to 'SetTimer' (integer 0..%d expected, got %s)",
                          INT32_MAX, luaL_typename(L, 1));
    luaL_checktype(L, 2, LUA_TFUNCTION);
    if (m_Timers.size() >= LUA_MAX_TIMERS)
        return luaL_error(L, "SetTimer: this script already has %d timers", static_cast<int>(LUA_MAX_TIMERS));
    const bool bRepeat = lua_toboolean(L, 3);
    lua_pushvalue(L, 2);
    const int nRef = luaL_ref(L, LUA_REGISTRYINDEX);
    const STimer timer = {m_Host.NextTimerId(), nRef, static_cast<uint32_t>(llMs),
                          m_Host.NowMs() + static_cast<uint64_t>(llMs), bRepeat};
    m_Timers.push_back(timer);
    m_Host.RefreshSlots();
    lua_pushinteger(L, timer.nId);
    return 1;
}

int CLuaScript::KillTimerFromLua(lua_State* L)
{
    const lua_Integer llId = luaL_checkinteger(L, 1);
    lua_pushinteger(L, FromState(L)->KillTimer(static_cast<int>(llId)) ? 1 : 0);
    return 1;
}

bool CLuaScript::KillTimer(int nId)
{
    for (auto it = m_Timers.begin(); it != m_Timers.end(); ++it)
    {
        if (it->nId != nId)
            continue;
        luaL_unref(m_pState, LUA_REGISTRYINDEX, it->nRef);
        m_Timers.erase(it);
        m_Host.RefreshSlots();
        return true;
    }
    return false;
}

// Timers may kill or add timers while they run, so the due ones are picked first and each is looked
// up again before it runs. A repeating timer that fell behind does not run twice to catch up.
void CLuaScript::RunTimers(uint64_t ullNowMs)
{
    std::vector<std::pair<uint64_t, int>> due;
    for (const STimer& timer : m_Timers)
    {
        if (timer.ullDueMs <= ullNowMs)
            due.emplace_back(timer.ullDueMs, timer.nId);
    }
    std::sort(due.begin(), due.end());
    for (const auto& entry : due)
    {
        const int nId = entry.second;
        auto it =
            std::find_if(m_Timers.begin(), m_Timers.end(), [nId](const STimer& t) { return t.nId == nId; });
        if (!m_pState || it == m_Timers.end())
            continue;
        const int nRef = it->nRef;
        const bool bRepeat = it->bRepeat;
        if (bRepeat)
        {
            it->ullDueMs += it->uiIntervalMs;
            if (it->ullDueMs <= ullNowMs)
                it->ullDueMs = ullNowMs + std::max<uint32_t>(it->uiIntervalMs, 1);
        }
        else
            m_Timers.erase(it); // its function stays referenced until it has run
        lua_rawgeti(m_pState, LUA_REGISTRYINDEX, nRef);
        Run(0, 0, "a timer");
        if (!bRepeat)
            luaL_unref(m_pState, LUA_REGISTRYINDEX, nRef);
    }
    if (!due.empty())
        m_Host.RefreshSlots();
}

} // namespace luahost
