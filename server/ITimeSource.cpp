#include "ITimeSource.h"

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

uint64_t CSystemTime::GetMicroseconds()
{
    return PlatformGetMicroseconds();
}

ITimeSource* GetTimeSource()
{
    return g_pTimeSource;
}

void SetTimeSource(ITimeSource* pTime)
{
    g_pTimeSource = pTime ? pTime : &g_SystemTime;
}
