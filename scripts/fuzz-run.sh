#!/usr/bin/env bash
# Runs the libFuzzer targets of build/fuzz, one at a time, and prints each target's execution
# count and a summary table at the end. A crash, a failed check or a missing target binary fails
# the run; the reproducer of a crash is printed.
#
#   scripts/fuzz-run.sh [target...]      the targets named (without _fuzz), or all of TARGETS
#   scripts/fuzz-run.sh --replay [target...]
#                                        every committed input of fuzz/corpus and fuzz/corpus-long
#                                        run once through its target, no fuzzing (make check)
#
# Every target runs twice:
#   main  FUZZ_SECONDS (60) on short inputs, from a copy of fuzz/corpus/<target>_fuzz/, with
#         lines made long by the locator's repeat code turned off (TALLIX_FUZZ_LONG_LINES=0);
#   long  FUZZ_LONG_SECONDS (10) from the full-length seeds of fuzz/corpus-long/<target>_fuzz/
#         (only targets that have such seeds), so the costly long lines keep being checked
#         without taking the main run's time.
# Further settings: FUZZ_RUNS stops the main run after that many executions; FUZZ_NICE runs the
# targets at that nice level; FUZZ_MERGE=1 merges what the main run found that adds coverage into
# fuzz/corpus/<target>_fuzz/ (minimised by libFuzzer's -merge=1), for committing after a long
# campaign (make fuzz-long); FUZZ_WORK is the scratch folder (build/fuzz/run, emptied first).
# Extra libFuzzer flags for a target may stand in fuzz/<target>_fuzz.flags.
set -u

# Every target, in the order run. Adding a target: its fuzz/<name>_fuzz.cpp and one word here.
TARGETS=(keyname command locator expand mathword keydecoder registry_file)

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-60}
long_seconds=${FUZZ_LONG_SECONDS:-10}
runs=${FUZZ_RUNS:-}
merge=${FUZZ_MERGE:-0}
nice_level=${FUZZ_NICE:-0}
work=${FUZZ_WORK:-$here/build/fuzz/run}
# Inputs of the main run stay short; the long seeds (up to 65,535 UTF-16 units and a few bytes of
# header) need the larger limit.
main_max_len=4096
# The locator's target checks lines of up to 300 units against its model; longer ones only for
# safety, which is the long run's part. Its main run keeps to inputs of about that size (640
# bytes hold 300 units in one- and two-byte codes). The settings-file reader works line by line
# and key block by key block, and its target checks every value of a file, some of them against
# every line: 512 bytes hold a few key blocks of several lines each, and its time goes to the
# rules, not to re-reading long files.
main_max_len_of() {
  case $1 in
    locator) echo 640 ;;
    registry_file) echo 512 ;;
    *) echo "$main_max_len" ;;
  esac
}
long_max_len=140000

status=0
table=()

# A target file without an entry in the list would never run: that is a mistake, not a choice.
for source in "$here"/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" _fuzz.cpp)
  [[ " ${TARGETS[*]} " == *" $name "* ]] || {
    echo "fuzz/${name}_fuzz.cpp is not in TARGETS of scripts/fuzz-run.sh"
    status=1
  }
done

replay=0
if [ "${1:-}" = --replay ]; then
  replay=1
  shift
