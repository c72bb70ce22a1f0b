// The scripting host in-process: events and answers across scripts, callback slots that follow what
// the scripts handle, timers, error counting, the watchdog, the memory limit, the sandbox, the console
// commands and the README's persistence snippet.
#include "LuaHostFixture.h"

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>

namespace
{
using Clock = std::chrono::steady_clock;

// SendPluginCommand of the test table: formats and raises OnPluginCommand in the host, as the server
// raises it in every plugin.
int32_t SendCommand(int32_t nCommandId, const char* szFormat, ...)
{
    char szText[512];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szText, sizeof(szText), szFormat, args);
    va_end(args);
    luahost::g_pLuaHost->OnPluginCommand(nCommandId, szText);
    return 1;
}

// SendClientMessage of the test table: the chat line goes to the console lines.
int32_t LogChatLine(int32_t, int32_t, const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    CLuaHostFixture::Log("%s", va_arg(args, const char*));
    va_end(args);
    return 1;
}

int32_t PlayerName(int32_t, char* szBuffer, int32_t nSize)
{
    snprintf(szBuffer, static_cast<size_t>(nSize), "Alice");
    return 1;
}
} // namespace

TEST_F(CLuaHostFixture, EveryScriptHearsEventsInOrderWithItsOwnGlobalsAndFalseRefuses)
{
    Script("first", "shared = 'first'\n"
                    "function OnPlayerRequestSpawn(id) LogMessage('first ' .. id) if id == 3 then return "
                    "false end end\n");
    Script("second", "function OnPlayerRequestSpawn(id) LogMessage('second ' .. id .. ' ' .. "
                     "tostring(shared)) return 0 end\n"
                     "function OnScriptLoad() SetTimer(10, function() function OnPlayerUpdate(id, kind) "
                     "LogMessage('update ' .. id .. ' ' .. kind) end end) end\n");
    ASSERT_EQ(Start("luascripts first\tsecond \n"), 1) << AllLines();
    ASSERT_NE(m_Callbacks.OnPlayerRequestSpawn, nullptr);
    EXPECT_EQ(m_Callbacks.OnPlayerConnect, nullptr);
    EXPECT_EQ(m_Callbacks.OnPlayerUpdate, nullptr);

    s_Lines.clear();
    EXPECT_EQ(m_Callbacks.OnPlayerRequestSpawn(3), 0);
    EXPECT_EQ(m_Callbacks.OnPlayerRequestSpawn(4), 1); // 0 is a value, not a refusal
    EXPECT_EQ(Lines(), (std::vector<std::string>{"first 3", "second 3 nil", "first 4", "second 4 nil"}));

    // A handler defined later, from a timer, gets its slot at once; the frame slot goes with the timer.
    ASSERT_NE(m_Callbacks.OnServerFrame, nullptr);
    Frame(10);
    ASSERT_NE(m_Callbacks.OnPlayerUpdate, nullptr);
    EXPECT_EQ(m_Callbacks.OnServerFrame, nullptr);
    m_Callbacks.OnPlayerUpdate(5, 2);
    EXPECT_TRUE(Printed("update 5 2"));
}

TEST_F(CLuaHostFixture, ScriptsRefusingTheStartStopTheServerAndBrokenScriptsAreSkipped)
{
    Script("broken", "function OnPlayerConnect(id)\n  x = = 1\nend\n");
    Script("fine", "function OnServerInitialise() LogMessage('fine starts') end\n");
    ASSERT_EQ(Start("luascripts broken missing fine ../etc\n"), 1);
    EXPECT_TRUE(Printed("lua: cannot load broken: scripts/broken.lua:2: unexpected symbol near '='"));
    EXPECT_TRUE(Printed("lua: cannot load missing: cannot open scripts/missing.lua"));
    EXPECT_TRUE(Printed("lua: '../etc' is no script name"));
    EXPECT_TRUE(Printed("fine starts"));
    EXPECT_EQ(m_Callbacks.OnPlayerConnect, nullptr);

    Script("refuses", "function OnServerInitialise() return false end\n");
    luahost::CLuaHost other(&m_Callbacks, [] { return s_ullNowMs; });
    luahost::g_pLuaHost = &other;
    m_Dir.Write("server.cfg", "luascripts refuses\n");
    EXPECT_EQ(other.OnServerInitialise(), 0);
    luahost::g_pLuaHost = m_pHost.get();
}

