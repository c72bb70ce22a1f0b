#include "CRawSender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace flood
{
namespace
{
sockaddr_in Loopback(uint16_t usPort)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(usPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int OpenSocket()
{
    const int nSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (nSocket < 0)
        return -1;
    sockaddr_in local = Loopback(0);
    if (bind(nSocket, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0)
    {
        close(nSocket);
        return -1;
    }
    return nSocket;
}

bool SendOn(int nSocket, uint16_t usPort, const std::vector<uint8_t>& bytes)
{
    const sockaddr_in target = Loopback(usPort);
    return sendto(nSocket, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&target),
                  sizeof(target)) == static_cast<ssize_t>(bytes.size());
}
} // namespace

CRawSender::~CRawSender()
{
    Close();
}

bool CRawSender::Open(uint16_t usPort)
{
    Close();
    m_nSocket = OpenSocket();
    if (m_nSocket < 0)
        return false;
    sockaddr_in local{};
    socklen_t nLength = sizeof(local);
    getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&local), &nLength);
    m_usLocalPort = ntohs(local.sin_port);
    m_usPort = usPort;
    return true;
}

void CRawSender::Close()
{
    if (m_nSocket >= 0)
        close(m_nSocket);
    m_nSocket = -1;
}

bool CRawSender::Send(const std::vector<uint8_t>& bytes)
{
    return m_nSocket >= 0 && SendOn(m_nSocket, m_usPort, bytes);
}

bool CRawSender::SendFromNewPort(const std::vector<uint8_t>& bytes)
{
    const int nSocket = OpenSocket();
    if (nSocket < 0)
        return false;
    const bool bSent = SendOn(nSocket, m_usPort, bytes);
    close(nSocket);
    return bSent;
}

bool CRawSender::SendFromNewPort(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second)
{
    const int nSocket = OpenSocket();
    if (nSocket < 0)
        return false;
    const bool bSent = SendOn(nSocket, m_usPort, first) && SendOn(nSocket, m_usPort, second);
    close(nSocket);
    return bSent;
}

int CRawSender::Receive(uint8_t* pBuffer, size_t nSize, int nTimeoutMs)
{
    if (m_nSocket < 0)
        return -1;
    pollfd waiting{m_nSocket, POLLIN, 0};
    if (poll(&waiting, 1, nTimeoutMs) <= 0)
        return -1;
    const ssize_t nRead = recv(m_nSocket, pBuffer, nSize, 0);
    return nRead < 0 ? -1 : static_cast<int>(nRead);
}

} // namespace flood
