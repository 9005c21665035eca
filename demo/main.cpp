// tallix-host: a small stand-in command line that loads the Tallix plugin as a host does, so the
// plugin can be tried in a Linux terminal.
//
//   tallix-host [--host-version N] [--plugin PATH] [--script FILE]
//
// At a terminal it is a prompt (prompt.h). With standard input not a terminal it reads one
// command line per input line, as a shell reads a script. --script plays a scenario with key
// markup instead (script.h; "-" reads it from standard input).
//
// Settings the plugin saves persist in a registry file: $TALLIX_REGISTRY, or else
// tallix/registry.reg under $XDG_CONFIG_HOME or ~/.config. The prompt's history is kept in
// tallix/tallix_history under $XDG_STATE_HOME or ~/.local/state. Without a HOME that names a
// folder (and no variable that names a place), settings and history last for the session.
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#include "../standin/takecmd/takecmd_control.h"
#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"
#include "display.h"
#include "keysequences.h"
#include "prompt.h"
#include "session.h"

namespace demo {
namespace {

// The host versions this host can play: the major versions of the real command processor that
// load plugins of this kind, from the oldest to a few beyond the newest.
constexpr int OLDEST_HOST_VERSION = 7, NEWEST_HOST_VERSION = 40;

const char USAGE[] =
    "usage: tallix-host [--host-version N] [--plugin PATH] [--script FILE]\n"
    "  --host-version N  the host's major version, 7 to 40 (default 24); before 24 keys go to\n"
    "                    the plugin by code and the classic key table is in force\n"
    "  --plugin PATH     the plugin library (default: libTallix.so beside the host's folder)\n"
    "  --script FILE     play a scenario with key markup (\"-\": standard input)\n"
    "Without a terminal on standard input, each input line is a command line.\n";

struct Options {
    int hostVersion = NAMED_KEYS_VERSION;
    std::string plugin;
    std::string script;
};

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The plugin beside the build's libraries: one folder above this program.
std::string DefaultPluginPath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "libTallix.so";
    self[n] = 0;
    return Folder(Folder(self)) + "/libTallix.so";
}

// HOME when it names an existing folder by an absolute path, or else nothing: a HOME that is unset
// or names no folder is no place to keep files.
std::string UsableHome() {
    const char* home = std::getenv("HOME");
    struct stat info;
    if (!home || *home != '/' || stat(home, &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    return home;
}

// A base folder of the XDG convention: the variable when it holds an absolute path (a relative
// one is ignored, as the convention says), or else `underHome` in a usable HOME; else nothing.
std::string XdgFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value && *value == '/') return value;
    std::string home = UsableHome();
    return home.empty() ? "" : home + "/" + underHome;
}

// The settings file, or nothing when there is no place for one.
std::string RegistryPath() {
    if (const char* path = std::getenv("TALLIX_REGISTRY"); path && *path) return path;
    std::string base = XdgFolder("XDG_CONFIG_HOME", ".config");
    return base.empty() ? "" : base + "/tallix/registry.reg";
}

// The prompt's history, where the XDG convention keeps state, in a file of its own name; or
// nothing, and the history lasts for the session.
std::string HistoryPath() {
    std::string base = XdgFolder("XDG_STATE_HOME", ".local/state");
    return base.empty() ? "" : base + "/tallix/tallix_history";
}

// Creates the folders above `path` that are missing.
void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

bool ParseVersion(const char* text, int* version) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < OLDEST_HOST_VERSION || value > NEWEST_HOST_VERSION)
        return false;
    *version = int(value);
    return true;
}

// What the command line asks for: to run, to print the usage, or nothing it can do (told).
enum class Parsed { RUN, HELP, BAD };

Parsed ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i];
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) return Parsed::HELP;
        bool takesValue = !std::strcmp(option, "--host-version") ||
                          !std::strcmp(option, "--plugin") || !std::strcmp(option, "--script");
        if (!takesValue) {
            std::cerr << "tallix-host: unknown option \"" << option << "\"\n";
            return Parsed::BAD;
        }
        if (i + 1 == argc) {
            std::cerr << "tallix-host: " << option << " needs a value\n";
            return Parsed::BAD;
        }
        const char* value = argv[++i];
        if (!std::strcmp(option, "--host-version")) {
            if (!ParseVersion(value, &options->hostVersion)) {
                std::cerr << "tallix-host: --host-version takes a major version from "
                          << OLDEST_HOST_VERSION << " to " << NEWEST_HOST_VERSION << ", not \""
                          << value << "\"\n";
                return Parsed::BAD;
            }
        } else if (!std::strcmp(option, "--plugin")) {
            options->plugin = value;
        } else {
            options->script = value;
        }
    }
    return Parsed::RUN;
}

