// The demo host's terminal key decoder on any bytes a terminal may send. Checked:
//   - the input decoded as a stream (final set) is consumed to its last byte, one key at a time,
//     each taking at least one byte and no more than are left;
//   - every key is well formed: a known id, modifier bits only, a character only with KEY_CHAR
//     and then a Unicode scalar value, no modifiers on KEY_NONE;
//   - bytes that arrive in pieces give the same keys: when a decode that is not final takes n
//     bytes, every prefix of the input either gives 0 (wait for more) or the same n and key,
//     and once one gives the key all longer ones do; the final decode agrees; a decode that is
//     not final and gives 0 takes all the rest when final;
//   - the result does not depend on what the key held before;
//   - a known sequence built from the first four bytes (cursor and function keys with any
//     modifiers in the CSI, SS3 and "~" forms, modifyOtherKeys and CSI u characters, UTF-8 text,
//     control bytes, each with or without an Alt prefix) decodes to its key, with the rest of
//     the input after it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo/keydecoder.h"

using namespace demo;

namespace {

void Check(bool condition, int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "check failed: keydecoder_fuzz.cpp line %d\n", line);
    abort();
}

bool Scalar(uint32_t ch) {
    return ch <= 0x10FFFF && (ch < 0xD800 || ch >= 0xE000);
}

bool Same(const Key& a, const Key& b) {
    return a.id == b.id && a.ch == b.ch && a.mods == b.mods;
}

void CheckWellFormed(const Key& key) {
    Check(key.id >= KEY_NONE && key.id <= KEY_ESC);
    Check((key.mods & ~(MOD_SHIFT | MOD_CTRL | MOD_ALT)) == 0);
    Check((key.id == KEY_CHAR) == (key.ch != 0));
    if (key.id == KEY_CHAR) Check(key.ch >= 0x20 && key.ch != 0x7F && Scalar(key.ch));
    if (key.id == KEY_NONE) Check(key.mods == 0);
}

size_t Decode(const uint8_t* bytes, size_t size, bool final, Key* key) {
    Key junk;
    junk.id = KEY_F7;
    junk.ch = 0x41;
    junk.mods = 7;
    *key = junk;
    return DecodeKey(bytes, size, final, key);
}

Key Make(int id, int mods, char32_t ch = 0) {
    Key key;
    key.id = id;
    key.mods = mods;
    key.ch = ch;
    return key;
}

