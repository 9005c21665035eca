#!/usr/bin/env bash
# Runs a Windows program under wine with the project's private prefix (build/wineprefix) and
# wine's own messages off. The first start of a new prefix takes several seconds.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${TALLIX_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
mkdir -p "$WINEPREFIX"
exec wine "$@"
