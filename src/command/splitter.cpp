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

// The message names the store's next free unit as "b", the name users have seen it under.
static int ReportOverflow(int storeUsed) {
    PrintErrorMessage(WIDE("Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n"), storeUsed,
                      MAX_ARG_LEN);
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
    int storeUsed = 0;      // next free unit of the store
    int argumentCount = 0;  // arguments completed
    int argumentLength = 0; // characters of the argument under way
    bool quoted = false;    // inside double quotes
    for (const WCHAR* next = tail;; ++next) {
        WCHAR ch = *next;
        if (ch == '"') {
            quoted = !quoted;
            continue;
        }
        if (ch == 0) {
            if (argumentLength > 0) ++argumentCount;
            break;
        }
        if (!quoted && WideIsSpace(ch)) {
            if (argumentLength > 0) {
                ++argumentCount;
                ++storeUsed; // past the argument's NUL
                argumentLength = 0;
            }
            continue;
        }
        if (storeUsed > LAST_CHARACTER_SLOT) return ReportOverflow(storeUsed);
        if (argumentCount >= MAX_ARGS) continue; // the table is full: the rest is ignored
        if (argumentLength == 0)
            ArgumentTable.text[argumentCount] = &ArgumentTable.store[storeUsed];
        ArgumentTable.store[storeUsed++] = WideToUpper(ch);
        ArgumentTable.store[storeUsed] = 0;
        ArgumentTable.length[argumentCount] = ++argumentLength;
    }
    TrimArguments(argumentCount);
    ArgumentTable.count = argumentCount;
    return argumentCount;
}
