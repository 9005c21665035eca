// Variable expansion of the stand-in host:
//
//   %%                 a percent sign
//   %name              a host variable; with the environment lookup on, then an environment
//                      variable; anything else expands to nothing
//   %[name]            the same, the name itself expanded first (%[%which] looks up the variable
//                      that %which names)
//   %?                 the host variable "?" (the last exit code)
//   %=  %+             the escape character and the command separator ("&"); the character
//                      after %= is taken as it stands, as after the escape character
//   %@name[argument]   a function of the argument, which is expanded first (nesting allowed):
//                      @upper, @lower (Unicode's case), @len (UTF-16 units), @eval (the
//                      stand-in's arithmetic) and @option[EscapeChar]
//   ^c                 (the escape character) c as it stands: it expands nothing and closes
//                      nothing; the escape character itself is dropped
//
// Inside the brackets of %[...] and of a function a double-quoted stretch does not end at "]"
// (the quotes stay in the text). The forms a command processor has but this host does not
// implement, %(...), %((...)), %{...}, %[[...]] and %name[index], fail rather than stay as text.
// A "%" that starts no form, or ends the text, is itself.
//
// Results: 0 success, 1 a syntax error (a function without "[", a "]" missing, nesting too
// deep), 2 an unknown function, 3 a failed @eval, 5 a form this host does not implement.
#if !defined(_WIN32)
#include <locale.h>
#include <wctype.h>
#endif

#include <cstdlib>

#include "../wideformat.h"
#include "takecmd_state.h"

