// Help and usage: the exact texts, the name test, and the hotkeys in force.
#include <gtest/gtest.h>

#include "src/command/command.h"
#include "src/command/helpusage.h"
#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "tests/support/plugin_state.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

using support::Text;

namespace {

Text Description(const WCHAR* expandKey, const WCHAR* mathKey) {
    return Text(WIDE("\r\n  \u2022  Press ")) + expandKey +
           WIDE(" to expand the variable or function at the cursor.  \r\n  \u2022  Press ") +
           mathKey + WIDE(" to do math (@EVAL) on the word at the cursor.  \r\n");
}

const Text kUsageBody =
    WIDE("TALLIX /B:n /D /L /Q /R /S expandkey mathkey  \r\n\n\t/B:\tset the error beep mode\n"
         "\t/D\trestore original plugin defaults\n\t/L\tlist all supported hotkeys\n"
         "\t/Q\tquietly\n\t/R\trestore saved settings from the registry\n"
         "\t/S\tsave settings to the registry as the new defaults  \n\n"
         "Examples of valid keys are Alt-X, Alt-=, F2, or Shift-F10.  The defaults  \n"
         "are Alt-X (expand) and Alt-= (math).\n\n"
         "/D and /R cannot be used together.  /L cannot be combined with\n"
         "any other option.\n");

// A host buffer of USAGE_CAPACITY units, filled with a mark to see what was touched.
struct HostBuffer {
    WCHAR units[USAGE_CAPACITY + 16];
    HostBuffer() {
        for (WCHAR& unit : units) unit = 'Z';
    }
    bool Untouched() const {
        for (WCHAR unit : units)
            if (unit != 'Z') return false;
        return true;
    }
};

class HelpUsageTest : public support::PluginTest {};

TEST_F(HelpUsageTest, UsageWithTheDefaults) {
    HostBuffer out;
    Text name = WIDE("tallix");
    EXPECT_EQ(1, Usage(&name[0], out.units));
    const Text expected = kUsageBody + Description(WIDE("Alt-X"), WIDE("Alt-="));
    EXPECT_EQ(expected, Text(out.units));
    EXPECT_LT(expected.size(), USAGE_CAPACITY);
    // Nothing past the terminator was written.
    for (size_t i = expected.size() + 1; i < USAGE_CAPACITY + 16; ++i) ASSERT_EQ('Z', out.units[i]);
}

TEST_F(HelpUsageTest, NameTestIgnoresAsciiCaseOnly) {
    for (const WCHAR* name : {WIDE("tallix"), WIDE("TALLIX"), WIDE("Tallix"), WIDE("tAlLiX")}) {
        SCOPED_TRACE(support::Utf8(name));
        HostBuffer out;
        Text writable = name;
        EXPECT_EQ(1, Usage(&writable[0], out.units));
        EXPECT_FALSE(out.Untouched());
    }
    for (const WCHAR* name : {WIDE(""), WIDE("tallix "), WIDE("talli"), WIDE("tallixx"),
                              WIDE("key"), WIDE("tall\u0131x")}) {
        SCOPED_TRACE(support::Utf8(name));
        HostBuffer out;
        Text writable = name;
        EXPECT_EQ(0, Usage(&writable[0], out.units));
        EXPECT_TRUE(out.Untouched());
        EXPECT_EQ(0, Help(&writable[0]));
    }
    HostBuffer out;
    EXPECT_EQ(0, Usage(nullptr, out.units));
    EXPECT_TRUE(out.Untouched());
    Text name = WIDE("tallix");
    EXPECT_EQ(0, Usage(&name[0], nullptr));
    EXPECT_EQ(0, Help(nullptr));
#if !defined(_WIN32)
    EXPECT_TRUE(standin::MessageBoxes().empty());
#endif
}

TEST_F(HelpUsageTest, NamesTheHotkeysInForce) {
    Text tail = WIDE("/q shift-f10 ctrl-alt-f1");
    ASSERT_EQ(0, tallix(&tail[0]));
    HostBuffer out;
    Text name = WIDE("TALLIX");
    EXPECT_EQ(1, Usage(&name[0], out.units));
    EXPECT_EQ(kUsageBody + Description(WIDE("Shift-F10"), WIDE("Ctrl-Alt-F1")), Text(out.units));

    // The extended key table names the default math key differently.
    support::ResetPluginState();
    support::UseHostVersion(24);
    WCHAR description[DESCRIPTION_CAPACITY];
    EXPECT_EQ(0, DescribeHotkeys(description));
    EXPECT_EQ(Description(WIDE("Alt-X"), WIDE("Alt-Plus")), Text(description));

    PluginSettings.Hotkey = 0;
    EXPECT_EQ(0, DescribeHotkeys(description));
    EXPECT_EQ(Description(WIDE("(unknown)"), WIDE("Alt-Plus")), Text(description));
    EXPECT_EQ(-1, DescribeHotkeys(nullptr));
}

TEST_F(HelpUsageTest, HelpShowsTheWholeTextInABox) {
    REQUIRE_WIN32_STANDIN();
#if !defined(_WIN32)
    Text tail = WIDE("/q alt-y");
    ASSERT_EQ(0, tallix(&tail[0]));
    Text name = WIDE("Tallix");
    EXPECT_EQ(1, Help(&name[0]));
    ASSERT_EQ(1u, standin::MessageBoxes().size());
    const standin::MessageBoxCall& box = standin::MessageBoxes()[0];
    EXPECT_EQ(standin::ForegroundWindow(), box.owner);
    EXPECT_EQ(Text(WIDE("Display or change options for the Tallix plugin.\n\n")) + kUsageBody +
                  Description(WIDE("Alt-Y"), WIDE("Alt-=")),
              Text(box.text.begin(), box.text.end()));
    EXPECT_EQ(u"Tallix Plugin Help", box.caption);
    EXPECT_EQ(0x10000u, box.type);
    EXPECT_EQ(Text(), support::HostStdout());
#endif
}

} // namespace
