#pragma once

#include <cstdint>

// Handlers of the client messages about vehicles: unoccupied sync (151), the
// explosion report (179), the option report (180) and the radio change
// (181). Each applies the joined-state guard, ignores an absent sender, an
// absent vehicle and a payload shorter than the message, and locks the
// vehicle around the work so that a deletion requested meanwhile waits.
class CVehicleHandlers
{
public:
    static void HandleUnoccupiedSync(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleExploded(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleOptionReport(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
    static void HandleRadioChange(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
};
