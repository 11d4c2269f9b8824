#!/usr/bin/env bash
# Takes the README's screenshots: the player in the demo library on a private virtual
# display, playing through the tests' paced sound card (so no sound hardware is needed).
# Writes OUT_DIR/browser.png (the browser inside a folder, a track playing) and
# OUT_DIR/waveform.png (the waveform view of that track), each cropped to the window.
# Usage: tools/screenshots.sh BUILD_DIR OUT_DIR
# BUILD_DIR is a build configured with -DCORVANE_TESTS=ON (the sound card is a test helper).
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUT_DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
cmake --build "$build" --target corvane flac_fixture corvane_test_sound_card_config corvane_test_sound_card_plugin >/dev/null

# Always a display of our own: nothing else on the screen, no pointer or focus of a user.
unset DISPLAY
. "$root/tools/display.sh"
start_private_display 170
work=$(mktemp -d)
player=""
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  kill "$display_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export MESA_SHADER_CACHE_DISABLE=true
# A sanitized build reports the system libraries' own leaks at exit; not ours to show here.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"

"$root/tools/make-demo-library.sh" "$build" "$work/demo"
config=$("$build/tests/corvane_test_sound_card" "$work/card")
(cd "$work/demo" && ALSA_CONFIG_PATH="$config" exec "$build/corvane") &
player=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Corvane$' | head -n 1)
[ -n "$window" ] || { echo "the player's window did not appear" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
footer=20

shoot() { # shoot FILE: the window as the screen shows it
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}

# Middle rows of the lines of text in the browser, top to bottom: each row of the upper
# area averaged to one pixel, runs of lit rows (gaps of up to 3 rows inside one line).
text_lines() {
  shoot "$work/shot.png"
  convert "$work/shot.png" -crop "${WIDTH}x$((HEIGHT - footer))+0+0" +repage -colorspace gray \
    -scale "1x$((HEIGHT - footer))!" -depth 8 gray:- | od -An -v -tu1 -w1 |
    awk '{ row = NR - 1 }
         $1 > 0 { if (open && row - last > 4) { print int((first + last) / 2); open = 0 }
                  if (!open) { first = row; open = 1 }
                  last = row }
         END { if (open) print int((first + last) / 2) }'
}

# Clicks the browser's line number $1 (from 1) once the list shows $2 lines, like a hand
# that comes to rest before it clicks, then takes the pointer off the window.
click_line() {
  local lines=() _
  for _ in $(seq 50); do
    mapfile -t lines < <(text_lines)
    [ "${#lines[@]}" -eq "$2" ] && break
    sleep 0.2
  done
  [ "${#lines[@]}" -eq "$2" ] || { echo "expected $2 lines in the browser, saw ${#lines[@]}" >&2; exit 1; }
  xdotool mousemove --sync --window "$window" $((WIDTH / 2)) "${lines[$(($1 - 1))]}"
  sleep 0.3
  xdotool click 1
  sleep 0.5
  xdotool mousemove 0 0
}

# The demo library's root lists Surround, Tones, Welcome; Tones lists itself (the path),
# Low, then its three tracks.
click_line 2 3 # Tones
click_line 4 5 # 02 Middle C
sleep 2        # a little progress in the footer, and the pointer's trace faded
grep -q '^start' "$work/card/events.log" || { echo "the track did not start" >&2; exit 1; }
shoot "$out/browser.png"

xdotool windowfocus --sync "$window" key x
sleep 0.5
shoot "$out/waveform.png"

xdotool windowfocus --sync "$window" key Escape
wait "$player" || true
player=""
echo "wrote $out/browser.png and $out/waveform.png"
