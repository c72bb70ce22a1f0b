#pragma once

#include <cstdint>
#include <mutex>

class CServer;

constexpr int QUERY_HEADER_LENGTH = 11;
constexpr int QUERY_PING_LENGTH = 15;
constexpr int QUERY_MAX_NAMES = 100;
// 13 header bytes, then a length byte and at most 23 name bytes per slot.
constexpr int QUERY_MAX_REPLY = 13 + QUERY_MAX_NAMES * 24;

// Where a query reply goes: the socket the request arrived on, back to the
// address it came from. The transport supplies it for each datagram.
class IQueryReplySocket
{
public:
    virtual ~IQueryReplySocket() = default;
    // uiAddress is the IPv4 address in network byte order.
    virtual void SendTo(uint32_t uiAddress, uint16_t usPort, const uint8_t* pData, int nLength) = 0;
};

// Everything a query reply reports, copied out of the server by the main
// thread. Plain data, so a copy is a consistent picture of one instant.
struct CQuerySnapshot
{
    char m_szVersion[12];
    uint8_t m_byPassworded; // 1 when a server password is set
    uint16_t m_usPlayerCount;
    uint16_t m_usMaxPlayers;
    char m_szServerName[64];
    char m_szGameModeText[64];
    char m_szMapName[64];
    // Names of the occupied player slots in ascending slot order; the first
    // m_nNameCount entries are used.
    int m_nNameCount;
    char m_aszNames[QUERY_MAX_NAMES][24];
};

// Answers server-browser datagrams. The main thread publishes a snapshot once
// per tick; the transport's receive thread answers from a private copy of it.
// The mutex is held only for the copy in either direction, never while a
// reply is built or sent, so neither thread waits for more than a memcpy of
// about 2.5 KB and no reply ever mixes two ticks.
class CQueryHandler
{
public:
    CQueryHandler();

    // Main thread: captures the server's settings and player names and
    // publishes them.
    void Refresh(const CServer& server);
    void Publish(const CQuerySnapshot& snapshot);
    static void Capture(const CServer& server, CQuerySnapshot& snapshot);

    // Any thread. True when the datagram was a query and has been answered;
    // false hands it on to the transport (a datagram that began with the query
    // magic then carries the reply magic in its first four bytes).
    bool HandleQueryDatagram(IQueryReplySocket* pSocket, uint32_t uiFromAddress, uint16_t usFromPort,
                             uint8_t* pData, int nLength);

    // Reply builders over a snapshot; each returns the reply length.
    static int BuildInfoReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader, uint8_t* pReply);
    static int BuildPlayerListReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader, uint8_t* pReply);

private:
    void CopySnapshot(CQuerySnapshot& snapshot);

    std::mutex m_Mutex;
    // The latest published picture; guarded by m_Mutex.
    CQuerySnapshot m_Shared;
};

// The one query handler of the process; it lives until the process ends, so
// the transport's thread can reach it at any moment.
CQueryHandler* GetQueryHandler();
