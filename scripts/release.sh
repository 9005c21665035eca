#!/usr/bin/env bash
# Packages the tested DLL as build/release/Tallix-<version>-x64.zip and proves that the package
# can be rebuilt bit for bit. The zip holds:
#   Tallix.dll                 the DLL that ships (the build's split, without debug sections)
#   USER-GUIDE.html            the user guide, made from docs/user-guide.md by Python-Markdown
#   tallix-settings.reg        an example .reg file of the three settings
#   THIRD-PARTY-NOTICES.txt    the toolchain code linked into the DLL, read from the link map,
#                              and the licence texts of its packages (CRLF line ends)
#   Tallix.spdx.json           the bill of materials (SPDX 2.3): the DLL and its SHA-256, the
#                              commit, the packages linked in and the toolchain that built it
#   SHA256SUMS                 the SHA-256 of every other file
#
#   1. The DLL that the windows tests ran against was split by the build into
#      build/windows/shipped/Tallix.dll and Tallix.dll.debug, which stays beside the zip and
#      which the DLL names through a debug link (for crash analysis). The contract test runs
#      again on those two files.
#   2. The tracked sources are copied to another folder and the DLL is built there again from
#      nothing, then packed the same way.
#   3. The two DLLs, the two debug files and the two zips must be identical, and the zip must
#      hold what it should; otherwise the release fails. The SHA-256 sums that a user compares
#      against are printed.
#
# Nothing in the package depends on when or where it was built: the link has no time stamp, the
# debug information no build folder, the bill of materials the commit's time, and the zip fixed
# file times (the commit's time), modes and order.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Tallix VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$here/CMakeLists.txt")
full_version=$(sed -n 's/^project(Tallix VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
name="Tallix-$version-x64"
shipped="$here/build/windows/shipped"
[ -f "$shipped/Tallix.dll" ] || { echo "no $shipped/Tallix.dll: run make test-windows first" >&2; exit 1; }
out="$here/build/release"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$here" log -1 --format=%ct 2>/dev/null || echo 315532800)}
# The commit the sources are; a tree with changes to tracked files is not that commit.
commit=$(git -C "$here" rev-parse HEAD 2>/dev/null || echo unknown)
[ -z "$(git -C "$here" status --porcelain --untracked-files=no 2>/dev/null)" ] || commit="$commit-modified"
documents=(Tallix.dll USER-GUIDE.html tallix-settings.reg THIRD-PARTY-NOTICES.txt Tallix.spdx.json)

# guide: the user guide as one HTML page that any browser opens, from the Markdown source.
guide() {
  local title
  title=$(sed -n '1s/^# //p' "$here/docs/user-guide.md")
  printf '<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
  printf '<title>%s</title>\n' "$title"
  printf '<style>body{font-family:sans-serif;max-width:50em;margin:2em auto;padding:0 1em;line-height:1.4}'
  printf 'pre,code{font-family:Consolas,monospace}pre{background:#f4f4f4;padding:.5em}'
  printf 'table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em;text-align:left}</style>\n'
  printf '</head>\n<body>\n'
  markdown_py -x tables -o html "$here/docs/user-guide.md"
  printf '\n</body>\n</html>\n'
}

# pack DIR MAP: DIR/$name.zip from DIR/Tallix.dll (and the link map MAP of its build) and the
# documents, with fixed times and order.
pack() {
  local dir=$1 map=$2 stage="$1/$name"
  rm -rf "$stage" "$dir/$name.zip"
  mkdir -p "$stage"
  cp "$dir/Tallix.dll" "$stage/Tallix.dll"
  guide > "$stage/USER-GUIDE.html"
  cp "$here/docs/tallix-settings.reg" "$stage/tallix-settings.reg"
  python3 "$here/scripts/third_party.py" notices "$map" "$version" | sed 's/$/\r/' \
    > "$stage/THIRD-PARTY-NOTICES.txt"
  python3 "$here/scripts/third_party.py" spdx "$map" "$stage/Tallix.dll" "$full_version" \
    "$commit" "$epoch" > "$stage/Tallix.spdx.json"
  (cd "$stage" && sha256sum "${documents[@]}" > SHA256SUMS)
  chmod 644 "$stage"/*
  touch -d "@$epoch" "$stage"/*
  (cd "$dir" && TZ=UTC zip -q -X -D "$name.zip" "${documents[@]/#/$name/}" "$name/SHA256SUMS")
}

# check ZIP DLL: the zip holds exactly the documents and SHA256SUMS, the sums hold, the bill of
# materials is JSON whose checksum of Tallix.dll is that of DLL, and the notices name the
# runtime code the DLL holds.
check() {
  python3 - "$1" "$2" "${documents[@]}" SHA256SUMS <<'PYTHON'
import hashlib, json, sys, zipfile
path, dll, expected = sys.argv[1], sys.argv[2], sys.argv[3:]
archive = zipfile.ZipFile(path)
prefix = archive.namelist()[0].split("/")[0] + "/"
files = {name[len(prefix):]: archive.read(name) for name in archive.namelist()}
problems = []
if sorted(files) != sorted(expected):
    problems.append("the zip holds %s" % sorted(files))
for line in files.get("SHA256SUMS", b"").decode().splitlines():
    digest, name = line.split(None, 1)
    if hashlib.sha256(files.get(name, b"")).hexdigest() != digest:
        problems.append("SHA256SUMS: %s does not match" % name)
shipped = hashlib.sha256(open(dll, "rb").read()).hexdigest()
if hashlib.sha256(files.get("Tallix.dll", b"")).hexdigest() != shipped:
    problems.append("Tallix.dll in the zip is not the DLL that was tested")
try:
    spdx = json.loads(files.get("Tallix.spdx.json", b""))
    sums = [c["checksumValue"] for f in spdx["files"] if f["fileName"] == "./Tallix.dll"
            for c in f["checksums"] if c["algorithm"] == "SHA256"]
    if spdx["spdxVersion"] != "SPDX-2.3" or sums != [shipped]:
        problems.append("Tallix.spdx.json does not name the DLL with its SHA-256")
except (ValueError, KeyError) as error:
    problems.append("Tallix.spdx.json: %s" % error)
notices = files.get("THIRD-PARTY-NOTICES.txt", b"")
for word in (b"libgcc.a", b"libssp.a", b"dllcrt2.o", b"GCC RUNTIME LIBRARY EXCEPTION",
             b"GNU GENERAL PUBLIC LICENSE"):
    if word not in notices:
        problems.append("THIRD-PARTY-NOTICES.txt lacks %s" % word.decode())
if b"\r\n" not in notices or notices.count(b"\n") != notices.count(b"\r\n"):
    problems.append("THIRD-PARTY-NOTICES.txt has lines without CRLF")
if b"<table>" not in files.get("USER-GUIDE.html", b""):
    problems.append("USER-GUIDE.html has no table: not the converted guide")
for problem in problems:
    print("release: " + problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PYTHON
}

rm -rf "$out"
mkdir -p "$out"
cp "$shipped/Tallix.dll" "$shipped/Tallix.dll.debug" "$out/"
pack "$out" "$here/build/windows/Tallix.map"

# The second build, from a copy of the tracked sources in another folder.
copy="$out/rebuild/source"
mkdir -p "$copy"
(cd "$here" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$copy"
(cd "$copy" && cmake --preset windows >/dev/null &&
   cmake --build build/windows -j"${JOBS:-2}" --target Tallix >/dev/null)
cp "$copy/build/windows/shipped/Tallix.dll" "$copy/build/windows/shipped/Tallix.dll.debug" \
   "$out/rebuild/"
pack "$out/rebuild" "$copy/build/windows/Tallix.map"

status=0
for file in Tallix.dll Tallix.dll.debug "$name.zip"; do
  if ! cmp -s "$out/$file" "$out/rebuild/$file"; then
    echo "release: $file differs between two builds of the same sources" >&2
    status=1
  fi
done
# The contract on the very files that ship, with both source folders as build paths to keep out.
if ! "$here/tests/dll_contract.sh" "$out/Tallix.dll" "$out/Tallix.dll.debug" "$here/src/Tallix.def" \
       "$full_version" "$here" "$copy" >"$out/contract.log"; then
  cat "$out/contract.log" >&2
  echo "release: the DLL breaks its contract" >&2
  status=1
fi
check "$out/$name.zip" "$out/Tallix.dll" || status=1
[ $status -eq 0 ] || exit 1
rm -rf "$out/rebuild" "$out/$name" "$out/contract.log"

(cd "$out" && sha256sum "$name.zip" > "$name.zip.sha256")
echo "release: $out/$name.zip (rebuilt from a copy of the sources: identical)"
echo "debug information: $out/Tallix.dll.debug"
echo "SHA-256:"
(cd "$out" && sha256sum "$name.zip" Tallix.dll)
