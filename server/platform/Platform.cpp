#include "platform/Platform.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{
// Installed once at start-up and never changed; read from signal context.
volatile ConsoleControlHandler g_pfnConsoleHandler = nullptr;

uint64_t MonotonicNanoseconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

int ControlTypeOfSignal(int nSignal)
{
    switch (nSignal)
    {
    case SIGINT:
        return CONSOLE_CTRL_C;
    case SIGQUIT:
        return CONSOLE_CTRL_BREAK;
    case SIGHUP:
        return CONSOLE_CTRL_CLOSE;
    case SIGTERM:
        return CONSOLE_CTRL_SHUTDOWN;
    default:
        return -1;
    }
}

void OnSignal(int nSignal)
{
    ConsoleControlHandler pfnHandler = g_pfnConsoleHandler;
    if (pfnHandler)
        pfnHandler(ControlTypeOfSignal(nSignal));
}
} // namespace

uint32_t PlatformGetTickCount()
{
    return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000ull);
}

uint64_t PlatformGetPerfCounter()
{
    return MonotonicNanoseconds();
}

uint64_t PlatformGetPerfFrequency()
{
    return 1000000000ull;
}

uint64_t PlatformGetMicroseconds()
{
    return MonotonicNanoseconds() / 1000ull;
}

void PlatformSleep(uint32_t uiMilliseconds)
{
    timespec ts;
    ts.tv_sec = uiMilliseconds / 1000;
    ts.tv_nsec = static_cast<long>(uiMilliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0)
    {
        // A signal cut the sleep short; sleep the rest.
    }
}

bool PlatformSetConsoleControlHandler(ConsoleControlHandler pfnHandler)
{
    g_pfnConsoleHandler = pfnHandler;
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    const int anSignals[] = {SIGINT, SIGQUIT, SIGHUP, SIGTERM};
    for (int nSignal : anSignals)
    {
        if (sigaction(nSignal, &action, nullptr) != 0)
            return false;
    }
    // A client vanishing mid-send must not end the process.
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool PlatformIsRunningAsRoot()
{
    return geteuid() == 0;
}

CSignalBlock::CSignalBlock()
{
    static_assert(sizeof(sigset_t) <= sizeof(m_abySaved), "the saved mask must fit");
    sigset_t asynchronous;
    sigfillset(&asynchronous);
    for (int nSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS})
        sigdelset(&asynchronous, nSignal);
    pthread_sigmask(SIG_SETMASK, &asynchronous, reinterpret_cast<sigset_t*>(m_abySaved));
}

CSignalBlock::~CSignalBlock()
{
    pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(m_abySaved), nullptr);
}

// The resident size from /proc (pages), the CPU time from the process's usage.
bool PlatformGetProcessUsage(uint64_t& ullResidentBytes, uint64_t& ullCpuMicroseconds)
{
    ullResidentBytes = 0;
    ullCpuMicroseconds = 0;
    rusage usage = {};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return false;
    const auto Micro = [](const timeval& tv)
    { return static_cast<uint64_t>(tv.tv_sec) * 1000000ull + static_cast<uint64_t>(tv.tv_usec); };
    ullCpuMicroseconds = Micro(usage.ru_utime) + Micro(usage.ru_stime);
    FILE* pFile = fopen("/proc/self/statm", "r");
    if (!pFile)
        return false;
    unsigned long long ullSize = 0;
    unsigned long long ullResident = 0;
    const bool bRead = fscanf(pFile, "%llu %llu", &ullSize, &ullResident) == 2;
    fclose(pFile);
    const long lPageSize = sysconf(_SC_PAGESIZE);
    if (bRead && lPageSize > 0)
        ullResidentBytes = ullResident * static_cast<uint64_t>(lPageSize);
    return bRead;
}
