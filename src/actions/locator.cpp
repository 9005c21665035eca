// The reference locator.
//
// The result is defined by a recursive character loop: one run per body, which records
// candidates, recurses into every opener it recognises, and reads the text of an opener without
// a closer again as ordinary text. Done literally that costs time exponential in the number of
// nested unclosed openers and one stack frame per nesting level. This file gives the same result
// in linear time, with static tables and a small fixed stack, in two passes.
//
// States. A run's walk is decided by the position and the literal flag L with which it arrives
// there; the quoted flag and the parenthesis count only decide where the run stops. So the walks
// of all runs are paths in one graph over the nodes (position, L): every node has exactly one
// successor, always further right, and two runs that meet at a node walk on together until one
// of them stops.
//
// Pass 1, right to left: where does every opener close? An opener's run starts at the node
// (body start, off) with quotes off and count 0. Its closer is the first node on the path that
// shows the closer of its kind while unquoted and not literal (and, for the parenthesis kinds,
// with count 0). Quotes: the quote toggles from a node to the path's end give a parity S per
// node; a closer node w is unquoted for a run from b exactly when S(w) == S(b). Count: with D(v)
// the sum of the parenthesis steps (+1, -1, 0) from v to the end, the count at w is
// max(D over b..w) - D(w), so it is 0 exactly at the nodes where D reaches a new maximum: the
// chain b, ng(b), ng(ng(b)), ... where ng(v) is the next node with D >= D(v). As D moves by at
// most one per node, ng and up1 (the next node with D = D(v) + 1) take O(1) each from the nodes
// to the right. Every node then keeps, per closer class and parity, the position of the first
// matching node on its path (or on its ng chain), and an opener's closer is one lookup. A node's
// successor needs only the closers of openers further right, so one right-to-left sweep builds
// everything. Most nodes are plain text (no form, closer, quote, parenthesis or escape): such a
// node only repeats its successor's record, so a stretch of them is filled from one record.
// Past the line's last closer character ("]", "}" or ")") no node can find a closer, so the
// records there all equal the line's end: the sweep stores only successors and forms there, and
// the nodes to the left treat that tail as the end. (Parity and count are read only as
// differences between two nodes of one path, so dropping the tail's share changes no closer.)
// On a line of openers with nothing closed after them, pass 1 then builds no record at all.
//
// Pass 2, left to right: which candidate wins? With every closer known, the recursion is run
// with an explicit stack, skipping what cannot change the result: a candidate recorded again at
// a depth no greater than before never replaces the best. Every node keeps the greatest depth
// at which a run has walked it and where that run stops. A run reaching a node already walked at
// its own depth or deeper jumps to the nearer of the two stops: up to there the earlier run saw
// the same forms and openers at the same or greater depth. What is not skipped is done in the
// recursion's own order, so ties between equal depths go the same way. Pass 1 marks every node
// it builds as not yet walked, so pass 2 starts from a clean slate without a sweep of its own.
//
// Storage. About 7 MB of static tables sized for the longest line (a call touches only the part
// its line needs): the line's copy, per-position form tables, and per-node tables in two planes
// by L (the L = 1 plane is built only after the escape character or "=", so it stays sparse);
// pass 2 reads only the successor table and its own marks. Nothing on the heap, a few hundred
// bytes of stack. The tables make a call
// non-reentrant, which suits the host: it calls the plugin on one thread, one call at a time.
#include "locator.h"

#include "../platform/widetext.h"

