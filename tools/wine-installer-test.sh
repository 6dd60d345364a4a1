#!/usr/bin/env bash
# The Windows installer under Wine, as an operator's PC would take it: a
# silent install into a fresh Wine prefix, the installed program run, the
# Start-menu shortcut and the Add/Remove Programs entry looked at, a silent
# reinstall over it, an install into another folder that moves the first one
# there and back, an install and an uninstall refused while the program runs,
# a silent uninstall as the README gives it, and the operator's include files
# still there afterwards. Needs python3 (a pseudo-terminal for COM1) and
# strings.
#
#   tools/wine-installer-test.sh WINDOWS_BUILD
#
# WINDOWS_BUILD is the folder `./stb installer` built the installer in.
set -uo pipefail
windows=$(cd "${1:?windows build folder}" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows/CMakeCache.txt" 2>/dev/null)
installer="$windows/stb-downloader-$version-win64-setup.exe"
if [ -z "$version" ] || [ ! -f "$installer" ]; then
  echo "installer: no installer in $windows (run ./stb installer first)" >&2
  exit 1
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine.sh"

# A prefix of its own, made anew: what an earlier run left installed must not
# pass for this run's work, and the serial tests' prefix keeps its COM ports.
use_wine_prefix "$windows/installer-wineprefix"
stop_wine
rm -rf "$WINEPREFIX"
tmp=$(mktemp -d)
holder=
feeder=
cleanup() {
  stop_wine
  [ -n "$holder" ] && kill "$holder" 2> /dev/null
  [ -n "$feeder" ] && kill "$feeder" 2> /dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# Every Wine call gets a bound, as the machine may be slow and shared, and no
# standard input, as CI has none.
run() { timeout 300 "$wine" "$@" < /dev/null; }

passed=0
failed=0
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "installer: FAILED: $what" >&2
  fi
}
fatal() {
  echo "installer: $*" >&2
  echo "installer: $passed passed, $((failed + 1)) failed"
  echo "installer: the Wine prefix is kept in $WINEPREFIX" >&2
  exit 1
}

run wineboot -i > /dev/null 2>&1 || fatal "could not make a Wine prefix in $WINEPREFIX"
drive="$WINEPREFIX/drive_c"
program="$drive/Program Files/stb-downloader"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/stb-downloader"
shortcut="$menu/STB Serial DownLoader.lnk"
station_shortcut="$menu/stb-downloader station.lnk"
work="$drive/users/Public/Documents/stb-downloader"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\stb-downloader'

reg_value() {  # reg_value NAME: the value's data, as `reg query` shows it
  run reg query "$key" /v "$1" 2> /dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
installed_files_are_the_built_ones() {
  cmp -s "$program/stb-downloader.exe" "$windows/bin/stb-downloader.exe" &&
    cmp -s "$program/stb-downloaderw.exe" "$windows/bin/stb-downloaderw.exe" &&
    [ -f "$program/uninstall.exe" ] &&
    grep -q '<h2>On Windows</h2>' "$program/operator-guide.html" &&
    grep -q 'APP103' "$program/operator-guide.html"
}
version_is_printed() {
  local out
  out=$(run 'C:\Program Files\stb-downloader\stb-downloader.exe' --version 2>&1 | tr -d '\r')
  [ "$out" = "stb-downloader $version" ] || { echo "installer: --version printed '$out'" >&2; return 1; }
}
shortcut_opens_the_window_in_the_working_folder() {
  [ -f "$shortcut" ] || return 1
  # A shortcut keeps its target, Start in and icon as UTF-16 strings.
  local texts
  texts=$(strings -a -el "$shortcut")
  grep -qiF 'C:\Program Files\stb-downloader\stb-downloaderw.exe' <<< "$texts" &&
    grep -qiE 'C:\\users\\Public\\Documents\\stb-downloader$' <<< "$texts" &&
    [ -f "$menu/Operator guide.lnk" ] && [ -f "$menu/Include files and images.lnk" ]
}
station_shortcut_opens_the_station_window() {  # [FOLDER]: where it is installed
  local folder=${1:-'C:\Program Files\stb-downloader'} texts
  [ -f "$station_shortcut" ] || return 1
  texts=$(strings -a -el "$station_shortcut")
  grep -qiF "$folder\stb-downloaderw.exe" <<< "$texts" &&
    grep -qxF -- '--station --window --port all' <<< "$texts" &&
    grep -qiE 'C:\\users\\Public\\Documents\\stb-downloader$' <<< "$texts"
}
registered_for_add_remove_programs() {  # [FOLDER]: where it is installed
  local folder=${1:-'C:\Program Files\stb-downloader'}
  [ "$(reg_value DisplayVersion)" = "$version" ] &&
    [ "$(reg_value InstallLocation)" = "$folder" ] &&
    [ "$(reg_value UninstallString)" = "\"$folder\\uninstall.exe\"" ] &&
    [ "$(reg_value QuietUninstallString)" = "\"$folder\\uninstall.exe\" /S" ]
}
operator_files_kept() {
  cmp -s "$work/inc/app1.inc" "$tmp/app1.inc" && cmp -s "$work/app1.bin" "$tmp/app1.bin"
}

# 1. A silent install.
run "$installer" /S > /dev/null 2>&1
status=$?
[ "$status" -eq 0 ] || fatal "the silent install exited with $status"
[ -d "$program" ] || fatal "the silent install put nothing in C:\\Program Files\\stb-downloader"
check "the installed programs and guide are the ones built" installed_files_are_the_built_ones
check "the installed program prints 'stb-downloader $version'" version_is_printed
check "the Start-menu shortcut opens stb-downloaderw.exe in the working folder" \
  shortcut_opens_the_window_in_the_working_folder
check "the Start-menu entry 'stb-downloader station' opens the station window on every port" \
  station_shortcut_opens_the_station_window
check "the working folder has inc\\" test -d "$work/inc"
check "Add/Remove Programs has the uninstaller" registered_for_add_remove_programs

# 2. The operator's files, then a silent reinstall over the installed one.
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 wine ./app1.bin 3 0x9FC10000 > "$tmp/app1.inc"
head -c 3000 /dev/urandom > "$tmp/app1.bin"
cp "$tmp/app1.inc" "$work/inc/" && cp "$tmp/app1.bin" "$work/"
run "$installer" /S > /dev/null 2>&1
status=$?
check "a silent reinstall over the installed one succeeds (exit $status)" test "$status" -eq 0
check "the reinstall leaves the programs and the operator's files" \
  eval 'installed_files_are_the_built_ones && operator_files_kept'

# 2b. An install into another folder takes the first one away (else it would
# stay behind with no entry in Add/Remove Programs), and back again. /D= goes
# unquoted and last; Wine quotes an argument with a blank, so it is given in
# two.
elsewhere="$drive/stb-elsewhere"
run "$installer" /S '/D=C:\stb-elsewhere' > /dev/null 2>&1
status=$?
check "an install into another folder succeeds (exit $status)" test "$status" -eq 0
check "an install into another folder removes the first one" test ! -e "$program"
check "an install into another folder is the one registered" \
  eval 'cmp -s "$elsewhere/stb-downloader.exe" "$windows/bin/stb-downloader.exe" &&
    registered_for_add_remove_programs "C:\stb-elsewhere" &&
    grep -qiF "C:\stb-elsewhere\stb-downloaderw.exe" <<< "$(strings -a -el "$shortcut")" &&
    station_shortcut_opens_the_station_window "C:\stb-elsewhere"'
run "$installer" /S '/D=C:\Program' 'Files\stb-downloader' > /dev/null 2>&1
status=$?
check "an install back into the first folder succeeds (exit $status)" test "$status" -eq 0
check "an install back into the first folder removes the other one" test ! -e "$elsewhere"
check "an install back into the first folder leaves one whole install" \
  eval 'installed_files_are_the_built_ones && shortcut_opens_the_window_in_the_working_folder &&
    registered_for_add_remove_programs && operator_files_kept'

# 3. A program that runs cannot be replaced or removed: a silent install or
# uninstall then fails and leaves the install whole. The program waits for
# its code on COM1, mapped to a pseudo-terminal held open here.
command -v python3 > /dev/null || fatal "python3 is needed to hold a pseudo-terminal open"
python3 -c 'import os, pty, time
m, s = pty.openpty()
print(os.ttyname(s), flush=True)
time.sleep(600)' > "$tmp/pty" &
holder=$!
for _ in $(seq 100); do [ -s "$tmp/pty" ] && break; sleep 0.1; done
stop_wine
run reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(cat "$tmp/pty")" /f > /dev/null 2>&1
stop_wine
mkfifo "$tmp/stdin"
sleep 600 > "$tmp/stdin" &
feeder=$!
(cd "$work" && exec timeout 600 "$wine" 'C:\Program Files\stb-downloader\stb-downloader.exe' --headless \
  < "$tmp/stdin" > "$tmp/running.out" 2>&1) &
running=$!
deadline=$((SECONDS + 120))
until grep -q 'DIRECTIONS' "$tmp/running.out" 2> /dev/null || [ "$SECONDS" -ge "$deadline" ] ||
  ! kill -0 "$running" 2> /dev/null; do sleep 0.5; done
if grep -q 'DIRECTIONS' "$tmp/running.out"; then
  run "$installer" /S > /dev/null 2>&1
  status=$?
  check "a silent install while the program runs fails (exit $status, not 32)" test "$status" -eq 32
  # In place (_?=), so that its exit status is the one of the work done. The
  # folder goes unquoted, as the uninstaller takes all after _?= as it is:
  # Wine quotes an argument with a blank, so it is given in two.
  run 'C:\Program Files\stb-downloader\uninstall.exe' /S '_?=C:\Program' 'Files\stb-downloader' > /dev/null 2>&1
  status=$?
  check "a silent uninstall while the program runs fails (exit $status, not 32)" test "$status" -eq 32
  check "the refused install and uninstall leave the install whole" \
    eval 'installed_files_are_the_built_ones && [ -f "$shortcut" ] && registered_for_add_remove_programs'
else
  check "the installed program runs, waiting for its code on COM1" false
  cat "$tmp/running.out" >&2
fi
# Ending the prefix's server ends the program with it.
stop_wine
wait "$running" 2> /dev/null
kill "$feeder" "$holder" 2> /dev/null
feeder=
holder=

# 4. A silent uninstall as the README gives it, its very line run by cmd.exe:
# the uninstaller in place (_?=), so that it waits and its exit status is the
# one of the work done (`uninstall.exe /S` alone returns 0 at once, before
# its copy has done anything), then del and rmdir for the file it cannot
# delete while it runs.
readme_line=$(grep -m1 -E '^ +"C:\\Program Files\\stb-downloader\\uninstall.exe" /S _\?=' \
  "$(dirname "${BASH_SOURCE[0]}")/../README.md" | sed 's/^ *//')
[ -n "$readme_line" ] || fatal "the README gives no silent uninstall line"
printf '@echo off\r\n%s\r\n' "$readme_line" > "$drive/stb-uninstall.bat"
run cmd /c 'C:\stb-uninstall.bat' > /dev/null 2>&1
status=$?
check "the README's silent uninstall succeeded (exit $status)" test "$status" -eq 0
check "the README's silent uninstall removed the program folder before it returned" test ! -e "$program"
check "the silent uninstall removed the Start-menu folder" test ! -e "$menu"
check "the silent uninstall removed the Add/Remove Programs entry" \
  eval '! run reg query "$key" > /dev/null 2>&1'
check "the silent uninstall left the operator's include file and image" operator_files_kept

echo "installer: $(basename "$installer") installed, ran and uninstalled under Wine"
echo "installer: $passed passed, $failed failed"
# The prefix (some 700 MB) is kept only to look into a failure.
if [ "$failed" -eq 0 ]; then
  stop_wine
  rm -rf "$WINEPREFIX"
else
  echo "installer: the Wine prefix is kept in $WINEPREFIX" >&2
fi
[ "$failed" -eq 0 ]
