#include "plugins/CPluginManager.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "CServer.h"
#include "Console.h"
#include "ITimeSource.h"
#include "TextUtil.h"
#include "platform/CDynamicLibrary.h"
#include "platform/CrashReport.h"
#include "players/CPlayer.h"
#include "plugins/PluginFuncs.h"
#include "world/CObject.h"
#include "world/CPickup.h"
#include "world/CVehicle.h"

CPluginManager* g_pPluginManager = nullptr;
PluginFuncs* g_pFuncs = nullptr;

// Plugins size their per-player tables with the header's limit.
static_assert(ORVN_MAX_PLAYERS == MAX_PLAYER_SLOTS, "the SDK's player limit is the pool's");

namespace
{
constexpr int PLUGIN_NAME_LENGTH = 31;
constexpr int PLUGIN_PATH_SIZE = 64;
constexpr int LIBRARY_ERROR_SIZE = 256;
constexpr int FORMAT_BUFFER_SIZE = 4096;

using FPluginInit = int32_t (*)(PluginFuncs*, PluginCallbacks*, PluginInfo*);

// The one formatting buffer of the table's printf-style functions, for the
// whole process. Each user copies or prints the text before returning.
char g_szFormatBuffer[FORMAT_BUFFER_SIZE];

// How the answers of the plugins to one event are combined.
enum EAnswer
{
    ANSWER_IGNORED,
    // Starts at 1, a single 0 refuses; every plugin is still called.
    ANSWER_ALL_AGREE,
    // OnServerInitialise: the first 0 ends the walk.
    ANSWER_FIRST_REFUSAL_STOPS,
};

// The entities one event locks. Per-call entities are locked around each
// plugin's call, and the walk ends once one of them is marked for deletion;
// the whole-walk entity is locked once around the walk and never ends it.
struct SEventLocks
{
    IRefCounter* apPerCall[2];
    IRefCounter* pWholeWalk;
    // A required entity was null: the event is not raised at all.
    bool bMissing;
};

SEventLocks NoLock()
{
    return {{nullptr, nullptr}, nullptr, false};
}

SEventLocks PerCall(IRefCounter* pEntity)
{
    return {{pEntity, nullptr}, nullptr, pEntity == nullptr};
}

SEventLocks PerCallBoth(IRefCounter* pFirst, IRefCounter* pSecond)
{
    return {{pFirst, pSecond}, nullptr, !pFirst || !pSecond};
}

// The second entity rides along for the whole walk; only the first one's
// deletion ends it.
SEventLocks PerCallWithWalk(IRefCounter* pEntity, IRefCounter* pWalk, bool bWalkRequired)
{
    return {{pEntity, nullptr}, pWalk, !pEntity || (bWalkRequired && !pWalk)};
}

SEventLocks WholeWalk(IRefCounter* pEntity)
{
    return {{nullptr, nullptr}, pEntity, pEntity == nullptr};
}

int32_t IdOf(const CPlayer* pPlayer, int32_t nMissing = -1)
{
    return pPlayer ? pPlayer->GetSlot() : nMissing;
}

int32_t IdOf(const CVehicle* pVehicle)
{
    return pVehicle ? pVehicle->GetId() : -1;
}

int32_t IdOf(const CObject* pObject)
{
    return pObject ? pObject->GetId() : -1;
}

int32_t IdOf(const CPickup* pPickup)
{
    return pPickup ? pPickup->GetId() : -1;
}

// Event walks started from inside other walks (a plugin's call that raises an
// event) nest at most this deep; a sound game mode never comes near it.
constexpr int MAX_EVENT_DEPTH = 32;
constexpr uint32_t DROPPED_EVENT_LINE_INTERVAL_MS = 1000;

// Walks under way right now, for the whole process (events are raised on
// the main thread only).
int g_nEventDepth = 0;
// When the last dropped-event line was printed; a plugin that loops through
// its events gets one line a second, not a flood.
bool g_bDroppedEventPrinted = false;
uint32_t g_uiDroppedEventLineAt = 0;

// Counts one walk for as long as it runs.
class CEventDepth
{
public:
    CEventDepth() { ++g_nEventDepth; }
    ~CEventDepth() { --g_nEventDepth; }
    CEventDepth(const CEventDepth&) = delete;
    CEventDepth& operator=(const CEventDepth&) = delete;
};

// A walk nested deeper than the bound is not raised, so that a plugin that
// answers an event with a call raising the same event cannot exhaust the stack.
bool EventDepthAllows(const char* szEvent)
{
    if (g_nEventDepth < MAX_EVENT_DEPTH)
        return true;
    const uint32_t uiNow = GetTimeSource()->GetTickMs();
    if (!g_bDroppedEventPrinted || uiNow - g_uiDroppedEventLineAt >= DROPPED_EVENT_LINE_INTERVAL_MS)
    {
        g_bDroppedEventPrinted = true;
        g_uiDroppedEventLineAt = uiNow;
        ConsolePrint("Dropped event %s: events nested more than %d deep.", szEvent, MAX_EVENT_DEPTH);
    }
    return false;
}

// Calls one handler; handlers without an answer count as agreeing.
template <typename TResult, typename... TParams, typename... TArgs>
int CallHandler(TResult (*pfnHandler)(TParams...), TArgs... args)
{
    if constexpr (std::is_void_v<TResult>)
    {
        pfnHandler(args...);
        return 1;
    }
    else
    {
        return static_cast<int>(pfnHandler(args...));
    }
}

// The walk shared by every event: plugins in load order, null slots skipped,
// the slot read afresh before each call because a plugin may change its table
// (or another plugin's events may change it) from inside any call.
template <typename TSlot, typename... TArgs>
int RaiseEvent(const char* szEvent, const PluginCallbacks* aTables, const int& nCount,
               TSlot PluginCallbacks::*pSlot, const SEventLocks& locks, EAnswer eAnswer, TArgs... args)
{
    if (locks.bMissing || !EventDepthAllows(szEvent))
        return 1;
    CEventDepth depth;
    // Only a deletion asked for during this walk ends it: an entity already on
    // its way out (its disconnect is being raised from its removal) is still
    // announced to every plugin.
    bool abMarkedBefore[2];
    for (int i = 0; i < 2; ++i)
        abMarkedBefore[i] = locks.apPerCall[i] && locks.apPerCall[i]->IsMarkedForDeletion();
    CEntityLock wholeWalk(locks.pWholeWalk);
    int nCombined = 1;
    for (int i = 0; i < nCount; ++i)
    {
        const TSlot pfnHandler = aTables[i].*pSlot;
        if (!pfnHandler)
            continue;
        for (IRefCounter* pEntity : locks.apPerCall)
            if (pEntity)
                pEntity->Lock();
        const int nAnswer = CallHandler(pfnHandler, args...);
        // Read the mark before the release: the release may destroy it.
        bool bRemoved = false;
        for (int j = 0; j < 2; ++j)
        {
            IRefCounter* pEntity = locks.apPerCall[j];
            if (!pEntity)
                continue;
            bRemoved = bRemoved || (!abMarkedBefore[j] && pEntity->IsMarkedForDeletion());
            // A release that destroyed the entity ends the walk whatever its mark said.
            if (!pEntity->Release())
                bRemoved = true;
        }
        if (nAnswer == 0 && eAnswer != ANSWER_IGNORED)
        {
            nCombined = 0;
            if (eAnswer == ANSWER_FIRST_REFUSAL_STOPS)
                break;
        }
        if (bRemoved)
            break;
    }
    return nCombined;
}
} // namespace

