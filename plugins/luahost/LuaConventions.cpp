#include "LuaConventions.h"

#include <cstdio>
#include <cstring>

namespace luahost
{
namespace
{
// The name of a parameter in a plain array, so that no C++ object is alive when Lua's error unwinds
// the stack.
struct SParamName
{
    char sz[64];
};
SParamName NameOf(const SLuaSlotNames& names, int nParam)
{
    SParamName name;
    snprintf(name.sz, sizeof(name.sz), "%s", ParamName(names.szParams, nParam).c_str());
    return name;
}

// Names the function and the argument, from the line of the script that made the call.
[[noreturn]] void ArgError(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names,
                           const char* szExpected)
{
    const SParamName name = NameOf(names, nParam);
    luaL_error(L, "bad argument #%d (%s) to '%s' (%s expected, got %s)", nIndex, name.sz, names.szName,
               szExpected, luaL_typename(L, nIndex));
    __builtin_unreachable();
}
} // namespace

std::string ParamName(const char* szParams, int nParam)
{
    const char* szStart = szParams;
    for (int i = 0; i < nParam && szStart; ++i)
    {
        szStart = strchr(szStart, ',');
        if (szStart)
            ++szStart;
    }
    if (!szStart || !*szStart)
        return "?";
    const char* szEnd = strchr(szStart, ',');
    return szEnd ? std::string(szStart, szEnd) : std::string(szStart);
}

// Integers from -2^31 to 2^32 - 1, so that colours may be written 0xRRGGBBAA; the upper half wraps to
// the negative int32_t the C function expects. A boolean is 1 or 0.
int32_t ReadInteger(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names)
{
    if (lua_type(L, nIndex) == LUA_TBOOLEAN)
        return lua_toboolean(L, nIndex) ? 1 : 0;
    int bIsInteger = 0;
    const lua_Integer llValue =
        lua_type(L, nIndex) == LUA_TNUMBER ? lua_tointegerx(L, nIndex, &bIsInteger) : 0;
    if (!bIsInteger)
        ArgError(L, nIndex, nParam, names, "integer");
    if (llValue < INT32_MIN || llValue > static_cast<lua_Integer>(UINT32_MAX))
    {
        const SParamName name = NameOf(names, nParam);
        luaL_error(L, "bad argument #%d (%s) to '%s' (%I does not fit in 32 bits)", nIndex, name.sz,
                   names.szName, llValue);
    }
    return static_cast<int32_t>(static_cast<uint32_t>(llValue));
}

double ReadNumber(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names)
{
    if (lua_type(L, nIndex) != LUA_TNUMBER)
        ArgError(L, nIndex, nParam, names, "number");
    return lua_tonumber(L, nIndex);
}

// A number is turned into its text, as Lua's own functions do.
const char* ReadText(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names)
{
    const int nType = lua_type(L, nIndex);
    if (nType != LUA_TSTRING && nType != LUA_TNUMBER)
        ArgError(L, nIndex, nParam, names, "string");
    return lua_tostring(L, nIndex);
}

void** ReadList(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names)
{
    if (lua_isnoneornil(L, nIndex))
        return nullptr;
    if (lua_type(L, nIndex) != LUA_TLIGHTUSERDATA)
        ArgError(L, nIndex, nParam, names, "export list");
    return static_cast<void**>(lua_touserdata(L, nIndex));
}

void PushRecord(lua_State* L, const ServerSettings& settings)
{
    lua_createtable(L, 0, 4);
    lua_pushlstring(L, settings.serverName, strnlen(settings.serverName, sizeof(settings.serverName)));
    lua_setfield(L, -2, "serverName");
    lua_pushinteger(L, settings.maxPlayers);
    lua_setfield(L, -2, "maxPlayers");
    lua_pushinteger(L, settings.port);
    lua_setfield(L, -2, "port");
    lua_pushinteger(L, settings.flags);
    lua_setfield(L, -2, "flags");
}

void PushRecord(lua_State* L, const PluginInfo& info)
{
    lua_createtable(L, 0, 3);
    lua_pushinteger(L, info.pluginId);
    lua_setfield(L, -2, "pluginId");
    lua_pushlstring(L, info.name, strnlen(info.name, sizeof(info.name)));
    lua_setfield(L, -2, "name");
    lua_pushinteger(L, info.pluginData);
    lua_setfield(L, -2, "pluginData");
}

int PushEventArgs(lua_State* L, int32_t nCount, const char** pszDescriptions, uint64_t* pullTotals)
{
    const int nEntries = nCount > 0 && pszDescriptions && pullTotals ? nCount : 0;
    lua_pushinteger(L, nCount);
    lua_createtable(L, nEntries, 0);
    for (int i = 0; i < nEntries; ++i)
    {
        lua_pushstring(L, pszDescriptions[i] ? pszDescriptions[i] : "");
        lua_rawseti(L, -2, i + 1);
    }
    lua_createtable(L, nEntries, 0);
    for (int i = 0; i < nEntries; ++i)
    {
        lua_pushinteger(L, static_cast<lua_Integer>(pullTotals[i]));
        lua_rawseti(L, -2, i + 1);
    }
    return 3;
}

} // namespace luahost
