// Controls of the stand-in host library, for tests and the demo host. Plain C so that a test
// built apart from the stand-in TakeCmd.dll can drive it across the DLL boundary. Texts handed
// back point into the stand-in's own storage and stay valid until the next call that changes it.
#pragma once

#include "../../src/platform/platform.h"

extern "C" {
// Everything back to its start: no expansions or evaluations scripted, no forced failures, the
// host variables _transient, _pipe and _batch at "0", captures and logs empty, the current
// standard handles taken as the unredirected ones.
void TakeCmdReset(void);

// Host variables (%name, %[name]); a null value removes the variable. Unknown ones expand to "".
void TakeCmdSetVariable(const WCHAR* name, const WCHAR* value);
// The index-th host variable in the order of its name (names as the host folds them); 0 for an
// index out of range.
int TakeCmdVariable(int index, const WCHAR** name, const WCHAR** value);
// On: a variable that is no host variable is looked up in the process environment (the demo
// host). Off (the default, so tests do not depend on the environment): it expands to nothing.
void TakeCmdSetEnvironmentLookup(int on);
// The value of %@option[EscapeChar] (default "^").
void TakeCmdSetEscapeOption(const WCHAR* value);
// An exact mapping: a buffer holding exactly `text` is replaced by `expansion`.
void TakeCmdSetExpansion(const WCHAR* text, const WCHAR* expansion);
// Non-zero: every ExpandVariables leaves its buffer alone and returns this value.
void TakeCmdSetExpandResult(int result);
// An exact mapping for Evaluate; expressions not mapped are computed as integers.
void TakeCmdSetEvaluation(const WCHAR* expression, const WCHAR* result);
// Non-zero: every Evaluate leaves its buffer alone and returns this value.
void TakeCmdSetEvaluateResult(int result);
// When on, output also goes to the process's real standard output and error.
void TakeCmdSetEcho(int on);

// How ExpandVariables and Evaluate write their answer into a buffer whose size they are not told:
//   TAKECMD_POLITE  (the default) an answer that does not fit a whole edit line with its
//                   terminator fails with 4 and leaves the buffer alone;
//   TAKECMD_WHOLE   the whole answer and its terminator are written, whatever their length, as
//                   the least polite host would: a buffer too small for it is written past;
//   TAKECMD_FILL    every call writes exactly `fillUnits` units ('f') and no terminator, and
//                   succeeds.
enum { TAKECMD_POLITE = 0, TAKECMD_WHOLE = 1, TAKECMD_FILL = 2 };
void TakeCmdSetAnswerMode(int mode, int fillUnits);

// What reached standard output and standard error (output sent to "nul" is not kept).
const WCHAR* TakeCmdStdout(void);
const WCHAR* TakeCmdStderr(void);
void TakeCmdClearOutput(void);

// The log of host calls. Kinds: 'E' ExpandVariables, 'V' Evaluate, 'P' Printf, 'Q' Qprintf,
// 'U' QPuts, 'H' honk, 'C' ClearEditLine. `input` is the buffer or format as it came in.
// Returns 0 for an index out of range.
int TakeCmdCallCount(void);
int TakeCmdCall(int index, int* kind, const WCHAR** input, int* stdoutRedirected,
                int* stderrRedirected);
int TakeCmdHonkCount(void);
int TakeCmdClearCount(void);
WCHAR* TakeCmdClearPosition(int index);

// Hooks for the demo host (null to remove).
void TakeCmdSetClearHook(void (*hook)(WCHAR* position));
void TakeCmdSetHonkHook(void (*hook)(void));
}
