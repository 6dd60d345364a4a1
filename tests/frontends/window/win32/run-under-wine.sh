#!/usr/bin/env bash
# The Win32 window's tests under Wine, on a virtual display (Xvfb); without
# gtest options, the boxes' tests once more in German.
#
#   tests/frontends/window/win32/run-under-wine.sh WINDOWS_BUILD [gtest options...]
set -uo pipefail
windows=$(cd "${1:?windows build folder}" && pwd)
shift
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
if [ -z "${STB_ON_XVFB:-}" ]; then
  export STB_ON_XVFB=1
  exec xvfb-run -a -s "-noreset -screen 0 1024x768x24" "$0" "$windows" "$@"
fi
export WINEPREFIX="$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX/dosdevices" ] || "$wine" wineboot -i > /dev/null 2>&1
# This test's own server, ended with it: the next Wine run starts afresh
# on its own display.
"$wineserver" -k > /dev/null 2>&1
"$wine" "$windows/tests/frontends/window/win32/winui_tests.exe" "$@"
status=$?
"$wineserver" -k > /dev/null 2>&1
# The boxes once more on a Windows of another language: their buttons must
# still read as the program's own.
if [ $# -eq 0 ]; then
  LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$wine" "$windows/tests/frontends/window/win32/winui_tests.exe" \
    --gtest_filter='Win32Boxes.*' || status=1
  "$wineserver" -k > /dev/null 2>&1
fi
exit "$status"
