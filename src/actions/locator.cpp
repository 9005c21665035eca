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
// An opener whose closer character does not occur at or after its body start is known unclosed
// at once. The caret enters only when a candidate is recorded, and what is not skipped happens
// in the recursion's own order, so ties between equal depths go the same way.
//
// Storage. Ten bytes per position of the line and five per nesting level, static, touched only
// as far as the line goes (a position's record is cleared the first time a call reaches it);
// nothing on the heap and a few hundred bytes of stack. The line itself is read in place. The
// tables make a call non-reentrant, which suits the host: it calls the plugin on one thread, one
// call at a time.
#include "locator.h"

#include "../platform/widetext.h"

namespace {

// ---- Limits and markers ---------------------------------------------------------------------

// Runs nest at most once per two characters ("%(" is the shortest opener), plus the line's own.
constexpr int32_t MAX_RUNS = MAX_LINE_LENGTH / 2 + 2;

// The whole line's run, which has no kind and no closer.
constexpr int TOP_LEVEL = -1;

// An opener's closer as remembered: the index of its reference's last character, or these.
constexpr uint16_t CLOSER_UNKNOWN = 0xFFFF;
constexpr uint16_t CLOSER_NONE = 0xFFFE; // indices stay below MAX_LINE_LENGTH

// A run's state on arrival at a node, packed: quoted flag, whether the state is exact (it is not
// after a jump), and the parenthesis count (a count this large is not exact).
constexpr uint16_t STATE_QUOTED = 0x8000;
constexpr uint16_t STATE_EXACT = 0x4000;
constexpr uint16_t STATE_PARENS = 0x3FFF;

// What the "%" at a position starts when read outside literal mode.
enum FormType { NoForm, LiteralPercent, PlainVariable, EqualsForm, PlusForm, OpenerForm };

struct Form {
    FormType type;
    int kind;    // OpenerForm: the ReferenceKind
    int32_t end; // PlainVariable: its last index; OpenerForm: its body start
};

// What a call keeps per position.
struct PositionRecord {
    uint16_t markDepth;  // node (position, L off): depth of the deepest run that walked it, 0: none
    uint16_t markOpener; // that run's opener
    uint16_t markState;  // its state on arrival (STATE_*)
    uint16_t closer;     // the opener at this position: CLOSER_UNKNOWN, CLOSER_NONE or last index
    uint16_t nameEnd;    // the "%" at this position: index after its run of name characters, or 0
};

// Closer classes for the test "no closer of this class at or after the body start".
enum CloserClass { CloseBracket, CloseDoubleBracket, CloseBrace, CloseParen, CloseDoubleParen };
constexpr int CLOSER_CLASSES = 5;

// ---- Static working storage -----------------------------------------------------------------

PositionRecord positionRecords[MAX_LINE_LENGTH];
// Records below this index have been cleared by the current call.
int32_t clearedUpTo;

// The suspended runs, by depth: opener, parenthesis count, quoted flag and exactness.
uint16_t runOpener[MAX_RUNS];
uint16_t runParens[MAX_RUNS];
uint8_t runFlags[MAX_RUNS];
constexpr uint8_t RUN_QUOTED = 1;
constexpr uint8_t RUN_EXACT = 2;

const WCHAR* scanLine;
int32_t scanLength;
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
        for (int32_t j = clearedUpTo; j <= i; ++j)
            positionRecords[j] = PositionRecord{0, 0, 0, CLOSER_UNKNOWN, 0};
        clearedUpTo = i + 1;
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

// Index after the run of name characters that starts at `from`, for the "%" at p.
int32_t NameEnd(PositionRecord& record, int32_t from) {
    if (record.nameEnd == 0) {
        int32_t q = from;
        while (IsNameChar(At(q))) ++q;
        record.nameEnd = uint16_t(q);
    }
    return record.nameEnd;
}

Form ReadForm(int32_t p) {
    WCHAR next = At(p + 1);
    if (next == '%') return Form{LiteralPercent, 0, 0};
    if (next == '@') {
        if (!IsLetter(At(p + 2))) return Form{NoForm, 0, 0};
        int32_t q = NameEnd(Touch(p), p + 2);
        if (At(q) == '[' && At(q + 1) != 0) return Form{OpenerForm, FunctionCall, q + 1};
        return Form{NoForm, 0, 0};
    }
    if (IsNameChar(next) && next != '$') {
        int32_t q = NameEnd(Touch(p), p + 1);
        if (At(q) == '[' && At(q + 1) != 0) return Form{OpenerForm, IndexedVariable, q + 1};
        return Form{PlainVariable, 0, q - 1};
    }
    if (next == '(' || next == '[') {
        bool twice = At(p + 2) == next && At(p + 3) != 0;
        if (!twice && At(p + 2) == 0) return Form{NoForm, 0, 0};
        int kind = next == '(' ? (twice ? DoubleParen : Paren) : (twice ? DoubleBracket : Bracket);
        return Form{OpenerForm, kind, p + (twice ? 3 : 2)};
    }
    if (next == '{') {
        if (At(p + 2) == 0) return Form{NoForm, 0, 0};
        return Form{OpenerForm, Brace, p + 2};
    }
    if (next == '=') return Form{EqualsForm, 0, 0};
    if (next == '+') return Form{PlusForm, 0, 0};
    return Form{NoForm, 0, 0};
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

void ScanClosers() {
    for (int cls = 0; cls < CLOSER_CLASSES; ++cls) lastCloser[cls] = -1;
    int found = 0;
    for (int32_t i = scanLength - 1; i >= 0 && found < CLOSER_CLASSES; --i) {
        WCHAR ch = scanLine[i];
        int single = ch == ']'   ? CloseBracket
                     : ch == '}' ? CloseBrace
                     : ch == ')' ? CloseParen
                                 : -1;
        if (single < 0) continue;
        if (lastCloser[single] < 0) lastCloser[single] = i, ++found;
        int twice = ch == ']' ? CloseDoubleBracket : ch == ')' ? CloseDoubleParen : -1;
        if (twice >= 0 && lastCloser[twice] < 0 && At(i + 1) == ch) lastCloser[twice] = i, ++found;
    }
    closersScanned = true;
}

// The node where a run of `kind` from the opener at p stops: its closer's first character, the
// line's end, or -1 while unknown.
int32_t StopNode(uint16_t closer, int kind) {
    if (closer == CLOSER_UNKNOWN) return -1;
    if (closer == CLOSER_NONE) return scanLength;
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
bool CannotCloseFirst(const PositionRecord& mark, int kind, bool quoted, int32_t parens) {
    if (!(mark.markState & STATE_EXACT)) return false;
    if (((mark.markState & STATE_QUOTED) != 0) != quoted) return false;
    int theirs = KindAt(mark.markOpener);
    bool theirsSingleBracket =
        theirs == FunctionCall || theirs == IndexedVariable || theirs == Bracket;
    switch (kind) {
    case DoubleBracket:
        return theirsSingleBracket || theirs == DoubleBracket;
    case Brace:
        return theirs == Brace;
    case Paren:
        return theirs == Paren && parens >= (mark.markState & STATE_PARENS);
    case DoubleParen:
        return IsParenKind(theirs) && parens >= (mark.markState & STATE_PARENS);
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
    int32_t opener;   // position of its "%", -1 for the whole line
    int kind;         // ReferenceKind, or TOP_LEVEL
    int32_t stopNode; // where it stops when known (the line's end for the whole line), else -1
    int32_t position;
    bool literal;
    bool quoted;
    int32_t parens;
    bool exact; // quoted flag and count are those the loop would have (no jump since the start)
};

void RestoreRun(Run& run) {
    if (run.depth == 0) {
        run = Run{0, -1, TOP_LEVEL, scanLength, 0, false, false, 0, true};
        return;
    }
    run.opener = runOpener[run.depth];
    run.kind = KindAt(run.opener);
    run.stopNode = StopNode(positionRecords[run.opener].closer, run.kind);
    run.parens = runParens[run.depth];
    run.quoted = (runFlags[run.depth] & RUN_QUOTED) != 0;
    run.exact = (runFlags[run.depth] & RUN_EXACT) != 0;
}

void OpenRun(Run& run, int32_t opener, const Form& form) {
    runParens[run.depth] = uint16_t(run.parens);
    runFlags[run.depth] = uint8_t((run.quoted ? RUN_QUOTED : 0) | (run.exact ? RUN_EXACT : 0));
    ++run.depth;
    runOpener[run.depth] = uint16_t(opener);
    PositionRecord& record = Touch(opener);
    if (record.closer == CLOSER_UNKNOWN) {
        if (!closersScanned) ScanClosers();
        if (lastCloser[CloserClassOf(form.kind)] < form.end) record.closer = CLOSER_NONE;
    }
    run.opener = opener;
    run.kind = form.kind;
    run.stopNode = StopNode(record.closer, form.kind);
    run.position = form.end;
    run.literal = false;
    run.quoted = false;
    run.parens = 0;
    run.exact = true;
}

// Ends the active run at `last` (its reference's last character) or, with -1, without a closer;
// the enclosing run goes on after the reference or, without one, after the "%".
void CloseRun(Run& run, int32_t last) {
    PositionRecord& record = positionRecords[run.opener];
    if (record.closer == CLOSER_UNKNOWN) record.closer = last < 0 ? CLOSER_NONE : uint16_t(last);
    if (last >= 0) Record(run.opener, last, run.depth);
    int32_t current = last >= 0 ? last : run.opener;
    --run.depth;
    RestoreRun(run);
    WCHAR at = scanLine[current];
    if (at == '(')
        ++run.parens;
    else if (at == ')' && run.parens > 0)
        --run.parens;
    run.literal = false; // neither a closer nor a "%" read as one leaves literal mode on
    run.position = current + 1;
}

// At a node with L off walked before at the run's depth or deeper: moves the run on and gives
// true, or gives false when the run must walk the node itself (without recording).
bool SkipWalked(Run& run, const PositionRecord& mark) {
    uint16_t theirCloser = positionRecords[mark.markOpener].closer;
    int32_t theirStop = StopNode(theirCloser, KindAt(mark.markOpener));
    if (theirStop < 0) return false; // (a finished run always knows)
    if (run.stopNode >= 0) {
        if (run.stopNode <= theirStop) {
            run.position = run.stopNode;
        } else {
            run.position = theirStop;
            run.exact = false;
        }
        return true;
    }
    if (!CannotCloseFirst(mark, run.kind, run.quoted, run.parens)) return false;
    if (theirStop >= scanLength) {
        run.position = scanLength;
        return true;
    }
    if (IsParenKind(run.kind) && run.parens != (mark.markState & STATE_PARENS)) return false;
    // The earlier run closed there, so it was unquoted, and so is this one; for the parenthesis
    // kinds both counts are 0.
    run.position = theirStop;
    run.quoted = false;
    run.parens = 0;
    return true;
}

void Walk() {
    Run run{0, -1, TOP_LEVEL, scanLength, 0, false, false, 0, true};
    for (;;) {
        if (run.depth == 0 && !run.literal) {
            // The whole line's run only needs "%" and the escape character.
            int32_t p = run.position;
            while (p < scanLength && scanLine[p] != '%' && scanLine[p] != escapeChar) ++p;
            run.position = p;
        }
        const int32_t p = run.position;
        if (p >= scanLength) {
            if (run.depth == 0) return;
            CloseRun(run, -1);
            continue;
        }
        if (p == run.stopNode) {
            CloseRun(run, positionRecords[run.opener].closer);
            continue;
        }
        bool shadow = false; // walked before at this depth or deeper: nothing to record
        if (!run.literal) {
            PositionRecord& here = Touch(p);
            if (here.markDepth != 0 && here.markDepth >= run.depth) {
                if (SkipWalked(run, here)) continue;
                shadow = true;
            } else if (run.depth > 0) {
                here.markDepth = uint16_t(run.depth);
                here.markOpener = uint16_t(run.opener);
                bool exact = run.exact && run.parens < STATE_PARENS;
                here.markState =
                    uint16_t((run.quoted ? STATE_QUOTED : 0) | (exact ? STATE_EXACT : 0) |
                             (exact ? run.parens : STATE_PARENS));
            }
        }
        // 1. Escape and quotes; 2. the closer (runs that do not know it yet).
        WCHAR ch = scanLine[p];
        bool afterToggle = run.literal != (ch == escapeChar);
        if (run.depth > 0) {
            if (ch == '"' && ch != escapeChar && !run.literal) run.quoted = !run.quoted;
            if (run.stopNode < 0 && !run.quoted && !afterToggle) {
                int32_t last = CloserAt(run.kind, p, run.parens);
                if (last >= 0) {
                    CloseRun(run, last);
                    continue;
                }
            }
        }
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
                uint16_t closer = Touch(p).closer;
                if (!shadow || closer == CLOSER_UNKNOWN) {
                    OpenRun(run, p, form);
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

} // namespace

ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line) return none;
    int32_t length = 0;
    while (length < MAX_LINE_LENGTH && line[length] != 0) ++length;
    scanLine = line;
    scanLength = length;
    escapeChar = escape;
    caret = cursor;
    best = none;
    clearedUpTo = 0;
    closersScanned = false;
    Walk();
    return best.first < 0 || best.last < 0 ? none : best;
}
