// The host's key codes. Function, cursor and editing keys come from a table; characters follow
// the PC keyboard: Ctrl with a letter is its control character, Alt with a letter 0x10000 plus
// the letter's scan code, Alt with a digit 0x100E2 on. Combinations with Ctrl and Shift or Ctrl
// and Alt carry the code of the key with one of the two modifiers; the plugin tells them apart
// by the keyboard state it reads, and ORs in its own bits.
#include "hostkeys.h"

#include "../standin/wideformat.h"

#include <cctype>

namespace demo {
namespace {

// Columns: none, Shift-, Ctrl-, Alt-, Ctrl-Shift-, Ctrl-Alt-, Ctrl-Alt-Shift-; 0 = no code.
// ORDER: KeyId from KEY_F1.
struct NamedKey {
    const char* name;
    int32_t codes[7];
};
const NamedKey NAMED_KEYS[] = {
    {"F1", {0x1003B, 0x10054, 0x1005E, 0x10068, 0x10054, 0x1005E, 0x1005E}},
    {"F2", {0x1003C, 0x10055, 0x1005F, 0x10069, 0x10055, 0x1005F, 0x1005F}},
    {"F3", {0x1003D, 0x10056, 0x10060, 0x1006A, 0x10056, 0x10060, 0x10060}},
    {"F4", {0x1003E, 0x10057, 0x10061, 0x1006B, 0x10057, 0x10061, 0x10061}},
    {"F5", {0x1003F, 0x10058, 0x10062, 0x1006C, 0x10058, 0x10062, 0x10062}},
    {"F6", {0x10040, 0x10059, 0x10063, 0x1006D, 0x10059, 0x10063, 0x10063}},
    {"F7", {0x10041, 0x1005A, 0x10064, 0x1006E, 0x1005A, 0x10064, 0x10064}},
    {"F8", {0x10042, 0x1005B, 0x10065, 0x1006F, 0x1005B, 0x10065, 0x10065}},
    {"F9", {0x10043, 0x1005C, 0x10066, 0x10070, 0x1005C, 0x10066, 0x10066}},
    {"F10", {0x10044, 0x1005D, 0x10067, 0x10071, 0x1005D, 0x10067, 0x10067}},
    {"F11", {0x10085, 0x10087, 0x10089, 0x1008B, 0x10087, 0x10089, 0x10089}},
    {"F12", {0x10086, 0x10088, 0x1008A, 0x1008C, 0x10088, 0x1008A, 0x1008A}},
    {"Home", {0x10047, 0x100CA, 0x10077, 0, 0x100CA, 0x10077, 0x10077}},
    {"End", {0x1004F, 0x100CB, 0x10075, 0, 0x100CB, 0x10075, 0x10075}},
    {"PgUp", {0x10049, 0, 0x10084, 0, 0x10049, 0x10084, 0x10084}},
    {"PgDn", {0x10051, 0, 0x10076, 0, 0x10051, 0x10076, 0x10076}},
    {"Ins", {0x10052, 0, 0, 0, 0x10052, 0x10092, 0x10092}},
    {"Del", {0x10053, 0, 0x10093, 0, 0x10053, 0, 0x10093}},
    {"Up", {0x10048, 0, 0x1008D, 0, 0x10048, 0x1008D, 0x1008D}},
    {"Down", {0x10050, 0, 0x10091, 0, 0x10050, 0x10091, 0x10091}},
    {"Left", {0x1004B, 0x100C8, 0x10073, 0x100F4, 0x100CC, 0x10073, 0x10073}},
    {"Right", {0x1004D, 0x100C9, 0x10074, 0x100F6, 0x100CD, 0x10074, 0x10074}},
    {"Backspace", {0x8, 0x87F, 0x7F, 0x1000E, 0x1000E, 0x1000E, 0x1000E}},
    {"Enter", {0xD, 0x80D, 0xC0D, 0, 0x80D, 0x1080D, 0x1080D}},
    {"Tab", {0x9, 0x1000F, 0, 0, 0, 0, 0}},
    {"Esc", {0x1B, 0, 0, 0, 0, 0, 0}},
};
static_assert(sizeof NAMED_KEYS / sizeof NAMED_KEYS[0] == KEY_ESC - KEY_F1 + 1, "ORDER KeyId");

// Other names a script may use for a key.
struct Alias {
    const char* name;
    int id;
};
const Alias ALIASES[] = {
    {"PageUp", KEY_PGUP},    {"PageDown", KEY_PGDN}, {"Insert", KEY_INS}, {"Delete", KEY_DEL},
    {"BkSp", KEY_BACKSPACE}, {"Return", KEY_ENTER},  {"Escape", KEY_ESC},
};

// Names of character keys, as the key tables of both host generations spell them.
struct CharacterName {
    const char* name;
    char ch;
};
const CharacterName CHARACTER_NAMES[] = {
    {"Grave", '`'},       {"Backquote", '`'},  {"Minus", '-'},     {"Plus", '='},
    {"Equals", '='},      {"Backslash", '\\'}, {"Semicolon", ';'}, {"Semi", ';'},
    {"Apostrophe", '\''}, {"Apos", '\''},      {"Comma", ','},     {"Period", '.'},
    {"Dot", '.'},         {"Slash", '/'},      {"Divide", '/'},    {"Decimal", '.'},
};

// Alt and Ctrl codes of the punctuation keys on hosts before 24; 0 = none. Ctrl-Alt carries the
// Alt code, as do Ctrl-Shift with the grave accent.
struct PunctuationKey {
    char ch;
    int32_t ctrl, alt;
};
const PunctuationKey PUNCTUATION_KEYS[] = {
    {'`', 0, 0x10029},     {'-', 0, 0x10082}, {'[', 0, 0x1001A},  {']', 0, 0x1001B},
    {'\\', 0x1C, 0x1002B}, {';', 0, 0x10027}, {'\'', 0, 0x10028}, {',', 0, 0x10033},
    {'.', 0, 0x10034},     {'/', 0, 0x10035},
};

// The scan codes of the letters, by keyboard row.
struct ScanRow {
    const char* letters;
    int first;
};
const ScanRow SCAN_ROWS[] = {{"QWERTYUIOP", 0x10}, {"ASDFGHJKL", 0x1E}, {"ZXCVBNM", 0x2C}};

enum Column { NONE, SHIFT, CTRL, ALT, CTRL_SHIFT, CTRL_ALT, CTRL_ALT_SHIFT };

// Alt with Shift has no column of its own: the host gives the Alt code.
Column ColumnOf(int mods) {
    static const Column columns[8] = {NONE, SHIFT, CTRL,     CTRL_SHIFT,
                                      ALT,  ALT,   CTRL_ALT, CTRL_ALT_SHIFT};
    return columns[mods & 7];
}

int ScanCode(char letter) {
    for (const ScanRow& row : SCAN_ROWS)
        for (int i = 0; row.letters[i]; ++i)
            if (row.letters[i] == letter) return row.first + i;
    return 0;
}

bool EqualFolded(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

// Ctrl, Alt and both: the codes of a letter, digit or "=" (others have none).
int32_t CharacterCode(char32_t ch, Column column) {
    bool plain = column == NONE || column == SHIFT;
    if (plain) return ch < 0x10000 ? int32_t(ch) : 0;
    bool alt = column == ALT || column == CTRL_ALT || column == CTRL_ALT_SHIFT;
    if (ch < 0x80 && std::isalpha(int(ch))) {
        char upper = char(std::toupper(int(ch)));
        return alt ? 0x10000 + ScanCode(upper) : upper - 0x40;
    }
    if (ch >= '0' && ch <= '9') {
        int index = ch == '0' ? 9 : int(ch - '1');
        return (alt ? 0x100E2 : 0xE2) + index;
    }
    if (ch == '=') return column == ALT ? 0x10083 : alt ? 0x108BB : 0x8BB;
    for (const PunctuationKey& key : PUNCTUATION_KEYS)
        if (char32_t(key.ch) == ch)
            return alt || (ch == '`' && column == CTRL_SHIFT) ? key.alt : key.ctrl;
    return 0;
}

std::string Utf8(char32_t ch) {
    std::string out;
    standin::AppendUtf8(out, ch);
    return out;
}

} // namespace

int32_t HostKeyCode(const Key& key) {
    if (key.id == KEY_CHAR) return CharacterCode(key.ch, ColumnOf(key.mods));
    if (key.id < KEY_F1 || key.id > KEY_ESC) return 0;
    return NAMED_KEYS[key.id - KEY_F1].codes[ColumnOf(key.mods)];
}

std::string HostKeyName(const Key& key) {
    static const char* const prefixes[8] = {"",     "Shift-",     "Ctrl-",     "Ctrl-Shift-",
                                            "Alt-", "Shift-Alt-", "Ctrl-Alt-", "Ctrl-Alt-Shift-"};
    std::string base;
    if (key.id == KEY_CHAR)
        base = key.ch == ' ' ? "Space"
                             : Utf8(key.ch < 0x80 ? char32_t(std::toupper(int(key.ch))) : key.ch);
    else if (key.id >= KEY_F1 && key.id <= KEY_ESC)
        base = NAMED_KEYS[key.id - KEY_F1].name;
    else
        return "";
    return prefixes[key.mods & 7] + base;
}

bool PassedByName(const Key& key) {
    return (key.mods & (MOD_CTRL | MOD_ALT)) != 0 || (key.id >= KEY_F1 && key.id <= KEY_F12);
}

Key KeyFromName(const std::string& name) {
    Key key;
    size_t start = 0;
    // Every hyphen that has text on both sides ends a modifier word.
    for (size_t hyphen;
         (hyphen = name.find('-', start + 1)) != std::string::npos && hyphen + 1 < name.size();
         start = hyphen + 1) {
        std::string word = name.substr(start, hyphen - start);
        if (EqualFolded(word, "Shift"))
            key.mods |= MOD_SHIFT;
        else if (EqualFolded(word, "Ctrl"))
            key.mods |= MOD_CTRL;
        else if (EqualFolded(word, "Alt"))
            key.mods |= MOD_ALT;
        else
            return Key();
    }
    std::string base = name.substr(start);
    for (int id = KEY_F1; id <= KEY_ESC; ++id)
        if (EqualFolded(base, NAMED_KEYS[id - KEY_F1].name)) key.id = id;
    for (const Alias& alias : ALIASES)
        if (EqualFolded(base, alias.name)) key.id = alias.id;
    if (EqualFolded(base, "Space")) base = " ";
    for (const CharacterName& character : CHARACTER_NAMES)
        if (EqualFolded(base, character.name)) base = std::string(1, character.ch);
    if (key.id == KEY_NONE && base.size() == 1 && base[0] > 0x20 && base[0] < 0x7F) {
        key.id = KEY_CHAR;
        key.ch = char32_t((key.mods & MOD_SHIFT) ? std::toupper(base[0]) : std::tolower(base[0]));
    } else if (key.id == KEY_NONE && base == " ") {
        key.id = KEY_CHAR;
        key.ch = ' ';
    }
    if (key.id == KEY_NONE) key.mods = 0;
    return key;
}

} // namespace demo
