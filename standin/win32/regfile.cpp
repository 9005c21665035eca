// The .reg-style text form of the stand-in registry (the lines are listed in regfile.h).
#include "regfile.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

#include "../fold.h"
#include "../wideformat.h"

namespace standin {
namespace {

constexpr const char* SIGNATURE = "Windows Registry Editor Version 5.00";
// Types written in their own notation rather than as hex(N).
constexpr uint32_t TYPE_SZ = 1, TYPE_BINARY = 3, TYPE_DWORD = 4;
// A DWORD holds at most this many hexadecimal digits.
constexpr size_t DWORD_DIGITS = 8;

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// 1 to `digits` hexadecimal digits and nothing else.
bool ParseHexNumber(const std::string& text, size_t digits, uint32_t* value) {
    if (text.empty() || text.size() > digits) return false;
    uint32_t v = 0;
    for (char ch : text) {
        if (HexDigit(ch) < 0) return false;
        v = (v << 4) | uint32_t(HexDigit(ch));
    }
    *value = v;
    return true;
}

// A quoted text at `text[at]` with \\ and \" escapes; `at` moves past the closing quote.
bool ParseQuoted(const std::string& text, size_t& at, std::string* out) {
    if (at >= text.size() || text[at] != '"') return false;
    for (++at; at < text.size(); ++at) {
        if (text[at] == '"') return ++at, true;
        if (text[at] == '\\') {
            if (++at >= text.size() || (text[at] != '\\' && text[at] != '"')) return false;
        }
        *out += text[at];
    }
    return false;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '\\' || ch == '"') out += '\\';
        out += ch;
    }
    return out + "\"";
}

// "01,ff,..." (possibly empty) as bytes.
bool ParseBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    if (text.empty()) return true;
    for (size_t at = 0;; at += 3) {
        if (at + 2 > text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0)
            return false;
        bytes->push_back(uint8_t(HexDigit(text[at]) * 16 + HexDigit(text[at + 1])));
        if (at + 2 == text.size()) return true;
        if (text[at + 2] != ',') return false;
    }
}

// The data after "=": sets type and data, or gives the reason it is malformed.
std::string ParseData(const std::string& text, RegFileLine* line) {
    if (text.rfind("dword:", 0) == 0) {
        uint32_t v = 0;
        if (!ParseHexNumber(text.substr(6), DWORD_DIGITS, &v))
            return "a DWORD needs 1 to 8 hexadecimal digits";
        line->type = TYPE_DWORD;
        line->data = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        return "";
    }
    if (!text.empty() && text[0] == '"') {
        std::string value;
        size_t at = 0;
        if (!ParseQuoted(text, at, &value) || at != text.size()) return "an unclosed text";
        line->type = TYPE_SZ;
        for (char16_t unit : FromUtf8(value) + u'\0') {
            line->data.push_back(uint8_t(unit & 0xFF));
            line->data.push_back(uint8_t(unit >> 8));
        }
        return "";
    }
    size_t colon = text.find(':');
    if (text.rfind("hex", 0) != 0 || colon == std::string::npos) return "an unknown kind of value";
    std::string kind = text.substr(3, colon - 3);
    line->type = TYPE_BINARY;
    if (!kind.empty() && (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                          !ParseHexNumber(kind.substr(1, kind.size() - 2), 8, &line->type)))
        return "an unknown kind of value";
    if (!ParseBytes(text.substr(colon + 1), &line->data)) return "bytes must read like 01,ff";
    return "";
}

// The constant of a root's name (one of the two), which every line of that root points at.
const char* RootConstant(const std::string& root) {
    return root == REG_ROOT_USER ? REG_ROOT_USER : REG_ROOT_MACHINE;
}

// Reads one line (trailing blanks and "\r" already cut) under the key of `current`.
void ParseLine(const std::string& trimmed, const RegFileLine& current, RegFileLine* line) {
    if (trimmed.empty() || trimmed[0] == ';' || trimmed == SIGNATURE || trimmed == "REGEDIT4")
        return;
    line->kind = RegLineKind::Malformed;
    if (trimmed[0] == '[') {
        std::string inside = trimmed.back() == ']' ? trimmed.substr(1, trimmed.size() - 2) : "";
        size_t slash = inside.find('\\');
        std::string root = inside.substr(0, slash);
        if (root != REG_ROOT_USER && root != REG_ROOT_MACHINE) {
            line->problem = "not a key of HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE";
            return;
        }
        line->kind = RegLineKind::Key;
        line->root = RootConstant(root);
        line->path = slash == std::string::npos ? u"" : FromUtf8(inside.substr(slash + 1));
        return;
    }
    std::string name;
    size_t at = 0;
    if (trimmed[0] == '@')
        at = 1;
    else if (!ParseQuoted(trimmed, at, &name)) {
        line->problem = "neither a key, a value nor a comment";
        return;
    }
    if (at >= trimmed.size() || trimmed[at] != '=') {
        line->problem = "a value name must be followed by \"=\"";
        return;
    }
    if (current.kind != RegLineKind::Key) {
        line->problem = "a value outside a key";
        return;
    }
    line->problem = ParseData(trimmed.substr(at + 1), line);
    if (!line->problem.empty()) {
        line->type = 0;
        line->data.clear();
        return;
    }
    line->kind = RegLineKind::Value;
    line->root = current.root;
    line->path = current.path;
    line->name = FromUtf8(name);
}

