#!/bin/sh
# Starts the sample game, clicks the title's start button, waits for the first scene's message
# window, notes what the program loaded, then closes its window as a window manager would and
# notes how it ended.
#
# Usage: game_start.sh FOLDER: the sample game in FOLDER/game; FOLDER/results gets the
# key=value lines, FOLDER/err the program's standard error.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
./zb 2>"$out/err" &
pid=$!
wid=$(waitnamed ZB)
[ -n "$wid" ] || { kill $pid; exit 3; }
settled
# No graphics device stands behind a virtual X server: OpenGL there would be drawn in software
# by a whole compiler and a thread per core, for a picture made in memory.
note llvm "$(grep -c -i llvm /proc/$pid/maps)"
# Nor are the movie libraries loaded before a movie plays: they are most of the memory.
note movie "$(grep -c libavcodec /proc/$pid/maps)"
# The renderer may re-create the window once; take the one that stands now.
wid=$(xdotool search --name '^ZB$' | tail -n 1)
pos=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1 \2/p')
wx=${pos% *}
wy=${pos#* }
xdotool mousemove --window "$wid" 202 170
sleep 0.3
xdotool click 1
# The colour at window pixel (X, Y) of the last shot.
px() {
  convert shot.png -crop "1x1+$((wx + $1))+$((wy + $2))" -depth 8 txt:- | tail -n 1 |
    sed 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/'
}
# The message window's gold frame: top edge, both sides, bottom edge.
end=$(deadline)
while before "$end"; do
  sleep 1
  import -window root shot.png
  frame="$(px 320 334) $(px 48 406) $(px 596 406) $(px 320 468)"
  [ "$frame" = 'FFD66E FFD66E FFD66E FFD66E' ] && break
done
note frame "$frame"
# shellcheck disable=SC2046 # one argument per window
python3 "$here/close_window.py" $(xdotool search --name '^ZB$')
waitguarded $pid
note exit "$?"
note save "$([ -f ZBSys.sav ] && echo yes || echo no)"
