// Sounds, message boxes, the foreground window, wsprintfW and MultiByteToWideChar of the Linux
// stand-in. Sounds and message boxes are logged; the demo host can draw them through hooks.
#include <cstdarg>

#include "../scope.h"
#include "../wideformat.h"
#include "win32_control.h"

struct StandinWindow {
    int id;
};

namespace standin {
namespace {
StandinWindow foreground{1};
std::vector<SoundCall> sounds;
std::vector<MessageBoxCall> boxes;
int (*boxHook)(const std::u16string&, const std::u16string&) = nullptr;
void (*soundHook)(uintptr_t) = nullptr;
bool ansiIsUtf8 = false;
} // namespace

void UiReset() {
    sounds.clear();
    boxes.clear();
    ansiIsUtf8 = false;
}
void SetAnsiCodePageUtf8(bool on) {
    ansiIsUtf8 = on;
}
const std::vector<SoundCall>& Sounds() {
    return sounds;
}
const std::vector<MessageBoxCall>& MessageBoxes() {
    return boxes;
}
void SetMessageBoxHook(int (*hook)(const std::u16string&, const std::u16string&)) {
    boxHook = hook;
}
void SetSoundHook(void (*hook)(uintptr_t)) {
    soundHook = hook;
}
HWND ForegroundWindow() {
    return &foreground;
}

void ResetAll() {
    RegistryReset();
    HandlesReset();
    KeyboardReset();
    UiReset();
}

} // namespace standin

using namespace standin;

extern "C" BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
    STANDIN_SCOPE;
    sounds.push_back({reinterpret_cast<uintptr_t>(sound), module, flags});
    if (soundHook) soundHook(reinterpret_cast<uintptr_t>(sound));
    return TRUE;
}

extern "C" int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    STANDIN_SCOPE;
    boxes.push_back({owner, text ? text : u"", caption ? caption : u"", type});
    return boxHook ? boxHook(boxes.back().text, boxes.back().caption) : 1;
}

extern "C" HWND GetForegroundWindow(void) {
    return &foreground;
}

// Output is limited to 1,024 units, the terminator included, as Windows limits it.
extern "C" int wsprintfW(LPWSTR out, LPCWSTR format, ...) {
    STANDIN_SCOPE;
    if (!out) return 0;
    va_list args;
    va_start(args, format);
    std::u16string text = FormatWideV(format, args);
    va_end(args);
    if (text.size() > 1023) text.resize(1023);
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = 0;
    return int(text.size());
}

// The stand-in's ANSI code page is Latin-1: every byte is the code point of the same number.
// textBytes -1 converts up to and including the terminator. outUnits 0 asks for the size. With
// the code page set to UTF-8, any flag but MB_ERR_INVALID_CHARS fails, as on Windows (the texts
// the plugin widens are ASCII, which both code pages read alike).
extern "C" int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int textBytes,
                                   LPWSTR out, int outUnits) {
    STANDIN_SCOPE;
    if (!text) return 0;
    constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
    if (codePage == CP_ACP && ansiIsUtf8 && (flags & ~MB_ERR_INVALID_CHARS) != 0) return 0;
    size_t n = 0;
    if (textBytes < 0)
        while (text[n++]) {
        }
    else
        n = size_t(textBytes);
    if (outUnits == 0) return int(n);
    if (!out || size_t(outUnits) < n) return 0;
    for (size_t i = 0; i < n; ++i) out[i] = WCHAR(static_cast<unsigned char>(text[i]));
    return int(n);
}
