#include "net/StoreFileList.h"

#include <cstring>

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetFileList.h"

namespace
{
// Each name length is a single byte: a longer name is cut so that its length
// counts its bytes.
constexpr size_t MAX_OFFER_NAME = 255;
} // namespace

int WriteStoreFileList(RakNet::BitStream& stream)
{
    std::vector<SNetFileOffer> offers;
    if (g_pServer && g_pServer->m_pStoreFileList)
        offers = g_pServer->m_pStoreFileList->ForEachFile(NET_MAX_OFFERED_FILES);
    stream.Write(static_cast<uint8_t>(offers.size()));
    for (const SNetFileOffer& offer : offers)
    {
        stream.Write(reinterpret_cast<const char*>(offer.pDigest), NET_DIGEST_SIZE);
        const size_t nLength = strnlen(offer.szName, MAX_OFFER_NAME);
        stream.Write(static_cast<uint8_t>(nLength));
        stream.Write(offer.szName, static_cast<unsigned int>(nLength));
    }
    return static_cast<int>(offers.size());
}
