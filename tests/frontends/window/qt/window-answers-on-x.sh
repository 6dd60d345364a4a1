#!/usr/bin/env bash
# The operator window on a real X server (Xvfb) while the box writes its
# flash for 15 s: it answers every _NET_WM_PING within a second all along,
# as a window manager asks before it calls a window hung, and a close asked
# for during the flash write changes nothing: the upgrade
# runs to its end, once, and the window stays up until its success box.
# The program is ended there: what the box then does is not looked at.
#
#   tests/frontends/window/qt/window-answers-on-x.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
probe="$build/tests/x-window-probe"
source "$root/tools/harness.sh"
source "$root/tools/box.sh"
need_tools window-answers-on-x xvfb-run xdotool xwininfo
run_on_xvfb 800x800x24 "$0" "$@"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

enter_work
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 slow-flash ./image.bin 3 0x9FC10000 \
  > inc/app1.inc
# 60 blocks: fifteen flash steps of a second each.
head -c $((60 * 1024)) /dev/urandom > image.bin

fail() { echo "FAIL: $*" >&2; echo "$*" >> "$work/failures"; }

# Waits up to $2 tenths of a second for a line $1 in the log file.
wait_logged() {
  for _ in $(seq "$2"); do grep -qxF "$1" <(cut -d' ' -f3- run.log 2>/dev/null) && return 0; sleep 0.1; done
  return 1
}

start_box "$build" --flash-delay 1000
"$build/bin/stb-downloader" --port "$box_port" --log-file run.log > run.out 2>&1 &
app_pid=$!
main=$(wait_window '::::: Orvanta STB  Serial DownLoader v3.3 :::::' 10) || { fail "no main window"; exit 1; }
"$probe" ping "$main" > ping.out &
ping_pid=$!
xdotool windowfocus --sync "$main"
xdotool type --delay 60 APP103

if wait_logged "5. Ram Image CRC OK" 300; then
  sleep 2
  # In the middle of the flash write: a code typed and a close.
  xdotool type --window "$main" --delay 60 NATV02
  "$probe" close "$main"
  sleep 2
  xwininfo -id "$main" | grep -q 'IsViewable' || fail "the window went away during the flash write"
else
  fail "the flash write never began"
fi

# The upgrade's end: its success box, over the window.
wait_logged "Please Turn Off and On the STB set !!!" 400 || fail "no success lines: $(tail -n 3 run.log)"
wait_window stb-downloader 10 > /dev/null || fail "no success box"
# The box is past its image: an interrupt now ends the program at once.
kill "$app_pid" 2>/dev/null || true
if ! wait_end "$app_pid" 5; then
  fail "an interrupt while the success box is shown did not end the program"
  kill -KILL "$app_pid" 2>/dev/null
fi
wait "$app_pid" 2>/dev/null || true
app_pid=
status=0
wait "$ping_pid" || status=$?
ping_pid=
cat ping.out
[ "$status" -eq 0 ] || fail "the window did not answer the window manager in time"
wait_box

logged=$(cut -d' ' -f3- run.log)
[ "$(grep -cxF '1. Check Machine' <<< "$logged")" -eq 1 ] || fail "not exactly one upgrade"
[ "$(tail -n 1 <<< "$logged")" = 'stb-downloader: stopped by SIGTERM after "7. Update Version Table OK", 61440 of 61440 bytes sent' ] ||
  fail "the interrupt's line: $(tail -n 1 <<< "$logged")"
tail -n 7 <<< "$logged" | head -n 6 | diff - <(printf '%s\n' "6. Flash Image CRC OK" "  Version Table Write OK!" \
  "7. Update Version Table OK" \
  "---------------------------------------" "Congraturation! Software Upgrade OK !!!" \
  "Please Turn Off and On the STB set !!!") > /dev/null || fail "the log's end: $(tail -n 9 <<< "$logged")"
grep -q '"end":"done"' box.json || fail "the box was not upgraded: $(cat box.json)"

if [ -s "$work/failures" ]; then exit 1; fi
echo "window-answers-on-x: every ping answered within a second through a 15 s flash write"
