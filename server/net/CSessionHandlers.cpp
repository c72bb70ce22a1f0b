#include "net/CSessionHandlers.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "BitStream.h"
#include "plugins/CPluginManager.h"
#include "CMetrics.h"
#include "CServer.h"
#include "net/CNetwork.h"
#include "net/Guards.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"

namespace
{
// Transport events behind the internal connection-ended message.
constexpr int RAK_DISCONNECTION_NOTIFICATION = 21;
// A fresh connection has this long to send its join request.
constexpr uint32_t JOIN_TIME_LIMIT_MS = 2500;
constexpr uint8_t MAX_JOIN_PASSWORD = 63;
constexpr uint8_t MAX_JOIN_UNIQUE_ID = 41;
constexpr uint32_t MAX_ADMIN_PASSWORD = 127;

// The join request as read so far; texts are always terminated.
struct SJoinRequest
{
    uint32_t uiMagic;
    uint32_t uiVersion;
    char szName[MAX_PLAYER_NAME];
    char szPassword[MAX_JOIN_PASSWORD + 1];
    char szUniqueId[MAX_JOIN_UNIQUE_ID + 1];
};

// RakNet refuses zero-byte reads that are not byte-aligned; an empty text is
// still a successful read.
bool ReadBytes(RakNet::BitStream& stream, char* pOut, unsigned int nLength)
{
    return nLength == 0 || stream.Read(pOut, nLength);
}

// Reads a length-prefixed text of at most nMax bytes into szOut (nMax + 1 bytes).
bool ReadShortText(RakNet::BitStream& stream, char* szOut, uint8_t byMax)
{
    uint8_t byLength = 0;
    if (!stream.Read(byLength))
        return false;
    if (byLength > byMax)
        byLength = byMax;
    if (!ReadBytes(stream, szOut, byLength))
        return false;
    szOut[byLength] = '\0';
    return true;
}

// Message 175 with the code, the line, and the connection closed with a notice.
void RefuseJoin(int nSlot, uint8_t byCode, const char* szFormat, ...) __attribute__((format(printf, 3, 4)));
void RefuseJoin(int nSlot, uint8_t byCode, const char* szFormat, ...)
{
    RakNet::BitStream reply;
    CNetwork::WriteMessageId(reply, ID_JOIN_REFUSED);
    reply.Write(byCode);
    // A negative slot would mean every connection.
    if (nSlot >= 0)
        g_pServer->m_pNetwork->SendToPlayer(nSlot, reply, NET_HIGH_PRIORITY, NET_RELIABLE, 0);

    char szLine[512];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(szLine, sizeof(szLine), szFormat, args);
    va_end(args);
    LogMessage("%s", szLine);
    GetMetrics().CountJoinRefused(byCode);
    g_pServer->Kick(nSlot, false);
}

// Magic and version checks; the version decides before the magic does.
uint8_t CheckJoinHeader(int nSlot, RakNet::BitStream& stream, SJoinRequest& request)
{
    bool bHeader = stream.Read(request.uiMagic) && stream.Read(request.uiVersion);
    if (nSlot < 0 || nSlot >= MAX_PLAYER_SLOTS)
    {
        RefuseJoin(nSlot, JOIN_SLOT_OR_ERROR, "Kicking connecting player at ID %d, ID is out of range.",
                   nSlot);
        return JOIN_SLOT_OR_ERROR;
    }
    if (!bHeader)
    {
        RefuseJoin(nSlot, JOIN_WRONG_MAGIC, "Kicking connecting player at ID %d, wrong magic code.", nSlot);
        return JOIN_WRONG_MAGIC;
    }
    uint32_t uiBand = request.uiVersion / 10;
    if (uiBand != JOIN_VERSION_BAND)
    {
        bool bNewer = uiBand > JOIN_VERSION_BAND;
        uint8_t byCode = bNewer ? JOIN_VERSION_NEWER : JOIN_VERSION_OLDER;
        RefuseJoin(nSlot, byCode,
                   "Kicking connecting player at ID %d, version is %d (current %d), using %s version.", nSlot,
                   static_cast<int>(request.uiVersion), SERVER_VERSION, bNewer ? "newer" : "older");
        return byCode;
    }
    if (request.uiMagic != JOIN_MAGIC)
    {
        RefuseJoin(nSlot, JOIN_WRONG_MAGIC, "Kicking connecting player at ID %d, wrong magic code.", nSlot);
        return JOIN_WRONG_MAGIC;
    }
    return JOIN_ACCEPTED;
}

// Length, then the name's validity (which rewrites it), then its uniqueness.
uint8_t CheckJoinName(int nSlot, RakNet::BitStream& stream, SJoinRequest& request)
{
    uint8_t byLength = 0;
    bool bRead = stream.Read(byLength);
    if (bRead && byLength >= MAX_PLAYER_NAME)
    {
        RefuseJoin(nSlot, JOIN_BAD_NAME, "Kicking connecting player at ID %d, nickname too long.", nSlot);
        return JOIN_BAD_NAME;
    }
    if (bRead)
        bRead = ReadBytes(stream, request.szName, byLength);
    request.szName[bRead ? byLength : 0] = '\0';
    if (!bRead || !CPlayerPool::ValidateName(request.szName))
    {
        RefuseJoin(nSlot, JOIN_BAD_NAME, "Kicking connecting player at ID %d, invalid nickname.", nSlot);
        return JOIN_BAD_NAME;
    }
    if (!g_pServer->m_pPlayerPool->IsNameFree(request.szName))
    {
        RefuseJoin(nSlot, JOIN_NAME_IN_USE, "Kicking connecting player at ID %d, name already in use.",
                   nSlot);
        return JOIN_NAME_IN_USE;
    }
    return JOIN_ACCEPTED;
}

// The login password, then the unique id, which every client must send.
uint8_t CheckJoinIdentity(int nSlot, RakNet::BitStream& stream, SJoinRequest& request)
{
    bool bHasUniqueId = false;
    bool bRead = ReadShortText(stream, request.szPassword, MAX_JOIN_PASSWORD) && stream.Read(bHasUniqueId);
    if (bRead && bHasUniqueId)
        bRead = ReadShortText(stream, request.szUniqueId, MAX_JOIN_UNIQUE_ID);
    if (!bRead || !bHasUniqueId)
    {
        RefuseJoin(nSlot, JOIN_NO_UNIQUE_ID, "Kicking connecting player at ID %d, no unique id.", nSlot);
        return JOIN_NO_UNIQUE_ID;
    }
    return JOIN_ACCEPTED;
}
} // namespace

