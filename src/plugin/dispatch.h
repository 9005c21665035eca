// Keystroke dispatch: the live modifier bits that join a key code before it meets the hotkeys.
#pragma once

#include "../host/host.h"

// The plugin's modifier bits for the live Shift, Ctrl and Alt state; Ctrl-Alt-Shift only on
// hosts with the extended key table. Reads each of the three keys once.
int32_t LiveModifierBits();

// The expand hotkey's whole keystroke: the reference at the caret replaced by its expansion, or
// the error beep; the key is consumed on every path. Always 0 (also for a null event, which
// changes nothing).
int ExpandExpression(KeyEvent* event);
