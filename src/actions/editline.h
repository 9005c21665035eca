// The host's edit line as the two actions change it: the caret's index, the one splice that puts
// new text in place of a stretch of the line, deletion and insertion with their caret rules, and
// the check of an answer the host wrote into one of the plugin's buffers.
#pragma once

#include "../host/host.h"

// The line's length in units, reading at most MAX_LINE_LENGTH of them.
size_t EditLineLength(const WCHAR* line);

// The caret's index in the event's line, in units, or -1 when `line` or `cursor` is null, or the
// caret stands before the line, between two units, or past the line's terminator. Reads at most
// MAX_LINE_LENGTH units of the line.
int32_t CaretIndex(const KeyEvent* event);

// The same for a line already known to hold `length` units: the line is long, and each pass over
// it counts on a keystroke. The event and its line are not null; a null caret is the address 0,
// before any line.
int32_t CaretIndexIn(const KeyEvent* event, size_t length);

// True when putting `added` units in place of `removed` units of a line of `length` units leaves
// a line of at most MAX_LINE_LENGTH units. `removed` is at most `length`.
bool SpliceFits(size_t length, size_t removed, size_t added);

// Puts the `textLength` units of `text` in place of the `removed` units at `first` of a line of
// `length` units: the rest of the line moves once, then the text is copied in and the line
// terminated. The caller has checked SpliceFits, that first + removed <= length, and that the
// text does not lie inside the line. Leaves the caret and the host's display alone.
void SpliceLine(WCHAR* line, size_t length, size_t first, size_t removed, const WCHAR* text,
                size_t textLength);

// The length of the answer the host left in a buffer of HOST_BUFFER_CAPACITY units, or -1 when it
// filled the whole buffer: a text without its terminator cannot be trusted whole.
int32_t HostAnswerLength(const WCHAR* buffer);

// Removes `count` units at `index` from the line and moves the caret accordingly.
void DeleteFromLine(KeyEvent* event, uint32_t index, uint32_t count);

// Inserts `text` before the unit at `index` and moves the caret accordingly.
void InsertIntoLine(KeyEvent* event, const WCHAR* text, uint32_t index);
