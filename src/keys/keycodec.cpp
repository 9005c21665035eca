// The key-name codec: the translation between key names ("Ctrl-Alt-F5", "a-x", "PageUp") and the
// codes of the table in force.
//
// Every search is a plain linear scan over at most 74 rows of 7 cells and 25 aliases; the
// operations run once per command, settings load or named key event, so no index is kept.
#include "keycodec.h"

#include "../platform/widetext.h"

namespace {

// A token keeps this many units; the rest of an over-long token is dropped while reading goes on.
constexpr size_t MAX_TOKEN_LENGTH = KEY_NAME_CAPACITY - 1;

// The words that name a modifier before a hyphen, compared with ASCII folding.
struct ModifierWord {
    const WCHAR* word;
    int bit;
};
const ModifierWord MODIFIER_WORDS[] = {
    {WIDE("s"), SHIFT_MODIFIER},  {WIDE("shift"), SHIFT_MODIFIER}, {WIDE("c"), CTRL_MODIFIER},
    {WIDE("ctl"), CTRL_MODIFIER}, {WIDE("ctrl"), CTRL_MODIFIER},   {WIDE("control"), CTRL_MODIFIER},
    {WIDE("a"), ALT_MODIFIER},    {WIDE("alt"), ALT_MODIFIER},
};

// The modifier bits a token names, or 0 when it is no modifier word.
int ModifierBit(const WCHAR* token) {
    for (const ModifierWord& entry : MODIFIER_WORDS) {
        if (WideEqualsFolded(token, entry.word)) return entry.bit;
    }
    return 0;
}

// The table column of a modifier set, or -1 when the table has no such column (Alt with Shift
// alone; all three on the classic table).
int ColumnOfModifiers(int modifiers, const KeyTable& table) {
    switch (modifiers) {
    case 0:
        return 0;
    case SHIFT_MODIFIER:
        return 1;
    case CTRL_MODIFIER:
        return 2;
    case ALT_MODIFIER:
        return 3;
    case CTRL_MODIFIER | SHIFT_MODIFIER:
        return 4;
    case CTRL_MODIFIER | ALT_MODIFIER:
        return 5;
    case CTRL_MODIFIER | ALT_MODIFIER | SHIFT_MODIFIER:
        return table.columns > 6 ? 6 : -1;
    default:
        return -1;
    }
}

// Replaces `token` by the target of every alias it equals, walking the list in order.
void ApplyAliases(const KeyTable& table, WCHAR* token) {
    for (int i = 0; i < table.aliasCount; ++i) {
        if (WideEqualsFolded(token, table.aliasNames + i * ALIAS_SLOT)) {
            WideCopy(token, KEY_NAME_CAPACITY, table.aliasTargets + i * table.nameSlot);
        }
    }
}

// The row of the last key name equal to `token`, or -1.
int FindRow(const KeyTable& table, const WCHAR* token) {
    int found = -1;
    for (int row = 0; row < table.rows; ++row) {
        if (WideEqualsFolded(token, KeyTableName(table, row))) found = row;
    }
    return found;
}

} // namespace

// Splits the text at hyphens into modifier words and a final key name. A hyphen separates only
// after a non-empty token, so "-" and "Alt--" name the key "-". A hyphen that ends the text right
// after a token that is no modifier word belongs to the key name, so the classic "Num-" and
// "Ctrl-Num-" parse as the listing prints them. Tokens keep their first 1,023 units.
int32_t ParseKeyName(const WCHAR* text) {
    if (!text) return 0;
    const KeyTable& table = ActiveKeyTable();
    WCHAR token[KEY_NAME_CAPACITY];
    size_t length = 0;
    token[0] = 0;
    int modifiers = 0;
    for (const WCHAR* next = text; *next; ++next) {
        WCHAR ch = *next;
        if (ch == '-' && length > 0) {
            int bit = ModifierBit(token);
            if (bit) {
                modifiers |= bit;
                length = 0;
                token[0] = 0;
                continue;
            }
            if (next[1] != 0) return 0; // a word that is no modifier, before a hyphen
        }
        if (length < MAX_TOKEN_LENGTH) {
            token[length++] = ch;
            token[length] = 0;
        }
    }
    if (length == 0) return 0; // empty text, or it ended in a modifier and a hyphen

    int column = ColumnOfModifiers(modifiers, table);
    if (column < 0) return 0;
    ApplyAliases(table, token);
    int row = FindRow(table, token);
    return row < 0 ? 0 : KeyTableCell(table, row, column);
}

// The last cell holding the code names it. Codes of 0 or less are no key: the markers -1 and -2
// stand in many cells and name none of them.
int32_t FormatKeyName(int32_t code, WCHAR* out) {
    if (!out) return -1;
    const KeyTable& table = ActiveKeyTable();
    int foundRow = -1;
    int foundColumn = 0;
    for (int row = 0; code > 0 && row < table.rows; ++row) {
        for (int column = 0; column < table.columns; ++column) {
            if (KeyTableCell(table, row, column) == code) {
                foundRow = row;
                foundColumn = column;
            }
        }
    }
    if (foundRow < 0) {
        WideCopy(out, KEY_NAME_CAPACITY, WIDE("(unknown)"));
        return -1;
    }
    WideCopy(out, KEY_NAME_CAPACITY, ModifierPrefixes[foundColumn]);
    WideAppend(out, KEY_NAME_CAPACITY, KeyTableName(table, foundRow));
    return 0;
}

bool IsKnownKeyCode(int32_t code) {
    if (code <= 0) return false;
    const KeyTable& table = ActiveKeyTable();
    for (int cell = 0; cell < table.rows * table.columns; ++cell) {
        if (table.codes[cell] == code) return true;
    }
    return false;
}