namespace {

// ---- Limits and markers ---------------------------------------------------------------------

// A node is 2 * position + L; the positions run to the line's end, whose nodes stand for "end".
constexpr int32_t NO_NODE = -1;
// Runs nest at most once per two characters ("%(" is the shortest opener).
constexpr int32_t MAX_RUNS = MAX_LINE_LENGTH / 2 + 2;

// What a "%" read outside literal mode starts, from the text alone.
enum FormType : uint8_t {
    NoForm,         // the "%" starts nothing
    LiteralPercent, // "%%"
    PlainVariable,  // "%" and a run of name characters; formEnd is its last index
    EqualsForm,     // "%=": recorded, and the next character is literal
    PlusForm,       // "%+"
    OpenerForm,     // one of the seven bracketed kinds; formEnd is its body start
};

// Closer classes, ORDER: the first three use the path, the last two the ng chain.
enum CloserClass { CloseBracket, CloseDoubleBracket, CloseBrace, CloseParen, CloseDoubleParen };
constexpr int CLOSER_CLASSES = 5;
constexpr int FIRST_PAREN_CLASS = CloseParen;

// A closer counts only outside literal mode, so a closer node's L is whether its character is
// the escape character, and its position alone names it.
constexpr uint16_t NO_CLOSER = 0xFFFF;      // positions stay below MAX_LINE_LENGTH
constexpr uint32_t NO_CLOSERS = 0xFFFFFFFF; // NO_CLOSER for both parities

// A node's pass-1 record: what the sweep needs from the nodes to its right. Pass 2 needs only
// the successor, kept apart in nextNode so that its walk reads 4 bytes a node.
struct Node {
    int32_t ng;                     // next node with D >= D(this), or NO_NODE
    int32_t up1;                    // next node with D = D(this) + 1, or NO_NODE
    uint32_t first[CLOSER_CLASSES]; // first closer position of a class: S = 0 low, S = 1 high half
    uint8_t parity;                 // S: quote toggles from here to the end, mod 2
};

// What pass 2 keeps per node.
struct Walk {
    int32_t depth; // greatest depth of a run that walked the node, or -1
    int32_t stop;  // stop node of that run
};

struct Run {
    int32_t node;   // where the run stands; while a nested run is open, the opener's node
    int32_t depth;  // depth of the run (0 for the whole line)
    int32_t stop;   // node of its closer, or the end node
    int32_t opener; // position of its "%", or -1 for the whole line
};

// ---- Static working storage (the line is at most MAX_LINE_LENGTH units) --------------------

// Per-node tables are split by L into two planes indexed by position: runs arrive in literal
// mode only after the escape character or "%=", so the L = 1 plane is mostly untouched and the
// L = 0 plane is dense.
constexpr int32_t PLANE = MAX_LINE_LENGTH + 1;
Node nodes[2][PLANE];
int32_t nextNode[2][PLANE]; // successor (>= the end node at the line's end)
Walk walked[2][PLANE];
uint8_t formType[MAX_LINE_LENGTH + 1];
uint8_t formKind[MAX_LINE_LENGTH + 1];
int32_t formEnd[MAX_LINE_LENGTH + 1];
int32_t closerNode[MAX_LINE_LENGTH + 1]; // closer node of the opener at a position, or NO_NODE
int32_t closerLast[MAX_LINE_LENGTH + 1]; // index of that reference's last character
Run runs[MAX_RUNS];

// Stands for the line's end in pass 1: no closers onward, parity 0.
const Node END_OF_LINE = {
    NO_NODE, NO_NODE, {NO_CLOSERS, NO_CLOSERS, NO_CLOSERS, NO_CLOSERS, NO_CLOSERS}, 0};

// The line being read, copied with nul units after it, so that reading a few units past its
// end needs no test.
constexpr int32_t PADDING = 4;
WCHAR text[MAX_LINE_LENGTH + PADDING];
int32_t length;
int32_t endNode;
// One past the last closer character (0 when there is none): pass 1 keeps node records only
// below it.
int32_t recordEnd;
int32_t recordEndNode;
WCHAR escapeChar;

WCHAR At(int32_t i) {
    return text[i];
}
int32_t PositionOf(int32_t node) {
    return node >> 1;
}
bool IsEnd(int32_t node) {
    return node >= endNode;
}
Node& NodeAt(int32_t node) {
    return nodes[node & 1][node >> 1];
}
int32_t& NextOf(int32_t node) {
    return nextNode[node & 1][node >> 1];
}
Walk& WalkAt(int32_t node) {
    return walked[node & 1][node >> 1];
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

// ---- Forms ----------------------------------------------------------------------------------

// The "%" at p ("%" and its kind, where any); formType is kept only where the line has "%". Reads
// the run of name characters after it; such runs end at the next "%", so all of them together read
// each character at most once.
void ClassifyForm(int32_t p) {
    formType[p] = NoForm;
    if (At(p) != '%') return;
    WCHAR next = At(p + 1);
    if (next == '%') {
        formType[p] = LiteralPercent;
    } else if (next == '@' && IsLetter(At(p + 2))) {
        int32_t q = p + 2;
        while (IsNameChar(At(q))) ++q;
        if (At(q) == '[' && At(q + 1) != 0)
            formType[p] = OpenerForm, formKind[p] = FunctionCall, formEnd[p] = q + 1;
    } else if (IsNameChar(next) && next != '$') {
        int32_t q = p + 1;
        while (IsNameChar(At(q))) ++q;
        if (At(q) == '[' && At(q + 1) != 0)
            formType[p] = OpenerForm, formKind[p] = IndexedVariable, formEnd[p] = q + 1;
        else
            formType[p] = PlainVariable, formEnd[p] = q - 1;
    } else if (next == '(' || next == '[') {
        bool twice = At(p + 2) == next && At(p + 3) != 0;
        if (twice || At(p + 2) != 0) {
            formType[p] = OpenerForm;
            formEnd[p] = p + (twice ? 3 : 2);
            if (next == '(')
                formKind[p] = twice ? DoubleParen : Paren;
            else
                formKind[p] = twice ? DoubleBracket : Bracket;
        }
    } else if (next == '{') {
        if (At(p + 2) != 0) formType[p] = OpenerForm, formKind[p] = Brace, formEnd[p] = p + 2;
    } else if (next == '=') {
        formType[p] = EqualsForm;
    } else if (next == '+') {
        formType[p] = PlusForm;
    }
}

// ---- Pass 1: closers ------------------------------------------------------------------------

// The closer of the opener at p, from the nodes to its right.
void FindCloser(int32_t p) {
    int kind = formKind[p];
    int cls = CloseBracket;
    if (kind == DoubleBracket) cls = CloseDoubleBracket;
    if (kind == Brace) cls = CloseBrace;
    if (kind == Paren) cls = CloseParen;
    if (kind == DoubleParen) cls = CloseDoubleParen;
    const Node& start = formEnd[p] >= recordEnd ? END_OF_LINE : nodes[0][formEnd[p]];
    uint16_t w = uint16_t(start.first[cls] >> (16 * start.parity));
    bool twoUnits = cls == CloseDoubleBracket || cls == CloseDoubleParen;
    closerNode[p] = w == NO_CLOSER ? NO_NODE : 2 * w + (At(w) == escapeChar ? 1 : 0);
    closerLast[p] = w == NO_CLOSER ? -1 : w + (twoUnits ? 1 : 0);
}

// The closer classes a character shows to a run that is not literal (quotes aside), as bits.
unsigned CloserClasses(WCHAR ch, WCHAR after) {
    bool twice = after == ch;
    if (ch == ']') return 1u << CloseBracket | (twice ? 1u << CloseDoubleBracket : 0u);
    if (ch == '}') return 1u << CloseBrace;
    if (ch == ')') return 1u << CloseParen | (twice ? 1u << CloseDoubleParen : 0u);
    return 0;
}

// Node (p, literal): one iteration of the character loop, with the closers to the right known.
// Also marks the node as not yet walked for pass 2. Without `records`, stores only the successor
// (all pass 2 reads) and the mark.
template <int literal, bool records = true> void BuildNode(int32_t p) {
    WCHAR ch = At(p);
    bool isEscape = ch == escapeChar;
    bool afterToggle = literal != (isEscape ? 1 : 0); // L after step 1
    int32_t current = p;
    bool keep = false;
    if (!afterToggle && ch == '%') {
        switch (formType[p]) {
        case LiteralPercent:
            current = p + 1;
            break;
        case EqualsForm:
            current = p + 1;
            keep = true;
            break;
        case OpenerForm:
            if (closerNode[p] != NO_NODE) current = closerLast[p];
            break;
        default:
            break;
        }
    }
    WCHAR at = At(current);
    int nextLiteral = keep ? 1 : (at == escapeChar ? (afterToggle ? 1 : 0) : 0);
    int32_t next = current + 1 >= length ? endNode : 2 * (current + 1) + nextLiteral;
    nextNode[literal][p] = next;
    walked[literal][p].depth = -1;
    if (!records) return;

    Node& n = nodes[literal][p];
    bool toggle = !isEscape && !literal && ch == '"';
    int step = at == '(' ? 1 : (at == ')' ? -1 : 0);
    // Past the last closer character the records are those of the line's end.
    bool atEnd = next >= recordEndNode;
    const Node& succ = atEnd ? END_OF_LINE : NodeAt(next);
    n.parity = uint8_t((toggle ? 1 : 0) ^ succ.parity);
    if (atEnd) {
        n.up1 = NO_NODE;
        n.ng = NO_NODE;
    } else if (step < 0) {
        n.up1 = next;
        n.ng = next;
    } else if (step == 0) {
        n.up1 = succ.up1;
        n.ng = next;
    } else {
        n.up1 = succ.up1 == NO_NODE ? NO_NODE : NodeAt(succ.up1).up1;
        n.ng = succ.up1;
    }
    // The first closers onward: along the path for the bracket classes, along the ng chain for
    // the parenthesis classes; then this node itself where it shows one.
    const Node& chain = n.ng == NO_NODE ? END_OF_LINE : NodeAt(n.ng);
    // (Field by field, each as wide as it was stored: the next node reads this one right away.)
    uint32_t first[CLOSER_CLASSES];
    for (int cls = 0; cls < CLOSER_CLASSES; ++cls)
        first[cls] = cls < FIRST_PAREN_CLASS ? succ.first[cls] : chain.first[cls];
    unsigned shown = afterToggle ? 0u : CloserClasses(ch, At(p + 1));
    uint32_t mask = n.parity ? 0x0000FFFFu : 0xFFFF0000u; // the half to keep
    uint32_t here = n.parity ? uint32_t(p) << 16 : uint32_t(p);
    for (int cls = 0; cls < CLOSER_CLASSES; ++cls) {
        if (shown & (1u << cls)) first[cls] = (first[cls] & mask) | here;
        n.first[cls] = first[cls];
    }
}

// Whether node (p, 0) is plain text: a character that is not the escape character, starts no
// form and shows no closer, quote or parenthesis. Such a node is its successor's copy (the
// successor is (p + 1, 0)), with ng pointing at that successor.
bool IsPlainText(WCHAR ch) {
    if (ch == escapeChar) return false;
    switch (ch) {
    case '%':
    case '"':
    case '(':
    case ')':
    case ']':
    case '}':
        return false;
    default:
        return true;
    }
}

// Node (p, 0) for plain text, from `onward`: the node after the stretch of plain text that
// holds p (or END_OF_LINE).
void CopyPlainNode(int32_t p, const Node& onward) {
    Node n = onward;
    n.ng = p + 1 >= recordEnd ? NO_NODE : 2 * (p + 1);
    nodes[0][p] = n;
    nextNode[0][p] = p + 1 >= length ? endNode : 2 * (p + 1);
    walked[0][p].depth = -1;
}

// A run arrives in literal mode only just after the escape character or "%=".
bool LiteralReachable(int32_t p) {
    return p > 0 && (text[p - 1] == escapeChar || text[p - 1] == '=');
}

void BuildLiteralNode(int32_t p) {
    if (LiteralReachable(p)) BuildNode<1>(p);
}

void FindAllClosers() {
    // Past the last closer character no run closes and no opener closes: there a node needs only
    // its successor (all pass 2 reads), and no record.
    recordEnd = 0;
    for (int32_t p = length - 1; p >= 0; --p) {
        WCHAR ch = text[p];
        if (ch == ')' || ch == ']' || ch == '}') {
            recordEnd = p + 1;
            break;
        }
    }
    recordEndNode = 2 * recordEnd;
    int32_t p = length - 1;
    while (p >= 0) {
        if (p < recordEnd && IsPlainText(text[p])) {
            // A stretch of plain text: each of its nodes copies the node after the stretch,
            // read once here.
            const Node onward = p + 1 >= recordEnd ? END_OF_LINE : nodes[0][p + 1];
            do {
                CopyPlainNode(p, onward);
                BuildLiteralNode(p);
                --p;
            } while (p >= 0 && IsPlainText(text[p]));
            continue;
        }
        if (text[p] == '%') {
            ClassifyForm(p);
            if (formType[p] == OpenerForm) FindCloser(p);
        }
        if (p >= recordEnd) {
            BuildNode<0, false>(p);
            if (LiteralReachable(p)) BuildNode<1, false>(p);
        } else {
            BuildNode<0>(p);
            BuildLiteralNode(p);
        }
        --p;
    }
}

// ---- Pass 2: candidates ---------------------------------------------------------------------

void Record(ReferenceSpan& best, int32_t cursor, int32_t first, int32_t last, int32_t depth) {
    if (first <= cursor && last >= cursor - 1 && depth > best.depth)
        best = ReferenceSpan{first, last, depth};
}

// The node of `a` and `b` (both on one path, or the end) that comes first.
int32_t Nearer(int32_t a, int32_t b) {
    int32_t pa = IsEnd(a) ? length : PositionOf(a);
    int32_t pb = IsEnd(b) ? length : PositionOf(b);
    return pa <= pb ? a : b;
}

// Forms at a node that a run walks for the first time at this depth. Gives true when it opened
// a nested run.
bool ReadForms(ReferenceSpan& best, int32_t cursor, int32_t& top) {
    Run& run = runs[top];
    int32_t p = PositionOf(run.node);
    bool literal = (run.node & 1) != ((At(p) == escapeChar) ? 1 : 0);
    if (literal || At(p) != '%') return false;
    switch (formType[p]) {
    case PlainVariable:
        Record(best, cursor, p, formEnd[p], run.depth + 1);
        return false;
    case EqualsForm:
    case PlusForm:
        Record(best, cursor, p, p + 1, run.depth + 1);
        return false;
    case OpenerForm: {
        int32_t stop = closerNode[p] == NO_NODE ? endNode : closerNode[p];
        runs[top + 1] = Run{2 * formEnd[p], run.depth + 1, stop, p};
        ++top;
        return true;
    }
    default:
        return false;
    }
}

ReferenceSpan RecordCandidates(int32_t cursor) {
    ReferenceSpan best{-1, -1, -1};
    int32_t top = 0;
    runs[0] = Run{length == 0 ? endNode : 0, 0, endNode, -1};
    for (;;) {
        Run& run = runs[top];
        const int32_t depth = run.depth, stop = run.stop;
        int32_t v = run.node;
        bool atPercent = false;
        while (!IsEnd(v) && v != stop) {
            Walk& walk = WalkAt(v);
            if (walk.depth >= depth) {
                v = Nearer(walk.stop, stop);
                continue;
            }
            walk = Walk{depth, stop};
            if (text[PositionOf(v)] == '%') {
                atPercent = true;
                break;
            }
            v = NextOf(v);
        }
        run.node = v;
        if (atPercent) {
            if (!ReadForms(best, cursor, top)) run.node = NextOf(v);
            continue;
        }
        // The run ends: at its closer it is a reference; at the line's end it is none.
        if (!IsEnd(v)) Record(best, cursor, run.opener, closerLast[run.opener], depth);
        if (top == 0) break;
        --top;
        runs[top].node = NextOf(runs[top].node);
    }
    return best;
}

} // namespace

ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line) return none;
    length = 0;
    while (length < MAX_LINE_LENGTH && line[length] != 0) {
        text[length] = line[length];
        ++length;
    }
    for (int32_t i = 0; i < PADDING; ++i) text[length + i] = 0;
    endNode = 2 * length;
    escapeChar = escape;
    FindAllClosers();
    ReferenceSpan best = RecordCandidates(cursor);
    return best.first < 0 || best.last < 0 ? none : best;
}
