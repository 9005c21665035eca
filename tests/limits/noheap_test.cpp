// No export allocates from the heap. The process's allocator is wrapped here; while armed, every
// allocation made outside a stand-in call (the stand-ins may allocate for their logs) is counted.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <new>

#include "scenarios.h"
#include "standin/scope.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
bool armed = false;
int allocations = 0;

void Note() {
    if (armed && standin::StandinCallDepth() == 0) ++allocations;
}
} // namespace

extern "C" void* malloc(size_t size) {
    Note();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    Note();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, size_t size) {
    Note();
    return __libc_realloc(block, size);
}
extern "C" void* memalign(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
extern "C" int posix_memalign(void** out, size_t alignment, size_t size) {
    Note();
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : ENOMEM;
}
extern "C" void* aligned_alloc(size_t alignment, size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}
extern "C" void free(void* block) {
    __libc_free(block);
}

TEST(NoHeap, CounterSeesAllocations) {
    // The wrapper itself must work, or the check below proves nothing.
    armed = true;
    allocations = 0;
    void* volatile block = malloc(16);
    int* volatile object = new int(3);
    armed = false;
    free(block);
    delete object;
    EXPECT_EQ(2, allocations);
}

TEST(NoHeap, NoExportAllocates) {
    standin::StandinCallDepth(); // the thread's stand-in counter exists before arming
    for (const limits::Scenario& scenario : limits::Scenarios()) {
        scenario.prepare();
        allocations = 0;
        armed = true;
        scenario.run();
        armed = false;
        EXPECT_EQ(0, allocations) << scenario.exportName << ": " << scenario.what;
    }
}
