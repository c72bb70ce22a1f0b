#pragma once

class CServer;
class CConsoleReader;

// The operator's commands, typed on the server's console or sent through the
// control socket. The reader threads hand complete lines over; the tick runs
// them at one point of its frame, on the main thread like everything else.
// What a command prints while a control client's line runs goes back to that
// client as well as to the console and the log. A line whose first word is no
// command of the server's goes to the plugins as OnPluginCommand with
// ORVN_CONSOLE_COMMAND_ID; only when none of them takes it does the console
// answer that the command is unknown.
class CConsoleCommands
{
public:
    // Installed once by the entry point: the reader whose lines RunPending
    // takes, and what `exit` calls (the same stop as Ctrl-C). Without a
    // reader RunPending does nothing.
    static void Attach(CConsoleReader* pReader, void (*pfnQuit)());

    // Runs every line handed over since the last frame, the console's first.
    static void RunPending(CServer& server);

    // Runs one line as typed (without its line end). False when it did not
    // run: an unknown command, a bad argument, or a request refused (such as
    // a slot that holds nobody).
    static bool Run(CServer& server, const char* szLine);

    // Answers a line the reader refused for its length.
    static void RefuseLongLine(unsigned long ulLength);
};
