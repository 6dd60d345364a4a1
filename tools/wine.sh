# shellcheck shell=bash
# Sourced by the scripts that run the Windows build under Wine; brings
# tools/harness.sh with it.
#
#   hide_serial_devices SCRIPT [ARGS...]  runs SCRIPT anew where the machine's
#                                         own serial devices are /dev/null
#   use_wine_prefix DIR                   finds Wine ($wine, $wineserver) and
#                                         makes DIR the prefix of every Wine call
#   use_screenshot_prefix WINDOWS_BUILD   the same for the pictures' own prefix
#   make_wine_prefix                      makes that prefix unless it is there
#   map_com_ports DEVICE...               COM1, COM2, ... lead to these devices;
#                                         "" leaves a number out
#   wine_com N                            where Wine's COMN leads
#   stop_wine                             ends the prefix's Wine processes
source "$(dirname "${BASH_SOURCE[0]}")/harness.sh"
wine=
wineserver=

# Wine gives the machine's own serial devices COM numbers after the mapped
# ones (/dev/ttyS0, the kernel's console, becomes COM3 where two are
# mapped): nothing run here may reach one, even by mistake. In a mount
# namespace of its own SCRIPT runs again with /dev/null in their place.
# Where no namespace can be had (no privilege), it goes on as it is: no test
# names a port it did not map.
hide_serial_devices() {
  [ -n "${STB_WINE_OWN_DEVICES:-}" ] && return 0
  unshare -m true 2> /dev/null || return 0
  export STB_WINE_OWN_DEVICES=1
  # shellcheck disable=SC2016  # expanded by the inner shell
  exec unshare -m --propagation private bash -c '
    for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
      [ -e "$device" ] && mount --bind /dev/null "$device"
    done
    exec "$0" "$@"' "$@"
}

# Finds Wine's loader and server, and exports the prefix DIR with Wine's
# debug output off and no .NET or browser engine to install.
use_wine_prefix() {
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  wineserver=$(dirname "$wine")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# Makes the prefix the first time (it takes a while); after that it is kept.
make_wine_prefix() {
  [ -d "$WINEPREFIX/dosdevices" ] || "$wine" wineboot -i > /dev/null 2>&1
}

# Ends every Wine process of the prefix, and its server.
stop_wine() {
  "$wineserver" -k > /dev/null 2>&1 || true
}

# COM1, COM2, ... lead to the devices given, in that order, from the next
# Wine start (an empty one leaves its number out): Wine's mount manager makes the COM links anew whenever Wine
# starts, from this registry key (else from /dev/ttyS*). The server is ended first, also because
# one started before Xvfb (by wineboot, by an earlier test) keeps a desktop
# process without a display, and no window would show.
map_com_ports() {
  local n=1 device
  stop_wine
  for device in "$@"; do
    [ -z "$device" ] ||
      "$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$device" /f > /dev/null 2>&1
    n=$((n + 1))
  done
  stop_wine
  # A fresh server, started here so that what it prints as it ends stays
  # out of the output.
  "$wineserver" -p5 > /dev/null 2>&1 || true
}

# Where Wine's COM port $1 leads now: a stale link would send the program to
# some other pseudo-terminal.
wine_com() {
  readlink "$WINEPREFIX/dosdevices/com$1"
}

# The screenshot tools' prefix, made in WINDOWS_BUILD the first time: with
# no window manager on Xvfb, Wine is told to draw the windows' frames and
# title bars itself, so that the caption is in the picture. The tests'
# prefix keeps Wine's ordinary managed windows.
use_screenshot_prefix() {
  use_wine_prefix "$1/wineprefix-screenshot"
  [ -d "$WINEPREFIX/dosdevices" ] && return 0
  "$wine" wineboot -i > /dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f > /dev/null 2>&1
}
