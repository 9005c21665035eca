// Expand at the caret, as the host sees it through the keystroke handler: the reference at the
// caret becomes its silent expansion; every failure beeps, leaves the line and caret alone and
// still consumes the key. The limits of the reference buffer and of the line; the action's own
// result codes.
#include "src/actions/expand.h"
#include "src/host/escapechar.h"
#include "src/plugin/dispatch.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

using support::EditLine;
using support::Repeat;
using support::Text;
using support::Utf8;

namespace {

class Expand : public support::PluginTest {
  protected:
    void SetUp() override {
        support::PluginTest::SetUp();
        PluginSettings.ErrorBeep = 1; // the host's honk: countable in both builds
    }
};

struct ExpandCase {
    const char* name;
    const WCHAR* line;
    size_t caret;
    const WCHAR* expected;
    long expectedCaret;
};

TEST_F(Expand, ReplacesTheReferenceAtTheCaret) {
    const ExpandCase cases[] = {
        {"caret after a variable", WIDE("echo %foo"), 9, WIDE("echo value"), 10},
        {"caret before the %", WIDE("echo %foo"), 5, WIDE("echo value"), 10},
        {"caret inside", WIDE("echo %foo"), 7, WIDE("echo value"), 10},
        {"text after follows", WIDE("a %foo; b"), 4, WIDE("a value; b"), 7},
        {"only the nested one", WIDE("x %@upper[%foo] y"), 12, WIDE("x %@upper[value] y"), 15},
        {"the enclosing one", WIDE("x %@upper[%foo] y"), 15, WIDE("x VALUE y"), 7},
        {"empty expansion", WIDE("a %none b"), 5, WIDE("a  b"), 2},
        {"bracketed variable", WIDE("%[foo]x"), 6, WIDE("valuex"), 5},
    };
    for (const ExpandCase& c : cases) {
        support::ResetPluginState();
        TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
        TakeCmdSetExpansion(WIDE("%@upper[%foo]"), WIDE("VALUE"));
        EditLine edit(c.line, c.caret, DEFAULT_HOTKEY);
        EXPECT_EQ(0, key(&edit.event)) << c.name;
        EXPECT_EQ(Utf8(c.expected), edit.Utf8Line()) << c.name;
        EXPECT_EQ(c.expectedCaret, edit.Caret()) << c.name;
        EXPECT_EQ(1, edit.event.redraw) << c.name;
        EXPECT_EQ(0, edit.event.keyCode) << c.name;
        EXPECT_EQ(0, TakeCmdHonkCount()) << c.name;
    }
}

TEST_F(Expand, FailuresBeepChangeNothingAndConsumeTheKey) {
    struct FailCase {
        const char* name;
        const WCHAR* line;
        int64_t caret; // may stand outside the line
        int expandResult;
    };
    const FailCase cases[] = {
        {"empty line", WIDE(""), 0, 0},
        {"no reference", WIDE("echo foo"), 8, 0},
        {"caret two past the reference", WIDE("%foo  "), 6, 0},
        {"host fails", WIDE("echo %foo"), 9, 5},
        {"caret past the terminator", WIDE("echo %foo"), 10, 0},
        {"caret far past the line", WIDE("echo %foo"), 70000, 0},
        {"caret before the line", WIDE("echo %foo"), -1, 0},
    };
    for (const FailCase& c : cases) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = 1;
        TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
        TakeCmdSetExpandResult(c.expandResult);
        EditLine edit(c.line, 0, DEFAULT_HOTKEY);
        // Pointer arithmetic outside the buffer is done on integers, as a host's stray pointer.
        WCHAR* cursor = reinterpret_cast<WCHAR*>(reinterpret_cast<uintptr_t>(edit.event.line) +
                                                 uintptr_t(c.caret * 2));
        edit.event.cursor = cursor;
        EXPECT_EQ(0, key(&edit.event)) << c.name;
        EXPECT_EQ(Utf8(c.line), edit.Utf8Line()) << c.name;
        EXPECT_EQ(cursor, edit.event.cursor) << c.name;
        EXPECT_EQ(0, edit.event.redraw) << c.name;
        EXPECT_EQ(0, edit.event.keyCode) << c.name;
        EXPECT_EQ(1, TakeCmdHonkCount()) << c.name;
        EXPECT_EQ(0, TakeCmdClearCount()) << c.name;
    }
}

