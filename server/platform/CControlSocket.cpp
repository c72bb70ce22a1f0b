#include "platform/CControlSocket.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/ControlProtocol.h"
#include "platform/Platform.h"

namespace
{
bool MakeAddress(const char* szPath, sockaddr_un& address)
{
    memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    const size_t nLength = szPath ? strlen(szPath) : 0;
    if (nLength == 0 || nLength >= sizeof(address.sun_path))
        return false;
    memcpy(address.sun_path, szPath, nLength);
    return true;
}

// Anything but a refusal counts as a live server: a full backlog, or a
// socket we may not even try, is no proof that the file is stale.
bool SomeoneAnswers(const sockaddr_un& address)
{
    const int nFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (nFd < 0)
        return true;
    const int nResult = connect(nFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int nError = errno;
    close(nFd);
    return nResult == 0 || (nError != ECONNREFUSED && nError != ENOENT);
}

// Best effort, never waits: the notice is a courtesy before a close.
void SendNow(int nFd, const char* pData, size_t nLength)
{
    ssize_t nIgnored = send(nFd, pData, nLength, MSG_DONTWAIT | MSG_NOSIGNAL);
    (void)nIgnored;
}

uint32_t ElapsedMs(uint32_t uiNowMs, uint32_t uiSinceMs)
{
    return uiNowMs - uiSinceMs;
}
} // namespace

CControlSocket::~CControlSocket()
{
    Stop();
}

void CControlSocket::Fail(const char* szWhat)
{
    snprintf(m_szError, sizeof(m_szError), "%s: %s", szWhat, strerror(errno));
}

EControlStart CControlSocket::Start(const char* szPath)
{
    sockaddr_un address;
    if (m_Thread.joinable() || !MakeAddress(szPath, address))
        return CONTROL_BAD_PATH;
    struct stat existing = {};
    if (lstat(szPath, &existing) == 0)
    {
        if (!S_ISSOCK(existing.st_mode))
            return CONTROL_NOT_A_SOCKET;
        if (SomeoneAnswers(address))
            return CONTROL_IN_USE;
        unlink(szPath);
    }
    m_nListenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_nListenFd < 0)
    {
        Fail("socket");
        return CONTROL_FAILED;
    }
    // Nobody can connect before listen, so the mode is in force before anyone can.
    struct stat created = {};
    if (bind(m_nListenFd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        chmod(szPath, 0660) != 0 || stat(szPath, &created) != 0 || listen(m_nListenFd, 16) != 0 ||
        pipe2(m_anWakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
    {
        Fail(szPath);
        Stop();
        return CONTROL_FAILED;
    }
    m_strPath = szPath;
    m_ullDevice = created.st_dev;
    m_ullInode = created.st_ino;
    m_bStopping = false;
    CSignalBlock block;
    try
    {
        m_Thread = std::thread(&CControlSocket::Run, this);
    }
    catch (...)
    {
        errno = EAGAIN;
        Fail("thread");
        Stop();
        return CONTROL_FAILED;
    }
    return CONTROL_STARTED;
}

void CControlSocket::Stop()
{
    if (m_Thread.joinable())
    {
        m_bStopping = true;
        const char cWake = 0;
        ssize_t nIgnored = write(m_anWakePipe[1], &cWake, 1);
        (void)nIgnored;
        m_Thread.join();
    }
    for (int* pnFd : {&m_nListenFd, &m_anWakePipe[0], &m_anWakePipe[1]})
    {
        if (*pnFd >= 0)
            close(*pnFd);
        *pnFd = -1;
    }
    // A later server may have replaced a file we left; only our own goes.
    struct stat current = {};
    if (!m_strPath.empty() && lstat(m_strPath.c_str(), &current) == 0 &&
        static_cast<uint64_t>(current.st_dev) == m_ullDevice &&
        static_cast<uint64_t>(current.st_ino) == m_ullInode)
        unlink(m_strPath.c_str());
    m_strPath.clear();
}

bool CControlSocket::TakeLine(uint32_t& uiClient, SConsoleLine& line)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    for (int i = 0; i < CONTROL_MAX_CLIENTS; ++i)
    {
        SClient& client = m_aClients[(m_nNextTake + i) % CONTROL_MAX_CLIENTS];
        if (client.uiId == 0 || !client.bLineReady || client.bLineTaken)
            continue;
        client.bLineTaken = true;
        uiClient = client.uiId;
        line = client.line;
        m_nNextTake = (m_nNextTake + i + 1) % CONTROL_MAX_CLIENTS;
        return true;
    }
    return false;
}

// Each line of the text becomes an output line; the status line ends the answer.
void CControlSocket::Answer(uint32_t uiClient, const char* pText, size_t nLength, bool bRan)
{
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        SClient* pClient = nullptr;
        for (SClient& client : m_aClients)
            pClient = client.uiId == uiClient && uiClient != 0 ? &client : pClient;
        if (!pClient || !pClient->bLineTaken)
            return;
        std::string& strOut = pClient->strInbox;
        for (size_t nStart = 0; nStart < nLength;)
        {
            const char* pEnd = static_cast<const char*>(memchr(pText + nStart, '\n', nLength - nStart));
            const size_t nLineEnd = pEnd ? static_cast<size_t>(pEnd - pText) : nLength;
            strOut += CONTROL_TAG_OUTPUT;
            strOut.append(pText + nStart, nLineEnd - nStart);
            strOut += '\n';
            nStart = nLineEnd + 1;
        }
        strOut += CONTROL_TAG_END;
        strOut += bRan ? CONTROL_STATUS_RAN : CONTROL_STATUS_REFUSED;
        strOut += '\n';
        pClient->bLineReady = false;
        pClient->bLineTaken = false;
    }
    const char cWake = 0;
    ssize_t nIgnored = write(m_anWakePipe[1], &cWake, 1);
    (void)nIgnored;
}

bool CControlSocket::WaitsForAnswer(SClient& client)
{
    std::lock_guard<std::mutex> guard(m_Mutex);
    return client.bLineReady;
}

void CControlSocket::Run()
{
    pollfd aPoll[2 + CONTROL_MAX_CLIENTS];
    while (!m_bStopping)
    {
        aPoll[0] = {m_anWakePipe[0], POLLIN, 0};
        aPoll[1] = {m_nListenFd, POLLIN, 0};
        for (int i = 0; i < CONTROL_MAX_CLIENTS; ++i)
        {
            SClient& client = m_aClients[i];
            short nEvents = 0;
            if (client.nFd >= 0 && !client.bInputEnded && client.nInput < sizeof(client.achInput) &&
                !WaitsForAnswer(client))
                nEvents |= POLLIN;
            if (client.nFd >= 0 && client.nOutputSent < client.strOutput.size())
                nEvents |= POLLOUT;
            // A client polled for nothing is left out: its hang-up would wake us
            // again and again; a failed send finds it.
            aPoll[2 + i] = {nEvents != 0 ? client.nFd : -1, nEvents, 0};
        }
        // Once a second at least, for the idle and stall clocks.
        if (poll(aPoll, 2 + CONTROL_MAX_CLIENTS, 1000) < 0 && errno != EINTR)
            break;
        char achDrain[64];
        while (read(m_anWakePipe[0], achDrain, sizeof(achDrain)) > 0)
        {
        }
        const uint32_t uiNowMs = PlatformGetTickCount();
        if (aPoll[1].revents & POLLIN)
            Accept(uiNowMs);
        for (int i = 0; i < CONTROL_MAX_CLIENTS; ++i)
        {
            SClient& client = m_aClients[i];
            if (client.nFd < 0)
                continue;
            if (aPoll[2 + i].revents & (POLLIN | POLLHUP | POLLERR))
                Read(client, uiNowMs);
            FeedLine(client);
            Flush(client, uiNowMs);
            if (!Keep(client, uiNowMs))
                Close(client);
        }
    }
    // Answers already handed back still go out (the one to `exit` above all).
    const uint32_t uiNowMs = PlatformGetTickCount();
    for (SClient& client : m_aClients)
    {
        if (client.nFd < 0)
            continue;
        Flush(client, uiNowMs);
        Close(client);
    }
}

void CControlSocket::Accept(uint32_t uiNowMs)
{
    for (;;)
    {
        const int nFd = accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (nFd < 0)
            return;
        SClient* pFree = nullptr;
        for (SClient& client : m_aClients)
            pFree = !pFree && client.nFd < 0 ? &client : pFree;
        if (!pFree)
        {
            char szNotice[96];
            const int nLength =
                snprintf(szNotice, sizeof(szNotice), "%cToo many control clients: at most %d at once.\n",
                         CONTROL_TAG_CLOSING, CONTROL_MAX_CLIENTS);
            SendNow(nFd, szNotice, static_cast<size_t>(nLength));
            close(nFd);
            continue;
        }
        SClient& client = *pFree;
        client.nFd = nFd;
        client.reader = CLineReader();
        client.nInput = 0;
        client.bInputEnded = false;
        client.bGone = false;
        client.strOutput.clear();
        client.nOutputSent = 0;
        client.uiLastInputMs = uiNowMs;
        client.uiLastProgressMs = uiNowMs;
        std::lock_guard<std::mutex> guard(m_Mutex);
        // Never 0, which marks a free slot.
        client.uiId = m_uiNextId++;
        if (m_uiNextId == 0)
            m_uiNextId = 1;
        client.bLineReady = false;
        client.bLineTaken = false;
        client.strInbox.clear();
    }
}

void CControlSocket::Read(SClient& client, uint32_t uiNowMs)
{
    if (client.bInputEnded || client.nInput >= sizeof(client.achInput) || WaitsForAnswer(client))
        return;
    const ssize_t nRead =
        recv(client.nFd, client.achInput + client.nInput, sizeof(client.achInput) - client.nInput, 0);
    if (nRead > 0)
    {
        client.nInput += static_cast<size_t>(nRead);
        client.uiLastInputMs = uiNowMs;
    }
    else if (nRead == 0 || (errno != EAGAIN && errno != EINTR))
    {
        client.bInputEnded = true;
    }
}

void CControlSocket::FeedLine(SClient& client)
{
    if (WaitsForAnswer(client))
        return;
    SConsoleLine line;
    bool bComplete = false;
    const size_t nTaken = client.reader.Feed(client.achInput, client.nInput, line, bComplete);
    memmove(client.achInput, client.achInput + nTaken, client.nInput - nTaken);
    client.nInput -= nTaken;
    // The last line of a client that stopped sending still runs.
    if (!bComplete && client.bInputEnded && client.nInput == 0)
        bComplete = client.reader.Finish(line);
    if (!bComplete)
        return;
    std::lock_guard<std::mutex> guard(m_Mutex);
    client.line = line;
    client.bLineReady = true;
    client.bLineTaken = false;
}

void CControlSocket::Flush(SClient& client, uint32_t uiNowMs)
{
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        if (!client.strInbox.empty())
        {
            client.strOutput.erase(0, client.nOutputSent);
            client.nOutputSent = 0;
            if (client.strOutput.empty())
                client.uiLastProgressMs = uiNowMs;
            client.strOutput += client.strInbox;
            client.strInbox.clear();
        }
    }
    while (client.nOutputSent < client.strOutput.size())
    {
        const ssize_t nSent = send(client.nFd, client.strOutput.data() + client.nOutputSent,
                                   client.strOutput.size() - client.nOutputSent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (nSent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            client.bGone = true;
        if (nSent <= 0)
            break;
        client.nOutputSent += static_cast<size_t>(nSent);
        client.uiLastProgressMs = uiNowMs;
    }
    if (client.nOutputSent == client.strOutput.size())
    {
        client.strOutput.clear();
        client.nOutputSent = 0;
    }
}

bool CControlSocket::Keep(SClient& client, uint32_t uiNowMs)
{
    const size_t nPending = client.strOutput.size() - client.nOutputSent;
    if (client.bGone || nPending > CONTROL_OUTPUT_LIMIT)
        return false;
    if (nPending > 0)
        return ElapsedMs(uiNowMs, client.uiLastProgressMs) < CONTROL_STALL_MS;
    if (WaitsForAnswer(client))
        return true;
    // All said and answered: a client that stopped sending is done.
    if (client.bInputEnded && client.nInput == 0)
        return false;
    if (ElapsedMs(uiNowMs, client.uiLastInputMs) >= CONTROL_IDLE_MS)
    {
        char szNotice[64];
        const int nLength = snprintf(szNotice, sizeof(szNotice), "%cClosing: nothing received for %u s.\n",
                                     CONTROL_TAG_CLOSING, CONTROL_IDLE_MS / 1000);
        SendNow(client.nFd, szNotice, static_cast<size_t>(nLength));
        return false;
    }
    return true;
}

void CControlSocket::Close(SClient& client)
{
    close(client.nFd);
    client.nFd = -1;
    client.strOutput.clear();
    client.nOutputSent = 0;
    std::lock_guard<std::mutex> guard(m_Mutex);
    client.uiId = 0;
    client.bLineReady = false;
    client.bLineTaken = false;
    client.strInbox.clear();
}
