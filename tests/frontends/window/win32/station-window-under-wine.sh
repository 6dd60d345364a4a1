#!/usr/bin/env bash
# The Win32 station window under Wine on a real X server (Xvfb), driven as
# an operator would: COM1 to COM4 mapped to the pseudo-terminals of four
# simulated boxes, the fourth of another maker. stb-downloaderw.exe opens
# the window with no code; a wrong code is typed into the masked field and
# touches no port, the right one starts all four. COM1 and COM2 upgrade at
# once, COM4 is refused, COM3 writes its flash slowly: the tiles' texts and
# colours and the counters are read back then. "Stop taking boxes" is
# pressed (COM1's second box is switched on later and must not be taken),
# a log-off is refused while COM3 still writes, then the window is closed: the question is
# answered Yes, the window stays until COM3's upgrade has ended, closes by
# itself, and the program ends with the station's status. The three boxes
# hold the image byte for byte and the report has a line for each box.
#
#   tests/frontends/window/win32/station-window-under-wine.sh NATIVE_BUILD WINDOWS_BUILD
set -uo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
source "$root/tools/wine.sh"
need_tools station-window-under-wine xvfb-run xdotool import convert
run_on_xvfb 1280x900x24 "$0" "$@" < /dev/null

use_wine_prefix "$windows/wineprefix"
exe=$windows/bin/stb-downloaderw.exe
probe=$windows/tests/win32/station_probe.exe
closer=$windows/tests/win32/window_probe.exe
for file in "$exe" "$probe" "$closer"; do
  [ -f "$file" ] || { echo "station-window-under-wine: $file is not built" >&2; exit 1; }
done

box_pids=()
# Before Xvfb goes: no Wine process is left holding the display.
at_exit() { stop_wine; }
enter_work
make_wine_prefix

mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 station ./image.bin 3 0x9FC10000 > inc/app1.inc
# 100 blocks: COM3 writes its flash in 25 steps of a second.
image_size=$((100 * 1024))
head -c "$image_size" /dev/urandom > image.bin

caption='stb-downloader station'
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
step() { echo "station-window-under-wine: $SECONDS s: $*"; }

# The boxes: COM1 serves a second box once Stop taking boxes has been
# pressed and before COM3 has ended, COM3 is slow, COM4 of another maker.
# Each stays on after its upgrade: its pseudo-terminal, which COMn names,
# must not go away while the station may still open COMn.
box_args=("--boxes 2 --stay-on 1000 --off 20000" "--stay-on 600000" "--flash-delay 1000 --stay-on 600000"
  "--oui 3344 --stay-on 600000")
for i in 1 2 3 4; do
  # shellcheck disable=SC2086
  "$native/bin/stb-box-sim" ${box_args[$((i - 1))]} --path-file "pty$i.txt" --summary "box$i.json" \
    --image-out "received$i.bin" > /dev/null &
  box_pids+=($!)
done
for i in 1 2 3 4; do
  for _ in $(seq 50); do [ -s "pty$i.txt" ] && break; sleep 0.1; done
done
map_com_ports "$(cat pty1.txt)" "$(cat pty2.txt)" "$(cat pty3.txt)" "$(cat pty4.txt)"

"$wine" "$exe" --station --window --port COM1 --port COM2 --port COM3 --port COM4 --log-dir logs \
  --report report.jsonl < /dev/null > run.out 2>&1 &
app_pid=$!

