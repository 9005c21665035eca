// The demo host driven in script mode: what the terminal decoder makes of each escape sequence
// (key code, key name and the modifier state the keyboard reports), the host's line editing,
// and the stand-in host's expansion and arithmetic as `echo` shows them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct HostRun {
    std::vector<std::string> keys;   // "key ..." traces, without the " -> ..." part
    std::vector<std::string> lines;  // "line ..." traces
    std::vector<std::string> output; // everything else the host printed
    int exitCode = -1;
};

class ScriptMode : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/tallix-demo-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(folder));
        folder_ = folder;
        setenv("TALLIX_REGISTRY", (folder_ + "/registry.reg").c_str(), 1);
    }
    void TearDown() override {
        std::remove((folder_ + "/registry.reg").c_str());
        std::remove((folder_ + "/script.txt").c_str());
        rmdir(folder_.c_str());
    }

    // Runs the host on `script` (no plugin unless `withPlugin`) and sorts what it printed.
    HostRun Host(const std::string& script, const std::string& options = "--host-version 23",
                 bool withPlugin = false) {
        std::string path = folder_ + "/script.txt";
        std::ofstream(path) << script;
        std::string command = std::string(TALLIX_HOST) + " " + options +
                              (withPlugin ? "" : " --plugin /nonexistent/libTallix.so") +
                              " --script " + path + " 2>&1";
        HostRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        std::string text;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        int status = pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("key ", 0) == 0)
                run.keys.push_back(line.substr(0, line.find(" -> ")));
            else if (line.rfind("line ", 0) == 0)
                run.lines.push_back(line);
            else if (line.rfind("tallix-host: cannot load", 0) != 0)
                run.output.push_back(line);
        }
        return run;
    }

    std::string folder_;
};

std::string Trace(const char* name, unsigned code, const char* passed, int shift, int ctrl,
                  int alt) {
    char text[160];
    std::snprintf(text, sizeof text, "key %s code 0x%x name \"%s\" shift %d ctrl %d alt %d", name,
                  code, passed, shift, ctrl, alt);
    return text;
}

struct DecoderCase {
    const char* typed; // script text: escape sequences as \e...
    const char* name;
    unsigned code;
    int shift, ctrl, alt;
};