fi
selected=("$@")
[ ${#selected[@]} -gt 0 ] || selected=("${TARGETS[@]}")

# run_phase NAME PHASE SECONDS CORPUS MAXLEN LONGLINES [extra flags...]: one libFuzzer run; adds a
# row to the table and sets status on failure.
run_phase() {
  local name=$1 phase=$2 secs=$3 corpus=$4 max_len=$5 long_lines=$6
  shift 6
  local binary="$here/build/fuzz/${name}_fuzz"
  local dir="$work/${name}_fuzz/$phase"
  local log="$dir/log.txt"
  mkdir -p "$dir"
  local flags=()
  [ -f "$here/fuzz/${name}_fuzz.flags" ] && read -r -a flags <"$here/fuzz/${name}_fuzz.flags"
  TALLIX_FUZZ_LONG_LINES=$long_lines nice -n "$nice_level" "$binary" \
    -max_total_time="$secs" -max_len="$max_len" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$dir/" "${flags[@]}" "$@" "$corpus" >"$log" 2>&1
  local rc=$?
  local count elapsed
  count=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  elapsed=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  local rate="-"
  [ -n "$count" ] && [ -n "$elapsed" ] && [ "$elapsed" -gt 0 ] && rate=$((count / elapsed))
  local result=ok
  if [ $rc -ne 0 ]; then
    result="FAIL (exit $rc)"
    status=1
    echo "FUZZ FAIL $name $phase (exit $rc) after ${count:-?} executions"
    grep -E 'ERROR|SUMMARY|Test unit written|: locator ' "$log" | head -n 20
    for artifact in "$dir"/crash-* "$dir"/leak-* "$dir"/timeout-* "$dir"/oom-*; do
      [ -f "$artifact" ] || continue
      echo "reproducer $artifact (run: $binary $artifact):"
      od -A d -t x1 "$artifact" | head -n 40
    done
  else
    echo "fuzz ok   $name $phase: ${count:-?} executions in ${elapsed:-?} s"
  fi
  table+=("$(printf '%-12s %-5s %12s %7s %9s  %s' "$name" "$phase" "${count:-?}" \
    "${elapsed:-?}" "$rate" "$result")")
}

# replay NAME: each committed input once and whole (no length cap), the short ones decoded as the
# main run decodes them and the long seeds as the long run does; a failure prints what the target
# printed.
replay() {
  local name=$1 binary="$here/build/fuzz/${1}_fuzz" phase corpus long_lines
  for phase in main long; do
    if [ $phase = main ]; then
      corpus="$here/fuzz/corpus/${name}_fuzz" long_lines=0
    else
      corpus="$here/fuzz/corpus-long/${name}_fuzz" long_lines=1
    fi
    [ -d "$corpus" ] || continue
    local log="$work/${name}_fuzz/replay-$phase.txt"
    mkdir -p "$(dirname "$log")"
    local flags=()
    [ -f "$here/fuzz/${name}_fuzz.flags" ] && read -r -a flags <"$here/fuzz/${name}_fuzz.flags"
    if TALLIX_FUZZ_LONG_LINES=$long_lines "$binary" -runs=0 -max_len="$long_max_len" -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$work/${name}_fuzz/" "${flags[@]}" "$corpus" >"$log" 2>&1; then
      echo "replay ok   $name $phase: $(find "$corpus" -type f | wc -l) inputs"
    else
      echo "REPLAY FAIL $name $phase (see $log)"
      grep -E 'ERROR|SUMMARY|Test unit written|: locator |Assertion' "$log" | head -n 20
      status=1
    fi
  done
}

rm -rf "$work"
if [ $replay = 1 ]; then
  [ ${#selected[@]} -gt 0 ] || selected=("${TARGETS[@]}")
  for name in "${selected[@]}"; do
    if [ -x "$here/build/fuzz/${name}_fuzz" ]; then
      replay "$name"
    else
      echo "REPLAY FAIL $name: no build/fuzz/${name}_fuzz (not built?)"
      status=1
    fi
  done
  exit $status
fi
for name in "${selected[@]}"; do
  binary="$here/build/fuzz/${name}_fuzz"
  if [ ! -x "$binary" ]; then
    echo "FUZZ FAIL $name: no $binary (not built?)"
    table+=("$(printf '%-12s %-5s %12s %7s %9s  %s' "$name" main - - - "FAIL (not built)")")
    status=1
    continue
  fi
  corpus="$work/${name}_fuzz/corpus"
  mkdir -p "$corpus"
  seeds="$here/fuzz/corpus/${name}_fuzz"
  [ -d "$seeds" ] && cp -r "$seeds/." "$corpus/"
  extra=()
  [ -n "$runs" ] && extra=(-runs="$runs")
  before=$status
  run_phase "$name" main "$seconds" "$corpus" "$(main_max_len_of "$name")" 0 "${extra[@]}"
  if [ "$merge" = 1 ] && [ $status -eq "$before" ]; then
    mkdir -p "$seeds"
    had=$(find "$seeds" -type f | wc -l)
    TALLIX_FUZZ_LONG_LINES=0 nice -n "$nice_level" "$binary" -merge=1 -max_len="$(main_max_len_of "$name")" \
      "$seeds" "$corpus" >"$work/${name}_fuzz/merge.txt" 2>&1 || {
      echo "FUZZ FAIL $name: merge into $seeds failed (see $work/${name}_fuzz/merge.txt)"
      status=1
    }
    echo "merged    $name: $(($(find "$seeds" -type f | wc -l) - had)) new inputs in $seeds"
  fi
  long="$here/fuzz/corpus-long/${name}_fuzz"
  if [ -d "$long" ] && [ "$long_seconds" -gt 0 ]; then
    mkdir -p "$work/${name}_fuzz/long-corpus"
    cp -r "$long/." "$work/${name}_fuzz/long-corpus/"
    run_phase "$name" long "$long_seconds" "$work/${name}_fuzz/long-corpus" "$long_max_len" 1
  fi
done

echo
echo "load: $(uptime)"
printf '%-12s %-5s %12s %7s %9s  %s\n' target phase executions seconds "exec/s" result
for row in "${table[@]}"; do echo "$row"; done
exit $status
