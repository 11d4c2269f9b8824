# Sourced by the test and benchmark scripts: when no X display is set, starts a private
# Xvfb on a free display number, exports DISPLAY, and stops it when the script exits.
start_private_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq "$1" "$(( $1 + 40 ))"); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # -noreset: without it the server starts over whenever its last client leaves, and a
    # test process connecting in that moment is refused (a player then centres its window
    # on a screen of 0x0, a test finds no screen).
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    display_pid=$!
    trap 'kill "$display_pid" 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
    echo "Xvfb did not start on :$n" >&2
    return 1
  done
}
