// Marks the time spent inside a stand-in call. The plugin allocates nothing from the heap; the
// stand-ins may, and the allocation counter of the tests leaves their allocations out by reading
// this depth.
#pragma once

namespace standin {

inline int& StandinCallDepth() {
    static thread_local int depth = 0;
    return depth;
}

struct StandinScope {
    StandinScope() { ++StandinCallDepth(); }
    ~StandinScope() { --StandinCallDepth(); }
    StandinScope(const StandinScope&) = delete;
    StandinScope& operator=(const StandinScope&) = delete;
};

} // namespace standin

#define STANDIN_SCOPE ::standin::StandinScope standinScope_
