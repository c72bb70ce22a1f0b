#pragma once

#include <cstddef>

// What the log needs from the operating system: local time for the optional
// line stamps, and the signal (SIGUSR1) that asks for the log file to be
// closed and opened again after a log rotator moved it away.

// "YYYY-MM-DDTHH:MM:SS" in local time; szBuffer must hold 20 bytes.
void PlatformFormatLocalTime(char* szBuffer, size_t nSize);

// Installs the handler for SIGUSR1; it only records the request.
bool PlatformWatchLogReopenSignal();
// True once for each time the signal came since the last call.
bool PlatformTakeLogReopenRequest();
