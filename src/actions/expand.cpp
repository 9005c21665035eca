// Expand at cursor: the reference at the caret is replaced, in place, by the host's expansion of
// it, and the caret is left after the inserted text.
//
// The line is spliced in place (the suffix moved once, then the new text copied in) rather than
// rebuilt in a second 65,536-unit buffer: the result is the same, and the keystroke needs no
// second line-sized buffer. The buffers handed to the host (the reference and its expansion, the
// escape query) hold a whole edit line each, because the host is not told their size; they are
// per call, on the stack, in two frames that are never live at once (128 KiB at most), and keep
// nothing between keystrokes.
#include "expand.h"

#include "../plugin/beep.h"
#include "../plugin/dispatch.h"
#include "../plugin/silenced.h"
#include "locator.h"
#include "widetext.h"

#include <string.h>

namespace {

// The escape character when the host reports none that can serve.
constexpr WCHAR DEFAULT_ESCAPE = '^';

// The edit line's length, reading at most MAX_LINE_LENGTH units.
size_t LineLength(const WCHAR* line) {
    return WideLength(line, MAX_LINE_LENGTH);
}

// The caret's index in a line of `length` units (see CursorIndex), for callers that know the
// length already: the line is long, and each pass over it counts on a keystroke.
int32_t CaretIn(const KeyEvent* event, size_t length) {
    if (!event->line || !event->cursor) return -1;
    uintptr_t line = reinterpret_cast<uintptr_t>(event->line);
    uintptr_t cursor = reinterpret_cast<uintptr_t>(event->cursor);
    if (cursor < line) return -1;
    uintptr_t bytes = cursor - line;
    if (bytes % sizeof(WCHAR) != 0 || bytes / sizeof(WCHAR) > length) return -1;
    return int32_t(bytes / sizeof(WCHAR));
}

// Has the host expand the `referenceLength` units at `first` of a line of `lineLength` units and
// splices the expansion in their place. False, with the line and caret untouched, when the host
// fails, leaves its buffer without a terminator, or gives more than the line has room for.
[[gnu::noinline]] bool ReplaceByExpansion(KeyEvent* event, size_t lineLength, size_t first,
                                          size_t referenceLength) {
    WCHAR reference[HOST_BUFFER_CAPACITY] = {};
    WideCopyCount(reference, HOST_BUFFER_CAPACITY, event->line + first, referenceLength);

    if (ExpandSilently(reference) != 0) return false;
    // A host that filled the whole buffer left no terminator: its text cannot be trusted whole.
    if (reference[HOST_BUFFER_CAPACITY - 1] != 0) return false;
    size_t expansionLength = WideLength(reference, HOST_BUFFER_CAPACITY - 1);
    // An expansion that would push the line past its capacity is refused, so that nothing the
    // user typed is lost.
    if (lineLength - referenceLength + expansionLength > MAX_LINE_LENGTH) return false;

    DeleteFromLine(event, uint32_t(first), uint32_t(referenceLength));
    InsertIntoLine(event, reference, uint32_t(first));
    return true;
}

// The expand action proper: true when the line now holds the expansion, false (the line and
// caret untouched) when there is nothing to expand or the result cannot be had or does not fit.
bool ExpandAtCaret(KeyEvent* event) {
    WCHAR* line = event->line;
    if (!line || line[0] == 0) return false;
    size_t lineLength = LineLength(line);
    int32_t caret = CaretIn(event, lineLength);
    if (caret < 0) return false;

    WCHAR escape = GetEscapeChar();
    ReferenceSpan span = LocateReference(line, caret, escape);
    if (span.first < 0 || span.last < span.first || size_t(span.last) >= lineLength) return false;

    // An over-long reference is refused, not cut.
    size_t referenceLength = size_t(span.last - span.first) + 1;
    if (referenceLength > MAX_REFERENCE_LENGTH) return false;
    return ReplaceByExpansion(event, lineLength, size_t(span.first), referenceLength);
}

} // namespace

int32_t CursorIndex(const KeyEvent* event) {
    if (!event || !event->line) return -1;
    return CaretIn(event, LineLength(event->line));
}

//   step                          effect
//   ----------------------------  ----------------------------------------------------------
//   no line, empty line           beep
//   caret outside the line        beep
//   no reference at the caret     beep
//   reference of 8,192+ units     beep
//   host reports failure          beep
//   host buffer left unterminated beep
//   result longer than the line   beep
//   otherwise                     reference replaced, caret after the expansion, redraw 1
// The key is consumed on every path; the line and caret are untouched on every beep.
int ExpandExpression(KeyEvent* event) {
    if (!event) return 0;
    if (!ExpandAtCaret(event)) SoundErrorBeep();
    ConsumeKey(event);
    return 0;
}

// Kept out of the action's frame, so that its host buffer and the reference's are never on the
// stack at once.
[[gnu::noinline]] WCHAR GetEscapeChar() {
    WCHAR query[HOST_BUFFER_CAPACITY] = {};
    WideCopy(query, HOST_BUFFER_CAPACITY, WIDE("%@option[EscapeChar]"));
    // Asked without silencing: the escape option is plain host state, and its result is not
    // looked at, only the text left in the buffer.
    ExpandVariables(query, 1);
    if (query[0] != 0 && query[1] == 0 && !WideIsAlnum(query[0])) return query[0];
    return DEFAULT_ESCAPE;
}

// Removes count units at index. A span reaching past the line's end is cut at the end; an
// index past the end removes nothing. The caret moves left by count when it stood at or after
// the span's end, to index when it stood inside it, and stays otherwise. A caret outside the
// line changes nothing at all.
void DeleteFromLine(KeyEvent* event, uint32_t index, uint32_t count) {
    if (!event || !event->line) return;
    WCHAR* line = event->line;
    size_t length = LineLength(line);
    int32_t caret = CaretIn(event, length);
    if (caret < 0) return;
    size_t from = index < length ? index : length;
    size_t removed = count < length - from ? count : length - from;

    ClearEditLine(line + from);
    memmove(line + from, line + from + removed, (length - from - removed) * sizeof(WCHAR));
    line[length - removed] = 0;

    uint64_t spanEnd = uint64_t(index) + count;
    if (uint64_t(caret) >= spanEnd)
        caret -= int32_t(count);
    else if (uint32_t(caret) > index)
        caret = int32_t(index);
    event->cursor = line + caret;
    event->redraw = 1;
}

// Inserts text before the unit at index (at the end when index is past it). The caret moves
// right by the text's length when it stood at or after index. A text that would make the line
// longer than MAX_LINE_LENGTH, a null text or a caret outside the line changes nothing. The
// text must not lie inside the line.
void InsertIntoLine(KeyEvent* event, const WCHAR* text, uint32_t index) {
    if (!event || !event->line || !text) return;
    WCHAR* line = event->line;
    size_t length = LineLength(line);
    int32_t caret = CaretIn(event, length);
    if (caret < 0) return;
    size_t textLength = WideLength(text, MAX_LINE_LENGTH + 1);
    if (length + textLength > MAX_LINE_LENGTH) return;
    size_t at = index < length ? index : length;

    memmove(line + at + textLength, line + at, (length - at) * sizeof(WCHAR));
    for (size_t i = 0; i < textLength; ++i) line[at + i] = text[i];
    line[length + textLength] = 0;

    if (uint32_t(caret) >= index) caret += int32_t(textLength);
    event->cursor = line + caret;
    event->redraw = 1;
}
