// orvn-store-bench: the driver of the store download benchmark.
//
//   orvn-store-bench clients --port P [--clients 10] [--baseline] [--timeout-s 600]
//       Connects the clients, then asks for every file at once and waits until
//       every client has its whole set. Against the game server each client
//       joins and asks by digest (message 185); with --baseline it sends the
//       baseline's request. Prints one line: clients, bytes, seconds, MiB/s.
//   orvn-store-bench baseline --port P FILE...
//       Serves the files with a bare RakNet file list transfer until interrupted.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CStoreBaseline.h"
#include "CStoreReceiver.h"
#include "CTestClient.h"
#include "ContentMessages.h"

namespace
{
std::atomic<bool> g_bStop{false};

void OnSignal(int)
{
    g_bStop.store(true);
}

struct SClient
{
    std::unique_ptr<testclient::CTestClient> pClient;
    std::unique_ptr<testclient::CStoreReceiver> pReceiver;
    testclient::SServerInfo info;
};

// Connects (and joins, against the game server) every client; false on the first failure.
bool ConnectAll(std::vector<SClient>& clients, int nPort, bool bBaseline)
{
    for (size_t i = 0; i < clients.size(); ++i)
    {
        SClient& client = clients[i];
        client.pClient = std::make_unique<testclient::CTestClient>();
        if (!client.pClient->Connect("127.0.0.1", static_cast<uint16_t>(nPort), "", 5000))
            return false;
        const std::string strName = "Bench" + std::to_string(i);
        if (!bBaseline && !client.pClient->Join(strName.c_str(), &client.info, 5000))
            return false;
        client.pReceiver =
            std::make_unique<testclient::CStoreReceiver>(*client.pClient, testclient::CStoreReceiver::COUNT);
    }
    return true;
}

void RequestAll(std::vector<SClient>& clients, bool bBaseline)
{
    for (SClient& client : clients)
    {
        const uint16_t usSetId = client.pReceiver->Prepare();
        RakNet::BitStream stream;
        if (bBaseline)
        {
            stream.Write(orvnbench::kBaselineRequest);
            stream.Write(usSetId);
        }
        else
            testclient::EncodeStoreFileRequest(stream, usSetId, client.info.files);
        client.pClient->SendStream(stream);
    }
}

int RunClients(int nPort, int nClients, bool bBaseline, int nTimeoutS)
{
    std::vector<SClient> clients(static_cast<size_t>(nClients));
    if (!ConnectAll(clients, nPort, bBaseline))
    {
        fprintf(stderr, "store-bench: a client could not connect or join\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    RequestAll(clients, bBaseline);
    bool bAllDone = false;
    while (!bAllDone && !g_bStop.load() && std::chrono::steady_clock::now() - start < std::chrono::seconds(nTimeoutS))
    {
        bAllDone = true;
        for (SClient& client : clients)
        {
            client.pClient->Poll();
            bAllDone = bAllDone && client.pReceiver->SetComplete();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t ullBytes = 0;
    for (const SClient& client : clients)
        ullBytes += client.pReceiver->TotalBytes();
    printf("clients=%d bytes=%llu seconds=%.2f mib_per_s=%.1f complete=%d\n", nClients,
           static_cast<unsigned long long>(ullBytes), dSeconds, static_cast<double>(ullBytes) / 1048576.0 / dSeconds,
           bAllDone ? 1 : 0);
    return bAllDone ? 0 : 1;
}
} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (argc < 2)
    {
        fprintf(stderr, "usage: orvn-store-bench clients|baseline --port P ...\n");
        return 2;
    }
    const std::string strMode = argv[1];
    int nPort = 0;
    int nClients = 10;
    int nTimeoutS = 600;
    bool bBaseline = false;
    std::vector<std::string> files;
    for (int i = 2; i < argc; ++i)
    {
        const std::string strArg = argv[i];
        if (strArg == "--port" && i + 1 < argc)
            nPort = atoi(argv[++i]);
        else if (strArg == "--clients" && i + 1 < argc)
            nClients = atoi(argv[++i]);
        else if (strArg == "--timeout-s" && i + 1 < argc)
            nTimeoutS = atoi(argv[++i]);
        else if (strArg == "--baseline")
            bBaseline = true;
        else
            files.push_back(strArg);
    }
    if (nPort <= 0 || nClients < 1 || nClients > 100)
    {
        fprintf(stderr, "store-bench: bad --port or --clients\n");
        return 2;
    }
    if (strMode == "clients")
        return RunClients(nPort, nClients, bBaseline, nTimeoutS);
    if (strMode == "baseline")
        return orvnbench::CStoreBaseline(nPort, files).Run(g_bStop) ? 0 : 1;
    fprintf(stderr, "store-bench: unknown mode %s\n", strMode.c_str());
    return 2;
}
