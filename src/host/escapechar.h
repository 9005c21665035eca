// The host's escape character, which makes the character after it literal on the command line.
#pragma once

#include "../platform/platform.h"

// The host's escape character: its one non-alphanumeric character, or "^".
WCHAR GetEscapeChar();
