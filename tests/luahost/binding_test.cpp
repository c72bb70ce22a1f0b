// The Lua binding of the plugin tables: every slot is bound, and the conventions (arguments, results
// through pointers and buffers, printf-style text, type errors) hold, against test functions in an
// otherwise empty function table.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <set>
#include <string>

#include "LuaBindings.h"

using luahost::SLuaEvent;
using luahost::SLuaFunction;

namespace
{
// What the last test function was called with.
struct SCall
{
    int32_t nFirst = 0;
    int32_t nSecond = 0;
    float fValue = 0;
    std::string strText;
    int nCount = 0;
} g_Call;

int32_t SetHealth(int32_t nPlayer, float fHealth)
{
    g_Call.nFirst = nPlayer;
    g_Call.fValue = fHealth;
    return nPlayer == 99 ? 0 : 1;
}
int32_t SendMessage(int32_t nPlayer, int32_t nColour, const char* szFormat, ...)
{
    char szText[256];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szText, sizeof(szText), szFormat, args);
    va_end(args);
    g_Call = {nPlayer, nColour, 0, szText, g_Call.nCount + 1};
    return 1;
}
int32_t Position(int32_t nPlayer, float* pfX, float* pfY, float* pfZ)
{
    *pfX = *pfY = *pfZ = 0.0f;
    if (nPlayer != 7)
        return 0;
    *pfX = 1.5f, *pfY = -2.25f, *pfZ = 3.0f;
    return 1;
}
int32_t Name(int32_t nPlayer, char* szBuffer, int32_t nSize)
{
    snprintf(szBuffer, static_cast<size_t>(nSize), "%s", nPlayer == 2 ? "Alice" : "");
    return nPlayer == 2;
}
int32_t Settings(ServerSettings* pSettings)
{
    snprintf(pSettings->serverName, sizeof(pSettings->serverName), "size %u", pSettings->structSize);
    pSettings->maxPlayers = 50;
    pSettings->port = 8192;
    return 1;
}
int32_t Time(uint64_t* pullOut)
{
    *pullOut = 1ull << 40;
    return 1;
}
void RemoveAllBinds()
{
    ++g_Call.nCount;
}
double WeaponValue(int32_t nWeapon, int32_t nField)
{
    return nWeapon * 100.0 + nField + 0.5;
}
int32_t SetWorld(int32_t nPlayer, int32_t nWorld)
{
    g_Call.nFirst = nPlayer;
    g_Call.nSecond = nWorld;
    return 1;
}

class CLuaBindingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_Call = {};
        m_Funcs.SetPlayerHealth = &SetHealth;
        m_Funcs.SendClientMessage = &SendMessage;
        m_Funcs.GetPlayerPosition = &Position;
        m_Funcs.GetPlayerName = &Name;
        m_Funcs.GetServerSettings = &Settings;
        m_Funcs.GetTime = &Time;
        m_Funcs.RemoveAllKeyBinds = &RemoveAllBinds;
        m_Funcs.GetWeaponDataValue = &WeaponValue;
        m_Funcs.SetPlayerWorld = &SetWorld;
        g_pLuaFuncs = &m_Funcs;
        m_pState = luaL_newstate();
        luaL_openlibs(m_pState);
        int nCount = 0;
        const SLuaFunction* pFunctions = luahost::LuaFunctions(&nCount);
        for (int i = 0; i < nCount; ++i)
            lua_register(m_pState, pFunctions[i].szName, pFunctions[i].pfnCall);
    }
    void TearDown() override
    {
        lua_close(m_pState);
        g_pLuaFuncs = nullptr;
    }
    // The chunk's one result as text, or "error: <message>".
    std::string Run(const std::string& strCode)
    {
        if (luaL_dostring(m_pState, strCode.c_str()) != LUA_OK)
        {
            std::string strError = std::string("error: ") + lua_tostring(m_pState, -1);
            lua_settop(m_pState, 0);
            return strError;
        }
        std::string strResult = lua_tostring(m_pState, -1) ? lua_tostring(m_pState, -1) : "";
        lua_settop(m_pState, 0);
        return strResult;
    }

    PluginFuncs m_Funcs = {};
    lua_State* m_pState = nullptr;
};
} // namespace

