// The reference locator against the recursive model.
//
// Input: byte 0 picks the escape character, bytes 1-2 the caret, byte 3 the mode (LONG_MODE
// lets lines grow long), the rest the line:
//   0x00-0xED  one unit of the locator's alphabet (% @ a 1 _ $ ( ) [ ] { } " ^ = + space)
//   0xEE n     in long mode: repeat the last (up to 16) units (n + 1) * 64 times
//   0xEF a b   the unit 0xaabb (any unit; 0 ends the line early)
//   0xF0-0xFF  the next byte as a unit (other Latin-1 letters, digits and marks)
// Lines of up to MODEL_LIMIT units are compared with the model, whose cost grows exponentially
// with nested unclosed openers (it gives up after MODEL_BUDGET steps; such inputs are then
// checked for safety only). Long lines cost far more than short ones under the sanitizers, so
// they take the mode byte's exact value, and TALLIX_FUZZ_LONG_LINES=0 in the environment turns
// them off: scripts/fuzz-run.sh does so for its main run and turns them on for a short run from
// the long-line seeds of fuzz/corpus-long. Longer lines, up to past the locator's limit, are
// checked for safety and for a result that is a reference around the caret.
#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "src/actions/locator.h"
#include "tests/models/reference_locator.h"
#include "tests/support/locator_lines.h"

namespace {

constexpr size_t MODEL_LIMIT = 300;
constexpr uint64_t MODEL_BUDGET = 20000;
constexpr uint8_t LONG_MODE = 0xA5;
constexpr size_t MAX_UNITS = MAX_LINE_LENGTH + 64;

const char ESCAPES[] = "^^^^^^^^~([{)]}\"%=@_$+ a1";

bool longLines = true;

std::vector<WCHAR> Decode(const uint8_t* data, size_t size, bool longMode) {
    std::vector<WCHAR> line;
    for (size_t i = 0; i < size && line.size() < MAX_UNITS; ++i) {
        uint8_t b = data[i];
        if (b == 0xEE && longMode && i + 1 < size) {
            size_t chunk = line.size() < 16 ? line.size() : 16;
            size_t times = (size_t(data[++i]) + 1) * 64;
            size_t from = line.size() - chunk;
            for (size_t t = 0; t < times && chunk && line.size() < MAX_UNITS; ++t)
                for (size_t k = 0; k < chunk && line.size() < MAX_UNITS; ++k)
                    line.push_back(line[from + k]);
        } else if (b == 0xEF && i + 2 < size) {
            line.push_back(WCHAR((data[i + 1] << 8) | data[i + 2]));
            i += 2;
        } else if (b >= 0xF0 && i + 1 < size) {
            line.push_back(WCHAR(data[++i]));
        } else {
            line.push_back(WCHAR(lines::LOCATOR_ALPHABET[b % lines::LOCATOR_ALPHABET_LENGTH]));
        }
    }
    line.push_back(0);
    return line;
}

[[noreturn]] void Fail(const char* what, const ReferenceSpan& got, const ReferenceSpan& want) {
    std::fprintf(stderr, "%s: locator %d..%d depth %d, expected %d..%d depth %d\n", what, got.first,
                 got.last, got.depth, want.first, want.last, want.depth);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* setting = std::getenv("TALLIX_FUZZ_LONG_LINES");
    longLines = !(setting && std::strcmp(setting, "0") == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    WCHAR escape = WCHAR(ESCAPES[data[0] % (sizeof ESCAPES - 1)]);
    std::vector<WCHAR> line = Decode(data + 4, size - 4, longLines && data[3] == LONG_MODE);
    int32_t length = 0;
    while (length < MAX_LINE_LENGTH && line[size_t(length)]) ++length;
    int32_t cursor = int32_t((data[1] << 8) | data[2]) % (length + 3) - 1;

    ReferenceSpan span = LocateReference(line.data(), cursor, escape);
    ReferenceSpan none{-1, -1, -1};
    if (span.first >= 0) {
        bool sound = span.last >= 0 && span.first <= span.last && span.last < length &&
                     line[size_t(span.first)] == '%' && span.first <= cursor &&
                     span.last >= cursor - 1 && span.depth >= 1;
        if (!sound) Fail("not a reference at the caret", span, none);
    } else if (span.last != -1) {
        Fail("half a result", span, none);
    }
    // A line measured beforehand is located alike.
    ReferenceSpan measured = LocateReferenceIn(line.data(), length, cursor, escape);
    if (measured.first != span.first || measured.last != span.last || measured.depth != span.depth)
        Fail("differs on the measured line", measured, span);
    if (size_t(length) <= MODEL_LIMIT) {
        model::ModelResult expected =
            model::LocateReferenceModel(line.data(), cursor, escape, MODEL_BUDGET);
        if (expected.completed &&
            (span.first != expected.span.first || span.last != expected.span.last ||
             span.depth != expected.span.depth))
            Fail("differs from the model", span, expected.span);
    }
    return 0;
}
