#pragma once

#include <string>
#include <vector>

// Runs the real server binary in a folder, with its standard output going to
// a file the test can read while it runs. The process is killed if the test
// forgets to stop it.
class CServerProcess
{
public:
    CServerProcess() = default;
    ~CServerProcess();

    // Starts ORVN_SERVER_BINARY (or strBinary) in strFolder with the arguments.
    bool Start(const std::string& strFolder, const std::vector<std::string>& args = {},
               const std::string& strBinary = "");
    // Waits until the output contains strText; false on time-out.
    bool WaitForOutput(const std::string& strText, int nTimeoutMs) const;
    // Sends a signal (SIGINT by default) and waits for the exit; returns the
    // exit status, or -1 when it did not exit in time (then it is killed).
    int Stop(int nSignal = 2, int nTimeoutMs = 5000);
    // Waits for the process to exit by itself; the exit status or -1.
    int WaitExit(int nTimeoutMs);
    std::string Output() const;
    int Pid() const { return m_nPid; }

private:
    int m_nPid = -1;
    std::string m_strOutputFile;
};

// A UDP port nobody on this machine listens on right now.
int FindFreeUdpPort();
