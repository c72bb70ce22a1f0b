#include "net/CNetFileList.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "DR_SHA1.h"

#include "TextUtil.h"
#include "platform/CDirectoryList.h"

namespace
{
// Files are hashed in pieces of this size, so a scan's memory does not grow
// with the largest file.
constexpr size_t SCAN_PIECE = 1048576;
// A tree deeper than this (a directory link loop) is not followed further.
constexpr int MAX_SCAN_DEPTH = 32;
constexpr size_t MAX_INDEX_NAME = 127;

struct SListing
{
    std::vector<std::string> files;
    std::vector<std::string> directories;
};

void CollectEntry(void* pUser, const char* szName, bool bIsDirectory)
{
    SListing& listing = *static_cast<SListing*>(pUser);
    (bIsDirectory ? listing.directories : listing.files).push_back(szName);
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
    ScanDirectory(m_szBasePath, "", 0);
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
void CNetFileList::ScanDirectory(const std::string& strDirectory, const std::string& strPrefix, int nDepth)
{
    if (nDepth > MAX_SCAN_DEPTH)
        return;
    SListing listing;
    if (!CDirectoryList::List(strDirectory.c_str(), CollectEntry, &listing))
        return;
    for (const std::string& strFile : listing.files)
        AddFile(strDirectory + "/" + strFile, strPrefix + strFile);
    for (const std::string& strSub : listing.directories)
        ScanDirectory(strDirectory + "/" + strSub, strPrefix + strSub + "/", nDepth + 1);
}

// An unreadable file, or one that reads short, is left out.
void CNetFileList::AddFile(const std::string& strPath, const std::string& strName)
{
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (!pFile)
        return;
    const int64_t llSize = FileSize(pFile);
    CNetFileSlotInstance instance;
    instance.strName = strName;
    instance.uiSize = static_cast<uint32_t>(llSize < 0 ? 0 : llSize);
    std::vector<uint8_t> piece(llSize <= 0 ? 0 : SCAN_PIECE);
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
    if (llSize < 0 || llLeft > 0)
        return;
    sha1.Final();
    SNetDigest digest;
    sha1.GetHash(digest.aby);
    CNetFileSlot& slot = m_SlotsByDigest[digest];
    slot.digest = digest;
    slot.instances.push_back(std::move(instance));
}

std::vector<SNetFileOffer> CNetFileList::ForEachFile() const
{
    std::vector<SNetFileOffer> offers;
    for (const auto& entry : m_SlotsByDigest)
    {
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
