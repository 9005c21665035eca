// The real Tallix.dll loaded beside the stand-in TakeCmd.dll, as a host loads it: the record
// GetPluginInfo hands over, read by byte offset, and start-up over wine's real registry with
// the settings in force shown by the load banner.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/host_capture.h"
#include "tests/support/host_thread.h"
#include "tests/support/settings_registry.h"
#include "tallix_version.h"

using support::HostStderr;
using support::HostStdout;
using support::Utf8;

namespace {

using InfoFunction = void* (*)();
using IntFunction = int (*)();

// Tallix.dll from the folder of this test program.
HMODULE LoadTallix() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return LoadLibraryW((folder + L"Tallix.dll").c_str());
}

// Calls `function` on a thread with a host's stack: its result, or -98 when no thread ran it.
int OnHostThread(IntFunction function) {
    int result = -98;
    support::RunOnHostThread([&] { result = function(); });
    return result;
}

// An export by its undecorated name (through void (*)(), the generic function pointer type).
template <typename F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class StartupDll : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module = LoadTallix();
        ASSERT_NE(nullptr, module) << "Tallix.dll beside the test program";
    }
    void SetUp() override {
        ASSERT_NE(nullptr, module);
        getInfo = Export<InfoFunction>(module, "GetPluginInfo");
        initialize = Export<IntFunction>(module, "InitializePlugin");
        shutdown = Export<IntFunction>(module, "ShutdownPlugin");
        ASSERT_NE(nullptr, getInfo);
        ASSERT_NE(nullptr, initialize);
        ASSERT_NE(nullptr, shutdown);
        TakeCmdReset();
        Clean();
    }
    void TearDown() override { Clean(); }
    static void Clean() {
        support::DeleteSettingsKey(HKEY_CURRENT_USER);
        support::DeleteSettingsKey(HKEY_LOCAL_MACHINE);
    }

    static HMODULE module;
    InfoFunction getInfo = nullptr;
    IntFunction initialize = nullptr;
    IntFunction shutdown = nullptr;
};

HMODULE StartupDll::module = nullptr;

template <typename T> T At(const uint8_t* record, size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

std::string TextAt(const uint8_t* record, size_t offset) {
    const wchar_t* text = At<const wchar_t*>(record, offset);
    return text ? Utf8(support::Text(text)) : "(null)";
}

TEST_F(StartupDll, PluginInfoFieldsByOffset) {
    const auto* record = static_cast<const uint8_t*>(getInfo());
    ASSERT_NE(nullptr, record);
    EXPECT_EQ("Tallix", TextAt(record, 0));
    EXPECT_NE("", TextAt(record, 8));                           // author
    EXPECT_NE(std::string::npos, TextAt(record, 16).find('@')); // e-mail
    EXPECT_NE("", TextAt(record, 24));                          // web page
    EXPECT_EQ("Expands a variable or function", TextAt(record, 32));
    EXPECT_EQ("tallix,*key", TextAt(record, 40));
    EXPECT_EQ(1, At<int32_t>(record, 48));
    EXPECT_EQ(31, At<int32_t>(record, 52));
    EXPECT_EQ(0, At<int32_t>(record, 56));
    for (size_t offset = 60; offset < 80; ++offset) EXPECT_EQ(0, record[offset]) << offset;

    uint8_t first[80];
    std::memcpy(first, record, sizeof first);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(record, getInfo());
        EXPECT_EQ(0, std::memcmp(first, record, sizeof first));
    }
}

TEST_F(StartupDll, SettingsInForceShowInTheBanner) {
    struct Case {
        const char* what;
        const wchar_t* version; // %_4ver
        bool hkcu;
        uint32_t hkcuBeep;
        bool hklm;
        const char* banner;
    };
    const Case cases[] = {
        {"defaults, classic host", L"23", false, 0, false,
         TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                             " loaded.  Expand: Alt-X, Math: Alt-=\r\n"},
        {"defaults, newer host", L"24", false, 0, false,
         TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                             " loaded.  Expand: Alt-X, Math: Alt-Plus\r\n"},
        {"HKCU serves", L"24", true, 1, true,
         TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                             " loaded.  Expand: F1, Math: Ctrl-Alt-Shift-F2\r\n"},
        {"HKCU rejected, HKLM serves", L"23", true, 7, true,
         TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                             " loaded.  Expand: Shift-F3, Math: Ctrl-F4\r\n"},
        {"HKCU code unknown to the classic table", L"23", true, 1, false,
         TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                             " loaded.  Expand: Alt-X, Math: Alt-=\r\n"},
    };
    for (const Case& c : cases) {
        TakeCmdReset();
        Clean();
        TakeCmdSetVariable(L"_4ver", c.version);
        if (c.hkcu) {
            ASSERT_TRUE(support::WriteSettings(HKEY_CURRENT_USER, 0x1003B, 0x7005F, c.hkcuBeep))
                << c.what;
        }
        if (c.hklm) {
            ASSERT_TRUE(support::WriteSettings(HKEY_LOCAL_MACHINE, 0x10056, 0x10061, 3)) << c.what;
        }
        EXPECT_EQ(0, OnHostThread(initialize)) << c.what;
        EXPECT_EQ(c.banner, Utf8(HostStdout())) << c.what;
        EXPECT_EQ("", Utf8(HostStderr())) << c.what;
    }
}

TEST_F(StartupDll, NoBannerWhenNoloadmsgIsSet) {
    TakeCmdSetVariable(L"noloadmsg", L"1");
    EXPECT_EQ(0, OnHostThread(initialize));
    EXPECT_EQ("", Utf8(HostStdout()));
}

TEST_F(StartupDll, ShutdownWritesNothing) {
    EXPECT_EQ(0, OnHostThread(initialize));
    EXPECT_EQ(0, OnHostThread(shutdown));
    HKEY key = nullptr;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, support::SettingsPath(), 0, KEY_READ, &key));
}

} // namespace
