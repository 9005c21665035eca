// The key scheme in force: read by the key-name codec and the keystroke dispatch, written by the
// start-up alone.
#include "keyscheme.h"

int32_t hostVersion = 0;
bool extendedKeyScheme = false;

const KeyTable& ActiveKeyTable() {
    return extendedKeyScheme ? ExtendedKeyTable : ClassicKeyTable;
}
