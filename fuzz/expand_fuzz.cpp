// The whole expand action with a hostile host: any line, any caret (also just outside the
// line), any escape option, expansions of any length its 8,192-unit buffer holds, and failures.
// The result is checked against the splice it should make, or an untouched line.
//
// Input: byte 0 flags (bit 0: the host fails the expansion, bit 1: the host is a newer one),
// bytes 1-2 the expansion's length (modulo 8,192), bytes 3-4 the caret (modulo the line's
// length + 3, minus 1), bytes 5-6 the escape option's one unit (0: "^"), then the line as UTF-16
// units (cut at 65,535).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "src/actions/expand.h"
#include "src/actions/locator.h"
#include "src/host/escapechar.h"
#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7) return 0;
    bool hostFails = data[0] & 1;
    extendedKeyScheme = (data[0] & 2) != 0;
    size_t expansionLength = size_t(data[1] | data[2] << 8) % EDIT_LINE_CAPACITY;
    char16_t escapeUnit = char16_t(data[5] | data[6] << 8);
    // The texts of each input live in buffers kept from input to input: fresh ones of up to
    // 128 KiB each, under ASan's quarantine, cost more page faults than the plugin's own work.
    static Line text, expected, expansion, next, after;
    text.clear();
    for (size_t i = 7; i + 1 < size && text.size() < EDIT_LINE_CAPACITY - 1; i += 2) {
        char16_t unit = char16_t(data[i] | data[i + 1] << 8);
        text += unit == 0 ? u'%' : unit;
    }
    long caret = long((data[3] | data[4] << 8) % (text.size() + 3)) - 1;

    // The stand-ins log every call the plugin makes (handles, sounds, key states); without a reset
    // per input those logs would grow for the whole run.
    standin::ResetAll();
    TakeCmdReset();
    Line escapeOption = escapeUnit ? Line(1, escapeUnit) : Line(u"^");
    TakeCmdSetEscapeOption(escapeOption.c_str());
    WCHAR escape = GetEscapeChar();
    TakeCmdReset();
    TakeCmdSetEscapeOption(escapeOption.c_str());

    // What the action should do, worked out from the locator's span.
    expected = text;
    long expectedCaret = caret;
    static Line letters;
    for (size_t i = letters.size(); i < EDIT_LINE_CAPACITY; ++i) letters += char16_t(u'a' + i % 26);
    expansion.assign(letters, 0, expansionLength);
    if (!text.empty() && caret >= 0 && size_t(caret) <= text.size()) {
        ReferenceSpan span = LocateReference(text.c_str(), int32_t(caret), escape);
        if (span.first >= 0 && span.last >= span.first) {
            Line reference = text.substr(span.first, span.last - span.first + 1);
            TakeCmdSetExpansion(reference.c_str(), expansion.c_str());
            next.assign(text, 0, span.first).append(expansion).append(text, span.last + 1);
            if (!hostFails && reference.size() <= MAX_REFERENCE_LENGTH &&
                next.size() <= size_t(MAX_LINE_LENGTH)) {
                expected = next;
                expectedCaret = span.first + long(expansion.size());
            }
        }
    }
    if (hostFails) TakeCmdSetExpandResult(3);

    static std::vector<WCHAR> store;
    WCHAR* line = ClearedLine(store);
    std::copy(text.begin(), text.end(), line);
    std::vector<WCHAR> name = {'A', 'l', 't', '-', 'X', 0};
    KeyEvent event{};
    event.keyCode = 0x1002D;
    event.line = line;
    // A caret outside the line is a stray pointer: formed on integers, never dereferenced.
    event.cursor =
        reinterpret_cast<WCHAR*>(reinterpret_cast<uintptr_t>(line) + uintptr_t(caret * 2));
    event.keyName = name.data();

    if (key(&event) != 0) abort();
    after.assign(reinterpret_cast<const char16_t*>(line));
    long afterCaret =
        long(reinterpret_cast<intptr_t>(event.cursor) - reinterpret_cast<intptr_t>(line)) / 2;
    if (after != expected || afterCaret != expectedCaret) abort();
    if (event.keyCode != 0 || (name[0] == 0) != extendedKeyScheme) abort();
    if (line[EDIT_LINE_CAPACITY - 1] != 0) abort();
    // What the stand-ins hold goes now rather than at the next input: an input that ends with more
    // allocated than it started with makes libFuzzer run it again to look for leaks.
    standin::ResetAll();
    TakeCmdReset();
    return 0;
}
