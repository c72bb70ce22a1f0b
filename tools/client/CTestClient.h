#pragma once

// A scriptable game client for end-to-end tests: one RakNet peer, one server
// connection, no threads of its own. Poll() drains the peer into a queue of
// decoded messages; the WaitFor family polls every millisecond until a message
// arrives or the time-out passes. Sends go out at once through RakNet.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BitStream.h"
#include "PacketPriority.h"
#include "RakNetTypes.h"

#include "CMessageBuilder.h"
#include "ClientMessages.h"
#include "ServerMessages.h"
#include "WireFormat.h"

namespace RakNet
{
class RakPeerInterface;
class RakNetSocket2;
} // namespace RakNet

namespace testclient
{

// RakNet's own events that the client records in the queue under their codes.
constexpr int kRakConnectionAccepted = 16;
constexpr int kRakConnectionAttemptFailed = 17;
constexpr int kRakNoFreeIncomingConnections = 20;
constexpr int kRakDisconnectionNotification = 21;
constexpr int kRakConnectionLost = 22;
constexpr int kRakConnectionBanned = 23;
constexpr int kRakInvalidPassword = 24;
constexpr int kRakIncompatibleProtocol = 25;
constexpr int kRakIpRecentlyConnected = 26;

enum EConnectResult
{
    CONNECT_OK,
    CONNECT_NOT_STARTED,      // the local peer could not start or the attempt was not accepted by RakNet
    CONNECT_TIMED_OUT,        // nothing decisive arrived within the time-out
    CONNECT_ATTEMPT_FAILED,   // no answer from the server (RakNet gave up)
    CONNECT_SERVER_FULL,      // ID_NO_FREE_INCOMING_CONNECTIONS
    CONNECT_BANNED,           // ID_CONNECTION_BANNED
    CONNECT_INVALID_PASSWORD, // ID_INVALID_PASSWORD
    CONNECT_INCOMPATIBLE,     // ID_INCOMPATIBLE_PROTOCOL_VERSION
    CONNECT_RECENTLY_CONNECTED,
};

const char* ConnectResultName(EConnectResult eResult);

class CTestClient
{
public:
    CTestClient();
    ~CTestClient();
    CTestClient(const CTestClient&) = delete;
    CTestClient& operator=(const CTestClient&) = delete;

    // Connects with the server password (always sent with its terminating zero,
    // so "" is the single zero byte). True on ID_CONNECTION_REQUEST_ACCEPTED; the
    // reason of a failure is in LastConnectResult(). Drops any earlier connection.
    bool Connect(const char* szHost, uint16_t usPort, const char* szServerPassword = "",
                 uint32_t uiTimeoutMs = 3000);
    EConnectResult LastConnectResult() const { return m_eLastConnect; }
    // The local address the next Connect binds to ("127.0.0.2" sends from
    // there); empty, the default, binds to every address.
    void SetBindHost(const char* szHost) { m_strBindHost = szHost ? szHost : ""; }
    // Closes the connection with a disconnection notice and releases the peer.
    void Disconnect();
    // Closes the connection without telling the server, which then sees it time out.
    void DropSilently();
    // From now on every datagram from the server is dropped unread, so the
    // client never learns that it was disconnected and goes on sending.
    void IgnoreIncoming();
    bool IsConnected() const { return m_bConnected; }

    // Sends the join request and waits for the server information (true; decoded
    // into *pInfo when given) or a refusal (false; its code in *pbyRefusal).
    bool Join(const SJoinRequest& request, SServerInfo* pInfo = nullptr, uint8_t* pbyRefusal = nullptr,
              uint32_t uiTimeoutMs = 3000);
    bool Join(const char* szName, SServerInfo* pInfo = nullptr, uint32_t uiTimeoutMs = 3000);
    // Player id and slot from the last server information taken by Join.
    uint32_t PlayerId() const { return m_uiPlayerId; }
    uint8_t Slot() const { return static_cast<uint8_t>(m_uiPlayerId & 0xFF); }