TEST_F(Expand, NullLineAndNullEvent) {
    EditLine edit(WIDE(""), 0, DEFAULT_HOTKEY);
    edit.event.line = nullptr;
    edit.event.cursor = nullptr;
    EXPECT_EQ(0, key(&edit.event));
    EXPECT_EQ(0, edit.event.keyCode);
    EXPECT_EQ(1, TakeCmdHonkCount());
    EXPECT_EQ(0, key(nullptr));
    EXPECT_EQ(1, TakeCmdHonkCount());
}

TEST_F(Expand, KeyNameEmptiedOnlyOnNewerHosts) {
    for (int version : {23, 24}) {
        support::ResetPluginState();
        support::UseHostVersion(version);
        for (const WCHAR* line : {WIDE("%foo"), WIDE("none here")}) {
            EditLine edit(line, 4, DEFAULT_HOTKEY, WIDE("Alt-X"));
            key(&edit.event);
            EXPECT_EQ(0, edit.event.keyCode) << version;
            EXPECT_EQ(version >= 24 ? "" : "Alt-X", Utf8(edit.name)) << version;
        }
    }
}

TEST_F(Expand, EscapeCharacterAsTheHostReportsIt) {
    struct EscapeCase {
        const WCHAR* option;
        WCHAR expected;
    };
    const EscapeCase cases[] = {
        {WIDE("~"), '~'}, {WIDE("^"), '^'}, {WIDE(""), '^'},       {WIDE("~~"), '^'},
        {WIDE("x"), '^'}, {WIDE("7"), '^'}, {WIDE("\u00E9"), '^'}, {WIDE("\u00A7"), 0xA7},
    };
    for (const EscapeCase& c : cases) {
        support::ResetPluginState();
        TakeCmdSetEscapeOption(c.option);
        EXPECT_EQ(c.expected, GetEscapeChar()) << Utf8(c.option);
        EXPECT_EQ(std::vector<Text>{WIDE("%@option[EscapeChar]")}, support::HostInputs('E'));
    }
}

TEST_F(Expand, TheHostsEscapeCharacterReachesTheLocator) {
    // With "~" as the escape character, "~%a" is literal and "^" is ordinary text.
    TakeCmdSetEscapeOption(WIDE("~"));
    TakeCmdSetVariable(WIDE("a"), WIDE("A"));
    EditLine escaped(WIDE("~%a"), 3, DEFAULT_HOTKEY);
    key(&escaped.event);
    EXPECT_EQ("~%a", escaped.Utf8Line());
    EXPECT_EQ(1, TakeCmdHonkCount());
    EditLine plain(WIDE("^%a"), 3, DEFAULT_HOTKEY);
    key(&plain.event);
    EXPECT_EQ("^A", plain.Utf8Line());
}

TEST_F(Expand, OnlyTheExpansionIsSilenced) {
    TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
    EditLine edit(WIDE("%foo"), 4, DEFAULT_HOTKEY);
    key(&edit.event);
    auto calls = support::HostCalls();
    std::vector<support::HostCall> expands;
    for (const auto& call : calls)
        if (call.kind == 'E') expands.push_back(call);
    ASSERT_EQ(2u, expands.size());
    EXPECT_EQ("%@option[EscapeChar]", Utf8(expands[0].input));
    EXPECT_FALSE(expands[0].stdoutRedirected);
    EXPECT_FALSE(expands[0].stderrRedirected);
    EXPECT_EQ("%foo", Utf8(expands[1].input));
    EXPECT_TRUE(expands[1].stdoutRedirected);
    EXPECT_TRUE(expands[1].stderrRedirected);
    EXPECT_EQ(Text(), support::HostStdout());
    EXPECT_EQ(Text(), support::HostStderr());
}

