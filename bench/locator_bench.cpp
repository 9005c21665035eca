// The reference locator on adversarial lines and on plain text, caret at the end, at three
// lengths, beside an anchor: one classifying pass over a line of the same length, the least any
// exact locator must do (scripts/locator_ratios.py prints each case as a ratio to it); and the
// locator's peak stack, measured on a thread whose stack was painted beforehand.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "src/actions/locator.h"
#include "tests/limits/stack_meter.h"
#include "tests/support/locator_lines.h"

namespace {

using lines::Text;

// Classes of the ASCII units as the locator sees them: letters and digits share one, each other
// unit of the alphabet has its own, every other unit is class 0.
struct ClassTable {
    unsigned char classOf[128] = {};
    ClassTable() {
        for (int c = '0'; c <= '9'; ++c) classOf[c] = 1;
        for (int c = 'a'; c <= 'z'; ++c) classOf[c] = classOf[c - 'a' + 'A'] = 1;
        for (size_t i = 0; i < lines::LOCATOR_ALPHABET_LENGTH; ++i) {
            unsigned char unit = static_cast<unsigned char>(lines::LOCATOR_ALPHABET[i]);
            if (!classOf[unit]) classOf[unit] = static_cast<unsigned char>(i + 2);
        }
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

void Locate(benchmark::State& state, Text (*make)(size_t), WCHAR escape) {
    Text line = make(size_t(state.range(0)));
    for (auto _ : state) {
        ReferenceSpan span = LocateReference(line.c_str(), int32_t(line.size()), escape);
        benchmark::DoNotOptimize(span);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

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

// The family of that name (every name below is one).
const lines::Family& Named(const char* name) {
    for (const lines::Family& family : lines::AdversarialFamilies())
        if (std::strcmp(family.name, name) == 0) return family;
    std::abort();
}

// Anchor/classify on the random line and Locate/<family> for every family, typed lines first, at
// three lengths each;
// PeakStack/<family> for a few (all of them read with "^").
bool RegisterLocatorBenchmarks() {
    benchmark::RegisterBenchmark("Anchor/classify", Anchor, Named("random").make)
        ->Arg(4096)
        ->Arg(16384)
        ->Arg(MAX_LINE_LENGTH)
        ->Unit(benchmark::kMicrosecond);
    std::vector<lines::Family> families = lines::TypedFamilies();
    for (const lines::Family& family : lines::AdversarialFamilies()) families.push_back(family);
    for (const lines::Family& family : families)
        benchmark::RegisterBenchmark(("Locate/" + std::string(family.name)).c_str(), Locate,
                                     family.make, family.escape)
            ->Arg(4096)
            ->Arg(16384)
            ->Arg(MAX_LINE_LENGTH)
            ->Unit(benchmark::kMicrosecond);
    for (const char* name :
         {"plain", "paren", "double_paren", "bracket", "mixture", "closed_nest", "random"})
        benchmark::RegisterBenchmark(("PeakStack/" + std::string(name)).c_str(), PeakStack,
                                     Named(name).make)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    return true;
}

[[maybe_unused]] const bool registered = RegisterLocatorBenchmarks();

} // namespace
