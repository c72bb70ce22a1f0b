#pragma once

#include <string>

// A fresh folder under the system temp folder, removed with everything in it
// when the object dies. Tests that need files (server.cfg, logs, ban files,
// plugins) work inside one.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& strName) const { return m_strPath + "/" + strName; }
    void Write(const std::string& strName, const std::string& strContents) const;
    std::string Read(const std::string& strName) const;
    bool Exists(const std::string& strName) const;

private:
    std::string m_strPath;
};

// Changes the working directory for a scope and restores it.
class CScopedChdir
{
public:
    explicit CScopedChdir(const std::string& strPath);
    ~CScopedChdir();

private:
    std::string m_strPrevious;
};

// Captures what the process writes to standard output during a scope.
class CCaptureStdout
{
public:
    CCaptureStdout();
    ~CCaptureStdout();
    // Stops capturing (if still capturing) and returns everything captured.
    std::string Finish();

private:
    int m_nSavedFd;
    std::string m_strFile;
    bool m_bActive;
};
