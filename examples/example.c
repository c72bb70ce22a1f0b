/* A minimal plugin: announces itself when loaded, when the server starts and stops, and about once
 * every five seconds while it runs.
 *
 * Build: cc -shared -fPIC -I sdk -o plugins/example.so examples/example.c
 * Load:  put example.so in the server's plugins/ folder and list "example" in the plugins line of
 *        server.cfg. */
#include "orvn_plugin.h"

/* Valid for the life of the process. */
static PluginFuncs* g_funcs;
/* Frame time gathered since the last report, in seconds. */
static float g_elapsed;

static int32_t OnServerInitialise(void)
{
    g_funcs->LogMessage("example: server started, version %d", g_funcs->GetServerVersion());
    return 1;
}

static void OnServerFrame(float elapsedTime)
{
    g_elapsed += elapsedTime;
    if (g_elapsed < 5.0f)
        return;
    g_elapsed = 0.0f;
    g_funcs->LogMessage("example: still running with %d plugin(s)", g_funcs->GetNumberOfPlugins());
}

static void OnServerShutdown(void)
{
    g_funcs->LogMessage("example: server shutting down");
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    g_funcs = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    callbacks->OnServerFrame = OnServerFrame;
    callbacks->OnServerShutdown = OnServerShutdown;
    functions->LogMessage("example: loaded as plugin %d ('%s')", info->pluginId, info->name);
    return 1;
}
