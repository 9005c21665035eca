#!/usr/bin/env bash
# The contract test catches each broken protection on its own: every case below copies the DLL
# that ships and its debug file, breaks one thing in the copy, and expects tests/dll_contract.sh
# to fail with exactly that rule's name and no other.
#
#   tests/dll_contract_faults.sh SHIPPED_DLL DEBUG_FILE DEF VERSION [BUILD_PATH...]
set -u
dll=$1
debug=$2
def=$3
version=$4
shift 4
paths=("$@")
here=$(cd "$(dirname "$0")" && pwd)
objcopy=x86_64-w64-mingw32-objcopy
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# patch FILE HOW [ARG]: changes the PE file in place.
#   clear-bit BIT        clears BIT in the header's DllCharacteristics
#   set-flags NAME BITS  ORs BITS into the characteristics of section NAME
#   rename NAME NEW      renames section NAME (names of 8 bytes or less)
#   zero-relocs          empties the base relocation directory of the header
#   replace NAME OLD NEW replaces the one zero-terminated text OLD in section NAME by NEW
#   nop-call FROM TO     overwrites with NOPs every call from [FROM, TO) to the address in $3
patch() {
  python3 - "$@" <<'EOF'
import struct, subprocess, sys
path, how, args = sys.argv[1], sys.argv[2], sys.argv[3:]
data = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
optional = pe + 24
table = optional + optional_size
def section(name):
    for i in range(count):
        entry = table + 40 * i
        if data[entry:entry + 8].rstrip(b"\0") == name.encode():
            return entry
    sys.exit("no section " + name)
if how == "clear-bit":
    at = optional + 70
    struct.pack_into("<H", data, at, struct.unpack_from("<H", data, at)[0] & ~int(args[0], 0))
elif how == "set-flags":
    at = section(args[0]) + 36
    struct.pack_into("<I", data, at, struct.unpack_from("<I", data, at)[0] | int(args[1], 0))
elif how == "rename":
    entry = section(args[0])
    data[entry:entry + 8] = args[1].encode().ljust(8, b"\0")
elif how == "zero-relocs":
    struct.pack_into("<II", data, optional + 112 + 8 * 5, 0, 0)
elif how == "replace":
    size, raw = struct.unpack_from("<II", data, section(args[0]) + 16)
    old, new = args[1].encode() + b"\0", args[2].encode() + b"\0"
    body = data[raw:raw + size]
    assert len(old) == len(new) and body.count(old) == 1, "one " + args[1] + " in " + args[0]
    at = raw + body.index(old)
    data[at:at + len(old)] = new
elif how == "nop-call":
    low, high, target = (int(a, 16) for a in args)
    image_base = struct.unpack_from("<Q", data, optional + 24)[0]
    text = section(".text")
    address, raw = struct.unpack_from("<I4xI", data, text + 12)
    found = 0
    for i in range(low - image_base - address, high - image_base - address):
        at = raw + i
        if data[at] == 0xE8:
            rel = struct.unpack_from("<i", data, at + 1)[0]
            if image_base + address + i + 5 + rel == target:
                data[at:at + 5] = b"\x90" * 5
                found += 1
    assert found, "no call to patch"
open(path, "wb").write(data)
EOF
}

# expect RULE DESCRIPTION: runs the contract on the copies and checks that RULE alone failed.
expect() {
  local rule=$1 what=$2 output failed
  output=$(bash "$here/dll_contract.sh" "$work/Tallix.dll" "$work/Tallix.dll.debug" "$def" \
                "$version" "${paths[@]}" 2>&1)
  local code=$?
  failed=$(printf '%s\n' "$output" | sed -n 's/^\([a-z-]*\): .*/\1/p' | sort -u | tr '\n' ' ')
  if [ $code -ne 0 ] && [ "$failed" = "$rule " ]; then
    echo "ok: $what -> $(printf '%s\n' "$output" | grep "^$rule:" | head -1)"
  else
    echo "FAILED: $what: expected rule $rule alone, the contract said (exit $code):"
    printf '%s\n' "$output" | sed 's/^/    /'
    status=1
  fi
}

fresh() {
  cp "$dll" "$work/Tallix.dll"
  cp "$debug" "$work/Tallix.dll.debug"
}

fresh
if bash "$here/dll_contract.sh" "$work/Tallix.dll" "$work/Tallix.dll.debug" "$def" "$version" \
        "${paths[@]}" >/dev/null; then
  echo "ok: the DLL as built passes"
else
  echo "FAILED: the DLL as built breaks the contract; the cases below prove nothing"
  exit 1
fi

fresh; patch "$work/Tallix.dll" clear-bit 0x40
expect dynamic-base "DYNAMIC_BASE cleared"
fresh; patch "$work/Tallix.dll" clear-bit 0x20
expect high-entropy-va "HIGH_ENTROPY_VA cleared"
fresh; patch "$work/Tallix.dll" clear-bit 0x100
expect nx-compat "NX_COMPAT cleared"
fresh; patch "$work/Tallix.dll" rename .reloc .rel0c
expect reloc ".reloc section renamed"
fresh; patch "$work/Tallix.dll" zero-relocs
expect reloc "base relocation directory emptied"
fresh; patch "$work/Tallix.dll" set-flags .data 0x20000000
expect w-xor-x ".data made executable"
fresh; patch "$work/Tallix.dll" set-flags .rdata 0xA0000000
expect w-xor-x ".rdata made writable and executable"
fresh; patch "$work/Tallix.dll" set-flags .data 0x10000000
expect shared-writable ".data made shared"
fresh; patch "$work/Tallix.dll" replace .edata Usage Usagf
expect exports "export Usage renamed"
fresh; patch "$work/Tallix.dll" replace .idata WINMM.dll WINMX.dll
expect imports "WINMM.dll import renamed"
fresh; patch "$work/Tallix.dll" replace .idata TakeCmd.dll TakeCmx.dll
expect imports "TakeCmd.dll import renamed"
fresh; printf 'debug information' > "$work/blob"
SOURCE_DATE_EPOCH=0 "$objcopy" --add-section .debug_info="$work/blob" \
  --set-section-flags .debug_info=readonly,debug "$work/Tallix.dll" 2>/dev/null
expect no-debug "a .debug_info section added"
if [ ${#paths[@]} -gt 0 ]; then
  fresh; printf '%s/src/host.cpp' "${paths[0]}" >> "$work/Tallix.dll"
  expect no-build-path "the source folder appended to the DLL"
  fresh; printf '%s/x.cpp' "${paths[0]}" | iconv -f UTF-8 -t UTF-16LE >> "$work/Tallix.dll.debug"
  expect no-build-path "the source folder appended to the debug file, in UTF-16"
fi
fresh; "$objcopy" --strip-symbol=__stack_chk_fail "$work/Tallix.dll.debug"
expect stack-protector "__stack_chk_fail taken out of the debug file's symbols"
fresh; "$objcopy" --strip-symbol=__stack_chk_guard "$work/Tallix.dll.debug"
expect stack-protector "__stack_chk_guard taken out of the debug file's symbols"
# The guard check of the keystroke export turned into NOPs: key's range from the debug symbols.
fresh
range=$(x86_64-w64-mingw32-nm -n "$debug" | awk '$2 ~ /[Tt]/ { if (found) { print start, $1; exit } }
                                              $2 ~ /[Tt]/ && $3 == "key" { found = 1; start = $1 }')
routine=$(x86_64-w64-mingw32-nm "$debug" | awk '$3 == "__stack_chk_fail" {print $1}')
patch "$work/Tallix.dll" nop-call $range "$routine"
expect stack-protector "the guard check of key removed"

exit $status
