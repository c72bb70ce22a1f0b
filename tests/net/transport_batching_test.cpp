// The transport socket's batching, which only the server switches on: the
// datagrams one thread sends inside a batch leave together and in order, and
// the receive thread takes every waiting datagram with one call. The far end
// is a plain UDP socket on loopback.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RakNetSocket2.h"

namespace
{
using Bytes = std::vector<uint8_t>;

// Datagrams nFirst.. of a story; their lengths and bytes tell each apart.
std::vector<Bytes> Datagrams(int nFirst, int nCount = 1)
{
    std::vector<Bytes> all;
    for (int i = nFirst; i < nFirst + nCount; ++i)
    {
        Bytes bytes(static_cast<size_t>(20 + i % 90));
        for (size_t n = 0; n < bytes.size(); ++n)
            bytes[n] = static_cast<uint8_t>(i * 7 + n);
        all.push_back(bytes);
    }
    return all;
}

// A plain UDP socket on 127.0.0.1, port of the system's choice.
class CUdpEnd
{
public:
    CUdpEnd() : m_nSocket(socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in address = Loopback(0);
        socklen_t nLength = sizeof(address);
        bind(m_nSocket, reinterpret_cast<sockaddr*>(&address), nLength);
        getsockname(m_nSocket, reinterpret_cast<sockaddr*>(&address), &nLength);
        m_usPort = ntohs(address.sin_port);
    }
    ~CUdpEnd() { close(m_nSocket); }
    CUdpEnd(const CUdpEnd&) = delete;
    CUdpEnd& operator=(const CUdpEnd&) = delete;

    uint16_t Port() const { return m_usPort; }
    void SendTo(uint16_t usPort, const Bytes& bytes) const
    {
        sockaddr_in address = Loopback(usPort);
        sendto(m_nSocket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&address),
               sizeof(address));
    }
    // Every datagram that arrives within 200 ms of the previous one.
    std::vector<Bytes> ReceiveAll() const
    {
        std::vector<Bytes> all;
        pollfd waiting = {m_nSocket, POLLIN, 0};
        while (poll(&waiting, 1, 200) > 0)
        {
            Bytes bytes(2048);
            bytes.resize(
                static_cast<size_t>(std::max<ssize_t>(0, recv(m_nSocket, bytes.data(), bytes.size(), 0))));
            all.push_back(bytes);
        }
        return all;
    }

private:
    static sockaddr_in Loopback(uint16_t usPort)
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(usPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

    int m_nSocket;
    uint16_t m_usPort = 0;
};

// Keeps what the receive thread hands on, by sender port, and counts the
// structures it takes and gives back.
class CCollectingHandler : public RakNet::RNS2EventHandler
{
public:
    void OnRNS2Recv(RakNet::RNS2RecvStruct* pRecv) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (pRecv->systemAddress.GetPort() == m_usFrom)
                m_received.emplace_back(pRecv->data, pRecv->data + pRecv->bytesRead);
        }
        DeallocRNS2RecvStruct(pRecv, _FILE_AND_LINE_);
    }
    void DeallocRNS2RecvStruct(RakNet::RNS2RecvStruct* pRecv, const char*, unsigned int) override
    {
        delete pRecv;
        --m_nOutstanding;
    }
    RakNet::RNS2RecvStruct* AllocRNS2RecvStruct(const char*, unsigned int) override
    {
        ++m_nOutstanding;
        return new RakNet::RNS2RecvStruct;
    }

    std::atomic<uint16_t> m_usFrom{0};
    std::atomic<int> m_nOutstanding{0};
    std::mutex m_mutex;
    std::vector<Bytes> m_received;
};

