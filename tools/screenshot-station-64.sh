#!/usr/bin/env bash
# Takes a picture of the station window on 64 ports under Xvfb at
# 1920x1080: every tile on the one screen, none scrolled off. The ports are
# simulated boxes in the states a production line sees at once (upgraded,
# refused, writing the flash, waiting for a box), a port that will not open
# and one that is not there.
#
#   tools/screenshot-station-64.sh [OUT.png]     (default docs/station-window-64.png)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/docs/station-window-64.png}
case $out in /*) ;; *) out=$PWD/$out ;; esac
source "$root/tools/harness.sh"
install_screenshot_tools
"$root/stb" build >/dev/null
build=$root/build

at_exit() { while read -r pid; do kill "$pid" 2>/dev/null || true; done < "$work/pids" 2>/dev/null; }
enter_work
mkdir -p "$work/inc" "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.00 01.00 01.00 D2412 sample ./image.bin 3 0x9FC10000 \
  > "$work/inc/app1.inc"
head -c $((64 * 1024)) /dev/urandom > "$work/image.bin"

# Starts a simulated box with the options given; prints its device.
box() {
  local file=$work/pty-$RANDOM$RANDOM.txt
  "$build/bin/stb-box-sim" --path-file "$file" --summary /dev/null "$@" > /dev/null 2>&1 &
  echo $! >> "$work/pids"
  for _ in $(seq 50); do [ -s "$file" ] && break; sleep 0.1; done
  cat "$file"
}
ports=()
for i in $(seq 0 61); do
  case $((i % 8)) in
    0 | 1 | 2) ports+=(--port "$(box --boxes 2 --stay-on 120000)") ;;
    3) ports+=(--port "$(box --oui 0001)") ;;
    4 | 5) ports+=(--port "$(box --flash-delay 1500)") ;;
    *) ports+=(--port "$(box --silent-from ack)") ;;
  esac
done
mkdir "$work/not-a-port"
ports+=(--port "$work/not-a-port" --port /dev/stb-no-such-port)

cd "$work"
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
  out=$0
  "$@" &
  app=$!
  window=$(xdotool search --sync --name "^stb-downloader station\$" | head -1)
  xdotool windowfocus --sync "$window"
  xdotool type --delay 50 APP103
  xdotool key Return
  for _ in $(seq 150); do [ "$(grep -l "5. Ram Image CRC OK" logs/*.log 2>/dev/null | wc -l)" -ge 8 ] && break; sleep 0.2; done
  sleep 2
  eval "$(xdotool getwindowgeometry --shell "$window")"
  echo "station window: ${WIDTH}x${HEIGHT} at ${X},${Y} on 1920x1080"
  import -window "$window" "$out"
  kill -INT $app; sleep 2; kill -INT $app
  wait $app || true
' "$out" "$build/bin/stb-downloader" --station --window --log-dir logs --report report.jsonl "${ports[@]}"
echo "screenshot: $out"
