/* Probe for the network tests: refuses joins whose name starts with "Refused", and prints every
 * performance report through LogMessage as one line, so a test reads both from the console. */
#include <stdio.h>
#include <string.h>

#include "orvn_plugin.h"

static PluginFuncs* g_pFunctions;

static int32_t OnIncomingConnection(const char* playerName, const char* password, const char* ipAddress)
{
    (void)password;
    if (g_pFunctions)
        g_pFunctions->LogMessage("probe: incoming [%s] from [%s]", playerName, ipAddress);
    return strncmp(playerName, "Refused", 7) == 0 ? 0 : 1;
}

/* "probe: report <count>: <description>=<total>|..." */
static void OnServerPerformanceReport(int32_t entryCount, const char** descriptions, uint64_t* totals)
{
    char line[1024];
    int used = snprintf(line, sizeof(line), "probe: report %d:", entryCount);
    int32_t i;
    for (i = 0; i < entryCount && used > 0 && used < (int)sizeof(line); ++i)
        used += snprintf(line + used, sizeof(line) - (size_t)used, "%s%s=%llu", i ? "|" : " ",
                         descriptions[i], (unsigned long long)totals[i]);
    if (g_pFunctions)
        g_pFunctions->LogMessage("%s", line);
}

ORVN_EXPORT int32_t OrvnPluginInit(PluginFuncs* functions, PluginCallbacks* callbacks, PluginInfo* info)
{
    (void)info;
    g_pFunctions = functions;
    callbacks->OnIncomingConnection = OnIncomingConnection;
    callbacks->OnServerPerformanceReport = OnServerPerformanceReport;
    return 1;
}
