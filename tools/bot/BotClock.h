#pragma once

// The one clock of the load tool. Every bot in the process reads the same
// monotonic origin, so a send time written into a sync by one bot means the
// same thing to every bot that receives the relay of it.
//
// A send time travels inside the on-foot record's angle, a float the server
// stores and relays unchanged. It is counted in units of 100 us and cut to 24
// bits, which a float holds exactly; the receiver rebuilds the full value from
// its own clock, which is right while the latency stays below 2^24 units
// (about 28 minutes).

#include <cstdint>

namespace orvnbot
{

constexpr int64_t kTimeUnitUs = 100;
constexpr uint32_t kTimeCodeMask = 0xFFFFFFu;

// Microseconds since the first call in this process.
int64_t NowUs();
inline int64_t NowUnits()
{
    return NowUs() / kTimeUnitUs;
}

inline uint32_t TimeCode(int64_t llUnits)
{
    return static_cast<uint32_t>(llUnits) & kTimeCodeMask;
}

inline float TimeCodeToAngle(uint32_t uiCode)
{
    return static_cast<float>(uiCode & kTimeCodeMask);
}

// False for an angle that no bot wrote: not a whole number in 0..2^24-1.
bool AngleToTimeCode(float fAngle, uint32_t& uiCode);

// The full send time of a relay received at llRecvUnits carrying uiCode.
int64_t SendUnitsFromCode(int64_t llRecvUnits, uint32_t uiCode);

} // namespace orvnbot
