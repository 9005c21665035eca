#!/usr/bin/env bash
# Runs every libFuzzer target of build/fuzz for a bounded time from its committed seed corpus
# (fuzz/corpus/<target>/, copied so the committed one stays as it is). Extra libFuzzer flags for a
# target may stand in fuzz/<target>.flags. A crash fails the run and its reproducer is printed.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
work="$here/build/fuzz/run"
rm -rf "$work"
mkdir -p "$work"
status=0
found=0
for target in "$here"/build/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  mkdir -p "$work/$name/corpus"
  [ -d "$here/fuzz/corpus/$name" ] && cp -r "$here/fuzz/corpus/$name/." "$work/$name/corpus/"
  flags=()
  [ -f "$here/fuzz/$name.flags" ] && read -r -a flags < "$here/fuzz/$name.flags"
  log="$work/$name/log.txt"
  "$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/$name/" "${flags[@]}" "$work/$name/corpus" >"$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ $rc -ne 0 ]; then
    status=1
    echo "FUZZ FAIL $name (exit $rc) after ${runs:-?} executions"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 20
    for artifact in "$work/$name"/crash-* "$work/$name"/leak-* "$work/$name"/timeout-* "$work/$name"/oom-*; do
      [ -f "$artifact" ] || continue
      echo "reproducer $artifact (run: $target $artifact):"
      od -A d -t x1 "$artifact" | head -n 40
    done
  else
    echo "fuzz ok   $name: ${runs:-?} executions in ${seconds}s"
  fi
done
[ $found -eq 1 ] || { echo "no fuzz targets in build/fuzz"; exit 1; }
exit $status
