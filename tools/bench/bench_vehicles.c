/* Plugin of the relay benchmark's vehicle mode: creates vehicles 1..100 (model 130, world 1) where the
 * bots walk, so that bot n can enter vehicle n + 1 through the ordinary entry request, and one spawn
 * class among them: a client may only ask for a vehicle within its reach. */
#include "orvn_plugin.h"

static PluginFuncs* F;

static int32_t OnServerInitialise(void)
{
    int i;
    for (i = 0; i < 100; ++i)
        F->CreateVehicle(130, 1, -400.0f + (float)(i % 10) * 8.0f, (float)(i / 10) * 8.0f, 12.0f, 0.0f, 0, 0);
    F->AddPlayerClass(0, 0, 0, -400.0f, 0.0f, 12.0f, 0.0f, 0, 0, 0, 0, 0, 0);
    F->LogMessage("bench: %d vehicles", 100);
    return 1;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    F = functions;
    callbacks->OnServerInitialise = OnServerInitialise;
    return 1;
}
