// Expand at the caret: the reference at the caret is replaced, in place, by the host's expansion
// of it, and the caret is left after the inserted text.
//
// The buffers handed to the host (the reference and its expansion, the escape query) hold a
// whole edit line each, because the host is not told their size; they are per call, on the
// stack, in two frames that are never live at once (128 KiB at most), and keep nothing between
// keystrokes.
#include "expand.h"

#include <assert.h>

#include "../host/escapechar.h"
#include "../host/silenced.h"
#include "editline.h"
#include "locator.h"
#include "widetext.h"

namespace {

// Has the host expand the `referenceLength` units at `first` of a line of `lineLength` units and
// splices the expansion in their place. False, with the line and caret untouched, when the host
// fails, leaves its buffer without a terminator, or gives more than the line has room for.
[[gnu::noinline]] bool ReplaceByExpansion(KeyEvent* event, size_t lineLength, size_t first,
                                          size_t referenceLength) {
    WCHAR reference[HOST_BUFFER_CAPACITY] = {};
    WideCopyCount(reference, HOST_BUFFER_CAPACITY, event->line + first, referenceLength);

    if (ExpandSilently(reference) != 0) return false;
    int32_t expansionLength = HostAnswerLength(reference);
    if (expansionLength < 0) return false;
    // An expansion that would push the line past its capacity is refused, so that nothing the
    // user typed is lost.
    if (!SpliceFits(lineLength, referenceLength, size_t(expansionLength))) return false;

    // One splice of the measured line: the caret, inside the reference, ends after the text.
    ClearEditLine(event->line + first);
    SpliceLine(event->line, lineLength, first, referenceLength, reference, size_t(expansionLength));
    event->cursor = event->line + first + expansionLength;
    event->redraw = 1;
    return true;
}

} // namespace

int ExpandAtCaret(KeyEvent* event) {
    if (!event || !event->line) return -1;
    WCHAR* line = event->line;
    if (line[0] == 0) return 0;
    size_t lineLength = EditLineLength(line);
    int32_t caret = CaretIndexIn(event, lineLength);
    if (caret < 0) return 0;

    WCHAR escape = GetEscapeChar();
    ReferenceSpan span = LocateReferenceIn(line, int32_t(lineLength), caret, escape);
    if (span.first < 0) return 0;
    // The locator finds a span of the line around the caret or none; should it not, the
    // keystroke refuses.
    bool inLine = span.last >= span.first && size_t(span.last) < lineLength &&
                  span.first <= caret && caret <= span.last + 1;
    assert(inLine);
    if (!inLine) return 0;

    // An over-long reference is refused, not cut.
    size_t referenceLength = size_t(span.last - span.first) + 1;
    if (referenceLength > MAX_REFERENCE_LENGTH) return 0;
    return ReplaceByExpansion(event, lineLength, size_t(span.first), referenceLength) ? 1 : 0;
}
