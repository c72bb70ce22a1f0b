#pragma once

#include <cstdint>

#include "math/Vector.h"

// Writers of the world content messages: hidden map objects (219), key binds
// (221), weapon data (222), coordinate markers (223, 224) and radio stations
// (225). Each message is laid out in one function here; a slot of -1 sends to
// every connection. Every writer does nothing before the network exists.

enum : uint8_t
{
    ID_HIDDEN_MAP_OBJECTS = 219,
    ID_KEY_BIND_LIST = 221,
    ID_WEAPON_DATA = 222,
    ID_MARKER_CREATE = 223,
    ID_MARKER_DESTROY = 224,
    ID_RADIO_STATION = 225,
};

// Most entries one message 219 carries.
constexpr int HIDDEN_OBJECTS_PER_MESSAGE = 10;
// Most entries one message 222 carries.
constexpr int WEAPON_DATA_PER_MESSAGE = 20;

// One key bind entry as clients receive it: each key in its low 8 bits.
struct SKeyBindEntry
{
    uint8_t byBindId;
    uint8_t byOnRelease;
    int32_t anKeys[3];
};

// One weapon data entry: weapon 0..33 or 255, field 1..25, 0 or field + 128,
// and the stored 32-bit value.
struct SWeaponDataEntry
{
    uint8_t byWeapon;
    uint8_t byField;
    uint32_t uiValue;
};

// Action 0 hides the entries, 1 shows them again; nCount 1..10 keys.
void SendHiddenMapObjects(int nSlot, uint8_t byAction, const uint64_t* pullKeys, int nCount);

// The bind list of nCount entries (callers never send an empty one) and the
// reset byte 255, which goes to every connection.
void SendKeyBindList(int nSlot, const SKeyBindEntry* pEntries, int nCount);
void SendKeyBindReset();

// nCount 1..20 entries.
void SendWeaponData(int nSlot, const SWeaponDataEntry* pEntries, int nCount);

void SendMarkerCreate(int nSlot, uint8_t byIndex, const Vector& vPosition, int32_t nAttributeA,
                      uint32_t uiAttributeB, int32_t nAttributeC);
void SendMarkerDestroy(int nSlot, uint8_t byIndex);

// A null source describes an empty entry (lengths 0, flag 0). At most 255
// source bytes and 255 name bytes are written.
void SendRadioStation(int nSlot, uint8_t byIndex, const char* szName, const char* szSource, bool bFlag);
