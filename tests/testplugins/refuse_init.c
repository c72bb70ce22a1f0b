/* Loads, then refuses OnServerInitialise; logs each call so the test sees whether it was called. */
#include "orvn_plugin.h"

static PluginFuncs* g_funcs;

static int32_t OnServerInitialise(void)
{
    g_funcs->LogMessage("refuse_init: OnServerInitialise");
    return 0;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    g_funcs = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    return 1;
}
