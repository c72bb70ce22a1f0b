/* A library without the plugin entry point. */
#include "orvn_plugin.h"

ORVN_EXPORT int32_t NotThePluginEntry(void)
{
    return 1;
}
