// Script mode: when standard input is no terminal the host reads a scenario, one line at a
// time. A line is typed as it stands, except for
//
//   <Name>         a named key: Enter, Backspace, Del, Left, Home, F5, Alt-X, Ctrl-Shift-F10, ...
//                  (modifiers Shift, Ctrl, Alt in any order); "<" that starts no key name is text
//   \e \r \t \n    the bytes ESC, CR, TAB, LF, given to the terminal decoder like typed text
//   \xNN           the byte NN
//   \\ \<          a backslash, a "<"
//
// Lines that start with "#" and empty lines are skipped. The end of a line types nothing: a
// command runs on an explicit <Enter>.
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
