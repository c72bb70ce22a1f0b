#include "platform/PlatformLog.h"

#include <csignal>
#include <ctime>

namespace
{
// Set by the signal handler, cleared by the main thread when it reopens the
// log; lives for the whole process.
volatile sig_atomic_t g_nReopenRequested = 0;

void OnReopenSignal(int)
{
    g_nReopenRequested = 1;
}
} // namespace

void PlatformFormatLocalTime(char* szBuffer, size_t nSize)
{
    if (!szBuffer || nSize == 0)
        return;
    time_t now = time(nullptr);
    tm local = {};
    if (!localtime_r(&now, &local) || strftime(szBuffer, nSize, "%Y-%m-%dT%H:%M:%S", &local) == 0)
        szBuffer[0] = '\0';
}

bool PlatformWatchLogReopenSignal()
{
    struct sigaction action = {};
    action.sa_handler = OnReopenSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGUSR1, &action, nullptr) == 0;
}

bool PlatformTakeLogReopenRequest()
{
    if (!g_nReopenRequested)
        return false;
    g_nReopenRequested = 0;
    return true;
}
