#include "CConsoleCommands.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Announcements.h"
#include "CBanList.h"
#include "CMetrics.h"
#include "CServer.h"
#include "Console.h"
#include "net/CNetwork.h"
#include "platform/CConsoleReader.h"
#include "platform/CControlSocket.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"

namespace
{
// Set once by the entry point; the reader lives until the process ends.
CConsoleReader* g_pReader = nullptr;
void (*g_pfnQuit)() = nullptr;
// Set by a command that answered but did nothing, for the length of one line.
bool g_bRefused = false;
// Answer bytes kept for one control client's line; the rest is cut with a note.
constexpr size_t CONTROL_ANSWER_LIMIT = 65536;

// What one control line printed, gathered through the console sink.
struct SAnswerCapture
{
    std::string strText;
    bool bCut = false;
};

// A command gets the rest of its line, leading white space skipped (empty
// when there is none); false means a bad argument, and the usage is printed.
typedef bool (*ConsoleCommandFn)(CServer& server, const char* szArgs);

struct SConsoleCommand
{
    const char* szName;
    const char* szUsage;
    const char* szHelp;
    ConsoleCommandFn pfnRun;
};

bool RunHelp(CServer& server, const char* szArgs);

// A whole decimal number within the bounds, nothing else on the line.
bool ParseNumber(const char* szArgs, long lMin, long lMax, long& lOut)
{
    if (!isdigit(static_cast<unsigned char>(szArgs[0])))
        return false;
    char* pEnd = nullptr;
    errno = 0;
    const long lValue = strtol(szArgs, &pEnd, 10);
    if (errno != 0 || *pEnd != '\0' || lValue < lMin || lValue > lMax)
        return false;
    lOut = lValue;
    return true;
}

// The player of a slot argument; prints the answer itself when the slot is
// a number but holds nobody (null then, with bBadArgument false).
CPlayer* ParsePlayer(CServer& server, const char* szArgs, bool& bBadArgument)
{
    long lSlot = 0;
    bBadArgument = !ParseNumber(szArgs, 0, MAX_PLAYER_SLOTS - 1, lSlot);
    if (bBadArgument)
        return nullptr;
    CPlayer* pPlayer = server.m_pPlayerPool ? server.m_pPlayerPool->Get(static_cast<int>(lSlot)) : nullptr;
    if (!pPlayer || pPlayer->IsMarkedForDeletion())
    {
        g_bRefused = true;
        ConsolePrint("No player at ID %ld.", lSlot);
        return nullptr;
    }
    return pPlayer;
}

const char* StateText(uint8_t byState)
{
    switch (byState)
    {
    case PLAYER_STATE_ON_FOOT:
        return "on foot";
    case PLAYER_STATE_AIMING:
        return "aiming";
    case PLAYER_STATE_DRIVER:
        return "driver";
    case PLAYER_STATE_PASSENGER:
        return "passenger";
    case PLAYER_STATE_NOT_SPAWNED:
        return "not spawned";
    default:
        return "unknown";
    }
}

// One line per player in slot order: slot, name, address, ping, state.
bool RunPlayers(CServer& server, const char* szArgs)
{
    if (szArgs[0] != '\0')
        return false;
    CPlayerPool* pPool = server.m_pPlayerPool;
    ConsolePrint("Players: %d of %d", pPool ? pPool->Count() : 0, server.m_nMaxPlayers);
    for (int nSlot = 0; pPool && nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        const CPlayer* pPlayer = pPool->Get(nSlot);
        if (!pPlayer)
            continue;
        char szAddress[16];
        server.m_pNetwork->GetAddress(nSlot, szAddress, sizeof(szAddress));
        ConsolePrint("%3d  %-23s  %-15s  %5d ms  %s", nSlot, pPlayer->GetName(), szAddress,
                     server.m_pNetwork->GetPing(nSlot), StateText(pPlayer->m_byState));
    }
    return true;
}

bool RunKick(CServer& server, const char* szArgs)
{
    bool bBadArgument = false;
    CPlayer* pPlayer = ParsePlayer(server, szArgs, bBadArgument);
    if (pPlayer)
    {
        const int nSlot = pPlayer->GetSlot();
        ConsolePrint("Kicking player '%s' at ID %d from the console.", pPlayer->GetName(), nSlot);
        GetMetrics().CountKick(KICK_CONSOLE);
        server.Kick(nSlot, false);
    }
    return !bBadArgument;
}

bool RunBan(CServer& server, const char* szArgs)
{
    bool bBadArgument = false;
    CPlayer* pPlayer = ParsePlayer(server, szArgs, bBadArgument);
    if (pPlayer)
    {
        const int nSlot = pPlayer->GetSlot();
        char szAddress[16];
        server.m_pNetwork->GetAddress(nSlot, szAddress, sizeof(szAddress));
        ConsolePrint("Banning player '%s' at ID %d (%s) from the console.", pPlayer->GetName(), nSlot,
                     szAddress);
        GetMetrics().CountKick(KICK_CONSOLE);
        server.BanPlayer(nSlot);
    }
    return !bBadArgument;
}

// One entry as the ban file holds it: no white space, at most an entry long.
// An address nobody banned is answered as such, and the files stay as they are.
bool RunUnban(CServer&, const char* szArgs)
{
    const size_t nLength = strlen(szArgs);
    if (nLength == 0 || nLength > static_cast<size_t>(BAN_TOKEN_LENGTH) || strpbrk(szArgs, " \t"))
        return false;
    if (!IsBanListed(szArgs))
    {
        g_bRefused = true;
        ConsolePrint("%s is not banned.", szArgs);
    }
    else if (RemoveBan(szArgs))
        ConsolePrint("Unbanned %s.", szArgs);
    return true;
}

bool RunSay(CServer&, const char* szArgs)
{
    if (szArgs[0] == '\0')
        return false;
    SendChatLine(-1, ANNOUNCEMENT_COLOUR, szArgs);
    ConsolePrint("Said to every player: %s", szArgs);
    return true;
}

bool RunMaxPlayers(CServer& server, const char* szArgs)
{
    long lPlayers = 0;
    if (!ParseNumber(szArgs, 0, 1000000, lPlayers))
        return false;
    server.SetMaxPlayers(static_cast<int>(lPlayers));
    ConsolePrint("Max players: %d", server.m_nMaxPlayers);
    return true;
}

// The password itself is never echoed: the log keeps every console answer.
bool RunPassword(CServer& server, const char* szArgs)
{
    server.SetServerPassword(szArgs);
    ConsolePrint("%s", szArgs[0] ? "Server password set." : "Server password removed.");
    return true;
}

// The same text the metrics endpoint serves, taken now rather than from the
// last published snapshot.
bool RunMetrics(CServer& server, const char* szArgs)
{
    if (szArgs[0] != '\0')
        return false;
    SMetricsSnapshot snapshot;
    GetMetrics().Capture(server, snapshot);
    std::string strText;
    CMetrics::Render(snapshot, strText);
    for (size_t nStart = 0; nStart < strText.size();)
    {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        ConsolePrint("%.*s", static_cast<int>(nEnd - nStart), strText.c_str() + nStart);
        nStart = nEnd + 1;
    }
    return true;
}

bool RunExit(CServer&, const char* szArgs)
{
    if (szArgs[0] != '\0')
        return false;
    if (g_pfnQuit)
        g_pfnQuit();
    return true;
}

const SConsoleCommand g_aCommands[] = {
    {"help", "help", "lists the commands", RunHelp},
    {"players", "players", "lists the players: slot, name, address, ping, state", RunPlayers},
    {"kick", "kick <slot>", "kicks the player at the slot", RunKick},
    {"ban", "ban <slot>", "bans the address of the player at the slot and kicks the player", RunBan},
    {"unban", "unban <address>", "lifts the ban on the address", RunUnban},
    {"say", "say <text>", "sends the text to every player as a chat line", RunSay},
    {"maxplayers", "maxplayers <n>", "sets the player limit", RunMaxPlayers},
    {"password", "password [text]", "sets the server password; nothing removes it", RunPassword},
    {"metrics", "metrics", "prints the server's figures in the monitoring text format", RunMetrics},
    {"exit", "exit", "stops the server as Ctrl-C does", RunExit},
};

bool RunHelp(CServer&, const char* szArgs)
{
    if (szArgs[0] != '\0')
        return false;
    for (const SConsoleCommand& command : g_aCommands)
        ConsolePrint("  %-16s %s", command.szUsage, command.szHelp);
    return true;
}

// The line without white space at either end, cut to the console's line size.
void TrimLine(const char* szLine, char* szOut, size_t nSize)
{
    while (isspace(static_cast<unsigned char>(*szLine)))
        ++szLine;
    size_t nLength = strnlen(szLine, nSize - 1);
    while (nLength > 0 && isspace(static_cast<unsigned char>(szLine[nLength - 1])))
        --nLength;
    memcpy(szOut, szLine, nLength);
    szOut[nLength] = '\0';
}

void PrintUnknown(const char* szName)
{
    char szNames[128] = "";
    size_t nUsed = 0;
    for (const SConsoleCommand& command : g_aCommands)
    {
        int nWritten =
            snprintf(szNames + nUsed, sizeof(szNames) - nUsed, "%s%s", nUsed ? ", " : "", command.szName);
        if (nWritten > 0 && nUsed + static_cast<size_t>(nWritten) < sizeof(szNames))
            nUsed += static_cast<size_t>(nWritten);
    }
    ConsolePrint("Unknown command '%s'. Commands: %s.", szName, szNames);
}

void CaptureAnswer(void* pContext, const char* szText)
{
    SAnswerCapture& capture = *static_cast<SAnswerCapture*>(pContext);
    const size_t nLength = strlen(szText);
    if (capture.bCut || capture.strText.size() + nLength + 1 > CONTROL_ANSWER_LIMIT)
    {
        capture.bCut = true;
        return;
    }
    capture.strText.append(szText, nLength);
    capture.strText += '\n';
}

// One control client's line: run as a console line, its printed lines
// gathered for the answer.
void AnswerControlLine(CServer& server, CControlSocket& socket, uint32_t uiClient, const SConsoleLine& line)
{
    SAnswerCapture capture;
    ConsoleSetSink(CaptureAnswer, &capture);
    bool bRan = false;
    if (line.bTooLong)
        CConsoleCommands::RefuseLongLine(static_cast<unsigned long>(line.nLength));
    else
        bRan = CConsoleCommands::Run(server, line.szText);
    ConsoleSetSink(nullptr, nullptr);
    if (capture.bCut)
        capture.strText += "(answer cut: more than " + std::to_string(CONTROL_ANSWER_LIMIT) + " bytes)\n";
    socket.Answer(uiClient, capture.strText.data(), capture.strText.size(), bRan);
}
} // namespace

