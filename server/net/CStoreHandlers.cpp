#include "net/CStoreHandlers.h"

#include <cstring>
#include <string>
#include <vector>

#include "CServer.h"
#include "net/CNetFileList.h"
#include "net/CNetwork.h"
#include "net/Guards.h"
#include "net/INetPeer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"

namespace
{
constexpr int REQUEST_HEADER = 3;

CPlayer* PlayerOf(int nSlot)
{
    if (!g_pServer || !g_pServer->m_pPlayerPool)
        return nullptr;
    CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

// The paths of the known digests, each file once; unknown digests are skipped.
std::vector<std::string> FindRequested(const CNetFileList& files, const uint8_t* pDigests, int nCount,
                                       std::vector<uint32_t>& sizes)
{
    std::vector<std::string> paths;
    for (int i = 0; i < nCount; ++i)
    {
        char szPath[NET_FILE_PATH_SIZE];
        uint32_t uiSize = 0;
        if (!files.FindByDigest(pDigests + i * NET_DIGEST_SIZE, szPath, sizeof(szPath), nullptr, &uiSize))
            continue;
        bool bListed = false;
        for (const std::string& strPath : paths)
            bListed = bListed || strPath == szPath;
        if (bListed)
            continue;
        paths.emplace_back(szPath);
        sizes.push_back(uiSize);
    }
    return paths;
}
} // namespace

void CStoreHandlers::OnFileRequest(int nSlot, int, const uint8_t* pPayload, int nLength)
{
    if (!PassesJoinedGuard(nSlot) || nLength < REQUEST_HEADER)
        return;
    CPlayer* pPlayer = PlayerOf(nSlot);
    if (!pPlayer || !g_pServer->m_pNetwork)
        return;
    const int nDeclared = pPayload[0];
    const uint16_t usSetId = static_cast<uint16_t>((pPayload[1] << 8) | pPayload[2]);
    if (nDeclared == 0)
    {
        pPlayer->m_bStoreDownloadPending = false;
        return;
    }
    const int nPresent = (nLength - REQUEST_HEADER) / NET_DIGEST_SIZE;
    const int nCount = nDeclared < nPresent ? nDeclared : nPresent;
    std::vector<uint32_t> sizes;
    std::vector<std::string> paths;
    if (g_pServer->m_pStoreFileList)
        paths = FindRequested(*g_pServer->m_pStoreFileList, pPayload + REQUEST_HEADER, nCount, sizes);
    std::vector<SNetFileEntry> entries;
    for (size_t i = 0; i < paths.size(); ++i)
        entries.push_back({paths[i].c_str(), sizes[i]});
    const char* szRoot = g_pServer->m_pStoreFileList ? g_pServer->m_pStoreFileList->GetBasePath() : "";
    g_pServer->m_pNetwork->SendFileList(nSlot, usSetId, szRoot, entries.data(),
                                        static_cast<int>(entries.size()));
}

void CStoreHandlers::OnPushComplete(int nSlot, int, const uint8_t*, int)
{
    if (CPlayer* pPlayer = PlayerOf(nSlot))
        pPlayer->m_bStoreDownloadPending = false;
}
