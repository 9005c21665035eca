// The plugin's settings and their registry form: three REG_DWORD values under
// Software\REDeraded\Tallix in HKCU or HKLM.
#include "settings.h"

#include "../host/host.h"
#include "../keys/keycodec.h"
#include "messages.h"

PluginSettingsRecord PluginSettings = {DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, DEFAULT_ERROR_BEEP};

const WCHAR SettingsKeyPath[] = WIDE("Software\\REDeraded\\Tallix");

// The registry value names. ORDER: the order in which they are read and written.
static const WCHAR HOTKEY_VALUE_NAME[] = WIDE("Hotkey");
static const WCHAR MATH_HOTKEY_VALUE_NAME[] = WIDE("MathHotkey");
static const WCHAR ERROR_BEEP_VALUE_NAME[] = WIDE("ErrorBeep");

const WCHAR* RootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? WIDE("HKLM") : WIDE("HKCU");
}

void ApplyDefaultSettings() {
    PluginSettings.Hotkey = DEFAULT_HOTKEY;
    PluginSettings.MathHotkey = DEFAULT_MATH_HOTKEY;
    PluginSettings.ErrorBeep = DEFAULT_ERROR_BEEP;
}

// Reads one value into `value`. True only for a successful read of a REG_DWORD of exactly four
// bytes; anything else (missing, another type, another size, a failed query) is a fault.
static bool QueryDword(HKEY key, const WCHAR* name, DWORD* value) {
    DWORD type = REG_NONE;
    DWORD size = sizeof(DWORD);
    // A value that cannot be read is left as -1 (as a hotkey code) and 0xFFFFFFFF (as a beep
    // mode): no key table holds the one and no beep mode is the other, so each later check of
    // the value refuses it on its own as well.
    *value = 0xFFFFFFFFu;
    LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD);
}

bool LoadSettings(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, SettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;

    DWORD hotkey = 0, mathHotkey = 0, errorBeep = 0;
    int faults = 0;
    if (!QueryDword(key, HOTKEY_VALUE_NAME, &hotkey)) ++faults;
    if (!QueryDword(key, MATH_HOTKEY_VALUE_NAME, &mathHotkey)) ++faults;
    if (!QueryDword(key, ERROR_BEEP_VALUE_NAME, &errorBeep) || errorBeep > MAX_ERROR_BEEP) ++faults;
    RegCloseKey(key);

    // Saved codes must name a usable hotkey of the key table in force; a code saved under the
    // other host generation may not.
    if (!IsKnownKeyCode(static_cast<int32_t>(hotkey))) ++faults;
    if (!IsKnownKeyCode(static_cast<int32_t>(mathHotkey))) ++faults;
    if (faults != 0) return false;

    PluginSettings.Hotkey = static_cast<int32_t>(hotkey);
    PluginSettings.MathHotkey = static_cast<int32_t>(mathHotkey);
    PluginSettings.ErrorBeep = errorBeep;
    return true;
}

static int ReportRegistryError(const WCHAR* format, HKEY root) {
    PrintErrorMessage(format, RootName(root), SettingsKeyPath);
    return -1;
}

static bool SetDword(HKEY key, const WCHAR* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

int SaveSettings(HKEY root) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, SettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return ReportRegistryError(WIDE("Error opening registry key  (%s\\%s)\r\n"), root);

    // Every write is checked: a value that did not reach the registry is a failed save.
    bool written =
        SetDword(key, HOTKEY_VALUE_NAME, static_cast<DWORD>(PluginSettings.Hotkey)) &&
        SetDword(key, MATH_HOTKEY_VALUE_NAME, static_cast<DWORD>(PluginSettings.MathHotkey)) &&
        SetDword(key, ERROR_BEEP_VALUE_NAME, PluginSettings.ErrorBeep);
    int result = 0;
    if (!written)
        result = ReportRegistryError(WIDE("Error writing to registry  (%s\\%s)\r\n"), root);
    RegCloseKey(key);
    return result;
}
