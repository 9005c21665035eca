#include "locator_lines.h"

#include <cstring>

namespace lines {

const char LOCATOR_ALPHABET[] = "%@a1_$()[]{}\"^=+ ";
const size_t LOCATOR_ALPHABET_LENGTH = sizeof LOCATOR_ALPHABET - 1;

const std::vector<std::string>& LocatorTokens() {
    static const std::vector<std::string> TOKENS = {
        "%(", "%((", "%[", "%[[", "%{", "%@f[", "%a[", ")",  "))", "]", "]]", "}",
        "\"", "^",   "%=", "%a",  "x",  "(",    "^)",  "%%", "%+", "[", "{"};
    return TOKENS;
}

const char WORST_WORK_UNIT[] = ")%=%(]]%a{}[";
const WCHAR WORST_WORK_ESCAPE = '^';

Text Repeated(const char* unit, size_t length) {
    Text text;
    size_t unitLength = std::strlen(unit);
    while (text.size() < length) text += WCHAR(unit[text.size() % unitLength]);
    return text;
}

Text FromAscii(const char* text) {
    return Repeated(text, std::strlen(text));
}

Text RandomUnits(std::mt19937& random, size_t length, const char* units) {
    size_t count = std::strlen(units);
    Text text;
    while (text.size() < length) text += WCHAR(units[random() % count]);
    return text;
}

Text ClosedNest(const char* opener, const char* closer, size_t length) {
    size_t openerLength = std::strlen(opener), closerLength = std::strlen(closer);
    size_t k = (length - 1) / (openerLength + closerLength);
    Text text = Repeated(opener, k * openerLength);
    text += Text(length - k * (openerLength + closerLength), 'x');
    text += Repeated(closer, k * closerLength);
    return text;
}

namespace {

constexpr char PLAIN[] = "lorem ipsum dolor sit amet ";
constexpr char PAREN[] = "%(";
constexpr char DOUBLE_PAREN[] = "%((";
constexpr char BRACKET[] = "%[";
constexpr char DOUBLE_BRACKET[] = "%[[";
constexpr char BRACE[] = "%{";
constexpr char FUNCTION[] = "%@f[";
constexpr char INDEXED[] = "%a[";
constexpr char MIXTURE[] = "%(%((%[%[[%{%@f[%a[";
// Read with "[" as the escape character, every re-read of an unclosed opener's units reaches its
// body literally and finds other openers there, one level deeper each time: a locator that walks
// again what a deeper run reaches turns quadratic here (over a second at full length).
constexpr char ESCAPE_IN_OPENERS[] = "%=%a[%((%%%@f[";

template <const char* UNIT> Family RepeatingFamily(const char* name) {
    return {name, [](size_t length) { return Repeated(UNIT, length); }, '^', UNIT};
}

// Unclosed openers with one closer at the very end: no stretch of the line is free of closers.
template <const char* UNIT, char CLOSER> Text ClosedAtEnd(size_t length) {
    return Repeated(UNIT, length - 1) + WCHAR(CLOSER);
}

// A line that walks into one unclosed opener after another with "(" as the escape character:
// a locator that walks each run's stretch anew turns quadratic here (seconds at full length).
Text EscapedOpenerTrap(size_t length) {
    const size_t tail = 5;
    return Repeated("%%a[\"%(", length - tail - (length - tail) % 7) + FromAscii("%((^]");
}

// Random text over the alphabet, the same at every run.
Text RandomText(size_t length) {
    std::mt19937 random(7);
    return RandomUnits(random, length);
}

// Ordinary words, and a reference at the end.
Text WordsThenReference(size_t length) {
    Text tail = FromAscii("echo %@upper[%USERNAME]");
    return Repeated(PLAIN, length - tail.size()) + tail;
}

// Text with a "%PATH%" every 200 units.
Text PathEvery200(size_t length) {
    std::string unit;
    while (unit.size() < 194) unit += PLAIN[unit.size() % (sizeof PLAIN - 1)];
    return Repeated((unit + "%PATH%").c_str(), length);
}

constexpr char BATCH[] = "if \"%1\" == \"\" (echo %@eval[%n+1] >> %temp\\log) ";
constexpr char COPY[] = "copy %(x) %[y] %@f[%a[1]] \"q\" ";

} // namespace

const std::vector<Family>& TypedFamilies() {
    static const std::vector<Family> FAMILIES = {
        {"words_then_reference", WordsThenReference, '^'},
        {"path_every_200", PathEvery200, '^'},
        {"batch_line", [](size_t length) { return Repeated(BATCH, length); }, '^'},
        {"copy_line", [](size_t length) { return Repeated(COPY, length); }, '^'},
    };
    return FAMILIES;
}

const std::vector<Family>& AdversarialFamilies() {
    static const std::vector<Family> FAMILIES = {
        RepeatingFamily<PLAIN>("plain"),
        RepeatingFamily<PAREN>("paren"),
        RepeatingFamily<DOUBLE_PAREN>("double_paren"),
        RepeatingFamily<BRACKET>("bracket"),
        RepeatingFamily<DOUBLE_BRACKET>("double_bracket"),
        RepeatingFamily<BRACE>("brace"),
        RepeatingFamily<FUNCTION>("function"),
        RepeatingFamily<INDEXED>("indexed"),
        RepeatingFamily<MIXTURE>("mixture"),
        {"closed_nest", [](size_t length) { return ClosedNest("%(", ")", length); }, '^'},
        {"paren_closed_at_end", ClosedAtEnd<PAREN, ')'>, '^'},
        {"bracket_closed_at_end", ClosedAtEnd<BRACKET, ']'>, '^'},
        {"escaped_opener_trap", EscapedOpenerTrap, '('},
        {"escape_in_openers", [](size_t length) { return Repeated(ESCAPE_IN_OPENERS, length); },
         '['},
        {"worst_work", [](size_t length) { return Repeated(WORST_WORK_UNIT, length); },
         WORST_WORK_ESCAPE},
        {"random", RandomText, '^'},
        {"random_escape_bracket", RandomText, '['},
    };
    return FAMILIES;
}

} // namespace lines
