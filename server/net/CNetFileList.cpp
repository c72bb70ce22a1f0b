#include "net/CNetFileList.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "DR_SHA1.h"

#include "TextUtil.h"
#include "platform/CDirectoryList.h"
#include "plugins/CPluginManager.h"

namespace
{
// Files are hashed in pieces of this size, so a scan's memory does not grow
// with the largest file.
constexpr size_t SCAN_PIECE = 1048576;
constexpr size_t MAX_INDEX_NAME = 127;
// Longest path a transfer can name: "%s/%s" of base path and name must fit
// the path buffer with its terminator.
constexpr size_t MAX_SENT_PATH = NET_FILE_PATH_SIZE - 1;

struct SListedEntry
{
    std::string strName;
    EDirectoryEntryKind eKind;
    uint64_t ullDevice;
    uint64_t ullInode;
};

void CollectEntry(void* pUser, const SDirectoryEntry& entry)
{
    static_cast<std::vector<SListedEntry>*>(pUser)->push_back(
        {entry.szName, entry.eKind, entry.ullDevice, entry.ullInode});
}

// The size of an open file; -1 when it cannot be told or does not fit the
// transfer's 32-bit lengths.
int64_t FileSize(FILE* pFile)
{
    if (fseeko(pFile, 0, SEEK_END) != 0)
        return -1;
    const off_t llSize = ftello(pFile);
    if (llSize < 0 || llSize > 0xFFFFFFFFll || fseeko(pFile, 0, SEEK_SET) != 0)
        return -1;
    return llSize;
}
} // namespace

bool SNetDigest::operator<(const SNetDigest& other) const
{
    return memcmp(aby, other.aby, sizeof(aby)) < 0;
}

CNetFileList::CNetFileList(const char* szBasePath, bool bKeepContents)
    : m_bKeepContents(bKeepContents), m_bScanned(false)
{
    CopyText(m_szBasePath, szBasePath ? szBasePath : "", sizeof(m_szBasePath));
    size_t nLength = strlen(m_szBasePath);
    while (nLength > 0 && (m_szBasePath[nLength - 1] == '/' || m_szBasePath[nLength - 1] == '\\'))
        m_szBasePath[--nLength] = '\0';
}

void CNetFileList::Scan()
{
    if (m_bScanned)
        return;
    m_bScanned = true;
    // Folders already scanned, by device and inode: a link back up the tree
    // (or a second link to one folder) is skipped rather than walked again.
    std::set<std::pair<uint64_t, uint64_t>> visited;
    uint64_t ullDevice = 0;
    uint64_t ullInode = 0;
    if (CDirectoryList::Identify(m_szBasePath, ullDevice, ullInode))
        visited.emplace(ullDevice, ullInode);
    ScanDirectory(m_szBasePath, "", visited);
    for (const auto& entry : m_SlotsByDigest)
    {
        for (const CNetFileSlotInstance& instance : entry.second.instances)
        {
            std::string strKey = instance.strName.substr(0, MAX_INDEX_NAME);
            for (char& c : strKey)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            m_NameIndex.emplace(strKey, &entry.second);
        }
    }
}

// Files of a directory before its sub-directories; both in listing order.
// Only regular files are offered (links to them too); anything else is named
// on the console once and skipped. Links to folders are followed unless the
// folder was scanned already, so no loop of links can make the walk endless.
void CNetFileList::ScanDirectory(const std::string& strDirectory, const std::string& strPrefix,
                                 std::set<std::pair<uint64_t, uint64_t>>& visited)
{
    // Each level adds a name and a '/', so nothing below here could be sent.
    if (strDirectory.size() + 2 > MAX_SENT_PATH)
    {
        LogMessage("[STORE] Skipped '%s': no path below it fits in %d bytes.", strDirectory.c_str(),
                   static_cast<int>(MAX_SENT_PATH));
        return;
    }
    std::vector<SListedEntry> entries;
    if (!CDirectoryList::List(strDirectory.c_str(), CollectEntry, &entries))
        return;
    for (const SListedEntry& entry : entries)
    {
        const std::string strPath = strDirectory + "/" + entry.strName;
        if (entry.eKind == ENTRY_FILE)
            AddFile(strPath, strPrefix + entry.strName);
        else if (entry.eKind == ENTRY_OTHER)
            LogMessage("[STORE] Skipped '%s': not a regular file.", strPath.c_str());
    }
    for (const SListedEntry& entry : entries)
    {
        if (entry.eKind != ENTRY_DIRECTORY)
            continue;
        const std::string strPath = strDirectory + "/" + entry.strName;
        if (!visited.emplace(entry.ullDevice, entry.ullInode).second)
            LogMessage("[STORE] Skipped '%s': that folder is scanned already.", strPath.c_str());
        else
            ScanDirectory(strPath, strPrefix + entry.strName + "/", visited);
    }
}

