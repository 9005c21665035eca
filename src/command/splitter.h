// The command-tail splitter: cuts the command's argument text into upper-cased arguments.
#pragma once

#include "../platform/platform.h"

constexpr int MAX_ARGS = 1024;    // arguments kept; further ones are ignored
constexpr int MAX_ARG_LEN = 8192; // units of the store that holds every argument and its NUL

struct ArgumentTableRecord {
    int32_t count;            // arguments of the last split that ran to its end
    WCHAR* text[MAX_ARGS];    // start of each argument in store; null when free
    int32_t length[MAX_ARGS]; // units of each argument after trimming; 0 when free
    WCHAR store[MAX_ARG_LEN];
};

extern ArgumentTableRecord ArgumentTable;

//   result  meaning
//   ------  --------------------------------------------------------------
//    0..1024  the number of arguments left in ArgumentTable
//     -1    a null tail (table unchanged), or the store overflowed (reported)
int SplitCommandTail(const WCHAR* tail);
