// The settings file of the demo host from untrusted text. Besides crashes and overruns, this
// checks what keeps the user's file intact:
//   - an unchanged file writes back byte for byte;
//   - setting every value to what it holds changes nothing;
//   - after one value is changed and one added, the file reads back with exactly those two
//     changes, and every malformed line is still there, unchanged and in its order;
//   - a value line of the plainest form, "name"=dword:digits, whose digits are not 1 to 8
//     hexadecimal ones is reported as malformed, whatever the rest of the file holds.
#include <stddef.h>
#include <stdint.h>
#include <ctype.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "standin/win32/regfile.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

std::u16string Fold(std::u16string text) {
    for (auto& ch : text)
        if (ch >= u'a' && ch <= u'z') ch = char16_t(ch - u'a' + u'A');
    return text;
}

// What names one value: its root, and its key path and name without ASCII case.
using Name = std::pair<std::string, std::pair<std::u16string, std::u16string>>;
Name NameOf(const standin::RegEntry& entry) {
    return {entry.root, {Fold(entry.path), Fold(entry.name)}};
}

std::vector<std::string> ProblemTexts(const standin::RegFile& file) {
    std::vector<std::string> texts;
    for (const standin::RegProblem& problem : standin::RegFileProblems(file))
        texts.push_back(problem.text);
    return texts;
}

// True for "name"=dword:digits with a plain name and digits that are not 1 to 8 hexadecimal ones.
bool BadDwordLine(const std::string& line) {
    if (line.size() < 2 || line[0] != '"') return false;
    size_t close = line.find('"', 1);
    if (close == std::string::npos) return false;
    for (size_t i = 1; i < close; ++i)
        if (!isalnum(static_cast<unsigned char>(line[i]))) return false;
    const std::string tag = "=dword:";
    if (line.compare(close + 1, tag.size(), tag) != 0) return false;
    std::string digits = line.substr(close + 1 + tag.size());
    bool hex = !digits.empty() && digits.size() <= 8;
    for (char ch : digits) hex = hex && isxdigit(static_cast<unsigned char>(ch));
    return !hex;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    standin::RegFile file = standin::ParseRegFile(text);
    Check(standin::WriteRegFile(file) == text);
    std::vector<standin::RegEntry> entries = standin::RegFileEntries(file);
    std::vector<std::string> problems = ProblemTexts(file);
    // The lines as the reader sees them: a UTF-16 file's are those of its text in UTF-8.
    std::string plain;
    if (file.utf16) {
        standin::RegFile utf8 = file;
        utf8.utf16 = false;
        utf8.oddByte.clear();
        plain = standin::WriteRegFile(utf8);
    }
    const std::string& lines = file.utf16 ? plain : text;
    for (size_t start = 0; start < lines.size();) {
        size_t end = lines.find('\n', start);
        std::string line = lines.substr(start, end == std::string::npos ? end : end - start);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.pop_back(); // as the reader trims a line's end
        if (BadDwordLine(line)) {
            bool reported = false;
            for (const std::string& problem : problems) reported = reported || problem == line;
            Check(reported);
        }
        start = end == std::string::npos ? lines.size() : end + 1;
    }

    standin::RegFile changed = file;
    standin::RegEntry added{standin::REG_ROOT_USER, u"Software\\Fuzz", u"Added", 4, {1, 2, 3, 4}};
    std::vector<standin::RegEntry> expected = entries;
    if (!entries.empty()) {
        expected.front().data.push_back(uint8_t(size));
        standin::RegFileSetValue(changed, expected.front());
    }
    bool addedIsNew = true;
    for (standin::RegEntry& entry : expected) {
        if (NameOf(entry) == NameOf(added)) {
            entry.type = added.type;
            entry.data = added.data;
            addedIsNew = false;
        }
    }
    if (addedIsNew) expected.push_back(added);
    standin::RegFileSetValue(changed, added);

    standin::RegFile reread = standin::ParseRegFile(standin::WriteRegFile(changed));
    std::vector<standin::RegEntry> got = standin::RegFileEntries(reread);
    Check(ProblemTexts(reread) == problems);
    Check(got.size() == expected.size());
    std::map<Name, const standin::RegEntry*> byName;
    for (const standin::RegEntry& entry : got) byName[NameOf(entry)] = &entry;
    for (const standin::RegEntry& want : expected) {
        auto found = byName.find(NameOf(want));
        Check(found != byName.end() && found->second->type == want.type &&
              found->second->data == want.data);
    }

    // Last, on the file itself (which spares a copy): setting every value to what it holds.
    for (const standin::RegEntry& entry : entries) standin::RegFileSetValue(file, entry);
    Check(standin::WriteRegFile(file) == text);
    return 0;
}
