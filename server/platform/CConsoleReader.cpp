#include "platform/CConsoleReader.h"
#include "platform/Platform.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

CConsoleReader::~CConsoleReader()
{
    Stop();
}

void CConsoleReader::KeepStandardInputOpen()
{
    if (fcntl(STDIN_FILENO, F_GETFD) >= 0 || errno != EBADF)
        return;
    const int nFd = open("/dev/null", O_RDONLY);
    if (nFd > STDIN_FILENO)
        close(nFd);
}

bool CConsoleReader::Start(int nFd)
{
    if (m_Thread.joinable() || pipe(m_anWakePipe) != 0)
        return false;
    m_nFd = nFd;
    m_bStopping = false;
    // The thread inherits the mask, so Ctrl-C and the log signal are handled
    // on another thread.
    {
        CSignalBlock block;
        try
        {
            m_Thread = std::thread(&CConsoleReader::Run, this);
        }
        catch (...)
        {
        }
    }
    return m_Thread.joinable();
}

void CConsoleReader::Stop()
{
    if (m_Thread.joinable())
    {
        {
            std::lock_guard<std::mutex> guard(m_Mutex);
            m_bStopping = true;
        }
        m_Room.notify_all();
        const char cWake = 0;
        ssize_t nIgnored = write(m_anWakePipe[1], &cWake, 1);
        (void)nIgnored;
        m_Thread.join();
    }
    for (int& nEnd : m_anWakePipe)
    {
        if (nEnd >= 0)
            close(nEnd);
        nEnd = -1;
    }
}

bool CConsoleReader::TakeLine(SConsoleLine& line)
{
    {
        std::lock_guard<std::mutex> guard(m_Mutex);
        if (m_nQueueCount == 0)
            return false;
        line = m_aQueue[m_nQueueHead];
        m_nQueueHead = (m_nQueueHead + 1) % CONSOLE_QUEUE_LENGTH;
        --m_nQueueCount;
    }
    m_Room.notify_one();
    return true;
}

bool CConsoleReader::Push(const SConsoleLine& line)
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Room.wait(lock, [this] { return m_bStopping || m_nQueueCount < CONSOLE_QUEUE_LENGTH; });
    if (m_bStopping)
        return false;
    m_aQueue[(m_nQueueHead + m_nQueueCount) % CONSOLE_QUEUE_LENGTH] = line;
    ++m_nQueueCount;
    return true;
}

void CConsoleReader::Run()
{
    char achChunk[4096];
    for (;;)
    {
        pollfd aPoll[2] = {{m_nFd, POLLIN, 0}, {m_anWakePipe[0], POLLIN, 0}};
        if (poll(aPoll, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            break;
        }
        if (aPoll[1].revents != 0 || (aPoll[0].revents & POLLNVAL) != 0)
            break;
        const ssize_t nRead = read(m_nFd, achChunk, sizeof(achChunk));
        if (nRead < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (nRead <= 0)
            break;
        SConsoleLine line;
        for (size_t nTaken = 0; nTaken < static_cast<size_t>(nRead);)
        {
            bool bComplete = false;
            nTaken +=
                m_LineReader.Feed(achChunk + nTaken, static_cast<size_t>(nRead) - nTaken, line, bComplete);
            if (bComplete)
                Push(line);
        }
    }
    // A last line without its line end still counts at the end of input.
    SConsoleLine last;
    if (m_LineReader.Finish(last))
        Push(last);
}
