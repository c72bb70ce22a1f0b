#include "CLuaErrorLog.h"

#include <cstdio>

namespace luahost
{

bool CLuaErrorLog::Note(const std::string& strPlace, uint64_t ullNowMs, FPrint pfnPrint)
{
    for (SPlace& place : m_Places)
    {
        if (place.strPlace != strPlace)
            continue;
        ++place.uiRepeats;
        if (ullNowMs - place.ullSinceMs >= SUMMARY_INTERVAL_MS)
            Summarise(place, ullNowMs, pfnPrint);
        return false;
    }
    // A new place: the oldest one makes room, its count printed first.
    if (m_Places.size() >= MAX_PLACES)
    {
        Summarise(m_Places.front(), ullNowMs, pfnPrint);
        m_Places.erase(m_Places.begin());
    }
    m_Places.push_back({strPlace, ullNowMs, 0});
    return true;
}

void CLuaErrorLog::Flush(uint64_t ullNowMs, bool bAll, FPrint pfnPrint)
{
    for (size_t i = 0; i < m_Places.size();)
    {
        SPlace& place = m_Places[i];
        const bool bDue = bAll || ullNowMs - place.ullSinceMs >= SUMMARY_INTERVAL_MS;
        const bool bQuiet = place.uiRepeats == 0;
        if (bDue)
            Summarise(place, ullNowMs, pfnPrint);
        if (bAll || (bDue && bQuiet))
            m_Places.erase(m_Places.begin() + static_cast<long>(i));
        else
            ++i;
    }
}

bool CLuaErrorLog::HasPending() const
{
    return !m_Places.empty();
}

void CLuaErrorLog::Summarise(SPlace& place, uint64_t ullNowMs, FPrint pfnPrint)
{
    if (place.uiRepeats > 0)
    {
        char szLine[512];
        snprintf(szLine, sizeof(szLine), "lua: %s: the same error %u more time%s", place.strPlace.c_str(),
                 place.uiRepeats, place.uiRepeats == 1 ? "" : "s");
        pfnPrint(szLine);
    }
    place.uiRepeats = 0;
    place.ullSinceMs = ullNowMs;
}

} // namespace luahost
