#pragma once

#include "net/INetPeer.h"

namespace RakNet
{
class RakPeerInterface;
}

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
    void CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority) override;

    bool GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const override;
    int GetPing(int nSlot) const override;

    void AddToBanList(const char* szAddress) override;
    void RemoveFromBanList(const char* szAddress) override;
    bool IsBanned(const char* szAddress) const override;

    void Shutdown(int nBlockMs, int nChannel, int nPriority) override;

    // The RakNet peer itself, for the plugins that attach to it (store transfer).
    RakNet::RakPeerInterface* GetRakPeer() const { return m_pPeer; }

private:
    // Created with this object, released by its destructor.
    RakNet::RakPeerInterface* m_pPeer;
};
