// Decimal arithmetic of the stand-in host: + - * / %, parentheses and unary signs, with the
// usual precedence, in long double: exact for integers of 64 bits, and a double's precision
// beyond. An integral result that a 64-bit integer holds is written in full, without a decimal
// point; any other with up to 15 significant digits and no trailing zeros (in exponent form from
// 10^15 on). Division (or remainder) by zero, a result too large for a double and syntax errors
// fail.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "takecmd_state.h"

namespace takecmd {
namespace {

// The largest integer written in full: a 64-bit integer's, which a long double holds exactly.
constexpr long double MAX_INTEGER = 9223372036854775807.0L;
// Nesting of parentheses and unary signs beyond this fails instead of exhausting the stack.
constexpr int MAX_DEPTH = 200;

struct Parser {
    const std::u16string& text;
    size_t pos = 0;
    bool failed = false;

    void SkipSpace() {
        while (pos < text.size() && (text[pos] == u' ' || text[pos] == u'\t')) ++pos;
    }
    bool Take(char16_t ch) {
        SkipSpace();
        if (pos < text.size() && text[pos] == ch) {
            ++pos;
            return true;
        }
        return false;
    }
    long double Check(long double v) {
        if (!(std::fabs(v) <= LDBL_MAX) || !(std::fabs(double(v)) <= DBL_MAX)) failed = true;
        return v;
    }
    bool Digit() const { return pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; }
    // digits [ "." digits ] or "." digits
    long double Number() {
        SkipSpace();
        long double v = 0;
        int digits = 0;
        for (; Digit(); ++digits) v = Check(v * 10 + (text[pos++] - u'0'));
        if (pos < text.size() && text[pos] == u'.') {
            ++pos;
            long double scale = 1;
            for (; Digit(); ++digits) v += (text[pos++] - u'0') * (scale /= 10);
        }
        if (digits == 0) failed = true;
        return v;
    }
    long double Primary(int depth) {
        if (depth > MAX_DEPTH || failed) {
            failed = true;
            return 0;
        }
        if (Take(u'-')) return -Primary(depth + 1);
        if (Take(u'+')) return Primary(depth + 1);
        if (Take(u'(')) {
            long double v = Sum(depth + 1);
            if (!Take(u')')) failed = true;
            return v;
        }
        return Number();
    }
    long double Product(int depth) {
        long double v = Primary(depth);
        while (!failed) {
            char16_t op = Take(u'*') ? u'*' : Take(u'/') ? u'/' : Take(u'%') ? u'%' : 0;
            if (!op) break;
            long double r = Primary(depth);
            if (op != u'*' && r == 0) failed = true;
            if (failed) break;
            v = Check(op == u'*' ? v * r : op == u'/' ? v / r : std::fmod(v, r));
        }
        return v;
    }
    long double Sum(int depth) {
        long double v = Product(depth);
        while (!failed) {
            char16_t op = Take(u'+') ? u'+' : Take(u'-') ? u'-' : 0;
            if (!op) break;
            long double r = Product(depth);
            v = Check(op == u'+' ? v + r : v - r);
        }
        return v;
    }
};

std::string Format(long double value) {
    if (value == std::floor(value) && std::fabs(value) <= MAX_INTEGER)
        return std::to_string(static_cast<long long>(value));
    // Printed as a double (the C runtime of the Windows build has no long double formatting).
    char digits[64];
    if (std::fabs(value) >= 1e15L) {
        std::snprintf(digits, sizeof digits, "%.15g", double(value));
        return digits;
    }
    int whole = int(std::floor(std::log10(std::fabs(value)))) + 1;
    int decimals = whole >= 15 ? 0 : 15 - (whole > 0 ? whole : 0);
    std::snprintf(digits, sizeof digits, "%.*f", decimals, double(value));
    std::string out = digits;
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.') out.pop_back();
    }
    return out == "-0" ? "0" : out;
}

} // namespace

int EvaluateText(std::u16string& text) {
    Parser parser{text};
    long double value = parser.Sum(0);
    parser.SkipSpace();
    if (parser.failed || parser.pos != text.size()) return 1;
    std::string digits = Format(value);
    text.assign(digits.begin(), digits.end());
    return 0;
}

} // namespace takecmd
