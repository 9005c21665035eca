// Keystroke dispatch: every key typed on the host's command line arrives here. It is turned into
// one key code with the live modifier bits and compared with the two hotkeys; the matching action
// runs, and dispatch alone sounds the beep when it fails and consumes the key whatever it made of
// it. Any other key passes through untouched.
#include "dispatch.h"

#include "../actions/editline.h"
#include "../actions/expand.h"
#include "../actions/mathword.h"
#include "../keys/keycodec.h"
#include "beep.h"
#include "exports.h"
#include "settings.h"

namespace {

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

// The math action on the event: MathWord on the line and the caret's index; on success the caret
// moves to where MathWord left it and the line is redrawn. MathWord's result.
int MathWordAtCaret(KeyEvent* event) {
    int32_t caret = CaretIndex(event);
    int result = MathWord(event->line, &caret);
    if (result == 1) {
        event->cursor = event->line + caret;
        event->redraw = 1;
    }
    return result;
}

// Marks the key as handled: keyCode 0 and, on hosts with the extended key table, an empty key
// name, so that the host does nothing further with it.
void ConsumeKey(KeyEvent* event) {
    event->keyCode = 0;
    if (extendedKeyScheme && event->keyName) event->keyName[0] = 0;
}

} // namespace

// Shift, Ctrl or Alt alone adds nothing: the host already gives each of them a key code of its
// own (the tables' Shift-, Ctrl- and Alt- columns). Only the combinations, which the host does not
// tell apart from the key with one of their modifiers, carry the plugin's bits. Alt with Shift
// has no column in either table, and all three keys none in the classic one.
int32_t LiveModifierBits() {
    int held = 0;
    if (Held(VK_SHIFT)) held |= SHIFT_MODIFIER;
    if (Held(VK_CONTROL)) held |= CTRL_MODIFIER;
    if (Held(VK_MENU)) held |= ALT_MODIFIER;
    switch (held) {
    case SHIFT_MODIFIER | CTRL_MODIFIER:
        return CTRL_SHIFT_BITS;
    case CTRL_MODIFIER | ALT_MODIFIER:
        return CTRL_ALT_BITS;
    case SHIFT_MODIFIER | CTRL_MODIFIER | ALT_MODIFIER:
        return extendedKeyScheme ? CTRL_ALT_SHIFT_BITS : 0;
    default:
        return 0;
    }
}

int ExpandExpression(KeyEvent* event) {
    if (!event) return 0;
    if (ExpandAtCaret(event) != 1) SoundErrorBeep();
    ConsumeKey(event);
    return 0;
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
    if (code != PluginSettings.MathHotkey) return 0;
    if (MathWordAtCaret(event) != 1) SoundErrorBeep();
    ConsumeKey(event);
    return 0;
}
