/* An entry point that rejects the plugin after filling a callback: the server must forget it and
 * never call into the released library. */
#include "orvn_plugin.h"

static void OnServerFrame(float elapsedTime)
{
    (void)elapsedTime;
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    static void* exports[1];
    callbacks->OnServerFrame = OnServerFrame;
    exports[0] = (void*)callbacks;
    functions->ExportFunctions(info->pluginId, exports, 1);
    functions->LogMessage("refuse_entry: id %d of %d", info->pluginId, functions->GetNumberOfPlugins());
    return 0;
}
