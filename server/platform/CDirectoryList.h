#pragma once

// Lists one directory, skipping "." and "..". Used for the recursive scan of
// the store folder at start-up.
class CDirectoryList
{
public:
    // Called once per entry; bIsDirectory tells sub-directories from files.
    typedef void (*EntryCallback)(void* pUser, const char* szName, bool bIsDirectory);

    // False when the directory cannot be opened.
    static bool List(const char* szPath, EntryCallback pfnCallback, void* pUser);
};
