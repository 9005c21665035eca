// The expand action: replaces the reference at the caret by the host's expansion of it.
#pragma once

#include "../host/host.h"

// The longest reference handed to the host for expansion; a longer one is refused. Its expansion
// may be as long as the line has room for.
constexpr size_t MAX_REFERENCE_LENGTH = 8191;

//   result  meaning
//   ------  --------------------------------------------------------------------
//      1    done: the reference replaced, the caret after the expansion, redraw 1
//      0    nothing done: empty line, caret outside the line, no reference at
//           the caret, a reference of 8,192+ units, the host failed or left its
//           buffer unterminated, or the result is longer than the line
//     -1    the event or its line is missing
// On every result but 1 the line, the caret and redraw are unchanged. The action neither beeps
// nor consumes the key: the keystroke dispatch does both (ExpandExpression).
int ExpandAtCaret(KeyEvent* event);
