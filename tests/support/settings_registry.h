// Test access to the settings key Software\REDeraded\Tallix through the Win32 registry calls
// themselves, so that the same test runs over the stand-in natively and over wine's real
// registry. Every test that writes the key deletes it again.
#pragma once

#include <cstdint>
#include <vector>

#include "src/platform/platform.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

namespace support {

inline const WCHAR* SettingsPath() {
    return WIDE("Software\\REDeraded\\Tallix");
}

// Writes one value of any type and size under the settings key of `root`. True on success.
inline bool WriteSettingsValue(HKEY root, const WCHAR* name, DWORD type,
                               const std::vector<uint8_t>& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, SettingsPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LSTATUS status = RegSetValueExW(key, name, 0, type, data.empty() ? nullptr : data.data(),
                                    DWORD(data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline std::vector<uint8_t> DwordBytes(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

inline bool WriteSettingsDword(HKEY root, const WCHAR* name, uint32_t value) {
    return WriteSettingsValue(root, name, REG_DWORD, DwordBytes(value));
}

inline bool WriteSettings(HKEY root, uint32_t hotkey, uint32_t mathHotkey, uint32_t errorBeep) {
    return WriteSettingsDword(root, WIDE("Hotkey"), hotkey) &&
           WriteSettingsDword(root, WIDE("MathHotkey"), mathHotkey) &&
           WriteSettingsDword(root, WIDE("ErrorBeep"), errorBeep);
}

// Reads one value back: false when the key or the value is missing.
inline bool ReadSettingsValue(HKEY root, const WCHAR* name, DWORD* type,
                              std::vector<uint8_t>* data) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, SettingsPath(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    uint8_t bytes[64];
    DWORD size = sizeof bytes;
    LSTATUS status = RegQueryValueExW(key, name, nullptr, type, bytes, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    data->assign(bytes, bytes + size);
    return true;
}

inline void DeleteSettingsKey(HKEY root) {
#if defined(_WIN32)
    RegDeleteTreeW(root, SettingsPath());
    RegDeleteKeyW(root, WIDE("Software\\REDeraded")); // only goes when empty
#else
    standin::RegistryDeleteKey(root, SettingsPath());
#endif
}

} // namespace support
