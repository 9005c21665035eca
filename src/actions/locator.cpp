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
// Only nodes with L = 0 are stored, and only those looked up from further away than the next
// position (after a bracket, a brace, a parenthesis, "%%" or "%="): the sweep holds the node it
// built last, and a unit that no rule looks at has the record of the node after it. A run
// reaches an L = 1 node only just after the escape character or "%=": the sweep keeps the last
// few of those in a ring, and the only ones looked up from further away (after a ")" that is
// itself the escape character, when every node is stored) take one step to rebuild from the
// stored node after them. Past the line's last closer unit no run can close: nodes there are the
// line's end, and a line of openers with nothing closed after them builds no record.
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
// its records and pass 2 for its marks and run stack: 999,437 bytes in all (8 KiB more where
// assertions are on), sized for the longest line; a call touches only what its line needs. The
// tables make a call non-reentrant, which suits the host: it calls the plugin on one thread, one
// call at a time.
//
// Time: a line without "%" costs the classifying pass alone. Otherwise pass 1 does a few
// operations per unit that a rule looks at, and pass 2 one mark per node it walks and one push
// per opener read. What remains costly is branching on units in random order (a misprediction
// per unit or two) and lookups far ahead in tables larger than the nearer caches.
#include "locator.h"

#include <assert.h>
#include <string.h>

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

// A node's pass-1 record: what the sweep needs from the nodes to its right. (Plain scalars of
// one width, chosen between by parity with Pick, so that the compiler keeps them in registers.)
struct NodeRecord {
    uint32_t up1;      // next node with D = D(this) + 1, or NO_NODE
    uint32_t bracket0; // first "]" or "}" on the path with parity S = 0, or NONE
    uint32_t bracket1; // ... with S = 1
    uint32_t paren0;   // first ")" on the ng chain with S = 0, or NONE
    uint32_t paren1;   // ... with S = 1
    uint32_t parity;   // S: quote toggles from here to the end, mod 2
};

// Stands for the line's end: no closers onward, parity 0.
constexpr NodeRecord END_RECORD = {NO_NODE, NONE, NONE, NONE, NONE, 0};

uint32_t Pick(uint32_t parity, uint32_t ifZero, uint32_t ifOne) {
    return parity ? ifOne : ifZero;
}

// ---- Static working storage (the line is at most MAX_LINE_LENGTH units) --------------------

// The line as class bytes, END_UNIT after it.
uint8_t lineUnits[SLOTS + PADDING];
// Per position: at an opener's "%" its closer position (the first unit of the closer) or NONE;
// just after a "%" that starts an opener or a variable, the body start or the variable's last
// index; at a closer unit, its slot (see the header comment).
uint16_t unitSlots[SLOTS + PADDING];
// Per position, two bits of the stored node (position, 0): its parity S and the L of its up1.
uint8_t nodeBits[SLOTS / 4 + 1];

// A stored node (p, 0), and at a "]" the next "}" of its parity: one record per position, so
// that a lookup reads one or two cache lines.
struct StoredNode {
    uint16_t up1; // position of up1, or NONE
    uint16_t firstBracket[2];
    uint16_t firstParen[2];
    uint16_t nextBrace;
};

struct Pass1Tables {
    StoredNode nodes[SLOTS];
};

// What pass 2 keeps of a node.
struct WalkMark {
    uint16_t depth; // 1 + greatest depth of a run that walked it, or 0
    uint16_t stop;  // stop of that run: its closer position, or NONE for the end
};

