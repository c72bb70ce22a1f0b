#pragma once

// The crash report: on a fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) the server appends a report to a file and writes it to standard
// error: the time, the signal and the faulting address, a backtrace, and
// every loaded plugin with its file and load address, so that a plugin's
// author can map a frame to their own library. Then the signal's default
// action runs, so core dumps stay possible. The handler runs on an alternate
// stack (the main thread's, where plugins run), so a stack overflow there is
// reported too, and makes only async-signal-safe calls. One report per
// process: a second thread that faults meanwhile waits for it to finish.

// Installs the handler; szLogPath must live until the process ends.
bool PlatformInstallCrashReport(const char* szLogPath);

// A loaded plugin: its file, and the library that holds pSymbol, whose load
// address is looked up here. The report's text for it is prepared now; the
// handler only copies it. Main thread, at start-up; at most 50 entries.
void PlatformRegisterCrashModule(const char* szFile, const void* pSymbol);
