// The stand-in host's state, shared by its modules.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "../../src/platform/platform.h"
#include "../fold.h"

namespace takecmd {

struct CallRecord {
    int kind;
    std::u16string input;
    int stdoutRedirected;
    int stderrRedirected;
};

struct HostState {
    std::map<std::u16string, std::u16string> variables; // folded name -> value
    std::u16string escapeOption = u"^";
    std::map<std::u16string, std::u16string> expansions;
    std::map<std::u16string, std::u16string> evaluations;
    bool environmentLookup = false;
    int expandResult = 0;
    int evaluateResult = 0;
    bool echo = false;
    int answerMode = 0; // TAKECMD_POLITE, TAKECMD_WHOLE or TAKECMD_FILL
    size_t fillUnits = 0;
    std::u16string out, err;
    std::vector<CallRecord> calls;
    int honks = 0;
    std::vector<WCHAR*> clears;
    HANDLE originalOut = nullptr, originalErr = nullptr;
    void (*clearHook)(WCHAR*) = nullptr;
    void (*honkHook)() = nullptr;
};

HostState& State();

using standin::Fold;

// The stand-in's expansion of a whole text; 0 on success (text replaced), else the text stays.
int ExpandText(std::u16string& text);
// The stand-in's decimal arithmetic; 0 on success (text replaced by the value).
int EvaluateText(std::u16string& text);

} // namespace takecmd
