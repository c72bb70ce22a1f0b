#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "FileListTransfer.h"
#include "IncrementalReadInterface.h"

#include "net/INetPeer.h"

// The transport's side of store downloads: RakNet's file list transfer with
// one incremental read thread, a reader that only reads below the store's
// root, and the progress callback that turns "all files pushed" into a
// finished slot for the main thread. Owned by CRakNetPeer from its Startup.
//
// Sets are started here rather than through FileListTransfer::Send, which
// appends to the recipient list without its lock while the read thread walks
// that list; this class adds the recipient under the lock.
class CStoreFileTransfer : public RakNet::FileListTransfer
{
public:
    static constexpr int MAX_SLOTS = 100;

    CStoreFileTransfer();
    ~CStoreFileTransfer() override;

    // Attaches to the peer and starts the read thread.
    void Start(RakNet::RakPeerInterface* pPeer);

    // False when the slot still has a transfer running.
    bool SendSet(int nSlot, const RakNet::SystemAddress& address, uint16_t usSetId, const char* szRoot,
                 const SNetFileEntry* pFiles, int nCount, PacketPriority ePriority, char cChannel,
                 unsigned int uiPieceSize);
    bool TakeFinished(int& nSlot);
    // The slot's connection ended: its transfer is no longer waited for.
    void Forget(int nSlot);
    // Recipients RakNet still pushes files to.
    int CountRunning();

private:
    // Reads a piece of a store file. A path outside the root is never
    // opened; a file that became shorter since the scan is filled up with
    // zeros, so every transfer reaches its end.
    class CReader : public RakNet::IncrementalReadInterface
    {
    public:
        void SetRoot(const char* szRoot);
        unsigned int GetFilePart(const char* szFileName, unsigned int uiStart, unsigned int uiCount,
                                 void* pDest, FileListNodeContext context) override;

    private:
        bool IsUnderRoot(const char* szFileName);
        std::mutex m_Mutex;
        std::string m_strRoot;
    };

    // Runs on the read thread (or on the main thread for an empty set).
    class CProgress : public RakNet::FileListProgress
    {
    public:
        explicit CProgress(CStoreFileTransfer* pOwner) : m_pOwner(pOwner) {}
        void OnFilePushesComplete(RakNet::SystemAddress address, unsigned short usSetId) override;
        void OnSendAborted(RakNet::SystemAddress address) override;

    private:
        CStoreFileTransfer* m_pOwner;
    };

    struct SRunning
    {
        bool bActive;
        RakNet::SystemAddress address;
        uint16_t usSetId;
    };

    void OnComplete(const RakNet::SystemAddress& address, uint16_t usSetId);
    void OnAborted(const RakNet::SystemAddress& address);

    CReader m_Reader;
    CProgress m_Progress;
    // Guards m_aRunning and m_Finished, shared with the read thread.
    std::mutex m_Mutex;
    SRunning m_aRunning[MAX_SLOTS];
    std::deque<int> m_Finished;
};
