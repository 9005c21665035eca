// The plugin's three settings and their registry form.
#pragma once

#include "../platform/platform.h"

struct PluginSettingsRecord {
    int32_t Hotkey;     // host key code of the expand hotkey
    int32_t MathHotkey; // host key code of the math hotkey
    uint32_t ErrorBeep; // error beep mode 0..6
};

constexpr int32_t DEFAULT_HOTKEY = 0x1002D;      // Alt-X
constexpr int32_t DEFAULT_MATH_HOTKEY = 0x10083; // Alt-= (Alt-Plus on newer hosts)
constexpr uint32_t DEFAULT_ERROR_BEEP = 2;       // Asterisk
constexpr uint32_t MAX_ERROR_BEEP = 6;

// Process-wide; hold the defaults until InitializePlugin runs.
extern PluginSettingsRecord PluginSettings;

// The key under HKCU or HKLM that holds the REG_DWORD values Hotkey, MathHotkey and ErrorBeep.
extern const WCHAR SettingsKeyPath[];

// "HKCU" or "HKLM", as messages name the two roots.
const WCHAR* RootName(HKEY root);

// Replaces all three settings from `root` when every value is present, a 4-byte REG_DWORD and
// valid for the key table in force; true then, false (nothing changed) otherwise. Prints nothing.
bool LoadSettings(HKEY root);

//   result  meaning
//   ------  ---------------------------------------------------------------
//      0    all three values written
//     -1    the key could not be created or a value not written (reported)
int SaveSettings(HKEY root);

void ApplyDefaultSettings();
