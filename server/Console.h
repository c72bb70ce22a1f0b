#pragma once

#include <cstdarg>

// Console and log output. One print routine writes each line to standard
// output and appends it to server_log.txt; a few start and stop lines go to
// standard output alone.

// Opens server_log.txt (or szPath) for appending; false when it cannot be
// opened, and the run stays console-only.
bool ConsoleOpenLog(const char* szPath);
void ConsoleCloseLog();
// Closes the log and opens the same path again (after a log rotator renamed
// the file); false when the new file cannot be opened, and the run goes on
// console-only until the next reopen.
bool ConsoleReopenLog();
// When on, every non-empty line written to the log starts with the local
// time ("2026-01-31T23:59:58 "); the console never shows it.
void ConsoleSetLogTimestamps(bool bEnabled);
bool ConsoleHasLog();

// printf-style; at most 511 characters are kept; a newline is added on both
// outputs (the puts behaviour), so a format ending in "\n" leaves an empty line.
void ConsolePrint(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
void ConsolePrintV(const char* szFormat, va_list args);

// While a sink is set, every line the console print writes is also handed to
// it (the text as printed, without the added newline); main thread only. The
// control socket uses it to send a command's output to the client that asked.
typedef void (*ConsoleSink)(void* pContext, const char* szText);
void ConsoleSetSink(ConsoleSink pfnSink, void* pContext);

// Standard output only, written as formatted with no newline added.
void ConsoleWrite(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
