#include "platform/CDirectoryList.h"

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
EDirectoryEntryKind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return ENTRY_FILE;
    return S_ISDIR(mode) ? ENTRY_DIRECTORY : ENTRY_OTHER;
}
} // namespace

bool CDirectoryList::List(const char* szPath, EntryCallback pfnCallback, void* pUser)
{
    DIR* pDir = opendir(szPath);
    if (!pDir)
        return false;
    while (dirent* pEntry = readdir(pDir))
    {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
            continue;
        struct stat info;
        if (fstatat(dirfd(pDir), pEntry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        SDirectoryEntry entry = {pEntry->d_name, KindOf(info.st_mode), S_ISLNK(info.st_mode), info.st_dev,
                                 info.st_ino};
        if (entry.bIsLink)
        {
            struct stat target;
            const bool bResolved = fstatat(dirfd(pDir), pEntry->d_name, &target, 0) == 0;
            entry.eKind = bResolved ? KindOf(target.st_mode) : ENTRY_OTHER;
            entry.ullDevice = bResolved ? target.st_dev : 0;
            entry.ullInode = bResolved ? target.st_ino : 0;
        }
        pfnCallback(pUser, entry);
    }
    closedir(pDir);
    return true;
}

bool CDirectoryList::Identify(const char* szPath, uint64_t& ullDevice, uint64_t& ullInode)
{
    struct stat info;
    if (stat(szPath, &info) != 0)
        return false;
    ullDevice = info.st_dev;
    ullInode = info.st_ino;
    return true;
}

// Opened without waiting, then checked: what sits at the path may have
// changed since it was listed.
FILE* OpenRegularFile(const char* szPath)
{
    const int nFd = open(szPath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0)
        return nullptr;
    struct stat info;
    if (fstat(nFd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        close(nFd);
        return nullptr;
    }
    // Reads of a regular file never wait; the flag is cleared all the same.
    fcntl(nFd, F_SETFL, fcntl(nFd, F_GETFL) & ~O_NONBLOCK);
    FILE* pFile = fdopen(nFd, "rb");
    if (!pFile)
        close(nFd);
    return pFile;
}