// Codes as a host before 24 passes them: every key by code.
const DecoderCase DECODER_CASES[] = {
    {"\\eOP", "F1", 0x1003B, 0, 0, 0},
    {"\\eOS", "F4", 0x1003E, 0, 0, 0},
    {"\\e[11~", "F1", 0x1003B, 0, 0, 0},
    {"\\e[15~", "F5", 0x1003F, 0, 0, 0},
    {"\\e[17~", "F6", 0x10040, 0, 0, 0},
    {"\\e[21~", "F10", 0x10044, 0, 0, 0},
    {"\\e[23~", "F11", 0x10085, 0, 0, 0},
    {"\\e[24~", "F12", 0x10086, 0, 0, 0},
    {"\\e[1;2P", "Shift-F1", 0x10054, 1, 0, 0},
    {"\\e[1;5Q", "Ctrl-F2", 0x1005F, 0, 1, 0},
    {"\\e[1;3R", "Alt-F3", 0x1006A, 0, 0, 1},
    {"\\e[15;2~", "Shift-F5", 0x10058, 1, 0, 0},
    {"\\e[15;5~", "Ctrl-F5", 0x10062, 0, 1, 0},
    {"\\e[15;3~", "Alt-F5", 0x1006C, 0, 0, 1},
    {"\\e[15;6~", "Ctrl-Shift-F5", 0x10058, 1, 1, 0},
    {"\\e[15;7~", "Ctrl-Alt-F5", 0x10062, 0, 1, 1},
    {"\\e[15;8~", "Ctrl-Alt-Shift-F5", 0x10062, 1, 1, 1},
    {"\\e[21;6~", "Ctrl-Shift-F10", 0x1005D, 1, 1, 0},
    {"\\e[24;7~", "Ctrl-Alt-F12", 0x1008A, 0, 1, 1},
    {"\\e[A", "Up", 0x10048, 0, 0, 0},
    {"\\e[B", "Down", 0x10050, 0, 0, 0},
    {"\\e[C", "Right", 0x1004D, 0, 0, 0},
    {"\\e[D", "Left", 0x1004B, 0, 0, 0},
    {"\\eOA", "Up", 0x10048, 0, 0, 0},
    {"\\e[H", "Home", 0x10047, 0, 0, 0},
    {"\\eOF", "End", 0x1004F, 0, 0, 0},
    {"\\e[1~", "Home", 0x10047, 0, 0, 0},
    {"\\e[4~", "End", 0x1004F, 0, 0, 0},
    {"\\e[1;5D", "Ctrl-Left", 0x10073, 0, 1, 0},
    {"\\e[1;2C", "Shift-Right", 0x100C9, 1, 0, 0},
    {"\\e[1;3D", "Alt-Left", 0x100F4, 0, 0, 1},
    {"\\e[1;6D", "Ctrl-Shift-Left", 0x100CC, 1, 1, 0},
    {"\\e[1;7H", "Ctrl-Alt-Home", 0x10077, 0, 1, 1},
    {"\\e[2~", "Ins", 0x10052, 0, 0, 0},
    {"\\e[3~", "Del", 0x10053, 0, 0, 0},
    {"\\e[5~", "PgUp", 0x10049, 0, 0, 0},
    {"\\e[6~", "PgDn", 0x10051, 0, 0, 0},
    {"\\e[3;5~", "Ctrl-Del", 0x10093, 0, 1, 0},
    {"\\e[5;5~", "Ctrl-PgUp", 0x10084, 0, 1, 0},
    {"\\e[2;6~", "Ctrl-Shift-Ins", 0x10052, 1, 1, 0},
    {"\\ex", "Alt-X", 0x1002D, 0, 0, 1},
    {"\\ea", "Alt-A", 0x1001E, 0, 0, 1},
    {"\\em", "Alt-M", 0x10032, 0, 0, 1},
    {"\\e1", "Alt-1", 0x100E2, 0, 0, 1},
    {"\\e0", "Alt-0", 0x100EB, 0, 0, 1},
    {"\\e=", "Alt-=", 0x10083, 0, 0, 1},
    {"\\eX", "Shift-Alt-X", 0x1002D, 1, 0, 1},
    {"\\x01", "Ctrl-A", 0x1, 0, 1, 0},
    {"\\x18", "Ctrl-X", 0x18, 0, 1, 0},
    {"\\e\\x18", "Ctrl-Alt-X", 0x1002D, 0, 1, 1},
    {"\\e[27;6;65~", "Ctrl-Shift-A", 0x1, 1, 1, 0},
    {"\\e[120;7u", "Ctrl-Alt-X", 0x1002D, 0, 1, 1},
    {"\\e[120;8u", "Ctrl-Alt-Shift-X", 0x1002D, 1, 1, 1},
    {"\\e\\e[A", "Alt-Up", 0x0, 0, 0, 1},
    {"\\x7f", "Backspace", 0x8, 0, 0, 0},
    {"\\e\\x7f", "Alt-Backspace", 0x1000E, 0, 0, 1},
    {"\\t", "Tab", 0x9, 0, 0, 0},
    {"\\e[Z", "Shift-Tab", 0x1000F, 1, 0, 0},
    {"\\e", "Esc", 0x1B, 0, 0, 0},
};

TEST_F(ScriptMode, EachEscapeSequenceGivesItsKeyCodeAndModifierState) {
    std::string script;
    std::vector<std::string> expected;
    for (const DecoderCase& c : DECODER_CASES) {
        script += std::string(c.typed) + "\n";
        expected.push_back(Trace(c.name, c.code, "", c.shift, c.ctrl, c.alt));
    }
    EXPECT_EQ(expected, Host(script).keys);
}

TEST_F(ScriptMode, NewerHostPassesAltCtrlAndFunctionKeysByName) {
    HostRun run = Host("\\e[15;7~\n\\eOP\\ex\\e[A\\e[1;5D\\x01<Ctrl-Alt-Shift-F10>\n", "");
    std::vector<std::string> expected = {
        Trace("Ctrl-Alt-F5", 0, "Ctrl-Alt-F5", 0, 1, 1),
        Trace("F1", 0, "F1", 0, 0, 0),
        Trace("Alt-X", 0, "Alt-X", 0, 0, 1),
        Trace("Up", 0x10048, "", 0, 0, 0),
        Trace("Ctrl-Left", 0, "Ctrl-Left", 0, 1, 0),
        Trace("Ctrl-A", 0, "Ctrl-A", 0, 1, 0),
        Trace("Ctrl-Alt-Shift-F10", 0, "Ctrl-Alt-Shift-F10", 1, 1, 1),
    };
    EXPECT_EQ(expected, run.keys);
}

