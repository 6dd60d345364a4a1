#!/usr/bin/env bash
# Takes a picture of the station window under Xvfb, with four ports in four
# states: a box upgraded, a box refused (another maker), a box writing its
# flash, and a port still waiting for a box.
#
#   tools/screenshot-station.sh [OUT.png]     (default docs/station-window.png)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/docs/station-window.png}
case $out in /*) ;; *) out=$PWD/$out ;; esac
source "$root/tools/harness.sh"
install_screenshot_tools
"$root/stb" build >/dev/null
build=$root/build

# The boxes are started in subshells: their numbers are in a file.
at_exit() { while read -r pid; do kill "$pid" 2>/dev/null || true; done < "$work/pids" 2>/dev/null; }
enter_work
mkdir -p "$work/inc" "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 sample ./image.bin 3 0x9FC10000 \
  > "$work/inc/app1.inc"
head -c $((64 * 1024)) /dev/urandom > "$work/image.bin"

# Starts a simulated box with the options given; prints its device.
box() {
  local file=$work/pty-$RANDOM.txt
  "$build/bin/stb-box-sim" --path-file "$file" --summary /dev/null "$@" > /dev/null 2>&1 &
  echo $! >> "$work/pids"
  for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.1; done
  cat "$file"
}
upgraded=$(box --boxes 2 --stay-on 120000)
refused=$(box --oui 0001)
flashing=$(box --flash-delay 900)
waiting=$(box --silent-from ack)

cd "$work"
xvfb-run -a -s "-screen 0 980x660x24" bash -c '
  "$0" --station --window --log-dir logs --report report.jsonl \
    --port "$1" --port "$2" --port "$3" --port "$4" &
  app=$!
  window=$(xdotool search --sync --name "^stb-downloader station\$" | head -1)
  xdotool windowfocus --sync "$window"
  xdotool type --delay 50 APP103
  xdotool key Return
  # The upgraded and the refused box are done; the third one writes its flash.
  for _ in $(seq 100); do grep -q "5. Ram Image CRC OK" logs/*"${3##*/}"-*.log 2>/dev/null && break; sleep 0.2; done
  sleep 4
  import -window "$window" "$5"
  # Ctrl+C twice, as from the terminal: the flash write is cut short.
  kill -INT $app; sleep 2; kill -INT $app
  wait $app || true
' "$build/bin/stb-downloader" "$upgraded" "$refused" "$flashing" "$waiting" "$out"
echo "screenshot: $out"
