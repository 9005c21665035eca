// The key-name codec on both tables: parsing, formatting, the probe of the host version, the
// known-code test and the /L listing.
#include <gtest/gtest.h>

#include <string>

#include "src/keys/keycodec.h"
#include "src/plugin/lifecycle.h"
#include "tests/support/plugin_state.h"

using support::Text;
using support::Utf8;

namespace {

constexpr int CLASSIC = 0;   // host version that keeps the classic table
constexpr int EXTENDED = 24; // first host version with the extended table

class KeyCodec : public support::PluginTest {};

struct ParseCase {
    const WCHAR* text;
    int32_t classic;
    int32_t extended;
};

void ExpectParses(const ParseCase* cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const ParseCase& c = cases[i];
        support::UseHostVersion(CLASSIC);
        EXPECT_EQ(c.classic, ParseKeyName(c.text)) << "classic: \"" << Utf8(c.text) << "\"";
        support::UseHostVersion(EXTENDED);
        EXPECT_EQ(c.extended, ParseKeyName(c.text)) << "extended: \"" << Utf8(c.text) << "\"";
    }
}

template <size_t N> void ExpectParses(const ParseCase (&cases)[N]) {
    ExpectParses(cases, N);
}

Text Format(int32_t code, int32_t* result) {
    WCHAR out[KEY_NAME_CAPACITY];
    *result = FormatKeyName(code, out);
    return out;
}

} // namespace

// ---- ParseKeyName -------------------------------------------------------------------------------

