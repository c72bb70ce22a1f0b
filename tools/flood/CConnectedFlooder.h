#pragma once

// A real RakNet connection to a server on this machine whose socket also sends
// hand-made datagrams: the server takes them as coming from a connected
// system, which is what an attacker with a connection can do.

#include <cstdint>
#include <vector>

#include "RakNetTypes.h"

namespace RakNet
{
class RakPeerInterface;
class RakNetSocket2;
} // namespace RakNet

namespace flood
{

class CConnectedFlooder
{
public:
    CConnectedFlooder() = default;
    ~CConnectedFlooder();
    CConnectedFlooder(const CConnectedFlooder&) = delete;
    CConnectedFlooder& operator=(const CConnectedFlooder&) = delete;

    // Connects to 127.0.0.1:usPort; true once the server accepted, within nTimeoutMs.
    bool Connect(uint16_t usPort, const char* szPassword, int nTimeoutMs);
    // Sends the bytes from the connection's own address; false when not connected.
    bool SendRaw(const std::vector<uint8_t>& bytes);
    // Takes whatever the server sent (the connection stays healthy); false once it is gone.
    bool Poll();
    void Close();

private:
    // The peer and its socket exist from Connect until Close.
    RakNet::RakPeerInterface* m_pPeer = nullptr;
    RakNet::RakNetSocket2* m_pSocket = nullptr;
    RakNet::SystemAddress m_server;
    bool m_bConnected = false;
};

} // namespace flood
