#!/usr/bin/env bash
# Takes a picture of the Windows operator window under Wine, on Xvfb, while
# the image goes to the simulated box.
#
#   tools/screenshot-windows.sh [OUT.png]     (default docs/window-windows.png)
#
# Builds what `./stb wine` builds (build/ and build-win/), unless
# STB_NATIVE_BUILD and STB_WINDOWS_BUILD name built folders to use instead.
# The box is paced at the line's own 115200 bit/s and takes an image of
# 256 KiB, about half a minute's transfer (a slower line would not do: the
# box's answer to each 1 KB block must start within the 200 ms the tool
# waits for a character). The picture is taken once the box holds some 40%
# of the image, so that the progress bar and the byte counter stand mid-way.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/window-windows.png}")
need=()
command -v xvfb-run > /dev/null || need+=(xvfb xauth)
command -v import > /dev/null || need+=(imagemagick)
command -v xdotool > /dev/null || need+=(xdotool)
[ -x /usr/lib/wine/wine64 ] || command -v wine64 > /dev/null || need+=(wine64)
if [ -z "${STB_WINDOWS_BUILD:-}" ]; then
  command -v x86_64-w64-mingw32-g++ > /dev/null || need+=(g++-mingw-w64-x86-64)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" > /dev/null
fi

native=${STB_NATIVE_BUILD:-}
windows=${STB_WINDOWS_BUILD:-}
if [ -z "$native" ]; then
  "$root/stb" build > /dev/null
  native=$root/build
fi
if [ -z "$windows" ]; then
  windows=$root/build-win
  cmake -S "$root" -B "$windows" -G Ninja -DSTB_WITH_QT=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" > /dev/null
  cmake --build "$windows" -j "$(nproc 2> /dev/null || echo 2)" > /dev/null
fi
native=$(cd "$native" && pwd)
windows=$(cd "$windows" && pwd)

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
# A prefix of its own: with no window manager on Xvfb, Wine is told to draw
# the windows' frames and title bars itself, so that the caption is in the
# picture. The tests' prefix keeps Wine's ordinary managed windows.
export WINEPREFIX="$windows/wineprefix-screenshot" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  "$wine" wineboot -i > /dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f > /dev/null 2>&1
fi
# The prefix's desktop process was started without a display: a fresh one.
"$wineserver" -k > /dev/null 2>&1 || true

work=$(mktemp -d)
source "$root/tools/box.sh"
cleanup() {
  set +e
  stop_box
  "$wineserver" -k > /dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir -p inc "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 picture ./image.bin 3 0x9FC10000 \
  > inc/app1.inc
size=262144
head -c "$size" /dev/urandom > image.bin

start_box "$native" --bps 115200 --image-out received.bin
"$wineserver" -k > /dev/null 2>&1 || true
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$box_port" /f > /dev/null 2>&1
"$wineserver" -k > /dev/null 2>&1 || true

cat > shoot.sh << SHOT
#!/usr/bin/env bash
set -u
cd "$work"
"$wine" "$windows/bin/stb-downloader.exe" --log-file run.log < /dev/null > tool.out 2>&1 &
main=
for _ in \$(seq 300); do
  main=\$(xdotool search --onlyvisible --name 'Orvanta STB' 2> /dev/null | head -1)
  [ -n "\$main" ] && break
  sleep 0.2
done
[ -n "\$main" ] || { echo "screenshot-windows: the window did not show" >&2; exit 1; }
sleep 1
xdotool windowfocus --sync "\$main" 2> /dev/null || true
xdotool type --delay 80 APP103
# Some 40% of the image at the box: mid-way through the transfer.
for _ in \$(seq 1200); do
  [ "\$(stat -c %s received.bin 2> /dev/null || echo 0)" -ge $((size * 2 / 5)) ] && break
  sleep 0.1
done
if [ "\$(stat -c %s received.bin)" -lt $((size * 2 / 5)) ]; then
  echo "screenshot-windows: the transfer did not get under way (COM1 leads to" \
    "\$(readlink "$WINEPREFIX/dosdevices/com1"), the box is on $box_port); the log:" >&2
  cat run.log tool.out >&2
  exit 1
fi
sleep 0.5
import -window "\$main" "$out"
"$wineserver" -k > /dev/null 2>&1
SHOT
chmod +x shoot.sh
xvfb-run -a -s "-noreset -screen 0 1024x768x24" ./shoot.sh < /dev/null
echo "screenshot: $out"
