// The TALLIX command: checks every argument and combination first, then restores, applies,
// reports and saves. Nothing changes until the whole command has been accepted.
#include "command.h"

#include "../host/host.h"
#include "../keys/keycodec.h"
#include "../platform/widetext.h"
#include "../plugin/beep.h"
#include "../plugin/exports.h"
#include "../plugin/messages.h"
#include "../plugin/settings.h"
#include "splitter.h"
#include "tallix_version.h"

// What the arguments asked for, collected during one call.
enum SaveRoot { SAVE_NONE, SAVE_HKCU, SAVE_HKLM };
struct CommandOptions {
    bool listKeys;
    bool quiet;
    bool restoreDefaults;
    bool restoreSaved;
    SaveRoot saveRoot;
    int32_t newHotkey;
    int32_t newMathHotkey;
    int32_t newErrorBeep;
};

// Printed byte for byte as the plugin has always printed it: the two blanks before three of the
// line ends and the one "\r\n" among "\n" line ends are part of the text users and their scripts
// see, so they stay.
const WCHAR UsageText[] =
    WIDE("Display or change options for the " TALLIX_PRODUCT_NAME " plugin.\n\n"
         "TALLIX /B:n /D /L /Q /R /S expandkey mathkey  \r\n\n"
         "\t/B:\tset the error beep mode\n"
         "\t/D\trestore original plugin defaults\n"
         "\t/L\tlist all supported hotkeys\n"
         "\t/Q\tquietly\n"
         "\t/R\trestore saved settings from the registry\n"
         "\t/S\tsave settings to the registry as the new defaults  \n\n"
         "Examples of valid keys are Alt-X, Alt-=, F2, or Shift-F10.  The defaults  \n"
         "are Alt-X (expand) and Alt-= (math).\n\n"
         "/D and /R cannot be used together.  /L cannot be combined with\n"
         "any other option.\n");

// The version texts of the two actions, narrow as the report widens them.
static const char ExpandExpressionVersion[] = "1.0.5.0";
static const char MathWordVersion[] = "1.2.0.1";

static const WCHAR PLUGIN_NAME[] = WIDE(TALLIX_PRODUCT_NAME);
static const WCHAR PLATFORM_NAME[] = WIDE("x64");
constexpr uint32_t VERSION_MAJOR = TALLIX_VERSION_MAJOR;
constexpr uint32_t VERSION_MINOR = TALLIX_VERSION_MINOR;
constexpr uint32_t VERSION_BUILD = TALLIX_VERSION_PATCH;
constexpr uint32_t VERSION_REVISION = TALLIX_VERSION_TWEAK;

// Room for a module version widened to UTF-16, and for a key name.
constexpr int VERSION_TEXT_CAPACITY = 1024;

// ---- Numbers and the version report --------------------------------------------------------

int ParseNumber(const WCHAR* text, uint32_t* out) {
    if (!out || !text) return -1;
    int rangeError = 0;
    const WCHAR* start = text;
    int base = 10;
    if (text[0] == '0' && WideToUpper(text[1]) == 'X' && WideIsXDigit(text[2])) {
        base = 16;
        start = text + 2;
    } else if (!WideIsDigit(text[0])) {
        return -1;
    }
    const WCHAR* end = start;
    uint32_t value = WideToUnsigned(start, &end, base, &rangeError);
    if (rangeError || *end != 0) return -1;
    *out = value;
    return 0;
}

// Widens a module version with the ANSI code page. Where that code page is UTF-8, Windows refuses
// the precomposed flag and widens nothing, so a failed call is made again without flags rather
// than printing an empty version.
static void PrintModuleVersion(const WCHAR* format, const char* version) {
    WCHAR wide[VERSION_TEXT_CAPACITY] = {};
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, version, -1, wide, VERSION_TEXT_CAPACITY) == 0)
        MultiByteToWideChar(CP_ACP, 0, version, -1, wide, VERSION_TEXT_CAPACITY);
    wide[VERSION_TEXT_CAPACITY - 1] = 0;
    Printf(format, wide);
}

