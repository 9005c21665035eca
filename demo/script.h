// Scenarios (tallix-host --script FILE): keys for the line editor, one line at a time, typed as
// a terminal sends them. A line is typed as it stands, except for
//
//   <Name>         a named key: Enter, Backspace, Del, Left, Home, F5, Alt-X, Ctrl-Shift-F10, ...
//                  (modifiers Shift, Ctrl, Alt in any order), sent as its terminal sequence;
//                  "<" that starts no key name is text
//   \e \r \t \n    the bytes ESC, CR, TAB, LF, typed like any other
//   \xNN           the byte NN
//   \\ \<          a backslash, a "<"
//
// Lines that start with "#" and empty lines are skipped. The end of a line types nothing: a
// command runs on an explicit <Enter>; a key sequence cut by the end of a line ends there (a lone
// ESC is the Esc key), and a line left unfinished when the scenario ends does not run.
#pragma once

#include <string>
#include <vector>

#include "hostkeys.h"

namespace demo {

struct ScriptItem {
    bool named = false; // a named key, else bytes for the terminal decoder
    Key key;
    std::string bytes;
};

std::vector<ScriptItem> ParseScriptLine(const std::string& line);

} // namespace demo
