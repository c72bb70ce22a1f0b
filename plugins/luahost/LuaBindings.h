#pragma once

// The binding table: one entry per slot of the function table and of the callback table, in slot
// order, each derived by the compiler from the slot's C type (LuaConventions.h) and named by the slot
// list that the build generates from the SDK header.

#include <string>

#include <lua.hpp>

#include "orvn_plugin.h"

namespace luahost
{

// A slot of the function table as a Lua global of the same name.
struct SLuaFunction
{
    const char* szName;
    const char* szParams; // C parameter names, comma-separated
    lua_CFunction pfnCall;
    int nSlot;
    // The Lua parameters and results as "name: type" lists, for the reference.
    void (*pfnDescribe)(std::string& strArgs, std::string& strResults);
};

// A slot of the callback table, raised into every script that defines a global of its name.
struct SLuaEvent
{
    const char* szName;
    const char* szParams;
    int nSlot;
    bool bRequest; // the C handler answers; a Lua handler returning false refuses
    // Points the slot of a callback table at this event's dispatcher into the scripts, or clears it.
    void (*pfnInstall)(PluginCallbacks* pCallbacks, bool bOn);
    void (*pfnDescribe)(std::string& strArgs);
};

const SLuaFunction* LuaFunctions(int* pnCount);
const SLuaEvent* LuaEvents(int* pnCount);
// The callback slot of an event name; -1 for a name that is no event.
int FindLuaEvent(const char* szName);

// Pushes an event's arguments from the dispatcher's argument record; answers how many.
using FLuaPushArgs = int (*)(lua_State* L, void* pArgs);
// Raises an event in the scripts (the host implements it); answers 0 when a script refused a request
// event, else 1.
int RaiseLuaEvent(int nSlot, FLuaPushArgs pfnPush, void* pArgs);

} // namespace luahost

// The server's function table that every binding calls; set once by the plugin's entry point, valid
// until the process ends.
extern PluginFuncs* g_pLuaFuncs;
