// The reference locator.
//
// The result is defined by a recursive character loop: one run per body, which records
// candidates, recurses into every opener it recognises, and reads the text of an opener without
// a closer again as ordinary text. Done literally that costs time exponential in the number of
// nested unclosed openers and one stack frame per nesting level. This file runs the same loop
// once, left to right, with an explicit stack of runs, and skips only work that cannot change the
// result.
//
// Nodes. A run's walk is decided by the position and the literal flag L with which it arrives
// there; the quoted flag and the parenthesis count only decide where the run stops. So the walks
// of all runs are paths in one graph over the nodes (position, L): every node has exactly one
// successor, further right, and two runs that meet at a node walk on together until one of them
// stops. Where an opener closes does not depend on depth or caret, so the first run of an opener
// remembers its closer (or its absence) for every later run of it.
//
// Skipping. A node with L off remembers the deepest run that walked it: its depth, its opener
// and its quoted flag and count on arrival. A run arriving at a node walked before at its own
// depth or deeper would, up to the point where that earlier run stopped, read the same forms and
// openers one level shallower or at the same level: every candidate it could record was offered
// before at a depth no smaller and cannot win. So it records nothing there and opens no run
// there, and
//   - a run whose stop is known jumps to the nearer of its own stop and the earlier run's;
//   - a run still looking for its closer jumps to the earlier run's stop when every closer it
//     could meet on the way would have stopped the earlier run too (a closer of the same kind or a
//     wider one, the same quoted flag, and for the parenthesis kinds a count no smaller; where the
//     counts differ only a stop at the line's end is taken); otherwise it walks the stretch node
//     by node, looking for its closer only.
// The deepest run is often of another kind than the one arriving, so a node also remembers the
// latest run that walked it while still looking for its closer; a run may follow that one in
// the same way when it walked the node at the arriving run's depth or deeper. (Runs nested in
// one another without closers arrive one after another on the same path, shallower each time.)
// An opener whose closer character does not occur at or after its body start is known unclosed
// at once, and a run without a closer that opens such an opener simply continues as the nested
// run one level deeper: reading the opener again as text would only bring it onto the nested
// run's path. The caret enters only when a candidate is recorded, and what is not skipped happens
// in the recursion's own order, so ties between equal depths go the same way.
//
// Storage. Fourteen bytes per position of the line, and two per nesting level: a paused run keeps
// its state in its own mark of the node where it paused, which no run walks while it waits. All
// static (under 1 MB), touched only as far as the line goes (records are cleared as a call first
// reaches them); nothing on the heap and a few hundred bytes of stack. The line itself is read in
// place. The tables make a call non-reentrant, which suits the host: it calls the plugin on one
// thread, one call at a time.
#include "locator.h"

#include <string.h>

#include "../platform/widetext.h"

