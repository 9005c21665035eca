// A host's edit line for tests: a 65,536-unit buffer and the KeyEvent that points into it.
#pragma once

#include <cstring>
#include <vector>

#include "host_capture.h"
#include "src/host/host.h"

namespace support {

struct EditLine {
    std::vector<WCHAR> buffer;
    WCHAR name[64] = {};
    KeyEvent event{};

    // The line holds `text` with the caret at `caret` units; keyName is set only when given.
    EditLine(const Text& text, size_t caret, int32_t keyCode = 0, const WCHAR* keyName = nullptr)
        : buffer(EDIT_LINE_CAPACITY, 0) {
        std::copy(text.begin(), text.end(), buffer.begin());
        event.keyCode = keyCode;
        std::memset(event.hostFields, 0xA5, sizeof event.hostFields);
        event.line = buffer.data();
        event.cursor = buffer.data() + caret;
        if (keyName) {
            Text copy(keyName);
            std::copy(copy.begin(), copy.end(), name);
            event.keyName = name;
        }
    }
    EditLine(const EditLine&) = delete;
    EditLine& operator=(const EditLine&) = delete;

    Text Line() const { return Text(buffer.data()); }
    long Caret() const { return long(event.cursor - event.line); }
    std::string Utf8Line() const { return Utf8(Line()); }
};

// `count` copies of `unit`.
inline Text Repeat(WCHAR unit, size_t count) {
    return Text(count, unit);
}

} // namespace support
