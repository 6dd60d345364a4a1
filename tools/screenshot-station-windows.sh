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
# Wine gives the machine's own serial devices the COM numbers after the
# mapped ones: as in tools/wine-tests.sh, they are /dev/null here.
if [ -z "${STB_WINE_OWN_DEVICES:-}" ] && unshare -m true 2> /dev/null; then
  export STB_WINE_OWN_DEVICES=1
  exec unshare -m --propagation private bash -c '
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
      [ -e "$device" ] && mount --bind /dev/null "$device"
    done
    exec "$0" "$@"' "${BASH_SOURCE[0]}" "$@"
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/station-window-windows.png}")
for tool in xvfb-run import xdotool python3; do
  command -v "$tool" > /dev/null || { echo "screenshot-station-windows: $tool is missing" >&2; exit 1; }
done
native=$(cd "${STB_NATIVE_BUILD:-$root/build}" && pwd)
windows=$(cd "${STB_WINDOWS_BUILD:-$root/build-win}" && pwd)
[ -f "$windows/bin/stb-downloaderw.exe" ] || { echo "screenshot-station-windows: build $windows first" >&2; exit 1; }

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
# The screenshot prefix of tools/screenshot-windows.sh: Wine draws the
# frames and title bars itself, so that the caption is in the picture.
export WINEPREFIX="$windows/wineprefix-screenshot" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  "$wine" wineboot -i > /dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f > /dev/null 2>&1
fi

work=$(mktemp -d)
pids=()
cleanup() {
  set +e
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
  "$wineserver" -k > /dev/null 2>&1
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir -p inc "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 picture ./image.bin 3 0x9FC10000 > inc/app1.inc
size=$((128 * 1024))
head -c "$size" /dev/urandom > image.bin

# Each box stays on after its upgrade, so that its port stays there.
sim() {
  local n=$1; shift
  "$native/bin/stb-box-sim" --boxes 2 --stay-on 600000 --path-file "pty$n.txt" --image-out "received$n.bin" \
    "$@" > /dev/null &
  pids+=($!)
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
pids+=($!)
"$wineserver" -k > /dev/null 2>&1 || true
for n in 1 2 3 4 6; do
  for _ in $(seq 50); do [ -s "pty$n.txt" ] && break; sleep 0.1; done
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$(cat "pty$n.txt")" /f > /dev/null 2>&1
done
"$wineserver" -k > /dev/null 2>&1 || true

cat > shoot.sh << SHOT
#!/usr/bin/env bash
set -u
cd "$work"
"$wine" "$windows/bin/stb-downloaderw.exe" --station --window --code APP103 --port COM1 --port COM2 \
  --port COM3 --port COM4 --port COM6 --port COM99 --log-dir logs --report report.jsonl < /dev/null > tool.out 2>&1 &
main=
for _ in \$(seq 300); do
  main=\$(xdotool search --onlyvisible --name '^stb-downloader station\$' 2> /dev/null | head -1)
  [ -n "\$main" ] && break
  sleep 0.2
done
[ -n "\$main" ] || { echo "screenshot-station-windows: the window did not show" >&2; exit 1; }
# Some 40% of COM2's image at its box: mid-way through the transfer, with
# COM6 writing its flash by then.
for _ in \$(seq 1200); do
  [ "\$(stat -c %s received2.bin 2> /dev/null || echo 0)" -ge $((size * 2 / 5)) ] && break
  sleep 0.1
done
sleep 1.5
import -window "\$main" "$out"
"$wineserver" -k > /dev/null 2>&1
SHOT
chmod +x shoot.sh
xvfb-run -a -s "-noreset -screen 0 1024x768x24" ./shoot.sh < /dev/null
echo "screenshot: $out"
