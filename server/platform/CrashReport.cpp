#include "platform/CrashReport.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace
{
constexpr int MAX_MODULES = 50;
constexpr int MODULE_LINE_SIZE = 320;
constexpr int MAX_FRAMES = 64;
constexpr size_t ALT_STACK_SIZE = 256 * 1024;

struct SFatalSignal
{
    int nSignal;
    const char* szName;
};

const SFatalSignal g_aFatalSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"}, {SIGFPE, "SIGFPE"}, {SIGILL, "SIGILL"}, {SIGABRT, "SIGABRT"},
};

// Set at install, read by the handler; both live until the process ends.
const char* g_szLogPath = nullptr;
alignas(16) char g_abyAltStack[ALT_STACK_SIZE];
// The plugin lines, written at start-up before their length is published;
// the handler reads only the published length.
char g_szModules[MAX_MODULES * MODULE_LINE_SIZE];
std::atomic<int> g_nModulesLength{0};
std::atomic<int> g_nModuleCount{0};
// How long a second faulting thread waits for the first one's report before
// it ends the process itself, in case the first is stuck writing.
constexpr int REPORT_WAIT_MS = 30000;
// The thread writing the report (its kernel thread id), claimed once by the
// first thread into the handler and kept until the process ends; 0 before.
std::atomic<pid_t> g_nReporter{0};
// Set once that report is written out.
std::atomic<bool> g_bReportDone{false};

static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from a signal handler");

// A line under construction on the handler's stack: text, decimals and hex
// without the formatting functions, which are not safe in a signal handler.
struct SLine
{
    char szText[256];
    size_t nLength = 0;

    SLine& Text(const char* sz)
    {
        while (*sz && nLength < sizeof(szText))
            szText[nLength++] = *sz++;
        return *this;
    }
    SLine& Number(uint64_t ullValue, unsigned uBase, int nMinDigits)
    {
        char szDigits[24];
        int nDigits = 0;
        do
        {
            szDigits[nDigits++] = "0123456789abcdef"[ullValue % uBase];
            ullValue /= uBase;
        } while (ullValue != 0 || nDigits < nMinDigits);
        while (nDigits > 0 && nLength < sizeof(szText))
            szText[nLength++] = szDigits[--nDigits];
        return *this;
    }
    SLine& Decimal(uint64_t ullValue, int nMinDigits = 1) { return Number(ullValue, 10, nMinDigits); }
    SLine& Hex(uint64_t ullValue) { return Text("0x").Number(ullValue, 16, 1); }
};

void WriteAll(int nFd, const char* pData, size_t nLength)
{
    while (nFd >= 0 && nLength > 0)
    {
        const ssize_t nWritten = write(nFd, pData, nLength);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return;
        pData += nWritten;
        nLength -= static_cast<size_t>(nWritten);
    }
}

// To the log and to standard error alike.
void Emit(int nLogFd, const char* pData, size_t nLength)
{
    WriteAll(nLogFd, pData, nLength);
    WriteAll(STDERR_FILENO, pData, nLength);
}

void Emit(int nLogFd, const SLine& line)
{
    Emit(nLogFd, line.szText, line.nLength);
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian), in plain
// arithmetic because the time functions are not safe in a signal handler.
void CivilFromDays(int64_t llDays, int64_t& llYear, unsigned& uMonth, unsigned& uDay)
{
    llDays += 719468;
    const int64_t llEra = (llDays >= 0 ? llDays : llDays - 146096) / 146097;
    const unsigned uDayOfEra = static_cast<unsigned>(llDays - llEra * 146097);
    const unsigned uYearOfEra = (uDayOfEra - uDayOfEra / 1460 + uDayOfEra / 36524 - uDayOfEra / 146096) / 365;
    const unsigned uDayOfYear = uDayOfEra - (365 * uYearOfEra + uYearOfEra / 4 - uYearOfEra / 100);
    const unsigned uMonthIndex = (5 * uDayOfYear + 2) / 153;
    uDay = uDayOfYear - (153 * uMonthIndex + 2) / 5 + 1;
    uMonth = uMonthIndex < 10 ? uMonthIndex + 3 : uMonthIndex - 9;
    llYear = static_cast<int64_t>(uYearOfEra) + llEra * 400 + (uMonth <= 2 ? 1 : 0);
}

