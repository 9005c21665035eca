// The whole TALLIX command on any tail. The first byte chooses the situation (key table, saved
// settings in the registry, a failing save); the rest is the tail as UTF-16 units.
//
// Checked after every run: no crash; both hotkeys are known codes of the table in force and
// ErrorBeep is 0..6; a refused command (any result but 0 and 2) changed neither the settings nor
// the registry; the tail with the case of every ASCII letter swapped gives the same result,
// settings and registry calls (arguments are read without regard to case).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
#include "src/plugin/settings.h"
#include "standin/takecmd/takecmd_control.h"
#include "standin/win32/win32_control.h"

namespace {

void Check(bool condition) {
    if (!condition) abort();
}

void Arrange(uint8_t flags) {
    standin::ResetAll();
    TakeCmdReset();
    hostVersion = (flags & 1) ? 24 : 0;
    extendedKeyScheme = (flags & 1) != 0;
    PluginSettings = {DEFAULT_HOTKEY, DEFAULT_MATH_HOTKEY, DEFAULT_ERROR_BEEP};
    if (flags & 2) {
        // F1 and Shift-F10 exist in both tables.
        const std::u16string path = u"Software\\REDeraded\\Tallix";
        HKEY root = (flags & 4) ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        standin::RegistryPutDword(root, path, u"Hotkey", 0x1003B);
        standin::RegistryPutDword(root, path, u"MathHotkey", 0x1005D);
        standin::RegistryPutDword(root, path, u"ErrorBeep", flags >> 5);
    }
    if (flags & 8) standin::RegistryFailNext(standin::RegOp::Create);
    if (flags & 16) standin::RegistryFailNext(standin::RegOp::Set, 1, u"Hotkey");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Arrange(data[0]);
    std::vector<WCHAR> tail;
    for (size_t i = 1; i + 1 < size; i += 2) tail.push_back(WCHAR(data[i] | data[i + 1] << 8));
    tail.push_back(0);

    const PluginSettingsRecord before = PluginSettings;
    const size_t registryCalls = standin::RegistryLog().size();
    int result = tallix(tail.data());

    Check(IsKnownKeyCode(PluginSettings.Hotkey) == 1);
    Check(IsKnownKeyCode(PluginSettings.MathHotkey) == 1);
    Check(PluginSettings.ErrorBeep <= 6);
    Check(result == 0 || result == 1 || result == 2 || result == -1);
    if (result != 0 && result != 2) {
        Check(PluginSettings.Hotkey == before.Hotkey);
        Check(PluginSettings.MathHotkey == before.MathHotkey);
        Check(PluginSettings.ErrorBeep == before.ErrorBeep);
        Check(standin::RegistryLog().size() == registryCalls);
    }
    Check(standin::RegistryOpenKeyCount() == 0);

    const PluginSettingsRecord after = PluginSettings;
    const std::vector<std::string> calls = standin::RegistryLog();
    bool letters = false;
    for (WCHAR& unit : tail)
        if ((unit | 0x20) >= 'a' && (unit | 0x20) <= 'z') unit ^= 0x20, letters = true;
    if (!letters) return 0;
    Arrange(data[0]);
    Check(tallix(tail.data()) == result);
    Check(PluginSettings.Hotkey == after.Hotkey && PluginSettings.MathHotkey == after.MathHotkey &&
          PluginSettings.ErrorBeep == after.ErrorBeep);
    Check(standin::RegistryLog() == calls);
    return 0;
}
