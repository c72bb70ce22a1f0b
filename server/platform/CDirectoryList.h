#pragma once

#include <cstdint>
#include <cstdio>

// What a directory entry is, as the store scan needs to know it. A link
// takes the kind of what it points at and is flagged; a link that points
// nowhere, and anything that is neither a regular file nor a folder (a FIFO,
// a socket, a device), is ENTRY_OTHER.
enum EDirectoryEntryKind
{
    ENTRY_FILE,
    ENTRY_DIRECTORY,
    ENTRY_OTHER,
};

// One entry as listed; valid only during the callback.
struct SDirectoryEntry
{
    const char* szName;
    EDirectoryEntryKind eKind;
    bool bIsLink;
    // Identity of what the entry names (the link's target for a link), so a
    // walk can tell a folder it has already been in.
    uint64_t ullDevice;
    uint64_t ullInode;
};

// Lists one directory, skipping "." and "..". Used for the recursive scan of
// the store folder at start-up.
class CDirectoryList
{
public:
    typedef void (*EntryCallback)(void* pUser, const SDirectoryEntry& entry);

    // False when the directory cannot be opened.
    static bool List(const char* szPath, EntryCallback pfnCallback, void* pUser);
    // Device and inode of a folder (following links); false when it cannot be told.
    static bool Identify(const char* szPath, uint64_t& ullDevice, uint64_t& ullInode);
};

// Opens a regular file for binary reading, never waiting on a FIFO or a
// device put where a file was expected; null for anything else.
FILE* OpenRegularFile(const char* szPath);
