#!/usr/bin/env bash
# Which folder's headers each folder's sources may include: the core at the
# bottom, the one assembly over it, the front ends side by side over the
# assembly and never over each other, but for the station windows, which draw
# the station's toolkit-free model. The program's entries (main.cpp and the
# windowed entry) pick a front end and so may include them all. The box
# simulator stands alone: a mistake shared with the core would hide in both.
#
#   tools/check-layering.sh     prints each include that crosses a line; exit 1 if any
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

allowed() {  # FOLDER -> the folders its sources may include from
  case $1 in
    serial) echo "serial" ;;
    upgrade) echo "upgrade serial" ;;
    assembly) echo "assembly upgrade serial" ;;
    frontends/console | frontends/station) echo "$1 assembly upgrade serial" ;;
    frontends/window/layout) echo "$1" ;;
    frontends/window/qt | frontends/window/win32)
      echo "$1 frontends/window/layout frontends/window frontends/station assembly upgrade serial" ;;
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
done < <(git ls-files 'serial/*.h' 'upgrade/*.h' 'assembly/*.h' 'frontends/*.h' 'sim/*.h')

crossings=0
while IFS= read -r source; do
  from=$(owner "$source")
  may=$(allowed "$from")
  [ "$may" = "*" ] && continue
  case $(basename "$source") in main.cpp | WindowedMain.cpp) continue ;; esac
  while IFS= read -r name; do
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
done < <(git ls-files 'serial/*' 'upgrade/*' 'assembly/*' 'frontends/*' 'sim/*' | grep -E '\.(h|cpp)$')

if [ $crossings -gt 0 ]; then
  echo "check-layering: $crossings include(s) cross a layer"
  exit 1
fi
echo "check-layering: every include stays within its layer"
