// The reference locator: the documented examples, the rules that catch real faults, a seeded
// comparison with the recursive model, and full-length adversarial lines on a small stack.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "src/actions/locator.h"
#include "tests/models/reference_locator.h"
#include "tests/support/host_capture.h"
#include "tests/support/host_thread.h"
#include "tests/support/locator_lines.h"

using support::Text;
using support::Utf8;

namespace {

constexpr int32_t NONE = -1;

struct Case {
    const WCHAR* line;
    int32_t cursor;
    int32_t first, last, depth; // NONE for no reference
};

std::string Describe(const Case& c, WCHAR escape) {
    return "line \"" + Utf8(c.line) + "\" cursor " + std::to_string(c.cursor) + " escape " +
           Utf8(Text(1, escape));
}

void ExpectCases(const std::vector<Case>& cases, WCHAR escape) {
    for (const Case& c : cases) {
        ReferenceSpan span = LocateReference(c.line, c.cursor, escape);
        if (c.first == NONE) {
            EXPECT_EQ(NONE, span.first) << Describe(c, escape);
            EXPECT_EQ(NONE, span.last) << Describe(c, escape);
            continue;
        }
        EXPECT_EQ(c.first, span.first) << Describe(c, escape);
        EXPECT_EQ(c.last, span.last) << Describe(c, escape);
        EXPECT_EQ(c.depth, span.depth) << Describe(c, escape);
    }
}

} // namespace

TEST(LocateReference, DocumentedExamples) {
    ExpectCases(
        {
            {WIDE("echo %@upper[%foo]"), 4, NONE, NONE, NONE},
            {WIDE("echo %@upper[%foo]"), 5, 5, 17, 1},
            {WIDE("echo %@upper[%foo]"), 12, 5, 17, 1},
            {WIDE("echo %@upper[%foo]"), 13, 13, 16, 2},
            {WIDE("echo %@upper[%foo]"), 17, 13, 16, 2},
            {WIDE("echo %@upper[%foo]"), 18, 5, 17, 1},
            {WIDE("%a%b"), 2, 0, 1, 1},
            {WIDE("%a%b"), 3, 2, 3, 1},
            {WIDE("%1%2"), 1, 0, 1, 1},
            {WIDE("%_batch$x+1"), 9, 0, 8, 1},
            {WIDE("%%foo"), 3, NONE, NONE, NONE},
            {WIDE("%%%foo"), 6, 2, 5, 1},
            {WIDE("^%a"), 2, NONE, NONE, NONE},
            {WIDE("^^%a"), 4, 2, 3, 1},
            {WIDE("a%=%b"), 3, 1, 2, 1},
            {WIDE("a%=%b"), 5, NONE, NONE, NONE},
            {WIDE("a%+%b"), 5, 3, 4, 1},
            {WIDE("%var[2]"), 7, 0, 6, 1},
            {WIDE("%@f[a[1]]"), 5, 0, 7, 1},
            {WIDE("%@f[\"a]b\"]"), 6, 0, 9, 1},
            {WIDE("%@f[a^]b]"), 6, 0, 8, 1},
            {WIDE("%@f[%(x]"), 5, 0, 7, 1},
            {WIDE("%((1+(2)))"), 3, 0, 9, 1},
            {WIDE("%(a^(b)"), 3, NONE, NONE, NONE},
            {WIDE("%@f[%=]"), 6, 4, 5, 2},
            {WIDE("x %@f[%(x] %b"), 12, 11, 12, 3},
            {WIDE("%@x["), 2, NONE, NONE, NONE},
            {WIDE("x%[a%b]"), 5, 4, 5, 2}, // the line traced through the passes in locator.cpp
        },
        '^');
}

