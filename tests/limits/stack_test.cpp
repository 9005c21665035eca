// The deepest stack use of each export, measured on a painted thread stack (stack_meter.h); the
// figures are printed and held under the limit.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <map>

#include "scenarios.h"
#include "stack_meter.h"

namespace {

constexpr size_t THREAD_STACK = 4u << 20;  // room well beyond the limit, to see overruns
constexpr size_t STACK_LIMIT = 300u << 10; // what each export may use: a host thread has 1 MiB

size_t MeasureStack(const std::function<void()>& body) {
    return limits::MeasureStack(body, THREAD_STACK);
}

} // namespace

TEST(Stack, MeasurementSeesADeepFrame) {
    size_t baseline = MeasureStack([] {});
    size_t deep = MeasureStack([] {
        volatile char frame[100000];
        frame[0] = 1;
        frame[sizeof frame - 1] = frame[0];
    });
    EXPECT_GE(deep, 100000u);
    EXPECT_LT(baseline, 16384u);
}

TEST(Stack, EveryExportStaysUnderTheLimit) {
    std::map<std::string, std::pair<size_t, std::string>> deepest;
    for (const limits::Scenario& scenario : limits::Scenarios()) {
        scenario.prepare();
        size_t used = MeasureStack(scenario.run);
        auto& entry = deepest[scenario.exportName];
        if (used >= entry.first) entry = {used, scenario.what};
        EXPECT_LT(used, STACK_LIMIT) << scenario.exportName << ": " << scenario.what;
    }
    std::printf("Deepest stack use per export (limit %zu KiB):\n", STACK_LIMIT >> 10);
    for (const auto& [name, entry] : deepest)
        std::printf("  %-17s %7.1f KiB  (%s)\n", name.c_str(), entry.first / 1024.0,
                    entry.second.c_str());
}
