#!/usr/bin/env bash
# The Windows build of the serial link, tested under Wine: COM1 and COM2 are
# mapped to the two ends of a null-modem cable made of pseudo-terminals.
#
#   tools/wine-tests.sh NATIVE_BUILD WINDOWS_BUILD
set -euo pipefail
native=$(cd "${1:?native build folder}" && pwd)
windows=$(cd "${2:?windows build folder}" && pwd)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  "$wine" wineboot -i > /dev/null 2>&1 || true
fi

cable=$(mktemp)
"$native/tests/null_modem" > "$cable" &
modem=$!
trap 'kill $modem 2>/dev/null || true; rm -f "$cable"' EXIT
for _ in $(seq 50); do [ "$(wc -l < "$cable")" -ge 2 ] && break; sleep 0.1; done
# Wine's mount manager makes the COM links anew whenever Wine starts, from
# this registry key (else from /dev/ttyS*): the mapping goes there.
"$wineserver" -k 2>/dev/null || true
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(sed -n 1p "$cable")" /f > /dev/null 2>&1
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$(sed -n 2p "$cable")" /f > /dev/null 2>&1
"$wineserver" -k 2>/dev/null || true

"$wine" "$windows/tests/win32/win32_serial_tests.exe"
status=$?
"$wineserver" -k 2>/dev/null || true
exit $status
