// Cost of the scripting host's two crossings: one event raised into a Lua handler (the relay
// benchmark's handler: read the player's position, count the update) and one server function called
// from Lua (GetPlayerPosition, three results). The function table holds test functions, so the
// figures are the binding's own cost, not the server's.
#include <filesystem>

#include <benchmark/benchmark.h>

#include "CLuaHost.h"
#include "LuaBindings.h"
#include "support/TempDir.h"

namespace
{
int32_t Position(int32_t nPlayer, float* pfX, float* pfY, float* pfZ)
{
    *pfX = static_cast<float>(nPlayer), *pfY = 2.0f, *pfZ = 3.0f;
    return 1;
}
int32_t Log(const char*, ...)
{
    return 1;
}
uint64_t Now()
{
    return 0;
}

// A host in a fresh folder with one script; lives for one benchmark run.
struct SBenchHost
{
    explicit SBenchHost(const char* szScript)
    {
        std::filesystem::create_directories(m_Dir.File("scripts"));
        m_Dir.Write("scripts/bench.lua", szScript);
        m_Dir.Write("server.cfg", "luascripts bench\n");
        m_Funcs.GetPlayerPosition = &Position;
        m_Funcs.LogMessage = &Log;
        g_pLuaFuncs = &m_Funcs;
        luahost::g_pLuaHost = &m_Host;
        m_Host.OnServerInitialise();
    }
    ~SBenchHost() { luahost::g_pLuaHost = nullptr; }

    CTempDir m_Dir;
    CScopedChdir m_Chdir{m_Dir.Path()};
    PluginFuncs m_Funcs = {};
    PluginCallbacks m_Callbacks = {};
    luahost::CLuaHost m_Host{&m_Callbacks, &Now};
};

const char* const kScript = R"(
local updates = {}
function OnPlayerUpdate(playerId, updateType)
    local x, y, z = GetPlayerPosition(playerId)
    updates[playerId] = (updates[playerId] or 0) + 1
end
function OnPluginCommand(commandId, text)
    local get = GetPlayerPosition
    for i = 1, 1000 do get(7) end
end
)";

void BM_EventIntoLuaHandler(benchmark::State& state)
{
    SBenchHost host(kScript);
    int32_t nPlayer = 0;
    for (auto _ : state)
    {
        host.m_Callbacks.OnPlayerUpdate(nPlayer, 0);
        nPlayer = (nPlayer + 1) % 100;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EventIntoLuaHandler);

// 1000 calls from one Lua loop per iteration; the items rate is the rate of single calls.
void BM_ServerFunctionFromLua(benchmark::State& state)
{
    SBenchHost host(kScript);
    for (auto _ : state)
        host.m_Host.OnPluginCommand(1, "go");
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_ServerFunctionFromLua);
} // namespace

BENCHMARK_MAIN();
