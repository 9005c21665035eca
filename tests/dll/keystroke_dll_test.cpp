// The keystroke export of the real Tallix.dll, loaded beside the stand-in TakeCmd.dll and driven
// as a host drives it: KeyEvent records on a 65,536-unit line, on a thread with a 1 MiB stack.
// Each test starts the plugin afresh with no saved settings, so the hotkeys are the defaults,
// Alt-X and Alt-=; the headless keyboard reports no modifier held.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "src/host/host.h"
#include "tests/support/edit_line.h"
#include "tests/support/host_capture.h"
#include "tests/support/host_thread.h"
#include "tests/support/settings_registry.h"

using support::RunOnHostThread;
using support::Text;
using support::Utf8;

namespace {

constexpr int32_t ALT_X = 0x1002D;
constexpr int32_t ALT_EQUALS = 0x10083;

using KeyExport = int (*)(KeyEvent*);
using IntExport = int (*)();

HMODULE LoadPlugin() {
    static HMODULE module = [] {
        wchar_t path[MAX_PATH];
        DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring folder(path, length);
        folder.resize(folder.find_last_of(L"\\/") + 1);
        return LoadLibraryW((folder + L"Tallix.dll").c_str());
    }();
    return module;
}

// An export by its undecorated name (through void (*)(), the generic function pointer type).
template <typename F> F Export(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(LoadPlugin(), name)));
}

KeyExport KeyFunction() {
    return Export<KeyExport>("key");
}

// The host's 65,536-unit edit line; the key name an older host would leave alone is "X".
struct HostLine : support::EditLine {
    HostLine(const Text& text, size_t caret, int32_t code) : EditLine(text, caret, code, L"X") {}
    bool HostFieldsIntact() const {
        for (uint8_t byte : event.hostFields)
            if (byte != 0xA5) return false;
        return true;
    }
};

// Presses the key of `line` through the DLL's export on a host-sized thread.
void Press(HostLine& line) {
    KeyExport keyExport = KeyFunction();
    ASSERT_NE(nullptr, keyExport);
    int result = -1;
    ASSERT_TRUE(RunOnHostThread([&] { result = keyExport(&line.event); }));
    EXPECT_EQ(0, result);
    EXPECT_TRUE(line.HostFieldsIntact());
}

class KeystrokeDll : public ::testing::Test {
  protected:
    void SetUp() override { StartPlugin(L""); }
    // Starts the plugin for a host whose %_4ver is `version` ("" when unreadable).
    static void StartPlugin(const wchar_t* version) {
        ASSERT_NE(nullptr, LoadPlugin());
        support::DeleteSettingsKey(HKEY_CURRENT_USER);
        support::DeleteSettingsKey(HKEY_LOCAL_MACHINE);
        TakeCmdReset();
        TakeCmdSetVariable(L"_4ver", version);
        IntExport initialize = Export<IntExport>("InitializePlugin");
        ASSERT_NE(nullptr, initialize);
        ASSERT_TRUE(RunOnHostThread([&] { initialize(); }));
        TakeCmdReset();
        TakeCmdSetVariable(L"foo", L"value");
    }
};

TEST_F(KeystrokeDll, ExpandHotkeyReplacesTheReference) {
    HostLine line(L"echo %foo x", 9, ALT_X);
    Press(line);
    EXPECT_EQ("echo value x", Utf8(line.Line()));
    EXPECT_EQ(10, line.Caret());
    EXPECT_EQ(1, line.event.redraw);
    EXPECT_EQ(0, line.event.keyCode);
    EXPECT_EQ('X', line.name[0]); // an older host's key name is never touched
    auto calls = support::HostCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("%@option[EscapeChar]", Utf8(calls[0].input));
    EXPECT_FALSE(calls[0].stdoutRedirected);
    EXPECT_EQ("%foo", Utf8(calls[1].input));
    EXPECT_TRUE(calls[1].stdoutRedirected && calls[1].stderrRedirected);
}

TEST_F(KeystrokeDll, NewerHostsKeyNameIsEmptied) {
    StartPlugin(L"24");
    for (int32_t code : {ALT_X, ALT_EQUALS}) {
        HostLine line(code == ALT_X ? L"%foo" : L"1+2", code == ALT_X ? 4 : 3, code);
        Press(line);
        EXPECT_EQ(code == ALT_X ? "value" : "3", Utf8(line.Line()));
        EXPECT_EQ(0, line.event.keyCode);
        EXPECT_EQ(0, line.name[0]);
    }
}

TEST_F(KeystrokeDll, MathHotkeyReplacesTheWord) {
    HostLine line(L"echo 3*4 y", 8, ALT_EQUALS);
    Press(line);
    EXPECT_EQ("echo 12 y", Utf8(line.Line()));
    EXPECT_EQ(7, line.Caret());
    EXPECT_EQ(1, line.event.redraw);
    EXPECT_EQ(0, line.event.keyCode);
    auto evaluations = support::HostCalls();
    ASSERT_FALSE(evaluations.empty());
    EXPECT_EQ('V', evaluations[0].kind);
    EXPECT_TRUE(evaluations[0].stdoutRedirected && evaluations[0].stderrRedirected);
}

