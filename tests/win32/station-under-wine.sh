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
#   tests/win32/station-under-wine.sh NATIVE_BUILD WINDOWS_BUILD
set -uo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
exe=$windows/bin/stb-downloader.exe
driver=$windows/tests/win32/console_control.exe
for file in "$exe" "$driver" "$native/bin/stb-box-sim"; do
  [ -f "$file" ] || { echo "station-under-wine: $file is not built" >&2; exit 1; }
done

export WINEPREFIX="$windows/wineprefix-station" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The console this test makes stays without a window.
unset DISPLAY WAYLAND_DISPLAY
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  if [ -d "$windows/wineprefix/dosdevices" ]; then
    cp -a "$windows/wineprefix" "$WINEPREFIX"
  else
    "$wine" wineboot -i > /dev/null 2>&1
  fi
fi

work=$(mktemp -d)
box_pids=()
station_pid=
cleanup() {
  set +e
  [ -n "$station_pid" ] && kill "$station_pid" 2> /dev/null
  for pid in "${box_pids[@]}"; do kill "$pid" 2> /dev/null; done
  "$wineserver" -k > /dev/null 2>&1
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP
cd "$work" || exit 1

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

# COM1 to COM4, through the registry key Wine's mount manager makes them from.
"$wineserver" -k > /dev/null 2>&1
for n in 1 2 3 4; do
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "${ports[$((n - 1))]}" /f > /dev/null 2>&1
done
"$wineserver" -k > /dev/null 2>&1
"$wineserver" -p5 > /dev/null 2>&1

logs=logs-журнал
report_file=отчёт.jsonl
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
started=$(date +%s.%N)
pressed=$started
"$wine" "$driver" stdout.txt stderr.txt ask "$(windows_path "$exe")" --station --code APP103 \
  --port COM1 --port COM2 --port COM3 --port COM4 --log-dir "$logs" --report "$report_file" \
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
  "$wineserver" -k > /dev/null 2>&1
fi

status=
for _ in $(seq 600); do
  if ! kill -0 "$station_pid" 2> /dev/null; then
    wait "$station_pid"
    status=$?
    station_pid=
    break
  fi
  sleep 0.1
done
ended=$(date +%s.%N)
[ -n "$status" ] || fail "the station did not end within 60 s of Ctrl+C"
"$wineserver" -k > /dev/null 2>&1
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
