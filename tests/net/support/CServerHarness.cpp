#include "net/support/CServerHarness.h"

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "BitStream.h"
#include "ClientMessages.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"

namespace nettest
{

namespace
{
// The process has one plugin manager, as the server binary has.
void EnsurePluginManager()
{
    if (g_pPluginManager)
        return;
    g_pPluginManager = new CPluginManager();
    g_pFuncs = g_pPluginManager->GetFunctions();
}

// Loads net_probe from plugins/ in the working folder.
void EnsureProbePlugin(const CTempDir& folder, const char* szProbeDir)
{
    if (g_pPluginManager->FindPlugin("net_probe") >= 0)
        return;
    std::error_code error;
    std::filesystem::create_directories(folder.File("plugins"), error);
    std::filesystem::create_symlink(std::string(szProbeDir) + "/net_probe.so",
                                    folder.File("plugins/net_probe.so"), error);
    g_pPluginManager->LoadPlugin("net_probe");
}
} // namespace

std::vector<uint8_t> JoinRequestBytes(const testclient::SJoinRequest& request)
{
    RakNet::BitStream stream;
    testclient::EncodeJoinRequest(stream, request);
    const uint8_t* pData = stream.GetData();
    return std::vector<uint8_t>(pData, pData + BITS_TO_BYTES(stream.GetNumberOfBitsUsed()));
}

std::vector<uint8_t> ValidJoinRequestBytes(const char* szName)
{
    testclient::SJoinRequest request;
    request.strName = szName;
    return JoinRequestBytes(request);
}

CServerHarness::CServerHarness(const std::string& strConfig, const char* szProbeDir,
                               const std::function<void(const CTempDir&)>& prepare)
    : m_pServer(nullptr), m_pPeer(nullptr), m_bStarted(false)
{
    if (!strConfig.empty())
        m_Folder.Write("server.cfg", strConfig);
    if (prepare)
        prepare(m_Folder);
    m_pChdir = std::make_unique<CScopedChdir>(m_Folder.Path());
    SetTimeSource(&m_Time);
    EnsurePluginManager();
    m_pCapture = std::make_unique<CCaptureStdout>();
    if (szProbeDir)
        EnsureProbePlugin(m_Folder, szProbeDir);

    m_pServer = new CServer();
    m_pPeer = new CRecordingPeer();
    m_pServer->UseNetPeer(m_pPeer);
    const char* const apszArgs[] = {"orvn-server", "-allow-server-runas-root"};
    m_bStarted = m_pServer->Initialise(2, apszArgs);
    g_pServer = m_pServer;
}

CServerHarness::~CServerHarness()
{
    delete m_pServer;
    g_pServer = nullptr;
    ForwardFailures(m_pCapture->Finish());
    m_pCapture.reset();
    SetTimeSource(nullptr);
}

void CServerHarness::Tick(uint32_t uiAdvanceMs)
{
    m_Time.Advance(uiAdvanceMs);
    m_pServer->Tick();
}

void CServerHarness::Deliver(int nSlot, const std::vector<uint8_t>& bytes)
{
    m_pPeer->InjectMessage(nSlot, bytes);
    Tick();
}

void CServerHarness::Connect(int nSlot)
{
    m_pPeer->SetAddress(nSlot, 10, 0, 0, static_cast<uint8_t>(nSlot + 1));
    m_pPeer->InjectNewConnection(nSlot);
    Tick();
}

bool CServerHarness::Join(int nSlot, const char* szName)
{
    Connect(nSlot);
    Deliver(nSlot, ValidJoinRequestBytes(szName));
    return m_pServer->GetConnectionState(nSlot) == CONNECTION_JOINED && m_pServer->m_pPlayerPool->Get(nSlot);
}

// Failure messages are printed to the captured stream too; once the test has
// failed, what was captured is passed on so that they are seen.
void CServerHarness::ForwardFailures(const std::string& strOutput)
{
    if (::testing::Test::HasFailure())
        fputs(strOutput.c_str(), stderr);
}

std::string CServerHarness::TakeOutput()
{
    std::string strOutput = m_pCapture->Finish();
    ForwardFailures(strOutput);
    m_pCapture = std::make_unique<CCaptureStdout>();
    return strOutput;
}

} // namespace nettest
