#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "players/CPlayer.h"
#include "plugins/CPluginManager.h"
#include "support/TempDir.h"
#include "testplugins/recorder.h"
#include "world/CObject.h"
#include "world/CPickup.h"
#include "world/CVehicle.h"

// A plugin manager of its own, made the current one for the function table,
// working in a fresh folder whose plugins/ holds copies of the test plugins.
// The loader finds an already loaded library by its path text, so every copy
// gets a name never used before in this process.
class CPluginTestHost
{
public:
    // strPluginDir: where the test plugins were built (ORVN_TEST_PLUGIN_DIR).
    explicit CPluginTestHost(const std::string& strPluginDir);
    ~CPluginTestHost();

    CPluginManager& Manager() { return *m_pManager; }
    PluginFuncs* Funcs() { return m_pManager->GetFunctions(); }
    const CTempDir& Dir() const { return m_Dir; }

    // A name no other copy in this process has had, starting with strStem.
    static std::string UniqueName(const std::string& strStem);
    // Copies the test plugin szPlugin (recorder, refuse_entry, ...) to
    // plugins/<strAs>.so.
    void Install(const char* szPlugin, const std::string& strAs);
    // Installs and loads n recorders; their control blocks share Log().
    void LoadRecorders(int nCount);
    // The control block recorder nPluginId published; null for other plugins.
    RecorderControl* Recorder(int nPluginId);

    // Runs fn inside every handler of recorder nPluginId, after recording.
    using FHook = std::function<void(int nPluginId, int nSlot, const int32_t* pnArgs, const char* szText)>;
    void SetHook(int nPluginId, FHook fn);

    RecorderLog& Log() { return *m_pLog; }
    // "p<id> <event> <args>" for each recorded call, in order.
    std::vector<std::string> Events() const;
    void ClearLog() { m_pLog->count = 0; }

private:
    std::string m_strPluginDir;
    CTempDir m_Dir;
    std::unique_ptr<CScopedChdir> m_pChdir;
    // Kept for the whole process: plugins are never unloaded, and the
    // manager's library handles stay valid with it.
    CPluginManager* m_pManager;
    std::unique_ptr<RecorderLog> m_pLog;
    std::vector<std::unique_ptr<FHook>> m_apHooks;
    CPluginManager* m_pPreviousManager;
    PluginFuncs* m_pPreviousFuncs;
};

// Entities that count their destruction, for the deletion rules of events.
class CCountedVehicle : public CVehicle
{
public:
    CCountedVehicle(uint16_t wId, int* pnDestroyed) : CVehicle(wId), m_pnDestroyed(pnDestroyed) {}
    ~CCountedVehicle() override { ++*m_pnDestroyed; }

private:
    int* m_pnDestroyed;
};
