#!/usr/bin/env bash
# The Windows build tested under Wine: first the serial link and the port
# listing, with COM1 and COM2 mapped to the two ends of a null-modem cable
# made of pseudo-terminals (Wine numbers the machine's own serial devices
# after them; no test names those); then images named beyond ASCII, the
# image's SHA-256 through CNG and the --help text; then one full headless upgrade through COM1 against the simulated box;
# then the console station on COM1 to COM4 (tests/win32/station-under-wine.sh);
# last the operator window: its own tests (tests/frontends/window/win32/run-under-wine.sh),
# then driven on an X server as an operator would (tests/frontends/window/win32/window-under-wine.sh),
# then kept answering another program through a slow flash write
# (tests/frontends/window/win32/window-answers-under-wine.sh).
#
#   tools/wine-tests.sh NATIVE_BUILD WINDOWS_BUILD
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/tools/wine.sh"
hide_serial_devices "${BASH_SOURCE[0]}" "$@"

native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
source "$root/tools/box.sh"
use_wine_prefix "$windows/wineprefix"
make_wine_prefix

modem=
at_exit() { stop_wine; }
enter_work

# 1. The serial link's tests.
"$native/tests/null_modem" > "$work/cable" &
modem=$!
for _ in $(seq 50); do [ "$(wc -l < "$work/cable")" -ge 2 ] && break; sleep 0.1; done
map_com_ports "$(sed -n 1p "$work/cable")" "$(sed -n 2p "$work/cable")"
"$wine" "$windows/tests/win32/serial_tests.exe"
tests=$?
kill "$modem" 2>/dev/null
modem=

# 2. Images named in UTF-8 or in the ANSI code page, the image's digest
# from CNG, and the help naming the port a run without --port opens.
(cd "$work" && "$wine" "$windows/tests/win32/file_names_tests.exe") || tests=1
"$wine" "$windows/tests/win32/image_digest_tests.exe" || tests=1
# The report and a port's log cannot be removed while they are written.
(cd "$work" && "$wine" "$windows/tests/win32/report_share_tests.exe") || tests=1
help=$("$wine" "$windows/bin/stb-downloader.exe" --help 2>&1 | tr -d '\r')
if ! grep -qF '(default COM1)' <<< "$help" || grep -qF '/dev/' <<< "$help"; then
  echo "wine: --help does not give COM1 as the default port:" >&2
  grep -F -- '--port' <<< "$help" >&2
  tests=1
fi

# 3. A full upgrade: the Windows tool on COM1, the box on the other side.
cd "$work"
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 wine ./image.bin 3 0x9FC10000 > inc/app1.inc
head -c 30000 /dev/urandom > image.bin
start_box "$native" --image-out received.bin
map_com_ports "$box_port"
"$wine" "$windows/bin/stb-downloader.exe" --headless --code APP103 --response-timeout 10 > tool.out 2> tool.err
upgrade=$?
wait_box
echo "box: $(cat box.json)"
if [ "$upgrade" -ne 0 ] || ! cmp -s -n 30000 image.bin received.bin; then
  echo "wine: the upgrade through COM1 failed (exit status $upgrade)" >&2
  tail -5 tool.out >&2
  cat tool.err >&2
  exit 1
fi
echo "wine: a full upgrade through COM1 succeeded; the box holds the image byte for byte"

# 4. The console station: four boxes on COM1 to COM4, Ctrl+C once while
# they take their images. A Wine prefix of its own: it may run beside the
# other steps.
"$root/tests/win32/station-under-wine.sh" "$native" "$windows" || tests=1

# 5. The operator window's own tests, then the window driven through an X
# server of its own as an operator would.
"$root/tests/frontends/window/win32/run-under-wine.sh" "$windows" || exit 1
"$root/tests/frontends/window/win32/window-under-wine.sh" "$native" "$windows" || exit 1

# 6. The window through a slow flash write: asked by another Windows program
# every 100 ms whether it still answers, a key and a close posted meanwhile.
"$root/tests/frontends/window/win32/window-answers-under-wine.sh" "$native" "$windows" || exit 1
"$root/tests/frontends/window/win32/station-window-under-wine.sh" "$native" "$windows" || tests=1
exit "$tests"
