// The whole DLL as a host drives it: the real Tallix.dll loaded beside the stand-in TakeCmd.dll,
// all seven exports called through one run per host generation, on a thread with the 1 MiB
// stack of a host's thread, with the settings in wine's real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "src/host/host.h"
#include "tests/support/edit_line.h"
#include "tests/support/host_capture.h"
#include "tests/support/host_thread.h"
#include "tallix_version.h"

namespace {

using support::Text;

const wchar_t* const KEY_PATH = L"Software\\REDeraded\\Tallix";
constexpr int F5 = 0x1003F, F6 = 0x10040, CTRL_ALT_F5 = 0x50062;

struct Exports {
    HMODULE dll = nullptr;
    void* (*GetPluginInfo)() = nullptr;
    int (*InitializePlugin)() = nullptr;
    int (*ShutdownPlugin)() = nullptr;
    int (*key)(KeyEvent*) = nullptr;
    int (*tallix)(WCHAR*) = nullptr;
    int (*Help)(WCHAR*) = nullptr;
    int (*Usage)(WCHAR*, WCHAR*) = nullptr;
};

template <typename F> void Find(HMODULE dll, const char* name, F*& out) {
    out = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    ASSERT_NE(nullptr, out) << name;
}

void Load(Exports& e) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L'\\') + 1);
    e.dll = LoadLibraryW((folder + L"Tallix.dll").c_str());
    ASSERT_NE(nullptr, e.dll);
    Find(e.dll, "GetPluginInfo", e.GetPluginInfo);
    Find(e.dll, "InitializePlugin", e.InitializePlugin);
    Find(e.dll, "ShutdownPlugin", e.ShutdownPlugin);
    Find(e.dll, "key", e.key);
    Find(e.dll, "tallix", e.tallix);
    Find(e.dll, "Help", e.Help);
    Find(e.dll, "Usage", e.Usage);
}

void WriteDword(HKEY root, const wchar_t* name, DWORD value) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(root, KEY_PATH, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

DWORD ReadDword(HKEY root, const wchar_t* name) {
    HKEY key;
    DWORD value = 0xFFFFFFFF, size = 4, type = 0;
    if (RegOpenKeyExW(root, KEY_PATH, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return value;
}

void CleanRegistry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, KEY_PATH);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, KEY_PATH);
}

// The host's edit line (65,536 units) and one keystroke on it.
struct Keystroke : support::EditLine {
    Keystroke(const Text& text, size_t caret, int code, const Text& keyName = L"")
        : EditLine(text, caret, code, keyName.c_str()) {}
    size_t Caret() const { return size_t(EditLine::Caret()); }
};

Text Run(Exports& e, const Text& tail) {
    std::vector<WCHAR> buffer(tail.begin(), tail.end());
    buffer.push_back(0);
    TakeCmdClearOutput();
    int result = e.tallix(buffer.data());
    return std::to_wstring(result) + L":" + support::HostStdout() + support::HostStderr();
}

