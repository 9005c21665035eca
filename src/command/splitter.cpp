// The command-tail splitter: cuts the tail into arguments at whitespace outside double quotes,
// drops the quotes, upper-cases what it keeps and leaves the arguments in ArgumentTable.
#include "splitter.h"

#include "../host/host.h"
#include "../plugin/messages.h"
#include "../platform/widetext.h"

ArgumentTableRecord ArgumentTable;

// The last unit a character may take is MAX_ARG_LEN - 2, so that its NUL still fits.
constexpr int LAST_CHARACTER_SLOT = MAX_ARG_LEN - 2;

static void ClearArgumentTable() {
    ArgumentTable.count = 0;
    for (int n = 0; n < MAX_ARGS; ++n) {
        ArgumentTable.text[n] = nullptr;
        ArgumentTable.length[n] = 0;
    }
    ArgumentTable.store[0] = 0;
}

static int ReportOverflow(int b) {
    PrintErrorMessage(WIDE("Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n"), b, MAX_ARG_LEN);
    return -1;
}

// Removes the trailing whitespace that quotes let into the first `count` arguments.
static void TrimArguments(int count) {
    for (int k = 0; k < count; ++k) {
        WCHAR* text = ArgumentTable.text[k];
        int32_t& length = ArgumentTable.length[k];
        while (length > 0 && WideIsSpace(text[length - 1])) text[--length] = 0;
    }
}

int SplitCommandTail(const WCHAR* tail) {
    if (!tail) return -1;
    ClearArgumentTable();
    int b = 0;      // next free unit of the store
    int n = 0;      // arguments completed
    int L = 0;      // characters of the argument under way
    bool Q = false; // inside double quotes
    for (const WCHAR* p = tail;; ++p) {
        WCHAR ch = *p;
        if (ch == '"') {
            Q = !Q;
            continue;
        }
        if (ch == 0) {
            if (L > 0) ++n;
            break;
        }
        if (!Q && WideIsSpace(ch)) {
            if (L > 0) {
                ++n;
                ++b; // past the argument's NUL
                L = 0;
            }
            continue;
        }
        if (b > LAST_CHARACTER_SLOT) return ReportOverflow(b);
        if (n >= MAX_ARGS) continue; // the table is full: the rest is ignored
        if (L == 0) ArgumentTable.text[n] = &ArgumentTable.store[b];
        ArgumentTable.store[b++] = WideToUpper(ch);
        ArgumentTable.store[b] = 0;
        ArgumentTable.length[n] = ++L;
    }
    TrimArguments(n);
    ArgumentTable.count = n;
    return n;
}
