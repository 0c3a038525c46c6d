#!/bin/sh
# Starts the program on the sample game in a window under a watcher that acts as the window
# manager, notes what it saw of the splash and the game window, tries a second start, then
# closes the window as a window manager would and notes how the program ended.
#
# Usage: program_window.sh FOLDER: the sample game in FOLDER/game; FOLDER/results gets the
# key=value lines, FOLDER/zb.err the program's standard error.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out" || exit 3
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
# The program starts only once the watcher says that it watches. A try that failed before has
# closed its program, which wrote its settings.
rm -f ready game/ZB.INI
mkfifo ready
python3 "$here/watch_windows.py" "$hang_guard" watched ready Splash ZB &
watch=$!
[ "$(timeout "$hang_guard" head -n 1 ready)" = watching ] || { kill $watch; exit 3; }
./game/zb -WINDOW -FPS 2>zb.err &
pid=$!
wid=$(waitnamed ZB)
[ -n "$wid" ] || { kill $pid; waitguarded $pid; exit 3; }
wait $watch
cat watched >"$results"
note name "$(xdotool getwindowname "$wid")"
xdotool getwindowgeometry "$wid" | sed -n 's/.*Geometry: /geometry=/p' >>"$results"
timeout "$hang_guard" ./game/zb
note second "$?"
note inibefore "$([ -f game/ZB.INI ] && echo yes || echo no)"
# The renderer may re-create the window once; close what stands now.
# shellcheck disable=SC2046 # one argument per window
python3 "$here/close_window.py" $(xdotool search --name '^ZB$')
waitguarded $pid
note exit "$?"
note ini "$([ -f game/ZB.INI ] && echo yes || echo no)"
