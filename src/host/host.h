// The boundary with the host command processor: the functions its library TakeCmd.dll offers
// the plugin, and the record it hands over for every keystroke.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "../platform/platform.h"

// One keystroke and the edit line, as the host lays it out (64-bit).
struct KeyEvent {
    int32_t keyCode;        // host key code; 0 = none. Set to 0 to consume the key.
    uint8_t hostFields[20]; // the host's own; never touched
    WCHAR* line;            // edit line, zero-terminated, rewritten in place
    WCHAR* cursor;          // caret inside line
    int32_t redraw;         // set to 1 after changing line
    int32_t alignment;      //
    WCHAR* keyName;         // hosts 24 and later: the key's name, writable, may be null
};

static_assert(offsetof(KeyEvent, keyCode) == 0, "KeyEvent.keyCode");
static_assert(offsetof(KeyEvent, hostFields) == 4, "KeyEvent host fields");
static_assert(offsetof(KeyEvent, line) == 24, "KeyEvent.line");
static_assert(offsetof(KeyEvent, cursor) == 32, "KeyEvent.cursor");
static_assert(offsetof(KeyEvent, redraw) == 40, "KeyEvent.redraw");
static_assert(offsetof(KeyEvent, keyName) == 48, "KeyEvent.keyName");
static_assert(sizeof(KeyEvent) == 56, "KeyEvent size");

// The host's edit line holds this many units, the terminator included.
constexpr size_t EDIT_LINE_CAPACITY = 65536;

// The longest line: the edit line less its terminator. Every limit on the line's length, in the
// plugin, its tests and the demo host, is this one.
constexpr int32_t MAX_LINE_LENGTH = int32_t(EDIT_LINE_CAPACITY - 1);

// Units of every buffer handed to ExpandVariables or Evaluate. Neither call is told a capacity,
// and a host may write as much as its edit line holds (a long PATH, %@repeat[x,9000]), so each
// buffer has room for the whole line; a smaller one would let the host write over the stack.
constexpr size_t HOST_BUFFER_CAPACITY = EDIT_LINE_CAPACITY;

// The host's functions. Text is UTF-16; results are ignored unless stated.
extern "C" {
// Expands the buffer's variables and functions in place; 0 = success. `flag` is always 1.
int ExpandVariables(WCHAR* buffer, int flag);
// Replaces the arithmetic expression in a 65,536-unit buffer by its value; 0 = success.
int Evaluate(WCHAR* buffer);
// Formatted output to standard output (%s wide text, %d and %u 32-bit integers).
int Printf(const WCHAR* format, ...);
// Formatted output to a handle; the plugin always passes the standard error handle.
int Qprintf(HANDLE handle, const WCHAR* format, ...);
// Writes the text unchanged to standard output, with no line end.
int QPuts(const WCHAR* text);
// The host's own beep.
void honk(void);
// Drops the display of the edit line from `position` on, before the plugin rewrites it.
void ClearEditLine(WCHAR* position);
}
