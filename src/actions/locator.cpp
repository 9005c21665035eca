// The reference locator.
//
// What it must give is defined by the recursive loop of tests/models/reference_locator.cpp: one
// run of a character loop per reference body, which records candidates, recurses into every
// opener it recognises, and reads the text of an opener without a closer again as ordinary text.
// Done literally that costs time exponential in the number of nested unclosed openers and one
// stack frame per nesting level. This file gives the same result in linear time, in two passes,
// with under 1 MiB of static tables and a few hundred bytes of stack.
//
// Nodes. A run's walk is decided by the position and the literal flag L with which it arrives
// there; the quoted flag and the parenthesis count only decide where the run stops. So the walks
// of all runs are paths in one graph over the nodes (position, L): every node has exactly one
// successor, always further right, and runs that meet at a node walk on together until one of
// them stops. At each position one node reads its unit normally (L = 0, or L = 1 when the unit is
// the escape character: the escape cancels the literal flag); the other reads it literally and
// shows nothing but its parenthesis step. Only the normal node of a position can close a run, so a
// closer is named by its position alone.
//
// Pass 1, right to left: where does every opener close? An opener's run starts at the node
// (body start, 0) unquoted and with count 0. Its closer is the first node on the path that shows
// the closer of its kind while unquoted (and, for the parenthesis kinds, with count 0).
// - Quotes: with S(v) the parity of the quote toggles from v to the line's end along v's path, a
//   closer node w is unquoted for a run from b exactly when S(w) == S(b). So every node keeps,
//   per parity, the first "]" or "}" on its path (firstBracket).
// - Count: with D(v) the sum of the parenthesis steps from v to the end, the count at w is
//   max(D over b..w) - D(w); it is 0 exactly on the chain b, ng(b), ng(ng(b)), ... where ng(v)
//   is the next node with D >= D(v). As D moves by at most one per node, ng and up1 (the next
//   node with D = D(v) + 1) take O(1) each from the nodes to the right. Every node keeps, per
//   parity, the first ")" on its ng chain (firstParen) and up1.
// - The other closers hang off the closer units themselves (one slot per position, as only one
//   node of a position can close): a "]" keeps the next "}" and the first "]]" of its parity, a
//   "}" the next "]" of its parity, a ")" the first "))" of its parity on its chain. So every
//   opener's closer is two or three lookups.
// Only the nodes with L = 0 are stored. A run reaches an L = 1 node only just after the escape
// character or "%=": the sweep keeps the last few of those in a ring, and the only ones looked up
// from further away (after a ")" that is itself the escape character) take one step to rebuild
// from the stored node after them. Past the line's last closer unit no run can close: nodes there
// are the line's end, and a line of openers with nothing closed after them builds no record.
//
// Pass 2, left to right: which candidate wins? With every closer known, the recursion is run
// with an explicit stack, skipping what cannot change the result: a candidate recorded again at a
// depth no greater than before never replaces the best. Every node keeps the greatest depth at
// which a run has walked it and where that run stops. A run reaching a node already walked at its
// own depth or deeper jumps to the nearer of the two stops: up to there the earlier run saw the
// same forms and openers at the same or greater depth. What is not skipped is done in the
// recursion's own order, so ties between equal depths go the same way. Nothing past the caret
// can qualify (a reference starts at or before it), so the walks stop there.
//
// Storage: per unit a class byte, a 16-bit slot (an opener's closer at its "%", the body start or
// variable end just after it, a closer unit's slot), two bits, and 12 bytes that pass 1 uses for
// its records and pass 2 for its marks and run stack. About 0.95 MiB in all, sized for the longest
// line; a call touches only what its line needs. The tables make a call non-reentrant, which
// suits the host: it calls the plugin on one thread, one call at a time.
#include "locator.h"

#include "../platform/widetext.h"

