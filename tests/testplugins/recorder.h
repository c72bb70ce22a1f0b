/* Control block of the recording test plugin. Every copy of recorder.so records each event it
 * receives into the log its control block points at, then calls the test's hook, then answers with
 * the value set for that event. The block is published as the first entry of the plugin's export
 * list, so a test finds it with GetPluginExports. */
#ifndef ORVN_TEST_RECORDER_H
#define ORVN_TEST_RECORDER_H

#include "orvn_plugin.h"

#define RECORDER_MAX_ENTRIES 256
#define RECORDER_TEXT_SIZE 192

typedef struct RecorderEntry
{
    int32_t pluginId;
    int32_t slot;
    /* "<event> <arguments...>", texts in brackets */
    char text[RECORDER_TEXT_SIZE];
} RecorderEntry;

/* Owned by the test; several plugins may share one, so the order across plugins shows. */
typedef struct RecorderLog
{
    int32_t count;
    RecorderEntry entries[RECORDER_MAX_ENTRIES];
} RecorderLog;

/* Runs inside the handler after the event was recorded. args holds the integer arguments (at most
 * four), text the first text argument or null. */
typedef void (*RecorderHook)(void* context, int32_t pluginId, int32_t slot, const int32_t* args,
                             const char* text);

typedef struct RecorderControl
{
    RecorderLog* log;
    /* Answer of each handler that returns one, by callback slot; 1 after loading. */
    int32_t answers[ORVN_PLUGIN_CALLBACKS_SLOTS];
    RecorderHook hook;
    void* hookContext;

    PluginFuncs* funcs;
    PluginCallbacks* callbacks;
    PluginInfo* info;

    /* What the entry point saw of itself. */
    int32_t countAtInit;
    int32_t idAtInit;
    int32_t foundAtInit;
    int32_t infoResultAtInit;
    PluginInfo infoAtInit;
} RecorderControl;

#endif
