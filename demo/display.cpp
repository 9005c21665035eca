// The prompt line (single row, scrolled sideways when the line is wider than the terminal, as
// linenoise does), the script-mode traces, the bell and the message box.
#include "display.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"
#include "terminal.h"

namespace demo {
namespace {

const char PROMPT[] = "host> ";
constexpr size_t PROMPT_COLUMNS = sizeof PROMPT - 1;

std::string ColumnRight(size_t columns) {
    return columns ? "\x1b[" + std::to_string(columns) + "C" : "";
}

size_t ColumnsBetween(const EditLine& line, size_t from, size_t to) {
    return LineColumns(line, to) - LineColumns(line, from);
}

// The index of the character after the one at `at` (a surrogate pair is one character).
size_t Next(const EditLine& line, size_t at) {
    bool pair = at + 1 < line.length && line.text[at + 1] >= 0xDC00 && line.text[at + 1] < 0xE000;
    return at + (pair ? 2 : 1);
}

// Columns the line may use: the row less the prompt and one column for the caret at the end.
size_t Room() {
    int columns = TerminalColumns();
    return columns > int(PROMPT_COLUMNS) + 2 ? size_t(columns) - PROMPT_COLUMNS - 1 : 1;
}

// Code points of a text, tabs to the next multiple of eight.
std::vector<std::u16string> BoxLines(const std::u16string& text, size_t width) {
    std::vector<std::u16string> lines(1);
    size_t column = 0;
    for (char16_t ch : text) {
        if (ch == u'\r') continue;
        if (ch == u'\n' || column >= width) {
            lines.emplace_back();
            column = 0;
            if (ch == u'\n') continue;
        }
        if (ch == u'\t') {
            do lines.back() += u' ';
            while (++column % 8 && column < width);
            continue;
        }
        lines.back() += ch;
        column += !(ch >= 0xDC00 && ch < 0xE000);
    }
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return lines;
}

size_t Width(const std::u16string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t ch = text[i];
        if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size())
            ch = 0x10000 + ((ch - 0xD800) << 10) + (text[++i] - 0xDC00);
        n += CharacterColumns(ch);
    }
    return n;
}

std::string Repeat(const char* piece, size_t count) {
    std::string out;
    while (count--) out += piece;
    return out;
}

} // namespace

void Say(const std::string& text) {
    TerminalWrite(text);
}

void ShowLine(const Session& session) {
    if (session.script) return;
    const EditLine& line = session.line;
    size_t room = Room();
    size_t start = 0, end;
    while (start < line.cursor && ColumnsBetween(line, start, line.cursor) > room)
        start = Next(line, start);
    for (end = start; end < line.length && ColumnsBetween(line, start, Next(line, end)) <= room;)
        end = Next(line, end);
    TerminalWrite("\r" + std::string(PROMPT) + LineUtf8(line, start, end) + "\x1b[0K\r" +
                  ColumnRight(PROMPT_COLUMNS + ColumnsBetween(line, start, line.cursor)));
}

void ShowLineFrom(const Session& session, size_t from) {
    if (session.script) return;
    const EditLine& line = session.line;
    if (from > line.length || LineColumns(line, line.length) > Room()) return ShowLine(session);
    TerminalWrite("\r" + ColumnRight(PROMPT_COLUMNS + LineColumns(line, from)) +
                  LineUtf8(line, from, line.length) + "\x1b[0K\r" +
                  ColumnRight(PROMPT_COLUMNS + LineColumns(line, line.cursor)));
}

void TraceKey(const Key& key, int32_t code, const std::string& name, bool consumed) {
    char text[160];
    std::snprintf(text, sizeof text, "key %s code 0x%x name \"%s\" shift %d ctrl %d alt %d -> %s\n",
                  HostKeyName(key).c_str(), unsigned(code), name.c_str(),
                  (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0,
                  (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0,
                  (GetAsyncKeyState(VK_MENU) & 0x8000) != 0, consumed ? "plugin" : "host");
    TerminalWrite(text);
}

void TraceLine(const Session& session) {
    TerminalWrite("line \"" + LineUtf8(session.line, 0, session.line.length) + "\" cursor " +
                  std::to_string(session.line.cursor) + "\n");
}

void RingBell() {
    TerminalWrite(TheSession().script ? "bell\n" : "\a");
}

int ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
    int columns = TerminalColumns();
    size_t limit = columns > 24 ? size_t(columns) - 4 : 20;
    std::vector<std::u16string> lines = BoxLines(text, limit);
    size_t width = Width(caption) + 4;
    for (const auto& line : lines) width = std::max(width, Width(line));
    if (width > limit) width = limit;
    std::string box = "\r\n┌─ " + standin::ToUtf8(caption) + " " +
                      Repeat("─", width + 2 - std::min(width + 2, Width(caption) + 3)) + "┐\r\n";
    for (const auto& line : lines)
        box += "│ " + standin::ToUtf8(line) + std::string(width - Width(line), ' ') + " │\r\n";
    const char ok[] = "[ OK ]";
    size_t left = (width + 2 - 6) / 2;
    box += "│" + std::string(left, ' ') + ok + std::string(width + 2 - 6 - left, ' ') + "│\r\n";
    box += "└" + Repeat("─", width + 2) + "┘\r\n";
    TerminalWrite(box);
    if (!TheSession().script && TerminalRawOn()) {
        unsigned char bytes[64];
        TerminalRead(bytes, sizeof bytes, -1);
        while (TerminalRead(bytes, sizeof bytes, 30) > 0) {
        }
        TerminalRawOff();
    }
    return 1;
}

} // namespace demo