void CSessionHandlers::OnConnectionOpened(int nSlot, int, const uint8_t*, int)
{
    GetMetrics().CountConnection();
    g_pServer->SetConnectionState(nSlot, CONNECTION_CONNECTED);
    if (nSlot >= 0 && nSlot < MAX_PLAYER_SLOTS)
        g_pServer->m_auiJoinDeadline[nSlot] = g_pServer->m_uiNow + JOIN_TIME_LIMIT_MS;
}

// The state is cleared for every slot the table has, whatever the incoming
// limit is now, so a slot above a lowered limit does not keep a stale state.
void CSessionHandlers::OnConnectionEnded(int nSlot, int nMessageId, const uint8_t*, int)
{
    uint8_t byReason = nMessageId == RAK_DISCONNECTION_NOTIFICATION ? DISCONNECT_LEFT : DISCONNECT_TIMEOUT;
    if (g_pServer->m_pPlayerPool && g_pServer->m_pPlayerPool->Get(nSlot))
        g_pServer->m_pPlayerPool->Delete(nSlot, byReason);
    if (nSlot >= 0 && nSlot < MAX_PLAYER_SLOTS)
    {
        g_pServer->m_abyConnectionState[nSlot] = CONNECTION_NONE;
        g_pServer->m_auiJoinDeadline[nSlot] = 0;
    }
}

void CSessionHandlers::OnJoinRequest(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesConnectedGuard(nSlot))
        return;
    ProcessJoinRequest(nSlot, pPayload, nLength);
}

