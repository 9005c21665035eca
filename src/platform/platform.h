// The one seam between the plugin and its platform.
//
// On Windows this includes the real Win32 headers. Elsewhere it includes the declarations of the
// Linux stand-in (standin/win32), which offers the same few calls under the same names and
// signatures. No other file of the plugin tests the platform.
//
// WCHAR is a 16-bit UTF-16 unit in both builds: wchar_t on Windows, char16_t elsewhere. WIDE("x")
// gives a literal of that type.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#define WIDE_(text) L##text
#else
#include "win32_standin_api.h"
#define WIDE_(text) u##text
#endif

#define WIDE(text) WIDE_(text)

static_assert(sizeof(WCHAR) == 2, "text is UTF-16 in both builds");

// The exports the host looks up by name: undecorated C names, visible outside the library.
#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C"
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Character classes the plugin relies on. ASCII is fixed; beyond it, Windows asks its C runtime
// and the Linux build follows Unicode (see win32_standin_api.h).
int PlatformIsSpace(WCHAR ch);
int PlatformIsAlpha(WCHAR ch);
int PlatformIsAlnum(WCHAR ch);
