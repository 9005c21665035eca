// Windows test binaries: HKCU and HKLM of the process point at scratch keys while tests run.
#pragma once

#if defined(_WIN32)
#include <windows.h>

namespace support {
// The scratch key that stands for `root` (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
HKEY ScratchKey(HKEY root);
} // namespace support
#endif