// The server's kind of socket on 127.0.0.1, with its receive thread when asked.
class CTransportSocket
{
public:
    explicit CTransportSocket(RakNet::RNS2EventHandler* pHandler = nullptr)
        : m_pSocket(static_cast<RakNet::RNS2_Linux*>(RakNet::RakNetSocket2Allocator::AllocRNS2()))
    {
        char szHost[] = "127.0.0.1";
        RakNet::RNS2_BerkleyBindParameters parameters = {};
        parameters.hostAddress = szHost;
        parameters.addressFamily = AF_INET;
        parameters.type = SOCK_DGRAM;
        parameters.eventHandler = pHandler;
        m_bBound = m_pSocket->Bind(&parameters, _FILE_AND_LINE_) == RakNet::BR_SUCCESS;
    }
    ~CTransportSocket()
    {
        if (m_bReceiving)
            m_pSocket->BlockOnStopRecvPollingThread();
        RakNet::RakNetSocket2Allocator::DeallocRNS2(m_pSocket);
    }
    CTransportSocket(const CTransportSocket&) = delete;
    CTransportSocket& operator=(const CTransportSocket&) = delete;

    bool Bound() const { return m_bBound; }
    RakNet::RNS2_Linux* operator->() { return m_pSocket; }
    void StartReceiving(bool bBatching)
    {
        m_pSocket->SetReceiveBatching(bBatching);
        m_bReceiving = m_pSocket->CreateRecvPollingThread(0) == 0;
    }
    int SendTo(uint16_t usPort, const Bytes& bytes, int nTtl = 0)
    {
        RakNet::RNS2_SendParameters parameters;
        parameters.data = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()));
        parameters.length = static_cast<int>(bytes.size());
        parameters.systemAddress.FromStringExplicitPort("127.0.0.1", usPort);
        parameters.ttl = nTtl;
        return m_pSocket->Send(&parameters, _FILE_AND_LINE_);
    }

private:
    RakNet::RNS2_Linux* m_pSocket;
    bool m_bBound = false;
    bool m_bReceiving = false;
};
} // namespace

// One thread queues more than two batches' worth (64 each): full batches leave
// as they fill, another thread's datagram leaves at once, a datagram with a
// TTL of its own first sends what was queued, the end sends the rest, and
// after it every datagram leaves at once again. Nothing is lost or reordered.
TEST(DatagramBatching, OneThreadsBatchLeavesWholeAndInOrder)
{
    CUdpEnd far;
    CTransportSocket near;
    ASSERT_TRUE(near.Bound());

    near->BeginSendBatch();
    for (const Bytes& datagram : Datagrams(0, 150))
        EXPECT_EQ(near.SendTo(far.Port(), datagram), static_cast<int>(datagram.size()));
    EXPECT_EQ(far.ReceiveAll(), Datagrams(0, 128));
    std::thread other([&] { near.SendTo(far.Port(), Datagrams(500)[0]); });
    other.join();
    EXPECT_EQ(far.ReceiveAll(), Datagrams(500));

    near.SendTo(far.Port(), Datagrams(150)[0], 64);
    EXPECT_EQ(far.ReceiveAll(), Datagrams(128, 23));
    near.SendTo(far.Port(), Datagrams(151)[0]);
    near->EndSendBatch();
    EXPECT_EQ(far.ReceiveAll(), Datagrams(151));
    near.SendTo(far.Port(), Datagrams(152)[0]);
    EXPECT_EQ(far.ReceiveAll(), Datagrams(152));
}

// The receive thread hands on the same datagrams in the same order whether it
// takes them one by one or all waiting at once, and gives back every
// structure it took.
TEST(ReceiveBatching, EveryDatagramIsHandedOnInOrderEitherWay)
{
    for (bool bBatching : {false, true})
    {
        SCOPED_TRACE(bBatching ? "batched" : "one by one");
        CCollectingHandler handler;
        {
            CUdpEnd far;
            handler.m_usFrom = far.Port();
            CTransportSocket near(&handler);
            ASSERT_TRUE(near.Bound());
            near.StartReceiving(bBatching);
            for (const Bytes& datagram : Datagrams(0, 200))
                far.SendTo(near->GetBoundAddress().GetPort(), datagram);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (size_t nCount = 0; nCount < 200 && std::chrono::steady_clock::now() < deadline;)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                std::lock_guard<std::mutex> lock(handler.m_mutex);
                nCount = handler.m_received.size();
            }
        }
        EXPECT_EQ(handler.m_received, Datagrams(0, 200));
        EXPECT_EQ(handler.m_nOutstanding, 0);
    }
}
