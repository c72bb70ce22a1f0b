#pragma once

// The two checks every client message handler makes before it touches
// anything. A failing guard prints why through LogMessage and closes the
// connection silently (no kicked notice, no disconnection notice); the
// handler then stops.

// For the join request: the slot must be connected and not yet joined.
bool PassesConnectedGuard(int nSlot);

// For every other client message: the slot must have joined.
bool PassesJoinedGuard(int nSlot);
