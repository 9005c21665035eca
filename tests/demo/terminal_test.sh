#!/usr/bin/env bash
# End to end in a real terminal: tmux runs tallix-host with the plugin, keys go in with
# send-keys, and every check reads the screen with capture-pane, as the user would see it.
#
#   terminal_test.sh path/to/tallix-host
set -euo pipefail
host=${1:?usage: terminal_test.sh path/to/tallix-host}
if ! command -v tmux >/dev/null; then
    echo "tmux is missing (scripts/setup-toolchain.sh installs it)"
    exit 1
fi

work=$(mktemp -d)
socket=$work/tmux.sock
mkdir -p "$work/home"
# A file of the user's beside the settings file, which the host must leave alone.
printf 'mine\n' >"$work/history"
cleanup() {
    tmux -S "$socket" kill-server 2>/dev/null || true
    # (A host ended by the hang-up may still be writing its history: try again until it is gone.)
    for _ in $(seq 50); do
        rm -rf "$work" 2>/dev/null && return
        sleep 0.1
    done
    rm -rf "$work"
}
trap cleanup EXIT

t() { tmux -S "$socket" "$@"; }
screen() { t capture-pane -p -J -S -400 -t demo; }
cursor_x() { t display -p -t demo '#{cursor_x}'; }
# The row the cursor is on, without trailing blanks.
row() {
    local y
    y=$(t display -p -t demo '#{cursor_y}')
    t capture-pane -p -t demo | sed -n "$((y + 1))p" | sed 's/ *$//'
}
bells() { tr -cd '\a' <"$work/raw" | wc -c; }
fail() {
    echo "FAIL: $*"
    echo "--- screen ---"
    screen | awk 'NF { last = NR } { line[NR] = $0 } END { for (i = 1; i <= last; ++i) print line[i] }' |
        tail -40
    exit 1
}
# Waits until the cursor's row reads exactly $1.
wait_row() {
    for _ in $(seq 100); do
        [ "$(row)" = "$1" ] && return 0
        sleep 0.1
    done
    fail "expected the row \"$1\", found \"$(row)\""
}
press() { t send-keys -t demo "$@"; }
# Types a text on the current prompt ($1) and waits until the screen shows it.
type_on() {
    t send-keys -t demo -l "$2"
    wait_row "$1 $2"
}
# Types a command at the host's prompt, runs it and waits for the next prompt.
host_command() {
    type_on "host>" "$1"
    press Enter
    wait_row "host>"
}
# Waits until the cursor's row ends with $1.
wait_row_end() {
    for _ in $(seq 100); do
        [[ "$(row)" == *"$1" ]] && return 0
        sleep 0.1
    done
    fail "expected the row to end with \"$1\", found \"$(row)\""
}
# Pastes the contents of a file as a terminal does (bracketed), like a user's paste.
paste_file() {
    t load-buffer "$1"
    t paste-buffer -p -d -t demo
}
# Starts the host from a plain sh that records the terminal modes when the host has ended (an
# interactive bash would put them back itself after a signal and hide the host's own restore).
# $host_env, when set, goes before the command (another settings file).
host_env=
start_host() {
    rm -f "$work/stty.after"
    type_on '$' "sh -c '$host_env $host $*; stty -g >$work/stty.after'"
    press Enter
    wait_row "host>"
}
# After the host has ended: the terminal modes are those from before it started.
check_restored() {
    wait_row '$'
    for _ in $(seq 50); do [ -s "$work/stty.after" ] && break; sleep 0.1; done
    cmp -s "$work/stty.before" "$work/stty.after" || fail "terminal modes not restored ($1)"
}
# The lines a command printed: those after its last "host> $1" and before the next prompt.
output_of() {
    screen | awk -v cmd="host> $1" '
        $0 == cmd { n = 0; inside = 1; next }
        inside && /^host>/ { inside = 0 }
        inside { lines[++n] = $0 }
        END { for (i = 1; i <= n; ++i) print lines[i] }'
}

