#include "net/CStoreFileTransfer.h"

#include <cstdio>
#include <cstring>

#include "BitStream.h"
#include "MessageIdentifiers.h"
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

void CStoreFileTransfer::CProgress::OnFilePushesComplete(RakNet::SystemAddress address,
                                                         unsigned short usSetId)
{
    m_pOwner->OnComplete(address, usSetId);
}

void CStoreFileTransfer::CProgress::OnSendAborted(RakNet::SystemAddress address)
{
    m_pOwner->OnAborted(address);
}

CStoreFileTransfer::CStoreFileTransfer() : m_Progress(this)
{
    for (SRunning& running : m_aRunning)
        running = {false, RakNet::UNASSIGNED_SYSTEM_ADDRESS, 0};
}

CStoreFileTransfer::~CStoreFileTransfer()
{
    ClearCallbacks();
}

void CStoreFileTransfer::Start(RakNet::RakPeerInterface* pPeer)
{
    AddCallback(&m_Progress);
    pPeer->AttachPlugin(this);
    StartIncrementalReadThreads(1);
}

// The set header first, then every file as a reference that the read thread
// pushes piece by piece; an empty set is complete at once.
bool CStoreFileTransfer::SendSet(int nSlot, const RakNet::SystemAddress& address, uint16_t usSetId,
                                 const char* szRoot, const SNetFileEntry* pFiles, int nCount,
                                 PacketPriority ePriority, char cChannel, unsigned int uiPieceSize)
{
    if (nSlot < 0 || nSlot >= MAX_SLOTS || nCount < 0 || (nCount > 0 && !pFiles))
        return false;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_aRunning[nSlot].bActive)
            return false;
        m_aRunning[nSlot] = {true, address, usSetId};
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
        OnComplete(address, usSetId);
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

void CStoreFileTransfer::OnComplete(const RakNet::SystemAddress& address, uint16_t usSetId)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    for (int nSlot = 0; nSlot < MAX_SLOTS; ++nSlot)
    {
        SRunning& running = m_aRunning[nSlot];
        if (running.bActive && running.address == address && running.usSetId == usSetId)
        {
            running.bActive = false;
            m_Finished.push_back(nSlot);
            return;
        }
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
