#!/usr/bin/env bash
# The operator window on a real X server (Xvfb), driven through the X server
# as an operator would drive it. The off-screen platform of the other window
# tests cannot see what a desktop backend adds to a title.
#
#   tests/frontends/window/qt/window-on-x.sh BUILD_DIR
#
# Run 1 meets a box whose download address differs from the include file's:
# the warning (a message box), the confirmation, answered Yes, and the
# information box; the captions are read as a window manager reads them, and
# the box's record is the one line of the report.
# Run 2 types the code of a mode without an include file: the default error
# handler's box. Run 3 asks for a log file that cannot be written: the window
# refuses to start, with a box, before the port is opened. Run 4 names a port
# that does not exist: the connection box, and the port and why on stderr.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
source "$root/tools/harness.sh"
source "$root/tools/box.sh"
need_tools window-on-x xvfb-run xdotool xprop
run_on_xvfb 800x800x24 "$0" "$@"
# A desktop backend, whatever the rest of the suite runs on.
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# Under the sanitizers: what the X libraries keep until exit is not ours to
# report, and would turn every exit status into 1.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

enter_work
mkdir inc
# The simulated box reports 0x9FC10000; this include file says 0x9FC20000.
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 captions ./image.bin 3 0x9FC20000 \
  > inc/app1.inc
head -c 3000 /dev/zero > image.bin

main_caption='::::: Orvanta STB  Serial DownLoader v3.3 :::::'
# Counted in a file: some checks run in a subshell.
fail() { echo "FAIL: $*" >&2; echo "$*" >> "$work/failures"; }

# The main window: checked for its caption, then found whatever it reads so
# that the boxes behind it are still checked.
main_window() {
  local w
  if w=$(wait_titled_window "$main_caption" 10); then echo "$w"; return 0; fi
  fail "main window caption"
  xdotool search --sync --onlyvisible --pid "$app_pid" '' | head -1
}

# Types $2 into window $1 through the X server, as a keyboard would.
type_into() {
  xdotool windowfocus --sync "$1"
  xdotool type --delay 60 "$2"
}


# --- Run 1: message box, confirmation, information box ---
start_box "$build"
"$build/bin/stb-downloader" --port "$box_port" --report "$work/boxes.jsonl" > run1.out 2>&1 &
app_pid=$!
main=$(main_window)
type_into "$main" APP103
if box=$(wait_titled_window stb-downloader 10); then type_into "$box" $'\r'; else fail "message box caption"; fi
if box=$(wait_titled_window Confirm 10); then type_into "$box" y; else fail "confirmation caption"; fi
if box=$(wait_titled_window Information 10); then type_into "$box" $'\r'; else fail "information caption"; fi
# Answered Yes, the information box closes the window and the program ends.
wait_end "$app_pid" 10 || fail "the program still runs after the information box"
kill "$app_pid" 2>/dev/null || true
app_pid=
stop_box
# The box's record, one line, as the station writes its boxes'.
[ "$(wc -l < boxes.jsonl 2>/dev/null || echo 0)" -eq 1 ] || fail "report lines: $(cat boxes.jsonl 2>&1)"
grep -q '^{"port":"[^"]*","start":"[^"]*","end":"[^"]*","mode":3,"result":"refused","decided_by":"  Warning !!!. Download Address MisMatch... !!!","reason":"download address","step":1,"box":{"oui":"0022",' boxes.jsonl ||
  fail "report line: $(cat boxes.jsonl)"
grep -q '"include_file":"./inc/app1.inc","image":{"path":"./image.bin","bytes":3000,"blocks":3,"sha256":"[0-9a-f]\{64\}"}' boxes.jsonl ||
  fail "report line's image: $(cat boxes.jsonl)"

# --- Run 2: the default error handler's box ---
start_box "$build"
"$build/bin/stb-downloader" --port "$box_port" > run2.out 2>&1 &
app_pid=$!
main=$(main_window)
type_into "$main" NATV02  # no ./inc/native.inc
wait_titled_window stb-downloader 10 > /dev/null || fail "error box caption"
kill "$app_pid" 2>/dev/null || true
app_pid=
stop_box

# --- Run 3: a log file that cannot be written ---
start_box "$build"
"$build/bin/stb-downloader" --port "$box_port" --log-file "$work/no/such/folder/run.log" > run3.out 2> run3.err &
app_pid=$!
if box=$(wait_titled_window stb-downloader 10); then type_into "$box" $'\r'; else fail "refusal box caption"; fi
status=0
wait "$app_pid" || status=$?
app_pid=
[ "$status" -eq 2 ] || fail "refused start exits with $status, not 2"
grep -q "^stb-downloader: cannot write the log file $work/no/such/folder/run.log: No such file or directory\$" run3.err ||
  fail "no reason on stderr: $(cat run3.err)"
[ "$(wc -c < box.json 2>/dev/null || echo 0)" -gt 0 ] && grep -q '"end":"done"' box.json && fail "the port was used"
stop_box

# --- Run 4: a port that does not exist ---
# The connection box, and beside it on stderr which port and why; its OK
# (Return) leaves the window open, the port closed.
"$build/bin/stb-downloader" --port "$work/no-such-port" > run4.out 2> run4.err &
app_pid=$!
if box=$(wait_titled_window stb-downloader 10); then type_into "$box" $'\r'; else fail "connection box caption"; fi
main_window > /dev/null
grep -qxF "stb-downloader: Port $work/no-such-port: No such file or directory" run4.err ||
  fail "no port and reason on stderr: $(cat run4.err)"
kill -0 "$app_pid" 2>/dev/null || fail "the window did not stay open after the connection box"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=

if [ -s "$work/failures" ]; then exit 1; fi
echo "window-on-x: captions as set; the box's record in the report; a log file that cannot be written refused before the port;" \
  "a port that will not open named with its reason on stderr"
