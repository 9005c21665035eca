// Terminal input to keys; the sequences are listed in keydecoder.h.
#include "keydecoder.h"

#include "keysequences.h"

namespace demo {
namespace {

constexpr unsigned char ESC = 0x1B;
// Parameters of a control sequence beyond this many are ignored.
constexpr int MAX_PARAMS = 4;
constexpr int MAX_PARAMETER = 0x110000;

// xterm's modifier parameter (1 + Shift 1, Alt 2, Ctrl 4) as MOD_ bits.
int Modifiers(int parameter) {
    int bits = parameter > 1 ? parameter - 1 : 0;
    return ((bits & 1) ? MOD_SHIFT : 0) | ((bits & 2) ? MOD_ALT : 0) | ((bits & 4) ? MOD_CTRL : 0);
}

Key Make(int id, int mods) {
    Key key;
    key.id = id;
    key.mods = mods;
    return key;
}

// One more digit of a parameter. A number past the largest character code stays just past it, so
// that it names no key instead of a cut-off number naming the wrong one.
int Accumulate(int value, int digit) {
    int next = value * 10 + digit;
    return next > MAX_PARAMETER ? MAX_PARAMETER : next;
}

// A character code with modifiers, as modifyOtherKeys and CSI u report it.
Key CharacterKey(int code, int mods) {
    switch (code) {
    case 9:
        return Make(KEY_TAB, mods);
    case 13:
        return Make(KEY_ENTER, mods);
    case 27:
        return Make(KEY_ESC, mods);
    case 127:
        return Make(KEY_BACKSPACE, mods);
    }
    // Control codes and what is not a Unicode scalar value (surrogates) name no character.
    if (code < 0x20 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return Key();
    Key key = Make(KEY_CHAR, mods);
    key.ch = char32_t(code);
    if ((mods & MOD_SHIFT) && code >= 'a' && code <= 'z') key.ch = char32_t(code - 'a' + 'A');
    return key;
}

// The key of "CSI n ~".
int TildeKey(int n) {
    for (int id = KEY_F1; id <= KEY_RIGHT; ++id)
        if (!NAMED_SEQUENCES[id - KEY_F1].ss3 && NAMED_SEQUENCES[id - KEY_F1].number == n)
            return id;
    for (size_t i = 0; i < TILDE_ALIAS_COUNT; ++i)
        if (TILDE_ALIASES[i].number == n) return TILDE_ALIASES[i].id;
    return KEY_NONE;
}

// The key of a complete CSI (introducer '[') or SS3 (introducer 'O') sequence.
Key SequenceKey(unsigned char introducer, const int* p, int count, unsigned char final) {
    int mods = Modifiers(count >= 2 ? p[1] : introducer == 'O' && count == 1 ? p[0] : 1);
    for (int id = KEY_F1; id <= KEY_RIGHT; ++id)
        if (NAMED_SEQUENCES[id - KEY_F1].ss3 == char(final)) return Make(id, mods);
    if (introducer != '[') return Key();
    if (final == 'Z') return Make(KEY_TAB, MOD_SHIFT);
    if (final == 'u' && count >= 1) return CharacterKey(p[0], mods);
    if (final == '~' && count >= 3 && p[0] == 27) return CharacterKey(p[2], Modifiers(p[1]));
    if (final == '~' && count >= 1 && TildeKey(p[0]) != KEY_NONE) return Make(TildeKey(p[0]), mods);
    return Key();
}

// ESC '[' or ESC 'O', parameters, intermediates, a final byte.
size_t DecodeSequence(const unsigned char* bytes, size_t size, bool final, Key* key) {
    int p[MAX_PARAMS] = {0};
    int count = 0;
    size_t i = 2;
    for (; i < size && bytes[i] >= 0x30 && bytes[i] <= 0x3F; ++i) {
        if (count == 0) count = 1;
        if (bytes[i] == ';' && count < MAX_PARAMS)
            p[count++] = 0;
        else if (bytes[i] >= '0' && bytes[i] <= '9')
            p[count - 1] = Accumulate(p[count - 1], bytes[i] - '0');
    }
    while (i < size && bytes[i] >= 0x20 && bytes[i] <= 0x2F) ++i;
    if (i >= size) {
        if (!final) return 0;
        // ESC followed by "[" or "O" and nothing more is Alt with that character.
        if (size == 2) *key = CharacterKey(bytes[1], MOD_ALT | (bytes[1] == 'O' ? MOD_SHIFT : 0));
        return size;
    }
    if (bytes[i] >= 0x40 && bytes[i] <= 0x7E) *key = SequenceKey(bytes[1], p, count, bytes[i]);
    return i + 1;
}

// One UTF-8 character; invalid bytes are taken one at a time and give KEY_NONE.
size_t DecodeText(const unsigned char* bytes, size_t size, bool final, Key* key) {
    unsigned char b = bytes[0];
    size_t length = b < 0x80             ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (length == 0) return 1;
    if (size < length) return final ? size : 0;
    char32_t ch = length == 1 ? b : b & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((bytes[k] & 0xC0) != 0x80) return k;
        ch = (ch << 6) | (bytes[k] & 0x3F);
    }
    if (ch < 0x20 || ch > 0x10FFFF || (ch >= 0xD800 && ch < 0xE000)) return length;
    *key = CharacterKey(int(ch), ch >= 'A' && ch <= 'Z' ? MOD_SHIFT : 0);
    return length;
}

} // namespace

size_t DecodeKey(const unsigned char* bytes, size_t size, bool final, Key* key) {
    *key = Key();
    if (size == 0) return 0;
    unsigned char b = bytes[0];
    if (b == ESC) {
        if (size == 1) {
            if (final) *key = Make(KEY_ESC, 0);
            return final ? 1 : 0;
        }
        if (bytes[1] == '[' || bytes[1] == 'O') return DecodeSequence(bytes, size, final, key);
        size_t used = DecodeKey(bytes + 1, size - 1, final, key);
        if (used == 0) return 0;
        // ESC ESC is what Ctrl-Alt-[ sends (Alt-Esc would too, but it has no host code).
        if (key->id == KEY_ESC && key->mods == 0) *key = CharacterKey('[', MOD_CTRL);
        if (key->id != KEY_NONE) key->mods |= MOD_ALT;
        return used + 1;
    }
    switch (b) {
    case 0x09:
        *key = Make(KEY_TAB, 0);
        return 1;
    case 0x0D:
        *key = Make(KEY_ENTER, 0);
        return 1;
    case 0x7F:
        *key = Make(KEY_BACKSPACE, 0);
        return 1;
    case 0x00:
        *key = CharacterKey(' ', MOD_CTRL);
        return 1;
    }
    if (b < 0x1B) {
        *key = CharacterKey('a' + b - 1, MOD_CTRL);
        return 1;
    }
    if (b < 0x20) {
        *key = CharacterKey("\\]^_"[b - 0x1C], MOD_CTRL);
        return 1;
    }
    return DecodeText(bytes, size, final, key);
}

} // namespace demo
