// The TALLIX command, Help and Usage through the real Tallix.dll under wine, with wine's own
// registry: what /S and /S! write, what /R reads back, and the exit codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/host_capture.h"
#include "tallix_version.h"
#include "tests/support/registry_sandbox.h"

using support::HostStderr;
using support::HostStdout;
using support::Text;

namespace {

using CommandExport = int (*)(WCHAR*);
using HelpExport = int (*)(WCHAR*);
using UsageExport = int (*)(WCHAR*, WCHAR*);

const WCHAR kPath[] = L"Software\\REDeraded\\Tallix";
const WCHAR kParent[] = L"Software\\REDeraded";

// Tallix.dll from the folder of this program.
HMODULE LoadPlugin() {
    WCHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return LoadLibraryW((folder + L"Tallix.dll").c_str());
}

// An export by name, through void (*)() so that the cast between function types is explicit.
template <typename Function> Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void DeleteSettings(HKEY root) {
    RegDeleteKeyW(root, kPath);
    RegDeleteKeyW(root, kParent);
}

bool KeyExists(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The three values as wine's registry holds them; false unless all are 4-byte REG_DWORDs.
bool ReadSettings(HKEY root, DWORD values[3]) {
    const WCHAR* names[3] = {L"Hotkey", L"MathHotkey", L"ErrorBeep"};
    for (int i = 0; i < 3; ++i) {
        DWORD type = 0, size = sizeof(DWORD);
        if (RegGetValueW(root, kPath, names[i], RRF_RT_ANY, &type, &values[i], &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof(DWORD))
            return false;
    }
    return true;
}

class CommandDll : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin = LoadPlugin();
        ASSERT_NE(nullptr, plugin);
        command = Export<CommandExport>(plugin, "tallix");
        help = Export<HelpExport>(plugin, "Help");
        usage = Export<UsageExport>(plugin, "Usage");
        ASSERT_TRUE(command && help && usage);
        DeleteSettings(HKEY_CURRENT_USER);
        DeleteSettings(HKEY_LOCAL_MACHINE);
        TakeCmdReset();
        ASSERT_EQ(0, Run(L"/Q /D"));
    }
    void TearDown() override {
        DeleteSettings(HKEY_CURRENT_USER);
        DeleteSettings(HKEY_LOCAL_MACHINE);
        if (plugin) FreeLibrary(plugin);
    }
    int Run(const Text& tail) {
        Text writable = tail;
        TakeCmdClearOutput();
        return command(&writable[0]);
    }

    HMODULE plugin = nullptr;
    CommandExport command = nullptr;
    HelpExport help = nullptr;
    UsageExport usage = nullptr;
};

Text Report(const Text& expandKey, const Text& mathKey, const Text& beep) {
    return L"\r\n" TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
           " settings:\r\n\n    Expand expression at cursor . . . " +
           expandKey + L"\r\n    Do math on word at cursor . . . . " + mathKey +
           L"\r\n    Error beep  . . . . . . . . . . . /B: " + beep + L")\r\n";
}

TEST_F(CommandDll, SaveWritesTheRootAsked) {
    EXPECT_EQ(0, Run(L"/S shift-f10 ctrl-shift-f1 /b:\"critical stop\""));
    EXPECT_EQ(Report(L"Shift-F10", L"Ctrl-Shift-F1", L"5  (Critical Stop") +
                  L"\r\nSettings saved to the registry  (HKCU\\Software\\REDeraded\\Tallix).\r\n",
              HostStdout());
    EXPECT_EQ(Text(), HostStderr());
    DWORD values[3] = {};
    ASSERT_TRUE(ReadSettings(HKEY_CURRENT_USER, values));
    EXPECT_EQ(0x1005Du, values[0]);
    EXPECT_EQ(0x30054u, values[1]);
    EXPECT_EQ(5u, values[2]);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE));

    // /S then /S!: the later wins, and HKLM receives the defaults that /D brings back.
    EXPECT_EQ(0, Run(L"/Q /D /S /S!"));
    ASSERT_TRUE(ReadSettings(HKEY_LOCAL_MACHINE, values));
    EXPECT_EQ(0x1002Du, values[0]);
    EXPECT_EQ(0x10083u, values[1]);
    EXPECT_EQ(2u, values[2]);
    ASSERT_TRUE(ReadSettings(HKEY_CURRENT_USER, values));
    EXPECT_EQ(0x1005Du, values[0]);
    // Both roots are the test process's scratch keys, never the user's own settings.
    ASSERT_TRUE(ReadSettings(support::ScratchKey(HKEY_CURRENT_USER), values));
    EXPECT_EQ(0x1005Du, values[0]);
    ASSERT_TRUE(ReadSettings(support::ScratchKey(HKEY_LOCAL_MACHINE), values));
    EXPECT_EQ(0x1002Du, values[0]);
}

TEST_F(CommandDll, RestoreReadsHkcuThenHklm) {
    ASSERT_EQ(0, Run(L"/Q /S! F1 /B:0"));
    ASSERT_EQ(0, Run(L"/Q /D /S"));
    ASSERT_EQ(0, Run(L"/Q shift-f10 /B:6"));

    EXPECT_EQ(0, Run(L"/R"));
    EXPECT_EQ(L"Settings restored from the registry  (HKCU\\Software\\REDeraded\\Tallix).\r\n" +
                  Report(L"Alt-X", L"Alt-=", L"2  (Asterisk"),
              HostStdout());

    DeleteSettings(HKEY_CURRENT_USER);
    EXPECT_EQ(0, Run(L"/R"));
    EXPECT_EQ(L"Settings restored from the registry  (HKLM\\Software\\REDeraded\\Tallix).\r\n" +
                  Report(L"F1", L"Alt-=", L"0  (Off"),
              HostStdout());

    DeleteSettings(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(2, Run(L"/R"));
    EXPECT_EQ(L"Settings not found in the registry.\r\n" + Report(L"F1", L"Alt-=", L"0  (Off"),
              HostStdout());
    EXPECT_EQ(0, Run(L"/R /Q"));
    EXPECT_EQ(Text(), HostStdout());
}

TEST_F(CommandDll, RefusedCommandsWriteNothing) {
    EXPECT_EQ(1, Run(L"/S alt-y /X"));
    EXPECT_EQ(L"Tallix plugin: Unknown option \"/X\"\r\n", HostStderr());
    EXPECT_EQ(-1, Run(L"/S! /B:loud"));
    EXPECT_EQ(1, Run(L"/S " + Text(8192, L'a')));
    EXPECT_EQ(1, Run(L"/S /L"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(-1, command(nullptr));
}

TEST_F(CommandDll, UsageNamesTheHotkeysInForce) {
    ASSERT_EQ(0, Run(L"/Q f2"));
    WCHAR out[1024];
    WCHAR name[] = L"TALLIX";
    EXPECT_EQ(1, usage(name, out));
    Text text(out);
    EXPECT_EQ(0u, text.find(L"TALLIX /B:n /D /L /Q /R /S expandkey mathkey  \r\n"));
    EXPECT_NE(Text::npos, text.find(L"  \u2022  Press F2 to expand the variable or function at the "
                                    L"cursor.  \r\n  \u2022  Press Alt-= to do math (@EVAL) on "
                                    L"the word at the cursor.  \r\n"));
    WCHAR other[] = L"dir";
    out[0] = L'#';
    EXPECT_EQ(0, usage(other, out));
    EXPECT_EQ(L'#', out[0]);
    EXPECT_EQ(0, help(other));
    EXPECT_EQ(0, usage(nullptr, out));
    EXPECT_EQ(0, help(nullptr));
}

} // namespace
