#include "Console.h"

#include <cstdio>
#include <cstring>

#include "TextUtil.h"
#include "platform/PlatformLog.h"

namespace
{
// Open from the entry point's second step to the last step of shutdown; null
// when the open failed.
FILE* g_pLogFile = nullptr;
// Where the log was opened, for reopening it after a rotation; kept for the
// whole process.
char g_szLogPath[256] = "";
// Off unless server.cfg asks for it; set once during start-up.
bool g_bLogTimestamps = false;
// Set for the length of one control command; null otherwise.
ConsoleSink g_pfnSink = nullptr;
void* g_pSinkContext = nullptr;

// Each non-empty line of the text gets the local time in front of it; empty
// lines stay empty.
void WriteStampedLog(const char* szText)
{
    char szStamp[32];
    PlatformFormatLocalTime(szStamp, sizeof(szStamp));
    const char* szLine = szText;
    for (;;)
    {
        const char* szEnd = strchr(szLine, '\n');
        size_t nLength = szEnd ? static_cast<size_t>(szEnd - szLine) : strlen(szLine);
        if (nLength > 0)
            fprintf(g_pLogFile, "%s %.*s", szStamp, static_cast<int>(nLength), szLine);
        fputc('\n', g_pLogFile);
        if (!szEnd)
            return;
        szLine = szEnd + 1;
    }
}
} // namespace

bool ConsoleOpenLog(const char* szPath)
{
    CopyText(g_szLogPath, szPath, sizeof(g_szLogPath));
    g_pLogFile = fopen(szPath, "a");
    return g_pLogFile != nullptr;
}

// A rotator has renamed the file: later lines go to a fresh file under the
// old name. The old handle is closed first so that nothing is lost in it.
bool ConsoleReopenLog()
{
    if (g_szLogPath[0] == '\0')
        return false;
    if (g_pLogFile)
        fclose(g_pLogFile);
    g_pLogFile = fopen(g_szLogPath, "a");
    return g_pLogFile != nullptr;
}

void ConsoleSetLogTimestamps(bool bEnabled)
{
    g_bLogTimestamps = bEnabled;
}

void ConsoleCloseLog()
{
    if (g_pLogFile)
        fclose(g_pLogFile);
    g_pLogFile = nullptr;
}

bool ConsoleHasLog()
{
    return g_pLogFile != nullptr;
}

void ConsolePrintV(const char* szFormat, va_list args)
{
    char szBuffer[512];
    vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
    szBuffer[sizeof(szBuffer) - 1] = '\0';
    puts(szBuffer);
    if (g_pLogFile && g_bLogTimestamps)
        WriteStampedLog(szBuffer);
    else if (g_pLogFile)
        fprintf(g_pLogFile, "%s\n", szBuffer);
    if (g_pfnSink)
        g_pfnSink(g_pSinkContext, szBuffer);
}

void ConsoleSetSink(ConsoleSink pfnSink, void* pContext)
{
    g_pfnSink = pfnSink;
    g_pSinkContext = pContext;
}

void ConsolePrint(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    ConsolePrintV(szFormat, args);
    va_end(args);
}

void ConsoleWrite(const char* szFormat, ...)
{
    va_list args;
    va_start(args, szFormat);
    vprintf(szFormat, args);
    va_end(args);
    fflush(stdout);
}