struct Pass2Tables {
    WalkMark walked[2 * SLOTS]; // by node
    uint32_t runNode[MAX_RUNS]; // the runs waiting below the current one: the "%" node of the
                                // opener whose run they wait on
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
// The classes of units after which the node (p, 0) is stored: those after which it may be looked
// up from further away, or all of them.
unsigned storeAfter;
// Whether the escape character can be one of an opener's units after its "%".
bool escapeInOpeners;
#ifndef NDEBUG
// Which nodes (p, 0) are stored, to check that every lookup finds one.
uint8_t storedBits[SLOTS / 8 + 1];
#endif

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
[[gnu::always_inline]] inline void ClassifyForm(int32_t p) {
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

// (The sweep's functions are inlined into it, so that records stay in registers; only a lookup
// from far away of a node that must be rebuilt is a call.)
NodeRecord BuildFar(int32_t p);

// The node the sweep built last, (p + 1, 0): its record is not always stored.
struct LastBuilt {
    NodeRecord record;
    uint32_t node;
};

// The stored node (p, 0).
[[gnu::always_inline]] inline NodeRecord Load(int32_t p) {
#ifndef NDEBUG
    assert(storedBits[p >> 3] & (1u << (p & 7)));
#endif
    const StoredNode& n = work.pass1.nodes[p];
    unsigned bits = nodeBits[p >> 2] >> (2 * (p & 3));
    NodeRecord r;
    r.up1 = n.up1 == NONE ? NO_NODE : 2u * n.up1 + ((bits >> 1) & 1u);
    r.bracket0 = n.firstBracket[0];
    r.bracket1 = n.firstBracket[1];
    r.paren0 = n.firstParen[0];
    r.paren1 = n.firstParen[1];
    r.parity = bits & 1u;
    return r;
}

[[gnu::always_inline]] inline void Store(int32_t p, const NodeRecord& r) {
    StoredNode& n = work.pass1.nodes[p];
    n.up1 = r.up1 == NO_NODE ? NONE : uint16_t(r.up1 >> 1);
    n.firstBracket[0] = uint16_t(r.bracket0);
    n.firstBracket[1] = uint16_t(r.bracket1);
    n.firstParen[0] = uint16_t(r.paren0);
    n.firstParen[1] = uint16_t(r.paren1);
    unsigned bits = r.parity | (r.up1 != NO_NODE ? (r.up1 & 1u) << 1 : 0u);
    int shift = 2 * (p & 3);
    nodeBits[p >> 2] = uint8_t((nodeBits[p >> 2] & ~(3u << shift)) | bits << shift);
#ifndef NDEBUG
    storedBits[p >> 3] = uint8_t(storedBits[p >> 3] | 1u << (p & 7));
#endif
}

// Whether both nodes of position p read its unit alike: a unit that is not the escape character
// and that no form, quote or closer rule looks at has the same step and successor either way.
// The units that a form, quote or closer rule looks at.
constexpr unsigned LOOKED_AT = 1u << PERCENT_UNIT | 1u << QUOTE_UNIT | 1u << CLOSE_PAREN_UNIT |
                               1u << CLOSE_BRACKET_UNIT | 1u << CLOSE_BRACE_UNIT;

[[gnu::always_inline]] inline bool ReadsAlike(int32_t p) {
    uint8_t unit = lineUnits[p];
    return !(unit & ESCAPE_FLAG) && !(LOOKED_AT & 1u << (unit & CLASS_MASK));
}

// Any node's record, from the nodes to the right of the sweep.
[[gnu::always_inline]] inline NodeRecord Get(uint32_t node, const LastBuilt& last) {
    if (node >= recordEndNode) return END_RECORD;
    int32_t p = int32_t(node >> 1);
    if ((node & 1) && ReadsAlike(p)) node &= ~1u;
    if (node == last.node) return last.record;
    if (!(node & 1)) return Load(p);
    if (recentLiteralAt[p & 3] == p) return recentLiteral[p & 3];
    // An L = 1 node is looked up from further away only as the up1 of a node whose ")" is the
    // escape character. Its unit, read alike or not, then moves on to (p + 1, 0), which is stored,
    // with a step of 0 or -1: one step, no further lookup.
    return BuildFar(p);
}

// Node (p, arrivedLiteral). Into `shadowed`: where the node shows a closer, the first closer of
// the same group and parity after it (the one it hides from the nodes to its left).
[[gnu::always_inline]] inline NodeRecord Build(int32_t p, int arrivedLiteral, const LastBuilt& last,
                                               uint32_t& shadowed) {
    Move move = MoveFrom(p, arrivedLiteral);
    NodeRecord succ = Get(move.next, last);
    int at = Class(move.current);
    bool toggle = !arrivedLiteral && !IsEscape(p) && Class(p) == QUOTE_UNIT;
    NodeRecord r = succ;
    r.parity = (toggle ? 1u : 0u) ^ succ.parity;
    // The count: up1 and the ng chain, whose firstParen this node takes.
    if (move.next >= recordEndNode) {
        r.up1 = NO_NODE;
    } else if (at == CLOSE_PAREN_UNIT) {
        r.up1 = move.next; // ng is the successor
    } else if (at == OPEN_PAREN_UNIT) {
        uint32_t ng = succ.up1;
        NodeRecord chain = Get(ng, last);
        r.up1 = chain.up1;
        r.paren0 = chain.paren0;
        r.paren1 = chain.paren1;
    }
    shadowed = NONE;
    if (!move.literal) {
        int c = Class(p);
        if (c == CLOSE_BRACKET_UNIT || c == CLOSE_BRACE_UNIT) {
            shadowed = Pick(r.parity, r.bracket0, r.bracket1);
            if (r.parity)
                r.bracket1 = uint32_t(p);
            else
                r.bracket0 = uint32_t(p);
        } else if (c == CLOSE_PAREN_UNIT) {
            shadowed = Pick(r.parity, r.paren0, r.paren1);
            if (r.parity)
                r.paren1 = uint32_t(p);
            else
                r.paren0 = uint32_t(p);
        }
    }
    return r;
}

[[gnu::noinline]] NodeRecord BuildFar(int32_t p) {
    uint32_t shadowed;
    return Build(p, 1, LastBuilt{END_RECORD, NO_NODE}, shadowed);
}

// The slots of the closer unit at p read normally, from the first closer of its group and
// parity after it (see Build).
[[gnu::always_inline]] inline void StoreCloserSlots(int32_t p, uint32_t shadowed) {
    int c = Class(p);
    uint16_t w = uint16_t(shadowed);
    if (c == CLOSE_BRACKET_UNIT) {
        uint16_t brace = NONE, bracket = NONE;
        if (w != NONE) {
            brace = Class(w) == CLOSE_BRACE_UNIT ? w : work.pass1.nodes[w].nextBrace;
            bracket = Class(w) == CLOSE_BRACKET_UNIT ? w : unitSlots[w];
        }
        work.pass1.nodes[p].nextBrace = brace;
        if (Class(p + 1) == CLOSE_BRACKET_UNIT)
            unitSlots[p] = uint16_t(p);
        else
            unitSlots[p] = bracket == NONE ? NONE : unitSlots[bracket];
    } else if (c == CLOSE_BRACE_UNIT) {
        unitSlots[p] = w == NONE || Class(w) == CLOSE_BRACKET_UNIT ? w : unitSlots[w];
    } else if (c == CLOSE_PAREN_UNIT) {
        if (Class(p + 1) == CLOSE_PAREN_UNIT)
            unitSlots[p] = uint16_t(p);
        else
            unitSlots[p] = w == NONE ? NONE : unitSlots[w];
    }
}

// The closer of the opener at p, from the node at its body start.
[[gnu::always_inline]] inline void FindCloser(int32_t p, const LastBuilt& last) {
    int32_t body = unitSlots[p + 1];
    NodeRecord start = Get(2u * uint32_t(body), last);
    int kind = Class(p + 1);
    bool twice = Form(p) == DOUBLE_OPENER_FORM;
    uint16_t w;
    if (kind == OPEN_PAREN_UNIT) {
        w = uint16_t(Pick(start.parity, start.paren0, start.paren1));
        if (twice && w != NONE) w = unitSlots[w];
    } else if (kind == OPEN_BRACE_UNIT) {
        w = uint16_t(Pick(start.parity, start.bracket0, start.bracket1));
        if (w != NONE && Class(w) == CLOSE_BRACKET_UNIT) w = work.pass1.nodes[w].nextBrace;
    } else {
        w = uint16_t(Pick(start.parity, start.bracket0, start.bracket1));
        if (w != NONE && Class(w) == CLOSE_BRACE_UNIT) w = unitSlots[w];
        if (twice && w != NONE) w = unitSlots[w];
    }
    unitSlots[p] = w;
}

// The units after which the node (p, 0) may be looked up from further away than p - 1: a body
// starts after "(", "[" or "{"; a closed opener goes on after its closer unit, and the counts'
// up1 after a ")". Besides, "%%" and "%=" go on two units later (see NeedsStore; after "%=" the
// node (p, 1) is looked up, which is (p, 0) where both read their unit alike).
constexpr unsigned LOOKED_UP_AFTER = 1u << OPEN_PAREN_UNIT | 1u << OPEN_BRACKET_UNIT |
                                     1u << OPEN_BRACE_UNIT | 1u << CLOSE_PAREN_UNIT |
                                     1u << CLOSE_BRACKET_UNIT | 1u << CLOSE_BRACE_UNIT;

// A unit that is not the escape character and that no rule of pass 1 looks at: its node (p, 0)
// has the same record as the node after it, and its node (p, 1) reads it alike.
constexpr unsigned NOT_PLAIN = LOOKED_AT | 1u << OPEN_PAREN_UNIT;

[[gnu::always_inline]] inline bool IsPlain(uint8_t unit) {
    return !(unit & ESCAPE_FLAG) && !(NOT_PLAIN & 1u << (unit & CLASS_MASK));
}

[[gnu::always_inline]] inline bool NeedsStore(int32_t p) {
    if (p == 0) return false;
    int before = Class(p - 1);
    if (storeAfter & 1u << before) return true;
    return p >= 2 && (before == PERCENT_UNIT || before == EQUALS_UNIT) &&
           Class(p - 2) == PERCENT_UNIT;
}

// Whether the "%" at p, read normally, goes on further than p + 1: "%%", "%=" or a closed opener.
[[gnu::always_inline]] inline bool MovesFar(int32_t p) {
    if (Class(p) != PERCENT_UNIT) return false;
    int form = Form(p);
    return form == LITERAL_PERCENT || form == EQUALS_FORM ||
           ((form == OPENER_FORM || form == DOUBLE_OPENER_FORM) && unitSlots[p] != NONE);
}

[[gnu::always_inline]] inline void ClassifyAndClose(int32_t p, const LastBuilt& last) {
    ClassifyForm(p);
    int form = Form(p);
    if (form == OPENER_FORM || form == DOUBLE_OPENER_FORM) {
        if (p < recordEnd)
            FindCloser(p, last);
        else
            unitSlots[p] = NONE;
    }
}

void FindAllClosers(WCHAR escape) {
    recordEndNode = 2u * uint32_t(recordEnd);
    // Past the last closer unit only the forms are needed.
    for (int32_t p = lineLength - 1; p >= recordEnd; --p)
        if (Class(p) == PERCENT_UNIT) ClassifyAndClose(p, LastBuilt{END_RECORD, NO_NODE});
    // An escape character that a rule looks at can make an L = 1 node the up1 of a node further
    // left (a ")" read literally); such lines store every node.
    bool storeEveryNode =
        escape < 0x80 && ClassOf(escape) != OTHER_UNIT && !IsNameClass(ClassOf(escape));
    storeAfter = storeEveryNode ? ~0u : LOOKED_UP_AFTER;
    int escapeClass = ClassOf(escape);
    escapeInOpeners = IsNameClass(escapeClass) || escapeClass == AT_UNIT ||
                      escapeClass == OPEN_PAREN_UNIT || escapeClass == OPEN_BRACKET_UNIT ||
                      escapeClass == OPEN_BRACE_UNIT;
    for (int32_t& at : recentLiteralAt) at = -1;
#ifndef NDEBUG
    for (int32_t i = 0; i <= recordEnd / 8; ++i) storedBits[i] = 0;
#endif
    LastBuilt last{END_RECORD, recordEndNode};
    for (int32_t p = recordEnd - 1; p >= 0; --p) {
        uint8_t unit = lineUnits[p];
        if (IsPlain(unit)) {
            if (NeedsStore(p)) Store(p, last.record);
            last.node = 2u * uint32_t(p);
            continue;
        }
        bool escape = (unit & ESCAPE_FLAG) != 0;
        int c = unit & CLASS_MASK;
        uint32_t shadowed = NONE;
        NodeRecord r;
        if (c == PERCENT_UNIT) ClassifyAndClose(p, last);
        if (!escape && !MovesFar(p)) {
            // Build for a unit read normally that moves on to (p + 1, 0), the node built last.
            r = last.record;
            switch (c) {
            case QUOTE_UNIT:
                r.parity ^= 1u;
                break;
            case PERCENT_UNIT: // a form that goes on at p + 1 shows nothing
                break;
            case CLOSE_BRACKET_UNIT:
            case CLOSE_BRACE_UNIT:
                shadowed = Pick(r.parity, r.bracket0, r.bracket1);
                (r.parity ? r.bracket1 : r.bracket0) = uint32_t(p);
                break;
            case CLOSE_PAREN_UNIT:
                r.up1 = p + 1 < recordEnd ? 2u * uint32_t(p + 1) : NO_NODE;
                shadowed = Pick(r.parity, r.paren0, r.paren1);
                (r.parity ? r.paren1 : r.paren0) = uint32_t(p);
                break;
            default: { // "("
                NodeRecord chain = Get(r.up1, last);
                r.up1 = chain.up1;
                r.paren0 = chain.paren0;
                r.paren1 = chain.paren1;
                break;
            }
            }
            StoreCloserSlots(p, shadowed);
        } else {
            r = Build(p, 0, last, shadowed);
            if (!escape) StoreCloserSlots(p, shadowed);
        }
        // (p, 1): the normal node of the escape character, or a node that a run reaches just
        // after the escape character or "%=".
        if (!ReadsAlike(p) &&
            (escape || (p > 0 && (IsEscape(p - 1) || Class(p - 1) == EQUALS_UNIT)))) {
            NodeRecord literal = Build(p, 1, last, shadowed);
            recentLiteral[p & 3] = literal;
            recentLiteralAt[p & 3] = p;
            if (escape) StoreCloserSlots(p, shadowed);
        }
        if (NeedsStore(p)) Store(p, r);
        last.record = r;
        last.node = 2u * uint32_t(p);
    }
}

// ---- Pass 2: candidates ---------------------------------------------------------------------

void RecordCandidate(ReferenceSpan& best, int32_t cursor, int32_t first, int32_t last,
                     int32_t depth) {
    if (first <= cursor && last >= cursor - 1 && depth > best.depth)
        best = ReferenceSpan{first, last, depth};
}

// The node of `a` and `b` (both on one path, or the end) that comes first: a path holds one node
// of a position, and every node past the last position is the end.
uint32_t Nearer(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

// Whether a run that reads the units of the unclosed opener at p again as text goes straight on
// to the node its body run started at: so it does unless one of them is the escape character.
// (They are "(", "[", "{", "@" and name units: no form, closer or quote.)
bool OpenerReadsOn(int32_t p) {
    if (!escapeInOpeners) return true;
    for (int32_t q = p + 1; q < unitSlots[p + 1]; ++q)
        if (IsEscape(q)) return false;
    return true;
}

// The run being walked; the runs below it wait on the stack at their opener's "%".
struct Run {
    uint32_t node;   // where it stands
    int32_t depth;   // 0 for the whole line
    uint16_t opener; // position of its "%", or NONE for the whole line
    uint16_t stopAt; // its closer position, or NONE: it stops at the end
    uint32_t stop;   // the node of its closer, or the end node
};

[[gnu::always_inline]] inline Run RunOf(uint32_t node, int32_t depth, uint16_t opener) {
    uint16_t stopAt = opener == NONE ? NONE : unitSlots[opener];
    return Run{node, depth, opener, stopAt, CloserNode(stopAt)};
}

ReferenceSpan WalkRuns(int32_t cursor) {
    ReferenceSpan best{-1, -1, -1};
    Pass2Tables& t = work.pass2;
    // A reference qualifies only if its "%" is at or before the caret: walks stop after it.
    int32_t limit = cursor < lineLength ? cursor + 1 : lineLength;
    uint32_t limitNode = 2u * uint32_t(limit);
    memset(t.walked, 0, limitNode * sizeof(WalkMark));
    int32_t top = 0; // runs waiting below the current one
    Run run = RunOf(0, 0, NONE);
    for (;;) {
        // Walk until a "%", the stop, the caret or the end.
        uint32_t v = run.node;
        while (v < limitNode && v != run.stop) {
            WalkMark& mark = t.walked[v];
            if (mark.depth > run.depth) {
                v = Nearer(CloserNode(mark.stop), run.stop);
                continue;
            }
            mark = WalkMark{uint16_t(run.depth + 1), run.stopAt};
            uint8_t unit = lineUnits[v >> 1];
            if ((unit & CLASS_MASK) == PERCENT_UNIT) break;
            // Any other unit moves on to the next position, literally only after the escape
            // character read normally (a position past the end is the end).
            v = (v | 1u) + 1u + ((unit >> 4) & 1u & ~v);
        }
        if (v < limitNode && v != run.stop) {
            // A "%" walked for the first time at this depth: its forms, unless read literally.
            int32_t p = int32_t(v >> 1);
            int form = (v & 1) == (IsEscape(p) ? 1u : 0u) ? Form(p) : NO_FORM;
            if (form == PLAIN_VARIABLE)
                RecordCandidate(best, cursor, p, unitSlots[p + 1], run.depth + 1);
            else if (form == EQUALS_FORM || form == PLUS_FORM)
                RecordCandidate(best, cursor, p, p + 1, run.depth + 1);
            if ((form == OPENER_FORM || form == DOUBLE_OPENER_FORM) && top + 1 < MAX_RUNS) {
                // (The stack cannot fill: see MAX_RUNS.)
                t.runNode[top] = v;
                t.runDepth[top] = uint16_t(run.depth);
                t.runOpener[top] = run.opener;
                ++top;
                run = RunOf(2u * unitSlots[p + 1], run.depth + 1, uint16_t(p));
            } else {
                run.node = NextOf(v);
            }
            continue;
        }
        // The run ends: closed, it is a reference (recorded here also when the walk stopped at
        // the caret: nothing recorded after that point until its closer could qualify). Then the
        // run below it goes on after the opener: after its closer, or reading the opener's units
        // again when it has none. Those units lead back to where the ended run started; if a run
        // as deep walked on from there to the end or the caret, this one ends as well, and so on
        // down the stack.
        for (;;) {
            if (run.stopAt != NONE)
                RecordCandidate(best, cursor, run.opener, CloserLast(run.opener), run.depth);
            if (top == 0) return best;
            --top;
            Run below = RunOf(t.runNode[top], t.runDepth[top], t.runOpener[top]);
            if (run.stopAt != NONE || !OpenerReadsOn(run.opener)) {
                below.node = NextOf(below.node);
                run = below;
                break;
            }
            uint32_t body = 2u * unitSlots[run.opener + 1];
            if (body < limitNode) {
                const WalkMark& mark = t.walked[body];
                if (mark.depth <= below.depth || mark.stop != NONE) {
                    below.node = body;
                    run = below;
                    break;
                }
            }
            run = below;
        }
    }
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
    // One past the last closer unit: pass 1 builds no record from there on.
    constexpr unsigned CLOSERS =
        1u << CLOSE_PAREN_UNIT | 1u << CLOSE_BRACKET_UNIT | 1u << CLOSE_BRACE_UNIT;
    recordEnd = seen & CLOSERS ? n : 0;
    while (recordEnd > 0 && !(CLOSERS & 1u << Class(recordEnd - 1))) --recordEnd;
    FindAllClosers(escape);
    ReferenceSpan best = WalkRuns(cursor);
    return best.first < 0 || best.last < 0 ? none : best;
}
