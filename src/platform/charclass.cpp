// Character classes beyond ASCII: the one place that asks the platform.
#include "platform.h"

#if defined(_WIN32)
#include <wctype.h>
int PlatformIsSpace(WCHAR ch) {
    return iswspace(ch);
}
int PlatformIsAlpha(WCHAR ch) {
    return iswalpha(ch);
}
int PlatformIsAlnum(WCHAR ch) {
    return iswalnum(ch);
}
#else
int PlatformIsSpace(WCHAR ch) {
    return StandinIsSpace(ch);
}
int PlatformIsAlpha(WCHAR ch) {
    return StandinIsAlpha(ch);
}
int PlatformIsAlnum(WCHAR ch) {
    return StandinIsAlnum(ch);
}
#endif
