// The seven functions the host looks up in the plugin by name.
#pragma once

#include "../host/host.h"

// The description record the host asks for first; it keeps the pointer.
struct PluginInfo {
    const WCHAR* name;
    const WCHAR* author;
    const WCHAR* email;
    const WCHAR* webPage;
    const WCHAR* description;
    const WCHAR* functions; // the command and (after "*") the keystroke handler
    int32_t major;
    int32_t minor;
    int32_t build;
    uint8_t reserved[20]; // the host's; kept zero and never touched
};

static_assert(offsetof(PluginInfo, name) == 0, "PluginInfo.name");
static_assert(offsetof(PluginInfo, author) == 8, "PluginInfo.author");
static_assert(offsetof(PluginInfo, email) == 16, "PluginInfo.email");
static_assert(offsetof(PluginInfo, webPage) == 24, "PluginInfo.webPage");
static_assert(offsetof(PluginInfo, description) == 32, "PluginInfo.description");
static_assert(offsetof(PluginInfo, functions) == 40, "PluginInfo.functions");
static_assert(offsetof(PluginInfo, major) == 48, "PluginInfo.major");
static_assert(offsetof(PluginInfo, minor) == 52, "PluginInfo.minor");
static_assert(offsetof(PluginInfo, build) == 56, "PluginInfo.build");
static_assert(sizeof(PluginInfo) == 80, "PluginInfo size");

PLUGIN_EXPORT PluginInfo* GetPluginInfo(void);
PLUGIN_EXPORT int InitializePlugin(void);
PLUGIN_EXPORT int ShutdownPlugin(void);
PLUGIN_EXPORT int key(KeyEvent* event);
PLUGIN_EXPORT int tallix(WCHAR* tail);
PLUGIN_EXPORT int Help(WCHAR* name);
PLUGIN_EXPORT int Usage(WCHAR* name, WCHAR* out);
