// The demo host's settings file at 10 MB: a start-up's load (the file bound anew, then read and
// parsed by the first registry call), one save as the plugin makes it (a key and three values,
// each under the file's lock and written whole), beside an anchor: reading the file's bytes.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "standin/win32/win32_control.h"

namespace {

constexpr size_t FILE_BYTES = 10 * 1000 * 1000;
const char16_t* const KEY = u"Software\\Bench";

// A settings file of FILE_BYTES: blocks of a key, eight DWORDs and a text, as a big export reads.
const std::string& SettingsFile() {
    static const std::string path = [] {
        char folder[] = "/tmp/tallix-bench-XXXXXX";
        std::string file = std::string(mkdtemp(folder)) + "/registry.reg";
        std::ofstream out(file);
        out << "Windows Registry Editor Version 5.00\n\n";
        size_t bytes = 0;
        char line[96];
        for (unsigned block = 0; bytes < FILE_BYTES; ++block) {
            int n = std::snprintf(line, sizeof line, "[HKEY_CURRENT_USER\\Software\\K%u]\n", block);
            out << line;
            bytes += size_t(n);
            for (unsigned v = 0; v < 8; ++v) {
                n = std::snprintf(line, sizeof line, "\"V%u\"=dword:%08x\n", v, block * 8 + v);
                out << line;
                bytes += size_t(n);
            }
            n = std::snprintf(line, sizeof line, "\"S\"=\"some text of block %u\"\n\n", block);
            out << line;
            bytes += size_t(n);
        }
        return file;
    }();
    return path;
}

void BM_SettingsFileRead(benchmark::State& state) {
    for (auto _ : state) {
        std::ifstream in(SettingsFile(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        benchmark::DoNotOptimize(text.str().size());
    }
}

void BM_SettingsFileLoad(benchmark::State& state) {
    standin::RegistryReset();
    for (auto _ : state) {
        standin::RegistryBindFile(SettingsFile());
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\K7", 0, 0, &key) != ERROR_SUCCESS)
            state.SkipWithError("the key is missing");
        RegCloseKey(key);
    }
    standin::RegistryReset();
}

void BM_SettingsFileSave(benchmark::State& state) {
    standin::RegistryReset();
    standin::RegistryBindFile(SettingsFile());
    HKEY loaded = nullptr; // the load of start-up, before the saves
    RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\K7", 0, 0, &loaded);
    RegCloseKey(loaded);
    DWORD value = 0;
    for (auto _ : state) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, KEY, 0, nullptr, 0, 0, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            state.SkipWithError("cannot create the key");
        for (const char16_t* name : {u"Hotkey", u"MathHotkey", u"ErrorBeep"}) {
            ++value; // a new value every time, so that every write changes the file
            RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value);
        }
        RegCloseKey(key);
    }
    standin::RegistryReset();
}

} // namespace

BENCHMARK(BM_SettingsFileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsFileLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsFileSave)->Unit(benchmark::kMillisecond);