TEST_F(KeyCodec, ModifierWordsInAnyOrderAndCase) {
    const ParseCase cases[] = {
        {WIDE("Alt-X"), 0x1002D, 0x1002D},
        {WIDE("alt-x"), 0x1002D, 0x1002D},
        {WIDE("ALT-X"), 0x1002D, 0x1002D},
        {WIDE("a-x"), 0x1002D, 0x1002D},
        {WIDE("Shift-F10"), 0x1005D, 0x1005D},
        {WIDE("s-F10"), 0x1005D, 0x1005D},
        {WIDE("Shift-Ctrl-F1"), 0x30054, 0x30054},
        {WIDE("ctrl-shift-f1"), 0x30054, 0x30054},
        {WIDE("c-s-F1"), 0x30054, 0x30054},
        {WIDE("CONTROL-Shift-F1"), 0x30054, 0x30054},
        {WIDE("Ctl-F1"), 0x1005E, 0x1005E},
        {WIDE("Alt-Ctrl-F5"), 0x50062, 0x50062},
        {WIDE("Ctrl-Alt-Shift-X"), 0, 0x7002D},
        {WIDE("shift-alt-ctrl-x"), 0, 0x7002D},
        {WIDE("Alt-Shift-X"), 0, 0},
        {WIDE("Shift-Alt-X"), 0, 0},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, RepeatedModifiersCountOnce) {
    const ParseCase cases[] = {
        {WIDE("Ctrl-Ctrl-X"), 0x18, 0x18},
        {WIDE("c-Control-ctl-X"), 0x18, 0x18},
        {WIDE("Alt-a-ALT-X"), 0x1002D, 0x1002D},
        {WIDE("Shift-Ctrl-s-F1"), 0x30054, 0x30054},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, MarkersComeBackAsTheyStand) {
    const ParseCase cases[] = {
        {WIDE("X"), NOT_ALLOWED, NOT_ALLOWED},
        {WIDE("Shift-X"), NOT_ALLOWED, NOT_ALLOWED},
        {WIDE("a"), NOT_ALLOWED, NOT_ALLOWED}, // a modifier word at the end is a key name
        {WIDE("c"), NOT_ALLOWED, NOT_ALLOWED},
        {WIDE("Ctrl-C"), NO_KEY, NO_KEY},
        {WIDE("Ctrl-S"), NO_KEY, NO_KEY},
        {WIDE("Ctrl-I"), 0x9, 0x9},
        {WIDE("Ctrl-M"), NO_KEY, 0xD},
        {WIDE("Ctrl-Alt-Del"), NO_KEY, NO_KEY},
        {WIDE("Ctrl-Alt-Shift-Del"), 0, 0x70093},
        {WIDE("Ctrl-Ins"), NO_KEY, NO_KEY},
        {WIDE("Shift-BkSp"), NO_KEY, 0x87F},
        {WIDE("Alt-Num+"), NOT_ALLOWED, 0},
        {WIDE("Ctrl-1"), NO_KEY, 0xE2},
        {WIDE("Shift-Enter"), 0, 0x80D},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, AliasesOfEachTable) {
    const ParseCase cases[] = {
        {WIDE("PageUp"), 0x10049, 0x10049},      {WIDE("ctrl-pagedown"), 0x10076, 0x10076},
        {WIDE("Ctrl-Delete"), 0x10093, 0x10093}, {WIDE("Alt-Equals"), 0x10083, 0x10083},
        {WIDE("Alt-="), 0x10083, 0x10083},       {WIDE("Alt-+"), 0, 0x10083},
        {WIDE("Alt-Minus"), 0x10082, 0x108BD},   {WIDE("Alt-Backspace"), 0x1000E, 0x1000E},
        {WIDE("Alt-BkSp"), 0x1000E, 0x1000E},    {WIDE("Alt-Grave"), 0x10029, 0x10860},
        {WIDE("Alt-Backquote"), 0x10029, 0},     {WIDE("Alt-`"), 0, 0x10860},
        {WIDE("Alt-Semi"), 0x10027, 0x10027},    {WIDE("Ctrl-Alt-Apos"), 0x50028, 0x50028},
        {WIDE("Alt-Dot"), 0x10034, 0x10034},     {WIDE("Alt-Slash"), 0x10035, 0},
        {WIDE("Ctrl-/"), NO_KEY, 0x835},         {WIDE("Ctrl-Multiply"), 0, 0x10037},
        {WIDE("Ctrl-Alt-\u00DB"), 0, 0x5001A},   {WIDE("Ctrl-\u00DD"), 0, 0x8DD},
        {WIDE("Ctrl-\u00DC"), 0, 0x8DC},         {WIDE("Ctrl-\u00BD"), 0, 0x8BD},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, FoldsAsciiLettersOnly) {
    const ParseCase cases[] = {
        {WIDE("Ctrl-Alt-\u00FB"), 0, 0}, // the lower case of U+00DB is no alias
        {WIDE("ctrl-alt-\u00DB"), 0, 0x5001A},
        {WIDE("\u0130nsert"), 0, 0},        // dotted capital I is not I
        {WIDE("Ctrl-\u017Fhift-F1"), 0, 0}, // long s is not s
        {WIDE("bKsP"), NOT_ALLOWED, NOT_ALLOWED},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, HyphenRules) {
    const ParseCase cases[] = {
        {WIDE("-"), NOT_ALLOWED, NOT_ALLOWED}, // a lone hyphen is the key "-"
        {WIDE("Alt--"), 0x10082, 0x108BD},
        {WIDE("Alt---"), 0, 0},
        {WIDE("--"), 0, 0},
        {WIDE("Ctrl--X"), 0, 0},
        {WIDE("-X"), 0, 0},
        {WIDE("Ctrl-"), 0, 0},
        {WIDE("Ctrl-Alt-"), 0, 0},
        {WIDE("a-"), 0, 0},
        {WIDE(""), 0, 0},
        {WIDE("Foo-"), 0, 0},
        {WIDE("Foo-X"), 0, 0},
        {WIDE("Ctrl-Foo"), 0, 0},
        {WIDE("F1-Ctrl"), 0, 0},
        {WIDE("Alt -X"), 0, 0}, // nothing is trimmed
        {WIDE("Alt- X"), 0, 0},
        {WIDE(" Alt-X"), 0, 0},
        {WIDE("Alt-X "), 0, 0},
        // A final hyphen after a key name belongs to it, so every listed name parses back.
        {WIDE("Num-"), NOT_ALLOWED, 0},
        {WIDE("num-"), NOT_ALLOWED, 0},
        {WIDE("Ctrl-Num-"), 0x1004A, 0},
        {WIDE("Ctrl-Shift-Num-"), 0x3004A, 0},
        {WIDE("Ctrl-Alt-Num-"), 0x5004A, 0},
        {WIDE("Alt-Num-"), NOT_ALLOWED, 0},
        {WIDE("Num--"), 0, 0},
        {WIDE("Ctrl-Num-X"), 0, 0},
        {WIDE("Ctrl-Num+"), 0x1004E, 0},
        {WIDE("Ctrl-Shift-Num+"), 0x3004E, 0},
    };
    ExpectParses(cases);
}

TEST_F(KeyCodec, LongTokensAreCutNotOverrun) {
    const Text full(KEY_NAME_CAPACITY - 1, WCHAR('X')); // 1,023 units: kept whole
    const Text over(5000, WCHAR('X'));
    const Text texts[] = {
        full,
        full + WCHAR('X'),
        over,
        WIDE("Ctrl-") + full,
        WIDE("Ctrl-") + over + WIDE("-"),
        full + WIDE("-X"),
        over + WIDE("-X"),
        Text(5000, WCHAR('-')),
        WIDE("Ctrl-") + Text(3000, WCHAR('-')),
    };
    for (int version : {CLASSIC, EXTENDED}) {
        support::UseHostVersion(version);
        for (const Text& text : texts) EXPECT_EQ(0, ParseKeyName(text.c_str())) << text.size();
    }
    // Many modifier words before the key: each token is short, so the text may be long.
    Text many;
    for (int i = 0; i < 500; ++i) many += WIDE("Ctrl-");
    many += WIDE("X");
    EXPECT_EQ(0x18, ParseKeyName(many.c_str()));
}

TEST_F(KeyCodec, NullTextIsNoKeyName) {
    EXPECT_EQ(0, ParseKeyName(nullptr));
}

// ---- FormatKeyName and IsKnownKeyCode -----------------------------------------------------------

TEST_F(KeyCodec, FormatsCodesOfTheTableInForce) {
    struct FormatCase {
        int32_t code;
        const char* classic; // "(unknown)" means the result -1
        const char* extended;
    };
    const FormatCase cases[] = {
        {0x1003B, "F1", "F1"},
        {0x30054, "Ctrl-Shift-F1", "Ctrl-Shift-F1"},
        {0x1002D, "Alt-X", "Alt-X"},
        {0x10083, "Alt-=", "Alt-Plus"},
        {0x3004A, "Ctrl-Shift-Num-", "(unknown)"},
        {0x3004E, "Ctrl-Shift-Num+", "(unknown)"},
        {0x7003E, "(unknown)", "Ctrl-Alt-Shift-B"},
        {0x7005E, "(unknown)", "Ctrl-Alt-Shift-F1"},
        {0x860, "(unknown)", "Ctrl-`"},
        {0x7F, "Ctrl-BkSp", "Ctrl-Backspace"},
        {0, "(unknown)", "(unknown)"},
        {NO_KEY, "(unknown)", "(unknown)"}, // markers name no key
        {NOT_ALLOWED, "(unknown)", "(unknown)"},
        {0x12345678, "(unknown)", "(unknown)"},
    };
    for (const FormatCase& c : cases) {
        for (int version : {CLASSIC, EXTENDED}) {
            support::UseHostVersion(version);
            std::string expected = version == CLASSIC ? c.classic : c.extended;
            int32_t result = 0;
            EXPECT_EQ(expected, Utf8(Format(c.code, &result))) << std::hex << c.code;
            EXPECT_EQ(expected == "(unknown)" ? -1 : 0, result) << std::hex << c.code;
        }
    }
    EXPECT_EQ(-1, FormatKeyName(0x1003B, nullptr));
}

// Every usable combination formats to a name that parses back to it, and is known; marker cells
// are not known codes.
TEST_F(KeyCodec, EveryCellRoundTrips) {
    for (int version : {CLASSIC, EXTENDED}) {
        support::UseHostVersion(version);
        const KeyTable& table = ActiveKeyTable();
        EXPECT_EQ(version == EXTENDED ? &ExtendedKeyTable : &ClassicKeyTable, &table);
        int positive = 0;
        for (int row = 0; row < table.rows; ++row) {
            for (int column = 0; column < table.columns; ++column) {
                int32_t code = KeyTableCell(table, row, column);
                if (code <= 0) continue;
                ++positive;
                int32_t result = -1;
                Text name = Format(code, &result);
                EXPECT_EQ(0, result);
                EXPECT_EQ(code, ParseKeyName(name.c_str())) << Utf8(name);
                EXPECT_EQ(1, IsKnownKeyCode(code)) << Utf8(name);
            }
        }
        EXPECT_EQ(version == EXTENDED ? 384 : 261, positive);
    }
}

TEST_F(KeyCodec, KnownCodesFollowTheTableInForce) {
    struct KnownCase {
        int32_t code;
        int classic;
        int extended;
    };
    const KnownCase cases[] = {
        {0x10082, 1, 0},     {0x1004A, 1, 0}, {0x7005E, 0, 1},   {0x87F, 0, 1},
        {0x1002D, 1, 1},     {0x10083, 1, 1}, {0, 0, 0},         {NO_KEY, 0, 0},
        {NOT_ALLOWED, 0, 0}, {0x20000, 0, 0}, {INT32_MAX, 0, 0}, {INT32_MIN, 0, 0},
    };
    for (const KnownCase& c : cases) {
        support::UseHostVersion(CLASSIC);
        EXPECT_EQ(c.classic, IsKnownKeyCode(c.code)) << std::hex << c.code;
        support::UseHostVersion(EXTENDED);
        EXPECT_EQ(c.extended, IsKnownKeyCode(c.code)) << std::hex << c.code;
    }
}

// ---- ProbeHostVersion
// -----------------------------------------------------------------------------

TEST_F(KeyCodec, ProbeReadsTheMajorVersion) {
    struct ProbeCase {
        const WCHAR* value; // of the host variable _4ver; null: not set
        int32_t version;
    };
    const ProbeCase cases[] = {
        {WIDE("24"), 24},        {WIDE("23"), 23},  {WIDE("8"), 8},
        {WIDE("100"), 100},      {WIDE("7"), 0},    {WIDE("101"), 0},
        {WIDE("24.1"), 24},      {WIDE(" 24"), 24}, {WIDE("+30"), 30},
        {WIDE("-24"), 0},        {WIDE(""), 0},     {nullptr, 0},
        {WIDE("abc"), 0},        {WIDE("v24"), 0},  {WIDE("99999999999"), 0},
        {WIDE("4294967320"), 0}, // 2^32 + 24: an overflow, not 24
    };
    for (const ProbeCase& c : cases) {
        support::ResetPluginState();
        support::UseHostVersion(50); // the probe must overwrite what it finds
        TakeCmdSetVariable(WIDE("_4ver"), c.value);
        ProbeHostVersion();
        const char* shown = c.value ? nullptr : "(unset)";
        std::string label = shown ? shown : Utf8(c.value);
        EXPECT_EQ(c.version, hostVersion) << label;
        EXPECT_EQ(c.version >= 24, extendedKeyScheme) << label;
    }
}

TEST_F(KeyCodec, ProbeAsksForVersionOnceAndSurvivesAFailedExpansion) {
    TakeCmdSetVariable(WIDE("_4ver"), WIDE("24"));
    TakeCmdSetExpandResult(1); // the buffer comes back unexpanded: "%_4ver"
    ProbeHostVersion();
    EXPECT_EQ(0, hostVersion);
    EXPECT_FALSE(extendedKeyScheme);
    ASSERT_EQ(1u, support::HostInputs('E').size());
    EXPECT_EQ(Text(WIDE("%_4ver")), support::HostInputs('E')[0]);

    TakeCmdSetExpandResult(0);
    ProbeHostVersion();
    EXPECT_EQ(24, hostVersion);
    EXPECT_TRUE(extendedKeyScheme);
    EXPECT_EQ(0x7002D, ParseKeyName(WIDE("Ctrl-Alt-Shift-X")));
}
