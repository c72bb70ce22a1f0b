#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "platform/CLineReader.h"

// Lines read but not yet taken by the main thread; the reader waits when full.
constexpr int CONSOLE_QUEUE_LENGTH = 16;

// Reads the server's standard input on a thread of its own, so that a
// console that never types (or a pipe that stalls) never holds up the tick.
// The thread cuts the input into lines and queues them; the main thread
// takes them at one point of its frame. End of input or a read error ends
// the thread quietly. The thread blocks the asynchronous signals (Ctrl-C, the
// log signal, ...), which are then handled on one of the other threads: the
// main thread or one of RakNet's. Faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) stay open, so a fault on the reader is reported like any other.
class CConsoleReader
{
public:
    CConsoleReader() = default;
    ~CConsoleReader();
    CConsoleReader(const CConsoleReader&) = delete;
    CConsoleReader& operator=(const CConsoleReader&) = delete;

    // Opens the null device as standard input when the process was started
    // with it closed, so that no file or socket opened later takes its number
    // and gets read as the console. Called first thing in main.
    static void KeepStandardInputOpen();

    // Starts reading the descriptor (standard input by default); false when
    // the thread could not be started.
    bool Start(int nFd = 0);
    // Wakes the thread and waits for it; the queue keeps what it holds.
    void Stop();
    // Takes the oldest queued line; false when none is waiting.
    bool TakeLine(SConsoleLine& line);

private:
    void Run();
    // Waits for room in the queue; false when stopping.
    bool Push(const SConsoleLine& line);

    int m_nFd = -1;
    // Both ends of the pipe that wakes the thread for Stop; -1 when closed.
    int m_anWakePipe[2] = {-1, -1};
    std::thread m_Thread;
    // Guards the queue and m_bStopping, between the reader and the main thread.
    std::mutex m_Mutex;
    std::condition_variable m_Room;
    SConsoleLine m_aQueue[CONSOLE_QUEUE_LENGTH];
    int m_nQueueHead = 0;
    int m_nQueueCount = 0;
    bool m_bStopping = false;
    // The line being read; touched only by the reader thread.
    CLineReader m_LineReader;
};
