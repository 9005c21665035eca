// The byte sequences a terminal sends for the keys the host offers to the plugin (xterm and its
// descendants; the sequences are listed in keydecoder.h), and the way back from a key to the
// bytes that stand for it, for scenarios.
#pragma once

#include <string>
#include <vector>

#include "hostkeys.h"

namespace demo {

struct KeySequence {
    std::string bytes;
    // Sent only by terminals that report modified keys in full (xterm's modifyOtherKeys, the
    // "CSI u" form of kitty, foot and others), not by a terminal in its default setting.
    bool reportedKeysOnly = false;
};

// Every sequence the host binds to its key handler: control characters, Alt with a character
// (ESC first), the cursor, editing and function keys with every modifier, and the full reports
// of modified keys. Plain characters are not among them: they are typed, not offered.
std::vector<KeySequence> TerminalKeySequences();
// The bytes of a key as an xterm sends it; a combination without a classic form gets its full
// report ("CSI code ; modifiers u").
std::string EncodeKey(const Key& key);

} // namespace demo