namespace {

// ---- Limits and markers ---------------------------------------------------------------------

// Runs nest at most once per two characters ("%(" is the shortest opener), plus the line's own.
constexpr int32_t MAX_RUNS = MAX_LINE_LENGTH / 2 + 2;

// The whole line's run, which has no kind and no closer.
constexpr int TOP_LEVEL = -1;

// An opener's closer as remembered: the index of its reference's last character (at least 2),
// or these. A cleared record says "unknown".
constexpr uint16_t CLOSER_UNKNOWN = 0;
constexpr uint16_t CLOSER_NONE = 1;

// The node standing for the line's end, as a run's stop.
constexpr int32_t END_NODE = MAX_LINE_LENGTH + 1;

// A run's state at a node, packed: quoted flag, whether it is exact (it is not after a jump),
// whether the node has L on (only where a run paused), and the parenthesis count; a count this
// large or larger is kept aside while the run is paused.
constexpr uint16_t STATE_QUOTED = 0x8000;
constexpr uint16_t STATE_EXACT = 0x4000;
constexpr uint16_t STATE_LITERAL = 0x2000;
constexpr uint16_t STATE_PARENS = 0x1FFF;

// What the "%" at a position starts when read outside literal mode.
enum FormType { NoForm, LiteralPercent, PlainVariable, EqualsForm, PlusForm, OpenerForm };

struct Form {
    FormType type;
    int kind;    // OpenerForm: the ReferenceKind
    int32_t end; // PlainVariable: its last index; OpenerForm: its body start
};

// What a call keeps per position. A paused run keeps its own state in its mark of the node where
// it paused (no run walks that node while it waits).
struct PositionRecord {
    uint16_t markDepth;  // node (position, L off): depth of the deepest run that walked it, 0: none
    uint16_t markOpener; // that run's opener
    uint16_t markState;  // its state on arrival (STATE_*)
    uint16_t closer;     // the opener at this position: CLOSER_UNKNOWN, CLOSER_NONE or last index
    uint16_t seekerDepth;  // the same for the latest run that walked the node still looking for
    uint16_t seekerOpener; // its closer, 0: none
    uint16_t seekerState;
};

// Closer classes for the test "no closer of this class at or after the body start".
enum CloserClass { CloseBracket, CloseDoubleBracket, CloseBrace, CloseParen, CloseDoubleParen };
constexpr int CLOSER_CLASSES = 5;

// ---- Static working storage -----------------------------------------------------------------

PositionRecord positionRecords[MAX_LINE_LENGTH];
// Records below this index have been cleared by the current call.
int32_t clearedUpTo;

// The paused runs, one slot per nesting level: the "%" where the slot's enclosing run paused and
// goes on from when the slot's run has no closer. Counts too large for a mark wait here.
uint16_t slotReturn[MAX_RUNS];
constexpr int MAX_LARGE_COUNTS = MAX_LINE_LENGTH / STATE_PARENS + 1;
int32_t largeCounts[MAX_LARGE_COUNTS];
int largeCountTop;
// Whether the first slot still holds the whole line's run.
bool wholeLineInFirstSlot;

// Characters a run cannot pass over without looking, as bits; a run's mask says which concern it.
constexpr uint8_t SEES_PERCENT = 1;
constexpr uint8_t SEES_ESCAPE = 2;
constexpr uint8_t SEES_QUOTE = 4;
constexpr uint8_t SEES_PAREN = 8;
constexpr uint8_t SEES_BRACKET = 16;
constexpr uint8_t SEES_BRACE = 32;
struct SeenTable {
    uint8_t bits[128];
};
constexpr SeenTable MakeSeenTable() {
    SeenTable table{};
    table.bits[int('%')] = SEES_PERCENT;
    table.bits[int('"')] = SEES_QUOTE;
    table.bits[int('(')] = SEES_PAREN;
    table.bits[int(')')] = SEES_PAREN;
    table.bits[int(']')] = SEES_BRACKET;
    table.bits[int('}')] = SEES_BRACE;
    return table;
}
constexpr SeenTable CHAR_SEEN = MakeSeenTable();
// The ASCII characters' bits, with the escape character's added for the call.
uint8_t charSeen[128];

const WCHAR* scanLine;
// The line's length once known; until then MAX_LINE_LENGTH (reads stop at the terminator).
int32_t scanLength;
bool lengthKnown;
// Whether the escape character can stand in an opener (so a run reading one again as text may
// walk elsewhere than the nested run did).
bool escapeInOpeners;
WCHAR escapeChar;
int32_t caret;
ReferenceSpan best;
// Last position of a closer of each class (-1: none), found once per call when needed.
int32_t lastCloser[CLOSER_CLASSES];
bool closersScanned;

WCHAR At(int32_t i) {
    return i < scanLength ? scanLine[i] : WCHAR(0);
}

PositionRecord& Touch(int32_t i) {
    if (i >= clearedUpTo) {
        // Cleared a stretch at a time, but never past the line.
        int32_t upTo = lengthKnown ? i + 64 : i + 1;
        if (upTo > scanLength) upTo = scanLength;
        memset(&positionRecords[clearedUpTo], 0,
               size_t(upTo - clearedUpTo) * sizeof(PositionRecord));
        clearedUpTo = upTo;
    }
    return positionRecords[i];
}

// ASCII is decided here; only other units go to the platform's tables.
bool IsLetter(WCHAR ch) {
    if (ch < 0x80) return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    return WideIsAlpha(ch);
}
bool IsNameChar(WCHAR ch) {
    if (ch < 0x80)
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '_' || ch == '$';
    return WideIsAlnum(ch);
}

bool IsParenKind(int kind) {
    return kind == Paren || kind == DoubleParen;
}
bool IsTwoUnitKind(int kind) {
    return kind == DoubleParen || kind == DoubleBracket;
}
int CloserClassOf(int kind) {
    switch (kind) {
    case DoubleBracket:
        return CloseDoubleBracket;
    case Brace:
        return CloseBrace;
    case Paren:
        return CloseParen;
    case DoubleParen:
        return CloseDoubleParen;
    default:
        return CloseBracket;
    }
}

// ---- Forms ----------------------------------------------------------------------------------

// Index after the run of name characters that starts at `from`.
int32_t NameEnd(int32_t from) {
    int32_t q = from;
    while (IsNameChar(At(q))) ++q;
    return q;
}

Form ReadForm(int32_t p) {
    WCHAR next = At(p + 1);
    switch (next) {
    case '%':
        return Form{LiteralPercent, 0, 0};
    case '(':
    case '[': {
        bool twice = At(p + 2) == next && At(p + 3) != 0;
        if (!twice && At(p + 2) == 0) return Form{NoForm, 0, 0};
        int kind = next == '(' ? (twice ? DoubleParen : Paren) : (twice ? DoubleBracket : Bracket);
        return Form{OpenerForm, kind, p + (twice ? 3 : 2)};
    }
    case '{':
        if (At(p + 2) == 0) return Form{NoForm, 0, 0};
        return Form{OpenerForm, Brace, p + 2};
    case '=':
        return Form{EqualsForm, 0, 0};
    case '+':
        return Form{PlusForm, 0, 0};
    case '@': {
        if (!IsLetter(At(p + 2))) return Form{NoForm, 0, 0};
        int32_t q = NameEnd(p + 2);
        if (At(q) == '[' && At(q + 1) != 0) return Form{OpenerForm, FunctionCall, q + 1};
        return Form{NoForm, 0, 0};
    }
    default:
        if (!IsNameChar(next) || next == '$') return Form{NoForm, 0, 0};
        int32_t q = NameEnd(p + 1);
        if (At(q) == '[' && At(q + 1) != 0) return Form{OpenerForm, IndexedVariable, q + 1};
        return Form{PlainVariable, 0, q - 1};
    }
}

// The kind of the opener at p (one that ReadForm found).
int KindAt(int32_t p) {
    WCHAR next = At(p + 1);
    if (next == '@') return FunctionCall;
    if (next == '(') return At(p + 2) == '(' && At(p + 3) != 0 ? DoubleParen : Paren;
    if (next == '[') return At(p + 2) == '[' && At(p + 3) != 0 ? DoubleBracket : Bracket;
    if (next == '{') return Brace;
    return IndexedVariable;
}

// ---- Closers --------------------------------------------------------------------------------

// Finds the line's end and the last closer of each class, reading forward from `from` (no
// closer stands before the first opener, and the line before it has been read already).
void ScanClosers(int32_t from) {
    for (int cls = 0; cls < CLOSER_CLASSES; ++cls) lastCloser[cls] = -1;
    int32_t i = from;
    for (; i < scanLength; ++i) {
        WCHAR ch = scanLine[i];
        if (ch == 0) break;
        if (ch >= 128 || !(CHAR_SEEN.bits[ch] & (SEES_BRACKET | SEES_BRACE | SEES_PAREN))) continue;
        if (ch == ']') {
            lastCloser[CloseBracket] = i;
            if (scanLine[i + 1] == ']') lastCloser[CloseDoubleBracket] = i;
        } else if (ch == '}') {
            lastCloser[CloseBrace] = i;
        } else if (ch == ')') {
            lastCloser[CloseParen] = i;
            if (scanLine[i + 1] == ')') lastCloser[CloseDoubleParen] = i;
        }
    }
    scanLength = i;
    lengthKnown = true;
    closersScanned = true;
}

// The node where a run of `kind` from the opener at p stops: its closer's first character, the
// line's end, or -1 while unknown.
int32_t StopNode(uint16_t closer, int kind) {
    if (closer == CLOSER_UNKNOWN) return -1;
    if (closer == CLOSER_NONE) return END_NODE;
    return closer - (IsTwoUnitKind(kind) ? 1 : 0);
}

// The index of the reference's last character when the node at p closes a body of `kind`, or
// -1. The run is neither quoted nor literal there.
int32_t CloserAt(int kind, int32_t p, int32_t parens) {
    WCHAR ch = scanLine[p];
    switch (kind) {
    case DoubleBracket:
        return ch == ']' && At(p + 1) == ']' ? p + 1 : -1;
    case Brace:
        return ch == '}' ? p : -1;
    case Paren:
        return ch == ')' && parens == 0 ? p : -1;
    case DoubleParen:
        return ch == ')' && At(p + 1) == ')' && parens == 0 ? p + 1 : -1;
    default:
        return ch == ']' ? p : -1;
    }
}

// Whether every closer a run of `kind` (with this quoted flag and count) could meet from a node
// would also have stopped the run that marked the node.
bool CannotCloseFirst(uint16_t theirOpener, uint16_t theirState, int kind, bool quoted,
                      int32_t parens) {
    if (!(theirState & STATE_EXACT) || (theirState & STATE_PARENS) == STATE_PARENS) return false;
    if (((theirState & STATE_QUOTED) != 0) != quoted) return false;
    int theirs = KindAt(theirOpener);
    bool theirsSingleBracket =
        theirs == FunctionCall || theirs == IndexedVariable || theirs == Bracket;
    switch (kind) {
    case DoubleBracket:
        return theirsSingleBracket || theirs == DoubleBracket;
    case Brace:
        return theirs == Brace;
    case Paren:
        return theirs == Paren && parens >= (theirState & STATE_PARENS);
    case DoubleParen:
        return IsParenKind(theirs) && parens >= (theirState & STATE_PARENS);
    default:
        return theirsSingleBracket;
    }
}

void Record(int32_t first, int32_t last, int32_t depth) {
    if (first <= caret && last >= caret - 1 && depth > best.depth)
        best = ReferenceSpan{first, last, depth};
}

// ---- The walk -------------------------------------------------------------------------------

// The active run: where it stands and what it carries.
struct Run {
    int32_t depth;    // 0 for the whole line
    int32_t opener;   // position of its "%" (the whole line: 0, unused)
    int kind;         // ReferenceKind, or TOP_LEVEL
    uint8_t mask;     // the characters it stops at (SEES_*)
    int32_t stopNode; // where it stops when known (the line's end for the whole line), else -1
    int32_t position;
    bool literal;
    bool quoted;
    int32_t parens;
    bool exact; // quoted flag and count are those the loop would have (no jump since the start)
};

uint8_t MaskOf(int kind) {
    switch (kind) {
    case TOP_LEVEL:
        return SEES_PERCENT | SEES_ESCAPE;
    case Paren:
    case DoubleParen:
        return SEES_PERCENT | SEES_ESCAPE | SEES_QUOTE | SEES_PAREN;
    case Brace:
        return SEES_PERCENT | SEES_ESCAPE | SEES_QUOTE | SEES_BRACE;
    default:
        return SEES_PERCENT | SEES_ESCAPE | SEES_QUOTE | SEES_BRACKET;
    }
}

Run WholeLine() {
    return Run{0, 0, TOP_LEVEL, MaskOf(TOP_LEVEL), END_NODE, 0, false, false, 0, true};
}

uint16_t PackState(const Run& run) {
    uint16_t count = uint16_t(run.parens < STATE_PARENS ? run.parens : STATE_PARENS);
    return uint16_t((run.quoted ? STATE_QUOTED : 0) | (run.exact ? STATE_EXACT : 0) |
                    (run.literal ? STATE_LITERAL : 0) | count);
}

// The run paused at the "%" at `pause` (which it marked), as it was.
void RestoreRun(Run& run, int32_t slot, int32_t pause) {
    if (slot == 0 && wholeLineInFirstSlot) {
        run = WholeLine();
        return;
    }
    const PositionRecord& record = positionRecords[pause];
    run.opener = record.markOpener;
    run.depth = record.markDepth;
    run.kind = KindAt(run.opener);
    run.mask = MaskOf(run.kind);
    run.stopNode = StopNode(positionRecords[run.opener].closer, run.kind);
    run.quoted = (record.markState & STATE_QUOTED) != 0;
    run.exact = (record.markState & STATE_EXACT) != 0;
    run.parens = record.markState & STATE_PARENS;
    if (run.parens == STATE_PARENS) run.parens = largeCounts[--largeCountTop];
}

bool HasEscape(int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i)
        if (scanLine[i] == escapeChar) return true;
    return false;
}

