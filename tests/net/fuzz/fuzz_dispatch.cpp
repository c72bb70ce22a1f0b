// Feeds arbitrary bytes to the server's two ways in from the network: the
// message dispatch (every registered handler, on a server over the recording
// transport, with objects and pickups in its world) and the query handler.
// Nothing may crash, hang or read outside the input; the sanitizers watch.
//
// Input: the first byte selects the way in.
//   bit 7 set:   the rest is one datagram for the query handler, from one
//                of 128 loopback sources (bits 0..6), so that both answered
//                and rate-limited queries are reached.
//   bit 7 clear: bits 0..2 pick the slot (0..7), bits 3..4 the state to put
//                it in first (0 as it is, 1 connected, 2 joined, 3 as it is
//                after a tick of 600 ms); the rest is one raw message,
//                identifier included, received from that slot by the next
//                tick (past the message limit, into the dispatch). A slot
//                put in state 2 also spawns, next to the vehicles of every
//                class that wait where it stands, so vehicle entry and
//                the vehicle sync and reports meet real vehicles.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "BitStream.h"
#include "CServer.h"
#include "ITimeSource.h"
#include "net/CNetwork.h"
#include "net/CQueryHandler.h"
#include "net/support/CRecordingPeer.h"
#include "players/CPlayerPool.h"
#include "plugins/CPluginManager.h"

namespace
{
struct SFuzzServer
{
    CManualTime time;
    CServer* pServer = nullptr;
    nettest::CRecordingPeer* pPeer = nullptr;
};

class CDiscardingSocket : public IQueryReplySocket
{
public:
    void SendTo(uint32_t, uint16_t, const uint8_t* pData, int nLength) override
    {
        // Touch every byte, so a reply built from uninitialised or freed memory shows.
        for (int i = 0; i < nLength; ++i)
            m_uiSum += pData[i];
    }
    uint32_t m_uiSum = 0;
};

std::vector<uint8_t> JoinRequest(int nSlot)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(152));
    stream.Write(static_cast<uint32_t>(0x04E6F218));
    stream.Write(static_cast<uint32_t>(66100));
    std::string strName = "Fuzz" + std::to_string(nSlot);
    stream.Write(static_cast<uint8_t>(strName.size()));
    stream.Write(strName.data(), static_cast<unsigned int>(strName.size()));
    stream.Write(static_cast<uint8_t>(0));
    stream.Write(true);
    stream.Write(static_cast<uint8_t>(2));
    stream.Write("id", 2);
    const uint8_t* pData = stream.GetData();
    return std::vector<uint8_t>(pData, pData + BITS_TO_BYTES(stream.GetNumberOfBitsUsed()));
}

// Objects and pickups around the origin and the spawn point, some moving or
// turning, some timed, of every kind of built-in effect, so that claims and
// shot and touch reports meet live entities. Pickup keys start at
// slot | 1 << 11.
void PopulateWorld(const CServer& server)
{
    static const int s_anModels[] = {259, 270, 285, 337, 366, 368, 1240};
    const Vector avCentres[2] = {Vector(0.0f, 0.0f, 0.0f), server.m_vSpawnPlayerPosition};
    for (int i = 0; i < 64; ++i)
    {
        const Vector& vCentre = avCentres[i % 2];
        const float fX = vCentre.x + static_cast<float>(i % 8) - 4.0f;
        const float fY = vCentre.y + static_cast<float>(i / 8) - 4.0f;
        const int nObject = g_pFuncs->CreateObject(1000 + i, 0, fX, fY, vCentre.z, 255);
        g_pFuncs->MoveObjectBy(nObject, 0.0f, 0.0f, 1.0f, 700 * (i % 3));
        g_pFuncs->RotateObjectByEuler(nObject, 0.0f, 0.0f, 1.0f, 900 * (i % 2));
        const int nPickup = g_pFuncs->CreatePickup(s_anModels[i % 7], 0, 10, fX, fY, vCentre.z, 255, 1);
        g_pFuncs->SetPickupAutoTimer(nPickup, 300 * (i % 2));
    }
}

// The run's working folder, removed when the run ends.
std::filesystem::path g_Folder;

void RemoveFolder()
{
    std::error_code error;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), error);
    std::filesystem::remove_all(g_Folder, error);
}