// The key of a character code as modifyOtherKeys and CSI u report it.
Key CodeKey(uint32_t c, int mods) {
    if (c == 9) return Make(KEY_TAB, mods);
    if (c == 13) return Make(KEY_ENTER, mods);
    if (c == 27) return Make(KEY_ESC, mods);
    if (c == 127) return Make(KEY_BACKSPACE, mods);
    if (c < 0x20 || !Scalar(c)) return Key();
    if ((mods & MOD_SHIFT) && c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return Make(KEY_CHAR, mods, c);
}

std::string Utf8(uint32_t c) {
    std::string s;
    if (c < 0x80) return s += char(c), s;
    int n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    s += char((0xF00 >> n) | (c >> (6 * (n - 1))));
    for (int k = n - 2; k >= 0; --k) s += char(0x80 | ((c >> (6 * k)) & 0x3F));
    return s;
}

// A sequence a terminal sends for a key, chosen by four bytes, and that key.
std::string Known(const uint8_t* d, Key* key) {
    static const int CURSOR[] = {KEY_UP,  KEY_DOWN, KEY_RIGHT, KEY_LEFT, KEY_HOME,
                                 KEY_END, KEY_F1,   KEY_F2,    KEY_F3,   KEY_F4};
    static const int TILDE[][2] = {{1, KEY_HOME}, {2, KEY_INS},  {3, KEY_DEL},  {4, KEY_END},
                                   {5, KEY_PGUP}, {6, KEY_PGDN}, {7, KEY_HOME}, {8, KEY_END},
                                   {11, KEY_F1},  {12, KEY_F2},  {13, KEY_F3},  {14, KEY_F4},
                                   {15, KEY_F5},  {17, KEY_F6},  {18, KEY_F7},  {19, KEY_F8},
                                   {20, KEY_F9},  {21, KEY_F10}, {23, KEY_F11}, {24, KEY_F12}};
    const int bits = d[1] & 7;
    const int mods =
        (bits & 1 ? MOD_SHIFT : 0) | (bits & 2 ? MOD_ALT : 0) | (bits & 4 ? MOD_CTRL : 0);
    const std::string m = std::to_string(1 + bits);
    const uint32_t wide = uint32_t(d[2] | d[3] << 8);
    std::string s;
    switch (d[0] % 6) {
    case 0: {
        int i = d[2] % 10;
        char letter = "ABCDHFPQRS"[i];
        s = bits ? "\x1b[1;" + m + letter : (d[3] & 1 ? "\x1bO" : "\x1b[") + std::string(1, letter);
        *key = Make(CURSOR[i], mods);
        break;
    }
    case 1: {
        const int* row = TILDE[d[2] % (sizeof TILDE / sizeof TILDE[0])];
        s = "\x1b[" + std::to_string(row[0]) + (bits ? ";" + m : "") + "~";
        *key = Make(row[1], mods);
        break;
    }
    case 2: {
        uint32_t c = d[3] & 1 ? wide | uint32_t(d[1] >> 4) << 16 : d[2];
        s = d[1] & 8 ? "\x1b[27;" + m + ";" + std::to_string(c) + "~"
                     : "\x1b[" + std::to_string(c) + ";" + m + "u";
        *key = CodeKey(c, mods);
        return s; // no Alt prefix: the code may give no key
    }
    case 3: {
        uint32_t c = 0x20 + (wide | uint32_t(d[1] >> 4) << 16) % (0x110000 - 0x20);
        if (!Scalar(c) || c == 0x7F) c = 0xFFFD;
        s = Utf8(c);
        *key = Make(KEY_CHAR, c >= 'A' && c <= 'Z' ? MOD_SHIFT : 0, c);
        if (c == '[' || c == 'O') return s; // after ESC these begin a sequence
        break;
    }
    case 4: {
        uint8_t b = d[2] % 0x20 == 0x1B ? 0x7F : d[2] % 0x20;
        s = std::string(1, char(b));
        *key = b == 9      ? Make(KEY_TAB, 0)
               : b == 13   ? Make(KEY_ENTER, 0)
               : b == 0x7F ? Make(KEY_BACKSPACE, 0)
               : b == 0    ? Make(KEY_CHAR, MOD_CTRL, ' ')
               : b < 0x1B  ? Make(KEY_CHAR, MOD_CTRL, char32_t('a' + b - 1))
                           : Make(KEY_CHAR, MOD_CTRL, char32_t("\\]^_"[b - 0x1C]));
        break;
    }
    default:
        s = "\x1b[Z";
        *key = Make(KEY_TAB, MOD_SHIFT);
        break;
    }
    if (d[1] & 8) {
        s = "\x1b" + s;
        key->mods |= MOD_ALT;
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t at = 0;
    while (at < size) {
        const uint8_t* bytes = data + at;
        const size_t left = size - at;
        Key key, piece, again;
        const size_t used = Decode(bytes, left, true, &key);
        Check(used >= 1 && used <= left);
        CheckWellFormed(key);
        Check(DecodeKey(bytes, left, true, &again) == used && Same(again, key));

        const size_t partial = Decode(bytes, left, false, &piece);
        if (partial == 0) {
            Check(used == left);
        } else {
            Check(partial == used && Same(piece, key));
            // Any prefix either waits for more or gives this key, and once it gives the key,
            // longer ones do too. The prefixes tried are bounded to keep long sequences cheap.
            bool decided = false;
            for (size_t m = 1; m < left; m = m < 32 ? m + 1 : m < used ? used : left) {
                size_t n = Decode(bytes, m, false, &piece);
                Check(n == 0 ? !decided : n == used && Same(piece, key));
                decided = n != 0;
            }
        }
        at += used;
    }

    if (size >= 4) {
        Key expected, got;
        std::string stream = Known(data, &expected);
        const size_t length = stream.size();
        stream.append(reinterpret_cast<const char*>(data + 4), size - 4);
        const auto* bytes = reinterpret_cast<const unsigned char*>(stream.data());
        Check(Decode(bytes, stream.size(), size == 4, &got) == length);
        Check(Same(got, expected));
    }
    return 0;
}
