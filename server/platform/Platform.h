#pragma once

#include <cstdint>

// The server's only contact with the operating system outside RakNet: clocks,
// sleeping, the console control events, the process's user. Dynamic libraries
// and directory listing have their own classes beside this file.

// Milliseconds since an arbitrary start, monotonic, 32-bit and wrapping: every
// deadline in the server compares against it unsigned.
uint32_t PlatformGetTickCount();

// The high-resolution counter and its ticks per second.
uint64_t PlatformGetPerfCounter();
uint64_t PlatformGetPerfFrequency();

// Microseconds of the same monotonic clock, for stage timing.
uint64_t PlatformGetMicroseconds();

void PlatformSleep(uint32_t uiMilliseconds);

// Console control types, as the handler receives them.
enum EConsoleControl
{
    CONSOLE_CTRL_C = 0,
    CONSOLE_CTRL_BREAK = 1,
    CONSOLE_CTRL_CLOSE = 2,
    CONSOLE_CTRL_LOGOFF = 5,
    CONSOLE_CTRL_SHUTDOWN = 6,
};

// Installs pfnHandler for SIGINT (Ctrl-C, 0), SIGQUIT (Ctrl-Break, 1),
// SIGHUP (close, 2) and SIGTERM (shut-down, 6). The handler runs in signal
// context, on any thread that does not block the signal (RakNet's threads
// too): it may only store a lock-free atomic flag.
typedef bool (*ConsoleControlHandler)(int nControlType);
bool PlatformSetConsoleControlHandler(ConsoleControlHandler pfnHandler);

bool PlatformIsRunningAsRoot();

// Blocks the asynchronous signals in the calling thread for as long as it
// lives. A thread started meanwhile inherits the mask, so Ctrl-C and the log
// signal keep reaching the main thread, while a fault on that thread still
// reaches the crash report.
class CSignalBlock
{
public:
    CSignalBlock();
    ~CSignalBlock();
    CSignalBlock(const CSignalBlock&) = delete;
    CSignalBlock& operator=(const CSignalBlock&) = delete;

private:
    // The mask before, restored on destruction (the system's signal set).
    alignas(8) unsigned char m_abySaved[128];
};

// What the process holds in memory now and the CPU time it has used so far
// (user and system); false, with both 0, when the system does not tell.
bool PlatformGetProcessUsage(uint64_t& ullResidentBytes, uint64_t& ullCpuMicroseconds);
