#include "CBotLayout.h"

#include <algorithm>
#include <cmath>

namespace orvnbot
{

namespace
{

constexpr float kTwoPi = 6.28318530718f;
// The middle of the playable area (x -2350..1550, y -1950..1950).
constexpr float kWorldCentreX = -400.0f;
constexpr float kWorldCentreY = 0.0f;
constexpr float kGroundZ = 12.0f;
constexpr float kSpreadSpan = 3800.0f;
constexpr float kSpreadMaxSpacing = 800.0f;
constexpr float kSpreadRadius = 5.0f;
// The streamer also looks 40 frames ahead along the averaged speed.
constexpr float kLookAheadFrames = 40.0f;

} // namespace

void CBotLayout::Build(int nBots, bool bSpread)
{
    m_paths.clear();
    if (nBots <= 0)
    {
        return;
    }
    if (bSpread)
    {
        BuildSpread(nBots);
    }
    else
    {
        BuildNear(nBots);
    }
}

// Radii step through 20, 40, .., 100 and phases spread evenly, alternating
// direction, so that neighbours do not walk in lock step.
void CBotLayout::BuildNear(int nBots)
{
    m_paths.resize(static_cast<size_t>(nBots));
    for (int i = 0; i < nBots; ++i)
    {
        SBotPath& path = m_paths[static_cast<size_t>(i)];
        path.fCentreX = kWorldCentreX;
        path.fCentreY = kWorldCentreY;
        path.fZ = kGroundZ;
        path.fRadius = 20.0f + 20.0f * static_cast<float>(i % 5);
        path.fPhase = kTwoPi * static_cast<float>(i) / static_cast<float>(nBots);
        path.fAngularSpeed = (i % 2 == 0 ? 1.0f : -1.0f) * kWalkSpeed / path.fRadius;
    }
}

// A square grid centred on the world; the spacing shrinks with the bot count
// but stays above 400 units for up to 100 bots (10 x 10 over 3800 units).
void CBotLayout::BuildSpread(int nBots)
{
    const int nSide = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(nBots)))));
    const float fSpacing = nSide > 1
                               ? std::min(kSpreadMaxSpacing, kSpreadSpan / static_cast<float>(nSide - 1))
                               : kSpreadMaxSpacing;
    const float fOrigin = -0.5f * fSpacing * static_cast<float>(nSide - 1);
    m_paths.resize(static_cast<size_t>(nBots));
    for (int i = 0; i < nBots; ++i)
    {
        SBotPath& path = m_paths[static_cast<size_t>(i)];
        path.fCentreX = kWorldCentreX + fOrigin + fSpacing * static_cast<float>(i % nSide);
        path.fCentreY = kWorldCentreY + fOrigin + fSpacing * static_cast<float>(i / nSide);
        path.fZ = kGroundZ;
        path.fRadius = kSpreadRadius;
        path.fPhase = kTwoPi * static_cast<float>(i) / static_cast<float>(nBots);
        path.fAngularSpeed = kWalkSpeed / kSpreadRadius;
    }
}

void CBotLayout::PositionAt(int nBot, double dSeconds, wire::SWireVector& vPosition,
                            wire::SWireVector& vSpeed) const
{
    const SBotPath& path = Path(nBot);
    const double dAngle = path.fPhase + path.fAngularSpeed * dSeconds;
    const float fCos = static_cast<float>(std::cos(dAngle));
    const float fSin = static_cast<float>(std::sin(dAngle));
    vPosition.x = path.fCentreX + path.fRadius * fCos;
    vPosition.y = path.fCentreY + path.fRadius * fSin;
    vPosition.z = path.fZ;
    // d/dt of the position, per game frame.
    const float fScale = path.fRadius * path.fAngularSpeed / kFramesPerSecond;
    vSpeed.x = -fScale * fSin;
    vSpeed.y = fScale * fCos;
    vSpeed.z = 0.0f;
}

// The distance between two bots lies within |c1 - c2| -/+ (r1 + r2); the
// streamer's look-ahead can shift either end by 40 frames of walking.
EPairState CBotLayout::PairState(int nBotA, int nBotB) const
{
    if (nBotA == nBotB)
    {
        return PAIR_UNCERTAIN;
    }
    const SBotPath& a = Path(nBotA);
    const SBotPath& b = Path(nBotB);
    const double dCentres = std::hypot(static_cast<double>(a.fCentreX - b.fCentreX),
                                       static_cast<double>(a.fCentreY - b.fCentreY));
    const double dLookAhead = 2.0 * kLookAheadFrames * kWalkSpeed / kFramesPerSecond;
    const double dSlack = static_cast<double>(a.fRadius + b.fRadius) + dLookAhead + 1.0;
    if (dCentres + dSlack < kStreamInRadius)
    {
        return PAIR_IN_RANGE;
    }
    if (dCentres - dSlack > kStreamOutRadius)
    {
        return PAIR_BEYOND;
    }
    return PAIR_UNCERTAIN;
}

} // namespace orvnbot
