#include "CConnectedFlooder.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "MessageIdentifiers.h"
#include "RakNetSocket2.h"
#include "RakPeerInterface.h"

namespace flood
{

CConnectedFlooder::~CConnectedFlooder()
{
    Close();
}

bool CConnectedFlooder::Connect(uint16_t usPort, const char* szPassword, int nTimeoutMs)
{
    Close();
    m_pPeer = RakNet::RakPeerInterface::GetInstance();
    RakNet::SocketDescriptor socket(0, "127.0.0.1");
    if (m_pPeer->Startup(1, &socket, 1) != RakNet::RAKNET_STARTED ||
        m_pPeer->Connect("127.0.0.1", usPort, szPassword, static_cast<int>(strlen(szPassword) + 1)) !=
            RakNet::CONNECTION_ATTEMPT_STARTED)
    {
        Close();
        return false;
    }
    m_server = RakNet::SystemAddress("127.0.0.1", usPort);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!m_bConnected && std::chrono::steady_clock::now() < deadline)
    {
        for (RakNet::Packet* pPacket = m_pPeer->Receive(); pPacket; pPacket = m_pPeer->Receive())
        {
            m_bConnected = m_bConnected || pPacket->data[0] == ID_CONNECTION_REQUEST_ACCEPTED;
            m_pPeer->DeallocatePacket(pPacket);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    DataStructures::List<RakNet::RakNetSocket2*> sockets;
    m_pPeer->GetSockets(sockets);
    m_pSocket = sockets.Size() ? sockets[0] : nullptr;
    if (!m_bConnected || !m_pSocket)
        Close();
    return m_bConnected;
}

bool CConnectedFlooder::SendRaw(const std::vector<uint8_t>& bytes)
{
    if (!m_bConnected)
        return false;
    RakNet::RNS2_SendParameters parameters;
    parameters.data = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    parameters.length = static_cast<int>(bytes.size());
    parameters.systemAddress = m_server;
    return m_pSocket->Send(&parameters, __FILE__, __LINE__) > 0;
}

bool CConnectedFlooder::Poll()
{
    if (!m_pPeer)
        return false;
    for (RakNet::Packet* pPacket = m_pPeer->Receive(); pPacket; pPacket = m_pPeer->Receive())
    {
        const uint8_t byId = pPacket->data[0];
        if (byId == ID_DISCONNECTION_NOTIFICATION || byId == ID_CONNECTION_LOST)
            m_bConnected = false;
        m_pPeer->DeallocatePacket(pPacket);
    }
    return m_bConnected;
}

void CConnectedFlooder::Close()
{
    if (m_pPeer)
    {
        m_pPeer->Shutdown(100);
        RakNet::RakPeerInterface::DestroyInstance(m_pPeer);
    }
    m_pPeer = nullptr;
    m_pSocket = nullptr;
    m_bConnected = false;
}

} // namespace flood
