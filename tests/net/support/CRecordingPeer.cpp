#include "net/support/CRecordingPeer.h"

#include <cstring>

#include "net/CNetwork.h"

namespace nettest
{

int SSentMessage::Id() const
{
    int nId = -1;
    int nOffset = 0;
    if (!CNetwork::ParseMessageId(bytes.data(), static_cast<int>(bytes.size()), nId, nOffset))
        return -1;
    return nId;
}

std::vector<uint8_t> SSentMessage::Payload() const
{
    int nId = -1;
    int nOffset = 0;
    if (!CNetwork::ParseMessageId(bytes.data(), static_cast<int>(bytes.size()), nId, nOffset))
        return {};
    return std::vector<uint8_t>(bytes.begin() + nOffset, bytes.end());
}

CRecordingPeer::CRecordingPeer(SPeerShutdownRecord* pShutdownRecord) : m_pShutdownRecord(pShutdownRecord) {}

CRecordingPeer::~CRecordingPeer() = default;

void CRecordingPeer::InjectMessage(int nSlot, const std::vector<uint8_t>& bytes)
{
    m_incoming.push_back(SQueued{nSlot, bytes});
}

void CRecordingPeer::InjectMessage(int nSlot, std::initializer_list<uint8_t> bytes)
{
    InjectMessage(nSlot, std::vector<uint8_t>(bytes));
}

void CRecordingPeer::InjectMessage(int nSlot, const uint8_t* pData, int nLength)
{
    InjectMessage(nSlot, std::vector<uint8_t>(pData, pData + (nLength > 0 ? nLength : 0)));
}

void CRecordingPeer::SetAddress(int nSlot, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t usPort)
{
    const uint8_t abyOctets[4] = {a, b, c, d};
    SAddress address;
    memcpy(&address.uiAddress, abyOctets, sizeof(abyOctets));
    address.usPort = usPort;
    m_addresses[nSlot] = address;
}

void CRecordingPeer::ClearAddress(int nSlot)
{
    m_addresses.erase(nSlot);
}

std::vector<SSentMessage> CRecordingPeer::SentWithId(int nId) const
{
    std::vector<SSentMessage> result;
    for (const SSentMessage& message : m_sent)
    {
        if (message.Id() == nId)
            result.push_back(message);
    }
    return result;
}

std::vector<SSentMessage> CRecordingPeer::SentTo(int nSlot) const
{
    std::vector<SSentMessage> result;
    for (const SSentMessage& message : m_sent)
    {
        if (message.Reaches(nSlot))
            result.push_back(message);
    }
    return result;
}

std::vector<SSentMessage> CRecordingPeer::SentTo(int nSlot, int nId) const
{
    std::vector<SSentMessage> result;
    for (const SSentMessage& message : m_sent)
    {
        if (message.Reaches(nSlot) && message.Id() == nId)
            result.push_back(message);
    }
    return result;
}

bool CRecordingPeer::Startup(int nMaxConnections, int nPort, const char* szBindHost)
{
    m_nStartupConnections = nMaxConnections;
    m_nStartupPort = nPort;
    m_strStartupBindHost = szBindHost ? szBindHost : "";
    return m_bStartupSucceeds;
}

void CRecordingPeer::SetIncomingPassword(const char* pPassword, int nLength)
{
    m_password.assign(pPassword, pPassword + (nLength > 0 ? nLength : 0));
}

bool CRecordingPeer::Receive(SNetPacket& packet)
{
    if (m_incoming.empty())
        return false;
    // The bytes live on the heap until DeallocatePacket, like a transport's.
    auto* pBytes = new std::vector<uint8_t>(std::move(m_incoming.front().bytes));
    packet.nSlot = m_incoming.front().nSlot;
    m_incoming.pop_front();
    packet.pData = pBytes->data();
    packet.nLength = static_cast<int>(pBytes->size());
    packet.pHandle = pBytes;
    ++m_nOutstanding;
    return true;
}

void CRecordingPeer::DeallocatePacket(SNetPacket& packet)
{
    if (!packet.pHandle)
        return;
    delete static_cast<std::vector<uint8_t>*>(packet.pHandle);
    packet.pHandle = nullptr;
    packet.pData = nullptr;
    --m_nOutstanding;
}

void CRecordingPeer::Send(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel,
                          int nSlot, bool bBroadcast)
{
    SSentMessage message;
    message.bytes.assign(pData, pData + (nLength > 0 ? nLength : 0));
    message.nPriority = nPriority;
    message.nReliability = nReliability;
    message.nChannel = nChannel;
    message.nSlot = nSlot;
    message.bBroadcast = bBroadcast;
    m_sent.push_back(std::move(message));
}

void CRecordingPeer::CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority)
{
    m_closed.push_back(SClosedConnection{nSlot, bNotify, nChannel, nPriority});
    if (m_bForgetAddressOnClose)
        m_addresses.erase(nSlot);
    m_runningFileLists.erase(nSlot);
}

// Like the real transport: one running transfer per slot, and an empty set
// is finished at once.
bool CRecordingPeer::SendFileList(int nSlot, uint16_t usSetId, const char* szRoot,
                                  const SNetFileEntry* pFiles, int nCount, int nPriority, int nChannel,
                                  int nPieceSize)
{
    if (m_runningFileLists.count(nSlot) != 0)
        return false;
    SFileListSend send;
    send.nSlot = nSlot;
    send.usSetId = usSetId;
    send.strRoot = szRoot ? szRoot : "";
    for (int i = 0; i < nCount; ++i)
    {
        send.paths.emplace_back(pFiles[i].szPath);
        send.sizes.push_back(pFiles[i].uiSize);
    }
    send.nPriority = nPriority;
    send.nChannel = nChannel;
    send.nPieceSize = nPieceSize;
    m_fileLists.push_back(send);
    m_runningFileLists.insert(nSlot);
    if (nCount == 0)
        FinishFileList(nSlot);
    return true;
}

void CRecordingPeer::FinishFileList(int nSlot)
{
    if (m_runningFileLists.erase(nSlot) != 0)
        m_finishedFileLists.push_back(nSlot);
}

bool CRecordingPeer::TakeFinishedFileList(int& nSlot)
{
    if (m_finishedFileLists.empty())
        return false;
    nSlot = m_finishedFileLists.front();
    m_finishedFileLists.pop_front();
    return true;
}

bool CRecordingPeer::GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const
{
    auto it = m_addresses.find(nSlot);
    if (it == m_addresses.end())
        return false;
    uiAddress = it->second.uiAddress;
    usPort = it->second.usPort;
    return true;
}

int CRecordingPeer::GetPing(int nSlot) const
{
    auto it = m_pings.find(nSlot);
    return it == m_pings.end() ? -1 : it->second;
}

void CRecordingPeer::Shutdown(int nBlockMs, int nChannel, int nPriority)
{
    if (!m_pShutdownRecord)
        return;
    ++m_pShutdownRecord->nCalls;
    m_pShutdownRecord->nBlockMs = nBlockMs;
    m_pShutdownRecord->nChannel = nChannel;
    m_pShutdownRecord->nPriority = nPriority;
}

} // namespace nettest
