// The demo host's settings file: the reader's verdict on each kind of line, the writer's care for
// what it does not change, and the registry calls on a bound file, failures included.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "standin/win32/regfile.h"
#include "standin/win32/win32_control.h"

namespace {

using standin::RegLineKind;

const char KEY[] = "[HKEY_CURRENT_USER\\Software\\T]\n";

struct LineCase {
    const char* line;
    RegLineKind kind;
    uint32_t type;
    std::vector<uint8_t> data;
};

const LineCase LINE_CASES[] = {
    {"\"A\"=dword:1f", RegLineKind::Value, 4, {0x1F, 0, 0, 0}},
    {"\"A\"=dword:ffffffff", RegLineKind::Value, 4, {0xFF, 0xFF, 0xFF, 0xFF}},
    {"\"A\"=dword:zz", RegLineKind::Malformed, 0, {}},
    {"\"A\"=dword:100000000", RegLineKind::Malformed, 0, {}},
    {"\"A\"=dword:fffffffffffffffff", RegLineKind::Malformed, 0, {}},
    {"\"A\"=dword:1x", RegLineKind::Malformed, 0, {}},
    {"\"A\"=dword:", RegLineKind::Malformed, 0, {}},
    {"\"A\"=\"a\\\"b\"", RegLineKind::Value, 1, {'a', 0, '"', 0, 'b', 0, 0, 0}},
    {"\"A\"=\"open", RegLineKind::Malformed, 0, {}},
    // An overlong form (here of "\n") is no UTF-8: each byte reads as U+FFFD.
    {"\"A\"=\"\xC0\x8A\"", RegLineKind::Value, 1, {0xFD, 0xFF, 0xFD, 0xFF, 0, 0}},
    {"\"A\"=hex:01,ff", RegLineKind::Value, 3, {1, 0xFF}},
    {"\"A\"=hex(7):00", RegLineKind::Value, 7, {0}},
    {"\"A\"=hex:1,ff", RegLineKind::Malformed, 0, {}},
    {"@=dword:2", RegLineKind::Value, 4, {2, 0, 0, 0}},
    {"\"A\" = dword:2", RegLineKind::Malformed, 0, {}},
    {"; comment", RegLineKind::Other, 0, {}},
    {"   ", RegLineKind::Other, 0, {}},
    {"[HKEY_USERS\\x]", RegLineKind::Malformed, 0, {}},
    {"junk", RegLineKind::Malformed, 0, {}},
};

TEST(RegistryFile, EachKindOfLine) {
    for (const LineCase& c : LINE_CASES) {
        std::string text = std::string(KEY) + c.line + "\r\n";
        standin::RegFile file = standin::ParseRegFile(text);
        ASSERT_EQ(2u, file.lines.size()) << c.line;
        const standin::RegFileLine& line = file.lines[1];
        EXPECT_EQ(c.kind, line.kind) << c.line;
        EXPECT_EQ(c.type, line.type) << c.line;
        EXPECT_EQ(c.data, line.data) << c.line;
        EXPECT_EQ(c.kind == RegLineKind::Malformed, line.problem.size() > 0) << c.line;
        EXPECT_EQ(text, standin::WriteRegFile(file)) << c.line;
    }
}

TEST(RegistryFile, ValuesOutsideAKeyAreMalformedAndTheLastOfTwoWins) {
    standin::RegFile file =
        standin::ParseRegFile("\"Lost\"=dword:1\n[HKEY_USERS\\x]\n\"Lost\"=dword:2\n" +
                              std::string(KEY) + "\"A\"=dword:1\n\"a\"=dword:2\n");
    auto problems = standin::RegFileProblems(file);
    ASSERT_EQ(3u, problems.size());
    EXPECT_EQ(1u, problems[0].line);
    EXPECT_EQ(3u, problems[2].line);
    auto entries = standin::RegFileEntries(file);
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(std::vector<uint8_t>({2, 0, 0, 0}), entries[0].data);
}

TEST(RegistryFile, SettingAValueChangesOnlyItsLine) {
    const std::string before = std::string("; mine\n") + KEY +
                               "\"A\"=dword:1\n\"Bad\"=dword:zz\n\n[HKEY_CURRENT_USER\\Other]\n"
                               "\"O\"=\"x\"\n";
    standin::RegFile file = standin::ParseRegFile(before);
    standin::RegFileSetValue(file, {"HKEY_CURRENT_USER", u"software\\t", u"a", 4, {1, 0, 0, 0}});
    EXPECT_EQ(before, standin::WriteRegFile(file)); // the same value: nothing rewritten
    standin::RegFileSetValue(file, {"HKEY_CURRENT_USER", u"Software\\T", u"A", 4, {2, 0, 0, 0}});
    standin::RegFileSetValue(file, {"HKEY_CURRENT_USER", u"Software\\T", u"New", 4, {3, 0, 0, 0}});
    standin::RegFileSetValue(file, {"HKEY_LOCAL_MACHINE", u"K", u"M", 1, {'m', 0, 0, 0}});
    // A text with a line break cannot stand quoted on one line.
    standin::RegFileSetValue(file, {"HKEY_LOCAL_MACHINE", u"K", u"N", 1, {'\n', 0, 0, 0}});
    EXPECT_EQ(
        std::string("; mine\n") + KEY +
            "\"A\"=dword:00000002\n\"Bad\"=dword:zz\n\"New\"=dword:00000003\n\n"
            "[HKEY_CURRENT_USER\\Other]\n\"O\"=\"x\"\n\n[HKEY_LOCAL_MACHINE\\K]\n\"M\"=\"m\"\n"
            "\"N\"=hex(1):0a,00,00,00\n",
        standin::WriteRegFile(file));
}

class BoundFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/tallix-registry-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(folder));
        folder_ = folder;
        standin::RegistryReset();
    }
    void TearDown() override {
        standin::RegistryReset();
        std::string command = "rm -rf " + folder_;
        ASSERT_EQ(0, system(command.c_str()));
    }
    std::string Read(const std::string& path) {
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
    // Creates the key and sets one DWORD; the result of the first call that failed.
    LSTATUS Save(uint32_t value, const char16_t* name = u"A") {
        HKEY key = nullptr;
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, nullptr, 0, 0,
                                         nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) return status;
        status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
        RegCloseKey(key);
        return status;
    }
    std::string folder_;
};

