// Keystroke dispatch: every key typed on the host's command line arrives here. It is turned into
// one key code with the live modifier bits, compared with the two hotkeys, and the matching
// action runs; a hotkey is consumed whatever its action made of it, any other key passes through.
#include "dispatch.h"

#include "../actions/expand.h"
#include "../actions/mathword.h"
#include "../keys/keycodec.h"
#include "beep.h"
#include "exports.h"
#include "settings.h"

namespace {

// The modifier state: one bit per key, as the key tables' columns are built from them.
constexpr int SHIFT_HELD = 1;
constexpr int CTRL_HELD = 2;
constexpr int ALT_HELD = 4;
// GetAsyncKeyState sets this bit while the key is down.
constexpr SHORT KEY_DOWN = SHORT(0x8000);

bool Held(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & KEY_DOWN) != 0;
}

// The event's key code: its own, or on hosts with the extended key table the code of its key
// name when it came without one. 0 when there is nothing to match.
int32_t EventKeyCode(const KeyEvent* event) {
    if (event->keyCode != 0) return event->keyCode;
    if (!extendedKeyScheme || !event->keyName) return 0;
    return ParseKeyName(event->keyName);
}

// The math hotkey: the word at the caret becomes its value, or the beep sounds.
void RunMathWord(KeyEvent* event) {
    int32_t caret = CursorIndex(event);
    if (MathWord(event->line, &caret) == 1) {
        event->cursor = event->line + caret;
        event->redraw = 1;
    } else {
        SoundErrorBeep();
    }
    ConsumeKey(event);
}

} // namespace

int32_t LiveModifierBits() {
    int state = 0;
    if (Held(VK_SHIFT)) state |= SHIFT_HELD;
    if (Held(VK_CONTROL)) state |= CTRL_HELD;
    if (Held(VK_MENU)) state |= ALT_HELD;
    switch (state) {
    case SHIFT_HELD | CTRL_HELD:
        return CTRL_SHIFT_BITS;
    case CTRL_HELD | ALT_HELD:
        return CTRL_ALT_BITS;
    case SHIFT_HELD | CTRL_HELD | ALT_HELD:
        return extendedKeyScheme ? CTRL_ALT_SHIFT_BITS : 0;
    default:
        return 0;
    }
}

void ConsumeKey(KeyEvent* event) {
    event->keyCode = 0;
    if (extendedKeyScheme && event->keyName) event->keyName[0] = 0;
}

// Always 0. A marker code from the key-name parser (-1, -2) keeps its value under the modifier
// bits and never equals a hotkey, which only ever holds positive codes.
PLUGIN_EXPORT int key(KeyEvent* event) {
    if (!event) return 0;
    int32_t code = EventKeyCode(event);
    if (code == 0) return 0;
    code |= LiveModifierBits();
    // The expand hotkey is compared first, so it wins when both hotkeys are the same key.
    if (code == PluginSettings.Hotkey) return ExpandExpression(event);
    if (code == PluginSettings.MathHotkey) RunMathWord(event);
    return 0;
}
