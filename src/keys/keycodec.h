// The key-name codec: which key table is in force, and the translation between key names such
// as Ctrl-Alt-F5 and host key codes.
#pragma once

#include "keytables.h"

// Units of every key-name buffer, terminator included.
constexpr size_t KEY_NAME_CAPACITY = 1024;

// The host's major version (0 when unreadable or outside 8..100) and whether the extended key
// table is in force (hostVersion >= 24). Written once, by ProbeHostVersion.
extern int32_t hostVersion;
extern bool extendedKeyScheme;

// The table in force.
const KeyTable& ActiveKeyTable();

// Asks the host for %_4ver and chooses the key table.
void ProbeHostVersion();

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

// Prints every usable hotkey of the table in force, one line per key. Result 0.
int32_t ListHotkeys();

// 1 when the code is a positive cell of the table in force, else 0.
int IsKnownKeyCode(int32_t code);
