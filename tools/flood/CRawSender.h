#pragma once

// A plain UDP socket for hand-made datagrams to a server on this machine.
// Only loopback destinations are accepted. Either one socket (one source
// port) for a whole run, or a fresh socket, and so a new source port, per
// datagram.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flood
{

class CRawSender
{
public:
    CRawSender() = default;
    ~CRawSender();
    CRawSender(const CRawSender&) = delete;
    CRawSender& operator=(const CRawSender&) = delete;

    // Targets 127.0.0.1:usPort and opens the socket; false when it cannot.
    bool Open(uint16_t usPort);
    void Close();

    bool Send(const std::vector<uint8_t>& bytes);
    // From a socket of its own, closed at once: a source port never used before
    // by this sender (as far as the kernel's ephemeral range allows).
    bool SendFromNewPort(const std::vector<uint8_t>& bytes);
    // Two datagrams in turn from one new source port, as a request and the
    // datagram that follows it.
    bool SendFromNewPort(const std::vector<uint8_t>& first, const std::vector<uint8_t>& second);
    // Waits up to nTimeoutMs for one datagram on the run's socket; its size, or -1.
    int Receive(uint8_t* pBuffer, size_t nSize, int nTimeoutMs);
    uint16_t LocalPort() const { return m_usLocalPort; }

private:
    // The socket for the run; -1 before Open and after Close.
    int m_nSocket = -1;
    uint16_t m_usPort = 0;
    uint16_t m_usLocalPort = 0;
};

} // namespace flood