// Starts the run of the opener at `opener`. A run that has no closer itself and opens one that
// has none ends when the nested one does: it would read the opener's characters again (no "%"
// among them) and walk on where the nested run walked, one level shallower. So, unless an escape
// character could make it walk elsewhere, the nested run takes its place instead of a new slot.
void OpenRun(Run& run, int32_t& slot, int32_t opener, const Form& form, PositionRecord& record) {
    if (record.closer == CLOSER_UNKNOWN) {
        if (!closersScanned) ScanClosers(opener);
        if (lastCloser[CloserClassOf(form.kind)] < form.end) record.closer = CLOSER_NONE;
    }
    bool inPlace = run.stopNode == END_NODE && record.closer == CLOSER_NONE &&
                   !(escapeInOpeners && HasEscape(opener, form.end));
    if (!inPlace) {
        if (run.kind != TOP_LEVEL) {
            record.markDepth = uint16_t(run.depth);
            record.markOpener = uint16_t(run.opener);
            record.markState = PackState(run);
            if (run.parens >= STATE_PARENS) largeCounts[largeCountTop++] = run.parens;
        }
        ++slot;
        slotReturn[slot] = uint16_t(opener);
    } else if (slot == 0) {
        wholeLineInFirstSlot = false;
    }
    run.depth += 1;
    run.opener = opener;
    run.kind = form.kind;
    run.mask = MaskOf(form.kind);
    run.stopNode = StopNode(record.closer, form.kind);
    run.position = form.end;
    run.literal = false;
    run.quoted = false;
    run.parens = 0;
    run.exact = true;
}

