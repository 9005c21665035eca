// Start-up: the description record, the order probe - HKCU - HKLM - defaults, and the load
// banner. Registry cases run over the stand-in natively and over wine's real registry.
#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "tests/support/plugin_state.h"
#include "tests/support/settings_registry.h"
#include "tallix_version.h"

#include <cstring>
#include <string>

using support::HostCalls;
using support::HostStderr;
using support::HostStdout;
using support::Text;
using support::Utf8;

namespace {

const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

class Startup : public support::PluginTest {
  protected:
    void SetUp() override {
        support::PluginTest::SetUp();
        for (HKEY root : kRoots) support::DeleteSettingsKey(root);
    }
    void TearDown() override {
        for (HKEY root : kRoots) support::DeleteSettingsKey(root);
    }
    // The banner is not what these tests look at.
    static void QuietHost() { TakeCmdSetVariable(WIDE("noloadmsg"), WIDE("1")); }
};

struct Triple {
    int32_t hotkey, mathHotkey;
    uint32_t errorBeep;
};

void ExpectSettings(const Triple& expected, const std::string& what) {
    EXPECT_EQ(expected.hotkey, PluginSettings.Hotkey) << what;
    EXPECT_EQ(expected.mathHotkey, PluginSettings.MathHotkey) << what;
    EXPECT_EQ(expected.errorBeep, PluginSettings.ErrorBeep) << what;
}

TEST_F(Startup, PluginInfoDescribesThePlugin) {
    PluginInfo* info = GetPluginInfo();
    ASSERT_NE(nullptr, info);
    EXPECT_EQ("Tallix", Utf8(info->name));
    EXPECT_EQ("Expands a variable or function", Utf8(info->description));
    EXPECT_EQ("tallix,*key", Utf8(info->functions));
    EXPECT_FALSE(Text(info->author).empty());
    EXPECT_NE(std::string::npos, Utf8(info->email).find('@'));
    EXPECT_FALSE(Text(info->webPage).empty());
    EXPECT_EQ(1, info->major);
    EXPECT_EQ(31, info->minor);
    EXPECT_EQ(0, info->build);
    for (uint8_t byte : info->reserved) EXPECT_EQ(0, byte);
    // The host keeps the pointer: every call answers with the same record and values.
    PluginInfo first;
    std::memcpy(&first, info, sizeof first);
    PluginInfo* again = GetPluginInfo();
    EXPECT_EQ(info, again);
    EXPECT_EQ(0, std::memcmp(&first, again, sizeof first));
    // Describing itself prints nothing and asks the host nothing.
    EXPECT_TRUE(HostCalls().empty());
}

TEST_F(Startup, SettingsComeFromHkcuThenHklmThenDefaults) {
    struct Case {
        const char* what;
        bool hkcu, hkcuValid, hklm;
        Triple expected;
    };
    const Triple user = {0x1003B, 0x1003C, 0};
    const Triple machine = {0x1003D, 0x1003E, 6};
    const Triple defaults = {0x1002D, 0x10083, 2};
    const Case cases[] = {
        {"HKCU serves", true, true, true, user},
        {"HKCU only", true, true, false, user},
        {"HKCU rejected (beep 7), HKLM serves", true, false, true, machine},
        {"no HKCU, HKLM serves", false, false, true, machine},
        {"HKCU rejected, no HKLM", true, false, false, defaults},
        {"nothing saved", false, false, false, defaults},
    };
    for (const Case& c : cases) {
        support::ResetPluginState();
        for (HKEY root : kRoots) support::DeleteSettingsKey(root);
        QuietHost();
        if (c.hkcu) {
            ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, uint32_t(user.hotkey),
                                               uint32_t(user.mathHotkey), c.hkcuValid ? 0 : 7));
        }
        if (c.hklm) {
            ASSERT_TRUE(support::WriteSettings(HKEY_LOCAL_MACHINE, uint32_t(machine.hotkey),
                                               uint32_t(machine.mathHotkey), machine.errorBeep));
        }
        PluginSettings = {0x10044, 0x10044, 4}; // whatever a previous load left
        EXPECT_EQ(0, InitializePlugin()) << c.what;
        ExpectSettings(c.expected, c.what);
        EXPECT_EQ(Text(), HostStderr()) << c.what;
        EXPECT_EQ(Text(), HostStdout()) << c.what;
    }
}

