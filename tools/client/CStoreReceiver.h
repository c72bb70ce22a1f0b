#pragma once

// The client side of a store download: RakNet's file list transfer attached
// to a CTestClient's peer, accepting one set from the server. Files arrive
// through RakNet; the receiver keeps each file whole (Keep) or only counts
// its bytes and hashes them as they come (Count), which is what a benchmark
// with large files needs. Poll the client to let the transfer run.
//
//     CStoreReceiver receiver(client);          // after Connect
//     uint16_t usSetId = receiver.Prepare();
//     client.SendStream(store request with usSetId, ...);
//     receiver.WaitForSet(client, 10000);

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace RakNet
{
class FileListTransfer;
class RakPeerInterface;
} // namespace RakNet

namespace testclient
{

class CTestClient;

// What arrived of one file.
struct SReceivedFile
{
    std::vector<uint8_t> contents; // empty in counting mode
    uint64_t ullBytes = 0;         // bytes received
    uint8_t abyDigest[20] = {};    // SHA-1 of what arrived, filled when the file is complete
    bool bComplete = false;
};

class CStoreReceiver
{
public:
    enum EMode
    {
        KEEP,
        COUNT,
    };

    // The client must be connected; the receiver detaches itself on destruction.
    explicit CStoreReceiver(CTestClient& client, EMode eMode = KEEP);
    ~CStoreReceiver();
    CStoreReceiver(const CStoreReceiver&) = delete;
    CStoreReceiver& operator=(const CStoreReceiver&) = delete;

    // Allows one set from the server; its id goes into the store request.
    // 65535 when the client is not connected.
    uint16_t Prepare();
    // Polls the client until the set has fully arrived (true) or the time-out passes.
    bool WaitForSet(CTestClient& client, uint32_t uiTimeoutMs);
    // Polls until at least ullBytes arrived in total.
    bool WaitForBytes(CTestClient& client, uint64_t ullBytes, uint32_t uiTimeoutMs);

    bool SetComplete() const;
    uint64_t TotalBytes() const;
    // By the name the server gave (its path under the store).
    const std::map<std::string, SReceivedFile>& Files() const;

    struct SState;

private:
    // The client and the peer it had when the receiver was made.
    CTestClient* m_pClient;
    RakNet::RakPeerInterface* m_pPeer;
    RakNet::FileListTransfer* m_pTransfer;
    std::unique_ptr<SState> m_pState;
};

} // namespace testclient
