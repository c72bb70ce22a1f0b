#pragma once

#include "RakNetTypes.h"

#include "net/INetPeer.h"

namespace RakNet
{
class RakPeerInterface;
}
class CStoreFileTransfer;

// The transport of a running server: one RakNet peer with one UDP socket.
// Server-browser queries are answered on RakNet's receive thread, ahead of
// RakNet's own processing, by the process-wide query handler. Owned by
// CNetwork from its Startup to its destruction.
class CRakNetPeer : public INetPeer
{
public:
    CRakNetPeer();
    ~CRakNetPeer() override;
    CRakNetPeer(const CRakNetPeer&) = delete;
    CRakNetPeer& operator=(const CRakNetPeer&) = delete;

    bool Startup(int nMaxConnections, int nPort, const char* szBindHost) override;
    void SetMaximumIncomingConnections(int nConnections) override;
    int GetMaximumIncomingConnections() const override;
    void SetOccasionalPing(bool bEnabled) override;
    void SetConnectionRateLimit(bool bEnabled) override;
    void SetIncomingPassword(const char* pPassword, int nLength) override;

    bool Receive(SNetPacket& packet) override;
    void DeallocatePacket(SNetPacket& packet) override;

    void Send(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel, int nSlot,
              bool bBroadcast) override;
    void SendToSlots(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel,
                     const int* pSlots, int nCount) override;
    void Flush() override;
    void CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority) override;
    void KeepConnection(int nSlot) override;

    bool GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const override;
    int GetPing(int nSlot) const override;

    void AddToBanList(const char* szAddress) override;
    void RemoveFromBanList(const char* szAddress) override;
    bool IsBanned(const char* szAddress) const override;

    void Shutdown(int nBlockMs, int nChannel, int nPriority) override;

    bool SendFileList(int nSlot, uint16_t usSetId, const char* szRoot, const SNetFileEntry* pFiles,
                      int nCount, int nPriority, int nChannel, int nPieceSize) override;
    bool TakeFinishedFileList(int& nSlot) override;
    int CountFileLists() const override;
    void GetByteTotals(uint64_t& ullReceived, uint64_t& ullSent) override;

    // The RakNet peer itself, for the plugins that attach to it (store transfer).
    RakNet::RakPeerInterface* GetRakPeer() const { return m_pPeer; }

private:
    // The connection slots the transport hands out: the player slots.
    static constexpr int SLOT_COUNT = 100;

    // Keeps or forgets a slot's address on the transport's connection events.
    void NoteConnectionEvent(const RakNet::Packet& packet, int nSlot);
    // The slot's connection, also while it is closing; unassigned for none.
    RakNet::SystemAddress ConnectionOf(int nSlot) const;

    // Created with this object, released by its destructor.
    RakNet::RakPeerInterface* m_pPeer;
    // Each slot's address from its connection event to its connection-ended
    // event. The transport's index lookup answers "none" as soon as a
    // connection starts closing, while its messages still arrive; closing it
    // and leaving it out of a send to all others need the address until the end.
    RakNet::SystemAddress m_aSlotAddress[SLOT_COUNT];
    // Byte totals of each slot's connection as last seen (main thread), and
    // of the connections that have ended; for the whole run.
    struct STraffic
    {
        uint64_t ullStart = 0;
        uint64_t ullReceived = 0;
        uint64_t ullSent = 0;
    };
    STraffic m_aSlotTraffic[SLOT_COUNT];
    uint64_t m_ullClosedReceived = 0;
    uint64_t m_ullClosedSent = 0;
    // Store downloads: created by a successful Startup, released after the peer.
    CStoreFileTransfer* m_pFileTransfer;
    // The recipients of one SendToSlots call; refilled by every call.
    RakNet::SystemAddress m_aSendTargets[SLOT_COUNT];
};
