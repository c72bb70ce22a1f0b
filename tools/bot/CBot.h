#pragma once

// One load bot: its own RakNet peer and one connection to the server. It
// walks through the client's handshake (connect, join, class request, spawn
// request, spawned) as a non-blocking state machine, then sends on-foot sync
// at a fixed rate, unreliable like a real client, and counts the relays of
// the other bots' sync that reach it.
//
// Each sync carries what the receiver needs to measure the relay, in fields
// the server stores and relays unchanged: the send time in the angle (see
// BotClock.h) and an 8-bit counter of the bot's syncs in record byte 37.
// Position and speed stay real movement, because the server averages the
// speed and streams by position; keys, ammunition, surface and the sync code
// stay constant, because the server interprets them.
//
// In vehicle mode the bot asks to enter vehicle (its number + 1) as driver
// once it has spawned, and then sends driver sync: the send time travels in
// the vehicle rotation's x and the counter in the low byte of the sync word,
// both stored and relayed unchanged.

#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "RakNetTypes.h"

#include "BotWire.h"
#include "SwarmShared.h"

namespace RakNet
{
class RakPeerInterface;
}

namespace orvnbot
{

enum EBotState
{
    BOT_IDLE,
    BOT_CONNECTING,
    BOT_JOINING,
    BOT_CHOOSING_CLASS,
    BOT_REQUESTING_SPAWN,
    BOT_ENTERING_VEHICLE,
    BOT_SPAWNED,
    BOT_LEAVING, // churn: disconnected, waiting for the notice to leave
    BOT_FAILED,  // the handshake did not complete
    BOT_LOST,    // spawned, then kicked or disconnected
};

struct SBotConfig
{
    std::string strHost = "127.0.0.1";
    uint16_t usPort = 8192;
    std::string strName;
    double dHz = 20.0;
    bool bVehicles = false;
    // Each handshake step must be answered within this time.
    int64_t llStepTimeoutUs = 10000000;
    // Churn, once the swarm has settled: when above 0, a spawned bot leaves
    // after a random stay of half to one and a half times this, and joins
    // again after a pause of 0.5 to 2 s; a chat line goes out after a random
    // half to one and a half times llChatUs.
    int64_t llChurnUs = 0;
    int64_t llChatUs = 0;
};

class CBot
{
public:
    CBot(int nIndex, const SBotConfig& config, SSwarmShared& shared);
    ~CBot();
    CBot(const CBot&) = delete;
    CBot& operator=(const CBot&) = delete;

    // One turn of the polling thread: starts connecting once a handshake place
    // is free, takes in everything RakNet holds, sends the sync when it is due.
    // Returns the number of packets taken in.
    int Step(int64_t llNowUs, SThreadStats& stats);
    // Starts an orderly disconnection; Release() afterwards frees the peer.
    void Close();
    void Release();

    // Read by the swarm's control thread while the bot's own thread runs it.
    EBotState State() const { return m_eState.load(); }
    bool Settled() const { return State() >= BOT_SPAWNED; }
    bool Joined() const { return m_bJoined; }
    bool Spawned() const { return m_bSpawned; }
    const char* FailReason() const { return m_szFailReason; }
    int64_t SpawnTimeUs() const { return m_llSpawnTimeUs; }
    uint64_t Sent() const { return m_ullSent; }
    uint64_t SentInWindow() const { return m_ullSentInWindow; }
    uint64_t Duplicates() const { return m_ullDuplicates; }
    uint32_t ReceivedFrom(int nSender) const { return m_auiReceivedFrom[static_cast<size_t>(nSender)]; }
    // Churn counts, read once the polling threads have stopped: handshakes
    // completed (the first included), departures and chat lines sent.
    uint32_t Joins() const { return m_uiJoins; }
    uint32_t Leaves() const { return m_uiLeaves; }
    uint32_t Chats() const { return m_uiChats; }

private:
    bool StartConnect(int64_t llNowUs);
    void HandlePacket(const RakNet::Packet& packet, int64_t llNowUs, SThreadStats& stats);
    void HandleGameMessage(const SMessageView& view, int64_t llNowUs, SThreadStats& stats);
    void HandleRelay(const SMessageView& view, int64_t llNowUs, SThreadStats& stats);
    void OnConnected(const RakNet::Packet& packet, int64_t llNowUs);
    void OnServerInfo(const SMessageView& view, int64_t llNowUs);
    void OnSpawnPermit(int64_t llNowUs);
    void OnEntered(const SMessageView& view, int64_t llNowUs);
    void StartSending(int64_t llNowUs);
    void CountRelay(int nSender, uint32_t uiCode, uint8_t byCounter, int64_t llNowUs, SThreadStats& stats);
    void SendDriverSync(int64_t llNowUs);
    void CountSent(int64_t llUnits, int64_t llNowUs);
    void TrackChange(const SMessageView& view);
    void SendSync(int64_t llNowUs);
    void StepChurn(int64_t llNowUs);
    void Leave(int64_t llNowUs);
    void SendChatLine();
    // A random time of half to one and a half times llMeanUs from now.
    int64_t RandomAfter(int64_t llNowUs, int64_t llMeanUs);
    bool SendBodyless(int nId);
    void Enter(EBotState eState, int64_t llNowUs);
    void Fail(const char* szReason);
    void LeaveHandshake();

    const int m_nIndex;
    const SBotConfig m_config;
    SSwarmShared& m_shared;
    const int64_t m_llPeriodUs;

    // From StartConnect until Release.
    RakNet::RakPeerInterface* m_pPeer = nullptr;
    RakNet::SystemAddress m_serverAddress;
    std::atomic<EBotState> m_eState{BOT_IDLE};
    // Set while this bot holds one of the shared handshake places.
    bool m_bInHandshake = false;
    // The current handshake step fails when the clock passes this.
    int64_t m_llStepDeadlineUs = 0;
    // Set by a class reply that arrives instead of the spawn permit: the
    // request was refused unless the permit follows shortly.
    int64_t m_llRefusalDeadlineUs = 0;
    const char* m_szFailReason = "";
    bool m_bJoined = false;
    bool m_bSpawned = false;
    int m_nSlot = -1;
    uint32_t m_uiPlayerId = 0;
    int64_t m_llSpawnTimeUs = 0;

    // What the client echoes and reports back, from the server's changes.
    uint32_t m_uiAckSequence = 0;
    uint8_t m_byHealth = 100;
    uint8_t m_byArmour = 0;

    int64_t m_llNextSendUs = 0;
    uint8_t m_bySyncCounter = 0;
    uint64_t m_ullSent = 0;
    uint64_t m_ullSentInWindow = 0;
    uint64_t m_ullDuplicates = 0;
    // Per sender bot, for the whole run: in-window relays received, and the
    // time code of the last relay (to spot the same state relayed twice).
    std::vector<uint32_t> m_auiReceivedFrom;
    std::vector<uint32_t> m_auiLastCode;

    // Churn: seeded by the bot's number, so runs repeat. The times are 0
    // until scheduled; m_bRejoining marks a bot between two connections,
    // which the set-up time no longer applies to.
    std::mt19937 m_random;
    int64_t m_llLeaveAtUs = 0;
    int64_t m_llRejoinAtUs = 0;
    int64_t m_llNextChatUs = 0;
    bool m_bRejoining = false;
    uint32_t m_uiJoins = 0;
    uint32_t m_uiLeaves = 0;
    uint32_t m_uiChats = 0;
};

} // namespace orvnbot
