#!/usr/bin/env bash
# The console station of the Windows build under Wine: COM1 to COM4 mapped to
# four simulated boxes on pseudo-terminals, the fourth from another maker.
# Once the three others take their images, Ctrl+C is pressed once in the
# station's console (tests/win32/console_control.exe): no new box is taken,
# the three upgrades go on to their end, and the station ends with exit
# status 1 (one box refused). Three boxes hold the image byte for byte, the
# report has one line per box with its result, each port has its log named
# after its COM port, and the summary counts them. The log folder and the
# report are named in Cyrillic, given on the command line: they are made
# under those names.
#
# It has a Wine prefix of its own (made once, from the main one if there is
# one), so it can run beside the other Wine steps.
#
# Then, where the machine's own serial devices are hidden (tools/wine-tests.sh),
# `--port all` with one box on COM1: it is upgraded, exit status 0.
#
# Last, the names of the ports: COM1 given as COM1 and \\.\COM1 is refused
# (exit status 2) naming both, as is "COM 1"; COM99, which is not there, is
# said once to be no such port, and waited for until Ctrl+C.
#
#   tests/win32/station-under-wine.sh NATIVE_BUILD WINDOWS_BUILD
set -uo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/tools/wine.sh"

use_wine_prefix "$windows/wineprefix-station"
exe=$windows/bin/stb-downloader.exe
driver=$windows/tests/win32/console_control.exe
for file in "$exe" "$driver" "$native/bin/stb-box-sim"; do
  [ -f "$file" ] || { echo "station-under-wine: $file is not built" >&2; exit 1; }
done

# The console this test makes stays without a window.
unset DISPLAY WAYLAND_DISPLAY
if [ ! -d "$WINEPREFIX/dosdevices" ] && [ -d "$windows/wineprefix/dosdevices" ]; then
  cp -a "$windows/wineprefix" "$WINEPREFIX"
fi
make_wine_prefix

box_pids=()
station_pid=
at_exit() { stop_wine; }
enter_work

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 station ./image.bin 3 0x9FC10000 > inc/app1.inc
# About 6 s a box at 115200 bit/s: time to press Ctrl+C while they take it.
image_size=$((64 * 1024))
head -c "$image_size" /dev/urandom > image.bin

# Four boxes, each on a line of its own at 115200 bit/s; the fourth's OUI is
# not the include file's. A box stays on after its upgrade until the test
# ends it: its pseudo-terminal, which COMn names, must not go away while the
# station may still open COMn (another program could be given its number).
ports=()
for n in 1 2 3 4; do
  oui=()
  [ "$n" = 4 ] && oui=(--oui 0001)
  "$native/bin/stb-box-sim" --bps 115200 "${oui[@]}" --boxes 2 --stay-on 600000 --image-out "received$n.bin" \
    --path-file "pty$n.txt" --summary "box$n.json" > /dev/null &
  box_pids+=($!)
done
for n in 1 2 3 4; do
  for _ in $(seq 50); do [ -s "pty$n.txt" ] && break; sleep 0.1; done
  ports+=("$(cat "pty$n.txt")")
done

# COM1 to COM4.
map_com_ports "${ports[@]}"

logs=logs-журнал
report_file=отчёт.jsonl
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
started=$(date +%s.%N)
pressed=$started
# Each port written another way Windows takes: logs, report and summary
# name each by its one name, COMn.
"$wine" "$driver" stdout.txt stderr.txt ask "$(windows_path "$exe")" --station --code APP103 \
  --port COM1 --port com2 --port COM3: --port '\\.\COM4' --log-dir "$logs" --report "$report_file" \
  --response-timeout 10 > driver.txt 2>&1 &
station_pid=$!

log_of() { cat "$logs"/COM"$1"-*.log 2> /dev/null | tr -d '\r'; }
report() { tr -d '\r' < "$report_file" 2> /dev/null; }
taking() {
  local n
  for n in 1 2 3; do log_of "$n" | grep -qF '3. Start DownLoad' || return 1; done
  report | grep -qF '"port":"COM4"'
}
for _ in $(seq 300); do
  taking && break
  kill -0 "$station_pid" 2> /dev/null || break
  sleep 0.1
done
if taking; then
  pressed=$(date +%s.%N)
  touch ask
else
  fail "the three boxes did not take their images within 30 s"
  stop_wine
fi

status=
if wait_end "$station_pid" 60; then
  wait "$station_pid"
  status=$?
  station_pid=
fi
ended=$(date +%s.%N)
[ -n "$status" ] || fail "the station did not end within 60 s of Ctrl+C"
stop_wine
# The boxes write what they received as they end.
for pid in "${box_pids[@]}"; do kill "$pid" 2> /dev/null; done
for pid in "${box_pids[@]}"; do wait "$pid" 2> /dev/null; done
box_pids=()

