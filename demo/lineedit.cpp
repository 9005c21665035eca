// The host's edit line: a fixed buffer of UTF-16 units with a caret.
#include "lineedit.h"

#include <cstring>

#include "../standin/wideformat.h"

namespace demo {
namespace {

bool LowSurrogate(WCHAR unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}

// Units of the character that ends just before `at` / starts at `at`.
size_t UnitsBefore(const EditLine& line, size_t at) {
    return at >= 2 && LowSurrogate(line.text[at - 1]) ? 2 : at >= 1 ? 1 : 0;
}
size_t UnitsAt(const EditLine& line, size_t at) {
    return at + 1 < line.length && LowSurrogate(line.text[at + 1]) ? 2 : at < line.length ? 1 : 0;
}

void Remove(EditLine& line, size_t at, size_t units) {
    std::memmove(line.text + at, line.text + at + units,
                 (line.length - at - units + 1) * sizeof(WCHAR));
    line.length -= units;
}

} // namespace

size_t CharacterColumns(char32_t ch) {
    // East Asian wide and emoji blocks take two columns in a terminal.
    static const char32_t wide[][2] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
    };
    for (const auto& range : wide)
        if (ch >= range[0] && ch <= range[1]) return 2;
    return 1;
}

void LineClear(EditLine& line) {
    line.text[0] = 0;
    line.length = line.cursor = 0;
}

void LineSync(EditLine& line, size_t cursor) {
    line.text[LINE_UNITS - 1] = 0;
    size_t n = 0;
    while (line.text[n]) ++n;
    line.length = n;
    line.cursor = cursor > n ? n : cursor;
    if (line.cursor > 0 && line.cursor < n && LowSurrogate(line.text[line.cursor])) --line.cursor;
}

bool LineInsert(EditLine& line, char32_t ch) {
    size_t units = ch >= 0x10000 ? 2 : 1;
    if (line.length + units >= LINE_UNITS) return false;
    std::memmove(line.text + line.cursor + units, line.text + line.cursor,
                 (line.length - line.cursor + 1) * sizeof(WCHAR));
    if (units == 2) {
        line.text[line.cursor] = WCHAR(0xD800 + ((ch - 0x10000) >> 10));
        line.text[line.cursor + 1] = WCHAR(0xDC00 + ((ch - 0x10000) & 0x3FF));
    } else {
        line.text[line.cursor] = WCHAR(ch);
    }
    line.length += units;
    line.cursor += units;
    return true;
}

void LineBackspace(EditLine& line) {
    size_t units = UnitsBefore(line, line.cursor);
    line.cursor -= units;
    Remove(line, line.cursor, units);
}

void LineDelete(EditLine& line) {
    Remove(line, line.cursor, UnitsAt(line, line.cursor));
}
void LineMoveLeft(EditLine& line) {
    line.cursor -= UnitsBefore(line, line.cursor);
}
void LineMoveRight(EditLine& line) {
    line.cursor += UnitsAt(line, line.cursor);
}
void LineMoveHome(EditLine& line) {
    line.cursor = 0;
}
void LineMoveEnd(EditLine& line) {
    line.cursor = line.length;
}

std::string LineUtf8(const EditLine& line, size_t from, size_t to) {
    if (to > line.length) to = line.length;
    if (from >= to) return "";
    return standin::ToUtf8(std::u16string(line.text + from, line.text + to));
}

size_t LineColumns(const EditLine& line, size_t to) {
    size_t columns = 0;
    for (size_t i = 0; i < to && i < line.length; ++i) {
        char32_t ch = line.text[i];
        if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < line.length && LowSurrogate(line.text[i + 1]))
            ch = 0x10000 + ((ch - 0xD800) << 10) + (line.text[++i] - 0xDC00);
        columns += CharacterColumns(ch);
    }
    return columns;
}

} // namespace demo