TEST_F(ScriptMode, NamedKeysMatchTheirEscapeSequences) {
    HostRun named = Host("<Ctrl-Shift-F10><Alt-x><Ctrl-Alt-F5><Shift-Left><Alt-=><PageUp>\n");
    HostRun typed = Host("\\e[21;6~\\ex\\e[15;7~\\e[1;2D\\e=\\e[5~\n");
    EXPECT_EQ(6u, named.keys.size());
    EXPECT_EQ(typed.keys, named.keys);
}

struct EditCase {
    const char* script;
    const char* line; // the last line trace
};

const EditCase EDIT_CASES[] = {
    {"abc<Left><Left><Backspace>", "line \"bc\" cursor 0"},
    {"abc<Home><Del>", "line \"bc\" cursor 0"},
    {"abc<Home><Right><End>", "line \"abc\" cursor 3"},
    {"abc<Left><Backspace><Backspace><Backspace>", "line \"c\" cursor 0"},
    {"ab<Right><Right><Del>", "line \"ab\" cursor 2"},
    {"abc<Ctrl-C>", "line \"\" cursor 0"},
    {"h\xc3\xa9llo<Left>", "line \"h\xc3\xa9llo\" cursor 4"},
    {"a\xf0\x9f\x98\x80"
     "b<Left><Left>",
     "line \"a\xf0\x9f\x98\x80"
     "b\" cursor 1"},
    {"a\xf0\x9f\x98\x80"
     "b<Left><Backspace>",
     "line \"ab\" cursor 1"},
    {"x<Left>y<Alt-X>", "line \"yx\" cursor 1"},
};

TEST_F(ScriptMode, HostEditsTheLine) {
    for (const EditCase& c : EDIT_CASES) {
        HostRun run = Host(std::string(c.script) + "\n");
        ASSERT_FALSE(run.lines.empty()) << c.script;
        EXPECT_EQ(c.line, run.lines.back()) << c.script;
    }
}

TEST_F(ScriptMode, CtrlDLeavesOnAnEmptyLineOnlyAndExitSetsTheExitCode) {
    HostRun run =
        Host("ab<Home><Ctrl-D><Ctrl-D>\necho still here<Enter>\n<Ctrl-D>\necho gone<Enter>\n");
    EXPECT_EQ(std::vector<std::string>({"still here"}), run.output);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(3, Host("exit 3<Enter>\necho gone<Enter>\n").exitCode);
}

struct EchoCase {
    const char* line;    // typed after "echo "
    const char* printed; // what echo shows, or the host's error
};

const char* const FAILED = "tallix-host: cannot expand the line (error 3)";

const EchoCase EVALUATOR_CASES[] = {
    {"%@eval[3*4]", "12"},
    {"%@eval[2+3*4]", "14"},
    {"%@eval[(2+3)*4]", "20"},
    {"%@eval[10-4-3]", "3"},
    {"%@eval[2*7%%4]", "2"}, // "%%" on a command line, as "%4" would be a variable
    {"%@eval[100/10/5]", "2"},
    {"%@eval[ 1 + 2 ]", "3"},
    {"%@eval[-3*-2]", "6"},
    {"%@eval[-(2+3)]", "-5"},
    {"%@eval[--4]", "4"},
    {"%@eval[2--3]", "5"},
    {"%@eval[7/2]", "3.5"},
    {"%@eval[1/3]", "0.333333333333333"},
    {"%@eval[1.5*2]", "3"},
    {"%@eval[0.1+0.2]", "0.3"},
    {"%@eval[-7%%3]", "-1"},
    {"%@eval[1/0]", FAILED},
    {"%@eval[5%%0]", FAILED},
    {"%@eval[1/(2-2)]", FAILED},
    {"%@eval[2+]", FAILED},
    {"%@eval[(2]", FAILED},
    {"%@eval[2)]", FAILED},
    {"%@eval[abc]", FAILED},
    {"%@eval[]", FAILED},
    {"%@eval[999999999999999999*10]", "1e+19"},
    // Integers of 64 bits exactly, doubles beyond.
    {"%@eval[9223372036854775806+1]", "9223372036854775807"},
    {"%@eval[4611686018427387904*2]", "9.22337203685478e+18"},
    {"%@eval[9999999999*9999999999]", "9.999999998e+19"},
    {"%@upper[caf\xc3\xa9 \xc3\x9f]", "CAF\xc3\x89 \xc3\x9f"},
    {"%@lower[\xce\xa3\xce\x9b]", "\xcf\x83\xce\xbb"},
};

