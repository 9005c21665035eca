// The edit line: deletion and insertion with their caret rules, the bounds of every change, the
// caret's index and the check of a host's answer.
#include "src/actions/editline.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

#include <algorithm>

using support::EditLine;
using support::Repeat;
using support::Text;
using support::Utf8;

namespace {

class EditLineTest : public support::PluginTest {};

struct SpliceCase {
    uint32_t index;
    uint32_t count; // or, for insertion, unused
    long caret;
    const WCHAR* expected;
    long expectedCaret;
};

TEST_F(EditLineTest, DeleteFromLineMovesTheCaret) {
    const SpliceCase cases[] = {
        {2, 3, 0, WIDE("abfgh"), 0},    // before the span: stays
        {2, 3, 2, WIDE("abfgh"), 2},    // at its first unit: stays
        {2, 3, 3, WIDE("abfgh"), 2},    // inside: to its first unit
        {2, 3, 4, WIDE("abfgh"), 2},    //
        {2, 3, 5, WIDE("abfgh"), 2},    // just after: left by the count
        {2, 3, 8, WIDE("abfgh"), 5},    // at the end: left by the count
        {0, 8, 8, WIDE(""), 0},         // the whole line
        {6, 100, 8, WIDE("abcdef"), 6}, // a span past the end is cut there
        {9, 2, 8, WIDE("abcdefgh"), 8}, // an index past the end removes nothing
        {3, 0xFFFFFFFFu, 1, WIDE("abc"), 1},
    };
    for (const SpliceCase& c : cases) {
        support::ResetPluginState();
        EditLine edit(WIDE("abcdefgh"), size_t(c.caret));
        DeleteFromLine(&edit.event, c.index, c.count);
        EXPECT_EQ(Utf8(c.expected), edit.Utf8Line()) << c.index << "+" << c.count;
        EXPECT_EQ(c.expectedCaret, edit.Caret()) << c.index << "+" << c.count << " @" << c.caret;
        EXPECT_EQ(1, edit.event.redraw);
        ASSERT_EQ(1, TakeCmdClearCount());
        EXPECT_EQ(edit.event.line + std::min<uint32_t>(c.index, 8), TakeCmdClearPosition(0));
    }
}

TEST_F(EditLineTest, InsertIntoLineMovesTheCaret) {
    const SpliceCase cases[] = {
        {2, 0, 2, WIDE("abXYcd"), 4}, // at the caret: after the text
        {2, 0, 3, WIDE("abXYcd"), 5}, // before the caret: right by its length
        {2, 0, 1, WIDE("abXYcd"), 1}, // after the caret: stays
        {0, 0, 0, WIDE("XYabcd"), 2}, //
        {4, 0, 4, WIDE("abcdXY"), 6}, // at the end
        {9, 0, 4, WIDE("abcdXY"), 4}, // past the end: appended, the caret stays before it
    };
    for (const SpliceCase& c : cases) {
        support::ResetPluginState();
        EditLine edit(WIDE("abcd"), size_t(c.caret));
        InsertIntoLine(&edit.event, WIDE("XY"), c.index);
        EXPECT_EQ(Utf8(c.expected), edit.Utf8Line()) << c.index;
        EXPECT_EQ(c.expectedCaret, edit.Caret()) << c.index << " @" << c.caret;
        EXPECT_EQ(1, edit.event.redraw);
        EXPECT_EQ(0, TakeCmdClearCount());
    }
}

TEST_F(EditLineTest, LineOperationsStayInsideTheLine) {
    // Inserting into a full line changes nothing; so does a caret outside the line.
    const Text full = Repeat('f', EDIT_LINE_CAPACITY - 1);
    EditLine edit(full, 3);
    InsertIntoLine(&edit.event, WIDE("x"), 3);
    EXPECT_EQ(full, edit.Line());
    EXPECT_EQ(3, edit.Caret());
    EXPECT_EQ(0, edit.event.redraw);
    InsertIntoLine(&edit.event, WIDE(""), 3);
    EXPECT_EQ(1, edit.event.redraw);

    EditLine stray(WIDE("abc"), 0);
    stray.event.cursor = stray.event.line + 5;
    DeleteFromLine(&stray.event, 0, 1);
    InsertIntoLine(&stray.event, WIDE("x"), 0);
    EXPECT_EQ("abc", stray.Utf8Line());
    EXPECT_EQ(0, stray.event.redraw);
    EXPECT_EQ(0, TakeCmdClearCount());
    DeleteFromLine(nullptr, 0, 1);
    InsertIntoLine(nullptr, WIDE("x"), 0);
    stray.event.line = nullptr;
    DeleteFromLine(&stray.event, 0, 1);
    InsertIntoLine(&stray.event, WIDE("x"), 0);
    EXPECT_EQ(0, stray.event.redraw);
    EditLine good(WIDE("abc"), 1);
    InsertIntoLine(&good.event, nullptr, 0);
    EXPECT_EQ(0, good.event.redraw);
    EXPECT_EQ(1, good.Caret());
}

TEST_F(EditLineTest, SplicesFitUpToTheLongestLine) {
    struct FitCase {
        size_t length, removed, added;
        bool fits;
    };
    const size_t longest = size_t(MAX_LINE_LENGTH);
    const FitCase cases[] = {
        {0, 0, longest, true},      {0, 0, longest + 1, false},  {longest, 0, 0, true},
        {longest, 0, 1, false},     {longest, 1, 1, true},       {longest, longest, longest, true},
        {10, 4, longest - 6, true}, {10, 4, longest - 5, false},
    };
    for (const FitCase& c : cases)
        EXPECT_EQ(c.fits, SpliceFits(c.length, c.removed, c.added))
            << c.length << " -" << c.removed << " +" << c.added;
}

TEST_F(EditLineTest, HostAnswersAreTrustedOnlyWithTheirTerminator) {
    // One unit more than the buffer, a terminator that must not be read.
    std::vector<WCHAR> buffer(HOST_BUFFER_CAPACITY + 1, 0);
    EXPECT_EQ(0, HostAnswerLength(buffer.data()));
    std::fill(buffer.begin(), buffer.end() - 2, WCHAR('a'));
    EXPECT_EQ(int32_t(HOST_BUFFER_CAPACITY - 1), HostAnswerLength(buffer.data()));
    buffer[HOST_BUFFER_CAPACITY - 1] = 'a';
    EXPECT_EQ(-1, HostAnswerLength(buffer.data()));
    buffer[3] = 0; // a terminator early on does not make up for the missing last one
    EXPECT_EQ(-1, HostAnswerLength(buffer.data()));
}

TEST_F(EditLineTest, CaretIndexOnlyInsideTheLine) {
    EditLine edit(WIDE("abcd"), 0);
    WCHAR* line = edit.event.line;
    const struct {
        uintptr_t bytes; // cursor - line
        int32_t index;
    } cases[] = {{0, 0}, {2, 1}, {8, 4}, {10, -1}, {3, -1}, {uintptr_t(-2), -1}};
    for (const auto& c : cases) {
        edit.event.cursor = reinterpret_cast<WCHAR*>(reinterpret_cast<uintptr_t>(line) + c.bytes);
        EXPECT_EQ(c.index, CaretIndex(&edit.event)) << c.bytes;
    }
    edit.event.cursor = nullptr;
    EXPECT_EQ(-1, CaretIndex(&edit.event));
    EXPECT_EQ(-1, CaretIndex(nullptr));
}

} // namespace
