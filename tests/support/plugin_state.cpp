#include "plugin_state.h"

#include "src/keys/keycodec.h"
#include "src/plugin/settings.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

namespace support {

void UseHostVersion(int version) {
    hostVersion = version;
    extendedKeyScheme = version >= 24;
}

void ResetPluginState() {
#if !defined(_WIN32)
    standin::ResetAll();
#endif
    TakeCmdReset();
    UseHostVersion(0);
    PluginSettings = {DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, DEFAULT_ERROR_BEEP};
}

bool HasWin32Standin() {
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

} // namespace support