#define RAISE(slot, locks, answer, ...)                                                                      \
    RaiseEvent(#slot, m_aCallbacks, m_nPluginCount, &PluginCallbacks::slot, locks,                           \
               answer __VA_OPT__(, ) __VA_ARGS__)

const char* FormatPluginText(const char* szFormat, va_list args)
{
    if (!szFormat)
        szFormat = "";
    vsnprintf(g_szFormatBuffer, sizeof(g_szFormatBuffer), szFormat, args);
    g_szFormatBuffer[sizeof(g_szFormatBuffer) - 1] = '\0';
    return g_szFormatBuffer;
}

// Printed as text, not as a format, so a '%' in a player's name stays as it is.
int32_t LogMessage(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    const char* szText = FormatPluginText(szFormat, args);
    va_end(args);
    ConsolePrint("%s", szText);
    return 1;
}

// Each family fills its own slots; together they fill every one (a test
// walks the table after start-up).
void BuildPluginFuncs(PluginFuncs* pFuncs)
{
    memset(pFuncs, 0, sizeof(*pFuncs));
    pFuncs->structSize = sizeof(PluginFuncs);
    FillServerFuncs(pFuncs);
    FillPlayerFuncs(pFuncs);
    FillWorldEffectFuncs(pFuncs);
    FillElementFuncs(pFuncs);
    FillPickupFuncs(pFuncs);
    FillObjectFuncs(pFuncs);
    FillContentFuncs(pFuncs);
    FillVehicleFuncs(pFuncs);
}