// A slot added to the header gets a binding from the next build; this walks both tables and fails on
// a slot without one, out of order, or bound twice.
TEST(LuaBindingTable, EverySlotOfBothTablesIsBoundOnceInSlotOrder)
{
    int nCount = 0;
    const SLuaFunction* pFunctions = luahost::LuaFunctions(&nCount);
    ASSERT_EQ(nCount, ORVN_PLUGIN_FUNCS_SLOTS);
    std::set<std::string> names;
    for (int i = 0; i < nCount; ++i)
    {
        EXPECT_EQ(pFunctions[i].nSlot, i) << pFunctions[i].szName;
        EXPECT_NE(pFunctions[i].pfnCall, nullptr) << pFunctions[i].szName;
        EXPECT_TRUE(names.insert(pFunctions[i].szName).second) << pFunctions[i].szName;
    }
    EXPECT_STREQ(pFunctions[ORVN_FUNCS_SLOT_INDEX(LogMessage)].szName, "LogMessage");
    EXPECT_STREQ(pFunctions[ORVN_FUNCS_SLOT_INDEX(CreateVehicle)].szName, "CreateVehicle");
    EXPECT_STREQ(pFunctions[ORVN_PLUGIN_FUNCS_SLOTS - 1].szName, "GetPlayerAimPosition");

    const SLuaEvent* pEvents = luahost::LuaEvents(&nCount);
    ASSERT_EQ(nCount, ORVN_PLUGIN_CALLBACKS_SLOTS);
    for (int i = 0; i < nCount; ++i)
    {
        EXPECT_EQ(pEvents[i].nSlot, i) << pEvents[i].szName;
        EXPECT_EQ(luahost::FindLuaEvent(pEvents[i].szName), i);
        // Installing fills exactly this event's slot of a callback table.
        PluginCallbacks callbacks = {};
        pEvents[i].pfnInstall(&callbacks, true);
        void* apSlots[ORVN_PLUGIN_CALLBACKS_SLOTS];
        memcpy(apSlots, reinterpret_cast<char*>(&callbacks) + ORVN_CALLBACKS_SLOT_OFFSET(0), sizeof(apSlots));
        for (int j = 0; j < nCount; ++j)
            EXPECT_EQ(apSlots[j] != nullptr, j == i) << pEvents[i].szName << " slot " << j;
    }
    EXPECT_TRUE(pEvents[ORVN_CALLBACKS_SLOT_INDEX(OnPlayerRequestSpawn)].bRequest);
    EXPECT_FALSE(pEvents[ORVN_CALLBACKS_SLOT_INDEX(OnPlayerUpdate)].bRequest);
    EXPECT_EQ(luahost::FindLuaEvent("OnNothing"), -1);
}

// Every binding reaches its own slot: with an empty table each one names itself as missing.
TEST_F(CLuaBindingTest, EveryFunctionNamesItselfWhenItsSlotIsEmpty)
{
    PluginFuncs empty = {};
    g_pLuaFuncs = &empty;
    int nCount = 0;
    const SLuaFunction* pFunctions = luahost::LuaFunctions(&nCount);
    for (int i = 0; i < nCount; ++i)
    {
        const std::string strCall = std::string("return ") + pFunctions[i].szName + "()";
        EXPECT_EQ(Run(strCall), "error: [string \"" + strCall + "\"]:1: '" + pFunctions[i].szName +
                                    "' is not available on this server");
    }
}

