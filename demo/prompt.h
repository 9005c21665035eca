// The host's prompt on GNU readline: history, the standard editing keys, undo, wide characters,
// long lines, resize, Ctrl-C, job control and bracketed paste come from readline. Every key
// sequence that can be a hotkey goes to the plugin first, with the line and the caret; a key it
// does not consume keeps its ordinary meaning, and a line it rewrote becomes one undo step.
#pragma once

#include <istream>
#include <string>

#include "session.h"

namespace demo {

// Reads and runs command lines at the terminal until exit or Ctrl-D. History is kept in
// `historyFile` (not when it is empty).
void RunPrompt(Session& session, const std::string& historyFile);
// Plays a scenario (script.h) through the same editor: its keys go in as the terminal's bytes,
// and the traces show what the plugin and the editor made of them.
void RunScenario(Session& session, std::istream& scenario);
} // namespace demo
