// The plugin's settings and their registry form.
#include "settings.h"

PluginSettingsRecord PluginSettings = {DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, DEFAULT_ERROR_BEEP};

const WCHAR SettingsKeyPath[] = WIDE("Software\\REDeraded\\Tallix");

const WCHAR* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? WIDE("HKLM") : WIDE("HKCU");
}

void ApplyDefaultSettings() {
    PluginSettings.Hotkey = DEFAULT_HOTKEY;
    PluginSettings.MathHotkey = DEFAULT_MATH_HOTKEY;
    PluginSettings.ErrorBeep = DEFAULT_ERROR_BEEP;
}
