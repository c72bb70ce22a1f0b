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
    // How often strText stands in the output so far.
    size_t CountOutput(const std::string& strText) const;
    int Pid() const { return m_nPid; }

    // Call before Start: the server's standard input becomes a pipe that the
    // test writes console lines to. Otherwise it inherits the test's input.
    void UseInputPipe() { m_bInputPipe = true; }
    // Writes the text to the pipe as it stands (add the newline yourself).
    bool WriteInput(const std::string& strText);
    // Closes the pipe: the server sees the end of its input.
    void CloseInput();

private:
    int m_nPid = -1;
    std::string m_strOutputFile;
    bool m_bInputPipe = false;
    // The write end of the input pipe, from Start until CloseInput; -1 when closed.
    int m_nInputFd = -1;
};

// A UDP port nobody on this machine listens on right now.
int FindFreeUdpPort();
