// Puts the plugin and the stand-ins back to their start before each test: settings at their
// defaults, the classic key table, the host and (natively) the Win32 stand-in reset.
#pragma once

#include <gtest/gtest.h>

#include "host_capture.h"

namespace support {

void ResetPluginState();
// Chooses the key table as the probe would for this host version (0 = unreadable).
void UseHostVersion(int version);

// True where the Win32 calls are the stand-in's (native builds): registry failure injection,
// the keyboard, logged sounds and message boxes.
bool HasWin32Standin();

// A fixture that resets everything before each test.
class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetPluginState(); }
};

} // namespace support

#define REQUIRE_WIN32_STANDIN()                                                                    \
    do {                                                                                           \
        if (!::support::HasWin32Standin()) GTEST_SKIP() << "needs the stand-in";                   \
    } while (0)
