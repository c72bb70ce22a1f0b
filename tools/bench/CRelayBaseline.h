#pragma once

// A bare RakNet server with no game in it: the yardstick for what relaying
// on-foot sync costs when RakNet does all the work. It accepts connections,
// answers a join request with a minimal server information, a class request
// with the class reply and a spawn request with the permit, and sends every
// on-foot sync on at once to every other joined connection as the relay
// message (slot, then the 40-byte record exactly as it came), unreliable and
// high priority, like the game server's relay. Nothing is stored, checked or
// batched per tick. Driver sync is relayed the same way, and every vehicle
// entry request is accepted at once with the requester's copy of 162.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "RakNetTypes.h"

namespace RakNet
{
class RakPeerInterface;
}

namespace orvnbench
{

struct SRelayOptions
{
    int nPort = 8192;
    // Same connection count as the game server starts RakNet with.
    int nMaxConnections = 100;
    std::string strBindHost = "127.0.0.1";
    // Sleep between two drains of RakNet, like the server's 5 ms between ticks.
    int nPollMs = 5;
    // One broadcast send per sync instead of one send per receiver.
    bool bBroadcast = false;
};

class CRelayBaseline
{
public:
    static constexpr int kMaxConnections = 1000;

    CRelayBaseline() = default;
    ~CRelayBaseline();
    CRelayBaseline(const CRelayBaseline&) = delete;
    CRelayBaseline& operator=(const CRelayBaseline&) = delete;

    bool Start(const SRelayOptions& options);
    // Takes every waiting message out of RakNet and answers it; returns how many.
    int ProcessIncoming();
    // Drains and sleeps until bStop becomes true.
    void Run(const std::atomic<bool>& bStop);
    void Stop();

    uint64_t SyncsReceived() const { return m_ullSyncs; }
    uint64_t RelaysSent() const { return m_ullRelays; }
    int JoinedCount() const;

private:
    int FindIndex(const RakNet::SystemAddress& address, int nId) const;
    void Dispatch(int nIndex, const RakNet::SystemAddress& address, int nId, const uint8_t* pPayload,
                  size_t nLength);
    void OnJoinRequest(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                       size_t nLength);
    void OnOnFootSync(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                      size_t nLength);
    void OnEnterVehicle(int nIndex, const RakNet::SystemAddress& address, const uint8_t* pPayload,
                        size_t nLength);
    // Sends the record on to every other joined connection behind the sender's slot.
    void Relay(int nIndex, const RakNet::SystemAddress& address, int nRelayId, const uint8_t* pRecord,
               size_t nRecordBytes);
    void SendBodyless(const RakNet::SystemAddress& address, int nId, int nReliability);

    SRelayOptions m_options;
    // From Start until Stop.
    RakNet::RakPeerInterface* m_pPeer = nullptr;
    // Per connection index, from the join request until the connection ends.
    bool m_abJoined[kMaxConnections] = {};
    RakNet::SystemAddress m_aAddresses[kMaxConnections];
    uint64_t m_ullSyncs = 0;
    uint64_t m_ullRelays = 0;
};

} // namespace orvnbench
