#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "net/CQueryLimiter.h"

class CServer;

constexpr int QUERY_HEADER_LENGTH = 11;
constexpr int QUERY_PING_LENGTH = 15;
constexpr int QUERY_MAX_NAMES = 100;
// 13 header bytes, then a length byte and at most 23 name bytes per slot.
constexpr int QUERY_MAX_REPLY = 13 + QUERY_MAX_NAMES * 24;
// 40 fixed bytes and three texts of at most 63 characters.
constexpr int QUERY_MAX_INFO_REPLY = 40 + 3 * 63;

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

// The 'i' and 'c' replies of one snapshot, built once when it is published;
// the request's header goes over their first eleven bytes when one is sent.
struct CQueryReplies
{
    int m_nInfoLength;
    int m_nListLength;
    uint8_t m_abyInfo[QUERY_MAX_INFO_REPLY];
    uint8_t m_abyList[QUERY_MAX_REPLY];
};

// Answers server-browser datagrams. The main thread captures the server once
// per tick and, only when the picture changed, builds the replies and
// publishes them; the transport's receive thread copies them when it sees a
// new generation and answers from that private copy, so neither thread waits
// for more than a copy of about 2.6 KB and no reply ever mixes two ticks.
// Replies pass the flood limits (CQueryLimiter) before they go out; what
// they drop is counted and reported by the main thread.
class CQueryHandler
{
public:
    CQueryHandler();

    // Main thread: captures the server's settings and player names and
    // publishes them when they differ from the last capture.
    void Refresh(const CServer& server);
    // Main thread: sanitises the snapshot, builds its replies, publishes them.
    void Publish(const CQuerySnapshot& snapshot);
    static void Capture(const CServer& server, CQuerySnapshot& snapshot);

    // Before the transport starts: the flood limits (0 switches one off; a
    // handler made without a call has none).
    void SetLimits(int nRatePerSecond, int nBurst, int nBytesPerSecond);
    // Main thread, once per tick: one line for the replies dropped since the
    // last line, at most once a minute.
    void ReportDrops(uint32_t uiNowMs);

    // Any thread: replies sent, and replies dropped over the rate and over the
    // budget, since start-up.
    void GetTotals(uint64_t& ullAnswered, uint64_t& ullOverRate, uint64_t& ullOverBudget) const;

    // One answering thread at a time (the transport's receive thread). True
    // when the datagram was a query: answered, or dropped by the limits; false
    // hands it on to the transport (a datagram that began with the query
    // magic then carries the reply magic in its first four bytes).
    bool HandleQueryDatagram(IQueryReplySocket* pSocket, uint32_t uiFromAddress, uint16_t usFromPort,
                             uint8_t* pData, int nLength);

    // Reply builders over a snapshot; each returns the reply length.
    static int BuildInfoReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader, uint8_t* pReply);
    static int BuildPlayerListReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader, uint8_t* pReply);

private:
    void TakeNewReplies();

    std::mutex m_Mutex;
    // The latest published replies and their generation; written under
    // m_Mutex, the generation also read without it to spot a change.
    CQueryReplies m_Shared;
    std::atomic<uint32_t> m_uiGeneration;
    // The answering thread's copy and the generation it came from.
    CQueryReplies m_Cache;
    uint32_t m_uiCacheGeneration;
    CQueryLimiter m_Limiter;
    // Replies dropped since the last report line, counted by the answering
    // thread, taken by the main thread.
    std::atomic<uint32_t> m_uiDroppedOverRate;
    std::atomic<uint32_t> m_uiDroppedOverBudget;
    // The same counts for the whole run, never taken.
    std::atomic<uint64_t> m_ullAnswered;
    std::atomic<uint64_t> m_ullTotalOverRate;
    std::atomic<uint64_t> m_ullTotalOverBudget;
    // Main thread only: the last capture, and when the last report line went out.
    CQuerySnapshot m_LastCapture;
    bool m_bCaptured;
    bool m_bReported;
    uint32_t m_uiLastReportMs;
};

// The one query handler of the process; it lives until the process ends, so
// the transport's thread can reach it at any moment.
CQueryHandler* GetQueryHandler();