TEST_F(CLuaBindingTest, ArgumentsResultsOutParametersAndBuffersFollowTheConventions)
{
    struct SCase
    {
        const char* szCode;
        const char* szExpected;
    };
    const SCase aCases[] = {
        {"return SetPlayerHealth(3, 150.5)", "1"},
        {"return SetPlayerHealth(99, 1)", "0"},
        {"return table.concat({GetPlayerPosition(7)}, ' ')", "1.5 -2.25 3.0 1"},
        {"return table.concat({GetPlayerPosition(8)}, ' ')", "0.0 0.0 0.0 0"},
        {"local name, found = GetPlayerName(2) return name .. found", "Alice1"},
        {"local name, found = GetPlayerName(3) return '[' .. name .. ']' .. found", "[]0"},
        {"local s = GetServerSettings() return s.serverName .. ' ' .. s.maxPlayers .. ' ' .. s.port",
         "size 144 50 8192"},
        {"return (GetTime())", "1099511627776"},
        {"return GetWeaponDataValue(2, 3)", "203.5"},
        {"return select('#', RemoveAllKeyBinds())", "0"},
        // Extra arguments are ignored, as by Lua's own functions; numbers serve as text.
        {"return SendClientMessage(1, 2, 42, 'extra')", "1"},
    };
    for (const SCase& test : aCases)
        EXPECT_EQ(Run(test.szCode), test.szExpected) << test.szCode;
    EXPECT_EQ(g_Call.strText, "42");
}

TEST_F(CLuaBindingTest, IntegersTakeTheUnsignedHalfAndBooleansAndTextGoesThroughAsItStands)
{
    EXPECT_EQ(Run("return SendClientMessage(255, 0xFFFFFFFF, '100% sure %s %d')"), "1");
    EXPECT_EQ(g_Call.nFirst, 255);
    EXPECT_EQ(g_Call.nSecond, -1);
    EXPECT_EQ(g_Call.strText, "100% sure %s %d");
    EXPECT_EQ(Run("return SetPlayerWorld(true, 2.0)"), "1");
    EXPECT_EQ(g_Call.nFirst, 1);
    EXPECT_EQ(g_Call.nSecond, 2);
    EXPECT_EQ(Run("return SetPlayerWorld(false, -2147483648)"), "1");
    EXPECT_EQ(g_Call.nSecond, INT32_MIN);
}

// A wrong argument never reaches the server: the error names the function, the argument and the line.
TEST_F(CLuaBindingTest, WrongArgumentsRaiseErrorsNamingTheFunctionAndTheArgument)
{
    struct SCase
    {
        const char* szCode;
        const char* szExpected;
    };
    const SCase aCases[] = {
        {"SetPlayerHealth(1, 'full')",
         "error: [string \"SetPlayerHealth(1, 'full')\"]:1: bad argument #2 (health) to 'SetPlayerHealth' "
         "(number expected, got string)"},
        {"SetPlayerHealth()", "error: [string \"SetPlayerHealth()\"]:1: bad argument #1 (playerId) to "
                              "'SetPlayerHealth' (integer expected, got no value)"},
        {"SetPlayerWorld(1, 2.5)",
         "error: [string \"SetPlayerWorld(1, 2.5)\"]:1: bad argument #2 (worldId) to "
         "'SetPlayerWorld' (integer expected, got number)"},
        {"SetPlayerWorld(1, 1 << 32)", "error: [string \"SetPlayerWorld(1, 1 << 32)\"]:1: bad argument #2 "
                                       "(worldId) to 'SetPlayerWorld' (4294967296 does not fit in 32 bits)"},
        {"SendClientMessage(1, 2, {})", "error: [string \"SendClientMessage(1, 2, {})\"]:1: bad argument #3 "
                                        "(format) to 'SendClientMessage' (string expected, got table)"},
    };
    for (const SCase& test : aCases)
        EXPECT_EQ(Run(test.szCode), test.szExpected) << test.szCode;
    EXPECT_EQ(g_Call.nCount, 0);
    EXPECT_EQ(g_Call.nFirst, 0);
}