// Ends the active run at `last` (its reference's last character) or, with -1, without a closer;
// the enclosing run goes on after the reference or, without one, after the "%". Gives false when
// the whole line's run has ended.
bool EndRun(Run& run, int32_t& slot, int32_t last) {
    if (run.kind != TOP_LEVEL) {
        PositionRecord& record = positionRecords[run.opener];
        if (record.closer == CLOSER_UNKNOWN)
            record.closer = last < 0 ? CLOSER_NONE : uint16_t(last);
        if (last >= 0) Record(run.opener, last, run.depth);
    }
    if (slot == 0) return false; // (only runs without a closer stand in the first slot)
    int32_t pause = slotReturn[slot];
    int32_t current = last >= 0 ? last : pause;
    --slot;
    RestoreRun(run, slot, pause);
    WCHAR at = scanLine[current];
    if (at == '(')
        ++run.parens;
    else if (at == ')' && run.parens > 0)
        --run.parens;
    run.literal = false; // neither a closer nor a "%" read as one leaves literal mode on
    run.position = current + 1;
    return true;
}

// A run still looking for its closer, at a node that the run of `theirOpener` walked before (at
// the same depth or deeper) with state `theirState`: jumps to that run's stop and gives true when
// no closer of this run can come first.
bool SkipBehind(Run& run, uint16_t theirOpener, uint16_t theirState) {
    int32_t theirStop = StopNode(positionRecords[theirOpener].closer, KindAt(theirOpener));
    if (theirStop < 0 || theirStop == run.position) return false;
    if (!CannotCloseFirst(theirOpener, theirState, run.kind, run.quoted, run.parens)) return false;
    if (theirStop == END_NODE) {
        run.position = END_NODE;
        return true;
    }
    if (IsParenKind(run.kind) && run.parens != (theirState & STATE_PARENS)) return false;
    // The earlier run closed there, so it was unquoted, and so is this one; for the parenthesis
    // kinds both counts are 0.
    run.position = theirStop;
    run.quoted = false;
    run.parens = 0;
    return true;
}