TEST_F(Startup, KeyTableIsChosenBeforeTheSettingsLoad) {
    struct Case {
        const WCHAR* version; // %_4ver
        uint32_t hotkey;
        bool loads;
    };
    const Case cases[] = {
        {WIDE("24"), 0x108BD, true},  // Alt-Minus: extended table only
        {WIDE("23"), 0x108BD, false}, //
        {WIDE("23"), 0x10082, true},  // Alt--: classic table only
        {WIDE("30"), 0x10082, false}, //
        {WIDE("25"), 0x7005E, true},  // Ctrl-Alt-Shift-F1
    };
    for (const Case& c : cases) {
        std::string what = Utf8(c.version) + " " + std::to_string(c.hotkey);
        support::ResetPluginState();
        support::DeleteSettingsKey(HKEY_CURRENT_USER);
        QuietHost();
        TakeCmdSetVariable(WIDE("_4ver"), c.version);
        ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, c.hotkey, 0x10083, 3));
        InitializePlugin();
        EXPECT_EQ(c.loads, PluginSettings.Hotkey == int32_t(c.hotkey)) << what;
        if (!c.loads) ExpectSettings({0x1002D, 0x10083, 2}, what);
    }
}

TEST_F(Startup, BannerOnlyForExactlyZeroZero) {
    struct Case {
        const char* what;
        const WCHAR* transient;
        const WCHAR* pipe;
        const WCHAR* noloadmsg; // null: not set
        bool banner;
    };
    const Case cases[] = {
        {"interactive shell", WIDE("0"), WIDE("0"), nullptr, true},
        {"noloadmsg set but empty", WIDE("0"), WIDE("0"), WIDE(""), true},
        {"noloadmsg set", WIDE("0"), WIDE("0"), WIDE("1"), false},
        {"noloadmsg a word", WIDE("0"), WIDE("0"), WIDE("yes"), false},
        {"transient shell", WIDE("1"), WIDE("0"), nullptr, false},
        {"in a pipe", WIDE("0"), WIDE("1"), nullptr, false},
        {"both unset", WIDE(""), WIDE(""), nullptr, false},
        {"one longer", WIDE("00"), WIDE("0"), nullptr, false},
    };
    for (const Case& c : cases) {
        support::ResetPluginState();
        TakeCmdSetVariable(WIDE("_transient"), c.transient);
        TakeCmdSetVariable(WIDE("_pipe"), c.pipe);
        TakeCmdSetVariable(WIDE("noloadmsg"), c.noloadmsg);
        EXPECT_EQ(0, InitializePlugin()) << c.what;
        Text expected =
            c.banner ? Text(WIDE(TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                                                     " loaded.  Expand: Alt-X, Math: Alt-=\r\n"))
                     : Text();
        EXPECT_EQ(Utf8(expected), Utf8(HostStdout())) << c.what;
        EXPECT_EQ(Text(), HostStderr()) << c.what;
    }
}

TEST_F(Startup, NoBannerWhenTheTestExpansionFails) {
    TakeCmdSetExpansion(WIDE("%_4ver"), WIDE("24"));
    TakeCmdSetExpandResult(2); // every expansion fails and leaves its buffer alone
    EXPECT_EQ(0, InitializePlugin());
    EXPECT_EQ(Text(), HostStdout());
    EXPECT_EQ(Text(), HostStderr());
}

TEST_F(Startup, LongNoloadmsgStaysInsideTheBuffer) {
    // The host writes the whole expansion into the start-up buffer; a long value must fit.
    Text longValue(1000, WIDE('x'));
    TakeCmdSetVariable(WIDE("noloadmsg"), longValue.c_str());
    EXPECT_EQ(0, InitializePlugin());
    EXPECT_EQ(Text(), HostStdout());
}