const EchoCase EXPANSION_CASES[] = {
    {"[%@upper[abc%demo_var]]", "[ABCMIXED CASE]"},
    {"[%@lower[ABC%demo_var]]", "[abcmixed case]"},
    {"[%@len[%demo_var]]", "[10]"},
    {"[%@len[]]", "[0]"},
    {"[%@upper[%@lower[XyZ]]]", "[XYZ]"},
    {"[%[demo_var]]", "[Mixed Case]"},
    {"[%DEMO_VAR]", "[Mixed Case]"},
    {"[%no_such_variable]", "[]"},
    {"[%@option[EscapeChar]]", "[^]"},
    {"[%%]", "[%]"},
    {"[%_4ver %_transient %_pipe %_batch %[noloadmsg]]", "[23 0 1 0 ]"},
    {"[%TALLIX_DEMO_ENV]", "[from the environment]"},
    {"[%@eval[%n*2]]", "[14]"},
    {"%@nosuch[x]", "tallix-host: cannot expand the line (error 2)"},
    {"%@upper[x", "tallix-host: cannot expand the line (error 1)"},
    {"[%[%@lower[DEMO_VAR]]]", "[Mixed Case]"},
    {"%@upper[\"a]b\"]", "\"A]B\""},
    {"%@upper[a^]b]", "A]B"},
    {"[^%demo_var %=%demo_var %+]", "[%demo_var ^%demo_var &]"},
    {"[50% %]", "[50% %]"},
    {"%(demo_var)", "tallix-host: cannot expand the line (error 5)"},
    {"%((1+2))", "tallix-host: cannot expand the line (error 5)"},
    {"%{demo_var}", "tallix-host: cannot expand the line (error 5)"},
    {"%[[demo_var]]", "tallix-host: cannot expand the line (error 5)"},
    {"%demo_var[1]", "tallix-host: cannot expand the line (error 5)"},
};

std::string EchoScript(const EchoCase* cases, size_t count, std::vector<std::string>* expected) {
    std::string script = "set demo_var=Mixed Case<Enter>\nset n=7<Enter>\n";
    for (size_t i = 0; i < count; ++i) {
        script += std::string("echo ") + cases[i].line + "<Enter>\n";
        expected->push_back(cases[i].printed);
    }
    return script;
}

TEST_F(ScriptMode, EvaluatorHonoursPrecedenceUnaryMinusAndFailsOnDivisionByZero) {
    std::vector<std::string> expected;
    std::string script = EchoScript(EVALUATOR_CASES, std::size(EVALUATOR_CASES), &expected);
    EXPECT_EQ(expected, Host(script).output);
}

TEST_F(ScriptMode, ExpansionOfVariablesAndFunctions) {
    setenv("TALLIX_DEMO_ENV", "from the environment", 1);
    std::vector<std::string> expected;
    std::string script = EchoScript(EXPANSION_CASES, std::size(EXPANSION_CASES), &expected);
    EXPECT_EQ(expected, Host(script).output);
    unsetenv("TALLIX_DEMO_ENV");
}

TEST_F(ScriptMode, ExitCodeOfTheLastCommandAndUnknownCommands) {
    HostRun run =
        Host("frobnicate<Enter>\necho [%?]<Enter>\necho [%?]<Enter>\n"
             "echo %@bad[]<Enter>\necho [%?]<Enter>\nset demo=1<Enter>\nset demo=<Enter>\n"
             "echo [%demo]<Enter>\n");
    std::vector<std::string> expected = {"Unknown command \"frobnicate\"",
                                         "[1]",
                                         "[0]",
                                         "tallix-host: cannot expand the line (error 2)",
                                         "[2]",
                                         "[]"};
    EXPECT_EQ(expected, run.output);
}

