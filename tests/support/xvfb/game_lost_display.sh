#!/bin/sh
# Starts the sample game into its story, then ends the X server under it while the first
# message window stands, and notes how the game ended and what it wrote.
#
# Usage: game_lost_display.sh FOLDER: the sample game in FOLDER/game; FOLDER/results gets the
# key=value lines, FOLDER/err the program's standard error.
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
. "$here/lib.sh"
out=$1
results=$out/results
cd "$out/game" || exit 3
takeserver
export XDG_RUNTIME_DIR="$out/run" SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11
sed -i '/FPSMode/d' ZB.INI
rm -f ZBSys.sav
./zb 2>"$out/err" &
pid=$!
wid=$(waitnamed ZB)
[ -n "$wid" ] || { kill $pid; exit 3; }
settled
wid=$(xdotool search --name '^ZB$' | tail -n 1)
xdotool mousemove --window "$wid" 202 170
sleep 0.3
xdotool click 1
pos=$(xdotool getwindowgeometry "$wid" | sed -n 's/.*Position: \([0-9]*\),\([0-9]*\).*/\1+\2/p')
end=$(deadline)
while before "$end"; do
  sleep 1
  c=$(import -window root -crop "1x1+$((${pos%+*} + 320))+$((${pos#*+} + 334))" -depth 8 txt:- | tail -n 1)
  case "$c" in *FFD66E*) break ;; esac
done
note frame "$c"
note display "$DISPLAY"
note server "$server"
endserver TERM
waitguarded $pid
note exit "$?"
note ini "$(grep -c FPSMode ZB.INI)"
note save "$([ -f ZBSys.sav ] && echo yes || echo no)"