TEST(LocateReference, CaretAtTheEdgesOfAReference) {
    ExpectCases(
        {
            {WIDE("ab %foo cd"), 3, 3, 6, 1},          // just before the "%"
            {WIDE("ab %foo cd"), 7, 3, 6, 1},          // just after the last character
            {WIDE("ab %foo cd"), 8, NONE, NONE, NONE}, // two past the end
            {WIDE("ab %foo cd"), 2, NONE, NONE, NONE}, // one before the "%"
            {WIDE("%foo"), 4, 0, 3, 1},                // after the line's last character
            {WIDE("%foo"), -1, NONE, NONE, NONE},
            {WIDE("%foo"), 6, NONE, NONE, NONE},
            {WIDE("%(%(%(%x)))"), 7, 6, 7, 4}, // innermost of many that all qualify
            {WIDE("%[a]%[b]"), 4, 0, 3, 1},    // equal depth: the left one was recorded first
        },
        '^');
}

TEST(LocateReference, FormsThatAreNoReference) {
    ExpectCases(
        {
            {WIDE(""), 0, NONE, NONE, NONE},
            {WIDE("plain words"), 3, NONE, NONE, NONE},
            {WIDE("a %"), 3, NONE, NONE, NONE},  // "%" at the end
            {WIDE("a %("), 3, NONE, NONE, NONE}, // openers that end the line
            {WIDE("a %["), 3, NONE, NONE, NONE},
            {WIDE("a %{"), 3, NONE, NONE, NONE},
            {WIDE("a %@f"), 4, NONE, NONE, NONE},  // function name without "["
            {WIDE("a %@f["), 5, NONE, NONE, NONE}, // "[" that ends the line
            {WIDE("%@1[x]"), 2, NONE, NONE, NONE}, // a function name starts with a letter
            {WIDE("%$x"), 2, NONE, NONE, NONE},    // a variable does not start with "$"
            {WIDE("%!x"), 1, NONE, NONE, NONE},
        },
        '^');
}

TEST(LocateReference, NamesBracketsAndTwoUnitClosers) {
    ExpectCases(
        {
            {WIDE("%_x$y+"), 5, 0, 4, 1},         // "_" first, "$" inside
            {WIDE("%9lives"), 2, 0, 6, 1},        // a digit first
            {WIDE("%Zz%az"), 2, 0, 2, 1},         // letters at both ends of the alphabet
            {WIDE("%x["), 2, 0, 1, 1},            // "[" at the end: a plain variable
            {WIDE("%x[]"), 4, 0, 3, 1},           // an empty index
            {WIDE("%[[a]b]]"), 3, 0, 7, 1},       // "]]" ends a double bracket, "]" alone does not
            {WIDE("%[[a]"), 5, NONE, NONE, NONE}, // "%[[" never falls back to "%["
            {WIDE("%((a)b))"), 3, 0, 7, 1},
            {WIDE("%((a) b)"), 8, NONE, NONE, NONE}, // nor "%((" to "%("
            {WIDE("%(a(b)c)"), 2, 0, 7, 1},          // the count skips the nested pair
            {WIDE("%{a]b}"), 2, 0, 5, 1},
            {WIDE("%(%(a))"), 4, 2, 5, 2}, // a nested closer lowers no zero count
        },
        '^');
}

TEST(LocateReference, QuotesAndLiteralMode) {
    ExpectCases(
        {
            {WIDE("%[\"]\"]"), 2, 0, 5, 1},    // a quoted closer does not close
            {WIDE("\"%[a]\""), 3, 1, 4, 1},    // quotes on the line itself mean nothing
            {WIDE("%[\"%[a]\"]"), 4, 3, 6, 2}, // a nested body starts unquoted
            {WIDE("%[\"%x\"]"), 4, 3, 4, 2},   // forms inside quotes are still recorded
            {WIDE("%[^\"]\"]"), 2, 0, 4, 1},   // an escaped quote does not toggle
            {WIDE("%[a^^]"), 2, 0, 5, 1},      // two escapes cancel
            {WIDE("%[a^^^]]"), 2, 0, 7, 1},
            {WIDE("%=%x"), 4, NONE, NONE, NONE}, // the "%" after "%=" is literal
            {WIDE("%=^%x"), 4, 3, 4, 1},         // "%=" then an escape: the escape is cancelled
            {WIDE("%[%=]]"), 5, 0, 5, 1},        // the "]" after "%=" does not close
            {WIDE("%(a^)b)"), 3, 0, 6, 1},       // an escaped ")" still lowers the count
        },
        '^');
}

