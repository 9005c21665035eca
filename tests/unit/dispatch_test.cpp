// Keystroke dispatch: the key code with the live modifier bits, key names on newer hosts, the
// two hotkeys (the expand one first), consumption of every hotkey, and untouched other keys.
#include <algorithm>

#include "src/keys/keycodec.h"
#include "src/plugin/dispatch.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

using support::EditLine;
using support::Text;
using support::Utf8;

namespace {

class Dispatch : public support::PluginTest {
  protected:
    void SetUp() override {
        support::PluginTest::SetUp();
        Reset(0);
    }
    // Everything back to its start for a host of `version`, with the countable beep.
    static void Reset(int version) {
        support::ResetPluginState();
        support::UseHostVersion(version);
        PluginSettings.ErrorBeep = 1;
        TakeCmdSetVariable(WIDE("foo"), WIDE("value"));
    }
};

const int kVersions[] = {23, 24};

TEST_F(Dispatch, NullEvent) {
    EXPECT_EQ(0, key(nullptr));
}

#if !defined(_WIN32)
TEST_F(Dispatch, ModifierBitsByStateAndHost) {
    REQUIRE_WIN32_STANDIN();
    // State: 1 Shift, 2 Ctrl, 4 Alt.
    const int32_t classic[8] = {0, 0, 0, 0x20000, 0, 0, 0x40000, 0};
    const int32_t extended[8] = {0, 0, 0, 0x20000, 0, 0, 0x40000, 0x60000};
    for (int version : kVersions) {
        for (int state = 0; state < 8; ++state) {
            Reset(version);
            standin::SetKeyDown(VK_SHIFT, state & 1);
            standin::SetKeyDown(VK_CONTROL, state & 2);
            standin::SetKeyDown(VK_MENU, state & 4);
            EXPECT_EQ(version >= 24 ? extended[state] : classic[state], LiveModifierBits())
                << version << " state " << state;
            // Each modifier is read once, live; the order of the reads is nobody's concern.
            std::vector<int> queries = standin::KeyQueries();
            std::sort(queries.begin(), queries.end());
            std::vector<int> modifiers = {VK_SHIFT, VK_CONTROL, VK_MENU};
            std::sort(modifiers.begin(), modifiers.end());
            EXPECT_EQ(modifiers, queries);
        }
    }
}

TEST_F(Dispatch, LiveModifiersMeetTheStoredHotkey) {
    REQUIRE_WIN32_STANDIN();
    struct Case {
        std::vector<int> held;
        int32_t hotkey; // matched by the key code 0x10054 with these modifiers held
    };
    const Case cases[] = {
        {{VK_CONTROL, VK_SHIFT}, 0x30054},
        {{VK_CONTROL, VK_MENU}, 0x50054},
        {{VK_SHIFT, VK_MENU}, 0x10054},             // state 5 adds nothing
        {{VK_CONTROL, VK_SHIFT, VK_MENU}, 0x10054}, // nor state 7 on an older host
    };
    for (const Case& c : cases) {
        Reset(0);
        for (int vk : c.held) standin::SetKeyDown(vk, true);
        PluginSettings.Hotkey = c.hotkey;
        EditLine edit(WIDE("%foo"), 4, 0x10054);
        EXPECT_EQ(0, key(&edit.event));
        EXPECT_EQ("value", edit.Utf8Line()) << std::hex << c.hotkey;
        EXPECT_EQ(0, edit.event.keyCode);
    }
    // A code that already carries the bits stays the same.
    Reset(24);
    for (int vk : {VK_CONTROL, VK_SHIFT, VK_MENU}) standin::SetKeyDown(vk, true);
    PluginSettings.Hotkey = 0x70054;
    EditLine edit(WIDE("%foo"), 4, 0x70054);
    key(&edit.event);
    EXPECT_EQ("value", edit.Utf8Line());
}
#endif

TEST_F(Dispatch, OtherKeysPassThroughUntouched) {
    for (int version : kVersions) {
        Reset(version);
        EditLine edit(WIDE("echo %foo 1+2"), 9, 0x41, WIDE("Alt-X"));
        KeyEvent before = edit.event;
        EXPECT_EQ(0, key(&edit.event));
        EXPECT_EQ(0, std::memcmp(&before, &edit.event, sizeof before)) << version;
        EXPECT_EQ("echo %foo 1+2", edit.Utf8Line());
        EXPECT_EQ("Alt-X", Utf8(edit.name));
        EXPECT_EQ(0, TakeCmdCallCount()) << version;
    }
}

TEST_F(Dispatch, KeyNamesOnlyOnNewerHostsAndOnlyWithoutACode) {
    struct Case {
        const char* label;
        int version;
        int32_t keyCode; // -1: the code of the expand hotkey
        const WCHAR* name;
        bool expands;
    };
    const Case cases[] = {
        {"older host, code 0, hotkey's name", 23, 0, WIDE("Ctrl-F5"), false},
        {"newer host, code 0, hotkey's name", 24, 0, WIDE("Ctrl-F5"), true},
        {"newer host, code 0, refused name", 24, 0, WIDE("Bogus-Key"), false},
        {"newer host, code 0, empty name", 24, 0, WIDE(""), false},
        {"newer host, code 0, no name", 24, 0, nullptr, false},
        {"newer host, another code, hotkey's name", 24, 0x41, WIDE("Ctrl-F5"), false},
    };
    for (const Case& c : cases) {
        Reset(c.version);
        support::UseHostVersion(24);
        PluginSettings.Hotkey = ParseKeyName(WIDE("Ctrl-F5"));
        ASSERT_GT(PluginSettings.Hotkey, 0);
        support::UseHostVersion(c.version);
        EditLine edit(WIDE("%foo"), 4, c.keyCode, c.name);
        EXPECT_EQ(0, key(&edit.event)) << c.label;
        EXPECT_EQ(c.expands ? "value" : "%foo", edit.Utf8Line()) << c.label;
        EXPECT_EQ(c.expands ? 0 : c.keyCode, edit.event.keyCode) << c.label;
        if (c.name) {
            EXPECT_EQ(c.expands ? "" : Utf8(c.name), Utf8(edit.name)) << c.label;
        }
        EXPECT_EQ(0, TakeCmdHonkCount()) << c.label;
    }
}

TEST_F(Dispatch, ExpandWinsWhenBothHotkeysAreEqual) {
    PluginSettings.MathHotkey = PluginSettings.Hotkey;
    EditLine edit(WIDE("%foo"), 4, PluginSettings.Hotkey);
    key(&edit.event);
    EXPECT_EQ("value", edit.Utf8Line());
    EXPECT_TRUE(support::HostInputs('V').empty());
}

TEST_F(Dispatch, MathHotkeyMovesTheCaretAndRedraws) {
    for (int version : kVersions) {
        Reset(version);
        EditLine edit(WIDE("echo 1+2 x"), 8, DEFAULT_MATH_HOTKEY, WIDE("Alt-="));
        EXPECT_EQ(0, key(&edit.event));
        EXPECT_EQ("echo 3 x", edit.Utf8Line()) << version;
        EXPECT_EQ(6, edit.Caret()) << version;
        EXPECT_EQ(1, edit.event.redraw);
        EXPECT_EQ(0, edit.event.keyCode);
        EXPECT_EQ(version >= 24 ? "" : "Alt-=", Utf8(edit.name)) << version;
        EXPECT_EQ(0, TakeCmdHonkCount());
    }
}

TEST_F(Dispatch, FailedHotkeysBeepAndAreConsumed) {
    struct Case {
        const char* label;
        int32_t keyCode;
        const WCHAR* line;
        int64_t caret; // may stand outside the line
        bool nullLine;
    };
    const Case cases[] = {
        {"math on an empty line", DEFAULT_MATH_HOTKEY, WIDE(""), 0, false},
        {"math on white space after the word", DEFAULT_MATH_HOTKEY, WIDE("1+2  "), 5, false},
        {"math that fails", DEFAULT_MATH_HOTKEY, WIDE("1/0"), 3, false},
        {"math with the caret past the line", DEFAULT_MATH_HOTKEY, WIDE("1+2"), 4, false},
        {"math with the caret before the line", DEFAULT_MATH_HOTKEY, WIDE("1+2"), -2, false},
        {"math with the caret far away", DEFAULT_MATH_HOTKEY, WIDE("1+2"), int64_t(1) << 40, false},
        {"math without a line", DEFAULT_MATH_HOTKEY, WIDE(""), 0, true},
        {"expand with no reference", DEFAULT_HOTKEY, WIDE("foo"), 3, false},
        {"expand without a line", DEFAULT_HOTKEY, WIDE(""), 0, true},
    };
    for (int version : kVersions) {
        for (const Case& c : cases) {
            Reset(version);
            EditLine edit(c.line, 0, c.keyCode, WIDE("Alt-X"));
            edit.event.cursor = reinterpret_cast<WCHAR*>(
                reinterpret_cast<uintptr_t>(edit.event.line) + uintptr_t(c.caret * 2));
            if (c.nullLine) edit.event.line = nullptr;
            WCHAR* cursor = edit.event.cursor;
            EXPECT_EQ(0, key(&edit.event)) << c.label;
            EXPECT_EQ(Utf8(c.line), edit.Utf8Line()) << c.label;
            EXPECT_EQ(cursor, edit.event.cursor) << c.label;
            EXPECT_EQ(0, edit.event.redraw) << c.label;
            EXPECT_EQ(0, edit.event.keyCode) << c.label;
            EXPECT_EQ(version >= 24 ? "" : "Alt-X", Utf8(edit.name)) << c.label;
            EXPECT_EQ(1, TakeCmdHonkCount()) << c.label;
            EXPECT_EQ(0, TakeCmdClearCount()) << c.label;
        }
    }
}

} // namespace
