#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

constexpr int NET_DIGEST_SIZE = 20;
constexpr int NET_FILE_PATH_SIZE = 260;
// The server information counts its files in one byte: at most this many are
// offered to clients, the first slots in digest order.
constexpr size_t NET_MAX_OFFERED_FILES = 255;

// A file's 20-byte SHA-1 digest, ordered bytewise.
struct SNetDigest
{
    uint8_t aby[NET_DIGEST_SIZE];

    bool operator<(const SNetDigest& other) const;
};

// One file with a slot's contents: its path relative to the base directory
// (components joined by '/'), its contents when the list keeps them, its size.
struct CNetFileSlotInstance
{
    std::string strName;
    std::vector<uint8_t> contents;
    uint32_t uiSize = 0;
};

// One distinct file content and every file that has it, in scan order.
struct CNetFileSlot
{
    SNetDigest digest;
    std::vector<CNetFileSlotInstance> instances;
};

// What message 174 offers for one slot: its digest and first file's name.
struct SNetFileOffer
{
    const uint8_t* pDigest;
    const char* szName;
};

// Every file under a base directory, by content digest, found by one
// recursive scan. The digests are computed over pieces read from disk, so a
// scan never holds more than one piece of a file unless the list keeps
// contents. Fixed once scanned.
class CNetFileList
{
public:
    // Trailing '/' and '\' are removed from the base path.
    CNetFileList(const char* szBasePath, bool bKeepContents);
    virtual ~CNetFileList() = default;

    // Lists the whole tree once; later calls do nothing.
    void Scan();

    // The first file of every slot, in digest order; at most nMax of them.
    std::vector<SNetFileOffer> ForEachFile(size_t nMax = SIZE_MAX) const;
    // Calls fn(relative name) for every file of every slot, in digest order
    // and, within a slot, in scan order.
    template <typename Fn> void ForEachPath(Fn&& fn) const;
    // False when no slot has the digest. Otherwise "%s/%s" (base path, first
    // file's name) cut to the buffer, its contents (null unless kept) and size.
    bool FindByDigest(const uint8_t* pDigest, char* szPath, int nSize, const uint8_t** ppContents,
                      uint32_t* puiSize) const;
    // The slot of a name, compared without regard to ASCII case; null for none.
    const CNetFileSlot* FindByName(const char* szName) const;

    const char* GetBasePath() const { return m_szBasePath; }
    int SlotCount() const { return static_cast<int>(m_SlotsByDigest.size()); }

private:
    void ScanDirectory(const std::string& strDirectory, const std::string& strPrefix,
                       std::set<std::pair<uint64_t, uint64_t>>& visited);
    void AddFile(const std::string& strPath, const std::string& strName);

    char m_szBasePath[NET_FILE_PATH_SIZE];
    bool m_bKeepContents;
    bool m_bScanned;
    std::map<SNetDigest, CNetFileSlot> m_SlotsByDigest;
    // Lower-cased names (at most 127 characters) to their slots.
    std::map<std::string, const CNetFileSlot*> m_NameIndex;
};

template <typename Fn> void CNetFileList::ForEachPath(Fn&& fn) const
{
    for (const auto& entry : m_SlotsByDigest)
    {
        for (const CNetFileSlotInstance& instance : entry.second.instances)
            fn(instance.strName.c_str());
    }
}

// The server's list of "./store": scanned at construction, contents never
// kept. Created by CServer's start-up.
class CServerFileList : public CNetFileList
{
public:
    explicit CServerFileList(const char* szBasePath) : CNetFileList(szBasePath, false) { Scan(); }
};
