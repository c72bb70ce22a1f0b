#include "platform/CDirectoryList.h"

#include <cstdio>
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

bool CDirectoryList::List(const char* szPath, EntryCallback pfnCallback, void* pUser)
{
    DIR* pDir = opendir(szPath);
    if (!pDir)
        return false;
    while (dirent* pEntry = readdir(pDir))
    {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
            continue;
        char szFull[4096];
        snprintf(szFull, sizeof(szFull), "%s/%s", szPath, pEntry->d_name);
        struct stat info;
        if (stat(szFull, &info) != 0)
            continue;
        pfnCallback(pUser, pEntry->d_name, S_ISDIR(info.st_mode));
    }
    closedir(pDir);
    return true;
}
