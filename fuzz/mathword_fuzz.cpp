// MathWord on any line and caret, against a plain model of the word rules built on strings.
// Input: 2 bytes of caret (taken modulo the line's length + 3, minus 1, so that the caret may
// stand one unit before or past the line), then the line as UTF-16 units (cut at 65,535).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "src/actions/mathword.h"
#include "src/host/host.h"
#include "standin/takecmd/takecmd_control.h"
#include "standin/win32/win32_control.h"

namespace {

using Line = std::u16string;

// A buffer of exactly the host's 65,536 units, on the heap so that ASan catches a write past
// it, allocated once and zeroed for each input (filling a fresh one took most of a run's time).
WCHAR* ClearedLine(std::vector<WCHAR>& line) {
    line.resize(EDIT_LINE_CAPACITY);
    std::memset(line.data(), 0, line.size() * sizeof(WCHAR));
    return line.data();
}

bool Space(char16_t ch) {
    // Agrees with the plugin's white space for every unit the fuzzer makes; beyond Latin-1 the
    // stand-in asks Unicode, which the model does not repeat.
    return (ch >= 0x09 && ch <= 0x0D) || ch == 0x20 || ch == 0xA0;
}

// The word rules, the host's evaluation and the line limit, written plainly.
int Model(Line& line, int32_t& caret) {
    if (line.empty()) return 0;
    if (caret < 0 || size_t(caret) > line.size()) return 0;
    long start = -1, end = -1;
    bool quoted = false, inside = false;
    for (long i = 0; i < long(line.size()); ++i) {
        if (line[i] == u'"') quoted = !quoted;
        if (!Space(line[i]) && i <= caret) {
            if (!inside) start = i;
            inside = true;
        }
        if (!Space(line[i]) && inside) end = i;
        if (Space(line[i]) && !quoted) inside = false;
    }
    if (start < 0 || end < caret - 1) return 0;
    Line word = line.substr(start, end - start + 1);
    if (word.size() + 8 >= 65536) return -2;
    if (word.size() >= 2 && word.front() == u'"' && word.back() == u'"') {
        word = word.substr(1, word.size() - 2);
        if (word.empty()) return 0;
    }
    static std::vector<WCHAR> store;
    WCHAR* buffer = ClearedLine(store);
    std::copy(word.begin(), word.end(), buffer);
    if (Evaluate(buffer) != 0) return 0;
    Line result(reinterpret_cast<const char16_t*>(buffer));
    Line next = line.substr(0, start) + result + line.substr(end + 1);
    if (next.size() > 65535) return 0;
    line = next;
    caret = int32_t(start + result.size());
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Line text;
    for (size_t i = 2; i + 1 < size && text.size() < EDIT_LINE_CAPACITY - 1; i += 2) {
        char16_t unit = char16_t(data[i] | data[i + 1] << 8);
        if (unit == 0) unit = u' ';
        // Keep the units within the classes the model knows.
        if (unit >= 0x100) unit = char16_t((unit & 0x7F) | 0x20);
        text += unit;
    }
    int32_t caret = int32_t((data[0] | data[1] << 8) % (text.size() + 3)) - 1;

    // The stand-ins log every call the plugin makes; without a reset per input those logs would
    // grow for the whole run.
    standin::ResetAll();
    TakeCmdReset();
    Line expected = text;
    int32_t expectedCaret = caret;
    int expectedCode = Model(expected, expectedCaret);

    static std::vector<WCHAR> store;
    WCHAR* line = ClearedLine(store);
    std::copy(text.begin(), text.end(), line);
    int32_t cursor = caret;
    int code = MathWord(line, &cursor);
    Line after(reinterpret_cast<const char16_t*>(line));
    if (code != expectedCode || after != expected || cursor != expectedCaret) abort();
    if (line[EDIT_LINE_CAPACITY - 1] != 0) abort();
    // Freed now rather than at the next input, which would otherwise end with more allocated than
    // it started with, and libFuzzer runs such an input again to look for leaks.
    standin::ResetAll();
    TakeCmdReset();
    return 0;
}