CPluginManager::CPluginManager() : m_nPluginCount(0)
{
    memset(m_aInfo, 0, sizeof(m_aInfo));
    memset(m_aCallbacks, 0, sizeof(m_aCallbacks));
    memset(m_appExportList, 0, sizeof(m_appExportList));
    memset(m_anExportCount, 0, sizeof(m_anExportCount));
    memset(m_apModule, 0, sizeof(m_apModule));
    BuildPluginFuncs(&m_Functions);
}

// Names end at a space, a tab or the end of the text; a longer name is cut
// to its first 31 characters and the rest of the word is skipped.
void CPluginManager::LoadPlugins(const char* szList)
{
    if (!szList)
        return;
    const char* pChar = szList;
    while (*pChar)
    {
        char szName[PLUGIN_NAME_LENGTH + 1];
        int nLength = 0;
        for (; *pChar && *pChar != ' ' && *pChar != '\t'; ++pChar)
        {
            if (nLength < PLUGIN_NAME_LENGTH)
                szName[nLength++] = *pChar;
        }
        szName[nLength] = '\0';
        while (*pChar == ' ' || *pChar == '\t')
            ++pChar;
        if (nLength == 0)
            continue;
        if (LoadPlugin(szName))
            ConsolePrint("Loaded plugin: %s\n", szName);
        else
            ConsolePrint("Failed to load plugin: %s\n", szName);
    }
}

// The loader's own errors go to standard output only; each ends its line so
// that the dynamic loader's reason and the next line stay apart.
int CPluginManager::LoadPlugin(const char* szName)
{
    char szCutName[PLUGIN_NAME_LENGTH + 1];
    CopyText(szCutName, szName, sizeof(szCutName));
    char szPath[PLUGIN_PATH_SIZE];
    snprintf(szPath, sizeof(szPath), "plugins/%s.so", szCutName);

    if (m_nPluginCount >= MAX_PLUGINS)
    {
        ConsoleWrite("Plugin error >> '%s' not loaded: no more than %d plugins can be loaded.\n", szPath,
                     MAX_PLUGINS);
        return 0;
    }
    // The dynamic loader reports a reason, not a number: the code is always 0.
    char szError[LIBRARY_ERROR_SIZE];
    CDynamicLibrary* pLibrary = CDynamicLibrary::Open(szPath, szError, sizeof(szError));
    if (!pLibrary)
    {
        ConsoleWrite("Plugin error >> LoadLibrary() '%s' failed: Code %d (%s)\n", szPath, 0, szError);
        return 0;
    }
    auto pfnInit =
        reinterpret_cast<FPluginInit>(pLibrary->GetSymbol("OrvnPluginInit", szError, sizeof(szError)));
    if (!pfnInit)
    {
        ConsoleWrite("Plugin error >> GetProcAddress() '%s' failed: Code %d (%s)\n", szPath, 0, szError);
        pLibrary->Close();
        return 0;
    }

    const int nId = m_nPluginCount;
    PluginInfo& info = m_aInfo[nId];
    memset(&info, 0, sizeof(info));
    info.structSize = sizeof(PluginInfo);
    info.pluginId = nId;
    CopyText(info.name, szCutName, sizeof(info.name));
    memset(&m_aCallbacks[nId], 0, sizeof(m_aCallbacks[nId]));
    m_aCallbacks[nId].structSize = sizeof(PluginCallbacks);
    m_appExportList[nId] = nullptr;
    m_anExportCount[nId] = 0;
    m_apModule[nId] = pLibrary;

    // Counted before its entry point runs, so it can use its id there.
    m_nPluginCount = nId + 1;
    const int nResult = pfnInit(&m_Functions, &m_aCallbacks[nId], &info);
    if (nResult == 0)
    {
        // Forgotten without trace: the next plugin takes the id, and nothing
        // may keep pointing into the released library.
        m_nPluginCount = nId;
        m_appExportList[nId] = nullptr;
        m_anExportCount[nId] = 0;
        m_apModule[nId] = nullptr;
        memset(&m_aCallbacks[nId], 0, sizeof(m_aCallbacks[nId]));
        ConsoleWrite("Plugin error >> OrvnPluginInit in '%s' returned 0.\n", szPath);
        pLibrary->Close();
        return 0;
    }
    // A crash report names the plugin's file and where it was loaded.
    PlatformRegisterCrashModule(szPath, reinterpret_cast<const void*>(pfnInit));
    return nResult;
}