out=$(tr -d '\r' < stdout.txt 2> /dev/null)
err=$(tr -d '\r' < stderr.txt 2> /dev/null)
grep -qF 'Ctrl+C pressed' driver.txt || fail "Ctrl+C was not pressed: $(cat driver.txt)"
[ "$status" = 1 ] || fail "exit status $status, not 1 (one box refused)"
grep -qF 'stb-downloader: Ctrl+C: no new boxes are taken; 3 upgrade(s) under way go on to their end' <<< "$out" ||
  fail "the console does not say that the upgrades under way go on"
grep -qF 'all ports: 3 upgraded, 1 refused, 0 failed' <<< "$out" || fail "the summary does not count 3 upgraded, 1 refused"
# Every record written: each port's log still where it was opened, every
# report line on the disk.
! grep -F 'not written' <<< "$out" || fail "the summary says a record was not written"
for n in 1 2 3 4; do
  grep -qxF "  COM$n: $([ "$n" = 4 ] && echo '0 upgraded, 1 refused' || echo '1 upgraded, 0 refused'), 0 failed" \
    <<< "$out" || fail "the summary's line for COM$n"
done
for n in 1 2 3; do
  cmp -s "image.bin" "received$n.bin" || fail "box $n does not hold the image byte for byte: $(cat "box$n.json")"
  line=$(report | grep -F "\"port\":\"COM$n\"")
  grep -qF '"result":"upgraded","decided_by":"Congraturation! Software Upgrade OK !!!"' <<< "$line" ||
    fail "COM$n's report line: $line"
  log_of "$n" | grep -qF 'Congraturation! Software Upgrade OK !!!' || fail "COM$n's log has no success line"
done
line=$(report | grep -F '"port":"COM4"')
grep -qF '"result":"refused"' <<< "$line" && grep -qF '"reason":"OUI"' <<< "$line" &&
  grep -qF '"written":null' <<< "$line" || fail "COM4's report line: $line"
# Local times with the zone's offset, as on Linux.
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2}'
[ "$(report | grep -cE "\"start\":\"$stamp\",\"end\":\"$stamp\"")" = 4 ] ||
  fail "a report line's times are not ISO 8601 with the zone's offset"
[ "$(report | wc -l)" = 4 ] || fail "the report has $(report | wc -l) lines, not one for each of the 4 boxes"
[ ! -s received4.bin ] || fail "the refused box was sent an image"
log_of 4 | grep -qF '  - Invalid OUI !!' || fail "COM4's log does not say why the box was refused"
for n in 1 2 3 4; do
  names=$(cd "$logs" 2> /dev/null && ls)
  grep -qE "^COM$n-[0-9]{8}-[0-9]{6}\.log\$" <<< "$names" || fail "no log named COM$n-YYYYmmdd-HHMMSS.log in: $names"
done

# 2. --port all: every COM port Wine knows, here COM1 with one box, and the
# machine's own serial devices after it, which tools/wine-tests.sh has made
# /dev/null in a mount namespace of its own (outside it they would be
# reached: then this part is left out).
if [ "${STB_WINE_OWN_DEVICES:-}" = 1 ]; then
  "$native/bin/stb-box-sim" --bps 115200 --boxes 2 --stay-on 600000 --image-out received-all.bin \
    --path-file pty-all.txt --summary box-all.json > /dev/null &
  box_pids+=($!)
  for _ in $(seq 50); do [ -s pty-all.txt ] && break; sleep 0.1; done
  # COM1 alone: the ports mapped before go.
  stop_wine
  "$wine" reg delete 'HKLM\Software\Wine\Ports' /f > /dev/null 2>&1
  map_com_ports "$(cat pty-all.txt)"
  "$wine" "$driver" stdout-all.txt stderr-all.txt ask "$(windows_path "$exe")" --station --code APP103 \
    --port all --log-dir logs-all --report all.jsonl > driver-all.txt 2>&1 &
  station_pid=$!
  for _ in $(seq 300); do
    grep -qF '"port":"COM1"' all.jsonl 2> /dev/null && break
    kill -0 "$station_pid" 2> /dev/null || break
    sleep 0.1
  done
  touch ask
  all_status=
  if wait_end "$station_pid" 30; then
    wait "$station_pid"
    all_status=$?
    station_pid=
  fi
  stop_wine
  kill "${box_pids[@]}" 2> /dev/null
  wait "${box_pids[@]}" 2> /dev/null
  box_pids=()
  all_out=$(tr -d '\r' < stdout-all.txt 2> /dev/null)
  [ "$all_status" = 0 ] || fail "--port all: exit status $all_status, not 0"
  grep -qxF '  COM1: 1 upgraded, 0 refused, 0 failed' <<< "$all_out" || fail "--port all did not upgrade COM1's box"
  cmp -s image.bin received-all.bin || fail "--port all: the box does not hold the image byte for byte"
  if [ "$failures" -gt 0 ]; then
    echo "--- stdout (--port all)" >&2
    echo "$all_out" >&2
  else
    echo "station-under-wine: --port all took COM1 and the machine's other COM ports:" \
      "$(grep -c '^  COM' <<< "$all_out") port(s) in the summary, COM1's box upgraded"
  fi
