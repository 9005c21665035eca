// Controls of the Linux Win32 stand-in, for tests and the demo host: the registry in memory
// (with failure injection and a .reg-style file form), the standard handles, the keyboard, and
// logs of sounds and message boxes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../../src/platform/platform.h"

namespace standin {

// ---- Registry -----------------------------------------------------------------------------
enum class RegOp { Open, Create, Query, Set };

struct RegValue {
    DWORD type = 0;
    std::vector<uint8_t> data;
};

// Empties the registry, the failure plan and the log; unbinds the file.
void RegistryReset();
// Makes the `nth` next call of `op` fail (1 = the very next one). `valueName`, when given for
// Query or Set, restricts the count to calls on that value.
void RegistryFailNext(RegOp op, int nth = 1, const std::u16string& valueName = u"");
void RegistryPut(HKEY root, const std::u16string& path, const std::u16string& name, DWORD type,
                 const std::vector<uint8_t>& data);
void RegistryPutDword(HKEY root, const std::u16string& path, const std::u16string& name,
                      uint32_t value);
bool RegistryGet(HKEY root, const std::u16string& path, const std::u16string& name,
                 RegValue* value);
bool RegistryKeyExists(HKEY root, const std::u16string& path);
void RegistryDeleteKey(HKEY root, const std::u16string& path);
// One line per call: "open HKCU\Software\...", "query Hotkey", "set ErrorBeep", "close", ...
const std::vector<std::string>& RegistryLog();
// Keys opened or created and not yet closed.
int RegistryOpenKeyCount();
// The .reg-style text form (regfile.h): loads (replacing everything) and saves. A bound file is
// the registry itself: every call reads it anew, every change is written to it at once, and a
// failure to read or write is the error of the registry call that met it.
bool RegistryLoadFile(const std::string& path);
bool RegistrySaveFile(const std::string& path);
void RegistryBindFile(const std::string& path);
// Where the malformed lines of a bound file are told, once each (default: standard error).
void RegistrySetProblemHook(void (*hook)(const std::string& message));

// ---- Standard handles -----------------------------------------------------------------------
// Standard output and error back to descriptors 1 and 2; the nul device opens again.
void HandlesReset();
// While set, CreateFileW of "nul" fails.
void FailNulOpen(bool fail);
// The file descriptor behind a handle; -1 for the nul device or an unknown handle.
int HandleFd(HANDLE handle);
bool IsNulHandle(HANDLE handle);
// Handles created and not yet closed.
int OpenFileHandleCount();
// One line per call: "get out", "set err nul", "set out fd1", "open nul", "close nul", ...
const std::vector<std::string>& HandleLog();

// ---- Keyboard -------------------------------------------------------------------------------
void KeyboardReset();
void SetKeyDown(int virtualKey, bool down);
// The virtual keys asked for by GetAsyncKeyState, in order.
const std::vector<int>& KeyQueries();

// ---- Sounds, message boxes, foreground window -------------------------------------------------
struct SoundCall {
    uintptr_t sound;
    HMODULE module;
    DWORD flags;
};
struct MessageBoxCall {
    HWND owner;
    std::u16string text;
    std::u16string caption;
    UINT type;
};
void UiReset();
const std::vector<SoundCall>& Sounds();
const std::vector<MessageBoxCall>& MessageBoxes();
// What MessageBoxW returns (default IDOK = 1); and a hook the demo host uses to draw the box.
void SetMessageBoxHook(int (*hook)(const std::u16string& text, const std::u16string& caption));
void SetSoundHook(void (*hook)(uintptr_t sound));
// The window GetForegroundWindow reports.
HWND ForegroundWindow();
// On: the ANSI code page is UTF-8, and MultiByteToWideChar refuses MB_PRECOMPOSED as Windows
// does on such a system. Off (the default, and after UiReset): a Latin-1 code page.
void SetAnsiCodePageUtf8(bool on);

// Everything above back to its start.
void ResetAll();

} // namespace standin