void EmitHeader(int nLogFd, int nSignal, const siginfo_t* pInfo)
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t llSeconds = now.tv_sec;
    int64_t llYear = 0;
    unsigned uMonth = 0;
    unsigned uDay = 0;
    CivilFromDays(llSeconds / 86400, llYear, uMonth, uDay);
    const int64_t llOfDay = llSeconds % 86400;
    SLine time;
    time.Text("\n*** Crash report ***\nTime: ").Decimal(static_cast<uint64_t>(llYear), 4).Text("-");
    time.Decimal(uMonth, 2).Text("-").Decimal(uDay, 2).Text(" ");
    time.Decimal(static_cast<uint64_t>(llOfDay / 3600), 2).Text(":");
    time.Decimal(static_cast<uint64_t>(llOfDay / 60 % 60), 2).Text(":");
    time.Decimal(static_cast<uint64_t>(llOfDay % 60), 2).Text(" UTC\n");
    Emit(nLogFd, time);

    const char* szName = "unknown";
    for (const SFatalSignal& fatal : g_aFatalSignals)
    {
        if (fatal.nSignal == nSignal)
            szName = fatal.szName;
    }
    SLine signal;
    signal.Text("Signal: ").Decimal(static_cast<uint64_t>(nSignal));
    signal.Text(" (").Text(szName).Text("), ");
    // A signal sent by a process (kill, abort) has no faulting address.
    if (pInfo && pInfo->si_code <= 0)
        signal.Text("sent by process ").Decimal(static_cast<uint64_t>(pInfo->si_pid)).Text("\n");
    else
        signal.Text("address ").Hex(pInfo ? reinterpret_cast<uintptr_t>(pInfo->si_addr) : 0).Text("\n");
    Emit(nLogFd, signal);
}

void EmitReport(int nSignal, const siginfo_t* pInfo)
{
    const int nLogFd = g_szLogPath ? open(g_szLogPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
    EmitHeader(nLogFd, nSignal, pInfo);

    const char szBacktrace[] = "Backtrace:\n";
    Emit(nLogFd, szBacktrace, sizeof(szBacktrace) - 1);
    void* apFrames[MAX_FRAMES];
    const int nFrames = backtrace(apFrames, MAX_FRAMES);
    if (nLogFd >= 0)
        backtrace_symbols_fd(apFrames, nFrames, nLogFd);
    backtrace_symbols_fd(apFrames, nFrames, STDERR_FILENO);

    const char szPlugins[] = "Plugins:\n";
    Emit(nLogFd, szPlugins, sizeof(szPlugins) - 1);
    const int nModulesLength = g_nModulesLength.load(std::memory_order_acquire);
    if (nModulesLength > 0)
        Emit(nLogFd, g_szModules, static_cast<size_t>(nModulesLength));
    else
        Emit(nLogFd, "  none\n", 7);
    if (nLogFd >= 0)
        close(nLogFd);
}

// A second thread that faults while the first writes its report waits: its
// own default action would end the process with the report cut short. The
// first thread's default action ends the process once the report is out.
void WaitForReport()
{
    for (int nWaited = 0; nWaited < REPORT_WAIT_MS && !g_bReportDone.load(); nWaited += 10)
    {
        timespec pause = {0, 10 * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

// The default action runs once this handler returns: the signal is blocked
// while the handler runs, so the raised one waits until then. A fault inside
// the report itself (the same thread again) goes straight to the default.
void OnFatalSignal(int nSignal, siginfo_t* pInfo, void*)
{
    const int nSavedErrno = errno;
    const pid_t nSelf = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t nReporter = 0;
    if (g_nReporter.compare_exchange_strong(nReporter, nSelf))
    {
        EmitReport(nSignal, pInfo);
        g_bReportDone.store(true);
    }
    else if (nReporter != nSelf)
    {
        WaitForReport();
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(nSignal, &action, nullptr);
    raise(nSignal);
    errno = nSavedErrno;
}
} // namespace

bool PlatformInstallCrashReport(const char* szLogPath)
{
    g_szLogPath = szLogPath;
    // The first backtrace loads the unwinder, which allocates: done here,
    // so that the handler's call does not.
    void* apFrames[2];
    backtrace(apFrames, 2);

    stack_t stack = {};
    stack.ss_sp = g_abyAltStack;
    stack.ss_size = sizeof(g_abyAltStack);
    if (sigaltstack(&stack, nullptr) != 0)
        return false;
    struct sigaction action = {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const SFatalSignal& fatal : g_aFatalSignals)
    {
        if (sigaction(fatal.nSignal, &action, nullptr) != 0)
            return false;
    }
    return true;
}

void PlatformRegisterCrashModule(const char* szFile, const void* pSymbol)
{
    const int nCount = g_nModuleCount.load();
    if (!szFile || nCount >= MAX_MODULES)
        return;
    Dl_info info = {};
    const uintptr_t uiBase =
        pSymbol && dladdr(pSymbol, &info) != 0 ? reinterpret_cast<uintptr_t>(info.dli_fbase) : 0;
    SLine line;
    line.Text("  ").Text(szFile).Text(" loaded at ").Hex(uiBase).Text("\n");
    // A path too long for the line is cut, its line still ended.
    line.szText[line.nLength - 1] = '\n';
    const int nLength = g_nModulesLength.load(std::memory_order_relaxed);
    const size_t nLineLength = line.nLength < MODULE_LINE_SIZE ? line.nLength : MODULE_LINE_SIZE;
    memcpy(g_szModules + nLength, line.szText, nLineLength);
    g_nModuleCount.store(nCount + 1);
    g_nModulesLength.store(nLength + static_cast<int>(nLineLength), std::memory_order_release);
}
