// Error messages: every one goes to standard error behind the same prefix.
#pragma once

#include "../host/host.h"

// Writes "Tallix plugin: " to standard error and, inside a batch file, the file's name and line.
void PrintMessagePrefix();

// Writes one error message: the prefix, then `format` with `args` as the host's Qprintf reads
// them. A template only because the host offers no form of Qprintf that takes a va_list.
template <typename... Args> void PrintErrorMessage(const WCHAR* format, Args... args) {
    PrintMessagePrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), format, args...);
}