TEST(LocateReference, UnclosedOpenersAreReadAgainAsText) {
    ExpectCases(
        {
            {WIDE("%[%(a]"), 1, 0, 5, 1},
            {WIDE("%(%[a)"), 1, 0, 5, 1},
            {WIDE("%(%[%a)"), 5, 4, 5, 3}, // first recorded inside the unclosed "%["
            {WIDE("%{%@f[x}"), 7, 0, 7, 1},
            {WIDE("%[%x[y]"), 5, 2, 6, 2},          // the nested reference takes the "]"
            {WIDE("%[%x[y]"), 1, NONE, NONE, NONE}, // so the outer one has none
            {WIDE("%(%(%("), 6, NONE, NONE, NONE},
        },
        '^');
}

TEST(LocateReference, AnotherEscapeCharacter) {
    ExpectCases(
        {
            {WIDE("~%a"), 2, NONE, NONE, NONE},
            {WIDE("^%a"), 3, 1, 2, 1}, // "^" is ordinary text now
            {WIDE("%@f[a~]b]"), 6, 0, 8, 1},
            {WIDE("%@f[a^]b]"), 6, 0, 6, 1},
            {WIDE("%[a~~]"), 2, 0, 5, 1},
        },
        '~');
    // An escape character that is itself an opener's last character: the run that reads an
    // unclosed "%(" again sees its body shifted into literal mode and finds another opener,
    // so "%a" is first recorded at depth 2 and later at depth 3.
    ExpectCases({{WIDE("%(%%(%{%a"), 9, 7, 8, 3}}, '(');
    // ")" as the escape character: the count of the outer "%(" passes a ")" read literally,
    // whose successor reads the next unit literally too, and closes only at the last ")".
    ExpectCases({{WIDE("%(^(()%x%))"), 0, 0, 10, 1}}, ')');
}

TEST(LocateReference, ReadsAtMostTheLongestLine) {
    Text line(MAX_LINE_LENGTH, 'x');
    line += WIDE("%a");
    ReferenceSpan span = LocateReference(line.c_str(), MAX_LINE_LENGTH + 2, '^');
    EXPECT_EQ(NONE, span.first);
    line[MAX_LINE_LENGTH - 2] = '%';
    span = LocateReference(line.c_str(), MAX_LINE_LENGTH, '^');
    EXPECT_EQ(MAX_LINE_LENGTH - 2, span.first);
    EXPECT_EQ(MAX_LINE_LENGTH - 1, span.last);
    EXPECT_EQ(NONE, LocateReference(nullptr, 0, '^').first);
    // A measured line longer than the longest, of a negative length or missing is refused.
    Text longer(MAX_LINE_LENGTH + 1, 'x');
    longer[0] = '%';
    EXPECT_EQ(NONE, LocateReferenceIn(longer.c_str(), MAX_LINE_LENGTH + 1, 1, '^').first);
    EXPECT_EQ(0, LocateReferenceIn(longer.c_str(), MAX_LINE_LENGTH, 1, '^').first);
    EXPECT_EQ(NONE, LocateReferenceIn(line.c_str(), -1, 0, '^').first);
    EXPECT_EQ(NONE, LocateReferenceIn(nullptr, 5, 5, '^').first);
    EXPECT_EQ(MAX_LINE_LENGTH - 2, LocateReferenceIn(line.c_str(), 65535, 65535, '^').first);
    // A "]" at the line's last position closes no brace.
    Text brace = WIDE("%{") + Text(MAX_LINE_LENGTH - 3, 'x') + WIDE("]");
    EXPECT_EQ(NONE, LocateReference(brace.c_str(), 1, '^').first);
}

