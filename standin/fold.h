// Names compared as Windows compares registry, variable and command names: without regard to
// ASCII case. One fold for every stand-in.
#pragma once

#include <string>

namespace standin {

inline char16_t FoldUnit(char16_t ch) {
    return ch >= u'a' && ch <= u'z' ? char16_t(ch - u'a' + u'A') : ch;
}

inline std::u16string Fold(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& ch : out) ch = FoldUnit(ch);
    return out;
}

// Equal but for ASCII case, without building the folded copies.
inline bool SameFolded(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
    return true;
}

} // namespace standin
