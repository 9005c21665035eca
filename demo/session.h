// One run of the demo host: the loaded plugin, the edit line it shares with the plugin, and
// what happens to a keystroke and to an entered command.
#pragma once

#include <string>

#include "hostkeys.h"
#include "lineedit.h"
#include "plugin.h"

namespace demo {

// The host version newer hosts report; from it on keys go to the plugin by name.
constexpr int NAMED_KEYS_VERSION = 24;

struct Session {
    Plugin plugin;
    int hostVersion = NAMED_KEYS_VERSION;
    bool script = false; // reading a scenario, not a terminal
    bool exitRequested = false;
    int exitCode = 0;
    EditLine line;
    size_t clearFrom = 0; // the first unit the plugin announced it would rewrite
    bool clearAnnounced = false;
    bool typed = false; // script mode: characters typed since the last trace
};

// The session the host's hooks work on.
Session& TheSession();

// One keystroke: first to the plugin's `key`, then, if the plugin leaves it, to the host's
// own editing (Enter runs the line).
void HandleKey(Session& session, const Key& key);
// Script mode: traces the line after a run of typed characters.
void EndOfTyping(Session& session);
// Runs one entered command line (the commands of commands.cpp).
void RunCommand(Session& session, const std::u16string& line);

} // namespace demo
