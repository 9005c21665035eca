#!/usr/bin/env bash
# The contract of the DLL that ships (the split of scripts/split-dll.sh) and its debug file:
#
#   tests/dll_contract.sh SHIPPED_DLL DEBUG_FILE DEF VERSION [BUILD_PATH...]
#
# Each rule is checked on its own and a broken one prints a line that starts with its name, so
# one run shows every broken rule:
#   dynamic-base, high-entropy-va, nx-compat   the header bits that let Windows place the image at
#                       a random address anywhere in the 64-bit space, and refuse to run its data
#   reloc               a .reloc section, without which the image cannot be moved at all
#   w-xor-x             no section both writable and executable
#   shared-writable     no section shared between processes and writable
#   exports             exactly the names of the .def file, undecorated
#   imports             only TakeCmd.dll and the allowed system DLLs, and TakeCmd.dll among them
#   version-resource    the project's version (VERSION, from CMakeLists.txt) in the strings a user
#                       sees in the file's properties
#   no-debug            no debug section in the shipped DLL
#   no-build-path       none of the BUILD_PATHs (the source and build folders) in the bytes of the
#                       DLL or of its debug file, in 8-bit or UTF-16 text
#   stack-protector     the protector's routine and guard are in the debug file's symbols, and the
#                       functions that take text from the host or the user check it before they
#                       return
set -u
dll=$1
debug=$2
def=$3
version=$4
shift 4
objdump=x86_64-w64-mingw32-objdump
status=0
fail() {
  echo "$1: $2"
  status=1
}

[ -f "$dll" ] || { echo "no DLL at $dll"; exit 1; }
[ -f "$debug" ] || { echo "no debug file at $debug"; exit 1; }
dump=$($objdump -p "$dll")

# The header's DllCharacteristics and every section's name and characteristics, read from the
# file itself: objdump shows the bits by name but folds a section's flags into its own words.
pe=$(python3 - "$dll" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, symbols, count, optional_size = struct.unpack_from("<H4xIIH", data, pe + 6)
strings = symbols + 18 * count  # where names longer than 8 bytes are, as "/offset"
optional = pe + 24
print("dllcharacteristics %#x" % struct.unpack_from("<H", data, optional + 70)[0])
table = optional + optional_size
for i in range(sections):
    entry = table + 40 * i
    name = data[entry:entry + 8].rstrip(b"\0")
    if name.startswith(b"/") and symbols:
        offset = strings + int(name[1:])
        name = data[offset:data.index(b"\0", offset)]
    name = name.decode("latin-1")
    flags = struct.unpack_from("<I", data, entry + 36)[0]
    print("section %s %#x" % (name, flags))
EOF
) || { echo "cannot read the PE headers of $dll"; exit 1; }

