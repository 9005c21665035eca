// A keystroke's way to the plugin: the line goes into the host's edit-line buffer as UTF-16, the
// stand-in keyboard takes the key's modifiers, and the plugin's `key` sees the key by code or, on
// newer hosts, by name. What it did to the line comes back as the editor's UTF-8.
#include "session.h"

#include <algorithm>
#include <cstdint>

#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"
#include "display.h"

namespace demo {
namespace {

// Room for the key name a newer host passes with the event.
constexpr size_t KEY_NAME_UNITS = 64;

void SetKeyboard(int mods) {
    standin::SetKeyDown(VK_SHIFT, (mods & MOD_SHIFT) != 0);
    standin::SetKeyDown(VK_CONTROL, (mods & MOD_CTRL) != 0);
    standin::SetKeyDown(VK_MENU, (mods & MOD_ALT) != 0);
}

bool LowSurrogate(WCHAR unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}

// The caret the plugin left, as an index into the line of `length` units; the old one when the
// pointer is outside the line, and never between the two halves of a surrogate pair.
size_t CaretIndex(const Session& session, const WCHAR* cursor, size_t length, size_t old) {
    uintptr_t start = reinterpret_cast<uintptr_t>(session.line);
    uintptr_t at = reinterpret_cast<uintptr_t>(cursor);
    size_t index = at < start || at > start + length * sizeof(WCHAR) ? std::min(old, length)
                                                                     : (at - start) / sizeof(WCHAR);
    if (index > 0 && index < length && LowSurrogate(session.line[index])) --index;
    return index;
}

} // namespace

Session& TheSession() {
    static Session session;
    return session;
}

KeyOutcome OfferKey(Session& session, const Key& key, const std::string& line, size_t caret) {
    KeyOutcome outcome;
    std::u16string wide = standin::FromUtf8(line);
    if (wide.size() > MAX_LINE_LENGTH) return outcome;
    size_t caretUnits = standin::FromUtf8(line.substr(0, std::min(caret, line.size()))).size();
    std::copy(wide.begin(), wide.end(), session.line);
    session.line[wide.size()] = 0;

    int32_t code = HostKeyCode(key);
    std::string name;
    if (session.hostVersion >= NAMED_KEYS_VERSION && PassedByName(key)) {
        name = HostKeyName(key);
        code = 0;
    }
    WCHAR nameUnits[KEY_NAME_UNITS] = {0};
    std::u16string wideName = standin::FromUtf8(name);
    wideName.resize(std::min(wideName.size(), KEY_NAME_UNITS - 1));
    std::copy(wideName.begin(), wideName.end(), nameUnits);

    KeyEvent event = {};
    event.keyCode = code;
    event.line = session.line;
    event.cursor = session.line + caretUnits;
    event.keyName = name.empty() ? nullptr : nameUnits;
    SetKeyboard(key.mods);
    if (session.plugin.key) session.plugin.key(&event);
    outcome.consumed =
        session.plugin.key && (code ? event.keyCode == 0 : name.size() && !nameUnits[0]);
    if (session.script) TraceKey(key, code, name, outcome.consumed);
    SetKeyboard(0);
    if (!event.redraw) return outcome;

    session.line[EDIT_LINE_CAPACITY - 1] = 0;
    size_t length = std::char_traits<char16_t>::length(session.line);
    size_t index = CaretIndex(session, event.cursor, length, caretUnits);
    std::u16string after(session.line, session.line + length);
    outcome.changed = true;
    outcome.line = standin::ToUtf8(after);
    outcome.caret = standin::ToUtf8(after.substr(0, index)).size();
    return outcome;
}

} // namespace demo
