#include "net/CQueryHandler.h"

#include <cstring>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

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
{
    memset(&m_Shared, 0, sizeof(m_Shared));
}

CQueryHandler* GetQueryHandler()
{
    static CQueryHandler s_Handler;
    return &s_Handler;
}

void CQueryHandler::Refresh(const CServer& server)
{
    CQuerySnapshot snapshot;
    Capture(server, snapshot);
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

void CQueryHandler::Publish(const CQuerySnapshot& snapshot)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Shared = snapshot;
}

void CQueryHandler::CopySnapshot(CQuerySnapshot& snapshot)
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        snapshot = m_Shared;
    }
    // Publish takes any snapshot; the builders rely on terminated texts and a
    // bounded name count.
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
}

// Every reply starts with the request's first eleven bytes, the magic
// replaced; bytes 4..9 are the client's and come back untouched.
bool CQueryHandler::HandleQueryDatagram(IQueryReplySocket* pSocket, uint32_t uiFromAddress,
                                        uint16_t usFromPort, uint8_t* pData, int nLength)
{
    if (!pData || nLength < QUERY_HEADER_LENGTH || memcmp(pData, g_abyRequestMagic, 4) != 0)
        return false;
    memcpy(pData, g_abyReplyMagic, 4);

    uint8_t abyReply[QUERY_MAX_REPLY];
    int nReplyLength = 0;
    switch (pData[10])
    {
    case 'i':
    case 'c':
    {
        CQuerySnapshot snapshot;
        CopySnapshot(snapshot);
        nReplyLength = pData[10] == 'i' ? BuildInfoReply(snapshot, pData, abyReply)
                                        : BuildPlayerListReply(snapshot, pData, abyReply);
        if (pSocket)
            pSocket->SendTo(uiFromAddress, usFromPort, abyReply, nReplyLength);
        return true;
    }
    case 'p':
        if (nLength != QUERY_PING_LENGTH)
            return false;
        if (pSocket)
            pSocket->SendTo(uiFromAddress, usFromPort, pData, nLength);
        return true;
    default:
        return false;
    }
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
