// Host output, the scenario traces, the bell and the message box.
#include "display.h"

#include <readline/readline.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"

namespace demo {
namespace {

// Columns when the terminal does not say.
constexpr int DEFAULT_COLUMNS = 80;

bool scripted = false;

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return DEFAULT_COLUMNS;
}

char32_t CodePoint(const std::u16string& text, size_t& i) {
    char32_t ch = text[i];
    if (ch >= 0xD800 && ch < 0xDC00 && i + 1 < text.size())
        ch = 0x10000 + ((ch - 0xD800) << 10) + (text[++i] - 0xDC00);
    return ch;
}

size_t Columns(char32_t ch) {
    int width = wcwidth(wchar_t(ch));
    return width < 0 ? 1 : size_t(width);
}

size_t Width(const std::u16string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) n += Columns(CodePoint(text, i));
    return n;
}

// The text in rows of at most `width` columns; tabs to the next multiple of eight.
std::vector<std::u16string> BoxLines(const std::u16string& text, size_t width) {
    std::vector<std::u16string> lines(1);
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t start = i;
        char32_t ch = CodePoint(text, i);
        if (ch == u'\r') continue;
        if (ch == u'\n' || column + Columns(ch) > width) {
            lines.emplace_back();
            column = 0;
            if (ch == u'\n') continue;
        }
        if (ch == u'\t') {
            do lines.back() += u' ';
            while (++column % 8 && column < width);
            continue;
        }
        lines.back() += text.substr(start, i - start + 1);
        column += Columns(ch);
    }
    while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return lines;
}

std::string Repeat(const char* piece, size_t count) {
    std::string out;
    while (count--) out += piece;
    return out;
}

std::string Box(const std::u16string& text, const std::u16string& caption) {
    int columns = TerminalColumns();
    size_t limit = columns > 24 ? size_t(columns) - 4 : 20;
    std::vector<std::u16string> lines = BoxLines(text, limit);
    size_t width = Width(caption) + 4;
    for (const auto& line : lines) width = std::max(width, Width(line));
    width = std::min(width, limit);
    std::string box = "\n┌─ " + standin::ToUtf8(caption) + " " +
                      Repeat("─", width + 2 - std::min(width + 2, Width(caption) + 3)) + "┐\n";
    for (const auto& line : lines)
        box += "│ " + standin::ToUtf8(line) + std::string(width - Width(line), ' ') + " │\n";
    const char ok[] = "[ OK ]";
    size_t left = (width + 2 - 6) / 2;
    box += "│" + std::string(left, ' ') + ok + std::string(width + 2 - 6 - left, ' ') + "│\n";
    return box + "└" + Repeat("─", width + 2) + "┘\n";
}

// Waits for one key in the editor's terminal mode, and drops the rest of its sequence.
void WaitForKey() {
    rl_prep_terminal(0);
    unsigned char bytes[64];
    while (read(STDIN_FILENO, bytes, sizeof bytes) < 0 && errno == EINTR) {
    }
    rl_deprep_terminal();
}

} // namespace

void SetScripted(bool on) {
    scripted = on;
}

void Say(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void TraceKey(const Key& key, int32_t code, const std::string& name, bool consumed) {
    char text[160];
    std::snprintf(text, sizeof text, "key %s code 0x%x name \"%s\" shift %d ctrl %d alt %d -> %s\n",
                  HostKeyName(key).c_str(), unsigned(code), name.c_str(),
                  (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0,
                  (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0,
                  (GetAsyncKeyState(VK_MENU) & 0x8000) != 0, consumed ? "plugin" : "host");
    Say(text);
}

void TraceLine(const std::string& line, size_t caret) {
    Say("line \"" + line + "\" cursor " + std::to_string(caret) + "\n");
}

void RingBell() {
    if (scripted)
        Say("bell\n");
    else
        rl_ding();
}

int ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
    bool editing = RL_ISSTATE(RL_STATE_READCMD) != 0;
    if (editing) {
        rl_clear_visible_line();
        rl_deprep_terminal();
    }
    Say(Box(text, caption));
    if (!scripted && isatty(STDIN_FILENO)) WaitForKey();
    if (editing) {
        rl_prep_terminal(0);
        rl_on_new_line();
        rl_forced_update_display();
    }
    return 1;
}

} // namespace demo
