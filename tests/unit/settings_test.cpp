// The settings' registry form: all-or-nothing loading from one root, and saving with every
// failure reported. Runs over the stand-in natively and over wine's real registry.
#include "src/plugin/settings.h"
#include "tests/support/plugin_state.h"
#include "tests/support/settings_registry.h"

#if !defined(_WIN32)
#include "standin/wideformat.h"
#endif

#include <string>
#include <vector>

using support::DwordBytes;
using support::HostStderr;
using support::HostStdout;
using support::Text;
using support::Utf8;

namespace {

const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};

const char* RootText(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
}

// Settings that differ from both the defaults and every stored value below, so that a load
// that changed anything shows.
const PluginSettingsRecord kBefore = {0x10044, 0x10044, 4}; // F10, F10, Exclamation

bool Same(const PluginSettingsRecord& a, const PluginSettingsRecord& b) {
    return a.Hotkey == b.Hotkey && a.MathHotkey == b.MathHotkey && a.ErrorBeep == b.ErrorBeep;
}

class Settings : public support::PluginTest {
  protected:
    void SetUp() override {
        support::PluginTest::SetUp();
        for (HKEY root : kRoots) support::DeleteSettingsKey(root);
    }
    void TearDown() override {
        for (HKEY root : kRoots) support::DeleteSettingsKey(root);
    }
};

struct Value {
    const WCHAR* name;
    DWORD type;
    std::vector<uint8_t> data;
};

std::vector<Value> Dwords(uint32_t hotkey, uint32_t mathHotkey, uint32_t errorBeep) {
    return {{WIDE("Hotkey"), REG_DWORD, DwordBytes(hotkey)},
            {WIDE("MathHotkey"), REG_DWORD, DwordBytes(mathHotkey)},
            {WIDE("ErrorBeep"), REG_DWORD, DwordBytes(errorBeep)}};
}

// The valid triple with one value replaced (or removed, when `type` is REG_NONE and no data).
std::vector<Value> With(const WCHAR* name, DWORD type, std::vector<uint8_t> data) {
    std::vector<Value> values = Dwords(0x1003B, 0x10083, 5);
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (Text(it->name) != Text(name)) continue;
        if (type == REG_NONE && data.empty())
            values.erase(it);
        else
            *it = {name, type, std::move(data)};
        break;
    }
    return values;
}

std::vector<uint8_t> Bytes(const char* text) {
    std::vector<uint8_t> bytes;
    for (const char* p = text;; ++p) { // UTF-16LE with its terminator, as REG_SZ holds it
        bytes.push_back(uint8_t(*p));
        bytes.push_back(0);
        if (!*p) break;
    }
    return bytes;
}

