#!/usr/bin/env bash
# The Windows operator window under Wine on a real X server (Xvfb), driven
# through the X server as an operator would drive it: the window is found by
# its caption, the code is typed into its log, the box at the end is
# dismissed with the keyboard. The port is Wine's COM1, mapped to the
# pseudo-terminal of the simulated box.
#
#   tests/frontends/window/win32/window-under-wine.sh NATIVE_BUILD WINDOWS_BUILD
#
# Run 1 (stb-downloader.exe, the console build, which opens the window by
# default): a full upgrade; the box holds the image byte for byte, the log
# file holds the success lines, the report the box's record with the image's
# digest, Return dismisses the success box and the program ends. Run 2
# (stb-downloaderw.exe, the windows-subsystem build): a box of another maker;
# the refusal's lines, its box, its record, and the program ends with nothing
# sent to the box.
#
# Wine's X driver shows each top-level window as an X window of its own and
# names it with both WM_NAME and _NET_WM_NAME: those are what is read here.
set -uo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
source "$root/tools/wine.sh"
source "$root/tools/box.sh"
need_tools window-under-wine xvfb-run xdotool xprop
run_on_xvfb 1024x768x24 "$0" "$@" < /dev/null
use_wine_prefix "$windows/wineprefix"

# Both builds of the program.
console_exe=$windows/bin/stb-downloader.exe
windowed_exe=$windows/bin/stb-downloaderw.exe
for exe in "$console_exe" "$windowed_exe"; do
  [ -f "$exe" ] || { echo "window-under-wine: $exe is not built" >&2; exit 1; }
done

# Bounds, generous for a slow, shared machine: Wine's first window in a
# prefix takes a while to come up.
window_bound=90     # seconds until the main window shows
mode_bound=30       # from typing the code until the mode line is logged
upgrade_bound=240   # from the mode line until the closing box shows
end_bound=60        # from dismissing the box until the program has ended

# Before Xvfb goes: no Wine process is left holding the display.
at_exit() { stop_wine; }
enter_work
make_wine_prefix

mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 window ./image.bin 3 0x9FC10000 > inc/app1.inc
image_size=40000
head -c "$image_size" /dev/urandom > image.bin

main_caption='::::: Orvanta STB  Serial DownLoader v3.3 :::::'
box_caption=stb-downloader
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

# The log file's texts, without the time each line carries.
log_texts() { cut -d' ' -f3- "$1" 2> /dev/null; }
logged() { log_texts "$1" | grep -qxF -- "$2"; }

# Waits up to $3 s for the line $2 in log file $1.
wait_logged() {
  for _ in $(seq $(($3 * 5))); do
    logged "$1" "$2" && return 0
    kill -0 "$app_pid" 2> /dev/null || break
    sleep 0.2
  done
  logged "$1" "$2"
}

# Gives window $1 the keyboard and types $2 into its log. Wine has no window
# manager here to hand out the focus: the X focus is set, and a click into
# the log puts the keyboard there whatever had it before.
type_into_log() {
  timeout 20 xdotool windowfocus --sync "$1" ||
    echo "  (the X focus did not reach window $1; typing all the same)" >&2
  # The middle of the log, whether or not the X window includes a frame.
  timeout 20 xdotool mousemove --window "$1" 270 480 click 1
  timeout 30 xdotool type --delay 80 "$2"
}

# Presses Return in box $1.
dismiss() {
  timeout 20 xdotool windowfocus --sync "$1" ||
    echo "  (the X focus did not reach box $1; pressing Return all the same)" >&2
  timeout 20 xdotool key Return
}

# Waits up to $1 s for the program to end; its exit status in $app_status.
app_status=
wait_program_end() {
  wait_end "$app_pid" "$1" || return 1
  app_status=0
  wait "$app_pid" || app_status=$?
  app_pid=
}

# The box ends by itself once the program has let go of the line.
wait_box_end() {
  wait_end "$box_pid" 30
  stop_box
}

# Starts $1 (a build of the program) on COM1 with the log file $2, in the
# background, and checks its main window: shown, captioned exactly.
start_window() {
  local exe=$1 log=$2
  "$wine" "$exe" --log-file "$log" --report "${log%.log}.jsonl" --response-timeout 10 < /dev/null \
    > "${log%.log}.out" 2> "${log%.log}.err" &
  app_pid=$!
  if ! main=$(wait_titled_window "$main_caption" "$window_bound"); then
    fail "$(basename "$exe"): no main window captioned '$main_caption'"
    return 1
  fi
  # Wine made the COM links as it started: a stale one would send the
  # program to some other pseudo-terminal.
  local com1
  com1=$(wine_com 1)
  [ "$com1" = "$box_port" ] || fail "Wine's COM1 leads to '$com1', not to the box's $box_port"
  # Start-up has written the directions by the time the window shows.
  wait_logged "$log" "WARNING !!! --- Check DOWNLOAD ADDRESS" 10 ||
    fail "$(basename "$exe"): the log file $log lacks the directions"
}

