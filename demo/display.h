// What the user sees: the prompt line in the terminal, or, in script mode, one trace line per
// keystroke and per edit line; the bell; the help message box.
#pragma once

#include <cstdint>
#include <string>

#include "session.h"

namespace demo {

// Writes host text (UTF-8; line ends as "\r\n") to standard output.
void Say(const std::string& text);
// Shows the prompt and the whole line with the caret in place.
void ShowLine(const Session& session);
// Shows the line again from unit `from` on (the rest of the row is unchanged).
void ShowLineFrom(const Session& session, size_t from);
// Script mode: the key as decoded, what the host passed to `key`, the modifier state the
// keyboard reported, and whether the plugin took it.
void TraceKey(const Key& key, int32_t code, const std::string& name, bool consumed);
// Script mode: the edit line and the caret index.
void TraceLine(const Session& session);
// The terminal bell (script mode: a "bell" line).
void RingBell();
// Draws a framed box with the caption and text, and waits for a key (not in script mode).
int ShowMessageBox(const std::u16string& text, const std::u16string& caption);

} // namespace demo