TEST_F(CLuaHostFixture, TimersRunOnTheTickUntilKilledAndGoWithTheirScript)
{
    Script("clock",
           "once = SetTimer(100, function() LogMessage('once') end)\n"
           "local n = 0\n"
           "every = SetTimer(50, function() n = n + 1 LogMessage('every ' .. n) "
           "if n == 3 then LogMessage('killed ' .. KillTimer(every) .. KillTimer(every)) end end, true)\n");
    ASSERT_EQ(Start("luascripts clock\n"), 1);
    Frame(49);
    EXPECT_TRUE(Lines().size() == 1) << AllLines(); // "lua: loaded clock"
    Frame(1);
    Frame(50);
    Frame(0);
    Frame(120); // late: runs once, not twice to catch up
    Frame(50);
    EXPECT_EQ(std::vector<std::string>(Lines().begin() + 1, Lines().end()),
              (std::vector<std::string>{"every 1", "once", "every 2", "every 3", "killed 10"}));
    EXPECT_EQ(m_Callbacks.OnServerFrame, nullptr);

    Script("clock", "SetTimer(0, function() LogMessage('tick') end, true)\n");
    Console("lua reload clock");
    Frame(1);
    Frame(1);
    Console("lua unload clock");
    Frame(1);
    EXPECT_EQ(std::count(Lines().begin(), Lines().end(), "tick"), 2);
    EXPECT_EQ(m_Callbacks.OnServerFrame, nullptr);
}

TEST_F(CLuaHostFixture, AnErrorPrintsOnceWithItsTracebackThenCountsWithOneSummaryAMinute)
{
    Script("throws", "local function check(id)\n  error('bad player ' .. id)\nend\n"
                     "function OnPlayerUpdate(id) check(id) end\n"
                     "function OnPickupPickAttempt(pickup, id) check(id) end\n");
    ASSERT_EQ(Start("luascripts throws\n"), 1);
    s_Lines.clear();
    for (int i = 0; i < 100; ++i)
        m_Callbacks.OnPlayerUpdate(i, 0);
    EXPECT_EQ(m_Callbacks.OnPickupPickAttempt(1, 7), 1); // a failed handler allows the request
    ASSERT_GE(Lines().size(), 3u) << AllLines();
    EXPECT_EQ(Lines()[0], "lua: scripts/throws.lua:2: bad player 0 (in OnPlayerUpdate of throws)");
    EXPECT_EQ(Lines()[1], "lua:   stack traceback:");
    EXPECT_TRUE(Printed("scripts/throws.lua:4: in function 'OnPlayerUpdate'")) << AllLines();
    EXPECT_TRUE(Printed("lua: scripts/throws.lua:2: bad player 7 (in OnPickupPickAttempt of throws)"));
    const size_t nPrinted = Lines().size();

    Frame(59999);
    EXPECT_EQ(Lines().size(), nPrinted);
    Frame(1);
    ASSERT_EQ(Lines().size(), nPrinted + 1) << AllLines();
    EXPECT_EQ(Lines().back(), "lua: scripts/throws.lua:2, OnPlayerUpdate: the same error 99 more times");
    // A quiet minute forgets the place: the next error is printed in full again.
    Frame(60000);
    EXPECT_EQ(m_Callbacks.OnServerFrame, nullptr);
    m_Callbacks.OnPlayerUpdate(5, 0);
    ASSERT_GT(Lines().size(), nPrinted + 1);
    EXPECT_EQ(Lines()[nPrinted + 1], "lua: scripts/throws.lua:2: bad player 5 (in OnPlayerUpdate of throws)")
        << AllLines();
    // Counts still waiting are printed when the script goes.
    m_Callbacks.OnPlayerUpdate(6, 0);
    Console("lua unload throws");
    EXPECT_TRUE(Printed("lua: scripts/throws.lua:2, OnPlayerUpdate: the same error 1 more time"));
}

