#!/usr/bin/env bash
# A production station against simulated boxes: several ports at once, box
# after box, one live line per port, a log per port and a JSON line per box.
#
#   tools/station-demo.sh BUILD_DIR [PORTS] [BOXES]
#
# PORTS simulated boxes (default 4), each on a pseudo-terminal of its own at
# 115200 bit/s, each serving BOXES boxes one after another (default 2): a
# box stays on for 3 s after its upgrade, then is switched off for 4 s before
# the next is switched on. The last port's first box is from another maker
# and is refused. Once every box has been served the station is stopped as an
# operator would, with Ctrl-C; the report and the logs are shown and kept in
# the scratch folder it names.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
ports=${2:-4}
boxes=${3:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/stb-station.XXXXXX")
pids=()
station=
cleanup() {
  [ -n "$station" ] && kill "$station" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

cd "$work"
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 "station demo" ./sample.bin 3 0x9FC10000 \
  > inc/app1.inc
head -c 98000 /dev/urandom > sample.bin

args=()
for i in $(seq "$ports"); do
  oui=()
  [ "$i" = "$ports" ] && [ "$ports" -gt 1 ] && oui=(--oui 0033)
  "$build/bin/stb-box-sim" --bps 115200 --boxes "$boxes" --stay-on 3000 --off 4000 "${oui[@]}" \
    --path-file "pty$i.txt" --summary "box$i.json" > /dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -s "pty$i.txt" ] && break; sleep 0.1; done
  args+=(--port "$(cat "pty$i.txt")")
done

echo "stb-downloader station demo: $ports simulated boxes at 115200 bit/s in $work" >&2
"$build/bin/stb-downloader" --station --code APP103 "${args[@]}" --log-dir logs --report report.jsonl &
station=$!

# The refused box never comes to an end of its own: every other box does.
for i in $(seq "$((ports > 1 ? ports - 1 : ports))"); do wait "${pids[$((i - 1))]}" 2>/dev/null || true; done
sleep 2
kill -INT "$station"
status=0
wait "$station" || status=$?
station=

echo >&2
echo "report.jsonl:" >&2
cat report.jsonl >&2
echo "logs: $(ls logs | tr '\n' ' ')" >&2
# 1 is what the station says when a box was not upgraded: here, the one
# refused on purpose.
expected=0
[ "$ports" -gt 1 ] && expected=1
echo "station exit status $status (expected $expected)" >&2
[ "$status" = "$expected" ]
