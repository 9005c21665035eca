// Which key table is in force: the host generation, read once at start-up, decides.
#pragma once

#include "keytables.h"

// The host's major version (0 when unreadable or outside 8..100) and whether the extended key
// table is in force (hostVersion >= 24). Written once, by the start-up's host-version probe;
// before it runs the classic table is in force.
extern int32_t hostVersion;
extern bool extendedKeyScheme;

// The table in force.
const KeyTable& ActiveKeyTable();
