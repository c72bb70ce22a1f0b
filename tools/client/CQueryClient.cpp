#include "CQueryClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "WireFormat.h"

namespace testclient
{

namespace
{

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool HasReplyMagic(const uint8_t* pData, size_t nLength)
{
    return pData != nullptr && nLength >= kQueryHeaderSize &&
           std::memcmp(pData, wire::kQueryReplyMagic, sizeof(wire::kQueryReplyMagic)) == 0;
}

// A uint32 length and that many bytes at nOffset; advances it, false when the
// reply is shorter than the length says.
bool ReadText32(const uint8_t* pData, size_t nLength, size_t& nOffset, std::string& text)
{
    if (nOffset + 4 > nLength)
    {
        return false;
    }
    const uint32_t uiTextLength = ReadU32(pData + nOffset);
    nOffset += 4;
    if (uiTextLength > nLength - nOffset)
    {
        return false;
    }
    text.assign(reinterpret_cast<const char*>(pData + nOffset), uiTextLength);
    nOffset += uiTextLength;
    return true;
}

} // namespace

std::vector<uint8_t> BuildQueryRequest(const uint8_t abyAddress[4], uint16_t usPort, char cOpcode,
                                       const uint8_t* pbyPingBytes)
{
    std::vector<uint8_t> request(wire::kQueryMagic, wire::kQueryMagic + sizeof(wire::kQueryMagic));
    request.insert(request.end(), abyAddress, abyAddress + 4);
    request.push_back(static_cast<uint8_t>(usPort & 0xFF));
    request.push_back(static_cast<uint8_t>(usPort >> 8));
    request.push_back(static_cast<uint8_t>(cOpcode));
    if (cOpcode == 'p')
    {
        for (int i = 0; i < 4; ++i)
        {
            request.push_back(pbyPingBytes ? pbyPingBytes[i] : 0);
        }
    }
    return request;
}

bool QueryReplyMatches(const std::vector<uint8_t>& reply, const std::vector<uint8_t>& request)
{
    return request.size() >= kQueryHeaderSize && HasReplyMagic(reply.data(), reply.size()) &&
           std::memcmp(reply.data() + 4, request.data() + 4, kQueryHeaderSize - 4) == 0;
}

bool DecodeQueryInfo(const uint8_t* pData, size_t nLength, SQueryInfo& out)
{
    if (!HasReplyMagic(pData, nLength) || nLength < 28)
    {
        return false;
    }
    const char* szVersion = reinterpret_cast<const char*>(pData + 11);
    out.strVersion.assign(szVersion, strnlen(szVersion, 12));
    out.bPassword = pData[23] != 0;
    out.usPlayers = ReadU16(pData + 24);
    out.usMaxPlayers = ReadU16(pData + 26);
    size_t nOffset = 28;
    return ReadText32(pData, nLength, nOffset, out.strServerName) &&
           ReadText32(pData, nLength, nOffset, out.strGameMode) &&
           ReadText32(pData, nLength, nOffset, out.strMapName);
}

bool DecodeQueryPlayers(const uint8_t* pData, size_t nLength, SQueryPlayers& out)
{
    if (!HasReplyMagic(pData, nLength) || nLength < 13)
    {
        return false;
    }
    out.usCount = ReadU16(pData + 11);
    out.names.clear();
    size_t nOffset = 13;
    for (int i = 0; i < out.usCount; ++i)
    {
        if (nOffset >= nLength)
        {
            return false;
        }
        const size_t nNameLength = pData[nOffset++];
        if (nNameLength > nLength - nOffset)
        {
            return false;
        }
        out.names.emplace_back(reinterpret_cast<const char*>(pData + nOffset), nNameLength);
        nOffset += nNameLength;
    }
    return true;
}

bool DecodeQueryPing(const uint8_t* pData, size_t nLength, uint8_t abyPingBytes[4])
{
    if (!HasReplyMagic(pData, nLength) || nLength != kQueryPingSize || pData[10] != 'p')
    {
        return false;
    }
    std::memcpy(abyPingBytes, pData + kQueryHeaderSize, 4);
    return true;
}

CQueryClient::~CQueryClient()
{
    Close();
}

bool CQueryClient::Open(const char* szHost, uint16_t usPort)
{
    Close();
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* pResult = nullptr;
    if (szHost == nullptr || getaddrinfo(szHost, nullptr, &hints, &pResult) != 0 || pResult == nullptr)
    {
        return false;
    }
    const sockaddr_in* pAddress = reinterpret_cast<const sockaddr_in*>(pResult->ai_addr);
    std::memcpy(m_abyAddress, &pAddress->sin_addr.s_addr, 4);
    freeaddrinfo(pResult);
    m_usPort = usPort;
    m_nSocket = socket(AF_INET, SOCK_DGRAM, 0);
    return m_nSocket >= 0;
}

bool CQueryClient::BindLocal(const char* szLocalAddress)
{
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    if (m_nSocket < 0 || !szLocalAddress || inet_pton(AF_INET, szLocalAddress, &local.sin_addr) != 1)
    {
        return false;
    }
    return bind(m_nSocket, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0;
}

void CQueryClient::Close()
{
    if (m_nSocket >= 0)
    {
        close(m_nSocket);
        m_nSocket = -1;
    }
}

bool CQueryClient::Send(const uint8_t* pData, size_t nLength)
{
    if (m_nSocket < 0)
    {
        return false;
    }
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(m_usPort);
    std::memcpy(&target.sin_addr.s_addr, m_abyAddress, 4);
    const ssize_t nSent =
        sendto(m_nSocket, pData, nLength, 0, reinterpret_cast<const sockaddr*>(&target), sizeof(target));
    return nSent == static_cast<ssize_t>(nLength);
}

// Datagrams from anywhere but the target are skipped, within the same time-out.
bool CQueryClient::Receive(std::vector<uint8_t>& reply, uint32_t uiTimeoutMs)
{
    if (m_nSocket < 0)
    {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(uiTimeoutMs);
    static thread_local uint8_t s_abyBuffer[65536];
    for (;;)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() < 0)
        {
            return false;
        }
        pollfd pfd = {m_nSocket, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
        {
            return false;
        }
        sockaddr_in from = {};
        socklen_t nFromLength = sizeof(from);
        const ssize_t nReceived = recvfrom(m_nSocket, s_abyBuffer, sizeof(s_abyBuffer), 0,
                                           reinterpret_cast<sockaddr*>(&from), &nFromLength);
        if (nReceived < 0)
        {
            continue;
        }
        if (ntohs(from.sin_port) != m_usPort || std::memcmp(&from.sin_addr.s_addr, m_abyAddress, 4) != 0)
        {
            continue;
        }
        reply.assign(s_abyBuffer, s_abyBuffer + nReceived);
        return true;
    }
}

bool CQueryClient::Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply,
                            uint32_t uiTimeoutMs)
{
    return Send(request) && Receive(reply, uiTimeoutMs);
}

std::vector<uint8_t> CQueryClient::Request(char cOpcode, const uint8_t* pbyPingBytes) const
{
    return BuildQueryRequest(m_abyAddress, m_usPort, cOpcode, pbyPingBytes);
}

} // namespace testclient
