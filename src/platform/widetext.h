// Bounded UTF-16 text helpers shared by the whole plugin.
//
// The C library's wide functions work on 32-bit wchar_t on Linux, so the plugin uses these
// instead. One contract for every bounded helper: `capacity` is the size of the destination in
// units, terminator included; the destination is always terminated when capacity > 0; the result
// says whether the text fitted.
//
//   result  meaning
//   ------  -----------------------------------------------------------------
//      0    the whole text fitted
//     -1    the text was cut at capacity - 1 units (or capacity was 0)
#pragma once

#include "platform.h"

// Number of units before the terminator, counting at most `limit`.
size_t WideLength(const WCHAR* text, size_t limit);

// Copies `source` into `dest`. See the contract above.
int WideCopy(WCHAR* dest, size_t capacity, const WCHAR* source);

// Copies at most `count` units of `source` (fewer if it ends sooner) into `dest`.
int WideCopyCount(WCHAR* dest, size_t capacity, const WCHAR* source, size_t count);

// Appends `source` to the terminated text in `dest`. See the contract above.
int WideAppend(WCHAR* dest, size_t capacity, const WCHAR* source);

// Compares two texts, folding only the ASCII letters a-z to A-Z. Result <0, 0 or >0.
int WideCompareFolded(const WCHAR* a, const WCHAR* b);

// True when the two texts are equal with ASCII-only folding.
bool WideEqualsFolded(const WCHAR* a, const WCHAR* b);

// Upper case of a unit: a-z become A-Z; every other unit, ASCII or not, is unchanged.
WCHAR WideToUpper(WCHAR ch);

// Character tests. Digits are the ASCII digits only (as the C library's classification has it).
bool WideIsDigit(WCHAR ch);
bool WideIsXDigit(WCHAR ch);
// White space: U+0009-U+000D, U+0020, U+00A0, and beyond U+00FF what the platform says.
bool WideIsSpace(WCHAR ch);
// Letters and letters-or-digits: ASCII fixed, beyond it what the platform says.
bool WideIsAlpha(WCHAR ch);
bool WideIsAlnum(WCHAR ch);

// Number conversions with the C library's wcstoul / wcstol rules at 32 bits: leading white
// space skipped, an optional sign, an optional "0x" prefix in base 16, conversion up to the
// first unit that is not a digit of the base. `end` (may be null) receives the first unread unit,
// or `text` when no digits were read. `rangeError` (may be null) is set to 1 when the value does
// not fit (the result is then the extreme of the range), and left alone otherwise.
uint32_t WideToUnsigned(const WCHAR* text, const WCHAR** end, int base, int* rangeError);
int32_t WideToSigned(const WCHAR* text, const WCHAR** end, int base, int* rangeError);
