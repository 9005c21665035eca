#include "scenarios.h"

#include <memory>
#include <vector>

#include "src/plugin/exports.h"
#include "standin/takecmd/takecmd_control.h"
#include "standin/win32/win32_control.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

namespace limits {
namespace {

using Text = std::u16string;

constexpr size_t MAX_LINE = size_t(MAX_LINE_LENGTH);

Text Repeat(const Text& piece, size_t units) {
    Text text;
    while (text.size() + piece.size() <= units) text += piece;
    while (text.size() < units) text += u'x';
    return text;
}

void Prepare(int hostVersion) {
    support::ResetPluginState();
    support::UseHostVersion(hostVersion);
    if (hostVersion) TakeCmdSetVariable(u"_4ver", hostVersion >= 24 ? u"24" : u"23");
    TakeCmdSetExpansion(u"%foo", u"expanded value");
}

// The inputs of the scenario about to run, built beforehand so that the measured part holds the
// export call alone.
std::unique_ptr<support::EditLine> pendingKey;
std::vector<char16_t> pendingText(EDIT_LINE_CAPACITY, 0);

struct Call {
    std::function<void()> prepare;
    std::function<void()> run;
};

Call PressKey(Text line, size_t caret, int code, Text name = u"") {
    return {[=] {
                pendingKey = std::make_unique<support::EditLine>(
                    line, caret, code, name.empty() ? nullptr : name.c_str());
            },
            [] { key(&pendingKey->event); }};
}

Call Command(Text tail) {
    return {[=] {
                std::fill(pendingText.begin(), pendingText.end(), 0);
                std::copy(tail.begin(), tail.end(), pendingText.begin());
            },
            [] { tallix(pendingText.data()); }};
}

std::vector<Scenario> Build() {
    std::vector<Scenario> s;
    auto add = [&s](std::string name, std::string what, std::function<void()> state, Call call) {
        s.push_back({name, what,
                     [=] {
                         state();
                         call.prepare();
                     },
                     call.run});
    };
    auto classic = [] { Prepare(0); };
    auto extended = [] { Prepare(24); };
    auto saved = [] {
        Prepare(24);
        const Text path = u"Software\\REDeraded\\Tallix";
        standin::RegistryPutDword(HKEY_LOCAL_MACHINE, path, u"Hotkey", 0x1003F);
        standin::RegistryPutDword(HKEY_LOCAL_MACHINE, path, u"MathHotkey", 0x10040);
        standin::RegistryPutDword(HKEY_LOCAL_MACHINE, path, u"ErrorBeep", 5);
    };

    s.push_back({"GetPluginInfo", "describe", classic, [] { GetPluginInfo(); }});
    s.push_back({"InitializePlugin", "defaults, banner", classic, [] { InitializePlugin(); }});
    s.push_back({"InitializePlugin", "settings from HKLM", saved, [] { InitializePlugin(); }});
    s.push_back({"ShutdownPlugin", "unload", classic, [] { ShutdownPlugin(); }});

    const int altX = 0x1002D, altEquals = 0x10083;
    add("key", "expand %foo", classic, PressKey(u"echo %foo", 9, altX));
    add("key", "expand by key name", extended, PressKey(u"echo %foo", 9, 0, u"Alt-X"));
    for (const char16_t* piece : {u"%(", u"%((", u"%[", u"%[[", u"%{", u"%@f[", u"%a[", u"%a"}) {
        Text line = Repeat(Text(piece), MAX_LINE);
        add("key", "expand, 65,535 units", classic, PressKey(line, line.size(), altX));
    }
    Text nested;
    while (nested.size() + 8 < MAX_LINE / 2) nested += u"%@f[";
    nested += Text(nested.size() / 4, u']');
    add("key", "expand, nested", classic, PressKey(nested, nested.size() / 2, altX));
    add("key", "math 3*4", classic, PressKey(u"echo 3*4", 8, altEquals));
    Text word = Repeat(u"1+", 65526) + u"1";
    add("key", "math, 65,527-unit word", classic, PressKey(word, 3, altEquals));
    Text quoted = u"\"" + Repeat(u"1 + ", MAX_LINE - 2) + u"\"";
    add("key", "math, quoted line", classic, PressKey(quoted, 5, altEquals));
    add("key", "other key", extended, PressKey(u"abc", 3, 0, u"Ctrl-Alt-Shift-F5"));

    for (const Text& tail :
         {Text(u""), Text(u"/L"), Text(u"/??"), Text(u"/S"), Text(u"/S!"), Text(u"/R"),
          Text(u"/D /Q"), Text(u"Ctrl-Alt-F5 F5 /B:\"Critical Stop\""), Text(u"/B:9"), Text(u"/X"),
          Text(u"Alt-X Alt-X"), Repeat(u"a ", 9000), Repeat(u"\"", 3000)}) {
        add("tallix", "tallix " + std::to_string(tail.size()) + " units", extended, Command(tail));
    }
    add("tallix", "tallix /L, classic", classic, Command(u"/L"));
    s.push_back({"Help", "help box", classic, [] { Help(const_cast<WCHAR*>(u"tallix")); }});
    s.push_back({"Usage", "usage text", classic,
                 [] { Usage(const_cast<WCHAR*>(u"TALLIX"), pendingText.data()); }});
    return s;
}

} // namespace

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios = Build();
    return scenarios;
}

} // namespace limits