# What the window shows, one line a control (station_probe.exe): taken anew
# by look, read from by the others.
shown=
look() { shown=$("$wine" "$probe" read "$caption" 2> /dev/null | tr -d '\r'); }
tile() { sed -n "s/^tile $(($1 - 1)) [-0-9]* [-0-9]* [-0-9]* [-0-9]* //p" <<< "$shown"; }
bar_text() { sed -n "s/^Static [a-z]* \($1.*\)$/\1/p" <<< "$shown" | head -1; }
# Waits up to $2 s for the command $1 to succeed on what the window shows.
wait_for() {
  local until=$((SECONDS + $2))
  while [ "$SECONDS" -lt "$until" ]; do
    look
    eval "$1" && return 0
    kill -0 "$app_pid" 2> /dev/null || return 1
    sleep 0.2
  done
  look
  eval "$1"
}
# The colour of tile $1 on the screen, a little inside its left edge.
tile_color() {
  local place
  place=$(sed -n "s/^tile $(($1 - 1)) \([-0-9]*\) \([-0-9]*\) [-0-9]* \([-0-9]*\) .*/\1 \2 \3/p" <<< "$shown")
  read -r left top bottom <<< "$place"
  convert screen.png -format "%[pixel:p{$((left + 2)),$(((top + bottom) / 2))}]" info: 2> /dev/null
}
# Types $1 into the code field and presses Enter, as the keyboard does.
type_code() {
  # No window manager hands out the focus here: a click into the field
  # takes it.
  timeout 20 xdotool mousemove --window "$main" 116 21 click 1
  timeout 20 xdotool key End
  timeout 20 xdotool key --repeat 12 BackSpace
  timeout 30 xdotool type --delay 60 "$1"
  timeout 20 xdotool key Return
}

main=$(wait_window "$caption" 90)
[ -n "$main" ] || { fail "no window captioned '$caption'"; cat run.out >&2; exit 1; }

step "the window shows"
# 1. A wrong code: said under the field, and no port is touched.
type_code APP999
wait_for 'grep -q "^Static enabled .*chooses no mode" <<< "$shown"' 10 || fail "no word on the wrong code: $shown"
# The ports' tiles stand there from the start, waiting for the code.
[ "$(grep -c '^tile .* | waiting for the code | ' <<< "$shown")" -eq 4 ] ||
  fail "no four tiles waiting for the code: $(grep '^tile' <<< "$shown")"
grep -q '^Edit enabled' <<< "$shown" || fail "the code field takes no other code: $(grep Edit <<< "$shown")"
for i in 1 2 3 4; do
  [ -s "received$i.bin" ] && fail "COM$i was touched by a wrong code"
done
[ -e report.jsonl ] && fail "a wrong code started the station"

step "a wrong code typed"
# 2. The right code: four tiles; COM1 and COM2 pass, COM4 is refused while
# COM3 still writes its flash.
type_code APP103
wait_for '[ "$(grep -c "^tile " <<< "$shown")" -eq 4 ]' 15 || fail "no four tiles after the right code: $shown"
grep -q '^Edit disabled' <<< "$shown" || fail "the code field still takes a code"
wait_for 'tile 1 | grep -q " | upgraded: " && tile 2 | grep -q " | upgraded: " &&
  tile 4 | grep -q "^COM4 | refused | " && tile 3 | grep -q "^COM3 | flash write | "' 30 ||
  fail "COM1, COM2 passed, COM4 refused and COM3 writing its flash did not show: $(grep '^tile' <<< "$shown")"
step "three boxes ended, COM3 writes its flash"
import -window root screen.png
for want in "1 upgraded 141,224,141" "2 upgraded 141,224,141" "3 upgrading 255,233,138" "4 refused 200,180,244"; do
  read -r n state rgb <<< "$want"
  color=$(tile_color "$n")
  [ "$color" = "srgb($rgb)" ] || fail "tile COM$n is $color, not the colour of $state (srgb($rgb))"
done
tile 1 | grep -q " | upgraded 1  refused 0  failed 0$" || fail "COM1's counters: $(tile 1)"
tile 4 | grep -q " | refused:  *- Invalid OUI !! | upgraded 0  refused 1  failed 0$" || fail "COM4's outcome: $(tile 4)"
tile 3 | grep -q " | model 1.0  hardware 1.0 | " || fail "COM3's identity: $(tile 3)"
counters=$(bar_text upgraded)
[[ "$counters" == "upgraded 2   refused 1   failed 0   total 3   running 1   time "* ]] || fail "the counters read '$counters'"
[ "$(bar_text taking)" = "taking boxes" ] || fail "the status line reads '$(bar_text taking)'"

