#include "TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

CTempDir::CTempDir()
{
    char szTemplate[] = "/tmp/orvn-test-XXXXXX";
    char* szPath = mkdtemp(szTemplate);
    m_strPath = szPath ? szPath : "/tmp";
}

CTempDir::~CTempDir()
{
    std::error_code error;
    std::filesystem::remove_all(m_strPath, error);
}

void CTempDir::Write(const std::string& strName, const std::string& strContents) const
{
    std::ofstream file(File(strName), std::ios::binary);
    file << strContents;
}

std::string CTempDir::Read(const std::string& strName) const
{
    std::ifstream file(File(strName), std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool CTempDir::Exists(const std::string& strName) const
{
    return std::filesystem::exists(File(strName));
}

CScopedChdir::CScopedChdir(const std::string& strPath)
{
    char szCwd[4096];
    m_strPrevious = getcwd(szCwd, sizeof(szCwd)) ? szCwd : "/";
    if (chdir(strPath.c_str()) != 0)
        perror("chdir");
}

CScopedChdir::~CScopedChdir()
{
    if (chdir(m_strPrevious.c_str()) != 0)
        perror("chdir");
}

CCaptureStdout::CCaptureStdout() : m_bActive(true)
{
    char szTemplate[] = "/tmp/orvn-stdout-XXXXXX";
    int nFd = mkstemp(szTemplate);
    m_strFile = szTemplate;
    fflush(stdout);
    m_nSavedFd = dup(STDOUT_FILENO);
    dup2(nFd, STDOUT_FILENO);
    close(nFd);
}

CCaptureStdout::~CCaptureStdout()
{
    Finish();
    unlink(m_strFile.c_str());
}

std::string CCaptureStdout::Finish()
{
    if (m_bActive)
    {
        fflush(stdout);
        dup2(m_nSavedFd, STDOUT_FILENO);
        close(m_nSavedFd);
        m_bActive = false;
    }
    std::ifstream file(m_strFile, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}