# ---- dynamic-base, high-entropy-va, nx-compat -------------------------------------------------
characteristics=$(printf '%s\n' "$pe" | awk '/^dllcharacteristics/{print $2}')
for rule in "dynamic-base 0x40" "high-entropy-va 0x20" "nx-compat 0x100"; do
  name=${rule% *}; bit=${rule#* }
  (( characteristics & bit )) || fail "$name" "DllCharacteristics $characteristics lacks $bit"
done

# ---- reloc --------------------------------------------------------------------------------
printf '%s\n' "$pe" | grep -q '^section \.reloc ' || fail reloc "no .reloc section"
relocs=$(printf '%s\n' "$dump" | awk '/Base Relocation Directory/{print $3}')
[ -n "$relocs" ] && [ $((16#$relocs)) -gt 0 ] || fail reloc "the base relocation directory is empty"

# ---- w-xor-x, shared-writable -------------------------------------------------------------
while read -r _ name flags; do
  write=$(( flags & 0x80000000 )); execute=$(( flags & 0x20000000 )); shared=$(( flags & 0x10000000 ))
  [ $write -ne 0 ] && [ $execute -ne 0 ] && fail w-xor-x "section $name is writable and executable"
  [ $write -ne 0 ] && [ $shared -ne 0 ] && fail shared-writable "section $name is shared and writable"
done < <(printf '%s\n' "$pe" | grep '^section ')

# ---- imports ------------------------------------------------------------------------------
imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
allowed='^(TAKECMD\.DLL|KERNEL32\.DLL|ADVAPI32\.DLL|USER32\.DLL|WINMM\.DLL|MSVCRT\.DLL|API-MS-WIN-CRT-[A-Z0-9-]+\.DLL)$'
while read -r name; do
  [ -z "$name" ] && continue
  printf '%s\n' "$name" | grep -qE "$allowed" || fail imports "unexpected import: $name"
done <<< "$imports"
printf '%s\n' "$imports" | grep -q '^TAKECMD\.DLL$' || fail imports "TakeCmd.dll is not imported"

# ---- exports ------------------------------------------------------------------------------
expected=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d' | awk '{print $1}' | grep -v '^$' | sort)
actual=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF} on && /^$/{on=0}' | sort)
if [ "$expected" != "$actual" ]; then
  fail exports "the exports differ from $def: expected $(echo $expected), found $(echo $actual)"
fi

# ---- version-resource ---------------------------------------------------------------------
resource=$(strings -el "$dll")
for field in "FileVersion $version" "ProductVersion $version" "ProductName Tallix" \
             "OriginalFilename Tallix.dll" "FileDescription"; do
  name=${field%% *}; value=${field#* }
  if ! printf '%s\n' "$resource" | grep -A1 -x "$name" | tail -n 1 | grep -q "${value#FileDescription}"; then
    fail version-resource "the version resource lacks $field"
  fi
done

# ---- no-debug -----------------------------------------------------------------------------
debug_sections=$(printf '%s\n' "$pe" | awk '$1 == "section" && $2 ~ /^\.z?debug/ {print $2}')
[ -z "$debug_sections" ] || fail no-debug "debug sections in the shipped DLL: $(echo $debug_sections)"

# ---- no-build-path ------------------------------------------------------------------------
for path in "$@"; do
  wide=$(printf '%s' "$path" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n')
  for file in "$dll" "$debug"; do
    if grep -qaF -- "$path" "$file" || od -An -tx1 -v "$file" | tr -d ' \n' | grep -q "$wide"; then
      fail no-build-path "$path is in $(basename "$file")"
    fi
  done
done

# ---- stack-protector ----------------------------------------------------------------------
# The call sites of __stack_chk_fail in the shipped code, each named by the function of the debug
# file's symbols that holds it, so the check does not rely on symbols in the shipped DLL.
symbols=$(x86_64-w64-mingw32-nm "$debug" 2>/dev/null)
printf '%s\n' "$symbols" | awk '$3 == "__stack_chk_guard"' | grep -q . ||
  fail stack-protector "no __stack_chk_guard in $(basename "$debug")"
if ! printf '%s\n' "$symbols" | awk '$2 == "T" && $3 == "__stack_chk_fail"' | grep -q .; then
  fail stack-protector "no __stack_chk_fail in $(basename "$debug")"
else
  checking=$(python3 - <(printf '%s\n' "$symbols") <($objdump -d --no-show-raw-insn "$dll") <<'EOF'
import bisect, re, sys
functions = sorted((int(address, 16), name) for address, kind, name in
                   (line.split() for line in open(sys.argv[1]) if len(line.split()) == 3)
                   if kind in "Tt")
starts = [address for address, _ in functions]
routine = next(address for address, name in functions if name == "__stack_chk_fail")
callers = set()
for line in open(sys.argv[2]):
    match = re.match(r"\s*([0-9a-f]+):\s+call\s+(?:0x)?([0-9a-f]+)\b", line)
    if match and int(match.group(2), 16) == routine:
        site = int(match.group(1), 16)
        callers.add(functions[bisect.bisect_right(starts, site) - 1][1])
print("\n".join(sorted(callers)))
EOF
)
  # The exports that take the host's line, the command tail and the command's name, and the
  # parsers of that text. (C++ names as the compiler writes them, the plain name inside.)
  for function in key tallix Help Usage LocateReference MathWord ParseKeyName; do
    printf '%s\n' "$checking" | grep -qE "^$function\$|[0-9]$function[A-Z]" ||
      fail stack-protector "$function does not check the guard"
  done
fi

if [ $status -eq 0 ]; then
  echo "contract: every rule holds"
  echo "imports: $(echo $imports)"
  echo "exports: $(echo $actual)"
  echo "stack protector: $(printf '%s\n' "$checking" | grep -c .) functions check the guard"
fi
exit $status
