// The text form of the stand-in registry: a .reg-style file as regedit exports it, read and
// written without touching what the registry does not change. Pure text in, text out; the
// registry stand-in (registry.cpp) does the file system work.
//
// The lines understood (UTF-8, or UTF-16 after a byte-order mark as regedit exports them,
// written back in the file's own encoding; "\r\n" or "\n" line ends; trailing blanks ignored):
//
//   Windows Registry Editor Version 5.00     the signature, and any line starting with ";",
//   ; a comment                              and blank lines: kept, never interpreted
//   [HKEY_CURRENT_USER\Software\Tallix]      a key (HKEY_LOCAL_MACHINE also); later values
//                                            belong to it
//   "Name"=dword:1f                          REG_DWORD, 1 to 8 hexadecimal digits
//   "Name"="text"                            REG_SZ; \\ and \" escape in names and texts
//   "Name"=hex:01,ff   "Name"=hex(7):00,00   REG_BINARY, or any type given in hexadecimal
//   @=...                                    the key's unnamed value
//
// Anything else is malformed: it has no effect, is kept as it stands on every write, and is
// listed with its line number so the user can be told once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

enum class RegLineKind { Other, Key, Value, Malformed };

// The two roots a settings file may name: one object each in the whole program, so that a line's
// root (which points at one of them) is compared by address.
inline constexpr char REG_ROOT_USER[] = "HKEY_CURRENT_USER";
inline constexpr char REG_ROOT_MACHINE[] = "HKEY_LOCAL_MACHINE";

struct RegFileLine {
    RegLineKind kind = RegLineKind::Other;
    std::string text;      // as in the file, without "\n"
    const char* root = ""; // Key, and Value (the key it belongs to): REG_ROOT_USER or _MACHINE
    std::u16string path;   // Key and Value
    std::u16string name;   // Value; empty for "@"
    uint32_t type = 0;     // Value
    std::vector<uint8_t> data;
    std::string problem; // Malformed: why
};

struct RegFile {
    std::vector<RegFileLine> lines;
    bool finalNewline = true; // whether the last line ended with "\n"
    bool crlf = false;        // new lines end in "\r\n" like the first line does
    bool utf16 = false;       // the file is UTF-16 with a byte-order mark, as regedit writes it
    std::string oddByte;      // UTF-16: a last byte that makes no whole unit
};

struct RegEntry {
    std::string root;
    std::u16string path, name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

struct RegProblem {
    size_t line; // from 1
    std::string text, problem;
};

RegFile ParseRegFile(const std::string& text);
// The text of the file; an unchanged parse gives back the text it came from, byte for byte.
std::string WriteRegFile(const RegFile& file);
// Every value in force, in file order; of two lines for the same value (names and paths compared
// without ASCII case) the later one wins and only it is listed.
std::vector<RegEntry> RegFileEntries(const RegFile& file);
// The same as the indices of their lines, copying nothing.
std::vector<size_t> RegFileLinesInForce(const RegFile& file);
std::vector<RegProblem> RegFileProblems(const RegFile& file);
bool RegFileHasKey(const RegFile& file, const std::string& root, const std::u16string& path);
// Adds the key at the end of the file when it has no line for it yet.
void RegFileAddKey(RegFile& file, const std::string& root, const std::u16string& path);
// Sets a value: its line in force is rewritten (left alone when it already holds that value), or
// a line is added at the end of the key's last block, or with the key at the end of the file.
void RegFileSetValue(RegFile& file, const RegEntry& value);

} // namespace standin
