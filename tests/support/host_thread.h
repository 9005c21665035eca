// A host calls the plugin's exports on a thread of its own, whose stack is 1 MiB. Tests and
// benchmarks that depend on the stack run their work on such a thread, or on a smaller one to
// keep a margin; natively also on a stack they mapped themselves (the painted-stack meter).
#pragma once

#include <cstddef>
#include <functional>

namespace support {

// The stack of a host's thread.
constexpr size_t HOST_STACK = size_t(1) << 20;

// Runs `work` on a new thread with a stack of `stackBytes` and waits for the thread's end. True
// when `work` ran to its end; false when no thread could be made (on Windows also when the thread
// ended otherwise, with an exception code). `stack`, natively, is memory of `stackBytes` the
// caller mapped for the thread to run on; null lets the system map it, as it always does on
// Windows (where any other value fails).
bool RunOnHostThread(const std::function<void()>& work, size_t stackBytes = HOST_STACK,
                     void* stack = nullptr);

} // namespace support
