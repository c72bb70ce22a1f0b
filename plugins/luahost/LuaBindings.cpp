#include "LuaBindings.h"

#include <cstring>
#include <tuple>
#include <type_traits>

#include "LuaConventions.h"

PluginFuncs* g_pLuaFuncs = nullptr;

namespace luahost
{
namespace
{

// One type per slot, carrying its member pointer and names, from the generated slot list.
#define ORVN_LUA_FUNCTION(name, params)                                                                      \
    struct SFunc_##name                                                                                      \
    {                                                                                                        \
        static constexpr auto kMember = &PluginFuncs::name;                                                  \
        static constexpr SLuaSlotNames kNames = {#name, params};                                             \
    };
#define ORVN_LUA_EVENT(name, params)                                                                         \
    struct SEvent_##name                                                                                     \
    {                                                                                                        \
        static constexpr auto kMember = &PluginCallbacks::name;                                              \
        static constexpr int kSlot = static_cast<int>(ORVN_CALLBACKS_SLOT_INDEX(name));                      \
    };
#include "LuaSlots.inc"
#undef ORVN_LUA_FUNCTION
#undef ORVN_LUA_EVENT

template <typename TSlot>
using TFunctionPointer = std::remove_reference_t<decltype(std::declval<PluginFuncs&>().*TSlot::kMember)>;

template <typename TSlot> int CallSlot(lua_State* L)
{
    const TFunctionPointer<TSlot> pfn = g_pLuaFuncs ? g_pLuaFuncs->*TSlot::kMember : nullptr;
    if (!pfn)
        return luaL_error(L, "'%s' is not available on this server", TSlot::kNames.szName);
    return CSignature<TFunctionPointer<TSlot>>::Call(L, pfn, TSlot::kNames);
}

template <typename TSlot> void DescribeSlot(std::string& strArgs, std::string& strResults)
{
    CSignature<TFunctionPointer<TSlot>>::Describe(TSlot::kNames.szParams, strArgs, strResults);
}

template <typename TSlot,
          typename Fn = std::remove_reference_t<decltype(std::declval<PluginCallbacks&>().*TSlot::kMember)>>
struct CEvent;

// The dispatcher of one event: packs the C arguments, lets the host walk the scripts, and answers
// for the request events.
template <typename TSlot, typename R, typename... A> struct CEvent<TSlot, R (*)(A...)>
{
    static constexpr bool kRequest = !std::is_void_v<R>;

    static int Push(lua_State* L, void* pArgs)
    {
        return std::apply([L](A... args) { return PushEventArgs(L, args...); },
                          *static_cast<std::tuple<A...>*>(pArgs));
    }
    static R Raise(A... args)
    {
        std::tuple<A...> packed(args...);
        const int nAnswer = RaiseLuaEvent(TSlot::kSlot, &Push, &packed);
        if constexpr (kRequest)
            return nAnswer;
    }
    static void Install(PluginCallbacks* pCallbacks, bool bOn)
    {
        pCallbacks->*TSlot::kMember = bOn ? &Raise : nullptr;
    }
    static void Describe(std::string& strArgs, [[maybe_unused]] const char* szParams)
    {
        int nParam = 0;
        ((strArgs += (nParam ? ", " : "") + ParamName(szParams, nParam) + ": " + EventArgType<A>(), ++nParam),
         ...);
    }
};

#define ORVN_LUA_FUNCTION(name, params)                                                                      \
    {#name, params, &CallSlot<SFunc_##name>, static_cast<int>(ORVN_FUNCS_SLOT_INDEX(name)),                  \
     &DescribeSlot<SFunc_##name>},
#define ORVN_LUA_EVENT(name, params)
const SLuaFunction g_aFunctions[] = {
#include "LuaSlots.inc"
};
#undef ORVN_LUA_FUNCTION
#undef ORVN_LUA_EVENT

#define ORVN_LUA_FUNCTION(name, params)
#define ORVN_LUA_EVENT(name, params)                                                                         \
    {#name,                                                                                                  \
     params,                                                                                                 \
     SEvent_##name::kSlot,                                                                                   \
     CEvent<SEvent_##name>::kRequest,                                                                        \
     &CEvent<SEvent_##name>::Install,                                                                        \
     [](std::string& strArgs) { CEvent<SEvent_##name>::Describe(strArgs, params); }},
const SLuaEvent g_aEvents[] = {
#include "LuaSlots.inc"
};
#undef ORVN_LUA_FUNCTION
#undef ORVN_LUA_EVENT

constexpr int FUNCTION_COUNT = static_cast<int>(sizeof(g_aFunctions) / sizeof(g_aFunctions[0]));
constexpr int EVENT_COUNT = static_cast<int>(sizeof(g_aEvents) / sizeof(g_aEvents[0]));
static_assert(FUNCTION_COUNT == ORVN_PLUGIN_FUNCS_SLOTS, "every function slot has a binding");
static_assert(EVENT_COUNT == ORVN_PLUGIN_CALLBACKS_SLOTS, "every callback slot has a binding");

} // namespace

const SLuaFunction* LuaFunctions(int* pnCount)
{
    *pnCount = FUNCTION_COUNT;
    return g_aFunctions;
}

const SLuaEvent* LuaEvents(int* pnCount)
{
    *pnCount = EVENT_COUNT;
    return g_aEvents;
}

int FindLuaEvent(const char* szName)
{
    for (const SLuaEvent& event : g_aEvents)
    {
        if (strcmp(event.szName, szName) == 0)
            return event.nSlot;
    }
    return -1;
}

} // namespace luahost
