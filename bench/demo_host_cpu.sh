#!/usr/bin/env bash
# Measures the demo host's own CPU time in a real terminal: tmux runs tallix-host, keys go in with
# send-keys one at a time, and the host's CPU time is read from /proc/PID/schedstat (nanoseconds)
# before and after. A measurement, not a test: it prints the figures and judges nothing.
#
#   bench/demo_host_cpu.sh [path/to/tallix-host] [keystrokes per kind, default 40]
#
# Figures: one keystroke on a line of 65,535 UTF-16 units (a typed character, an arrow key that
# goes to the plugin first, and the expand key), and a paste of 10,000 characters, bracketed and
# typed as a burst.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
host=${1:-$here/build/native/demo/tallix-host}
count=${2:-40}
work=$(mktemp -d)
socket=$work/tmux.sock
trap 'tmux -S "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
t() { tmux -S "$socket" "$@"; }
row() {
    local y
    y=$(t display -p -t bench '#{cursor_y}')
    t capture-pane -p -t bench | sed -n "$((y + 1))p" | sed 's/ *$//'
}
wait_row_end() {
    for _ in $(seq 300); do
        [[ "$(row)" == *"$1" ]] && return 0
        sleep 0.05
    done
    echo "gave up waiting for a row ending in \"$1\"" >&2
    exit 1
}
cpu_ns() { cut -d' ' -f1 "/proc/$pid/schedstat"; }
# Waits until the host has used no CPU for 0.3 s.
settle() {
    local last now
    last=$(cpu_ns)
    while sleep 0.3; now=$(cpu_ns); [ "$now" != "$last" ]; do last=$now; done
}
# Sends the keys $2.. $count times, one send every 20 ms, and prints the host's CPU per key.
measure() {
    local label=$1 before after
    shift
    settle
    before=$(cpu_ns)
    for _ in $(seq "$count"); do
        t send-keys -t bench "$@"
        sleep 0.02
    done
    settle
    after=$(cpu_ns)
    printf '%-52s %8.3f ms\n' "$label" "$(echo "($after - $before) / ($count * $#) / 1000000" | bc -l)"
}
paste_text() { t load-buffer "$1"; t paste-buffer -p -d -t bench; }

t new-session -d -s bench -x 200 -y 50 \
    "env -i PATH=$PATH TERM=xterm-256color HOME=$work LANG=C.UTF-8 TALLIX_REGISTRY=$work/r.reg $host"
wait_row_end "host>"
pid=$(t display -p -t bench '#{pane_pid}')

# A line of exactly 65,535 units, the most the host's edit line holds: "echo ", letters, and a
# reference whose expansion is shorter, so that the expanded line fits too.
printf 'echo %s %%@len[xy]' "$(printf '%*s' 65520 '' | tr ' ' p)" >"$work/line"
paste_text "$work/line"
wait_row_end "p %@len[xy]"
echo "host CPU per keystroke on a line of 65,535 units ($count keystrokes of each kind):"
measure "Backspace at the end, then the character again (per key)" BSpace ']'
measure "Left, then Right (offered to the plugin; per key)" Left Right
measure "Alt-X on %@len[xy] at the end, then undo (per key)" M-x C-_
t send-keys -t bench C-c
settle

printf '%*s' 9999 '' | tr ' ' q >"$work/paste"
printf 'Z' >>"$work/paste"
for kind in bracketed typed; do
    settle
    before=$(cpu_ns)
    start=$(date +%s%N)
    if [ $kind = bracketed ]; then paste_text "$work/paste"; else t send-keys -t bench -l "$(cat "$work/paste")"; fi
    wait_row_end "qZ"
    end=$(date +%s%N)
    settle
    after=$(cpu_ns)
    printf 'paste of 10,000 characters (%s): host CPU %.1f ms, on screen after %.0f ms\n' "$kind" \
        "$(echo "($after - $before) / 1000000" | bc -l)" "$(echo "($end - $start) / 1000000" | bc -l)"
    t send-keys -t bench C-c
done
