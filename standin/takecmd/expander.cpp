// Variable expansion of the stand-in host:
//
//   %%                 a percent sign
//   %name  %[name]     a host variable; with the environment lookup on, then an environment
//                      variable; anything else expands to nothing
//   %?                 the host variable "?" (the last exit code)
//   %@name[argument]   a function of the argument, which is expanded first (nesting allowed):
//                      @upper, @lower (ASCII letters), @len (UTF-16 units), @eval (the
//                      stand-in's arithmetic) and @option[EscapeChar]
//
// An unknown function, a function without its "]" and a "%[" without its "]" fail, as they fail
// in the host. Results are 0 for success, 1 for a syntax error, 2 for an unknown function, 3
// for a failed @eval.
#include <cstdlib>

#include "../wideformat.h"
#include "takecmd_state.h"

namespace takecmd {
namespace {

// Functions nested deeper than this fail instead of exhausting the stack.
constexpr int MAX_NESTING = 100;

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

int CallFunction(const std::u16string& name, std::u16string& argument) {
    std::u16string folded = Fold(name);
    if (folded == u"UPPER") {
        argument = Fold(argument);
    } else if (folded == u"LOWER") {
        for (auto& ch : argument)
            if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
    } else if (folded == u"LEN") {
        std::string digits = std::to_string(argument.size());
        argument.assign(digits.begin(), digits.end());
    } else if (folded == u"EVAL") {
        if (EvaluateText(argument) != 0) return 3;
    } else if (folded == u"OPTION" && Fold(argument) == u"ESCAPECHAR") {
        argument = State().escapeOption;
    } else {
        return 2;
    }
    return 0;
}

// Expands text from `pos` on into `out`. At nesting 0 the run goes to the end of the text;
// inside a function argument it stops at the first "]" of its own level and leaves `pos` on it.
int ExpandRun(const std::u16string& text, size_t& pos, int nesting, std::u16string& out) {
    while (pos < text.size()) {
        char16_t ch = text[pos];
        if (ch == u']' && nesting > 0) return 0;
        char16_t next = pos + 1 < text.size() ? text[pos + 1] : 0;
        if (ch != u'%' || next == 0) {
            out += ch;
            ++pos;
        } else if (next == u'%') {
            out += u'%';
            pos += 2;
        } else if (next == u'?') {
            out += Lookup(u"?");
            pos += 2;
        } else if (next == u'[') {
            size_t close = text.find(u']', pos + 2);
            if (close == std::u16string::npos) return 1;
            out += Lookup(text.substr(pos + 2, close - pos - 2));
            pos = close + 1;
        } else if (next == u'@') {
            size_t open = pos + 2;
            while (open < text.size() && NameChar(text[open])) ++open;
            if (open == pos + 2 || open >= text.size() || text[open] != u'[') return 1;
            if (nesting >= MAX_NESTING) return 1;
            std::u16string argument;
            size_t end = open + 1;
            int result = ExpandRun(text, end, nesting + 1, argument);
            if (result != 0) return result;
            if (end >= text.size()) return 1;
            result = CallFunction(text.substr(pos + 2, open - pos - 2), argument);
            if (result != 0) return result;
            out += argument;
            pos = end + 1;
        } else if (NameChar(next)) {
            size_t end = pos + 1;
            while (end < text.size() && NameChar(text[end])) ++end;
            out += Lookup(text.substr(pos + 1, end - pos - 1));
            pos = end;
        } else {
            out += ch;
            ++pos;
        }
    }
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
