#include "CStoreBaseline.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "BitStream.h"
#include "FileList.h"
#include "FileListTransfer.h"
#include "IncrementalReadInterface.h"
#include "RakPeerInterface.h"

namespace orvnbench
{

CStoreBaseline::CStoreBaseline(int nPort, std::vector<std::string> paths) : m_nPort(nPort), m_paths(std::move(paths))
{
}

namespace
{
unsigned int SizeOf(const std::string& strPath)
{
    FILE* pFile = fopen(strPath.c_str(), "rb");
    if (!pFile)
        return 0;
    fseek(pFile, 0, SEEK_END);
    const long lSize = ftell(pFile);
    fclose(pFile);
    return lSize < 0 ? 0 : static_cast<unsigned int>(lSize);
}
} // namespace

bool CStoreBaseline::Run(const std::atomic<bool>& bStop)
{
    RakNet::RakPeerInterface* pPeer = RakNet::RakPeerInterface::GetInstance();
    RakNet::FileListTransfer* pTransfer = RakNet::FileListTransfer::GetInstance();
    RakNet::IncrementalReadInterface reader;
    RakNet::SocketDescriptor socket(static_cast<unsigned short>(m_nPort), "127.0.0.1");
    pPeer->SetIncomingPassword("", 1);
    pPeer->SetMaximumIncomingConnections(100);
    if (pPeer->Startup(100, &socket, 1) != RakNet::RAKNET_STARTED)
    {
        RakNet::RakPeerInterface::DestroyInstance(pPeer);
        RakNet::FileListTransfer::DestroyInstance(pTransfer);
        return false;
    }
    pPeer->AttachPlugin(pTransfer);
    pTransfer->StartIncrementalReadThreads(1);
    printf("baseline: ready\n");
    fflush(stdout);
    while (!bStop.load())
    {
        for (RakNet::Packet* pPacket = pPeer->Receive(); pPacket;
             pPeer->DeallocatePacket(pPacket), pPacket = pPeer->Receive())
        {
            if (pPacket->length < 3 || pPacket->data[0] != kBaselineRequest)
                continue;
            const uint16_t usSetId = static_cast<uint16_t>((pPacket->data[1] << 8) | pPacket->data[2]);
            RakNet::FileList list;
            for (const std::string& strPath : m_paths)
            {
                const unsigned int uiSize = SizeOf(strPath);
                list.AddFile(strPath.c_str(), strPath.c_str(), nullptr, uiSize, uiSize, FileListNodeContext(0, 0, 0, 0),
                             true);
            }
            pTransfer->Send(&list, pPeer, pPacket->systemAddress, usSetId, HIGH_PRIORITY, 1, &reader, 1048576);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pPeer->Shutdown(100);
    RakNet::RakPeerInterface::DestroyInstance(pPeer);
    RakNet::FileListTransfer::DestroyInstance(pTransfer);
    return true;
}

} // namespace orvnbench
