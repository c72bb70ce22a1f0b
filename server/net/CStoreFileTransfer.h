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
// root, and the pacing that turns the client's acknowledgements into the
// next piece and, after the last one, a finished slot for the main thread.
// Owned by CRakNetPeer from its Startup.
//
// Sets are started here rather than through FileListTransfer::Send, which
// appends to the recipient list without its lock while the read thread walks
// that list; this class adds the recipient under the lock.
//
// RakNet pushes one more piece for every acknowledgement a client sends,
// whether or not a piece waits for one, and counts a set done once its last
// piece is queued. Here a piece follows only an acknowledgement of one that
// is outstanding, and only once the connection's queues hold less than a
// piece; the set is done when its last piece is acknowledged. Whatever a
// client sends, its download holds at most about two pieces.
class CStoreFileTransfer : public RakNet::FileListTransfer
{
public:
    static constexpr int MAX_SLOTS = 100;

    CStoreFileTransfer();
    ~CStoreFileTransfer() override;

    // Attaches to the peer and starts the read threads; with none, pieces
    // are read on the thread that takes the acknowledgements.
    void Start(RakNet::RakPeerInterface* pPeer, int nReadThreads = 1);

    // False when the slot still has a transfer running.
    bool SendSet(int nSlot, const RakNet::SystemAddress& address, uint16_t usSetId, const char* szRoot,
                 const SNetFileEntry* pFiles, int nCount, PacketPriority ePriority, char cChannel,
                 unsigned int uiPieceSize);
    bool TakeFinished(int& nSlot);
    // The slot's connection ended: its transfer is no longer waited for.
    void Forget(int nSlot);
    // Recipients RakNet still pushes files to.
    int CountRunning();

    // Main thread, from the peer's Receive: pushes the pieces that are due.
    void Update() override;
    // Main thread: takes the clients' acknowledgements, and drops the file
    // list messages only a receiving side handles (the server never receives).
    RakNet::PluginReceiveResult OnReceive(RakNet::Packet* pPacket) override;

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
        void OnFilePush(const char* szFileName, unsigned int uiFileLength, unsigned int uiOffset,
                        unsigned int uiBytes, bool bDone, RakNet::SystemAddress address,
                        unsigned short usSetId) override;
        void OnFilePushesComplete(RakNet::SystemAddress address, unsigned short usSetId) override;
        void OnSendAborted(RakNet::SystemAddress address) override;

    private:
        CStoreFileTransfer* m_pOwner;
    };

    // One slot's set, from SendSet until its last piece is acknowledged or
    // the connection ends.
    struct SRunning
    {
        bool bActive;
        RakNet::SystemAddress address;
        uint16_t usSetId;
        unsigned int uiPieceSize;
        // Pieces pushed that the client has not acknowledged yet.
        int nUnacknowledged;
        // RakNet has pushed the set's last piece.
        bool bLastPushed;
        // A piece was acknowledged; the next one waits for the connection's
        // queues to hold less than a piece.
        bool bNextDue;
        // The last piece handed to the peer has reached the connection's
        // queues once the bytes the connection took in reach this mark. A
        // piece handed over may wait in the peer's command queue, which no
        // statistic shows, until the next flush. Kept after the set ends, so
        // that a next set waits for it too; cleared with the connection.
        double dPushedMark;
    };

    // The slot running set usSetId to the address; -1 for none. Under m_Mutex.
    int FindRunning(const RakNet::SystemAddress& address, uint16_t usSetId) const;
    // Ends the slot's set as finished. Under m_Mutex.
    void Finish(int nSlot);
    // A connection's queues at one moment: the bytes its send and resend
    // queues hold, and the bytes of messages it has taken into them so far.
    struct SQueues
    {
        double dQueued;
        double dTakenIn;
    };
    // One statistics read; an unknown connection counts as holding a full piece.
    SQueues ReadQueues(const RakNet::SystemAddress& address, unsigned int uiFull);
    // Whether the last piece handed over for the address has reached its queues. Under m_Mutex.
    bool PieceTakenIn(const SRunning& running, const RakNet::SystemAddress& address, double dTakenIn) const;
    void OnPiecePushed(const RakNet::SystemAddress& address, uint16_t usSetId, unsigned int uiBytes);
    void OnLastPushed(const RakNet::SystemAddress& address, uint16_t usSetId);
    void OnPieceAcknowledged(const RakNet::Packet& packet);
    void OnAborted(const RakNet::SystemAddress& address);

    CReader m_Reader;
    CProgress m_Progress;
    // Guards m_aRunning and m_Finished, shared with the read thread.
    std::mutex m_Mutex;
    SRunning m_aRunning[MAX_SLOTS];
    std::deque<int> m_Finished;
    // Some set has a piece due; main thread only, so the peer's every
    // Receive need not walk the slots.
    bool m_bAnyDue = false;
};
