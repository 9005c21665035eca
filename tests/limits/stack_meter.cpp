#include "stack_meter.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cstring>

namespace limits {

namespace {
constexpr unsigned char PAINT = 0xA5;
}

size_t MeasureStack(const std::function<void()>& work, size_t stackBytes) {
    void* stack = mmap(nullptr, stackBytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (stack == MAP_FAILED) return 0;
    std::memset(stack, PAINT, stackBytes);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, stack, stackBytes);
    auto entry = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    pthread_t thread;
    bool started =
        pthread_create(&thread, &attributes, entry, const_cast<std::function<void()>*>(&work)) == 0;
    if (started) pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    const auto* bytes = static_cast<const unsigned char*>(stack);
    size_t untouched = 0;
    while (untouched < stackBytes && bytes[untouched] == PAINT) ++untouched;
    munmap(stack, stackBytes);
    return started ? stackBytes - untouched : 0;
}

} // namespace limits
