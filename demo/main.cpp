// tallix-host: a small stand-in command line that loads the Tallix plugin as a host does, so the
// plugin can be tried in a Linux terminal. Reads keys from the terminal, or a scenario (see
// script.h) when standard input is no terminal.
//
//   tallix-host [--host-version N] [--plugin PATH]
//
// Settings the plugin saves persist in a registry file: $TALLIX_REGISTRY, or else
// tallix/registry.reg under $XDG_CONFIG_HOME or ~/.config.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "../standin/takecmd/takecmd_control.h"
#include "../standin/wideformat.h"
#include "../standin/win32/win32_control.h"
#include "display.h"
#include "keydecoder.h"
#include "script.h"
#include "session.h"
#include "terminal.h"

namespace demo {
namespace {

// Bytes of terminal input held while a sequence is incomplete; sequences are far shorter.
constexpr size_t INPUT_BYTES = 256;
// How long a lone ESC waits for the rest of a sequence.
constexpr int ESCAPE_WAIT_MS = 50;

const char USAGE[] = "usage: tallix-host [--host-version N] [--plugin PATH]\n";

struct Options {
    int hostVersion = NAMED_KEYS_VERSION;
    std::string plugin;
};

std::string Folder(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
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

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--host-version") && i + 1 < argc) {
            char* end = nullptr;
            options->hostVersion = int(std::strtol(argv[++i], &end, 10));
            if (*end || end == argv[i]) return false;
        } else if (!std::strcmp(argv[i], "--plugin") && i + 1 < argc) {
            options->plugin = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

void SetVariable(const char16_t* name, const std::string& value) {
    std::u16string wide = standin::FromUtf8(value);
    TakeCmdSetVariable(name, wide.c_str());
}

void OnClear(WCHAR* position) {
    Session& session = TheSession();
    uintptr_t start = reinterpret_cast<uintptr_t>(session.line.text);
    uintptr_t at = reinterpret_cast<uintptr_t>(position);
    if (at < start || at >= start + LINE_UNITS * sizeof(WCHAR)) return;
    size_t index = (at - start) / sizeof(WCHAR);
    if (!session.clearAnnounced || index < session.clearFrom) session.clearFrom = index;
    session.clearAnnounced = true;
}

void OnSound(uintptr_t) {
    RingBell();
}

// The stand-in host and Win32 as this host sets them up: the registry file, the host
// variables, output shown, and the hooks that draw and ring.
void SetUpHost(const Options& options, bool script) {
    std::string registry = RegistryPath();
    MakeFolders(registry);
    standin::RegistryLoadFile(registry);
    standin::RegistryBindFile(registry);
    TakeCmdReset();
    TakeCmdSetEcho(1);
    TakeCmdSetEnvironmentLookup(1);
    SetVariable(u"_4ver", std::to_string(options.hostVersion));
    SetVariable(u"_pipe", script ? "1" : "0");
    SetVariable(u"?", "0");
    TakeCmdSetHonkHook(RingBell);
    TakeCmdSetClearHook(OnClear);
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

// Decodes `bytes` whole into keys; a cut sequence at the end is dropped.
void TypeBytes(Session& session, const std::string& bytes) {
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t at = 0; at < bytes.size() && !session.exitRequested;) {
        Key key;
        at += DecodeKey(data + at, bytes.size() - at, true, &key);
        HandleKey(session, key);
    }
}

void RunScript(Session& session) {
    std::string text;
    while (!session.exitRequested && std::getline(std::cin, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty() || text[0] == '#') continue;
        for (const ScriptItem& item : ParseScriptLine(text)) {
            if (session.exitRequested) break;
            if (item.named)
                HandleKey(session, item.key);
            else
                TypeBytes(session, item.bytes);
        }
        EndOfTyping(session);
    }
}

void RunTerminal(Session& session) {
    if (!TerminalRawOn()) return Say("tallix-host: cannot switch the terminal to raw mode\n");
    Say("Alt-X expands the variable or function at the caret, Alt-= does the math on the word "
        "(the defaults); tallix /? for help; exit or Ctrl-D to leave.\r\n");
    ShowLine(session);
    unsigned char pending[INPUT_BYTES];
    size_t held = 0;
    while (!session.exitRequested) {
        int got = TerminalRead(pending + held, int(INPUT_BYTES - held), -1);
        if (got < 0) break;
        held += size_t(got);
        while (held > 0 && !session.exitRequested) {
            Key key;
            size_t used = DecodeKey(pending, held, false, &key);
            if (used == 0) {
                int more =
                    held < INPUT_BYTES
                        ? TerminalRead(pending + held, int(INPUT_BYTES - held), ESCAPE_WAIT_MS)
                        : 0;
                if (more > 0) {
                    held += size_t(more);
                    continue;
                }
                used = DecodeKey(pending, held, true, &key);
                if (used == 0) used = held;
            }
            std::memmove(pending, pending + used, held - used);
            held -= used;
            HandleKey(session, key);
        }
    }
    TerminalRawOff();
    Say("\n");
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
    Session& session = TheSession();
    session.script = !TerminalIsInteractive();
    session.hostVersion = options.hostVersion;
    SetUpHost(options, session.script);
    StartPlugin(session, options.plugin.empty() ? DefaultPluginPath() : options.plugin);
    if (session.script)
        RunScript(session);
    else
        RunTerminal(session);
    if (session.plugin.shutdownPlugin) session.plugin.shutdownPlugin();
    UnloadPlugin(session.plugin);
    return session.exitCode;
}
