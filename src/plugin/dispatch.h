// Keystroke dispatch: the live modifier bits that join a key code before it meets the hotkeys.
#pragma once

#include "../host/host.h"

// The plugin's modifier bits for the live Shift, Ctrl and Alt state; Ctrl-Alt-Shift only on
// hosts with the extended key table. Reads each of the three keys once.
int32_t LiveModifierBits();
