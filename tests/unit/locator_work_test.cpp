// The locator's time, held to linear by counting its steps (where assertions are live, the
// locator counts them), over a search of full-length lines: every line that repeats one or two
// of the tokens its rules react to, and a seeded sample of longer repeated patterns, each read
// with every escape character a rule looks at (and "^" and a letter), with the caret at the
// start, the middle and the end.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>

#include "src/actions/locator.h"
#include "tests/support/locator_lines.h"

#ifndef NDEBUG

namespace {

// Under ASan and UBSan the search takes minutes; the counts do not depend on the build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool FULL_SEARCH = false;
#else
constexpr bool FULL_SEARCH = true;
#endif

// The escape characters that a rule looks at: names, "@", forms, openers, closers, quotes.
const char* const RULE_ESCAPES = "a%@()[]{}\"=+_$1";

struct Worst {
    double perUnit = 0;
    std::string line;
};

// Locates in `line` at each of `carets`, and keeps the most steps per unit in `worst`.
void Measure(const lines::Text& line, const std::string& name, char escape,
             std::initializer_list<int32_t> carets, Worst& worst) {
    for (int32_t caret : carets) {
        LocateReference(line.c_str(), caret, WCHAR(escape));
        double perUnit = double(LocatorWork()) / (MAX_LINE_LENGTH + 1);
        if (perUnit > worst.perUnit)
            worst = {perUnit, name + " escape " + escape + " caret " + std::to_string(caret)};
    }
}

// The carets from the middle of the longest line to its end.
const std::initializer_list<int32_t> LATE_CARETS = {MAX_LINE_LENGTH / 2, MAX_LINE_LENGTH * 3 / 4,
                                                    MAX_LINE_LENGTH};

// Locates at the three carets of `unit` repeated to the longest line, with every escape
// character that the line holds, and with two it does not: one that a rule looks at (such lines
// store more in the first pass) and "^". Any other escape character the line lacks reads it as
// one of these two does.
void Search(const std::string& unit, Worst& worst) {
    lines::Text line = lines::Repeated(unit.c_str(), MAX_LINE_LENGTH);
    std::string escapes = "^";
    bool absentAdded = false;
    for (const char* escape = RULE_ESCAPES; *escape; ++escape) {
        bool held = unit.find(*escape) != std::string::npos;
        if (held || !absentAdded) escapes += *escape;
        absentAdded = absentAdded || !held;
    }
    for (const char* escape = escapes.c_str(); *escape; ++escape)
        Measure(line, "\"" + unit + "\"", *escape, {0, MAX_LINE_LENGTH / 2, MAX_LINE_LENGTH},
                worst);
}

TEST(LocatorWork, StaysLinearOnRepeatedTokens) {
    if (!FULL_SEARCH) GTEST_SKIP() << "the full search runs in the optimised builds";
    const std::vector<std::string>& tokens = lines::LocatorTokens();
    Worst worst;
    for (const std::string& first : tokens) {
        Search(first, worst);
        for (const std::string& second : tokens) Search(first + second, worst);
    }
    std::mt19937 random(20261209);
    for (int sample = 0; sample < 100; ++sample) {
        std::string unit;
        for (int i = 3 + int(random() % 6); i > 0; --i) unit += tokens[random() % tokens.size()];
        Search(unit, worst);
    }
    // The line of the benchmark's worst case, found by this search.
    Search(lines::WORST_WORK_UNIT, worst);
    std::printf("worst work per unit: %.2f, %s\n", worst.perUnit, worst.line.c_str());
    EXPECT_LE(worst.perUnit, double(MAX_LOCATOR_WORK_PER_UNIT)) << worst.line;
}

} // namespace

// A line without "%", or a caret before the line, costs the classifying pass alone.
TEST(LocatorWork, NoReferenceCostsOnePass) {
    lines::Text line = lines::Repeated("(a)[b]{c}\"", 4096);
    LocateReference(line.c_str(), 4096, '^');
    EXPECT_EQ(4096u, LocatorWork());
    line[100] = '%';
    LocateReference(line.c_str(), -1, '^');
    EXPECT_EQ(4096u, LocatorWork());
}

// Lines of two or three stretches, each a pattern of one to three tokens repeated: a stretch of
// closers after one of openers makes long chains of closers that many runs climb.
TEST(LocatorWork, StaysLinearOnLinesOfSeveralStretches) {
    if (!FULL_SEARCH) GTEST_SKIP() << "the full search runs in the optimised builds";
    const std::vector<std::string>& tokens = lines::LocatorTokens();
    const std::string escapes = std::string(RULE_ESCAPES) + "^";
    std::mt19937 random(1);
    Worst worst;
    for (int sample = 0; sample < 300; ++sample) {
        lines::Text line;
        std::string name;
        for (int stretch = 2 + int(random() % 2); stretch > 0; --stretch) {
            std::string unit;
            for (int i = 1 + int(random() % 3); i > 0; --i)
                unit += tokens[random() % tokens.size()];
            size_t left = MAX_LINE_LENGTH - line.size();
            line +=
                lines::Repeated(unit.c_str(), stretch == 1 ? left : left * (1 + random() % 3) / 4);
            name += "[" + unit + "]";
        }
        Measure(line, name, escapes[random() % escapes.size()], LATE_CARETS, worst);
    }
    // Lines on which a wider search of this kind found that a climb of one closer at a time
    // (no jumps) takes 13 to 50 steps per unit: their stretches, in sixteenths of the line.
    const struct {
        const char* units[3];
        int sixteenths[3];
        char escape;
    } found[] = {
        {{"%((", "^)]]", "))%a"}, {12, 3, 1}, '%'},
        {{"%%(", ")}%a", "\"%a%%"}, {4, 6, 6}, '^'},
        {{"%@f[())", "][", "%=%[["}, {4, 6, 6}, '%'},
        {{"%=%(%a[", "%a[))", "%a[%a[("}, {12, 2, 2}, '+'},
    };
    for (const auto& f : found) {
        lines::Text line;
        for (int i = 0; i < 3; ++i)
            line += lines::Repeated(f.units[i], i == 2 ? MAX_LINE_LENGTH - line.size()
                                                       : MAX_LINE_LENGTH / 16 * f.sixteenths[i]);
        Measure(line, std::string(f.units[0]) + "..." + f.units[2], f.escape, LATE_CARETS, worst);
    }
    std::printf("worst work per unit: %.2f, %s\n", worst.perUnit, worst.line.c_str());
    EXPECT_LE(worst.perUnit, double(MAX_LOCATOR_WORK_PER_UNIT)) << worst.line;
}

#endif
