// The scenario language of script mode (see script.h).
#include "script.h"

#include <cctype>
#include <cstdlib>

namespace demo {
namespace {

void AddBytes(std::vector<ScriptItem>& items, const std::string& bytes) {
    if (items.empty() || items.back().named) items.emplace_back();
    items.back().bytes += bytes;
}

// The byte of the escape at `line[at]` (after the backslash) and its length; 0 for none.
size_t Escape(const std::string& line, size_t at, std::string* byte) {
    if (at >= line.size()) return 0;
    switch (line[at]) {
    case 'e':
        *byte = "\x1b";
        return 1;
    case 'r':
        *byte = "\r";
        return 1;
    case 't':
        *byte = "\t";
        return 1;
    case 'n':
        *byte = "\n";
        return 1;
    case '\\':
        *byte = "\\";
        return 1;
    case '<':
        *byte = "<";
        return 1;
    case 'x':
        if (at + 2 < line.size() && std::isxdigit(static_cast<unsigned char>(line[at + 1])) &&
            std::isxdigit(static_cast<unsigned char>(line[at + 2]))) {
            *byte = std::string(1, char(std::strtol(line.substr(at + 1, 2).c_str(), nullptr, 16)));
            return 3;
        }
    }
    return 0;
}

} // namespace

std::vector<ScriptItem> ParseScriptLine(const std::string& line) {
    std::vector<ScriptItem> items;
    for (size_t i = 0; i < line.size();) {
        std::string byte;
        size_t used;
        if (line[i] == '\\' && (used = Escape(line, i + 1, &byte)) > 0) {
            AddBytes(items, byte);
            i += 1 + used;
            continue;
        }
        size_t close = line[i] == '<' ? line.find('>', i + 2) : std::string::npos;
        if (close != std::string::npos) {
            Key key = KeyFromName(line.substr(i + 1, close - i - 1));
            if (key.id != KEY_NONE) {
                ScriptItem item;
                item.named = true;
                item.key = key;
                items.push_back(item);
                i = close + 1;
                continue;
            }
        }
        AddBytes(items, std::string(1, line[i]));
        ++i;
    }
    return items;
}

} // namespace demo
