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
} // namespace

void UiReset() {
    sounds.clear();
    boxes.clear();
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
// textBytes -1 converts up to and including the terminator. outUnits 0 asks for the size.
extern "C" int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int textBytes, LPWSTR out,
                                   int outUnits) {
    STANDIN_SCOPE;
    if (!text) return 0;
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