else
  echo "station-under-wine: --port all left out: only tools/wine-tests.sh hides the machine's serial devices"
fi

# 3. One port under two spellings: refused before anything is opened, exit
# status 2, naming both as given (opened twice, the box would get two
# streams of announce words and both would write one log). A COM name with
# a blank can never be a port: refused the same way. Then a port that is not
# there: said once, not at each look, and waited for until Ctrl+C.
# ended_in PID SECONDS: $ended_status is its exit status, or empty once Wine
# had to be ended.
ended_in() {
  ended_status=
  if wait_end "$1" "$2"; then
    wait "$1"
    ended_status=$?
  else
    stop_wine
    wait "$1" 2> /dev/null
  fi
}
"$wine" "$exe" --station --code APP103 --port COM1 --port '\\.\COM1' --log-dir logs-twice --report twice.jsonl \
  > stdout-twice.txt 2> stderr-twice.txt &
ended_in $! 30
twice_status=$ended_status
twice_err=$(tr -d '\r' < stderr-twice.txt)
[ "$twice_status" = 2 ] || fail "COM1 and \\.\COM1: exit status ${twice_status:-none (still running)}, not 2"
grep -qxF 'stb-downloader: port COM1 is named twice: COM1 and \\.\COM1' <<< "$twice_err" ||
  fail "COM1 and \\.\COM1: stderr does not name both: $twice_err"
[ ! -e logs-twice ] && [ ! -e twice.jsonl ] || fail "COM1 and \\.\COM1: something was written before the refusal"
"$wine" "$exe" --station --code APP103 --port 'COM 1' > stdout-blank.txt 2> stderr-blank.txt &
ended_in $! 30
blank_status=$ended_status
blank_err=$(tr -d '\r' < stderr-blank.txt)
[ "$blank_status" = 2 ] || fail "\"COM 1\": exit status ${blank_status:-none (still running)}, not 2"
grep -qxF "stb-downloader: \"COM 1\" is no port name: a COM port's name has no blank in it (COM1)" <<< "$blank_err" ||
  fail "\"COM 1\": stderr does not say it is no port name: $blank_err"

no_such='COM99: no such port; the station waits for it and takes it on once it is there'
said_no_such() { tr -d '\r' 2> /dev/null < stdout-99.txt | grep -cxF "$no_such"; }
"$wine" "$driver" stdout-99.txt stderr-99.txt ask-99 "$(windows_path "$exe")" --station --code APP103 \
  --port COM99 --log-dir logs-99 --report 99.jsonl > driver-99.txt 2>&1 &
station_pid=$!
for _ in $(seq 200); do
  [ "$(said_no_such)" -ge 1 ] && break
  kill -0 "$station_pid" 2> /dev/null || break
  sleep 0.1
done
sleep 3 # the port is looked for every second
said_times=$(said_no_such)
touch ask-99
ended_in "$station_pid" 30
missing_status=$ended_status
station_pid=
missing_out=$(tr -d '\r' 2> /dev/null < stdout-99.txt)
[ "$said_times" = 1 ] || fail "COM99: said ${said_times:-0} times that there is no such port, not once: $missing_out"
[ "$missing_status" = 0 ] || fail "COM99: exit status ${missing_status:-none (still running)} after Ctrl+C, not 0"
grep -qxF '  COM99: 0 upgraded, 0 refused, 0 failed' <<< "$missing_out" || fail "COM99: no summary line: $missing_out"
[ "$failures" -gt 0 ] || echo "station-under-wine: COM1 named twice and \"COM 1\" refused with exit status 2;" \
  "COM99 said once to be no such port, waited for until Ctrl+C"

echo "station-under-wine: Ctrl+C $(awk "BEGIN { printf \"%.1f\", $pressed - $started }") s after the start; the station ended" \
  "$(awk "BEGIN { printf \"%.1f\", $ended - $pressed }") s later with exit status $status"
if [ "$failures" -gt 0 ]; then
  echo "--- stdout" >&2
  echo "$out" >&2
  echo "--- stderr" >&2
  echo "$err" >&2
  echo "--- report" >&2
  report >&2
  echo "--- driver" >&2
  cat driver.txt >&2
  echo "station-under-wine: $failures check(s) failed" >&2
  exit 1
fi
echo "station-under-wine: four boxes on COM1 to COM4, Ctrl+C once while three took their images:" \
  "three upgraded byte for byte, one refused, the report and the logs right"