TEST_F(KeystrokeDll, FailuresLeaveTheLineAndConsumeTheKey) {
    struct Case {
        const wchar_t* text;
        size_t caret;
        int32_t code;
    };
    const Case cases[] = {{L"echo foo", 8, ALT_X}, {L"1/0", 3, ALT_EQUALS}, {L"", 0, ALT_EQUALS}};
    for (const Case& c : cases) {
        TakeCmdReset();
        HostLine line(c.text, c.caret, c.code);
        Press(line);
        EXPECT_EQ(Utf8(c.text), Utf8(line.Line()));
        EXPECT_EQ(long(c.caret), line.Caret());
        EXPECT_EQ(0, line.event.redraw);
        EXPECT_EQ(0, line.event.keyCode);
        EXPECT_EQ(0, TakeCmdClearCount());
    }
}

TEST_F(KeystrokeDll, OtherKeysAndNullEventPassThrough) {
    HostLine line(L"echo %foo", 9, 0x41);
    Press(line);
    EXPECT_EQ(0x41, line.event.keyCode);
    EXPECT_EQ("echo %foo", Utf8(line.Line()));
    EXPECT_EQ(0, TakeCmdCallCount());
    int result = -1;
    ASSERT_TRUE(RunOnHostThread([&] { result = KeyFunction()(nullptr); }));
    EXPECT_EQ(0, result);
}

TEST_F(KeystrokeDll, FullLengthLines) {
    // 65,535 units of unclosed "%(" openers: nothing to expand and a word too long to evaluate.
    Text adversarial;
    while (adversarial.size() + 2 <= EDIT_LINE_CAPACITY - 1) adversarial += L"%(";
    adversarial += L"%";
    ASSERT_EQ(EDIT_LINE_CAPACITY - 1, adversarial.size());
    for (size_t caret : {size_t(0), adversarial.size() / 2, adversarial.size()}) {
        for (int32_t code : {ALT_X, ALT_EQUALS}) {
            HostLine line(adversarial, caret, code);
            Press(line);
            EXPECT_TRUE(line.Line() == adversarial) << caret << " " << code;
            EXPECT_EQ(long(caret), line.Caret());
            EXPECT_EQ(0, line.event.keyCode);
        }
    }
    // A full line whose reference expands to something shorter, and one whose expansion would
    // overflow it.
    Text plain(EDIT_LINE_CAPACITY - 1 - 4, L'p');
    for (const wchar_t* value : {L"ab", L"abcd", L"abcde"}) {
        TakeCmdSetVariable(L"foo", value);
        HostLine line(plain + L"%foo", plain.size() + 4, ALT_X);
        Press(line);
        bool fits = std::wstring(value).size() <= 4;
        EXPECT_TRUE(line.Line() == (fits ? plain + value : plain + L"%foo")) << Utf8(value);
        EXPECT_EQ(0, line.buffer[EDIT_LINE_CAPACITY - 1]);
    }
}

// A host that writes every answer whole, however long: the expansion or the value is spliced
// when the line has room, refused with the beep when it has not, and nothing above the plugin's
// frames is written (a canary in the frame that calls the export).
TEST_F(KeystrokeDll, WholeAnswersOfAnyLength) {
    KeyExport keyExport = KeyFunction();
    ASSERT_NE(nullptr, keyExport);
    // The host's honk as the error beep, so that a beep can be counted.
    wchar_t beepOption[] = L"/Q /B:1";
    ASSERT_EQ(0, Export<int (*)(WCHAR*)>("tallix")(beepOption));
    for (size_t n : {8191, 8192, 10000, 40000, 65535}) {
        for (int32_t code : {ALT_X, ALT_EQUALS}) {
            TakeCmdReset();
            TakeCmdSetAnswerMode(TAKECMD_WHOLE, 0);
            const Text answer(n, L'7');
            TakeCmdSetExpansion(L"%v", answer.c_str());
            TakeCmdSetEvaluation(L"1+1", answer.c_str());
            const Text before = code == ALT_X ? L"x %v" : L"1+1";
            HostLine line(before, before.size(), code);
            bool canaryIntact = false;
            ASSERT_TRUE(RunOnHostThread([&] {
                volatile unsigned char canary[256 << 10];
                std::memset(const_cast<unsigned char*>(canary), 0xA5, sizeof canary);
                keyExport(&line.event);
                canaryIntact = true;
                for (unsigned char byte : canary) canaryIntact = canaryIntact && byte == 0xA5;
            }));
            TakeCmdSetAnswerMode(TAKECMD_POLITE, 0);
            EXPECT_TRUE(canaryIntact) << n << " " << code;
            const Text expected = code == ALT_X ? L"x " + answer : answer;
            bool fits = expected.size() <= EDIT_LINE_CAPACITY - 1;
            EXPECT_TRUE(line.Line() == (fits ? expected : before)) << n << " " << code;
            EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << n << " " << code;
        }
    }
}

} // namespace
