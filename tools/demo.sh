#!/usr/bin/env bash
# The main job: a complete upgrade of a sample image against the simulated box
# at 115200 bit/s, in a scratch folder with sample include files.
#
#   tools/demo.sh BUILD_DIR [--window]
#
# Runs headless (progress on the terminal). With --window and a display, the
# operator window opens instead: type the code it prints into the log.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
mode=${2:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/stb-demo.XXXXXX")
source "$(dirname "${BASH_SOURCE[0]}")/box.sh"
trap 'stop_box; rm -rf "$work"' EXIT

cd "$work"
mkdir inc
# One include file per mode; the box below reports model 1.0, hardware 1.0,
# boot loader 1.0 and the native and application software at 1.0.
for f in bl native app1 app2 lpd gui psi rsvd; do
  address=0x9FC10000
  [ "$f" = bl ] && address=0x9FC00000
  printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 "demo $f" ./sample.bin 3 "$address" \
    > "inc/$f.inc"
done
head -c 98000 /dev/urandom > sample.bin

start_box "$build" --bps 115200 --image-out received.bin
port=$box_port

echo "stb-downloader demo: the simulated box is on $port (115200 bit/s)." >&2
status=0
if [ "$mode" = --window ] && [ -n "${DISPLAY:-}" ]; then
  echo "Type the code APP103 into the log of the window." >&2
  "$build/bin/stb-downloader" --port "$port" || status=$?
else
  echo "Mode code APP103 (application software 1), image of 98000 bytes." >&2
  "$build/bin/stb-downloader" --headless --port "$port" --code APP103 || status=$?
fi
wait_box
if [ -s box.json ]; then echo "box: $(cat box.json)" >&2; fi
if [ "$status" -eq 0 ] && cmp -s -n 98000 sample.bin received.bin; then
  echo "The box received the image byte for byte." >&2
fi
exit "$status"
