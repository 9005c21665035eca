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
    for (size_t i = 0; i < to && i < line.length; ++i) columns += !LowSurrogate(line.text[i]);
    return columns;
}

} // namespace demo
