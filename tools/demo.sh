#!/usr/bin/env bash
# The main job: until the simulated box is in place, this opens the operator
# window on a pseudo-terminal (under Xvfb when there is no display).
set -euo pipefail
build=${1:?build folder}
exe="$build/app/stb-downloader"
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a "$exe" --port "$(tty 2>/dev/null || echo /dev/ttyS0)"
fi
exec "$exe"
