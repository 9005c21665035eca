// Help and usage for the TALLIX command, naming the hotkeys in force.
#pragma once

#include "../platform/platform.h"

constexpr size_t DESCRIPTION_CAPACITY = 1024;
constexpr size_t HELP_TEXT_CAPACITY = 8192;
constexpr size_t USAGE_CAPACITY = 1024; // the host's buffer for Usage

// Writes the two hotkey lines for the settings in force into `out` (DESCRIPTION_CAPACITY).
// Result 0, or -1 (nothing written) when `out` is null.
int DescribeHotkeys(WCHAR* out);