// ---- The recursive model on random short lines ----------------------------------------------

namespace {

// Compares the locator with the model at `caret`: 1 when they agree, 0 when the model spent
// more than `budget` steps (0: no cap) and nothing was compared, -1 (and a failure) otherwise.
int CompareAt(const Text& line, int32_t caret, WCHAR escape, uint64_t budget = 0) {
    model::ModelResult expected = model::LocateReferenceModel(line.c_str(), caret, escape, budget);
    if (!expected.completed) return 0;
    ReferenceSpan span = LocateReference(line.c_str(), caret, escape);
    ReferenceSpan measured = LocateReferenceIn(line.c_str(), int32_t(line.size()), caret, escape);
    if (span.first == expected.span.first && span.last == expected.span.last &&
        span.depth == expected.span.depth && measured.first == span.first &&
        measured.last == span.last && measured.depth == span.depth)
        return 1;
    ADD_FAILURE() << "line \"" << Utf8(line) << "\" (" << line.size() << " units) caret " << caret
                  << " escape " << Utf8(Text(1, escape)) << ": model " << expected.span.first
                  << ".." << expected.span.last << " depth " << expected.span.depth << ", locator "
                  << span.first << ".." << span.last << " depth " << span.depth
                  << ", on the measured line " << measured.first << ".." << measured.last;
    return -1;
}

// The same at every caret from 0 to one past the line's end: how many were compared, or -1 at
// the first difference.
int CompareWithModel(const Text& line, WCHAR escape, uint64_t budget = 0) {
    int compared = 0;
    for (int32_t caret = 0; caret <= int32_t(line.size()) + 1; ++caret) {
        int result = CompareAt(line, caret, escape, budget);
        if (result < 0) return -1;
        compared += result;
    }
    return compared;
}

} // namespace

TEST(LocateReference, MatchesTheRecursiveModel) {
    // "^" most of the time; "~" as a harmless other escape; the rest put the escape character
    // where openers, closers, quotes and forms are.
    static const char ESCAPES[] = "^^^^~~([{)]}\"%=@_$+ a1";
    std::mt19937 random(20240611);
    int compared = 0;
    for (int lineNumber = 0; lineNumber < 30000; ++lineNumber) {
        Text line = lines::RandomUnits(random, random() % 19);
        int lineCompared = CompareWithModel(line, lines::RandomUnits(random, 1, ESCAPES)[0]);
        ASSERT_EQ(int(line.size()) + 2, lineCompared);
        compared += lineCompared;
    }
    EXPECT_GT(compared, 300000);
}

// Lines whose last closer character is followed by a tail without any: openers, quotes, escapes
// and parentheses there still decide where runs from the left close and which path they walk.
TEST(LocateReference, MatchesTheModelWithATailAfterTheLastCloser) {
    std::mt19937 random(20261208);
    for (int lineNumber = 0; lineNumber < 20000; ++lineNumber) {
        int head = int(random() % 12), tail = 1 + int(random() % 10);
        Text line = lines::RandomUnits(random, size_t(head));
        line += lines::RandomUnits(random, 1, ")]}");
        line += lines::RandomUnits(random, size_t(tail), "%@a1_$([{\"^=+ ");
        WCHAR escape = lines::RandomUnits(random, 1, "^^^~([{\"%=")[0];
        ASSERT_EQ(int(line.size()) + 2, CompareWithModel(line, escape));
    }
}

namespace {

// Draws `count` lines with `make`, each read with an escape character drawn from `escapes`, and
// compares every caret of each with the model (capped at 200,000 steps): how many carets were
// compared, or -1 at the first difference.
int CompareDrawnLines(uint32_t seed, int count, const std::function<Text(std::mt19937&)>& make,
                      const char* escapes) {
    std::mt19937 random(seed);
    int compared = 0;
    for (int lineNumber = 0; lineNumber < count; ++lineNumber) {
        Text line = make(random);
        int lineCompared =
            CompareWithModel(line, lines::RandomUnits(random, 1, escapes)[0], 200000);
        if (lineCompared < 0) return -1;
        compared += lineCompared;
    }
    return compared;
}

} // namespace