# Types code $2 into main window $1 and waits for the mode line $3 in log
# file $4; the code is typed once more if the keys went astray.
choose_mode() {
  local w=$1 code=$2 line=$3 log=$4
  type_into_log "$w" "$code"
  wait_logged "$log" "$line" "$mode_bound" && return 0
  echo "  no '$line' in the log file $mode_bound s after typing $code: typing it again" >&2
  type_into_log "$w" "$code"
  wait_logged "$log" "$line" "$mode_bound" && return 0
  fail "typing $code into the log chose no mode: no '$line' in the log file"
  return 1
}

# Waits for the closing box, checks that the main window still shows behind
# it, presses Return and checks that the program ends.
close_by_box() {
  local what=$1 box
  if ! box=$(wait_titled_window "$box_caption" "$upgrade_bound"); then
    fail "$what: no box captioned '$box_caption'"
    return 1
  fi
  xdotool search --onlyvisible --pid "$app_pid" '' 2> /dev/null | grep -qx "$main" ||
    fail "$what: the main window was gone while its box showed"
  dismiss "$box"
  if ! wait_program_end "$end_bound"; then
    fail "$what: the program still runs $end_bound s after Return in its box"
    show_windows
    return 1
  fi
}

report_run() {
  echo "  log file $1:" >&2
  sed 's/^/    /' "$1" >&2 2> /dev/null
  echo "  program output:" >&2
  cat "${1%.log}.out" "${1%.log}.err" 2> /dev/null | sed 's/^/    /' >&2
  [ -s box.json ] && echo "  box: $(cat box.json)" >&2
}


# --- Run 1: a full upgrade through the window ---
echo "window-under-wine: 1. a full upgrade ($(basename "$console_exe"))"
start_box "$native" --image-out received.bin
map_com_ports "$box_port"
run_failed=$failed
if start_window "$console_exe" run1.log &&
  choose_mode "$main" APP103 "0. Application Software 1. Mode" run1.log &&
  close_by_box "the upgrade"; then
  for line in "7. Update Version Table OK" "Congraturation! Software Upgrade OK !!!"; do
    logged run1.log "$line" || fail "the upgrade: no '$line' in the log file"
  done
  wait_box_end
  grep -q '"end":"done"' box.json 2> /dev/null || fail "the upgrade: the box did not finish: $(cat box.json 2> /dev/null)"
  if ! cmp -s -n "$image_size" image.bin received.bin; then
    fail "the upgrade: the box holds $(wc -c < received.bin) bytes that differ from the $image_size of the image"
  fi
  [ "$app_status" -eq 0 ] || fail "the upgrade: the program exits with $app_status, not 0"
  # The box's record: one line, the digest of the image as sha256sum has it.
  [ "$(wc -l < run1.jsonl 2> /dev/null || echo 0)" -eq 1 ] || fail "the upgrade: report lines: $(cat run1.jsonl 2>&1)"
  grep -q '"result":"upgraded","decided_by":"Congraturation! Software Upgrade OK !!!"' run1.jsonl ||
    fail "the upgrade: report line: $(cat run1.jsonl 2>&1)"
  grep -qF "\"sha256\":\"$(sha256sum image.bin | cut -d' ' -f1)\"" run1.jsonl ||
    fail "the upgrade: the report's digest is not the image's: $(cat run1.jsonl 2>&1)"
fi
[ "$failed" -ne "$run_failed" ] && report_run run1.log
[ -n "$app_pid" ] && kill "$app_pid" 2> /dev/null
app_pid=
stop_box

# --- Run 2: a box of another maker is refused ---
echo "window-under-wine: 2. another maker's box refused ($(basename "$windowed_exe"))"
rm -f box.json
start_box "$native" --oui 3344 --image-out received2.bin
map_com_ports "$box_port"
run_failed=$failed
if start_window "$windowed_exe" run2.log &&
  choose_mode "$main" APP103 "0. Application Software 1. Mode" run2.log &&
  close_by_box "the refusal"; then
  logged run2.log "  - Invalid OUI !!" || fail "the refusal: no '  - Invalid OUI !!' in the log file"
  if log_texts run2.log | grep -qF "Congraturation"; then fail "the refusal: the log file tells of success"; fi
  wait_box_end
  [ -s received2.bin ] && fail "the refusal: the box received $(wc -c < received2.bin) bytes of the image"
  grep -q '"result":"refused","decided_by":"  - Invalid OUI !!","reason":"OUI","step":1,' run2.jsonl ||
    fail "the refusal: report line: $(cat run2.jsonl 2>&1)"
fi
[ "$failed" -ne "$run_failed" ] && report_run run2.log
[ -n "$app_pid" ] && kill "$app_pid" 2> /dev/null
app_pid=
stop_box

if [ "$failed" -ne 0 ]; then
  echo "window-under-wine: FAILED" >&2
  exit 1
fi
echo "window-under-wine: the window, captioned as set, upgraded through COM1 (the image byte for byte) and refused another maker's box; each box was dismissed with Return and the program ended"