int PrintVersionReport() {
    Printf(WIDE("\r\n\t\t\t\t%s \t\t%u.%u.%u.%u (%s)\r\n"), PLUGIN_NAME, VERSION_MAJOR,
           VERSION_MINOR, VERSION_BUILD, VERSION_REVISION, PLATFORM_NAME);
    PrintModuleVersion(WIDE("\t\t\t\tExpandExpression \t%s\r\n"), ExpandExpressionVersion);
    PrintModuleVersion(WIDE("\t\t\t\tMathWord \t\t%s\r\n"), MathWordVersion);
    return 0;
}

// ---- The hotkey listing --------------------------------------------------------------------

// One line per key: every usable combination of it, joined by " · ". Kept out of the command's
// frame, so that its line buffer is not on the stack beside the command's key-name buffer.
[[gnu::noinline]] static int32_t ListHotkeys() {
    const KeyTable& table = ActiveKeyTable();
    for (int row = 0; row < table.rows; ++row) {
        WCHAR line[KEY_NAME_CAPACITY];
        line[0] = 0;
        for (int column = 0; column < table.columns; ++column) {
            if (KeyTableCell(table, row, column) <= 0) continue;
            if (line[0] != 0) WideAppend(line, KEY_NAME_CAPACITY, WIDE(" \u00B7 "));
            WideAppend(line, KEY_NAME_CAPACITY, ModifierPrefixes[column]);
            WideAppend(line, KEY_NAME_CAPACITY, KeyTableName(table, row));
        }
        QPuts(line);
        QPuts(WIDE("\r\n"));
    }
    return 0;
}

// ---- Error messages ------------------------------------------------------------------------

// Prints one error message (prefix, then the format with the offending argument, if any) to
// standard error and hands back the exit code it carries.
static int Refuse(int exitCode, const WCHAR* format, const WCHAR* argument = nullptr) {
    if (argument)
        PrintErrorMessage(format, argument);
    else
        PrintErrorMessage(format);
    return exitCode;
}

// ---- The walk over the arguments -----------------------------------------------------------

// What examining one argument leads to: go on with the next, or end the command with a code.
enum WalkStep { WALK_ON, WALK_STOP };

static bool StartsWith(const WCHAR* text, const WCHAR* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (*text != *prefix) return false;
    return true;
}

static bool Equals(const WCHAR* a, const WCHAR* b) {
    return StartsWith(a, b) && a[WideLength(b, MAX_ARG_LEN)] == 0;
}

// /B, /B:value or /B=value: a beep-mode name, "On", or a number 0..6.
static WalkStep ExamineBeep(const WCHAR* argument, CommandOptions* options, int* exitCode) {
    const WCHAR* value = argument + 2;
    if (*value == ':' || *value == '=') ++value;
    if (*value == 0) {
        *exitCode = Refuse(1, WIDE("Missing ErrorBeep value: \"%s\"\r\n"), argument);
        return WALK_STOP;
    }
    if (WideIsAlpha(*value)) {
        for (int mode = 0; mode < BEEP_MODES; ++mode) {
            if (WideEqualsFolded(value, BeepModeNames[mode])) {
                options->newErrorBeep = mode;
                return WALK_ON;
            }
        }
        if (WideEqualsFolded(value, WIDE("On"))) {
            options->newErrorBeep = int32_t(DEFAULT_ERROR_BEEP);
            return WALK_ON;
        }
        *exitCode = Refuse(-1, WIDE("Bad ErrorBeep value: \"%s\"\r\n"), argument);
        return WALK_STOP;
    }
    uint32_t number = 0;
    if (ParseNumber(value, &number) != 0) {
        *exitCode = Refuse(1, WIDE("Bad ErrorBeep value: \"%s\"\r\n"), argument);
        return WALK_STOP;
    }
    if (number > MAX_ERROR_BEEP) {
        PrintErrorMessage(WIDE("ErrorBeep must be 0 - %u: %u\r\n"), MAX_ERROR_BEEP, number);
        *exitCode = 1;
        return WALK_STOP;
    }
    options->newErrorBeep = int32_t(number);
    return WALK_ON;
}

