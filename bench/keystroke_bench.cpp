// Whole keystrokes through `key` on full 65,535-unit lines: the expand hotkey and the math
// hotkey, on plain lines and on adversarial ones. Each benchmark also reports the stack the
// keystroke used, measured once on a painted thread stack (tests/limits/stack_meter.h).
#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

#include "src/actions/locator.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "standin/takecmd/takecmd_control.h"
#include "standin/win32/win32_control.h"
#include "tests/limits/stack_meter.h"
#include "tests/support/host_thread.h"

namespace {

using Text = std::u16string;
constexpr size_t LINE_UNITS = EDIT_LINE_CAPACITY - 1;

// A host line of 65,535 units and its event; `Press` puts the caret back before each key.
struct Keystroke {
    std::vector<char16_t> buffer = std::vector<char16_t>(EDIT_LINE_CAPACITY, 0);
    KeyEvent event{};
    size_t caret;
    int32_t code;

    Keystroke(const Text& line, size_t caretAt, int32_t keyCode) : caret(caretAt), code(keyCode) {
        std::copy(line.begin(), line.end(), buffer.begin());
        event.line = buffer.data();
    }
    void Press() {
        event.keyCode = code;
        event.cursor = buffer.data() + caret;
        event.redraw = 0;
        key(&event);
    }
};

// The host as the benchmarks want it: the expansion and the value of the words they use are
// the words themselves, so a successful keystroke leaves the line as it found it.
void PrepareHost() {
    standin::ResetAll();
    TakeCmdReset();
    PluginSettings = {DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, 0};
    TakeCmdSetExpansion(u"%foo", u"%foo");
    TakeCmdSetEvaluation(u"1+2", u"1+2");
}

// A full line: `filler` repeated (the last copy cut) and `tail` at the end.
Text Padded(const Text& filler, const Text& tail) {
    Text line;
    while (line.size() < LINE_UNITS - tail.size()) line += filler;
    line.resize(LINE_UNITS - tail.size());
    return line + tail;
}

void RunKeystroke(benchmark::State& state, const Text& line, size_t caret, int32_t code) {
    PrepareHost();
    Keystroke keystroke(line, caret, code);
    state.counters["stack_KiB"] =
        double(limits::MeasureStack([&] { keystroke.Press(); }, support::HOST_STACK)) / 1024;
    const Text before(keystroke.buffer.data());
    size_t presses = 0;
    for (auto _ : state) {
        keystroke.Press();
        benchmark::DoNotOptimize(keystroke.event.cursor);
        if (++presses % 4096 == 0) {
            // The stand-in host logs every call; keep its log from growing without end.
            state.PauseTiming();
            PrepareHost();
            state.ResumeTiming();
        }
    }
    if (Text(keystroke.buffer.data()) != before) state.SkipWithError("the line changed");
}

// Plain: ordinary words and the reference or expression at the end, caret after it.
void BM_ExpandPlain(benchmark::State& state) {
    Text line = Padded(u"echo ", u" %foo");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_HOTKEY);
}

// The locator alone on the same line, measure of the line included: what the keystroke adds
// around it is the ratio of the two.
void BM_LocateOnThePlainLine(benchmark::State& state) {
    Text line = Padded(u"echo ", u" %foo");
    for (auto _ : state) {
        ReferenceSpan span = LocateReference(line.c_str(), int32_t(LINE_UNITS), '^');
        benchmark::DoNotOptimize(span);
    }
}

// Adversarial: unclosed "%(" openers nested through the whole line, the caret at each end and
// in the middle (nothing to expand), and the same openers before a reference that is found.
void BM_ExpandUnclosedParens(benchmark::State& state) {
    Text line = Padded(u"%(", u"");
    RunKeystroke(state, line, size_t(state.range(0)) * LINE_UNITS / 2, DEFAULT_HOTKEY);
}

void BM_ExpandUnclosedThenReference(benchmark::State& state) {
    Text line = Padded(u"%(", u" %foo");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_HOTKEY);
}

// The same openers with one closer at the very end: no part of the line is free of closers.
void BM_ExpandUnclosedParensClosedAtEnd(benchmark::State& state) {
    Text line = Padded(u"%(", u")");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_HOTKEY);
}

void BM_ExpandMixedOpeners(benchmark::State& state) {
    Text line = Padded(u"%@f[%[%{%((\"", u"");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_HOTKEY);
}

// The same before a reference that is found (the line the DLL's timing harness also presses).
void BM_ExpandMixedOpenersThenReference(benchmark::State& state) {
    Text line = Padded(u"%@f[%[%{%((\"", u" %foo");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_HOTKEY);
}

void BM_MathPlain(benchmark::State& state) {
    Text line = Padded(u"x ", u" 1+2");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_MATH_HOTKEY);
}

// Adversarial: a quote that keeps the word running over the whole line (refused as too long),
// and a line of white space with the expression at its end.
void BM_MathOneLongQuotedWord(benchmark::State& state) {
    RunKeystroke(state, u"\"" + Padded(u" ", u"1+2").substr(1), LINE_UNITS, DEFAULT_MATH_HOTKEY);
}

void BM_MathAfterWhiteSpace(benchmark::State& state) {
    Text line = Padded(u" ", u"1+2");
    RunKeystroke(state, line, LINE_UNITS, DEFAULT_MATH_HOTKEY);
}

} // namespace

BENCHMARK(BM_ExpandPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LocateOnThePlainLine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandUnclosedParens)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandUnclosedThenReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandUnclosedParensClosedAtEnd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandMixedOpeners)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExpandMixedOpenersThenReference)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MathPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MathOneLongQuotedWord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MathAfterWhiteSpace)->Unit(benchmark::kMicrosecond);
