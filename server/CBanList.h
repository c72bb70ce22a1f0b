#pragma once

#include <cstdio>

class CNetwork;

// The ban file and its backup, in the working directory.
constexpr const char* BAN_FILE_NAME = "orvn-svr.banlist";
constexpr const char* BAN_BACKUP_FILE_NAME = "orvn-svr.banlist.old";

// Longest entry the ban file holds; a longer run of characters in the file is
// read as several entries of this length.
constexpr int BAN_TOKEN_LENGTH = 19;

// Opens a ban file the way fopen does. The server uses fopen itself; tests
// hand in one that fails or writes to a full device.
typedef FILE* (*BanFileOpener)(const char* szPath, const char* szMode);

// Bans by IPv4 address text. The list in force is the network's (it refuses
// banned addresses at connection time); the ban file keeps a copy so that bans
// survive a restart: read once at start-up, appended by a ban, rewritten by an
// unban with the previous version kept as the backup file.
//
// The object holds no state of its own beyond where the files are: it can be
// made whenever needed, and the free functions below make one per call.
class CBanList
{
public:
    CBanList(CNetwork* pNetwork, const char* szFile, const char* szBackupFile,
             BanFileOpener pfnOpen = nullptr);

    // Bans every entry of the ban file with no expiry; a missing file means no
    // bans. Returns the number of entries read.
    int Load();

    // Bans the address with no expiry, then appends it to the ban file. False
    // when the address is not one entry (null, empty, longer than an entry or
    // holding white space), so that the file never gains lines that read back
    // as other addresses; also false when the append failed, though the ban
    // then holds until the server stops.
    bool Add(const char* szAddress);

    // Lifts the ban at once, then rewrites the ban file without any entry equal
    // to the address, keeping the previous file as the backup. False when the
    // file could not be rewritten; the file then still holds the address and
    // the previous list is never lost.
    bool Remove(const char* szAddress);

    bool IsBanned(const char* szAddress) const;
    // Whether the ban file holds an entry equal to the address.
    bool FileHolds(const char* szAddress) const;

private:
    // Puts the backup back under the ban file's name after a failed rewrite,
    // so the server is never left without a ban file.
    void RestoreBackup();
    // Copies every entry of pOld except szAddress to pNew; false on a write error.
    static bool CopyWithout(FILE* pOld, FILE* pNew, const char* szAddress);

    CNetwork* m_pNetwork;
    const char* m_szFile;
    const char* m_szBackupFile;
    BanFileOpener m_pfnOpen;
};

// Reads the next white-space separated entry of a ban file into szToken
// (BAN_TOKEN_LENGTH + 1 bytes), splitting longer runs; false at the end.
bool ReadBanToken(FILE* pFile, char* szToken);

// The server's ban list: the files in the working directory. LoadBanList runs
// during start-up, before g_pServer is set, so it is given the network; the
// others use g_pServer's and do nothing (false) before it exists.
int LoadBanList(CNetwork* pNetwork);
bool AddBan(const char* szAddress);
bool RemoveBan(const char* szAddress);
bool IsBanned(const char* szAddress);
// Banned in the network's list or held by the ban file: whether an unban
// has anything to lift.
bool IsBanListed(const char* szAddress);