// Lines made of whole openers, closers, quotes and forms nest far more than random characters
// do: runs pause inside runs, meet nodes that deeper runs walked, and follow runs of other kinds.
TEST(LocateReference, MatchesTheModelOnNestedTokens) {
    static const char* const TOKENS[] = {"%(", "%((", "%[", "%[[", "%{", "%@f[", "%a[",
                                         ")",  "))",  "]",  "]]",  "}",  "\"",   "^",
                                         "%=", "%a",  "x",  "(",   "^)"};
    auto make = [](std::mt19937& random) {
        Text line;
        int tokens = 4 + int(random() % 9);
        for (int i = 0; i < tokens; ++i)
            line += lines::FromAscii(TOKENS[random() % (sizeof TOKENS / sizeof *TOKENS)]);
        return line;
    };
    EXPECT_GT(CompareDrawnLines(20261209, 6000, make, "^^^^([{)%a"), 60000);
}

// Runs of text that no rule looks at, of every length, between tokens: the locator crosses
// them a word at a time and must still stop at the unit that ends each, whatever its offset;
// with some escape characters the same units are no longer quiet.
TEST(LocateReference, MatchesTheModelAcrossRunsOfText) {
    auto make = [](std::mt19937& random) {
        const std::vector<std::string>& tokens = lines::LocatorTokens();
        Text line;
        for (int piece = 2 + int(random() % 5); piece > 0; --piece) {
            line += lines::RandomUnits(random, random() % 21, "ab1_$@=+ ");
            line += lines::FromAscii(tokens[random() % tokens.size()].c_str());
        }
        return line;
    };
    EXPECT_GT(CompareDrawnLines(20261210, 2000, make, "^^^^([{)%a="), 50000);
}

// Units beyond ASCII (letters, a digit, others) among the tokens, at every offset within the
// words that the classifying pass reads at once, and escape characters beyond ASCII too.
TEST(LocateReference, MatchesTheModelBeyondAscii) {
    static const WCHAR WIDE[] = {0xE9, 0x3A9, 0x663, 0x20AC, 0x80, 0xFF, 0x7F, 0xA7};
    auto make = [](std::mt19937& random) {
        const std::vector<std::string>& tokens = lines::LocatorTokens();
        Text line;
        for (int piece = 2 + int(random() % 6); piece > 0; --piece) {
            line += lines::RandomUnits(random, random() % 4, "ab1 ");
            if (random() % 2) line += WIDE[random() % (sizeof WIDE / sizeof *WIDE)];
            line += lines::FromAscii(tokens[random() % tokens.size()].c_str());
        }
        return line;
    };
    EXPECT_GT(CompareDrawnLines(20261211, 1500, make, "^^^("), 20000);
    std::mt19937 random(5);
    for (WCHAR escape : {WCHAR(0xA7), WCHAR(0xE9), WCHAR(0x80), WCHAR(0x7F)}) {
        for (int lineNumber = 0; lineNumber < 200; ++lineNumber) {
            Text line = make(random);
            for (size_t i = 0; i < line.size(); ++i)
                if (random() % 5 == 0) line[i] = escape;
            ASSERT_GE(CompareWithModel(line, escape, 200000), 0) << int(escape);
        }
    }
}

// The lines people type, at every caret.
TEST(LocateReference, MatchesTheModelOnTypedLines) {
    for (const lines::Family& family : lines::TypedFamilies()) {
        Text line = family.make(600);
        EXPECT_EQ(int(line.size()) + 2, CompareWithModel(line, family.escape)) << family.name;
    }
}

