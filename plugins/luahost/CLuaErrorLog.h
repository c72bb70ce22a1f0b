#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace luahost
{

// Keeps a handler that fails on every sync from flooding the console: the first error at a place is
// printed in full, its repeats are only counted, and the count goes out as one summary line at most
// once a minute. A place that stays quiet for a whole minute is forgotten, so its next error prints
// in full again. One log per loaded script; it dies with the script's state.
class CLuaErrorLog
{
public:
    static constexpr uint64_t SUMMARY_INTERVAL_MS = 60000;
    static constexpr size_t MAX_PLACES = 16;

    using FPrint = void (*)(const char* szLine);

    // strPlace names where the error happened ("scripts/a.lua:4, OnPlayerUpdate"). True when the error
    // is to be printed in full; otherwise it was counted.
    bool Note(const std::string& strPlace, uint64_t ullNowMs, FPrint pfnPrint);
    // Prints the summaries that are due (all of them with bAll, as the script goes) and forgets the
    // places that stayed quiet for a minute.
    void Flush(uint64_t ullNowMs, bool bAll, FPrint pfnPrint);
    // True while a repeat waits for its summary line.
    bool HasPending() const;

private:
    struct SPlace
    {
        std::string strPlace;
        uint64_t ullSinceMs; // when the full error or the last summary was printed
        uint32_t uiRepeats;  // repeats since then
    };
    void Summarise(SPlace& place, uint64_t ullNowMs, FPrint pfnPrint);

    std::vector<SPlace> m_Places; // oldest first, at most MAX_PLACES
};

} // namespace luahost
