#pragma once

// A transport for handler unit tests: no sockets, no threads. Everything the
// server sends is captured as an SSentMessage; a test injects incoming
// messages (raw bytes, or the transport's connection events) and fake
// addresses, then lets CNetwork::ProcessIncoming (or CServer::Tick) run them.
//
// Typical use:
//
//     CRecordingPeer* pPeer = new CRecordingPeer();   // the network takes ownership
//     server.UseNetPeer(pPeer);
//     server.Initialise(...);
//     pPeer->SetAddress(3, 10, 0, 0, 7, 5000);
//     pPeer->InjectNewConnection(3);                   // becomes internal 146
//     pPeer->InjectMessage(3, {152, ...});
//     server.Tick();
//     auto refusals = pPeer->SentWithId(175);          // parsed like the server parses
//
// The peer is owned (and deleted) by CNetwork; a test that must look at the
// shutdown call after the server is gone passes an SPeerShutdownRecord.

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/INetPeer.h"

namespace nettest
{

// The transport's own message codes a test may inject.
constexpr uint8_t RAK_NEW_INCOMING_CONNECTION = 19;
constexpr uint8_t RAK_DISCONNECTION_NOTIFICATION = 21;
constexpr uint8_t RAK_CONNECTION_LOST = 22;
constexpr uint8_t RAK_TIMESTAMP = 27;

// One message the server sent.
struct SSentMessage
{
    std::vector<uint8_t> bytes; // identifier included
    int nPriority = 0;          // 1 high, 3 low
    int nReliability = 0;       // 0 unreliable, 2 reliable, 3 reliable ordered
    int nChannel = 0;
    int nSlot = -1;          // the recipient, or with bBroadcast the slot excepted (-1: none)
    bool bBroadcast = false; // true: to every connection (but nSlot when >= 0)

    // Parsed with the server's own identifier rules; -1 when unparsable.
    int Id() const;
    // The bytes after the identifier.
    std::vector<uint8_t> Payload() const;
    // True when a connection of nTarget would receive it.
    bool Reaches(int nTarget) const { return bBroadcast ? nSlot != nTarget : nSlot == nTarget; }
};

// One SendFileList call the peer accepted.
struct SFileListSend
{
    int nSlot = -1;
    uint16_t usSetId = 0;
    std::string strRoot;
    std::vector<std::string> paths;
    std::vector<uint32_t> sizes;
    int nPriority = 0;
    int nChannel = 0;
    int nPieceSize = 0;
};

// One CloseConnection call.
struct SClosedConnection
{
    int nSlot = -1;
    bool bNotify = false; // a disconnection notice was asked for
    int nChannel = 0;
    int nPriority = 0;
};

// Filled by Shutdown, which CNetwork calls from its destructor.
struct SPeerShutdownRecord
{
    int nCalls = 0;
    int nBlockMs = -1;
    int nChannel = -1;
    int nPriority = -1;
};

class CRecordingPeer : public INetPeer
{
public:
    explicit CRecordingPeer(SPeerShutdownRecord* pShutdownRecord = nullptr);
    ~CRecordingPeer() override;

    // ---- Incoming: queued in order, handed out by Receive. ----
    void InjectMessage(int nSlot, const std::vector<uint8_t>& bytes);
    void InjectMessage(int nSlot, std::initializer_list<uint8_t> bytes);
    void InjectMessage(int nSlot, const uint8_t* pData, int nLength);
    // The transport's events: 19 (becomes 146), 21 and 22 (become 145).
    void InjectNewConnection(int nSlot) { InjectMessage(nSlot, {RAK_NEW_INCOMING_CONNECTION}); }
    void InjectDisconnection(int nSlot) { InjectMessage(nSlot, {RAK_DISCONNECTION_NOTIFICATION}); }
    void InjectConnectionLost(int nSlot) { InjectMessage(nSlot, {RAK_CONNECTION_LOST}); }
    int PendingCount() const { return static_cast<int>(m_incoming.size()); }
    // Messages handed out by Receive and not yet released (should be 0 after a tick).
    int OutstandingCount() const { return m_nOutstanding; }

    // ---- Fake connections: address per slot (first octet first), ping. ----
    void SetAddress(int nSlot, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t usPort = 5000);
    void ClearAddress(int nSlot);
    void SetPing(int nSlot, int nPing) { m_pings[nSlot] = nPing; }
    // CloseConnection forgets the slot's address, like a real transport; tests
    // that need the address afterwards can turn that off.
    bool m_bForgetAddressOnClose = true;

