// The plugin's life cycle towards the host: the description record, start-up (the host-version
// probe, the settings, the banner) and shutdown.
#include "lifecycle.h"

#include "../actions/locator.h"
#include "../keys/keycodec.h"
#include "../platform/widetext.h"
#include "exports.h"
#include "settings.h"
#include "tallix_version.h"

// Host versions outside this range are taken as a misreading, not as a host.
constexpr int32_t OLDEST_HOST_VERSION = 8;
constexpr int32_t NEWEST_HOST_VERSION = 100;
// The first host generation that has the extended key table.
constexpr int32_t EXTENDED_HOST_VERSION = 24;

// Zero when the library is loaded; the host keeps the pointer, so it lives in static storage.
// Only the nine described fields are ever written; the reserved bytes stay the host's.
static PluginInfo pluginInfo;

PLUGIN_EXPORT PluginInfo* GetPluginInfo(void) {
    pluginInfo.name = WIDE(TALLIX_PRODUCT_NAME);
    pluginInfo.author = WIDE("REDeraded Software");
    pluginInfo.email = WIDE("support@rederaded.com");
    pluginInfo.webPage = WIDE("https://rederaded.com/tallix");
    pluginInfo.description = WIDE("Expands a variable or function");
    pluginInfo.functions = WIDE("tallix,*key"); // the command, and "*" marks the keystroke handler
    pluginInfo.major = TALLIX_VERSION_MAJOR;
    pluginInfo.minor = TALLIX_VERSION_MINOR;
    pluginInfo.build = TALLIX_VERSION_PATCH;
    return &pluginInfo;
}

// Reads %_4ver as a signed decimal number. Anything unreadable, overflowing or outside the range
// of real hosts leaves hostVersion at 0 and the classic table in force. Kept out of
// InitializePlugin's frame, so that its buffer and the banner test's are never on the stack at
// once.
[[gnu::noinline]] void ProbeHostVersion() {
    WCHAR buffer[HOST_BUFFER_CAPACITY] = {};
    WideCopy(buffer, HOST_BUFFER_CAPACITY, WIDE("%_4ver"));
    ExpandVariables(buffer, 1);
    buffer[HOST_BUFFER_CAPACITY - 1] = 0; // whatever the host left there, read a terminated text

    int rangeError = 0;
    int32_t version = WideToSigned(buffer, nullptr, 10, &rangeError);
    hostVersion = 0;
    if (!rangeError && version >= OLDEST_HOST_VERSION && version <= NEWEST_HOST_VERSION) {
        hostVersion = version;
    }
    extendedKeyScheme = hostVersion >= EXTENDED_HOST_VERSION;
}

// True when the host says the banner is wanted: not a transient or piped shell, and no
// %noloadmsg. Only an expansion of exactly "00" counts; a failed one leaves other text. "00" is
// all that is read, but the host writes the whole expansion of %[noloadmsg], which the user may
// set to any length, so the buffer is a whole host buffer. Kept out of InitializePlugin's frame
// for the same reason as the probe.
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
    Printf(WIDE("%s v%d.%d.%d loaded.  Expand: %s, Math: %s\r\n"), WIDE(TALLIX_PRODUCT_NAME),
           TALLIX_VERSION_MAJOR, TALLIX_VERSION_MINOR, TALLIX_VERSION_PATCH, expandName, mathName);
}

// Start-up never fails and never reports an error: a missing or bad registry entry falls
// through to the next root and finally to the defaults.
PLUGIN_EXPORT int InitializePlugin(void) {
    ProbeHostVersion();
    if (!LoadSettings(HKEY_CURRENT_USER) && !LoadSettings(HKEY_LOCAL_MACHINE))
        ApplyDefaultSettings();
    if (LoadBannerWanted()) PrintLoadBanner();
    PrepareLocator();
    return 0;
}

// Nothing to release; the settings are saved only when the user asks.
PLUGIN_EXPORT int ShutdownPlugin(void) {
    return 0;
}
