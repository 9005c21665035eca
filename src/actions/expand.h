// The expand action: replaces the reference at the caret by the host's expansion of it.
#pragma once

#include "../host/host.h"

// The longest reference handed to the host for expansion; a longer one is refused with the beep.
// Its expansion may be as long as the line has room for.
constexpr size_t MAX_REFERENCE_LENGTH = 8191;

// The action of the expand hotkey. Always 0; consumes the key on every path.
int ExpandExpression(KeyEvent* event);

// The host's escape character: its one non-alphanumeric character, or "^".
WCHAR GetEscapeChar();

// Removes `count` units at `index` from the line and moves the caret accordingly.
void DeleteFromLine(KeyEvent* event, uint32_t index, uint32_t count);

// Inserts `text` before the unit at `index` and moves the caret accordingly.
void InsertIntoLine(KeyEvent* event, const WCHAR* text, uint32_t index);

// The caret's index in the event's line, in units, or -1 when the line or the cursor is null,
// the cursor stands before the line, between two units, or past the line's terminator. Reads at
// most EDIT_LINE_CAPACITY - 1 units of the line.
int32_t CursorIndex(const KeyEvent* event);
