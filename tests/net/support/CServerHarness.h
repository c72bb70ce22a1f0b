#pragma once

// An in-process server over a CRecordingPeer, for handler tests: a fresh
// working folder (optionally with a server.cfg), a manual clock, the server
// initialised and published as g_pServer, and standard output captured so a
// test can read the lines the server printed.
//
//     CServerHarness harness;                 // or CServerHarness(config, ORVN_TEST_PLUGIN_DIR)
//     harness.Connect(3);                     // 19 from the transport, one tick: state 1
//     harness.Deliver(3, JoinRequestBytes(request));
//     EXPECT_EQ(harness.Server().GetConnectionState(3), CONNECTION_JOINED);
//     EXPECT_THAT(harness.TakeOutput(), HasSubstr("..."));

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CServer.h"
#include "ITimeSource.h"
#include "net/support/CRecordingPeer.h"
#include "support/TempDir.h"

namespace testclient
{
struct SJoinRequest;
}

namespace nettest
{

// The whole message (identifier 152 first) for a join request.
std::vector<uint8_t> JoinRequestBytes(const testclient::SJoinRequest& request);
// A request that passes every check, with the given name.
std::vector<uint8_t> ValidJoinRequestBytes(const char* szName);

class CServerHarness
{
public:
    // strConfig becomes server.cfg when not empty. With szProbeDir (the test
    // plugin folder) the net_probe test plugin is loaded into the process's
    // plugin manager, once per process: it stays for later harnesses.
    // prepare, when given, fills the working folder before the server starts
    // (a store, data files).
    explicit CServerHarness(const std::string& strConfig = "", const char* szProbeDir = nullptr,
                            const std::function<void(const CTempDir&)>& prepare = nullptr);
    ~CServerHarness();
    CServerHarness(const CServerHarness&) = delete;
    CServerHarness& operator=(const CServerHarness&) = delete;

    bool Started() const { return m_bStarted; }
    CServer& Server() { return *m_pServer; }
    CRecordingPeer& Peer() { return *m_pPeer; }
    CManualTime& Time() { return m_Time; }
    const CTempDir& Folder() const { return m_Folder; }

    // Advances the clock, then runs one tick.
    void Tick(uint32_t uiAdvanceMs = 0);
    // Queues one raw message from nSlot and runs a tick.
    void Deliver(int nSlot, const std::vector<uint8_t>& bytes);
    // A new connection from 10.0.0.<slot + 1>, and a tick: state 1.
    void Connect(int nSlot);
    // Connect plus an accepted join: state 2 and a player in the pool.
    bool Join(int nSlot, const char* szName);

    // Everything printed since the last call (or since the server started).
    std::string TakeOutput();

private:
    static void ForwardFailures(const std::string& strOutput);

    CTempDir m_Folder;
    std::unique_ptr<CScopedChdir> m_pChdir;
    CManualTime m_Time;
    std::unique_ptr<CCaptureStdout> m_pCapture;
    CServer* m_pServer;
    // Owned by the server's network.
    CRecordingPeer* m_pPeer;
    bool m_bStarted;
};

} // namespace nettest
