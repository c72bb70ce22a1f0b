#include "world/ContentMessages.h"

#include <cstring>

#include "BitStream.h"
#include "CServer.h"
#include "net/CNetwork.h"

namespace
{
// Sends a finished message on channel 0 with high priority.
void Send(int nSlot, const RakNet::BitStream& stream, int nReliability)
{
    CNetwork* pNetwork = g_pServer ? g_pServer->m_pNetwork : nullptr;
    if (pNetwork)
        pNetwork->SendToPlayer(nSlot, stream, NET_HIGH_PRIORITY, nReliability, 0);
}

// A text as an 8-bit length and its bytes; longer texts are cut to 255 so
// that the length always counts the bytes that follow.
void WriteText8(RakNet::BitStream& stream, const char* szText)
{
    const size_t nLength = szText ? strnlen(szText, 255) : 0;
    stream.Write(static_cast<uint8_t>(nLength));
    if (nLength > 0)
        stream.Write(szText, static_cast<unsigned int>(nLength));
}
} // namespace

void SendHiddenMapObjects(int nSlot, uint8_t byAction, const uint64_t* pullKeys, int nCount)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_HIDDEN_MAP_OBJECTS));
    stream.Write(byAction);
    stream.Write(static_cast<uint8_t>(nCount));
    for (int i = 0; i < nCount; ++i)
        stream.Write(pullKeys[i]);
    Send(nSlot, stream, NET_RELIABLE);
}

void SendKeyBindList(int nSlot, const SKeyBindEntry* pEntries, int nCount)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_KEY_BIND_LIST));
    stream.Write(static_cast<uint8_t>(nCount));
    for (int i = 0; i < nCount; ++i)
    {
        stream.Write(pEntries[i].byBindId);
        stream.Write(pEntries[i].byOnRelease);
        for (int32_t nKey : pEntries[i].anKeys)
            stream.Write(static_cast<uint8_t>(nKey & 0xFF));
    }
    Send(nSlot, stream, NET_RELIABLE_ORDERED);
}

// The single byte 255 tells clients to drop every bind.
void SendKeyBindReset()
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_KEY_BIND_LIST));
    stream.Write(static_cast<uint8_t>(255));
    Send(-1, stream, NET_RELIABLE_ORDERED);
}

void SendWeaponData(int nSlot, const SWeaponDataEntry* pEntries, int nCount)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_WEAPON_DATA));
    stream.Write(static_cast<uint8_t>(nCount));
    for (int i = 0; i < nCount; ++i)
    {
        stream.Write(pEntries[i].byWeapon);
        stream.Write(pEntries[i].byField);
        stream.Write(pEntries[i].uiValue);
    }
    Send(nSlot, stream, NET_RELIABLE);
}

void SendMarkerCreate(int nSlot, uint8_t byIndex, const Vector& vPosition, int32_t nAttributeA,
                      uint32_t uiAttributeB, int32_t nAttributeC)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_MARKER_CREATE));
    stream.Write(byIndex);
    stream.Write(vPosition);
    stream.Write(static_cast<uint8_t>(nAttributeA & 0xFF));
    stream.Write(uiAttributeB);
    stream.Write(static_cast<uint8_t>(nAttributeC & 0xFF));
    Send(nSlot, stream, NET_RELIABLE_ORDERED);
}

void SendMarkerDestroy(int nSlot, uint8_t byIndex)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_MARKER_DESTROY));
    stream.Write(byIndex);
    Send(nSlot, stream, NET_RELIABLE_ORDERED);
}

void SendRadioStation(int nSlot, uint8_t byIndex, const char* szName, const char* szSource, bool bFlag)
{
    RakNet::BitStream stream;
    stream.Write(static_cast<uint8_t>(ID_RADIO_STATION));
    stream.Write(byIndex);
    WriteText8(stream, szSource);
    WriteText8(stream, szSource ? szName : nullptr);
    stream.Write(szSource != nullptr && bFlag);
    Send(nSlot, stream, NET_RELIABLE);
}