// The length of a line without its trailing blanks and "\r".
size_t TrimmedLength(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
        --end;
    return end;
}

std::string Trimmed(const std::string& text) {
    return text.substr(0, TrimmedLength(text));
}

bool SameKey(const RegFileLine& line, const std::string& root, const std::u16string& path) {
    return line.root == root && SameFolded(line.path, path);
}

// The text of a REG_SZ value, when its data is one that a quoted text on one line holds: UTF-16
// ending in its only terminator, with no "\n" (it would end the line), that reads back the same.
bool TextOf(const std::vector<uint8_t>& data, std::string* text) {
    if (data.size() < 2 || data.size() % 2) return false;
    std::u16string units;
    for (size_t i = 0; i + 1 < data.size(); i += 2) units += char16_t(data[i] | data[i + 1] << 8);
    if (units.back() != 0) return false;
    units.pop_back();
    if (units.find_first_of(u"\0\n", 0, 2) != std::u16string::npos) return false;
    *text = ToUtf8(units);
    return FromUtf8(*text) == units;
}

std::string ValueText(const RegEntry& value) {
    std::string out = value.name.empty() ? "@=" : Quote(ToUtf8(value.name)) + "=";
    char hex[24];
    std::string text;
    if (value.type == TYPE_DWORD && value.data.size() == 4) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | value.data[size_t(i)];
        std::snprintf(hex, sizeof hex, "dword:%08x", v);
        return out + hex;
    }
    if (value.type == TYPE_SZ && TextOf(value.data, &text)) return out + Quote(text);
    if (value.type == TYPE_BINARY) {
        out += "hex:";
    } else {
        std::snprintf(hex, sizeof hex, "hex(%x):", value.type);
        out += hex;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", value.data[i]);
        out += hex;
    }
    return out;
}

RegFileLine KeyLine(const std::string& root, const std::u16string& path) {
    RegFileLine line;
    line.kind = RegLineKind::Key;
    line.root = RootConstant(root);
    line.path = path;
    line.text = "[" + root + (path.empty() ? "" : "\\" + ToUtf8(path)) + "]";
    return line;
}

RegFileLine ValueLine(const RegEntry& value) {
    RegFileLine line;
    line.kind = RegLineKind::Value;
    line.root = RootConstant(value.root);
    line.path = value.path;
    line.name = value.name;
    line.type = value.type;
    line.data = value.data;
    line.text = ValueText(value);
    return line;
}

// New lines end like the file's own.
void Append(RegFile& file, RegFileLine line) {
    if (file.crlf) line.text += '\r';
    file.lines.push_back(std::move(line));
    file.finalNewline = true;
}

// A UTF-16 file (little-endian after its byte-order mark) is parsed as UTF-8 text and written
// back in UTF-16. Every unit comes back: a surrogate without its partner takes the three bytes
// its code would, and a last odd byte is kept aside.
constexpr char UTF16_MARK[] = "\xFF\xFE";

std::string TextOfUtf16(const std::string& bytes, std::string* oddByte) {
    std::string text;
    size_t i = 2;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t c = char32_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            char32_t low = char32_t(uint8_t(bytes[i + 2]) | uint8_t(bytes[i + 3]) << 8);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(text, c);
    }
    *oddByte = bytes.substr(i);
    return text;
}

std::string Utf16OfText(const std::string& text, const std::string& oddByte) {
    std::string out = UTF16_MARK;
    auto unit = [&out](char32_t u) {
        out += char(u & 0xFF);
        out += char(u >> 8);
    };
    for (size_t i = 0; i < text.size();) {
        auto lead = uint8_t(text[i]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + size_t(k) < text.size(); ++k)
            c = c << 6 | (uint8_t(text[i + size_t(k)]) & 0x3F);
        i += size_t(extra) + 1;
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out + oddByte;
}

} // namespace

RegFile ParseRegFile(const std::string& bytes) {
    RegFile file;
    file.utf16 = bytes.compare(0, 2, UTF16_MARK) == 0;
    std::string decoded;
    if (file.utf16) decoded = TextOfUtf16(bytes, &file.oddByte);
    const std::string& text = file.utf16 ? decoded : bytes;
    file.lines.reserve(size_t(std::count(text.begin(), text.end(), '\n')) + 1);
    RegFileLine current; // the last key line, or none
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        RegFileLine line;
        line.text = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // (Most lines have nothing to trim: those are read in place.)
        size_t kept = TrimmedLength(line.text);
        ParseLine(kept == line.text.size() ? line.text : line.text.substr(0, kept), current, &line);
        if (line.kind == RegLineKind::Key) current = line;
        if (line.kind == RegLineKind::Malformed && line.text[0] == '[') current = RegFileLine();
        if (file.lines.empty()) file.crlf = !line.text.empty() && line.text.back() == '\r';
        file.lines.push_back(std::move(line));
        file.finalNewline = end != std::string::npos;
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return file;
}

