#pragma once

// The server-browser side of the query protocol: building request datagrams,
// decoding the replies, and a plain UDP socket that sends a datagram to the
// game port and waits for the answer. Integers in replies are little-endian.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testclient
{

constexpr size_t kQueryHeaderSize = 11; // magic, six echoed bytes, opcode
constexpr size_t kQueryPingSize = 15;

struct SQueryInfo
{
    std::string strVersion;
    bool bPassword = false;
    uint16_t usPlayers = 0;
    uint16_t usMaxPlayers = 0;
    std::string strServerName;
    std::string strGameMode;
    std::string strMapName;
};

struct SQueryPlayers
{
    uint16_t usCount = 0;
    std::vector<std::string> names;
};

// "ORVN", the address bytes (first octet first), the port (low byte first), the
// opcode, and for 'p' the four bytes given (zeros when null).
std::vector<uint8_t> BuildQueryRequest(const uint8_t abyAddress[4], uint16_t usPort, char cOpcode,
                                       const uint8_t* pbyPingBytes = nullptr);

// True when the reply starts with "RV04" followed by bytes 4..10 of the request.
bool QueryReplyMatches(const std::vector<uint8_t>& reply, const std::vector<uint8_t>& request);

// Decoders; false for a wrong magic or a reply shorter than its own fields say.
bool DecodeQueryInfo(const uint8_t* pData, size_t nLength, SQueryInfo& out);
bool DecodeQueryPlayers(const uint8_t* pData, size_t nLength, SQueryPlayers& out);
bool DecodeQueryPing(const uint8_t* pData, size_t nLength, uint8_t abyPingBytes[4]);

class CQueryClient
{
public:
    CQueryClient() = default;
    ~CQueryClient();
    CQueryClient(const CQueryClient&) = delete;
    CQueryClient& operator=(const CQueryClient&) = delete;

    // Resolves an IPv4 host name or dotted address and opens the socket.
    bool Open(const char* szHost, uint16_t usPort);
    // After Open: sends from this local IPv4 address (any port), so that one
    // machine can pose as many sources on loopback (127.0.0.x).
    bool BindLocal(const char* szLocalAddress);
    void Close();

    bool Send(const uint8_t* pData, size_t nLength);
    bool Send(const std::vector<uint8_t>& datagram) { return Send(datagram.data(), datagram.size()); }
    // Waits for the next datagram from the target; false on time-out.
    bool Receive(std::vector<uint8_t>& reply, uint32_t uiTimeoutMs);
    bool Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, uint32_t uiTimeoutMs);

    // A request addressed to the target, as a browser would build it.
    std::vector<uint8_t> Request(char cOpcode, const uint8_t* pbyPingBytes = nullptr) const;

    const uint8_t* TargetAddress() const { return m_abyAddress; }
    uint16_t TargetPort() const { return m_usPort; }

private:
    // The socket is open from Open until Close or destruction; -1 when closed.
    int m_nSocket = -1;
    // The target, set by Open: IPv4 octets first octet first, and the port.
    uint8_t m_abyAddress[4] = {};
    uint16_t m_usPort = 0;
};

} // namespace testclient
