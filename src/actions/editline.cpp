// The edit line: the host's 65,536-unit buffer, changed in place during a keystroke. Every change
// is one splice (the tail moved once, then the new text copied in), so no second line-sized buffer
// is needed.
#include "editline.h"

#include "widetext.h"

#include <assert.h>
#include <string.h>

size_t EditLineLength(const WCHAR* line) {
    return WideLength(line, MAX_LINE_LENGTH);
}

int32_t CaretIndex(const KeyEvent* event) {
    if (!event || !event->line) return -1;
    return CaretIndexIn(event, EditLineLength(event->line));
}

// The caret is compared as an address, never read through: a host may hand over a stray pointer.
int32_t CaretIndexIn(const KeyEvent* event, size_t length) {
    assert(event && event->line);
    uintptr_t line = reinterpret_cast<uintptr_t>(event->line);
    uintptr_t caret = reinterpret_cast<uintptr_t>(event->cursor);
    if (caret < line) return -1;
    uintptr_t bytes = caret - line;
    if (bytes % sizeof(WCHAR) != 0 || bytes / sizeof(WCHAR) > length) return -1;
    return int32_t(bytes / sizeof(WCHAR));
}

bool SpliceFits(size_t length, size_t removed, size_t added) {
    return length - removed + added <= size_t(MAX_LINE_LENGTH);
}

void SpliceLine(WCHAR* line, size_t length, size_t first, size_t removed, const WCHAR* text,
                size_t textLength) {
    size_t tail = first + removed;
    memmove(line + first + textLength, line + tail, (length - tail) * sizeof(WCHAR));
    for (size_t i = 0; i < textLength; ++i) line[first + i] = text[i];
    line[length - removed + textLength] = 0;
}

int32_t HostAnswerLength(const WCHAR* buffer) {
    if (buffer[HOST_BUFFER_CAPACITY - 1] != 0) return -1;
    return int32_t(WideLength(buffer, HOST_BUFFER_CAPACITY - 1));
}

// A span reaching past the line's end is cut at the end; an index past the end removes nothing.
// The caret moves left by count when it stood at or after the span's end, to index when it stood
// inside it, and stays otherwise. A caret outside the line changes nothing at all.
void DeleteFromLine(KeyEvent* event, uint32_t index, uint32_t count) {
    if (!event || !event->line) return;
    WCHAR* line = event->line;
    size_t length = EditLineLength(line);
    int32_t caret = CaretIndexIn(event, length);
    if (caret < 0) return;
    size_t from = index < length ? index : length;
    size_t removed = count < length - from ? count : length - from;

    ClearEditLine(line + from);
    SpliceLine(line, length, from, removed, line, 0);

    uint64_t spanEnd = uint64_t(index) + count;
    if (uint64_t(caret) >= spanEnd)
        caret -= int32_t(count);
    else if (uint32_t(caret) > index)
        caret = int32_t(index);
    event->cursor = line + caret;
    event->redraw = 1;
}

// Inserts at the end when index is past it. The caret moves right by the text's length when it
// stood at or after index. A text that would make the line longer than MAX_LINE_LENGTH, a null
// text or a caret outside the line changes nothing. The text must not lie inside the line.
void InsertIntoLine(KeyEvent* event, const WCHAR* text, uint32_t index) {
    if (!event || !event->line || !text) return;
    WCHAR* line = event->line;
    size_t length = EditLineLength(line);
    int32_t caret = CaretIndexIn(event, length);
    if (caret < 0) return;
    size_t textLength = WideLength(text, size_t(MAX_LINE_LENGTH) + 1);
    if (!SpliceFits(length, 0, textLength)) return;
    size_t at = index < length ? index : length;

    SpliceLine(line, length, at, 0, text, textLength);

    if (uint32_t(caret) >= index) caret += int32_t(textLength);
    event->cursor = line + caret;
    event->redraw = 1;
}