// The host speaks UTF-8 whatever the environment says: without a UTF-8 locale the editor would
// take every byte for a character.
void UseUtf8() {
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

void SetVariable(const char16_t* name, const std::string& value) {
    std::u16string wide = standin::FromUtf8(value);
    TakeCmdSetVariable(name, wide.c_str());
}

void OnSound(uintptr_t) {
    RingBell();
}

void OnRegistryProblem(const std::string& message) {
    std::cerr << "tallix-host: " << message << std::flush;
}

// The stand-in host and Win32 as this host sets them up: the registry file, the host
// variables, output shown, and the hooks that ring and draw.
void SetUpHost(const Options& options, bool interactive) {
    std::string registry = RegistryPath();
    standin::RegistrySetProblemHook(OnRegistryProblem);
    if (registry.empty()) {
        std::cerr << "tallix-host: HOME names no folder, and neither TALLIX_REGISTRY nor "
                     "XDG_CONFIG_HOME is set: settings last for this session only\n";
    } else {
        MakeFolders(registry);
        standin::RegistryBindFile(registry);
    }
    TakeCmdReset();
    TakeCmdSetEcho(1);
    TakeCmdSetEnvironmentLookup(1);
    SetVariable(u"_4ver", std::to_string(options.hostVersion));
    SetVariable(u"_pipe", interactive ? "0" : "1");
    SetVariable(u"?", "0");
    TakeCmdSetHonkHook(RingBell);
    standin::SetSoundHook(OnSound);
    standin::SetMessageBoxHook(ShowMessageBox);
}

void StartPlugin(Session& session, const std::string& path) {
    std::string problems;
    session.plugin = LoadPlugin(path, &problems);
    for (size_t start = 0, end; (end = problems.find('\n', start)) != std::string::npos;
         start = end + 1)
        Say("tallix-host: " + problems.substr(start, end - start) + "\n");
    if (session.plugin.getPluginInfo) session.plugin.getPluginInfo();
    if (session.plugin.initializePlugin) session.plugin.initializePlugin();
    TakeCmdClearOutput();
}

// The hotkeys the plugin offers (its /L listing) that no terminal sends to this host, named once
// so that choosing one does not fail in silence.
void NameUndeliveredKeys(Session& session) {
    if (!session.plugin.tallix) return;
    WCHAR tail[] = u"/L";
    TakeCmdSetEcho(0);
    session.plugin.tallix(tail);
    std::string listing = standin::ToUtf8(reinterpret_cast<const char16_t*>(TakeCmdStdout()));
    TakeCmdClearOutput();
    TakeCmdSetEcho(1);
    const std::string separator = " \xc2\xb7 "; // " · "
    std::string missing;
    size_t count = 0;
    for (size_t start = 0; start < listing.size();) {
        size_t end = std::min(listing.find(separator, start), listing.find('\n', start));
        std::string name = listing.substr(start, end - start);
        while (!name.empty() && (name.back() == '\r' || name.back() == ' ')) name.pop_back();
        Key key = KeyFromName(name);
        if (!name.empty() && (key.id == KEY_NONE || !DeliversKey(key)))
            missing += (count++ ? ", " : "") + name;
        if (end == std::string::npos) break;
        start =
            end + (listing.compare(end, separator.size(), separator) == 0 ? separator.size() : 1);
    }
    if (count)
        Say("tallix-host: " + std::to_string(count) +
            " keys of tallix /L never reach the plugin here, as no terminal sends them: " +
            missing + "\n");
}

// The key the plugin's usage text names in "Press <key> to <what>", or nothing.
std::string KeyInUsage(const std::string& usage, const std::string& what) {
    size_t end = usage.find(" to " + what);
    size_t start = end == std::string::npos ? end : usage.rfind("Press ", end);
    return start == std::string::npos ? "" : usage.substr(start + 6, end - start - 6);
}

// The start-up hint, with the hotkeys in force as the plugin's usage text names them.
std::string StartupHint(Session& session) {
    std::string hint = "tallix /? for help; exit or Ctrl-D to leave.\n";
    WCHAR usage[1024] = {0}; // the room a host gives the usage text
    WCHAR name[] = u"tallix";
    if (!session.plugin.usage || session.plugin.usage(name, usage) != 1) return hint;
    std::string text = standin::ToUtf8(std::u16string(usage, usage + 1023).c_str());
    std::string expand = KeyInUsage(text, "expand"), math = KeyInUsage(text, "do math");
    if (expand.empty() || math.empty()) return hint;
    return expand + " expands the variable or function at the caret, " + math +
           " does the math on the word; " + hint;
}

int RunCommands(Session& session) {
    std::string text;
    while (!session.exitRequested && std::getline(std::cin, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        RunCommand(session, standin::FromUtf8(text));
    }
    return session.exitRequested ? session.exitCode : session.lastResult;
}

} // namespace
} // namespace demo

int main(int argc, char** argv) {
    using namespace demo;
    Options options;
    switch (ParseOptions(argc, argv, &options)) {
    case Parsed::HELP:
        std::cout << USAGE;
        return 0;
    case Parsed::BAD:
        std::cerr << USAGE;
        return 2;
    case Parsed::RUN:
        break;
    }
    UseUtf8();
    Session& session = TheSession();
    bool interactive = options.script.empty() && isatty(STDIN_FILENO);
    session.script = !options.script.empty();
    SetScripted(session.script);
    session.hostVersion = options.hostVersion;
    SetUpHost(options, interactive);
    StartPlugin(session, options.plugin.empty() ? DefaultPluginPath() : options.plugin);
    int result = 0;
    if (session.script) {
        std::ifstream file;
        if (options.script != "-") file.open(options.script);
        if (options.script != "-" && !file) {
            std::cerr << "tallix-host: cannot read the scenario " << options.script << "\n";
            return 2;
        }
        RunScenario(session, options.script == "-" ? std::cin : file);
        result = session.exitCode;
    } else if (interactive) {
        NameUndeliveredKeys(session);
        Say(StartupHint(session));
        std::string history = HistoryPath();
        if (!history.empty()) MakeFolders(history);
        RunPrompt(session, history);
        result = session.exitCode;
    } else {
        result = RunCommands(session);
    }
    if (session.plugin.shutdownPlugin) session.plugin.shutdownPlugin();
    UnloadPlugin(session.plugin);
    return result;
}
