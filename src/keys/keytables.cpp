// The host's key codes for both host generations, and the names the plugin gives them.
//
// Each table is written once, as a list of KEY rows: the key's name and one cell per modifier
// column (the columns of ModifierPrefixes, in that order). The list expands twice, into the
// parallel arrays of names and codes that a KeyTable points at, so the two cannot drift apart;
// the row macros take a fixed number of cells, so a row with a cell too many or too few does not
// compile. Codes are hexadecimal, as the host documents them. A cell is a positive key code,
// NO_KEY (the key does not offer that combination) or NOT_ALLOWED (a combination that may not
// serve as a hotkey: plain and shifted typing keys, and the classic Alt- of Num- and Num+).
//
// Columns 4-6 carry the plugin's own modifier bits (CTRL_SHIFT_BITS, CTRL_ALT_BITS,
// CTRL_ALT_SHIFT_BITS) on top of a host code, the same bits the keystroke dispatch ORs into a live
// key code, so that a key press and a table cell meet on one value.
#include "keytables.h"

const WCHAR ModifierPrefixes[MODIFIER_COLUMNS][MODIFIER_SLOT] = {
    WIDE(""),                // 0: no modifier
    WIDE("Shift-"),          // 1
    WIDE("Ctrl-"),           // 2
    WIDE("Alt-"),            // 3
    WIDE("Ctrl-Shift-"),     // 4
    WIDE("Ctrl-Alt-"),       // 5
    WIDE("Ctrl-Alt-Shift-"), // 6: ExtendedKeyTable only
};