TEST_F(CLuaHostFixture, TheWatchdogStopsRunawayHandlersEvenUnderPcallAndTheScriptStaysLoaded)
{
    Script("spin", "function OnPlayerUpdate(id)\n  if id == 1 then\n    while true do end\n  end\n"
                   "  LogMessage('update ' .. id)\nend\n"
                   "function OnPlayerMessage(id, text)\n  while true do pcall(function() while true do end "
                   "end) end\nend\n");
    ASSERT_EQ(Start("luatimeout 50\nluascripts spin\n"), 1);
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        const Clock::time_point start = Clock::now();
        if (nRound == 0)
            m_Callbacks.OnPlayerUpdate(1, 0);
        else
            EXPECT_EQ(m_Callbacks.OnPlayerMessage(1, "hi"), 1);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
    }
    EXPECT_TRUE(Printed(
        "lua: scripts/spin.lua:3: stopped: ran longer than luatimeout (50 ms) (in OnPlayerUpdate of spin)"))
        << AllLines();
    EXPECT_TRUE(Printed("stopped: ran longer than luatimeout (50 ms) (in OnPlayerMessage of spin)"))
        << AllLines();
    m_Callbacks.OnPlayerUpdate(2, 0);
    EXPECT_TRUE(Printed("update 2"));
}

TEST_F(CLuaHostFixture, AScriptPastLuamemoryGetsAMemoryErrorAndKeepsRunning)
{
    Script("hungry", "function OnPlayerUpdate(id)\n  local t = {}\n  for i = 1, 1e7 do t[i] = i end\nend\n"
                     "function OnPlayerConnect(id) LogMessage('still here ' .. id) end\n");
    ASSERT_EQ(Start("luamemory 1\nluascripts hungry\n"), 1);
    m_Callbacks.OnPlayerUpdate(1, 0);
    EXPECT_TRUE(Printed(
        "lua: not enough memory: the script holds more than luamemory allows (in OnPlayerUpdate of hungry)"))
        << AllLines();
    EXPECT_LE(m_pHost->Script(0)->MemoryUsed(), 1u << 20);
    m_Callbacks.OnPlayerConnect(4);
    EXPECT_TRUE(Printed("still here 4"));
}

TEST_F(CLuaHostFixture, ScriptsCannotEndTheProcessButRequireFindsModulesBesideThem)
{
    Script("helper", "return {greeting = 'hello from helper'}\n");
    Script("sandbox", "print('removed', os.exit == nil and os.execute == nil and io.popen == nil and "
                      "package.loadlib == nil and debug.sethook == nil, debug.traceback ~= nil)\n"
                      "print(load(string.dump(function() end)))\n"
                      "print(pcall(dofile))\n"
                      "print('console', io.read(), io.stdin)\n"
                      "print(require('helper').greeting)\n");
    ASSERT_EQ(Start("luascripts sandbox\n"), 1);
    EXPECT_TRUE(Printed("removed\ttrue\ttrue")) << AllLines();
    EXPECT_TRUE(Printed("nil\tattempt to load a binary chunk (mode is 't')")) << AllLines();
    EXPECT_TRUE(Printed("false\tdofile needs a file name")) << AllLines();
    EXPECT_TRUE(Printed("console\tnil\tnil")) << AllLines();
    EXPECT_TRUE(Printed("hello from helper")) << AllLines();
}

