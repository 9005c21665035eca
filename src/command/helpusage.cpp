// Help and usage for the TALLIX command: the usage text followed by two lines naming the
// hotkeys in force.
#include "helpusage.h"

#include "../keys/keycodec.h"
#include "../platform/widetext.h"
#include "../plugin/exports.h"
#include "../plugin/settings.h"
#include "command.h"
#include "tallix_version.h"

// Two spaces, a bullet, two spaces: the indent of each hotkey line.
static const WCHAR DescriptionIndent[] = WIDE("  \u2022  ");

// As the usage text, byte for byte as always printed: the blanks before each line end stay, and
// "cursor" is the word users know for the caret.
static const WCHAR DESCRIPTION_FORMAT[] =
    WIDE("\r\n%sPress %s to expand the variable or function at the cursor.  \r\n"
         "%sPress %s to do math (@EVAL) on the word at the cursor.  \r\n");

static const WCHAR HELP_TITLE[] = WIDE(TALLIX_PRODUCT_NAME " Plugin Help");

int DescribeHotkeys(WCHAR* out) {
    if (!out) return -1;
    WCHAR expandName[KEY_NAME_CAPACITY] = {};
    WCHAR mathName[KEY_NAME_CAPACITY] = {};
    FormatKeyName(PluginSettings.Hotkey, expandName);
    FormatKeyName(PluginSettings.MathHotkey, mathName);
    // wsprintfW writes at most 1,024 units, terminator included: the capacity of `out`.
    wsprintfW(out, DESCRIPTION_FORMAT, DescriptionIndent, expandName, DescriptionIndent, mathName);
    return 0;
}

// (A null name equals no text.)
static bool IsOurCommand(const WCHAR* name) {
    return WideEqualsFolded(name, WIDE("tallix"));
}

// The usage text from its TALLIX line on: past the first line feed and the blank lines after it.
static const WCHAR* UsageFromCommandLine() {
    const WCHAR* text = UsageText;
    while (*text && *text != '\n') ++text;
    while (*text == '\n') ++text;
    return text;
}

//   result  meaning
//   ------  ------------------------------------------
//      0    `name` is not tallix (or null): nothing shown
//      1    the help box was shown
PLUGIN_EXPORT int Help(WCHAR* name) {
    if (!IsOurCommand(name)) return 0;
    WCHAR description[DESCRIPTION_CAPACITY] = {};
    WCHAR helpText[HELP_TEXT_CAPACITY] = {};
    DescribeHotkeys(description);
    WideCopy(helpText, HELP_TEXT_CAPACITY, UsageText);
    WideAppend(helpText, HELP_TEXT_CAPACITY, description);
    MessageBoxW(GetForegroundWindow(), helpText, HELP_TITLE, MB_SETFOREGROUND);
    return 1;
}

//   result  meaning
//   ------  ------------------------------------------------------
//      0    `name` is not tallix, or either pointer is null: `out` untouched
//      1    `out` (USAGE_CAPACITY units) holds the usage text and the hotkey lines
PLUGIN_EXPORT int Usage(WCHAR* name, WCHAR* out) {
    if (!IsOurCommand(name) || !out) return 0;
    WCHAR description[DESCRIPTION_CAPACITY] = {};
    DescribeHotkeys(description);
    WideCopy(out, USAGE_CAPACITY, UsageFromCommandLine());
    WideAppend(out, USAGE_CAPACITY, description);
    return 1;
}
