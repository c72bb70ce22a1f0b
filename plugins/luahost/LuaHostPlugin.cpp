// The plugin's entry point: keeps the function table, makes the host and takes the host's own slots.
#include <dlfcn.h>

#include "CLuaHost.h"
#include "LuaBindings.h"

namespace
{
using luahost::g_pLuaHost;

// The server's clock, the same that scripts read with GetTime.
uint64_t ServerNowMs()
{
    uint64_t ullNow = 0;
    g_pLuaFuncs->GetTime(&ullNow);
    return ullNow;
}

// The server opens plugins with their symbols kept to themselves, and with them the Lua library this
// plugin links. Lua modules written in C (cjson, luasql) find the Lua API among the process's global
// symbols, so the library that holds it is made global.
void ShareLuaSymbols()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&lua_newstate), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
}

int32_t OnServerInitialise()
{
    return g_pLuaHost->OnServerInitialise();
}

void OnServerShutdown()
{
    g_pLuaHost->OnServerShutdown();
}

int32_t OnPluginCommand(int32_t nCommandId, const char* szText)
{
    return g_pLuaHost->OnPluginCommand(nCommandId, szText);
}
} // namespace

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    if (g_pLuaHost)
        return 0; // listed twice: one host serves every script
    g_pLuaFuncs = functions;
    ShareLuaSymbols();
    g_pLuaHost = new luahost::CLuaHost(callbacks, &ServerNowMs);
    callbacks->OnServerInitialise = &OnServerInitialise;
    callbacks->OnServerShutdown = &OnServerShutdown;
    callbacks->OnPluginCommand = &OnPluginCommand;
    return 1;
}
