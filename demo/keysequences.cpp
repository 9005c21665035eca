// The terminal's key sequences (see keydecoder.h for the forms).
#include "keysequences.h"

#include <set>
#include <tuple>

#include "../standin/wideformat.h"
#include "keydecoder.h"

namespace demo {

const NamedSequence NAMED_SEQUENCES[] = {
    {'P', 0}, {'Q', 0}, {'R', 0}, {'S', 0},                                     // F1-F4
    {0, 15},  {0, 17},  {0, 18},  {0, 19},  {0, 20}, {0, 21}, {0, 23}, {0, 24}, // F5-F12
    {'H', 0}, {'F', 0}, {0, 5},   {0, 6},   // Home End PgUp PgDn
    {0, 2},   {0, 3},                       // Ins Del
    {'A', 0}, {'B', 0}, {'D', 0}, {'C', 0}, // Up Down Left Right
};
static_assert(sizeof NAMED_SEQUENCES / sizeof NAMED_SEQUENCES[0] == NAMED_KEY_COUNT, "ORDER KeyId");
const TildeAlias TILDE_ALIASES[] = {{1, KEY_HOME}, {7, KEY_HOME}, {4, KEY_END}, {8, KEY_END},
                                    {11, KEY_F1},  {12, KEY_F2},  {13, KEY_F3}, {14, KEY_F4}};
const size_t TILDE_ALIAS_COUNT = sizeof TILDE_ALIASES / sizeof TILDE_ALIASES[0];

namespace {

constexpr char ESC = '\x1b';
// xterm's modifier parameters: 1 plus Shift 1, Alt 2, Ctrl 4; 2 to 8 carry at least one.
constexpr int FIRST_MODIFIER = 2, LAST_MODIFIER = 8;

int Parameter(int mods) {
    return 1 + ((mods & MOD_SHIFT) ? 1 : 0) + ((mods & MOD_ALT) ? 2 : 0) +
           ((mods & MOD_CTRL) ? 4 : 0);
}

std::string Csi(const std::string& rest) {
    return std::string(1, ESC) + "[" + rest;
}

// The sequence of a named key with the modifier parameter `m` (1: none).
std::string NamedKeyBytes(int id, int m) {
    const NamedSequence& named = NAMED_SEQUENCES[id - KEY_F1];
    std::string modifier = m > 1 ? ";" + std::to_string(m) : "";
    if (named.number) return Csi(std::to_string(named.number) + modifier + "~");
    if (m > 1) return Csi("1" + modifier + named.ss3);
    bool function = id <= KEY_F4;
    return std::string(1, ESC) + (function ? "O" : "[") + named.ss3;
}

std::string Report(int code, int mods) {
    return Csi(std::to_string(code) + ";" + std::to_string(Parameter(mods)) + "u");
}

// A character key: typed, as a control character, with ESC first for Alt, or reported in full.
std::string CharacterBytes(char32_t ch, int mods) {
    bool alt = mods & MOD_ALT, ctrl = mods & MOD_CTRL, shift = mods & MOD_SHIFT;
    char32_t lower = ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch;
    std::string prefix = alt ? std::string(1, ESC) : "";
    std::string text;
    if (!ctrl) {
        bool letter = lower >= 'a' && lower <= 'z';
        if (shift && !letter) return Report(int(ch), mods);
        standin::AppendUtf8(text, shift ? lower - 'a' + 'A' : ch);
        return prefix + text;
    }
    if (!shift && lower >= 'a' && lower <= 'z') return prefix + char(lower - 'a' + 1);
    if (!shift && (ch == '\\' || ch == ']' || ch == '^' || ch == '_'))
        return prefix + char(ch == '\\' ? 0x1C : ch == ']' ? 0x1D : ch == '^' ? 0x1E : 0x1F);
    return Report(int(lower), mods);
}

// The keys that are control characters or ESC sequences of their own.
std::string SpecialBytes(int id, int mods) {
    const char* plain = id == KEY_BACKSPACE ? "\x7f"
                        : id == KEY_ENTER   ? "\r"
                        : id == KEY_TAB     ? "\t"
                                            : "\x1b";
    int code = id == KEY_BACKSPACE ? 127 : id == KEY_ENTER ? 13 : id == KEY_TAB ? 9 : 27;
    if (mods == 0) return plain;
    if (mods == MOD_ALT) return std::string(1, ESC) + plain;
    if (mods == MOD_SHIFT && id == KEY_TAB) return Csi("Z");
    return Report(code, mods);
}

} // namespace

std::vector<KeySequence> TerminalKeySequences() {
    std::vector<KeySequence> all;
    auto add = [&all](const std::string& bytes, bool reportedOnly = false) {
        all.push_back({bytes, reportedOnly});
    };
    // Control characters (Ctrl with a letter, Tab, Enter, ...), and Backspace.
    for (int b = 1; b < 0x20; ++b)
        if (b != ESC) add(std::string(1, char(b)));
    add("\x7f");
    // Alt: ESC and a character, a control character, Backspace or ESC.
    for (int b = 1; b < 0x7F; ++b) add(std::string(1, ESC) + char(b));
    add(std::string(1, ESC) + '\x7f');
    // Cursor, editing and function keys, alone, with modifiers, and with ESC first (Alt).
    for (int id = KEY_F1; id <= KEY_RIGHT; ++id) {
        for (int m = 1; m <= LAST_MODIFIER; ++m) add(NamedKeyBytes(id, m));
        add(std::string(1, ESC) + NamedKeyBytes(id, 1));
        if (NAMED_SEQUENCES[id - KEY_F1].ss3 && id > KEY_F4)
            add(std::string(1, ESC) + "O" + NAMED_SEQUENCES[id - KEY_F1].ss3);
        if (id >= KEY_F1 && id <= KEY_F4) add(Csi(std::to_string(11 + id - KEY_F1) + "~"));
    }
    add(Csi("1~"));
    add(Csi("4~"));
    add(Csi("Z"));
    // Full reports of modified keys: both forms, every modifier, the printable characters and
    // Tab, Enter, Esc and Backspace.
    for (int m = FIRST_MODIFIER; m <= LAST_MODIFIER; ++m) {
        for (int c = 9; c < 0x7F; ++c) {
            if (c > 13 && c < 0x20 && c != 27) continue;
            if (c == 10 || c == 11 || c == 12) continue;
            std::string modifier = std::to_string(m);
            add(Csi("27;" + modifier + ";" + std::to_string(c) + "~"), true);
            add(Csi(std::to_string(c) + ";" + modifier + "u"), true);
        }
        add(Csi("27;" + std::to_string(m) + ";127~"), true);
        add(Csi("127;" + std::to_string(m) + "u"), true);
    }
    return all;
}

// The byte the terminal turns into a stop signal while the editor runs (Ctrl-Z, job control).
// Ctrl-C arrives as a key: as a signal it would also reach the processes that started the host
// (make, a shell script) and end them.
constexpr char SUSPEND_BYTE = 0x1A;

bool DeliversKey(const Key& key) {
    static const std::set<std::tuple<int, char32_t, int>> delivered = [] {
        std::set<std::tuple<int, char32_t, int>> keys;
        for (const KeySequence& sequence : TerminalKeySequences()) {
            const std::string& bytes = sequence.bytes;
            if (bytes.find(SUSPEND_BYTE) != std::string::npos) continue;
            Key decoded;
            DecodeKey(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true,
                      &decoded);
            keys.insert({decoded.id, decoded.ch, decoded.mods});
        }
        return keys;
    }();
    return delivered.count({key.id, key.ch, key.mods}) != 0;
}

std::string EncodeKey(const Key& key) {
    if (key.id == KEY_CHAR) return CharacterBytes(key.ch, key.mods);
    if (key.id >= KEY_F1 && key.id <= KEY_RIGHT) return NamedKeyBytes(key.id, Parameter(key.mods));
    if (key.id >= KEY_BACKSPACE && key.id <= KEY_ESC) return SpecialBytes(key.id, key.mods);
    return "";
}

} // namespace demo
