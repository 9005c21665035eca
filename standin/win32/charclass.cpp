// Character classes of the Linux stand-in beyond ASCII: Unicode's, from the C library's
// built-in C.UTF-8 locale (made once, when the library loads). Surrogates are no class.
#include <locale.h>
#include <wctype.h>

#include "../../src/platform/platform.h"

namespace {
locale_t Unicode() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return locale;
}
// Load-time construction, so that no plugin call pays for it.
const locale_t loaded = Unicode();

bool Classifiable(WCHAR ch) {
    return loaded && !(ch >= 0xD800 && ch < 0xE000);
}
} // namespace

extern "C" int StandinIsSpace(WCHAR ch) {
    return Classifiable(ch) && iswspace_l(ch, loaded);
}
extern "C" int StandinIsAlpha(WCHAR ch) {
    return Classifiable(ch) && iswalpha_l(ch, loaded);
}
extern "C" int StandinIsAlnum(WCHAR ch) {
    return Classifiable(ch) && iswalnum_l(ch, loaded);
}
