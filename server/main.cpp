#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CPluginManager.h"
#include "CServer.h"
#include "Console.h"
#include "platform/CrashReport.h"
#include "platform/Platform.h"

namespace
{
// Set once by the console control handler (from signal context), read by the
// main loop once per frame; it only ever goes from 0 to 1.
volatile uint8_t g_byQuit = 0;

bool OnConsoleControl(int nControlType)
{
    switch (nControlType)
    {
    case CONSOLE_CTRL_C:
    case CONSOLE_CTRL_BREAK:
    case CONSOLE_CTRL_CLOSE:
    case CONSOLE_CTRL_LOGOFF:
    case CONSOLE_CTRL_SHUTDOWN:
        g_byQuit = 1;
        return true;
    default:
        return false;
    }
}

void PrintBanner()
{
    ConsolePrint("\n Palmora Multiplayer Server");
    ConsolePrint(" -------------------------------");
    ConsolePrint(" v0.4, written by the server team and its contributors\n");
}
} // namespace

int main(int argc, char** argv)
{
    // Lines reach a pipe or a terminal as they are printed.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    g_pPluginManager = new CPluginManager();
    g_pFuncs = g_pPluginManager->GetFunctions();
    if (!ConsoleOpenLog("server_log.txt"))
        ConsolePrint("Failed to open server_log.txt in append mode.");
    PrintBanner();
    PlatformSetConsoleControlHandler(OnConsoleControl);
    // Before any plugin is loaded, so a fault in one is reported.
    PlatformInstallCrashReport("crash_log.txt");

    CServer* pServer = new CServer();
    if (!pServer->Initialise(argc, argv))
    {
        ConsoleCloseLog();
        return 1;
    }
    g_pServer = pServer;
    if (!g_pPluginManager->InitialiseAll())
    {
        ConsolePrint("One or more plugins failed to initialise, quitting.\n");
        ConsoleCloseLog();
        // The network's threads are running: end the process here rather
        // than let static destruction race them.
        fflush(stdout);
        std::_Exit(1);
    }

    while (!g_byQuit)
    {
        pServer->Tick();
        PlatformSleep(5);
    }

    g_pPluginManager->ShutdownAll();
    delete pServer;
    ConsoleCloseLog();
    return 0;
}
