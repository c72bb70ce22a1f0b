#include "ServerProcess.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef ORVN_SERVER_BINARY
#define ORVN_SERVER_BINARY "orvn-server"
#endif

CServerProcess::~CServerProcess()
{
    CloseInput();
    if (m_nPid > 0)
        Stop(SIGKILL, 2000);
    if (!m_strOutputFile.empty())
        unlink(m_strOutputFile.c_str());
}

bool CServerProcess::Start(const std::string& strFolder, const std::vector<std::string>& args,
                           const std::string& strBinary)
{
    char szTemplate[] = "/tmp/orvn-server-out-XXXXXX";
    int nFd = mkstemp(szTemplate);
    if (nFd < 0)
        return false;
    m_strOutputFile = szTemplate;
    std::string strPath = strBinary.empty() ? ORVN_SERVER_BINARY : strBinary;
    int anInput[2] = {-1, -1};
    if (m_bInputPipe && pipe(anInput) != 0)
        return false;
    // A server that already exited must fail the write, not end the test.
    if (m_bInputPipe)
        signal(SIGPIPE, SIG_IGN);
    m_nPid = fork();
    if (m_nPid == 0)
    {
        if (anInput[0] >= 0)
        {
            dup2(anInput[0], STDIN_FILENO);
            close(anInput[0]);
            close(anInput[1]);
        }
        dup2(nFd, STDOUT_FILENO);
        dup2(nFd, STDERR_FILENO);
        close(nFd);
        if (chdir(strFolder.c_str()) != 0)
            _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(strPath.c_str()));
        for (const std::string& strArg : args)
            argv.push_back(const_cast<char*>(strArg.c_str()));
        argv.push_back(nullptr);
        execv(strPath.c_str(), argv.data());
        _exit(127);
    }
    close(nFd);
    if (anInput[0] >= 0)
    {
        close(anInput[0]);
        m_nInputFd = anInput[1];
    }
    return m_nPid > 0;
}

bool CServerProcess::WriteInput(const std::string& strText)
{
    size_t nDone = 0;
    while (m_nInputFd >= 0 && nDone < strText.size())
    {
        ssize_t nWritten = write(m_nInputFd, strText.data() + nDone, strText.size() - nDone);
        if (nWritten <= 0)
            return false;
        nDone += static_cast<size_t>(nWritten);
    }
    return m_nInputFd >= 0;
}

void CServerProcess::CloseInput()
{
    if (m_nInputFd >= 0)
        close(m_nInputFd);
    m_nInputFd = -1;
}

std::string CServerProcess::Output() const
{
    std::ifstream file(m_strOutputFile, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool CServerProcess::WaitForOutput(const std::string& strText, int nTimeoutMs) const
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (Output().find(strText) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Output().find(strText) != std::string::npos;
}

int CServerProcess::WaitExit(int nTimeoutMs)
{
    if (m_nPid <= 0)
        return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        int nStatus = 0;
        pid_t nDone = waitpid(m_nPid, &nStatus, WNOHANG);
        if (nDone == m_nPid)
        {
            m_nPid = -1;
            return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

size_t CServerProcess::CountOutput(const std::string& strText) const
{
    const std::string strOutput = Output();
    size_t nCount = 0;
    for (size_t nAt = strOutput.find(strText); nAt != std::string::npos;
         nAt = strOutput.find(strText, nAt + 1))
        ++nCount;
    return nCount;
}

int CServerProcess::Stop(int nSignal, int nTimeoutMs)
{
    if (m_nPid <= 0)
        return -1;
    kill(m_nPid, nSignal);
    int nStatus = WaitExit(nTimeoutMs);
    if (nStatus < 0 && m_nPid > 0)
    {
        kill(m_nPid, SIGKILL);
        waitpid(m_nPid, nullptr, 0);
        m_nPid = -1;
    }
    return nStatus;
}

int FindFreeUdpPort()
{
    int nSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int nPort = 0;
    if (bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
    {
        socklen_t nLength = sizeof(address);
        getsockname(nSocket, reinterpret_cast<sockaddr*>(&address), &nLength);
        nPort = ntohs(address.sin_port);
    }
    close(nSocket);
    return nPort;
}
