#include "net/CStoreFileTransfer.h"

#include <cstdio>
#include <cstring>

#include "BitStream.h"
#include "MessageIdentifiers.h"
#include "RakNetStatistics.h"
#include "RakPeerInterface.h"

#include "platform/CDirectoryList.h"

void CStoreFileTransfer::CReader::SetRoot(const char* szRoot)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_strRoot = szRoot ? szRoot : "";
}

// Below the root means "<root>/..." with no ".." component anywhere.
bool CStoreFileTransfer::CReader::IsUnderRoot(const char* szFileName)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const size_t nRoot = m_strRoot.size();
    if (nRoot == 0 || strncmp(szFileName, m_strRoot.c_str(), nRoot) != 0 || szFileName[nRoot] != '/')
        return false;
    for (const char* p = szFileName + nRoot; *p; ++p)
    {
        if ((p[0] == '/' || p[0] == '\\') && p[1] == '.' && p[2] == '.' &&
            (p[3] == '/' || p[3] == '\\' || p[3] == '\0'))
            return false;
    }
    return true;
}

// context.dataLength carries the size listed at the scan; it never travels.
unsigned int CStoreFileTransfer::CReader::GetFilePart(const char* szFileName, unsigned int uiStart,
                                                      unsigned int uiCount, void* pDest,
                                                      FileListNodeContext context)
{
    const unsigned int uiListed = context.dataLength;
    if (uiStart >= uiListed)
        return 0;
    const unsigned int uiWant = uiCount < uiListed - uiStart ? uiCount : uiListed - uiStart;
    size_t nRead = 0;
    if (szFileName && IsUnderRoot(szFileName))
    {
        if (FILE* pFile = OpenRegularFile(szFileName))
        {
            if (fseeko(pFile, static_cast<off_t>(uiStart), SEEK_SET) == 0)
                nRead = fread(pDest, 1, uiWant, pFile);
            fclose(pFile);
        }
    }
    if (nRead < uiWant)
        memset(static_cast<char*>(pDest) + nRead, 0, uiWant - nRead);
    return uiWant;
}

void CStoreFileTransfer::CProgress::OnFilePush(const char*, unsigned int, unsigned int, unsigned int uiBytes,
                                               bool, RakNet::SystemAddress address, unsigned short usSetId)
{
    m_pOwner->OnPiecePushed(address, usSetId, uiBytes);
}

void CStoreFileTransfer::CProgress::OnFilePushesComplete(RakNet::SystemAddress address,
                                                         unsigned short usSetId)
{
    m_pOwner->OnLastPushed(address, usSetId);
}

void CStoreFileTransfer::CProgress::OnSendAborted(RakNet::SystemAddress address)
{
    m_pOwner->OnAborted(address);
}

CStoreFileTransfer::CStoreFileTransfer() : m_Progress(this)
{
    for (SRunning& running : m_aRunning)
        running = {false, RakNet::UNASSIGNED_SYSTEM_ADDRESS, 0, 0, 0, false, false, 0};
}

CStoreFileTransfer::~CStoreFileTransfer()
{
    ClearCallbacks();
}

void CStoreFileTransfer::Start(RakNet::RakPeerInterface* pPeer, int nReadThreads)
{
    AddCallback(&m_Progress);
    pPeer->AttachPlugin(this);
    if (nReadThreads > 0)
        StartIncrementalReadThreads(nReadThreads);
}