void WholeRun(int generation) {
    const bool extended = generation >= 24;
    CleanRegistry();
    TakeCmdReset();
    TakeCmdSetVariable(L"_4ver", std::to_wstring(generation).c_str());
    TakeCmdSetExpansion(L"%foo", L"bar");
    WriteDword(HKEY_CURRENT_USER, L"Hotkey", F5);
    WriteDword(HKEY_CURRENT_USER, L"MathHotkey", F6);
    WriteDword(HKEY_CURRENT_USER, L"ErrorBeep", 1);

    Exports e;
    Load(e);
    if (!e.dll || !e.Usage) return;

    // Describe and start.
    auto* info = static_cast<unsigned char*>(e.GetPluginInfo());
    ASSERT_EQ(info, e.GetPluginInfo());
    EXPECT_EQ(Text(L"Tallix"), *reinterpret_cast<const wchar_t**>(info + 0));
    EXPECT_EQ(Text(L"tallix,*key"), *reinterpret_cast<const wchar_t**>(info + 40));
    EXPECT_EQ(TALLIX_VERSION_MAJOR, *reinterpret_cast<int*>(info + 48));
    EXPECT_EQ(TALLIX_VERSION_MINOR, *reinterpret_cast<int*>(info + 52));
    EXPECT_EQ(0, e.InitializePlugin());
    EXPECT_EQ(Text(L"" TALLIX_PRODUCT_NAME " v" TALLIX_VERSION_SHORT_TEXT
                   " loaded.  Expand: F5, Math: F6\r\n"),
              support::HostStdout());

    // The expand hotkey, by code and (newer hosts) by name.
    Keystroke expand(L"echo %foo!", 9, F5);
    e.key(&expand.event);
    EXPECT_EQ(Text(L"echo bar!"), expand.Line());
    EXPECT_EQ(8u, expand.Caret());
    EXPECT_EQ(0, expand.event.keyCode);
    Keystroke byName(L"%foo", 4, 0, L"F5");
    e.key(&byName.event);
    EXPECT_EQ(extended ? Text(L"bar") : Text(L"%foo"), byName.Line());

    // The math hotkey.
    Keystroke math(L"echo 3*4 x", 8, F6);
    e.key(&math.event);
    EXPECT_EQ(Text(L"echo 12 x"), math.Line());
    EXPECT_EQ(7u, math.Caret());
    EXPECT_EQ(1, math.event.redraw);

    // Failures beep (the host's beep, mode 1) and leave the line; adversarial lines too.
    Text plain(L"echo nothing here");
    Keystroke failed(plain, plain.size(), F5);
    e.key(&failed.event);
    EXPECT_EQ(plain, failed.Line());
    EXPECT_EQ(0, failed.event.keyCode);
    Text opener;
    while (opener.size() < size_t(MAX_LINE_LENGTH)) opener += L"%(";
    opener.resize(MAX_LINE_LENGTH);
    Keystroke adversarial(opener, opener.size(), F5);
    e.key(&adversarial.event);
    EXPECT_TRUE(adversarial.Line() == opener);
    Text longWord(MAX_LINE_LENGTH, L'1');
    Keystroke longMath(longWord, 10, F6);
    e.key(&longMath.event);
    EXPECT_TRUE(longMath.Line() == longWord);
    EXPECT_EQ(3, TakeCmdHonkCount());

    // A key that is no hotkey passes untouched.
    Keystroke other(L"abc", 3, 0x1003B, L"F1");
    e.key(&other.event);
    EXPECT_EQ(0x1003B, other.event.keyCode);
    EXPECT_EQ(Text(L"F1"), Text(other.name));

    // The command changes, saves and restores.
    EXPECT_EQ(Text(L"0:"), Run(e, L"Ctrl-Alt-F5 /Q"));
    Keystroke chord(L"%foo", 4, extended ? 0 : CTRL_ALT_F5, extended ? L"Ctrl-Alt-F5" : L"");
    e.key(&chord.event);
    EXPECT_EQ(Text(L"bar"), chord.Line());
    EXPECT_EQ(Text(L"0:"), Run(e, L"/S /Q"));
    EXPECT_EQ(DWORD(CTRL_ALT_F5), ReadDword(HKEY_CURRENT_USER, L"Hotkey"));
    EXPECT_EQ(DWORD(F6), ReadDword(HKEY_CURRENT_USER, L"MathHotkey"));
    EXPECT_EQ(Text(L"0:"), Run(e, L"/D /Q"));
    Text restored = Run(e, L"/R");
    EXPECT_EQ(0u, restored.find(L"0:Settings restored from the registry  "
                                L"(HKCU\\Software\\REDeraded\\Tallix).\r\n"))
        << support::Utf8(restored);
    EXPECT_NE(Text::npos, restored.find(L"Expand expression at cursor . . . Ctrl-Alt-F5\r\n"));
    Text listing = Run(e, L"/L");
    size_t lines = 0;
    for (size_t at = 0; (at = listing.find(L"\r\n", at)) != Text::npos; at += 2) ++lines;
    EXPECT_EQ(extended ? 72u : 74u, lines);
    EXPECT_EQ(Text(L"1:"), Run(e, L"/X").substr(0, 2));

    // Help and usage.
    std::vector<WCHAR> usage(1024, L'#');
    EXPECT_EQ(0, e.Usage(const_cast<WCHAR*>(L"dir"), usage.data()));
    EXPECT_EQ(L'#', usage[0]);
    EXPECT_EQ(1, e.Usage(const_cast<WCHAR*>(L"Tallix"), usage.data()));
    EXPECT_NE(Text::npos, Text(usage.data()).find(L"Press Ctrl-Alt-F5 to expand"));
    EXPECT_EQ(0, e.Help(const_cast<WCHAR*>(L"dir")));
    EXPECT_EQ(0, e.key(nullptr));
    EXPECT_EQ(-1, e.tallix(nullptr));

    EXPECT_EQ(0, e.ShutdownPlugin());
    FreeLibrary(e.dll);
    CleanRegistry();
}

TEST(Acceptance, ClassicHostWholeRun) {
    EXPECT_TRUE(support::RunOnHostThread([] { WholeRun(23); }));
}

TEST(Acceptance, ExtendedHostWholeRun) {
    EXPECT_TRUE(support::RunOnHostThread([] { WholeRun(24); }));
}

} // namespace
