#!/usr/bin/env bash
# Packages the tested DLL as build/release/Tallix-<version>-x64.zip (Tallix.dll, the user guide,
# an example .reg file of the three settings, SHA-256 sums) and proves that the package can be
# rebuilt bit for bit:
#
#   1. The DLL that the windows tests ran against (build/windows/Tallix.dll) is split into the
#      shipped DLL, without debug sections, and Tallix.dll.debug beside the zip, which the DLL
#      names through a debug link (for crash analysis).
#   2. The tracked sources are copied to another folder and the DLL is built there again from
#      nothing, then split and packed the same way.
#   3. The two DLLs, the two debug files and the two zips must be identical; otherwise the
#      release fails. The SHA-256 sums that a user compares against are printed.
#
# Nothing in the package depends on when or where it was built: the link has no time stamp, the
# debug information no build folder, and the zip fixed file times (the commit's time), modes and
# order.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Tallix VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$here/CMakeLists.txt")
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
name="Tallix-$version-x64"
tested="$here/build/windows/Tallix.dll"
[ -f "$tested" ] || { echo "no $tested: run make test-windows first" >&2; exit 1; }
out="$here/build/release"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 315532800)}
objcopy=x86_64-w64-mingw32-objcopy

# split DLL DIR: DIR/Tallix.dll without debug sections, DIR/Tallix.dll.debug with them.
split() {
  local dll=$1 dir=$2
  mkdir -p "$dir"
  # objcopy stamps the PE header with the time, unless told a fixed one: 0, as the link left it.
  SOURCE_DATE_EPOCH=0 "$objcopy" --only-keep-debug "$dll" "$dir/Tallix.dll.debug"
  (cd "$dir" && SOURCE_DATE_EPOCH=0 "$objcopy" --strip-debug --add-gnu-debuglink=Tallix.dll.debug "$dll" Tallix.dll)
}

# pack DIR: DIR/$name.zip from DIR/Tallix.dll and the documents, with fixed times and order.
pack() {
  local dir=$1 stage="$1/$name"
  rm -rf "$stage" "$dir/$name.zip"
  mkdir -p "$stage"
  cp "$dir/Tallix.dll" "$stage/Tallix.dll"
  cp "$here/docs/user-guide.md" "$stage/USER-GUIDE.md"
  cp "$here/docs/tallix-settings.reg" "$stage/tallix-settings.reg"
  (cd "$stage" && sha256sum Tallix.dll USER-GUIDE.md tallix-settings.reg > SHA256SUMS)
  chmod 644 "$stage"/*
  touch -d "@$epoch" "$stage"/*
  (cd "$dir" && TZ=UTC zip -q -X -D "$name.zip" "$name/Tallix.dll" "$name/USER-GUIDE.md" \
                 "$name/tallix-settings.reg" "$name/SHA256SUMS")
}

rm -rf "$out"
mkdir -p "$out"
split "$tested" "$out"
pack "$out"

# The second build, from a copy of the tracked sources in another folder.
copy="$out/rebuild/source"
mkdir -p "$copy"
(cd "$here" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$copy"
(cd "$copy" && cmake --preset windows >/dev/null &&
   cmake --build build/windows -j"${JOBS:-2}" --target Tallix >/dev/null)
split "$copy/build/windows/Tallix.dll" "$out/rebuild"
pack "$out/rebuild"

status=0
for file in Tallix.dll Tallix.dll.debug "$name.zip"; do
  if ! cmp -s "$out/$file" "$out/rebuild/$file"; then
    echo "release: $file differs between two builds of the same sources" >&2
    status=1
  fi
done
[ $status -eq 0 ] || exit 1
rm -rf "$out/rebuild" "$out/$name"

(cd "$out" && sha256sum "$name.zip" > "$name.zip.sha256")
echo "release: $out/$name.zip (rebuilt from a copy of the sources: identical)"
echo "debug information: $out/Tallix.dll.debug"
echo "SHA-256:"
(cd "$out" && sha256sum "$name.zip" Tallix.dll)
