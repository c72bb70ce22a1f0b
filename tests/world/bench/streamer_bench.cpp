// Cost of the streamer per tick and per full player pass over populated
// pools: 10, 25, 50 and 100 players spread over the map in clusters, with
// 1000 vehicles, 2000 pickups and 3000 objects. Process handles one player
// and one vehicle per call, so its cost should stay flat as players grow;
// StreamPlayer is the cost of one player's pass; ProcessSecond the total of
// one second of 5 ms ticks. The object and world cases run the real pickup
// and object pools with every object moving. The clustered cases gather all
// 3000 objects and 2000 pickups around one player's spawn point and let the
// player die and spawn again, as a client may ask to at its message rate.

#include <cstdlib>

#include <benchmark/benchmark.h>

#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "world/CObjectPool.h"
#include "world/CPickupPool.h"
#include "world/support/CWorldFixture.h"

namespace
{

using worldtest::CWorldFixture;

// A fixed pseudo-random spread, the same for every run.
float Spread(uint32_t& uiSeed, float fMin, float fMax)
{
    uiSeed = uiSeed * 1664525u + 1013904223u;
    return fMin + (fMax - fMin) * static_cast<float>(uiSeed >> 8) / static_cast<float>(1u << 24);
}

// Players stand in clusters of five around town centres, as they gather in a
// real game; entities cover the whole map.
// bFakeEntities false leaves the pickup and object grids to real pools.
void Populate(CWorldFixture& world, int nPlayers, bool bFakeEntities = true)
{
    uint32_t uiSeed = 12345;
    for (int nId = 1; nId <= 1000; ++nId)
        world.Vehicles().Place(nId, Vector(Spread(uiSeed, -2300, 1500), Spread(uiSeed, -1900, 1900), 10), 1);
    for (int nId = 0; nId < 2000 && bFakeEntities; ++nId)
        world.Pickups().Place(nId, Vector(Spread(uiSeed, -2300, 1500), Spread(uiSeed, -1900, 1900), 10), 1);
    for (int nId = 0; nId < 3000 && bFakeEntities; ++nId)
        world.Objects().Place(nId, Vector(Spread(uiSeed, -2300, 1500), Spread(uiSeed, -1900, 1900), 10), 1);
    for (int nSlot = 0; nSlot < nPlayers; ++nSlot)
    {
        uint32_t uiCluster = 777u + static_cast<uint32_t>(nSlot / 5);
        const float fX = Spread(uiCluster, -2000, 1200);
        const float fY = Spread(uiCluster, -1600, 1600);
        CPlayer* pPlayer = world.AddPlayer(
            nSlot, Vector(fX + Spread(uiSeed, -150, 150), fY + Spread(uiSeed, -150, 150), 10));
        pPlayer->m_vAverageSpeed = Vector(Spread(uiSeed, -1, 1), Spread(uiSeed, -1, 1), 0);
    }
    // Settle: one full pass so that every stream holds what it should.
    for (int nSlot = 0; nSlot < nPlayers; ++nSlot)
        world.Streamer().StreamPlayer(world.Server().m_pPlayerPool->Get(nSlot));
    world.Peer().m_Sent.clear();
}

// Players drift a little every tick, so passes keep streaming at the edges.
void Drift(CWorldFixture& world, int nPlayers, uint32_t& uiSeed)
{
    CPlayer* pPlayer =
        world.Server().m_pPlayerPool->Get(static_cast<int>(uiSeed % static_cast<uint32_t>(nPlayers)));
    world.MovePlayer(pPlayer, pPlayer->m_vPosition + Vector(Spread(uiSeed, -3, 3), Spread(uiSeed, -3, 3), 0));
}

// One tick with the clock moving 5 ms: the average cost per tick, which grows
// with the players because a full pass (one player per tick) starts every second.
void BM_ProcessTick(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    CWorldFixture world;
    Populate(world, nPlayers);
    uint32_t uiNow = 10000;
    uint32_t uiSeed = 99;
    for (auto _ : state)
    {
        Drift(world, nPlayers, uiSeed);
        world.Streamer().Process(uiNow);
        uiNow += 5;
        if (world.Peer().m_Sent.size() > 100000)
            world.Peer().m_Sent.clear();
    }
}

// The busiest tick: the clock moves a whole interval per call, so every call
// streams one player and checks one vehicle. This is the bound per tick and
// should stay flat whatever the population.
void BM_ProcessBusyTick(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    CWorldFixture world;
    Populate(world, nPlayers);
    uint32_t uiNow = 10000;
    uint32_t uiSeed = 42;
    for (auto _ : state)
    {
        Drift(world, nPlayers, uiSeed);
        world.Streamer().Process(uiNow);
        uiNow += 1000;
        if (world.Peer().m_Sent.size() > 100000)
            world.Peer().m_Sent.clear();
    }
}

void BM_StreamPlayer(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    CWorldFixture world;
    Populate(world, nPlayers);
    uint32_t uiSeed = 7;
    int nSlot = 0;
    for (auto _ : state)
    {
        Drift(world, nPlayers, uiSeed);
        world.Streamer().StreamPlayer(world.Server().m_pPlayerPool->Get(nSlot));
        nSlot = (nSlot + 1) % nPlayers;
        if (world.Peer().m_Sent.size() > 100000)
            world.Peer().m_Sent.clear();
    }
}

// A whole second of ticks at 5 ms: 200 calls of Process.
void BM_ProcessSecond(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    CWorldFixture world;
    Populate(world, nPlayers);
    uint32_t uiNow = 10000;
    uint32_t uiSeed = 5;
    for (auto _ : state)
    {
        for (int nTick = 0; nTick < 200; ++nTick)
        {
            Drift(world, nPlayers, uiSeed);
            world.Streamer().Process(uiNow);
            uiNow += 5;
        }
        world.Peer().m_Sent.clear();
    }
}

// The real pickup and object pools over the same map: 2000 pickups and all
// 3000 objects moving, each up to 200 units over about 23 days, so that no
// move ends however many ticks a case runs.
struct SWorldPools
{
    explicit SWorldPools(CWorldFixture& world, int nPlayers)
        : objects(&world.Streamer()), pickups(&world.Streamer())
    {
        Populate(world, nPlayers, false);
        uint32_t uiSeed = 4242;
        for (int i = 0; i < 2000; ++i)
            pickups.Create(1240, 1, 1, Vector(Spread(uiSeed, -2300, 1500), Spread(uiSeed, -1900, 1900), 10),
                           255, false);
        for (int i = 0; i < 3000; ++i)
        {
            const int nId = objects.Create(
                1337, 1, Vector(Spread(uiSeed, -2300, 1500), Spread(uiSeed, -1900, 1900), 10), 255);
            objects.Get(nId)->MoveBy(Vector(Spread(uiSeed, -200, 200), Spread(uiSeed, -200, 200), 0),
                                     2000000000);
        }
        world.Peer().m_Sent.clear();
    }
    CObjectPool objects;
    CPickupPool pickups;
};

// The object stage of one 5 ms tick: a moving object refreshes its grid cell
// every 300 ms, so most ticks touch few objects.
void BM_ObjectStageTick(benchmark::State& state)
{
    CWorldFixture world;
    SWorldPools pools(world, static_cast<int>(state.range(0)));
    uint32_t uiNow = world.Server().m_uiNow;
    for (auto _ : state)
    {
        uiNow += 5;
        world.Server().m_uiNow = uiNow;
        pools.objects.ProcessAll(uiNow);
    }
}

// The object stage's busiest tick: more than 300 ms per call, so all 3000
// moving objects are interpolated and move in the grid every time.
void BM_ObjectStageBusyTick(benchmark::State& state)
{
    CWorldFixture world;
    SWorldPools pools(world, static_cast<int>(state.range(0)));
    uint32_t uiNow = world.Server().m_uiNow;
    for (auto _ : state)
    {
        uiNow += 301;
        world.Server().m_uiNow = uiNow;
        pools.objects.ProcessAll(uiNow);
    }
}

// The busiest world tick: pickups, objects (all refreshing) and the streamer
// streaming one player among the moving objects.
void BM_WorldBusyTick(benchmark::State& state)
{
    const int nPlayers = static_cast<int>(state.range(0));
    CWorldFixture world;
    SWorldPools pools(world, nPlayers);
    uint32_t uiNow = world.Server().m_uiNow;
    uint32_t uiSeed = 11;
    for (auto _ : state)
    {
        Drift(world, nPlayers, uiSeed);
        uiNow += 1000;
        world.Server().m_uiNow = uiNow;
        pools.pickups.ProcessAll(uiNow);
        pools.objects.ProcessAll(uiNow);
        world.Streamer().Process(uiNow);
        if (world.Peer().m_Sent.size() > 100000)
            world.Peer().m_Sent.clear();
    }
}

// 3000 objects and 2000 pickups of the real pools gathered around the one
// player's spawn point, all within their stream-in radii: every spawn
// streams all 5000 in, every death streams them all out.
struct SClusteredSpawn
{
    explicit SClusteredSpawn(CWorldFixture& world)
        : objects(&world.Streamer()), pickups(&world.Streamer()), m_World(world)
    {
        pPlayer = world.AddPlayer(0, Vector(0, 0, 10));
        uint32_t uiSeed = 31;
        for (int i = 0; i < 2000; ++i)
            pickups.Create(1240, 1, 1, Vector(Spread(uiSeed, -100, 100), Spread(uiSeed, -100, 100), 10), 255,
                           false);
        for (int i = 0; i < 3000; ++i)
            objects.Create(1337, 1, Vector(Spread(uiSeed, -150, 150), Spread(uiSeed, -150, 150), 10), 255);
        world.Streamer().StreamPlayer(pPlayer);
        world.Peer().m_Sent.clear();
    }
    // What the client sends for one cycle: its death, a spawn request, its spawn.
    void Cycle()
    {
        pPlayer->ReportDeath(0, 255, 0);
        pPlayer->RequestSpawn();
        pPlayer->ReportSpawned();
        m_World.Peer().m_Sent.clear();
    }
    void Advance(uint32_t uiMs) { m_World.Server().m_uiNow += uiMs; }