// The set header first, then every file as a reference that the read thread
// pushes piece by piece; an empty set is complete at once. A client that
// acknowledged the last set's last piece before it came finds that piece
// still queued: its next set waits until it has left.
bool CStoreFileTransfer::SendSet(int nSlot, const RakNet::SystemAddress& address, uint16_t usSetId,
                                 const char* szRoot, const SNetFileEntry* pFiles, int nCount,
                                 PacketPriority ePriority, char cChannel, unsigned int uiPieceSize)
{
    if (nSlot < 0 || nSlot >= MAX_SLOTS || nCount < 0 || (nCount > 0 && !pFiles))
        return false;
    const SQueues queues = ReadQueues(address, uiPieceSize);
    if (queues.dQueued >= uiPieceSize)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        SRunning& running = m_aRunning[nSlot];
        if (running.bActive || !PieceTakenIn(running, address, queues.dTakenIn))
            return false;
        running = {true, address, usSetId, uiPieceSize, 0, false, false, running.dPushedMark};
    }
    m_Reader.SetRoot(szRoot);
    unsigned int uiTotal = 0;
    for (int i = 0; i < nCount; ++i)
        uiTotal += pFiles[i].uiSize;
    RakNet::BitStream header;
    header.Write(static_cast<RakNet::MessageID>(ID_FILE_LIST_TRANSFER_HEADER));
    header.Write(usSetId);
    header.Write(nCount > 0);
    if (nCount == 0)
    {
        SendUnified(&header, ePriority, RELIABLE_ORDERED, cChannel, address, false);
        std::lock_guard<std::mutex> lock(m_Mutex);
        Finish(nSlot);
        return true;
    }
    header.WriteCompressed(static_cast<unsigned int>(nCount));
    header.WriteCompressed(uiTotal);
    SendUnified(&header, ePriority, RELIABLE_ORDERED, cChannel, address, false);

    FileToPushRecipient* pRecipient = RakNet::OP_NEW<FileToPushRecipient>(_FILE_AND_LINE_);
    pRecipient->systemAddress = address;
    pRecipient->setId = usSetId;
    // One reference for the list, one for this function.
    pRecipient->refCount = 2;
    for (int i = 0; i < nCount; ++i)
    {
        FileToPush* pPush = RakNet::OP_NEW<FileToPush>(_FILE_AND_LINE_);
        pPush->fileListNode.filename = pFiles[i].szPath;
        pPush->fileListNode.fullPathToFile = pFiles[i].szPath;
        pPush->fileListNode.fileLengthBytes = pFiles[i].uiSize;
        pPush->fileListNode.dataLengthBytes = pFiles[i].uiSize;
        pPush->fileListNode.context = FileListNodeContext(0, 0, 0, 0);
        pPush->fileListNode.context.dataLength = pFiles[i].uiSize;
        pPush->packetPriority = ePriority;
        pPush->orderingChannel = cChannel;
        pPush->currentOffset = 0;
        pPush->setIndex = static_cast<unsigned int>(i);
        pPush->incrementalReadInterface = &m_Reader;
        pPush->chunkSize = uiPieceSize;
        pRecipient->filesToPush.Push(pPush, _FILE_AND_LINE_);
    }
    fileToPushRecipientListMutex.Lock();
    fileToPushRecipientList.Push(pRecipient, _FILE_AND_LINE_);
    fileToPushRecipientListMutex.Unlock();
    pRecipient->Deref();
    SendIRIToAddress(address, usSetId);
    return true;
}

int CStoreFileTransfer::FindRunning(const RakNet::SystemAddress& address, uint16_t usSetId) const
{
    for (int nSlot = 0; nSlot < MAX_SLOTS; ++nSlot)
    {
        const SRunning& running = m_aRunning[nSlot];
        if (running.bActive && running.address == address && running.usSetId == usSetId)
            return nSlot;
    }
    return -1;
}

void CStoreFileTransfer::Finish(int nSlot)
{
    m_aRunning[nSlot].bActive = false;
    m_aRunning[nSlot].bNextDue = false;
    m_Finished.push_back(nSlot);
}

// Read thread: RakNet is about to hand a piece of uiBytes to the peer; the
// client owes an acknowledgement.
void CStoreFileTransfer::OnPiecePushed(const RakNet::SystemAddress& address, uint16_t usSetId,
                                       unsigned int uiBytes)
{
    const double dTakenIn = ReadQueues(address, uiBytes).dTakenIn;
    std::lock_guard<std::mutex> lock(m_Mutex);
    const int nSlot = FindRunning(address, usSetId);
    if (nSlot < 0)
        return;
    ++m_aRunning[nSlot].nUnacknowledged;
    m_aRunning[nSlot].dPushedMark = dTakenIn + uiBytes;
}

// Read thread: the piece just counted was the set's last. A client that
// acknowledges ahead of time may already have acknowledged it; its word
// finishes the set then, as it would a moment later.
void CStoreFileTransfer::OnLastPushed(const RakNet::SystemAddress& address, uint16_t usSetId)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    const int nSlot = FindRunning(address, usSetId);
    if (nSlot < 0)
        return;
    m_aRunning[nSlot].bLastPushed = true;
    if (m_aRunning[nSlot].nUnacknowledged == 0)
        Finish(nSlot);
}

// A client acknowledges each piece once it has it whole. Only an
// acknowledgement of an outstanding piece of its running set counts; any
// other is dropped, so no sequence of them makes RakNet queue a piece.
void CStoreFileTransfer::OnPieceAcknowledged(const RakNet::Packet& packet)
{
    RakNet::BitStream stream(packet.data, packet.length, false);
    stream.IgnoreBits(8);
    uint16_t usSetId = 0;
    if (!stream.Read(usSetId))
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    const int nSlot = FindRunning(packet.systemAddress, usSetId);
    if (nSlot < 0 || m_aRunning[nSlot].nUnacknowledged == 0)
        return;
    SRunning& running = m_aRunning[nSlot];
    --running.nUnacknowledged;
    if (!running.bLastPushed)
        running.bNextDue = m_bAnyDue = true;
    else if (running.nUnacknowledged == 0)
        Finish(nSlot);
}