TEST_F(Settings, LoadIsAllOrNothing) {
    struct Case {
        const char* what;
        int hostVersion;
        std::vector<Value> values;
        bool loads;
    };
    const Case cases[] = {
        {"all valid", 0, Dwords(0x1003B, 0x10083, 5), true},
        {"equal hotkeys", 0, Dwords(0x1002D, 0x1002D, 0), true},
        {"beep 6, the highest", 0, Dwords(0x1002D, 0x10083, 6), true},
        {"beep 7", 0, Dwords(0x1002D, 0x10083, 7), false},
        {"beep all bits", 0, Dwords(0x1002D, 0x10083, 0xFFFFFFFFu), false},
        {"Hotkey missing", 0, With(WIDE("Hotkey"), REG_NONE, {}), false},
        {"MathHotkey missing", 0, With(WIDE("MathHotkey"), REG_NONE, {}), false},
        {"ErrorBeep missing", 0, With(WIDE("ErrorBeep"), REG_NONE, {}), false},
        {"Hotkey as a string", 0, With(WIDE("Hotkey"), REG_SZ, Bytes("65581")), false},
        {"ErrorBeep as binary", 0, With(WIDE("ErrorBeep"), REG_BINARY, DwordBytes(2)), false},
        {"MathHotkey as QWORD", 0, With(WIDE("MathHotkey"), REG_QWORD, {0x83, 0, 1, 0, 0, 0, 0, 0}),
         false},
        {"REG_DWORD of 2 bytes", 0, With(WIDE("ErrorBeep"), REG_DWORD, {2, 0}), false},
        {"REG_DWORD of 8 bytes", 0, With(WIDE("Hotkey"), REG_DWORD, {0x3B, 0, 1, 0, 0, 0, 0, 0}),
         false},
        {"Hotkey unknown code", 0, Dwords(0x12345, 0x10083, 2), false},
        {"Hotkey 0", 0, Dwords(0, 0x10083, 2), false},
        {"MathHotkey marker -1", 0, Dwords(0x1002D, 0xFFFFFFFFu, 2), false},
        {"MathHotkey marker -2", 0, Dwords(0x1002D, 0xFFFFFFFEu, 2), false},
        {"classic-only Alt-- on classic", 0, Dwords(0x10082, 0x10083, 2), true},
        {"classic-only Alt-- on extended", 24, Dwords(0x10082, 0x10083, 2), false},
        {"extended-only Alt-Minus on extended", 24, Dwords(0x108BD, 0x10083, 2), true},
        {"extended-only Alt-Minus on classic", 0, Dwords(0x108BD, 0x10083, 2), false},
        {"extended-only Ctrl-Alt-Shift-F1 on classic", 23, Dwords(0x1002D, 0x7005E, 2), false},
    };
    for (HKEY root : kRoots) {
        for (const Case& c : cases) {
            std::string what = std::string(RootText(root)) + ": " + c.what;
            support::ResetPluginState();
            support::DeleteSettingsKey(root);
            support::UseHostVersion(c.hostVersion);
            for (const Value& v : c.values)
                ASSERT_TRUE(support::WriteSettingsValue(root, v.name, v.type, v.data)) << what;
            PluginSettings = kBefore;

            EXPECT_EQ(c.loads, LoadSettings(root)) << what;
            if (c.loads) {
                PluginSettingsRecord stored = {0, 0, 0};
                for (const Value& v : c.values) {
                    uint32_t n = uint32_t(v.data[0]) | uint32_t(v.data[1]) << 8 |
                                 uint32_t(v.data[2]) << 16 | uint32_t(v.data[3]) << 24;
                    if (Text(v.name) == Text(WIDE("Hotkey"))) stored.Hotkey = int32_t(n);
                    if (Text(v.name) == Text(WIDE("MathHotkey"))) stored.MathHotkey = int32_t(n);
                    if (Text(v.name) == Text(WIDE("ErrorBeep"))) stored.ErrorBeep = n;
                }
                EXPECT_TRUE(Same(stored, PluginSettings)) << what;
            } else {
                EXPECT_TRUE(Same(kBefore, PluginSettings)) << what;
            }
            EXPECT_EQ(Text(), HostStdout()) << what;
            EXPECT_EQ(Text(), HostStderr()) << what;
            support::DeleteSettingsKey(root);
        }
    }
}

TEST_F(Settings, LoadWithoutTheKeyChangesNothing) {
    for (HKEY root : kRoots) {
        PluginSettings = kBefore;
        EXPECT_FALSE(LoadSettings(root)) << RootText(root);
        EXPECT_TRUE(Same(kBefore, PluginSettings)) << RootText(root);
    }
}

