// Host calls made with the console output switched off.
#pragma once

#include "../platform/platform.h"

// ExpandVariables(buffer, 1) with standard output and standard error sent to "nul".
int ExpandSilently(WCHAR* buffer);
// Evaluate(buffer) with standard output and standard error sent to "nul".
int EvaluateSilently(WCHAR* buffer);
