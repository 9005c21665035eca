// The key tables' invariants, checked as counts and rules over the data, and every cell against
// golden files (tests/golden/cells_*.txt) written down from the host's key codes apart from the
// tables' source: a changed cell, even one no rule covers, fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "src/keys/keytables.h"
#include "src/platform/widetext.h"
#include "tests/support/host_capture.h"

using support::Text;
using support::Utf8;

namespace {

constexpr int FIRST_LETTER_ROW = 22; // row of A, counted from 0
constexpr int SHARED_ROWS = 48;      // F1 to Z, alike in both tables

Text Upper(const WCHAR* text) {
    Text upper;
    for (; *text; ++text) upper += WideToUpper(*text);
    return upper;
}

int RowOf(const KeyTable& table, const WCHAR* name) {
    for (int row = 0; row < table.rows; ++row) {
        if (Text(KeyTableName(table, row)) == name) return row;
    }
    return -1;
}

// Every positive cell: code -> "prefix" + "name".
std::map<int32_t, Text> NamedCodes(const KeyTable& table) {
    std::map<int32_t, Text> codes;
    for (int row = 0; row < table.rows; ++row) {
        for (int column = 0; column < table.columns; ++column) {
            int32_t code = KeyTableCell(table, row, column);
            if (code > 0) codes[code] = Text(ModifierPrefixes[column]) + KeyTableName(table, row);
        }
    }
    return codes;
}

struct TableCase {
    const char* label;
    const KeyTable* table;
    int rows, columns, aliases, positiveCells;
};
const TableCase Tables[] = {
    {"classic", &ClassicKeyTable, 74, 6, 17, 261},
    {"extended", &ExtendedKeyTable, 72, 7, 25, 384},
};

} // namespace

TEST(KeyTables, ShapeAndPositiveCells) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        EXPECT_EQ(c.rows, t.rows);
        EXPECT_EQ(c.columns, t.columns);
        EXPECT_EQ(c.aliases, t.aliasCount);
        int positive = 0, zero = 0, other = 0;
        std::set<int32_t> distinct;
        for (int row = 0; row < t.rows; ++row) {
            int rowPositive = 0;
            for (int column = 0; column < t.columns; ++column) {
                int32_t code = KeyTableCell(t, row, column);
                if (code > 0) {
                    ++positive;
                    ++rowPositive;
                    distinct.insert(code);
                } else if (code == 0) {
                    ++zero;
                } else if (code != NO_KEY && code != NOT_ALLOWED) {
                    ++other;
                }
            }
            EXPECT_GT(rowPositive, 0) << "row " << row << " would list an empty line";
        }
        EXPECT_EQ(c.positiveCells, positive);
        EXPECT_EQ(size_t(positive), distinct.size()) << "a positive code stands in two cells";
        EXPECT_EQ(0, zero);
        EXPECT_EQ(0, other);
    }
}

TEST(KeyTables, NamesFitAndAreUniqueIgnoringAsciiCase) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        std::set<Text> names;
        for (int row = 0; row < t.rows; ++row) {
            const WCHAR* name = KeyTableName(t, row);
            size_t length = WideLength(name, size_t(t.nameSlot));
            EXPECT_GT(length, 0u);
            EXPECT_LT(length, size_t(t.nameSlot));
            EXPECT_TRUE(names.insert(Upper(name)).second) << Utf8(name);
        }
    }
}

TEST(KeyTables, AliasesLeadToKeyNamesInOneStep) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        std::set<Text> names, aliases;
        for (int row = 0; row < t.rows; ++row) names.insert(Upper(KeyTableName(t, row)));
        for (int i = 0; i < t.aliasCount; ++i) {
            const WCHAR* alias = t.aliasNames + i * ALIAS_SLOT;
            EXPECT_GT(WideLength(alias, ALIAS_SLOT), 0u);
            EXPECT_EQ(0u, names.count(Upper(alias))) << "alias is a key name: " << Utf8(alias);
            EXPECT_TRUE(aliases.insert(Upper(alias)).second) << Utf8(alias);
        }
        for (int i = 0; i < t.aliasCount; ++i) {
            const WCHAR* target = t.aliasTargets + i * t.nameSlot;
            // An exact key name, so one substitution reaches a row.
            EXPECT_GE(RowOf(t, target), 0) << Utf8(target);
            EXPECT_EQ(0u, aliases.count(Upper(target))) << Utf8(target);
        }
    }
}

