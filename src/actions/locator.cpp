// The reference locator: which variable or function reference the caret is in.
//
// Its result is defined by the recursive loop of tests/models/reference_locator.cpp: one run of
// a character loop per reference body, which records candidates, recurses into every opener it
// recognises, and reads the text of an opener without a closer again as ordinary text; the
// deepest candidate around the caret wins, the first recorded among equals. Done literally that
// costs time exponential in the nested unclosed openers. This file gives the same result in
// time that grows with the line's length alone (see Time below) and without recursion, in three
// passes over static tables:
//   classify  (LocateReference)  a class byte per unit, and the form of every "%";
//   closers   (FindAllClosers)   right to left: where every opener's run stops;
//   gains     (GainSearch)       right to left: the best depth a run can reach from each node,
//                                and which candidate reaches it first; where some run stops
//                                before the caret, one descent, left to right, finds that one.
// Each pass is explained above the function that does it.
//
// Glossary: the notation of the comments, and the fields that hold it.
//   node v       (position, L): a run's state on arriving at a unit, L its literal flag; held as
//                2 * position + L. Every node has one successor, further right (MoveFrom), so
//                the walks of all runs are paths in one graph, and runs that meet walk on as one.
//   normal node  the node of a position that reads its unit normally: L = 0, or L = 1 when the
//                unit is the escape character (IsNormalNode). Only it shows forms and closers;
//                the other shows at most a parenthesis step.
//   stop         where an opener's run ends: the normal node of its closer, whose position
//                unitSlots holds at the opener's "%" (NONE: the run reaches the line's end).
//   S(v)         the parity of the quote toggles from v to the line's end along v's path:
//                NodeRecord::parity; bit 0 of nodeBits for a stored node.
//   D(v)         the sum of the parenthesis steps from v to the end ("(" +1, ")" -1): a run
//                from b has at w the count max(D over b..w) - D(w).
//   ng(v)        the next node with D >= D(v), where a run from v is back at count 0.
//   up1(v)       the next node with D = D(v) + 1: NodeRecord::up1, or StoredNode::up1 with bit
//                1 of nodeBits as its L.
//   gain(v)      the greatest depth, relative to the run that walks v, of a candidate that it
//                or the runs it opens record from v up to the walks' limit: GainTables::gain.
//
// A short line through the passes: "x%[a%b]", caret at 5 (before the "b").
//   classify  the "%" at 1 opens a bracket whose body starts at 3; the one at 4 is the plain
//             variable 4..5.
//   closers   the "]" at 6 is the first closer of parity 0 on the path of node (3, 0), so the
//             bracket's run stops there: unitSlots[1] = 6.
//   gains     the last "%" that records around the caret is the variable's, so the sweep starts
//             at 4: gain 1 there, its winner itself, then the same at 3 and 2; the bracket closes
//             past the caret, so no run stops before it: its own candidate counts (1), and its
//             body's gain makes 2, with the body's winner: gain 2 at 1 and at 0, winner 4.
//             The result: 4..5 at depth 2. (Had the bracket closed before the caret, a descent
//             from (0, 0) would have found the same: into the body at 1, the variable at 4.)
//
// Storage: per unit a class byte, a 16-bit slot, two bits, and 12 bytes that pass 1 uses for its
// records and pass 2 for its gains: TABLE_BYTES in all (16 KiB more where assertions are on),
// sized for the longest line; a call touches only what its line needs. The tables make a call
// non-reentrant, which suits the host: it calls the plugin on one thread, one call at a time.
//
// Time: a line without "%" costs the classifying pass alone. Otherwise pass 1 does a few
// operations per unit that a rule looks at; pass 2 a few per unit up to the last "%" that records
// around the caret, one per node the descent (if any) crosses, and per opener that closes before
// the caret a few jumps up the tree of closers (LinkCloser: at most logarithmic in the closers its
// body crosses, one or two on the lines people type). Where assertions are live the steps are
// counted, and a call is held to MAX_LOCATOR_WORK_PER_UNIT steps per unit (LocatorWork).
#include "locator.h"

#include <assert.h>

#include "../platform/widetext.h"

