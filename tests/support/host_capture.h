// Test access to the stand-in host library: its captured output and its call log as strings.
// Usable by the unit tests and by the DLL-level tests alike.
#pragma once

#include <string>
#include <vector>

#include "src/platform/platform.h"
#include "standin/takecmd/takecmd_control.h"

namespace support {

using Text = std::basic_string<WCHAR>;

struct HostCall {
    int kind; // 'E' expand, 'V' evaluate, 'P' Printf, 'Q' Qprintf, 'U' QPuts, 'H', 'C'
    Text input;
    bool stdoutRedirected;
    bool stderrRedirected;
};

Text HostStdout();
Text HostStderr();
std::vector<HostCall> HostCalls();
// The inputs of the calls of one kind, in order.
std::vector<Text> HostInputs(int kind);

// UTF-8 of a UTF-16 text, for readable failure messages.
std::string Utf8(const Text& text);

} // namespace support
