#include "net/CQueryHandler.h"

#include <cstring>

#include "CServer.h"
#include "platform/Platform.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"

namespace
{
const uint8_t g_abyRequestMagic[4] = {'O', 'R', 'V', 'N'};
const uint8_t g_abyReplyMagic[4] = {'R', 'V', '0', '4'};

// Query integers are little-endian, unlike the game protocol.
uint8_t* PutUint16(uint8_t* pOut, uint16_t usValue)
{
    pOut[0] = static_cast<uint8_t>(usValue & 0xFF);
    pOut[1] = static_cast<uint8_t>(usValue >> 8);
    return pOut + 2;
}

uint8_t* PutUint32(uint8_t* pOut, uint32_t uiValue)
{
    for (int i = 0; i < 4; ++i)
        pOut[i] = static_cast<uint8_t>((uiValue >> (8 * i)) & 0xFF);
    return pOut + 4;
}

// A 32-bit length and the text's bytes, no terminator.
uint8_t* PutText(uint8_t* pOut, const char* szText, size_t nMax)
{
    uint32_t uiLength = static_cast<uint32_t>(strnlen(szText, nMax));
    pOut = PutUint32(pOut, uiLength);
    memcpy(pOut, szText, uiLength);
    return pOut + uiLength;
}

// Terminates a fixed text field of a snapshot copied from outside.
template <size_t N> void Terminate(char (&szText)[N])
{
    szText[N - 1] = '\0';
}
} // namespace

CQueryHandler::CQueryHandler()
    : m_uiGeneration(0), m_uiCacheGeneration(0), m_uiDroppedOverRate(0), m_uiDroppedOverBudget(0),
      m_ullAnswered(0), m_ullTotalOverRate(0), m_ullTotalOverBudget(0), m_bCaptured(false),
      m_bReported(false), m_uiLastReportMs(0)
{
    memset(&m_LastCapture, 0, sizeof(m_LastCapture));
    Publish(m_LastCapture);
    m_Cache = m_Shared;
    m_uiCacheGeneration = m_uiGeneration.load();
}

CQueryHandler* GetQueryHandler()
{
    static CQueryHandler s_Handler;
    return &s_Handler;
}

// Most ticks change nothing a browser sees; those publish nothing.
void CQueryHandler::Refresh(const CServer& server)
{
    CQuerySnapshot snapshot;
    Capture(server, snapshot);
    if (m_bCaptured && memcmp(&snapshot, &m_LastCapture, sizeof(snapshot)) == 0)
        return;
    m_LastCapture = snapshot;
    m_bCaptured = true;
    Publish(snapshot);
}

void CQueryHandler::Capture(const CServer& server, CQuerySnapshot& snapshot)
{
    memset(&snapshot, 0, sizeof(snapshot));
    CopyText(snapshot.m_szVersion, server.m_szVersion, sizeof(snapshot.m_szVersion));
    snapshot.m_byPassworded = server.m_szPassword[0] != '\0' ? 1 : 0;
    snapshot.m_usMaxPlayers = static_cast<uint16_t>(server.m_nMaxPlayers);
    CopyText(snapshot.m_szServerName, server.m_szServerName, sizeof(snapshot.m_szServerName));
    CopyText(snapshot.m_szGameModeText, server.m_szGameModeText, sizeof(snapshot.m_szGameModeText));
    CopyText(snapshot.m_szMapName, server.m_szMapName, sizeof(snapshot.m_szMapName));
    const CPlayerPool* pPool = server.m_pPlayerPool;
    if (!pPool)
        return;
    snapshot.m_usPlayerCount = static_cast<uint16_t>(pPool->Count());
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS && nSlot < QUERY_MAX_NAMES; ++nSlot)
    {
        const CPlayer* pPlayer = pPool->Get(nSlot);
        if (pPlayer)
            CopyText(snapshot.m_aszNames[snapshot.m_nNameCount++], pPlayer->GetName(), 24);
    }
}

