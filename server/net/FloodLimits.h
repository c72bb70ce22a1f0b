#pragma once

// The limits that keep a public server usable under abuse. The defaults are
// far above what an honest client or server browser ever does, so they only
// ever bite on a flood; 0 switches a limit off. Read from server.cfg at
// start-up and fixed from then on.
struct SFloodLimits
{
    // Query replies a second to one source address, and the burst it may
    // draw at once.
    int nQueryRate;
    int nQueryBurst;
    // Query reply bytes a second to all source addresses together.
    int nQueryBudget;
    // Messages a second from one connection, and the burst it may send at once.
    int nMessageRate;
    int nMessageBurst;
    // Not 0: the transport's own limit of one connection attempt per
    // address per 100 ms.
    int nConnectLimit;
};

constexpr SFloodLimits DEFAULT_FLOOD_LIMITS = {20, 60, 1048576, 500, 1500, 1};
