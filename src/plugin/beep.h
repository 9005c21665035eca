// The configurable error beep that signals a failed hotkey action.
#pragma once

#include "../platform/platform.h"

constexpr int BEEP_MODES = 7;
constexpr int BEEP_NAME_SLOT = 14;
// Indexed by the ErrorBeep setting: Off, Honk, Asterisk, Default Beep, Exclamation,
// Critical Stop, Question.
extern const WCHAR BeepModeNames[BEEP_MODES][BEEP_NAME_SLOT];

// Sounds the beep of the current ErrorBeep mode and returns at once.
void SoundErrorBeep();
