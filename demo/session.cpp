// A keystroke's way through the host: the stand-in keyboard takes the key's modifiers, the
// plugin's `key` sees it first (by code, or on newer hosts by name), and a key it does not
// consume is edited by the host.
#include "session.h"

#include <cstdint>

#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"
#include "display.h"
#include "terminal.h"

namespace demo {
namespace {

// Room for the key name a newer host passes with the event.
constexpr size_t KEY_NAME_UNITS = 64;

void SetKeyboard(int mods) {
    standin::SetKeyDown(VK_SHIFT, (mods & MOD_SHIFT) != 0);
    standin::SetKeyDown(VK_CONTROL, (mods & MOD_CTRL) != 0);
    standin::SetKeyDown(VK_MENU, (mods & MOD_ALT) != 0);
}

// A character typed without Ctrl or Alt: script mode traces a run of them as one.
bool IsTyping(const Key& key) {
    return key.id == KEY_CHAR && !(key.mods & (MOD_CTRL | MOD_ALT));
}

// The caret the plugin left, as an index; the old one when the pointer is outside the line.
size_t CaretIndex(const Session& session, const WCHAR* cursor) {
    uintptr_t start = reinterpret_cast<uintptr_t>(session.line.text);
    uintptr_t at = reinterpret_cast<uintptr_t>(cursor);
    if (at < start || at >= start + LINE_UNITS * sizeof(WCHAR)) return session.line.cursor;
    return (at - start) / sizeof(WCHAR);
}

// Hands the key to the plugin. Returns whether the plugin consumed it.
bool OfferToPlugin(Session& session, const Key& key) {
    int32_t code = HostKeyCode(key);
    std::string name;
    if (session.hostVersion >= NAMED_KEYS_VERSION && PassedByName(key)) {
        name = HostKeyName(key);
        code = 0;
    }
    WCHAR nameUnits[KEY_NAME_UNITS] = {0};
    std::u16string wide = standin::FromUtf8(name);
    wide.resize(std::min(wide.size(), KEY_NAME_UNITS - 1));
    std::copy(wide.begin(), wide.end(), nameUnits);

    KeyEvent event = {};
    event.keyCode = code;
    event.line = session.line.text;
    event.cursor = session.line.text + session.line.cursor;
    event.keyName = name.empty() ? nullptr : nameUnits;
    session.clearAnnounced = false;
    SetKeyboard(key.mods);
    if (session.plugin.key) session.plugin.key(&event);
    bool consumed =
        session.plugin.key && (code ? event.keyCode == 0 : name.size() && !nameUnits[0]);
    if (session.script && !IsTyping(key)) TraceKey(key, code, name, consumed);
    SetKeyboard(0);

    LineSync(session.line, CaretIndex(session, event.cursor));
    if (event.redraw) ShowLineFrom(session, session.clearAnnounced ? session.clearFrom : 0);
    return consumed;
}

void Submit(Session& session) {
    std::u16string text(session.line.text, session.line.text + session.line.length);
    LineClear(session.line);
    if (!session.script) {
        Say("\r\n");
        TerminalRawOff();
    }
    RunCommand(session, text);
    if (!session.script && !session.exitRequested) {
        TerminalRawOn();
        ShowLine(session);
    }
}

// The host's own editing keys; others do nothing.
void EditKey(Session& session, const Key& key) {
    EditLine& line = session.line;
    bool ctrl = key.mods & MOD_CTRL, alt = key.mods & MOD_ALT;
    if (key.id == KEY_CHAR && !ctrl && !alt) {
        if (!LineInsert(line, key.ch)) RingBell();
    } else if (key.id == KEY_CHAR && ctrl && !alt && (key.ch == 'c' || key.ch == 'C')) {
        if (!session.script) Say("^C\r\n");
        LineClear(line);
    } else if (key.id == KEY_CHAR && ctrl && !alt && (key.ch == 'd' || key.ch == 'D')) {
        if (line.length == 0) {
            session.exitRequested = true;
            return;
        }
        LineDelete(line);
    } else if (ctrl || alt) {
        return;
    } else if (key.id == KEY_ENTER) {
        return Submit(session);
    } else if (key.id == KEY_BACKSPACE) {
        LineBackspace(line);
    } else if (key.id == KEY_DEL) {
        LineDelete(line);
    } else if (key.id == KEY_LEFT) {
        LineMoveLeft(line);
    } else if (key.id == KEY_RIGHT) {
        LineMoveRight(line);
    } else if (key.id == KEY_HOME) {
        LineMoveHome(line);
    } else if (key.id == KEY_END) {
        LineMoveEnd(line);
    } else {
        return;
    }
    ShowLine(session);
}

} // namespace

Session& TheSession() {
    static Session session;
    return session;
}

void HandleKey(Session& session, const Key& key) {
    if (key.id == KEY_NONE) return;
    if (!IsTyping(key)) EndOfTyping(session);
    if (!OfferToPlugin(session, key)) EditKey(session, key);
    session.typed = IsTyping(key);
    if (session.script && !session.typed) TraceLine(session);
}

void EndOfTyping(Session& session) {
    if (session.script && session.typed) TraceLine(session);
    session.typed = false;
}

} // namespace demo
