#!/usr/bin/env bash
# The DLL's import and export tables: it imports only TakeCmd.dll and Windows system DLLs, and
# exports exactly the names of its .def file, undecorated; its version resource carries the
# project's version (the third argument, from CMakeLists.txt).
set -eu
dll=$1
def=$2
version=$3
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
status=0

imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
allowed='^(TAKECMD\.DLL|KERNEL32\.DLL|ADVAPI32\.DLL|USER32\.DLL|WINMM\.DLL|MSVCRT\.DLL|API-MS-WIN-CRT-[A-Z0-9-]+\.DLL)$'
while read -r name; do
  [ -z "$name" ] && continue
  if ! printf '%s\n' "$name" | grep -qE "$allowed"; then
    echo "unexpected import: $name"; status=1
  fi
done <<< "$imports"
printf '%s\n' "$imports" | grep -q '^TAKECMD\.DLL$' || { echo "TakeCmd.dll is not imported"; status=1; }

expected=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d' | awk '{print $1}' | grep -v '^$' | sort)
actual=$(printf '%s\n' "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[ \t]*\[/{print $NF} on && /^$/{on=0}' | sort)
if [ "$expected" != "$actual" ]; then
  echo "exports differ from $def"; echo "expected:"; echo "$expected"; echo "actual:"; echo "$actual"; status=1
fi
# The version resource: the strings a user sees in the file's properties.
resource=$(strings -el "$dll")
for field in "FileVersion $version" "ProductVersion $version" "ProductName Tallix" \
             "OriginalFilename Tallix.dll" "FileDescription"; do
  name=${field%% *}; value=${field#* }
  if ! printf '%s\n' "$resource" | grep -A1 -x "$name" | tail -n 1 | grep -q "${value#FileDescription}"; then
    echo "version resource lacks $field"; status=1
  fi
done

[ $status -eq 0 ] && echo "imports: $(echo $imports)" && echo "exports: $(echo $actual)"
exit $status
