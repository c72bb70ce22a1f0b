#pragma once

#include <cstdint>

#include "net/CMessageFloodLimit.h"

namespace RakNet
{
class BitStream;
}

class INetPeer;
struct SNetFileEntry;

// Send priorities, reliabilities and the two internal identifiers, as the
// transport numbers them.
enum ENetPriority
{
    NET_HIGH_PRIORITY = 1,
    NET_LOW_PRIORITY = 3,
};

enum ENetReliability
{
    NET_UNRELIABLE = 0,
    NET_RELIABLE = 2,
    NET_RELIABLE_ORDERED = 3,
};

enum : int
{
    ID_CONNECTION_ENDED = 145,
    ID_CONNECTION_OPENED = 146,
    ID_STORE_PUSH_COMPLETE = 256,
    NET_FIRST_HANDLER_ID = 145,
    NET_HANDLER_COUNT = 200,
};

// A handler gets the sender's slot, the identifier as received (for the two
// internal identifiers: the transport's own event code), and the payload after
// the identifier, which belongs to the receive loop and dies when it returns.
typedef void (*MessageHandler)(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);

// What went through the network since start-up: messages as the server
// sees them, bytes as the transport put them on the wire.
struct SNetTraffic
{
    uint64_t ullMessagesReceived;
    uint64_t ullMessagesSent;
    uint64_t ullBytesReceived;
    uint64_t ullBytesSent;
};

// The server's only contact with the network for game traffic: one peer, the
// identifier rules, the handler table and the send operations. Lives inside
// CServer from Initialise to its destruction.
class CNetwork
{
public:
    // pPeer is the transport to use; null means a RakNet peer of our own.
    // The network owns the peer either way.
    explicit CNetwork(INetPeer* pPeer = nullptr);
    ~CNetwork();

    // Starts listening. nMaxConnections is the room the peer allocates (the
    // player limit); nMaxPlayers is the incoming limit.
    bool Startup(int nMaxPlayers, int nMaxConnections, int nPort, const char* szPassword,
                 const char* szBindHost);

    // False, and nothing stored, unless 145 <= nId <= 344.
    bool RegisterHandler(int nId, MessageHandler pfnHandler);

    // Takes every waiting message out of the peer and dispatches it, past
    // the per-connection message limit.
    void ProcessIncoming();

    // The per-connection message limit; the server kicks what it flags.
    CMessageFloodLimit& GetFloodLimit() { return m_FloodLimit; }
    // Before Startup: the transport's limit on connection attempts per address.
    void SetConnectionRateLimit(bool bEnabled) { m_bConnectionRateLimit = bEnabled; }

    // Runs one raw message (identifier included) through parsing and dispatch
    // as if it came from nSlot; the receive loop and tests use it.
    void DispatchRaw(int nSlot, const uint8_t* pData, int nLength);

    // Sends the stream's bytes; slot -1 means every connection.
    void SendToPlayer(int nSlot, const RakNet::BitStream& stream, int nPriority, int nReliability,
                      int nChannel);
    void SendToAll(const RakNet::BitStream& stream, int nPriority, int nReliability, int nChannel);
    void SendToAllExcept(int nSlot, const RakNet::BitStream& stream, int nPriority, int nReliability,
                         int nChannel);
    // The same message to each of nCount slots, handed to the transport once.
    void SendToPlayers(const int* pSlots, int nCount, const RakNet::BitStream& stream, int nPriority,
                       int nReliability, int nChannel);
    // Every send so far leaves now; the tick calls it once its relays are
    // queued and again at its end. Nothing happens when nothing was sent.
    void FlushSends();

    // Identifiers below 256 take one byte, others two: 133 + (id >> 8), id & 0xFF.
    static void WriteMessageId(RakNet::BitStream& stream, int nId);

    // Starts a store transfer to a player: high priority, channel 1, pieces
    // of at most 1 MiB read from disk. False when one is still running.
    bool SendFileList(int nSlot, uint16_t usSetId, const char* szRoot, const SNetFileEntry* pFiles,
                      int nCount);

    // Finds the identifier and where its payload starts; false when the
    // message must be dropped.
    static bool ParseMessageId(const uint8_t* pData, int nLength, int& nId, int& nPayloadOffset);

    void SetMaxIncoming(int nConnections);
    int GetMaxIncoming() const;
    // The terminating zero is part of the password.
    void SetPassword(const char* szPassword);

    // "%d.%d.%d.%d", first octet first; an empty text for no connection.
    void GetAddress(int nSlot, char* szBuffer, int nSize) const;
    // The IPv4 address as the transport holds it (network byte order); 0 for none.
    uint32_t GetAddressBinary(int nSlot) const;
    int GetPing(int nSlot) const;
    // Closes the slot's connection; a disconnection notice unless bSilent.
    void Disconnect(int nSlot, bool bSilent);
    // The slot has joined: its connection is never closed to make room for a newcomer.
    void KeepConnection(int nSlot);

    void Ban(const char* szAddress);
    void Unban(const char* szAddress);
    bool IsBanned(const char* szAddress) const;

    // Main thread: the totals since start-up.
    void GetTraffic(SNetTraffic& traffic) const;

    INetPeer* GetPeer() const { return m_pPeer; }
    bool IsServer() const { return m_bIsServer; }

private:
    // Calls an internal identifier's handler directly; the network's own
    // copies of these identifiers are dropped by DispatchRaw.
    void DispatchInternal(int nSlot, int nId);
    // Store sets the transport finished, each as its completion message.
    void DispatchFinishedFileLists();

    bool m_bIsServer;
    INetPeer* m_pPeer;
    MessageHandler m_apfnHandlers[NET_HANDLER_COUNT];
    CMessageFloodLimit m_FloodLimit;
    bool m_bConnectionRateLimit;
    // Messages taken from and handed to the transport, for the whole run.
    uint64_t m_ullMessagesReceived;
    uint64_t m_ullMessagesSent;
    // Set by every send and close, cleared by FlushSends.
    bool m_bSendsPending;
};
