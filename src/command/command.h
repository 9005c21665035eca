// The TALLIX command: shows and changes the settings, lists hotkeys, saves and restores.
#pragma once

#include "../platform/platform.h"

// What the arguments asked for, collected during one call.
enum SaveRoot { SAVE_NONE, SAVE_HKCU, SAVE_HKLM };
struct CommandOptions {
    bool listKeys;
    bool quiet;
    bool restoreDefaults;
    bool restoreSaved;
    SaveRoot saveRoot;
    int32_t newHotkey;
    int32_t newMathHotkey;
    int32_t newErrorBeep;
};

extern const WCHAR UsageText[];
extern const char ExpandExpressionVersion[];
extern const char MathWordVersion[];

// Reads the whole text as an unsigned 32-bit number (decimal, or hex after "0x").
// 0 with *out set, or -1 with *out untouched.
int ParseNumber(const WCHAR* text, uint32_t* out);

// Prints the three /?? version lines. Result 0.
int PrintVersionReport();
