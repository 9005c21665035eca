// The keyboard of the Linux stand-in: a settable state of the modifier keys.
#include <set>

#include "../scope.h"
#include "win32_control.h"

namespace standin {
namespace {
std::set<int> down;
std::vector<int> queries;
} // namespace

void KeyboardReset() {
    down.clear();
    queries.clear();
}

void SetKeyDown(int virtualKey, bool isDown) {
    if (isDown)
        down.insert(virtualKey);
    else
        down.erase(virtualKey);
}

const std::vector<int>& KeyQueries() {
    return queries;
}

} // namespace standin

extern "C" SHORT GetAsyncKeyState(int virtualKey) {
    STANDIN_SCOPE;
    standin::queries.push_back(virtualKey);
    return standin::down.count(virtualKey) ? SHORT(0x8000) : SHORT(0);
}
