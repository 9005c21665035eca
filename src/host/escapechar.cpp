// The host's escape character, asked of the host on every use: the user may change the option
// between two keystrokes, and the plugin keeps nothing between them.
#include "escapechar.h"

#include "host.h"
#include "widetext.h"

// The escape character when the host reports none that can serve.
constexpr WCHAR DEFAULT_ESCAPE = '^';

// Kept out of its caller's frame, so that this host buffer and the caller's are never on the
// stack at once.
[[gnu::noinline]] WCHAR GetEscapeChar() {
    // Only the first two units are read back, so the buffer is not cleared beforehand: clearing
    // its 128 KiB on every keystroke would cost more than the query.
    WCHAR query[HOST_BUFFER_CAPACITY];
    WideCopy(query, HOST_BUFFER_CAPACITY, WIDE("%@option[EscapeChar]"));
    // Asked without silencing: the escape option is plain host state, and its result is not
    // looked at, only the text left in the buffer.
    ExpandVariables(query, 1);
    if (query[0] != 0 && query[1] == 0 && !WideIsAlnum(query[0])) return query[0];
    return DEFAULT_ESCAPE;
}
