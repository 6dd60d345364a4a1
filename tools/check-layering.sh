#!/usr/bin/env bash
# Which folder's headers each folder's sources may include, from the bottom:
#
#   serial/, upgrade/   the core: it tells what happens as events and never
#                       includes a listener of them (nor anything above it)
#   assembly/           one run put together over the core; it has no
#                       terminal, only a seam the runtime fills (ConsoleSeam.h)
#   records/            where the boxes' records are kept (a database),
#                       over the record the assembly makes; no terminal
#   runtime/            what the front ends without a toolkit run on: the
#                       terminal, the console's writer, the message loop
#   frontends/          side by side over all of that and never over each
#                       other: console/, station/, and the windows (qt/,
#                       win32/), which draw what window/layout/ lays out and,
#                       for the station, what window/station/ makes of the
#                       station's run
#
# The program's entries (main.cpp and the windowed entry) pick a front end
# and so may include them all. The box simulator stands alone: a mistake
# shared with the core would hide in both.
#
#   tools/check-layering.sh     prints each include that crosses a line; exit 1 if any
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

allowed() {  # FOLDER -> the folders its sources may include from
  case $1 in
    serial) echo "serial" ;;
    upgrade) echo "upgrade serial" ;;
    assembly) echo "assembly upgrade serial" ;;
    records) echo "records assembly upgrade serial" ;;
    runtime) echo "runtime assembly upgrade serial" ;;
    frontends/console | frontends/station) echo "$1 runtime assembly upgrade serial" ;;
    frontends/window/layout) echo "$1" ;;
    frontends/window/station) echo "$1 frontends/station runtime assembly upgrade serial" ;;
    frontends/window/qt | frontends/window/win32)
      echo "$1 frontends/window/layout frontends/window frontends/window/station frontends/station" \
        "runtime assembly upgrade serial" ;;
    frontends/window) echo "$1 assembly upgrade serial" ;;
    frontends/cli) echo "*" ;;
    sim) echo "sim" ;;
    *) echo "*" ;;
  esac
}

# The folder that owns a source: the deepest of the layers above.
owner() {
  local path=$1
  case $path in
    serial/*) echo serial ;;
    upgrade/*) echo upgrade ;;
    assembly/*) echo assembly ;;
    records/*) echo records ;;
    runtime/*) echo runtime ;;
    frontends/window/*/*) echo "${path%/*}" | cut -d/ -f1-3 ;;
    frontends/window/*) echo frontends/window ;;
    frontends/*/*) echo "$path" | cut -d/ -f1-2 ;;
    sim/*) echo sim ;;
    *) echo other ;;
  esac
}

declare -A home
while IFS= read -r header; do
  home[$(basename "$header")]=$(owner "$header")
done < <(git ls-files 'serial/*.h' 'upgrade/*.h' 'assembly/*.h' 'records/*.h' 'runtime/*.h' 'frontends/*.h' 'sim/*.h')

# The listeners of the core's events, wherever they are (the tests' too): a
# header that declares a class hearing IUpgradeEvents, but for the one that
# declares the events and passes them on to every listener.
declare -A listener
while IFS= read -r header; do
  listener[$(basename "$header")]=1
done < <(git grep -lE '^ *(class|struct) [^;]*:[^;]*\bIUpgradeEvents\b' -- '*.h' ':!upgrade/UpgradeEvents.h')

crossings=0
while IFS= read -r source; do
  from=$(owner "$source")
  may=$(allowed "$from")
  [ "$may" = "*" ] && continue
  case $(basename "$source") in main.cpp | WindowedMain.cpp) continue ;; esac
  while IFS= read -r name; do
    if [ -n "${listener[$name]:-}" ] && { [ "$from" = serial ] || [ "$from" = upgrade ]; }; then
      echo "check-layering: $source ($from) includes $name (a listener of the core's events)"
      crossings=$((crossings + 1))
      continue
    fi
    # A header beside the source is its own, whatever else shares its name.
    if [ -f "$(dirname "$source")/$name" ]; then continue; fi
    to=${home[$name]:-}
    [ -n "$to" ] || continue  # a system or toolkit header
    ok=0
    for folder in $may; do [ "$to" = "$folder" ] && ok=1; done
    if [ $ok -eq 0 ]; then
      echo "check-layering: $source ($from) includes $name ($to)"
      crossings=$((crossings + 1))
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$source")
done < <(git ls-files 'serial/*' 'upgrade/*' 'assembly/*' 'runtime/*' 'frontends/*' 'sim/*' | grep -E '\.(h|cpp)$')

if [ $crossings -gt 0 ]; then
  echo "check-layering: $crossings include(s) cross a layer"
  exit 1
fi
echo "check-layering: every include stays within its layer"
