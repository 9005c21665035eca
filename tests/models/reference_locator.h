// The reference model of the locator, and the definition of its result: one recursive loop over
// the characters, one run per body, one step per rule, written for plain reading rather than
// speed. The locator in src/actions/ must give what this model gives.
//
// It re-reads the body of every unclosed opener, so its time grows exponentially with nested
// unclosed openers and its recursion with the nesting depth. Tests, fuzz targets and benchmarks
// use it on short lines only, with a step budget that stops it early on costly ones.
#pragma once

#include <stdint.h>

#include "src/actions/locator.h"

namespace model {

struct ModelResult {
    ReferenceSpan span; // the best candidate, (-1, -1, -1) when none qualified
    bool completed;     // false when the step budget ran out; span is then meaningless
};

// The locator's result as the recursive definition gives it. `budget` caps the number of
// characters the loop reads over all runs (0: no cap).
ModelResult LocateReferenceModel(const WCHAR* line, int32_t cursor, WCHAR escape,
                                 uint64_t budget = 0);

} // namespace model
