// The deepest stack use of each export. Each scenario runs on a thread whose stack we own and
// paint beforehand; afterwards the lowest byte that no longer holds the paint marks how deep the
// call went. The figures are printed and held under the limit.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "scenarios.h"

namespace {

constexpr size_t THREAD_STACK = 4u << 20;  // room well beyond the limit, to see overruns
constexpr size_t STACK_LIMIT = 300u << 10; // what each export may use: a host thread has 1 MiB
constexpr unsigned char PAINT = 0xA5;

// Stack bytes used by one run of `body`: the thread's own start-up included, which is small and
// the same for every scenario (see the baseline test).
size_t MeasureStack(const std::function<void()>& body) {
    void* stack = mmap(nullptr, THREAD_STACK, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    EXPECT_NE(MAP_FAILED, stack);
    std::memset(stack, PAINT, THREAD_STACK);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stack, THREAD_STACK);
    pthread_t thread;
    auto trampoline = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    pthread_create(&thread, &attributes, trampoline, const_cast<std::function<void()>*>(&body));
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    auto* bytes = static_cast<unsigned char*>(stack);
    size_t untouched = 0;
    while (untouched < THREAD_STACK && bytes[untouched] == PAINT) ++untouched;
    munmap(stack, THREAD_STACK);
    return THREAD_STACK - untouched;
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