    CObjectPool objects;
    CPickupPool pickups;
    CPlayer* pPlayer = nullptr;

private:
    CWorldFixture& m_World;
};

// One whole cycle a second apart, so that the spawn is let through: the
// cost the death and the spawn each put on the streamer.
void BM_ClusteredSpawnCycle(benchmark::State& state)
{
    CWorldFixture world;
    SClusteredSpawn cluster(world);
    for (auto _ : state)
    {
        cluster.Advance(1000);
        cluster.Cycle();
    }
}

// One second of a client cycling at the default message limit, 500 a
// second: 166 cycles, one every 6 ms. Each iteration starts spawned, a
// second after the last spawn.
void BM_ClusteredSpawnFloodSecond(benchmark::State& state)
{
    CWorldFixture world;
    SClusteredSpawn cluster(world);
    for (auto _ : state)
    {
        state.PauseTiming();
        cluster.Advance(1000);
        if (!cluster.pPlayer->m_bSpawned)
        {
            cluster.pPlayer->RequestSpawn();
            cluster.pPlayer->ReportSpawned();
            cluster.Advance(1000);
        }
        world.Peer().m_Sent.clear();
        state.ResumeTiming();
        for (int nCycle = 0; nCycle < 166; ++nCycle)
        {
            cluster.Advance(6);
            cluster.Cycle();
        }
    }
}

BENCHMARK(BM_ProcessTick)->Arg(10)->Arg(25)->Arg(50)->Arg(100);
BENCHMARK(BM_ProcessBusyTick)->Arg(10)->Arg(25)->Arg(50)->Arg(100);
BENCHMARK(BM_StreamPlayer)->Arg(10)->Arg(25)->Arg(50)->Arg(100);
BENCHMARK(BM_ProcessSecond)->Arg(10)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ObjectStageTick)->Arg(10)->Arg(50)->Arg(100);
BENCHMARK(BM_ObjectStageBusyTick)->Arg(10)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldBusyTick)->Arg(10)->Arg(50)->Arg(100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ClusteredSpawnCycle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClusteredSpawnFloodSecond)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
