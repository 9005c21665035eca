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
// tallix/registry.reg under $XDG_CONFIG_HOME or ~/.config. The prompt's history is kept beside
// it, in "history".
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

std::string RegistryPath() {
    if (const char* path = std::getenv("TALLIX_REGISTRY"); path && *path) return path;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string base = config && *config ? config : std::string(home ? home : ".") + "/.config";
    return base + "/tallix/registry.reg";
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

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--host-version") && more) {
            if (!ParseVersion(argv[++i], &options->hostVersion)) {
                std::cerr << "tallix-host: --host-version takes a major version from "
                          << OLDEST_HOST_VERSION << " to " << NEWEST_HOST_VERSION << ", not \""
                          << argv[i] << "\"\n";
                return false;
            }
        } else if (!std::strcmp(argv[i], "--plugin") && more) {
            options->plugin = argv[++i];
        } else if (!std::strcmp(argv[i], "--script") && more) {
            options->script = argv[++i];
        } else {
            return false;
        }
    }
    return true;
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
    MakeFolders(registry);
    standin::RegistrySetProblemHook(OnRegistryProblem);
    standin::RegistryBindFile(registry);
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
    if (!ParseOptions(argc, argv, &options)) {
        std::cerr << USAGE;
        return 2;
    }
    UseUtf8();
    Session& session = TheSession();
    bool interactive = options.script.empty() && isatty(STDIN_FILENO);
    session.script = !options.script.empty();
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
        Say("Alt-X expands the variable or function at the caret, Alt-= does the math on the word "
            "(the defaults); tallix /? for help; exit or Ctrl-D to leave.\n");
        RunPrompt(session, Folder(RegistryPath()) + "/history");
        result = session.exitCode;
    } else {
        result = RunCommands(session);
    }
    if (session.plugin.shutdownPlugin) session.plugin.shutdownPlugin();
    UnloadPlugin(session.plugin);
    return result;
}