namespace takecmd {
namespace {

// References nested deeper than this fail instead of exhausting the stack; a line holds 65,535
// units, and no line typed by hand nests anywhere near this deep.
constexpr int MAX_NESTING = 4096;
// Results besides 0 (see the top of this file).
constexpr int SYNTAX_ERROR = 1, UNKNOWN_FUNCTION = 2, FAILED_EVAL = 3, NOT_IMPLEMENTED = 5;
// What %+ stands for.
constexpr char16_t COMMAND_SEPARATOR = u'&';

char16_t EscapeChar() {
    return State().escapeOption.size() == 1 ? State().escapeOption[0] : u'^';
}

bool NameChar(char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') ||
           ch == u'_' || ch == u'$';
}

std::u16string Lookup(const std::u16string& name) {
    auto it = State().variables.find(Fold(name));
    if (it != State().variables.end()) return it->second;
    if (!State().environmentLookup || name.empty()) return u"";
    const char* value = std::getenv(standin::ToUtf8(name).c_str());
    return value ? standin::FromUtf8(value) : u"";
}

// Unicode's simple case mapping of one unit, as the stand-ins class characters elsewhere: from
// the C library's C.UTF-8 locale, or under Windows from the system's invariant locale. A
// surrogate, or a mapping beyond the first plane, stays.
char16_t MapCase(char16_t ch, bool upper) {
    if (ch >= 0xD800 && ch < 0xE000) return ch;
#if defined(_WIN32)
    WCHAR in = WCHAR(ch), out = in;
    DWORD mapping = upper ? LCMAP_UPPERCASE : LCMAP_LOWERCASE;
    return LCMapStringW(LOCALE_INVARIANT, mapping, &in, 1, &out, 1) == 1 ? char16_t(out) : ch;
#else
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!unicode) return ch;
    wint_t mapped = upper ? towupper_l(ch, unicode) : towlower_l(ch, unicode);
    return mapped <= 0xFFFF ? char16_t(mapped) : ch;
#endif
}

int CallFunction(const std::u16string& name, std::u16string& argument) {
    std::u16string folded = Fold(name);
    if (folded == u"UPPER" || folded == u"LOWER") {
        for (char16_t& ch : argument) ch = MapCase(ch, folded == u"UPPER");
    } else if (folded == u"LEN") {
        std::string digits = std::to_string(argument.size());
        argument.assign(digits.begin(), digits.end());
    } else if (folded == u"EVAL") {
        if (EvaluateText(argument) != 0) return FAILED_EVAL;
    } else if (folded == u"OPTION" && Fold(argument) == u"ESCAPECHAR") {
        argument = State().escapeOption;
    } else {
        return UNKNOWN_FUNCTION;
    }
    return 0;
}

bool Letter(char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
}

int ExpandRun(const std::u16string& text, size_t& pos, int nesting, std::u16string& out);

// The bracketed body that starts at `pos`, expanded into `body`; `pos` ends on its "]".
int ExpandBody(const std::u16string& text, size_t& pos, int nesting, std::u16string& body) {
    if (nesting >= MAX_NESTING) return SYNTAX_ERROR;
    int result = ExpandRun(text, pos, nesting + 1, body);
    if (result != 0) return result;
    return pos < text.size() ? 0 : SYNTAX_ERROR;
}

// The reference at text[pos] == '%', with at least one character after it, into `out`.
int ExpandReference(const std::u16string& text, size_t& pos, int nesting, std::u16string& out) {
    char16_t next = text[pos + 1];
    bool more = pos + 2 < text.size(); // a character after the two of the opener
    if (next == u'%') {
        out += u'%';
        pos += 2;
    } else if (next == u'?') {
        out += Lookup(u"?");
        pos += 2;
    } else if (next == u'=') {
        out += EscapeChar();
        pos += 2;
        if (pos < text.size()) out += text[pos++];
    } else if (next == u'+') {
        out += COMMAND_SEPARATOR;
        pos += 2;
    } else if ((next == u'(' || next == u'{') && more) {
        return NOT_IMPLEMENTED;
    } else if (next == u'[' && more) {
        if (text[pos + 2] == u'[' && pos + 3 < text.size()) return NOT_IMPLEMENTED;
        std::u16string name;
        size_t end = pos + 2;
        if (int result = ExpandBody(text, end, nesting, name)) return result;
        out += Lookup(name);
        pos = end + 1;
    } else if (next == u'@' && more && Letter(text[pos + 2])) {
        size_t open = pos + 2;
        while (open < text.size() && NameChar(text[open])) ++open;
        if (open + 1 >= text.size() || text[open] != u'[') return SYNTAX_ERROR;
        std::u16string argument;
        size_t end = open + 1;
        if (int result = ExpandBody(text, end, nesting, argument)) return result;
        if (int result = CallFunction(text.substr(pos + 2, open - pos - 2), argument))
            return result;
        out += argument;
        pos = end + 1;
    } else if (NameChar(next) && next != u'$') {
        size_t end = pos + 1;
        while (end < text.size() && NameChar(text[end])) ++end;
        if (end + 1 < text.size() && text[end] == u'[') return NOT_IMPLEMENTED;
        out += Lookup(text.substr(pos + 1, end - pos - 1));
        pos = end;
    } else {
        out += u'%';
        ++pos;
    }
    return 0;
}

// Expands text from `pos` on into `out`. At nesting 0 the run goes to the end of the text;
// inside a bracketed body it stops at the first "]" of its own level that is neither quoted nor
// escaped, and leaves `pos` on it.
int ExpandRun(const std::u16string& text, size_t& pos, int nesting, std::u16string& out) {
    const char16_t escape = EscapeChar();
    bool quoted = false;
    while (pos < text.size()) {
        char16_t ch = text[pos];
        if (ch == escape) {
            if (pos + 1 < text.size()) out += text[pos + 1];
            pos += 2;
        } else if (ch == u'"' && nesting > 0) {
            quoted = !quoted;
            out += ch;
            ++pos;
        } else if (ch == u']' && nesting > 0 && !quoted) {
            return 0;
        } else if (ch != u'%' || pos + 1 >= text.size()) {
            out += ch;
            ++pos;
        } else if (int result = ExpandReference(text, pos, nesting, out)) {
            return result;
        }
    }
    if (pos > text.size()) pos = text.size();
    return 0;
}

} // namespace

int ExpandText(std::u16string& text) {
    std::u16string out;
    size_t pos = 0;
    int result = ExpandRun(text, pos, 0, out);
    if (result == 0) text = out;
    return result;
}

} // namespace takecmd
