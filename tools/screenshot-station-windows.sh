#!/usr/bin/env bash
# Takes a picture of the Windows station window under Wine, on Xvfb, with
# its tiles in every state: COM1 passed (its box still on), COM2 taking its
# image, COM3 refused (another maker's box), COM4 waiting for a box, COM6
# writing its flash and COM99 gone (no such port).
#
#   tools/screenshot-station-windows.sh [OUT.png]   (default docs/station-window-windows.png)
#
# Uses the builds STB_NATIVE_BUILD and STB_WINDOWS_BUILD name (default
# build/ and build-win/, built as `./stb wine` builds them).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/wine.sh"
# Wine gives the machine's own serial devices the COM numbers after the
# mapped ones: as in tools/wine-tests.sh, they are /dev/null here.
hide_serial_devices "${BASH_SOURCE[0]}" "$@"
out=$(realpath -m "${1:-$root/docs/station-window-windows.png}")
need_tools screenshot-station-windows xvfb-run import xdotool python3
native=$(cd "${STB_NATIVE_BUILD:-$root/build}" && pwd)
windows=$(cd "${STB_WINDOWS_BUILD:-$root/build-win}" && pwd)
[ -f "$windows/bin/stb-downloaderw.exe" ] || { echo "screenshot-station-windows: build $windows first" >&2; exit 1; }
use_screenshot_prefix "$windows"

at_exit() { stop_wine; }
enter_work
mkdir -p inc "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 picture ./image.bin 3 0x9FC10000 > inc/app1.inc
size=$((128 * 1024))
head -c "$size" /dev/urandom > image.bin

# Each box stays on after its upgrade, so that its port stays there.
sim() {
  local n=$1; shift
  "$native/bin/stb-box-sim" --boxes 2 --stay-on 600000 --path-file "pty$n.txt" --image-out "received$n.bin" \
    "$@" > /dev/null &
}
sim 1
sim 2 --bps 115200
sim 3 --oui 3344
sim 6 --flash-delay 1000
# COM4: a line with no box on it.
python3 -c 'import os, pty, time
m, s = pty.openpty()
open("pty4.txt", "w").write(os.ttyname(s) + "\n")
time.sleep(600)' &
for n in 1 2 3 4 6; do
  for _ in $(seq 50); do [ -s "pty$n.txt" ] && break; sleep 0.1; done
done
map_com_ports "$(cat pty1.txt)" "$(cat pty2.txt)" "$(cat pty3.txt)" "$(cat pty4.txt)" "" "$(cat pty6.txt)"

cat > shoot.sh << SHOT
#!/usr/bin/env bash
set -u
cd "$work"
"$wine" "$windows/bin/stb-downloaderw.exe" --station --window --code APP103 --port COM1 --port COM2 \
  --port COM3 --port COM4 --port COM6 --port COM99 --log-dir logs --report report.jsonl < /dev/null > tool.out 2>&1 &
source "$root/tools/harness.sh"
main=\$(wait_window 'stb-downloader station' 60) ||
  { echo "screenshot-station-windows: the window did not show" >&2; exit 1; }
# Some 40% of COM2's image at its box: mid-way through the transfer, with
# COM6 writing its flash by then.
wait_size received2.bin $((size * 2 / 5)) 120
sleep 1.5
import -window "\$main" "$out"
"$wineserver" -k > /dev/null 2>&1
SHOT
chmod +x shoot.sh
xvfb-run -a -s "-noreset -screen 0 1024x768x24" ./shoot.sh < /dev/null
echo "screenshot: $out"
