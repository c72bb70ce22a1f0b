#include "platform/CConsoleReader.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
    // The thread inherits the mask: block the asynchronous signals while it
    // starts, so that Ctrl-C and the log signal are handled on another thread.
    // A fault on the reader itself must still reach the crash report.
    sigset_t asynchronous;
    sigset_t previous;
    sigfillset(&asynchronous);
    for (int nSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS})
        sigdelset(&asynchronous, nSignal);
    pthread_sigmask(SIG_SETMASK, &asynchronous, &previous);
    try
    {
        m_Thread = std::thread(&CConsoleReader::Run, this);
    }
    catch (...)
    {
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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

// A line that outgrew the buffer is handed over as refused, never in pieces:
// a piece of a long line could read as a command of its own.
void CConsoleReader::FinishLine()
{
    SConsoleLine& line = m_Current;
    if (line.bTooLong)
    {
        line.szText[0] = '\0';
    }
    else
    {
        if (line.nLength > 0 && line.szText[line.nLength - 1] == '\r')
            --line.nLength;
        line.szText[line.nLength] = '\0';
    }
    Push(line);
    line.nLength = 0;
    line.bTooLong = false;
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
        for (ssize_t i = 0; i < nRead; ++i)
        {
            if (achChunk[i] == '\n')
            {
                FinishLine();
                continue;
            }
            if (m_Current.nLength + 1 >= static_cast<size_t>(CONSOLE_LINE_SIZE))
                m_Current.bTooLong = true;
            else
                m_Current.szText[m_Current.nLength] = achChunk[i];
            ++m_Current.nLength;
        }
    }
    // A last line without its line end still counts at the end of input.
    if (m_Current.nLength > 0)
        FinishLine();
}
