// Bounded UTF-16 text helpers; see widetext.h for the contract.
#include "widetext.h"

// Four units a round, each read only after the one before it proved not to end the text: a
// keystroke measures a line of up to 65,535 units, and the loop's own test was half its cost.
size_t WideLength(const WCHAR* text, size_t limit) {
    size_t n = 0;
    if (!text) return 0;
    for (; n + 4 <= limit; n += 4) {
        if (!text[n]) return n;
        if (!text[n + 1]) return n + 1;
        if (!text[n + 2]) return n + 2;
        if (!text[n + 3]) return n + 3;
    }
    while (n < limit && text[n]) ++n;
    return n;
}

int WideCopyCount(WCHAR* dest, size_t capacity, const WCHAR* source, size_t count) {
    if (!dest || capacity == 0) return -1;
    size_t n = 0;
    while (source && n < count && source[n] && n + 1 < capacity) {
        dest[n] = source[n];
        ++n;
    }
    dest[n] = 0;
    bool complete = !source || n == count || source[n] == 0;
    return complete ? 0 : -1;
}

int WideCopy(WCHAR* dest, size_t capacity, const WCHAR* source) {
    return WideCopyCount(dest, capacity, source, SIZE_MAX);
}

int WideAppend(WCHAR* dest, size_t capacity, const WCHAR* source) {
    if (!dest || capacity == 0) return -1;
    size_t used = WideLength(dest, capacity - 1);
    dest[used] = 0;
    return WideCopy(dest + used, capacity - used, source);
}

WCHAR WideToUpper(WCHAR ch) {
    return (ch >= 'a' && ch <= 'z') ? WCHAR(ch - 'a' + 'A') : ch;
}

int WideCompareFolded(const WCHAR* a, const WCHAR* b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        WCHAR x = WideToUpper(*a), y = WideToUpper(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

bool WideEqualsFolded(const WCHAR* a, const WCHAR* b) {
    return WideCompareFolded(a, b) == 0;
}

bool WideIsDigit(WCHAR ch) {
    return ch >= '0' && ch <= '9';
}

bool WideIsXDigit(WCHAR ch) {
    return WideIsDigit(ch) || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

bool WideIsSpace(WCHAR ch) {
    if (ch < 0x100) return (ch >= 0x09 && ch <= 0x0D) || ch == 0x20 || ch == 0xA0;
    return PlatformIsSpace(ch) != 0;
}

bool WideIsAlpha(WCHAR ch) {
    if (ch < 0x80) return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    return PlatformIsAlpha(ch) != 0;
}

bool WideIsAlnum(WCHAR ch) {
    if (ch < 0x80) return WideIsAlpha(ch) || WideIsDigit(ch);
    return PlatformIsAlnum(ch) != 0;
}

static int DigitValue(WCHAR ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'Z') return ch - 'A' + 10;
    return 99;
}

// The shared scanner of both conversions: magnitude as 64 bits (saturated), sign and end.
static uint64_t ScanNumber(const WCHAR* text, const WCHAR** end, int base, bool* negative,
                           bool* overflow) {
    const WCHAR* p = text;
    *negative = false;
    *overflow = false;
    if (end) *end = text;
    if (!text || base < 2 || base > 36) return 0;
    while (WideIsSpace(*p)) ++p;
    if (*p == '+' || *p == '-') *negative = (*p++ == '-');
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) p += 2;
    const WCHAR* digits = p;
    uint64_t value = 0;
    for (int d; (d = DigitValue(*p)) < base; ++p) {
        value = value * base + d;
        if (value > 0xFFFFFFFFull) {
            *overflow = true;
            value = 0x100000000ull;
        }
    }
    if (end) *end = (p == digits) ? text : p;
    return value;
}

uint32_t WideToUnsigned(const WCHAR* text, const WCHAR** end, int base, int* rangeError) {
    bool negative, overflow;
    uint64_t value = ScanNumber(text, end, base, &negative, &overflow);
    if (overflow) {
        if (rangeError) *rangeError = 1;
        return 0xFFFFFFFFu;
    }
    return negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
}

int32_t WideToSigned(const WCHAR* text, const WCHAR** end, int base, int* rangeError) {
    bool negative, overflow;
    uint64_t value = ScanNumber(text, end, base, &negative, &overflow);
    uint64_t limit = negative ? 0x80000000ull : 0x7FFFFFFFull;
    if (overflow || value > limit) {
        if (rangeError) *rangeError = 1;
        return negative ? INT32_MIN : INT32_MAX;
    }
    return negative ? int32_t(-int64_t(value)) : int32_t(value);
}
