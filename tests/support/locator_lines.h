// Lines for the reference locator, shared by its unit tests, its fuzz target and its benchmark:
// the alphabet of units its rules look at, and the adversarial lines of any length, whose
// openers nest deepest, never close, or close only far away.
#pragma once

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "src/platform/platform.h"

namespace lines {

using Text = std::basic_string<WCHAR>;

// The units the locator's rules look at, plus a letter, a digit and a space; its length without
// the terminator.
extern const char LOCATOR_ALPHABET[];
extern const size_t LOCATOR_ALPHABET_LENGTH;

// The tokens the locator's rules react to, whole: openers, closers, forms, quotes, escapes and
// text. Lines made of them nest far more than random units do.
const std::vector<std::string>& LocatorTokens();

// The repeated unit, and its escape character, of the line on which the search of
// tests/unit/locator_work_test.cpp found the locator's most steps per unit.
extern const char WORST_WORK_UNIT[];
extern const WCHAR WORST_WORK_ESCAPE;

// `unit` repeated, cut at `length` units.
Text Repeated(const char* unit, size_t length);
Text FromAscii(const char* text);
// `length` units of `units`, each picked by one draw of `random` (the draw modulo their count).
Text RandomUnits(std::mt19937& random, size_t length, const char* units = LOCATOR_ALPHABET);
// `opener` k times, padding and `closer` k times, `length` units in all: every opener closes,
// the outermost spans the line and the innermost, around the padding, lies k deep. The padding
// is "x", at least one unit.
Text ClosedNest(const char* opener, const char* closer, size_t length);

// An adversarial line at any length. Lines that are one unit repeated name it in `unit`; every
// "%" of those units starts an opener that never closes.
struct Family {
    const char* name;            // the benchmark's case: Locate/<name>/<length>
    Text (*make)(size_t length); // the line of `length` units
    WCHAR escape;                // the escape character the line is read with
    const char* unit = nullptr;  // the unit `make` repeats; nullptr for lines built otherwise
};
const std::vector<Family>& AdversarialFamilies();

// Lines people type, at any length, read with "^": ordinary text with a reference here and
// there, and text dense with references.
const std::vector<Family>& TypedFamilies();

} // namespace lines
