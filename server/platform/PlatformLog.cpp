#include "platform/PlatformLog.h"

#include <atomic>
#include <csignal>
#include <ctime>

namespace
{
// Set by the signal handler, on whichever thread the signal reached (the
// main thread or one of RakNet's); taken by the main thread when it reopens
// the log. Lives for the whole process.
std::atomic<bool> g_bReopenRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnReopenSignal(int)
{
    g_bReopenRequested.store(true);
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
    // One exchange: a signal between a test and a clear would be lost.
    return g_bReopenRequested.exchange(false);
}
