// Raw mode, reading and writing, and putting the terminal back on every way out.
#include "terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace demo {
namespace {

termios savedMode;
volatile sig_atomic_t rawActive = 0;
bool restoreArranged = false;

void Restore() {
    if (rawActive) tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedMode);
    rawActive = 0;
}

// Puts the terminal back and lets the signal take its usual course.
void OnSignal(int number) {
    Restore();
    signal(number, SIG_DFL);
    raise(number);
}

void ArrangeRestore() {
    if (restoreArranged) return;
    restoreArranged = true;
    atexit(Restore);
    // Signals that end the process; one that already has a handler (a sanitizer's) keeps it.
    for (int number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT, SIGSEGV, SIGBUS}) {
        struct sigaction current;
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            signal(number, OnSignal);
    }
}

} // namespace

bool TerminalIsInteractive() {
    return isatty(STDIN_FILENO) == 1;
}

bool TerminalRawOn() {
    if (rawActive) return true;
    if (!TerminalIsInteractive() || tcgetattr(STDIN_FILENO, &savedMode) != 0) return false;
    ArrangeRestore();
    termios raw = savedMode;
    raw.c_iflag &= ~tcflag_t(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_oflag &= ~tcflag_t(OPOST);
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~tcflag_t(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) return false;
    rawActive = 1;
    return true;
}

void TerminalRawOff() {
    Restore();
}

int TerminalRead(unsigned char* bytes, int size, int timeoutMs) {
    pollfd fd = {STDIN_FILENO, POLLIN, 0};
    for (;;) {
        int ready = poll(&fd, 1, timeoutMs);
        if (ready == 0) return 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return -1;
        ssize_t n = read(STDIN_FILENO, bytes, size_t(size));
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? int(n) : -1;
    }
}

void TerminalWrite(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

int TerminalColumns() {
    winsize size;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace demo
