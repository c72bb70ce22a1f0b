#include "CStoreReceiver.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "DR_SHA1.h"
#include "FileListTransfer.h"
#include "FileListTransferCBInterface.h"
#include "RakPeerInterface.h"

#include "CTestClient.h"

namespace testclient
{

struct CStoreReceiver::SState
{
    EMode eMode = KEEP;
    bool bSetComplete = false;
    uint64_t ullTotal = 0;
    std::map<std::string, SReceivedFile> files;
    // Running hashes of files arriving in counting mode.
    std::map<std::string, CSHA1> hashes;
};

namespace
{
// Called by RakNet on the client's thread inside Poll.
class CHandler : public RakNet::FileListTransferCBInterface
{
public:
    explicit CHandler(CStoreReceiver::SState* pState) : m_pState(pState) {}

    // Whole files (kept mode, and the last piece of a counted one).
    bool OnFile(OnFileStruct* pFile) override
    {
        SReceivedFile& file = m_pState->files[pFile->fileName];
        if (m_pState->eMode == CStoreReceiver::KEEP)
        {
            const uint8_t* pData = reinterpret_cast<const uint8_t*>(pFile->fileData);
            file.contents.assign(pData, pData + pFile->byteLengthOfThisFile);
            file.ullBytes = pFile->byteLengthOfThisFile;
            CSHA1 sha1;
            sha1.Reset();
            if (!file.contents.empty())
                sha1.Update(file.contents.data(), static_cast<unsigned int>(file.contents.size()));
            sha1.Final();
            sha1.GetHash(file.abyDigest);
        }
        else
        {
            CSHA1& sha1 = m_pState->hashes[pFile->fileName];
            sha1.Final();
            sha1.GetHash(file.abyDigest);
        }
        m_pState->ullTotal += m_pState->eMode == CStoreReceiver::KEEP ? pFile->byteLengthOfThisFile : 0;
        file.bComplete = true;
        // RakNet frees the data afterwards.
        return true;
    }

    // Each piece of a file sent in pieces; in counting mode RakNet is told
    // not to keep the pieces.
    void OnFileProgress(FileProgressStruct* pProgress) override
    {
        if (m_pState->eMode != CStoreReceiver::COUNT || !pProgress->iriDataChunk)
            return;
        const char* szName = pProgress->onFileStruct->fileName;
        auto inserted = m_pState->hashes.emplace(szName, CSHA1());
        if (inserted.second)
            inserted.first->second.Reset();
        inserted.first->second.Update(reinterpret_cast<const uint8_t*>(pProgress->iriDataChunk),
                                      pProgress->dataChunkLength);
        m_pState->files[szName].ullBytes += pProgress->dataChunkLength;
        m_pState->ullTotal += pProgress->dataChunkLength;
        pProgress->allocateIrIDataChunkAutomatically = false;
    }

    bool OnDownloadComplete(DownloadCompleteStruct*) override
    {
        m_pState->bSetComplete = true;
        return false;
    }

private:
    CStoreReceiver::SState* m_pState;
};

uint32_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
} // namespace

CStoreReceiver::CStoreReceiver(CTestClient& client, EMode eMode)
    : m_pClient(&client), m_pPeer(client.GetPeer()), m_pTransfer(RakNet::FileListTransfer::GetInstance()),
      m_pState(std::make_unique<SState>())
{
    m_pState->eMode = eMode;
    if (m_pPeer)
        m_pPeer->AttachPlugin(m_pTransfer);
}

CStoreReceiver::~CStoreReceiver()
{
    if (m_pPeer && m_pClient->GetPeer() == m_pPeer)
        m_pPeer->DetachPlugin(m_pTransfer);
    RakNet::FileListTransfer::DestroyInstance(m_pTransfer);
}

uint16_t CStoreReceiver::Prepare()
{
    if (!m_pPeer)
        return 65535;
    return m_pTransfer->SetupReceive(new CHandler(m_pState.get()), true, m_pClient->ServerAddress());
}

bool CStoreReceiver::WaitForSet(CTestClient& client, uint32_t uiTimeoutMs)
{
    const uint32_t uiStart = SteadyMs();
    while (!m_pState->bSetComplete && SteadyMs() - uiStart < uiTimeoutMs)
    {
        client.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_pState->bSetComplete;
}

bool CStoreReceiver::WaitForBytes(CTestClient& client, uint64_t ullBytes, uint32_t uiTimeoutMs)
{
    const uint32_t uiStart = SteadyMs();
    while (m_pState->ullTotal < ullBytes && SteadyMs() - uiStart < uiTimeoutMs)
    {
        client.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return m_pState->ullTotal >= ullBytes;
}

bool CStoreReceiver::SetComplete() const
{
    return m_pState->bSetComplete;
}

uint64_t CStoreReceiver::TotalBytes() const
{
    return m_pState->ullTotal;
}

const std::map<std::string, SReceivedFile>& CStoreReceiver::Files() const
{
    return m_pState->files;
}

} // namespace testclient
