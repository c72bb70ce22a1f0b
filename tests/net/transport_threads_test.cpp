// RakNet peers made and destroyed on several threads at once, as the load
// tool's bots and the test clients do. The tables every peer shares must go
// with the last peer: neither leak nor go while another peer still uses them.

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RakPeerInterface.h"
#include "StringCompressor.h"
#include "StringTable.h"

TEST(TransportThreads, PeersMadeAndDestroyedOnManyThreadsShareTheirTablesSafely)
{
    std::vector<std::thread> threads;
    for (int nThread = 0; nThread < 8; ++nThread)
        threads.emplace_back(
            []
            {
                for (int i = 0; i < 100; ++i)
                    RakNet::RakPeerInterface::DestroyInstance(RakNet::RakPeerInterface::GetInstance());
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(RakNet::StringCompressor::Instance(), nullptr);
    EXPECT_EQ(RakNet::StringTable::Instance(), nullptr);
}
