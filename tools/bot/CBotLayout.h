#pragma once

// Where each bot walks. Every bot circles its own centre at walking pace, so
// its position changes with every sync but the distance to every other bot
// stays within known bounds. From those bounds the layout tells which pairs
// the server must keep streamed to each other (well inside the 320-unit
// stream-in radius the whole time) and which it must never stream (always
// beyond the 340-unit stream-out radius).

#include <cstddef>
#include <vector>

#include "WireFormat.h"

namespace orvnbot
{

struct SBotPath
{
    float fCentreX = 0.0f;
    float fCentreY = 0.0f;
    float fZ = 0.0f;
    float fRadius = 0.0f;
    float fPhase = 0.0f;        // radians at time 0
    float fAngularSpeed = 0.0f; // radians per second, signed
};

enum EPairState
{
    PAIR_BEYOND = 0,    // never streamed: no relay expected
    PAIR_IN_RANGE = 1,  // always streamed: every sync of one is relayed to the other
    PAIR_UNCERTAIN = 2, // near the radii: not counted either way
};

class CBotLayout
{
public:
    static constexpr float kStreamInRadius = 320.0f;
    static constexpr float kStreamOutRadius = 340.0f;
    // Walking pace along the circle, world units per second.
    static constexpr float kWalkSpeed = 4.0f;
    // The speed field carries units per 20 ms game frame.
    static constexpr float kFramesPerSecond = 50.0f;

    // Near: every bot circles one centre at a radius of 20..100 units, so all
    // pairs are in range. Spread: bots on a grid at least 400 units apart, each
    // on a 5-unit circle, so no pair is.
    void Build(int nBots, bool bSpread);

    int Count() const { return static_cast<int>(m_paths.size()); }
    const SBotPath& Path(int nBot) const { return m_paths[static_cast<size_t>(nBot)]; }
    void PositionAt(int nBot, double dSeconds, wire::SWireVector& vPosition, wire::SWireVector& vSpeed) const;
    EPairState PairState(int nBotA, int nBotB) const;

private:
    void BuildNear(int nBots);
    void BuildSpread(int nBots);

    // Lives as long as the layout: one path per bot, indexed by bot number.
    std::vector<SBotPath> m_paths;
};

} // namespace orvnbot
