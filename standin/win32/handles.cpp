// Standard handles of the Linux stand-in: handles over file descriptors, with "nul" as the
// null device. Standard output and error start as descriptors 1 and 2.
#include <fcntl.h>
#include <unistd.h>

#include <set>

#include "../scope.h"
#include "win32_control.h"

namespace standin {
namespace {

struct FileHandle {
    int fd; // -1 for the nul device
    bool nul;
};

FileHandle stdOutput{1, false};
FileHandle stdError{2, false};

struct State {
    HANDLE out = &stdOutput;
    HANDLE err = &stdError;
    bool failNul = false;
    std::set<FileHandle*> open;
    std::vector<std::string> log;
} g;

std::string Describe(HANDLE handle) {
    if (handle == &stdOutput) return "fd1";
    if (handle == &stdError) return "fd2";
    if (IsNulHandle(handle)) return "nul";
    return "other";
}

// Only the calls the plugin makes are logged, not those a stand-in makes for its own work.
void Note(const std::string& line) {
    if (StandinCallDepth() == 1) g.log.push_back(line);
}

} // namespace

void HandlesReset() {
    for (FileHandle* h : g.open) delete h;
    g = State();
}

void FailNulOpen(bool fail) {
    g.failNul = fail;
}

bool IsNulHandle(HANDLE handle) {
    auto* h = static_cast<FileHandle*>(handle);
    return g.open.count(h) && h->nul;
}

int HandleFd(HANDLE handle) {
    if (handle == &stdOutput || handle == &stdError) return static_cast<FileHandle*>(handle)->fd;
    auto* h = static_cast<FileHandle*>(handle);
    return g.open.count(h) && !h->nul ? h->fd : -1;
}

int OpenFileHandleCount() {
    return int(g.open.size());
}

const std::vector<std::string>& HandleLog() {
    return g.log;
}

} // namespace standin

using namespace standin;

extern "C" HANDLE GetStdHandle(DWORD which) {
    STANDIN_SCOPE;
    if (which == STD_OUTPUT_HANDLE) {
        Note("get out");
        return g.out;
    }
    if (which == STD_ERROR_HANDLE) {
        Note("get err");
        return g.err;
    }
    return INVALID_HANDLE_VALUE;
}

extern "C" BOOL SetStdHandle(DWORD which, HANDLE handle) {
    STANDIN_SCOPE;
    if (which == STD_OUTPUT_HANDLE) {
        Note("set out " + Describe(handle));
        g.out = handle;
        return TRUE;
    }
    if (which == STD_ERROR_HANDLE) {
        Note("set err " + Describe(handle));
        g.err = handle;
        return TRUE;
    }
    return FALSE;
}

extern "C" HANDLE CreateFileW(LPCWSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                              HANDLE) {
    STANDIN_SCOPE;
    std::u16string text = name ? name : u"";
    for (auto& ch : text)
        if (ch >= u'A' && ch <= u'Z') ch = char16_t(ch - u'A' + u'a');
    if (text != u"nul" || g.failNul) {
        Note("open failed");
        return INVALID_HANDLE_VALUE;
    }
    auto* h = new FileHandle{-1, true};
    g.open.insert(h);
    Note("open nul");
    return h;
}

extern "C" BOOL CloseHandle(HANDLE handle) {
    STANDIN_SCOPE;
    auto* h = static_cast<FileHandle*>(handle);
    if (!g.open.count(h)) return FALSE;
    Note("close " + Describe(handle));
    g.open.erase(h);
    delete h;
    return TRUE;
}
