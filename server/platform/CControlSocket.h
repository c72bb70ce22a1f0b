#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/CLineReader.h"

// Clients served at once; one more is told so and closed.
constexpr int CONTROL_MAX_CLIENTS = 8;
// A client that sends nothing for this long (while no answer of its is
// pending) is closed.
constexpr uint32_t CONTROL_IDLE_MS = 60000;
// A client whose pending answer has not moved for this long is dropped: it
// does not read what it asked for.
constexpr uint32_t CONTROL_STALL_MS = 10000;
// Answer bytes a client may leave unread before it is dropped.
constexpr size_t CONTROL_OUTPUT_LIMIT = 262144;
// Bytes read ahead of the line being run; a client is read no further.
constexpr size_t CONTROL_INPUT_BUFFER = 1024;

enum EControlStart
{
    CONTROL_STARTED = 0,
    CONTROL_IN_USE = 1,       // a server answers on the path
    CONTROL_NOT_A_SOCKET = 2, // something else has that name; it is left alone
    CONTROL_BAD_PATH = 3,     // empty, or too long for a socket address
    CONTROL_FAILED = 4,       // the socket could not be made; LastError says why
};

// The operators' local control socket: a Unix domain stream socket, mode
// 0660, served by a thread of its own. The thread cuts each client's bytes
// into lines and holds one line per client for the main thread, which takes
// them between ticks, runs them and hands the answer back; the thread writes
// it out. A client's next line is not read before its answer has been handed
// back, so a client holds at most one line and its unread answers. The main
// thread never waits for the socket: the lock both take guards only memory.
class CControlSocket
{
public:
    CControlSocket() = default;
    ~CControlSocket();
    CControlSocket(const CControlSocket&) = delete;
    CControlSocket& operator=(const CControlSocket&) = delete;

    // Creates the socket at szPath and starts serving it. A stale socket file
    // nobody answers on is replaced; one a server answers on is not.
    EControlStart Start(const char* szPath);
    // Writes out what is already answered, closes every client, stops the
    // thread and removes the socket file (if it is still ours).
    void Stop();
    // The system's reason for the last CONTROL_FAILED.
    const char* LastError() const { return m_szError; }

    // Main thread: a line a client sent, and who sent it; false when none waits.
    bool TakeLine(uint32_t& uiClient, SConsoleLine& line);
    // Main thread: the answer to the line taken from uiClient, its output as
    // lines separated by '\n', and whether the command ran. An answer for a
    // client that has gone meanwhile is dropped.
    void Answer(uint32_t uiClient, const char* pText, size_t nLength, bool bRan);

private:
    struct SClient
    {
        // Guarded by m_Mutex: who the slot holds (0: free), the line handed
        // to the main thread, and the answers not yet moved to the output.
        uint32_t uiId = 0;
        bool bLineReady = false;
        bool bLineTaken = false;
        SConsoleLine line = {};
        std::string strInbox;
        // The serving thread's own, for as long as the connection lives.
        int nFd = -1;
        CLineReader reader;
        char achInput[CONTROL_INPUT_BUFFER];
        size_t nInput = 0;
        bool bInputEnded = false;
        // The connection broke under a send; nothing more can reach it.
        bool bGone = false;
        std::string strOutput;
        size_t nOutputSent = 0;
        uint32_t uiLastInputMs = 0;
        uint32_t uiLastProgressMs = 0;
    };

    void Run();
    void Accept(uint32_t uiNowMs);
    void Read(SClient& client, uint32_t uiNowMs);
    // Cuts buffered input into the client's next line, when it has none running.
    void FeedLine(SClient& client);
    // Moves handed-back answers to the output and writes what the socket takes.
    void Flush(SClient& client, uint32_t uiNowMs);
    // False when the client must be closed: idle, stalled, gone or done.
    bool Keep(SClient& client, uint32_t uiNowMs);
    bool WaitsForAnswer(SClient& client);
    void Close(SClient& client);
    void Fail(const char* szWhat);

    int m_nListenFd = -1;
    // Wakes the thread when an answer arrives or Stop is called.
    int m_anWakePipe[2] = {-1, -1};
    std::thread m_Thread;
    std::atomic<bool> m_bStopping{false};
    std::mutex m_Mutex;
    SClient m_aClients[CONTROL_MAX_CLIENTS];
    // Serving thread only: the id the next client gets.
    uint32_t m_uiNextId = 1;
    // Main thread only: where TakeLine looks first, so no client starves the others.
    int m_nNextTake = 0;
    // The socket file as created, so that Stop removes only our own.
    std::string m_strPath;
    uint64_t m_ullDevice = 0;
    uint64_t m_ullInode = 0;
    char m_szError[128] = "";
};
