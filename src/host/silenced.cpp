// Host calls made with the console output switched off: standard output and standard error
// point at "nul" for the duration of one call and are put back afterwards.
#include "silenced.h"

#include "host.h"

// The saved handles, and the nul device while it is in place (INVALID_HANDLE_VALUE when it could
// not be opened: the call then runs unsilenced).
struct SilencedOutput {
    HANDLE savedErr;
    HANDLE savedOut;
    HANDLE nul;
};

static SilencedOutput SilenceOutput() {
    SilencedOutput state;
    state.savedErr = GetStdHandle(STD_ERROR_HANDLE);
    state.savedOut = GetStdHandle(STD_OUTPUT_HANDLE);
    state.nul = CreateFileW(WIDE("nul"), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, 0, nullptr);
    if (state.nul != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_ERROR_HANDLE, state.nul);
        SetStdHandle(STD_OUTPUT_HANDLE, state.nul);
    }
    return state;
}

static void RestoreOutput(const SilencedOutput& state) {
    if (state.nul == INVALID_HANDLE_VALUE) return;
    SetStdHandle(STD_ERROR_HANDLE, state.savedErr);
    SetStdHandle(STD_OUTPUT_HANDLE, state.savedOut);
    CloseHandle(state.nul);
}

int ExpandSilently(WCHAR* buffer) {
    SilencedOutput state = SilenceOutput();
    int result = ExpandVariables(buffer, 1);
    RestoreOutput(state);
    return result;
}

int EvaluateSilently(WCHAR* buffer) {
    SilencedOutput state = SilenceOutput();
    int result = Evaluate(buffer);
    RestoreOutput(state);
    return result;
}