// Parenthesis counts beyond what a node's record holds, in runs that pause inside each other.
TEST(LocateReference, LargeCountsSurvivePauses) {
    Text opens(9000, '('), closes(9000, ')');
    Text inner = WIDE("%(") + opens + WIDE("%(x)") + closes + WIDE(")");
    Text outer = WIDE("%(") + opens + inner + closes + WIDE(")");
    for (const Text& line : {inner, outer}) {
        int32_t nested = int32_t(line.size() - closes.size() - 2); // inside the innermost "%(x)"
        for (int32_t caret : {int32_t(line.size()), nested, 1})
            EXPECT_EQ(1, CompareAt(line, caret, '^'));
    }
}

// ---- Full-length adversarial lines on a 256 KiB stack --------------------------------------

namespace {

constexpr size_t SMALL_STACK = 256 * 1024;

struct Probe {
    int32_t caret;
    ReferenceSpan expected;
};

struct LongLine {
    std::string name;
    Text line;
    std::vector<Probe> probes;
};

// The family's unit repeated, a probe "%v" and a space (which ends the name before a unit of
// plain text) in the middle, more units, padding and "%w" at the end. Every opener of the first
// half encloses the probe, every opener encloses "%w", and the runs that read them again record
// them only at lower depths.
LongLine Unclosed(const lines::Family& family) {
    size_t unitLength = std::char_traits<char>::length(family.unit);
    size_t half = (MAX_LINE_LENGTH - 5) / (2 * unitLength);
    LongLine unclosed{family.name, lines::Repeated(family.unit, half * unitLength), {}};
    int32_t probe = int32_t(unclosed.line.size());
    unclosed.line += WIDE("%v ") + unclosed.line;
    unclosed.line += Text(MAX_LINE_LENGTH - 2 - unclosed.line.size(), 'x') + WIDE("%w");
    int32_t n = MAX_LINE_LENGTH;
    int32_t openers =
        int32_t(half * size_t(std::count(family.unit, family.unit + unitLength, '%')));
    unclosed.probes = {{n, {n - 2, n - 1, 2 * openers + 1}},
                       {probe + 1, {probe, probe + 1, openers + 1}},
                       {0, {NONE, NONE, NONE}}};
    return unclosed;
}

// The outermost of a closed nest spans the line at depth 1; the innermost, k openers deep,
// encloses the three units of padding in the middle.
LongLine Closed(const char* opener, const char* closer) {
    int32_t n = MAX_LINE_LENGTH, k = (n - 3) / 3;
    return {std::string("closed ") + opener,
            lines::ClosedNest(opener, closer, size_t(n)),
            {{n, {0, n - 1, 1}}, {2 * k + 1, {2 * k - 2, 2 * k + 3, k}}, {0, {0, n - 1, 1}}}};
}

} // namespace

TEST(LocateReference, FullLengthLinesOnASmallStack) {
    std::vector<LongLine> families = {Closed("%(", ")"), Closed("%[", "]")};
    for (const lines::Family& family : lines::AdversarialFamilies())
        if (family.unit) families.push_back(Unclosed(family));
    std::vector<ReferenceSpan> found;
    bool ran = support::RunOnHostThread(
        [&] {
            for (const LongLine& family : families)
                for (const Probe& probe : family.probes)
                    found.push_back(LocateReference(family.line.c_str(), probe.caret, '^'));
        },
        SMALL_STACK);
    ASSERT_TRUE(ran);
    size_t next = 0;
    for (const LongLine& family : families) {
        ASSERT_EQ(size_t(MAX_LINE_LENGTH), family.line.size()) << family.name;
        for (const Probe& probe : family.probes) {
            ASSERT_LT(next, found.size());
            const ReferenceSpan& span = found[next++];
            EXPECT_EQ(probe.expected.first, span.first) << family.name << " at " << probe.caret;
            EXPECT_EQ(probe.expected.last, span.last) << family.name << " at " << probe.caret;
            if (probe.expected.first != NONE) {
                EXPECT_EQ(probe.expected.depth, span.depth) << family.name << " at " << probe.caret;
            }
        }
    }
}
