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
// to the right. Every node then keeps, per closer class and parity, the first matching node on
// its path (or on its ng chain), and an opener's closer is one lookup. A node's successor needs
// only the closers of openers further right, so one right-to-left sweep builds everything.
//
// Pass 2, left to right: which candidate wins? With every closer known, the recursion is run
// with an explicit stack, skipping what cannot change the result: a candidate recorded again at
// a depth no greater than before never replaces the best. Every node keeps the greatest depth
// at which a run has walked it and where that run stops. A run reaching a node already walked at
// its own depth or deeper jumps to the nearer of the two stops: up to there the earlier run saw
// the same forms and openers at the same or greater depth. What is not skipped is done in the
// recursion's own order, so ties between equal depths go the same way.
#include "locator.h"

#include "../platform/widetext.h"

namespace {

// ---- Limits and markers ---------------------------------------------------------------------

// A node is 2 * position + L; the positions run to the line's end, whose nodes stand for "end".
constexpr int32_t MAX_NODES = 2 * (MAX_LINE_LENGTH + 1);
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

// Closer classes, ORDER: the first four use the path, the last two the ng chain.
enum CloserClass { CloseBracket, CloseDoubleBracket, CloseBrace, CloseParen, CloseDoubleParen };
constexpr int CLOSER_CLASSES = 5;
constexpr int FIRST_PAREN_CLASS = CloseParen;

struct Node {
    int32_t next;                     // successor node (>= the end node at the line's end)
    int32_t ng;                       // next node with D >= D(this), or NO_NODE
    int32_t up1;                      // next node with D = D(this) + 1, or NO_NODE
    int32_t first[CLOSER_CLASSES][2]; // first closer node of a class with parity S = index
    uint8_t parity;                   // S: quote toggles from here to the end, mod 2
};

struct Run {
    int32_t node;   // where the run stands; while a nested run is open, the opener's node
    int32_t depth;  // depth of the run (0 for the whole line)
    int32_t stop;   // node of its closer, or the end node
    int32_t opener; // position of its "%", or -1 for the whole line
};

// ---- Static working storage (the line is at most MAX_LINE_LENGTH units) --------------------

Node nodes[MAX_NODES];
int32_t walkedDepth[MAX_NODES]; // greatest depth of a run that walked the node, or -1
int32_t walkedStop[MAX_NODES];  // stop node of that run
uint8_t formType[MAX_LINE_LENGTH + 1];
uint8_t formKind[MAX_LINE_LENGTH + 1];
int32_t formEnd[MAX_LINE_LENGTH + 1];
int32_t closerNode[MAX_LINE_LENGTH + 1]; // closer node of the opener at a position, or NO_NODE
int32_t closerLast[MAX_LINE_LENGTH + 1]; // index of that reference's last character
Run runs[MAX_RUNS];

// The line being read: its units below `length`, nul beyond.
const WCHAR* text;
int32_t length;
int32_t endNode;
WCHAR escapeChar;

WCHAR At(int32_t i) {
    return i < length ? text[i] : WCHAR(0);
}
int32_t PositionOf(int32_t node) {
    return node >> 1;
}
bool IsEnd(int32_t node) {
    return node >= endNode;
}
bool IsNameChar(WCHAR ch) {
    return WideIsAlnum(ch) || ch == '_' || ch == '$';
}

// ---- Forms ----------------------------------------------------------------------------------

// The "%" at p ("%" and its kind, where any). Reads the run of name characters after it; such
// runs end at the next "%", so all of them together read each character at most once.
void ClassifyForm(int32_t p) {
    formType[p] = NoForm;
    if (At(p) != '%') return;
    WCHAR next = At(p + 1);
    if (next == '%') {
        formType[p] = LiteralPercent;
    } else if (next == '@' && WideIsAlpha(At(p + 2))) {
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
    int32_t start = 2 * formEnd[p];
    int32_t w = nodes[start].first[cls][nodes[start].parity];
    closerNode[p] = w;
    bool twoUnits = cls == CloseDoubleBracket || cls == CloseDoubleParen;
    closerLast[p] = w == NO_NODE ? -1 : PositionOf(w) + (twoUnits ? 1 : 0);
}

// Which closer classes the node shows, as a run would test them (unquoted assumed).
bool ShowsCloser(int32_t p, bool literal, int cls) {
    if (literal) return false;
    WCHAR ch = At(p);
    switch (cls) {
    case CloseBracket:
        return ch == ']';
    case CloseDoubleBracket:
        return ch == ']' && At(p + 1) == ']';
    case CloseBrace:
        return ch == '}';
    case CloseParen:
        return ch == ')';
    default:
        return ch == ')' && At(p + 1) == ')';
    }
}

// Node (p, literal): one iteration of the character loop, with the closers to the right known.
void BuildNode(int32_t p, int literal) {
    Node& n = nodes[2 * p + literal];
    WCHAR ch = At(p);
    bool isEscape = ch == escapeChar;
    bool afterToggle = literal != (isEscape ? 1 : 0); // L after step 1
    bool toggle = !isEscape && !literal && ch == '"';
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
    int step = at == '(' ? 1 : (at == ')' ? -1 : 0);
    int nextLiteral = keep ? 1 : (at == escapeChar ? (afterToggle ? 1 : 0) : 0);
    n.next = current + 1 >= length ? endNode : 2 * (current + 1) + nextLiteral;

    bool atEnd = IsEnd(n.next);
    const Node* succ = atEnd ? nullptr : &nodes[n.next];
    n.parity = uint8_t((toggle ? 1 : 0) ^ (succ ? succ->parity : 0));
    if (!succ) {
        n.up1 = NO_NODE;
        n.ng = NO_NODE;
    } else if (step < 0) {
        n.up1 = n.next;
        n.ng = n.next;
    } else if (step == 0) {
        n.up1 = succ->up1;
        n.ng = n.next;
    } else {
        n.up1 = succ->up1 == NO_NODE ? NO_NODE : nodes[succ->up1].up1;
        n.ng = succ->up1;
    }
    for (int cls = 0; cls < CLOSER_CLASSES; ++cls) {
        bool shows = ShowsCloser(p, afterToggle, cls);
        int32_t onward = cls < FIRST_PAREN_CLASS ? (succ ? n.next : NO_NODE) : n.ng;
        for (int s = 0; s < 2; ++s) {
            if (shows && n.parity == s)
                n.first[cls][s] = 2 * p + literal;
            else
                n.first[cls][s] = onward == NO_NODE ? NO_NODE : nodes[onward].first[cls][s];
        }
    }
}

void FindAllClosers() {
    for (int32_t p = length - 1; p >= 0; --p) {
        ClassifyForm(p);
        if (formType[p] == OpenerForm) FindCloser(p);
        BuildNode(p, 0);
        BuildNode(p, 1);
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
    for (int32_t v = 0; v <= endNode + 1; ++v) walkedDepth[v] = -1;
    int32_t top = 0;
    runs[0] = Run{length == 0 ? endNode : 0, 0, endNode, -1};
    for (;;) {
        Run& run = runs[top];
        int32_t v = run.node;
        if (IsEnd(v) || v == run.stop) {
            // The run ends: at its closer it is a reference; at the line's end it is none.
            if (!IsEnd(v)) Record(best, cursor, run.opener, closerLast[run.opener], run.depth);
            if (top == 0) break;
            --top;
            runs[top].node = nodes[runs[top].node].next;
            continue;
        }
        if (walkedDepth[v] >= run.depth) {
            run.node = Nearer(walkedStop[v], run.stop);
            continue;
        }
        walkedDepth[v] = run.depth;
        walkedStop[v] = run.stop;
        if (!ReadForms(best, cursor, top)) run.node = nodes[v].next;
    }
    return best;
}

} // namespace

ReferenceSpan LocateReference(const WCHAR* line, int32_t cursor, WCHAR escape) {
    ReferenceSpan none{-1, -1, -1};
    if (!line) return none;
    text = line;
    length = int32_t(WideLength(line, MAX_LINE_LENGTH));
    endNode = 2 * length;
    escapeChar = escape;
    FindAllClosers();
    ReferenceSpan best = RecordCandidates(cursor);
    return best.first < 0 || best.last < 0 ? none : best;
}
