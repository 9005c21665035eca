// The plugin as the host sees it: a shared library and the seven functions found in it by name.
#pragma once

#include <string>

#include "../src/plugin/exports.h"

namespace demo {

struct Plugin {
    void* library = nullptr;
    PluginInfo* (*getPluginInfo)(void) = nullptr;
    int (*initializePlugin)(void) = nullptr;
    int (*shutdownPlugin)(void) = nullptr;
    int (*key)(KeyEvent* event) = nullptr;
    int (*tallix)(WCHAR* tail) = nullptr;
    int (*help)(WCHAR* name) = nullptr;
    int (*usage)(WCHAR* name, WCHAR* out) = nullptr;
};

// Opens the library at `path` and looks up every export. Returns the plugin with the exports it
// found; `problems` receives one line for the library that did not open or for each export
// that is missing.
Plugin LoadPlugin(const std::string& path, std::string* problems);
void UnloadPlugin(Plugin& plugin);

} // namespace demo
