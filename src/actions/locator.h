// The reference locator: finds the innermost variable or function reference at the caret.
#pragma once

#include "../host/host.h"

// The seven reference forms that have a body and a closer.
enum ReferenceKind {
    FunctionCall,     // %@name[ ... ]
    IndexedVariable,  // %name[ ... ]
    DoubleParen,      // %(( ... ))
    Paren,            // %( ... )
    DoubleBracket,    // %[[ ... ]]
    Bracket,          // %[ ... ]
    Brace,            // %{ ... }
};

// A reference: indices of its "%" and of its last character (inclusive), and its nesting depth.
// None when first or last is negative.
struct ReferenceSpan {
    int32_t first;
    int32_t last;
    int32_t depth;
};

// Finds the reference to expand for the caret at `cursor` (units before the caret) in the
// zero-terminated `line`, with `escape` as the host's escape character. Reads at most
// MAX_LINE_LENGTH units. Allocates nothing; its stack use is small and bounded.
ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape);