step "the tiles read"
# 3. Stop taking boxes, by the button.
timeout 20 xdotool mousemove --window "$main" 300 21 click 1
wait_for '[ "$(bar_text taking)" = "taking no new boxes: 1 upgrade(s) under way" ]' 10 ||
  fail "after Stop taking boxes the status line reads '$(bar_text taking)'"
grep -q '^Button enabled Take boxes again' <<< "$shown" || fail "Stop taking boxes cannot be undone"
# A log-off meanwhile waits for COM3's upgrade.
answer=$("$wine" "$probe" end-session "$caption" 2> /dev/null | tr -d '\r')
[ "$answer" = refused ] || fail "a log-off during an upgrade is answered '$answer', not refused"

step "Stop taking boxes pressed"
# 4. The window closed while COM3 writes: asked once, it stays until COM3
# has ended, then closes by itself.
"$wine" "$closer" close "$caption" || fail "the close could not be posted"
question=$(wait_window Confirm 20)
if [ -n "$question" ]; then
  timeout 20 xdotool windowfocus "$question" 2> /dev/null || true
  timeout 20 xdotool key Return
  wait_for '[ "$(bar_text closing)" = "closing when the last upgrade ends: 1 under way" ]' 10 ||
    fail "after Yes the status line reads '$(grep -m2 '^Static enabled [ct]' <<< "$shown")'"
  kill -0 "$app_pid" 2> /dev/null || fail "the window went away with an upgrade under way"
  tile 3 | grep -q "^COM3 | flash write | " || fail "COM3 is no longer writing when the window was closed: $(tile 3)"
else
  fail "no question when the window was closed during an upgrade"
fi
step "the close answered"
wait_end "$app_pid" 60
step "the program ended"
if kill -0 "$app_pid" 2> /dev/null; then
  look
  fail "the window did not close itself 60 s after the last upgrade should have ended: $shown"
else
  status=0
  wait "$app_pid" || status=$?
  [ "$status" -eq 1 ] || fail "the program ends with $status, not 1 (a box was refused)"
fi
app_pid=

# 5. The boxes and the report. The boxes still on are switched off first:
# a box writes the last of what it received as it ends.
for p in "${box_pids[@]}"; do kill "$p" 2> /dev/null; wait "$p" 2> /dev/null; done
box_pids=()
for i in 1 2 3; do
  cmp -s -n "$image_size" image.bin "received$i.bin" || fail "COM$i does not hold the image byte for byte"
done
[ -s received4.bin ] && fail "COM4 (another maker) received $(wc -c < received4.bin) bytes"
report=$(tr -d '\r' < report.jsonl 2> /dev/null)
for want in 'COM1 upgraded' 'COM2 upgraded' 'COM3 upgraded' 'COM4 refused'; do
  read -r port result <<< "$want"
  [ "$(grep -c "^{\"port\":\"$port\",.*\"result\":\"$result\"" <<< "$report")" -eq 1 ] ||
    fail "the report has no single '$result' line for $port"
done
[ "$(grep -c . <<< "$report")" -eq 4 ] || fail "the report has $(grep -c . <<< "$report") lines, not 4 (COM1's second box must not be taken)"

if [ "$failures" -ne 0 ]; then
  echo "  program output:" >&2
  sed 's/^/    /' run.out >&2
  echo "  report:" >&2
  sed 's/^/    /' report.jsonl >&2 2> /dev/null
  echo "station-window-under-wine: FAILED" >&2
  exit 1
fi
echo "station-window-under-wine: a wrong code touched no port; three boxes upgraded byte for byte and one refused, their tiles and counters read back; Stop taking boxes held back COM1's second box; closed during COM3's flash write, the window asked, waited for it and closed by itself"
