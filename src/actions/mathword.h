// The math action: replaces the word at the caret by its arithmetic value.
#pragma once

#include "../platform/platform.h"

//   result  meaning
//   ------  --------------------------------------------------------------------
//      1    done: the line holds prefix + result + suffix, *caret is the new caret
//      0    nothing done: empty line, no word at the caret, an empty quoted word,
//           a failed evaluation, a caret outside the line, or a result too long
//           for the line
//     -1    the line or the caret is missing
//     -2    the word is 65,528 units or longer
// On every result but 1 the line and *caret are unchanged. The action neither beeps nor consumes
// the key: the keystroke dispatch does both.
int MathWord(WCHAR* line, int32_t* caret);