uint8_t CSessionHandlers::ProcessJoinRequest(int nSlot, const uint8_t* pPayload, int nLength)
{
    SJoinRequest request;
    memset(&request, 0, sizeof(request));
    RakNet::BitStream stream(const_cast<uint8_t*>(pPayload),
                             nLength > 0 ? static_cast<unsigned int>(nLength) : 0, false);
    uint8_t byCode = CheckJoinHeader(nSlot, stream, request);
    if (byCode == JOIN_ACCEPTED)
        byCode = CheckJoinName(nSlot, stream, request);
    if (byCode == JOIN_ACCEPTED)
        byCode = CheckJoinIdentity(nSlot, stream, request);
    if (byCode != JOIN_ACCEPTED)
        return byCode;

    char szAddress[16];
    g_pServer->m_pNetwork->GetAddress(nSlot, szAddress, sizeof(szAddress));
    if (!g_pPluginManager->OnIncomingConnection(request.szName, request.szPassword, szAddress))
    {
        RefuseJoin(nSlot, JOIN_PLUGIN_REFUSED, "Kicking connecting player at ID %d, user '%s' login failed.",
                   nSlot, request.szName);
        return JOIN_PLUGIN_REFUSED;
    }
    // The transport admits newcomers past the player limit (they give way to
    // the next one when it runs out of room), so the limit is kept here.
    if (g_pServer->m_pPlayerPool->Count() >= g_pServer->m_nMaxPlayers)
    {
        RefuseJoin(nSlot, JOIN_SLOT_OR_ERROR, "Kicking connecting player at ID %d, server is full.", nSlot);
        return JOIN_SLOT_OR_ERROR;
    }
    if (!g_pServer->m_pPlayerPool->New(nSlot, request.szName, request.szUniqueId))
    {
        RefuseJoin(nSlot, JOIN_SLOT_OR_ERROR, "Kicking connecting player at ID %d, unknown error.", nSlot);
        return JOIN_SLOT_OR_ERROR;
    }
    g_pServer->SetConnectionState(nSlot, CONNECTION_JOINED);
    return JOIN_ACCEPTED;
}

// A quit without its reason byte still ends the session, as a plain leave.
void CSessionHandlers::OnQuit(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot))
        return;
    uint8_t byReason = DISCONNECT_LEFT;
    if (nLength >= 1)
        byReason = pPayload[0];
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    if (pPlayer)
    {
        LogMessage("Disconnecting player '%s' at ID %d, sent quit packet with reason %d.", pPlayer->GetName(),
                   nSlot, byReason);
        g_pServer->m_pPlayerPool->Delete(nSlot, byReason);
    }
    g_pServer->Kick(nSlot, false);
}

// A login that cannot be read in full counts as a wrong password.
void CSessionHandlers::OnAdminLogin(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot))
        return;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    if (!pPlayer)
        return;
    RakNet::BitStream stream(const_cast<uint8_t*>(pPayload),
                             nLength > 0 ? static_cast<unsigned int>(nLength) : 0, false);
    uint32_t uiLength = 0;
    char szPassword[MAX_ADMIN_PASSWORD + 1];
    bool bRead = stream.Read(uiLength);
    if (uiLength > MAX_ADMIN_PASSWORD)
        uiLength = MAX_ADMIN_PASSWORD;
    bRead = bRead && ReadBytes(stream, szPassword, uiLength);
    const char* szAdmin = g_pServer->m_szAdminPassword;
    bool bMatch = bRead && uiLength == strnlen(szAdmin, sizeof(g_pServer->m_szAdminPassword)) &&
                  memcmp(szPassword, szAdmin, uiLength) == 0;
    if (bMatch)
    {
        pPlayer->SetAdmin(true);
        SendChatLine(nSlot, 0xFFFFFFFF, "*> Logged in as an admin. <*");
    }
    else
    {
        SendChatLine(nSlot, 0xFFFFFF00, "*> Failed to log in as an admin. <*");
    }
}

void CSessionHandlers::OnAdminKick(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot) || nLength < 1)
        return;
    CPlayer* pAdmin = g_pServer->m_pPlayerPool->Get(nSlot);
    if (!pAdmin || !pAdmin->IsAdmin())
        return;
    int nTarget = pPayload[0];
    CPlayer* pTarget = g_pServer->m_pPlayerPool->Get(nTarget);
    if (pTarget)
    {
        LogMessage("Admin '%s' (%d) kicked player '%s' (%d).", pAdmin->GetName(), nSlot, pTarget->GetName(),
                   nTarget);
        GetMetrics().CountKick(KICK_ADMIN);
    }
    g_pServer->Kick(nTarget, false);
}

void CSessionHandlers::OnAdminBan(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot) || nLength < 1)
        return;
    CPlayer* pAdmin = g_pServer->m_pPlayerPool->Get(nSlot);
    if (!pAdmin || !pAdmin->IsAdmin())
        return;
    if (g_pServer->m_pPlayerPool->Get(pPayload[0]))
        GetMetrics().CountKick(KICK_ADMIN);
    g_pServer->BanPlayer(pPayload[0]);
}