// One server for the whole run, in a folder of its own, printing nowhere.
SFuzzServer& Server()
{
    static SFuzzServer* s_pServer = nullptr;
    if (s_pServer)
        return *s_pServer;
    s_pServer = new SFuzzServer();
    std::random_device random;
    g_Folder = std::filesystem::temp_directory_path() / ("orvn-fuzz-" + std::to_string(random()));
    std::filesystem::create_directories(g_Folder);
    std::filesystem::current_path(g_Folder);
    std::atexit(RemoveFolder);
    if (!freopen("/dev/null", "w", stdout))
        perror("freopen");

    // Bans and logs the inputs cause land in a folder of their own.
    char szFolder[] = "/tmp/orvn-fuzz-XXXXXX";
    if (!mkdtemp(szFolder) || chdir(szFolder) != 0)
        abort();
    // A store for the file requests (185) to find, with one custom weapon.
    std::filesystem::create_directories("store/weapons");
    if (FILE* pFile = fopen("store/weapons/w120_s1_l0_x.7z", "wb"))
        fclose(pFile);
    if (FILE* pFile = fopen("store/a.txt", "wb"))
    {
        fputs("a", pFile);
        fclose(pFile);
    }
    SetTimeSource(&s_pServer->time);
    g_pPluginManager = new CPluginManager();
    g_pFuncs = g_pPluginManager->GetFunctions();
    s_pServer->pServer = new CServer();
    s_pServer->pPeer = new nettest::CRecordingPeer();
    s_pServer->pServer->UseNetPeer(s_pServer->pPeer);
    const char* const apszArgs[] = {"orvn-server", "-allow-server-runas-root", "-maxplayers", "8"};
    if (!s_pServer->pServer->Initialise(4, apszArgs))
        abort();
    g_pServer = s_pServer->pServer;
    PopulateWorld(*s_pServer->pServer);
    // An empty administrator password lets inputs reach the kick and ban paths.
    s_pServer->pServer->SetAdminPassword("");
    for (int nSlot = 0; nSlot < 8; ++nSlot)
        s_pServer->pPeer->SetAddress(nSlot, 10, 0, 0, static_cast<uint8_t>(nSlot + 1));
    // Vehicles of classes 0, 1 and 2 and the projectile model, where a new
    // player stands until it reports a position.
    const int anModels[] = {130, 166, 136, 155, 170};
    for (int i = 0; i < 5; ++i)
        g_pFuncs->CreateVehicle(anModels[i], 1, 3.0f * i, 0.0f, 0.0f, 0.0f, 0, 0);
    return *s_pServer;
}

void Tick(SFuzzServer& fuzz, uint32_t uiMs)
{
    fuzz.time.Advance(uiMs);
    fuzz.pServer->Tick();
    fuzz.pPeer->ClearSent();
    fuzz.pPeer->ClearFileLists();
}

void PrepareSlot(SFuzzServer& fuzz, int nSlot, int nState)
{
    CServer& server = *fuzz.pServer;
    if (nState == 3)
    {
        Tick(fuzz, 600);
        return;
    }
    if (nState >= 1 && server.GetConnectionState(nSlot) == CONNECTION_NONE)
    {
        fuzz.pPeer->SetAddress(nSlot, 10, 0, 0, static_cast<uint8_t>(nSlot + 1));
        fuzz.pPeer->InjectNewConnection(nSlot);
        Tick(fuzz, 1);
    }
    if (nState == 2 && server.GetConnectionState(nSlot) == CONNECTION_CONNECTED)
    {
        std::vector<uint8_t> request = JoinRequest(nSlot);
        fuzz.pServer->m_pNetwork->DispatchRaw(nSlot, request.data(), static_cast<int>(request.size()));
        const uint8_t abySpawned[] = {167};
        fuzz.pServer->m_pNetwork->DispatchRaw(nSlot, abySpawned, 1);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 1 || nSize > 4096)
        return 0;
    SFuzzServer& fuzz = Server();
    // The input itself is read-only; the handlers get a copy of exactly its length.
    std::vector<uint8_t> body(pData + 1, pData + nSize);
    if (pData[0] & 0x80)
    {
        CDiscardingSocket socket;
        const uint32_t uiSource = 0x0000007Fu | (static_cast<uint32_t>(pData[0] & 0x7F) << 24);
        GetQueryHandler()->HandleQueryDatagram(&socket, uiSource, 4000, body.data(),
                                               static_cast<int>(body.size()));
        return 0;
    }
    int nSlot = pData[0] & 0x07;
    PrepareSlot(fuzz, nSlot, (pData[0] >> 3) & 0x03);
    fuzz.pPeer->InjectMessage(nSlot, body);
    // Store transfers the input started are pushed by the next tick.
    Tick(fuzz, 5);
    const std::set<int> running = fuzz.pPeer->m_runningFileLists;
    for (int nRunning : running)
        fuzz.pPeer->FinishFileList(nRunning);
    Tick(fuzz, 5);
    return 0;
}
