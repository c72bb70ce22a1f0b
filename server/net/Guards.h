#pragma once

#include <cstdint>

// The two checks every client message handler makes before it touches
// anything. A failing guard prints why through LogMessage and closes the
// connection silently (no kicked notice, no disconnection notice); the
// handler then stops.

// For the join request: the slot must be connected and not yet joined.
bool PassesConnectedGuard(int nSlot);

// For every other client message: the slot must have joined.
bool PassesJoinedGuard(int nSlot);

// The handler of client messages whose subsystem does not act on them yet:
// the joined-state guard still holds for them, and the message is dropped.
void HandleGuardedUnused(int nSlot, int nMessageId, const uint8_t* pPayload, int nLength);
