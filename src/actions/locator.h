// The reference locator: finds the innermost variable or function reference at the caret.
#pragma once

#include "../host/host.h"

// A reference: indices of its "%" and of its last character (inclusive), and its nesting depth.
// None when first or last is negative.
struct ReferenceSpan {
    int32_t first;
    int32_t last;
    int32_t depth;
};

// Finds the reference to expand for the caret at `caret` (units before the caret) in the
// zero-terminated `line`, with `escape` as the host's escape character. Reads at most
// MAX_LINE_LENGTH units. Allocates nothing; its stack use is small and bounded.
ReferenceSpan LocateReference(const WCHAR* line, int32_t caret, WCHAR escape);

// The same for a line whose length the caller has measured already: `length` units, at most
// MAX_LINE_LENGTH, none of them 0 (a keystroke measures its line once, for every step).
ReferenceSpan LocateReferenceIn(const WCHAR* line, int32_t length, int32_t caret, WCHAR escape);

// Writes every page of the locator's tables once. Called at start-up, so that the first keystroke
// does not pay for their first use: under some loaders the first write to each page of a DLL's
// zero-filled data costs several microseconds.
void PrepareLocator();

// The most steps of constant cost a call may take per unit of its line (and one unit more):
// the locator's time is linear in the line's length whatever the line, caret and escape.
constexpr uint64_t MAX_LOCATOR_WORK_PER_UNIT = 8;

#ifndef NDEBUG
// The steps the last call of LocateReference took, counted where assertions are live, so that
// tests hold the locator to linear time by counting rather than timing.
uint64_t LocatorWork();
#endif