    // ---- Outgoing. ----
    const std::vector<SSentMessage>& Sent() const { return m_sent; }
    std::vector<SSentMessage> SentWithId(int nId) const;
    // Messages that a connection of nSlot would receive (direct or broadcast).
    std::vector<SSentMessage> SentTo(int nSlot) const;
    std::vector<SSentMessage> SentTo(int nSlot, int nId) const;
    const std::vector<SClosedConnection>& Closed() const { return m_closed; }
    // One entry per Flush call: how many of Sent() were sent before it.
    const std::vector<size_t>& Flushes() const { return m_flushes; }
    void ClearSent()
    {
        m_sent.clear();
        m_closed.clear();
        m_flushes.clear();
    }

    // ---- Store transfers: accepted sends, and their completion on demand. ----
    const std::vector<SFileListSend>& FileLists() const { return m_fileLists; }
    // Forgets the recorded sends; a long fuzz run would otherwise keep them all.
    void ClearFileLists() { m_fileLists.clear(); }
    // The slot's transfer is pushed: the next tick's ProcessIncoming sees it.
    void FinishFileList(int nSlot);
    // Slots with a transfer that is neither finished nor ended.
    std::set<int> m_runningFileLists;

    // ---- Settings the network made. ----
    int m_nStartupConnections = -1;
    int m_nStartupPort = -1;
    std::string m_strStartupBindHost;
    // Set false before Initialise to simulate a port in use.
    bool m_bStartupSucceeds = true;
    int m_nMaxIncoming = 0;
    bool m_bOccasionalPing = false;
    // Slots whose connection the network asked to keep, in order.
    std::vector<int> m_keptConnections;
    std::vector<uint8_t> m_password; // exactly the bytes given, terminator included
    std::set<std::string> m_banList;

    // ---- INetPeer ----
    bool Startup(int nMaxConnections, int nPort, const char* szBindHost) override;
    void SetMaximumIncomingConnections(int nConnections) override { m_nMaxIncoming = nConnections; }
    int GetMaximumIncomingConnections() const override { return m_nMaxIncoming; }
    void SetOccasionalPing(bool bEnabled) override { m_bOccasionalPing = bEnabled; }
    void SetIncomingPassword(const char* pPassword, int nLength) override;
    bool Receive(SNetPacket& packet) override;
    void DeallocatePacket(SNetPacket& packet) override;
    void Send(const uint8_t* pData, int nLength, int nPriority, int nReliability, int nChannel, int nSlot,
              bool bBroadcast) override;
    void CloseConnection(int nSlot, bool bNotify, int nChannel, int nPriority) override;
    void KeepConnection(int nSlot) override { m_keptConnections.push_back(nSlot); }
    bool GetAddress(int nSlot, uint32_t& uiAddress, uint16_t& usPort) const override;
    int GetPing(int nSlot) const override;
    void AddToBanList(const char* szAddress) override { m_banList.insert(szAddress); }
    void RemoveFromBanList(const char* szAddress) override { m_banList.erase(szAddress); }
    bool IsBanned(const char* szAddress) const override { return m_banList.count(szAddress) != 0; }
    void Shutdown(int nBlockMs, int nChannel, int nPriority) override;
    bool SendFileList(int nSlot, uint16_t usSetId, const char* szRoot, const SNetFileEntry* pFiles,
                      int nCount, int nPriority, int nChannel, int nPieceSize) override;
    bool TakeFinishedFileList(int& nSlot) override;
    int CountFileLists() const override { return static_cast<int>(m_runningFileLists.size()); }
    void Flush() override { m_flushes.push_back(m_sent.size()); }

private:
    struct SQueued
    {
        int nSlot;
        std::vector<uint8_t> bytes;
    };
    struct SAddress
    {
        uint32_t uiAddress; // network byte order
        uint16_t usPort;
    };

    std::deque<SQueued> m_incoming;
    int m_nOutstanding = 0;
    std::vector<SSentMessage> m_sent;
    std::vector<SClosedConnection> m_closed;
    std::vector<size_t> m_flushes;
    std::map<int, SAddress> m_addresses;
    std::map<int, int> m_pings;
    std::vector<SFileListSend> m_fileLists;
    std::deque<int> m_finishedFileLists;
    SPeerShutdownRecord* m_pShutdownRecord;
};

} // namespace nettest