TEST_F(Expand, ReferenceBufferLimit) {
    // "%" and a name: 8,191 units are handed to the host, 8,192 are refused.
    for (size_t length : {size_t(8191), size_t(8192)}) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = 1;
        Text reference = WIDE("%") + Repeat('n', length - 1);
        TakeCmdSetExpansion(reference.c_str(), WIDE("short"));
        EditLine edit(WIDE("x ") + reference, length + 2, DEFAULT_HOTKEY);
        key(&edit.event);
        bool fits = length == 8191;
        EXPECT_EQ(Utf8(fits ? Text(WIDE("x short")) : WIDE("x ") + reference), edit.Utf8Line());
        EXPECT_EQ(fits ? 7 : long(length + 2), edit.Caret());
        EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << length;
        // The refused reference never reaches the host.
        EXPECT_EQ(fits ? 2u : 1u, support::HostInputs('E').size()) << length;
    }
}

TEST_F(Expand, LineCapacityLimit) {
    // An expansion of 40,000 units, far longer than any reference, of "%v" at the start of a
    // line padded to make exactly 65,535 units, then one unit more.
    const Text expansion = Repeat('e', 40000);
    const size_t fill = EDIT_LINE_CAPACITY - 1 - expansion.size();
    for (size_t padding : {fill, fill + 1}) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = 1;
        TakeCmdSetExpansion(WIDE("%v"), expansion.c_str());
        const Text line = WIDE("%v") + Repeat(' ', padding);
        EditLine edit(line, 2, DEFAULT_HOTKEY);
        key(&edit.event);
        bool fits = padding == fill;
        EXPECT_EQ(fits ? expansion + Repeat(' ', padding) : line, edit.Line()) << padding;
        EXPECT_EQ(fits ? long(expansion.size()) : 2, edit.Caret()) << padding;
        EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << padding;
        EXPECT_EQ(0, edit.buffer[EDIT_LINE_CAPACITY - 1]) << padding;
    }
}

TEST_F(Expand, TheActionItselfNeitherBeepsNorConsumes) {
    struct ActionCase {
        const WCHAR* line;
        size_t caret;
        int result;
        const char* after;
    };
    const ActionCase cases[] = {
        {WIDE("%foo"), 4, 1, "value"},
        {WIDE("echo foo"), 8, 0, "echo foo"},
        {WIDE(""), 0, 0, ""},
    };
    for (const ActionCase& c : cases) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = 1;
        TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
        EditLine edit(c.line, c.caret, DEFAULT_HOTKEY, WIDE("Alt-X"));
        EXPECT_EQ(c.result, ExpandAtCaret(&edit.event)) << c.after;
        EXPECT_EQ(c.after, edit.Utf8Line());
        EXPECT_EQ(c.result == 1 ? 1 : 0, edit.event.redraw) << c.after;
        EXPECT_EQ(DEFAULT_HOTKEY, edit.event.keyCode) << c.after;
        EXPECT_EQ("Alt-X", Utf8(edit.name)) << c.after;
        EXPECT_EQ(0, TakeCmdHonkCount()) << c.after;
    }
    EditLine noLine(WIDE(""), 0);
    noLine.event.line = nullptr;
    EXPECT_EQ(-1, ExpandAtCaret(&noLine.event));
    EXPECT_EQ(-1, ExpandAtCaret(nullptr));
    EXPECT_EQ(0, TakeCmdHonkCount());
}

// The expand hotkey's keystroke as a whole: 0 on every path, the beep on failure, the key
// consumed; a missing line beeps too, a null event changes nothing.
TEST_F(Expand, ExpandExpressionBeepsAndConsumes) {
    TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
    for (const WCHAR* text : {WIDE("%foo"), WIDE("echo foo")}) {
        support::UseHostVersion(24);
        EditLine edit(text, 4, DEFAULT_HOTKEY, WIDE("Alt-X"));
        EXPECT_EQ(0, ExpandExpression(&edit.event));
        EXPECT_EQ(0, edit.event.keyCode);
        EXPECT_EQ(0, edit.name[0]);
    }
    EXPECT_EQ(1, TakeCmdHonkCount()); // "echo foo" has no reference
    EditLine noLine(WIDE(""), 0, DEFAULT_HOTKEY);
    noLine.event.line = nullptr;
    EXPECT_EQ(0, ExpandExpression(&noLine.event));
    EXPECT_EQ(0, noLine.event.keyCode);
    EXPECT_EQ(2, TakeCmdHonkCount());
    EXPECT_EQ(0, ExpandExpression(nullptr));
}

} // namespace
