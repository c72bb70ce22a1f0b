#include "ITimeSource.h"

#include "GetTime.h"
#include "platform/Platform.h"

namespace
{
CSystemTime g_SystemTime;
// Lives for the process; replaced only by tests, before a server is built.
ITimeSource* g_pTimeSource = &g_SystemTime;
} // namespace

uint32_t CSystemTime::GetTickMs()
{
    return PlatformGetTickCount();
}

uint64_t CSystemTime::GetPerfCounter()
{
    return PlatformGetPerfCounter();
}

uint64_t CSystemTime::GetPerfFrequency()
{
    return PlatformGetPerfFrequency();
}

// The network layer's clock, which plugins also read through GetTime.
uint64_t CSystemTime::GetMicroseconds()
{
    return RakNet::GetTimeUS();
}

ITimeSource* GetTimeSource()
{
    return g_pTimeSource;
}

void SetTimeSource(ITimeSource* pTime)
{
    g_pTimeSource = pTime ? pTime : &g_SystemTime;
}
