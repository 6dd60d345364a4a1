#!/usr/bin/env bash
# The station window on a real X server (Xvfb), driven as an operator drives
# it, against four simulated boxes: two upgraded at once, one from another
# maker (refused), one that takes 40 s to write its flash.
#
# A wrong code is typed into the masked field first: the window says so and
# no port is touched. Then the right one: the tiles' colours are read off
# the screen and their words and the counters through the clipboard (Ctrl+C,
# as an operator copies them into a note); a tile opens its port's log.
# "Stop taking boxes" is pressed and the window closed during the flash
# write: asked once, it waits for that box and closes itself. The images the
# boxes took are compared byte for byte, and the report read.
#
# Then Ctrl+C from the terminal, once, during an upgrade: the box is not
# cut off, and the window closes itself when it is done.
#
#   tests/frontends/window/qt/station-window-on-x.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
probe="$build/tests/x-window-probe"
source "$root/tools/harness.sh"
need_tools station-window-on-x xvfb-run xdotool xwininfo
run_on_xvfb 1100x800x24 "$0" "$@"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

# The station window answers an interrupt by finishing the upgrades under
# way: a run cut short ends it at once.
at_exit() { [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null; }
enter_work
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 station ./image.bin 3 0x9FC10000 \
  > inc/app1.inc
# 40 blocks: ten flash steps.
head -c $((40 * 1024)) /dev/urandom > image.bin

fail() { echo "FAIL: $*" >&2; echo "$*" >> "$work/failures"; }

# Starts a simulated box named $1 with the options that follow; its device
# goes to $1.pty, its summary to $1.json.
box() {
  local name=$1; shift
  "$build/bin/stb-box-sim" --path-file "$name.pty" --summary "$name.json" "$@" > /dev/null 2>&1 &
  echo $! > "$name.pid"
  for _ in $(seq 50); do [ -s "$name.pty" ] && break; sleep 0.1; done
  [ -s "$name.pty" ] || { fail "box $name did not start"; return 0; }
  # The station keeps opening the port after the box has ended: its number
  # is held until the script ends, so that it leads to no other program's
  # line meanwhile.
  "$build/tests/pty_hold" "$(cat "$name.pty")" > "$name.hold" &
  for _ in $(seq 50); do [ -s "$name.hold" ] && return 0; sleep 0.1; done
  fail "the number of box $name's pseudo-terminal is not held"
}

# The station window ends by itself within SECONDS with exit status STATUS;
# WHEN says after what, in the failure.
closes_itself() {
  local seconds=$1 expected=$2 when=$3 status=0
  if ! wait_end "$app_pid" "$seconds"; then
    fail "the window did not close itself $when"
    kill -KILL "$app_pid"
  else
    wait "$app_pid" || status=$?
    [ "$status" -eq "$expected" ] || fail "exit status $when: $status"
  fi
  app_pid=
}

# Waits up to $3 tenths of a second for a line $1 in the log of the port of
# box $2.
wait_logged() {
  local device name
  device=$(cat "$2.pty")
  name=${device#/dev/}
  name=${name//\//_}
  for _ in $(seq "$3"); do
    cat logs/"$name"-*.log 2>/dev/null | cut -d' ' -f3- | grep -qxF "$1" && return 0
    sleep 0.1
  done
  return 1
}

# Where things stand in the window (the layout's numbers): tile $1's inside,
# right of its texts; the counters; the status; the code message; buttons.
tile_x() { echo $((6 + $1 * 230 + 224 - 3)); }
tile_y() { echo $((64 + 6 + 40)); }
# With no window manager, the keys go where the focus was put.
click() {
  xdotool windowfocus --sync "$main"
  xdotool mousemove --window "$main" "$1" "$2" click 1
  sleep 0.2
}
# The text a label shows, copied as an operator would copy it.
# What was just copied, once it has replaced `$1` on the clipboard: on a
# loaded machine a copy can take longer than any fixed pause, and a stale
# clipboard would be read as the words of another control.
# Under the sanitizers on a loaded machine a click or a key can be taken
# late enough that the copy has not come in 3 s: the copy is made again
# (a click and a copy change nothing in the window) before the old clipboard
# is given up and returned.
copied() {
  local now=
  for _ in $(seq 30); do
    sleep 0.1
    now=$("$probe" clipboard 2> /dev/null || true)
    [ "$now" != "$1" ] && break
  done
  echo "$now"
}
copy_label() {
  local before now
  before=$("$probe" clipboard 2> /dev/null || true)
  for _ in 1 2 3; do
    click "$1" "$2"
    xdotool key ctrl+a ctrl+c
    now=$(copied "$before")
    [ "$now" != "$before" ] && break
  done
  echo "$now"
}
copy_tile() {
  local before now
  before=$("$probe" clipboard 2> /dev/null || true)
  for _ in 1 2 3; do
    click "$(tile_x "$1")" "$(tile_y)"
    xdotool key ctrl+c
    now=$(copied "$before")
    [ "$now" != "$before" ] && break
  done
  echo "$now"
}
tile_colour() { "$probe" pixel "$main" "$(tile_x "$1")" "$(tile_y)"; }

waiting=e8e8e8 upgrading=ffe98a passed=8de08d failed=f08a8a refused=c8b4f4

# --- An operator's run ---
box a --boxes 2 --stay-on 120000 --image-out a.bin
box b --boxes 2 --stay-on 120000 --image-out b.bin
box c --oui 0001
box d --flash-delay 4000 --image-out d.bin
"$build/bin/stb-downloader" --station --window --log-dir logs --report report.jsonl \
  --port "$(cat a.pty)" --port "$(cat b.pty)" --port "$(cat c.pty)" --port "$(cat d.pty)" > run.out 2>&1 &
app_pid=$!
main=$(wait_window 'stb-downloader station' 10) || { fail "no station window"; exit 1; }
xdotool windowfocus --sync "$main"
sleep 0.5

# A wrong code: said so, and no port touched (no log, no report).
xdotool type --delay 40 WRONG1
xdotool key Return
sleep 0.6
message=$(copy_label 40 49)
[ "$message" = "This code chooses no mode. Type the code again." ] || fail "the code message: '$message'"
[ ! -e logs ] && [ ! -e report.jsonl ] || fail "a wrong code touched the ports"
# The ports' tiles stand there from the start, waiting for the code.
[ "$(tile_colour 0)" = "$waiting" ] || fail "tile 1 before any code: $(tile_colour 0)"
[ "$(copy_tile 3 | sed -n 2p)" = "waiting for the code" ] || fail "tile 4 before any code: $(copy_tile 3)"

# The right one, into the field again.
click 116 21
xdotool type --delay 40 APP103
xdotool key Return
wait_logged "Congraturation! Software Upgrade OK !!!" a 150 || fail "box a was not upgraded"
wait_logged "Congraturation! Software Upgrade OK !!!" b 150 || fail "box b was not upgraded"
wait_logged "  - Invalid OUI !!" c 150 || fail "box c was not refused"
wait_logged "5. Ram Image CRC OK" d 150 || fail "box d never began its flash write"
sleep 1.5  # the refused box's port sees it gone; a turn draws it

colours="$(tile_colour 0) $(tile_colour 1) $(tile_colour 2) $(tile_colour 3)"
[ "$colours" = "$passed $passed $refused $upgrading" ] || fail "the tiles' colours: $colours"
counters=$(copy_label 400 35)
case $counters in
  "upgraded 2   refused 1   failed 0   total 3   running 1   time 0:00:"*) ;;
  *) fail "the counters: '$counters'" ;;
esac
refused=$(copy_tile 2)
[ "$(head -1 <<< "$refused")" = "$(cat c.pty)" ] || fail "tile 3's port: $(head -1 <<< "$refused")"
grep -qxF "refused:   - Invalid OUI !!" <<< "$refused" || fail "tile 3's words: $refused"
grep -qxF "upgraded 0  refused 1  failed 0" <<< "$refused" || fail "tile 3's counters: $refused"
flashing=$(copy_tile 3)
grep -qxF "flash write" <<< "$flashing" || fail "tile 4's words: $flashing"

# Stop taking boxes.
click 300 21
status=$(copy_label 400 14)
[ "$status" = "taking no new boxes: 1 upgrade(s) under way" ] || fail "the status after Stop: '$status'"
# The same button takes boxes again, and stops again.
click 300 21
status=$(copy_label 400 14)
[ "$status" = "taking boxes" ] || fail "the status after Take boxes again: '$status'"
click 300 21

# A tile opens its port's log.
xdotool mousemove --window "$main" "$(tile_x 0)" "$(tile_y)" click --repeat 2 --delay 80 1
log=$(wait_window "Log of $(cat a.pty)" 10) || fail "no log window for box a"
if [ -n "$log" ]; then
  xdotool windowfocus --sync "$log"
  before=$("$probe" clipboard 2> /dev/null || true)
  xdotool key ctrl+a ctrl+c
  copied "$before" > log.txt
  # The port's log as written, not the tile's words.
  grep -q "^20.* WARNING !!! --- Check DOWNLOAD ADDRESS$" log.txt && grep -q "Congraturation! Software Upgrade OK !!!" log.txt ||
    fail "the log window's text: $(head -3 log.txt)"
  "$probe" close "$log"
  sleep 0.5  # the focus leaves it before it is put back on the station window
fi

# Close the window while box d writes its flash.
# (A close sent while the log window is still on its way out can be lost
# under the sanitizers, as an operator's click can: then it is sent again.)
question=
for _ in 1 2 3; do
  "$probe" close "$main"
  question=$(wait_window 'stb-downloader station' 10 "$main") && break
done
[ -n "$question" ] || fail "no close question"
if [ -n "$question" ]; then
  xdotool windowfocus --sync "$question"
  xdotool key Return  # Yes
fi
sleep 0.5
"$probe" close "$main"
sleep 1
asked=$(xdotool search --all --onlyvisible --pid "$app_pid" --name '^stb-downloader station$' | wc -l)
[ "$asked" -eq 1 ] || fail "asked again ($asked windows)"
[ "$(tile_colour 3)" = "$upgrading" ] || fail "box d's tile during the close: $(tile_colour 3)"
xwininfo -id "$main" | grep -q IsViewable || fail "the window went before box d was done"
wait_logged "5. Ram Image CRC OK" d 1 && ! wait_logged "Please Turn Off and On the STB set !!!" d 1 ||
  fail "box d was done too early for the test"

# It closes itself once box d is done: 1, since box c was refused.
closes_itself 60 1 "after the last upgrade"

# Boxes a and b stay on until they are switched off: then they say what
# they took.
for name in a b; do kill "$(cat $name.pid)"; done
for name in a b; do while kill -0 "$(cat $name.pid)" 2>/dev/null; do sleep 0.1; done; done
for name in a b d; do
  cmp -s image.bin "$name.bin" || fail "the image box $name took differs"
done
grep -q '"end":"done"' d.json || fail "box d: $(cat d.json)"
[ "$(wc -l < report.jsonl)" -eq 4 ] || fail "report lines: $(wc -l < report.jsonl)"
for name in a b d; do
  grep -F "\"port\":\"$(cat $name.pty)\"" report.jsonl | grep -q '"result":"upgraded"' || fail "report of box $name"
done
grep -F "\"port\":\"$(cat c.pty)\"" report.jsonl | grep -q '"result":"refused"' || fail "report of box c"

# --- Ctrl+C from the terminal, once, during an upgrade ---
rm -rf logs report.jsonl
box e --flash-delay 500 --image-out e.bin
"$build/bin/stb-downloader" --station --window --code APP103 --log-dir logs --report report.jsonl \
  --port "$(cat e.pty)" > run2.out 2>&1 &
app_pid=$!
main=$(wait_window 'stb-downloader station' 10) || fail "no station window the second time"
wait_logged "5. Ram Image CRC OK" e 150 || fail "box e never began its flash write"
kill -INT "$app_pid"
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "Ctrl+C cut the upgrade off"
closes_itself 15 0 "after Ctrl+C and the last upgrade"
grep -q "SIGINT: no new boxes are taken" run2.out || fail "the interrupt's line: $(cat run2.out)"
cmp -s image.bin e.bin || fail "the image box e took differs"
grep -q '"result":"upgraded"' report.jsonl || fail "box e's report: $(cat report.jsonl)"

if [ -s "$work/failures" ]; then exit 1; fi
echo "station-window-on-x: codes, tiles, counters, log, Stop taking boxes, close and Ctrl+C as an operator meets them"
