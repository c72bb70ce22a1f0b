#pragma once

#include <cstdint>

// The custom radio stations 11..30 that plugins define: a display name, a
// source text only clients interpret, and a flag. Every change goes to all
// players, the defined set to each new player. One instance, inside CServer;
// the sources it holds are freed with it.
class CRadioStations
{
public:
    static constexpr int FIRST_INDEX = 11;
    static constexpr int LAST_INDEX = 30;
    static constexpr int STATION_COUNT = LAST_INDEX - FIRST_INDEX + 1;

    CRadioStations();
    ~CRadioStations();
    CRadioStations(const CRadioStations&) = delete;
    CRadioStations& operator=(const CRadioStations&) = delete;

    // Other indices do nothing. The entry is cleared first; a null name or
    // source leaves it cleared without telling anybody. Otherwise the source
    // is copied whole, the name cut to 23 characters, and the entry sent to all.
    void Set(int nIndex, const char* szName, const char* szSource, bool bFlag);
    // A defined entry is cleared and sent to all as an empty one; else nothing.
    void Remove(int nIndex);
    // Every defined entry, in index order, to a new player.
    void SendAllTo(int nSlot) const;

    // The entry's texts; a null source when it is not defined.
    const char* GetSource(int nIndex) const;
    const char* GetName(int nIndex) const;

private:
    struct SStation
    {
        char szName[24];
        // Owned copy; null = no station.
        char* szSource;
        bool bFlag;
    };

    void Clear(SStation& station);
    void Send(int nIndex, int nSlot) const;

    SStation m_aStations[STATION_COUNT];
};
