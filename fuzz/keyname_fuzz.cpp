// Key names from untrusted text: the command line and the key names newer hosts pass with a key
// event. The first byte chooses the key table; the rest is read as UTF-16 units (little end
// first). Besides crashes and overruns, this checks what every caller relies on:
//   - ParseKeyName gives 0, a marker, or a code of the table in force;
//   - a code it gives formats to a name that parses back to the same code;
//   - FormatKeyName of any code either names it that way or says "(unknown)" with -1;
//   - names are read without regard to the case of ASCII letters: the text with the case of
//     every ASCII letter swapped parses to the same result.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "src/keys/keycodec.h"
#include "src/platform/widetext.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

void CheckNamesCode(int32_t code) {
    WCHAR name[KEY_NAME_CAPACITY + 1];
    name[KEY_NAME_CAPACITY] = 0x5A5A; // a guard just past the caller's buffer
    int32_t result = FormatKeyName(code, name);
    Check(name[KEY_NAME_CAPACITY] == 0x5A5A);
    Check(WideLength(name, KEY_NAME_CAPACITY) < KEY_NAME_CAPACITY);
    if (result == 0) {
        Check(code > 0 && IsKnownKeyCode(code) == 1);
        Check(ParseKeyName(name) == code);
    } else {
        Check(result == -1 && IsKnownKeyCode(code) == 0);
        Check(WideEqualsFolded(name, WIDE("(unknown)")));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    hostVersion = (data[0] & 1) ? 24 : 0;
    extendedKeyScheme = hostVersion >= 24;
    ++data;
    --size;

    std::vector<WCHAR> text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(WCHAR(data[i] | data[i + 1] << 8));
    text.push_back(0);

    int32_t code = ParseKeyName(text.data());
    Check(code == 0 || code == NO_KEY || code == NOT_ALLOWED || IsKnownKeyCode(code) == 1);
    if (code > 0) CheckNamesCode(code);
    for (WCHAR& unit : text)
        if ((unit | 0x20) >= 'a' && (unit | 0x20) <= 'z') unit ^= 0x20;
    Check(ParseKeyName(text.data()) == code);

    // The first four bytes also serve as an arbitrary code for the formatter.
    if (size >= 4) {
        int32_t any = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                              uint32_t(data[3]) << 24);
        CheckNamesCode(any);
    }
    return 0;
}
