// The reference locator on adversarial lines and on plain text, caret at the end, at three
// lengths, beside an anchor: one classifying pass over a line of the same length, the least any
// exact locator must do (scripts/locator_ratios.py prints each case as a ratio to it); and the
// locator's peak stack, measured on a thread whose stack was painted beforehand.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "src/actions/locator.h"
#include "tests/limits/stack_meter.h"

namespace {

using Text = std::basic_string<WCHAR>;

// `unit` repeated and cut at `length` units.
Text Repeated(const char* unit, size_t length) {
    Text text;
    size_t unitLength = std::strlen(unit);
    while (text.size() < length) text += WCHAR(unit[text.size() % unitLength]);
    return text;
}

Text Parens(size_t n) {
    return Repeated("%(", n);
}
Text DoubleParens(size_t n) {
    return Repeated("%((", n);
}
Text Brackets(size_t n) {
    return Repeated("%[", n);
}
Text DoubleBrackets(size_t n) {
    return Repeated("%[[", n);
}
Text Braces(size_t n) {
    return Repeated("%{", n);
}
Text Functions(size_t n) {
    return Repeated("%@f[", n);
}
Text Indexed(size_t n) {
    return Repeated("%a[", n);
}
Text Mixture(size_t n) {
    return Repeated("%(%((%[%[[%{%@f[%a[", n);
}
Text PlainText(size_t n) {
    return Repeated("lorem ipsum dolor sit amet ", n);
}

// Nested references that all close: "%(%(...x...))".
Text ClosedNest(size_t n) {
    size_t k = (n - 1) / 3;
    Text text = Repeated("%(", 2 * k);
    text += Text(n - 3 * k, 'x');
    text += Text(k, ')');
    return text;
}

// Unclosed openers with one closer at the very end: no stretch of the line is free of closers.
Text ParensClosedAtEnd(size_t n) {
    return Repeated("%(", n - 1) + WCHAR(')');
}
Text BracketsClosedAtEnd(size_t n) {
    return Repeated("%[", n - 1) + WCHAR(']');
}

// A line that walks into one unclosed opener after another with "(" as the escape character:
// a locator that walks each run's stretch anew turns quadratic here (seconds at full length).
Text EscapedOpenerTrap(size_t n) {
    const size_t tail = 5;
    Text text = Repeated("%%a[\"%(", n - tail - (n - tail) % 7);
    for (char unit : std::string("%((^]")) text += WCHAR(unit);
    return text;
}

// Random text over the locator's alphabet (seeded), for comparison.
Text RandomText(size_t n) {
    static const char ALPHABET[] = "%@a1_$()[]{}\"^=+ ";
    std::mt19937 random(7);
    Text text;
    while (text.size() < n) text += WCHAR(ALPHABET[random() % (sizeof ALPHABET - 1)]);
    return text;
}

// Classes of the ASCII units as the locator sees them (other units are class 0).
struct ClassTable {
    unsigned char classOf[128] = {};
    ClassTable() {
        const char* significant = "%@()[]{}\"^=+$_";
        for (int i = 0; significant[i]; ++i)
            classOf[int(significant[i])] = static_cast<unsigned char>(i + 2);
        for (int c = '0'; c <= '9'; ++c) classOf[c] = 1;
        for (int c = 'a'; c <= 'z'; ++c) classOf[c] = classOf[c - 'a' + 'A'] = 1;
    }
};

// The anchor: each unit of the line read once, its class looked up and folded into a running
// value, so that the pass cannot be dropped.
void Anchor(benchmark::State& state, Text (*make)(size_t)) {
    static const ClassTable TABLE;
    Text line = make(size_t(state.range(0)));
    for (auto _ : state) {
        uint32_t folded = 0;
        for (WCHAR unit : line) folded = folded * 31 + (unit < 128 ? TABLE.classOf[unit] : 0u);
        benchmark::DoNotOptimize(folded);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

BENCHMARK_CAPTURE(Anchor, classify, RandomText)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(MAX_LINE_LENGTH)
    ->Unit(benchmark::kMicrosecond);

void Locate(benchmark::State& state, Text (*make)(size_t), WCHAR escape) {
    Text line = make(size_t(state.range(0)));
    for (auto _ : state) {
        ReferenceSpan span = LocateReference(line.c_str(), int32_t(line.size()), escape);
        benchmark::DoNotOptimize(span);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

#define LOCATOR_BENCHMARK(name, make, escape)                                                      \
    BENCHMARK_CAPTURE(Locate, name, make, WCHAR(escape))                                           \
        ->Arg(4096)                                                                                \
        ->Arg(16384)                                                                               \
        ->Arg(MAX_LINE_LENGTH)                                                                     \
        ->Unit(benchmark::kMicrosecond)

LOCATOR_BENCHMARK(plain, PlainText, '^');
LOCATOR_BENCHMARK(paren, Parens, '^');
LOCATOR_BENCHMARK(double_paren, DoubleParens, '^');
LOCATOR_BENCHMARK(bracket, Brackets, '^');
LOCATOR_BENCHMARK(double_bracket, DoubleBrackets, '^');
LOCATOR_BENCHMARK(brace, Braces, '^');
LOCATOR_BENCHMARK(function, Functions, '^');
LOCATOR_BENCHMARK(indexed, Indexed, '^');
LOCATOR_BENCHMARK(mixture, Mixture, '^');
LOCATOR_BENCHMARK(closed_nest, ClosedNest, '^');
LOCATOR_BENCHMARK(paren_closed_at_end, ParensClosedAtEnd, '^');
LOCATOR_BENCHMARK(bracket_closed_at_end, BracketsClosedAtEnd, '^');
LOCATOR_BENCHMARK(escaped_opener_trap, EscapedOpenerTrap, '(');
LOCATOR_BENCHMARK(random, RandomText, '^');
LOCATOR_BENCHMARK(random_escape_bracket, RandomText, '[');

// ---- Peak stack -----------------------------------------------------------------------------

constexpr size_t MEASURED_STACK = 256 * 1024;

// Reports, per family at the longest line, the stack the locator adds to an idle thread's.
void PeakStack(benchmark::State& state, Text (*make)(size_t)) {
    Text line = make(MAX_LINE_LENGTH);
    size_t baseline = 0, touched = 0;
    for (auto _ : state) {
        baseline = limits::MeasureStack([] {}, MEASURED_STACK);
        touched = limits::MeasureStack(
            [&] {
                ReferenceSpan span =
                    LocateReference(line.c_str(), int32_t(line.size()), WCHAR('^'));
                benchmark::DoNotOptimize(span);
            },
            MEASURED_STACK);
    }
    state.counters["thread_bytes"] = double(baseline);
    state.counters["locator_bytes"] = double(touched - baseline);
}

#define STACK_BENCHMARK(name, make)                                                                \
    BENCHMARK_CAPTURE(PeakStack, name, make)->Iterations(1)->Unit(benchmark::kMillisecond)

STACK_BENCHMARK(plain, PlainText);
STACK_BENCHMARK(paren, Parens);
STACK_BENCHMARK(double_paren, DoubleParens);
STACK_BENCHMARK(bracket, Brackets);
STACK_BENCHMARK(mixture, Mixture);
STACK_BENCHMARK(closed_nest, ClosedNest);
STACK_BENCHMARK(random, RandomText);

} // namespace
