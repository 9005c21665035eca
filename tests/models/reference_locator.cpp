// The locator's model: one recursive loop over the characters, one step per rule, with nothing
// remembered between runs. See reference_locator.h.
#include "tests/models/reference_locator.h"

#include "src/platform/widetext.h"

namespace model {
namespace {

// The seven reference forms that have a body and a closer.
enum ReferenceKind {
    FunctionCall,    // %@name[ ... ]
    IndexedVariable, // %name[ ... ]
    DoubleParen,     // %(( ... ))
    Paren,           // %( ... )
    DoubleBracket,   // %[[ ... ]]
    Bracket,         // %[ ... ]
    Brace,           // %{ ... }
};

constexpr int NO_KIND = -1;

struct Scan {
    const WCHAR* line;
    int32_t length;
    int32_t cursor;
    WCHAR escape;
    ReferenceSpan best;
    uint64_t steps;
    uint64_t budget;
    bool exhausted;
};

WCHAR At(const Scan& s, int32_t i) {
    return i < s.length ? s.line[i] : WCHAR(0);
}

bool IsNameChar(WCHAR ch) {
    return WideIsAlnum(ch) || ch == '_' || ch == '$';
}

void Record(Scan& s, int32_t first, int32_t last, int32_t depth) {
    if (first <= s.cursor && last >= s.cursor - 1 && depth > s.best.depth)
        s.best = ReferenceSpan{first, last, depth};
}

// The index of the body's closer (the reference's last character) at p, or -1.
int32_t CloserAt(const Scan& s, int kind, int32_t p, int parens) {
    WCHAR ch = At(s, p);
    switch (kind) {
    case FunctionCall:
    case IndexedVariable:
    case Bracket:
        return ch == ']' ? p : -1;
    case DoubleBracket:
        return ch == ']' && At(s, p + 1) == ']' ? p + 1 : -1;
    case Brace:
        return ch == '}' ? p : -1;
    case Paren:
        return ch == ')' && parens == 0 ? p : -1;
    case DoubleParen:
        return ch == ')' && At(s, p + 1) == ')' && parens == 0 ? p + 1 : -1;
    default:
        return -1;
    }
}

// One run of the character loop over a body (or, with NO_KIND, over the whole line). Gives the
// index of the reference's last character, or -1 when the body has no closer.
int32_t ScanReferenceBody(Scan& s, int32_t referenceStart, int32_t scanFrom, int32_t depth,
                          int kind) {
    bool literal = false, quoted = false;
    int parens = 0;
    int32_t p = scanFrom;
    while (At(s, p) != 0) {
        if (s.budget && ++s.steps > s.budget) s.exhausted = true;
        if (s.exhausted) return -1;
        WCHAR ch = At(s, p);
        // 1. Escape and quotes.
        if (ch == s.escape)
            literal = !literal;
        else if (!literal && ch == '"')
            quoted = !quoted;
        bool keep = false;
        // 2. Closer.
        if (kind != NO_KIND && !quoted && !literal) {
            int32_t last = CloserAt(s, kind, p, parens);
            if (last >= 0) {
                Record(s, referenceStart, last, depth);
                return last;
            }
        }
        // 3. Forms.
        int32_t current = p;
        if (!literal && ch == '%') {
            WCHAR next = At(s, p + 1);
            int bodyKind = NO_KIND;
            int32_t bodyStart = 0;
            if (next == '%') {
                current = p + 1;
            } else if (next == '@' && WideIsAlpha(At(s, p + 2))) {
                int32_t q = p + 2;
                while (IsNameChar(At(s, q))) ++q;
                if (At(s, q) == '[' && At(s, q + 1) != 0)
                    bodyKind = FunctionCall, bodyStart = q + 1;
            } else if (IsNameChar(next) && next != '$') {
                int32_t q = p + 1;
                while (IsNameChar(At(s, q))) ++q;
                if (At(s, q) == '[' && At(s, q + 1) != 0)
                    bodyKind = IndexedVariable, bodyStart = q + 1;
                else
                    Record(s, p, q - 1, depth + 1);
            } else if (next == '(') {
                if (At(s, p + 2) == '(' && At(s, p + 3) != 0)
                    bodyKind = DoubleParen, bodyStart = p + 3;
                else if (At(s, p + 2) != 0)
                    bodyKind = Paren, bodyStart = p + 2;
            } else if (next == '[') {
                if (At(s, p + 2) == '[' && At(s, p + 3) != 0)
                    bodyKind = DoubleBracket, bodyStart = p + 3;
                else if (At(s, p + 2) != 0)
                    bodyKind = Bracket, bodyStart = p + 2;
            } else if (next == '{') {
                if (At(s, p + 2) != 0) bodyKind = Brace, bodyStart = p + 2;
            } else if (next == '=') {
                Record(s, p, p + 1, depth + 1);
                current = p + 1;
                literal = true;
                keep = true;
            } else if (next == '+') {
                Record(s, p, p + 1, depth + 1);
            }
            if (bodyKind != NO_KIND) {
                int32_t last = ScanReferenceBody(s, p, bodyStart, depth + 1, bodyKind);
                if (s.exhausted) return -1;
                if (last >= 0) current = last;
            }
        }
        // 4. Bookkeeping at the current position.
        WCHAR at = At(s, current);
        if (at == '(')
            ++parens;
        else if (at == ')' && parens > 0)
            --parens;
        if (!(at == s.escape || keep)) literal = false;
        // 5. Next position.
        p = current + 1;
    }
    return -1;
}

} // namespace

ModelResult LocateReferenceModel(const WCHAR* line, int32_t cursor, WCHAR escape, uint64_t budget) {
    Scan s{line, 0, cursor, escape, ReferenceSpan{-1, -1, -1}, 0, budget, false};
    if (line) s.length = int32_t(WideLength(line, MAX_LINE_LENGTH));
    ScanReferenceBody(s, -1, 0, 0, NO_KIND);
    if (s.best.first < 0 || s.best.last < 0) s.best = ReferenceSpan{-1, -1, -1};
    return ModelResult{s.best, !s.exhausted};
}

} // namespace model
