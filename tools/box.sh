# Sourced by the tools that run an upgrade against the simulated box.
#
#   start_box BUILD_DIR [stb-box-sim options...]   starts it in the current folder;
#                                                  its device path is then in $box_port
#   stop_box                                       ends it if it still runs
box_pid=
box_port=

start_box() {
  local build=$1; shift
  rm -f pty.txt
  "$build/bin/stb-box-sim" --path-file pty.txt --summary box.json "$@" > /dev/null &
  box_pid=$!
  for _ in $(seq 50); do [ -s pty.txt ] && break; sleep 0.1; done
  box_port=$(cat pty.txt)
}

# Waits for the box to end by itself (it does once the upgrade has ended).
wait_box() {
  [ -n "$box_pid" ] && wait "$box_pid" 2>/dev/null || true
  box_pid=
}

stop_box() {
  [ -n "$box_pid" ] && kill "$box_pid" 2>/dev/null || true
  box_pid=
}