// An unreadable file, or one that reads short, is left out. So is one that a
// transfer could not send whole, with a console line: its path would be cut
// to the path buffer, or its size does not fit 32 bits.
void CNetFileList::AddFile(const std::string& strPath, const std::string& strName)
{
    if (strPath.size() > MAX_SENT_PATH)
    {
        LogMessage("[STORE] Left out '%s': its path is longer than %d bytes.", strPath.c_str(),
                   static_cast<int>(MAX_SENT_PATH));
        return;
    }
    FILE* pFile = OpenRegularFile(strPath.c_str());
    if (!pFile)
        return;
    const int64_t llSize = FileSize(pFile);
    if (llSize < 0)
    {
        fclose(pFile);
        LogMessage("[STORE] Left out '%s': files of 4 GiB or more cannot be sent.", strPath.c_str());
        return;
    }
    CNetFileSlotInstance instance;
    instance.strName = strName;
    instance.uiSize = static_cast<uint32_t>(llSize);
    std::vector<uint8_t> piece(llSize == 0 ? 0 : SCAN_PIECE);
    CSHA1 sha1;
    sha1.Reset();
    int64_t llLeft = llSize;
    while (llLeft > 0)
    {
        const size_t nWant =
            llLeft < static_cast<int64_t>(SCAN_PIECE) ? static_cast<size_t>(llLeft) : SCAN_PIECE;
        if (fread(piece.data(), 1, nWant, pFile) != nWant)
            break;
        sha1.Update(piece.data(), static_cast<unsigned int>(nWant));
        if (m_bKeepContents)
            instance.contents.insert(instance.contents.end(), piece.begin(), piece.begin() + nWant);
        llLeft -= static_cast<int64_t>(nWant);
    }
    fclose(pFile);
    if (llLeft > 0)
        return;
    sha1.Final();
    SNetDigest digest;
    sha1.GetHash(digest.aby);
    CNetFileSlot& slot = m_SlotsByDigest[digest];
    slot.digest = digest;
    slot.instances.push_back(std::move(instance));
}

std::vector<SNetFileOffer> CNetFileList::ForEachFile(size_t nMax) const
{
    std::vector<SNetFileOffer> offers;
    for (const auto& entry : m_SlotsByDigest)
    {
        if (offers.size() >= nMax)
            break;
        if (!entry.second.instances.empty())
            offers.push_back({entry.second.digest.aby, entry.second.instances.front().strName.c_str()});
    }
    return offers;
}

bool CNetFileList::FindByDigest(const uint8_t* pDigest, char* szPath, int nSize, const uint8_t** ppContents,
                                uint32_t* puiSize) const
{
    if (!pDigest)
        return false;
    SNetDigest digest;
    memcpy(digest.aby, pDigest, sizeof(digest.aby));
    auto it = m_SlotsByDigest.find(digest);
    if (it == m_SlotsByDigest.end() || it->second.instances.empty())
        return false;
    const CNetFileSlotInstance& first = it->second.instances.front();
    if (szPath && nSize > 0)
        snprintf(szPath, static_cast<size_t>(nSize), "%s/%s", m_szBasePath, first.strName.c_str());
    if (ppContents)
        *ppContents = first.contents.empty() ? nullptr : first.contents.data();
    if (puiSize)
        *puiSize = first.uiSize;
    return true;
}

const CNetFileSlot* CNetFileList::FindByName(const char* szName) const
{
    if (!szName)
        return nullptr;
    std::string strKey(szName, strnlen(szName, MAX_INDEX_NAME));
    for (char& c : strKey)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    auto it = m_NameIndex.find(strKey);
    return it == m_NameIndex.end() ? nullptr : it->second;
}
