// The error beep in each mode: nothing, the host's beep, or a system sound played
// asynchronously by its alias id.
#include "src/plugin/beep.h"
#include "src/plugin/settings.h"
#include "tests/support/plugin_state.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

using support::Text;

namespace {

class ErrorBeep : public support::PluginTest {};

TEST_F(ErrorBeep, ModeNamesFitTheirSlots) {
    const char* expected[BEEP_MODES] = {"Off",         "Honk",          "Asterisk", "Default Beep",
                                        "Exclamation", "Critical Stop", "Question"};
    for (int mode = 0; mode < BEEP_MODES; ++mode) {
        EXPECT_EQ(expected[mode], support::Utf8(BeepModeNames[mode])) << mode;
        // Zero-padded to the end of the slot.
        for (size_t i = Text(BeepModeNames[mode]).size(); i < BEEP_NAME_SLOT; ++i)
            EXPECT_EQ(0, BeepModeNames[mode][i]) << mode;
    }
}

TEST_F(ErrorBeep, OffAndHonkModes) {
    struct Case {
        uint32_t mode;
        int honks;
    };
    // Mode 1 and every value above 6 (compared unsigned) use the host's beep.
    const Case cases[] = {{0, 0}, {1, 1}, {7, 1}, {100, 1}, {0x80000000u, 1}, {0xFFFFFFFFu, 1}};
    for (const Case& c : cases) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = c.mode;
        SoundErrorBeep();
        EXPECT_EQ(c.honks, TakeCmdHonkCount()) << c.mode;
#if !defined(_WIN32)
        EXPECT_TRUE(standin::Sounds().empty()) << c.mode;
#endif
    }
}

#if !defined(_WIN32)
TEST_F(ErrorBeep, SystemSoundsByAliasIdAsynchronously) {
    REQUIRE_WIN32_STANDIN();
    const uintptr_t aliases[] = {0x2A53, 0x4453, 0x2153, 0x4853, 0x3F53};
    for (uint32_t mode = 2; mode <= 6; ++mode) {
        support::ResetPluginState();
        PluginSettings.ErrorBeep = mode;
        SoundErrorBeep();
        ASSERT_EQ(1u, standin::Sounds().size()) << mode;
        const standin::SoundCall& sound = standin::Sounds()[0];
        EXPECT_EQ(aliases[mode - 2], sound.sound) << mode;
        EXPECT_EQ(nullptr, sound.module) << mode;
        EXPECT_EQ(0x110001u, sound.flags) << mode; // SND_ALIAS_ID | SND_ASYNC: never waits
        EXPECT_EQ(0, TakeCmdHonkCount()) << mode;
    }
}
#endif

} // namespace
