// The stand-in host library: the functions the host offers the plugin, with scripted expansion
// and evaluation, output captured per stream, and a log of every call.
#include <algorithm>
#include <cstdarg>
#include <iterator>

#include "../../src/host/host.h"
#include "../scope.h"
#include "../wideformat.h"
#include "takecmd_control.h"
#include "takecmd_state.h"

#if !defined(_WIN32)
#include <unistd.h>

#include "../win32/win32_control.h"
#endif

namespace takecmd {

HostState& State() {
    static HostState state;
    return state;
}

namespace {

const char16_t* U(const WCHAR* text) {
    return reinterpret_cast<const char16_t*>(text);
}
std::u16string Text(const WCHAR* text) {
    return text ? std::u16string(U(text)) : u"";
}

void Echo(HANDLE handle, const std::u16string& text) {
    std::string bytes = standin::ToUtf8(text);
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
#else
    int fd = standin::HandleFd(handle);
    if (fd >= 0 && write(fd, bytes.data(), bytes.size()) < 0) return;
#endif
}

// Text written to `handle` lands in the capture of the stream it is, and nowhere when it is
// anything else ("nul" above all).
void Write(HANDLE handle, const std::u16string& text) {
    HostState& s = State();
    if (handle == s.originalOut)
        s.out += text;
    else if (handle == s.originalErr)
        s.err += text;
    else
        return;
    if (s.echo) Echo(handle, text);
}

void Log(int kind, const std::u16string& input) {
    HostState& s = State();
    s.calls.push_back({kind, input, GetStdHandle(STD_OUTPUT_HANDLE) != s.originalOut,
                       GetStdHandle(STD_ERROR_HANDLE) != s.originalErr});
}

// Writes `text` into the caller's buffer in place of what it held. The caller never says how
// large its buffer is: the polite host takes it to hold a whole edit line (EDIT_LINE_CAPACITY
// units) and fails with 4, the buffer untouched, when the text and its terminator do not fit;
// the whole-answer host writes it all whatever its length. Returns 0 or 4.
int Store(WCHAR* buffer, const std::u16string& text) {
    if (State().answerMode == TAKECMD_POLITE && text.size() >= EDIT_LINE_CAPACITY) return 4;
    std::copy(text.begin(), text.end(), reinterpret_cast<char16_t*>(buffer));
    buffer[text.size()] = 0;
    return 0;
}

// The fill host's answer: exactly fillUnits units and no terminator.
int Fill(WCHAR* buffer) {
    std::fill_n(reinterpret_cast<char16_t*>(buffer), State().fillUnits, u'f');
    return 0;
}

} // namespace
} // namespace takecmd

using namespace takecmd;

extern "C" int ExpandVariables(WCHAR* buffer, int) {
    STANDIN_SCOPE;
    if (!buffer) return 1;
    std::u16string text = Text(buffer);
    Log('E', text);
    HostState& s = State();
    if (s.expandResult) return s.expandResult;
    if (s.answerMode == TAKECMD_FILL) return Fill(buffer);
    auto mapped = s.expansions.find(text);
    if (mapped != s.expansions.end()) return Store(buffer, mapped->second);
    int result = ExpandText(text);
    return result == 0 ? Store(buffer, text) : result;
}

extern "C" int Evaluate(WCHAR* buffer) {
    STANDIN_SCOPE;
    if (!buffer) return 1;
    std::u16string text = Text(buffer);
    Log('V', text);
    HostState& s = State();
    if (s.evaluateResult) return s.evaluateResult;
    if (s.answerMode == TAKECMD_FILL) return Fill(buffer);
    auto mapped = s.evaluations.find(text);
    if (mapped != s.evaluations.end()) return Store(buffer, mapped->second);
    int result = EvaluateText(text);
    return result == 0 ? Store(buffer, text) : result;
}

extern "C" int Printf(const WCHAR* format, ...) {
    STANDIN_SCOPE;
    Log('P', Text(format));
    va_list args;
    va_start(args, format);
    std::u16string text = standin::FormatWideV(U(format), args);
    va_end(args);
    Write(GetStdHandle(STD_OUTPUT_HANDLE), text);
    return int(text.size());
}

extern "C" int Qprintf(HANDLE handle, const WCHAR* format, ...) {
    STANDIN_SCOPE;
    Log('Q', Text(format));
    va_list args;
    va_start(args, format);
    std::u16string text = standin::FormatWideV(U(format), args);
    va_end(args);
    Write(handle, text);
    return int(text.size());
}

