#!/usr/bin/env bash
# Packages the tested DLL: build/release/Tallix-1.31.0-x64.zip with Tallix.dll, the user guide,
# an example .reg file of the three settings, and SHA-256 sums. The DLL is the one that the
# windows tests ran against (build/windows/Tallix.dll); nothing is rebuilt here.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=1.31.0
dll="$here/build/windows/Tallix.dll"
[ -f "$dll" ] || { echo "no $dll: run make test first" >&2; exit 1; }
out="$here/build/release"
stage="$out/Tallix-$version-x64"
rm -rf "$stage" "$out/Tallix-$version-x64.zip"
mkdir -p "$stage"
cp "$dll" "$stage/Tallix.dll"
cp "$here/docs/user-guide.md" "$stage/USER-GUIDE.md"
cp "$here/docs/tallix-settings.reg" "$stage/tallix-settings.reg"
(cd "$stage" && sha256sum Tallix.dll USER-GUIDE.md tallix-settings.reg > SHA256SUMS)
(cd "$out" && zip -q -r "Tallix-$version-x64.zip" "Tallix-$version-x64")
(cd "$out" && sha256sum "Tallix-$version-x64.zip" > "Tallix-$version-x64.zip.sha256")
echo "release: $out/Tallix-$version-x64.zip"
cat "$stage/SHA256SUMS"