// Publish takes any snapshot; the builders rely on terminated texts and a
// bounded name count.
void CQueryHandler::Publish(const CQuerySnapshot& published)
{
    CQuerySnapshot snapshot = published;
    Terminate(snapshot.m_szVersion);
    Terminate(snapshot.m_szServerName);
    Terminate(snapshot.m_szGameModeText);
    Terminate(snapshot.m_szMapName);
    if (snapshot.m_nNameCount < 0)
        snapshot.m_nNameCount = 0;
    if (snapshot.m_nNameCount > QUERY_MAX_NAMES)
        snapshot.m_nNameCount = QUERY_MAX_NAMES;
    for (int i = 0; i < snapshot.m_nNameCount; ++i)
        Terminate(snapshot.m_aszNames[i]);

    // The header bytes are the request's; zeros stand in for them here.
    CQueryReplies built;
    const uint8_t abyHeader[QUERY_HEADER_LENGTH] = {};
    built.m_nInfoLength = BuildInfoReply(snapshot, abyHeader, built.m_abyInfo);
    built.m_nListLength = BuildPlayerListReply(snapshot, abyHeader, built.m_abyList);
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Shared = built;
    m_uiGeneration.store(m_uiGeneration.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void CQueryHandler::TakeNewReplies()
{
    if (m_uiGeneration.load(std::memory_order_acquire) == m_uiCacheGeneration)
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Cache = m_Shared;
    m_uiCacheGeneration = m_uiGeneration.load(std::memory_order_relaxed);
}

void CQueryHandler::SetLimits(int nRatePerSecond, int nBurst, int nBytesPerSecond)
{
    m_Limiter.Configure(nRatePerSecond, nBurst, nBytesPerSecond);
}

void CQueryHandler::ReportDrops(uint32_t uiNowMs)
{
    if (m_bReported && !ClockPassed(uiNowMs, m_uiLastReportMs + 60000))
        return;
    if (m_uiDroppedOverRate.load(std::memory_order_relaxed) == 0 &&
        m_uiDroppedOverBudget.load(std::memory_order_relaxed) == 0)
        return;
    const uint32_t uiOverRate = m_uiDroppedOverRate.exchange(0);
    const uint32_t uiOverBudget = m_uiDroppedOverBudget.exchange(0);
    LogMessage("Query flood: dropped %u replies (%u over an address's rate, %u over the reply budget).",
               uiOverRate + uiOverBudget, uiOverRate, uiOverBudget);
    m_bReported = true;
    m_uiLastReportMs = uiNowMs;
}

// Every reply starts with the request's first eleven bytes, the magic
// replaced; bytes 4..9 are the client's and come back untouched.
bool CQueryHandler::HandleQueryDatagram(IQueryReplySocket* pSocket, uint32_t uiFromAddress,
                                        uint16_t usFromPort, uint8_t* pData, int nLength)
{
    if (!pData || nLength < QUERY_HEADER_LENGTH || memcmp(pData, g_abyRequestMagic, 4) != 0)
        return false;
    memcpy(pData, g_abyReplyMagic, 4);

    uint8_t* pReply = pData;
    int nReplyLength = nLength;
    switch (pData[10])
    {
    case 'i':
    case 'c':
        TakeNewReplies();
        pReply = pData[10] == 'i' ? m_Cache.m_abyInfo : m_Cache.m_abyList;
        nReplyLength = pData[10] == 'i' ? m_Cache.m_nInfoLength : m_Cache.m_nListLength;
        memcpy(pReply, pData, QUERY_HEADER_LENGTH);
        break;
    case 'p':
        if (nLength != QUERY_PING_LENGTH)
            return false;
        break;
    default:
        return false;
    }
    switch (m_Limiter.Admit(uiFromAddress, nReplyLength, PlatformGetTickCount()))
    {
    case QUERY_OVER_RATE:
        m_uiDroppedOverRate.fetch_add(1, std::memory_order_relaxed);
        m_ullTotalOverRate.fetch_add(1, std::memory_order_relaxed);
        return true;
    case QUERY_OVER_BUDGET:
        m_uiDroppedOverBudget.fetch_add(1, std::memory_order_relaxed);
        m_ullTotalOverBudget.fetch_add(1, std::memory_order_relaxed);
        return true;
    case QUERY_REPLY:
        break;
    }
    if (pSocket)
        pSocket->SendTo(uiFromAddress, usFromPort, pReply, nReplyLength);
    m_ullAnswered.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void CQueryHandler::GetTotals(uint64_t& ullAnswered, uint64_t& ullOverRate, uint64_t& ullOverBudget) const
{
    ullAnswered = m_ullAnswered.load(std::memory_order_relaxed);
    ullOverRate = m_ullTotalOverRate.load(std::memory_order_relaxed);
    ullOverBudget = m_ullTotalOverBudget.load(std::memory_order_relaxed);
}

int CQueryHandler::BuildInfoReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader, uint8_t* pReply)
{
    uint8_t* pOut = pReply;
    memcpy(pOut, pHeader, QUERY_HEADER_LENGTH);
    pOut += QUERY_HEADER_LENGTH;
    memset(pOut, 0, 12);
    memcpy(pOut, snapshot.m_szVersion, strnlen(snapshot.m_szVersion, 11));
    pOut += 12;
    *pOut++ = snapshot.m_byPassworded != 0 ? 1 : 0;
    pOut = PutUint16(pOut, snapshot.m_usPlayerCount);
    pOut = PutUint16(pOut, snapshot.m_usMaxPlayers);
    pOut = PutText(pOut, snapshot.m_szServerName, 63);
    pOut = PutText(pOut, snapshot.m_szGameModeText, 63);
    pOut = PutText(pOut, snapshot.m_szMapName, 63);
    return static_cast<int>(pOut - pReply);
}

// The count is the number of names that follow, so the reply always parses.
int CQueryHandler::BuildPlayerListReply(const CQuerySnapshot& snapshot, const uint8_t* pHeader,
                                        uint8_t* pReply)
{
    uint8_t* pOut = pReply;
    memcpy(pOut, pHeader, QUERY_HEADER_LENGTH);
    pOut += QUERY_HEADER_LENGTH;
    pOut = PutUint16(pOut, static_cast<uint16_t>(snapshot.m_nNameCount));
    for (int i = 0; i < snapshot.m_nNameCount; ++i)
    {
        uint8_t byLength = static_cast<uint8_t>(strnlen(snapshot.m_aszNames[i], 23));
        *pOut++ = byLength;
        memcpy(pOut, snapshot.m_aszNames[i], byLength);
        pOut += byLength;
    }
    return static_cast<int>(pOut - pReply);
}
