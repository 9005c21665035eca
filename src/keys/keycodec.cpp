// The key-name codec.
#include "keycodec.h"

int32_t hostVersion = 0;
bool extendedKeyScheme = false;
