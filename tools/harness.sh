# shellcheck shell=bash
# Sourced by the scripts that drive the program as an operator would: on a
# virtual X server (Xvfb), in a scratch folder, waiting for its windows.
#
#   need_tools WHO TOOL...             ends the script, saying so, when a tool is missing
#   install_screenshot_tools [PKG...]  installs what taking a picture needs, and PKG
#   run_on_xvfb SIZE SCRIPT [ARGS...]  runs SCRIPT anew on an X server of its own
#   enter_work                         makes the scratch folder $work, goes there and
#                                      cleans up after the script as it ends
#   wait_end PID SECONDS               waits for a process to end
#   wait_size FILE BYTES SECONDS       waits for a file to grow to a size
#   wait_window TITLE SECONDS [SKIP]   waits for a window by its title
#   wait_titled_window TITLE SECONDS   the same, both title properties checked
app_pid=

# Ends the script when one of the tools is not there; WHO names the script
# in the message.
need_tools() {
  local who=$1 tool hint; shift
  for tool in "$@"; do
    command -v "$tool" > /dev/null && continue
    # Those from the packages ./stb sets up; the others are the caller's own.
    case $tool in xvfb-run | xdotool | xprop | xwininfo) hint=" (./stb installs it)" ;; *) hint= ;; esac
    echo "$who: $tool is missing$hint" >&2
    exit 1
  done
}

# Installs, as root or through sudo, the Debian packages behind Xvfb,
# ImageMagick's import and xdotool where they are missing, and the packages
# named: the screenshot tools set up what ./stb does not.
install_screenshot_tools() {
  local need=("$@") sudo=()
  command -v xvfb-run > /dev/null || need+=(xvfb xauth)
  command -v import > /dev/null || need+=(imagemagick)
  command -v xdotool > /dev/null || need+=(xdotool)
  [ ${#need[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" > /dev/null
}

# Runs SCRIPT with ARGS anew under xvfb-run, on a free display with one
# screen of SIZE (e.g. 1024x768x24), unless it runs there already; the X
# server goes when the script ends. -noreset: the server must not restart
# between one program closing and the next connecting.
run_on_xvfb() {
  local size=$1; shift
  [ -n "${STB_ON_XVFB:-}" ] && return 0
  export STB_ON_XVFB=1
  exec xvfb-run -a -s "-noreset -screen 0 $size" "$@"
}

# Makes the scratch folder $work and goes into it. However the script ends
# (an interrupt or a hang-up too), every background job it still has is
# ended, the script's own `at_exit` runs if it has one (e.g. to end Wine
# before Xvfb goes), what was started is waited for, and the folder removed
# (kept, and named, with STB_KEEP_WORK set).
enter_work() {
  work=$(mktemp -d)
  trap leave_work EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  cd "$work" || exit 1
}

leave_work() {
  set +e
  local running
  running=$(jobs -p)
  # shellcheck disable=SC2086  # one process number a word
  [ -n "$running" ] && kill $running 2> /dev/null
  declare -F at_exit > /dev/null && at_exit
  wait 2> /dev/null
  if [ -n "${STB_KEEP_WORK:-}" ]; then echo "kept: $work" >&2; else rm -rf "$work"; fi
}

# Waits up to SECONDS for process PID to end; fails if it still runs then.
# The process is not reaped: `wait` gives its exit status afterwards.
wait_end() {
  local pid=$1 seconds=$2
  for _ in $(seq $((seconds * 10))); do
    kill -0 "$pid" 2> /dev/null || return 0
    sleep 0.1
  done
  ! kill -0 "$pid" 2> /dev/null
}

# Waits up to SECONDS for FILE to hold at least BYTES (a box's image as it
# comes in); fails if it does not by then.
wait_size() {
  local file=$1 bytes=$2 seconds=$3
  for _ in $(seq $((seconds * 10))); do
    [ "$(stat -c %s "$file" 2> /dev/null || echo 0)" -ge "$bytes" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits up to SECONDS for a visible window titled exactly TITLE and prints
# its id: the first such window other than SKIP, if given. With $app_pid
# set, only the windows of that program count, and the wait ends early once
# it has ended.
wait_window() {
  local title=$1 seconds=$2 skip=${3:-} w
  local only=()
  [ -n "$app_pid" ] && only=(--all --pid "$app_pid")
  for _ in $(seq $((seconds * 5))); do
    for w in $(xdotool search "${only[@]}" --onlyvisible --name "^$title\$" 2> /dev/null); do
      [ "$w" != "$skip" ] && { echo "$w"; return 0; }
    done
    [ -n "$app_pid" ] && ! kill -0 "$app_pid" 2> /dev/null && return 1
    sleep 0.2
  done
  return 1
}

# Both title properties of window $1, one per line.
window_titles() {
  xprop -id "$1" -notype _NET_WM_NAME WM_NAME 2> /dev/null | sed -n 's/^[A-Z_]* = "\(.*\)"$/\1/p'
}

# What the X server shows of the program, $app_pid, for a failure message.
show_windows() {
  local w
  echo "  visible windows of the program:" >&2
  for w in $(xdotool search --onlyvisible --pid "$app_pid" '' 2> /dev/null); do
    echo "    $w: $(window_titles "$w" | paste -sd '|')" >&2
  done
}

# Waits up to SECONDS for a visible window of the program, $app_pid, whose
# _NET_WM_NAME and WM_NAME both read exactly TITLE, as a window manager
# reads them; prints its id. Says on stderr why none was found.
wait_titled_window() {
  local want=$1 seconds=$2 w
  for _ in $(seq $((seconds * 5))); do
    for w in $(xdotool search --onlyvisible --pid "$app_pid" '' 2> /dev/null); do
      if [ "$(window_titles "$w")" = "$(printf '%s\n%s' "$want" "$want")" ]; then
        echo "$w"
        return 0
      fi
    done
    kill -0 "$app_pid" 2> /dev/null || { echo "  the program ended before a window titled '$want' showed" >&2; return 1; }
    sleep 0.2
  done
  echo "  no window titled '$want' within $seconds s" >&2
  show_windows
  return 1
}
