// The TALLIX command: shows and changes the settings, lists hotkeys, saves and restores.
#pragma once

#include "../platform/platform.h"

// The usage text that /? prints and that Help and Usage show.
extern const WCHAR UsageText[];

// Reads the whole text as an unsigned 32-bit number (decimal, or hex after "0x").
// 0 with *out set, or -1 with *out untouched.
int ParseNumber(const WCHAR* text, uint32_t* out);

// Prints the three /?? version lines. Result 0.
int PrintVersionReport();
