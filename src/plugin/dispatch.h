// Keystroke dispatch: the live modifier bits and the consumption of a key.
#pragma once

#include "../host/host.h"

// The plugin's modifier bits for the live Shift, Ctrl and Alt state; Ctrl-Alt-Shift only on
// hosts with the extended key table. Reads the three keys in that order.
int32_t LiveModifierBits();

// Marks the key as handled: keyCode 0 and, on hosts with the extended key table, an empty key
// name, so that the host does nothing further with it.
void ConsumeKey(KeyEvent* event);
