#include "BotClock.h"

#include <chrono>
#include <cmath>

namespace orvnbot
{

int64_t NowUs()
{
    static const std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - origin)
        .count();
}

bool AngleToTimeCode(float fAngle, uint32_t& uiCode)
{
    if (!std::isfinite(fAngle) || fAngle < 0.0f || fAngle > static_cast<float>(kTimeCodeMask) ||
        std::floor(fAngle) != fAngle)
    {
        return false;
    }
    uiCode = static_cast<uint32_t>(fAngle);
    return true;
}

// The code is the send time modulo 2^24; the send time is the latest value
// with that remainder that is not later than the receive time.
int64_t SendUnitsFromCode(int64_t llRecvUnits, uint32_t uiCode)
{
    const uint32_t uiAge = (TimeCode(llRecvUnits) - uiCode) & kTimeCodeMask;
    return llRecvUnits - static_cast<int64_t>(uiAge);
}

} // namespace orvnbot
