/* Takes the console line "greet <text>": answers it through LogMessage and returns 0 so the console
 * does not call it unknown. Every other line and command id is left alone (1). */
#include <string.h>

#include "orvn_plugin.h"

static PluginFuncs* g_funcs;

static int32_t OnPluginCommand(int32_t commandId, const char* text)
{
    if (commandId != ORVN_CONSOLE_COMMAND_ID || strncmp(text, "greet ", 6) != 0)
        return 1;
    g_funcs->LogMessage("console_command: hello, %s", text + 6);
    return 0;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    g_funcs = functions;
    callbacks->OnPluginCommand = OnPluginCommand;
    return 1;
}
