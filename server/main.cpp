#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CConsoleCommands.h"
#include "CServer.h"
#include "Console.h"
#include "platform/CConsoleReader.h"
#include "platform/CrashReport.h"
#include "platform/Platform.h"
#include "platform/PlatformLog.h"
#include "plugins/CPluginManager.h"

namespace
{
// Set by the console control handler, which runs in signal context on
// whichever thread the signal reached (the main thread or one of RakNet's),
// and by the console's exit command; read by the main loop once per frame.
// It only ever goes from 0 to 1. Lives for the whole process.
std::atomic<uint8_t> g_byQuit{0};
static_assert(std::atomic<uint8_t>::is_always_lock_free, "set from a signal handler");

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

// The console's exit command: the same orderly stop as Ctrl-C.
void RequestQuit()
{
    g_byQuit = 1;
}

// After a log rotator moved server_log.txt away, later lines go to a new one.
void ReopenLogIfAsked()
{
    if (PlatformTakeLogReopenRequest() && !ConsoleReopenLog())
        ConsoleWrite("Failed to reopen server_log.txt in append mode.\n");
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
    CConsoleReader::KeepStandardInputOpen();
    // Lines reach a pipe or a terminal as they are printed.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    g_pPluginManager = new CPluginManager();
    g_pFuncs = g_pPluginManager->GetFunctions();
    if (!ConsoleOpenLog("server_log.txt"))
        ConsolePrint("Failed to open server_log.txt in append mode.");
    PrintBanner();
    PlatformSetConsoleControlHandler(OnConsoleControl);
    PlatformWatchLogReopenSignal();
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
        pServer->StopOperatorAccess();
        ConsoleCloseLog();
        // The network's threads are running: end the process here rather
        // than let static destruction race them.
        fflush(stdout);
        std::_Exit(1);
    }

    // Without a console (a service, </dev/null) the reader ends at once, quietly.
    CConsoleReader consoleReader;
    consoleReader.Start();
    CConsoleCommands::Attach(&consoleReader, RequestQuit);

    while (!g_byQuit)
    {
        pServer->Tick();
        ReopenLogIfAsked();
        PlatformSleep(5);
    }
    consoleReader.Stop();
    CConsoleCommands::Attach(nullptr, nullptr);

    g_pPluginManager->ShutdownAll();
    delete pServer;
    ConsoleCloseLog();
    return 0;
}
