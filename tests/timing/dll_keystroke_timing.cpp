// Times the keystroke export of two builds of Tallix.dll in one process, beside the stand-in
// TakeCmd.dll, so that a change of build flags can be judged on a shared, noisy machine:
//
//   tallix_dll_timing A.dll B.dll [rounds]
//   tallix_dll_timing --first A.dll [loads]
//
// Both DLLs are loaded from their full paths and started. Each round presses every case's key
// in a batch of BATCH presses on A and on B, in the order A B on even rounds and B A on odd
// ones, so that drift of the machine's speed touches both alike. The table gives, per case, the
// median time of one press for A and for B over the rounds, the median of the per-round ratios
// B/A, and the fastest batch of each with their ratio (the least disturbed by other work on the
// machine). With --first, one DLL is loaded and started `loads` times for each case; each time
// its first press is timed alone, then a batch of warm ones; the table gives the median first
// press and the median warm one. Not a test: it prints numbers and fails only when a DLL cannot
// be loaded or a key was not taken.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "src/host/host.h"
#include "standin/takecmd/takecmd_control.h"

namespace {

constexpr int32_t ALT_X = 0x1002D;
constexpr int32_t ALT_EQUALS = 0x10083;
constexpr int BATCH = 200;
constexpr size_t LINE_UNITS = EDIT_LINE_CAPACITY - 1;

using KeyExport = int (*)(KeyEvent*);
using IntExport = int (*)();

struct Plugin {
    HMODULE module;
    KeyExport key;
};

Plugin Load(const char* path) {
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path, GetLastError());
        std::exit(2);
    }
    auto initialize = reinterpret_cast<IntExport>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "InitializePlugin")));
    auto key =
        reinterpret_cast<KeyExport>(reinterpret_cast<void (*)()>(GetProcAddress(module, "key")));
    if (initialize == nullptr || key == nullptr) {
        std::fprintf(stderr, "%s lacks InitializePlugin or key\n", path);
        std::exit(2);
    }
    initialize();
    return {module, key};
}

// A full line: `filler` repeated (the last copy cut) and `tail` at the end.
std::wstring Padded(const std::wstring& filler, const std::wstring& tail) {
    std::wstring line;
    while (line.size() < LINE_UNITS - tail.size()) line += filler;
    line.resize(LINE_UNITS - tail.size());
    return line + tail;
}

struct Case {
    const char* name;
    std::wstring line;
    int32_t code;
};

// The host's answers leave a line as it was, so every press does the same work.
void PrepareHost() {
    TakeCmdReset();
    TakeCmdSetExpansion(L"%foo", L"%foo");
    TakeCmdSetEvaluation(L"1+2", L"1+2");
}

// Seconds per press of a batch of `presses` presses of `c` on `plugin`.
double TimeBatch(const Plugin& plugin, const Case& c, std::vector<wchar_t>& buffer,
                 int presses = BATCH) {
    std::fill(buffer.begin(), buffer.end(), L'\0');
    std::copy(c.line.begin(), c.line.end(), buffer.begin());
    KeyEvent event{};
    event.line = buffer.data();
    PrepareHost();
    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < presses; ++i) {
        event.keyCode = c.code;
        event.cursor = buffer.data() + c.line.size();
        event.redraw = 0;
        plugin.key(&event);
        if (event.keyCode != 0) {
            std::fprintf(stderr, "%s: the key was not taken\n", c.name);
            std::exit(3);
        }
    }
    QueryPerformanceCounter(&stop);
    return double(stop.QuadPart - start.QuadPart) / double(frequency.QuadPart) / presses;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The lines of the native keystroke benchmark, under its names.
std::vector<Case> Cases() {
    return {
        {"ExpandPlain", Padded(L"echo ", L" %foo"), ALT_X},
        {"ExpandUnclosedThenReference", Padded(L"%(", L" %foo"), ALT_X},
        {"ExpandMixedOpenersThenReference", Padded(L"%@f[%[%{%((\"", L" %foo"), ALT_X},
        {"MathPlain", Padded(L"x ", L" 1+2"), ALT_EQUALS},
        {"MathAfterWhiteSpace", Padded(L" ", L"1+2"), ALT_EQUALS},
    };
}

// The first press after loading and starting the DLL, and the warm ones after it.
int FirstAndWarm(const char* path, int loads) {
    std::vector<wchar_t> buffer(EDIT_LINE_CAPACITY);
    std::printf("%-34s %12s %12s\n", "case (us per press)", "first", "warm");
    for (const Case& c : Cases()) {
        std::vector<double> first, warm;
        for (int i = 0; i < loads; ++i) {
            Plugin plugin = Load(path);
            first.push_back(TimeBatch(plugin, c, buffer, 1));
            warm.push_back(TimeBatch(plugin, c, buffer, 20));
            FreeLibrary(plugin.module);
        }
        std::printf("%-34s %12.1f %12.1f\n", c.name, Median(first) * 1e6, Median(warm) * 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--first")
        return FirstAndWarm(argv[2], argc > 3 ? std::atoi(argv[3]) : 20);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s A.dll B.dll [rounds] | --first A.dll [loads]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 30;
    const Plugin plugins[2] = {Load(argv[1]), Load(argv[2])};
    const std::vector<Case> cases = Cases();
    std::vector<wchar_t> buffer(EDIT_LINE_CAPACITY);
    std::printf("%-34s %10s %10s %8s %10s %10s %8s\n", "case (us per press)", "A median",
                "B median", "B/A", "A min", "B min", "B/A min");
    for (const Case& c : cases) {
        std::vector<double> times[2], ratios;
        for (int r = 0; r < rounds; ++r) {
            double t[2];
            for (int k = 0; k < 2; ++k) {
                int which = (r % 2 == 0) ? k : 1 - k;
                t[which] = TimeBatch(plugins[which], c, buffer);
            }
            times[0].push_back(t[0]);
            times[1].push_back(t[1]);
            ratios.push_back(t[1] / t[0]);
        }
        const double least[2] = {*std::min_element(times[0].begin(), times[0].end()),
                                 *std::min_element(times[1].begin(), times[1].end())};
        std::printf("%-34s %10.2f %10.2f %8.4f %10.2f %10.2f %8.4f\n", c.name,
                    Median(times[0]) * 1e6, Median(times[1]) * 1e6, Median(ratios), least[0] * 1e6,
                    least[1] * 1e6, least[1] / least[0]);
    }
    return 0;
}