TEST_F(Startup, BannerNamesBothHotkeysOnBothHostGenerations) {
    struct Case {
        const WCHAR* version;
        bool saved; // Ctrl-Alt-Shift-F1 and Ctrl-Shift-F12 under HKCU
        const WCHAR* banner;
    };
    const Case cases[] = {
        {WIDE("23"), false,
         WIDE(TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                                  " loaded.  Expand: Alt-X, Math: Alt-=\r\n")},
        {WIDE("24"), false,
         WIDE(TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                                  " loaded.  Expand: Alt-X, Math: Alt-Plus\r\n")},
        {WIDE("24"), true,
         WIDE(TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                                  " loaded.  Expand: Ctrl-Alt-Shift-F1, Math: Ctrl-Shift-F12\r\n")},
        {WIDE("9"), true,
         WIDE(TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                                  " loaded.  Expand: Alt-X, Math: Alt-=\r\n")},
    };
    for (const Case& c : cases) {
        std::string what = Utf8(c.version) + (c.saved ? " saved" : "");
        support::ResetPluginState();
        support::DeleteSettingsKey(HKEY_CURRENT_USER);
        TakeCmdSetVariable(WIDE("_4ver"), c.version);
        if (c.saved) {
            ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, 0x7005E, 0x30088, 1));
        }
        InitializePlugin();
        EXPECT_EQ(Utf8(c.banner), Utf8(HostStdout())) << what;
        // The start-up expansions are plain calls: nothing is silenced.
        for (const auto& call : HostCalls())
            EXPECT_FALSE(call.stdoutRedirected || call.stderrRedirected) << what;
    }
}

TEST_F(Startup, ShutdownSavesNothing) {
    PluginSettings = {0x1003B, 0x1003C, 0};
    EXPECT_EQ(0, ShutdownPlugin());
    for (HKEY root : kRoots) {
        DWORD type = 0;
        std::vector<uint8_t> data;
        EXPECT_FALSE(support::ReadSettingsValue(root, WIDE("Hotkey"), &type, &data));
    }
    EXPECT_TRUE(HostCalls().empty());
}

#if !defined(_WIN32)
TEST_F(Startup, HklmIsNotReadWhenHkcuServes) {
    REQUIRE_WIN32_STANDIN();
    QuietHost();
    ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, 0x1003B, 0x1003C, 0));
    ASSERT_TRUE(support::WriteSettings(HKEY_LOCAL_MACHINE, 0x1003D, 0x1003E, 6));
    size_t from = standin::RegistryLog().size();
    InitializePlugin();
    std::vector<std::string> log(standin::RegistryLog().begin() + long(from),
                                 standin::RegistryLog().end());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("open HKCU\\Software\\REDeraded\\Tallix", log.front());
    for (const std::string& line : log) EXPECT_EQ(std::string::npos, line.find("HKLM")) << line;
}

TEST_F(Startup, HkcuIsTriedBeforeHklm) {
    REQUIRE_WIN32_STANDIN();
    QuietHost();
    size_t from = standin::RegistryLog().size();
    InitializePlugin();
    std::vector<std::string> log(standin::RegistryLog().begin() + long(from),
                                 standin::RegistryLog().end());
    const std::vector<std::string> expected = {"open HKCU\\Software\\REDeraded\\Tallix",
                                               "open HKLM\\Software\\REDeraded\\Tallix"};
    EXPECT_EQ(expected, log);
}
#endif

TEST_F(Startup, ProbeComesFirst) {
    QuietHost();
    InitializePlugin();
    auto inputs = support::HostInputs('E');
    ASSERT_EQ(2u, inputs.size());
    EXPECT_EQ("%_4ver", Utf8(inputs[0]));
    EXPECT_EQ("%[_transient]%[_pipe]%[noloadmsg]", Utf8(inputs[1]));
}

} // namespace