# A shell in a wide pane (the /L lines must not wrap), its output also logged raw for the bell.
t new-session -d -s demo -x 200 -y 50 \
    "env -i PATH=$PATH TERM=xterm-256color HOME=$work/home TALLIX_REGISTRY=$work/registry.reg \
     bash --norc --noprofile"
t set-option -t demo history-limit 5000
t pipe-pane -t demo -o "cat >>$work/raw"
t send-keys -t demo -l "PS1='$ '; stty -g >$work/stty.before"
press Enter
wait_row '$'

# Start-up: the plugin's banner, then the prompt.
start_host
screen | grep -q "^Tallix v.* loaded" || fail "no load banner"

# Alt-X expands the reference at the caret; the caret stands after the expansion.
home_upper=$(tr a-z A-Z <<<"$work/home")
type_on "host>" 'echo %@upper[%HOME]'
press M-x
wait_row "host> echo $home_upper"
before_home="host> echo "
expected_x=$((${#before_home} + ${#home_upper}))
[ "$(cursor_x)" = "$expected_x" ] || fail "caret at $(cursor_x), expected $expected_x"
press C-c
wait_row "host>"

# The expansion is one undo step; Ctrl-C leaves the line on the screen and starts a new one.
type_on "host>" 'echo %HOME'
press M-x
wait_row "host> echo $work/home"
press C-_
wait_row "host> echo %HOME"
press Left C-c
wait_row "host>"
y=$(t display -p -t demo '#{cursor_y}')
above=$(t capture-pane -p -t demo | sed -n "${y}p" | sed 's/ *$//')
[ "$above" = "host> echo %HOME^C" ] || fail "after Ctrl-C the line above reads \"$above\""

# Wide characters take two columns, a combining accent none: the caret follows them.
type_on "host>" 'echo 🚀✅ééx'
press Left Left
for _ in $(seq 50); do [ "$(cursor_x)" = 16 ] && break; sleep 0.1; done
[ "$(cursor_x)" = 16 ] || fail "caret at $(cursor_x) after wide characters, expected 16"
press C-c
wait_row "host>"

# Alt-= replaces the word by its value.
type_on "host>" '3*4'
press M-=
wait_row "host> 12"
press C-c
wait_row "host>"

# A failed expansion rings the bell and leaves the line as it was.
before=$(bells)
type_on "host>" 'echo %@nosuch[x]'
press M-x
for _ in $(seq 50); do [ "$(bells)" -gt "$before" ] && break; sleep 0.1; done
[ "$(bells)" -gt "$before" ] || fail "no bell after a failed expansion"
wait_row "host> echo %@nosuch[x]"
press C-c
wait_row "host>"

# A new expand key, Ctrl-Alt-F5, takes over from Alt-X.
host_command 'tallix Ctrl-Alt-F5'
type_on "host>" 'echo %HOME'
press M-x
sleep 0.3
[ "$(row)" = "host> echo %HOME" ] || fail "Alt-X still expands after the key changed"
press C-M-F5
wait_row "host> echo $work/home"
press C-c
wait_row "host>"

# Saved, the key survives a restart; the terminal is restored on exit. The history survives too.
host_command 'tallix /S'
host_command 'echo remembered'
type_on "host>" 'exit'
press Enter
check_restored "after exit"
start_host
press Up
wait_row "host> exit"
press Up
wait_row "host> echo remembered"
press C-c
wait_row "host>"
# Ctrl-R finds the line, and Enter runs it at once.
press C-r
t send-keys -t demo -l 'rememb'
wait_row "(reverse-i-search)\`rememb': echo remembered"
press Enter
wait_row "host>"
[ "$(output_of 'echo remembered' | tail -1)" = remembered ] || fail "Ctrl-R then Enter did not run the line"
# Ctrl-D chosen as a hotkey goes to the plugin, on an empty line too; not chosen, it leaves.
host_command 'tallix /Q Ctrl-D'
press C-d
sleep 0.3
wait_row "host>"
host_command 'echo still here'
[ "$(output_of 'echo still here')" = "still here" ] || fail "Ctrl-D as the hotkey ended the host"
host_command 'tallix /Q Ctrl-Alt-F5'
type_on "host>" 'echo %HOME'
press C-M-F5
wait_row "host> echo $work/home"
press C-c
wait_row "host>"

# The listing: 72 keys on a host of version 24.
host_command 'tallix /L'
count=$(output_of 'tallix /L' | wc -l)
[ "$count" = 72 ] || fail "tallix /L listed $count lines on host 24, expected 72"

# The help box, closed by a key.
type_on "host>" 'help tallix'
press Enter
for _ in $(seq 50); do screen | grep -q "Tallix Plugin Help" && break; sleep 0.1; done
screen | grep -q "Tallix Plugin Help" || fail "no help box"
press Space
wait_row "host>"

# A signal ends the host; the terminal is restored all the same.
shell_pid=$(t display -p -t demo '#{pane_pid}')
sh_pid=$(pgrep -P "$shell_pid" -x sh)
host_pid=$(pgrep -P "$sh_pid" -x tallix-host)
kill -TERM "$host_pid"
check_restored "after SIGTERM"

# An older host: the classic table, 74 keys.
start_host --host-version 23
host_command 'tallix /L'
count=$(output_of 'tallix /L' | wc -l)
[ "$count" = 74 ] || fail "tallix /L listed $count lines on host 23, expected 74"
type_on "host>" 'exit'
press Enter
check_restored "after exit"

# A long paste arrives whole, tabs included, and runs.
start_host
long=$(printf '%*s' 7990 '' | tr ' ' p)
printf 'set long=%s\tend' "$long" >"$work/paste"
paste_file "$work/paste"
wait_row_end "end"
press Enter
wait_row "host>"
host_command 'echo [%@len[%long]]'
[ "$(output_of 'echo [%@len[%long]]')" = "[7994]" ] || fail "the pasted line did not arrive whole"

# The expand key (Ctrl-Alt-F5 since the save above) at the end of a line of 8,000 characters,
# then the line runs.
printf 'echo %s %%HOME' "$long" >"$work/paste"
paste_file "$work/paste"
wait_row_end "p %HOME"
press C-M-F5
wait_row_end " $work/home"
press Enter
wait_row "host>"
screen | grep -q "^p*pp $work/home$" || fail "the 8,000-character line did not run"

# The line holds 65,535 characters, as the host's edit line does: a paste that would pass them is
# cut there, and a character typed on a full line is not inserted; both beep.
printf 'set x=%s' "$(printf '%*s' 65534 '' | tr ' ' q)" >"$work/paste"
before=$(bells)
paste_file "$work/paste"
wait_row_end "qqq"
press z
for _ in $(seq 50); do [ "$(bells)" -ge $((before + 2)) ] && break; sleep 0.1; done
[ "$(bells)" -ge $((before + 2)) ] || fail "no beep at the line's limit"
press Enter
wait_row "host>"
host_command 'echo [%@len[%x]]'
[ "$(output_of 'echo [%@len[%x]]')" = "[65529]" ] || fail "the line passed 65,535 characters"

# A paste of two lines runs them one after another, as bash does.
printf 'echo line1\necho line2\n' >"$work/paste"
paste_file "$work/paste"
press Enter
wait_row "host>"
screen | grep -A1 -x 'line1' | grep -qx 'line2' || fail "the pasted lines did not run one by one"

# Alt-Enter changes no editing mode: Ctrl-L still redraws rather than inserting ^L.
type_on "host>" 'echo mode'
press M-Enter C-l
sleep 0.3
wait_row "host> echo mode"
press C-c
wait_row "host>"

# Tab Tab lists the matches.
touch "$work/tabtest-one" "$work/tabtest-two"
type_on "host>" "echo $work/tabtest-"
press Tab Tab
for _ in $(seq 50); do screen | grep -q 'tabtest-one.*tabtest-two' && break; sleep 0.1; done
screen | grep -q 'tabtest-one.*tabtest-two' || fail "Tab Tab listed no matches"
press C-c
wait_row "host>"
# Ctrl-D on an empty line leaves, and the terminal is as it was (its end-of-file character too).
press C-d
check_restored "after Ctrl-D"

# A save that cannot be written fails with the plugin's error and %? 2: a folder, a read-only
# file, a path under a file.
mkdir "$work/folder"
touch "$work/readonly.reg"
chmod 444 "$work/readonly.reg"
for target in "$work/folder" "$work/readonly.reg" "$work/paste/registry.reg"; do
    host_env="TALLIX_REGISTRY=$target"
    start_host
    host_command 'tallix /S'
    output_of 'tallix /S' | grep -q "^Tallix plugin: Error" || fail "no error for a save to $target"
    host_command 'echo [%?]'
    [ "$(output_of 'echo [%?]')" = "[2]" ] || fail "%? after a failed save to $target"
    type_on "host>" 'exit'
    press Enter
    check_restored "after exit"
done

# A malformed settings file: told with its line number, skipped, and kept as it was by a save,
# with the comment and the foreign key. An edit made while the host runs is seen by /R.
cat >"$work/kept.reg" <<'REG'
Windows Registry Editor Version 5.00

; kept by hand
[HKEY_CURRENT_USER\Software\Other]
"Foreign"="value"

[HKEY_CURRENT_USER\Software\REDeraded\Tallix]
"ErrorBeep"=dword:zz
REG
host_env="TALLIX_REGISTRY=$work/kept.reg"
start_host
screen | grep -q "kept.reg, line 8: a DWORD needs 1 to 8 hexadecimal digits" ||
    fail "the malformed line was not told"
host_command 'tallix /S'
for kept in '; kept by hand' '"Foreign"="value"' '"ErrorBeep"=dword:zz' '"Hotkey"=dword:0001002d'; do
    grep -qxF "$kept" "$work/kept.reg" || fail "the save lost the line $kept"
done
sed -i 's/"Hotkey"=dword:0001002d/"Hotkey"=dword:0001003f/' "$work/kept.reg"
host_command 'tallix /R'
type_on "host>" 'echo %HOME'
press F5
wait_row "host> echo $work/home"
press C-c
wait_row "host>"
type_on "host>" 'exit'
press Enter
check_restored "after exit"

# A settings file cannot steer the terminal: a line holding an escape sequence that would set
# the window's title is told with its control characters escaped, and the title stays.
printf '[HKEY_CURRENT_USER\\Software\\T]\n\033]2;PWNED\007\n' >"$work/escape.reg"
title=$(t display -p -t demo '#{pane_title}')
host_env="TALLIX_REGISTRY=$work/escape.reg"
start_host
screen | grep -qF 'skipped: \x1B]2;PWNED\x07' || fail "the escape was not shown escaped"
[ "$(t display -p -t demo '#{pane_title}')" = "$title" ] || fail "the settings file set the title"
type_on "host>" 'exit'
press Enter
check_restored "after exit"
host_env=

# Stopped and continued from an interactive shell with job control, the prompt works as before.
type_on '$' "TALLIX_REGISTRY=$work/fresh.reg $host"
press Enter
wait_row "host>"
host_pid=$(pgrep -P "$shell_pid" -x tallix-host)
kill -TSTP "$host_pid"
wait_row '$'
type_on '$' 'fg'
press Enter
wait_row "host>"
type_on "host>" 'echo %HOME'
press M-x
wait_row "host> echo $work/home"
press Enter
wait_row "host>"
type_on "host>" 'exit'
press Enter
wait_row '$'

# The history lives in the host's own file under the state folder; the user's file is untouched.
grep -qx 'echo remembered' "$work/home/.local/state/tallix/tallix_history" ||
    fail "no history in ~/.local/state/tallix/tallix_history"
[ "$(cat "$work/history")" = mine ] || fail "the host changed a history file it did not create"

echo "terminal test passed"