std::string WriteRegFile(const RegFile& file) {
    std::string out;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        out += file.lines[i].text;
        if (i + 1 < file.lines.size() || file.finalNewline) out += '\n';
    }
    return file.utf16 ? Utf16OfText(out, file.oddByte) : out;
}

std::vector<size_t> RegFileLinesInForce(const RegFile& file) {
    // A value in force is the last line that sets it (names without ASCII case), found through
    // a hash of root, path and name: a settings file may hold millions of lines.
    std::unordered_map<std::u16string, size_t> last;
    last.reserve(file.lines.size());
    std::u16string name;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const RegFileLine& line = file.lines[i];
        if (line.kind != RegLineKind::Value) continue;
        // (The path's length comes first, so that no path and name run into each other.)
        name.assign(1, line.root == REG_ROOT_USER ? u'U' : u'M');
        name += char16_t(line.path.size() >> 16);
        name += char16_t(line.path.size() & 0xFFFF);
        for (char16_t unit : line.path) name += FoldUnit(unit);
        for (char16_t unit : line.name) name += FoldUnit(unit);
        last[name] = i;
    }
    std::vector<bool> inForce(file.lines.size());
    for (const auto& named : last) inForce[named.second] = true;
    std::vector<size_t> lines;
    lines.reserve(last.size());
    for (size_t i = 0; i < file.lines.size(); ++i)
        if (inForce[i]) lines.push_back(i);
    return lines;
}

std::vector<RegEntry> RegFileEntries(const RegFile& file) {
    std::vector<size_t> inForce = RegFileLinesInForce(file);
    std::vector<RegEntry> entries;
    entries.reserve(inForce.size());
    for (size_t i : inForce) {
        const RegFileLine& line = file.lines[i];
        entries.push_back({line.root, line.path, line.name, line.type, line.data});
    }
    return entries;
}

std::vector<RegProblem> RegFileProblems(const RegFile& file) {
    std::vector<RegProblem> problems;
    for (size_t i = 0; i < file.lines.size(); ++i)
        if (file.lines[i].kind == RegLineKind::Malformed)
            problems.push_back({i + 1, Trimmed(file.lines[i].text), file.lines[i].problem});
    return problems;
}

bool RegFileHasKey(const RegFile& file, const std::string& root, const std::u16string& path) {
    for (const RegFileLine& line : file.lines)
        if (line.kind == RegLineKind::Key && SameKey(line, root, path)) return true;
    return false;
}

void RegFileAddKey(RegFile& file, const std::string& root, const std::u16string& path) {
    if (RegFileHasKey(file, root, path)) return;
    if (file.lines.empty()) {
        RegFileLine signature;
        signature.text = SIGNATURE;
        Append(file, signature);
    }
    if (!Trimmed(file.lines.back().text).empty()) Append(file, RegFileLine());
    Append(file, KeyLine(root, path));
}

void RegFileSetValue(RegFile& file, const RegEntry& value) {
    // The value's line in force, and the last line that is not blank in the key's last block
    // (a block runs from its key line to the next line that opens a key).
    size_t inForce = file.lines.size(), blockEnd = file.lines.size();
    bool inBlock = false;
    for (size_t i = 0; i < file.lines.size(); ++i) {
        const RegFileLine& line = file.lines[i];
        bool blank = TrimmedLength(line.text) == 0;
        if (line.kind == RegLineKind::Key || (!blank && line.text[0] == '[')) {
            inBlock = line.kind == RegLineKind::Key && SameKey(line, value.root, value.path);
            if (inBlock) blockEnd = i;
            continue;
        }
        if (inBlock && !blank) blockEnd = i;
        if (line.kind == RegLineKind::Value && SameKey(line, value.root, value.path) &&
            Fold(line.name) == Fold(value.name))
            inForce = i;
    }
    if (inForce < file.lines.size()) {
        RegFileLine& line = file.lines[inForce];
        if (line.type == value.type && line.data == value.data) return;
        bool crlf = !line.text.empty() && line.text.back() == '\r';
        line = ValueLine(value);
        if (crlf) line.text += '\r';
        return;
    }
    if (blockEnd == file.lines.size()) {
        RegFileAddKey(file, value.root, value.path);
        Append(file, ValueLine(value));
        return;
    }
    RegFileLine line = ValueLine(value);
    if (file.crlf) line.text += '\r';
    file.lines.insert(file.lines.begin() + long(blockEnd) + 1, std::move(line));
    if (blockEnd + 2 == file.lines.size()) file.finalNewline = true;
}

} // namespace standin
