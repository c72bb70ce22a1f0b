#include "world/CRadioStations.h"

#include <cstring>

#include "CServer.h"
#include "TextUtil.h"
#include "players/CPlayer.h"
#include "world/ContentMessages.h"
#include "world/WorldContent.h"

CRadioStations::CRadioStations()
{
    for (SStation& station : m_aStations)
    {
        station.szName[0] = '\0';
        station.szSource = nullptr;
        station.bFlag = false;
    }
}

CRadioStations::~CRadioStations()
{
    for (SStation& station : m_aStations)
        Clear(station);
}

void CRadioStations::Clear(SStation& station)
{
    delete[] station.szSource;
    station.szSource = nullptr;
}

void CRadioStations::Set(int nIndex, const char* szName, const char* szSource, bool bFlag)
{
    if (nIndex < FIRST_INDEX || nIndex > LAST_INDEX)
        return;
    SStation& station = m_aStations[nIndex - FIRST_INDEX];
    Clear(station);
    if (!szName || !szSource)
        return;
    const size_t nLength = strlen(szSource);
    station.szSource = new char[nLength + 1];
    memcpy(station.szSource, szSource, nLength + 1);
    CopyText(station.szName, szName, sizeof(station.szName));
    station.bFlag = bFlag;
    Send(nIndex, -1);
}

void CRadioStations::Remove(int nIndex)
{
    if (nIndex < FIRST_INDEX || nIndex > LAST_INDEX || !m_aStations[nIndex - FIRST_INDEX].szSource)
        return;
    Clear(m_aStations[nIndex - FIRST_INDEX]);
    Send(nIndex, -1);
}

void CRadioStations::SendAllTo(int nSlot) const
{
    for (int nIndex = FIRST_INDEX; nIndex <= LAST_INDEX; ++nIndex)
    {
        if (m_aStations[nIndex - FIRST_INDEX].szSource)
            Send(nIndex, nSlot);
    }
}

const char* CRadioStations::GetSource(int nIndex) const
{
    if (nIndex < FIRST_INDEX || nIndex > LAST_INDEX)
        return nullptr;
    return m_aStations[nIndex - FIRST_INDEX].szSource;
}

const char* CRadioStations::GetName(int nIndex) const
{
    if (nIndex < FIRST_INDEX || nIndex > LAST_INDEX)
        return nullptr;
    return m_aStations[nIndex - FIRST_INDEX].szName;
}

void CRadioStations::Send(int nIndex, int nSlot) const
{
    const SStation& station = m_aStations[nIndex - FIRST_INDEX];
    SendRadioStation(nSlot, static_cast<uint8_t>(nIndex), station.szName, station.szSource, station.bFlag);
}

void SendRadioStationsTo(CPlayer* pPlayer)
{
    if (g_pServer && pPlayer)
        g_pServer->m_RadioStations.SendAllTo(pPlayer->GetSlot());
}
