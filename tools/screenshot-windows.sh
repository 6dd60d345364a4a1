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
source "$root/tools/wine.sh"
source "$root/tools/box.sh"
need=()
[ -x /usr/lib/wine/wine64 ] || command -v wine64 > /dev/null || need+=(wine64)
if [ -z "${STB_WINDOWS_BUILD:-}" ]; then
  command -v x86_64-w64-mingw32-g++ > /dev/null || need+=(g++-mingw-w64-x86-64)
fi
install_screenshot_tools "${need[@]}"

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

use_screenshot_prefix "$windows"
# The prefix's desktop process was started without a display: a fresh one.
stop_wine

at_exit() { stop_wine; }
enter_work
mkdir -p inc "$(dirname "$out")"
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 picture ./image.bin 3 0x9FC10000 \
  > inc/app1.inc
size=262144
head -c "$size" /dev/urandom > image.bin

start_box "$native" --bps 115200 --image-out received.bin
map_com_ports "$box_port"

cat > shoot.sh << SHOT
#!/usr/bin/env bash
set -u
cd "$work"
"$wine" "$windows/bin/stb-downloader.exe" --log-file run.log < /dev/null > tool.out 2>&1 &
source "$root/tools/harness.sh"
main=\$(wait_window '::::: Orvanta STB  Serial DownLoader v3.3 :::::' 60) ||
  { echo "screenshot-windows: the window did not show" >&2; exit 1; }
sleep 1
xdotool windowfocus --sync "\$main" 2> /dev/null || true
xdotool type --delay 80 APP103
# Some 40% of the image at the box: mid-way through the transfer.
if ! wait_size received.bin $((size * 2 / 5)) 120; then
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
