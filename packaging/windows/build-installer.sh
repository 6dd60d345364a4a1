#!/usr/bin/env bash
# Builds the Windows installer from a Windows build folder (what `./stb wine`
# configures): the operator guide first, then makensis. Prints the
# installer's path.
#
#   packaging/windows/build-installer.sh WINDOWS_BUILD
#
# Needs makensis (nsis) and cmark-gfm.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: build-installer.sh WINDOWS_BUILD}" && pwd)

# The version CMake gave the programs (project() in the top CMakeLists.txt),
# so that the installer never names another one.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "build-installer: $build is no configured CMake build (no project version in CMakeCache.txt)" >&2
  exit 1
fi

out="$build/installer"
mkdir -p "$out"

# The operator guide: the README's section for the operator, as one HTML page
# a browser opens, its subsections one level up under the page's title. Its
# Windows part comes first, as that is who reads it here.
guide="$out/operator-guide.html"
{
  cat <<EOF
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>stb-downloader $version: operator guide</title>
<style>
body { font-family: Segoe UI, sans-serif; max-width: 60em; margin: 1em auto; padding: 0 1em; line-height: 1.4; }
code, pre { font-family: Consolas, monospace; }
pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; vertical-align: top; text-align: left; }
</style>
</head>
<body>
<h1>stb-downloader $version: operator guide</h1>
EOF
  awk '
    /^## For the operator/ { on = 1; next }
    on && /^## /           { on = 0 }
    !on                    { next }
    /^### /                { windows = ($0 ~ /^### On Windows/); sub(/^###/, "##") }
    windows                { first = first $0 "\n"; next }
                           { rest = rest $0 "\n" }
    END {
      if (first == "") { print "build-installer: README.md has no \"### On Windows\" section for the operator" > "/dev/stderr"; exit 1 }
      printf "%s%s", first, rest
    }' "$root/README.md" | cmark-gfm -e table
  printf '</body>\n</html>\n'
} > "$guide.tmp"
mv "$guide.tmp" "$guide"

installer="$build/stb-downloader-$version-win64-setup.exe"
rm -f "$installer"
# -WX: a warning (a file the script names that is not there, a page left out)
# fails the build.
makensis -V2 -WX -NOCD "-DVERSION=$version" \
  "-DCONSOLE_EXE=$build/bin/stb-downloader.exe" "-DWINDOW_EXE=$build/bin/stb-downloaderw.exe" \
  "-DGUIDE=$guide" "-DOUTFILE=$installer" \
  "$here/stb-downloader.nsi" >&2
echo "$installer"
