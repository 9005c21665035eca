// The error beep: off, the host's own beep, or one of five system sounds, played asynchronously
// so that a failed hotkey never waits for the sound.
#include "beep.h"

#include "../host/host.h"
#include "settings.h"

// ORDER: the mode numbers of the ErrorBeep setting.
const WCHAR BeepModeNames[BEEP_MODES][BEEP_NAME_SLOT] = {
    WIDE("Off"),         WIDE("Honk"),          WIDE("Asterisk"), WIDE("Default Beep"),
    WIDE("Exclamation"), WIDE("Critical Stop"), WIDE("Question"),
};

// The sound-alias identifiers of the system sounds ('S' in the low byte, the sound's mark in the
// high byte); 0 where the mode plays no system sound. ORDER: BeepModeNames.
static const uintptr_t BEEP_SOUND_ALIASES[BEEP_MODES] = {
    0,      // Off
    0,      // Honk: the host's beep
    0x2A53, // SND_ALIAS_SYSTEMASTERISK
    0x4453, // SND_ALIAS_SYSTEMDEFAULT
    0x2153, // SND_ALIAS_SYSTEMEXCLAMATION
    0x4853, // SND_ALIAS_SYSTEMHAND
    0x3F53, // SND_ALIAS_SYSTEMQUESTION
};

static_assert(sizeof(BeepModeNames) / sizeof(BeepModeNames[0]) ==
                  sizeof(BEEP_SOUND_ALIASES) / sizeof(BEEP_SOUND_ALIASES[0]),
              "one alias per beep mode");

void SoundErrorBeep() {
    uint32_t mode = PluginSettings.ErrorBeep;
    if (mode == 0) return;
    if (mode == 1 || mode > MAX_ERROR_BEEP) {
        honk();
        return;
    }
    // The alias id stands in place of the sound's name, as SND_ALIAS_ID asks.
    PlaySoundW(reinterpret_cast<LPCWSTR>(BEEP_SOUND_ALIASES[mode]), nullptr,
               SND_ALIAS_ID | SND_ASYNC);
}