TEST_F(CLuaHostFixture, ConsoleCommandsListLoadReloadAndUnloadScriptsWithoutTouchingOthers)
{
    m_Funcs.SendPluginCommand = &SendCommand;
    Script("mode", "function OnPlayerConnect(id) LogMessage('old mode ' .. id) end\n"
                   "function OnScriptUnload() LogMessage('mode goes') end\n");
    Script("other",
           "loads = (loads or 0) + 1\nfunction OnPlayerConnect(id) LogMessage('other ' .. loads) end\n"
           "function OnPluginCommand(id, text) if text == 'restart' then "
           "SendPluginCommand(ORVN_CONSOLE_COMMAND_ID, 'lua reload other') LogMessage('asked') return false "
           "end if text == 'flood' then for i = 1, 40 do "
           "SendPluginCommand(ORVN_CONSOLE_COMMAND_ID, 'lua unload nothere') end end end\n");
    Script("broken", "x = = 1\n");
    ASSERT_EQ(Start("luascripts mode other broken\n"), 1);
    s_Lines.clear();
    Console("LUA list");
    ASSERT_EQ(Lines().size(), 3u) << AllLines();
    EXPECT_TRUE(std::regex_match(Lines()[0], std::regex("lua: mode: loaded, [0-9]+ KiB, 0 timers")))
        << Lines()[0];
    EXPECT_EQ(Lines()[2], "lua: broken: failed, 0 KiB: scripts/broken.lua:1: unexpected symbol near '='");

    Script("mode", "function OnPlayerConnect(id) LogMessage('new mode ' .. id) end\n");
    Console("lua reload mode");
    m_Callbacks.OnPlayerConnect(2);
    EXPECT_TRUE(Printed("mode goes"));
    EXPECT_TRUE(Printed("new mode 2"));
    EXPECT_TRUE(Printed("other 1")); // the other script kept its state

    // A script asking for its own reload from inside a handler is reloaded once the handler is done.
    s_Lines.clear();
    EXPECT_EQ(m_pHost->OnPluginCommand(7, "restart"), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"asked", "lua: loaded other"}));
    // Commands waiting meanwhile are bounded.
    s_Lines.clear();
    m_pHost->OnPluginCommand(7, "flood");
    ASSERT_EQ(Lines().size(), 33u);
    EXPECT_EQ(Lines()[0], "lua: 8 lua commands dropped: at most 32 wait while scripts run");
    EXPECT_EQ(Lines()[32], "lua: no script nothere");

    s_Lines.clear();
    Console("lua unload mode");
    Console("lua unload mode");
    Console("lua load other");
    Console("lua reload");
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "lua: unloaded mode", "lua: no script mode",
                  "lua: other is loaded already; lua reload other loads it again",
                  "lua: usage: lua list | lua load <name> | lua reload <name> | lua unload <name>"}));
    EXPECT_EQ(m_pHost->OnPluginCommand(ORVN_CONSOLE_COMMAND_ID, "luac list"), 1);
}

// The persistence snippet of the README, as a reader would paste it into scripts/visits.lua.
TEST_F(CLuaHostFixture, TheReadmePersistenceSnippetKeepsItsDataAcrossAReload)
{
    std::ifstream readme(std::string(ORVN_SOURCE_DIR) + "/README.md");
    std::stringstream text;
    text << readme.rdbuf();
    std::smatch match;
    const std::string strReadme = text.str();
    ASSERT_TRUE(
        std::regex_search(strReadme, match, std::regex("<!-- persistence snippet -->\n```lua\n([^`]*)```")));
    Script("visits", match[1].str());
    m_Funcs.GetPlayerName = &PlayerName;
    m_Funcs.SendClientMessage = &LogChatLine;
    ASSERT_EQ(Start("luascripts visits\n"), 1) << AllLines();
    m_Callbacks.OnPlayerConnect(0);
    m_Callbacks.OnPlayerConnect(0);
    Console("lua reload visits");
    m_Callbacks.OnPlayerConnect(0);
    EXPECT_TRUE(Printed("Welcome, Alice: visit 3.")) << AllLines();
    m_pHost->OnServerShutdown();
    EXPECT_TRUE(m_Dir.Exists("scripts/visits.json"));
}