int CPluginManager::InitialiseAll()
{
    return RAISE(OnServerInitialise, NoLock(), ANSWER_FIRST_REFUSAL_STOPS);
}

void CPluginManager::ShutdownAll()
{
    RAISE(OnServerShutdown, NoLock(), ANSWER_IGNORED);
}

const PluginInfo* CPluginManager::GetPluginInfo(int nPluginId) const
{
    if (nPluginId < 0 || nPluginId >= m_nPluginCount)
        return nullptr;
    return &m_aInfo[nPluginId];
}

// The stored name may have been overwritten by its plugin without a
// terminator; the comparison never looks past its 32 bytes.
int CPluginManager::FindPlugin(const char* szName) const
{
    if (!szName)
        return -1;
    for (int i = 0; i < m_nPluginCount; ++i)
    {
        if (TextEqualNoCase(m_aInfo[i].name, szName, sizeof(m_aInfo[i].name)))
            return i;
    }
    return -1;
}

// The list stays owned by its plugin; a missing list counts as empty.
int CPluginManager::ExportFunctions(int nPluginId, void** ppList, int nCount)
{
    if (nPluginId < 0 || nPluginId >= m_nPluginCount)
        return 0;
    // The pointer is kept as published (the list stays the plugin's); a
    // negative count, or no list, counts no entries.
    m_appExportList[nPluginId] = ppList;
    m_anExportCount[nPluginId] = (ppList && nCount > 0) ? nCount : 0;
    return 1;
}

void** CPluginManager::GetPluginExports(int nPluginId, int* pnCount) const
{
    const bool bValid = nPluginId >= 0 && nPluginId < m_nPluginCount;
    if (pnCount)
        *pnCount = bValid ? m_anExportCount[nPluginId] : 0;
    return bValid ? m_appExportList[nPluginId] : nullptr;
}

PluginCallbacks* CPluginManager::GetCallbacks(int nPluginId)
{
    if (nPluginId < 0 || nPluginId >= m_nPluginCount)
        return nullptr;
    return &m_aCallbacks[nPluginId];
}

void CPluginManager::OnServerFrame(float fElapsedTime)
{
    RAISE(OnServerFrame, NoLock(), ANSWER_IGNORED, fElapsedTime);
}

void CPluginManager::OnPlayerConnect(CPlayer* pPlayer)
{
    RAISE(OnPlayerConnect, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer));
}

void CPluginManager::OnPlayerDisconnect(CPlayer* pPlayer, int nReason)
{
    RAISE(OnPlayerDisconnect, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nReason);
}

void CPluginManager::OnPlayerToggleOn(CPlayer* pPlayer)
{
    RAISE(OnPlayerToggleOn, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer));
}

void CPluginManager::OnPlayerToggleOff(CPlayer* pPlayer)
{
    RAISE(OnPlayerToggleOff, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer));
}

void CPluginManager::OnPlayerRequestClass(CPlayer* pPlayer, int nClassIndex)
{
    RAISE(OnPlayerRequestClass, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nClassIndex);
}

int CPluginManager::OnPlayerRequestSpawn(CPlayer* pPlayer)
{
    return RAISE(OnPlayerRequestSpawn, PerCall(pPlayer), ANSWER_ALL_AGREE, IdOf(pPlayer));
}

