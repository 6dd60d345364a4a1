#!/usr/bin/env bash
# One full headless upgrade under valgrind's memcheck, against the simulated
# box (unpaced): any memory error or leak fails it.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/stb-valgrind.XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir inc
printf '%s\r\n' 110022 01.00 01.00 01.00 01.02 01.03 01.04 D2412 valgrind ./image.bin 3 0x9FC10000 > inc/app1.inc
head -c 40000 /dev/urandom > image.bin
"$build/sim/stb-box-sim" --path-file pty.txt --summary box.json > /dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -s pty.txt ] && break; sleep 0.1; done
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  --error-exitcode=9 --log-file=valgrind.log \
  "$build/app/stb-downloader" --headless --port "$(cat pty.txt)" --code APP103 --response-timeout 10 > tool.out
status=$?
wait "$sim_pid" || true
sim_pid=
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" valgrind.log
tail -1 tool.out
exit "$status"
