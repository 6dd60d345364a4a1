#!/usr/bin/env bash
# One full headless upgrade under valgrind's memcheck, against the simulated
# box (unpaced): any memory error or leak fails it.
set -euo pipefail
status=0
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/stb-valgrind.XXXXXX")
source "$(dirname "${BASH_SOURCE[0]}")/box.sh"
trap 'stop_box; rm -rf "$work"' EXIT
cd "$work"
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 valgrind ./image.bin 3 0x9FC10000 > inc/app1.inc
head -c 40000 /dev/urandom > image.bin
start_box "$build"
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --error-exitcode=9 --log-file=valgrind.log \
  "$build/bin/stb-downloader" --headless --port "$box_port" --code APP103 --response-timeout 10 > tool.out || status=$?
wait_box
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" valgrind.log
tail -1 tool.out
exit "$status"
