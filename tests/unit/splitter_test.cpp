// The command-tail splitter: quoting, whitespace, trimming, and the edges of the argument
// limit and of the store.
#include <gtest/gtest.h>

#include <vector>

#include "src/command/splitter.h"
#include "tests/support/plugin_state.h"

using support::HostStderr;
using support::HostStdout;
using support::Text;

namespace {

// The arguments of the last split as the table holds them, one per entry in use.
std::vector<Text> Arguments(int count) {
    std::vector<Text> arguments;
    for (int n = 0; n < count; ++n)
        arguments.emplace_back(ArgumentTable.text[n], size_t(ArgumentTable.length[n]));
    return arguments;
}

// Every entry from `first` on is free.
void ExpectFreeFrom(int first) {
    for (int n = first; n < MAX_ARGS; ++n) {
        ASSERT_EQ(nullptr, ArgumentTable.text[n]) << n;
        ASSERT_EQ(0, ArgumentTable.length[n]) << n;
    }
}

// Every entry in use holds its text NUL-terminated at its length.
void ExpectTerminated(int count) {
    for (int n = 0; n < count; ++n) {
        ASSERT_NE(nullptr, ArgumentTable.text[n]) << n;
        ASSERT_EQ(0, ArgumentTable.text[n][ArgumentTable.length[n]]) << n;
    }
}

Text Repeat(WCHAR ch, size_t count) {
    return Text(count, ch);
}

const Text kOverflowPrefix = WIDE("Tallix plugin: Buffer overflow: b = ");

class SplitterTest : public support::PluginTest {};

struct SplitCase {
    const WCHAR* tail;
    std::vector<Text> expected;
};

TEST_F(SplitterTest, CutsQuotesAndWhitespace) {
    const SplitCase cases[] = {
        {WIDE(""), {}},
        {WIDE(" \t \r\n "), {}},
        {WIDE("  /b:3   alt-x  "), {WIDE("/B:3"), WIDE("ALT-X")}},
        // Quotes open and close anywhere; the quoted part joins its neighbours.
        {WIDE("ab\"c d\"e"), {WIDE("ABC DE")}},
        {WIDE("a\"\"b"), {WIDE("AB")}},
        {WIDE("\"\""), {}},
        {WIDE("x \"\" y"), {WIDE("X"), WIDE("Y")}},
        // Leading quoted whitespace stays; trailing whitespace is trimmed.
        {WIDE("\"  x  \""), {WIDE("  X")}},
        // An unclosed quote runs to the end of the tail.
        {WIDE("a \"b  c\td  "), {WIDE("A"), WIDE("B  C\tD")}},
        // Tab, line feed and no-break space separate as a space does.
        {WIDE("a\tb\nc\u00A0d\u3000e"), {WIDE("A"), WIDE("B"), WIDE("C"), WIDE("D"), WIDE("E")}},
        // Only a-z are upper-cased.
        {WIDE("\u00e9t\u00e9 /s!"), {WIDE("\u00e9T\u00e9"), WIDE("/S!")}},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(support::Utf8(c.tail));
        int result = SplitCommandTail(c.tail);
        ASSERT_EQ(int(c.expected.size()), result);
        EXPECT_EQ(result, ArgumentTable.count);
        EXPECT_EQ(c.expected, Arguments(result));
        ExpectTerminated(result);
        ExpectFreeFrom(result);
    }
    EXPECT_EQ(Text(), HostStderr());
    EXPECT_EQ(Text(), HostStdout());
}

TEST_F(SplitterTest, LaysArgumentsOutInTheStore) {
    ASSERT_EQ(2, SplitCommandTail(WIDE("/b:3 alt-x")));
    const WCHAR expected[] = WIDE("/B:3\0ALT-X");
    EXPECT_EQ(Text(expected, 11), Text(ArgumentTable.store, 11));
    EXPECT_EQ(ArgumentTable.store, ArgumentTable.text[0]);
    EXPECT_EQ(ArgumentTable.store + 5, ArgumentTable.text[1]);
    EXPECT_EQ(4, ArgumentTable.length[0]);
    EXPECT_EQ(5, ArgumentTable.length[1]);
}

TEST_F(SplitterTest, QuotedWhitespaceKeepsAnEmptyEntry) {
    ASSERT_EQ(2, SplitCommandTail(WIDE("\" \" x")));
    EXPECT_EQ(2, ArgumentTable.count);
    EXPECT_NE(nullptr, ArgumentTable.text[0]);
    EXPECT_EQ(0, ArgumentTable.length[0]);
    EXPECT_EQ(0, ArgumentTable.text[0][0]);
    EXPECT_EQ(Text(WIDE("X")), Text(ArgumentTable.text[1]));
}

TEST_F(SplitterTest, NullTailLeavesTheTableAlone) {
    ASSERT_EQ(1, SplitCommandTail(WIDE("keep")));
    EXPECT_EQ(-1, SplitCommandTail(nullptr));
    EXPECT_EQ(1, ArgumentTable.count);
    EXPECT_EQ(Text(WIDE("KEEP")), Text(ArgumentTable.text[0]));
    EXPECT_EQ(Text(), HostStderr());
}

TEST_F(SplitterTest, ArgumentLimit) {
    const int kept = 1024; // the arguments a split keeps
    Text tail;
    for (int n = 0; n < kept; ++n) tail += WIDE("a ");
    ASSERT_EQ(kept, SplitCommandTail(tail.c_str()));
    EXPECT_EQ(kept, ArgumentTable.count);
    ExpectTerminated(kept);

    // The 1025th argument is dropped without a word, and not stored.
    tail += WIDE("z");
    for (WCHAR& unit : ArgumentTable.store) unit = 0;
    ASSERT_EQ(kept, SplitCommandTail(tail.c_str()));
    EXPECT_EQ(Text(WIDE("A")), Text(ArgumentTable.text[kept - 1]));
    EXPECT_EQ(0, ArgumentTable.store[2 * kept]);
    EXPECT_EQ(Text(), HostStderr());
}

TEST_F(SplitterTest, StoreFilledExactlyFits) {
    // One argument of 8191 characters and its NUL: the whole store.
    Text tail = Repeat('a', MAX_ARG_LEN - 1);
    ASSERT_EQ(1, SplitCommandTail(tail.c_str()));
    EXPECT_EQ(MAX_ARG_LEN - 1, ArgumentTable.length[0]);
    EXPECT_EQ(0, ArgumentTable.store[MAX_ARG_LEN - 1]);

    // Two arguments whose characters and NULs make 8192 units; trailing quoted blanks count
    // before they are trimmed.
    Text half = Repeat('b', MAX_ARG_LEN / 2 - 1);
    Text quoted = Repeat('c', MAX_ARG_LEN / 2 - 3) + WIDE("\"  \"");
    ASSERT_EQ(2, SplitCommandTail((half + WIDE(" ") + quoted + WIDE("   ")).c_str()));
    EXPECT_EQ(MAX_ARG_LEN / 2 - 1, ArgumentTable.length[0]);
    EXPECT_EQ(MAX_ARG_LEN / 2 - 3, ArgumentTable.length[1]);
    EXPECT_EQ(Text(), HostStderr());
}

struct OverflowCase {
    const char* name;
    Text tail;
    int b;                        // the b the message names
    std::vector<int32_t> lengths; // what stays in the table
};

TEST_F(SplitterTest, StoreOverflowReportsAndKeepsWhatFitted) {
    Text full = Repeat('a', MAX_ARG_LEN - 1);
    Text ones;
    for (int n = 0; n < MAX_ARGS - 1; ++n) ones += WIDE("1 ");
    // 1023 one-letter arguments take 2046 units; the last argument fills the store exactly.
    Text last = Repeat('z', MAX_ARG_LEN - 2 * (MAX_ARGS - 1) - 1);
    std::vector<int32_t> manyLengths(MAX_ARGS, 1);
    manyLengths.back() = int32_t(last.size());
    const OverflowCase cases[] = {
        {"one unit over", full + WIDE("a"), MAX_ARG_LEN - 1, {MAX_ARG_LEN - 1}},
        {"quoted blank over", full + WIDE("\" \""), MAX_ARG_LEN - 1, {MAX_ARG_LEN - 1}},
        {"after a separator", full + WIDE(" b"), MAX_ARG_LEN, {MAX_ARG_LEN - 1}},
        {"second argument cut",
         WIDE("x ") + Repeat('y', MAX_ARG_LEN),
         MAX_ARG_LEN - 1,
         {1, MAX_ARG_LEN - 3}},
        // The store test comes before the argument limit.
        {"past the argument limit", ones + last + WIDE(" q"), MAX_ARG_LEN, manyLengths},
    };
    for (const OverflowCase& c : cases) {
        SCOPED_TRACE(c.name);
        support::ResetPluginState();
        EXPECT_EQ(-1, SplitCommandTail(c.tail.c_str()));
        EXPECT_EQ(0, ArgumentTable.count);
        std::string b = std::to_string(c.b);
        EXPECT_EQ(kOverflowPrefix + Text(b.begin(), b.end()) + WIDE(", MAX_ARG_LEN = 8192 \r\n"),
                  HostStderr());
        int used = int(c.lengths.size());
        for (int n = 0; n < used; ++n) EXPECT_EQ(c.lengths[n], ArgumentTable.length[n]) << n;
        ExpectTerminated(used);
        ExpectFreeFrom(used);
    }
}

} // namespace