// A key word: the first is the expand key, the second the math key.
static WalkStep ExamineKeyWord(const WCHAR* argument, CommandOptions* options, int* exitCode) {
    int32_t* slot = nullptr;
    if (options->newHotkey == 0)
        slot = &options->newHotkey;
    else if (options->newMathHotkey == 0)
        slot = &options->newMathHotkey;
    else {
        *exitCode = Refuse(1, WIDE("Syntax error \"%s\"\r\n"), argument);
        return WALK_STOP;
    }
    int32_t code = ParseKeyName(argument);
    if (code > 0) {
        *slot = code;
        return WALK_ON;
    }
    if (code == 0)
        *exitCode = Refuse(1, WIDE("Unknown option \"%s\"\r\n"), argument);
    else if (code == -1)
        *exitCode = Refuse(1, WIDE("Invalid hotkey \"%s\"\r\n"), argument);
    else
        *exitCode = Refuse(1, WIDE("Key not allowed \"%s\"\r\n"), argument);
    return WALK_STOP;
}

static WalkStep ExamineArgument(const WCHAR* argument, CommandOptions* options, int* exitCode) {
    if (StartsWith(argument, WIDE("/?"))) {
        QPuts(UsageText);
        if (argument[2] == '?') PrintVersionReport();
        *exitCode = 0;
        return WALK_STOP;
    }
    if (StartsWith(argument, WIDE("/B"))) return ExamineBeep(argument, options, exitCode);
    if (Equals(argument, WIDE("/D")))
        options->restoreDefaults = true;
    else if (Equals(argument, WIDE("/L")))
        options->listKeys = true;
    else if (Equals(argument, WIDE("/Q")))
        options->quiet = true;
    else if (Equals(argument, WIDE("/R")))
        options->restoreSaved = true;
    else if (Equals(argument, WIDE("/S")))
        options->saveRoot = SAVE_HKCU;
    else if (Equals(argument, WIDE("/S!")))
        options->saveRoot = SAVE_HKLM;
    else if (argument[0] == '/') {
        *exitCode = Refuse(1, WIDE("Unknown option \"%s\"\r\n"), argument);
        return WALK_STOP;
    } else
        return ExamineKeyWord(argument, options, exitCode);
    return WALK_ON;
}

// Walks every entry of the table in order, skipping empty ones. WALK_STOP with the exit code
// when an argument ended the command.
static WalkStep WalkArguments(CommandOptions* options, int* exitCode) {
    for (int n = 0; n < MAX_ARGS; ++n) {
        if (ArgumentTable.length[n] == 0) continue;
        if (ExamineArgument(ArgumentTable.text[n], options, exitCode) == WALK_STOP)
            return WALK_STOP;
    }
    return WALK_ON;
}

// The combinations that are refused even when each argument is fine on its own.
static WalkStep CheckCombinations(const CommandOptions& options, int* exitCode) {
    if (options.newHotkey != 0) {
        int32_t mathKey =
            options.newMathHotkey != 0 ? options.newMathHotkey : PluginSettings.MathHotkey;
        if (options.newHotkey == mathKey) {
            *exitCode =
                Refuse(1, WIDE("Can\u2019t set Expand and Math keys to the same value\r\n"));
            return WALK_STOP;
        }
    }
    if (options.listKeys) {
        if (options.saveRoot != SAVE_NONE || options.restoreSaved || options.restoreDefaults ||
            options.newHotkey != 0) {
            *exitCode = Refuse(1, WIDE("Can\u2019t combine /L with other options\r\n"));
            return WALK_STOP;
        }
        ListHotkeys();
        *exitCode = 0;
        return WALK_STOP;
    }
    if (options.restoreDefaults && options.restoreSaved) {
        *exitCode = Refuse(1, WIDE("Can\u2019t combine /D and /R\r\n"));
        return WALK_STOP;
    }
    return WALK_ON;
}

// ---- Acting on an accepted command ---------------------------------------------------------

