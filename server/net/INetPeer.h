#pragma once

#include <cstdint>

// One received message as the transport hands it over.
struct SNetPacket
{
    const uint8_t* pData;
    int nLength;
    // Connection index of the sender: the player slot.
    int nSlot;
    // Opaque handle the transport needs to release the message.
    void* pHandle;
};

// One file of a store transfer: where it is read from, and its size when the
// store was scanned. The transport reads it from disk piece by piece.
struct SNetFileEntry
{
    const char* szPath;
    uint32_t uiSize;
};

// The narrow seam between CNetwork and the transport. The real one wraps a
// RakNet peer; the recording one in the tests captures every send and lets a
// test inject messages, so handlers run without sockets.
class INetPeer
{
public:
    virtual ~INetPeer() = default;

    // Binds and listens; nMaxConnections is the room allocated for connections.
    virtual bool Startup(int nMaxConnections, int nPort, const char* szBindHost) = 0;
    virtual void SetMaximumIncomingConnections(int nConnections) = 0;
    virtual int GetMaximumIncomingConnections() const = 0;
    virtual void SetOccasionalPing(bool bEnabled) = 0;
    // Before Startup: at most one connection attempt per address per 100 ms
    // (the transport's own rule, which spares loopback). None by default.
    virtual void SetConnectionRateLimit(bool) {}
    // The bytes as given (the caller includes the terminating zero).
    virtual void SetIncomingPassword(const char* pPassword, int nLength) = 0;

    // The next waiting message; false when none is waiting.
    virtual bool Receive(SNetPacket& packet) = 0;
    virtual void DeallocatePacket(SNetPacket& packet) = 0;

    // nSlot >= 0 with bBroadcast false: to that connection. bBroadcast true:
    // to every connection, except nSlot when nSlot >= 0.
    virtual void Send(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel,
                      int nSlot, bool bBroadcast) = 0;
    // The same message to each of nCount connections, as Send() to each in
    // turn would; a transport may hand it over once for all of them.
    virtual void SendToSlots(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel,
                             const int* pSlots, int nCount)
    {
        for (int i = 0; i < nCount; ++i)
            Send(pData, nLength, nPriority, nReliability, nChannel, pSlots[i], false);
    }
    // Has every send so far leave now instead of when the transport's own
    // cycle comes round. A transport that sends at once has nothing to do.
    virtual void Flush() {}
    virtual void CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority) = 0;
    // The slot's connection has joined: when every slot is taken, the
    // transport makes room for a newcomer by closing the oldest connection
    // that has not joined, never this one.
    virtual void KeepConnection(int /*nSlot*/) {}

    // IPv4 address of a slot, in network byte order; false for no connection.
    virtual bool GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const = 0;
    virtual int GetPing(int nSlot) const = 0;

    virtual void AddToBanList(const char* szAddress) = 0;
    virtual void RemoveFromBanList(const char* szAddress) = 0;
    virtual bool IsBanned(const char* szAddress) const = 0;

    // Notifies connected clients for nBlockMs, then stops.
    virtual void Shutdown(int nBlockMs, int nChannel, int nPriority) = 0;

    // Store transfers. SendFileList starts sending nCount files to a
    // connection as set usSetId, read in pieces of at most nPieceSize bytes;
    // only paths under szRoot are read. False, with nothing started, when a
    // transfer to the slot is still running or the slot has no connection.
    // A transport without file transfer refuses every one.
    virtual bool SendFileList(int /*nSlot*/, uint16_t /*usSetId*/, const char* /*szRoot*/,
                              const SNetFileEntry* /*pFiles*/, int /*nCount*/, int /*nPriority*/,
                              int /*nChannel*/, int /*nPieceSize*/)
    {
        return false;
    }
    // A slot whose transfer has been pushed completely, once per transfer;
    // false when none is waiting. Safe to call from the main thread while the
    // transport's threads finish transfers.
    virtual bool TakeFinishedFileList(int& /*nSlot*/) { return false; }
    // Bytes received and sent on the wire over every connection since
    // start-up, closed ones included; main thread. 0 where not counted.
    virtual void GetByteTotals(uint64_t& ullReceived, uint64_t& ullSent)
    {
        ullReceived = 0;
        ullSent = 0;
    }
    // Transfers the transport still has running.
    virtual int CountFileLists() const { return 0; }
};