// At a node with L off walked before at the run's depth or deeper: moves the run on and gives
// true, or gives false when the run must walk the node itself (without recording).
bool SkipWalked(Run& run, const PositionRecord& here) {
    if (run.stopNode >= 0) {
        int32_t theirStop =
            StopNode(positionRecords[here.markOpener].closer, KindAt(here.markOpener));
        // (A finished run always knows its stop; and a run marks its own closer before it sees it.)
        if (theirStop < 0 || theirStop == run.position) return false;
        if (run.stopNode <= theirStop) {
            run.position = run.stopNode;
        } else {
            run.position = theirStop;
            run.exact = false;
        }
        return true;
    }
    if (SkipBehind(run, here.markOpener, here.markState)) return true;
    return here.seekerDepth >= run.depth && SkipBehind(run, here.seekerOpener, here.seekerState);
}

constexpr int32_t RUNNING = -2;

void Walk() {
    int32_t slot = 0;
    Run run = WholeLine();
    for (;;) {
        if (!run.literal) {
            // Characters the run passes over unchanged.
            int32_t q = run.position;
            const uint8_t mask = run.mask;
            while (q < scanLength) {
                WCHAR ch = scanLine[q];
                if (ch < 128 ? (charSeen[ch] & mask) != 0 : ch == escapeChar) break;
                ++q;
            }
            run.position = q;
        }
        const int32_t p = run.position;
        int32_t ended = RUNNING;
        if (p >= scanLength || (!lengthKnown && scanLine[p] == 0)) {
            if (!lengthKnown && p < scanLength) scanLength = p, lengthKnown = true;
            ended = -1;
        } else if (p == run.stopNode) {
            ended = positionRecords[run.opener].closer;
        } else {
            bool shadow = false; // walked before at this depth or deeper: nothing to record
            if (!run.literal) {
                PositionRecord& here = Touch(p);
                if (here.markDepth != 0 && here.markDepth >= run.depth &&
                    !(here.markState & STATE_LITERAL)) {
                    if (SkipWalked(run, here)) continue;
                    shadow = true;
                } else if (run.kind != TOP_LEVEL) {
                    here.markDepth = uint16_t(run.depth);
                    here.markOpener = uint16_t(run.opener);
                    here.markState = PackState(run);
                }
                if (run.stopNode < 0) {
                    here.seekerDepth = uint16_t(run.depth);
                    here.seekerOpener = uint16_t(run.opener);
                    here.seekerState = PackState(run);
                }
            }
            // 1. Escape and quotes; 2. the closer (runs that do not know it yet).
            WCHAR ch = scanLine[p];
            bool afterToggle = run.literal != (ch == escapeChar);
            if (run.kind != TOP_LEVEL) {
                if (ch == '"' && ch != escapeChar && !run.literal) run.quoted = !run.quoted;
                if (run.stopNode < 0 && !run.quoted && !afterToggle)
                    ended = CloserAt(run.kind, p, run.parens);
            }
            if (ended < 0) {
                ended = RUNNING;
                // 3. Forms.
                int32_t current = p;
                bool keep = false;
                if (!afterToggle && ch == '%') {
                    Form form = ReadForm(p);
                    switch (form.type) {
                    case LiteralPercent:
                        current = p + 1;
                        break;
                    case PlainVariable:
                        if (!shadow) Record(p, form.end, run.depth + 1);
                        break;
                    case EqualsForm:
                        if (!shadow) Record(p, p + 1, run.depth + 1);
                        current = p + 1;
                        keep = true;
                        break;
                    case PlusForm:
                        if (!shadow) Record(p, p + 1, run.depth + 1);
                        break;
                    case OpenerForm: {
                        PositionRecord& record = Touch(p);
                        uint16_t closer = record.closer;
                        if (!shadow || closer == CLOSER_UNKNOWN) {
                            OpenRun(run, slot, p, form, record);
                            continue;
                        }
                        if (closer != CLOSER_NONE) current = closer;
                        break;
                    }
                    case NoForm:
                        break;
                    }
                }
                // 4. Bookkeeping at the current position; 5. on to the next.
                WCHAR at = scanLine[current];
                if (at == '(')
                    ++run.parens;
                else if (at == ')' && run.parens > 0)
                    --run.parens;
                run.literal = keep || (at == escapeChar && afterToggle);
                run.position = current + 1;
            }
        }
        if (ended != RUNNING && !EndRun(run, slot, ended)) return;
    }
}

} // namespace

ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line) return none;
    scanLine = line;
    scanLength = MAX_LINE_LENGTH;
    lengthKnown = false;
    escapeChar = escape;
    caret = cursor;
    best = none;
    clearedUpTo = 0;
    closersScanned = false;
    largeCountTop = 0;
    wholeLineInFirstSlot = true;
    for (int ch = 0; ch < 128; ++ch) charSeen[ch] = CHAR_SEEN.bits[ch];
    charSeen[0] = 0xFF; // the terminator stops every run
    if (escape < 128) charSeen[escape] |= SEES_ESCAPE;
    escapeInOpeners = escape == '%' || escape == '@' || escape == '(' || escape == '[' ||
                      escape == '{' || IsNameChar(escape);
    Walk();
    return best.first < 0 || best.last < 0 ? none : best;
}