    // Sending; false when not connected. The stream must start with its identifier.
    bool SendStream(const RakNet::BitStream& stream, PacketReliability eReliability = RELIABLE_ORDERED,
                    PacketPriority ePriority = HIGH_PRIORITY, char cChannel = 0);
    bool SendRaw(const uint8_t* pData, size_t nLength, PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendRaw(const std::vector<uint8_t>& bytes, PacketReliability eReliability = RELIABLE_ORDERED);
    // One hand-made datagram from the connection's own socket, past RakNet:
    // the server takes it as the connection's.
    bool SendDatagram(const std::vector<uint8_t>& datagram);
    // Any identifier (256 and above as two bytes) followed by the builder's bits.
    bool SendMessage(int nId, const CMessageBuilder& body, PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendMessage(int nId, PacketReliability eReliability = RELIABLE_ORDERED);

    bool SendJoinRequest(const SJoinRequest& request);
    // Sync goes reliable ordered by default so that tests see it in sending order.
    bool SendOnFootSync(uint32_t uiStamp, const wire::SOnFootRecord& onFoot,
                        PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendAimSync(uint32_t uiStamp, const wire::SOnFootRecord& onFoot, const wire::SAimRecord& aim,
                     PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendDriverSync(uint32_t uiStamp, const wire::SDriverRecord& driver,
                        const wire::SVehicleRecord& vehicle,
                        PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendPassengerSync(uint32_t uiStamp, const wire::SPassengerRecord& passenger,
                           PacketReliability eReliability = RELIABLE_ORDERED);
    bool SendChat(std::string_view text);
    bool SendCommand(std::string_view text);
    bool SendPrivateMessage(uint8_t byRecipientSlot, std::string_view text);
    bool SendClientText(std::string_view text);
    bool SendRequestClass(uint8_t byDirection);
    bool SendRequestSpawn();
    bool SendSpawned();
    bool SendDeath(uint8_t byReason, uint8_t byKillerSlot, uint8_t byBodyPart);
    bool SendQuit(uint8_t byReason);
    bool SendAdminLogin(std::string_view password);
    bool SendAdminKick(uint8_t bySlot);
    bool SendAdminBan(uint8_t bySlot);
    bool SendPlayerListRequest();
    bool SendToggle(bool bOn);
    bool SendClientValue(double dValue);

    // Receiving. Poll() moves everything RakNet holds into the queue.
    void Poll();
    // Takes the oldest queued message with this identifier out of the queue,
    // polling until it arrives or the time-out passes.
    std::optional<SReceived> WaitFor(int nId, uint32_t uiTimeoutMs = 2000);
    std::optional<SReceived> WaitForAny(std::initializer_list<int> ids, uint32_t uiTimeoutMs = 2000);
    // True once the connection is gone: a disconnection notice or lost connection
    // arrived (they stay queued) or there never was a connection.
    bool WaitForDisconnect(uint32_t uiTimeoutMs = 3000);
    // Polls for the whole period; true when no message with this identifier is
    // queued afterwards (nothing is taken out of the queue).
    bool NoneWithin(int nId, uint32_t uiPeriodMs);
    // Polls for the whole period, so the server can act on what was sent.
    void Pump(uint32_t uiPeriodMs);

    const std::vector<SReceived>& Received() const { return m_received; }
    std::vector<SReceived> TakeAll(int nId);
    void Clear() { m_received.clear(); }
    int CountOf(int nId) const;

    // Milliseconds since the client was made (the clock of SReceived::timeMs).
    uint32_t NowMs() const;

    // The RakNet peer (null while not connected) and the server's address,
    // for plugins such as the store receiver.
    RakNet::RakPeerInterface* GetPeer() const { return m_pPeer; }
    const RakNet::SystemAddress& ServerAddress() const { return m_serverAddress; }

private:
    bool StartPeer();
    void StopPeer(uint32_t uiBlockMs);
    void Record(const uint8_t* pData, size_t nLength);
    std::optional<SReceived> Take(std::initializer_list<int> ids);

    // The peer exists from Connect until Disconnect/DropSilently (or destruction).
    RakNet::RakPeerInterface* m_pPeer = nullptr;
    // The peer's socket, from a successful Connect while the peer lives.
    RakNet::RakNetSocket2* m_pSocket = nullptr;
    // Address of the server for the current connection.
    RakNet::SystemAddress m_serverAddress;
    // True from ID_CONNECTION_REQUEST_ACCEPTED until a notice or loss is received.
    bool m_bConnected = false;
    EConnectResult m_eLastConnect = CONNECT_NOT_STARTED;
    // From the server information of the last successful Join.
    uint32_t m_uiPlayerId = 0;
    // Messages received and not yet taken, oldest first; kept across reconnects.
    std::vector<SReceived> m_received;
    // Steady-clock origin of NowMs, fixed at construction.
    int64_t m_llOriginMs = 0;
    // Local address of the peer's socket; empty for every address.
    std::string m_strBindHost;
};

// Splits a received packet's bytes into identifier and payload like the
// server does (time-stamp marker, two-byte identifiers); false for a packet
// that has no valid identifier.
bool ParseReceived(const uint8_t* pData, size_t nLength, SReceived& out);

} // namespace testclient