namespace {

// clang-format off

// ---- ClassicKeyTable: hosts before version 24 ------------------------------------------------

// Rows in listing and search order: function keys, arrow and editing keys, letters, digits,
// punctuation, keypad operators.
#define CLASSIC_KEY_LIST(KEY) \
    /*  key         none         Shift-       Ctrl-        Alt-         Ctrl-Shift-  Ctrl-Alt-  */ \
    KEY("F1",       0x1003B,     0x10054,     0x1005E,     0x10068,     0x30054,     0x5005E    ) \
    KEY("F2",       0x1003C,     0x10055,     0x1005F,     0x10069,     0x30055,     0x5005F    ) \
    KEY("F3",       0x1003D,     0x10056,     0x10060,     0x1006A,     0x30056,     0x50060    ) \
    KEY("F4",       0x1003E,     0x10057,     0x10061,     0x1006B,     0x30057,     0x50061    ) \
    KEY("F5",       0x1003F,     0x10058,     0x10062,     0x1006C,     0x30058,     0x50062    ) \
    KEY("F6",       0x10040,     0x10059,     0x10063,     0x1006D,     0x30059,     0x50063    ) \
    KEY("F7",       0x10041,     0x1005A,     0x10064,     0x1006E,     0x3005A,     0x50064    ) \
    KEY("F8",       0x10042,     0x1005B,     0x10065,     0x1006F,     0x3005B,     0x50065    ) \
    KEY("F9",       0x10043,     0x1005C,     0x10066,     0x10070,     0x3005C,     0x50066    ) \
    KEY("F10",      0x10044,     0x1005D,     0x10067,     0x10071,     0x3005D,     0x50067    ) \
    KEY("F11",      0x10085,     0x10087,     0x10089,     0x1008B,     0x30087,     0x50089    ) \
    KEY("F12",      0x10086,     0x10088,     0x1008A,     0x1008C,     0x30088,     0x5008A    ) \
    KEY("Home",     0x10047,     0x100CA,     0x10077,     NO_KEY,      0x300CA,     0x50077    ) \
    KEY("End",      0x1004F,     0x100CB,     0x10075,     NO_KEY,      0x300CB,     0x50075    ) \
    KEY("PgUp",     0x10049,     NO_KEY,      0x10084,     NO_KEY,      0x30049,     0x50084    ) \
    KEY("PgDn",     0x10051,     NO_KEY,      0x10076,     NO_KEY,      0x30051,     0x50076    ) \
    KEY("Ins",      0x10052,     NO_KEY,      NO_KEY,      NO_KEY,      0x30052,     0x50092    ) \
    KEY("Del",      0x10053,     NO_KEY,      0x10093,     NO_KEY,      0x30053,     NO_KEY     ) \
    KEY("Up",       0x10048,     NO_KEY,      0x1008D,     NO_KEY,      0x30048,     0x5008D    ) \
    KEY("Down",     0x10050,     NO_KEY,      0x10091,     NO_KEY,      0x30050,     0x50091    ) \
    KEY("Left",     0x1004B,     0x100C8,     0x10073,     0x100F4,     0x300CC,     0x50073    ) \
    KEY("Right",    0x1004D,     0x100C9,     0x10074,     0x100F6,     0x300CD,     0x50074    ) \
    KEY("A",        NOT_ALLOWED, NOT_ALLOWED, 0x1,         0x1001E,     0x20001,     0x5001E    ) \
    KEY("B",        NOT_ALLOWED, NOT_ALLOWED, 0x2,         0x10030,     0x20002,     0x50030    ) \
    KEY("C",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1002E,     NO_KEY,      0x5002E    ) \
    KEY("D",        NOT_ALLOWED, NOT_ALLOWED, 0x4,         0x10020,     0x20004,     0x50020    ) \
    KEY("E",        NOT_ALLOWED, NOT_ALLOWED, 0x5,         0x10012,     0x20005,     0x50012    ) \
    KEY("F",        NOT_ALLOWED, NOT_ALLOWED, 0x6,         0x10021,     0x20006,     0x50021    ) \
    KEY("G",        NOT_ALLOWED, NOT_ALLOWED, 0x7,         0x10022,     0x20007,     0x50022    ) \
    KEY("H",        NOT_ALLOWED, NOT_ALLOWED, 0x8,         0x10023,     0x20008,     0x50023    ) \
    KEY("I",        NOT_ALLOWED, NOT_ALLOWED, 0x9,         0x10017,     NO_KEY,      0x50017    ) \
    KEY("J",        NOT_ALLOWED, NOT_ALLOWED, 0xA,         0x10024,     0x2000A,     0x50024    ) \
    KEY("K",        NOT_ALLOWED, NOT_ALLOWED, 0xB,         0x10025,     0x2000B,     0x50025    ) \
    KEY("L",        NOT_ALLOWED, NOT_ALLOWED, 0xC,         0x10026,     0x2000C,     0x50026    ) \
    KEY("M",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10032,     0x2000D,     0x50032    ) \
    KEY("N",        NOT_ALLOWED, NOT_ALLOWED, 0xE,         0x10031,     0x2000E,     0x50031    ) \
    KEY("O",        NOT_ALLOWED, NOT_ALLOWED, 0xF,         0x10018,     0x2000F,     0x50018    ) \
    KEY("P",        NOT_ALLOWED, NOT_ALLOWED, 0x10,        0x10019,     0x20010,     0x50019    ) \
    KEY("Q",        NOT_ALLOWED, NOT_ALLOWED, 0x11,        0x10010,     0x20011,     0x50010    ) \
    KEY("R",        NOT_ALLOWED, NOT_ALLOWED, 0x12,        0x10013,     0x20012,     0x50013    ) \
    KEY("S",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1001F,     NO_KEY,      0x5001F    ) \
    KEY("T",        NOT_ALLOWED, NOT_ALLOWED, 0x14,        0x10014,     0x20014,     0x50014    ) \
    KEY("U",        NOT_ALLOWED, NOT_ALLOWED, 0x15,        0x10016,     0x20015,     0x50016    ) \
    KEY("V",        NOT_ALLOWED, NOT_ALLOWED, 0x16,        0x1002F,     0x20016,     0x5002F    ) \
    KEY("W",        NOT_ALLOWED, NOT_ALLOWED, 0x17,        0x10011,     0x20017,     0x50011    ) \
    KEY("X",        NOT_ALLOWED, NOT_ALLOWED, 0x18,        0x1002D,     0x20018,     0x5002D    ) \
    KEY("Y",        NOT_ALLOWED, NOT_ALLOWED, 0x19,        0x10015,     0x20019,     0x50015    ) \
    KEY("Z",        NOT_ALLOWED, NOT_ALLOWED, 0x1A,        0x1002C,     0x2001A,     0x5002C    ) \
    KEY("1",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E2,     NO_KEY,      NO_KEY     ) \
    KEY("2",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E3,     NO_KEY,      NO_KEY     ) \
    KEY("3",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E4,     NO_KEY,      NO_KEY     ) \
    KEY("4",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E5,     NO_KEY,      NO_KEY     ) \
    KEY("5",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E6,     NO_KEY,      NO_KEY     ) \
    KEY("6",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E7,     NO_KEY,      NO_KEY     ) \
    KEY("7",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E8,     NO_KEY,      NO_KEY     ) \
    KEY("8",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100E9,     NO_KEY,      NO_KEY     ) \
    KEY("9",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100EA,     NO_KEY,      NO_KEY     ) \
    KEY("0",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x100EB,     NO_KEY,      NO_KEY     ) \
    KEY("BkSp",     NOT_ALLOWED, NO_KEY,      0x7F,        0x1000E,     0x3000E,     0x5000E    ) \
    KEY("Grave",    NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10029,     0x30029,     0x50029    ) \
    KEY("-",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10082,     NO_KEY,      NO_KEY     ) \
    KEY("=",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10083,     NO_KEY,      NO_KEY     ) \
    KEY("[",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1001A,     NO_KEY,      0x5001A    ) \
    KEY("]",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1001B,     NO_KEY,      0x5001B    ) \
    KEY("\\",       NOT_ALLOWED, NOT_ALLOWED, 0x1C,        0x1002B,     NO_KEY,      0x5002B    ) \
    KEY(";",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10027,     NO_KEY,      0x50027    ) \
    KEY("'",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10028,     NO_KEY,      0x50028    ) \
    KEY(",",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10033,     NO_KEY,      0x50033    ) \
    KEY(".",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10034,     NO_KEY,      0x50034    ) \
    KEY("/",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x10035,     NO_KEY,      0x50035    ) \
    KEY("Num/",     NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      NO_KEY,      0x30035,     NO_KEY     ) \
    KEY("Num*",     NOT_ALLOWED, NOT_ALLOWED, 0x10037,     0x1002A,     0x30037,     0x50037    ) \
    KEY("Num-",     NOT_ALLOWED, NOT_ALLOWED, 0x1004A,     NOT_ALLOWED, 0x3004A,     0x5004A    ) \
    KEY("Num+",     NOT_ALLOWED, NOT_ALLOWED, 0x1004E,     NOT_ALLOWED, 0x3004E,     0x5004E    )

// Alternative names, tried in this order; each target is a key name of the table.
#define CLASSIC_ALIAS_LIST(ALIAS) \
    ALIAS("PageUp",     "PgUp" ) \
    ALIAS("PageDown",   "PgDn" ) \
    ALIAS("Insert",     "Ins"  ) \
    ALIAS("Delete",     "Del"  ) \
    ALIAS("Backspace",  "BkSp" ) \
    ALIAS("Backquote",  "Grave") \
    ALIAS("Minus",      "-"    ) \
    ALIAS("Equals",     "="    ) \
    ALIAS("Backslash",  "\\"   ) \
    ALIAS("Semicolon",  ";"    ) \
    ALIAS("Semi",       ";"    ) \
    ALIAS("Apostrophe", "'"    ) \
    ALIAS("Apos",       "'"    ) \
    ALIAS("Comma",      ","    ) \
    ALIAS("Period",     "."    ) \
    ALIAS("Dot",        "."    ) \
    ALIAS("Slash",      "/"    )

// ---- ExtendedKeyTable: hosts of version 24 and later -----------------------------------------

// Rows 1-48 are the classic ones (only Ctrl-M differs); the typing keys that follow bear the
// names newer hosts pass with a key event.
//
// The Ctrl-Alt-Shift- cell is the Ctrl-Alt- cell plus 0x20000 in every row but two, both as the
// host sends them, so do not make them regular:
//   Del  Ctrl-Alt-Del belongs to the system (it never reaches a program), so that cell is NO_KEY,
//        here and in the classic table; Ctrl-Alt-Shift-Del arrives, as 0x70093: Ctrl-Del's code
//        with the plugin's Ctrl-Alt-Shift bits.
//   B    Ctrl-Alt-Shift-B arrives as 0x7003E, not 0x70030: the host's code for it differs from
//        that of Ctrl-Alt-B in the low byte.
#define EXTENDED_KEY_LIST(KEY) \
    /*  key         none         Shift-       Ctrl-        Alt-         Ctrl-Shift-  Ctrl-Alt-    Ctrl-Alt-Shift- */ \
    KEY("F1",       0x1003B,     0x10054,     0x1005E,     0x10068,     0x30054,     0x5005E,     0x7005E    ) \
    KEY("F2",       0x1003C,     0x10055,     0x1005F,     0x10069,     0x30055,     0x5005F,     0x7005F    ) \
    KEY("F3",       0x1003D,     0x10056,     0x10060,     0x1006A,     0x30056,     0x50060,     0x70060    ) \
    KEY("F4",       0x1003E,     0x10057,     0x10061,     0x1006B,     0x30057,     0x50061,     0x70061    ) \
    KEY("F5",       0x1003F,     0x10058,     0x10062,     0x1006C,     0x30058,     0x50062,     0x70062    ) \
    KEY("F6",       0x10040,     0x10059,     0x10063,     0x1006D,     0x30059,     0x50063,     0x70063    ) \
    KEY("F7",       0x10041,     0x1005A,     0x10064,     0x1006E,     0x3005A,     0x50064,     0x70064    ) \
    KEY("F8",       0x10042,     0x1005B,     0x10065,     0x1006F,     0x3005B,     0x50065,     0x70065    ) \
    KEY("F9",       0x10043,     0x1005C,     0x10066,     0x10070,     0x3005C,     0x50066,     0x70066    ) \
    KEY("F10",      0x10044,     0x1005D,     0x10067,     0x10071,     0x3005D,     0x50067,     0x70067    ) \
    KEY("F11",      0x10085,     0x10087,     0x10089,     0x1008B,     0x30087,     0x50089,     0x70089    ) \
    KEY("F12",      0x10086,     0x10088,     0x1008A,     0x1008C,     0x30088,     0x5008A,     0x7008A    ) \
    KEY("Home",     0x10047,     0x100CA,     0x10077,     NO_KEY,      0x300CA,     0x50077,     0x70077    ) \
    KEY("End",      0x1004F,     0x100CB,     0x10075,     NO_KEY,      0x300CB,     0x50075,     0x70075    ) \
    KEY("PgUp",     0x10049,     NO_KEY,      0x10084,     NO_KEY,      0x30049,     0x50084,     0x70084    ) \
    KEY("PgDn",     0x10051,     NO_KEY,      0x10076,     NO_KEY,      0x30051,     0x50076,     0x70076    ) \
    KEY("Ins",      0x10052,     NO_KEY,      NO_KEY,      NO_KEY,      0x30052,     0x50092,     0x70092    ) \
    KEY("Del",      0x10053,     NO_KEY,      0x10093,     NO_KEY,      0x30053,     NO_KEY,      0x70093    ) \
    KEY("Up",       0x10048,     NO_KEY,      0x1008D,     NO_KEY,      0x30048,     0x5008D,     0x7008D    ) \
    KEY("Down",     0x10050,     NO_KEY,      0x10091,     NO_KEY,      0x30050,     0x50091,     0x70091    ) \
    KEY("Left",     0x1004B,     0x100C8,     0x10073,     0x100F4,     0x300CC,     0x50073,     0x70073    ) \
    KEY("Right",    0x1004D,     0x100C9,     0x10074,     0x100F6,     0x300CD,     0x50074,     0x70074    ) \
    KEY("A",        NOT_ALLOWED, NOT_ALLOWED, 0x1,         0x1001E,     0x20001,     0x5001E,     0x7001E    ) \
    KEY("B",        NOT_ALLOWED, NOT_ALLOWED, 0x2,         0x10030,     0x20002,     0x50030,     0x7003E    ) \
    KEY("C",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1002E,     NO_KEY,      0x5002E,     0x7002E    ) \
    KEY("D",        NOT_ALLOWED, NOT_ALLOWED, 0x4,         0x10020,     0x20004,     0x50020,     0x70020    ) \
    KEY("E",        NOT_ALLOWED, NOT_ALLOWED, 0x5,         0x10012,     0x20005,     0x50012,     0x70012    ) \
    KEY("F",        NOT_ALLOWED, NOT_ALLOWED, 0x6,         0x10021,     0x20006,     0x50021,     0x70021    ) \
    KEY("G",        NOT_ALLOWED, NOT_ALLOWED, 0x7,         0x10022,     0x20007,     0x50022,     0x70022    ) \
    KEY("H",        NOT_ALLOWED, NOT_ALLOWED, 0x8,         0x10023,     0x20008,     0x50023,     0x70023    ) \
    KEY("I",        NOT_ALLOWED, NOT_ALLOWED, 0x9,         0x10017,     NO_KEY,      0x50017,     0x70017    ) \
    KEY("J",        NOT_ALLOWED, NOT_ALLOWED, 0xA,         0x10024,     0x2000A,     0x50024,     0x70024    ) \
    KEY("K",        NOT_ALLOWED, NOT_ALLOWED, 0xB,         0x10025,     0x2000B,     0x50025,     0x70025    ) \
    KEY("L",        NOT_ALLOWED, NOT_ALLOWED, 0xC,         0x10026,     0x2000C,     0x50026,     0x70026    ) \
    KEY("M",        NOT_ALLOWED, NOT_ALLOWED, 0xD,         0x10032,     0x2000D,     0x50032,     0x70032    ) \
    KEY("N",        NOT_ALLOWED, NOT_ALLOWED, 0xE,         0x10031,     0x2000E,     0x50031,     0x70031    ) \
    KEY("O",        NOT_ALLOWED, NOT_ALLOWED, 0xF,         0x10018,     0x2000F,     0x50018,     0x70018    ) \
    KEY("P",        NOT_ALLOWED, NOT_ALLOWED, 0x10,        0x10019,     0x20010,     0x50019,     0x70019    ) \
    KEY("Q",        NOT_ALLOWED, NOT_ALLOWED, 0x11,        0x10010,     0x20011,     0x50010,     0x70010    ) \
    KEY("R",        NOT_ALLOWED, NOT_ALLOWED, 0x12,        0x10013,     0x20012,     0x50013,     0x70013    ) \
    KEY("S",        NOT_ALLOWED, NOT_ALLOWED, NO_KEY,      0x1001F,     NO_KEY,      0x5001F,     0x7001F    ) \
    KEY("T",        NOT_ALLOWED, NOT_ALLOWED, 0x14,        0x10014,     0x20014,     0x50014,     0x70014    ) \
    KEY("U",        NOT_ALLOWED, NOT_ALLOWED, 0x15,        0x10016,     0x20015,     0x50016,     0x70016    ) \
    KEY("V",        NOT_ALLOWED, NOT_ALLOWED, 0x16,        0x1002F,     0x20016,     0x5002F,     0x7002F    ) \
    KEY("W",        NOT_ALLOWED, NOT_ALLOWED, 0x17,        0x10011,     0x20017,     0x50011,     0x70011    ) \
    KEY("X",        NOT_ALLOWED, NOT_ALLOWED, 0x18,        0x1002D,     0x20018,     0x5002D,     0x7002D    ) \
    KEY("Y",        NOT_ALLOWED, NOT_ALLOWED, 0x19,        0x10015,     0x20019,     0x50015,     0x70015    ) \
    KEY("Z",        NOT_ALLOWED, NOT_ALLOWED, 0x1A,        0x1002C,     0x2001A,     0x5002C,     0x7002C    ) \
    KEY("1",        NOT_ALLOWED, NOT_ALLOWED, 0xE2,        0x100E2,     0x200E2,     0x500E2,     0x700E2    ) \
    KEY("2",        NOT_ALLOWED, NOT_ALLOWED, 0xE3,        0x100E3,     0x200E3,     0x500E3,     0x700E3    ) \
    KEY("3",        NOT_ALLOWED, NOT_ALLOWED, 0xE4,        0x100E4,     0x200E4,     0x500E4,     0x700E4    ) \
    KEY("4",        NOT_ALLOWED, NOT_ALLOWED, 0xE5,        0x100E5,     0x200E5,     0x500E5,     0x700E5    ) \
    KEY("5",        NOT_ALLOWED, NOT_ALLOWED, 0xE6,        0x100E6,     0x200E6,     0x500E6,     0x700E6    ) \
    KEY("6",        NOT_ALLOWED, NOT_ALLOWED, 0xE7,        0x100E7,     0x200E7,     0x500E7,     0x700E7    ) \
    KEY("7",        NOT_ALLOWED, NOT_ALLOWED, 0xE8,        0x100E8,     0x200E8,     0x500E8,     0x700E8    ) \
    KEY("8",        NOT_ALLOWED, NOT_ALLOWED, 0xE9,        0x100E9,     0x200E9,     0x500E9,     0x700E9    ) \
    KEY("9",        NOT_ALLOWED, NOT_ALLOWED, 0xEA,        0x100EA,     0x200EA,     0x500EA,     0x700EA    ) \
    KEY("0",        NOT_ALLOWED, NOT_ALLOWED, 0xEB,        0x100EB,     0x200EB,     0x500EB,     0x700EB    ) \
    KEY("Backspace",NOT_ALLOWED, 0x87F,       0x7F,        0x1000E,     0x3000E,     0x5000E,     0x7000E    ) \
    KEY("`",        NOT_ALLOWED, NOT_ALLOWED, 0x860,       0x10860,     0x20860,     0x50860,     0x70860    ) \
    KEY("Minus",    NOT_ALLOWED, NOT_ALLOWED, 0x8BD,       0x108BD,     0x208BD,     0x508BD,     0x708BD    ) \
    KEY("Plus",     NOT_ALLOWED, NOT_ALLOWED, 0x8BB,       0x10083,     0x208BB,     0x508BB,     0x708BB    ) \
    KEY("Enter",    NOT_ALLOWED, 0x80D,       0xC0D,       NO_KEY,      0x2080D,     0x5080D,     0x7080D    ) \
    KEY("[",        NOT_ALLOWED, NOT_ALLOWED, 0x8DB,       0x1001A,     0x208DB,     0x5001A,     0x7001A    ) \
    KEY("]",        NOT_ALLOWED, NOT_ALLOWED, 0x8DD,       0x1001B,     0x208DD,     0x5001B,     0x7001B    ) \
    KEY("\\",       NOT_ALLOWED, NOT_ALLOWED, 0x8DC,       0x1002B,     0x208DC,     0x5002B,     0x7002B    ) \
    KEY("Divide",   NOT_ALLOWED, NOT_ALLOWED, 0x835,       0x10035,     0x20035,     0x50035,     0x70035    ) \
    KEY("*",        NOT_ALLOWED, NOT_ALLOWED, 0x10037,     0x1002A,     0x30037,     0x50037,     0x70037    ) \
    KEY(";",        NOT_ALLOWED, NOT_ALLOWED, 0x827,       0x10027,     0x20027,     0x50027,     0x70027    ) \
    KEY("'",        NOT_ALLOWED, NOT_ALLOWED, 0x828,       0x10028,     0x20028,     0x50028,     0x70028    ) \
    KEY(",",        NOT_ALLOWED, NOT_ALLOWED, 0x833,       0x10033,     0x20033,     0x50033,     0x70033    ) \
    KEY("Decimal",  NOT_ALLOWED, NOT_ALLOWED, 0x834,       0x10034,     0x20034,     0x50034,     0x70034    )

// The one-character aliases U+00BD, U+00DB, U+00DD and U+00DC carry the Windows virtual-key
// codes of the minus, bracket and backslash keys, as newer hosts name those keys.
#define EXTENDED_ALIAS_LIST(ALIAS) \
    ALIAS("PageUp",     "PgUp"     ) \
    ALIAS("PageDown",   "PgDn"     ) \
    ALIAS("Insert",     "Ins"      ) \
    ALIAS("Delete",     "Del"      ) \
    ALIAS("BkSp",       "Backspace") \
    ALIAS("Grave",      "`"        ) \
    ALIAS("-",          "Minus"    ) \
    ALIAS("\u00BD",     "Minus"    ) \
    ALIAS("+",          "Plus"     ) \
    ALIAS("Equals",     "Plus"     ) \
    ALIAS("=",          "Plus"     ) \
    ALIAS("Backslash",  "\\"       ) \
    ALIAS("\u00DB",     "["        ) \
    ALIAS("\u00DD",     "]"        ) \
    ALIAS("\u00DC",     "\\"       ) \
    ALIAS("/",          "Divide"   ) \
    ALIAS("Multiply",   "*"        ) \
    ALIAS("Semicolon",  ";"        ) \
    ALIAS("Semi",       ";"        ) \
    ALIAS("Apostrophe", "'"        ) \
    ALIAS("Apos",       "'"        ) \
    ALIAS("Comma",      ","        ) \
    ALIAS(".",          "Decimal"  ) \
    ALIAS("Period",     "Decimal"  ) \
    ALIAS("Dot",        "Decimal"  )

// ---- The parallel arrays ---------------------------------------------------------------------

#define NAME_OF_ROW6(name, c0, c1, c2, c3, c4, c5) WIDE(name),
#define CELLS_OF_ROW6(name, c0, c1, c2, c3, c4, c5) {c0, c1, c2, c3, c4, c5},
#define NAME_OF_ROW7(name, c0, c1, c2, c3, c4, c5, c6) WIDE(name),
#define CELLS_OF_ROW7(name, c0, c1, c2, c3, c4, c5, c6) {c0, c1, c2, c3, c4, c5, c6},
#define ALIAS_NAME(name, target) WIDE(name),
#define ALIAS_TARGET(name, target) WIDE(target),

const WCHAR CLASSIC_NAMES[][CLASSIC_NAME_SLOT] = {CLASSIC_KEY_LIST(NAME_OF_ROW6)};
const int32_t CLASSIC_CODES[][CLASSIC_COLUMNS] = {CLASSIC_KEY_LIST(CELLS_OF_ROW6)};
const WCHAR CLASSIC_ALIAS_NAMES[][ALIAS_SLOT] = {CLASSIC_ALIAS_LIST(ALIAS_NAME)};
const WCHAR CLASSIC_ALIAS_TARGETS[][CLASSIC_NAME_SLOT] = {CLASSIC_ALIAS_LIST(ALIAS_TARGET)};

const WCHAR EXTENDED_NAMES[][EXTENDED_NAME_SLOT] = {EXTENDED_KEY_LIST(NAME_OF_ROW7)};
const int32_t EXTENDED_CODES[][EXTENDED_COLUMNS] = {EXTENDED_KEY_LIST(CELLS_OF_ROW7)};
const WCHAR EXTENDED_ALIAS_NAMES[][ALIAS_SLOT] = {EXTENDED_ALIAS_LIST(ALIAS_NAME)};
const WCHAR EXTENDED_ALIAS_TARGETS[][EXTENDED_NAME_SLOT] = {EXTENDED_ALIAS_LIST(ALIAS_TARGET)};

// clang-format on

template <typename T, size_t N> constexpr int CountOf(const T (&)[N]) {
    return int(N);
}

static_assert(CountOf(CLASSIC_NAMES) == CLASSIC_ROWS, "one classic name per row");
static_assert(CountOf(CLASSIC_CODES) == CLASSIC_ROWS, "one classic code row per key");
static_assert(CountOf(CLASSIC_ALIAS_NAMES) == CLASSIC_ALIASES, "classic alias names");
static_assert(CountOf(CLASSIC_ALIAS_TARGETS) == CLASSIC_ALIASES, "classic alias targets");
static_assert(CountOf(EXTENDED_NAMES) == EXTENDED_ROWS, "one extended name per row");
static_assert(CountOf(EXTENDED_CODES) == EXTENDED_ROWS, "one extended code row per key");
static_assert(CountOf(EXTENDED_ALIAS_NAMES) == EXTENDED_ALIASES, "extended alias names");
static_assert(CountOf(EXTENDED_ALIAS_TARGETS) == EXTENDED_ALIASES, "extended alias targets");
static_assert(CLASSIC_COLUMNS <= MODIFIER_COLUMNS && EXTENDED_COLUMNS <= MODIFIER_COLUMNS,
              "every column has a prefix");

} // namespace

const KeyTable ClassicKeyTable = {
    CLASSIC_ROWS,     CLASSIC_COLUMNS, CLASSIC_NAME_SLOT,      CLASSIC_NAMES[0],
    CLASSIC_CODES[0], CLASSIC_ALIASES, CLASSIC_ALIAS_NAMES[0], CLASSIC_ALIAS_TARGETS[0],
};

const KeyTable ExtendedKeyTable = {
    EXTENDED_ROWS,     EXTENDED_COLUMNS, EXTENDED_NAME_SLOT,      EXTENDED_NAMES[0],
    EXTENDED_CODES[0], EXTENDED_ALIASES, EXTENDED_ALIAS_NAMES[0], EXTENDED_ALIAS_TARGETS[0],
};
