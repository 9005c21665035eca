// What the user sees besides the edit line, which the line editor draws: host output, the
// scenario traces, the bell and the help message box.
#pragma once

#include <cstdint>
#include <string>

#include "hostkeys.h"

namespace demo {

// A scenario plays (its bell is a "bell" line and a message box waits for no key), or a terminal
// is in use (the default).
void SetScripted(bool scripted);
// Writes host text (UTF-8) to standard output.
void Say(const std::string& text);
// Scenario: the key as decoded, what the host passed to `key`, the modifier state the keyboard
// reported, and whether the plugin took it.
void TraceKey(const Key& key, int32_t code, const std::string& name, bool consumed);
// Scenario: the edit line (UTF-8) and the caret as an index of UTF-16 units.
void TraceLine(const std::string& line, size_t caret);
// The bell: the line editor's, or in a scenario a "bell" line.
void RingBell();
// Draws a framed box with the caption and text and waits for a key (in a terminal); the line
// editor is set aside meanwhile and comes back as it was.
int ShowMessageBox(const std::u16string& text, const std::u16string& caption);

} // namespace demo