// /D or /R. Result 0, or 2 when /R found nothing and was not quiet.
static int Restore(const CommandOptions& options) {
    if (options.restoreDefaults) {
        ApplyDefaultSettings();
        if (!options.quiet) Printf(WIDE("Default plugin settings restored.\r\n"));
        return 0;
    }
    if (!options.restoreSaved) return 0;
    HKEY served = HKEY_CURRENT_USER;
    bool loaded = LoadSettings(HKEY_CURRENT_USER);
    if (!loaded) {
        served = HKEY_LOCAL_MACHINE;
        loaded = LoadSettings(HKEY_LOCAL_MACHINE);
    }
    if (options.quiet) return 0;
    if (!loaded) {
        Printf(WIDE("Settings not found in the registry.\r\n"));
        return 2;
    }
    Printf(WIDE("Settings restored from the registry  (%s\\%s).\r\n"), RootName(served),
           SettingsKeyPath);
    return 0;
}

static void ApplyOptions(const CommandOptions& options) {
    if (options.newHotkey != 0) PluginSettings.Hotkey = options.newHotkey;
    if (options.newMathHotkey != 0) PluginSettings.MathHotkey = options.newMathHotkey;
    if (options.newErrorBeep >= 0) PluginSettings.ErrorBeep = uint32_t(options.newErrorBeep);
}

// The report says "cursor", the word the host's users know, for what the code calls the caret.
static void PrintSettingsReport(WCHAR* keyName) {
    Printf(WIDE("\r\n%s v%u.%u.%u settings:\r\n\n"), PLUGIN_NAME, VERSION_MAJOR, VERSION_MINOR,
           VERSION_BUILD);
    FormatKeyName(PluginSettings.Hotkey, keyName);
    Printf(WIDE("    Expand expression at cursor . . . %s\r\n"), keyName);
    FormatKeyName(PluginSettings.MathHotkey, keyName);
    Printf(WIDE("    Do math on word at cursor . . . . %s\r\n"), keyName);
    uint32_t beep = PluginSettings.ErrorBeep;
    const WCHAR* beepName = beep < uint32_t(BEEP_MODES) ? BeepModeNames[beep] : WIDE("(unknown)");
    Printf(WIDE("    Error beep  . . . . . . . . . . . /B: %u  (%s)\r\n"), beep, beepName);
}

// /S or /S!. Result 0, or 2 when SaveSettings failed (it has reported why).
static int Save(const CommandOptions& options) {
    if (options.saveRoot == SAVE_NONE) return 0;
    HKEY root = options.saveRoot == SAVE_HKLM ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (SaveSettings(root) != 0) return 2;
    if (!options.quiet)
        Printf(WIDE("\r\nSettings saved to the registry  (%s\\%s).\r\n"), RootName(root),
               SettingsKeyPath);
    return 0;
}

//   result  meaning
//   ------  ----------------------------------------------------------------------------
//      0    done: settings shown or changed, usage or version shown, hotkeys listed
//      1    a refused argument or combination, or a tail too long to split (reported)
//      2    /R found nothing (not quiet), or the save failed
//     -1    a null tail, or a /B value that starts with a letter but names no beep mode
PLUGIN_EXPORT int tallix(WCHAR* tail) {
    if (!tail) return -1;
    WCHAR keyName[KEY_NAME_CAPACITY] = {};
    CommandOptions options = {false, false, false, false, SAVE_NONE, 0, 0, -1};
    // A tail that does not fit has been reported; acting on what fitted, the last argument
    // cut short, could apply or even save settings nobody asked for.
    if (SplitCommandTail(tail) < 0) return 1;
    int exitCode = 0;
    if (WalkArguments(&options, &exitCode) == WALK_STOP) return exitCode;
    if (CheckCombinations(options, &exitCode) == WALK_STOP) return exitCode;
    int result = Restore(options);
    ApplyOptions(options);
    if (!options.quiet) PrintSettingsReport(keyName);
    if (Save(options) != 0) return 2;
    return result;
}