// A connection's total only grows, so a piece counts as taken in at the
// latest when it is; other messages may let it count a little early.
bool CStoreFileTransfer::PieceTakenIn(const SRunning& running, const RakNet::SystemAddress& address,
                                      double dTakenIn) const
{
    return !(running.address == address) || dTakenIn >= running.dPushedMark;
}

CStoreFileTransfer::SQueues CStoreFileTransfer::ReadQueues(const RakNet::SystemAddress& address,
                                                           unsigned int uiFull)
{
    RakNet::RakNetStatistics statistics;
    if (!rakPeerInterface || !rakPeerInterface->GetStatistics(address, &statistics))
        return {static_cast<double>(uiFull), 0};
    SQueues queues = {static_cast<double>(statistics.bytesInResendBuffer),
                      static_cast<double>(statistics.runningTotal[RakNet::USER_MESSAGE_BYTES_PUSHED])};
    for (double dBytes : statistics.bytesInSendBuffer)
        queues.dQueued += dBytes;
    return queues;
}

// An acknowledged piece has left the client's way; the next one goes once
// the previous has mostly left the peer's queues too, so a client that
// acknowledges pieces before they arrive gains nothing.
void CStoreFileTransfer::Update()
{
    RakNet::FileListTransfer::Update();
    if (!m_bAnyDue)
        return;
    m_bAnyDue = false;
    for (int nSlot = 0; nSlot < MAX_SLOTS; ++nSlot)
    {
        RakNet::SystemAddress address;
        uint16_t usSetId = 0;
        unsigned int uiPieceSize = 0;
        double dPushedMark = 0;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            const SRunning& running = m_aRunning[nSlot];
            if (!running.bActive || !running.bNextDue)
                continue;
            address = running.address;
            usSetId = running.usSetId;
            uiPieceSize = running.uiPieceSize;
            dPushedMark = running.dPushedMark;
        }
        const SQueues queues = ReadQueues(address, uiPieceSize);
        if (queues.dTakenIn < dPushedMark || queues.dQueued >= uiPieceSize)
        {
            m_bAnyDue = true;
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            SRunning& running = m_aRunning[nSlot];
            if (!running.bActive || !running.bNextDue || running.usSetId != usSetId ||
                !(running.address == address))
                continue;
            running.bNextDue = false;
        }
        SendIRIToAddress(address, usSetId);
    }
}

RakNet::PluginReceiveResult CStoreFileTransfer::OnReceive(RakNet::Packet* pPacket)
{
    if (!pPacket || pPacket->length == 0)
        return RakNet::RR_CONTINUE_PROCESSING;
    switch (pPacket->data[0])
    {
    case ID_FILE_LIST_REFERENCE_PUSH_ACK:
        OnPieceAcknowledged(*pPacket);
        return RakNet::RR_STOP_PROCESSING_AND_DEALLOCATE;
    case ID_FILE_LIST_TRANSFER_HEADER:
    case ID_FILE_LIST_TRANSFER_FILE:
    case ID_FILE_LIST_REFERENCE_PUSH:
    case ID_DOWNLOAD_PROGRESS:
        return RakNet::RR_STOP_PROCESSING_AND_DEALLOCATE;
    default:
        return RakNet::RR_CONTINUE_PROCESSING;
    }
}

void CStoreFileTransfer::OnAborted(const RakNet::SystemAddress& address)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (SRunning& running : m_aRunning)
    {
        if (running.bActive && running.address == address)
            running.bActive = false;
    }
}

bool CStoreFileTransfer::TakeFinished(int& nSlot)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Finished.empty())
        return false;
    nSlot = m_Finished.front();
    m_Finished.pop_front();
    return true;
}

void CStoreFileTransfer::Forget(int nSlot)
{
    if (nSlot < 0 || nSlot >= MAX_SLOTS)
        return;
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_aRunning[nSlot].bActive = false;
    m_aRunning[nSlot].bNextDue = false;
    m_aRunning[nSlot].dPushedMark = 0;
    // A completion not yet taken belongs to the connection that ended, not
    // to the next one in the slot.
    for (auto it = m_Finished.begin(); it != m_Finished.end();)
        it = *it == nSlot ? m_Finished.erase(it) : it + 1;
}

int CStoreFileTransfer::CountRunning()
{
    fileToPushRecipientListMutex.Lock();
    const int nCount = static_cast<int>(fileToPushRecipientList.Size());
    fileToPushRecipientListMutex.Unlock();
    return nCount;
}
