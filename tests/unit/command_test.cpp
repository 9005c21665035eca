// The TALLIX command: options and their messages, the rule that nothing changes until the whole
// command is accepted, combinations, restore and save, and the version report.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

#include "src/command/command.h"
#include "src/command/splitter.h"
#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "tests/support/plugin_state.h"
#include "tallix_version.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

using support::HostStderr;
using support::HostStdout;
using support::Text;

namespace {

const Text kPrefix = WIDE("Tallix plugin: ");

Text Err(const WCHAR* message) {
    return kPrefix + message;
}

Text Number(uint32_t value) {
    std::string digits = std::to_string(value);
    return Text(digits.begin(), digits.end());
}

const WCHAR* const kBeepNames[] = {WIDE("Off"),          WIDE("Honk"),        WIDE("Asterisk"),
                                   WIDE("Default Beep"), WIDE("Exclamation"), WIDE("Critical Stop"),
                                   WIDE("Question")};

// The settings report as the command prints it.
Text Report(const WCHAR* expandKey, const WCHAR* mathKey, uint32_t beep) {
    return Text(
               WIDE("\r\n" TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT " settings:\r\n\n")) +
           WIDE("    Expand expression at cursor . . . ") + expandKey + WIDE("\r\n") +
           WIDE("    Do math on word at cursor . . . . ") + mathKey + WIDE("\r\n") +
           WIDE("    Error beep  . . . . . . . . . . . /B: ") + Number(beep) + WIDE("  (") +
           kBeepNames[beep] + WIDE(")\r\n");
}

const Text kDefaultReport = Report(WIDE("Alt-X"), WIDE("Alt-="), 2);

const Text kVersionReport =
    WIDE("\r\n\t\t\t\t" TALLIX_PRODUCT_NAME " \t\t" TALLIX_VERSION_TEXT " (x64)\r\n"
         "\t\t\t\tExpandExpression \t1.0.5.0\r\n"
         "\t\t\t\tMathWord \t\t1.2.0.1\r\n");

int RunTallix(const Text& tail) {
    Text writable = tail;
    return tallix(&writable[0]);
}

int32_t Code(const WCHAR* name) {
    return ParseKeyName(name);
}

bool SameSettings(const PluginSettingsRecord& a, const PluginSettingsRecord& b) {
    return a.Hotkey == b.Hotkey && a.MathHotkey == b.MathHotkey && a.ErrorBeep == b.ErrorBeep;
}

class CommandTest : public support::PluginTest {};

TEST_F(CommandTest, NoArgumentsShowsTheSettings) {
    EXPECT_EQ(0, RunTallix(WIDE("")));
    EXPECT_EQ(kDefaultReport, HostStdout());
    EXPECT_EQ(Text(), HostStderr());
    TakeCmdClearOutput();
    EXPECT_EQ(0, RunTallix(WIDE("/q")));
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_EQ(-1, tallix(nullptr));
}

struct BeepCase {
    const WCHAR* tail;
    uint32_t beep;
};

TEST_F(CommandTest, BeepValuesAccepted) {
    const BeepCase cases[] = {
        {WIDE("/b:honk"), 1},
        {WIDE("/B=1"), 1},
        {WIDE("/B1"), 1},
        {WIDE("/B:0x1"), 1},
        {WIDE("/B:on"), 2},
        {WIDE("/BON"), 2},
        {WIDE("/b:oFF"), 0},
        {WIDE("/B:006"), 6},
        {WIDE("/B:0X6"), 6},
        {WIDE("/B:0x0x3"), 3},
        {WIDE("/B:question"), 6},
        {WIDE("/B:\"Critical Stop\""), 5},
        {WIDE("\"/b:default beep\""), 3},
        {WIDE("/B:1 /B:5"), 5},
    };
    for (const BeepCase& c : cases) {
        SCOPED_TRACE(support::Utf8(c.tail));
        support::ResetPluginState();
        PluginSettings.ErrorBeep = 4;
        EXPECT_EQ(0, RunTallix(c.tail));
        EXPECT_EQ(c.beep, PluginSettings.ErrorBeep);
        EXPECT_EQ(Report(WIDE("Alt-X"), WIDE("Alt-="), c.beep), HostStdout());
        EXPECT_EQ(Text(), HostStderr());
    }
}

struct RefusedCase {
    const WCHAR* tail;
    int result;
    Text error; // after the prefix
};

// Every refused command prints its one message, nothing on standard output, and changes nothing.
void ExpectRefused(const RefusedCase& c) {
    SCOPED_TRACE(support::Utf8(c.tail));
    support::ResetPluginState();
    PluginSettings = {Code(WIDE("F5")), Code(WIDE("F6")), 4};
    const PluginSettingsRecord before = PluginSettings;
    EXPECT_EQ(c.result, RunTallix(c.tail));
    EXPECT_EQ(kPrefix + c.error, HostStderr());
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_TRUE(SameSettings(before, PluginSettings));
}

TEST_F(CommandTest, BeepValuesRefused) {
    const RefusedCase cases[] = {
        {WIDE("/B"), 1, WIDE("Missing ErrorBeep value: \"/B\"\r\n")},
        {WIDE("/b:"), 1, WIDE("Missing ErrorBeep value: \"/B:\"\r\n")},
        {WIDE("/B="), 1, WIDE("Missing ErrorBeep value: \"/B=\"\r\n")},
        {WIDE("/B:7"), 1, WIDE("ErrorBeep must be 0 - 6: 7\r\n")},
        {WIDE("/B:4294967295"), 1, WIDE("ErrorBeep must be 0 - 6: 4294967295\r\n")},
        {WIDE("/B:4294967296"), 1, WIDE("Bad ErrorBeep value: \"/B:4294967296\"\r\n")},
        {WIDE("/B:0x100000000"), 1, WIDE("Bad ErrorBeep value: \"/B:0X100000000\"\r\n")},
        {WIDE("/B:-1"), 1, WIDE("Bad ErrorBeep value: \"/B:-1\"\r\n")},
        {WIDE("/B:12abc"), 1, WIDE("Bad ErrorBeep value: \"/B:12ABC\"\r\n")},
        {WIDE("/B:0x"), 1, WIDE("Bad ErrorBeep value: \"/B:0X\"\r\n")},
        {WIDE("\"/B: 1\""), 1, WIDE("Bad ErrorBeep value: \"/B: 1\"\r\n")},
        {WIDE("/B::1"), 1, WIDE("Bad ErrorBeep value: \"/B::1\"\r\n")},
        {WIDE("/B:xyz"), -1, WIDE("Bad ErrorBeep value: \"/B:XYZ\"\r\n")},
        {WIDE("/BOGUS"), -1, WIDE("Bad ErrorBeep value: \"/BOGUS\"\r\n")},
        {WIDE("/B:Critical"), -1, WIDE("Bad ErrorBeep value: \"/B:CRITICAL\"\r\n")},
        {WIDE("/B:\u00e9"), -1, WIDE("Bad ErrorBeep value: \"/B:\u00e9\"\r\n")},
    };
    for (const RefusedCase& c : cases) ExpectRefused(c);
}

TEST_F(CommandTest, OptionsAndKeyWordsRefused) {
    const RefusedCase cases[] = {
        {WIDE("/DX"), 1, WIDE("Unknown option \"/DX\"\r\n")},
        {WIDE("/s!!"), 1, WIDE("Unknown option \"/S!!\"\r\n")},
        {WIDE("/LIST"), 1, WIDE("Unknown option \"/LIST\"\r\n")},
        {WIDE("/"), 1, WIDE("Unknown option \"/\"\r\n")},
        // The first error stops the walk, and nothing before it is acted on.
        {WIDE("/D /X"), 1, WIDE("Unknown option \"/X\"\r\n")},
        {WIDE("/x /?"), 1, WIDE("Unknown option \"/X\"\r\n")},
        {WIDE("/B:9 /X"), 1, WIDE("ErrorBeep must be 0 - 6: 9\r\n")},
        {WIDE("/S! alt-y /b:1 /Y"), 1, WIDE("Unknown option \"/Y\"\r\n")},
        // Key words: not a name (0), no such combination (-1), not usable (-2), a third one.
        {WIDE("alt-y foo"), 1, WIDE("Unknown option \"FOO\"\r\n")},
        {WIDE("ctrl-c"), 1, WIDE("Invalid hotkey \"CTRL-C\"\r\n")},
        {WIDE("x"), 1, WIDE("Key not allowed \"X\"\r\n")},
        {WIDE("alt-y alt-z alt-w"), 1, WIDE("Syntax error \"ALT-W\"\r\n")},
        {WIDE("alt-y alt-z foo /S"), 1, WIDE("Syntax error \"FOO\"\r\n")},
        // Combinations.
        {WIDE("alt-x alt-x"), 1, WIDE("Can\u2019t set Expand and Math keys to the same value\r\n")},
        {WIDE("f6"), 1, WIDE("Can\u2019t set Expand and Math keys to the same value\r\n")},
        {WIDE("/L /S"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/L /S!"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/L /R"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/L /D"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/L alt-y"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/D /R /L"), 1, WIDE("Can\u2019t combine /L with other options\r\n")},
        {WIDE("/D /R"), 1, WIDE("Can\u2019t combine /D and /R\r\n")},
        {WIDE("/Q /R /D /S"), 1, WIDE("Can\u2019t combine /D and /R\r\n")},
    };
    for (const RefusedCase& c : cases) ExpectRefused(c);
}

TEST_F(CommandTest, RefusedCommandLeavesTheRegistryAlone) {
    REQUIRE_WIN32_STANDIN();
#if !defined(_WIN32)
    for (const WCHAR* tail :
         {WIDE("/S alt-y /X"), WIDE("/S! /D /R"), WIDE("/R /S /B:9"), WIDE("/S alt-y alt-y")}) {
        SCOPED_TRACE(support::Utf8(tail));
        support::ResetPluginState();
        EXPECT_EQ(1, RunTallix(tail));
        EXPECT_TRUE(standin::RegistryLog().empty());
        EXPECT_FALSE(standin::RegistryKeyExists(HKEY_CURRENT_USER, u"Software\\REDeraded\\Tallix"));
        EXPECT_FALSE(
            standin::RegistryKeyExists(HKEY_LOCAL_MACHINE, u"Software\\REDeraded\\Tallix"));
    }
#endif
}

TEST_F(CommandTest, OverflowingTailChangesNothing) {
    // Everything that fits, the cut /B:000... included, is valid and would be saved; the tail
    // is still refused as a whole.
    const Text tail = Text(WIDE("/S alt-y /B:")) + Text(MAX_ARG_LEN, '0') + WIDE("5");
    const PluginSettingsRecord before = PluginSettings;
    EXPECT_EQ(1, RunTallix(tail));
    EXPECT_EQ(Err(WIDE("Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n")), HostStderr());
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_TRUE(SameSettings(before, PluginSettings));
#if !defined(_WIN32)
    EXPECT_TRUE(standin::RegistryLog().empty());
#endif
}

TEST_F(CommandTest, UsageAndVersion) {
    EXPECT_EQ(0, RunTallix(WIDE("/?")));
    EXPECT_EQ(Text(UsageText), HostStdout());
    EXPECT_EQ((std::vector<Text>{UsageText}), support::HostInputs('U'));
    TakeCmdClearOutput();

    EXPECT_EQ(0, RunTallix(WIDE("/??")));
    EXPECT_EQ(Text(UsageText) + kVersionReport, HostStdout());
    TakeCmdClearOutput();

    // Anything after /? is allowed; earlier arguments are not acted on, later ones not looked at.
    PluginSettings.ErrorBeep = 4;
    EXPECT_EQ(0, RunTallix(WIDE("/D alt-y /B:1 /?x /X")));
    EXPECT_EQ(Text(UsageText), HostStdout());
    EXPECT_EQ(Text(), HostStderr());
    EXPECT_EQ(4u, PluginSettings.ErrorBeep);
    EXPECT_EQ(DEFAULT_HOTKEY, PluginSettings.Hotkey);
    TakeCmdClearOutput();

    EXPECT_EQ(0, RunTallix(WIDE("/??v")));
    EXPECT_EQ(Text(UsageText) + kVersionReport, HostStdout());
    EXPECT_EQ(0, PrintVersionReport());
}

#if !defined(_WIN32)
// A system whose ANSI code page is UTF-8 refuses the precomposed flag: the versions still print.
TEST_F(CommandTest, VersionReportOnUtf8CodePage) {
    standin::SetAnsiCodePageUtf8(true);
    EXPECT_EQ(0, PrintVersionReport());
    standin::SetAnsiCodePageUtf8(false);
    EXPECT_EQ(kVersionReport, HostStdout());
}
#endif

TEST_F(CommandTest, UsageTextIsExact) {
    const Text expected =
        WIDE("Display or change options for the Tallix plugin.\n\nTALLIX /B:n /D /L /Q /R /S "
             "expandkey mathkey  \r\n\n\t/B:\tset the error beep mode\n\t/D\trestore original "
             "plugin defaults\n\t/L\tlist all supported hotkeys\n\t/Q\tquietly\n\t/R\trestore "
             "saved settings from the registry\n\t/S\tsave settings to the registry as the new "
             "defaults  \n\nExamples of valid keys are Alt-X, Alt-=, F2, or Shift-F10.  The "
             "defaults  \nare Alt-X (expand) and Alt-= (math).\n\n/D and /R cannot be used "
             "together.  /L cannot be combined with\nany other option.\n");
    EXPECT_EQ(expected, Text(UsageText));
}

TEST_F(CommandTest, KeyWordsSetTheHotkeys) {
    EXPECT_EQ(0, RunTallix(WIDE("alt-y")));
    EXPECT_EQ(Code(WIDE("Alt-Y")), PluginSettings.Hotkey);
    EXPECT_EQ(DEFAULT_MATH_HOTKEY, PluginSettings.MathHotkey);
    EXPECT_EQ(Report(WIDE("Alt-Y"), WIDE("Alt-="), 2), HostStdout());
    TakeCmdClearOutput();

    // Two new keys are compared with each other, not with the math key in force.
    PluginSettings.MathHotkey = Code(WIDE("F5"));
    EXPECT_EQ(0, RunTallix(WIDE("f5 shift-f10 /b:0")));
    EXPECT_EQ(Code(WIDE("F5")), PluginSettings.Hotkey);
    EXPECT_EQ(0x1005D, PluginSettings.MathHotkey);
    EXPECT_EQ(Report(WIDE("F5"), WIDE("Shift-F10"), 0), HostStdout());
    EXPECT_EQ(Text(), HostStderr());
}

TEST_F(CommandTest, ListStandsAlone) {
    ASSERT_EQ(0, RunTallix(WIDE("/L")));
    const Text listing = HostStdout();
    ASSERT_FALSE(listing.empty());
    for (const WCHAR* tail : {WIDE("/L"), WIDE("/l /q"), WIDE("/L /B:3"), WIDE("/B:3 /L /L")}) {
        SCOPED_TRACE(support::Utf8(tail));
        TakeCmdClearOutput();
        EXPECT_EQ(0, RunTallix(tail));
        EXPECT_EQ(listing, HostStdout());
        EXPECT_EQ(Text(), HostStderr());
        EXPECT_EQ(DEFAULT_ERROR_BEEP, PluginSettings.ErrorBeep);
    }
}

TEST_F(CommandTest, RestoreDefaults) {
    PluginSettings = {Code(WIDE("F5")), Code(WIDE("F6")), 4};
    EXPECT_EQ(0, RunTallix(WIDE("/D")));
    EXPECT_EQ(Text(WIDE("Default plugin settings restored.\r\n")) + kDefaultReport, HostStdout());
    EXPECT_TRUE(
        SameSettings({DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, DEFAULT_ERROR_BEEP}, PluginSettings));
    TakeCmdClearOutput();

    // The arguments apply after the restore.
    PluginSettings = {Code(WIDE("F5")), Code(WIDE("F6")), 4};
    EXPECT_EQ(0, RunTallix(WIDE("/q /d alt-y /b:0")));
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_TRUE(SameSettings({Code(WIDE("Alt-Y")), DEFAULT_MATH_HOTKEY, 0}, PluginSettings));
}

#if !defined(_WIN32)

const std::u16string kPath = u"Software\\REDeraded\\Tallix";

void PutSettings(HKEY root, uint32_t hotkey, uint32_t mathKey, uint32_t beep) {
    standin::RegistryPutDword(root, kPath, u"Hotkey", hotkey);
    standin::RegistryPutDword(root, kPath, u"MathHotkey", mathKey);
    standin::RegistryPutDword(root, kPath, u"ErrorBeep", beep);
}

bool HasSettings(HKEY root, uint32_t hotkey, uint32_t mathKey, uint32_t beep) {
    const std::pair<const char16_t*, uint32_t> values[] = {
        {u"Hotkey", hotkey}, {u"MathHotkey", mathKey}, {u"ErrorBeep", beep}};
    for (const auto& value : values) {
        standin::RegValue stored;
        if (!standin::RegistryGet(root, kPath, value.first, &stored)) return false;
        if (stored.type != REG_DWORD || stored.data.size() != 4) return false;
        uint32_t number = stored.data[0] | stored.data[1] << 8 | stored.data[2] << 16 |
                          uint32_t(stored.data[3]) << 24;
        if (number != value.second) return false;
    }
    return true;
}

const Text kHkcu = WIDE("HKCU\\Software\\REDeraded\\Tallix");
const Text kHklm = WIDE("HKLM\\Software\\REDeraded\\Tallix");

Text Restored(const Text& where) {
    return WIDE("Settings restored from the registry  (") + where + WIDE(").\r\n");
}
Text Saved(const Text& where) {
    return WIDE("\r\nSettings saved to the registry  (") + where + WIDE(").\r\n");
}
const Text kNotFound = WIDE("Settings not found in the registry.\r\n");

TEST_F(CommandTest, RestoreSaved) {
    REQUIRE_WIN32_STANDIN();
    const int32_t f5 = Code(WIDE("F5")), f6 = Code(WIDE("F6"));
    PutSettings(HKEY_LOCAL_MACHINE, f6, f5, 3);
    EXPECT_EQ(0, RunTallix(WIDE("/R")));
    EXPECT_EQ(Restored(kHklm) + Report(WIDE("F6"), WIDE("F5"), 3), HostStdout());
    TakeCmdClearOutput();

    PutSettings(HKEY_CURRENT_USER, f5, f6, 1);
    EXPECT_EQ(0, RunTallix(WIDE("/r /b:0")));
    EXPECT_EQ(Restored(kHkcu) + Report(WIDE("F5"), WIDE("F6"), 0), HostStdout());
    EXPECT_EQ(Text(), HostStderr());
}

TEST_F(CommandTest, RestoreFindingNothing) {
    REQUIRE_WIN32_STANDIN();
    PluginSettings.ErrorBeep = 4;
    EXPECT_EQ(2, RunTallix(WIDE("/R /B:1")));
    EXPECT_EQ(kNotFound + Report(WIDE("Alt-X"), WIDE("Alt-="), 1), HostStdout());
    EXPECT_EQ(Text(), HostStderr());
    TakeCmdClearOutput();

    EXPECT_EQ(0, RunTallix(WIDE("/R /Q /B:0")));
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_EQ(0u, PluginSettings.ErrorBeep);
    TakeCmdClearOutput();

    // /R /S with nothing saved: the unchanged settings go to HKCU, and the result is still 2.
    EXPECT_EQ(2, RunTallix(WIDE("/R /S")));
    EXPECT_EQ(kNotFound + Report(WIDE("Alt-X"), WIDE("Alt-="), 0) + Saved(kHkcu), HostStdout());
    EXPECT_TRUE(HasSettings(HKEY_CURRENT_USER, DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, 0));
}

TEST_F(CommandTest, SaveRoots) {
    REQUIRE_WIN32_STANDIN();
    const int32_t f5 = Code(WIDE("F5")), f6 = Code(WIDE("F6"));
    // /D /S saves the defaults.
    PluginSettings = {f5, f6, 4};
    EXPECT_EQ(0, RunTallix(WIDE("/D /S")));
    EXPECT_EQ(Text(WIDE("Default plugin settings restored.\r\n")) + kDefaultReport + Saved(kHkcu),
              HostStdout());
    EXPECT_TRUE(HasSettings(HKEY_CURRENT_USER, DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, 2));
    EXPECT_FALSE(standin::RegistryKeyExists(HKEY_LOCAL_MACHINE, kPath));

    // /R /S! copies what /R found to HKLM.
    support::ResetPluginState();
    PutSettings(HKEY_CURRENT_USER, f5, f6, 6);
    EXPECT_EQ(0, RunTallix(WIDE("/R /S!")));
    EXPECT_EQ(Restored(kHkcu) + Report(WIDE("F5"), WIDE("F6"), 6) + Saved(kHklm), HostStdout());
    EXPECT_TRUE(HasSettings(HKEY_LOCAL_MACHINE, f5, f6, 6));

    // The later of /S and /S! wins; only that root is written.
    for (auto [tail, root, other] :
         {std::make_tuple(WIDE("/S /S! alt-y"), HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER),
          std::make_tuple(WIDE("/S! /S alt-y"), HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE)}) {
        SCOPED_TRACE(support::Utf8(tail));
        support::ResetPluginState();
        EXPECT_EQ(0, RunTallix(WIDE("/Q ") + Text(tail)));
        EXPECT_EQ(Text(), HostStdout());
        EXPECT_TRUE(HasSettings(root, Code(WIDE("Alt-Y")), DEFAULT_MATH_HOTKEY, 2));
        EXPECT_FALSE(standin::RegistryKeyExists(other, kPath));
    }
}

TEST_F(CommandTest, FailingSaveKeepsTheChangeInMemory) {
    REQUIRE_WIN32_STANDIN();
    standin::RegistryFailNext(standin::RegOp::Create);
    EXPECT_EQ(2, RunTallix(WIDE("/S alt-y")));
    EXPECT_EQ(Code(WIDE("Alt-Y")), PluginSettings.Hotkey);
    EXPECT_EQ(Report(WIDE("Alt-Y"), WIDE("Alt-="), 2), HostStdout());
    EXPECT_EQ(Err(WIDE("Error opening registry key  (HKCU\\Software\\REDeraded\\Tallix)\r\n")),
              HostStderr());
    TakeCmdClearOutput();

    standin::RegistryFailNext(standin::RegOp::Set, 1, u"Hotkey");
    EXPECT_EQ(2, RunTallix(WIDE("/Q /S! /B:6")));
    EXPECT_EQ(6u, PluginSettings.ErrorBeep);
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_EQ(Err(WIDE("Error writing to registry  (HKLM\\Software\\REDeraded\\Tallix)\r\n")),
              HostStderr());
}

#endif // !_WIN32

struct NumberCase {
    const WCHAR* text;
    int result;
    uint32_t value;
};

TEST(ParseNumber, DecimalAndHex) {
    const NumberCase cases[] = {
        {WIDE("0"), 0, 0},
        {WIDE("00012"), 0, 12},
        {WIDE("4294967295"), 0, 4294967295u},
        {WIDE("4294967296"), -1, 0},
        {WIDE("0x1F"), 0, 0x1F},
        {WIDE("0X1f"), 0, 0x1F},
        {WIDE("0x0x1F"), 0, 0x1F},
        {WIDE("0xFFFFFFFF"), 0, 0xFFFFFFFFu},
        {WIDE("0x100000000"), -1, 0},
        {WIDE("0x"), -1, 0},
        {WIDE("0xg"), -1, 0},
        {WIDE("0x-1"), -1, 0},
        {WIDE("12abc"), -1, 0},
        {WIDE("1 "), -1, 0},
        {WIDE(" 1"), -1, 0},
        {WIDE("-1"), -1, 0},
        {WIDE("+1"), -1, 0},
        {WIDE(""), -1, 0},
        {WIDE("\u0661"), -1, 0}, // a digit of another script
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(support::Utf8(c.text));
        uint32_t out = 777;
        EXPECT_EQ(c.result, ParseNumber(c.text, &out));
        EXPECT_EQ(c.result == 0 ? c.value : 777u, out);
    }
    EXPECT_EQ(-1, ParseNumber(WIDE("1"), nullptr));
    uint32_t out = 5;
    EXPECT_EQ(-1, ParseNumber(nullptr, &out));
    EXPECT_EQ(5u, out);
}

// ---- The hotkey listing, against listings written down by hand --------------------------------

std::string ReadGolden(const char* name) {
    std::ifstream file(std::string(TALLIX_GOLDEN_DIR) + "/" + name, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

TEST_F(CommandTest, ListingMatchesGoldenFiles) {
    struct ListingCase {
        int version;
        const char* golden;
        size_t lines;
    };
    const ListingCase cases[] = {
        {0, "listing_classic.txt", 74},
        {24, "listing_extended.txt", 72},
    };
    for (const ListingCase& c : cases) {
        SCOPED_TRACE(c.golden);
        support::ResetPluginState();
        support::UseHostVersion(c.version);
        EXPECT_EQ(0, RunTallix(WIDE("/L")));
        std::string listing = support::Utf8(support::HostStdout());
        std::string golden = ReadGolden(c.golden);
        ASSERT_FALSE(golden.empty());
        EXPECT_EQ(c.lines, CountLines(golden));
        EXPECT_EQ(golden, listing);
        // Each line goes out as its text and then its line end.
        EXPECT_EQ(2 * c.lines, support::HostInputs('U').size());
    }
}

} // namespace