TEST(KeyTables, ModifierBitsByColumn) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        const int32_t bits[] = {0, 0, 0, 0, CTRL_SHIFT_BITS, CTRL_ALT_BITS, CTRL_ALT_SHIFT_BITS};
        for (int row = 0; row < t.rows; ++row) {
            for (int column = 0; column < t.columns; ++column) {
                int32_t code = KeyTableCell(t, row, column);
                if (code <= 0) continue;
                EXPECT_EQ(bits[column], code & CTRL_ALT_SHIFT_BITS)
                    << Utf8(ModifierPrefixes[column]) << Utf8(KeyTableName(t, row));
            }
        }
    }
}

TEST(KeyTables, MarkersStandWhereTheRulesPutThem) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        for (int row = 0; row < t.rows; ++row) {
            const WCHAR* name = KeyTableName(t, row);
            bool typing = row >= FIRST_LETTER_ROW;
            bool shiftable = Text(name) == WIDE("BkSp") || Text(name) == WIDE("Backspace") ||
                             Text(name) == WIDE("Enter");
            bool classicNumAlt = &t == &ClassicKeyTable &&
                                 (Text(name) == WIDE("Num-") || Text(name) == WIDE("Num+"));
            for (int column = 0; column < t.columns; ++column) {
                bool marked = (typing && column == 0) || (typing && column == 1 && !shiftable) ||
                              (classicNumAlt && column == 3);
                EXPECT_EQ(marked, KeyTableCell(t, row, column) == NOT_ALLOWED)
                    << Utf8(ModifierPrefixes[column]) << Utf8(name);
            }
        }
    }
    EXPECT_EQ(NO_KEY, KeyTableCell(ClassicKeyTable, RowOf(ClassicKeyTable, WIDE("BkSp")), 1));
}

TEST(KeyTables, CtrlAltShiftIsCtrlAltPlusShiftBitButForDelAndB) {
    const KeyTable& t = ExtendedKeyTable;
    std::set<Text> exceptions;
    for (int row = 0; row < t.rows; ++row) {
        int32_t ctrlAlt = KeyTableCell(t, row, 5);
        int32_t ctrlAltShift = KeyTableCell(t, row, 6);
        if (ctrlAlt <= 0 || ctrlAltShift != ctrlAlt + CTRL_SHIFT_BITS) {
            exceptions.insert(KeyTableName(t, row));
        }
    }
    EXPECT_EQ((std::set<Text>{WIDE("Del"), WIDE("B")}), exceptions);
    EXPECT_EQ(NO_KEY, KeyTableCell(t, RowOf(t, WIDE("Del")), 5));
    EXPECT_EQ(0x70093, KeyTableCell(t, RowOf(t, WIDE("Del")), 6));
    EXPECT_EQ(0x7003E, KeyTableCell(t, RowOf(t, WIDE("B")), 6));
}

TEST(KeyTables, FunctionKeysStepByOne) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        const int32_t f1[] = {0x1003B, 0x10054, 0x1005E, 0x10068, 0x30054, 0x5005E, 0x7005E};
        for (int row = 0; row < 10; ++row) {
            EXPECT_EQ("F" + std::to_string(row + 1), Utf8(KeyTableName(t, row)));
            for (int column = 0; column < t.columns; ++column) {
                EXPECT_EQ(f1[column] + row, KeyTableCell(t, row, column));
            }
        }
    }
}

