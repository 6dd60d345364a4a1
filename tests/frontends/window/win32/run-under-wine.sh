#!/usr/bin/env bash
# The Win32 window's tests under Wine, on a virtual display (Xvfb); without
# gtest options, the boxes' tests once more in German.
#
#   tests/frontends/window/win32/run-under-wine.sh WINDOWS_BUILD [gtest options...]
set -uo pipefail
windows=$(cd "${1:?windows build folder}" && pwd)
shift
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../../.." && pwd)
source "$root/tools/wine.sh"
run_on_xvfb 1024x768x24 "$0" "$windows" "$@"
use_wine_prefix "$windows/wineprefix"
make_wine_prefix
# This test's own server, ended with it: the next Wine run starts afresh
# on its own display.
stop_wine
"$wine" "$windows/tests/frontends/window/win32/winui_tests.exe" "$@"
status=$?
stop_wine
# The boxes once more on a Windows of another language: their buttons must
# still read as the program's own.
if [ $# -eq 0 ]; then
  LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$wine" "$windows/tests/frontends/window/win32/winui_tests.exe" \
    --gtest_filter='Win32Boxes.*' || status=1
  stop_wine
fi
exit "$status"
