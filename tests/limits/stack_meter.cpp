#include "stack_meter.h"

#include <sys/mman.h>

#include <cstring>

#include "tests/support/host_thread.h"

namespace limits {

namespace {
constexpr unsigned char PAINT = 0xA5;
}

size_t MeasureStack(const std::function<void()>& work, size_t stackBytes) {
    void* stack = mmap(nullptr, stackBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return 0;
    std::memset(stack, PAINT, stackBytes);
    bool ran = support::RunOnHostThread(work, stackBytes, stack);
    const auto* bytes = static_cast<const unsigned char*>(stack);
    size_t untouched = 0;
    while (untouched < stackBytes && bytes[untouched] == PAINT) ++untouched;
    munmap(stack, stackBytes);
    return ran ? stackBytes - untouched : 0;
}

} // namespace limits
