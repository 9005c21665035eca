// The plugin's start-up steps that other code runs on its own: the host-version probe.
#pragma once

// Asks the host for %_4ver, sets hostVersion and chooses the key table in force. Runs first at
// start-up: loading the settings checks the saved codes against that table.
void ProbeHostVersion();
