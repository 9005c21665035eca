// The demo host's keys: one decoded keystroke, the host key code it carries, its name as newer
// hosts pass it, and the reverse lookup of a name (for scripts).
#pragma once

#include <cstdint>
#include <string>

namespace demo {

// Modifier bits of a decoded key.
enum : int { MOD_SHIFT = 1, MOD_CTRL = 2, MOD_ALT = 4 };

// The keys the host knows besides characters. ORDER: the rows of the table in hostkeys.cpp.
enum KeyId : int {
    KEY_NONE, // nothing usable was decoded
    KEY_CHAR, // a character; `ch` holds it (letters as typed, upper case with Shift)
    KEY_F1,
    KEY_F2,
    KEY_F3,
    KEY_F4,
    KEY_F5,
    KEY_F6,
    KEY_F7,
    KEY_F8,
    KEY_F9,
    KEY_F10,
    KEY_F11,
    KEY_F12,
    KEY_HOME,
    KEY_END,
    KEY_PGUP,
    KEY_PGDN,
    KEY_INS,
    KEY_DEL,
    KEY_UP,
    KEY_DOWN,
    KEY_LEFT,
    KEY_RIGHT,
    KEY_BACKSPACE,
    KEY_ENTER,
    KEY_TAB,
    KEY_ESC,
};

struct Key {
    int id = KEY_NONE;
    char32_t ch = 0; // KEY_CHAR only
    int mods = 0;    // MOD_ bits
};

// The host's key code of the key with its modifiers, without the plugin's own modifier bits
// (the plugin adds those from the keyboard state); 0 when the host has no code for it.
int32_t HostKeyCode(const Key& key);
// The name a newer host passes with the key ("Ctrl-Alt-F5", "Alt-X"); empty when it has none.
std::string HostKeyName(const Key& key);
// Whether a newer host passes the key by name rather than by code: Alt and Ctrl combinations
// and the function keys.
bool PassedByName(const Key& key);
// The key a name like "Ctrl-Shift-F10", "Alt-x", "Enter" or "Space" stands for; KEY_NONE when
// the name is not one the host knows.
Key KeyFromName(const std::string& name);

} // namespace demo
