#include "plugin_TestHost.h"

#include <filesystem>

namespace
{
// Every manager a test made, reachable until the process ends.
std::vector<CPluginManager*>* g_pManagers = new std::vector<CPluginManager*>();
int g_nNameCounter = 0;
} // namespace

CPluginTestHost::CPluginTestHost(const std::string& strPluginDir)
    : m_strPluginDir(strPluginDir), m_pManager(new CPluginManager()), m_pLog(std::make_unique<RecorderLog>()),
      m_pPreviousManager(g_pPluginManager), m_pPreviousFuncs(g_pFuncs)
{
    g_pManagers->push_back(m_pManager);
    std::filesystem::create_directory(m_Dir.File("plugins"));
    m_pChdir = std::make_unique<CScopedChdir>(m_Dir.Path());
    m_pLog->count = 0;
    g_pPluginManager = m_pManager;
    g_pFuncs = m_pManager->GetFunctions();
}

CPluginTestHost::~CPluginTestHost()
{
    // The plugins outlive the test: stop them reaching into its log and hooks.
    for (int i = 0; i < m_pManager->GetPluginCount(); ++i)
    {
        if (RecorderControl* pControl = Recorder(i))
        {
            pControl->log = nullptr;
            pControl->hook = nullptr;
        }
    }
    g_pPluginManager = m_pPreviousManager;
    g_pFuncs = m_pPreviousFuncs;
}

std::string CPluginTestHost::UniqueName(const std::string& strStem)
{
    return strStem + std::to_string(++g_nNameCounter);
}

void CPluginTestHost::Install(const char* szPlugin, const std::string& strAs)
{
    std::filesystem::copy_file(m_strPluginDir + "/" + szPlugin + ".so",
                               m_Dir.File("plugins/" + strAs + ".so"),
                               std::filesystem::copy_options::overwrite_existing);
}

void CPluginTestHost::LoadRecorders(int nCount)
{
    for (int i = 0; i < nCount; ++i)
    {
        const std::string strName = UniqueName("rec");
        Install("recorder", strName);
        const int nId = m_pManager->GetPluginCount();
        if (m_pManager->LoadPlugin(strName.c_str()))
            Recorder(nId)->log = m_pLog.get();
    }
}

RecorderControl* CPluginTestHost::Recorder(int nPluginId)
{
    int nCount = 0;
    void** ppExports = m_pManager->GetPluginExports(nPluginId, &nCount);
    return ppExports && nCount == 1 ? static_cast<RecorderControl*>(ppExports[0]) : nullptr;
}

void CPluginTestHost::SetHook(int nPluginId, FHook fn)
{
    RecorderControl* pControl = Recorder(nPluginId);
    if (!pControl)
        return;
    if (!fn)
    {
        pControl->hook = nullptr;
        pControl->hookContext = nullptr;
        return;
    }
    m_apHooks.push_back(std::make_unique<FHook>(std::move(fn)));
    pControl->hookContext = m_apHooks.back().get();
    pControl->hook = [](void* pContext, int32_t nId, int32_t nSlot, const int32_t* pnArgs, const char* szText)
    { (*static_cast<FHook*>(pContext))(nId, nSlot, pnArgs, szText); };
}

std::vector<std::string> CPluginTestHost::Events() const
{
    std::vector<std::string> events;
    for (int i = 0; i < m_pLog->count; ++i)
        events.push_back("p" + std::to_string(m_pLog->entries[i].pluginId) + " " + m_pLog->entries[i].text);
    return events;
}