TEST(KeyTables, CtrlLettersAreControlCharacters) {
    for (const TableCase& c : Tables) {
        SCOPED_TRACE(c.label);
        const KeyTable& t = *c.table;
        for (int letter = 0; letter < 26; ++letter) {
            int row = FIRST_LETTER_ROW + letter;
            EXPECT_EQ(Text(1, WCHAR('A' + letter)), KeyTableName(t, row));
            int32_t ctrl = KeyTableCell(t, row, 2);
            if (ctrl != NO_KEY) {
                EXPECT_EQ(letter + 1, ctrl);
            }
        }
    }
}

TEST(KeyTables, SharedRowsAgreeButForCtrlM) {
    for (int row = 0; row < SHARED_ROWS; ++row) {
        const WCHAR* name = KeyTableName(ClassicKeyTable, row);
        EXPECT_EQ(Text(name), KeyTableName(ExtendedKeyTable, row));
        for (int column = 0; column < CLASSIC_COLUMNS; ++column) {
            int32_t classic = KeyTableCell(ClassicKeyTable, row, column);
            int32_t extended = KeyTableCell(ExtendedKeyTable, row, column);
            if (Text(name) == WIDE("M") && column == 2) {
                EXPECT_EQ(NO_KEY, classic);
                EXPECT_EQ(0xD, extended);
            } else {
                EXPECT_EQ(classic, extended) << Utf8(ModifierPrefixes[column]) << Utf8(name);
            }
        }
    }
}

TEST(KeyTables, CodesSharedRenamedAndClassicOnly) {
    std::map<int32_t, Text> classic = NamedCodes(ClassicKeyTable);
    std::map<int32_t, Text> extended = NamedCodes(ExtendedKeyTable);
    int shared = 0;
    std::set<int32_t> renamed, classicOnly;
    for (const auto& [code, name] : classic) {
        auto other = extended.find(code);
        if (other == extended.end()) {
            classicOnly.insert(code);
        } else {
            ++shared;
            if (other->second != name) renamed.insert(code);
        }
    }
    EXPECT_EQ(249, shared);
    EXPECT_EQ((std::set<int32_t>{0x7F, 0x1000E, 0x3000E, 0x5000E, 0x1002A, 0x10037, 0x30037,
                                 0x50037, 0x10034, 0x50034, 0x10035, 0x50035, 0x10083}),
              renamed);
    EXPECT_EQ((std::set<int32_t>{0x1C, 0x10029, 0x30029, 0x50029, 0x10082, 0x30035, 0x1004A,
                                 0x3004A, 0x5004A, 0x1004E, 0x3004E, 0x5004E}),
              classicOnly);
    EXPECT_EQ(Text(WIDE("Alt-=")), classic[0x10083]);
    EXPECT_EQ(Text(WIDE("Alt-Plus")), extended[0x10083]);
}

namespace {

// One line per cell, row after row and column after column: the modifier prefix and key name,
// a tab, and the code in hexadecimal or the marker (-1, -2).
std::vector<std::string> CellLines(const KeyTable& table) {
    std::vector<std::string> lines;
    for (int row = 0; row < table.rows; ++row) {
        for (int column = 0; column < table.columns; ++column) {
            int32_t code = KeyTableCell(table, row, column);
            char number[16];
            std::snprintf(number, sizeof number, code < 0 ? "%d" : "0x%X", code);
            lines.push_back(Utf8(ModifierPrefixes[column]) + Utf8(KeyTableName(table, row)) + "\t" +
                            number);
        }
    }
    return lines;
}

TEST(KeyTables, EveryCellMatchesTheGoldenFile) {
    const struct {
        const KeyTable* table;
        const char* golden;
    } cases[] = {{&ClassicKeyTable, "cells_classic.txt"},
                 {&ExtendedKeyTable, "cells_extended.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        std::ifstream file(std::string(TALLIX_GOLDEN_DIR) + "/" + c.golden, std::ios::binary);
        std::vector<std::string> golden;
        for (std::string line; std::getline(file, line);) golden.push_back(line);
        const std::vector<std::string> cells = CellLines(*c.table);
        ASSERT_EQ(golden.size(), cells.size());
        for (size_t i = 0; i < cells.size(); ++i)
            EXPECT_EQ(golden[i], cells[i]) << "line " << i + 1;
    }
}

} // namespace
