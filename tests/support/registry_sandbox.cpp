// The Windows test binaries never touch a real user's settings: before the first test runs,
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of the test process are pointed at two scratch keys
// under the user's own hive (writable without rights beyond the user's), and everything below
// them is deleted when the tests end. The override is process-wide, so it holds for the plugin
// loaded into the process as well. Under wine the prefix is private anyway; on a Windows
// machine this is what keeps the tests off the settings of the person who runs them.
#if defined(_WIN32)
#include "registry_sandbox.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace support {
namespace {

const wchar_t SCRATCH_PATH[] = L"Software\\Tallix test scratch";

HKEY scratchUser = nullptr;
HKEY scratchMachine = nullptr;

HKEY CreateScratch(const wchar_t* name) {
    std::wstring path = std::wstring(SCRATCH_PATH) + L"\\" + name;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

class RegistrySandbox : public ::testing::Environment {
  public:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH_PATH); // what an interrupted run left
        scratchUser = CreateScratch(L"HKCU");
        scratchMachine = CreateScratch(L"HKLM");
        // Without both overrides no test may run: it would write the real settings.
        if (!scratchUser || !scratchMachine ||
            RegOverridePredefKey(HKEY_CURRENT_USER, scratchUser) != ERROR_SUCCESS ||
            RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratchMachine) != ERROR_SUCCESS) {
            std::fprintf(stderr, "cannot point HKCU and HKLM at scratch keys; no test runs\n");
            std::exit(3);
        }
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(scratchUser);
        RegCloseKey(scratchMachine);
        RegDeleteTreeW(HKEY_CURRENT_USER, SCRATCH_PATH);
    }
};

const ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new RegistrySandbox);

} // namespace

HKEY ScratchKey(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? scratchMachine : scratchUser;
}

} // namespace support
#endif
