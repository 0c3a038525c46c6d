#!/bin/sh
# Runs the sample game in a window, then in full screen without a window manager (resized from
# outside once its first message stands), then in full screen under a window manager, and takes
# shots of the screen along the way.
#
# Usage: game_full_screen.sh FOLDER WIDTH HEIGHT START FULL RESIZED RESIZED_SIZE
#   FOLDER        the sample game in FOLDER/game; the shots and the results go to FOLDER
#   WIDTH HEIGHT  the screen's size
#   START         "X Y": the screen place of the title's start button in full screen
#   FULL RESIZED  "X+Y": the screen place of the top edge of the message window's frame in full
#                 screen, and in the window resized to RESIZED_SIZE ("WIDTH HEIGHT")
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1 width=$2 height=$3 start=$4 full=$5 resized=$6 resized_size=$7
results=$out/results
cd "$out/game" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11

startzb() {
  ./zb 2>/dev/null &
  pid=$!
  wid=$(waitnamed ZB)
  [ -n "$wid" ] || { kill $pid; exit 3; }
  # The pointer at the screen's middle is over the same game pixel in every run.
  xdotool mousemove $((width / 2)) $((height / 2))
  settled
  wid=$(xdotool search --name '^ZB$' | tail -n 1)
}

# endzb RUN notes how the program ended and whether it wrote its settings.
endzb() {
  waitguarded $pid
  note "$1" "$?"
  note "$1ini" "$(grep -c FPSMode ZB.INI)"
}

clickstart() {
  # shellcheck disable=SC2086 # the place is two words
  xdotool mousemove $start
  sleep 0.3
  xdotool click 1
}

# awaitmessage PLACE polls (up to the hang guard) until the first scene's message window
# stands, by its frame's top-edge colour at PLACE.
awaitmessage() {
  end=$(deadline)
  while before "$end"; do
    sleep 1
    case "$(import -window root -crop "1x1+$1" -depth 8 txt:- | tail -n 1)" in *FFD66E*) break ;; esac
  done
}

closezb() {
  # shellcheck disable=SC2046 # one argument per window
  python3 "$here/close_window.py" $(xdotool search --name '^ZB$')
}

# The windowed picture, the yardstick.
startzb
xdotool getwindowgeometry "$wid" |
  sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/windowx=\1\nwindowy=\2/p' >>"$results"
import -window root -depth 8 "$out/window.ppm"
closezb
endzb window
sed -i 's/WindowMode=ON/WindowMode=OFF/' ZB.INI

# Full screen without a window manager; the settings the program writes at its orderly end are
# taken away first.
sed -i '/FPSMode/d' ZB.INI
startzb
import -window root -depth 8 "$out/bare-title.ppm"
clickstart
awaitmessage "$full"
import -window root -depth 8 "$out/bare-message.ppm"
# shellcheck disable=SC2086 # the size is two words
xdotool windowsize "$wid" $resized_size
awaitmessage "$resized"
import -window root -depth 8 "$out/bare-resized.ppm"
closezb
endzb bare

# The same under a window manager, closed with Alt+F4.
matchbox-window-manager >/dev/null 2>&1 &
wm=$!
python3 "$here/wait_for_manager.py" "$hang_guard" || { kill $wm; exit 3; }
sed -i '/FPSMode/d' ZB.INI
startzb
import -window root -depth 8 "$out/managed-title.ppm"
clickstart
awaitmessage "$full"
import -window root -depth 8 "$out/managed-message.ppm"
xdotool windowfocus --sync "$wid" key alt+F4
endzb managed
kill $wm
