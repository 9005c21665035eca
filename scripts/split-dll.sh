#!/usr/bin/env bash
# Splits a linked Tallix.dll into the DLL that ships and its debug information:
#   scripts/split-dll.sh BUILT_DLL DIR   ->   DIR/Tallix.dll, DIR/Tallix.dll.debug
# DIR/Tallix.dll has no debug sections and names Tallix.dll.debug through a GNU debug link (for
# crash analysis); the debug file keeps the symbols, from which the contract test reads where
# the stack protector's routines lie. The build (CMake, after every link) and the release both
# split with this script, so the contract test checks the very bytes that the release packs.
set -euo pipefail
dll=$1
dir=$2
objcopy=x86_64-w64-mingw32-objcopy
mkdir -p "$dir"
dll=$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")
# objcopy stamps the PE header with the time, unless told a fixed one: 0, as the link left it.
SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$dll" "$dir/Tallix.dll.debug"
(cd "$dir" && SOURCE_DATE_EPOCH=0 "$objcopy" --strip-debug --add-gnu-debuglink=Tallix.dll.debug \
                                  "$dll" Tallix.dll)
