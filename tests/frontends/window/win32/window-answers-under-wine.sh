#!/usr/bin/env bash
# The Win32 operator window under Wine (Xvfb) while the box writes its flash
# for 15 s: another Windows program (tests/win32/window_probe.exe) sends it
# WM_NULL every 100 ms until its success box has shown, as the system does before it calls a
# window hung, and each must be answered within a second. In the middle of
# the flash write the code is typed once more and a close is posted: neither
# changes anything until the upgrade's end. The upgrade runs once, to its
# success lines and box, the box is dismissed with Return and the program
# ends; the box is upgraded and holds the image byte for byte.
#
#   tests/frontends/window/win32/window-answers-under-wine.sh NATIVE_BUILD WINDOWS_BUILD
set -uo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
source "$root/tools/wine.sh"
source "$root/tools/box.sh"
need_tools window-answers-under-wine xvfb-run xdotool
run_on_xvfb 1024x768x24 "$0" "$@" < /dev/null

use_wine_prefix "$windows/wineprefix"
exe=$windows/bin/stb-downloaderw.exe
probe=$windows/tests/win32/window_probe.exe
for file in "$exe" "$probe"; do
  [ -f "$file" ] || { echo "window-answers-under-wine: $file is not built" >&2; exit 1; }
done

ping_pid=
# Before Xvfb goes: no Wine process is left holding the display.
at_exit() { stop_wine; }
enter_work
make_wine_prefix

mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 slow-flash ./image.bin 3 0x9FC10000 > inc/app1.inc
# 60 blocks: fifteen flash steps of a second each.
image_size=$((60 * 1024))
head -c "$image_size" /dev/urandom > image.bin

main_caption='::::: Orvanta STB  Serial DownLoader v3.3 :::::'
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

log_texts() { cut -d' ' -f3- run.log 2> /dev/null | tr -d '\r'; }
logged() { log_texts | grep -qxF -- "$1"; }
# Waits up to $2 s for the line $1 in the log file.
wait_logged() {
  for _ in $(seq $(($2 * 5))); do
    logged "$1" && return 0
    kill -0 "$app_pid" 2> /dev/null || break
    sleep 0.2
  done
  logged "$1"
}

# COM1 becomes the box's pseudo-terminal.
start_box "$native" --flash-delay 1000 --image-out received.bin
map_com_ports "$box_port"

"$wine" "$exe" --log-file run.log --response-timeout 10 < /dev/null > run.out 2>&1 &
app_pid=$!
# Wine's first window in a prefix takes a while on a shared machine.
if ! main=$(wait_window "$main_caption" 90); then
  fail "no main window captioned '$main_caption'"
  exit 1
fi
[ "$(wine_com 1)" = "$box_port" ] || fail "Wine's COM1 does not lead to the box"

"$wine" "$probe" ping "$main_caption" ping.stop > ping.out 2>&1 &
ping_pid=$!
"$wine" "$probe" type "$main_caption" APP103 || fail "the code could not be typed"

if wait_logged "5. Ram Image CRC OK" 120; then
  sleep 2
  # In the middle of the flash write: the code once more, and a close.
  "$wine" "$probe" type "$main_caption" APP103 || fail "the keys could not be posted"
  "$wine" "$probe" close "$main_caption" || fail "the close could not be posted"
  sleep 2
  logged "6. Flash Image CRC OK" && fail "the flash write ended before the keys and the close: nothing was proved"
  xdotool search --onlyvisible --name "^$main_caption\$" 2> /dev/null | grep -qx "$main" ||
    fail "the window went away during the flash write"
else
  fail "the flash write never began"
fi

# The upgrade's end: its success lines, and the success box over the window.
wait_logged "Please Turn Off and On the STB set !!!" 120 || fail "no success lines"
if box=$(wait_window stb-downloader 30); then
  # The box's own loop answers too. Then the pings end: Wine with no window
  # manager holds a thread for two seconds in each hide (the box's, the
  # window's), waiting for a confirmation no one sends; no desktop does that.
  sleep 2
  touch ping.stop
  wait_end "$ping_pid" 10
  timeout 20 xdotool windowfocus --sync "$box" || echo "  (the X focus did not reach the box; pressing Return all the same)" >&2
  timeout 20 xdotool key Return
else
  fail "no success box"
fi
if ! wait_end "$app_pid" 60; then
  fail "the program still runs 60 s after Return in its success box"
else
  wait "$app_pid" || fail "the program exits with $?, not 0"
fi
app_pid=

# Whatever went before, the probe ends here.
touch ping.stop
wait_end "$ping_pid" 10
kill "$ping_pid" 2> /dev/null && fail "the probe did not end"
status=0
wait "$ping_pid" || status=$?
ping_pid=
tr -d '\r' < ping.out
[ "$status" -eq 0 ] || fail "the window did not answer every ping within a second"

wait_end "$box_pid" 30
stop_box
texts=$(log_texts)
[ "$(grep -cxF '1. Check Machine' <<< "$texts")" -eq 1 ] || fail "not exactly one upgrade"
tail -n 6 <<< "$texts" | diff - <(printf '%s\n' "6. Flash Image CRC OK" "  Version Table Write OK!" \
  "7. Update Version Table OK" "---------------------------------------" \
  "Congraturation! Software Upgrade OK !!!" "Please Turn Off and On the STB set !!!") > /dev/null ||
  fail "the log's end: $(tail -n 8 <<< "$texts")"
grep -q '"end":"done"' box.json 2> /dev/null || fail "the box was not upgraded: $(cat box.json 2> /dev/null)"
cmp -s -n "$image_size" image.bin received.bin || fail "the box does not hold the image byte for byte"

if [ "$failures" -ne 0 ]; then
  echo "  log file:" >&2
  sed 's/^/    /' run.log >&2 2> /dev/null
  echo "window-answers-under-wine: FAILED" >&2
  exit 1
fi
echo "window-answers-under-wine: every ping answered within a second through a 15 s flash write; keys and a close posted during it changed nothing"