namespace {

// ---- Units ----------------------------------------------------------------------------------

// What the locator needs to know of a unit. The name units are LETTER_UNIT (a letter),
// NAME_UNIT (a digit, "_" or another letter-or-digit) and DOLLAR_UNIT.
// The classes that no rule looks at come first, so that one comparison of a class byte tells
// them (see IsQuiet).
enum UnitClass : uint8_t {
    OTHER_UNIT,
    LETTER_UNIT,
    NAME_UNIT,
    DOLLAR_UNIT,
    AT_UNIT,
    EQUALS_UNIT,
    PLUS_UNIT,
    PERCENT_UNIT, // the first class a rule looks at
    QUOTE_UNIT,
    OPEN_PAREN_UNIT,
    CLOSE_PAREN_UNIT,
    OPEN_BRACKET_UNIT,
    CLOSE_BRACKET_UNIT,
    OPEN_BRACE_UNIT,
    CLOSE_BRACE_UNIT,
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

// What the rules look at in each class (ORDER UnitClass):
//   SHOWS    read normally, a form, quote or closer rule looks at it;
//   COUNTS   a parenthesis step;
//   RESUMES  a run may arrive just after it from further away than the unit before: a body
//            starts after an opener's unit, a run goes on after a closed opener's closer, and a
//            count's up1 lies after a ")";
//   CLOSES   a closer unit, where a run can stop.
enum ClassRule : uint8_t { SHOWS = 1, COUNTS = 2, RESUMES = 4, CLOSES = 8 };
constexpr uint8_t CLASS_RULES[] = {
    0,                                 // OTHER_UNIT
    0,                                 // LETTER_UNIT
    0,                                 // NAME_UNIT
    0,                                 // DOLLAR_UNIT
    0,                                 // AT_UNIT
    0,                                 // EQUALS_UNIT
    0,                                 // PLUS_UNIT
    SHOWS,                             // PERCENT_UNIT
    SHOWS,                             // QUOTE_UNIT
    COUNTS | RESUMES,                  // OPEN_PAREN_UNIT
    SHOWS | COUNTS | RESUMES | CLOSES, // CLOSE_PAREN_UNIT
    RESUMES,                           // OPEN_BRACKET_UNIT
    SHOWS | RESUMES | CLOSES,          // CLOSE_BRACKET_UNIT
    RESUMES,                           // OPEN_BRACE_UNIT
    SHOWS | RESUMES | CLOSES,          // CLOSE_BRACE_UNIT
    0,                                 // END_UNIT
};
static_assert(sizeof CLASS_RULES == END_UNIT + 1, "one row per class");

constexpr unsigned ClassesWith(unsigned rules) {
    unsigned classes = 0;
    for (unsigned c = 0; c < sizeof CLASS_RULES; ++c)
        if (CLASS_RULES[c] & rules) classes |= 1u << c;
    return classes;
}

// The units that a form, quote or closer rule looks at.
constexpr unsigned LOOKED_AT = ClassesWith(SHOWS);
// The units after which the node (p, 0) may be looked up from further away than p - 1 (and "%%"
// and "%=", which go on two units later: see NeedsStore).
constexpr unsigned LOOKED_UP_AFTER = ClassesWith(RESUMES);
// The units that are not plain: a plain unit (not the escape character either) has the record of
// the node after it, and both its nodes read it alike.
constexpr unsigned NOT_PLAIN = ClassesWith(SHOWS | COUNTS);
constexpr unsigned CLOSERS = ClassesWith(CLOSES);
// The units whose normal node pass 2 keeps, besides the escape character.
constexpr unsigned KEPT_CLASSES = CLOSERS | 1u << PERCENT_UNIT;
// The quiet units: the classes before PERCENT_UNIT, no rule looks at them and no run resumes
// after them.
constexpr unsigned QUIET_CLASSES = (1u << PERCENT_UNIT) - 1;
static_assert((ClassesWith(SHOWS | COUNTS | RESUMES | CLOSES) & QUIET_CLASSES) == 0,
              "no rule looks at a quiet class");

// ---- Limits and markers ---------------------------------------------------------------------

// One entry per position of the longest line and one for its end.
constexpr int32_t SLOTS = MAX_LINE_LENGTH + 1;
static_assert(SLOTS % 8 == 0, "the bit tables hold whole bytes");
// Units read past a position: up to three ("%((" and the unit after it).
constexpr int32_t PADDING = 4;
// No position: the positions kept in tables are a unit's, below MAX_LINE_LENGTH, so 16 bits hold
// them and this.
constexpr uint16_t NONE = 0xFFFF;
static_assert(MAX_LINE_LENGTH <= NONE, "a unit's position must fit in 16 bits below NONE");
// A node is 2 * position + L; a node at or past 2 * lineLength is the line's end.
constexpr uint32_t NO_NODE = 0xFFFFFFFF;
static_assert(2 * uint64_t(SLOTS + PADDING) < NO_NODE, "a node must fit below NO_NODE");
// Depths and gains: runs nest at most once per two units ("%(" and a unit is the shortest
// opener), so they stay below MAX_LINE_LENGTH / 2 + 1 and fit in 16 bits.
static_assert(MAX_LINE_LENGTH / 2 + 1 < NONE, "a gain must fit in 16 bits");

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
// index; at a closer unit, its slot (see StoreCloserSlots).
uint16_t unitSlots[SLOTS + PADDING];
// Per position, two bits of the stored node (position, 0): its parity S and the L of its up1.
uint8_t nodeBits[SLOTS / 4 + 1];

// A stored node (p, 0) in two records by position: its count's fields, and its brackets' with,
// at a "]", the next "}" of its parity. The lookups from far away are mostly a "("'s of its up1,
// which reads the count's fields alone: apart, they lie in a table half the size, which on long
// lines of random text stays in the cache more often.
struct StoredNode {
    uint16_t up1; // position of up1, or NONE
    uint16_t firstParen[2];
};
struct StoredBrackets {
    uint16_t firstBracket[2];
    uint16_t nextBrace;
};

struct Pass1Tables {
    StoredNode nodes[SLOTS];
    StoredBrackets brackets[SLOTS];
};

// Pass 2's tables, by position: of the position's normal node where the position is kept (see
// IsKept), and `forward` of every position.
// Where the normal node is no closer, `stretch` is the greatest own gain from it up to the next
// closer node and `link` that closer's position; at a closer they are its jump (see LinkCloser).
struct GainTables {
    uint16_t gain[SLOTS];    // gain(v), 0 when no candidate qualifies
    uint16_t forward[SLOTS]; // where the nodes of p that hold nothing lead (see Holder)
    uint16_t stretch[SLOTS]; // the greatest own gain up to the next closer, or jumped over
    uint16_t link[SLOTS];    // the next closer, or where the jump lands; NONE: none
    uint16_t span[SLOTS];    // at a closer: the closers its jump crosses (see LinkCloser)
    union {
        // With stops: at a "%", its own gain (see OwnGain); at a closer, its depth in the tree
        // of closers, the closers after it on its path. (A "%" is no closer, so the two share.)
        uint16_t ownOrDepth[SLOTS];
        // Without stops: the "%" whose candidate is the first at the gain from here (see
        // SweepGains), or NONE.
        uint16_t winner[SLOTS];
    };
};
static_assert(sizeof(GainTables) <= sizeof(Pass1Tables), "pass 2 lives in pass 1's room");

// Pass 2 starts when pass 1 is done with its records, so the two share their tables.
union Workspace {
    Pass1Tables pass1;
    GainTables gains;
} work;

constexpr size_t TABLE_BYTES = sizeof lineUnits + sizeof unitSlots + sizeof nodeBits + sizeof work;
static_assert(TABLE_BYTES == 999437, "the size the header states");

int32_t lineLength;
uint32_t endNode;
// One past the line's last closer unit: nodes from there on are the line's end to pass 1.
int32_t recordEnd;
// The line's first closer unit, or lineLength: pass 1 finds it, pass 2 needs no stops before it.
int32_t firstCloser;
uint32_t recordEndNode;

// The last L = 1 nodes the sweep built, by position modulo 4.
NodeRecord recentLiteral[4];
int32_t recentLiteralAt[4];
// The classes of units after which the node (p, 0) is stored: those after which it may be looked
// up from further away, or all of them.
unsigned storeAfter;
#ifndef NDEBUG
// Which nodes (p, 0) are stored, to check that every lookup finds one.
uint8_t storedBits[SLOTS / 8];
// The steps of constant cost the current call took: positions classified and swept, records
// rebuilt from far away, closers crossed by the stop queries, nodes crossed by the descent.
uint64_t workDone;
#define COUNT_WORK(steps) (workDone += uint64_t(steps))
#else
#define COUNT_WORK(steps) ((void)0)
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
// Index of the last unit of the reference opened at the "%" at p (closed).
int32_t CloserLast(int32_t p) {
    return unitSlots[p] + (Form(p) == DOUBLE_OPENER_FORM ? 1 : 0);
}

// Whether the passes look for quiet runs to cross at once: only on lines at least three quarters
// quiet, so that on text dense with rules the check costs no mispredicted branch per unit.
bool skipQuiet;

// Whether the unit is quiet and not the escape character: its class byte then holds no flag and
// no form, so the byte alone is below PERCENT_UNIT.
[[gnu::always_inline]] inline bool IsQuiet(uint8_t unit) {
    return unit < PERCENT_UNIT;
}

// The eight class bytes that end at p (p >= 7), as one little-endian word: the byte at p is the
// highest, so the highest marked byte of a word is the last marked position.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "class bytes are read as words");
[[gnu::always_inline]] inline uint64_t WordEndingAt(int32_t p) {
    uint64_t word;
    __builtin_memcpy(&word, lineUnits + p - 7, sizeof word);
    return word;
}

// The last position at or before p whose unit is not quiet, or -1. Text that no rule looks at is
// crossed eight class bytes at a time: adding 0x80 - PERCENT_UNIT to a byte's low seven bits
// sets its high bit exactly when they reach PERCENT_UNIT, and a byte of 0x80 or more has it set
// already; no sum carries into the next byte. The highest byte with its bit set, in the word
// that ends at p, is the last loud position.
[[gnu::always_inline]] inline int32_t LastNotQuiet(int32_t p) {
    if (p < 0 || !IsQuiet(lineUnits[p])) return p;
    constexpr uint64_t ONES = 0x0101010101010101u;
    for (; p >= 7; p -= 8) {
        uint64_t word = WordEndingAt(p);
        uint64_t loud =
            (((word & 0x7F * ONES) + (0x80 - PERCENT_UNIT) * ONES) | word) & 0x80 * ONES;
        if (loud) return p - __builtin_clzll(loud) / 8;
    }
    while (p >= 0 && IsQuiet(lineUnits[p])) --p;
    return p;
}

// The last position at or before p whose unit is a "%", or -1. On mostly quiet lines eight class
// bytes at a time, with one branch per word: a byte's class bits xor PERCENT_UNIT are zero exactly
// at a "%", and adding 0x7F to a byte's low seven bits sets its high bit exactly when they are
// not zero (no sum carries into the next byte). Elsewhere a unit at a time: where "%"s are near,
// the word search's chain of dependent loads costs more than the units it skips.
[[gnu::always_inline]] inline int32_t PreviousPercent(int32_t p) {
    constexpr uint64_t ONES = 0x0101010101010101u;
    for (; skipQuiet && p >= 7; p -= 8) {
        uint64_t other = (WordEndingAt(p) & CLASS_MASK * ONES) ^ PERCENT_UNIT * ONES;
        uint64_t percents = ~(((other & 0x7F * ONES) + 0x7F * ONES) | other) & 0x80 * ONES;
        if (percents) return p - __builtin_clzll(percents) / 8;
    }
    while (p >= 0 && Class(p) != PERCENT_UNIT) --p;
    return p;
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
    const StoredBrackets& b = work.pass1.brackets[p];
    unsigned bits = nodeBits[p >> 2] >> (2 * (p & 3));
    NodeRecord r;
    r.up1 = n.up1 == NONE ? NO_NODE : 2u * n.up1 + ((bits >> 1) & 1u);
    r.bracket0 = b.firstBracket[0];
    r.bracket1 = b.firstBracket[1];
    r.paren0 = n.firstParen[0];
    r.paren1 = n.firstParen[1];
    r.parity = bits & 1u;
    return r;
}

[[gnu::always_inline]] inline void Store(int32_t p, const NodeRecord& r) {
    StoredNode& n = work.pass1.nodes[p];
    StoredBrackets& b = work.pass1.brackets[p];
    n.up1 = r.up1 == NO_NODE ? NONE : uint16_t(r.up1 >> 1);
    b.firstBracket[0] = uint16_t(r.bracket0);
    b.firstBracket[1] = uint16_t(r.bracket1);
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

// The rule of pass 1 at the node of p whose successor is `next`, with record `r`: the quote
// toggle, the count (up1 and the ng chain, whose firstParen the node takes, from the unit `at`
// that gets the bookkeeping) and the closer it shows: `shown` is the class of p, or OTHER_UNIT
// where the unit is read literally (a register the caller has, as a store may change the class
// byte and the compiler would read it again). Into
// `shadowed`: where the node shows a closer, the first closer of the same group and parity after
// it (the one it hides from the nodes to its left).
[[gnu::always_inline]] inline NodeRecord Step(int32_t p, int at, bool toggles, int shown,
                                              uint32_t next, NodeRecord r, const LastBuilt& last,
                                              uint32_t& shadowed) {
    // (Where the successor is the line's end to pass 1, r is END_RECORD: up1 is NO_NODE, and so
    // is the up1 a "(" takes from it.)
    if (toggles) r.parity ^= 1u;
    if (at == CLOSE_PAREN_UNIT) {
        r.up1 = next < recordEndNode ? next : NO_NODE; // ng is the successor
    } else if (at == OPEN_PAREN_UNIT) {
        NodeRecord chain = Get(r.up1, last);
        r.up1 = chain.up1;
        r.paren0 = chain.paren0;
        r.paren1 = chain.paren1;
    }
    shadowed = NONE;
    if (shown == CLOSE_BRACKET_UNIT || shown == CLOSE_BRACE_UNIT) {
        shadowed = Pick(r.parity, r.bracket0, r.bracket1);
        (r.parity ? r.bracket1 : r.bracket0) = uint32_t(p);
    } else if (shown == CLOSE_PAREN_UNIT) {
        shadowed = Pick(r.parity, r.paren0, r.paren1);
        (r.parity ? r.paren1 : r.paren0) = uint32_t(p);
    }
    return r;
}

// Node (p, arrivedLiteral), from its successor's record.
[[gnu::always_inline]] inline NodeRecord Build(int32_t p, int arrivedLiteral, const LastBuilt& last,
                                               uint32_t& shadowed) {
    Move move = MoveFrom(p, arrivedLiteral);
    bool toggles = !arrivedLiteral && !IsEscape(p) && Class(p) == QUOTE_UNIT;
    return Step(p, Class(move.current), toggles, move.literal ? int(OTHER_UNIT) : Class(p),
                move.next, Get(move.next, last), last, shadowed);
}

[[gnu::noinline]] NodeRecord BuildFar(int32_t p) {
    COUNT_WORK(1);
    uint32_t shadowed;
    return Build(p, 1, LastBuilt{END_RECORD, NO_NODE}, shadowed);
}

// The slots of the closer unit at p, of class c, read normally, from the first closer of its
// group and parity after it (see Build).
[[gnu::always_inline]] inline void StoreCloserSlots(int32_t p, int c, uint32_t shadowed) {
    uint16_t w = uint16_t(shadowed);
    if (c == CLOSE_BRACKET_UNIT) {
        uint16_t brace = NONE, bracket = NONE;
        if (w != NONE) {
            brace = Class(w) == CLOSE_BRACE_UNIT ? w : work.pass1.brackets[w].nextBrace;
            bracket = Class(w) == CLOSE_BRACKET_UNIT ? w : unitSlots[w];
        }
        work.pass1.brackets[p].nextBrace = brace;
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
        if (w != NONE && Class(w) == CLOSE_BRACKET_UNIT) w = work.pass1.brackets[w].nextBrace;
    } else {
        w = uint16_t(Pick(start.parity, start.bracket0, start.bracket1));
        if (w != NONE && Class(w) == CLOSE_BRACE_UNIT) w = unitSlots[w];
        if (twice && w != NONE) w = unitSlots[w];
    }
    unitSlots[p] = w;
}

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

// Whether the "%" at p (its caller knows it is one), read normally, goes on further than p + 1:
// "%%", "%=" or a closed opener.
[[gnu::always_inline]] inline bool MovesFar(int32_t p) {
    int form = Form(p);
    return form == LITERAL_PERCENT || form == EQUALS_FORM ||
           ((form == OPENER_FORM || form == DOUBLE_OPENER_FORM) && unitSlots[p] != NONE);
}

// Whether a candidate whose last unit is `last` spans the caret (its "%" is before the limit).
bool Qualifies(int32_t caret, int32_t last) {
    return last >= caret - 1;
}

// Whether the normal node of the "%" at p records a candidate of its own that spans the caret
// (an opener's own is its reference, recorded when its run closes).
[[gnu::always_inline]] inline bool RecordsAroundCaret(int32_t p, int32_t caret) {
    int form = Form(p);
    if (form == PLAIN_VARIABLE) return Qualifies(caret, unitSlots[p + 1]);
    if (form == EQUALS_FORM || form == PLUS_FORM) return Qualifies(caret, p + 1);
    if (form == OPENER_FORM || form == DOUBLE_OPENER_FORM)
        return unitSlots[p] != NONE && Qualifies(caret, CloserLast(p));
    return false;
}

// One past the last "%" before the limit that records around the caret, or 0: pass 1 meets
// every "%" from right to left, and once it has classified one and found its closer, the "%"'s
// candidate is known, so the first that records is that one, and pass 2 need not look for it.
int32_t recordingLimit;

// The form of the "%" at p and, for an opener, its closer; then whether it is the last "%" that
// records around the caret, before `limit`, one past the last position a reference may start at.
[[gnu::always_inline]] inline void ClassifyAndClose(int32_t p, const LastBuilt& last, int32_t caret,
                                                    int32_t limit) {
    ClassifyForm(p);
    int form = Form(p);
    if (form == OPENER_FORM || form == DOUBLE_OPENER_FORM) {
        if (p < recordEnd)
            FindCloser(p, last);
        else
            unitSlots[p] = NONE;
    }
    if (recordingLimit == 0 && p < limit && RecordsAroundCaret(p, caret)) recordingLimit = p + 1;
}

// The quiet run that ends at p: the position the sweep goes on from, the run's second (its
// first two are swept as usual). Out of line, so that the sweep's loop keeps its registers.
[[gnu::noinline]] int32_t KeptOfQuietRun(int32_t p) {
    int32_t run = LastNotQuiet(p) + 2;
    return run < p ? run : p;
}

// Pass 1, closers: where does every opener close? It sets every opener's stop into unitSlots
// at its "%", sweeping from position recordEnd - 1 down to 0, and before that the forms of the
// "%"s after recordEnd, which close nothing.
//
// An opener's run starts at the node (body start, 0), unquoted and
// with count 0. Its closer is the first node on the path that shows the closer of its kind while
// unquoted (and, for the parenthesis kinds, with count 0). The sweep goes right to left, building
// each node's record from the records of the nodes to its right:
// - Quotes: a closer node w is unquoted for a run from b exactly when S(w) == S(b). So every node
//   keeps, per parity, the first "]" or "}" on its path (firstBracket).
// - Count: the count at w is 0 exactly on the chain b, ng(b), ng(ng(b)), ... As D moves by at
//   most one per node, ng and up1 take O(1) each from the nodes to the right. Every node keeps,
//   per parity, the first ")" on its ng chain (firstParen) and up1.
// - The other closers hang off the closer units themselves (one slot per position, as only the
//   normal node of a position can close): a "]" keeps the next "}" and the first "]]" of its
//   parity, a "}" the next "]" of its parity, a ")" the first "))" of its parity on its chain.
//   So every opener's closer is two or three lookups.
// Only nodes with L = 0 are stored, and only those looked up from further away than the next
// position (LOOKED_UP_AFTER): the sweep holds the node it built last, and a plain unit has the
// record of the node after it. A run reaches an L = 1 node only just after the escape character
// or "%=": the sweep keeps the last few of those in a ring, and the only ones looked up from
// further away (after a ")" that is itself the escape character, when every node is stored) take
// one step to rebuild from the stored node after them. Past the line's last closer unit no run
// can close: nodes there are the line's end, and a line of openers with nothing closed after them
// builds no record. On the way it notes recordingLimit for the caret and limit of the call.
void FindAllClosers(WCHAR escape, int32_t caret, int32_t limit) {
    recordEndNode = 2u * uint32_t(recordEnd);
    firstCloser = lineLength;
    // Past the last closer unit only the forms are needed.
    for (int32_t p = PreviousPercent(lineLength - 1); p >= recordEnd; p = PreviousPercent(p - 1))
        ClassifyAndClose(p, LastBuilt{END_RECORD, NO_NODE}, caret, limit);
    // An escape character that a rule looks at can make an L = 1 node the up1 of a node further
    // left (a ")" read literally); such lines store every node.
    bool storeEveryNode =
        escape < 0x80 && ClassOf(escape) != OTHER_UNIT && !IsNameClass(ClassOf(escape));
    storeAfter = storeEveryNode ? ~0u : LOOKED_UP_AFTER;
    for (int32_t& at : recentLiteralAt) at = -1;
#ifndef NDEBUG
    for (int32_t i = 0; i <= recordEnd / 8; ++i) storedBits[i] = 0;
#endif
    COUNT_WORK(recordEnd);
    LastBuilt last{END_RECORD, recordEndNode};
    for (int32_t p = recordEnd - 1; p >= 0; --p) {
        uint8_t unit = lineUnits[p];
        if (IsPlain(unit)) {
            // In a run of quiet units, only the run's first two positions may be looked up from
            // further away: one after a "(" or a closer, two after "%%" or "%=", or after the
            // escape character (the L = 1 node that BuildFar rebuilds and the node after it).
            // The rest pass the record on, and are crossed at once. (Checking the unit two to
            // the left first keeps short runs from paying for the search.)
            if (skipQuiet && IsQuiet(unit) && p >= 2 && IsQuiet(lineUnits[p - 2]))
                p = KeptOfQuietRun(p);
            if (NeedsStore(p)) Store(p, last.record);
            last.node = 2u * uint32_t(p);
            continue;
        }
        bool escape = (unit & ESCAPE_FLAG) != 0;
        int c = unit & CLASS_MASK;
        // (The class stays in a register: the stores below may change the class byte's form
        // bits, and the compiler would read it again.)
        bool closer = (CLOSERS & 1u << c) != 0;
        if (closer) firstCloser = p;
        uint32_t shadowed = NONE;
        NodeRecord r;
        if (c == PERCENT_UNIT) ClassifyAndClose(p, last, caret, limit);
        if (!escape && !(c == PERCENT_UNIT && MovesFar(p))) {
            // Read normally, the unit moves on to (p + 1, 0), the node built last: Build's step
            // without its lookups.
            r = Step(p, c, c == QUOTE_UNIT, c, 2u * uint32_t(p + 1), last.record, last, shadowed);
            if (closer) StoreCloserSlots(p, c, shadowed);
        } else {
            // (The escape character, whose closer slots its normal node (p, 1) stores below, or
            // a "%", which has none.)
            r = Build(p, 0, last, shadowed);
        }
        // (p, 1): the normal node of the escape character, or a node that a run reaches just
        // after the escape character or "%=".
        if (!ReadsAlike(p) &&
            (escape || (p > 0 && (IsEscape(p - 1) || Class(p - 1) == EQUALS_UNIT)))) {
            NodeRecord literal = Build(p, 1, last, shadowed);
            recentLiteral[p & 3] = literal;
            recentLiteralAt[p & 3] = p;
            if (escape && closer) StoreCloserSlots(p, c, shadowed);
        }
        if (NeedsStore(p)) Store(p, r);
        last.record = r;
        last.node = 2u * uint32_t(p);
    }
}

// ---- Pass 2: gains -------------------------------------------------------------------------

[[gnu::always_inline]] inline bool IsNormalNode(uint32_t v) {
    return (v & 1) == (IsEscape(int32_t(v >> 1)) ? 1u : 0u);
}

bool IsCloserUnit(int32_t p) {
    return (CLOSERS & 1u << Class(p)) != 0;
}

// The positions whose normal node pass 2 keeps: a "%", a closer or the escape character. Every
// other node records nothing and stops no run: it has the gains of the kept node its path reaches
// first.
[[gnu::always_inline]] inline bool IsKept(int32_t p) {
    uint8_t unit = lineUnits[p];
    return (unit & ESCAPE_FLAG) || (KEPT_CLASSES & 1u << (unit & CLASS_MASK));
}

int32_t gainLimit;

// The kept position whose normal node holds the gains of node v: v's own, or the first on v's
// path (forward, for a node that reads its unit literally or a normal node that is not kept);
// NONE past the limit.
#ifndef NDEBUG
// Which positions' `forward` the sweep wrote (it leaves most of a quiet run's), to check that
// every lookup finds one.
uint8_t forwardBits[SLOTS / 8];
void MarkForward(int32_t p, bool written) {
    uint8_t bit = uint8_t(1u << (p & 7));
    forwardBits[p >> 3] = uint8_t(written ? forwardBits[p >> 3] | bit : forwardBits[p >> 3] & ~bit);
}
#define MARK_FORWARD(p, written) MarkForward(p, written)
#else
#define MARK_FORWARD(p, written) ((void)0)
#endif

[[gnu::always_inline]] inline uint16_t Holder(uint32_t v) {
    int32_t p = int32_t(v >> 1);
    if (p >= gainLimit) return NONE;
    if (IsNormalNode(v) && IsKept(p)) return uint16_t(p);
#ifndef NDEBUG
    assert(forwardBits[p >> 3] & (1u << (p & 7)));
#endif
    return work.gains.forward[p];
}

[[gnu::always_inline]] inline int32_t GainOf(uint32_t v) {
    uint16_t q = Holder(v);
    return q == NONE ? 0 : work.gains.gain[q];
}

// The closer after the closer at c on its path, or NONE; into `crossed`, the greatest own gain
// between the two.
uint16_t ParentCloser(uint16_t c, int32_t& crossed) {
    const GainTables& g = work.gains;
    // (Read normally, a closer moves on to (c + 1, 0).)
    uint16_t q = Holder(2u * (uint32_t(c) + 1));
    if (q == NONE) {
        crossed = 0;
        return NONE;
    }
    bool closer = IsCloserUnit(q);
    crossed = closer ? 0 : g.stretch[q];
    return closer ? q : g.link[q];
}

// The closers of a line form a tree: each one's parent is the next closer on its path. Every
// closer keeps a jump pointer up that tree, laid out in skew-binary fashion (each jump spans 1,
// or two earlier jumps and one step: so from any closer, a few dozen jumps at most reach any
// closer above it), with the greatest own gain that the jump crosses. `parent` is the closer
// after c on its path, `crossed` the greatest own gain between them (see ParentCloser).
// The jump doubles where the parent's jump and the one after it span alike. Each closer keeps
// its jump's span, so that this takes two rounds of loads (the parent's, then its jump's), not
// three, and no branch: the slot NONE is no position's, so a load from it is in bounds, and
// what it reads is replaced by "no closer". (Those replacements keep the jumps skew-binary: a
// jump doubled through the slot would span more than its closer's depth, so no climb or descent
// would take it, but the closers below would climb in single steps.)
static_assert(NONE >= MAX_LINE_LENGTH && NONE < SLOTS, "the slot NONE is no position's");
void LinkCloser(uint16_t c, uint16_t parent, int32_t crossed) {
    GainTables& g = work.gains;
    uint16_t up = parent == NONE ? NONE : g.link[parent];
    uint16_t further = up == NONE ? NONE : g.link[up];
    g.ownOrDepth[c] = parent == NONE ? 0 : uint16_t(g.ownOrDepth[parent] + 1);
    bool doubles = further != NONE && g.span[parent] == g.span[up];
    int32_t best = crossed;
    if (g.stretch[parent] > best) best = g.stretch[parent];
    if (g.stretch[up] > best) best = g.stretch[up];
    g.link[c] = doubles ? further : parent;
    g.stretch[c] = uint16_t(doubles ? best : crossed);
    g.span[c] = uint16_t(doubles ? g.span[parent] + g.span[up] + 1 : 1);
}

// The greatest own gain on the path from node x up to the stop at position s, a closer on that
// path: the stretch up to the first closer, then the closers' jumps that stay at or below s, and
// single steps where a jump would pass it.
int32_t GainBefore(uint32_t x, uint16_t s) {
    const GainTables& g = work.gains;
    uint16_t q = Holder(x);
    // (x lies before s, a kept node below the limit, so x has a holder; should it not, no gain.)
    assert(q != NONE);
    if (q == NONE) return 0;
    bool atCloser = IsCloserUnit(q);
    int32_t best = atCloser ? 0 : g.stretch[q];
    uint16_t c = atCloser ? q : g.link[q];
    int32_t floor = g.ownOrDepth[s];
    // (s lies on the path, so the climb meets it; should it not, the climb ends at the top.)
    while (c != s && c != NONE) {
        COUNT_WORK(1);
        assert(g.ownOrDepth[c] > floor);
        // (A closer below s has a parent, so its jump lands on a closer too.)
        uint16_t jump = g.link[c];
        if (g.ownOrDepth[c] - g.span[c] >= floor) {
            if (g.stretch[c] > best) best = g.stretch[c];
            c = jump;
        } else {
            int32_t crossed;
            c = ParentCloser(c, crossed);
            if (crossed > best) best = crossed;
        }
    }
    assert(c == s);
    return best;
}

// What the normal "%" node of p records or opens, relative to the depth of the run that walks
// it: 1 for a candidate, 1 + the gain of its body for an opener whose body holds one.
[[gnu::always_inline]] inline int32_t OwnGain(int32_t p, int32_t caret) {
    int32_t own = RecordsAroundCaret(p, caret) ? 1 : 0;
    int form = Form(p);
    if (form != OPENER_FORM && form != DOUBLE_OPENER_FORM) return own;
    uint32_t body = 2u * unitSlots[p + 1];
    uint16_t stop = unitSlots[p];
    // (NONE is past every limit; own is at most 1, so a body's candidate outdoes it.)
    int32_t inside = stop < gainLimit ? GainBefore(body, stop) : GainOf(body);
    return inside > 0 ? inside + 1 : own;
}

// What the sweep knows of a node to its right: its holder (bits 0-15), with that holder's gain
// (16-31) and winner (32-47). One word, so that the sweep carries the two nodes of p + 1 in two
// registers and chooses between them with one conditional move.
using Held = uint64_t;

[[gnu::always_inline]] constexpr Held MakeHeld(uint16_t at, uint16_t gain, uint16_t winner) {
    return at | uint64_t(gain) << 16 | uint64_t(winner) << 32;
}
[[gnu::always_inline]] constexpr uint16_t HolderIn(Held h) {
    return uint16_t(h);
}
[[gnu::always_inline]] constexpr uint16_t GainIn(Held h) {
    return uint16_t(h >> 16);
}
[[gnu::always_inline]] constexpr uint16_t WinnerIn(Held h) {
    return uint16_t(h >> 32);
}

constexpr Held HELD_NONE = MakeHeld(NONE, 0, NONE);

// (Winners are kept only on lines without stops.)
template <bool WINNERS> [[gnu::always_inline]] inline Held HeldAt(uint32_t v) {
    uint16_t q = Holder(v);
    if (q == NONE) return HELD_NONE;
    return MakeHeld(q, work.gains.gain[q], WINNERS ? work.gains.winner[q] : NONE);
}

// Without stops, what the normal "%" node of p records or opens (as OwnGain), and the "%" whose
// candidate is the first at that gain: its own, or its body's winner. `next0` holds (p + 1, 0).
// A body start that only opener units separate from p + 1, none of them the escape character
// (`nextEscape` is the first escape after p), has that node's holder: no table read.
[[gnu::always_inline]] inline Held OwnWithoutStops(int32_t p, int32_t caret, Held next0,
                                                   int32_t nextEscape) {
    int form = Form(p);
    if (form == OPENER_FORM || form == DOUBLE_OPENER_FORM) {
        int32_t body = unitSlots[p + 1];
        Held inside = body <= nextEscape ? next0 : HeldAt<true>(2u * uint32_t(body));
        if (GainIn(inside) > 0)
            return MakeHeld(uint16_t(p), uint16_t(GainIn(inside) + 1), WinnerIn(inside));
    }
    return RecordsAroundCaret(p, caret) ? MakeHeld(uint16_t(p), 1, uint16_t(p)) : HELD_NONE;
}

// The quiet run that ends at p, whose nodes all lead to `holder`: writes `forward` for its first
// two positions and gives the first, where the sweep goes on. Out of line, as KeptOfQuietRun.
[[gnu::noinline]] int32_t ForwardQuietRun(int32_t p, uint16_t holder) {
    int32_t run = LastNotQuiet(p) + 1;
    COUNT_WORK(p - run);
    for (int32_t q = run; q < p && q < run + 2; ++q) {
        work.gains.forward[q] = holder;
        MARK_FORWARD(q, true);
    }
#ifndef NDEBUG
    for (int32_t q = run + 2; q < p; ++q) MarkForward(q, false);
#endif
    return run;
}

// The sweep of pass 2, right to left from limit - 1: every kept position's gains, and where its
// other nodes lead. With STOPS (some closer lies before the limit, so some run may stop before
// it) also the stretches and the closers' jumps that GainBefore reads, and each "%"'s own gain
// for the descent. Without, each kept position's winner instead, so that no descent is needed.
// The holders of the two nodes of p + 1 travel in registers, so that the common step, to the
// next position, reads back nothing the sweep has just written.
template <bool STOPS> void SweepGains(int32_t caret, int32_t limit) {
    GainTables& g = work.gains;
    Held next0 = HELD_NONE, next1 = HELD_NONE; // the nodes (p + 1, 0) and (p + 1, 1)
    int32_t nextEscape = limit;
    for (int32_t p = limit - 1; p >= 0; --p) {
        COUNT_WORK(1);
        // The node of p that reads its unit literally (and, where p is not kept, the normal one
        // too, as it reads a unit that is not the escape character alike) leads to
        // (p + 1, IsEscape(p)).
        bool escape = IsEscape(p);
        Held leadsTo = escape ? next1 : next0;
        g.forward[p] = HolderIn(leadsTo);
        MARK_FORWARD(p, true);
        if (!IsKept(p)) {
            // Every node of a quiet run leads to the holder of the node after it. A node is
            // looked up from further away only up to two units after a unit that is not quiet
            // (a body start, the position after a closer, or after "%%" and "%="), so only the
            // run's first two positions are written.
            if (skipQuiet && IsQuiet(lineUnits[p]) && p >= 1 && IsQuiet(lineUnits[p - 1]))
                p = ForwardQuietRun(p, HolderIn(leadsTo));
            next1 = leadsTo;
            continue;
        }
        // A kept unit read normally moves on to (p + 1, 0), unless it is a "%" with a form.
        Held onward = next0, own = HELD_NONE;
        if (Class(p) == PERCENT_UNIT) {
            uint32_t after = MoveFrom(p, escape ? 1 : 0).next;
            uint32_t step = 2u * uint32_t(p + 1);
            if (after != step) onward = after == step + 1 ? next1 : HeldAt<!STOPS>(after);
            if (STOPS)
                own = MakeHeld(NONE, uint16_t(OwnGain(p, caret)), NONE);
            else
                own = OwnWithoutStops(p, caret, next0, nextEscape);
        }
        Held held = GainIn(own) > 0 && GainIn(own) >= GainIn(onward) ? own : onward;
        held = (held & ~uint64_t(0xFFFF)) | uint16_t(p); // p holds its own gains
        g.gain[p] = GainIn(held);
        // (A "%"'s own gain is stored here rather than where it is worked out: stored there, GCC
        // spills more, and lines with stops cost up to 0.9% more instructions.)
        if (STOPS) {
            if (Class(p) == PERCENT_UNIT) g.ownOrDepth[p] = GainIn(own);
        } else {
            g.winner[p] = WinnerIn(held);
        }
        if (escape) {
            next0 = next1;
            next1 = held;
            nextEscape = p;
        } else {
            next1 = next0;
            next0 = held;
        }
        if (!STOPS) continue;
        // The next closer on the path (the parent, at a closer) and the greatest own gain
        // before it, as ParentCloser finds them.
        uint16_t next = HolderIn(onward), parent = NONE;
        int32_t crossed = 0;
        if (next != NONE) {
            bool closer = IsCloserUnit(next);
            parent = closer ? next : g.link[next];
            crossed = closer ? 0 : g.stretch[next];
        }
        if (IsCloserUnit(p)) {
            LinkCloser(uint16_t(p), parent, crossed);
        } else {
            g.stretch[p] = uint16_t(GainIn(own) > crossed ? GainIn(own) : crossed);
            g.link[p] = parent;
        }
    }
}

// The candidate of the "%" at p, at `depth`.
ReferenceSpan CandidateOf(int32_t p, int32_t depth) {
    int form = Form(p);
    if (form == PLAIN_VARIABLE) return ReferenceSpan{p, unitSlots[p + 1], depth};
    if (form == EQUALS_FORM || form == PLUS_FORM) return ReferenceSpan{p, p + 1, depth};
    return ReferenceSpan{p, CloserLast(p), depth};
}

// Pass 2, gains: which candidate wins? Every run from a node walks the same path whatever its
// depth, so the best candidate that a run (with the runs it opens) records from a node on,
// relative to its depth, belongs to the node and to the run's stop alone. Without a stop before
// the limit it is the node's gain, max(own gain, gain of the next node): one right-to-left sweep.
// With a stop, it is the greatest own gain on the path up to the stop (GainBefore). The whole
// line's best depth is the gain of (0, 0). Its first candidate in the recursion's order: a
// node's own candidates come before those further on its path, and a body's before its
// reference's own, which is recorded when its run closes. Without stops the sweep carries that
// candidate along with the gain (the winner); with stops, one descent finds it, entering a body
// only when the best depth lies inside it, and crossing at once, by the closers' stretches and
// jumps, the parts of a path whose own gains fall short of it.
//
// Contract: `limit` is one past the last "%" that records around the caret (recordingLimit), 0
// where none does. Every gain after that "%" is 0, and no stop after it cuts off a gain: the
// sweep starts there, and what lies beyond is as past the limit. Gives the reference the
// recursion records first at the greatest depth among those around the caret, or none.
ReferenceSpan GainSearch(int32_t caret, int32_t limit) {
    const GainTables& g = work.gains;
    ReferenceSpan none{-1, -1, -1};
    if (limit == 0) return none;
    gainLimit = limit;
    if (firstCloser >= limit) {
        SweepGains<false>(caret, limit);
        uint16_t q = Holder(0);
        if (q == NONE || g.gain[q] == 0) return none;
        return CandidateOf(g.winner[q], g.gain[q]);
    }
    SweepGains<true>(caret, limit);
    int32_t target = GainOf(0);
    if (target == 0) return none;
    // The run at `depth` holds a candidate at `target` between v and its stop.
    uint32_t v = 0;
    int32_t depth = 0;
    for (;;) {
        COUNT_WORK(1);
        int32_t p = int32_t(v >> 1);
        if (IsNormalNode(v) && Class(p) == PERCENT_UNIT && depth + g.ownOrDepth[p] == target) {
            int form = Form(p);
            if ((form != OPENER_FORM && form != DOUBLE_OPENER_FORM) || depth + 1 == target)
                return CandidateOf(p, target);
            v = 2u * unitSlots[p + 1];
            ++depth;
            continue;
        }
        uint16_t q = Holder(MoveFrom(p, int(v & 1)).next);
        // (The target lies before the limit, so the descent meets it first; should it not, the
        // call refuses rather than read on.)
        assert(q != NONE);
        if (q == NONE) return none;
        // A stretch (or a closer's jump) whose greatest own gain falls short of the target holds
        // no node the descent looks for: it goes on from the closer that ends it, which lies
        // before the target and so before the run's stop.
        while (depth + g.stretch[q] < target) {
            COUNT_WORK(1);
            // (So a closer follows; should none, the call refuses rather than read on.)
            assert(g.link[q] != NONE);
            if (g.link[q] == NONE) return none;
            q = g.link[q];
        }
        v = 2u * q + (IsEscape(q) ? 1u : 0u);
    }
}

} // namespace

namespace {

[[gnu::always_inline]] inline uint8_t UnitOf(WCHAR ch, WCHAR escape) {
    return uint8_t(ClassOf(ch) | (ch == escape ? ESCAPE_FLAG : 0));
}

// Per ASCII unit, its class byte (bits 0-7) and its class's bit in the set of classes seen (bit
// SEEN_SHIFT + class), so that one load gives both.
constexpr int SEEN_SHIFT = 16;

struct ClassEntries {
    uint32_t of[128];
};

constexpr ClassEntries MakeClassEntries() {
    ClassEntries entries{};
    for (int c = 0; c < 128; ++c)
        entries.of[c] = ASCII_CLASSES.of[c] | 1u << (SEEN_SHIFT + ASCII_CLASSES.of[c]);
    return entries;
}

constexpr ClassEntries CLASS_ENTRIES = MakeClassEntries();

// One unit the slow way, for a unit outside ASCII or the line's last few: its class byte, and
// its class's bit into `seen`, as CLASS_ENTRIES would give them.
[[gnu::always_inline]] inline void ClassifyUnit(const WCHAR* line, int32_t n, WCHAR escape,
                                                uint32_t& seen) {
    uint8_t unit = UnitOf(line[n], escape);
    seen |= 1u << (SEEN_SHIFT + (unit & CLASS_MASK));
    lineUnits[n] = unit;
}

// The classifying pass: the class byte of each of the line's `length` units into lineUnits, and
// the set of classes seen. Four units at a time where all four are ASCII, which one 64-bit load
// tells (no unit has a bit above 0x7F): each unit's class byte and class bit come from one load
// of a copy of the table in which the escape character's entry carries its flag, and the four
// class bytes are stored as one word. A unit outside ASCII takes ClassOf, four at a time.
unsigned Classify(const WCHAR* line, int32_t length, WCHAR escape) {
    static_assert(sizeof(WCHAR) == 2, "four units are one 64-bit word");
    ClassEntries entries = CLASS_ENTRIES;
    if (escape < 0x80) entries.of[escape] |= ESCAPE_FLAG; // (no unit of the line is 0)
    constexpr uint64_t NOT_ASCII = 0xFF80FF80FF80FF80u;
    uint32_t seen = 0;
    int32_t n = 0;
    for (; n + 4 <= length; n += 4) {
        uint64_t word;
        __builtin_memcpy(&word, line + n, sizeof word);
        if (word & NOT_ASCII) {
            for (int32_t k = n; k < n + 4; ++k) ClassifyUnit(line, k, escape, seen);
            continue;
        }
        uint32_t a = entries.of[word & 0x7F], b = entries.of[word >> 16 & 0x7F];
        uint32_t c = entries.of[word >> 32 & 0x7F], d = entries.of[word >> 48];
        seen |= a | b | c | d;
        uint32_t bytes = (a & 0xFF) | (b & 0xFF) << 8 | (c & 0xFF) << 16 | (d & 0xFF) << 24;
        __builtin_memcpy(lineUnits + n, &bytes, sizeof bytes);
    }
    for (; n < length; ++n) ClassifyUnit(line, n, escape, seen);
    return seen >> SEEN_SHIFT;
}

// Whether at least three quarters of the line are quiet, judged from at most 256 units spread
// evenly over it: a guess that decides speed alone.
bool MostlyQuiet(int32_t n) {
    int32_t step = n / 256 + 1, samples = 0, quiet = 0;
    for (int32_t p = 0; p < n; p += step, ++samples) quiet += IsQuiet(lineUnits[p]) ? 1 : 0;
    return 4 * quiet >= 3 * samples;
}

// The two passes after the classifying pass, which left `seen`, the set of classes of the line's
// `n` units.
ReferenceSpan LocateClassified(int32_t n, unsigned seen, int32_t caret, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    COUNT_WORK(n);
    for (int32_t i = 0; i < PADDING; ++i) lineUnits[n + i] = END_UNIT;
    // Every reference starts with "%" at or before the caret.
    if (!(seen & 1u << PERCENT_UNIT) || caret < 0) return none;
    lineLength = n;
    endNode = 2u * uint32_t(n);
    skipQuiet = MostlyQuiet(n);
    // One past the last closer unit: pass 1 builds no record from there on.
    recordEnd = 0;
    if (seen & CLOSERS) {
        int32_t p = n - 1;
        while (!(CLOSERS & 1u << Class(p))) --p;
        recordEnd = p + 1;
    }
    // A reference qualifies only if its "%" is at or before the caret: the walks stop after it.
    recordingLimit = 0;
    FindAllClosers(escape, caret, caret < n ? caret + 1 : n);
    ReferenceSpan best = GainSearch(caret, recordingLimit);
    assert(workDone <= MAX_LOCATOR_WORK_PER_UNIT * uint64_t(n + 1));
    return best;
}

} // namespace

// The classifying pass (one class byte per unit, and the set of classes seen), then the two
// passes above. See the header comment.
ReferenceSpan LocateReference(const WCHAR* line, int32_t caret, WCHAR escape) {
    if (!line) return ReferenceSpan{-1, -1, -1};
    return LocateReferenceIn(line, int32_t(WideLength(line, MAX_LINE_LENGTH)), caret, escape);
}

ReferenceSpan LocateReferenceIn(const WCHAR* line, int32_t length, int32_t caret, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line || length < 0 || length > MAX_LINE_LENGTH) return none;
#ifndef NDEBUG
    workDone = 0;
#endif
    unsigned seen = Classify(line, length, escape);
    // (The caller promises no 0 among the units; should one come, the call refuses rather than
    // take it for the line's end.)
    assert(!(seen & 1u << END_UNIT));
    if (seen & 1u << END_UNIT) return none;
    return LocateClassified(length, seen, caret, escape);
}

namespace {

// Writes a zero into every page that the `size` bytes at `table` span.
void TouchPages(void* table, size_t size) {
    constexpr size_t PAGE = 4096;
    uint8_t* bytes = static_cast<uint8_t*>(table);
    for (size_t i = 0; i < size; i += PAGE) bytes[i] = 0;
    bytes[size - 1] = 0;
}

} // namespace

// The tables' contents do not matter before a call, which writes what it reads.
void PrepareLocator() {
    TouchPages(lineUnits, sizeof lineUnits);
    TouchPages(unitSlots, sizeof unitSlots);
    TouchPages(nodeBits, sizeof nodeBits);
    TouchPages(&work, sizeof work);
}

#ifndef NDEBUG
uint64_t LocatorWork() {
    return workDone;
}
#endif
