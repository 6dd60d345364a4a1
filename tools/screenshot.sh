#!/usr/bin/env bash
# Takes a picture of the operator window under Xvfb.
#
#   tools/screenshot.sh [OUT.png]     (default docs/window.png)
#
# The window starts on a pseudo-terminal, the code APP103 is typed into it, and
# the whole virtual screen is captured with ImageMagick's import.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/docs/window.png}
source "$root/tools/harness.sh"
install_screenshot_tools
"$root/stb" build >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/inc" "$(dirname "$out")"
printf '%s\r\n' 001122 01.00 01.00 01.00 01.00 01.00 01.00 D0101 sample ./image.bin 3 0x80010000 \
  > "$work/inc/app1.inc"
head -c 307200 /dev/zero > "$work/image.bin"

cat > "$work/shoot.sh" <<SHOT
#!/usr/bin/env bash
set -e
cd "$work"
python3 -c 'import os,pty,time; m,s=pty.openpty(); print(os.ttyname(s), flush=True); time.sleep(30)' > pty.txt &
# On a loaded machine Python takes a while to start: the window must not
# start on no port.
for _ in \$(seq 100); do [ -s pty.txt ] && break; sleep 0.1; done
"$root/build/bin/stb-downloader" --port "\$(head -1 pty.txt)" &
app=\$!
sleep 2
xdotool search --sync --name "Serial DownLoader" windowactivate --sync 2>/dev/null || true
xdotool type --delay 50 APP103
sleep 1
import -window root "$out"
kill \$app
SHOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s "-screen 0 640x760x24" "$work/shoot.sh"
echo "screenshot: $out"
