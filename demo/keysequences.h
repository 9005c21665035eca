// The byte sequences a terminal sends for the keys the host offers to the plugin (xterm and its
// descendants; the sequences are listed in keydecoder.h), and the way back from a key to the
// bytes that stand for it, for scenarios.
#pragma once

#include <string>
#include <vector>

#include "hostkeys.h"

namespace demo {

// How xterm sends a named key (KEY_F1 to KEY_RIGHT): "CSI final" or "SS3 final" (with
// modifiers "CSI 1 ; m final"), or "CSI number ~" (with modifiers "CSI number ; m ~"). The
// decoder reads the same table. ORDER: KeyId from KEY_F1 to KEY_RIGHT.
struct NamedSequence {
    char ss3;   // the final byte after SS3 (F1-F4) or CSI (cursor keys); 0 for the "~" form
    int number; // the number of the "~" form
};
constexpr int NAMED_KEY_COUNT = KEY_RIGHT - KEY_F1 + 1;
extern const NamedSequence NAMED_SEQUENCES[];
// The other "CSI number ~" forms that terminals send (rxvt's, the VT220's): read, never sent.
struct TildeAlias {
    int number;
    int id;
};
extern const TildeAlias TILDE_ALIASES[];
extern const size_t TILDE_ALIAS_COUNT;

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
// Whether some terminal can send the key to this host: in its classic form, or in the full
// report of a modified key that some terminals send. A key whose sequence holds the byte the
// terminal turns into a stop signal (Ctrl-Z: the prompt keeps job control) never arrives.
bool DeliversKey(const Key& key);
// The bytes of a key as an xterm sends it; a combination without a classic form gets its full
// report ("CSI code ; modifiers u").
std::string EncodeKey(const Key& key);

} // namespace demo
