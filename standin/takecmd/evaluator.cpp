// Integer arithmetic of the stand-in host: + - * / %, parentheses and unary minus, with the
// usual precedence. Division by zero, overflow and syntax errors fail.
#include <cstdint>
#include <string>

#include "takecmd_state.h"

namespace takecmd {
namespace {

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
    int64_t Check(int64_t v) {
        if (v > INT64_C(999999999999999999) || v < -INT64_C(999999999999999999)) failed = true;
        return v;
    }
    int64_t Primary(int depth) {
        if (depth > 200) {
            failed = true;
            return 0;
        }
        if (Take(u'-')) return Check(-Primary(depth + 1));
        if (Take(u'+')) return Primary(depth + 1);
        if (Take(u'(')) {
            int64_t v = Sum(depth + 1);
            if (!Take(u')')) failed = true;
            return v;
        }
        SkipSpace();
        size_t start = pos;
        int64_t v = 0;
        while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9' && !failed)
            v = Check(v * 10 + (text[pos++] - u'0'));
        if (pos == start) failed = true;
        return v;
    }
    int64_t Product(int depth) {
        int64_t v = Primary(depth);
        for (;;) {
            if (Take(u'*')) {
                v = Check(MultiplySaturated(v, Primary(depth)));
            } else if (Take(u'/') || Take(u'%')) {
                bool modulo = text[pos - 1] == u'%';
                int64_t r = Primary(depth);
                if (r == 0) failed = true;
                if (failed) return 0;
                v = modulo ? v % r : v / r;
            } else {
                return v;
            }
            if (failed) return 0;
        }
    }
    static int64_t MultiplySaturated(int64_t a, int64_t b) {
        __int128 product = static_cast<__int128>(a) * b;
        if (product > INT64_MAX) return INT64_MAX;
        if (product < -INT64_MAX) return -INT64_MAX;
        return int64_t(product);
    }
    int64_t Sum(int depth) {
        int64_t v = Product(depth);
        for (;;) {
            if (Take(u'+'))
                v = Check(v + Product(depth));
            else if (Take(u'-'))
                v = Check(v - Product(depth));
            else
                return v;
            if (failed) return 0;
        }
    }
};

}  // namespace

int EvaluateText(std::u16string& text) {
    Parser parser{text};
    int64_t value = parser.Sum(0);
    parser.SkipSpace();
    if (parser.failed || parser.pos != text.size()) return 1;
    std::string digits = std::to_string(value);
    text.assign(digits.begin(), digits.end());
    return 0;
}

}  // namespace takecmd
