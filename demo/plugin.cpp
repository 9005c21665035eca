// Loading the plugin with dlopen and finding its exports with dlsym, as a Windows host does with
// LoadLibrary and GetProcAddress.
#include "plugin.h"

#include <dlfcn.h>

namespace demo {
namespace {

template <typename Function>
void Find(void* library, const char* name, Function*& function, std::string* problems) {
    function = reinterpret_cast<Function*>(dlsym(library, name));
    if (!function) *problems += std::string("the plugin has no export \"") + name + "\"\n";
}

} // namespace

Plugin LoadPlugin(const std::string& path, std::string* problems) {
    Plugin plugin;
    plugin.library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!plugin.library) {
        const char* error = dlerror();
        *problems += "cannot load the plugin " + path + ": " + (error ? error : "?") + "\n";
        return plugin;
    }
    Find(plugin.library, "GetPluginInfo", plugin.getPluginInfo, problems);
    Find(plugin.library, "InitializePlugin", plugin.initializePlugin, problems);
    Find(plugin.library, "ShutdownPlugin", plugin.shutdownPlugin, problems);
    Find(plugin.library, "key", plugin.key, problems);
    Find(plugin.library, "tallix", plugin.tallix, problems);
    Find(plugin.library, "Help", plugin.help, problems);
    Find(plugin.library, "Usage", plugin.usage, problems);
    return plugin;
}

void UnloadPlugin(Plugin& plugin) {
    if (plugin.library) dlclose(plugin.library);
    plugin = Plugin();
}

} // namespace demo
