// The terminal under the demo host: raw mode, reading bytes, writing text. The escape sequences
// written are few:
//
//   \r            to the first column
//   ESC [ n C     n columns right
//   ESC [ 0 K     erase to the end of the row
//   \a            the bell
#pragma once

#include <string>

namespace demo {

// Whether standard input is a terminal.
bool TerminalIsInteractive();
// Raw mode on standard input (no echo, no line buffering, no signals from keys); the first call
// also arranges that the terminal is restored at exit and on the signals that end a process.
// False when standard input is no terminal or cannot be switched.
bool TerminalRawOn();
void TerminalRawOff();
// Reads up to `size` bytes; waits at most `timeoutMs` (-1: as long as it takes). Returns the
// count, 0 on timeout, -1 at the end of input.
int TerminalRead(unsigned char* bytes, int size, int timeoutMs);
void TerminalWrite(const std::string& text);
// Columns of the terminal (80 when unknown).
int TerminalColumns();

} // namespace demo
