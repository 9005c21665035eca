// The host's commands, run when Enter is pressed. The host expands variables and functions in
// the line first, as a command processor does, then runs the command:
//
//   tallix [options]   the plugin's command; its result is the exit code %?
//   set name=value     a host variable (an empty value removes it); "set name" shows it, and
//                      "set" alone lists the variables
//   echo text          the text
//   help [name]        the plugin's help box for "help tallix"; alone, the host's commands
//                      and the plugin's usage text
//   ver                the host's and the plugin's versions
//   exit [code]        leaves the host
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "../src/host/host.h"
#include "../standin/fold.h"
#include "../standin/takecmd/takecmd_control.h"
#include "../standin/wideformat.h"
#include "display.h"
#include "session.h"

namespace demo {
namespace {

// The plugin hands back at most this many units of usage text.
constexpr size_t USAGE_UNITS = 1024;

bool IsSpace(char16_t ch) {
    return ch == u' ' || ch == u'\t';
}

std::u16string Trim(const std::u16string& text) {
    size_t start = 0, end = text.size();
    while (start < end && IsSpace(text[start])) ++start;
    while (end > start && IsSpace(text[end - 1])) --end;
    return text.substr(start, end - start);
}

std::u16string Lower(std::u16string text) {
    for (auto& ch : text)
        if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
    return text;
}

std::string Utf8(const std::u16string& text) {
    return standin::ToUtf8(text);
}

// A writable, terminated copy of a text in a buffer of at least `units` units.
std::vector<WCHAR> Buffer(const std::u16string& text, size_t units) {
    std::vector<WCHAR> buffer(std::max(units, text.size() + 1), 0);
    std::copy(text.begin(), text.end(), buffer.begin());
    return buffer;
}

void Missing(const char* name) {
    Say(std::string("tallix-host: the plugin has no export \"") + name + "\"\n");
}

int RunTallix(Session& session, const std::u16string& tail) {
    if (!session.plugin.tallix) return Missing("tallix"), -1;
    std::vector<WCHAR> buffer = Buffer(tail, EDIT_LINE_CAPACITY);
    int result = session.plugin.tallix(buffer.data());
    TakeCmdClearOutput();
    return result;
}

// `set` alone: every variable a line can expand, the environment's and the ones set here (which
// win), sorted by name without case. The host's own (the names that start with "_", and "?")
// are left out, as a command processor leaves out its internal variables.
void ListVariables() {
    std::map<std::u16string, std::pair<std::u16string, std::u16string>> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::u16string text = standin::FromUtf8(*entry);
        size_t equals = text.find(u'=');
        if (equals == 0 || equals == std::u16string::npos) continue;
        std::u16string name = text.substr(0, equals);
        variables[standin::Fold(name)] = {name, text.substr(equals + 1)};
    }
    const WCHAR *name = nullptr, *value = nullptr;
    for (int i = 0; TakeCmdVariable(i, &name, &value); ++i)
        variables[standin::Fold(name)] = {name, value};
    for (const auto& [folded, variable] : variables)
        if (folded[0] != u'_' && folded != u"?")
            Say(Utf8(variable.first) + "=" + Utf8(variable.second) + "\n");
}

int RunSet(const std::u16string& tail) {
    size_t equals = tail.find(u'=');
    if (tail.empty()) return ListVariables(), 0;
    if (equals == std::u16string::npos) {
        std::vector<WCHAR> buffer = Buffer(u"%[" + tail + u"]", EDIT_LINE_CAPACITY);
        ExpandVariables(buffer.data(), 1);
        Say(Utf8(tail) + "=" + Utf8(std::u16string(buffer.data())) + "\n");
        return 0;
    }
    std::u16string name = Trim(tail.substr(0, equals)), value = tail.substr(equals + 1);
    if (name.empty()) {
        Say("set: a variable needs a name\n");
        return 1;
    }
    TakeCmdSetVariable(name.c_str(), value.empty() ? nullptr : value.c_str());
    return 0;
}

int RunHelp(Session& session, const std::u16string& name) {
    if (name.empty()) {
        Say("Commands: tallix [options], set name=value, echo text, help [tallix], ver, exit\n");
        WCHAR out[USAGE_UNITS] = {0};
        std::vector<WCHAR> tallix = Buffer(u"tallix", 16);
        if (session.plugin.usage && session.plugin.usage(tallix.data(), out) == 1)
            Say(Utf8(std::u16string(out, out + USAGE_UNITS).c_str()));
        return 0;
    }
    if (!session.plugin.help) return Missing("Help"), 1;
    std::vector<WCHAR> buffer = Buffer(name, 256);
    if (session.plugin.help(buffer.data()) == 1) return 0;
    Say("No help for \"" + Utf8(name) + "\"\n");
    return 1;
}

int RunVer(Session& session) {
    Say("tallix-host, a stand-in command processor, host version " +
        std::to_string(session.hostVersion) + "\n");
    PluginInfo* info = session.plugin.getPluginInfo ? session.plugin.getPluginInfo() : nullptr;
    if (!info) return Say("No plugin information\n"), 0;
    auto text = [](const WCHAR* t) { return t ? Utf8(t) : std::string(); };
    Say("Plugin " + text(info->name) + " " + std::to_string(info->major) + "." +
        std::to_string(info->minor) + "." + std::to_string(info->build) + " (" +
        text(info->functions) + "): " + text(info->description) + "\n");
    return 0;
}

} // namespace

void RunCommand(Session& session, const std::u16string& entered) {
    if (entered.size() > MAX_LINE_LENGTH) {
        Say("tallix-host: the line is longer than " + std::to_string(MAX_LINE_LENGTH) +
            " characters\n");
        TakeCmdSetVariable(u"?", u"2");
        session.lastResult = 2;
        return;
    }
    std::vector<WCHAR> buffer = Buffer(Trim(entered), EDIT_LINE_CAPACITY);
    if (!buffer[0]) return;
    int failed = ExpandVariables(buffer.data(), 1);
    TakeCmdClearOutput();
    if (failed) {
        Say("tallix-host: cannot expand the line (error " + std::to_string(failed) + ")\n");
        TakeCmdSetVariable(u"?", u"2");
        session.lastResult = 2;
        return;
    }
    std::u16string line = Trim(buffer.data());
    size_t space = 0;
    while (space < line.size() && !IsSpace(line[space])) ++space;
    std::u16string command = Lower(line.substr(0, space));
    std::u16string tail = Trim(line.substr(space));

    int result = 0;
    if (command == u"tallix") {
        result = RunTallix(session, tail);
    } else if (command == u"set") {
        result = RunSet(tail);
    } else if (command == u"echo") {
        Say(Utf8(tail) + "\n");
    } else if (command == u"help") {
        result = RunHelp(session, tail);
    } else if (command == u"ver") {
        result = RunVer(session);
    } else if (command == u"exit") {
        session.exitRequested = true;
        session.exitCode = std::atoi(Utf8(tail).c_str());
    } else {
        Say("Unknown command \"" + Utf8(line.substr(0, space)) + "\"\n");
        result = 1;
    }
    std::u16string code = standin::FromUtf8(std::to_string(result));
    TakeCmdSetVariable(u"?", code.c_str());
    session.lastResult = result;
}

} // namespace demo
