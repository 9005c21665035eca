// One run of the demo host: the loaded plugin, the edit line it shares with the plugin, and what
// happens to a keystroke offered to the plugin and to an entered command.
#pragma once

#include <string>

#include "../src/host/host.h"
#include "hostkeys.h"
#include "plugin.h"

namespace demo {

// The host version newer hosts report; from it on keys go to the plugin by name.
constexpr int NAMED_KEYS_VERSION = 24;

struct Session {
    Plugin plugin;
    int hostVersion = NAMED_KEYS_VERSION;
    bool script = false; // playing a scenario with key markup, not a terminal
    bool exitRequested = false;
    int exitCode = 0;
    int lastResult = 0;                   // of the last command, as %? holds it
    WCHAR line[EDIT_LINE_CAPACITY] = {0}; // the edit line as the plugin sees it
};

// The session the host's hooks work on.
Session& TheSession();

// What became of a key offered to the plugin. The line and caret are those of the editor: UTF-8,
// the caret a byte offset.
struct KeyOutcome {
    bool consumed = false; // the plugin took the key; it has no other meaning now
    bool changed = false;  // the plugin rewrote the line: `line` and `caret` hold the new one
    std::string line;
    size_t caret = 0;
};

// Hands one key to the plugin's `key` with the edit line `line` and the caret at byte `caret`, the
// keyboard showing the key's modifiers, by code or, on newer hosts, by name. A line longer than
// the host's edit line is not offered.
KeyOutcome OfferKey(Session& session, const Key& key, const std::string& line, size_t caret);
// Runs one entered command line (the commands of commands.cpp).
void RunCommand(Session& session, const std::u16string& line);

} // namespace demo