// "set" alone lists the environment's variables and those set here, not the host's own.
TEST_F(ScriptMode, SetAloneListsTheVariables) {
    setenv("DEMO_FROM_ENVIRONMENT", "e", 1);
    HostRun run = Host("set Demo_Here=h<Enter>\nset<Enter>\n");
    unsetenv("DEMO_FROM_ENVIRONMENT");
    auto listed = [&](const std::string& line) {
        return std::find(run.output.begin(), run.output.end(), line) != run.output.end();
    };
    EXPECT_TRUE(listed("DEMO_FROM_ENVIRONMENT=e"));
    EXPECT_TRUE(listed("DEMO_HERE=h"));
    for (const std::string& line : run.output)
        EXPECT_TRUE(line[0] != '_' && line.rfind("?=", 0) != 0) << line;
}

TEST_F(ScriptMode, WithoutThePluginTheHostSaysSoAndKeepsWorking) {
    HostRun run = Host("tallix /?<Enter>\necho still working<Enter>\n");
    std::vector<std::string> expected = {"tallix-host: the plugin has no export \"tallix\"",
                                         "still working"};
    EXPECT_EQ(expected, run.output);
}

} // namespace

namespace {

// The exit code of a shell command and everything it printed.
std::pair<int, std::string> Shell(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(ScriptMode, HelpExitsZeroAndAMistakeIsNamed) {
    const std::string host = TALLIX_HOST;
    auto [helpCode, help] = Shell(host + " --help");
    EXPECT_EQ(0, helpCode);
    EXPECT_EQ(0u, help.rfind("usage: tallix-host", 0)) << help;
    auto [bogusCode, bogus] = Shell(host + " --bogus");
    EXPECT_EQ(2, bogusCode);
    EXPECT_EQ(0u, bogus.rfind("tallix-host: unknown option \"--bogus\"\nusage:", 0)) << bogus;
    auto [bareCode, bare] = Shell(host + " --plugin");
    EXPECT_EQ(2, bareCode);
    EXPECT_EQ(0u, bare.rfind("tallix-host: --plugin needs a value\n", 0)) << bare;
}

// Without a HOME that names a folder the host says where settings go, and writes nothing: not in
// the folder it runs in, and not a HOME that does not exist.
TEST_F(ScriptMode, WithoutAHomeSettingsLastForTheSession) {
    std::string here = folder_ + "/here";
    ASSERT_EQ(0, mkdir(here.c_str(), 0700));
    for (const char* home : {"", " HOME=/nonexistent/tallix-home"}) {
        auto [code, out] =
            Shell("cd " + here + " && echo 'tallix /Q F5 /S' | env -i PATH=/usr/bin" + home + " " +
                  TALLIX_HOST);
        EXPECT_EQ(0, code) << out;
        EXPECT_NE(std::string::npos, out.find("settings last for this session only")) << out;
        EXPECT_EQ(0, Shell("rmdir " + here + " && mkdir " + here).first) << home; // still empty
        EXPECT_NE(0, access("/nonexistent/tallix-home", F_OK));
    }
    rmdir(here.c_str());
}

// Two hosts on one settings file, saving over and over at once, one under HKCU and one under
// HKLM: the last value each saved is the one the file keeps, a line neither wrote stays, a reader
// never finds the file torn, and a temporary file that a killed writer left goes.
TEST_F(ScriptMode, TwoHostsSavingAtOnceLoseNoSave) {
    const std::string settings = folder_ + "/registry.reg", orphan = settings + ".tmp999999";
    std::ofstream(settings) << "; kept by hand\n";
    std::ofstream(orphan) << "left by a killed writer";
    std::string commands[2];
    for (int i = 0; i < 200; ++i) commands[0] += "tallix /Q F5 /S\n";
    commands[0] += "tallix /Q F12 /S\nexit\n";
    for (int i = 0; i < 300; ++i) commands[1] += "tallix /Q Ctrl-F3 /S!\n";
    commands[1] += "exit\n";
    FILE* hosts[2];
    for (int h = 0; h < 2; ++h) {
        std::string path = folder_ + "/commands" + std::to_string(h) + ".txt";
        std::ofstream(path) << commands[h];
        hosts[h] = popen((std::string(TALLIX_HOST) + " <" + path + " 2>&1").c_str(), "r");
        ASSERT_NE(nullptr, hosts[h]);
    }
    auto read = [&settings] {
        std::ostringstream file;
        file << std::ifstream(settings).rdbuf();
        return file.str();
    };
    for (int look = 0; look < 100; ++look, usleep(5000)) {
        std::string text = read(); // whole: from the line kept by hand to a last line feed
        ASSERT_TRUE(text.rfind("; kept by hand\n", 0) == 0 && text.back() == '\n') << text;
    }
    for (FILE* host : hosts) {
        char buffer[4096];
        std::string out;
        while (fgets(buffer, sizeof buffer, host)) out += buffer;
        EXPECT_EQ(0, WEXITSTATUS(pclose(host))) << out;
        EXPECT_EQ("", out);
    }
    for (int h = 0; h < 2; ++h)
        std::remove((folder_ + "/commands" + std::to_string(h) + ".txt").c_str());
    EXPECT_NE(0, access(orphan.c_str(), F_OK));
    const std::string text = read();
    EXPECT_EQ(0u, text.rfind("; kept by hand\n", 0)) << text;
    // The first "Hotkey" value after the section of `root`.
    auto hotkeyUnder = [&](const std::string& root) {
        size_t value = text.find("\"Hotkey\"=", text.find("[" + root + "\\"));
        return value == std::string::npos ? "" : text.substr(value, text.find('\n', value) - value);
    };
    EXPECT_EQ("\"Hotkey\"=dword:00010086", hotkeyUnder("HKEY_CURRENT_USER")) << text;  // F12
    EXPECT_EQ("\"Hotkey\"=dword:00010060", hotkeyUnder("HKEY_LOCAL_MACHINE")) << text; // Ctrl-F3
}

// Without --script, each input line is a command line; the exit code is exit's or the last
// command's.
TEST_F(ScriptMode, PipedInputRunsOneCommandPerLine) {
    std::string path = folder_ + "/commands.txt";
    std::ofstream(path) << "echo one\ntallix /L\nexit 4\necho never\n";
    std::string command = std::string(TALLIX_HOST) + " --host-version 23 <" + path + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::vector<std::string> lines;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) lines.push_back(buffer);
    int status = pclose(pipe);
    EXPECT_EQ(4, WEXITSTATUS(status));
    ASSERT_EQ(75u, lines.size()); // "one" and the 74 keys of the classic table
    EXPECT_EQ("one\n", lines[0]);
    std::ofstream(path) << "frobnicate\n";
    EXPECT_EQ(
        1, WEXITSTATUS(system((std::string(TALLIX_HOST) + " <" + path + " >/dev/null").c_str())));

    // A line far longer than any expansion buffer of old runs whole: 50,013 units in, the
    // function's value out.
    const std::string plain(20000, 'a');
    std::ofstream(path) << "echo " << plain << " %@len[" << std::string(30000, 'b') << "]\n";
    command = std::string(TALLIX_HOST) + " <" + path;
    pipe = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string output;
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    EXPECT_EQ(0, WEXITSTATUS(pclose(pipe)));
    EXPECT_EQ(plain + " 30000\n", output);
    std::remove(path.c_str());
}

TEST_F(ScriptMode, HostVersionIsARealMajorVersion) {
    const struct {
        const char* version;
        int exitCode;
    } cases[] = {{"7", 0}, {"23", 0}, {"40", 0},         {"6", 2},   {"41", 2},
                 {"0", 2}, {"-5", 2}, {"2147483648", 2}, {"24x", 2}, {"", 2}};
    for (const auto& c : cases) {
        std::string command = std::string(TALLIX_HOST) + " --host-version '" + c.version +
                              "' </dev/null >/dev/null 2>&1";
        EXPECT_EQ(c.exitCode, WEXITSTATUS(system(command.c_str()))) << c.version;
    }
}

TEST_F(ScriptMode, PluginExpandsAndDoesMathOnTheHostsLine) {
    HostRun run = Host("set where=/some/place<Enter>\necho %@upper[%where]<Alt-X>\n"
                       "<Ctrl-C>3*4<Alt-=>\n<Ctrl-C>echo %@nosuch[x]<Alt-X>\n",
                       "", true);
    std::vector<std::string> expected = {"line \"\" cursor 0", // after set
                                         "line \"echo %@upper[%where]\" cursor 20",
                                         "line \"echo /SOME/PLACE\" cursor 16",
                                         "line \"\" cursor 0",
                                         "line \"3*4\" cursor 3",
                                         "line \"12\" cursor 2",
                                         "line \"\" cursor 0",
                                         "line \"echo %@nosuch[x]\" cursor 16",
                                         "line \"echo %@nosuch[x]\" cursor 16"};
    EXPECT_EQ(expected, std::vector<std::string>(run.lines.begin() + 1, run.lines.end()));
    EXPECT_EQ(std::vector<std::string>({"bell"}), run.output);
}

} // namespace
