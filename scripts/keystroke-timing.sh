#!/usr/bin/env bash
# One keystroke, three ways, in one run: the native keystroke benchmark, and the shipped
# Tallix.dll under wine beside the stand-in TakeCmd.dll, its first press after loading and its
# warm presses (tests/timing/dll_keystroke_timing.cpp --first), on the same full lines.
# Needs the native and the Windows builds (make bench, make test-windows).
#
#   scripts/keystroke-timing.sh [loads]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
loads=${1:-15}
native=$("$here/build/native/bench/tallix_bench" --benchmark_format=csv \
           --benchmark_filter='^BM_(ExpandPlain|ExpandUnclosedThenReference|ExpandMixedOpenersThenReference|MathPlain|MathAfterWhiteSpace)$' \
           --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
         awk -F, '$1 ~ /_median"$/ { gsub(/"/, "", $1); sub(/_median$/, "", $1); sub(/^BM_/, "", $1); print $1, $4 }')
wine=$(cd "$here/build/windows" &&
       "$here/scripts/wine-run.sh" tallix_dll_timing.exe --first 'shipped\Tallix.dll' "$loads" | tail -n +2)
printf '%-34s %10s %10s %10s %8s\n' "case (us per press)" native "wine first" "wine warm" warm/nat
while read -r name first warm; do
  cpu=$(awk -v n="$name" '$1 == n { print $2 }' <<<"$native")
  ratio=$([ -n "$cpu" ] && awk -v w="$warm" -v c="$cpu" 'BEGIN { printf "%.2f", w / c }' || echo -)
  printf '%-34s %10s %10s %10s %8s\n' "$name" "${cpu:--}" "$first" "$warm" "$ratio"
done <<<"$wine"
