// How much stack a piece of work uses: it runs on a thread whose stack is mapped here and
// painted beforehand; afterwards the lowest byte that no longer holds the paint marks how deep
// the work went. The thread's own start-up frames are included (a few KiB, the same every time).
#pragma once

#include <cstddef>
#include <functional>

namespace limits {

// Bytes of a `stackBytes` thread stack that `work` touched; 0 if no thread could be made.
size_t MeasureStack(const std::function<void()>& work, size_t stackBytes);

} // namespace limits