TEST_F(BoundFile, EveryCallSeesTheFileAsItIsNow) {
    std::string path = folder_ + "/registry.reg";
    standin::RegistryBindFile(path);
    ASSERT_EQ(ERROR_SUCCESS, Save(5));
    std::ofstream(path, std::ios::app) << "; added outside\n\"B\"=dword:7\n";
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, 0, &key));
    uint32_t value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"B", nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(7u, value);
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, Save(6));
    EXPECT_NE(std::string::npos, Read(path).find("; added outside\n\"B\"=dword:7\n"));
}

std::vector<std::string> told;

// The warnings a file's bad lines give: control characters and bytes that are no UTF-8 escaped,
// a long line cut, and after ten lines only the number of the rest.
TEST_F(BoundFile, WarningsShowNoRawBytesAndStopAfterTen) {
    std::string path = folder_ + "/registry.reg";
    std::ofstream file(path);
    file << KEY << "\x1b]2;PWNED\x07 \xc2\x9b \xff caf\xc3\xa9\n" << std::string(200, 'x') << "\n";
    for (int i = 0; i < 11; ++i) file << "junk\n";
    file.close();
    told.clear();
    standin::RegistrySetProblemHook([](const std::string& message) { told.push_back(message); });
    standin::RegistryBindFile(path);
    ASSERT_EQ(ERROR_SUCCESS, Save(1));
    ASSERT_EQ(11u, told.size());
    EXPECT_EQ(path + ", line 2: neither a key, a value nor a comment; skipped: \\x1B]2;PWNED\\x07 "
                     "\\xC2\\x9B "
                     "\\xFF caf\xc3\xa9\n",
              told[0]);
    EXPECT_EQ(path + ", line 3: neither a key, a value nor a comment; skipped: " +
                  std::string(80, 'x') + "...\n",
              told[1]);
    EXPECT_EQ(path + ": 3 more lines that cannot be read; skipped\n", told[10]);
    standin::RegistrySetProblemHook(nullptr);
}

// A file as regedit exports it, in UTF-16 after a byte-order mark, is read and written back so.
TEST_F(BoundFile, AUtf16FileStaysUtf16) {
    auto utf16 = [](const std::u16string& text) {
        std::string bytes = "\xff\xfe";
        for (char16_t unit : text) bytes += {char(unit & 0xFF), char(unit >> 8)};
        return bytes;
    };
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\Software\\T]\r\n\"Kept\"=\"caf\u00e9\"\r\n";
    std::string path = folder_ + "/registry.reg";
    std::ofstream(path) << utf16(head);
    standin::RegistryBindFile(path);
    ASSERT_EQ(ERROR_SUCCESS, Save(0x1f));
    EXPECT_EQ(utf16(head + u"\"A\"=dword:0000001f\r\n"), Read(path));
}

TEST_F(BoundFile, AFailedWriteIsTheErrorOfTheCallAndLeavesTheFileWhole) {
    std::string readOnly = folder_ + "/readonly.reg", under = folder_ + "/readonly.reg/x.reg";
    std::ofstream(readOnly) << KEY << "\"A\"=dword:1\n";
    chmod(readOnly.c_str(), 0444);
    const std::string targets[] = {folder_, readOnly, under, "/proc/version"};
    for (const std::string& target : targets) {
        standin::RegistryBindFile(target);
        EXPECT_NE(ERROR_SUCCESS, Save(9)) << target;
    }
    EXPECT_EQ(std::string(KEY) + "\"A\"=dword:1\n", Read(readOnly));
}

} // namespace
