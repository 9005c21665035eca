// Math on word: which word the caret selects, quotes, the host's evaluation, the result codes,
// and the limits of the word and of the line.
#include "src/actions/mathword.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

using support::EditLine;
using support::Repeat;
using support::Text;
using support::Utf8;

namespace {

class Math : public support::PluginTest {};

struct MathCase {
    const WCHAR* line;
    int32_t caret;
    int code;
    const WCHAR* expected; // the new line; null: unchanged
    int32_t expectedCaret;
};

TEST_F(Math, SelectsEvaluatesAndReplaces) {
    const MathCase cases[] = {
        {WIDE("echo 1+2"), 8, 1, WIDE("echo 3"), 6},
        {WIDE("echo 1+2"), 5, 1, WIDE("echo 3"), 6}, // caret on the first unit
        {WIDE("echo 1+2 "), 9, 0, nullptr, 9},       // white space after the word
        {WIDE("echo \"1 + 2\" x"), 12, 1, WIDE("echo 3 x"), 6},
        {WIDE("  3*4"), 0, 0, nullptr, 0}, // the word begins after the caret
        {WIDE("  3*4"), 2, 1, WIDE("  12"), 4},
        {WIDE("3*4  5"), 4, 0, nullptr, 4},
        {WIDE("a \"\" b"), 4, 0, nullptr, 4},       // empty once the quotes go
        {WIDE("1+2 3*4"), 4, 1, WIDE("1+2 12"), 6}, // first unit: this word, not the last
        {WIDE("1+2 3*4"), 3, 1, WIDE("3 3*4"), 1},  // just after a word
        {WIDE("1+2 3*4"), 1, 1, WIDE("3 3*4"), 1},  // inside a word
        {WIDE("x 6/2\t"), 5, 1, WIDE("x 3\t"), 3},
        {WIDE("x 6/2\t"), 6, 0, nullptr, 6},
        {WIDE(""), 0, 0, nullptr, 0},
        {WIDE("   "), 2, 0, nullptr, 2},
        {WIDE("1/0"), 3, 0, nullptr, 3},        // the host's evaluation fails
        {WIDE("echo 1+2"), 9, 0, nullptr, 9},   // caret past the terminator
        {WIDE("echo 1+2"), -1, 0, nullptr, -1}, // caret before the line
        {WIDE("echo 1+2"), 70000, 0, nullptr, 70000},
    };
    for (const MathCase& c : cases) {
        support::ResetPluginState();
        EditLine edit(c.line, 0);
        int32_t caret = c.caret;
        const std::string label = Utf8(c.line) + " @" + std::to_string(c.caret);
        const char* name = label.c_str();
        EXPECT_EQ(c.code, MathWord(edit.event.line, &caret)) << name;
        EXPECT_EQ(Utf8(c.expected ? c.expected : c.line), edit.Utf8Line()) << name;
        EXPECT_EQ(c.expectedCaret, caret) << name;
        EXPECT_EQ(c.code == 1 ? 1 : 0, TakeCmdClearCount()) << name;
        if (c.code == 1) {
            EXPECT_EQ(edit.event.line, TakeCmdClearPosition(0)) << name;
        }
    }
}

TEST_F(Math, QuotesAndTheRunningQuoteFlag) {
    struct QuoteCase {
        const WCHAR* line;
        int32_t caret;
        const WCHAR* evaluated; // what the host is asked
    };
    const QuoteCase cases[] = {
        {WIDE("\"1 + 2\""), 0, WIDE("1 + 2")}, // one pair of enclosing quotes goes
        {WIDE("\"\"1\"\""), 0, WIDE("\"1\"")}, // only one pair
        {WIDE("\"5 x"), 0, WIDE("\"5 x")},     // an open quote stays, and so does its space
        {WIDE("\"a"), 0, WIDE("\"a")},
        {WIDE("\"7\""), 0, WIDE("7")}, // the shortest word that loses its quotes
        {WIDE("\""), 1, WIDE("\"")},
        {WIDE("2*\"3 + 4\"*5 end"), 3, WIDE("2*\"3 + 4\"*5")}, // quoted spaces inside a word
        // A quote left open in the text before the caret's run keeps the word going from there.
        {WIDE("a\" 1+2 b"), 4, WIDE("a\" 1+2 b")},
        {WIDE("a\"b\" 1+2 c"), 6, WIDE("1+2")}, // closed again: the space ends the word
    };
    for (const QuoteCase& c : cases) {
        support::ResetPluginState();
        TakeCmdSetEvaluation(c.evaluated, WIDE("R"));
        EditLine edit(c.line, 0);
        int32_t caret = c.caret;
        EXPECT_EQ(1, MathWord(edit.event.line, &caret)) << Utf8(c.line);
        EXPECT_EQ(std::vector<Text>{c.evaluated}, support::HostInputs('V')) << Utf8(c.line);
    }
    // Two quotes alone leave nothing to evaluate: the host is not asked.
    support::ResetPluginState();
    EditLine empty(WIDE("a \"\" b"), 0);
    int32_t caret = 3;
    EXPECT_EQ(0, MathWord(empty.event.line, &caret));
    EXPECT_EQ(std::vector<Text>{}, support::HostInputs('V'));
}

TEST_F(Math, MissingArguments) {
    EditLine edit(WIDE("1+2"), 3);
    int32_t caret = 3;
    EXPECT_EQ(-1, MathWord(nullptr, &caret));
    EXPECT_EQ(-1, MathWord(edit.event.line, nullptr));
    EXPECT_EQ("1+2", edit.Utf8Line());
    EXPECT_EQ(0, TakeCmdCallCount());
}

TEST_F(Math, EvaluatedSilently) {
    EditLine edit(WIDE("3*4"), 3);
    int32_t caret = 3;
    ASSERT_EQ(1, MathWord(edit.event.line, &caret));
    auto calls = support::HostCalls();
    ASSERT_EQ(2u, calls.size()); // Evaluate, then ClearEditLine
    EXPECT_EQ('V', calls[0].kind);
    EXPECT_TRUE(calls[0].stdoutRedirected);
    EXPECT_TRUE(calls[0].stderrRedirected);
    EXPECT_EQ('C', calls[1].kind);
}

TEST_F(Math, WordLengthLimit) {
    // A word of 65,527 units is evaluated; one of 65,528 is refused before the host sees it.
    for (size_t length : {size_t(65527), size_t(65528)}) {
        support::ResetPluginState();
        const Text word = Repeat('7', length);
        TakeCmdSetEvaluation(word.c_str(), WIDE("1"));
        EditLine edit(word, length);
        int32_t caret = int32_t(length);
        bool fits = length == 65527;
        EXPECT_EQ(fits ? 1 : -2, MathWord(edit.event.line, &caret)) << length;
        EXPECT_EQ(fits ? Text(WIDE("1")) : word, edit.Line()) << length;
        EXPECT_EQ(fits ? 1 : int32_t(length), caret) << length;
        EXPECT_EQ(fits ? 1u : 0u, support::HostInputs('V').size()) << length;
    }
}

TEST_F(Math, ResultThatWouldOverflowTheLineIsRefused) {
    // "w" becomes 100 units; the text after it makes the new line 65,535 units, then one more.
    const Text result = Repeat('r', 100);
    const size_t fill = EDIT_LINE_CAPACITY - 1 - result.size() - 1;
    for (size_t padding : {fill, fill + 1}) {
        support::ResetPluginState();
        TakeCmdSetEvaluation(WIDE("w"), result.c_str());
        const Text line = WIDE("w ") + Repeat('s', padding);
        EditLine edit(line, 1);
        int32_t caret = 1;
        bool fits = padding == fill;
        EXPECT_EQ(fits ? 1 : 0, MathWord(edit.event.line, &caret)) << padding;
        EXPECT_EQ(fits ? result + WIDE(" ") + Repeat('s', padding) : line, edit.Line());
        EXPECT_EQ(fits ? 100 : 1, caret) << padding;
        EXPECT_EQ(fits ? 1 : 0, TakeCmdClearCount()) << padding;
        EXPECT_EQ(0, edit.buffer[EDIT_LINE_CAPACITY - 1]) << padding;
    }
}

} // namespace
