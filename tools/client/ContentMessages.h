#pragma once

// The world content messages as a client sees them: decoders of hidden map
// objects (219), key binds (221), weapon data (222), markers (223, 224) and
// radio stations (225), and encoders of the key event (184) and the store
// file request (185). Decoders return false for a payload that is too short.

#include <cstdint>
#include <string>
#include <vector>

#include "BitStream.h"
#include "ServerMessages.h"

namespace testclient
{

struct SHiddenObjects // 219
{
    uint8_t byAction = 0; // 0 hide, 1 show again
    std::vector<uint64_t> keys;
};

struct SKeyBind
{
    uint8_t byBindId = 0;
    uint8_t byOnRelease = 0;
    uint8_t abyKeys[3] = {};
};

struct SKeyBindList // 221
{
    bool bReset = false; // the single byte 255
    std::vector<SKeyBind> binds;
};

struct SWeaponDataEntry
{
    uint8_t byWeapon = 0;
    uint8_t byField = 0;
    uint32_t uiValue = 0;
};

struct SMarkerCreate // 223
{
    uint8_t byIndex = 0;
    float fX = 0, fY = 0, fZ = 0;
    uint8_t byAttributeA = 0;
    uint32_t uiAttributeB = 0;
    uint8_t byAttributeC = 0;
};

struct SRadioStation // 225
{
    uint8_t byIndex = 0;
    std::string strSource;
    std::string strName;
    bool bFlag = false;
};

bool DecodeHiddenObjects(const SReceived& msg, SHiddenObjects& out);
bool DecodeKeyBindList(const SReceived& msg, SKeyBindList& out);
bool DecodeWeaponData(const SReceived& msg, std::vector<SWeaponDataEntry>& out);
bool DecodeMarkerCreate(const SReceived& msg, SMarkerCreate& out);
bool DecodeMarkerDestroy(const SReceived& msg, uint8_t& byIndex);
bool DecodeRadioStation(const SReceived& msg, SRadioStation& out);

// Whole messages, identifier first.
void EncodeKeyEvent(RakNet::BitStream& stream, uint8_t byBindId, uint8_t byState);
// count, set id, the digests (each 20 bytes).
void EncodeStoreFileRequest(RakNet::BitStream& stream, uint16_t usSetId,
                            const std::vector<SStoreFile>& files);

} // namespace testclient