TEST_F(Settings, LoadReadsOnlyItsOwnRoot) {
    ASSERT_TRUE(support::WriteSettings(HKEY_LOCAL_MACHINE, 0x1003B, 0x1003C, 3));
    PluginSettings = kBefore;
    EXPECT_FALSE(LoadSettings(HKEY_CURRENT_USER));
    EXPECT_TRUE(LoadSettings(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(Same({0x1003B, 0x1003C, 3}, PluginSettings));
}

TEST_F(Settings, SaveWritesThreeDwordsThatLoadBack) {
    for (HKEY root : kRoots) {
        support::ResetPluginState();
        PluginSettings = {0x7005E, 0x10083, 6};
        EXPECT_EQ(0, SaveSettings(root)) << RootText(root);
        const std::pair<const WCHAR*, uint32_t> expected[] = {
            {WIDE("Hotkey"), 0x7005E}, {WIDE("MathHotkey"), 0x10083}, {WIDE("ErrorBeep"), 6}};
        for (const auto& [name, value] : expected) {
            DWORD type = 0;
            std::vector<uint8_t> data;
            ASSERT_TRUE(support::ReadSettingsValue(root, name, &type, &data)) << Utf8(name);
            EXPECT_EQ(DWORD(REG_DWORD), type) << Utf8(name);
            EXPECT_EQ(DwordBytes(value), data) << Utf8(name);
        }
        HKEY other = root == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        DWORD type = 0;
        std::vector<uint8_t> data;
        EXPECT_FALSE(support::ReadSettingsValue(other, WIDE("Hotkey"), &type, &data))
            << "saved to " << RootText(other) << " as well";
        EXPECT_EQ(Text(), HostStdout());
        EXPECT_EQ(Text(), HostStderr());

        support::UseHostVersion(24); // Ctrl-Alt-Shift-F1 is a hotkey of the extended table only
        ApplyDefaultSettings();
        EXPECT_TRUE(LoadSettings(root)) << RootText(root);
        EXPECT_TRUE(Same({0x7005E, 0x10083, 6}, PluginSettings)) << RootText(root);
        support::DeleteSettingsKey(root);
    }
}

#if !defined(_WIN32)
// ---- Over the stand-in: failures injected at every step, and no key left open -------------

TEST_F(Settings, LoadFailsOnAnyFailedCallAndClosesTheKey) {
    REQUIRE_WIN32_STANDIN();
    ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, 0x1002D, 0x10083, 2));
    EXPECT_TRUE(LoadSettings(HKEY_CURRENT_USER));
    EXPECT_EQ(0, standin::RegistryOpenKeyCount());
    struct Case {
        standin::RegOp op;
        std::u16string valueName;
    };
    const Case cases[] = {{standin::RegOp::Open, u""},
                          {standin::RegOp::Query, u"Hotkey"},
                          {standin::RegOp::Query, u"MathHotkey"},
                          {standin::RegOp::Query, u"ErrorBeep"}};
    for (const Case& c : cases) {
        support::ResetPluginState();
        ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, 0x1002D, 0x10083, 2));
        standin::RegistryFailNext(c.op, 1, c.valueName);
        PluginSettings = kBefore;
        EXPECT_FALSE(LoadSettings(HKEY_CURRENT_USER)) << standin::ToUtf8(c.valueName);
        EXPECT_TRUE(Same(kBefore, PluginSettings)) << standin::ToUtf8(c.valueName);
        EXPECT_EQ(0, standin::RegistryOpenKeyCount()) << standin::ToUtf8(c.valueName);
    }
}

TEST_F(Settings, SaveReportsEveryFailureOnceAndClosesTheKey) {
    REQUIRE_WIN32_STANDIN();
    EXPECT_EQ(0, SaveSettings(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(0, standin::RegistryOpenKeyCount());
    struct Case {
        standin::RegOp op;
        std::u16string valueName;
        const char* message; // after the prefix; %s is the root's name
    };
    const Case cases[] = {
        {standin::RegOp::Create, u"",
         "Error opening registry key  (%s\\Software\\REDeraded\\Tallix)"},
        {standin::RegOp::Set, u"Hotkey",
         "Error writing to registry  (%s\\Software\\REDeraded\\Tallix)"},
        {standin::RegOp::Set, u"MathHotkey",
         "Error writing to registry  (%s\\Software\\REDeraded\\Tallix)"},
        {standin::RegOp::Set, u"ErrorBeep",
         "Error writing to registry  (%s\\Software\\REDeraded\\Tallix)"},
    };
    for (HKEY root : kRoots) {
        for (const Case& c : cases) {
            std::string what = std::string(RootText(root)) + " " + standin::ToUtf8(c.valueName);
            support::ResetPluginState();
            standin::RegistryFailNext(c.op, 1, c.valueName);
            EXPECT_EQ(-1, SaveSettings(root)) << what;
            std::string message = c.message;
            message.replace(message.find("%s"), 2, RootText(root));
            EXPECT_EQ("Tallix plugin: " + message + "\r\n", Utf8(HostStderr())) << what;
            EXPECT_EQ(Text(), HostStdout()) << what;
            EXPECT_EQ(0, standin::RegistryOpenKeyCount()) << what;
        }
    }
}

#endif

} // namespace
