// Variable expansion of the stand-in host: %name and %[name] from the host variables, %%, and
// the one function the plugin asks for, %@option[EscapeChar]. Any other function fails, as an
// unknown function fails in the host.
#include "takecmd_state.h"

namespace takecmd {
namespace {

bool NameChar(char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') ||
           ch == u'_' || ch == u'$';
}

std::u16string Lookup(const std::u16string& name) {
    auto it = State().variables.find(Fold(name));
    return it == State().variables.end() ? u"" : it->second;
}

}  // namespace

int ExpandText(std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char16_t next = text[i + 1];
        if (next == u'%') {
            out += u'%';
            ++i;
        } else if (next == u'[') {
            size_t close = text.find(u']', i + 2);
            if (close == std::u16string::npos) return 1;
            out += Lookup(text.substr(i + 2, close - i - 2));
            i = close;
        } else if (next == u'@') {
            size_t open = text.find(u'[', i + 2);
            size_t close = open == std::u16string::npos ? open : text.find(u']', open);
            if (close == std::u16string::npos) return 1;
            std::u16string name = Fold(text.substr(i + 2, open - i - 2));
            std::u16string argument = Fold(text.substr(open + 1, close - open - 1));
            if (name != u"OPTION" || argument != u"ESCAPECHAR") return 2;
            out += State().escapeOption;
            i = close;
        } else if (NameChar(next)) {
            size_t end = i + 1;
            while (end < text.size() && NameChar(text[end])) ++end;
            out += Lookup(text.substr(i + 1, end - i - 1));
            i = end - 1;
        } else {
            out += text[i];
        }
    }
    text = out;
    return 0;
}

}  // namespace takecmd