void CPluginManager::OnPlayerSpawn(CPlayer* pPlayer)
{
    RAISE(OnPlayerSpawn, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer));
}

// A death without a killer player reports killer 255.
void CPluginManager::OnPlayerDeath(CPlayer* pPlayer, CPlayer* pKiller, int nReason, int nBodyPart)
{
    RAISE(OnPlayerDeath, PerCallWithWalk(pPlayer, pKiller, false), ANSWER_IGNORED, IdOf(pPlayer),
          IdOf(pKiller, 255), nReason, nBodyPart);
}

void CPluginManager::OnPlayerUpdate(CPlayer* pPlayer, int nUpdateType)
{
    RAISE(OnPlayerUpdate, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nUpdateType);
}

int CPluginManager::OnPlayerRequestEnterVehicle(CPlayer* pPlayer, CVehicle* pVehicle, int nSeat)
{
    return RAISE(OnPlayerRequestEnterVehicle, PerCallBoth(pPlayer, pVehicle), ANSWER_ALL_AGREE, IdOf(pPlayer),
                 IdOf(pVehicle), nSeat);
}

void CPluginManager::OnPlayerEnterVehicle(CPlayer* pPlayer, CVehicle* pVehicle, int nSeat)
{
    RAISE(OnPlayerEnterVehicle, PerCallBoth(pPlayer, pVehicle), ANSWER_IGNORED, IdOf(pPlayer), IdOf(pVehicle),
          nSeat);
}

void CPluginManager::OnPlayerExitVehicle(CPlayer* pPlayer, CVehicle* pVehicle)
{
    RAISE(OnPlayerExitVehicle, PerCallBoth(pPlayer, pVehicle), ANSWER_IGNORED, IdOf(pPlayer), IdOf(pVehicle));
}

int CPluginManager::OnPickupPickAttempt(CPickup* pPickup, CPlayer* pPlayer)
{
    return RAISE(OnPickupPickAttempt, PerCallBoth(pPickup, pPlayer), ANSWER_ALL_AGREE, IdOf(pPickup),
                 IdOf(pPlayer));
}

void CPluginManager::OnPickupPicked(CPickup* pPickup, CPlayer* pPlayer)
{
    RAISE(OnPickupPicked, PerCallBoth(pPickup, pPlayer), ANSWER_IGNORED, IdOf(pPickup), IdOf(pPlayer));
}

void CPluginManager::OnVehicleUpdate(CVehicle* pVehicle, int nUpdateType)
{
    RAISE(OnVehicleUpdate, PerCall(pVehicle), ANSWER_IGNORED, IdOf(pVehicle), nUpdateType);
}

void CPluginManager::OnVehicleExplode(CVehicle* pVehicle)
{
    RAISE(OnVehicleExplode, PerCall(pVehicle), ANSWER_IGNORED, IdOf(pVehicle));
}

void CPluginManager::OnVehicleRespawn(CVehicle* pVehicle)
{
    RAISE(OnVehicleRespawn, PerCall(pVehicle), ANSWER_IGNORED, IdOf(pVehicle));
}

void CPluginManager::OnObjectShot(CObject* pObject, CPlayer* pPlayer, int nWeapon)
{
    RAISE(OnObjectShot, PerCallWithWalk(pObject, pPlayer, true), ANSWER_IGNORED, IdOf(pObject), IdOf(pPlayer),
          nWeapon);
}

void CPluginManager::OnObjectTouched(CObject* pObject, CPlayer* pPlayer)
{
    RAISE(OnObjectTouched, PerCallWithWalk(pObject, pPlayer, true), ANSWER_IGNORED, IdOf(pObject),
          IdOf(pPlayer));
}

int CPluginManager::OnPlayerMessage(CPlayer* pPlayer, const char* szMessage)
{
    return RAISE(OnPlayerMessage, PerCall(pPlayer), ANSWER_ALL_AGREE, IdOf(pPlayer), szMessage);
}

int CPluginManager::OnPlayerCommand(CPlayer* pPlayer, const char* szCommand)
{
    return RAISE(OnPlayerCommand, PerCall(pPlayer), ANSWER_ALL_AGREE, IdOf(pPlayer), szCommand);
}