extern "C" int QPuts(const WCHAR* text) {
    STANDIN_SCOPE;
    Log('U', Text(text));
    Write(GetStdHandle(STD_OUTPUT_HANDLE), Text(text));
    return 0;
}

extern "C" void honk(void) {
    STANDIN_SCOPE;
    Log('H', u"");
    ++State().honks;
    if (State().honkHook) State().honkHook();
}

extern "C" void ClearEditLine(WCHAR* position) {
    STANDIN_SCOPE;
    Log('C', u"");
    State().clears.push_back(position);
    if (State().clearHook) State().clearHook(position);
}

extern "C" {

void TakeCmdReset(void) {
    STANDIN_SCOPE;
    HostState& s = State();
    auto clearHook = s.clearHook;
    auto honkHook = s.honkHook;
    s = HostState();
    s.clearHook = clearHook;
    s.honkHook = honkHook;
    s.originalOut = GetStdHandle(STD_OUTPUT_HANDLE);
    s.originalErr = GetStdHandle(STD_ERROR_HANDLE);
    s.variables[u"_TRANSIENT"] = u"0";
    s.variables[u"_PIPE"] = u"0";
    s.variables[u"_BATCH"] = u"0";
}

void TakeCmdSetVariable(const WCHAR* name, const WCHAR* value) {
    if (value)
        State().variables[Fold(Text(name))] = Text(value);
    else
        State().variables.erase(Fold(Text(name)));
}

int TakeCmdVariable(int index, const WCHAR** name, const WCHAR** value) {
    if (index < 0 || size_t(index) >= State().variables.size()) return 0;
    auto it = std::next(State().variables.begin(), index);
    if (name) *name = reinterpret_cast<const WCHAR*>(it->first.c_str());
    if (value) *value = reinterpret_cast<const WCHAR*>(it->second.c_str());
    return 1;
}

void TakeCmdSetEnvironmentLookup(int on) {
    State().environmentLookup = on != 0;
}

void TakeCmdSetEscapeOption(const WCHAR* value) {
    State().escapeOption = Text(value);
}

void TakeCmdSetExpansion(const WCHAR* text, const WCHAR* expansion) {
    State().expansions[Text(text)] = Text(expansion);
}

void TakeCmdSetExpandResult(int result) {
    State().expandResult = result;
}

void TakeCmdSetEvaluation(const WCHAR* expression, const WCHAR* result) {
    State().evaluations[Text(expression)] = Text(result);
}

void TakeCmdSetEvaluateResult(int result) {
    State().evaluateResult = result;
}

void TakeCmdSetEcho(int on) {
    State().echo = on != 0;
}

void TakeCmdSetAnswerMode(int mode, int fillUnits) {
    State().answerMode = mode;
    State().fillUnits = fillUnits > 0 ? size_t(fillUnits) : 0;
}

const WCHAR* TakeCmdStdout(void) {
    return reinterpret_cast<const WCHAR*>(State().out.c_str());
}
const WCHAR* TakeCmdStderr(void) {
    return reinterpret_cast<const WCHAR*>(State().err.c_str());
}

void TakeCmdClearOutput(void) {
    State().out.clear();
    State().err.clear();
}

int TakeCmdCallCount(void) {
    return int(State().calls.size());
}

int TakeCmdCall(int index, int* kind, const WCHAR** input, int* stdoutRedirected,
                int* stderrRedirected) {
    if (index < 0 || size_t(index) >= State().calls.size()) return 0;
    const CallRecord& c = State().calls[size_t(index)];
    if (kind) *kind = c.kind;
    if (input) *input = reinterpret_cast<const WCHAR*>(c.input.c_str());
    if (stdoutRedirected) *stdoutRedirected = c.stdoutRedirected;
    if (stderrRedirected) *stderrRedirected = c.stderrRedirected;
    return 1;
}

int TakeCmdHonkCount(void) {
    return State().honks;
}
int TakeCmdClearCount(void) {
    return int(State().clears.size());
}
WCHAR* TakeCmdClearPosition(int index) {
    if (index < 0 || size_t(index) >= State().clears.size()) return nullptr;
    return State().clears[size_t(index)];
}

void TakeCmdSetClearHook(void (*hook)(WCHAR*)) {
    State().clearHook = hook;
}
void TakeCmdSetHonkHook(void (*hook)(void)) {
    State().honkHook = hook;
}

} // extern "C"
