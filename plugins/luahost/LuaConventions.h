#pragma once

// How one C parameter, result or event argument of the plugin tables meets Lua. The binding of every
// slot is put together from these by the compiler, from the slot's function pointer type:
//
//   int32_t, float, double          a Lua argument (integer / number)
//   const char*                     a Lua string argument
//   const char* format, ...         one ready string (passed on as "%s")
//   char* buffer, int32_t size      no argument; the text comes back as a result
//   int32_t*, float*, uint64_t*     no argument; the value comes back as a result
//   ServerSettings*, PluginInfo*    no argument; the record comes back as a table
//   void**                          an export list: a light userdata (or nil) in both directions
//
// A type without a convention here stops the build, so no slot is ever bound by guesswork.

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include <lua.hpp>

#include "orvn_plugin.h"

namespace luahost
{

// Size of the buffer a text getter writes into; every text the server hands out is far shorter.
constexpr int32_t LUA_TEXT_BUFFER_SIZE = 512;

enum ELuaKind
{
    KIND_INTEGER,
    KIND_NUMBER,
    KIND_TEXT,
    KIND_FORMAT,
    KIND_LIST,
    KIND_BUFFER,
    KIND_BUFFER_SIZE,
    KIND_OUT,
};

// Name and parameter names of one slot, as the generated slot list gives them ("playerId,health").
struct SLuaSlotNames
{
    const char* szName;
    const char* szParams;
};

// Readers that raise a Lua error naming the function and the argument when the value does not fit.
int32_t ReadInteger(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names);
double ReadNumber(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names);
const char* ReadText(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names);
void** ReadList(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& names);
// The nParam-th name of the list (0-based); "?" past its end.
std::string ParamName(const char* szParams, int nParam);

void PushRecord(lua_State* L, const ServerSettings& settings);
void PushRecord(lua_State* L, const PluginInfo& info);

template <typename T> constexpr ELuaKind BaseKind()
{
    if constexpr (std::is_same_v<T, int32_t>)
        return KIND_INTEGER;
    else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
        return KIND_NUMBER;
    else if constexpr (std::is_same_v<T, const char*>)
        return KIND_TEXT;
    else if constexpr (std::is_same_v<T, char*>)
        return KIND_BUFFER;
    else if constexpr (std::is_same_v<T, void**>)
        return KIND_LIST;
    else
        return KIND_OUT; // CParam<T, KIND_OUT> exists only for the pointer types listed above
}

// The kinds of a whole parameter list: an int32_t right after a char* is that buffer's size, and the
// last text of a printf-style function is its format.
template <bool bVariadic, typename... A> constexpr std::array<ELuaKind, sizeof...(A)> Kinds()
{
    std::array<ELuaKind, sizeof...(A)> kinds = {BaseKind<A>()...};
    for (size_t i = 1; i < kinds.size(); ++i)
    {
        if (kinds[i] == KIND_INTEGER && kinds[i - 1] == KIND_BUFFER)
            kinds[i] = KIND_BUFFER_SIZE;
    }
    if constexpr (bVariadic && sizeof...(A) > 0)
        kinds[sizeof...(A) - 1] =
            kinds[sizeof...(A) - 1] == KIND_TEXT ? KIND_FORMAT : kinds[sizeof...(A) - 1];
    return kinds;
}

template <typename T, ELuaKind K> struct CParam; // no convention: the build stops here

// Lua arguments. kArgs is how many Lua arguments a parameter takes, kResults how many results it gives.
template <> struct CParam<int32_t, KIND_INTEGER>
{
    static constexpr int kArgs = 1, kResults = 0;
    static constexpr const char* kType = "integer";
    int32_t m_nValue = 0;
    void Read(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& n)
    {
        m_nValue = ReadInteger(L, nIndex, nParam, n);
    }
    int32_t Value() const { return m_nValue; }
    void Push(lua_State*) const {}
};

template <typename T> struct CNumberParam
{
    static constexpr int kArgs = 1, kResults = 0;
    static constexpr const char* kType = "number";
    T m_Value = 0;
    void Read(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& n)
    {
        m_Value = static_cast<T>(ReadNumber(L, nIndex, nParam, n));
    }
    T Value() const { return m_Value; }
    void Push(lua_State*) const {}
};
template <> struct CParam<float, KIND_NUMBER> : CNumberParam<float>
{
};
template <> struct CParam<double, KIND_NUMBER> : CNumberParam<double>
{
};

template <> struct CParam<const char*, KIND_TEXT>
{
    static constexpr int kArgs = 1, kResults = 0;
    static constexpr const char* kType = "string";
    const char* m_szValue = "";
    void Read(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& n)
    {
        m_szValue = ReadText(L, nIndex, nParam, n);
    }
    const char* Value() const { return m_szValue; }
    void Push(lua_State*) const {}
};

// The format of a printf-style function: the script's string goes through "%s", so a '%' in it is
// printed as it stands. Value() is the format; Text() the one argument after it.
template <> struct CParam<const char*, KIND_FORMAT> : CParam<const char*, KIND_TEXT>
{
    const char* Value() const { return "%s"; }
    const char* Text() const { return m_szValue; }
};

template <> struct CParam<void**, KIND_LIST>
{
    static constexpr int kArgs = 1, kResults = 0;
    static constexpr const char* kType = "export list";
    void** m_ppValue = nullptr;
    void Read(lua_State* L, int nIndex, int nParam, const SLuaSlotNames& n)
    {
        m_ppValue = ReadList(L, nIndex, nParam, n);
    }
    void** Value() const { return m_ppValue; }
    void Push(lua_State*) const {}
};

// Results through the parameters.
template <> struct CParam<char*, KIND_BUFFER>
{
    static constexpr int kArgs = 0, kResults = 1;
    static constexpr const char* kType = "string";
    char m_szBuffer[LUA_TEXT_BUFFER_SIZE] = {};
    void Read(lua_State*, int, int, const SLuaSlotNames&) {}
    char* Value() { return m_szBuffer; }
    void Push(lua_State* L) const { lua_pushstring(L, m_szBuffer); }
};

template <> struct CParam<int32_t, KIND_BUFFER_SIZE>
{
    static constexpr int kArgs = 0, kResults = 0;
    static constexpr const char* kType = "";
    void Read(lua_State*, int, int, const SLuaSlotNames&) {}
    int32_t Value() const { return LUA_TEXT_BUFFER_SIZE; }
    void Push(lua_State*) const {}
};

template <typename T> struct COutParam
{
    static constexpr int kArgs = 0, kResults = 1;
    T m_Value{};
    void Read(lua_State*, int, int, const SLuaSlotNames&) {}
    T* Value() { return &m_Value; }
};

template <> struct CParam<int32_t*, KIND_OUT> : COutParam<int32_t>
{
    static constexpr const char* kType = "integer";
    void Push(lua_State* L) const { lua_pushinteger(L, m_Value); }
};
template <> struct CParam<uint64_t*, KIND_OUT> : COutParam<uint64_t>
{
    static constexpr const char* kType = "integer";
    void Push(lua_State* L) const { lua_pushinteger(L, static_cast<lua_Integer>(m_Value)); }
};
template <> struct CParam<float*, KIND_OUT> : COutParam<float>
{
    static constexpr const char* kType = "number";
    void Push(lua_State* L) const { lua_pushnumber(L, m_Value); }
};
// The caller of these two records announces its size in the first field.
template <> struct CParam<ServerSettings*, KIND_OUT> : COutParam<ServerSettings>
{
    static constexpr const char* kType = "table";
    CParam() { m_Value.structSize = sizeof(ServerSettings); }
    void Push(lua_State* L) const { PushRecord(L, m_Value); }
};
template <> struct CParam<PluginInfo*, KIND_OUT> : COutParam<PluginInfo>
{
    static constexpr const char* kType = "table";
    CParam() { m_Value.structSize = sizeof(PluginInfo); }
    void Push(lua_State* L) const { PushRecord(L, m_Value); }
};

// The C result, after the results through the parameters.
inline void PushResult(lua_State* L, int32_t nResult)
{
    lua_pushinteger(L, nResult);
}
inline void PushResult(lua_State* L, double dResult)
{
    lua_pushnumber(L, dResult);
}
inline void PushResult(lua_State* L, void** ppResult)
{
    if (ppResult)
        lua_pushlightuserdata(L, static_cast<void*>(ppResult));
    else
        lua_pushnil(L);
}
template <typename R> constexpr const char* ResultType()
{
    if constexpr (std::is_same_v<R, int32_t>)
        return "integer";
    else if constexpr (std::is_same_v<R, void**>)
        return "export list";
    else
        return "number";
}

// Event arguments, pushed in order; the performance report's two arrays become tables of entryCount
// entries.
inline void PushEventArg(lua_State* L, int32_t nValue)
{
    lua_pushinteger(L, nValue);
}
inline void PushEventArg(lua_State* L, float fValue)
{
    lua_pushnumber(L, fValue);
}
inline void PushEventArg(lua_State* L, const char* szValue)
{
    lua_pushstring(L, szValue ? szValue : "");
}
template <typename... A> int PushEventArgs([[maybe_unused]] lua_State* L, A... args)
{
    (PushEventArg(L, args), ...);
    return static_cast<int>(sizeof...(A));
}
int PushEventArgs(lua_State* L, int32_t nCount, const char** pszDescriptions, uint64_t* pullTotals);

template <typename T> constexpr const char* EventArgType()
{
    if constexpr (std::is_same_v<T, int32_t>)
        return "integer";
    else if constexpr (std::is_same_v<T, float>)
        return "number";
    else if constexpr (std::is_same_v<T, const char*>)
        return "string";
    else if constexpr (std::is_same_v<T, const char**>)
        return "table of strings";
    else
        return "table of integers";
}

// One function slot: reads the Lua arguments, calls the slot, pushes the results. TParams is the tuple
// of CParam holders, one per C parameter.
template <typename Fn, bool bVariadic, typename R, typename... A> struct CCall
{
    static constexpr std::array<ELuaKind, sizeof...(A)> kKinds = Kinds<bVariadic, A...>();
    template <size_t I> using TParam = CParam<std::tuple_element_t<I, std::tuple<A...>>, kKinds[I]>;

    // The Lua argument index of each parameter: 1 plus the arguments the parameters before it take.
    template <size_t I> static constexpr int LuaIndex()
    {
        if constexpr (I == 0)
            return 1;
        else
            return LuaIndex<I - 1>() + TParam<I - 1>::kArgs;
    }

    static int Call(lua_State* L, Fn pfn, const SLuaSlotNames& names)
    {
        return Run(L, pfn, names, std::make_index_sequence<sizeof...(A)>());
    }

    template <size_t... I>
    static int Run(lua_State* L, Fn pfn, [[maybe_unused]] const SLuaSlotNames& names,
                   std::index_sequence<I...>)
    {
        std::tuple<TParam<I>...> params;
        (std::get<I>(params).Read(L, LuaIndex<I>(), static_cast<int>(I), names), ...);
        int nResults = 0;
        if constexpr (std::is_void_v<R>)
            Invoke(pfn, params, std::index_sequence<I...>());
        else
        {
            const R result = Invoke(pfn, params, std::index_sequence<I...>());
            ((std::get<I>(params).Push(L), nResults += TParam<I>::kResults), ...);
            PushResult(L, result);
            return nResults + 1;
        }
        ((std::get<I>(params).Push(L), nResults += TParam<I>::kResults), ...);
        return nResults;
    }

    template <typename TTuple, size_t... I> static R Invoke(Fn pfn, TTuple& params, std::index_sequence<I...>)
    {
        if constexpr (bVariadic)
            return pfn(std::get<I>(params).Value()..., std::get<sizeof...(A) - 1>(params).Text());
        else
            return pfn(std::get<I>(params).Value()...);
    }

    // "name: type" of the Lua parameters and of the results, for the reference.
    static void Describe(const char* szParams, std::string& strArgs, std::string& strResults)
    {
        DescribeEach(szParams, strArgs, strResults, std::make_index_sequence<sizeof...(A)>());
        if constexpr (!std::is_void_v<R>)
            strResults += std::string(strResults.empty() ? "" : ", ") + "result: " + ResultType<R>();
    }
    template <size_t... I>
    static void DescribeEach(const char* szParams, std::string& strArgs, std::string& strResults,
                             std::index_sequence<I...>)
    {
        [[maybe_unused]] auto add = [&](std::string& strList, int nParam, const char* szType)
        {
            std::string strName = ParamName(szParams, nParam);
            if (kKinds[nParam] == KIND_FORMAT)
                strName = "text";
            strList += (strList.empty() ? "" : ", ") + strName + ": " + szType;
        };
        ((TParam<I>::kArgs ? add(strArgs, I, TParam<I>::kType) : void()), ...);
        ((TParam<I>::kResults ? add(strResults, I, TParam<I>::kType) : void()), ...);
    }
};

template <typename Fn> struct CSignature;
template <typename R, typename... A> struct CSignature<R (*)(A...)> : CCall<R (*)(A...), false, R, A...>
{
};
template <typename R, typename... A>
struct CSignature<R (*)(A..., ...)> : CCall<R (*)(A..., ...), true, R, A...>
{
};

} // namespace luahost
