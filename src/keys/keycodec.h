// The key-name codec: the translation between key names such as Ctrl-Alt-F5 and the host key
// codes of the table in force.
#pragma once

#include "keyscheme.h"

// Units of every key-name buffer, terminator included.
constexpr size_t KEY_NAME_CAPACITY = 1024;

// Key name to code.
//   result  meaning
//   ------  -------------------------------------------------------
//     > 0   the host key code of that combination
//      -1   NO_KEY: the key does not offer that combination
//      -2   NOT_ALLOWED: the combination may not be a hotkey
//       0   not a key name (or a null text)
int32_t ParseKeyName(const WCHAR* text);

// Code to name, into `out` (KEY_NAME_CAPACITY units). 0 when found; -1 with "(unknown)" when not.
int32_t FormatKeyName(int32_t code, WCHAR* out);

// True when the code is a positive cell of the table in force.
bool IsKnownKeyCode(int32_t code);
