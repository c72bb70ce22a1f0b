#include "BotWire.h"

namespace orvnbot
{

namespace
{

constexpr uint8_t kTimestampMarker = 27;
constexpr size_t kTimestampBytes = 4;

} // namespace

bool ParseMessage(const uint8_t* pData, size_t nLength, SMessageView& view)
{
    if (pData == nullptr || nLength == 0)
    {
        return false;
    }
    size_t nOffset = 0;
    if (pData[0] == kTimestampMarker)
    {
        nOffset = 1 + kTimestampBytes;
        if (nLength <= nOffset)
        {
            return false;
        }
    }
    int nId = pData[nOffset++];
    if (nId >= wire::kTwoByteIdFirst && nId <= wire::kTwoByteIdLast)
    {
        if (nOffset >= nLength)
        {
            return false;
        }
        nId = (nId - wire::kTwoByteIdBase) * 256 + pData[nOffset++];
    }
    view.nId = nId;
    view.pPayload = pData + nOffset;
    view.nLength = nLength - nOffset;
    return true;
}

void ReverseBlock(const uint8_t* pWire, size_t nLength, void* pOut)
{
    uint8_t* pBytes = static_cast<uint8_t*>(pOut);
    for (size_t i = 0; i < nLength; ++i)
    {
        pBytes[i] = pWire[nLength - 1 - i];
    }
}

bool DecodeOnFootRelay(const SMessageView& view, uint8_t& bySlot, wire::SOnFootRecord& record)
{
    if (view.pPayload == nullptr || view.nLength < 1 + sizeof(wire::SOnFootRecord))
    {
        return false;
    }
    bySlot = view.pPayload[0];
    ReverseBlock(view.pPayload + 1, sizeof(wire::SOnFootRecord), &record);
    return true;
}

bool DecodeDriverRelay(const SMessageView& view, uint8_t& bySlot, wire::SDriverRecord& driver,
                       wire::SVehicleRecord& vehicle)
{
    if (view.pPayload == nullptr || view.nLength < 1 + sizeof(driver) + sizeof(vehicle))
    {
        return false;
    }
    bySlot = view.pPayload[0];
    ReverseBlock(view.pPayload + 1, sizeof(driver), &driver);
    ReverseBlock(view.pPayload + 1 + sizeof(driver), sizeof(vehicle), &vehicle);
    return true;
}

bool ReadLeadingSequence(const SMessageView& view, uint32_t& uiSequence)
{
    if (view.pPayload == nullptr || view.nLength < 4)
    {
        return false;
    }
    const uint8_t* p = view.pPayload;
    uiSequence = (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                 (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
    return true;
}

} // namespace orvnbot
