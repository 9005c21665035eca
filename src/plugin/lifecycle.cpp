// The plugin's life cycle towards the host: the description record, start-up and shutdown.
#include "../keys/keycodec.h"
#include "../platform/widetext.h"
#include "exports.h"
#include "settings.h"

constexpr int32_t PLUGIN_MAJOR = 1;
constexpr int32_t PLUGIN_MINOR = 31;
constexpr int32_t PLUGIN_BUILD = 0;

// Zero when the library is loaded; the host keeps the pointer, so it lives in static storage.
// Only the nine described fields are ever written; the reserved bytes stay the host's.
static PluginInfo Info;

PLUGIN_EXPORT PluginInfo* GetPluginInfo(void) {
    Info.name = WIDE("Tallix");
    Info.author = WIDE("REDeraded Software");
    Info.email = WIDE("support@rederaded.com");
    Info.webPage = WIDE("https://rederaded.com/tallix");
    Info.description = WIDE("Expands a variable or function");
    Info.functions = WIDE("tallix,*key"); // the command, and "*" marks the keystroke handler
    Info.major = PLUGIN_MAJOR;
    Info.minor = PLUGIN_MINOR;
    Info.build = PLUGIN_BUILD;
    return &Info;
}

// True when the host says the banner is wanted: not a transient or piped shell, and no
// %noloadmsg. Only an expansion of exactly "00" counts; a failed one leaves other text. "00" is
// all that is read, but the host writes the whole expansion of %[noloadmsg], which the user may
// set to any length, so the buffer is a whole host buffer. Kept out of InitializePlugin's frame,
// so that its buffer and the version probe's are never on the stack at once.
[[gnu::noinline]] static bool LoadBannerWanted() {
    WCHAR buffer[HOST_BUFFER_CAPACITY] = {};
    WideCopy(buffer, HOST_BUFFER_CAPACITY, WIDE("%[_transient]%[_pipe]%[noloadmsg]"));
    ExpandVariables(buffer, 1);
    return buffer[0] == WIDE('0') && buffer[1] == WIDE('0') && buffer[2] == 0;
}

static void PrintLoadBanner() {
    WCHAR expandName[KEY_NAME_CAPACITY];
    WCHAR mathName[KEY_NAME_CAPACITY];
    FormatKeyName(PluginSettings.Hotkey, expandName);
    FormatKeyName(PluginSettings.MathHotkey, mathName);
    Printf(WIDE("%s v%d.%d.%d loaded.  Expand: %s, Math: %s\r\n"), WIDE("Tallix"), PLUGIN_MAJOR,
           PLUGIN_MINOR, PLUGIN_BUILD, expandName, mathName);
}

// Start-up never fails and never reports an error: a missing or bad registry entry falls
// through to the next root and finally to the defaults.
PLUGIN_EXPORT int InitializePlugin(void) {
    // The key table comes first: loading the settings checks the saved codes against it.
    ProbeHostVersion();
    if (!LoadSettings(HKEY_CURRENT_USER) && !LoadSettings(HKEY_LOCAL_MACHINE))
        ApplyDefaultSettings();
    if (LoadBannerWanted()) PrintLoadBanner();
    return 0;
}

// Nothing to release; the settings are saved only when the user asks.
PLUGIN_EXPORT int ShutdownPlugin(void) {
    return 0;
}