void CConsoleCommands::Attach(CConsoleReader* pReader, void (*pfnQuit)())
{
    g_pReader = pReader;
    g_pfnQuit = pfnQuit;
}

void CConsoleCommands::RunPending(CServer& server)
{
    SConsoleLine line;
    while (g_pReader && g_pReader->TakeLine(line))
    {
        if (line.bTooLong)
            RefuseLongLine(static_cast<unsigned long>(line.nLength));
        else
            Run(server, line.szText);
    }
    uint32_t uiClient = 0;
    while (server.m_pControlSocket && server.m_pControlSocket->TakeLine(uiClient, line))
        AnswerControlLine(server, *server.m_pControlSocket, uiClient, line);
}

bool CConsoleCommands::Run(CServer& server, const char* szLine)
{
    char szTrimmed[CONSOLE_LINE_SIZE];
    TrimLine(szLine, szTrimmed, sizeof(szTrimmed));
    if (szTrimmed[0] == '\0')
        return true;
    g_bRefused = false;
    const size_t nNameLength = strcspn(szTrimmed, " \t");
    const char* szArgs = szTrimmed + nNameLength;
    while (*szArgs == ' ' || *szArgs == '\t')
        ++szArgs;
    for (const SConsoleCommand& command : g_aCommands)
    {
        if (strlen(command.szName) != nNameLength || !TextEqualNoCase(szTrimmed, command.szName, nNameLength))
            continue;
        const bool bGoodArgument = command.pfnRun(server, szArgs);
        if (!bGoodArgument)
            ConsolePrint("Bad argument for '%s'. Usage: %s", command.szName, command.szUsage);
        return bGoodArgument && !g_bRefused;
    }
    // A plugin that ran the line answers 0, as it would veto a request.
    if (g_pPluginManager && g_pPluginManager->OnConsoleCommand(szTrimmed) == 0)
        return true;
    szTrimmed[nNameLength] = '\0';
    PrintUnknown(szTrimmed);
    return false;
}

void CConsoleCommands::RefuseLongLine(unsigned long ulLength)
{
    ConsolePrint("Console line of %lu characters refused: at most %d are read.", ulLength,
                 CONSOLE_LINE_SIZE - 1);
}
