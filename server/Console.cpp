#include "Console.h"

#include <cstdio>

namespace
{
// Open from the entry point's second step to the last step of shutdown; null
// when the open failed.
FILE* g_pLogFile = nullptr;
} // namespace

bool ConsoleOpenLog(const char* szPath)
{
    g_pLogFile = fopen(szPath, "a");
    return g_pLogFile != nullptr;
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
    if (g_pLogFile)
        fprintf(g_pLogFile, "%s\n", szBuffer);
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
