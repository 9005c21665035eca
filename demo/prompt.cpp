// The prompt on GNU readline (see prompt.h). readline owns the terminal, the display and the
// editing; this file binds the key sequences of keysequences.h to one handler that offers the
// key to the plugin, and keeps what each sequence meant before, for the keys the plugin leaves.
#include "prompt.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "../standin/wideformat.h"
#include "display.h"
#include "keydecoder.h"
#include "keysequences.h"
#include "script.h"

namespace demo {
namespace {

const char PROMPT[] = "host> ";
// Lines of history kept, in memory and in the file.
constexpr int HISTORY_LINES = 1000;

struct Editor {
    std::map<std::string, rl_command_func_t*> ordinary; // each bound sequence's meaning before
    // The meaning the last bound key ran, which readline would have seen as its last command:
    // a second Tab lists the matches only after a first, a yank-pop works only after a yank.
    rl_command_func_t* lastMeaning = nullptr;
    bool endOfInput = false; // Ctrl-D on an empty line, left by the plugin
    std::istream* scenario = nullptr;
    std::string pending; // the scenario line being typed, as bytes
    size_t next = 0;
    std::string tracedLine; // the line and caret of the last trace
    int tracedPoint = 0;
} editor;

volatile sig_atomic_t interrupted = 0, continued = 0;

std::string LineText() {
    return std::string(rl_line_buffer, size_t(rl_end));
}

void Trace() {
    editor.tracedLine = LineText();
    editor.tracedPoint = rl_point;
    TraceLine(editor.tracedLine, standin::FromUtf8(editor.tracedLine.substr(0, rl_point)).size());
}

void TraceIfChanged() {
    if (rl_point != editor.tracedPoint || LineText() != editor.tracedLine) Trace();
}

bool Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The plugin's line in place of the editor's, as one undo step: only the stretch between the
// common start and the common end is deleted and inserted.
void TakeLine(const KeyOutcome& outcome) {
    const std::string now = LineText();
    const std::string& next = outcome.line;
    if (now != next) {
        size_t limit = std::min(now.size(), next.size()), front = 0, back = 0;
        while (front < limit && now[front] == next[front]) ++front;
        while (front > 0 && front < next.size() && Continuation(next[front])) --front;
        while (back < limit - front && now[now.size() - 1 - back] == next[next.size() - 1 - back])
            ++back;
        while (back > 0 && Continuation(next[next.size() - back])) --back;
        rl_begin_undo_group();
        if (now.size() - back > front) rl_delete_text(int(front), int(now.size() - back));
        rl_point = int(front);
        std::string middle = next.substr(front, next.size() - back - front);
        if (!middle.empty()) rl_insert_text(middle.c_str());
        rl_end_undo_group();
    }
    rl_point = int(std::min(outcome.caret, size_t(rl_end)));
}

// The handler of every bound sequence: the plugin first, then the sequence's own meaning.
int OnKey(int count, int last) {
    Session& session = TheSession();
    std::string sequence(rl_executing_keyseq, size_t(rl_key_sequence_length));
    Key key;
    DecodeKey(reinterpret_cast<const unsigned char*>(sequence.data()), sequence.size(), true, &key);
    KeyOutcome outcome;
    if (key.id != KEY_NONE) {
        if (session.script) TraceIfChanged();
        outcome = OfferKey(session, key, LineText(), size_t(rl_point));
        if (outcome.changed) TakeLine(outcome);
    }
    // Ctrl-D that the plugin leaves ends the input on an empty line, as the terminal's end of file.
    if (sequence == "\x04" && !outcome.consumed && rl_end == 0) {
        editor.endOfInput = true;
        rl_done = 1;
        return 0;
    }
    int result = 0;
    auto found = editor.ordinary.find(sequence);
    rl_command_func_t* meaning = nullptr;
    if (!outcome.consumed && found != editor.ordinary.end()) meaning = found->second;
    if (meaning) {
        // (readline records this handler as the last command; the meaning sees its own.)
        if (rl_last_func == OnKey) rl_last_func = editor.lastMeaning;
        result = meaning(count, last);
        // (A meaning that reads keys itself, as the incremental search does, leaves them in the
        // executing sequence; the key that ends it is dispatched again, as a sequence of its own.)
        rl_key_sequence_length = 0;
    }
    editor.lastMeaning = meaning;
    if (session.script && key.id != KEY_NONE && !rl_done) Trace();
    return result;
}

// ---- The line's limit ----------------------------------------------------------------------

// The UTF-16 units of the editor's line, as the host's edit line counts them.
size_t LineUnits() {
    size_t units = 0;
    for (int i = 0; i < rl_end; ++i) {
        auto byte = static_cast<unsigned char>(rl_line_buffer[i]);
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

// Typing: a character that would make the line longer than the host's edit line beeps and is
// not inserted, as the host's own line editor refuses it. (The bytes after a refused lead byte
// go with it.)
int InsertWithinLimit(int count, int key) {
    static bool refusing = false;
    bool continuation = (key & 0xC0) == 0x80 && key < 0x100;
    if (!continuation)
        refusing = LineUnits() + (key >= 0xF0 && key < 0x100 ? 2 : 1) > MAX_LINE_LENGTH;
    if (refusing) return continuation ? 0 : (rl_ding(), 0);
    return rl_insert(count, key);
}

// Pasting: what would pass the limit is cut from the end of the paste, with a beep.
int PasteWithinLimit(int count, int key) {
    int result = rl_bracketed_paste_begin(count, key);
    size_t units = LineUnits();
    if (units <= MAX_LINE_LENGTH) return result;
    int cut = rl_point;
    for (size_t excess = units - MAX_LINE_LENGTH; excess > 0 && cut > 0;) {
        --cut;
        auto byte = static_cast<unsigned char>(rl_line_buffer[cut]);
        if ((byte & 0xC0) != 0x80) excess -= byte >= 0xF0 && excess >= 2 ? 2 : 1;
    }
    rl_delete_text(cut, rl_point);
    rl_point = cut;
    rl_ding();
    return result;
}

// Ctrl-C: the line stays on the screen with "^C" after it, and editing starts afresh below.
int CancelLine(int, int) {
    if (!TheSession().script) {
        rl_point = rl_end;
        rl_redisplay();
        std::fputs("^C\n", rl_outstream);
        rl_on_new_line();
    }
    rl_replace_line("", 1);
    using_history(); // the new line starts at the history's end, as after Enter
    return 0;
}

// Meanings of the cursor keys that every prompt has, for a terminal whose inputrc gives them none.
struct DefaultMeaning {
    const char* bytes;
    rl_command_func_t* function;
};
const DefaultMeaning DEFAULT_MEANINGS[] = {
    {"\x1b[1;5D", rl_backward_word}, {"\x1b[1;5C", rl_forward_word},
    {"\x1b[1;3D", rl_backward_word}, {"\x1b[1;3C", rl_forward_word},
    {"\x1b[H", rl_beg_of_line},      {"\x1b[F", rl_end_of_line},
    {"\x1bOH", rl_beg_of_line},      {"\x1bOF", rl_end_of_line},
    {"\x1b[1~", rl_beg_of_line},     {"\x1b[4~", rl_end_of_line},
    {"\x1b[3~", rl_delete},
};

void Bind(const std::string& bytes) {
    if (editor.ordinary.count(bytes)) return;
    int type = ISFUNC;
    rl_command_func_t* meaning =
        rl_function_of_keyseq_len(bytes.data(), bytes.size(), emacs_standard_keymap, &type);
    editor.ordinary[bytes] = type == ISFUNC ? meaning : nullptr;
    std::string escaped;
    for (char byte : bytes) escaped += byte == '\\' ? std::string("\\\\") : std::string(1, byte);
    rl_bind_keyseq_in_map(escaped.c_str(), OnKey, emacs_standard_keymap);
}

void BindKeys() {
    // readline's own meanings of Alt-Enter (ESC CR and ESC LF: the switch to vi mode), before the
    // user's inputrc can change them.
    int type = ISFUNC;
    rl_command_func_t* altEnter =
        rl_function_of_keyseq_len("\x1b\r", 2, emacs_standard_keymap, &type);
    rl_command_func_t* altLinefeed =
        rl_function_of_keyseq_len("\x1b\n", 2, emacs_standard_keymap, &type);
    rl_initialize(); // the user's inputrc first, so its meanings are the ordinary ones
    Bind("\x1b");
    for (const KeySequence& sequence : TerminalKeySequences()) Bind(sequence.bytes);
    // Meanings of the host's own where readline's would surprise: Ctrl-C (when it arrives as a
    // key) drops the line, Ins toggles overwriting (a system inputrc may make it quote the next
    // key), and Alt with a digit or "-" is a key of its own, not the start of a numeric argument.
    editor.ordinary["\x03"] = CancelLine;
    for (const DefaultMeaning& meaning : DEFAULT_MEANINGS)
        if (!editor.ordinary[meaning.bytes]) editor.ordinary[meaning.bytes] = meaning.function;
    editor.ordinary["\x1b[2~"] = rl_overwrite_mode;
    for (int byte = 0x20; byte < 0x100; ++byte)
        if (emacs_standard_keymap[byte].type == ISFUNC &&
            emacs_standard_keymap[byte].function == rl_insert)
            emacs_standard_keymap[byte].function = InsertWithinLimit;
    rl_bind_keyseq_in_map("\\e[200~", PasteWithinLimit, emacs_standard_keymap);
    // Alt-Enter changes no editing mode, as in the prompts people know, unless the inputrc gave it
    // a meaning of its own.
    if (editor.ordinary["\x1b\r"] == altEnter) editor.ordinary["\x1b\r"] = nullptr;
    if (editor.ordinary["\x1b\n"] == altLinefeed) editor.ordinary["\x1b\n"] = nullptr;
    for (const char* digit = "-0123456789"; *digit; ++digit)
        editor.ordinary[std::string("\x1b") + *digit] = nullptr;
}

// ---- The terminal ------------------------------------------------------------------------------

void OnInterrupt(int) {
    interrupted = 1;
}

void OnContinue(int) {
    continued = 1;
}

// After readline has dealt with a signal: an interrupt sent to the host does what Ctrl-C does,
// and a host continued after a stop draws its line again.
int OnSignalEvent() {
    if (interrupted) {
        interrupted = 0;
        CancelLine(1, 0);
        rl_redisplay();
    }
    if (continued) {
        continued = 0;
        rl_forced_update_display();
    }
    return 0;
}

// The end-of-file character readline is shown: a byte no terminal sends. readline would take the
// terminal's own (Ctrl-D) on an empty line for the end of input before any binding sees it; the
// host offers Ctrl-D to the plugin first, and ends the input itself (OnKey).
constexpr cc_t NO_EOF_CHARACTER = 0xFF;
cc_t terminalEof = 0;

// readline's terminal mode, with flow control and the interrupt and quit characters off so that
// Ctrl-Q, Ctrl-C and Ctrl-\ arrive as keys. readline puts back the modes it found, and
// RestoreTerminal the end-of-file character.
void PrepareTerminal(int meta) {
    termios modes{};
    if (tcgetattr(STDIN_FILENO, &modes) == 0) {
        terminalEof = modes.c_cc[VEOF];
        modes.c_cc[VEOF] = NO_EOF_CHARACTER;
        tcsetattr(STDIN_FILENO, TCSADRAIN, &modes);
    }
    rl_prep_terminal(meta);
    if (tcgetattr(STDIN_FILENO, &modes) != 0) return;
    modes.c_iflag &= ~tcflag_t(IXON);
    modes.c_cc[VINTR] = _POSIX_VDISABLE;
    modes.c_cc[VQUIT] = _POSIX_VDISABLE;
    tcsetattr(STDIN_FILENO, TCSADRAIN, &modes);
}

void RestoreTerminal() {
    rl_deprep_terminal();
    termios modes{};
    if (tcgetattr(STDIN_FILENO, &modes) != 0 || modes.c_cc[VEOF] != NO_EOF_CHARACTER) return;
    modes.c_cc[VEOF] = terminalEof;
    tcsetattr(STDIN_FILENO, TCSADRAIN, &modes);
}

void Catch(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: the read returns and the event hook runs
    sigaction(signal, &action, nullptr);
}

// Keeps one entered line in the history and its file; a file that cannot be written is told once.
void Remember(const char* text, const std::string& file) {
    static bool told = false;
    add_history(text);
    if (file.empty()) return;
    int error = append_history(1, file.c_str());
    if (error == ENOENT) error = write_history(file.c_str());
    if (error == 0 || told) return;
    told = true;
    Say("tallix-host: cannot keep the history in " + file + ": " + std::strerror(error) + "\n");
}

// ---- Scenarios ---------------------------------------------------------------------------------

// The scenario's next byte; at the end of a line the line is traced, and at the end of the
// scenario a half-typed line is dropped, not run.
int ScenarioGetc(FILE*) {
    while (editor.next >= editor.pending.size()) {
        TraceIfChanged();
        std::string text;
        if (!std::getline(*editor.scenario, text)) {
            if (rl_end) rl_replace_line("", 1);
            return EOF;
        }
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        editor.pending.clear();
        editor.next = 0;
        for (const ScriptItem& item : ParseScriptLine(text))
            editor.pending += item.named ? EncodeKey(item.key) : item.bytes;
    }
    return static_cast<unsigned char>(editor.pending[editor.next++]);
}

// A key sequence cut at the end of a scenario line ends there (a lone ESC is the Esc key).
int ScenarioInputAvailable() {
    return editor.next < editor.pending.size();
}

void NoTerminal(int) {}
void NoTerminalBack() {}

} // namespace

void RunPrompt(Session& session, const std::string& historyFile) {
    rl_readline_name = "tallix-host";
    rl_variable_bind("echo-control-characters", "off");
    rl_prep_term_function = PrepareTerminal;
    rl_deprep_term_function = RestoreTerminal;
    rl_signal_event_hook = OnSignalEvent;
    Catch(SIGINT, OnInterrupt);
    Catch(SIGCONT, OnContinue);
    BindKeys();
    stifle_history(HISTORY_LINES);
    if (!historyFile.empty()) {
        read_history(historyFile.c_str());
        history_truncate_file(historyFile.c_str(), HISTORY_LINES);
    }
    while (!session.exitRequested) {
        interrupted = 0;
        char* text = readline(PROMPT);
        if (!text || editor.endOfInput) {
            std::free(text);
            Say("\n");
            break;
        }
        // A paste of several lines runs them one after another, each kept in the history.
        std::istringstream pasted(text);
        std::free(text);
        std::vector<std::string> lines;
        for (std::string line; std::getline(pasted, line);) lines.push_back(line);
        if (lines.empty()) lines.emplace_back();
        for (std::string& line : lines) {
            if (session.exitRequested) break;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) Remember(line.c_str(), historyFile);
            RunCommand(session, standin::FromUtf8(line));
        }
    }
}

void RunScenario(Session& session, std::istream& scenario) {
    editor.scenario = &scenario;
    rl_getc_function = ScenarioGetc;
    rl_input_available_hook = ScenarioInputAvailable;
    rl_prep_term_function = NoTerminal;
    rl_deprep_term_function = NoTerminalBack;
    rl_outstream = std::fopen("/dev/null", "w");
    BindKeys();
    while (!session.exitRequested) {
        char* text = readline(PROMPT);
        if (!text) break;
        RunCommand(session, standin::FromUtf8(text));
        std::free(text);
        if (session.exitRequested) break;
        editor.tracedLine.clear();
        editor.tracedPoint = 0;
        TraceLine("", 0);
    }
}

} // namespace demo
