/* Dereferences a null pointer when a player sends the command "crash", and
 * recurses until the stack is gone on "overflow": the crash report must name
 * this plugin's file either way. */
#include <string.h>

#include "orvn_plugin.h"

static volatile int* g_pNothing;

static volatile int g_nNoEnd = 1;

/* Each frame keeps a buffer the optimiser cannot drop; g_nNoEnd is never 0. */
static int Recurse(int nDepth)
{
    volatile char abyFrame[512];
    abyFrame[nDepth % 512] = (char)nDepth;
    if (!g_nNoEnd)
        return abyFrame[0];
    return Recurse(nDepth + 1) + abyFrame[0];
}

static int32_t OnPlayerCommand(int32_t playerId, const char* command)
{
    (void)playerId;
    if (command && strcmp(command, "crash") == 0)
        return *g_pNothing;
    if (command && strcmp(command, "overflow") == 0)
        return Recurse(0);
    return 1;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)functions;
    (void)info;
    callbacks->OnPlayerCommand = OnPlayerCommand;
    return 1;
}