int CPluginManager::OnPlayerPrivateMessage(CPlayer* pPlayer, int nTargetId, const char* szMessage)
{
    return RAISE(OnPlayerPrivateMessage, PerCall(pPlayer), ANSWER_ALL_AGREE, IdOf(pPlayer), nTargetId,
                 szMessage);
}

// Every plugin hears it, the sender included; the answers mean nothing.
int CPluginManager::OnPluginCommand(int nCommandId, const char* szText)
{
    RAISE(OnPluginCommand, NoLock(), ANSWER_IGNORED, nCommandId, szText);
    return 1;
}

// Every plugin hears the line; one that ran it answers 0, so the answers
// combine as a permission event's do.
int CPluginManager::OnConsoleCommand(const char* szLine)
{
    return RAISE(OnPluginCommand, NoLock(), ANSWER_ALL_AGREE, ORVN_CONSOLE_COMMAND_ID, szLine);
}

int CPluginManager::OnIncomingConnection(const char* szName, const char* szPassword, const char* szAddress)
{
    return RAISE(OnIncomingConnection, NoLock(), ANSWER_ALL_AGREE, szName, szPassword, szAddress);
}

void CPluginManager::OnEntityPoolChange(int nEntityType, int nEntityId, bool bDeleted)
{
    RAISE(OnEntityPoolChange, NoLock(), ANSWER_IGNORED, nEntityType, nEntityId, bDeleted ? 1 : 0);
}

void CPluginManager::OnKeyBindDown(CPlayer* pPlayer, int nBindId)
{
    RAISE(OnKeyBindDown, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nBindId);
}

void CPluginManager::OnKeyBindUp(CPlayer* pPlayer, int nBindId)
{
    RAISE(OnKeyBindUp, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nBindId);
}

void CPluginManager::OnPlayerAwayChange(CPlayer* pPlayer, bool bAway)
{
    RAISE(OnPlayerAwayChange, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), bAway ? 1 : 0);
}

// No target reports -1.
void CPluginManager::OnPlayerSpectate(CPlayer* pPlayer, CPlayer* pTarget)
{
    RAISE(OnPlayerSpectate, PerCallWithWalk(pPlayer, pTarget, false), ANSWER_IGNORED, IdOf(pPlayer),
          IdOf(pTarget, -1));
}

// Locked around the whole walk: every plugin sees the text even if one of
// them kicks the player.
void CPluginManager::OnPlayerClientText(CPlayer* pPlayer, const char* szText)
{
    RAISE(OnPlayerClientText, WholeWalk(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), szText);
}

void CPluginManager::OnServerPerformanceReport(int nEntryCount, const char** pszDescriptions,
                                               uint64_t* pullTotals)
{
    RAISE(OnServerPerformanceReport, NoLock(), ANSWER_IGNORED, nEntryCount, pszDescriptions, pullTotals);
}

void CPluginManager::OnPlayerNameChange(CPlayer* pPlayer, const char* szOldName, const char* szNewName)
{
    RAISE(OnPlayerNameChange, WholeWalk(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), szOldName, szNewName);
}

void CPluginManager::OnPlayerStateChange(CPlayer* pPlayer, int nOldState, int nNewState)
{
    RAISE(OnPlayerStateChange, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nOldState, nNewState);
}

void CPluginManager::OnPlayerSyncCodeChange(CPlayer* pPlayer, int nOldValue, int nNewValue)
{
    RAISE(OnPlayerSyncCodeChange, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nOldValue, nNewValue);
}

void CPluginManager::OnPlayerSyncFlag0Change(CPlayer* pPlayer, bool bSet)
{
    RAISE(OnPlayerSyncFlag0Change, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), bSet ? 1 : 0);
}

void CPluginManager::OnPlayerSyncFlag1Change(CPlayer* pPlayer, bool bSet)
{
    RAISE(OnPlayerSyncFlag1Change, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), bSet ? 1 : 0);
}

void CPluginManager::OnPlayerKeysChange(CPlayer* pPlayer, int nOldKeys, int nNewKeys)
{
    RAISE(OnPlayerKeysChange, PerCall(pPlayer), ANSWER_IGNORED, IdOf(pPlayer), nOldKeys, nNewKeys);
}