namespace {

// ---- Units ----------------------------------------------------------------------------------

// What the locator needs to know of a unit. The name units are LETTER_UNIT (a letter),
// NAME_UNIT (a digit, "_" or another letter-or-digit) and DOLLAR_UNIT.
enum UnitClass : uint8_t {
    OTHER_UNIT,
    LETTER_UNIT,
    NAME_UNIT,
    DOLLAR_UNIT,
    PERCENT_UNIT,
    AT_UNIT,
    QUOTE_UNIT,
    OPEN_PAREN_UNIT,
    CLOSE_PAREN_UNIT,
    OPEN_BRACKET_UNIT,
    CLOSE_BRACKET_UNIT,
    OPEN_BRACE_UNIT,
    CLOSE_BRACE_UNIT,
    EQUALS_UNIT,
    PLUS_UNIT,
    END_UNIT, // the line's end and the padding after it
};

// What a "%" read outside literal mode starts, from the text alone.
enum FormType : uint8_t {
    NO_FORM,         // the "%" starts nothing
    LITERAL_PERCENT, // "%%"
    PLAIN_VARIABLE,  // "%" and a run of name units; the slot after the "%" holds its last index
    EQUALS_FORM,     // "%=": recorded, and the next unit is literal
    PLUS_FORM,       // "%+"
    OPENER_FORM,     // a bracketed kind whose closer is one unit; the slot after it, the body start
    DOUBLE_OPENER_FORM, // "%((" or "%[[", whose closer is two units
};

// A class byte: the class, whether the unit is the escape character, and for a "%" its form.
constexpr uint8_t CLASS_MASK = 0x0F;
constexpr uint8_t ESCAPE_FLAG = 0x10;
constexpr int FORM_SHIFT = 5;

struct AsciiClasses {
    uint8_t of[128];
};

constexpr AsciiClasses MakeAsciiClasses() {
    AsciiClasses table{};
    for (int c = 'a'; c <= 'z'; ++c) table.of[c] = LETTER_UNIT;
    for (int c = 'A'; c <= 'Z'; ++c) table.of[c] = LETTER_UNIT;
    for (int c = '0'; c <= '9'; ++c) table.of[c] = NAME_UNIT;
    table.of[int('_')] = NAME_UNIT;
    table.of[int('$')] = DOLLAR_UNIT;
    table.of[int('%')] = PERCENT_UNIT;
    table.of[int('@')] = AT_UNIT;
    table.of[int('"')] = QUOTE_UNIT;
    table.of[int('(')] = OPEN_PAREN_UNIT;
    table.of[int(')')] = CLOSE_PAREN_UNIT;
    table.of[int('[')] = OPEN_BRACKET_UNIT;
    table.of[int(']')] = CLOSE_BRACKET_UNIT;
    table.of[int('{')] = OPEN_BRACE_UNIT;
    table.of[int('}')] = CLOSE_BRACE_UNIT;
    table.of[int('=')] = EQUALS_UNIT;
    table.of[int('+')] = PLUS_UNIT;
    table.of[0] = END_UNIT;
    return table;
}

constexpr AsciiClasses ASCII_CLASSES = MakeAsciiClasses();

uint8_t ClassOf(WCHAR ch) {
    if (ch < 0x80) return ASCII_CLASSES.of[ch];
    if (WideIsAlpha(ch)) return LETTER_UNIT;
    return WideIsAlnum(ch) ? NAME_UNIT : OTHER_UNIT;
}

// ---- Limits and markers ---------------------------------------------------------------------

// One entry per position of the longest line and one for its end.
constexpr int32_t SLOTS = MAX_LINE_LENGTH + 1;
// Units read past a position: up to three ("%((" and the unit after it).
constexpr int32_t PADDING = 4;
// No position (positions stay below MAX_LINE_LENGTH, so 16 bits hold them and this).
constexpr uint16_t NONE = 0xFFFF;
// A node is 2 * position + L; a node at or past 2 * lineLength is the line's end.
constexpr uint32_t NO_NODE = 0xFFFFFFFF;
// Runs nest at most once per two units ("%(" and one unit after it is the shortest opener),
// and the whole line is one run more.
constexpr int32_t MAX_RUNS = (MAX_LINE_LENGTH + 1) / 2;

// A node's pass-1 record: what the sweep needs from the nodes to its right.
// (Fields of one width, so that the copies the compiler makes of it stay cheap.)
struct NodeRecord {
    uint32_t up1;             // next node with D = D(this) + 1, or NO_NODE
    uint32_t firstBracket[2]; // per parity S: first "]" or "}" on the path, or NONE
    uint32_t firstParen[2];   // per parity S: first ")" on the ng chain, or NONE
    uint32_t parity;          // S: quote toggles from here to the end, mod 2
};

// Stands for the line's end: no closers onward, parity 0.
constexpr NodeRecord END_RECORD = {NO_NODE, {NONE, NONE}, {NONE, NONE}, 0};

// ---- Static working storage (the line is at most MAX_LINE_LENGTH units) --------------------

// The line as class bytes, END_UNIT after it.
uint8_t lineUnits[SLOTS + PADDING];
// Per position: at an opener's "%" its closer position (the first unit of the closer) or NONE;
// just after a "%" that starts an opener or a variable, the body start or the variable's last
// index; at a closer unit, its slot (see the header comment).
uint16_t unitSlots[SLOTS + PADDING];
// Per position, two bits of the stored node (position, 0): its parity S and the L of its up1.
uint8_t nodeBits[SLOTS / 4 + 1];

struct Pass1Tables {
    uint16_t firstBracket[2][SLOTS];
    uint16_t firstParen[2][SLOTS];
    uint16_t up1[SLOTS];       // position of up1, or NONE
    uint16_t nextBrace[SLOTS]; // at a "]": the next "}" of its parity
};

struct Pass2Tables {
    uint16_t walkDepth[2][SLOTS]; // per plane L: 1 + greatest depth of a run that walked it, or 0
    uint16_t walkStop[2][SLOTS];  // stop of that run: its closer position, or NONE for the end
    uint32_t runNode[MAX_RUNS];   // where a run stands; while a nested run is open, its "%"
    uint16_t runDepth[MAX_RUNS];
    uint16_t runOpener[MAX_RUNS]; // position of its "%", or NONE for the whole line
};

// Pass 2 starts when pass 1 is done with its records, so the two share their tables.
union Workspace {
    Pass1Tables pass1;
    Pass2Tables pass2;
} work;

int32_t lineLength;
uint32_t endNode;
// One past the line's last closer unit: nodes from there on are the line's end to pass 1.
int32_t recordEnd;
uint32_t recordEndNode;

// The last L = 1 nodes the sweep built, by position modulo 4.
NodeRecord recentLiteral[4];
int32_t recentLiteralAt[4];

int Class(int32_t p) {
    return lineUnits[p] & CLASS_MASK;
}
bool IsEscape(int32_t p) {
    return (lineUnits[p] & ESCAPE_FLAG) != 0;
}
int Form(int32_t p) {
    return lineUnits[p] >> FORM_SHIFT;
}
bool IsNameClass(int c) {
    return c == LETTER_UNIT || c == NAME_UNIT || c == DOLLAR_UNIT;
}
bool IsEnd(uint32_t node) {
    return node >= endNode;
}
int32_t PositionOf(uint32_t node) {
    return IsEnd(node) ? lineLength : int32_t(node >> 1);
}
// The node of a closer unit: the one that reads it normally.
uint32_t CloserNode(uint16_t w) {
    return w == NONE ? endNode : 2u * w + (IsEscape(w) ? 1u : 0u);
}
// Index of the last unit of the reference opened at the "%" at p (closed).
int32_t CloserLast(int32_t p) {
    return unitSlots[p] + (Form(p) == DOUBLE_OPENER_FORM ? 1 : 0);
}

// ---- The walk -------------------------------------------------------------------------------

// One iteration of the character loop at node (p, literal on arrival), as far as the path goes.
// (Fields of one width, so that the copies the compiler makes of it stay cheap.)
struct Move {
    int32_t current;  // the unit that gets the bookkeeping: p, or further after a form
    uint32_t next;    // the successor node
    uint32_t literal; // L after the escape toggle: 1 when the unit at p is read literally
};

[[gnu::always_inline]] inline Move MoveFrom(int32_t p, int arrivedLiteral) {
    uint8_t unit = lineUnits[p];
    bool literal = (arrivedLiteral != 0) != ((unit & ESCAPE_FLAG) != 0);
    int32_t current = p;
    bool keep = false;
    if (!literal && (unit & CLASS_MASK) == PERCENT_UNIT) {
        switch (unit >> FORM_SHIFT) {
        case LITERAL_PERCENT:
            current = p + 1;
            break;
        case EQUALS_FORM:
            current = p + 1;
            keep = true;
            break;
        case OPENER_FORM:
        case DOUBLE_OPENER_FORM:
            if (unitSlots[p] != NONE) current = CloserLast(p);
            break;
        default:
            break;
        }
    }
    // The literal flag survives only on the escape character itself, or after "%=".
    uint32_t nextLiteral = keep || (literal && IsEscape(current)) ? 1u : 0u;
    uint32_t next = current + 1 >= lineLength ? endNode : 2u * uint32_t(current + 1) + nextLiteral;
    return Move{current, next, literal ? 1u : 0u};
}

[[gnu::always_inline]] inline uint32_t NextOf(uint32_t node) {
    return MoveFrom(int32_t(node >> 1), int(node & 1)).next;
}

// ---- Forms ----------------------------------------------------------------------------------

// The form of the "%" at p, into its class byte; the body start or variable end into the slot
// after it. Reads the run of name units after it; such runs end at the next "%", so all of them
// together read each unit at most once.
void ClassifyForm(int32_t p) {
    int next = Class(p + 1);
    int form = NO_FORM;
    if (next == PERCENT_UNIT) {
        form = LITERAL_PERCENT;
    } else if (next == AT_UNIT && Class(p + 2) == LETTER_UNIT) {
        int32_t q = p + 2;
        while (IsNameClass(Class(q))) ++q;
        if (Class(q) == OPEN_BRACKET_UNIT && Class(q + 1) != END_UNIT)
            form = OPENER_FORM, unitSlots[p + 1] = uint16_t(q + 1);
    } else if (next == LETTER_UNIT || next == NAME_UNIT) {
        int32_t q = p + 1;
        while (IsNameClass(Class(q))) ++q;
        if (Class(q) == OPEN_BRACKET_UNIT && Class(q + 1) != END_UNIT)
            form = OPENER_FORM, unitSlots[p + 1] = uint16_t(q + 1);
        else
            form = PLAIN_VARIABLE, unitSlots[p + 1] = uint16_t(q - 1);
    } else if (next == OPEN_PAREN_UNIT || next == OPEN_BRACKET_UNIT) {
        if (Class(p + 2) == next && Class(p + 3) != END_UNIT)
            form = DOUBLE_OPENER_FORM, unitSlots[p + 1] = uint16_t(p + 3);
        else if (Class(p + 2) != END_UNIT)
            form = OPENER_FORM, unitSlots[p + 1] = uint16_t(p + 2);
    } else if (next == OPEN_BRACE_UNIT) {
        if (Class(p + 2) != END_UNIT) form = OPENER_FORM, unitSlots[p + 1] = uint16_t(p + 2);
    } else if (next == EQUALS_UNIT) {
        form = EQUALS_FORM;
    } else if (next == PLUS_UNIT) {
        form = PLUS_FORM;
    }
    lineUnits[p] = uint8_t((lineUnits[p] & (CLASS_MASK | ESCAPE_FLAG)) | form << FORM_SHIFT);
}

// ---- Pass 1: closers ------------------------------------------------------------------------

NodeRecord Build(int32_t p, int arrivedLiteral, NodeRecord& succ, NodeRecord& chain);

// The stored node (p, 0).
[[gnu::always_inline]] inline NodeRecord Load(int32_t p) {
    const Pass1Tables& t = work.pass1;
    unsigned bits = nodeBits[p >> 2] >> (2 * (p & 3));
    NodeRecord r;
    r.up1 = t.up1[p] == NONE ? NO_NODE : 2u * t.up1[p] + ((bits >> 1) & 1u);
    r.firstBracket[0] = t.firstBracket[0][p];
    r.firstBracket[1] = t.firstBracket[1][p];
    r.firstParen[0] = t.firstParen[0][p];
    r.firstParen[1] = t.firstParen[1][p];
    r.parity = bits & 1u;
    return r;
}

[[gnu::always_inline]] inline void Store(int32_t p, const NodeRecord& r) {
    Pass1Tables& t = work.pass1;
    t.up1[p] = r.up1 == NO_NODE ? NONE : uint16_t(r.up1 >> 1);
    t.firstBracket[0][p] = uint16_t(r.firstBracket[0]);
    t.firstBracket[1][p] = uint16_t(r.firstBracket[1]);
    t.firstParen[0][p] = uint16_t(r.firstParen[0]);
    t.firstParen[1][p] = uint16_t(r.firstParen[1]);
    unsigned bits = r.parity | (r.up1 != NO_NODE ? (r.up1 & 1u) << 1 : 0u);
    int shift = 2 * (p & 3);
    nodeBits[p >> 2] = uint8_t((nodeBits[p >> 2] & ~(3u << shift)) | bits << shift);
}

// Whether both nodes of position p read its unit alike: a unit that is not the escape character
// and that no form, quote or closer rule looks at has the same step and successor either way.
bool ReadsAlike(int32_t p) {
    if (IsEscape(p)) return false;
    switch (Class(p)) {
    case PERCENT_UNIT:
    case QUOTE_UNIT:
    case CLOSE_PAREN_UNIT:
    case CLOSE_BRACKET_UNIT:
    case CLOSE_BRACE_UNIT:
        return false;
    default:
        return true;
    }
}

// Any node's record, from the nodes to the right of the sweep.
NodeRecord Get(uint32_t node) {
    if (node >= recordEndNode) return END_RECORD;
    int32_t p = int32_t(node >> 1);
    if (!(node & 1) || ReadsAlike(p)) return Load(p);
    if (recentLiteralAt[p & 3] == p) return recentLiteral[p & 3];
    // An L = 1 node is looked up from further away only as the up1 of a node whose ")" is the
    // escape character. Its unit, read alike or not, then moves on to (p + 1, 0), which is stored,
    // with a step of 0 or -1: one step, no further lookup.
    NodeRecord succ, chain;
    return Build(p, 1, succ, chain);
}

// Node (p, arrivedLiteral), with the records of its successor and of its ng into succ and chain.
NodeRecord Build(int32_t p, int arrivedLiteral, NodeRecord& succ, NodeRecord& chain) {
    Move move = MoveFrom(p, arrivedLiteral);
    succ = Get(move.next);
    int at = Class(move.current);
    int step = at == OPEN_PAREN_UNIT ? 1 : (at == CLOSE_PAREN_UNIT ? -1 : 0);
    bool toggle = !arrivedLiteral && !IsEscape(p) && Class(p) == QUOTE_UNIT;
    NodeRecord r;
    r.parity = (toggle ? 1u : 0u) ^ succ.parity;
    uint32_t ng;
    if (move.next >= recordEndNode) {
        r.up1 = NO_NODE;
        ng = NO_NODE;
    } else if (step < 0) {
        r.up1 = move.next;
        ng = move.next;
    } else if (step == 0) {
        r.up1 = succ.up1;
        ng = move.next;
    } else {
        r.up1 = succ.up1 == NO_NODE ? NO_NODE : Get(succ.up1).up1;
        ng = succ.up1;
    }
    chain = ng == move.next ? succ : Get(ng);
    r.firstBracket[0] = succ.firstBracket[0];
    r.firstBracket[1] = succ.firstBracket[1];
    r.firstParen[0] = chain.firstParen[0];
    r.firstParen[1] = chain.firstParen[1];
    if (!move.literal) {
        int c = Class(p);
        if (c == CLOSE_BRACKET_UNIT || c == CLOSE_BRACE_UNIT)
            r.firstBracket[r.parity] = uint32_t(p);
        else if (c == CLOSE_PAREN_UNIT)
            r.firstParen[r.parity] = uint32_t(p);
    }
    return r;
}

// The slots of the closer unit at p, from the record of its normal node.
void StoreCloserSlots(int32_t p, const NodeRecord& r, const NodeRecord& succ,
                      const NodeRecord& chain) {
    int c = Class(p);
    if (c == CLOSE_BRACKET_UNIT) {
        uint16_t w = succ.firstBracket[r.parity];
        uint16_t brace = NONE, bracket = NONE;
        if (w != NONE) {
            brace = Class(w) == CLOSE_BRACE_UNIT ? w : work.pass1.nextBrace[w];
            bracket = Class(w) == CLOSE_BRACKET_UNIT ? w : unitSlots[w];
        }
        work.pass1.nextBrace[p] = brace;
        if (Class(p + 1) == CLOSE_BRACKET_UNIT)
            unitSlots[p] = uint16_t(p);
        else
            unitSlots[p] = bracket == NONE ? NONE : unitSlots[bracket];
    } else if (c == CLOSE_BRACE_UNIT) {
        uint16_t w = succ.firstBracket[r.parity];
        unitSlots[p] = w == NONE || Class(w) == CLOSE_BRACKET_UNIT ? w : unitSlots[w];
    } else if (c == CLOSE_PAREN_UNIT) {
        uint16_t w = chain.firstParen[r.parity];
        if (Class(p + 1) == CLOSE_PAREN_UNIT)
            unitSlots[p] = uint16_t(p);
        else
            unitSlots[p] = w == NONE ? NONE : unitSlots[w];
    }
}

// The closer of the opener at p, from the node at its body start.
void FindCloser(int32_t p) {
    int32_t body = unitSlots[p + 1];
    NodeRecord start = Get(2u * uint32_t(body));
    int s = start.parity;
    int kind = Class(p + 1);
    bool twice = Form(p) == DOUBLE_OPENER_FORM;
    uint16_t w;
    if (kind == OPEN_PAREN_UNIT) {
        w = start.firstParen[s];
        if (twice && w != NONE) w = unitSlots[w];
    } else if (kind == OPEN_BRACE_UNIT) {
        w = start.firstBracket[s];
        if (w != NONE && Class(w) == CLOSE_BRACKET_UNIT) w = work.pass1.nextBrace[w];
    } else {
        w = start.firstBracket[s];
        if (w != NONE && Class(w) == CLOSE_BRACE_UNIT) w = unitSlots[w];
        if (twice && w != NONE) w = unitSlots[w];
    }
    unitSlots[p] = w;
}

void FindAllClosers() {
    recordEnd = lineLength;
    while (recordEnd > 0) {
        int c = Class(recordEnd - 1);
        if (c == CLOSE_PAREN_UNIT || c == CLOSE_BRACKET_UNIT || c == CLOSE_BRACE_UNIT) break;
        --recordEnd;
    }
    recordEndNode = 2u * uint32_t(recordEnd);
    for (int32_t& at : recentLiteralAt) at = -1;
    for (int32_t p = lineLength - 1; p >= 0; --p) {
        bool escape = IsEscape(p);
        if (Class(p) == PERCENT_UNIT) {
            ClassifyForm(p);
            int form = Form(p);
            if (form == OPENER_FORM || form == DOUBLE_OPENER_FORM) {
                if (p < recordEnd)
                    FindCloser(p);
                else
                    unitSlots[p] = NONE;
            }
        }
        if (p >= recordEnd) continue;
        NodeRecord succ, chain;
        NodeRecord r = Build(p, 0, succ, chain);
        Store(p, r);
        if (!escape) StoreCloserSlots(p, r, succ, chain);
        // (p, 1): the normal node of the escape character, or a node that a run reaches just
        // after the escape character or "%=".
        if (!ReadsAlike(p) &&
            (escape || (p > 0 && (IsEscape(p - 1) || Class(p - 1) == EQUALS_UNIT)))) {
            NodeRecord literal = Build(p, 1, succ, chain);
            recentLiteral[p & 3] = literal;
            recentLiteralAt[p & 3] = p;
            if (escape) StoreCloserSlots(p, literal, succ, chain);
        }
    }
}

// ---- Pass 2: candidates ---------------------------------------------------------------------

void RecordCandidate(ReferenceSpan& best, int32_t cursor, int32_t first, int32_t last,
                     int32_t depth) {
    if (first <= cursor && last >= cursor - 1 && depth > best.depth)
        best = ReferenceSpan{first, last, depth};
}

// The node of `a` and `b` (both on one path, or the end) that comes first.
uint32_t Nearer(uint32_t a, uint32_t b) {
    return PositionOf(a) <= PositionOf(b) ? a : b;
}

// The stop of the run opened at `opener` (NONE: the whole line).
uint32_t StopOf(uint16_t opener) {
    return opener == NONE ? endNode : CloserNode(unitSlots[opener]);
}

// Forms at a "%" that the run on top walks for the first time at its depth. Gives true when it
// opened a nested run.
bool ReadForms(ReferenceSpan& best, int32_t cursor, int32_t& top) {
    Pass2Tables& t = work.pass2;
    uint32_t node = t.runNode[top];
    int32_t p = int32_t(node >> 1);
    int32_t depth = t.runDepth[top];
    if ((node & 1) != (IsEscape(p) ? 1u : 0u)) return false; // read literally
    switch (Form(p)) {
    case PLAIN_VARIABLE:
        RecordCandidate(best, cursor, p, unitSlots[p + 1], depth + 1);
        return false;
    case EQUALS_FORM:
    case PLUS_FORM:
        RecordCandidate(best, cursor, p, p + 1, depth + 1);
        return false;
    case OPENER_FORM:
    case DOUBLE_OPENER_FORM:
        if (top + 1 >= MAX_RUNS) return false; // cannot happen: see MAX_RUNS
        ++top;
        t.runNode[top] = 2u * unitSlots[p + 1];
        t.runDepth[top] = uint16_t(depth + 1);
        t.runOpener[top] = uint16_t(p);
        return true;
    default:
        return false;
    }
}

ReferenceSpan WalkRuns(int32_t cursor) {
    ReferenceSpan best{-1, -1, -1};
    Pass2Tables& t = work.pass2;
    // A reference qualifies only if its "%" is at or before the caret: walks stop after it.
    int32_t limit = cursor < lineLength ? cursor + 1 : lineLength;
    uint32_t limitNode = 2u * uint32_t(limit);
    for (int plane = 0; plane < 2; ++plane)
        for (int32_t p = 0; p < limit; ++p) t.walkDepth[plane][p] = 0;
    int32_t top = 0;
    t.runNode[0] = 0;
    t.runDepth[0] = 0;
    t.runOpener[0] = NONE;
    for (;;) {
        const int32_t depth = t.runDepth[top];
        const uint16_t opener = t.runOpener[top];
        const uint32_t stop = StopOf(opener);
        const uint16_t stopAt = opener == NONE ? NONE : unitSlots[opener];
        uint32_t v = t.runNode[top];
        bool atPercent = false;
        while (v < limitNode && v != stop) {
            int32_t p = int32_t(v >> 1);
            int plane = int(v & 1);
            if (t.walkDepth[plane][p] > depth) {
                v = Nearer(CloserNode(t.walkStop[plane][p]), stop);
                continue;
            }
            t.walkDepth[plane][p] = uint16_t(depth + 1);
            t.walkStop[plane][p] = stopAt;
            if (Class(p) == PERCENT_UNIT) {
                atPercent = true;
                break;
            }
            v = NextOf(v);
        }
        t.runNode[top] = v;
        if (atPercent) {
            if (!ReadForms(best, cursor, top)) t.runNode[top] = NextOf(v);
            continue;
        }
        // The run ends: closed, it is a reference (recorded here also when the walk stopped at
        // the caret: nothing recorded after that point until its closer could qualify).
        if (stop != endNode) RecordCandidate(best, cursor, opener, CloserLast(opener), depth);
        if (top == 0) break;
        --top;
        t.runNode[top] = NextOf(t.runNode[top]);
    }
    return best;
}

} // namespace

ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line) return none;
    // The classifying pass: one class byte per unit, and the set of classes seen.
    unsigned seen = 0;
    int32_t n = 0;
    while (n < MAX_LINE_LENGTH && line[n] != 0) {
        WCHAR ch = line[n];
        uint8_t unit = uint8_t(ClassOf(ch) | (ch == escape ? ESCAPE_FLAG : 0));
        seen |= 1u << (unit & CLASS_MASK);
        lineUnits[n++] = unit;
    }
    for (int32_t i = 0; i < PADDING; ++i) lineUnits[n + i] = END_UNIT;
    // Every reference starts with "%" at or before the caret.
    if (!(seen & 1u << PERCENT_UNIT) || cursor < 0) return none;
    lineLength = n;
    endNode = 2u * uint32_t(n);
    FindAllClosers();
    ReferenceSpan best = WalkRuns(cursor);
    return best.first < 0 || best.last < 0 ? none : best;
}
