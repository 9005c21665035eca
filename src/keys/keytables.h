// The host's key codes for both host generations, as constant tables.
//
// A key table is a list of rows, one per physical key, held as parallel arrays: the key names,
// the grid of codes (one cell per modifier column), and the table's own aliases (alternative
// names, each with the key name it stands for). ClassicKeyTable serves hosts before version 24,
// ExtendedKeyTable hosts 24 and later.
#pragma once

#include "../platform/platform.h"

// Cell markers. No cell holds 0: 0 means "no key" everywhere else.
constexpr int32_t NO_KEY = -1;      // the key does not offer this combination
constexpr int32_t NOT_ALLOWED = -2; // a combination that may not serve as a hotkey

// Modifier columns; the index is the column number of both tables.
constexpr int MODIFIER_COLUMNS = 7;
constexpr int MODIFIER_SLOT = 16; // units per prefix, terminator included
extern const WCHAR ModifierPrefixes[MODIFIER_COLUMNS][MODIFIER_SLOT];

// A set of modifier keys, one bit per key: the words of a key name as the codec collects them,
// and the keys held down as the keystroke dispatch reads them.
constexpr int SHIFT_MODIFIER = 1;
constexpr int CTRL_MODIFIER = 2;
constexpr int ALT_MODIFIER = 4;

// The plugin's own modifier bits, carried by the Ctrl-Shift-, Ctrl-Alt- and Ctrl-Alt-Shift-
// columns and ORed into live key codes by the keystroke dispatch.
constexpr int32_t CTRL_SHIFT_BITS = 0x20000;
constexpr int32_t CTRL_ALT_BITS = 0x40000;
constexpr int32_t CTRL_ALT_SHIFT_BITS = 0x60000;

constexpr int ALIAS_SLOT = 16; // units per alias name, terminator included

struct KeyTable {
    int rows;
    int columns;
    int nameSlot;         // units per key name, terminator included
    const WCHAR* names;   // rows * nameSlot units
    const int32_t* codes; // rows * columns cells, row after row
    int aliasCount;
    const WCHAR* aliasNames;   // aliasCount * ALIAS_SLOT units
    const WCHAR* aliasTargets; // aliasCount * nameSlot units
};

constexpr int CLASSIC_ROWS = 74;
constexpr int CLASSIC_COLUMNS = 6;
constexpr int CLASSIC_NAME_SLOT = 8;
constexpr int CLASSIC_ALIASES = 17;
constexpr int EXTENDED_ROWS = 72;
constexpr int EXTENDED_COLUMNS = 7;
constexpr int EXTENDED_NAME_SLOT = 10;
constexpr int EXTENDED_ALIASES = 25;

extern const KeyTable ClassicKeyTable;
extern const KeyTable ExtendedKeyTable;

// The name of row `row`, and the cell of `row` in `column`.
inline const WCHAR* KeyTableName(const KeyTable& table, int row) {
    return table.names + row * table.nameSlot;
}
inline int32_t KeyTableCell(const KeyTable& table, int row, int column) {
    return table.codes[row * table.columns + column];
}
