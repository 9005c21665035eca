// The bounded text helpers: fits, fits exactly, one over; folding; number conversions.
#include <gtest/gtest.h>

#include "src/platform/widetext.h"
#include "tests/support/host_capture.h"

using support::Text;

TEST(WideCopy, FitsExactlyAndOneOver) {
    WCHAR buffer[4];
    EXPECT_EQ(0, WideCopy(buffer, 4, WIDE("abc")));
    EXPECT_EQ(Text(WIDE("abc")), Text(buffer));
    EXPECT_EQ(-1, WideCopy(buffer, 4, WIDE("abcd")));
    EXPECT_EQ(Text(WIDE("abc")), Text(buffer));
    EXPECT_EQ(-1, WideCopy(buffer, 0, WIDE("a")));
    EXPECT_EQ(0, WideCopy(buffer, 1, WIDE("")));
    EXPECT_EQ(0, buffer[0]);
}

TEST(WideCopy, CountStopsAtTerminatorOrCount) {
    WCHAR buffer[8];
    EXPECT_EQ(0, WideCopyCount(buffer, 8, WIDE("abcdef"), 3));
    EXPECT_EQ(Text(WIDE("abc")), Text(buffer));
    EXPECT_EQ(0, WideCopyCount(buffer, 8, WIDE("ab"), 5));
    EXPECT_EQ(Text(WIDE("ab")), Text(buffer));
    EXPECT_EQ(-1, WideCopyCount(buffer, 3, WIDE("abcdef"), 4));
    EXPECT_EQ(Text(WIDE("ab")), Text(buffer));
}

TEST(WideAppend, BoundedByCapacity) {
    WCHAR buffer[6] = {'a', 'b', 0};
    EXPECT_EQ(0, WideAppend(buffer, 6, WIDE("cde")));
    EXPECT_EQ(Text(WIDE("abcde")), Text(buffer));
    EXPECT_EQ(-1, WideAppend(buffer, 6, WIDE("f")));
    EXPECT_EQ(Text(WIDE("abcde")), Text(buffer));
    EXPECT_EQ(5u, WideLength(buffer, 100));
    EXPECT_EQ(3u, WideLength(buffer, 3));
}

TEST(WideCompare, FoldsAsciiOnly) {
    EXPECT_TRUE(WideEqualsFolded(WIDE("Ctrl-Alt"), WIDE("cTRL-aLT")));
    EXPECT_FALSE(WideEqualsFolded(WIDE("\u00DB"), WIDE("\u00FB")));
    EXPECT_FALSE(WideEqualsFolded(WIDE("ab"), WIDE("abc")));
    EXPECT_LT(WideCompareFolded(WIDE("a"), WIDE("B")), 0);
    EXPECT_EQ(WCHAR(0xE9), WideToUpper(0xE9));
    EXPECT_EQ(WCHAR('Z'), WideToUpper('z'));
}

TEST(WideClasses, AsciiLatin1AndBeyond) {
    for (WCHAR ch : {0x09, 0x0A, 0x0D, 0x20, 0xA0, 0x3000}) EXPECT_TRUE(WideIsSpace(ch)) << ch;
    for (WCHAR ch : {0x08, 0x41, 0x85, 0x5F}) EXPECT_FALSE(WideIsSpace(ch)) << ch;
    EXPECT_TRUE(WideIsAlpha(0xE9));
    EXPECT_TRUE(WideIsAlnum(0x4E2D));
    EXPECT_FALSE(WideIsAlnum('_'));
    EXPECT_FALSE(WideIsAlpha('1'));
    EXPECT_TRUE(WideIsXDigit('f'));
    EXPECT_FALSE(WideIsXDigit('g'));
}

TEST(WideNumbers, UnsignedConversion) {
    const WCHAR* end = nullptr;
    int range = 0;
    EXPECT_EQ(0x1Fu, WideToUnsigned(WIDE("0x1F"), &end, 16, &range));
    EXPECT_EQ(0, *end);
    EXPECT_EQ(0x1Fu, WideToUnsigned(WIDE("1F"), &end, 16, &range));
    EXPECT_EQ(4294967295u, WideToUnsigned(WIDE("4294967295"), &end, 10, &range));
    EXPECT_EQ(0, range);
    EXPECT_EQ(4294967295u, WideToUnsigned(WIDE("4294967296"), &end, 10, &range));
    EXPECT_EQ(1, range);
    const WCHAR* text = WIDE("xyz");
    EXPECT_EQ(0u, WideToUnsigned(text, &end, 10, nullptr));
    EXPECT_EQ(text, end);
    const WCHAR* prefixOnly = WIDE("0xg");
    EXPECT_EQ(0u, WideToUnsigned(prefixOnly, &end, 16, nullptr));
    EXPECT_EQ(prefixOnly + 1, end);
}

TEST(WideNumbers, SignedConversion) {
    const WCHAR* end = nullptr;
    int range = 0;
    EXPECT_EQ(24, WideToSigned(WIDE("  24.1"), &end, 10, &range));
    EXPECT_EQ(WCHAR('.'), *end);
    EXPECT_EQ(-7, WideToSigned(WIDE("-7"), &end, 10, &range));
    EXPECT_EQ(INT32_MIN, WideToSigned(WIDE("-2147483648"), &end, 10, &range));
    EXPECT_EQ(0, range);
    EXPECT_EQ(INT32_MAX, WideToSigned(WIDE("2147483648"), &end, 10, &range));
    EXPECT_EQ(1, range);
}
